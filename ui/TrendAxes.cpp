#include "TrendAxes.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double HourMinutes = 60.0;
constexpr double ShortestWholeCase = 10.0; // minutes in sight before the case is that long
// Beyond any real concentration or rate; keeps the axes finite.
constexpr double AxisCeiling = 1e6;

constexpr double StandardSteps[] = {1.0, 2.0, 2.5, 5.0};
constexpr double FinerSteps[] = {1.0, 1.2, 1.5, 2.0, 2.5, 3.0, 4.0, 5.0, 6.0, 8.0};

// Clock-like steps for the time axis, minutes.
double TimeStep(double span)
{
    constexpr double steps[] = {1, 2, 5, 10, 15, 20, 30, 60, 120, 180, 240, 360, 720};
    constexpr double mostTicks = 8.0;
    for (const double step : steps) {
        if (span / step <= mostTicks)
            return step;
    }
    return std::ceil(span / mostTicks / 720.0) * 720.0;
}

// A peak that is no number counts as none.
double Finite(double value)
{
    return std::isfinite(value) ? value : 0.0;
}

// About five round steps up to at least `top`.
ValueScale RoundScale(double top)
{
    const double step = NiceStep(top / 5.0, StandardSteps);
    const int intervals = static_cast<int>(std::ceil(top / step - 1e-9));
    return {intervals * step, intervals, step, StepDecimals(step)};
}

} // namespace

double NiceStep(double value, std::span<const double> factors)
{
    const double power = std::pow(10.0, std::floor(std::log10(value)));
    for (const double factor : factors) {
        if (factor * power >= value * (1.0 - 1e-12))
            return factor * power;
    }
    return 10.0 * power;
}

int StepDecimals(double step)
{
    int decimals = 0;
    for (double scaled = step; decimals < 3 && std::abs(scaled - std::round(scaled)) > 1e-9; scaled *= 10.0)
        ++decimals;
    return decimals;
}

TimeScale TrendTimeScale(TrendSpan span, double now)
{
    now = std::isfinite(now) ? std::max(now, 0.0) : 0.0;
    if (span == TrendSpan::LastHour) {
        // On by whole minutes: each move repaints the whole chart, and the
        // ticks in between only draw their new strip.
        constexpr double slack = 1e-9; // a time a rounding past a minute is on it
        const double to = std::max(std::ceil(now - slack), HourMinutes);
        return {to - HourMinutes, to, 10.0};
    }
    const double length = std::max(now, ShortestWholeCase);
    const double step = TimeStep(length);
    return {0.0, std::ceil(length / step) * step, step};
}

double TimeAxisFrom(const TimeScale& scale)
{
    constexpr double lead = 0.02; // of the span
    return scale.from > 0.0 ? scale.from : scale.from - lead * (scale.to - scale.from);
}

ValueScale ConcentrationScale(double peak, double wakeUpLevel)
{
    return RoundScale(std::min(std::max({Finite(peak) * 1.05, Finite(wakeUpLevel) * 1.25, 1.0}), AxisCeiling));
}

ValueScale ConcentrationScale(double peak, double wakeUpLevel, const ValueScale& shown)
{
    // Lines that need this share of the axis or less look squashed. Below
    // what a grown axis leaves them, or it would grow and shrink by turns.
    constexpr double keptDownTo = 0.6;
    const ValueScale needed = ConcentrationScale(peak, wakeUpLevel);
    if (needed.top > shown.top)
        return RoundScale(std::min(needed.top + needed.step, AxisCeiling));
    return needed.top <= shown.top * keptDownTo ? needed : shown;
}

ValueScale RateScale(double peak, int intervals)
{
    intervals = std::max(intervals, 1);
    const double top = std::min(std::max(Finite(peak) * 1.05, 1.0), AxisCeiling);
    const double step = NiceStep(top / intervals, FinerSteps);
    return {intervals * step, intervals, step, StepDecimals(step)};
}
