#pragma once
// The trend chart's scales: the time in sight for a span, and value axes
// with round steps that leave room above the highest line. Plain numbers,
// so they can be checked without a chart.

#include <span>

enum class TrendSpan { WholeCase, LastHour }; // the span choice's items, in order

struct TimeScale {
    double from = 0.0; // minutes
    double to = 0.0;
    double step = 0.0; // between labelled ticks
};

struct ValueScale {
    double top = 0.0; // the axis runs from 0
    int intervals = 0;
    double step = 0.0;
    int decimals = 0; // enough for every multiple of step
    friend bool operator==(const ValueScale&, const ValueScale&) = default;
};

// The case time shown for `span` when the newest record is at `now`; the
// last hour ends at the next whole minute.
TimeScale TrendTimeScale(TrendSpan span, double now);
// Where the time axis begins: a little before the case's start when that is
// in sight, so that a mark at time 0 stands clear of the axis line.
double TimeAxisFrom(const TimeScale& scale);

// Room above the highest concentration in sight and the wake-up level.
ValueScale ConcentrationScale(double peak, double wakeUpLevel);
// The same for an axis that shows `shown` already. Each change repaints the
// whole chart, so a rising line takes the axis a step past what it needs,
// and a falling one brings it down only once the lines need 60 % of it or
// less: the minutes after a bolus move it up once and down once.
ValueScale ConcentrationScale(double peak, double wakeUpLevel, const ValueScale& shown);
// Room above the highest rate in sight, in as many intervals as the
// concentration axis, so one grid serves both.
ValueScale RateScale(double peak, int intervals);

// The smallest of `factors` times a power of ten that is at least `value` (> 0).
double NiceStep(double value, std::span<const double> factors);
// Decimals enough to write every multiple of `step` (at most 3).
int StepDecimals(double step);
