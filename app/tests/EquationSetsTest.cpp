// The Velocity Measuring page: change tracking, saving a set, and what reaches the file.
#include "MainFormFixture.h"

#include "RadioGroup.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>

namespace
{

class EquationSetsTest : public MainFormTest
{
protected:
    void startWith(const QByteArray &configurationIni) { startOnVelocityPage(configurationIni); }

    // Shows set n in the editor the way the list does: load it, then it counts as clean.
    void showSet(int n)
    {
        form->ConfigListBox->setCurrentRow(n - 1);
        form->CurrentEquationSet = n;
        form->LoadEquationSet();
        form->VelocitySettingsModified = false;
        form->SaveVelocitySettingsButton->setEnabled(false);
    }

    void chooseCable() { ClickRadioButton(form->TypeRadioGroup->findChildren<QRadioButton *>().at(1)); }
};

const QByteArray SetOne = TempDeviceFolder::crlf({ "[Settings]", "LanguageOffset=10000", "[01]",
    "Name=Meter A", "BodyNr=47", "PropellerNr=12", "MountingType=Rod", "Boundary1=0.68", "Boundary2=2.5",
    "Boundary3=10", "Factor1=0.249", "Factor2=0.258", "Factor3=0.26", "Factor4=0.263", "Offset1=0.013",
    "Offset2=0.008", "Offset3=0.004", "Offset4=0.001" });

} // namespace

TEST_F(EquationSetsTest, SetOneIsShownAtStartWithItsMirrorsAndCountsAsUnchanged)
{
    startWith(SetOne);
    EXPECT_EQ(form->ConfigListBox->item(0)->text(), QStringLiteral("[01] Meter A"));
    EXPECT_EQ(form->ConfigListBox->item(1)->text(), QStringLiteral("[02] "));
    EXPECT_EQ(form->NameEdit->text(), QStringLiteral("Meter A"));
    EXPECT_EQ(form->BodyNrEdit->text(), QStringLiteral("47"));
    EXPECT_EQ(form->PropellerNrEdit->text(), QStringLiteral("12"));
    EXPECT_EQ(form->Boundary2Edit->text(), QStringLiteral("2.5"));
    EXPECT_EQ(form->Boundary1_Edit->text(), QStringLiteral("0.68"));
    EXPECT_EQ(form->Boundary2_Edit->text(), QStringLiteral("2.5"));
    EXPECT_EQ(form->Boundary3_Edit->text(), QStringLiteral("10"));
    EXPECT_EQ(form->Factor4Edit->text(), QStringLiteral("0.263"));
    EXPECT_EQ(form->Offset4Edit->text(), QStringLiteral("0.001"));
    EXPECT_FALSE(form->VelocitySettingsModified);
    EXPECT_FALSE(form->SaveVelocitySettingsButton->isEnabled());
}

TEST_F(EquationSetsTest, TypingMarksTheSetChangedAndFillsTheMirror)
{
    startWith(EnglishConfigurationIni());
    TypeText(form->Boundary2Edit, QStringLiteral("12"));
    EXPECT_EQ(form->Boundary2_Edit->text(), QStringLiteral("12"));
    EXPECT_TRUE(form->VelocitySettingsModified);
    EXPECT_TRUE(form->SaveVelocitySettingsButton->isEnabled());
}

TEST_F(EquationSetsTest, ChoosingTheOtherMountingTypeAloneChangesNothing)
{
    startWith(SetOne);
    chooseCable();
    EXPECT_EQ(form->TypeRadioGroup->itemIndex(), 1);
    EXPECT_FALSE(form->VelocitySettingsModified);
    EXPECT_FALSE(form->SaveVelocitySettingsButton->isEnabled());
}

