#pragma once
// Classical fourth-order Runge-Kutta integration of up to four equations in
// fixed steps, returning evenly spread intermediate states.

#include "CompartmentModel.h"

#include <array>
#include <concepts>
#include <cstdint>
#include <string>

namespace sedalyn {

inline constexpr std::size_t ResultTableRows = 13;
using ResultTable = std::array<ModelState, ResultTableRows>;

// 0 success; 1 to 4 from the argument checks; 5 is reported but never produced.
using IntegratorErrorCode = std::uint8_t;

// Writes dy/dt for indices 1..NumEquations of its first argument from the
// state in its second; may leave index 0 alone.
template <class F>
concept DerivativeFunction = std::invocable<F&, ModelState&, const ModelState&>;

namespace detail {

using RowStates = std::array<std::int32_t, ResultTableRows>;

// Which saved state each result row takes. The saved states form a stack with
// the newest on top; for each row, from the last down to 0, states are popped
// while the row's fraction of the range is not beyond the fraction one step
// below the popped state. Row r ends up with state ceil(r * intervals / results).
inline void PlanResultRows(std::int32_t numResults, std::int32_t numIntervals, RowStates& rowState)
{
    std::int32_t top = numIntervals;
    for (std::int32_t r = numResults; r >= 0; --r) {
        std::int32_t j = top--;
        while (!(static_cast<long double>(r) / numResults
                 > static_cast<long double>(j - 1) / numIntervals)
               && j > 0)
            j = top--;
        rowState[static_cast<std::size_t>(r)] = j;
    }
}

using Wide = long double;

// The step width: the range divided by the number of steps, rounded once.
constexpr double StepWidth(double lowerLimit, double upperLimit, std::int32_t numIntervals)
{
    return static_cast<double>((Wide{upperLimit} - lowerLimit) / numIntervals);
}

// The working vectors of one integration, carried over from step to step:
// the entries beyond the equations are read as they are, so an integration
// of fewer than four equations starts them at zero. Left unset otherwise.
struct RungeKuttaWork {
    ModelState t;
    ModelState k1;
    ModelState k2;
    ModelState k3;
    ModelState k4;
};

// One classical step of width h, in place, for equations 1..n of each of N
// independent systems. They go through every stage side by side, so that
// their arithmetic overlaps; each one's is exactly that of a step on its own.
template <std::size_t N, DerivativeFunction Derivative>
inline void RungeKuttaStep(const std::array<ModelState*, N>& xs, std::array<RungeKuttaWork, N>& ws,
                           const std::array<Derivative*, N>& derivatives, std::size_t n, double h)
{
    constexpr Wide OneSixth = 0.16666666666666666667L;
    const double half = h * 0.5;
    const auto increments = [&](std::size_t m, ModelState& k, const ModelState& v) {
        (*derivatives[m])(k, v);
        for (std::size_t i = 1; i <= n; ++i)
            k[i] = static_cast<double>(Wide{k[i]} * h);
    };
    for (std::size_t m = 0; m < N; ++m)
        increments(m, ws[m].k1, *xs[m]);
    for (std::size_t m = 0; m < N; ++m) {
        const ModelState& x = *xs[m];
        RungeKuttaWork& w = ws[m];
        w.t[0] = static_cast<double>(Wide{x[0]} + half);
        for (std::size_t i = 1; i <= n; ++i)
            w.t[i] = static_cast<double>(x[i] + 0.5L * w.k1[i]);
    }
    for (std::size_t m = 0; m < N; ++m)
        increments(m, ws[m].k2, ws[m].t);
    for (std::size_t m = 0; m < N; ++m) {
        const ModelState& x = *xs[m];
        RungeKuttaWork& w = ws[m];
        for (std::size_t i = 1; i <= n; ++i)
            w.t[i] = static_cast<double>(x[i] + 0.5L * w.k2[i]);
    }
    for (std::size_t m = 0; m < N; ++m)
        increments(m, ws[m].k3, ws[m].t);
    for (std::size_t m = 0; m < N; ++m) {
        const ModelState& x = *xs[m];
        RungeKuttaWork& w = ws[m];
        w.t[0] = static_cast<double>(Wide{x[0]} + h);
        for (std::size_t i = 1; i <= n; ++i)
            w.t[i] = static_cast<double>(Wide{x[i]} + w.k3[i]);
    }
    for (std::size_t m = 0; m < N; ++m)
        increments(m, ws[m].k4, ws[m].t);
    for (std::size_t m = 0; m < N; ++m) {
        ModelState& x = *xs[m];
        const RungeKuttaWork& w = ws[m];
        x[0] = static_cast<double>(Wide{x[0]} + h);
        for (std::size_t i = 1; i <= n; ++i)
            x[i] = static_cast<double>(
                x[i] + (((2.0L * w.k2[i] + w.k1[i]) + 2.0L * w.k3[i]) + w.k4[i]) * OneSixth);
    }
}

} // namespace detail

// Integrates from InitialValues (its index 0 is the starting time; the limits
// only fix the step and the range check) in NumIntervals steps and fills rows
// 0..NumResults of Results. On a failed check only ErrorCode is written.
template <DerivativeFunction Derivative>
void RungeKuttaSystem(std::int32_t NumEquations, ModelState InitialValues, Derivative&& derivative,
                      double LowerLimit, double UpperLimit, std::int32_t NumResults,
                      std::int32_t NumIntervals, ResultTable& Results,
                      IntegratorErrorCode& ErrorCode)
{
    // The last failing check decides. A results count beyond the table is
    // refused with the results code rather than written past its end.
    ErrorCode = 0;
    if (NumResults < 1 || NumResults >= static_cast<std::int32_t>(Results.size()))
        ErrorCode = 1;
    if (NumResults > NumIntervals)
        ErrorCode = 2;
    if (NumEquations < 1 || NumEquations > 4)
        ErrorCode = 3;
    if (LowerLimit == UpperLimit)
        ErrorCode = 4;
    if (ErrorCode != 0)
        return;

    detail::RowStates rowState{};
    detail::PlanResultRows(NumResults, NumIntervals, rowState);

    const double h = detail::StepWidth(LowerLimit, UpperLimit, NumIntervals);
    const auto n = static_cast<std::size_t>(NumEquations);
    ModelState x = InitialValues;
    std::array<detail::RungeKuttaWork, 1> work{};
    const std::array derivatives{&derivative};

    std::int32_t nextRow = 0;
    const auto saveRowsOf = [&](std::int32_t state) {
        while (nextRow <= NumResults && rowState[static_cast<std::size_t>(nextRow)] == state)
            Results[static_cast<std::size_t>(nextRow++)] = x;
    };
    saveRowsOf(0);

    for (std::int32_t step = 1; step <= NumIntervals; ++step) {
        detail::RungeKuttaStep(std::array{&x}, work, derivatives, n, h);
        saveRowsOf(step);
    }
}

// The message for an integrator code; empty for the codes that show nothing.
std::string IntegratorErrorText(IntegratorErrorCode code);

// Whether a code ends the program.
bool IntegratorErrorIsFatal(IntegratorErrorCode code);

// How the program shows an integrator message; stderr until one is installed.
using IntegratorMessageSink = void (*)(const std::string& text);
void SetIntegratorMessageSink(IntegratorMessageSink sink);

// Shows the message of a fatal code and ends the process with status 1.
void ReportIntegratorError(IntegratorErrorCode code);

} // namespace sedalyn
