#include "MainForm.h"

#include "GeneralSettings.h"
#include "Translator.h"
#include "WidgetDesign.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

namespace
{

QGroupBox *makeGroup(QWidget *parent, const char *name, int tag, const QString &caption, QRect geometry)
{
    auto *group = new QGroupBox(caption, parent);
    group->setObjectName(QLatin1String(name));
    group->setProperty(TagProperty, tag);
    vetu::SetDesignGeometry(group, geometry);
    return group;
}

QLabel *makeLabel(QWidget *parent, const char *name, int tag, const QString &caption, QRect geometry)
{
    auto *label = new QLabel(caption, parent);
    label->setObjectName(QLatin1String(name));
    if (tag != 0)
        label->setProperty(TagProperty, tag);
    vetu::SetDesignGeometry(label, geometry);
    return label;
}

// All lists of the page are pick-only: only an entry's position or text is ever stored.
QComboBox *makeList(QWidget *parent, const char *name, int tag, const QStringList &entries, QRect geometry)
{
    auto *list = new QComboBox(parent);
    list->setObjectName(QLatin1String(name));
    if (tag != 0)
        list->setProperty(TagProperty, tag);
    list->addItems(entries);
    list->setMaxVisibleItems(16);
    // Its width follows its longest entry, also after the entries were translated.
    list->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    vetu::SetDesignGeometry(list, geometry);
    return list;
}

} // namespace

