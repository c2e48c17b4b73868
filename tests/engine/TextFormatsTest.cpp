#include "TextFormats.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cfloat>
#include <cmath>
#include <cstddef>
#include <limits>
#include <ostream>
#include <string>
#include <string_view>

namespace {

using sedalyn::LocaleSettings;

// A test's name: its row, then the text it reads or writes in letters and
// digits (the texts repeat, and other characters may not appear in names).
std::string RowName(std::size_t row, std::string_view text)
{
    std::string name = std::to_string(row) + '_';
    for (const unsigned char ch : text)
        name += std::isalnum(ch) != 0 && ch < 0x80 ? static_cast<char>(ch) : '_';
    return name;
}

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

// ------------------------------------------------- numbers, times and dates

// One text the formats write: the call, and what it must give.
enum class Kind { General, Fixed, Time, Date, Elapsed };

struct TextCase {
    Kind kind;
    double value;
    int digits; // FormatGeneral's digits, FormatFixed's precision
    int decimals;
    Locale locale;
    const char* expected;
};

void PrintTo(const TextCase& c, std::ostream* os)
{
    const char* const names[] = {"FormatGeneral", "FormatFixed", "TimeText", "DateText", "ElapsedTimeText"};
    *os << names[static_cast<int>(c.kind)] << '(' << c.value;
    if (c.kind == Kind::General || c.kind == Kind::Fixed)
        *os << ", " << c.digits;
    if (c.kind == Kind::Fixed)
        *os << ", " << c.decimals;
    *os << ") -> " << c.expected;
}

constexpr TextCase General(double v, int digits, Locale l, const char* e) { return {Kind::General, v, digits, 0, l, e}; }
constexpr TextCase Fixed(double v, int precision, int decimals, Locale l, const char* e)
{
    return {Kind::Fixed, v, precision, decimals, l, e};
}
constexpr TextCase Time(double v, Locale l, const char* e) { return {Kind::Time, v, 0, 0, l, e}; }
constexpr TextCase Date(double v, Locale l, const char* e) { return {Kind::Date, v, 0, 0, l, e}; }
constexpr TextCase Elapsed(double v, Locale l, const char* e) { return {Kind::Elapsed, v, 0, 0, l, e}; }

class TextTest : public testing::TestWithParam<TextCase> {};

std::string TextRowName(const testing::TestParamInfo<TextCase>& p) { return RowName(p.index, p.param.expected); }

TEST_P(TextTest, IsExact)
{
    const TextCase& c = GetParam();
    const LocaleSettings s = Make(c.locale);
    switch (c.kind) {
    case Kind::General: EXPECT_EQ(sedalyn::FormatGeneral(c.value, c.digits, s), c.expected); break;
    case Kind::Fixed: EXPECT_EQ(sedalyn::FormatFixed(c.value, c.digits, c.decimals, s), c.expected); break;
    case Kind::Time: EXPECT_EQ(sedalyn::TimeText(c.value, s), c.expected); break;
    case Kind::Date: EXPECT_EQ(sedalyn::DateText(c.value, s), c.expected); break;
    case Kind::Elapsed: EXPECT_EQ(sedalyn::ElapsedTimeText(c.value, s), c.expected); break;
    }
}

using enum Locale;

INSTANTIATE_TEST_SUITE_P(FourDigits, TextTest, testing::Values(
    General(26.122448, 4, Defaults, "26.12"),
    General(12345, 4, Defaults, "1.235E4"),
    General(0.00001, 4, Defaults, "1E-5"),
    General(0.0123, 4, Defaults, "0.0123"),
    General(100, 4, Defaults, "100"),
    General(56.25, 4, Defaults, "56.25"),
    General(9999.5, 4, Defaults, "1E4"),
    General(9999.4, 4, Defaults, "9999"),
    General(0.0001, 4, Defaults, "0.0001"),
    General(0.0000999, 4, Defaults, "9.99E-5"),
    General(0.000123456, 4, Defaults, "0.0001235"),
    General(-26.122448, 4, Defaults, "-26.12"),
    General(-12345, 4, Defaults, "-1.235E4"),
    General(0.0, 4, Defaults, "0"),
    General(-0.0, 4, Defaults, "0"),
    General(DBL_MAX, 4, Defaults, "1.798E308"),
    General(5e-324, 4, Defaults, "4.941E-324"),
    General(26.122448, 4, DecimalComma, "26,12"),
    General(12345, 4, DecimalComma, "1,235E4"),
    General(0.0123, 4, DecimalComma, "0,0123")), TextRowName);

INSTANTIATE_TEST_SUITE_P(FifteenDigits, TextTest, testing::Values(
    General(1.75, 15, Defaults, "1.75"),
    General(80, 15, Defaults, "80"),
    General(0.1, 15, Defaults, "0.1"),
    General(0.5, 15, Defaults, "0.5"),
    General(6, 15, Defaults, "6"),
    General(1.0 / 3.0, 15, Defaults, "0.333333333333333"),
    General(2.0 / 3.0, 15, Defaults, "0.666666666666667"),
    General(999999999999999.0, 15, Defaults, "999999999999999"),
    General(1e15, 15, Defaults, "1E15"),
    General(123456789012345678.0, 15, Defaults, "1.23456789012346E17"),
    General(0.1 + 0.2, 15, Defaults, "0.3"),
    General(1.75, 15, DecimalComma, "1,75")), TextRowName);

// A tie goes away from zero, judged on the double actually held: several of
// these decimal texts are not what the binary value is.
INSTANTIATE_TEST_SUITE_P(Ties, TextTest, testing::Values(
    General(2.5, 1, Defaults, "3"),
    General(-2.5, 1, Defaults, "-3"),
    General(0.125, 2, Defaults, "0.13"),
    General(2.675, 3, Defaults, "2.67"),
    General(1.45, 2, Defaults, "1.4"),
    General(1.55, 2, Defaults, "1.6"),
    General(9.9995, 4, Defaults, "9.999"),
    General(0.35, 1, Defaults, "0.3")), TextRowName);

INSTANTIATE_TEST_SUITE_P(GeneralNotFinite, TextTest, testing::Values(
    General(kNan, 4, Defaults, "NAN"),
    General(kInf, 15, Defaults, "INF"),
    General(-kInf, 15, Defaults, "-INF")), TextRowName);

INSTANTIATE_TEST_SUITE_P(Concentrations, TextTest, testing::Values(
    Fixed(0, 6, 2, Defaults, "0.00"),
    Fixed(1.5, 6, 2, Defaults, "1.50"),
    Fixed(0.004, 6, 2, Defaults, "0.00"),
    Fixed(3.14159, 6, 2, Defaults, "3.14"),
    Fixed(1234567, 6, 2, Defaults, "1.23457E6"),
    Fixed(-0.004, 6, 2, Defaults, "0.00"),
    Fixed(-0.0, 6, 2, Defaults, "0.00"),
    Fixed(-1.5, 6, 2, Defaults, "-1.50"),
    Fixed(0.005, 6, 2, Defaults, "0.01"),
    Fixed(-0.005, 6, 2, Defaults, "-0.01"),
    Fixed(0.015, 6, 2, Defaults, "0.01"),
    Fixed(0.025, 6, 2, Defaults, "0.03"),
    Fixed(0.125, 6, 2, Defaults, "0.13"),
    Fixed(1.005, 6, 2, Defaults, "1.00"),
    Fixed(2.675, 6, 2, Defaults, "2.67"),
    Fixed(9.996, 6, 2, Defaults, "10.00"),
    Fixed(12345.678, 6, 2, Defaults, "12345.70"),
    Fixed(123456.4, 6, 2, Defaults, "123456.00"),
    Fixed(100000.5, 6, 2, Defaults, "100001.00"),
    Fixed(999999.4, 6, 2, Defaults, "999999.00"),
    Fixed(999999.5, 6, 2, Defaults, "1E6"),
    Fixed(1e-300, 6, 2, Defaults, "0.00"),
    Fixed(1e300, 6, 2, Defaults, "1E300"),
    Fixed(1.5, 6, 2, DecimalComma, "1,50"),
    Fixed(1234567, 6, 2, DecimalComma, "1,23457E6"),
    Fixed(2.5, 6, 0, Defaults, "3"),
    Fixed(kNan, 6, 2, Defaults, "NAN"),
    Fixed(-kInf, 6, 2, Defaults, "-INF")), TextRowName);

INSTANTIATE_TEST_SUITE_P(TwentyFourHour, TextTest, testing::Values(
    Time(0, German, "00:00:00"),
    Time(Clock(1, 2, 3), German, "01:02:03"),
    Time(Clock(13, 5, 9), German, "13:05:09"),
    Time(45000 + Clock(18, 0, 0), German, "18:00:00"),
    Time(Clock(9, 30, 0), Finnish, "9.30.00"),
    // Fractions of a second are dropped after rounding to the millisecond.
    Time(Clock(23, 59, 59.9994), German, "23:59:59"),
    Time(Clock(23, 59, 59.9996), German, "00:00:00"),
    Time(Clock(0, 0, 2.9996), German, "00:00:03"),
    // Durations: a day or more wraps, a negative one shows its magnitude.
    Time(1 + Clock(1, 0, 0), German, "01:00:00"),
    Time((45000.3 + Clock(1, 2, 3)) - 45000.3, German, "01:02:03"),
    Time(-Clock(1, 2, 3), German, "01:02:03"),
    Time(-2.25, German, "06:00:00")), TextRowName);

INSTANTIATE_TEST_SUITE_P(TwelveHour, TextTest, testing::Values(
    Time(0, Defaults, "12:00:00 am"),
    Time(0, Us, "12:00:00 AM"),
    Time(Clock(1, 2, 3), Us, "1:02:03 AM"),
    Time(Clock(11, 59, 59), Us, "11:59:59 AM"),
    Time(Clock(12, 0, 0), Us, "12:00:00 PM"),
    Time(Clock(13, 5, 9), Us, "1:05:09 PM"),
    Time(Clock(23, 59, 59), Defaults, "11:59:59 pm")), TextRowName);

INSTANTIATE_TEST_SUITE_P(TimeNotFinite, TextTest, testing::Values(
    Time(kNan, German, "NAN"),
    Time(kInf, German, "INF"),
    Time(-kInf, German, "INF"),
    Time(1e300, German, "00:00:00"),
    Time(-1e300, Us, "12:00:00 AM")), TextRowName);

// Below a day the Elapsed line is the time text; from 24 hours the days lead.
INSTANTIATE_TEST_SUITE_P(ElapsedBeyondADay, TextTest, testing::Values(
    Elapsed(Clock(23, 59, 59), German, "23:59:59"),
    Elapsed(Clock(23, 59, 59.9996), German, "1 d 00:00:00"),
    Elapsed(1.0, German, "1 d 00:00:00"),
    Elapsed(3 + Clock(0, 0, 7), German, "3 d 00:00:07"),
    Elapsed(3 + Clock(0, 0, 7), Us, "3 d 12:00:07 AM"),
    Elapsed(400 + Clock(13, 5, 9), German, "400 d 13:05:09"),
    Elapsed(-2.25, German, "2 d 06:00:00"),
    Elapsed(kNan, German, "NAN")), TextRowName);

TEST(TimeTextTest, LeadingZeroAndDesignatorFollowTheRecord)
{
    LocaleSettings s = Make(Locale::Us);
    s.HourLeadingZero = true;
    EXPECT_EQ(sedalyn::TimeText(Clock(9, 5, 0), s), "09:05:00 AM");
    s.AmDesignator.clear();
    EXPECT_EQ(sedalyn::TimeText(Clock(9, 5, 0), s), "09:05:00");
}

INSTANTIATE_TEST_SUITE_P(Calendar, TextTest, testing::Values(
    Date(45000, Defaults, "3/15/23"),
    Date(45000.75, German, "15.03.23"),
    Date(45000, Finnish, "15.3.2023"),
    Date(0, Defaults, "12/30/99"),
    Date(2, Finnish, "1.1.1900"),
    Date(60, Finnish, "28.2.1900"),
    Date(61, Finnish, "1.3.1900"),
    Date(45351, Finnish, "29.2.2024"),
    Date(38353, German, "01.01.05"),
    Date(-693593, Finnish, "1.1.0001"),
    Date(2958465.5, Finnish, "31.12.9999"),
    // The date part counts towards zero; a time that rounds up to midnight
    // belongs to the next day.
    Date(-1.5, Defaults, "12/29/99"),
    Date(45000 + Clock(23, 59, 59.9996), Defaults, "3/16/23"),
    Date(45000 + Clock(23, 59, 59.9994), Defaults, "3/15/23"),
    Date(-693594, Finnish, ""),
    Date(2958466, Finnish, ""),
    Date(kNan, Defaults, "NAN"),
    Date(-kInf, Defaults, "-INF")), TextRowName);

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

std::string ParseRowName(const testing::TestParamInfo<ParseCase>& p) { return RowName(p.index, p.param.text); }

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
    ParseCase{"1.7976931348623157e308", DBL_MAX}), ParseRowName);

class ParseNumberRejects : public testing::TestWithParam<const char*> {};

std::string RejectedRowName(const testing::TestParamInfo<const char*>& p) { return RowName(p.index, p.param); }

TEST_P(ParseNumberRejects, Text)
{
    EXPECT_FALSE(sedalyn::ParseNumber(GetParam()).has_value());
}

INSTANTIATE_TEST_SUITE_P(Grammar, ParseNumberRejects, testing::Values(
    "", " ", "75 ", "1,75", ".", "5.", "-5.", "+", "-", "--5", "+-5", "- 5",
    "\t75", "75\t", "1.2.3", "1e", "1e+", "1E-", "5.e", "1e5x", "5e2.5", "1 000",
    "0x10", "inf", "nan", "\xd9\xab" "5"), RejectedRowName);

// A bare exponent used to read as 0; and no number may silently become
// infinity or lose all its digits.
INSTANTIATE_TEST_SUITE_P(NoMantissaOrOutOfRange, ParseNumberRejects, testing::Values(
    "e5", "E5", ".e5", "+e5", "-e5", " e5", "1e999", "-1e999", "1.8e308",
    "1e99999999999999999999", "1e-999", "-2e-324"), RejectedRowName);

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
