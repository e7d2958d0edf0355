#pragma once

#include <QString>
#include <QStringList>

class QPrinter;

namespace vetu {

class IniFile;

inline constexpr int PrintColumn1Width = 59;
inline constexpr int PrintColumn2Width = 36;

// Pads text with blanks to width; a text as long or longer stays whole.
QString PadPrintCell(const QString &text, int width);

// The heading line (texts 41, 43, 44 in the current language) and one line per list label,
// with "BodyNr" and "PropellerNr" of the set's section ("N/A" when a key is missing).
QStringList EquationListLines(const QStringList &labels, const IniFile &configurationIni);

// Prints the lines in Courier New 8 pt as one job titled jobTitle, over the printer's
// whole printable area, wrapping long lines and breaking pages as needed.
void PrintEquationListLines(QPrinter &printer, const QStringList &lines, const QString &jobTitle);

} // namespace vetu
