#include "MainForm.h"

#include "DeviceFiles.h"
#include "GeneralSettings.h"
#include "IniFile.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>

namespace
{

// A position outside the list leaves the list without a selection.
void selectPosition(QComboBox *list, int position)
{
    list->setCurrentIndex(position >= 0 && position < list->count() ? position : -1);
}

} // namespace

vetu::GeneralSettingsSelection TMainForm::selectedGeneralSettings() const
{
    vetu::GeneralSettingsSelection s;
    s.measuringMode = DefaultMeasuringModeComboBox->currentIndex();
    s.time = TimeComboBox->currentIndex();
    s.pulses = PulsesComboBox->currentIndex();
    s.remainingTerm = RemainingTermComboBox->currentIndex();
    s.buzzer = BuzzerModeComboBox->currentIndex();
    s.pulsePrecision = PulsePrecisionComboBox->currentIndex();
    s.buzzerVolume = BuzzerVolumeComboBox->currentIndex();
    s.currentMeter = VelocityCurrentMeterComboBox->currentIndex();
    s.groundFeeler = GroundFeelerModeComboBox->currentIndex();
    s.autoShutDown = AutoShutDownPeriodComboBox->currentIndex();
    return s;
}

void TMainForm::selectGeneralSettings(const vetu::GeneralSettingsSelection &s)
{
    selectPosition(DefaultMeasuringModeComboBox, s.measuringMode);
    selectPosition(TimeComboBox, s.time);
    selectPosition(PulsesComboBox, s.pulses);
    selectPosition(RemainingTermComboBox, s.remainingTerm);
    selectPosition(PulsePrecisionComboBox, s.pulsePrecision);
    selectPosition(BuzzerModeComboBox, s.buzzer);
    updateBuzzerVolumeEnabled();
    selectPosition(BuzzerVolumeComboBox, s.buzzerVolume);
    selectPosition(VelocityCurrentMeterComboBox, s.currentMeter);
    selectPosition(GroundFeelerModeComboBox, s.groundFeeler);
    selectPosition(AutoShutDownPeriodComboBox, s.autoShutDown);
}

void TMainForm::updateBuzzerVolumeEnabled()
{
    const bool buzzerOn = BuzzerModeComboBox->currentIndex() > 0;
    BuzzerVolumeComboBox->setEnabled(buzzerOn);
    BuzzerVolumeLabel->setEnabled(buzzerOn);
}

void TMainForm::LoadGeneralSettings()
{
    // The device file is opened for this load only.
    const vetu::IniFile deviceFile(ProgramFolder + vetu::DeviceFileName);
    selectGeneralSettings(vetu::ReadGeneralSettings(deviceFile, selectedGeneralSettings()));
}

void TMainForm::SaveGeneralSettings()
{
    vetu::IniFile deviceFile(ProgramFolder + vetu::DeviceFileName);
    vetu::WriteGeneralSettings(deviceFile, selectedGeneralSettings());
}

void TMainForm::SaveGeneralSettingsButtonClick()
{
    SaveGeneralSettings(); // a refused write leaves the flag and the button as they are
    GeneralSettingsModified = false;
    SaveGeneralSettingsButton->setEnabled(false);
}

void TMainForm::DefaultMeasuringModeComboBoxChange(QComboBox *Sender)
{
    GeneralSettingsModified = true;
    SaveGeneralSettingsButton->setEnabled(true);
    if (Sender == BuzzerModeComboBox)
        updateBuzzerVolumeEnabled();
}
