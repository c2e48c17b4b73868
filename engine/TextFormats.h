#pragma once
// The program's number, time and date texts, and the parse of typed numbers.
// Qt-free: the program fills LocaleSettings once from the system locale;
// tests build one for any locale.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace sedalyn {

// The system default locale's settings, read once at start. The defaults are
// what applies when the locale gives none.
struct LocaleSettings {
    std::string DecimalSeparator = ".";
    // Tokens d, dd, m, mm, yy, yyyy; "/" stands for DateSeparator.
    std::string ShortDateFormat = "m/d/yy";
    std::string DateSeparator = "/";
    bool HourLeadingZero = false;
    bool TwelveHourClock = true;
    std::string AmDesignator = "am";
    std::string PmDesignator = "pm";
    std::string TimeSeparator = ":";
    // The encoding of the text files the program writes (an iconv name).
    std::string Codeset = "UTF-8";

    friend bool operator==(const LocaleSettings&, const LocaleSettings&) = default;
};

// Days since 1899-12-30, the time of day as the fraction.
using DateTimeDays = double;
inline constexpr double MillisecondsPerDay = 86'400'000.0;

// Nearest number with at most `digits` significant digits (ties away from
// zero, decided on the exact binary value), no trailing zeros; scientific
// form ("1.235E4", "1E-5") when the decimal exponent is above `digits` or
// below -3. NaN and infinities read "NAN", "INF" and "-INF".
std::string FormatGeneral(double value, int digits, const LocaleSettings& locale);

// Fixed point with exactly `decimals` decimals and at most `precision`
// significant digits; falls back to FormatGeneral when the integer part needs
// more than `precision` digits.
std::string FormatFixed(double value, int precision, int decimals, const LocaleSettings& locale);

// The time-of-day part, to the second; a duration shows as a time of day
// (24 hours or more wrap), a negative value as that of its magnitude.
std::string TimeText(DateTimeDays value, const LocaleSettings& locale);

// The time since Start as the Elapsed line shows it: TimeText below a day;
// from 24 hours on the whole days lead ("3 d 00:00:07") instead of wrapping.
std::string ElapsedTimeText(DateTimeDays value, const LocaleSettings& locale);

// Hours and minutes of the time of day, written as TimeText writes them.
std::string ClockText(DateTimeDays value, const LocaleSettings& locale);

// The date part in the short date format; quoted text is copied as it is.
// Empty outside the years 1 to 9999.
std::string DateText(DateTimeDays value, const LocaleSettings& locale);

// Durations of a case, one family; a negative duration reads as zero.
// "00:03:10": hours (two digits or more), minutes and seconds, as a case's
// time since Start is written.
std::string CaseTimeText(std::int64_t milliseconds);
// "40 s", "2 min 10 s", "1 h 5 min": a gap in words.
std::string SpokenDurationText(std::int64_t milliseconds);

// Blanks, optional sign, mantissa with at least one digit and "." as decimal
// point, optional exponent; the whole text must match. Never locale-aware.
// A value beyond the range of a double, or nonzero digits that underflow to
// zero, fail; subnormal values are kept.
std::optional<double> ParseNumber(std::string_view text);

bool IsNonNegativeNumber(std::string_view text);

} // namespace sedalyn
