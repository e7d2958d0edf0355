#include "DeviceFiles.h"
#include "GeneralSettings.h"
#include "IniFile.h"
#include "SettingsTestFolder.h"
#include "TestPrinters.h"

#include <gtest/gtest.h>

using namespace vetu;

namespace {

GeneralSettingsSelection read(const QByteArray &deviceFile,
        const GeneralSettingsSelection &before = GeneralSettingsSelection{})
{
    SettingsTestFolder folder;
    folder.write(DeviceFileName, deviceFile);
    return ReadGeneralSettings(IniFile(folder.filePath(DeviceFileName)), before);
}

// The selection that the defaults of all ten keys give.
GeneralSettingsSelection defaults()
{
    GeneralSettingsSelection s;
    s.measuringMode = 0; // Pulse Mode
    s.time = 6;          // "50"
    s.pulses = 0;        // "10"
    s.remainingTerm = 5; // "6"
    s.pulsePrecision = 0;
    s.buzzer = 1;       // ON
    s.buzzerVolume = 1; // 2
    s.currentMeter = 0; // 1
    s.groundFeeler = 2; // AUTO
    s.autoShutDown = 3;
    return s;
}

} // namespace

TEST(GeneralSettings, ListEntries)
{
    EXPECT_EQ(TimeEntries(), QStringList({"5", "10", "15", "20", "30", "40", "50", "60", "80", "100", "120"}));
    EXPECT_EQ(PulsesEntries().size(), 41);
    EXPECT_EQ(PulsesEntries().front(), "10");
    EXPECT_EQ(PulsesEntries().back(), "50");
    EXPECT_EQ(RemainingTermEntries(), QStringList({"1", "2", "3", "4", "5", "6", "7", "8", "9", "10"}));
    EXPECT_EQ(PulsePrecisionEntries(), QStringList({"1", "0.1"}));
    EXPECT_EQ(BuzzerVolumeEntries(), QStringList({"1", "2"}));
    EXPECT_EQ(CurrentMeterEntries().size(), 30);
    EXPECT_EQ(CurrentMeterEntries().back(), "30");
    EXPECT_EQ(AutoShutDownEntries().size(), 60);
    EXPECT_EQ(AutoShutDownEntries().front(), "0");
    EXPECT_EQ(AutoShutDownEntries().back(), "59");
}

TEST(GeneralSettings, MissingKeysGiveTheDefaults)
{
    for (const QByteArray &file : {QByteArray("[Settings]\r\n"), QByteArray("[Other]\r\nBuzzer=3\r\n"), QByteArray()}) {
        SCOPED_TRACE(file.constData());
        EXPECT_EQ(read(file), defaults());
    }
    SettingsTestFolder folder;
    EXPECT_EQ(ReadGeneralSettings(IniFile(folder.filePath(DeviceFileName)), {}), defaults());
    EXPECT_FALSE(folder.exists(DeviceFileName));
}

TEST(GeneralSettings, EachKeyIsDecodedByItsRule)
{
    struct Case {
        const char *line;
        int GeneralSettingsSelection::*field;
        int expected;
    };
    using S = GeneralSettingsSelection;
    // `before` is the default-constructed selection: time 6, pulses 0, remaining term 0.
    const Case cases[] = {
        {"Mode of Measurement=0", &S::measuringMode, 0},
        {"Mode of Measurement=1", &S::measuringMode, 0},
        {"Mode of Measurement=4", &S::measuringMode, 3},
        {"Mode of Measurement=5", &S::measuringMode, -1},
        {"Mode of Measurement=-1", &S::measuringMode, -1},
        {"Mode of Measurement=0x2", &S::measuringMode, 1},
        {"Mode of Measurement=two", &S::measuringMode, 0},
        {"Mode of Measurement=-2147483648", &S::measuringMode, -1},
        {"Time Measurement=30", &S::time, 4},
        {"time measurement = 120 ", &S::time, 10},
        {"Time Measurement=30\x01\x1f", &S::time, 4},
        {"Time Measurement=030", &S::time, 6},
        {"Time Measurement=35", &S::time, 6},
        {"Time Measurement=", &S::time, 6},
        {"Pulse Measurement=50", &S::pulses, 40},
        {"Pulse Measurement=9", &S::pulses, 0},
        {"Integration with remaining term=10", &S::remainingTerm, 9},
        {"Integration with remaining term=11", &S::remainingTerm, 0},
        {"Buzzer=0", &S::buzzer, 0},
        {"Buzzer=3", &S::buzzer, 3},
        {"Buzzer=4", &S::buzzer, -1},
        {"Pulse Precision Setting=1", &S::pulsePrecision, 1},
        {"Pulse Precision Setting=2", &S::pulsePrecision, -1},
        {"Buzzer Volume=1", &S::buzzerVolume, 0},
        {"Buzzer Volume=0", &S::buzzerVolume, -1},
        {"Buzzer Volume=5", &S::buzzerVolume, -1},
        {"Buzzer Volume=-2147483648", &S::buzzerVolume, -1},
        {"Current Meter=30", &S::currentMeter, 29},
        {"Current Meter=31", &S::currentMeter, -1},
        {"Ground Feeler=0", &S::groundFeeler, 0},
        {"Ground Feeler=7", &S::groundFeeler, -1},
        {"Auto ShutDown Period=0", &S::autoShutDown, 0},
        {"Auto ShutDown Period=59", &S::autoShutDown, 59},
        {"Auto ShutDown Period=60", &S::autoShutDown, -1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.line);
        const GeneralSettingsSelection s = read("[Settings]\r\n" + QByteArray(c.line) + "\r\n");
        EXPECT_EQ(s.*c.field, c.expected);
    }
}

