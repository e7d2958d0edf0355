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
    mainForm.show();
    if (mainForm.StartAborted)
        return 0;
    return app.exec();
}
