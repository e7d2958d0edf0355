#include "MainForm.h"

#include "DeviceFiles.h"
#include "FileCreateError.h"
#include "EquationSet.h"
#include "GeneralSettings.h"
#include "IniFile.h"
#include "LanguageSelectionForm.h"
#include "RemoveInfectedFiles.h"
#include "TextTable.h"
#include "Translator.h"
#include "UnexpectedError.h"

#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>

namespace
{

// The device file counts as present when it can be read and holds at least one line,
// that is at least one byte.
bool DeviceFilePresent(const QString &path)
{
    if (!QFileInfo(path).isFile())
        return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    char first = 0;
    return file.read(&first, 1) == 1;
}

} // namespace

void TMainForm::FormCreate()
{
    if (!ProgramFolder.endsWith(QLatin1Char('/')))
        ProgramFolder += QLatin1Char('/');
    ConfigListBox->setCurrentRow(0);
    EquationSetsSaved = false;
    PulsesComboBox->clear();
    PulsesComboBox->addItems(vetu::PulsesEntries());
    PulsesComboBox->setCurrentIndex(0);
    AutoShutDownPeriodComboBox->clear();
    AutoShutDownPeriodComboBox->addItems(vetu::AutoShutDownEntries());
    AutoShutDownPeriodComboBox->setCurrentIndex(-1);
    PageControl1->setCurrentWidget(GeneralTabSheet);
    // Its messages, if any, appear before the window is shown.
    vetu::QtCleanupMessages messages(this);
    vetu::RemoveInfectedFiles(ProgramFolder, messages);
}

void TMainForm::FormShow()
{
    if (!DeviceFilePresent(ProgramFolder + vetu::DeviceFileName)) {
        // Shown in the language of the moment, which is still German: no language has been read.
        QMessageBox box(QMessageBox::Critical, QStringLiteral("Error"),
            LoadText(66) + QStringLiteral("\r\n") + LoadText(67), QMessageBox::Ok, this);
        box.setTextFormat(Qt::PlainText);
        box.exec();
        StartAborted = true;
        return;
    }

    ConfigurationIni = std::make_unique<vetu::IniFile>(ProgramFolder + vetu::ConfigurationIniName);
    LanguageOffset
        = ConfigurationIni->readInteger(vetu::SettingsSection, QStringLiteral("LanguageOffset"), -1);
    if (LanguageOffset < 0) {
        std::unique_ptr<TLanguageSelectionForm> ownDialog;
        TLanguageSelectionForm *dialog = LanguageSelectionForm;
        if (!dialog) {
            ownDialog = std::make_unique<TLanguageSelectionForm>();
            dialog = ownDialog.get();
        }
        dialog->exec();
        try {
            ConfigurationIni->writeInteger(
                vetu::SettingsSection, QStringLiteral("LanguageOffset"), LanguageOffset);
        } catch (const vetu::IniWriteError &) {
            // A drive that refuses writes: say so, and still start in the chosen language
            // with everything loaded, rather than show a window that was never filled.
            vetu::ReportUnexpectedError(std::current_exception());
        }
        // Closed without a choice: the stored -1 makes the next start ask again; this run
        // speaks the base language instead of looking texts up at shifted numbers.
        if (LanguageOffset < 0)
            LanguageOffset = GermanOffset;
        TranslateMainForm();
    }
    TranslateMainForm();
    LoadGeneralSettings();
    FillEquationList();
    CurrentEquationSet = 1;
    LoadEquationSet();
    VelocitySettingsModified = false;
    GeneralSettingsModified = false;
    SaveGeneralSettingsButton->setEnabled(false);
    SaveVelocitySettingsButton->setEnabled(false);
}

bool TMainForm::FormCloseQuery()
{
    if (!VelocitySettingsModified && !GeneralSettingsModified)
        return true;
    QMessageBox box(QMessageBox::Question, QStringLiteral("Confirm"), LoadText(65),
        QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, this);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::Cancel);
    switch (box.exec()) {
    case QMessageBox::Yes:
        if (GeneralSettingsModified)
            SaveGeneralSettings();
        if (VelocitySettingsModified) {
            if (!ValidateEquationSet())
                return false;
            SaveEquationSet();
        }
        return true;
    case QMessageBox::No:
        return true;
    default:
        return false;
    }
}

void TMainForm::FormClose()
{
    // Every write of the INI layer reaches the disk as it is made; the flush only
    // writes what may still be pending before the file is released.
    std::unique_ptr<vetu::IniFile> ini = std::move(ConfigurationIni);
    if (ini)
        ini->flush();
    ini.reset();
    if (!EquationSetsSaved)
        return;
    try {
        vetu::NormalizeConfigurationIni(ProgramFolder);
    } catch (const vetu::IniWriteError &error) {
        // The file keeps what the writes of the run made of it; what failed is creating
        // the new file, and that is what the message says.
        throw vetu::FileCreateError(error.path());
    }
}

void TMainForm::Exit1Click()
{
    close();
}

void TMainForm::TranslateMainForm()
{
    TranslateForm(this);
    setWindowTitle(LoadText(1));
    // The captions of the language may need more room than the design's.
    fitLayout();
}
