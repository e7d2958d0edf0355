#include "LocalDecimal.h"

#include <gtest/gtest.h>

#include <cmath>

using vetu::ParseLocalNumber;
using vetu::ToLocalDecimal;

namespace {

QLocale PointLocale() { return QLocale(QLocale::English, QLocale::UnitedStates); }
QLocale CommaLocale() { return QLocale(QLocale::German, QLocale::Germany); }

TEST(LocalDecimalTest, TestLocalesUseTheExpectedSeparators)
{
    EXPECT_EQ(PointLocale().decimalPoint(), QStringLiteral("."));
    EXPECT_EQ(CommaLocale().decimalPoint(), QStringLiteral(","));
    EXPECT_EQ(QLocale::c().decimalPoint(), QStringLiteral("."));
}

struct ConversionCase {
    const char *text;
    bool commaLocale;
    const char *expected;
};

TEST(LocalDecimalTest, ReplacesOnlyTheFirstForeignSeparator)
{
    const ConversionCase cases[] = {
        {"1,5", false, "1.5"},
        {"1,2,3", false, "1.2,3"},
        {"1.5", false, "1.5"},
        {"1.5,5", false, "1.5.5"},
        {",", false, "."},
        {"", false, ""},
        {"abc", false, "abc"},
        {"1.5", true, "1,5"},
        {"1.2.3", true, "1,2.3"},
        {"1,5", true, "1,5"},
        {"1,5.5", true, "1,5,5"},
        {".", true, ","},
        {"", true, ""},
    };
    for (const ConversionCase &c : cases) {
        const QLocale locale = c.commaLocale ? CommaLocale() : PointLocale();
        EXPECT_EQ(ToLocalDecimal(QString::fromUtf8(c.text), locale), QString::fromUtf8(c.expected))
            << c.text << (c.commaLocale ? " with ','" : " with '.'");
    }
}

TEST(LocalDecimalTest, OtherSeparatorsLeaveTheTextAlone)
{
    QLocale locale(QLocale::Arabic, QLocale::Egypt);
    if (locale.decimalPoint() == QStringLiteral(".") || locale.decimalPoint() == QStringLiteral(","))
        GTEST_SKIP() << "this Qt gives Arabic (Egypt) a Latin separator";
    EXPECT_EQ(ToLocalDecimal(QStringLiteral("1,5"), locale), QStringLiteral("1,5"));
    EXPECT_EQ(ToLocalDecimal(QStringLiteral("1.5"), locale), QStringLiteral("1.5"));
}

struct ParseCase {
    const char *text;
    bool commaLocale;
    double expected; // NAN: the default comes back
};

TEST(LocalDecimalTest, ParsesInTheLocaleOrGivesTheDefault)
{
    const ParseCase cases[] = {
        // Locale separator "."
        {"1.5", false, 1.5},
        {"1,5", false, 1.5},
        {"-5", false, -5.0},
        {"0", false, 0.0},
        {"0.0", false, 0.0},
        {"1,234", false, 1.234},
        {"1e3", false, 1000.0},
        {"-999999", false, -999999.0},
        {"1,2,3", false, NAN},
        {"1.2.3", false, NAN},
        {"1,234.5", false, NAN},
        {"abc", false, NAN},
        {",", false, NAN},
        {".", false, NAN},
        {"", false, NAN},
        {"12abc", false, NAN},
        {"inf", false, NAN},
        {"nan", false, NAN},
        {"1e999", false, NAN},
        // Locale separator ","
        {"1,5", true, 1.5},
        {"1.5", true, 1.5},
        {"0.25", true, 0.25},
        {"-5", true, -5.0},
        {"0,0", true, 0.0},
        {"1.2.3", true, NAN},
        {"1.234,5", true, NAN},
        {"1,2,3", true, NAN},
        {"abc", true, NAN},
        {",", true, NAN},
        {"inf", true, NAN},
    };
    const double defaultValue = -999999.0 * 3; // recognisable, never a parse result above
    for (const ParseCase &c : cases) {
        const QLocale locale = c.commaLocale ? CommaLocale() : PointLocale();
        const double expected = std::isnan(c.expected) ? defaultValue : c.expected;
        EXPECT_DOUBLE_EQ(ParseLocalNumber(QString::fromUtf8(c.text), defaultValue, locale), expected)
            << '"' << c.text << '"' << (c.commaLocale ? " with ','" : " with '.'");
    }
}

} // namespace
