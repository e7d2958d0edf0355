#include "MainForm.h"

#include "DeviceFiles.h"
#include "IniFile.h"
#include "TextTable.h"

#include <QFileInfo>
#include <QListWidget>
#include <QMessageBox>

namespace
{

constexpr int NoEntryText = 79;
constexpr int NotDeletedText = 80;
constexpr int DeleteQuestionText = 81;

// A set without a name has the five-character label "[nn] ".
constexpr int ShortestNamedLabel = 6;

void ShowPlainMessage(QWidget *parent, const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Vetu"), text, QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

bool ConfirmDeletion(QWidget *parent)
{
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Warning"), LoadText(DeleteQuestionText),
        QMessageBox::Yes | QMessageBox::No, parent);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

} // namespace

void TMainForm::delbuttonClick()
{
    if (!ConfigurationIni || !QFileInfo(ProgramFolder + vetu::ConfigurationIniName).isFile())
        return;
    // The selected entry is the set shown in the editor.
    const QListWidgetItem *selected = ConfigListBox->currentItem();
    const QString label = selected ? selected->text() : QString();
    if (label.size() < ShortestNamedLabel) {
        ShowPlainMessage(this, LoadText(NoEntryText));
    } else if (ConfirmDeletion(this)) {
        const QString section = label.mid(1, 2);
        try {
            ConfigurationIni->eraseSection(section);
        } catch (const vetu::IniWriteError &) {
            ShowPlainMessage(this, LoadText(NotDeletedText));
        }
    }
    // The stored set replaces whatever the fields hold, also after No. Loading the texts
    // enables the save button; only the flag is cleared.
    LoadEquationSet();
    VelocitySettingsModified = false;
    FillEquationList();
}

void TMainForm::DeleteEntry1Click()
{
    delbuttonClick();
}
