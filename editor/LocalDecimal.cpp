#include "LocalDecimal.h"

#include <cmath>

namespace vetu {

QString ToLocalDecimal(const QString &text, const QLocale &locale)
{
    const QString separator = locale.decimalPoint();
    QString result = text;
    if (separator == QLatin1String(".")) {
        const qsizetype at = result.indexOf(QLatin1Char(','));
        if (at >= 0)
            result[at] = QLatin1Char('.');
    } else if (separator == QLatin1String(",")) {
        const qsizetype at = result.indexOf(QLatin1Char('.'));
        if (at >= 0)
            result[at] = QLatin1Char(',');
    }
    return result;
}

double ParseLocalNumber(const QString &text, double defaultValue, const QLocale &locale)
{
    // Group separators are refused: a text such as "1.2.3" must not pass as a number in a
    // locale that writes "." between digit groups.
    QLocale strict(locale);
    strict.setNumberOptions(locale.numberOptions() | QLocale::RejectGroupSeparator);
    bool ok = false;
    const double value = strict.toDouble(ToLocalDecimal(text, locale), &ok);
    // Infinity and NaN are no calibration values; they would end up in the device's files.
    if (!ok || !std::isfinite(value))
        return defaultValue;
    return value;
}

} // namespace vetu
