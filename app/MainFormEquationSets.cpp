#include "MainForm.h"

#include "EquationSet.h"
#include "EquationValidation.h"
#include "IniFile.h"
#include "RadioGroup.h"
#include "TextTable.h"

#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>

void TMainForm::FillEquationList()
{
    for (int n = 1; n <= vetu::EquationSetCount; ++n) {
        const QString name
            = ConfigurationIni->readString(vetu::EquationSectionName(n), QStringLiteral("Name"), QString());
        ConfigListBox->item(n - 1)->setText(vetu::EquationLabel(n, name));
    }
}

void TMainForm::LoadEquationSet()
{
    const vetu::EquationSet set = vetu::ReadEquationSet(*ConfigurationIni, CurrentEquationSet);
    NameEdit->setText(set.name);
    BodyNrEdit->setText(set.bodyNr);
    PropellerNrEdit->setText(set.propellerNr);
    TypeRadioGroup->setItemIndex(set.cable ? 1 : 0);
    // Setting a boundary field copies it into its mirror through NameEditChange.
    Boundary1Edit->setText(set.boundary[0]);
    Boundary1_Edit->setText(set.boundary[0]);
    Boundary2Edit->setText(set.boundary[1]);
    Boundary2_Edit->setText(set.boundary[1]);
    Boundary3Edit->setText(set.boundary[2]);
    Boundary3_Edit->setText(set.boundary[2]);
    for (int i = 0; i < 4; ++i)
        FactorEdits[i]->setText(set.factor[i]);
    for (int i = 0; i < 4; ++i)
        OffsetEdits[i]->setText(set.offset[i]);
}

vetu::EquationSet TMainForm::EditorEquationSet() const
{
    vetu::EquationSet set;
    set.name = NameEdit->text();
    set.bodyNr = BodyNrEdit->text();
    set.propellerNr = PropellerNrEdit->text();
    set.cable = TypeRadioGroup->itemIndex() == 1;
    set.boundary = { Boundary1Edit->text(), Boundary2Edit->text(), Boundary3Edit->text() };
    for (int i = 0; i < 4; ++i) {
        set.factor[i] = FactorEdits[i]->text();
        set.offset[i] = OffsetEdits[i]->text();
    }
    return set;
}

void TMainForm::SaveEquationSet()
{
    // WriteEquationSet stores the fifteen keys in one replace of the file (the number
    // texts with a decimal point). The list and the flag change only once it succeeded,
    // so a refused write shows nothing that is not on the disk.
    vetu::WriteEquationSet(*ConfigurationIni, CurrentEquationSet, EditorEquationSet());
    ConfigListBox->item(CurrentEquationSet - 1)
        ->setText(vetu::EquationLabel(CurrentEquationSet, NameEdit->text()));
    EquationSetsSaved = true;
}

void TMainForm::SaveVelocitySettingsButtonClick()
{
    if (!ValidateEquationSet())
        return;
    SaveEquationSet();
    VelocitySettingsModified = false;
    SaveVelocitySettingsButton->setEnabled(false);
}

void TMainForm::NameEditChange(QLineEdit *Sender)
{
    VelocitySettingsModified = true;
    SaveVelocitySettingsButton->setEnabled(true);
    if (Sender == Boundary1Edit)
        Boundary1_Edit->setText(Boundary1Edit->text());
    else if (Sender == Boundary2Edit)
        Boundary2_Edit->setText(Boundary2Edit->text());
    else if (Sender == Boundary3Edit)
        Boundary3_Edit->setText(Boundary3Edit->text());
}

QLineEdit *TMainForm::EditorField(vetu::EquationField field) const
{
    using F = vetu::EquationField;
    switch (field) {
    case F::Name:
        return NameEdit;
    case F::Boundary1:
        return Boundary1Edit;
    case F::Boundary2:
        return Boundary2Edit;
    case F::Boundary3:
        return Boundary3Edit;
    case F::Factor1:
        return Factor1Edit;
    case F::Factor2:
        return Factor2Edit;
    case F::Factor3:
        return Factor3Edit;
    case F::Factor4:
        return Factor4Edit;
    case F::Offset1:
        return Offset1Edit;
    case F::Offset2:
        return Offset2Edit;
    case F::Offset3:
        return Offset3Edit;
    case F::Offset4:
        return Offset4Edit;
    }
    return NameEdit;
}

bool TMainForm::ValidateEquationSet()
{
    const std::optional<vetu::EquationCheckFailure> failure
        = vetu::ValidateEquationTexts(EditorEquationSet(), QLocale());
    if (!failure)
        return true;
    const QString message = failure->argument.isEmpty() ? LoadText(failure->textId)
                                                        : LoadTextWithArg(failure->textId, failure->argument);
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Error"), message, QMessageBox::Ok, this);
    box.setTextFormat(Qt::PlainText);
    box.exec();
    QLineEdit *field = EditorField(failure->focus);
    // The field may sit on the page that is not shown.
    PageControl1->setCurrentWidget(VelocityTabSheet);
    field->setFocus();
    return false;
}
