#include "CaseHistory.h"
#include "PharmacokineticEngine.h"
#include "TextFormats.h"
#include "WakeUp.h"

#include <benchmark/benchmark.h>

namespace {

using namespace sedalyn;

const Patient ExamplePatient{53.0, 1.77, 77.0, [] { return std::string("Male"); }};

ModelParameters ExampleParameters()
{
    SchniderParameters s;
    BuildSchniderParameters(ExamplePatient, LbmAlgorithm::James, s);
    ModelParameters m;
    LoadModelInputs(s, 10.0, 77.0, m);
    return m;
}

void BM_ModelDerivative(benchmark::State& state)
{
    const ModelParameters m = ExampleParameters();
    const ModelDerivative derivative(m);
    ModelState x{0, 2.0, 0.5, 0.1, 1.0};
    ModelState slopes{};
    for (auto _ : state) {
        derivative(slopes, x);
        benchmark::DoNotOptimize(slopes);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_ModelDerivative);

// One model over one tick: five RK4 steps and the result rows.
void BM_RungeKuttaOneModelTick(benchmark::State& state)
{
    const ModelParameters m = ExampleParameters();
    ResultTable table{};
    IntegratorErrorCode code = 0;
    ModelState x{};
    for (auto _ : state) {
        RungeKuttaSystem(4, x, ModelDerivative(m), 0.0, TickMinutes, 5, 5, table, code);
        x = table[5];
        benchmark::DoNotOptimize(table);
    }
}
BENCHMARK(BM_RungeKuttaOneModelTick);

// The whole engine work of one 5-second tick: three builds, loads and integrations.
void BM_EngineTick(benchmark::State& state)
{
    PharmacokineticEngine engine;
    for (auto _ : state) {
        engine.AdvanceTick(ExamplePatient, 10.0);
        benchmark::DoNotOptimize(engine.HanModel.State);
    }
}
BENCHMARK(BM_EngineTick);

constexpr int TicksPerDay = 24 * 60 * TicksPerMinute;

// A 24-hour case: 17280 ticks.
void BM_EngineDay(benchmark::State& state)
{
    for (auto _ : state) {
        PharmacokineticEngine engine;
        for (int tick = 0; tick < TicksPerDay; ++tick)
            engine.AdvanceTick(ExamplePatient, 6.0);
        benchmark::DoNotOptimize(engine.JamesModel.State);
    }
}
BENCHMARK(BM_EngineDay)->Unit(benchmark::kMillisecond);

// The same day as the tick once ran it, for comparison: every model's
// parameters built afresh and RungeKuttaSystem with its checks, row plan
// and table, the state carried over from row 5.
void BM_EngineDayThroughResultTable(benchmark::State& state)
{
    for (auto _ : state) {
        std::array<ModelState, 3> states{};
        std::array<ResultTable, 3> tables{};
        for (int tick = 0; tick < TicksPerDay; ++tick) {
            std::size_t m = 0;
            for (const LbmAlgorithm algorithm : AllAlgorithms) {
                SchniderParameters schnider;
                BuildSchniderParameters(ExamplePatient, algorithm, schnider);
                ModelParameters model;
                LoadModelInputs(schnider, 6.0, ExamplePatient.PatientWeight, model);
                IntegratorErrorCode code = 0;
                RungeKuttaSystem(4, states[m], ModelDerivative(model), 0.0, TickMinutes, 5, 5,
                                 tables[m], code);
                ReportIntegratorError(code);
                ++m;
            }
            for (m = 0; m < states.size(); ++m)
                states[m] = tables[m][5];
        }
        benchmark::DoNotOptimize(states);
    }
}
BENCHMARK(BM_EngineDayThroughResultTable)->Unit(benchmark::kMillisecond);

// What the window adds to a tick: the wake-up time of the three models, with
// their parameters built afresh. Situations: 0 an hour at 10 mg/kg/hr, level
// 1; 1 a tick after a 2 mg/kg bolus, Ce still rising, level 2; 2 twelve hours
// at 12 mg/kg/hr, level 0.3 (over 13 hours away).
void BM_WakeUpThreeModels(benchmark::State& state)
{
    struct Situation {
        double minutes;
        double rate;
        double bolusMg;
        double level;
    };
    constexpr Situation situations[] = {{60, 10, 0, 1.0}, {TickMinutes, 0, 154, 2.0},
                                        {720, 12, 0, 0.3}};
    const Situation s = situations[state.range(0)];
    PharmacokineticEngine engine;
    for (int tick = 0; tick < static_cast<int>(s.minutes * TicksPerMinute + 0.5); ++tick)
        engine.AdvanceTick(ExamplePatient, s.rate, tick == 0 ? s.bolusMg : 0.0);

    for (auto _ : state)
        benchmark::DoNotOptimize(WakeUpMinutes(engine, ExamplePatient, s.level));
}
BENCHMARK(BM_WakeUpThreeModels)->DenseRange(0, 2)->Unit(benchmark::kMicrosecond);

// A day of a case's history, one record per 5-second step, as the tick
// keeps it: the cost of appending and the memory it holds.
void BM_CaseHistoryDay(benchmark::State& state)
{
    constexpr int StepsPerDay = 24 * 60 * TicksPerMinute;
    CaseRecord record;
    record.Rate = 10.0;
    std::size_t bytes = 0;
    for (auto _ : state) {
        CaseHistory history;
        for (int step = 0; step < StepsPerDay; ++step) {
            record.Minutes = step * TickMinutes;
            history.Append(record);
        }
        bytes = history.Records().capacity() * sizeof(CaseRecord);
        benchmark::DoNotOptimize(history.GivenMg(77.0));
    }
    state.counters["bytes"] = static_cast<double>(bytes);
    state.counters["records"] = StepsPerDay;
}
BENCHMARK(BM_CaseHistoryDay)->Unit(benchmark::kMillisecond);

void BM_FormatFixed(benchmark::State& state)
{
    const LocaleSettings locale;
    double value = 3.14159;
    for (auto _ : state) {
        benchmark::DoNotOptimize(FormatFixed(value, 6, 2, locale));
        value += 0.001;
    }
}
BENCHMARK(BM_FormatFixed);

void BM_ParseNumber(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(ParseNumber("  +6.50e0"));
}
BENCHMARK(BM_ParseNumber);

} // namespace