TEST_F(EquationSetsTest, SavingSetSevenWritesItsFifteenKeysAndUpdatesItsLabel)
{
    startWith(EnglishConfigurationIni());
    showSet(7);
    TypeText(form->NameEdit, QStringLiteral("Meter B"));
    TypeText(form->BodyNrEdit, QStringLiteral("B-1"));
    chooseCable();
    TypeText(form->Boundary1Edit, QStringLiteral("2,5"));
    TypeText(form->Factor1Edit, QStringLiteral("0,2489"));
    TypeText(form->Offset1Edit, QStringLiteral("0"));
    TypeText(form->Factor4Edit, QStringLiteral("1,2,3")); // never parsed: equation 4 is free
    form->Factor4Edit->clear();

    QTest::mouseClick(form->SaveVelocitySettingsButton, Qt::LeftButton);

    EXPECT_TRUE(boxes.seen().isEmpty());
    EXPECT_EQ(configurationIni(),
        TempDeviceFolder::crlf({ "[Settings]", "LanguageOffset=10000", "[07]", "Name=Meter B", "BodyNr=B-1",
            "PropellerNr=", "MountingType=Cable", "Boundary1=2.5",
            "Boundary2=", "Boundary3=", "Factor1=0.2489", "Factor2=", "Factor3=", "Factor4=", "Offset1=0",
            "Offset2=", "Offset3=", "Offset4=" }));
    EXPECT_EQ(form->ConfigListBox->item(6)->text(), QStringLiteral("[07] Meter B"));
    EXPECT_FALSE(form->VelocitySettingsModified);
    EXPECT_FALSE(form->SaveVelocitySettingsButton->isEnabled());
    EXPECT_TRUE(form->EquationSetsSaved);

    showSet(1);
    showSet(7);
    EXPECT_EQ(form->Factor1Edit->text(), QStringLiteral("0.2489"));
    EXPECT_EQ(form->Boundary1_Edit->text(), QStringLiteral("2.5"));
    EXPECT_EQ(form->TypeRadioGroup->itemIndex(), 1);
}

TEST_F(EquationSetsTest, FieldsRefuseCharactersThatTheFileCannotHold)
{
    startWith(EnglishConfigurationIni());
    for (QLineEdit *field :
        { form->NameEdit, form->BodyNrEdit, form->PropellerNrEdit, form->Factor2Edit, form->Offset4Edit }) {
        SCOPED_TRACE(field->objectName().toStdString());
        TypeText(field, QStringLiteral("A\u03a9\u20ac\u2192\u00e9"));
        EXPECT_EQ(field->text(), QStringLiteral("A\u20ac\u00e9")) << "the euro sign and é are Windows-1252";

        QApplication::clipboard()->setText(QStringLiteral("x\u03a9y"));
        field->end(false);
        field->paste();
        EXPECT_EQ(field->text(), QStringLiteral("A\u20ac\u00e9"))
            << "a paste with one foreign character is refused";
        QApplication::clipboard()->setText(QStringLiteral("xy"));
        field->paste();
        EXPECT_EQ(field->text(), QStringLiteral("A\u20ac\u00e9xy"));
    }
}

TEST_F(EquationSetsTest, TextsTypedWithWesternLettersReachTheFileAsWindows1252)
{
    startWith(EnglishConfigurationIni());
    TypeText(form->NameEdit, QStringLiteral("Fl\u00fcgel \u20ac"));
    TypeText(form->Boundary1Edit, QStringLiteral("5"));
    TypeText(form->Factor1Edit, QStringLiteral("1"));
    TypeText(form->Offset1Edit, QStringLiteral("2"));
    QTest::mouseClick(form->SaveVelocitySettingsButton, Qt::LeftButton);
    EXPECT_TRUE(configurationIni().contains("\r\nName=Fl\xfcgel \x80\r\n"));
}

namespace
{

struct InvalidSetCase {
    const char *name;
    const char *fieldName;
    const char *typed;
    const char *message;
    const char *focus;
};

class InvalidSetTest : public EquationSetsTest, public ::testing::WithParamInterface<InvalidSetCase>
{
};

} // namespace

TEST_P(InvalidSetTest, IsNotSavedAndTheMessageSendsTheFocusToTheField)
{
    const InvalidSetCase &c = GetParam();
    startWith(SetOne);
    auto *field = form->findChild<QLineEdit *>(QLatin1String(c.fieldName));
    ASSERT_NE(field, nullptr);
    retype(field, QLatin1String(c.typed));
    const QByteArray before = configurationIni();

    boxes.answer(QMessageBox::Ok);
    QTest::mouseClick(form->SaveVelocitySettingsButton, Qt::LeftButton);

    ASSERT_EQ(boxes.seen().size(), 1);
    EXPECT_EQ(boxes.seen()[0].text, QLatin1String(c.message));
    EXPECT_EQ(boxes.seen()[0].icon, QMessageBox::Critical);
    QWidget *const focus = form->findChild<QLineEdit *>(QLatin1String(c.focus));
    // The offscreen platform has no window manager to give the activation back from the
    // closed box; the window's focus field is what gets the keys once it is active.
    EXPECT_EQ(form->focusWidget(), focus);
    form->activateWindow();
    EXPECT_TRUE(QTest::qWaitFor([focus] { return QApplication::focusWidget() == focus; }, 2000))
        << "focus is in "
        << (QApplication::focusWidget() ? qPrintable(QApplication::focusWidget()->objectName()) : "nothing");
    EXPECT_EQ(configurationIni(), before);
    EXPECT_EQ(field->text(), QLatin1String(c.typed));
    EXPECT_TRUE(form->VelocitySettingsModified);
    EXPECT_TRUE(form->SaveVelocitySettingsButton->isEnabled());
    EXPECT_FALSE(form->EquationSetsSaved);
}

