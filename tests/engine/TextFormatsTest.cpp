#include "TextFormats.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>
#include <ostream>
#include <string>

namespace {

using sedalyn::LocaleSettings;

constexpr double kNan = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// Seconds as a fraction of a day, the way the program holds times.
constexpr double Clock(int hours, int minutes, double seconds)
{
    return (hours * 3600.0 + minutes * 60.0 + seconds) / 86400.0;
}

enum class Locale { Defaults, Us, German, Finnish, DecimalComma };

LocaleSettings Make(Locale which)
{
    LocaleSettings s;
    switch (which) {
    case Locale::Defaults:
        break;
    case Locale::Us:
        s.AmDesignator = "AM";
        s.PmDesignator = "PM";
        break;
    case Locale::German:
        s.DecimalSeparator = ",";
        s.ShortDateFormat = "dd/mm/yy";
        s.DateSeparator = ".";
        s.HourLeadingZero = true;
        s.TwelveHourClock = false;
        break;
    case Locale::Finnish:
        s.ShortDateFormat = "d/m/yyyy";
        s.DateSeparator = ".";
        s.TwelveHourClock = false;
        s.TimeSeparator = ".";
        break;
    case Locale::DecimalComma:
        s.DecimalSeparator = ",";
        break;
    }
    return s;
}

// ---------------------------------------------------------------- numbers

struct GeneralCase {
    double value;
    int digits;
    Locale locale;
    const char* expected;
};

void PrintTo(const GeneralCase& c, std::ostream* os)
{
    *os << c.value << " with " << c.digits << " digits -> " << c.expected;
}

class FormatGeneralTest : public testing::TestWithParam<GeneralCase> {};

TEST_P(FormatGeneralTest, Text)
{
    const GeneralCase& c = GetParam();
    EXPECT_EQ(sedalyn::FormatGeneral(c.value, c.digits, Make(c.locale)), c.expected);
}

INSTANTIATE_TEST_SUITE_P(FourDigits, FormatGeneralTest, testing::Values(
    GeneralCase{26.122448, 4, Locale::Defaults, "26.12"},
    GeneralCase{12345, 4, Locale::Defaults, "1.235E4"},
    GeneralCase{0.00001, 4, Locale::Defaults, "1E-5"},
    GeneralCase{0.0123, 4, Locale::Defaults, "0.0123"},
    GeneralCase{100, 4, Locale::Defaults, "100"},
    GeneralCase{56.25, 4, Locale::Defaults, "56.25"},
    GeneralCase{9999.5, 4, Locale::Defaults, "1E4"},
    GeneralCase{9999.4, 4, Locale::Defaults, "9999"},
    GeneralCase{0.0001, 4, Locale::Defaults, "0.0001"},
    GeneralCase{0.0000999, 4, Locale::Defaults, "9.99E-5"},
    GeneralCase{0.000123456, 4, Locale::Defaults, "0.0001235"},
    GeneralCase{-26.122448, 4, Locale::Defaults, "-26.12"},
    GeneralCase{-12345, 4, Locale::Defaults, "-1.235E4"},
    GeneralCase{0.0, 4, Locale::Defaults, "0"},
    GeneralCase{-0.0, 4, Locale::Defaults, "0"},
    GeneralCase{DBL_MAX, 4, Locale::Defaults, "1.798E308"},
    GeneralCase{5e-324, 4, Locale::Defaults, "4.941E-324"},
    GeneralCase{26.122448, 4, Locale::DecimalComma, "26,12"},
    GeneralCase{12345, 4, Locale::DecimalComma, "1,235E4"},
    GeneralCase{0.0123, 4, Locale::DecimalComma, "0,0123"}));

INSTANTIATE_TEST_SUITE_P(FifteenDigits, FormatGeneralTest, testing::Values(
    GeneralCase{1.75, 15, Locale::Defaults, "1.75"},
    GeneralCase{80, 15, Locale::Defaults, "80"},
    GeneralCase{0.1, 15, Locale::Defaults, "0.1"},
    GeneralCase{0.5, 15, Locale::Defaults, "0.5"},
    GeneralCase{6, 15, Locale::Defaults, "6"},
    GeneralCase{1.0 / 3.0, 15, Locale::Defaults, "0.333333333333333"},
    GeneralCase{2.0 / 3.0, 15, Locale::Defaults, "0.666666666666667"},
    GeneralCase{999999999999999.0, 15, Locale::Defaults, "999999999999999"},
    GeneralCase{1e15, 15, Locale::Defaults, "1E15"},
    GeneralCase{123456789012345678.0, 15, Locale::Defaults, "1.23456789012346E17"},
    GeneralCase{0.1 + 0.2, 15, Locale::Defaults, "0.3"},
    GeneralCase{1.75, 15, Locale::DecimalComma, "1,75"}));

// A tie goes away from zero, judged on the double actually held: several of
// these decimal texts are not what the binary value is.
INSTANTIATE_TEST_SUITE_P(Ties, FormatGeneralTest, testing::Values(
    GeneralCase{2.5, 1, Locale::Defaults, "3"},
    GeneralCase{-2.5, 1, Locale::Defaults, "-3"},
    GeneralCase{0.125, 2, Locale::Defaults, "0.13"},
    GeneralCase{2.675, 3, Locale::Defaults, "2.67"},
    GeneralCase{1.45, 2, Locale::Defaults, "1.4"},
    GeneralCase{1.55, 2, Locale::Defaults, "1.6"},
    GeneralCase{9.9995, 4, Locale::Defaults, "9.999"},
    GeneralCase{0.35, 1, Locale::Defaults, "0.3"}));

INSTANTIATE_TEST_SUITE_P(NotFinite, FormatGeneralTest, testing::Values(
    GeneralCase{kNan, 4, Locale::Defaults, "NAN"},
    GeneralCase{kInf, 15, Locale::Defaults, "INF"},
    GeneralCase{-kInf, 15, Locale::Defaults, "-INF"}));

struct FixedCase {
    double value;
    int precision;
    int decimals;
    Locale locale;
    const char* expected;
};

void PrintTo(const FixedCase& c, std::ostream* os)
{
    *os << c.value << " with " << c.precision << "/" << c.decimals << " -> " << c.expected;
}

class FormatFixedTest : public testing::TestWithParam<FixedCase> {};

TEST_P(FormatFixedTest, Text)
{
    const FixedCase& c = GetParam();
    EXPECT_EQ(sedalyn::FormatFixed(c.value, c.precision, c.decimals, Make(c.locale)), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Concentrations, FormatFixedTest, testing::Values(
    FixedCase{0, 6, 2, Locale::Defaults, "0.00"},
    FixedCase{1.5, 6, 2, Locale::Defaults, "1.50"},
    FixedCase{0.004, 6, 2, Locale::Defaults, "0.00"},
    FixedCase{3.14159, 6, 2, Locale::Defaults, "3.14"},
    FixedCase{1234567, 6, 2, Locale::Defaults, "1.23457E6"},
    FixedCase{-0.004, 6, 2, Locale::Defaults, "0.00"},
    FixedCase{-0.0, 6, 2, Locale::Defaults, "0.00"},
    FixedCase{-1.5, 6, 2, Locale::Defaults, "-1.50"},
    FixedCase{0.005, 6, 2, Locale::Defaults, "0.01"},
    FixedCase{-0.005, 6, 2, Locale::Defaults, "-0.01"},
    FixedCase{0.015, 6, 2, Locale::Defaults, "0.01"},
    FixedCase{0.025, 6, 2, Locale::Defaults, "0.03"},
    FixedCase{0.125, 6, 2, Locale::Defaults, "0.13"},
    FixedCase{1.005, 6, 2, Locale::Defaults, "1.00"},
    FixedCase{2.675, 6, 2, Locale::Defaults, "2.67"},
    FixedCase{9.996, 6, 2, Locale::Defaults, "10.00"},
    FixedCase{12345.678, 6, 2, Locale::Defaults, "12345.70"},
    FixedCase{123456.4, 6, 2, Locale::Defaults, "123456.00"},
    FixedCase{100000.5, 6, 2, Locale::Defaults, "100001.00"},
    FixedCase{999999.4, 6, 2, Locale::Defaults, "999999.00"},
    FixedCase{999999.5, 6, 2, Locale::Defaults, "1E6"},
    FixedCase{1e-300, 6, 2, Locale::Defaults, "0.00"},
    FixedCase{1e300, 6, 2, Locale::Defaults, "1E300"},
    FixedCase{1.5, 6, 2, Locale::DecimalComma, "1,50"},
    FixedCase{1234567, 6, 2, Locale::DecimalComma, "1,23457E6"},
    FixedCase{2.5, 6, 0, Locale::Defaults, "3"},
    FixedCase{kNan, 6, 2, Locale::Defaults, "NAN"},
    FixedCase{-kInf, 6, 2, Locale::Defaults, "-INF"}));

// ---------------------------------------------------------- times and dates

struct DateTimeCase {
    double value;
    Locale locale;
    const char* expected;
};

void PrintTo(const DateTimeCase& c, std::ostream* os)
{
    *os << c.value << " -> " << c.expected;
}

class TimeTextTest : public testing::TestWithParam<DateTimeCase> {};

TEST_P(TimeTextTest, Text)
{
    const DateTimeCase& c = GetParam();
    EXPECT_EQ(sedalyn::TimeText(c.value, Make(c.locale)), c.expected);
}

INSTANTIATE_TEST_SUITE_P(TwentyFourHour, TimeTextTest, testing::Values(
    DateTimeCase{0, Locale::German, "00:00:00"},
    DateTimeCase{Clock(1, 2, 3), Locale::German, "01:02:03"},
    DateTimeCase{Clock(13, 5, 9), Locale::German, "13:05:09"},
    DateTimeCase{45000 + Clock(18, 0, 0), Locale::German, "18:00:00"},
    DateTimeCase{Clock(9, 30, 0), Locale::Finnish, "9.30.00"},
    // Fractions of a second are dropped after rounding to the millisecond.
    DateTimeCase{Clock(23, 59, 59.9994), Locale::German, "23:59:59"},
    DateTimeCase{Clock(23, 59, 59.9996), Locale::German, "00:00:00"},
    DateTimeCase{Clock(0, 0, 2.9996), Locale::German, "00:00:03"},
    // Durations: a day or more wraps, a negative one shows its magnitude.
    DateTimeCase{1 + Clock(1, 0, 0), Locale::German, "01:00:00"},
    DateTimeCase{(45000.3 + Clock(1, 2, 3)) - 45000.3, Locale::German, "01:02:03"},
    DateTimeCase{-Clock(1, 2, 3), Locale::German, "01:02:03"},
    DateTimeCase{-2.25, Locale::German, "06:00:00"}));

INSTANTIATE_TEST_SUITE_P(TwelveHour, TimeTextTest, testing::Values(
    DateTimeCase{0, Locale::Defaults, "12:00:00 am"},
    DateTimeCase{0, Locale::Us, "12:00:00 AM"},
    DateTimeCase{Clock(1, 2, 3), Locale::Us, "1:02:03 AM"},
    DateTimeCase{Clock(11, 59, 59), Locale::Us, "11:59:59 AM"},
    DateTimeCase{Clock(12, 0, 0), Locale::Us, "12:00:00 PM"},
    DateTimeCase{Clock(13, 5, 9), Locale::Us, "1:05:09 PM"},
    DateTimeCase{Clock(23, 59, 59), Locale::Defaults, "11:59:59 pm"}));

INSTANTIATE_TEST_SUITE_P(NotFinite, TimeTextTest, testing::Values(
    DateTimeCase{kNan, Locale::German, "NAN"},
    DateTimeCase{kInf, Locale::German, "INF"},
    DateTimeCase{-kInf, Locale::German, "INF"},
    DateTimeCase{1e300, Locale::German, "00:00:00"},
    DateTimeCase{-1e300, Locale::Us, "12:00:00 AM"}));

TEST(TimeTextTest, LeadingZeroAndDesignatorFollowTheRecord)
{
    LocaleSettings s = Make(Locale::Us);
    s.HourLeadingZero = true;
    EXPECT_EQ(sedalyn::TimeText(Clock(9, 5, 0), s), "09:05:00 AM");
    s.AmDesignator.clear();
    EXPECT_EQ(sedalyn::TimeText(Clock(9, 5, 0), s), "09:05:00");
}

class DateTextTest : public testing::TestWithParam<DateTimeCase> {};

TEST_P(DateTextTest, Text)
{
    const DateTimeCase& c = GetParam();
    EXPECT_EQ(sedalyn::DateText(c.value, Make(c.locale)), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Calendar, DateTextTest, testing::Values(
    DateTimeCase{45000, Locale::Defaults, "3/15/23"},
    DateTimeCase{45000.75, Locale::German, "15.03.23"},
    DateTimeCase{45000, Locale::Finnish, "15.3.2023"},
    DateTimeCase{0, Locale::Defaults, "12/30/99"},
    DateTimeCase{2, Locale::Finnish, "1.1.1900"},
    DateTimeCase{60, Locale::Finnish, "28.2.1900"},
    DateTimeCase{61, Locale::Finnish, "1.3.1900"},
    DateTimeCase{45351, Locale::Finnish, "29.2.2024"},
    DateTimeCase{38353, Locale::German, "01.01.05"},
    DateTimeCase{-693593, Locale::Finnish, "1.1.0001"},
    DateTimeCase{2958465.5, Locale::Finnish, "31.12.9999"},
    // The date part counts towards zero; a time that rounds up to midnight
    // belongs to the next day.
    DateTimeCase{-1.5, Locale::Defaults, "12/29/99"},
    DateTimeCase{45000 + Clock(23, 59, 59.9996), Locale::Defaults, "3/16/23"},
    DateTimeCase{45000 + Clock(23, 59, 59.9994), Locale::Defaults, "3/15/23"},
    DateTimeCase{-693594, Locale::Finnish, ""},
    DateTimeCase{2958466, Locale::Finnish, ""},
    DateTimeCase{kNan, Locale::Defaults, "NAN"},
    DateTimeCase{-kInf, Locale::Defaults, "-INF"}));

TEST(DateTextTest, FormatTokensAndLiterals)
{
    struct Case {
        const char* format;
        const char* separator;
        const char* expected;
    };
    const Case cases[] = {
        {"yyyy/mm/dd", "-", "2023-03-05"},
        {"dd/MM/YYYY", "/", "05/03/2023"},
        {"yy/m/d.", ". ", "23. 3. 5."},
        {"d/mm/yy 'г'.", ".", "5.03.23 г."},
        {"yyyy'年'm'月'd'日'", "/", "2023年3月5日"},
        {"\"day\" d/m", "-", "day 5-3"},
        {"d 'unterminated/", "/", "5 unterminated/"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.format);
        LocaleSettings s;
        s.ShortDateFormat = c.format;
        s.DateSeparator = c.separator;
        EXPECT_EQ(sedalyn::DateText(44990, s), c.expected);
    }
}

// ------------------------------------------------------------ number parse

struct ParseCase {
    const char* text;
    double value;
};

void PrintTo(const ParseCase& c, std::ostream* os)
{
    *os << '"' << c.text << "\" -> " << c.value;
}

class ParseNumberAccepts : public testing::TestWithParam<ParseCase> {};

TEST_P(ParseNumberAccepts, Value)
{
    const ParseCase& c = GetParam();
    const auto parsed = sedalyn::ParseNumber(c.text);
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(*parsed, c.value);
    EXPECT_EQ(std::signbit(*parsed), std::signbit(c.value));
}

INSTANTIATE_TEST_SUITE_P(Grammar, ParseNumberAccepts, testing::Values(
    ParseCase{"75", 75},
    ParseCase{"  75", 75},
    ParseCase{"+75", 75},
    ParseCase{"-75", -75},
    ParseCase{"  -75", -75},
    ParseCase{".5", 0.5},
    ParseCase{"+.5", 0.5},
    ParseCase{"5.e2", 500},
    ParseCase{"1.75", 1.75},
    ParseCase{"1.750", 1.75},
    ParseCase{"1e2", 100},
    ParseCase{"1E+2", 100},
    ParseCase{"1e-2", 0.01},
    ParseCase{"-.5e-1", -0.05},
    ParseCase{"007", 7},
    ParseCase{"0.1", 0.1},
    ParseCase{"0", 0},
    ParseCase{"-0", -0.0},
    ParseCase{"0e999", 0},
    ParseCase{"0.000e-99999", 0},
    ParseCase{"1e-310", 1e-310},
    ParseCase{"1.7976931348623157e308", DBL_MAX}));

class ParseNumberRejects : public testing::TestWithParam<const char*> {};

TEST_P(ParseNumberRejects, Text)
{
    EXPECT_FALSE(sedalyn::ParseNumber(GetParam()).has_value());
}

INSTANTIATE_TEST_SUITE_P(Grammar, ParseNumberRejects, testing::Values(
    "", " ", "75 ", "1,75", ".", "5.", "-5.", "+", "-", "--5", "+-5", "- 5",
    "\t75", "75\t", "1.2.3", "1e", "1e+", "1E-", "5.e", "1e5x", "5e2.5", "1 000",
    "0x10", "inf", "nan", "\xd9\xab" "5"));

// A bare exponent used to read as 0; and no number may silently become
// infinity or lose all its digits.
INSTANTIATE_TEST_SUITE_P(NoMantissaOrOutOfRange, ParseNumberRejects, testing::Values(
    "e5", "E5", ".e5", "+e5", "-e5", " e5", "1e999", "-1e999", "1.8e308",
    "1e99999999999999999999", "1e-999", "-2e-324"));

TEST(ParseNumberRejects, EmbeddedNul)
{
    EXPECT_FALSE(sedalyn::ParseNumber(std::string_view("7\0", 2)).has_value());
}

TEST(IsNonNegativeNumberTest, SignAndValidity)
{
    struct Case {
        const char* text;
        bool expected;
    };
    const Case cases[] = {
        {"0", true}, {"-0", true}, {"6", true}, {"  2.5", true}, {"1e-2", true},
        {"-1", false}, {"-1e-300", false}, {"", false}, {"e5", false}, {"1e999", false},
        {"1,5", false}, {"2.5 ", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(sedalyn::IsNonNegativeNumber(c.text), c.expected);
    }
}

// What the patient fields show back must read as the same number.
TEST(RoundTripTest, FifteenDigitTextParsesBack)
{
    const double values[] = {1.75, 80, 0.5, 100, 6.25, 172.5, 0.0001, 1e-5, 123456.789};
    for (const double v : values) {
        SCOPED_TRACE(v);
        const auto parsed = sedalyn::ParseNumber(sedalyn::FormatGeneral(v, 15, {}));
        ASSERT_TRUE(parsed.has_value());
        EXPECT_EQ(*parsed, v);
    }
}

} // namespace
