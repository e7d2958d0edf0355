#include "EquationValidation.h"

#include <gtest/gtest.h>

#include <ostream>

using vetu::CheckBoundaryTexts;
using vetu::EquationCheckFailure;
using vetu::EquationField;
using vetu::EquationSet;
using vetu::ValidateEquationTexts;

namespace vetu {
void PrintTo(const EquationCheckFailure &failure, std::ostream *out)
{
    *out << "text " << failure.textId << " arg \"" << failure.argument.toStdString() << "\" focus "
         << int(failure.focus);
}
} // namespace vetu

namespace {

QLocale PointLocale() { return QLocale(QLocale::English, QLocale::UnitedStates); }
QLocale CommaLocale() { return QLocale(QLocale::German, QLocale::Germany); }

// A set from the texts of its fields; factors and offsets pair up row by row.
EquationSet Set(const char *name, std::array<const char *, 3> boundaries,
                std::array<const char *, 4> factors = {"", "", "", ""},
                std::array<const char *, 4> offsets = {"", "", "", ""})
{
    EquationSet set;
    set.name = QString::fromUtf8(name);
    for (std::size_t i = 0; i < 3; ++i)
        set.boundary[i] = QString::fromUtf8(boundaries[i]);
    for (std::size_t i = 0; i < 4; ++i) {
        set.factor[i] = QString::fromUtf8(factors[i]);
        set.offset[i] = QString::fromUtf8(offsets[i]);
    }
    return set;
}

std::optional<EquationCheckFailure> Fails(int textId, EquationField focus, const char *argument = "")
{
    return EquationCheckFailure{textId, QString::fromUtf8(argument), focus};
}

const std::optional<EquationCheckFailure> Passes = std::nullopt;

struct CheckCase {
    const char *what;
    EquationSet set;
    bool commaLocale;
    std::optional<EquationCheckFailure> expected;
};

void RunCases(const std::vector<CheckCase> &cases,
              std::optional<EquationCheckFailure> (*check)(const EquationSet &, const QLocale &))
{
    for (const CheckCase &c : cases) {
        const QLocale locale = c.commaLocale ? CommaLocale() : PointLocale();
        EXPECT_EQ(check(c.set, locale), c.expected) << c.what << (c.commaLocale ? " (',')" : " ('.')");
    }
}

TEST(CheckBoundaryTextsTest, ReportsBadTextsThenOrder)
{
    using F = EquationField;
    const std::vector<CheckCase> cases = {
        {"all empty", Set("", {"", "", ""}), false, Passes},
        {"zero", Set("", {"0", "", ""}), false, Fails(69, F::Boundary1)},
        {"0.0", Set("", {"0.0", "", ""}), false, Fails(69, F::Boundary1)},
        {"abc", Set("", {"abc", "", ""}), false, Fails(69, F::Boundary1)},
        {"comma alone", Set("", {",", "", ""}), false, Fails(69, F::Boundary1)},
        {"blank", Set("", {" ", "", ""}), false, Fails(69, F::Boundary1)},
        {"negative is defined", Set("", {"-5", "", ""}), false, Passes},
        {"negative below positive", Set("", {"-5", "3", ""}), false, Passes},
        {"bad third reported on any exit", Set("", {"1", "2", "x"}), false, Fails(69, F::Boundary3)},
        {"first bad text wins", Set("", {"1", "y", "x"}), false, Fails(69, F::Boundary2)},
        {"bad text before order", Set("", {"5", "3", "x"}), false, Fails(69, F::Boundary3)},
        {"gap skips comparison", Set("", {"5", "", "3"}), false, Passes},
        {"equal 1 and 2", Set("", {"5", "5", ""}), false, Fails(72, F::Boundary2)},
        {"falling 1 and 2", Set("", {"5", "4", ""}), false, Fails(72, F::Boundary2)},
        {"equal 2 and 3", Set("", {"2", "7", "7"}), false, Fails(72, F::Boundary3)},
        {"1 and 2 before 2 and 3", Set("", {"9", "7", "1"}), false, Fails(72, F::Boundary2)},
        {"increasing", Set("", {"1", "2.5", "3,5"}), false, Passes},
        {"point in comma locale", Set("", {"1.5", "2", ""}), true, Passes},
        {"point value in comma locale is one and a half", Set("", {"1.5", "1,4", ""}), true,
         Fails(72, F::Boundary2)},
        {"two points in comma locale", Set("", {"1.2.3", "", ""}), true, Fails(69, F::Boundary1)},
        {"group separator in comma locale", Set("", {"1.000,5", "", ""}), true, Fails(69, F::Boundary1)},
        {"two commas in point locale", Set("", {"1,2,3", "", ""}), false, Fails(69, F::Boundary1)},
        {"name and equations are not looked at", Set("", {"10", "", ""}, {"abc", "", "", ""}), false, Passes},
    };
    RunCases(cases, &CheckBoundaryTexts);
}

TEST(ValidateEquationTextsTest, RulesInOrder)
{
    using F = EquationField;
    const std::vector<CheckCase> cases = {
        // Rule 1: the name.
        {"empty name", Set("", {"10", "", ""}, {"0.5", "", "", ""}, {"0", "", "", ""}), false,
         Fails(68, F::Name)},
        {"blank name", Set("   ", {"10", "", ""}, {"0.5", "", "", ""}, {"0", "", "", ""}), false,
         Fails(68, F::Name)},
        {"control characters only", Set("\t\r\n ", {"10", "", ""}, {"0.5", "", "", ""}, {"0", "", "", ""}),
         false, Fails(68, F::Name)},
        {"name before bad boundary", Set("", {"x", "", ""}), false, Fails(68, F::Name)},
        // The smallest valid set; an offset of 0 is defined.
        {"one equation", Set("A", {"10", "", ""}, {"0.5", "", "", ""}, {"0", "", "", ""}), false, Passes},
        {"name with blanks around", Set(" A ", {"10", "", ""}, {"0", "", "", ""}, {"0", "", "", ""}), false,
         Passes},
        // Rule 2: boundary texts, before factor texts and before order or completeness.
        {"zero boundary", Set("A", {"0", "", ""}), false, Fails(69, F::Boundary1)},
        {"bad boundary 3 before bad factor 1", Set("A", {"10", "20", "x"}, {"y", "", "", ""}), false,
         Fails(69, F::Boundary3)},
        {"bad boundary before order", Set("A", {"20", "10", "0"}), false, Fails(69, F::Boundary3)},
        // Rule 3: factor then offset, row by row; also for rows that are not required.
        {"bad factor 4 not required", Set("A", {"10", "", ""}, {"0.5", "", "", "abc"}, {"0", "", "", ""}),
         false, Fails(70, F::Factor4)},
        {"bad offset 3 not required", Set("A", {"10", "", ""}, {"0.5", "", "", ""}, {"0", "", "q", ""}),
         false, Fails(71, F::Offset3)},
        {"offset 1 before factor 2", Set("A", {"10", "", ""}, {"1", "x", "", ""}, {"x", "", "", ""}), false,
         Fails(71, F::Offset1)},
        {"factor 2 before offset 2", Set("A", {"10", "", ""}, {"1", "x", "", ""}, {"1", "x", "", ""}), false,
         Fails(70, F::Factor2)},
        {"factor typed as -999999", Set("A", {"10", "", ""}, {"-999999", "", "", ""}, {"0", "", "", ""}),
         false, Fails(70, F::Factor1)},
        {"offset typed as -999999,0", Set("A", {"10", "", ""}, {"1", "", "", ""}, {"-999999,0", "", "", ""}),
         false, Fails(71, F::Offset1)},
        {"bad factor before order", Set("A", {"20", "10", ""}, {"z", "", "", ""}), false,
         Fails(70, F::Factor1)},
        // Rules 4 and 5: order, focus in the second boundary field in both cases.
        {"10 20 15", Set("A", {"10", "20", "15"}, {"1", "1", "1", ""}, {"1", "1", "1", ""}), false,
         Fails(72, F::Boundary2)},
        {"10 10", Set("A", {"10", "10", ""}, {"1", "1", "", ""}, {"1", "1", "", ""}), false,
         Fails(72, F::Boundary2)},
        {"order before completeness", Set("A", {"10", "5", ""}), false, Fails(72, F::Boundary2)},
        {"10 empty 5 complete", Set("A", {"10", "", "5"}, {"1", "", "1", ""}, {"1", "", "1", ""}), false,
         Passes},
        {"negative boundaries", Set("A", {"-10", "-5", ""}, {"1", "1", "", ""}, {"1", "1", "", ""}), false,
         Passes},
        // Rule 6: equation i required when boundary i is defined.
        {"offset 1 missing", Set("A", {"10", "", ""}, {"0.5", "", "", ""}), false,
         Fails(73, F::Offset1, "1")},
        {"factor 1 missing", Set("A", {"10", "", ""}, {"", "", "", ""}, {"0", "", "", ""}), false,
         Fails(73, F::Factor1, "1")},
        {"equation 3 missing", Set("A", {"10", "20", "30"}, {"1", "1", "", ""}, {"1", "1", "", ""}), false,
         Fails(73, F::Factor3, "3")},
        {"equation 4 never required", Set("A", {"10", "20", "30"}, {"1", "1", "1", ""}, {"1", "1", "1", ""}),
         false, Passes},
        {"rule 6 before rule 7", Set("A", {"", "5", ""}), false, Fails(73, F::Factor2, "2")},
        // Rule 7: at least boundary 1.
        {"no boundary", Set("A", {"", "", ""}), false, Fails(74, F::Boundary1)},
        {"only boundary 2", Set("A", {"", "5", ""}, {"", "1", "", ""}, {"", "1", "", ""}), false,
         Fails(74, F::Boundary1)},
        {"only equation 4", Set("A", {"", "", ""}, {"", "", "", "1"}, {"", "", "", "2"}), false,
         Fails(74, F::Boundary1)},
        // Separators.
        {"factor with point in comma locale", Set("A", {"10", "", ""}, {"0.25", "", "", ""}, {"0", "", "", ""}),
         true, Passes},
        {"factor with comma in point locale", Set("A", {"10", "", ""}, {"0,25", "", "", ""}, {"0", "", "", ""}),
         false, Passes},
        {"factor with two points in comma locale",
         Set("A", {"10", "", ""}, {"0.2.5", "", "", ""}, {"0", "", "", ""}), true, Fails(70, F::Factor1)},
        {"factor with two commas in point locale",
         Set("A", {"10", "", ""}, {"0,2,5", "", "", ""}, {"0", "", "", ""}), false, Fails(70, F::Factor1)},
    };
    RunCases(cases, &ValidateEquationTexts);
}

TEST(ValidateEquationTextsTest, OrderOfTwoAndThreeFocusesDifferentlyFromTheExitCheck)
{
    const EquationSet set = Set("A", {"2", "7", "7"}, {"1", "1", "1", ""}, {"1", "1", "1", ""});
    EXPECT_EQ(ValidateEquationTexts(set, PointLocale()), Fails(72, EquationField::Boundary2));
    EXPECT_EQ(CheckBoundaryTexts(set, PointLocale()), Fails(72, EquationField::Boundary3));
}

} // namespace
