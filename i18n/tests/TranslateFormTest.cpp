#include "QStringPrinter.h"
#include "RadioGroup.h"
#include "TextTable.h"
#include "Translator.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMap>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTableWidget>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <gtest/gtest.h>
#include <memory>

namespace
{

template <typename T> T *tagged(T *object, const char *name, int tag)
{
    object->setObjectName(QString::fromLatin1(name));
    object->setProperty(TagProperty, tag);
    return object;
}

// A window built like the program's own: designed in English, every translated
// caption tagged with its text id, plus untagged twins that must stay as designed.
class TestForm : public QMainWindow
{
public:
    TestForm()
    {
        tagged(this, "TestForm", 1);
        setWindowTitle("Designed title");

        QMenu *file = tagged(menuBar()->addMenu("&File"), "File1", 0);
        file->menuAction()->setProperty(TagProperty, 2);
        tagged(file->addAction("E&xit"), "Exit1", 3);
        QMenu *help = menuBar()->addMenu("&Help");
        help->menuAction()->setProperty(TagProperty, 4);
        tagged(help->addAction("Online Help"), "OnlineHelpMenuItem", 91);
        tagged(help->addAction("Not in the table"), "MissingMenuItem", 900);
        tagged(help->addAction("Untagged"), "UntaggedMenuItem", 0);
        popup = new QMenu(this);
        tagged(popup->addAction("Delete Equation"), "DeleteEntry1", 78);
        // A Tag on the menu widget instead of its action, and a sub-menu owned outside the form:
        // both still belong to what the form shows.
        QMenu *tools = tagged(menuBar()->addMenu("Tools"), "ToolsMenu", 5);
        foreignMenu = std::make_unique<QMenu>("Foreign");
        foreignMenu->menuAction()->setObjectName("ForeignMenu");
        foreignMenu->menuAction()->setProperty(TagProperty, 50);
        tagged(foreignMenu->addAction("Print List"), "ForeignItem", 54);
        tools->addMenu(foreignMenu.get());

        auto *central = new QWidget(this);
        setCentralWidget(central);
        auto *layout = new QVBoxLayout(central);
        tabs = new QTabWidget(central);
        layout->addWidget(tabs);
        general = tagged(new QWidget, "GeneralTabSheet", 6);
        velocity = tagged(new QWidget, "VelocityTabSheet", 7);
        tabs->addTab(general, "General Settings");
        tabs->addTab(velocity, "Velocity Measuring");
        tabs->addTab(tagged(new QWidget, "PlainTabSheet", 0), "Plain");

        auto *page = new QVBoxLayout(general);
        auto add = [page](auto *w) {
            page->addWidget(w);
            return w;
        };
        add(tagged(new QLabel("Mode:"), "Label22", 21));
        add(tagged(new QLabel("minutes."), "Label27", 37));
        add(tagged(new QLabel(""), "EmptyLabel", 9));
        add(tagged(new QLabel("Designed:"), "MissingLabel", 900));
        add(tagged(new QLabel("Keep me:"), "UntaggedLabel", 0));
        add(tagged(new QPushButton("Save Settings"), "SaveGeneralSettingsButton", 39));
        add(tagged(new QPushButton("Designed"), "MissingButton", 900));
        add(tagged(new QCheckBox("Buzzer:"), "BuzzerCheckBox", 33));
        add(tagged(new QRadioButton("Cable"), "CableRadioButton", 47));
        add(tagged(new QGroupBox("Measuring Mode"), "MeasuringModeGroupBox", 8));
        add(tagged(new QGroupBox("Untouched"), "UntaggedGroupBox", 0));

        typeGroup = add(tagged(new TRadioGroup, "TypeRadioGroup", 2949166));
        typeGroup->setTitle("Type");
        typeGroup->setItems({ "Rod", "Cable" });
        typeGroup->setItemIndex(1);
        itemsGroup = add(tagged(new TRadioGroup, "ItemsOnlyRadioGroup", 46));
        itemsGroup->setTitle("Designed caption");
        itemsGroup->setItems({ "Rod", "Cable", "Third" });

        buzzer = add(tagged(new QComboBox, "BuzzerModeComboBox", 60));
        buzzer->addItems({ "OFF", "BEEP", "HUSH", "CONTINUOUS", "SURPLUS" });
        buzzer->setCurrentIndex(2);
        groundFeeler = add(tagged(new QComboBox, "GroundFeelerModeComboBox", 22));
        groundFeeler->setEditable(true);
        groundFeeler->addItems({ "OFF", "ON", "AUTO" });
        groundFeeler->setCurrentIndex(1);
        numbers = add(tagged(new QComboBox, "TimeComboBox", 0));
        numbers->addItems({ "5", "10", "15" });
        numbers->setCurrentIndex(1);

        tree = add(tagged(new QTreeWidget, "EquationTreeView", 1));
        tree->setHeaderLabels({ "Name", "Fixed", "Meter" });
        tree->setProperty("ColumnTags", QVariantList { 41, 0, 43 });
        table = add(tagged(new QTableWidget(0, 2), "EquationTableView", 1));
        table->setProperty("ColumnTags", QVariantList { 50, 51 });
    }

