#include "Simulator.h"

#include <benchmark/benchmark.h>

#include <ostream>
#include <streambuf>

namespace {

using namespace sedalyn::sim;

// Swallows the table: these benchmarks time the ticks.
class NullBuffer : public std::streambuf {
protected:
    int overflow(int c) override { return c; }
    std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

// Thirty days of model time for the example patient at 6 mg/kg/hr, a row an
// hour, with the rate changed every `minutesApart` minutes (never for 0).
Options MonthCase(long minutesApart, Stepping method)
{
    Options options;
    options.Gender = "Male";
    options.Age = 53;
    options.Height = 1.77;
    options.Weight = 77;
    options.Minutes = 30 * 24 * 60;
    options.Every = 60 * 12;
    options.Method = method;
    options.Rates = {{0.0, 6.0}};
    for (long minute = minutesApart; minutesApart > 0 && minute < options.Minutes; minute += minutesApart)
        options.Rates.emplace(static_cast<double>(minute), static_cast<double>(3 + minute / minutesApart % 7));
    return options;
}

// The run costs the same with a rate change every 10 minutes (4319 of
// them) as at a constant rate; exact against rk4.
void BM_SimulateMonth(benchmark::State& state)
{
    const Options options =
        MonthCase(state.range(0), state.range(1) != 0 ? Stepping::Exact : Stepping::RungeKutta4);
    NullBuffer buffer;
    std::ostream out(&buffer);
    for (auto _ : state)
        RunSimulation(options, out);
    state.counters["rates"] = static_cast<double>(options.Rates.size());
}
BENCHMARK(BM_SimulateMonth)
    ->ArgsProduct({{0, 10}, {0, 1}})
    ->ArgNames({"apart", "exact"})
    ->Unit(benchmark::kMillisecond);

} // namespace
