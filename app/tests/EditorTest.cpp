// The Velocity Measuring page as the user works it: choosing a set in the list, the check
// made on leaving a boundary field, the key filters of two boundary fields, and the checks
// before a save with either decimal separator.
#include "MainFormFixture.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>

#include <map>

namespace
{

const QByteArray TwoSets = TempDeviceFolder::crlf({ "[Settings]", "LanguageOffset=10000", "[01]", "Name=Meter A",
    "BodyNr=47", "PropellerNr=12", "MountingType=Rod", "Boundary1=10", "Boundary2=", "Boundary3=",
    "Factor1=0.25", "Factor2=", "Factor3=", "Factor4=", "Offset1=0.01", "Offset2=", "Offset3=", "Offset4=",
    "[05]", "Name=Meter E", "BodyNr=51", "PropellerNr=52", "MountingType=Cable", "Boundary1=3",
    "Boundary2=7", "Boundary3=", "Factor1=1", "Factor2=2", "Factor3=", "Factor4=", "Offset1=0", "Offset2=0.5",
    "Offset3=", "Offset4=" });

const QString SaveQuestion = QStringLiteral("Do you want so save the current configuration?");
const QString InvalidBoundary = QStringLiteral("Invalid Boundary");
const QString BoundaryOrder = QStringLiteral("The boundary values must be defined in increasing oder!");

class EditorTest : public MainFormTest
{
protected:
    void TearDown() override
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        MainFormTest::TearDown();
    }

    QLineEdit *field(const char *name) const { return form->findChild<QLineEdit *>(QLatin1String(name)); }

    void expectSetOneShownAndChanged(const QString &name)
    {
        EXPECT_EQ(form->ConfigListBox->currentRow(), 0);
        EXPECT_EQ(form->CurrentEquationSet, 1);
        EXPECT_EQ(form->NameEdit->text(), name);
        EXPECT_TRUE(form->VelocitySettingsModified);
        EXPECT_TRUE(form->SaveVelocitySettingsButton->isEnabled());
    }

    void expectSetFiveShownUnchanged()
    {
        EXPECT_EQ(form->ConfigListBox->currentRow(), 4);
        EXPECT_EQ(form->CurrentEquationSet, 5);
        EXPECT_EQ(form->NameEdit->text(), QStringLiteral("Meter E"));
        EXPECT_EQ(form->Boundary2Edit->text(), QStringLiteral("7"));
        EXPECT_EQ(form->Boundary2_Edit->text(), QStringLiteral("7"));
        EXPECT_EQ(form->Offset2Edit->text(), QStringLiteral("0.5"));
        EXPECT_FALSE(form->VelocitySettingsModified);
        EXPECT_FALSE(form->SaveVelocitySettingsButton->isEnabled());
    }
};

// ---------------------------------------------------------------------------------------
// Choosing a set in the list

struct ListClickCase {
    const char *name;
    bool edited; // the shown set was edited before the click
    const char *offset1; // typed into Offset1Edit when edited
    int answer; // to the save question; 0 when none is expected
    bool showsOtherSet;
    bool saves;
};

void PrintTo(const ListClickCase &c, std::ostream *os)
{
    *os << c.name;
}


class ListClickTest : public EditorTest, public ::testing::WithParamInterface<ListClickCase>
{
};

} // namespace

