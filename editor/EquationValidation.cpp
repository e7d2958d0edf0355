#include "EquationValidation.h"

#include "LocalDecimal.h"

#include <array>

namespace vetu {
namespace {

constexpr double UndefinedBoundary = 0.0;
constexpr double UndefinedCoefficient = -999999.0;

constexpr int NameEmptyText = 68;
constexpr int InvalidBoundaryText = 69;
constexpr int InvalidFactorText = 70;
constexpr int InvalidOffsetText = 71;
constexpr int BoundaryOrderText = 72;
constexpr int IncompleteEquationText = 73;
constexpr int NoEquationText = 74;

constexpr std::array<EquationField, 3> BoundaryFields = {
    EquationField::Boundary1, EquationField::Boundary2, EquationField::Boundary3};
constexpr std::array<EquationField, 4> FactorFields = {
    EquationField::Factor1, EquationField::Factor2, EquationField::Factor3, EquationField::Factor4};
constexpr std::array<EquationField, 4> OffsetFields = {
    EquationField::Offset1, EquationField::Offset2, EquationField::Offset3, EquationField::Offset4};

struct Value {
    double number = 0.0;
    bool defined = false;
};

// A text parsed with its default; a non-empty text that yields the default is bad.
struct ParsedText {
    Value value;
    bool bad = false;
};

ParsedText ParseWithDefault(const QString &text, double defaultValue, const QLocale &locale)
{
    ParsedText parsed;
    parsed.value.number = ParseLocalNumber(text, defaultValue, locale);
    parsed.value.defined = parsed.value.number != defaultValue;
    parsed.bad = !parsed.value.defined && !text.isEmpty();
    return parsed;
}

EquationCheckFailure Failure(int textId, EquationField focus, const QString &argument = QString())
{
    EquationCheckFailure failure;
    failure.textId = textId;
    failure.argument = argument;
    failure.focus = focus;
    return failure;
}

// Blanks and control characters at both ends are dropped, as for the name check.
bool IsBlankName(const QString &name)
{
    for (const QChar c : name) {
        if (c.unicode() > 0x20)
            return false;
    }
    return true;
}

// Parses the three boundary texts in order; the first bad text is the failure.
std::optional<EquationCheckFailure> ParseBoundaries(const EquationSet &set, const QLocale &locale,
                                                    std::array<Value, 3> &boundaries)
{
    for (std::size_t i = 0; i < boundaries.size(); ++i) {
        const ParsedText parsed = ParseWithDefault(set.boundary[i], UndefinedBoundary, locale);
        if (parsed.bad)
            return Failure(InvalidBoundaryText, BoundaryFields[i]);
        boundaries[i] = parsed.value;
    }
    return std::nullopt;
}

bool InOrder(const Value &lower, const Value &upper)
{
    return !(lower.defined && upper.defined) || lower.number < upper.number;
}

} // namespace

std::optional<EquationCheckFailure> ValidateEquationTexts(const EquationSet &set, const QLocale &locale)
{
    if (IsBlankName(set.name))
        return Failure(NameEmptyText, EquationField::Name);

    std::array<Value, 3> boundaries;
    if (auto failure = ParseBoundaries(set, locale, boundaries))
        return failure;

    std::array<Value, 4> factors;
    std::array<Value, 4> offsets;
    for (std::size_t i = 0; i < factors.size(); ++i) {
        const ParsedText factor = ParseWithDefault(set.factor[i], UndefinedCoefficient, locale);
        if (factor.bad)
            return Failure(InvalidFactorText, FactorFields[i]);
        factors[i] = factor.value;
        const ParsedText offset = ParseWithDefault(set.offset[i], UndefinedCoefficient, locale);
        if (offset.bad)
            return Failure(InvalidOffsetText, OffsetFields[i]);
        offsets[i] = offset.value;
    }

    // Both order failures send the focus to the second boundary field here, unlike the check
    // made on leaving a boundary field.
    if (!InOrder(boundaries[0], boundaries[1]))
        return Failure(BoundaryOrderText, EquationField::Boundary2);
    if (!InOrder(boundaries[1], boundaries[2]))
        return Failure(BoundaryOrderText, EquationField::Boundary2);

    // Equation i is required exactly when its upper boundary i is defined.
    for (std::size_t i = 0; i < boundaries.size(); ++i) {
        if (!boundaries[i].defined)
            continue;
        const QString number = QString::number(i + 1);
        if (!factors[i].defined)
            return Failure(IncompleteEquationText, FactorFields[i], number);
        if (!offsets[i].defined)
            return Failure(IncompleteEquationText, OffsetFields[i], number);
    }

    if (!boundaries[0].defined)
        return Failure(NoEquationText, EquationField::Boundary1);

    return std::nullopt;
}

std::optional<EquationCheckFailure> CheckBoundaryTexts(const EquationSet &set, const QLocale &locale)
{
    std::array<Value, 3> boundaries;
    if (auto failure = ParseBoundaries(set, locale, boundaries))
        return failure;
    if (!InOrder(boundaries[0], boundaries[1]))
        return Failure(BoundaryOrderText, EquationField::Boundary2);
    if (!InOrder(boundaries[1], boundaries[2]))
        return Failure(BoundaryOrderText, EquationField::Boundary3);
    return std::nullopt;
}

} // namespace vetu