TEST(GeneralSettings, UnmatchedTextKeepsTheSelectionBefore)
{
    GeneralSettingsSelection before;
    before.time = 2;
    before.pulses = 7;
    before.remainingTerm = 3;
    const GeneralSettingsSelection s = read(
            "[Settings]\r\nTime Measurement=50s\r\nPulse Measurement=ten\r\nIntegration with remaining term=0\r\n",
            before);
    EXPECT_EQ(s.time, 2);
    EXPECT_EQ(s.pulses, 7);
    EXPECT_EQ(s.remainingTerm, 3);
}

TEST(GeneralSettings, SaveIntoAFileHoldingOnlyTheSection)
{
    SettingsTestFolder folder;
    folder.write(DeviceFileName, "[Settings]\r\n");
    GeneralSettingsSelection s;
    s.measuringMode = 1;
    s.time = 4;
    s.pulses = 10;
    s.remainingTerm = 4;
    s.buzzer = 1;
    s.pulsePrecision = 1;
    s.buzzerVolume = 1;
    s.currentMeter = 2;
    s.groundFeeler = 0;
    s.autoShutDown = 10;
    IniFile device(folder.filePath(DeviceFileName));
    WriteGeneralSettings(device, s);
    EXPECT_EQ(folder.read(DeviceFileName),
            SettingsTestFolder::crlf({"[Settings]", "Mode of Measurement=2", "Time Measurement=30",
                    "Pulse Measurement=20", "Integration with remaining term=5", "Buzzer=1",
                    "Pulse Precision Setting=1", "Buzzer Volume=2", "Current Meter=3", "Ground Feeler=0",
                    "Auto ShutDown Period=10"}));
    EXPECT_EQ(ReadGeneralSettings(device, {}), s);
}

TEST(GeneralSettings, NoSelectionIsWrittenAsMinusOneZeroOrEmptyText)
{
    SettingsTestFolder folder;
    GeneralSettingsSelection none;
    for (int GeneralSettingsSelection::*field :
            {&GeneralSettingsSelection::measuringMode, &GeneralSettingsSelection::time,
                    &GeneralSettingsSelection::pulses, &GeneralSettingsSelection::remainingTerm,
                    &GeneralSettingsSelection::buzzer, &GeneralSettingsSelection::pulsePrecision,
                    &GeneralSettingsSelection::buzzerVolume, &GeneralSettingsSelection::currentMeter,
                    &GeneralSettingsSelection::groundFeeler, &GeneralSettingsSelection::autoShutDown})
        none.*field = -1;
    IniFile device(folder.filePath(DeviceFileName));
    WriteGeneralSettings(device, none);
    EXPECT_EQ(folder.read(DeviceFileName),
            SettingsTestFolder::crlf({"[Settings]", "Mode of Measurement=0", "Time Measurement=",
                    "Pulse Measurement=", "Integration with remaining term=", "Buzzer=-1",
                    "Pulse Precision Setting=-1", "Buzzer Volume=0", "Current Meter=0", "Ground Feeler=-1",
                    "Auto ShutDown Period=-1"}));
    // Read back: "Mode of Measurement" 0 is Pulse Mode; the text keys keep `before`.
    GeneralSettingsSelection expected = none;
    expected.measuringMode = 0;
    EXPECT_EQ(ReadGeneralSettings(device, none), expected);
}

TEST(GeneralSettings, SaveKeepsEverythingElseOfTheDeviceFile)
{
    SettingsTestFolder folder;
    const QByteArray head = "; Vetu signal counter\nFirmware 2.1\n[Device]\nSerial=0815\n";
    folder.write(DeviceFileName,
            head + "[settings]\nbuzzer = 3\nSecret=1\nGROUND FEELER=2\n\n[Calibration]\nC=1\n");
    IniFile device(folder.filePath(DeviceFileName));
    WriteGeneralSettings(device, defaults());
    EXPECT_EQ(folder.read(DeviceFileName),
            head
                    + "[settings]\nbuzzer=1\r\nSecret=1\nGROUND FEELER=2\r\nMode of Measurement=1\r\n"
                      "Time Measurement=50\r\nPulse Measurement=10\r\nIntegration with remaining term=6\r\n"
                      "Pulse Precision Setting=0\r\nBuzzer Volume=2\r\nCurrent Meter=1\r\n"
                      "Auto ShutDown Period=3\r\n\n[Calibration]\nC=1\n");

    // Without a section, all ten keys are appended at the end.
    folder.write(DeviceFileName, head);
    WriteGeneralSettings(device, defaults());
    const QByteArray after = folder.read(DeviceFileName);
    EXPECT_TRUE(after.startsWith(head + "[Settings]\r\nMode of Measurement=1\r\n"));
    EXPECT_TRUE(after.endsWith("Auto ShutDown Period=3\r\n"));
    EXPECT_EQ(after.count("\r\n"), 11);
    EXPECT_EQ(ReadGeneralSettings(device, {}), defaults());
}
