// Closing the window: the question on unsaved changes and what the files hold afterwards.
#include "MainFormFixture.h"

#include "FileSizeLimit.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

namespace
{

const QByteArray StoredSet
    = TempDeviceFolder::crlf({ "[Settings]", "LanguageOffset=10000", "[01]", "Name=Meter A", "BodyNr=47",
        "PropellerNr=12", "MountingType=Rod", "Boundary1=10", "Boundary2=", "Boundary3=", "Factor1=0.25",
        "Factor2=", "Factor3=", "Factor4=", "Offset1=0.01", "Offset2=", "Offset3=", "Offset4=" });

class CloseTest : public MainFormTest
{
protected:
    void startWith(const QByteArray &configurationIni) { MainFormTest::startWith(SampleDeviceFile(), configurationIni); }
    QByteArray deviceFile() const { return device.readFile(QStringLiteral("Vetu-Configuration.txt")); }
};

} // namespace

TEST_F(CloseTest, ClosingAfterOnlyViewingAsksNothingAndWritesNothing)
{
    startWith(StoredSet);
    form->PageControl1->setCurrentWidget(form->VelocityTabSheet);
    form->PageControl1->setCurrentWidget(form->GeneralTabSheet);
    EXPECT_TRUE(closeWindow());
    EXPECT_TRUE(boxes.seen().isEmpty());
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(configurationIni(), StoredSet);
    EXPECT_EQ(deviceFile(), SampleDeviceFile());
}

namespace
{

struct CloseAnswerCase {
    const char *name;
    int answer; // a StandardButton, or -1 for Escape
    bool closes;
    bool saves;
};

class CloseAnswerTest : public CloseTest, public ::testing::WithParamInterface<CloseAnswerCase>
{
};

} // namespace