INSTANTIATE_TEST_SUITE_P(Cases, InvalidSetTest,
    ::testing::Values(
        InvalidSetCase { "BlankName", "NameEdit", "   ", "Name field must not be empty", "NameEdit" },
        InvalidSetCase { "BadBoundary", "Boundary3Edit", "x", "Invalid Boundary", "Boundary3Edit" },
        InvalidSetCase { "BadOffset", "Offset2Edit", "abc", "Invalid Offset!", "Offset2Edit" },
        InvalidSetCase { "EmptyFactorOfADefinedRange", "Factor1Edit", "",
            "Equation 1 must be correctly defined!", "Factor1Edit" },
        InvalidSetCase { "DecreasingBoundaries", "Boundary2Edit", "0.5",
            "The boundary values must be defined in increasing oder!", "Boundary2Edit" }),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(EquationSetsTest, RefusedWriteShowsTheErrorAndLosesNothingTyped)
{
    startWith(SetOne);
    retype(form->NameEdit, QStringLiteral("Meter C"));
    retype(form->Factor2Edit, QStringLiteral("0,3"));
    const QString iniPath = device.filePath(QStringLiteral("Configuration.ini"));
    ASSERT_TRUE(QDir(device.path()).removeRecursively());

    boxes.answer(QMessageBox::Ok);
    QTest::mouseClick(form->SaveVelocitySettingsButton, Qt::LeftButton);

    ASSERT_EQ(boxes.seen().size(), 1);
    EXPECT_EQ(boxes.seen()[0].title, QStringLiteral("Vetu"));
    EXPECT_EQ(boxes.seen()[0].text, QStringLiteral("Unable to write to ") + iniPath);
    EXPECT_EQ(boxes.seen()[0].icon, QMessageBox::Critical);
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(form->NameEdit->text(), QStringLiteral("Meter C"));
    EXPECT_EQ(form->Factor2Edit->text(), QStringLiteral("0,3"));
    EXPECT_TRUE(form->VelocitySettingsModified);
    EXPECT_TRUE(form->SaveVelocitySettingsButton->isEnabled());
    EXPECT_FALSE(form->EquationSetsSaved);
    EXPECT_EQ(form->ConfigListBox->item(0)->text(), QStringLiteral("[01] Meter A"))
        << "the list shows what is stored";

    // The drive is back: the same press saves.
    ASSERT_TRUE(QDir().mkpath(device.path()));
    QTest::mouseClick(form->SaveVelocitySettingsButton, Qt::LeftButton);
    EXPECT_EQ(boxes.seen().size(), 1);
    EXPECT_TRUE(configurationIni().contains("\r\nName=Meter C\r\n"));
    EXPECT_TRUE(configurationIni().contains("\r\nFactor2=0.3\r\n"));
    EXPECT_EQ(form->ConfigListBox->item(0)->text(), QStringLiteral("[01] Meter C"));
}

TEST_F(EquationSetsTest, RightClickOpensTheMenuForTheShownSetWithoutSelectingAnotherEntry)
{
    startWith(SetOne);
    QListWidget *list = form->ConfigListBox;
    ASSERT_EQ(list->currentRow(), 0);
    const QPoint onEntry5 = list->viewport()->mapTo(form.get(), list->visualItemRect(list->item(4)).center());

    // Through the window, as the platform delivers it, so that the toolkit also raises the
    // context menu request.
    QTest::mouseClick(form->windowHandle(), Qt::RightButton, Qt::NoModifier, onEntry5);

    EXPECT_EQ(list->currentRow(), 0);
    EXPECT_TRUE(QTest::qWaitFor([this] { return form->PopupMenu1->isVisible(); }, 2000));
    EXPECT_EQ(form->PopupMenu1->actions(), QList<QAction *> { form->DeleteEntry1 });
    form->PopupMenu1->close();

    QTest::mouseClick(form->windowHandle(), Qt::LeftButton, Qt::NoModifier, onEntry5);
    EXPECT_EQ(list->currentRow(), 4) << "a left click still selects";
}
