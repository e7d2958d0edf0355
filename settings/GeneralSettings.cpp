#include "GeneralSettings.h"

#include "DeviceFiles.h"
#include "IniFile.h"
#include "SettingsKeys.h"

namespace vetu {

namespace {

QStringList numberEntries(int first, int last)
{
    QStringList entries;
    for (int n = first; n <= last; ++n)
        entries.append(QString::number(n));
    return entries;
}

// Delimiting blanks and control characters go, as with a text trimmed before comparing.
QString strippedText(const QString &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin).unicode() <= u' ')
        ++begin;
    while (end > begin && text.at(end - 1).unicode() <= u' ')
        --end;
    return text.mid(begin, end - begin);
}

// A position that the list does not have means no selection.
int positionInRange(qint64 position, qsizetype count)
{
    return (position >= 0 && position < count) ? static_cast<int>(position) : -1;
}

int readPosition(const IniFile &file, const QString &key, int defaultValue, qsizetype count)
{
    return positionInRange(file.readInteger(SettingsSection, key, defaultValue), count);
}

int readPositionPlusOne(const IniFile &file, const QString &key, int defaultValue, qsizetype count)
{
    return positionInRange(qint64(file.readInteger(SettingsSection, key, defaultValue)) - 1, count);
}

int readText(const IniFile &file, const QString &key, const QString &defaultValue, const QStringList &entries,
        int before)
{
    const int index = static_cast<int>(
            entries.indexOf(strippedText(file.readString(SettingsSection, key, defaultValue))));
    return index >= 0 ? index : before;
}

QString entryText(const QStringList &entries, int position)
{
    return (position >= 0 && position < entries.size()) ? entries.at(position) : QString();
}

} // namespace

QStringList TimeEntries()
{
    return {QStringLiteral("5"), QStringLiteral("10"), QStringLiteral("15"), QStringLiteral("20"),
        QStringLiteral("30"), QStringLiteral("40"), QStringLiteral("50"), QStringLiteral("60"),
        QStringLiteral("80"), QStringLiteral("100"), QStringLiteral("120")};
}

QStringList PulsesEntries()
{
    return numberEntries(10, 50);
}

QStringList RemainingTermEntries()
{
    return numberEntries(1, 10);
}

QStringList PulsePrecisionEntries()
{
    return {QStringLiteral("1"), QStringLiteral("0.1")};
}

QStringList BuzzerVolumeEntries()
{
    return numberEntries(1, 2);
}

QStringList CurrentMeterEntries()
{
    return numberEntries(1, 30);
}

QStringList AutoShutDownEntries()
{
    return numberEntries(0, 59);
}

GeneralSettingsSelection ReadGeneralSettings(const IniFile &deviceFile, const GeneralSettingsSelection &before)
{
    GeneralSettingsSelection s = before;
    const int mode = deviceFile.readInteger(SettingsSection, keys::MeasuringMode, 0);
    s.measuringMode = positionInRange(mode == 0 ? 0 : qint64(mode) - 1, MeasuringModeCount);
    s.time = readText(deviceFile, keys::Time, QStringLiteral("50"), TimeEntries(), before.time);
    s.pulses = readText(deviceFile, keys::Pulses, QStringLiteral("10"), PulsesEntries(), before.pulses);
    s.remainingTerm = readText(
            deviceFile, keys::RemainingTerm, QStringLiteral("6"), RemainingTermEntries(), before.remainingTerm);
    s.pulsePrecision
            = readPosition(deviceFile, keys::PulsePrecision, 0, PulsePrecisionEntries().size());
    s.buzzer = readPosition(deviceFile, keys::Buzzer, 1, BuzzerModeCount);
    s.buzzerVolume = readPositionPlusOne(deviceFile, keys::BuzzerVolume, 2, BuzzerVolumeEntries().size());
    s.currentMeter = readPositionPlusOne(deviceFile, keys::CurrentMeter, 1, CurrentMeterEntries().size());
    s.groundFeeler = readPosition(deviceFile, keys::GroundFeeler, 2, GroundFeelerCount);
    s.autoShutDown = readPosition(deviceFile, keys::AutoShutDown, 3, AutoShutDownEntries().size());
    return s;
}

void WriteGeneralSettings(IniFile &deviceFile, const GeneralSettingsSelection &s)
{
    const auto number = [](qint64 value) { return QString::number(value); };
    IniBatch batch(deviceFile);
    deviceFile.writeString(SettingsSection, keys::MeasuringMode, number(qint64(s.measuringMode) + 1));
    deviceFile.writeString(SettingsSection, keys::Time, entryText(TimeEntries(), s.time));
    deviceFile.writeString(SettingsSection, keys::Pulses, entryText(PulsesEntries(), s.pulses));
    deviceFile.writeString(SettingsSection, keys::RemainingTerm, entryText(RemainingTermEntries(), s.remainingTerm));
    deviceFile.writeString(SettingsSection, keys::Buzzer, number(s.buzzer));
    deviceFile.writeString(SettingsSection, keys::PulsePrecision, number(s.pulsePrecision));
    deviceFile.writeString(SettingsSection, keys::BuzzerVolume, number(qint64(s.buzzerVolume) + 1));
    deviceFile.writeString(SettingsSection, keys::CurrentMeter, number(qint64(s.currentMeter) + 1));
    deviceFile.writeString(SettingsSection, keys::GroundFeeler, number(s.groundFeeler));
    deviceFile.writeString(SettingsSection, keys::AutoShutDown, number(s.autoShutDown));
    batch.commit();
}

} // namespace vetu