TEST_P(CloseAnswerTest, UnsavedChangesOfBothPagesAreHandledByTheAnswer)
{
    const CloseAnswerCase &c = GetParam();
    startWith(StoredSet);
    pick(form->GroundFeelerModeComboBox, 2);
    retype(form->NameEdit, QStringLiteral("Meter Z"));
    if (c.answer == -1)
        boxes.answerEscape();
    else
        boxes.answer(static_cast<QMessageBox::StandardButton>(c.answer));

    EXPECT_EQ(closeWindow(), c.closes);

    ASSERT_EQ(boxes.seen().size(), 1);
    EXPECT_EQ(boxes.seen()[0].text, QStringLiteral("Do you want so save the current configuration?"));
    EXPECT_EQ(boxes.seen()[0].icon, QMessageBox::Question);
    EXPECT_EQ(boxes.seen()[0].buttons, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    EXPECT_EQ(form->isVisible(), !c.closes);
    if (c.saves) {
        EXPECT_TRUE(deviceFile().contains("\r\nGround Feeler=2\r\n"));
        // Saved, then brought into normal form at close.
        QByteArray expected = StoredSet;
        expected.replace("Name=Meter A", "Name=Meter Z");
        EXPECT_EQ(configurationIni(), expected);
    } else {
        EXPECT_EQ(deviceFile(), SampleDeviceFile());
        EXPECT_EQ(configurationIni(), StoredSet);
    }
    if (!c.closes) {
        EXPECT_TRUE(form->GeneralSettingsModified);
        EXPECT_TRUE(form->VelocitySettingsModified);
        EXPECT_EQ(form->NameEdit->text(), QStringLiteral("Meter Z"));
    }
}

INSTANTIATE_TEST_SUITE_P(Answers, CloseAnswerTest,
    ::testing::Values(CloseAnswerCase { "Yes", QMessageBox::Yes, true, true },
        CloseAnswerCase { "No", QMessageBox::No, true, false },
        CloseAnswerCase { "Cancel", QMessageBox::Cancel, false, false },
        CloseAnswerCase { "Escape", -1, false, false }),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(CloseTest, YesWithAnInvalidSetSavesTheGeneralSettingsAndKeepsTheWindowOpen)
{
    startWith(StoredSet);
    pick(form->BuzzerModeComboBox, 3);
    retype(form->Offset1Edit, QString()); // equation 1 incomplete
    boxes.answer(QMessageBox::Yes);
    boxes.answer(QMessageBox::Ok);

    EXPECT_FALSE(closeWindow());

    ASSERT_EQ(boxes.seen().size(), 2);
    EXPECT_EQ(boxes.seen()[1].text, QStringLiteral("Equation 1 must be correctly defined!"));
    EXPECT_TRUE(form->isVisible());
    // The field with the fault is brought into view, whichever page was shown.
    EXPECT_EQ(form->PageControl1->currentWidget(), form->VelocityTabSheet);
    EXPECT_EQ(form->focusWidget(), form->Offset1Edit);
    EXPECT_TRUE(deviceFile().contains("\r\nBuzzer=3\r\n"));
    EXPECT_EQ(configurationIni(), StoredSet);

    // Asked again; No now closes without touching the set.
    boxes.clear();
    boxes.answer(QMessageBox::No);
    EXPECT_TRUE(closeWindow());
    EXPECT_EQ(boxes.seen().size(), 1);
    EXPECT_EQ(configurationIni(), StoredSet);
}

TEST_F(CloseTest, ExitInTheFileMenuAsksLikeTheCloseBox)
{
    startWith(StoredSet);
    pick(form->TimeComboBox, 0);
    boxes.answer(QMessageBox::Cancel);
    form->Exit1->trigger();
    EXPECT_EQ(boxes.seen().size(), 1);
    EXPECT_TRUE(form->isVisible());

    boxes.answer(QMessageBox::No);
    form->Exit1->trigger();
    EXPECT_EQ(boxes.seen().size(), 2);
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(deviceFile(), SampleDeviceFile());
}

TEST_F(CloseTest, ARunThatSavedASetLeavesConfigurationIniInNormalForm)
{
    startWith(TempDeviceFolder::crlf({ "; comment", "[30]", "Name=Last", "[Settings]", "LanguageOffset=10000",
        "Other = kept ", "", "[Extra]", "a=b", "[12]", "[01]", "name=First", "junk line" }));
    form->ConfigListBox->setCurrentRow(4);
    form->CurrentEquationSet = 5;
    form->LoadEquationSet();
    retype(form->NameEdit, QStringLiteral("Five"));
    retype(form->Boundary1Edit, QStringLiteral("3"));
    retype(form->Factor1Edit, QStringLiteral("1"));
    retype(form->Offset1Edit, QStringLiteral("0"));
    QTest::mouseClick(form->SaveVelocitySettingsButton, Qt::LeftButton);
    EXPECT_TRUE(configurationIni().endsWith("Offset4=\r\n")) << "section 05 is added at the end first";

    EXPECT_TRUE(closeWindow());
    EXPECT_TRUE(boxes.seen().isEmpty());
    EXPECT_EQ(configurationIni(),
        TempDeviceFolder::crlf({ "[Settings]", "LanguageOffset=10000", "Other=kept", "[01]", "name=First",
            "[05]", "Name=Five", "BodyNr=", "PropellerNr=", "MountingType=Rod", "Boundary1=3",
            "Boundary2=", "Boundary3=", "Factor1=1", "Factor2=", "Factor3=", "Factor4=", "Offset1=0",
            "Offset2=", "Offset3=", "Offset4=", "[30]", "Name=Last" }));
}

TEST_F(CloseTest, ARunThatOnlySavedGeneralSettingsLeavesConfigurationIniAsItWas)
{
    const QByteArray untidy
        = TempDeviceFolder::crlf({ "[30]", "Name=Last", "", "[Settings]", "LanguageOffset=10000" });
    startWith(untidy);
    pick(form->PulsesComboBox, 3);
    QTest::mouseClick(form->SaveGeneralSettingsButton, Qt::LeftButton);
    EXPECT_TRUE(closeWindow());
    EXPECT_TRUE(boxes.seen().isEmpty());
    EXPECT_EQ(configurationIni(), untidy);
    EXPECT_TRUE(deviceFile().contains("\r\nPulse Measurement=13\r\n"));
}

TEST_F(CloseTest, ARefusedWriteWhenSavingAtCloseKeepsTheWindowOpenWithItsChanges)
{
    startWith(StoredSet);
    pick(form->GroundFeelerModeComboBox, 1);
    retype(form->NameEdit, QStringLiteral("Meter Q"));
    ASSERT_TRUE(QDir(device.path()).removeRecursively());
    boxes.answer(QMessageBox::Yes);
    boxes.answer(QMessageBox::Ok);

    EXPECT_FALSE(closeWindow());

    ASSERT_EQ(boxes.seen().size(), 2);
    EXPECT_EQ(boxes.seen()[1].title, QStringLiteral("Vetu"));
    EXPECT_EQ(boxes.seen()[1].text,
        QStringLiteral("Unable to write to ") + device.filePath(QStringLiteral("Vetu-Configuration.txt")));
    EXPECT_TRUE(form->isVisible());
    EXPECT_TRUE(form->GeneralSettingsModified);
    EXPECT_TRUE(form->VelocitySettingsModified);
    EXPECT_EQ(form->NameEdit->text(), QStringLiteral("Meter Q"));

    // With the drive back, the next close saves both pages.
    ASSERT_TRUE(QDir().mkpath(device.path()));
    boxes.answer(QMessageBox::Yes);
    EXPECT_TRUE(closeWindow());
    EXPECT_TRUE(deviceFile().contains("Ground Feeler=1\r\n"));
    EXPECT_TRUE(configurationIni().contains("Name=Meter Q\r\n"));
}

// The rewrite at close cannot create the new file: the message names that, the window
// still closes, and the file keeps what the saves of the run wrote into it.
TEST_F(CloseTest, AFailedRewriteAtCloseSaysCannotCreateFileAndKeepsTheFile)
{
    startWith(StoredSet);
    form->PageControl1->setCurrentWidget(form->VelocityTabSheet);
    retype(form->NameEdit, QStringLiteral("Meter R"));
    QTest::mouseClick(form->SaveVelocitySettingsButton, Qt::LeftButton);
    const QByteArray saved = configurationIni();
    ASSERT_TRUE(saved.contains("Name=Meter R\r\n"));
    boxes.answer(QMessageBox::Ok);
    {
        FileSizeLimit limit(16);
        EXPECT_TRUE(closeWindow());
    }
    ASSERT_EQ(boxes.seen().size(), 1);
    EXPECT_EQ(boxes.seen()[0].text,
        QStringLiteral("Cannot create file ") + device.filePath(QStringLiteral("Configuration.ini")));
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(configurationIni(), saved);
}
