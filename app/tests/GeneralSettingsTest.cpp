// The General Settings page: user changes, the save button, and the device file it writes.
#include "MainFormFixture.h"

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QTest>

namespace
{

class GeneralSettingsTest : public MainFormTest
{
protected:
    void startWith(const QByteArray &deviceFile) { MainFormTest::startWith(deviceFile, EnglishConfigurationIni()); }
};

} // namespace

TEST_F(GeneralSettingsTest, ChosenEntriesAreSavedAsTheTenKeys)
{
    startWith("[Settings]\r\n");
    pick(form->DefaultMeasuringModeComboBox, 1);
    EXPECT_TRUE(form->GeneralSettingsModified);
    EXPECT_TRUE(form->SaveGeneralSettingsButton->isEnabled());
    pick(form->TimeComboBox, form->TimeComboBox->findText(QStringLiteral("30")));
    pick(form->PulsesComboBox, form->PulsesComboBox->findText(QStringLiteral("20")));
    pick(form->RemainingTermComboBox, form->RemainingTermComboBox->findText(QStringLiteral("5")));
    pick(form->PulsePrecisionComboBox, 1);
    pick(form->VelocityCurrentMeterComboBox, 2);
    pick(form->GroundFeelerModeComboBox, 0);
    pick(form->AutoShutDownPeriodComboBox, 10);

    QTest::mouseClick(form->SaveGeneralSettingsButton, Qt::LeftButton);

    EXPECT_EQ(device.readFile(QStringLiteral("Vetu-Configuration.txt")),
        TempDeviceFolder::crlf(
            { "[Settings]", "Mode of Measurement=2", "Time Measurement=30", "Pulse Measurement=20",
                "Integration with remaining term=5", "Buzzer=1", "Pulse Precision Setting=1",
                "Buzzer Volume=2", "Current Meter=3", "Ground Feeler=0", "Auto ShutDown Period=10" }));
    EXPECT_FALSE(form->GeneralSettingsModified);
    EXPECT_FALSE(form->SaveGeneralSettingsButton->isEnabled());
    EXPECT_TRUE(boxes.seen().isEmpty());
}

TEST_F(GeneralSettingsTest, SavingKeepsTheDevicesOwnLinesAndChoosingTheSameEntryCountsAsAChange)
{
    const QByteArray original = TempDeviceFolder::crlf({ "; device data", "[Device]", "Serial=4711",
        "[Settings]", "Firmware=2.1", "Buzzer=2", "[Tail]", "x=y" });
    startWith(original);
    pick(form->BuzzerModeComboBox, form->BuzzerModeComboBox->currentIndex());
    ASSERT_TRUE(form->SaveGeneralSettingsButton->isEnabled());
    QTest::mouseClick(form->SaveGeneralSettingsButton, Qt::LeftButton);

    const QByteArray saved = device.readFile(QStringLiteral("Vetu-Configuration.txt"));
    EXPECT_TRUE(saved.startsWith(TempDeviceFolder::crlf(
        { "; device data", "[Device]", "Serial=4711", "[Settings]", "Firmware=2.1", "Buzzer=2" })))
        << saved.toStdString();
    EXPECT_TRUE(saved.endsWith(TempDeviceFolder::crlf({ "[Tail]", "x=y" }))) << saved.toStdString();
    EXPECT_EQ(saved.count("\r\n"), 17)
        << "the six lines before (Buzzer replaced in place), nine new keys, [Tail] and x=y";
}

TEST_F(GeneralSettingsTest, BuzzerOffDisablesTheVolumeAndTheVolumeIsStillSaved)
{
    startWith(SampleDeviceFile());
    EXPECT_TRUE(form->BuzzerVolumeComboBox->isEnabled());
    EXPECT_TRUE(form->BuzzerVolumeLabel->isEnabled());

    pick(form->BuzzerModeComboBox, 0);
    EXPECT_FALSE(form->BuzzerVolumeComboBox->isEnabled());
    EXPECT_FALSE(form->BuzzerVolumeLabel->isEnabled());
    EXPECT_TRUE(form->GeneralSettingsModified);
    QTest::mouseClick(form->SaveGeneralSettingsButton, Qt::LeftButton);
    const QByteArray saved = device.readFile(QStringLiteral("Vetu-Configuration.txt"));
    EXPECT_TRUE(saved.contains("\r\nBuzzer=0\r\n"));
    EXPECT_TRUE(saved.contains("\r\nBuzzer Volume=2\r\n"));

    pick(form->BuzzerModeComboBox, 3);
    EXPECT_TRUE(form->BuzzerVolumeComboBox->isEnabled());
    EXPECT_TRUE(form->BuzzerVolumeLabel->isEnabled());
}

TEST_F(GeneralSettingsTest, ListsWithoutSelectionAreSavedAsNoPosition)
{
    startWith(TempDeviceFolder::crlf({ "[Settings]", "Buzzer Volume=5", "Ground Feeler=7" }));
    EXPECT_EQ(form->BuzzerVolumeComboBox->currentIndex(), -1);
    pick(form->PulsePrecisionComboBox, 1);
    QTest::mouseClick(form->SaveGeneralSettingsButton, Qt::LeftButton);
    const QByteArray saved = device.readFile(QStringLiteral("Vetu-Configuration.txt"));
    EXPECT_TRUE(saved.contains("\r\nBuzzer Volume=0\r\n")) << saved.toStdString();
    EXPECT_TRUE(saved.contains("\r\nGround Feeler=-1\r\n")) << saved.toStdString();
    EXPECT_TRUE(saved.contains("\r\nPulse Precision Setting=1\r\n")) << saved.toStdString();
}

TEST_F(GeneralSettingsTest, RefusedWriteShowsTheErrorAndKeepsTheChangeToSaveAgain)
{
    startWith(SampleDeviceFile());
    pick(form->GroundFeelerModeComboBox, 2);
    const QString devicePath = device.filePath(QStringLiteral("Vetu-Configuration.txt"));
    // The drive is gone: no file can be written there, whoever runs the test.
    ASSERT_TRUE(QDir(device.path()).removeRecursively());

    boxes.answer(QMessageBox::Ok);
    QTest::mouseClick(form->SaveGeneralSettingsButton, Qt::LeftButton);

    ASSERT_EQ(boxes.seen().size(), 1);
    EXPECT_EQ(boxes.seen()[0].title, QStringLiteral("Vetu"));
    EXPECT_EQ(boxes.seen()[0].text, QStringLiteral("Unable to write to ") + devicePath);
    EXPECT_EQ(boxes.seen()[0].icon, QMessageBox::Critical);
    EXPECT_TRUE(form->isVisible());
    EXPECT_TRUE(form->GeneralSettingsModified);
    EXPECT_TRUE(form->SaveGeneralSettingsButton->isEnabled());
    EXPECT_EQ(form->GroundFeelerModeComboBox->currentIndex(), 2);
}
