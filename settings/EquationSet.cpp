#include "EquationSet.h"

#include "IniFile.h"
#include "SettingsKeys.h"

namespace vetu {

namespace {

QString numberedKey(const char *stem, std::size_t index)
{
    return QLatin1String(stem) + QString::number(index + 1);
}

} // namespace

QString EquationSectionName(int setNumber)
{
    const QString digits = QString::number(setNumber);
    return digits.size() == 1 ? u'0' + digits : digits;
}

QString EquationLabel(int setNumber, const QString &name)
{
    return u'[' + EquationSectionName(setNumber) + QStringLiteral("] ") + name;
}

QString ToPointDecimal(const QString &text)
{
    QString result = text;
    const qsizetype comma = result.indexOf(u',');
    if (comma >= 0)
        result[comma] = u'.';
    return result;
}

EquationSet ReadEquationSet(const IniFile &ini, int setNumber)
{
    const QString section = EquationSectionName(setNumber);
    const auto read = [&](const QString &key) { return ini.readString(section, key, QString()); };
    EquationSet set;
    set.name = read(keys::Name);
    set.bodyNr = read(keys::BodyNr);
    set.propellerNr = read(keys::PropellerNr);
    set.cable = read(keys::MountingType) == QLatin1String("Cable");
    for (std::size_t i = 0; i < set.boundary.size(); ++i)
        set.boundary[i] = read(numberedKey("Boundary", i));
    for (std::size_t i = 0; i < set.factor.size(); ++i)
        set.factor[i] = read(numberedKey("Factor", i));
    for (std::size_t i = 0; i < set.offset.size(); ++i)
        set.offset[i] = read(numberedKey("Offset", i));
    return set;
}

void WriteEquationSet(IniFile &ini, int setNumber, const EquationSet &set)
{
    const QString section = EquationSectionName(setNumber);
    IniBatch batch(ini);
    ini.writeString(section, keys::Name, set.name);
    ini.writeString(section, keys::BodyNr, set.bodyNr);
    ini.writeString(section, keys::PropellerNr, set.propellerNr);
    ini.writeString(section, keys::MountingType, set.cable ? QStringLiteral("Cable") : QStringLiteral("Rod"));
    for (std::size_t i = 0; i < set.boundary.size(); ++i)
        ini.writeString(section, numberedKey("Boundary", i), ToPointDecimal(set.boundary[i]));
    for (std::size_t i = 0; i < set.factor.size(); ++i)
        ini.writeString(section, numberedKey("Factor", i), ToPointDecimal(set.factor[i]));
    for (std::size_t i = 0; i < set.offset.size(); ++i)
        ini.writeString(section, numberedKey("Offset", i), ToPointDecimal(set.offset[i]));
    batch.commit();
}

} // namespace vetu
