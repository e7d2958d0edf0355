// libFuzzer target: the number-text conversion and both checks on arbitrary field texts.
// ToLocalDecimal keeps the length; the checks never crash and give the same answer twice.
#include "EquationValidation.h"
#include "LocalDecimal.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QString all = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const QStringList parts = all.split(QLatin1Char('\n'));
    auto part = [&parts](qsizetype i) { return i < parts.size() ? parts[i] : QString(); };

    vetu::EquationSet set;
    set.name = part(0);
    for (int i = 0; i < 3; ++i)
        set.boundary[i] = part(1 + i);
    for (int i = 0; i < 4; ++i) {
        set.factor[i] = part(4 + i);
        set.offset[i] = part(8 + i);
    }
    for (const QLocale &locale : {QLocale(QLocale::English, QLocale::UnitedStates), QLocale(QLocale::German, QLocale::Germany)}) {
        for (const QString &text : parts) {
            if (vetu::ToLocalDecimal(text, locale).size() != text.size())
                std::abort();
            (void)vetu::ParseLocalNumber(text, 0.0, locale);
        }
        if (vetu::ValidateEquationTexts(set, locale) != vetu::ValidateEquationTexts(set, locale))
            std::abort();
        if (vetu::CheckBoundaryTexts(set, locale) != vetu::CheckBoundaryTexts(set, locale))
            std::abort();
    }
    return 0;
}
