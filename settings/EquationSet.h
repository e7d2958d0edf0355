#pragma once

#include <QString>

#include <array>

namespace vetu {

class IniFile;

inline constexpr int EquationSetCount = 30;

// One equation set as text, exactly as stored or typed.
struct EquationSet {
    QString name;
    QString bodyNr;
    QString propellerNr;
    bool cable = false; // MountingType: exactly "Cable" reads as cable
    std::array<QString, 3> boundary;
    std::array<QString, 4> factor;
    std::array<QString, 4> offset;

    bool operator==(const EquationSet &) const = default;
};

// "01" .. "30".
QString EquationSectionName(int setNumber);
// "[nn] " followed by the name.
QString EquationLabel(int setNumber, const QString &name);
// The first comma becomes a point; nothing else changes.
QString ToPointDecimal(const QString &text);

EquationSet ReadEquationSet(const IniFile &ini, int setNumber);
// Writes the fifteen keys in one replace of the file. Throws IniWriteError.
void WriteEquationSet(IniFile &ini, int setNumber, const EquationSet &set);

// Rewrites "Configuration.ini" of programFolder in normal form: Settings first,
// then sections 01..30 that hold keys, key lines only, CR LF after each line.
// Does nothing when the file does not exist. Throws IniWriteError.
void NormalizeConfigurationIni(const QString &programFolder);

} // namespace vetu
