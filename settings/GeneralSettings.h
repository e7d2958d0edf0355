#pragma once

#include <QString>
#include <QStringList>

namespace vetu {

class IniFile;

// The ten general settings of the device file as list positions (-1: no selection).
struct GeneralSettingsSelection {
    int measuringMode = 0;     // DefaultMeasuringModeComboBox
    int time = 6;              // TimeComboBox ("50")
    int pulses = 0;            // PulsesComboBox ("10")
    int remainingTerm = 0;     // RemainingTermComboBox ("1")
    int buzzer = 0;            // BuzzerModeComboBox
    int pulsePrecision = 0;    // PulsePrecisionComboBox
    int buzzerVolume = -1;     // BuzzerVolumeComboBox
    int currentMeter = 0;      // VelocityCurrentMeterComboBox
    int groundFeeler = 0;      // GroundFeelerModeComboBox
    int autoShutDown = -1;     // AutoShutDownPeriodComboBox

    bool operator==(const GeneralSettingsSelection &) const = default;
};

// Fixed entries of the numeric lists, in the order of their positions.
QStringList TimeEntries();          // 5 .. 120
QStringList PulsesEntries();        // 10 .. 50
QStringList RemainingTermEntries(); // 1 .. 10
QStringList PulsePrecisionEntries(); // "1", "0.1"
QStringList BuzzerVolumeEntries();  // "1", "2"
QStringList CurrentMeterEntries();  // 1 .. 30
QStringList AutoShutDownEntries();  // 0 .. 59
// Entry counts of the lists whose texts come from the text table.
inline constexpr int MeasuringModeCount = 4;
inline constexpr int BuzzerModeCount = 4;
inline constexpr int GroundFeelerCount = 3;

// Reads section Settings of the device file; `before` is the selection the lists had
// before loading (a text-coded value that matches no entry keeps it).
GeneralSettingsSelection ReadGeneralSettings(const IniFile &deviceFile, const GeneralSettingsSelection &before);
// Writes all ten keys in one replace of the file. Throws IniWriteError.
void WriteGeneralSettings(IniFile &deviceFile, const GeneralSettingsSelection &selection);

} // namespace vetu
