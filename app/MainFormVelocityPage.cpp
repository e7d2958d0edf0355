#include "MainForm.h"

#include "EquationSet.h"
#include "RadioGroup.h"
#include "Translator.h"
#include "WidgetDesign.h"
#include "Windows1252Validator.h"

#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTextEdit>

namespace
{

QLabel *makeLabel(QWidget *parent, const QString &name, int tag, const QString &caption, QRect geometry)
{
    auto *label = new QLabel(caption, parent);
    label->setObjectName(name);
    if (tag != 0)
        label->setProperty(TagProperty, tag);
    vetu::SetDesignGeometry(label, geometry);
    return label;
}

QLineEdit *makeEdit(QWidget *parent, const QString &name, QRect geometry, const QValidator *validator)
{
    auto *edit = new QLineEdit(parent);
    edit->setObjectName(name);
    vetu::SetDesignGeometry(edit, geometry);
    edit->setValidator(validator);
    return edit;
}

QPushButton *makeButton(QWidget *parent, const char *name, int tag, const QString &caption, QRect geometry)
{
    auto *button = new QPushButton(caption, parent);
    button->setObjectName(QLatin1String(name));
    button->setProperty(TagProperty, tag);
    vetu::SetDesignGeometry(button, geometry);
    return button;
}

} // namespace

