// vetu-config's start-up, as its main() does it, ending at the main window's first paint.
#include "FirstPaintProbe.h"
#include "LanguageSelectionForm.h"
#include "MainForm.h"
#include "ProgramFolder.h"
#include "VetuApplication.h"

int main(int argc, char **argv)
{
    VetuApplication app(argc, argv);
    TMainForm mainForm(
        vetu::ProgramFolderFromArguments(app.arguments(), QCoreApplication::applicationDirPath()));
    TLanguageSelectionForm languageSelectionForm;
    mainForm.LanguageSelectionForm = &languageSelectionForm;
    FirstPaintProbe probe(&mainForm);
    mainForm.show();
    if (mainForm.StartAborted)
        return 1;
    return app.exec();
}
