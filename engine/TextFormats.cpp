#include "TextFormats.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <system_error>

namespace sedalyn {

namespace {

// Bounds that keep absurd digit counts from building absurd texts.
constexpr int kMaxDigits = 1000;

constexpr std::int64_t kMsPerDay = 86'400'000;

// Years 1 to 9999, counted from 1899-12-30 as the program's date-times are.
constexpr double kFirstDay = -693'593.0;
constexpr double kLastDay = 2'958'465.0;

// A magnitude as 0.d1d2...dk x 10^exponent with d1 nonzero and no trailing
// zeros; no digits at all is zero.
struct Decimal {
    std::string digits;
    int exponent = 0;

    bool IsZero() const { return digits.empty(); }
};

void StripTrailingZeros(std::string& digits)
{
    const auto last = digits.find_last_not_of('0');
    digits.resize(last == std::string::npos ? 0 : last + 1);
}

// Every finite double has a finite decimal expansion (at most 767
// significant digits); 800 digits of scientific notation hold all of it, so
// ties are decided on the value the program really holds.
Decimal ExactDecimal(double value)
{
    Decimal result;
    if (value == 0.0 || !std::isfinite(value))
        return result;
    std::array<char, 900> buffer{};
    const auto [end, ec] = std::to_chars(buffer.data(), buffer.data() + buffer.size(),
                                         std::fabs(value), std::chars_format::scientific, 800);
    if (ec != std::errc{})
        return result;
    const std::string_view text(buffer.data(), static_cast<std::size_t>(end - buffer.data()));
    const auto e = text.find('e');
    result.digits.push_back(text[0]);
    if (e > 2)
        result.digits.append(text.substr(2, e - 2));
    std::string_view exponentText = text.substr(e + 1);
    const bool negative = exponentText.front() == '-';
    if (exponentText.front() == '+' || negative)
        exponentText.remove_prefix(1);
    int exponent = 0;
    std::from_chars(exponentText.data(), exponentText.data() + exponentText.size(), exponent);
    result.exponent = (negative ? -exponent : exponent) + 1;
    StripTrailingZeros(result.digits);
    return result;
}

// Keeps `keep` leading digits, a dropped part of one half or more rounding
// up: on an exact expansion that is round half away from zero.
Decimal RoundToDigits(Decimal number, int keep)
{
    if (number.IsZero() || keep >= static_cast<int>(number.digits.size()))
        return number;
    if (keep < 0)
        return {};
    const bool up = number.digits[static_cast<std::size_t>(keep)] >= '5';
    number.digits.resize(static_cast<std::size_t>(keep));
    if (up) {
        int i = keep - 1;
        while (i >= 0 && number.digits[static_cast<std::size_t>(i)] == '9')
            number.digits[static_cast<std::size_t>(i--)] = '0';
        if (i < 0) {
            number.digits.assign(1, '1');
            ++number.exponent;
        } else {
            ++number.digits[static_cast<std::size_t>(i)];
        }
    }
    StripTrailingZeros(number.digits);
    return number;
}

std::string NonFiniteText(double value)
{
    if (std::isnan(value))
        return "NAN";
    return value < 0.0 ? "-INF" : "INF";
}

std::string IntegerText(long long value)
{
    std::array<char, 24> buffer{};
    const auto [end, ec] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    return std::string(buffer.data(), end);
}

std::string ZeroPadded(long long value, int width)
{
    std::string text = IntegerText(value);
    if (static_cast<int>(text.size()) < width)
        text.insert(0, static_cast<std::size_t>(width) - text.size(), '0');
    return text;
}

// The fraction of a day to the nearest millisecond, and whether it rounded up
// to the next midnight.
struct TimeOfDay {
    std::int64_t milliseconds = 0;
    bool nextDay = false;
};

TimeOfDay TimeOfDayOf(double magnitude)
{
    // Rounding only the fraction keeps huge values from overflowing; the
    // whole days are an integer and cannot change the rounding.
    const double fraction = magnitude - std::floor(magnitude);
    TimeOfDay result;
    result.milliseconds = std::llround(fraction * static_cast<double>(kMsPerDay));
    if (result.milliseconds >= kMsPerDay) {
        result.milliseconds -= kMsPerDay;
        result.nextDay = true;
    }
    return result;
}

} // namespace

std::string FormatGeneral(double value, int digits, const LocaleSettings& locale)
{
    if (!std::isfinite(value))
        return NonFiniteText(value);
    const int n = std::clamp(digits, 1, kMaxDigits);
    const Decimal number = RoundToDigits(ExactDecimal(value), n);
    if (number.IsZero())
        return "0";

    const int k = static_cast<int>(number.digits.size());
    const int e = number.exponent;
    std::string text = value < 0.0 ? "-" : "";
    if (e > n || e < -3) {
        text += number.digits[0];
        if (k > 1)
            text += locale.DecimalSeparator + number.digits.substr(1);
        text += 'E' + IntegerText(e - 1);
    } else if (e <= 0) {
        text += '0' + locale.DecimalSeparator + std::string(static_cast<std::size_t>(-e), '0')
            + number.digits;
    } else if (k <= e) {
        text += number.digits + std::string(static_cast<std::size_t>(e - k), '0');
    } else {
        const auto split = static_cast<std::size_t>(e);
        text += number.digits.substr(0, split) + locale.DecimalSeparator
            + number.digits.substr(split);
    }
    return text;
}

std::string FormatFixed(double value, int precision, int decimals, const LocaleSettings& locale)
{
    if (!std::isfinite(value))
        return NonFiniteText(value);
    const int p = std::clamp(precision, 1, kMaxDigits);
    const int d = std::clamp(decimals, 0, kMaxDigits);
    Decimal number = ExactDecimal(value);
    // The lowest kept place is 10^-d: that leaves exponent + d digits.
    number = RoundToDigits(number, std::min(p, number.exponent + d));
    if (!number.IsZero() && number.exponent > p)
        return FormatGeneral(value, p, locale);

    const int e = number.IsZero() ? 0 : number.exponent;
    const auto k = number.digits.size();
    std::string text = value < 0.0 && !number.IsZero() ? "-" : "";
    if (e <= 0) {
        text += '0';
    } else {
        const auto whole = static_cast<std::size_t>(e);
        text += number.digits.substr(0, whole);
        if (k < whole)
            text.append(whole - k, '0');
    }
    if (d > 0) {
        std::string fraction = e < 0 ? std::string(static_cast<std::size_t>(-e), '0') : "";
        if (static_cast<std::size_t>(std::max(e, 0)) < k)
            fraction += number.digits.substr(static_cast<std::size_t>(std::max(e, 0)));
        fraction.resize(static_cast<std::size_t>(d), '0');
        text += locale.DecimalSeparator + fraction;
    }
    return text;
}

namespace {

std::string TimeOfDayText(DateTimeDays value, const LocaleSettings& locale, bool withSeconds)
{
    if (!std::isfinite(value))
        return NonFiniteText(std::fabs(value));
    const std::int64_t ms = TimeOfDayOf(std::fabs(value)).milliseconds;
    const std::int64_t hours = ms / 3'600'000;
    const std::int64_t minutes = ms / 60'000 % 60;
    const std::int64_t seconds = ms / 1'000 % 60;

    std::int64_t shownHours = hours;
    if (locale.TwelveHourClock) {
        shownHours = hours % 12;
        if (shownHours == 0)
            shownHours = 12;
    }
    std::string text = locale.HourLeadingZero ? ZeroPadded(shownHours, 2) : IntegerText(shownHours);
    text += locale.TimeSeparator + ZeroPadded(minutes, 2);
    if (withSeconds)
        text += locale.TimeSeparator + ZeroPadded(seconds, 2);
    if (locale.TwelveHourClock) {
        const std::string& designator = hours < 12 ? locale.AmDesignator : locale.PmDesignator;
        if (!designator.empty())
            text += ' ' + designator;
    }
    return text;
}

} // namespace

std::string TimeText(DateTimeDays value, const LocaleSettings& locale)
{
    return TimeOfDayText(value, locale, true);
}

std::string ElapsedTimeText(DateTimeDays value, const LocaleSettings& locale)
{
    if (!std::isfinite(value))
        return TimeText(value, locale);
    const double magnitude = std::fabs(value);
    // A fraction that rounds up to midnight counts as the next whole day,
    // as TimeText then shows 00:00:00.
    const double days = std::trunc(magnitude) + (TimeOfDayOf(magnitude).nextDay ? 1.0 : 0.0);
    if (days < 1.0)
        return TimeText(value, locale);
    return FormatFixed(days, 15, 0, LocaleSettings{}) + " d " + TimeText(value, locale);
}

std::string ClockText(DateTimeDays value, const LocaleSettings& locale)
{
    return TimeOfDayText(value, locale, false);
}

std::string DateText(DateTimeDays value, const LocaleSettings& locale)
{
    if (!std::isfinite(value))
        return NonFiniteText(value);
    // The date part counts towards zero, as the time part is taken from the
    // magnitude: -1.5 is noon of 1899-12-29.
    double day = std::trunc(value);
    if (TimeOfDayOf(std::fabs(value)).nextDay)
        day += value < 0.0 ? -1.0 : 1.0;
    if (day < kFirstDay || day > kLastDay)
        return {};

    using namespace std::chrono;
    const year_month_day date{sys_days{year{1899} / December / 30} + days{static_cast<int>(day)}};
    const long long y = static_cast<int>(date.year());
    const long long m = static_cast<unsigned>(date.month());
    const long long d = static_cast<unsigned>(date.day());

    const std::string& format = locale.ShortDateFormat;
    std::string text;
    std::size_t i = 0;
    while (i < format.size()) {
        const char c = format[i];
        if (c == '\'' || c == '"') {
            const auto close = format.find(c, i + 1);
            const auto stop = close == std::string::npos ? format.size() : close;
            text += format.substr(i + 1, stop - i - 1);
            i = close == std::string::npos ? format.size() : close + 1;
            continue;
        }
        const char lower = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        if (lower != 'd' && lower != 'm' && lower != 'y') {
            if (c == '/')
                text += locale.DateSeparator;
            else
                text += c;
            ++i;
            continue;
        }
        std::size_t run = 1;
        while (i + run < format.size()
               && (format[i + run] == lower || format[i + run] == lower - 'a' + 'A'))
            ++run;
        i += run;
        switch (lower) {
        case 'd':
            text += run == 1 ? IntegerText(d) : ZeroPadded(d, 2);
            break;
        case 'm':
            text += run == 1 ? IntegerText(m) : ZeroPadded(m, 2);
            break;
        default:
            text += run <= 2 ? ZeroPadded(y % 100, 2) : ZeroPadded(y, 4);
            break;
        }
    }
    return text;
}

std::string CaseTimeText(std::int64_t milliseconds)
{
    const std::int64_t seconds = std::max<std::int64_t>(0, milliseconds) / 1000;
    return ZeroPadded(seconds / 3600, 2) + ':' + ZeroPadded(seconds / 60 % 60, 2) + ':'
           + ZeroPadded(seconds % 60, 2);
}

std::string SpokenDurationText(std::int64_t milliseconds)
{
    const std::int64_t seconds = std::max<std::int64_t>(0, milliseconds) / 1000;
    if (seconds >= 3600)
        return IntegerText(seconds / 3600) + " h " + IntegerText(seconds / 60 % 60) + " min";
    if (seconds >= 60)
        return IntegerText(seconds / 60) + " min " + IntegerText(seconds % 60) + " s";
    return IntegerText(seconds) + " s";
}

std::optional<double> ParseNumber(std::string_view text)
{
    const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    const std::size_t n = text.size();
    std::size_t i = 0;
    while (i < n && text[i] == ' ')
        ++i;
    const bool negative = i < n && text[i] == '-';
    if (i < n && (text[i] == '+' || text[i] == '-'))
        ++i;
    const std::size_t numberStart = i;

    bool anyDigit = false;
    bool nonzeroDigit = false;
    const auto scanDigits = [&] {
        for (; i < n && isDigit(text[i]); ++i) {
            anyDigit = true;
            nonzeroDigit = nonzeroDigit || text[i] != '0';
        }
    };
    scanDigits();
    if (i < n && text[i] == '.') {
        ++i;
        if (i == n || !(isDigit(text[i]) || text[i] == 'e' || text[i] == 'E'))
            return std::nullopt;
        scanDigits();
    }
    // A bare exponent ("e5") names no number.
    if (!anyDigit)
        return std::nullopt;
    if (i < n && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < n && (text[i] == '+' || text[i] == '-'))
            ++i;
        const std::size_t exponentStart = i;
        while (i < n && isDigit(text[i]))
            ++i;
        if (i == exponentStart)
            return std::nullopt;
    }
    if (i != n)
        return std::nullopt;

    // from_chars takes no '+': the sign was read above.
    double magnitude = 0.0;
    const char* first = text.data() + numberStart;
    const char* last = text.data() + n;
    const auto [end, ec] = std::from_chars(first, last, magnitude, std::chars_format::general);
    // Out of range either way fails: infinity, or nonzero digits that
    // underflowed to zero, is not the number that was typed.
    if (ec != std::errc{} || end != last || !std::isfinite(magnitude)
        || (magnitude == 0.0 && nonzeroDigit))
        return std::nullopt;
    return negative ? -magnitude : magnitude;
}

bool IsNonNegativeNumber(std::string_view text)
{
    const auto value = ParseNumber(text);
    return value.has_value() && *value >= 0.0;
}

} // namespace sedalyn
