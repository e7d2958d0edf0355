#pragma once

#include <QLocale>
#include <QString>

namespace vetu {

// Brings a number text to the decimal separator of the locale: with "." the first ","
// becomes "."; with "," the first "." becomes ","; any other separator leaves the text.
QString ToLocalDecimal(const QString &text, const QLocale &locale = QLocale::system());

// ToLocalDecimal, then a parse in the locale's format; defaultValue when it does not parse.
double ParseLocalNumber(const QString &text, double defaultValue, const QLocale &locale = QLocale::system());

} // namespace vetu