void TMainForm::buildVelocityPage()
{
    QWidget *page = VelocityTabSheet;
    // Every field whose text is stored in "Configuration.ini" refuses what Windows-1252 cannot hold.
    auto *storable = new Windows1252Validator(this);

    Label1
        = makeLabel(page, QStringLiteral("Label1"), 40, QStringLiteral("Equation Sets:"), { 8, 6, 257, 16 });
    ConfigListBox = new TListBox(page);
    ConfigListBox->setObjectName(QStringLiteral("ConfigListBox"));
    vetu::SetDesignGeometry(ConfigListBox, { 8, 24, 257, 441 });
    for (int n = 1; n <= vetu::EquationSetCount; ++n)
        ConfigListBox->addItem(QStringLiteral("[%1]").arg(n, 2, 10, QLatin1Char('0')));
    ConfigListBox->setContextMenuPolicy(Qt::CustomContextMenu);
    Label1->setBuddy(ConfigListBox);

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    DeleteEntry1 = PopupMenu1->addAction(QStringLiteral("Delete Equation"));
    DeleteEntry1->setObjectName(QStringLiteral("DeleteEntry1"));
    DeleteEntry1->setProperty(TagProperty, 78);

    GroupBox3 = new QGroupBox(QStringLiteral("Configuration Name"), page);
    GroupBox3->setObjectName(QStringLiteral("GroupBox3"));
    GroupBox3->setProperty(TagProperty, 41);
    vetu::SetDesignGeometry(GroupBox3, { 280, 8, 345, 53 });
    NameEdit = makeEdit(GroupBox3, QStringLiteral("NameEdit"), { 12, 22, 321, 22 }, storable);

    GroupBox1 = new QGroupBox(QStringLiteral("Current Meter"), page);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox1->setProperty(TagProperty, 42);
    vetu::SetDesignGeometry(GroupBox1, { 280, 68, 345, 153 });
    Label2 = makeLabel(
        GroupBox1, QStringLiteral("Label2"), 43, QStringLiteral("Serialnumber Meter:"), { 12, 26, 153, 16 });
    BodyNrEdit = makeEdit(GroupBox1, QStringLiteral("BodyNrEdit"), { 172, 22, 161, 22 }, storable);
    Label3 = makeLabel(GroupBox1, QStringLiteral("Label3"), 44, QStringLiteral("Serialnumber Propeller:"),
        { 12, 54, 153, 16 });
    PropellerNrEdit = makeEdit(GroupBox1, QStringLiteral("PropellerNrEdit"), { 172, 50, 161, 22 }, storable);
    Label2->setBuddy(BodyNrEdit);
    Label3->setBuddy(PropellerNrEdit);
    TypeRadioGroup = new TRadioGroup(GroupBox1);
    TypeRadioGroup->setObjectName(QStringLiteral("TypeRadioGroup"));
    TypeRadioGroup->setProperty(TagProperty, 45 * 65536 + 46);
    TypeRadioGroup->setTitle(QStringLiteral("Type"));
    TypeRadioGroup->setItems({ QStringLiteral("Rod"), QStringLiteral("Cable") });
    TypeRadioGroup->setItemIndex(0);
    vetu::SetDesignGeometry(TypeRadioGroup, { 12, 78, 321, 67 });

    GroupBox2 = new QGroupBox(QStringLiteral("Equations"), page);
    GroupBox2->setObjectName(QStringLiteral("GroupBox2"));
    GroupBox2->setProperty(TagProperty, 50);
    vetu::SetDesignGeometry(GroupBox2, { 280, 228, 345, 181 });
    Label8 = makeLabel(
        GroupBox2, QStringLiteral("Label8"), 51, QStringLiteral("Frequency Range"), { 8, 22, 153, 16 });
    Label9 = makeLabel(
        GroupBox2, QStringLiteral("Label9"), 52, QStringLiteral("Equation"), { 168, 22, 169, 16 });

    // The grid: lower bound (mirror), range label, upper bound, then v = factor * n + offset.
    // The labels between the fields are fixed and never translated.
    static const char *const rangeTexts[4] = { "   n <", "<= n <", "<= n <", "<= n" };
    std::array<QLineEdit *, 3> upper {};
    std::array<QLineEdit *, 3> mirror {};
    int labelNumber = 5;
    auto nextLabelName = [&labelNumber] {
        const QString name = QStringLiteral("Label%1").arg(labelNumber);
        labelNumber = labelNumber == 7 ? 10 : labelNumber + 1;
        return name;
    };
    for (int row = 0; row < 4; ++row) {
        const int y = 44 + row * 32;
        if (row > 0) {
            mirror[row - 1]
                = makeEdit(GroupBox2, QStringLiteral("Boundary%1_Edit").arg(row), { 8, y, 45, 22 }, nullptr);
            mirror[row - 1]->setReadOnly(true);
            mirror[row - 1]->setEnabled(false);
        }
        makeLabel(GroupBox2, nextLabelName(), 0, QLatin1String(rangeTexts[row]), { 56, y + 3, 41, 16 });
        if (row < 3)
            upper[row] = makeEdit(
                GroupBox2, QStringLiteral("Boundary%1Edit").arg(row + 1), { 100, y, 53, 22 }, storable);
        makeLabel(GroupBox2, nextLabelName(), 0, QStringLiteral("v = "), { 168, y + 3, 25, 16 });
        FactorEdits[row]
            = makeEdit(GroupBox2, QStringLiteral("Factor%1Edit").arg(row + 1), { 194, y, 53, 22 }, storable);
        makeLabel(GroupBox2, nextLabelName(), 0, QStringLiteral("* n +"), { 250, y + 3, 29, 16 });
        OffsetEdits[row]
            = makeEdit(GroupBox2, QStringLiteral("Offset%1Edit").arg(row + 1), { 282, y, 53, 22 }, storable);
    }
    for (QLineEdit *number : GroupBox2->findChildren<QLineEdit *>())
        number->setProperty("NumberField", true);
    Boundary1Edit = upper[0];
    Boundary2Edit = upper[1];
    Boundary3Edit = upper[2];
    Boundary1_Edit = mirror[0];
    Boundary2_Edit = mirror[1];
    Boundary3_Edit = mirror[2];
    Factor1Edit = FactorEdits[0];
    Factor2Edit = FactorEdits[1];
    Factor3Edit = FactorEdits[2];
    Factor4Edit = FactorEdits[3];
    Offset1Edit = OffsetEdits[0];
    Offset2Edit = OffsetEdits[1];
    Offset3Edit = OffsetEdits[2];
    Offset4Edit = OffsetEdits[3];

    // The tab order is the order of creation: list, name, numbers, type, then the grid row by row.

    SaveVelocitySettingsButton = makeButton(
        page, "SaveVelocitySettingsButton", 53, QStringLiteral("Save Equations"), { 8, 472, 121, 25 });
    SaveVelocitySettingsButton->setEnabled(false);
    delbutton = makeButton(page, "delbutton", 78, QStringLiteral("Delete Equation"), { 144, 472, 121, 25 });
    PrintListButton
        = makeButton(page, "PrintListButton", 54, QStringLiteral("Print List"), { 8, 504, 121, 25 });
    ImportButton
        = makeButton(page, "ImportButton", 55, QStringLiteral("Import Equations"), { 144, 504, 121, 25 });
    ImportButton->setEnabled(false);
    ImportButton->setVisible(false);

    RichEdit = new QTextEdit(page);
    RichEdit->setObjectName(QStringLiteral("RichEdit"));
    vetu::SetDesignGeometry(RichEdit, { 280, 416, 345, 81 });
    RichEdit->setVisible(false);
}
