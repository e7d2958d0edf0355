#include "CrashCapture.h"
#include "DeviceChooser.h"
#include "LanguageSelectionForm.h"
#include "MainForm.h"
#include "PortableStart.h"
#include "ProgramFolder.h"
#include "TCrashQtSupport.h"
#include "UnexpectedError.h"
#include "VetuApplication.h"

namespace
{

// Errors that nothing handles go to the crash-report library (report, log); the error box
// stays for when the library leaves them to the program.
void reportThroughCrashLibrary(std::exception_ptr error)
{
    if (ExceptionManager(&error, 0, crashreport::OutputDialog, 0))
        vetu::ShowUnexpectedErrorBox(error);
}

} // namespace

int main(int argc, char **argv)
{
    vetu::UsePortablePlugins();
    VetuApplication app(argc, argv);
    TCrashQtSupport crashSupport(app);
    vetu::SetUnexpectedErrorHandler(reportThroughCrashLibrary);
    QStringList arguments = app.arguments();
    if (!vetu::TakeDeviceChoice(arguments))
        return 0;
    TMainForm mainForm(vetu::ProgramFolderFromArguments(arguments, QCoreApplication::applicationDirPath()));
    TLanguageSelectionForm languageSelectionForm;
    mainForm.LanguageSelectionForm = &languageSelectionForm;
    mainForm.show();
    if (mainForm.StartAborted)
        return 0;
    return app.exec();
}