void TMainForm::buildGeneralPage()
{
    QWidget *page = GeneralTabSheet;

    MeasuringModeGroupBox
        = makeGroup(page, "MeasuringModeGroupBox", 8, QStringLiteral("Measuring Mode"), { 8, 8, 617, 337 });
    QGroupBox *mode = MeasuringModeGroupBox;
    Label19 = makeLabel(mode, "Label19", 9, QStringLiteral("Default Measuring Mode:"), { 16, 28, 200, 16 });
    DefaultMeasuringModeComboBox = makeList(mode, "DefaultMeasuringModeComboBox", 10,
        { QStringLiteral("Pulse Mode"), QStringLiteral("Time Mode"), QStringLiteral("Integration Mode"),
            QStringLiteral("Integration Mode with Remaining Term") },
        { 224, 24, 289, 22 });

    PulseModeGroupBox
        = makeGroup(mode, "PulseModeGroupBox", 10, QStringLiteral("Pulse Mode"), { 16, 64, 289, 81 });
    Label21 = makeLabel(
        PulseModeGroupBox, "Label21", 28, QStringLiteral("Number of pulses:"), { 16, 24, 257, 16 });
    PulsesComboBox = makeList(PulseModeGroupBox, "PulsesComboBox", 0, {}, { 16, 44, 97, 22 });

    TimeModeGroupBox
        = makeGroup(mode, "TimeModeGroupBox", 11, QStringLiteral("Time Mode"), { 312, 64, 289, 81 });
    Label24 = makeLabel(
        TimeModeGroupBox, "Label24", 27, QStringLiteral("Time to measure [seconds]:"), { 16, 24, 257, 16 });
    TimeComboBox = makeList(TimeModeGroupBox, "TimeComboBox", 0, vetu::TimeEntries(), { 16, 44, 97, 22 });
    TimeComboBox->setCurrentIndex(6);

    RemainingTermGroupBox = makeGroup(mode, "RemainingTermGroupBox", 13,
        QStringLiteral("Integration Mode with Remaining Term"), { 16, 152, 289, 81 });
    Label25 = makeLabel(RemainingTermGroupBox, "Label25", 29, QStringLiteral("Seconds for remaining term:"),
        { 16, 24, 257, 16 });
    RemainingTermComboBox = makeList(
        RemainingTermGroupBox, "RemainingTermComboBox", 0, vetu::RemainingTermEntries(), { 16, 44, 97, 22 });

    GroundFeelerGroupBox
        = makeGroup(mode, "GroundFeelerGroupBox", 20, QStringLiteral("Ground Feeler"), { 312, 152, 289, 81 });
    Label22 = makeLabel(GroundFeelerGroupBox, "Label22", 21, QStringLiteral("Mode:"), { 16, 24, 257, 16 });
    GroundFeelerModeComboBox = makeList(GroundFeelerGroupBox, "GroundFeelerModeComboBox", 22,
        { QStringLiteral("OFF"), QStringLiteral("ON"), QStringLiteral("AUTO") }, { 16, 44, 145, 22 });

    Label23 = makeLabel(mode, "Label23", 30, QStringLiteral("Pulse Precision:"), { 16, 248, 257, 16 });
    PulsePrecisionComboBox
        = makeList(mode, "PulsePrecisionComboBox", 0, vetu::PulsePrecisionEntries(), { 16, 268, 97, 22 });

    VelocityGroupBox
        = makeGroup(page, "VelocityGroupBox", 31, QStringLiteral("Velocity Option"), { 8, 352, 617, 49 });
    Label20 = makeLabel(VelocityGroupBox, "Label20", 32,
        QStringLiteral("Default Current Meter For Velocity Measuring:"), { 16, 22, 345, 16 });
    VelocityCurrentMeterComboBox = makeList(VelocityGroupBox, "VelocityCurrentMeterComboBox", 0,
        vetu::CurrentMeterEntries(), { 368, 18, 65, 22 });

    BuzzerGroupBox = makeGroup(page, "BuzzerGroupBox", 33, QStringLiteral("Buzzer"), { 8, 408, 617, 49 });
    Label26 = makeLabel(BuzzerGroupBox, "Label26", 21, QStringLiteral("Mode:"), { 16, 22, 89, 16 });
    BuzzerModeComboBox = makeList(BuzzerGroupBox, "BuzzerModeComboBox", 60,
        { QStringLiteral("OFF"), QStringLiteral("BEEP"), QStringLiteral("HUSH"),
            QStringLiteral("CONTINUOUS") },
        { 112, 18, 145, 22 });
    BuzzerVolumeLabel = makeLabel(
        BuzzerGroupBox, "BuzzerVolumeLabel", 34, QStringLiteral("Volume (1-2):"), { 312, 22, 137, 16 });
    BuzzerVolumeComboBox = makeList(
        BuzzerGroupBox, "BuzzerVolumeComboBox", 0, vetu::BuzzerVolumeEntries(), { 456, 18, 65, 22 });
    BuzzerVolumeComboBox->setCurrentIndex(-1);

    AutoShutDownGroupBox = makeGroup(
        page, "AutoShutDownGroupBox", 35, QStringLiteral("Automatic Shut Down"), { 8, 464, 617, 49 });
    Label4 = makeLabel(AutoShutDownGroupBox, "Label4", 36,
        QStringLiteral("Shut down device automatically after"), { 16, 22, 233, 16 });
    AutoShutDownPeriodComboBox
        = makeList(AutoShutDownGroupBox, "AutoShutDownPeriodComboBox", 0, {}, { 256, 18, 57, 22 });
    Label27 = makeLabel(AutoShutDownGroupBox, "Label27", 37, QStringLiteral("minutes."), { 320, 22, 65, 16 });
    Label28 = makeLabel(
        AutoShutDownGroupBox, "Label28", 38, QStringLiteral("[0 = No Auto Shut Down]"), { 388, 22, 217, 16 });
    Label28->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    SaveGeneralSettingsButton = new QPushButton(QStringLiteral("Save Settings"), page);
    SaveGeneralSettingsButton->setObjectName(QStringLiteral("SaveGeneralSettingsButton"));
    SaveGeneralSettingsButton->setProperty(TagProperty, 39);
    vetu::SetDesignGeometry(SaveGeneralSettingsButton, { 8, 520, 193, 25 });
    SaveGeneralSettingsButton->setEnabled(false);

    // Each label gives its list's shortcut focus target for screen readers and mnemonics.
    Label19->setBuddy(DefaultMeasuringModeComboBox);
    Label21->setBuddy(PulsesComboBox);
    Label24->setBuddy(TimeComboBox);
    Label25->setBuddy(RemainingTermComboBox);
    Label22->setBuddy(GroundFeelerModeComboBox);
    Label23->setBuddy(PulsePrecisionComboBox);
    Label20->setBuddy(VelocityCurrentMeterComboBox);
    Label26->setBuddy(BuzzerModeComboBox);
    BuzzerVolumeLabel->setBuddy(BuzzerVolumeComboBox);
    Label4->setBuddy(AutoShutDownPeriodComboBox);
}