    std::unique_ptr<QMenu> foreignMenu;
    QMenu *popup;
    QTabWidget *tabs;
    QWidget *general;
    QWidget *velocity;
    TRadioGroup *typeGroup;
    TRadioGroup *itemsGroup;
    QComboBox *buzzer;
    QComboBox *groundFeeler;
    QComboBox *numbers;
    QTreeWidget *tree;
    QTableWidget *table;
};

// Everything a user can read on the form, keyed by a readable name.
QMap<QString, QString> captions(TestForm &form)
{
    QMap<QString, QString> shown;
    shown["title"] = form.windowTitle();
    for (QAction *action : form.findChildren<QAction *>())
        if (!action->objectName().isEmpty())
            shown[action->objectName()] = action->text();
    const QList<QAction *> bar = form.menuBar()->actions();
    shown["File1"] = bar.at(0)->text();
    shown["Help1"] = bar.at(1)->text();
    shown["ToolsMenu"] = bar.at(2)->text();
    shown["ForeignMenu"] = form.foreignMenu->title();
    shown["ForeignItem"] = form.foreignMenu->actions().at(0)->text();
    for (int i = 0; i < form.tabs->count(); ++i)
        shown[QString("tab%1").arg(i)] = form.tabs->tabText(i);
    for (QLabel *label : form.findChildren<QLabel *>())
        if (!label->objectName().isEmpty())
            shown[label->objectName()] = label->text();
    for (QAbstractButton *button : form.findChildren<QAbstractButton *>())
        if (!button->objectName().isEmpty())
            shown[button->objectName()] = button->text();
    for (QGroupBox *box : form.findChildren<QGroupBox *>())
        shown[box->objectName()] = box->title();
    shown["TypeRadioGroup.items"] = form.typeGroup->items().join('|');
    shown["ItemsOnlyRadioGroup.items"] = form.itemsGroup->items().join('|');
    for (QComboBox *combo : { form.buzzer, form.groundFeeler, form.numbers }) {
        QStringList items;
        for (int i = 0; i < combo->count(); ++i)
            items << combo->itemText(i);
        shown[combo->objectName()]
            = items.join('|') + QString(" @%1 ").arg(combo->currentIndex()) + combo->currentText();
    }
    QStringList treeHeader;
    for (int c = 0; c < form.tree->columnCount(); ++c)
        treeHeader << form.tree->headerItem()->text(c);
    shown["tree"] = treeHeader.join('|');
    QStringList tableHeader;
    for (int c = 0; c < form.table->columnCount(); ++c)
        tableHeader << form.table->model()->headerData(c, Qt::Horizontal).toString();
    shown["table"] = tableHeader.join('|');
    return shown;
}

class TranslateFormTest : public ::testing::Test
{
protected:
    void TearDown() override { LanguageOffset = GermanOffset; }
};

TEST_F(TranslateFormTest, TranslatesEveryTaggedComponentByItsKind)
{
    struct Expectation {
        int offset;
        QMap<QString, QString> captions;
    };
    const Expectation expectations[] = {
        { EnglishOffset,
            {
                { "title", "Application Software for Vetu" },
                { "File1", "File" },
                { "Exit1", "Exit" },
                { "Help1", "Help" },
                { "OnlineHelpMenuItem", "Online Help" },
                { "MissingMenuItem", "" },
                { "UntaggedMenuItem", "Untagged" },
                { "DeleteEntry1", "Delete Equation" },
                { "ToolsMenu", "Info" },
                { "ForeignMenu", "Equations" },
                { "ForeignItem", "Print List" },
                { "tab0", "General Settings" },
                { "tab1", "Velocity Measuring" },
                { "tab2", "Plain" },
                { "Label22", "Mode:" },
                { "Label27", "minutes" },
                { "EmptyLabel", "Default Measuring Mode" },
                { "MissingLabel", "Designed:" },
                { "UntaggedLabel", "Keep me:" },
                { "SaveGeneralSettingsButton", "Save Settings" },
                { "MissingButton", "Designed" },
                { "BuzzerCheckBox", "Buzzer:" },
                { "CableRadioButton", "Cable" },
                { "MeasuringModeGroupBox", "Measuring Mode" },
                { "UntaggedGroupBox", "Untouched" },
                { "TypeRadioGroup", "Type" },
                { "TypeRadioGroup.items", "Rod|Cable" },
                { "ItemsOnlyRadioGroup", "Designed caption" },
                { "ItemsOnlyRadioGroup.items", "Rod|Cable|Third" },
                { "BuzzerModeComboBox", "OFF|ON|QUIET|CONTINUOUS|SURPLUS @2 QUIET" },
                { "GroundFeelerModeComboBox", "OFF|ON|AUTO @1 ON" },
                { "TimeComboBox", "5|10|15 @1 10" },
                { "tree", "Configuration Name|Fixed|Serialnumber Meter" },
                { "table", "Equations|Frequency Range" },
            } },
        { GermanOffset,
            {
                { "title", "Bediensoftware Vetu" },
                { "File1", "Datei" },
                { "Exit1", "Beenden" },
                { "Help1", "Hilfe" },
                { "OnlineHelpMenuItem", "Online Hilfe" },
                { "MissingMenuItem", "" },
                { "UntaggedMenuItem", "Untagged" },
                { "DeleteEntry1", QString::fromUtf8("Gleichung löschen") },
                { "ToolsMenu", "Info" },
                { "ForeignMenu", "Gleichungen" },
                { "ForeignItem", "Liste drucken" },
                { "tab0", "Allgemeine Einstellungen" },
                { "tab1", "Geschwindigkeitsmessung" },
                { "tab2", "Plain" },
                { "Label22", "Modus:" },
                { "Label27", "Minuten" },
                { "EmptyLabel", "Standard-Messmodus" },
                { "MissingLabel", "Designed:" },
                { "UntaggedLabel", "Keep me:" },
                { "SaveGeneralSettingsButton", "Einstellungen speichern" },
                { "MissingButton", "Designed" },
                { "BuzzerCheckBox", "Summer:" },
                { "CableRadioButton", "Kabel" },
                { "MeasuringModeGroupBox", "Messmodus" },
                { "UntaggedGroupBox", "Untouched" },
                { "TypeRadioGroup", "Typ" },
                { "TypeRadioGroup.items", "Stange|Kabel" },
                { "ItemsOnlyRadioGroup", "Designed caption" },
                { "ItemsOnlyRadioGroup.items", "Stange|Kabel|Third" },
                { "BuzzerModeComboBox", "AUS|EIN|RUHE|DAUER|SURPLUS @2 RUHE" },
                { "GroundFeelerModeComboBox", "AUS|EIN|AUTO @1 EIN" },
                { "TimeComboBox", "5|10|15 @1 10" },
                { "tree", "Konfigurationsname|Fixed|Seriennummer Messflügel" },
                { "table", "Gleichungen|Frequenzbereich" },
            } },
        { FrenchOffset,
            {
                { "tab0", QString::fromUtf8("Paramètres généraux") },
                { "Label22", "Mode:" },
                { "TypeRadioGroup.items", QString::fromUtf8("Perche|Câble") },
                { "BuzzerModeComboBox", QString::fromUtf8("OFF|ON|REPOS|DURÉE|SURPLUS @2 REPOS") },
                { "OnlineHelpMenuItem", "Aide en ligne" },
            } },
    };

    for (const Expectation &e : expectations) {
        TestForm form;
        LanguageOffset = e.offset;
        TranslateForm(&form);
        const QMap<QString, QString> once = captions(form);
        for (auto it = e.captions.cbegin(); it != e.captions.cend(); ++it)
            EXPECT_EQ(once.value(it.key()), it.value())
                << "offset " << e.offset << ": " << qPrintable(it.key());

        // A second pass, as at the first start, changes nothing.
        TranslateForm(&form);
        EXPECT_EQ(captions(form), once) << "offset " << e.offset;
    }
}

TEST_F(TranslateFormTest, RetranslatingIntoAnotherLanguageKeepsColonsAndSelections)
{
    TestForm form;
    for (int offset : { GermanOffset, EnglishOffset, SpanishOffset, GermanOffset }) {
        LanguageOffset = offset;
        TranslateForm(&form);
    }
    const QMap<QString, QString> shown = captions(form);
    EXPECT_EQ(shown["Label22"], "Modus:");
    EXPECT_EQ(shown["Label27"], "Minuten");
    EXPECT_EQ(shown["BuzzerModeComboBox"], "AUS|EIN|RUHE|DAUER|SURPLUS @2 RUHE");
    EXPECT_EQ(form.typeGroup->itemIndex(), 1);
    EXPECT_EQ(form.itemsGroup->itemIndex(), -1);
}

TEST_F(TranslateFormTest, TranslationIsNotAnEditOfTheLists)
{
    TestForm form;
    form.show();
    struct Watched {
        QComboBox *combo;
        std::vector<std::unique_ptr<QSignalSpy>> spies;
    };
    std::vector<Watched> watched;
    for (QComboBox *combo : { form.buzzer, form.groundFeeler }) {
        Watched w { combo, {} };
        w.spies.push_back(std::make_unique<QSignalSpy>(combo, &QComboBox::currentIndexChanged));
        w.spies.push_back(std::make_unique<QSignalSpy>(combo, &QComboBox::currentTextChanged));
        w.spies.push_back(std::make_unique<QSignalSpy>(combo, &QComboBox::editTextChanged));
        w.spies.push_back(std::make_unique<QSignalSpy>(combo, &QComboBox::activated));
        w.spies.push_back(std::make_unique<QSignalSpy>(combo, &QComboBox::textActivated));
        watched.push_back(std::move(w));
    }
    QSignalSpy typeChanged(form.typeGroup, &TRadioGroup::itemIndexChanged);

    LanguageOffset = EnglishOffset;
    TranslateForm(&form);
    LanguageOffset = GermanOffset;
    TranslateForm(&form);

    for (const Watched &w : watched) {
        for (const auto &spy : w.spies)
            EXPECT_EQ(spy->count(), 0)
                << qPrintable(w.combo->objectName()) << " " << spy->signal().constData();
    }
    EXPECT_EQ(typeChanged.count(), 0);
    EXPECT_EQ(form.groundFeeler->currentText(), "EIN");
    EXPECT_EQ(form.groundFeeler->lineEdit()->text(), "EIN");
    // The signals of the lists work again afterwards.
    form.buzzer->setCurrentIndex(3);
    EXPECT_EQ(watched[0].spies[0]->count(), 1);
}

TEST_F(TranslateFormTest, Tag0LeavesEveryKindOfComponentAsDesigned)
{
    // Every text id that a kind could read holds a text, so only the Tag can keep them unchanged.
    LanguageOffset = EnglishOffset;
    QWidget form;
    form.setWindowTitle("Form");
    form.setProperty(TagProperty, 0);
    auto *tabs = new QTabWidget(&form);
    tabs->addTab(new QWidget, "Page");
    auto *label = new QLabel("Label:", &form);
    auto *button = new QPushButton("Button", &form);
    auto *check = new QCheckBox("Check", &form);
    auto *radio = new QRadioButton("Radio", &form);
    auto *box = new QGroupBox("Box", &form);
    auto *group = new TRadioGroup(&form);
    group->setTitle("Group");
    group->setItems({ "a", "b" });
    auto *combo = new QComboBox(&form);
    combo->addItems({ "x", "y" });
    auto *tree = new QTreeWidget(&form);
    tree->setHeaderLabels({ "h" });
    tree->setProperty("ColumnTags", QVariantList { 41 });
    auto *menu = new QMenu("Menu", &form);
    QAction *action = menu->addAction("Action");
    // Some carry an explicit 0, the others no Tag at all.
    for (QObject *o : std::initializer_list<QObject *> { label, button, check, group, combo, action })
        o->setProperty(TagProperty, 0);

    TranslateForm(&form);

    EXPECT_EQ(form.windowTitle(), "Form");
    EXPECT_EQ(tabs->tabText(0), "Page");
    EXPECT_EQ(label->text(), "Label:");
    EXPECT_EQ(button->text(), "Button");
    EXPECT_EQ(check->text(), "Check");
    EXPECT_EQ(radio->text(), "Radio");
    EXPECT_EQ(box->title(), "Box");
    EXPECT_EQ(group->title(), "Group");
    EXPECT_EQ(group->items(), QStringList({ "a", "b" }));
    EXPECT_EQ(combo->itemText(0), "x");
    EXPECT_EQ(tree->headerItem()->text(0), "h");
    EXPECT_EQ(menu->title(), "Menu");
    EXPECT_EQ(action->text(), "Action");
}

TEST_F(TranslateFormTest, TranslateItemsKeepsLengthAndDesignedSurplus)
{
    struct Case {
        int first;
        QStringList designed;
        QStringList translated;
    };
    const Case cases[] = {
        { 10, { "a", "b", "c", "d" },
            { "Pulse Mode", "Time Mode", "Integration Mode", "Integration Mode with Remaining Term" } },
        { 22, { "a", "b", "c", "d", "e" }, { "OFF", "ON", "AUTO", "d", "e" } },
        { 0, { "a", "b" }, { "a", "b" } },
        { 91, { "a", "b" }, { "Online Help", "b" } },
        { 22, {}, {} },
    };
    LanguageOffset = EnglishOffset;
    for (const Case &c : cases) {
        QStringList items = c.designed;
        TranslateItems(items, c.first);
        EXPECT_EQ(items, c.translated) << c.first;
    }
}

} // namespace