TEST_P(ListClickTest, ClickOnAnotherEntry)
{
    const ListClickCase &c = GetParam();
    startOnVelocityPage(TwoSets);
    if (c.edited) {
        retype(form->NameEdit, QStringLiteral("Meter Z"));
        retype(form->Offset1Edit, QLatin1String(c.offset1));
    }
    if (c.answer != 0)
        boxes.answer(static_cast<QMessageBox::StandardButton>(c.answer));
    const bool failsCheck = c.saves == false && c.answer == QMessageBox::Yes;
    if (failsCheck)
        boxes.answer(QMessageBox::Ok);

    clickEntry(4);

    ASSERT_EQ(boxes.seen().size(), (c.answer != 0 ? 1 : 0) + (failsCheck ? 1 : 0));
    if (c.answer != 0) {
        EXPECT_EQ(boxes.seen()[0].text, SaveQuestion);
        EXPECT_EQ(boxes.seen()[0].icon, QMessageBox::Question);
        EXPECT_EQ(boxes.seen()[0].buttons, QMessageBox::Yes | QMessageBox::No);
    }
    if (c.showsOtherSet)
        expectSetFiveShownUnchanged();
    if (c.saves) {
        QByteArray saved = TwoSets;
        saved.replace("Name=Meter A", "Name=Meter Z");
        saved.replace("Offset1=0.01", QByteArray("Offset1=") + c.offset1);
        EXPECT_EQ(configurationIni(), saved);
        EXPECT_EQ(form->ConfigListBox->item(0)->text(), QStringLiteral("[01] Meter Z"));
        EXPECT_TRUE(form->EquationSetsSaved);
    } else {
        EXPECT_EQ(configurationIni(), TwoSets);
        EXPECT_EQ(form->ConfigListBox->item(0)->text(), QStringLiteral("[01] Meter A"));
        EXPECT_FALSE(form->EquationSetsSaved);
    }
    if (failsCheck) {
        EXPECT_EQ(boxes.seen()[1].text, QStringLiteral("Equation 1 must be correctly defined!"));
        expectSetOneShownAndChanged(QStringLiteral("Meter Z"));
        EXPECT_TRUE(form->ConfigListBox->item(0)->isSelected());
        EXPECT_FALSE(form->ConfigListBox->item(4)->isSelected());
        EXPECT_EQ(form->Offset1Edit->text(), QString());
        EXPECT_EQ(focusOnceActive(), form->Offset1Edit);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, ListClickTest,
    ::testing::Values(ListClickCase { "Unchanged", false, "", 0, true, false },
        ListClickCase { "ChangedAnsweredNo", true, "0.02", QMessageBox::No, true, false },
        ListClickCase { "ChangedAnsweredYes", true, "0.02", QMessageBox::Yes, true, true },
        ListClickCase { "ChangedInvalidAnsweredYes", true, "", QMessageBox::Yes, false, false }),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(EditorTest, ClickOnTheShownSetsOwnEntryAnsweredNoRestoresTheStoredValues)
{
    startOnVelocityPage(TwoSets);
    retype(form->NameEdit, QStringLiteral("Meter Z"));
    retype(form->Boundary1Edit, QStringLiteral("12"));
    boxes.answer(QMessageBox::No);

    clickEntry(0);

    ASSERT_EQ(boxes.seen().size(), 1);
    EXPECT_EQ(boxes.seen()[0].text, SaveQuestion);
    EXPECT_EQ(form->NameEdit->text(), QStringLiteral("Meter A"));
    EXPECT_EQ(form->Boundary1Edit->text(), QStringLiteral("10"));
    EXPECT_EQ(form->Boundary1_Edit->text(), QStringLiteral("10"));
    EXPECT_FALSE(form->VelocitySettingsModified);
    EXPECT_FALSE(form->SaveVelocitySettingsButton->isEnabled());
    EXPECT_EQ(configurationIni(), TwoSets);

    // Without edits the same click asks nothing.
    clickEntry(0);
    EXPECT_EQ(boxes.seen().size(), 1);
}

TEST_F(EditorTest, TheSaveQuestionIsAnsweredOnlyByYesOrNo)
{
    startOnVelocityPage(TwoSets);
    retype(form->NameEdit, QStringLiteral("Meter Z"));
    boxes.answerEscape();
    boxes.answer(QMessageBox::No);

    clickEntry(4);

    // Escape left the box open (it would otherwise drop the edits unasked); No then answered it.
    ASSERT_EQ(boxes.seen().size(), 2);
    EXPECT_EQ(boxes.seen()[1].text, SaveQuestion);
    expectSetFiveShownUnchanged();
}

TEST_F(EditorTest, KeyboardMovesInTheListChooseSets)
{
    startOnVelocityPage(TwoSets);
    QListWidget *list = form->ConfigListBox;
    list->setFocus();
    for (int i = 0; i < 4; ++i)
        QTest::keyClick(list, Qt::Key_Down);
    expectSetFiveShownUnchanged();
    EXPECT_TRUE(boxes.seen().isEmpty());

    TypeText(form->Factor3Edit, QStringLiteral("4"));
    list->setFocus();
    boxes.answer(QMessageBox::No);
    QTest::keyClick(list, Qt::Key_Home);
    ASSERT_EQ(boxes.seen().size(), 1);
    EXPECT_EQ(form->CurrentEquationSet, 1);
    EXPECT_EQ(form->NameEdit->text(), QStringLiteral("Meter A"));
    EXPECT_EQ(form->Factor3Edit->text(), QString());
}

TEST_F(EditorTest, TheProgramsOwnSelectionsAndOtherButtonsChooseNoSet)
{
    startOnVelocityPage(TwoSets);
    retype(form->NameEdit, QStringLiteral("Meter Z"));
    QListWidget *list = form->ConfigListBox;
    list->setCurrentRow(4);
    list->setCurrentRow(0);
    QTest::mouseClick(list->viewport(), Qt::MiddleButton, Qt::NoModifier, list->visualItemRect(list->item(4)).center());
    EXPECT_TRUE(boxes.seen().isEmpty());
    expectSetOneShownAndChanged(QStringLiteral("Meter Z"));

    // Ctrl+click on the selected entry chooses it again and leaves it selected.
    boxes.answer(QMessageBox::No);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ControlModifier,
        list->visualItemRect(list->item(0)).center());
    EXPECT_EQ(boxes.seen().size(), 1);
    EXPECT_EQ(form->NameEdit->text(), QStringLiteral("Meter A"));
    EXPECT_TRUE(list->item(0)->isSelected());
}

TEST_F(EditorTest, SwitchingPagesAsksNothingAndKeepsTheEdits)
{
    startOnVelocityPage(TwoSets);
    form->Boundary1Edit->setFocus();
    retype(form->Boundary1Edit, QStringLiteral("abc"));
    QTabBar *tabs = form->PageControl1->tabBar();
    QTest::mouseClick(tabs, Qt::LeftButton, Qt::NoModifier, tabs->tabRect(0).center());
    ASSERT_EQ(form->PageControl1->currentWidget(), form->GeneralTabSheet);
    QTest::mouseClick(tabs, Qt::LeftButton, Qt::NoModifier, tabs->tabRect(1).center());
    ASSERT_EQ(form->PageControl1->currentWidget(), form->VelocityTabSheet);
    EXPECT_TRUE(boxes.seen().isEmpty());
    EXPECT_EQ(form->Boundary1Edit->text(), QStringLiteral("abc"));
    EXPECT_TRUE(form->VelocitySettingsModified);
}

// ---------------------------------------------------------------------------------------
// The check on leaving a boundary field

namespace
{

struct ExitCheckCase {
    const char *name;
    char separator; // the locale's decimal separator
    const char *boundary1;
    const char *boundary2;
    const char *boundary3;
    const char *left; // the boundary field that is left
    const char *message; // nullptr: nothing is shown
    const char *focus; // the field that gets the focus after the message
};

void PrintTo(const ExitCheckCase &c, std::ostream *os)
{
    *os << c.name;
}


enum class LeaveBy { Tab, MouseOnNameEdit, MouseOnOtherBoundary, MouseOnList };

class ExitCheckTest : public EditorTest, public ::testing::WithParamInterface<std::tuple<ExitCheckCase, LeaveBy>>
{
};

} // namespace

TEST_P(ExitCheckTest, LeavingABoundaryFieldChecksAllThree)
{
    const auto &[c, how] = GetParam();
    QLocale::setDefault(c.separator == ',' ? QLocale(QLocale::German, QLocale::Germany)
                                           : QLocale(QLocale::English, QLocale::UnitedStates));
    startOnVelocityPage(TwoSets);
    retype(form->Boundary1Edit, QLatin1String(c.boundary1));
    retype(form->Boundary2Edit, QLatin1String(c.boundary2));
    retype(form->Boundary3Edit, QLatin1String(c.boundary3));
    QLineEdit *left = field(c.left);
    left->setFocus();
    ASSERT_EQ(QApplication::focusWidget(), left);
    if (c.message)
        boxes.answer(QMessageBox::Ok);
    // The save question of the click on the list. After a refused exit it must not come: the
    // answerer then fails the test on it.
    if (how == LeaveBy::MouseOnList && !c.message)
        boxes.answer(QMessageBox::No);
    QLineEdit *other = left == form->Boundary2Edit ? form->Boundary3Edit : form->Boundary2Edit;

    switch (how) {
    case LeaveBy::Tab:
        QTest::keyClick(left, Qt::Key_Tab);
        break;
    case LeaveBy::MouseOnNameEdit:
        QTest::mouseClick(form->NameEdit, Qt::LeftButton);
        break;
    case LeaveBy::MouseOnOtherBoundary:
        QTest::mouseClick(other, Qt::LeftButton);
        break;
    case LeaveBy::MouseOnList:
        clickEntry(4);
        break;
    }

    if (!c.message) {
        EXPECT_NE(QApplication::focusWidget(), left);
        if (how == LeaveBy::MouseOnList) {
            // The click went on to the list: the question about the edited set came.
            ASSERT_EQ(boxes.seen().size(), 1);
            EXPECT_EQ(boxes.seen()[0].text, SaveQuestion);
            EXPECT_EQ(form->CurrentEquationSet, 5);
        } else {
            EXPECT_TRUE(boxes.seen().isEmpty());
        }
        if (how == LeaveBy::MouseOnOtherBoundary) {
            EXPECT_EQ(QApplication::focusWidget(), other);
        }
        return;
    }
    ASSERT_EQ(boxes.seen().size(), 1) << "one message, and no second one from the focus moving back";
    EXPECT_EQ(boxes.seen()[0].text, QLatin1String(c.message));
    EXPECT_EQ(boxes.seen()[0].icon, QMessageBox::Critical);
    EXPECT_EQ(boxes.seen()[0].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    EXPECT_EQ(focusOnceActive(), field(c.focus));
    EXPECT_EQ(boxes.seen().size(), 1);
    // The refused click had no effect of its own, and nothing else changed.
    EXPECT_EQ(form->ConfigListBox->currentRow(), 0);
    EXPECT_EQ(form->CurrentEquationSet, 1);
    EXPECT_EQ(form->Boundary1Edit->text(), QLatin1String(c.boundary1));
    EXPECT_EQ(form->Boundary2Edit->text(), QLatin1String(c.boundary2));
    EXPECT_EQ(form->Boundary3Edit->text(), QLatin1String(c.boundary3));
    EXPECT_TRUE(form->VelocitySettingsModified);
    EXPECT_EQ(configurationIni(), TwoSets);
}

namespace
{

std::string ExitCheckName(const ::testing::TestParamInfo<std::tuple<ExitCheckCase, LeaveBy>> &info)
{
    static const char *const how[] = { "Tab", "MouseOnNameEdit", "MouseOnOtherBoundary", "MouseOnList" };
    return std::string(std::get<0>(info.param).name) + "_" + how[int(std::get<1>(info.param))];
}

constexpr const char *OrderMessage = "The boundary values must be defined in increasing oder!";

const ExitCheckCase ExitCheckCases[] = {
    { "Zero", '.', "0", "", "", "Boundary1Edit", "Invalid Boundary", "Boundary1Edit" },
    { "ZeroWithDecimals", '.', "0.0", "", "", "Boundary1Edit", "Invalid Boundary", "Boundary1Edit" },
    { "Letters", '.', "abc", "", "", "Boundary1Edit", "Invalid Boundary", "Boundary1Edit" },
    { "CommaAlone", '.', ",", "", "", "Boundary1Edit", "Invalid Boundary", "Boundary1Edit" },
    { "AllEmpty", '.', "", "", "", "Boundary1Edit", nullptr, nullptr },
    { "Negative", '.', "-5", "", "", "Boundary1Edit", nullptr, nullptr },
    { "CommaInAPointLocale", '.', "1,5", "2", "", "Boundary2Edit", nullptr, nullptr },
    { "PointInACommaLocale", ',', "1.5", "2", "", "Boundary2Edit", nullptr, nullptr },
    { "TwoPointsInACommaLocale", ',', "1.2.3", "", "", "Boundary1Edit", "Invalid Boundary", "Boundary1Edit" },
    { "GapBetweenDefinedBoundaries", '.', "5", "", "3", "Boundary3Edit", nullptr, nullptr },
    { "EqualFirstAndSecond", '.', "5", "5", "", "Boundary1Edit", OrderMessage, "Boundary2Edit" },
    { "EqualSecondAndThird", '.', "2", "7", "7", "Boundary2Edit", OrderMessage, "Boundary3Edit" },
    { "DecreasingSecondAndThirdInACommaLocale", ',', "1,5", "2.5", "2,25", "Boundary3Edit", OrderMessage,
        "Boundary3Edit" },
    { "BadThirdWhileLeavingTheFirst", '.', "4", "", "x", "Boundary1Edit", "Invalid Boundary", "Boundary3Edit" },
    { "BadFirstWhileLeavingTheSecond", '.', "abc", "4", "", "Boundary2Edit", "Invalid Boundary",
        "Boundary1Edit" },
};

} // namespace

INSTANTIATE_TEST_SUITE_P(Cases, ExitCheckTest,
    ::testing::Combine(::testing::ValuesIn(ExitCheckCases),
        ::testing::Values(LeaveBy::Tab, LeaveBy::MouseOnNameEdit, LeaveBy::MouseOnOtherBoundary, LeaveBy::MouseOnList)),
    ExitCheckName);

TEST_F(EditorTest, ARefusedExitKeepsTheClickedButtonFromActing)
{
    startOnVelocityPage(TwoSets);
    form->Boundary1Edit->setFocus();
    retype(form->Boundary1Edit, QStringLiteral("abc"));
    boxes.answer(QMessageBox::Ok); // the save's message must not come; the answerer fails on it

    QTest::mouseClick(form->SaveVelocitySettingsButton, Qt::LeftButton);

    // One message: the exit check's. The press on the button is dropped, so no save runs.
    ASSERT_EQ(boxes.seen().size(), 1);
    EXPECT_EQ(boxes.seen()[0].text, InvalidBoundary);
    EXPECT_FALSE(form->SaveVelocitySettingsButton->isDown());
    EXPECT_EQ(focusOnceActive(), form->Boundary1Edit);
    EXPECT_EQ(configurationIni(), TwoSets);

    // Once mended, the next click on the button saves.
    retype(form->Boundary1Edit, QStringLiteral("9"));
    QTest::mouseClick(form->SaveVelocitySettingsButton, Qt::LeftButton);
    EXPECT_EQ(boxes.seen().size(), 1);
    EXPECT_TRUE(configurationIni().contains("\r\nBoundary1=9\r\n"));
}

// ---------------------------------------------------------------------------------------
// Key filters

namespace
{

struct KeyCase {
    const char *name;
    const char *field;
    int key;
    Qt::KeyboardModifiers modifiers;
    const char *text; // what the key types, if anything
    const char *expected; // the field's text afterwards, from "1234" with the caret after "12"
    int caret; // the caret afterwards
    bool selection; // whether text is selected afterwards
};

void PrintTo(const KeyCase &c, std::ostream *os)
{
    *os << c.name;
}


class KeyFilterTest : public EditorTest, public ::testing::WithParamInterface<KeyCase>
{
};

} // namespace

TEST_P(KeyFilterTest, KeyActsAsTheFieldAllows)
{
    const KeyCase &c = GetParam();
    startOnVelocityPage(TwoSets);
    QLineEdit *edit = field(c.field);
    edit->setFocus();
    edit->setText(QStringLiteral("1234"));
    edit->setCursorPosition(2);

    if (c.text) {
        QTest::sendKeyEvent(QTest::Press, edit, Qt::Key(c.key), QLatin1String(c.text), c.modifiers);
        QTest::sendKeyEvent(QTest::Release, edit, Qt::Key(c.key), QLatin1String(c.text), c.modifiers);
    } else {
        QTest::keyClick(edit, Qt::Key(c.key), c.modifiers);
    }

    EXPECT_EQ(edit->text(), QLatin1String(c.expected));
    EXPECT_EQ(edit->cursorPosition(), c.caret);
    EXPECT_EQ(edit->hasSelectedText(), c.selection);
    EXPECT_TRUE(boxes.seen().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Cases, KeyFilterTest,
    ::testing::Values(
        // Boundary1Edit: caret and selection keys do nothing; Delete, Backspace and typing work.
        KeyCase { "First_Left", "Boundary1Edit", Qt::Key_Left, Qt::NoModifier, nullptr, "1234", 2, false },
        KeyCase { "First_Right", "Boundary1Edit", Qt::Key_Right, Qt::NoModifier, nullptr, "1234", 2, false },
        KeyCase { "First_Home", "Boundary1Edit", Qt::Key_Home, Qt::NoModifier, nullptr, "1234", 2, false },
        KeyCase { "First_End", "Boundary1Edit", Qt::Key_End, Qt::NoModifier, nullptr, "1234", 2, false },
        KeyCase { "First_ShiftHome", "Boundary1Edit", Qt::Key_Home, Qt::ShiftModifier, nullptr, "1234", 2, false },
        KeyCase { "First_ShiftLeft", "Boundary1Edit", Qt::Key_Left, Qt::ShiftModifier, nullptr, "1234", 2, false },
        KeyCase { "First_Delete", "Boundary1Edit", Qt::Key_Delete, Qt::NoModifier, nullptr, "124", 2, false },
        KeyCase { "First_Backspace", "Boundary1Edit", Qt::Key_Backspace, Qt::NoModifier, nullptr, "134", 1, false },
        KeyCase { "First_Digit", "Boundary1Edit", Qt::Key_7, Qt::NoModifier, nullptr, "12734", 3, false },
        KeyCase { "First_Letter", "Boundary1Edit", Qt::Key_X, Qt::NoModifier, "x", "12x34", 3, false },
        // Boundary3Edit: Delete and the caret and selection keys do nothing; Backspace and typing work.
        KeyCase { "Third_Left", "Boundary3Edit", Qt::Key_Left, Qt::NoModifier, nullptr, "1234", 2, false },
        KeyCase { "Third_End", "Boundary3Edit", Qt::Key_End, Qt::NoModifier, nullptr, "1234", 2, false },
        KeyCase { "Third_ShiftEnd", "Boundary3Edit", Qt::Key_End, Qt::ShiftModifier, nullptr, "1234", 2, false },
        KeyCase { "Third_Delete", "Boundary3Edit", Qt::Key_Delete, Qt::NoModifier, nullptr, "1234", 2, false },
        KeyCase { "Third_Backspace", "Boundary3Edit", Qt::Key_Backspace, Qt::NoModifier, nullptr, "134", 1, false },
        KeyCase { "Third_Digit", "Boundary3Edit", Qt::Key_5, Qt::NoModifier, nullptr, "12534", 3, false },
        KeyCase { "Third_Minus", "Boundary3Edit", Qt::Key_Minus, Qt::NoModifier, "-", "12-34", 3, false },
        // Boundary2Edit has no filter.
        KeyCase { "Second_Left", "Boundary2Edit", Qt::Key_Left, Qt::NoModifier, nullptr, "1234", 1, false },
        KeyCase { "Second_ShiftEnd", "Boundary2Edit", Qt::Key_End, Qt::ShiftModifier, nullptr, "1234", 4, true },
        KeyCase { "Second_Delete", "Boundary2Edit", Qt::Key_Delete, Qt::NoModifier, nullptr, "124", 2, false }),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(EditorTest, TabStillLeavesTheFilteredFields)
{
    startOnVelocityPage(TwoSets);
    form->Boundary1Edit->setFocus();
    QTest::keyClick(form->Boundary1Edit, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), form->Factor1Edit);
    form->Boundary3Edit->setFocus();
    QTest::keyClick(form->Boundary3Edit, Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_NE(QApplication::focusWidget(), form->Boundary3Edit);
}

// ---------------------------------------------------------------------------------------
// The checks before a save, through the window, with either decimal separator

namespace
{

struct SaveCheckCase {
    const char *name;
    char separator;
    std::map<std::string, const char *> typed; // field name to text; the other number fields empty
    const char *message; // nullptr: the set is saved
    const char *focusOrStored; // the focused field, or a line that the saved section holds
};

void PrintTo(const SaveCheckCase &c, std::ostream *os)
{
    *os << c.name;
}


class SaveCheckTest : public EditorTest, public ::testing::WithParamInterface<SaveCheckCase>
{
};

} // namespace

TEST_P(SaveCheckTest, SaveButtonChecksTheSet)
{
    const SaveCheckCase &c = GetParam();
    QLocale::setDefault(c.separator == ',' ? QLocale(QLocale::French, QLocale::France)
                                           : QLocale(QLocale::English, QLocale::UnitedKingdom));
    startOnVelocityPage(TwoSets);
    for (QLineEdit *edit : { form->Boundary1Edit, form->Boundary2Edit, form->Boundary3Edit, form->Factor1Edit,
             form->Factor2Edit, form->Factor3Edit, form->Factor4Edit, form->Offset1Edit, form->Offset2Edit,
             form->Offset3Edit, form->Offset4Edit }) {
        const auto typed = c.typed.find(edit->objectName().toStdString());
        retype(edit, typed == c.typed.end() ? QString() : QString::fromUtf8(typed->second));
    }
    form->NameEdit->setFocus();
    if (c.message)
        boxes.answer(QMessageBox::Ok);

    QTest::mouseClick(form->SaveVelocitySettingsButton, Qt::LeftButton);

    if (!c.message) {
        EXPECT_TRUE(boxes.seen().isEmpty());
        EXPECT_TRUE(configurationIni().contains(QByteArray("\r\n") + c.focusOrStored + "\r\n"))
            << configurationIni().toStdString();
        EXPECT_FALSE(form->VelocitySettingsModified);
        return;
    }
    ASSERT_EQ(boxes.seen().size(), 1);
    EXPECT_EQ(boxes.seen()[0].text, QLatin1String(c.message));
    EXPECT_EQ(boxes.seen()[0].title, QStringLiteral("Error"));
    EXPECT_EQ(boxes.seen()[0].icon, QMessageBox::Critical);
    EXPECT_EQ(focusOnceActive(), field(c.focusOrStored));
    EXPECT_EQ(boxes.seen().size(), 1) << "the focus moving into a boundary field checks nothing more";
    EXPECT_EQ(configurationIni(), TwoSets);
    EXPECT_TRUE(form->VelocitySettingsModified);
}

INSTANTIATE_TEST_SUITE_P(Cases, SaveCheckTest,
    ::testing::Values(
        SaveCheckCase { "PointFactorInACommaLocale", ',',
            { { "Boundary1Edit", "10" }, { "Factor1Edit", "0.25" }, { "Offset1Edit", "0" } }, nullptr,
            "Factor1=0.25" },
        SaveCheckCase { "CommaFactorInAPointLocale", '.',
            { { "Boundary1Edit", "10" }, { "Factor1Edit", "0,25" }, { "Offset1Edit", "0" } }, nullptr,
            "Factor1=0.25" },
        SaveCheckCase { "CommaBoundaryInACommaLocale", ',',
            { { "Boundary1Edit", "2,5" }, { "Factor1Edit", "1" }, { "Offset1Edit", "-0,5" } }, nullptr,
            "Offset1=-0.5" },
        SaveCheckCase { "GapBetweenDefinedBoundaries", '.',
            { { "Boundary1Edit", "10" }, { "Boundary3Edit", "5" }, { "Factor1Edit", "1" }, { "Offset1Edit", "0" },
                { "Factor3Edit", "3" }, { "Offset3Edit", "0" } },
            nullptr, "Boundary3=5" },
        SaveCheckCase { "FactorOfTheUndefinedMark", '.',
            { { "Boundary1Edit", "10" }, { "Factor1Edit", "-999999" }, { "Offset1Edit", "0" } }, "Invalid Factor!",
            "Factor1Edit" },
        SaveCheckCase { "BadFactorOfAnEquationNotRequired", ',',
            { { "Boundary1Edit", "10" }, { "Factor1Edit", "1" }, { "Offset1Edit", "0" }, { "Factor4Edit", "abc" } },
            "Invalid Factor!", "Factor4Edit" },
        SaveCheckCase { "TwoPointsInACommaLocale", ',',
            { { "Boundary1Edit", "10" }, { "Factor1Edit", "1" }, { "Offset1Edit", "1.2.3" } }, "Invalid Offset!",
            "Offset1Edit" },
        SaveCheckCase { "BadBoundaryBeforeBadFactor", '.', { { "Boundary2Edit", "x" }, { "Factor1Edit", "y" } },
            "Invalid Boundary", "Boundary2Edit" },
        SaveCheckCase { "DecreasingThirdFocusesTheSecond", '.',
            { { "Boundary1Edit", "10" }, { "Boundary2Edit", "20" }, { "Boundary3Edit", "15" } },
            "The boundary values must be defined in increasing oder!", "Boundary2Edit" },
        SaveCheckCase { "SecondEquationIncomplete", ',', { { "Boundary2Edit", "5" } },
            "Equation 2 must be correctly defined!", "Factor2Edit" },
        SaveCheckCase { "OffsetMissing", '.', { { "Boundary1Edit", "10" }, { "Factor1Edit", "0.5" } },
            "Equation 1 must be correctly defined!", "Offset1Edit" },
        SaveCheckCase { "NoFirstBoundary", '.',
            { { "Boundary2Edit", "5" }, { "Factor2Edit", "1" }, { "Offset2Edit", "0" } },
            "At least one equation must be defined!", "Boundary1Edit" }),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(EditorTest, ARefusedWriteOnTheWayToAnotherSetKeepsTheEditsAndTheSelection)
{
    startOnVelocityPage(TwoSets);
    retype(form->NameEdit, QStringLiteral("Meter Z"));
    const QString iniPath = device.filePath(QStringLiteral("Configuration.ini"));
    ASSERT_TRUE(QDir(device.path()).removeRecursively());
    boxes.answer(QMessageBox::Yes);
    boxes.answer(QMessageBox::Ok);

    clickEntry(4);

    ASSERT_EQ(boxes.seen().size(), 2);
    EXPECT_EQ(boxes.seen()[1].text, QStringLiteral("Unable to write to ") + iniPath);
    // The list goes on showing the set whose edits are still only in the fields.
    expectSetOneShownAndChanged(QStringLiteral("Meter Z"));
    EXPECT_TRUE(form->ConfigListBox->item(0)->isSelected());
    EXPECT_EQ(form->ConfigListBox->item(0)->text(), QStringLiteral("[01] Meter A"));
}
