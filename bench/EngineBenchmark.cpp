#include "CaseHistory.h"
#include "DosePlanner.h"
#include "Eleveld.h"
#include "PharmacokineticEngine.h"
#include "Projection.h"
#include "TextFormats.h"
#include "WakeUp.h"

#include <benchmark/benchmark.h>

#include <array>

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

// The floor of any day with the same bits: the extended-precision divisions
// its slopes make (six an evaluation, four evaluations a step, TickSteps
// steps a tick, three models), as independent of each other as a step
// allows, and nothing else. Only the x87 unit divides at that precision,
// and it takes several cycles for each division however they are arranged.
void BM_EngineDayDivisionsAlone(benchmark::State& state)
{
    constexpr int Chains = 6 * 3;
    constexpr long Rounds = 4L * TickSteps * TicksPerDay;
    std::array<long double, Chains> quotients{};
    for (auto _ : state) {
        for (std::size_t i = 0; i < quotients.size(); ++i)
            quotients[i] = 1.0L + static_cast<long double>(i) * 0.01L;
        long double divisor = 1.0000001L;
        benchmark::DoNotOptimize(divisor);
        for (long round = 0; round < Rounds; ++round) {
            for (long double& q : quotients)
                q /= divisor;
        }
        benchmark::DoNotOptimize(quotients);
    }
}
BENCHMARK(BM_EngineDayDivisionsAlone)->Unit(benchmark::kMillisecond);

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

// The Eleveld model's share of a tick: its parameters built and one integration.
void BM_EleveldTick(benchmark::State& state)
{
    EleveldModel model;
    model.Reset(false);
    for (auto _ : state) {
        model.AdvanceTick(ExamplePatient, 10.0);
        benchmark::DoNotOptimize(model.Slot.State);
    }
}
BENCHMARK(BM_EleveldTick);

// Its wake-up time in the three situations of the Schnider models above.
void BM_WakeUpEleveld(benchmark::State& state)
{
    constexpr double situations[][4] = {{60, 10, 0, 1.0}, {TickMinutes, 0, 154, 2.0},
                                        {720, 12, 0, 0.3}};
    const auto& s = situations[state.range(0)];
    EleveldModel model;
    model.Reset(false);
    for (int tick = 0; tick < static_cast<int>(s[0] * TicksPerMinute + 0.5); ++tick)
        model.AdvanceTick(ExamplePatient, s[1], tick == 0 ? s[2] : 0.0);

    for (auto _ : state)
        benchmark::DoNotOptimize(WakeUpMinutes(model, ExamplePatient, s[3]));
}
BENCHMARK(BM_WakeUpEleveld)->DenseRange(0, 2)->Unit(benchmark::kMicrosecond);

// What the window adds to a tick with the projection on: each of the four
// models decomposed afresh and Cp and Ce 30 minutes ahead at the rate in
// use, an hour into a case at 10 mg/kg/hr. Points: every minute, or every
// tick.
void BM_ProjectionFourModels(benchmark::State& state)
{
    PharmacokineticEngine engine;
    EleveldModel eleveld;
    eleveld.Reset(false);
    for (int tick = 0; tick < 60 * TicksPerMinute; ++tick) {
        engine.AdvanceTick(ExamplePatient, 10.0);
        eleveld.AdvanceTick(ExamplePatient, 10.0);
    }
    const std::vector<double> minutes = EvenMinutes(30.0, state.range(0) == 0 ? 1.0 : TickMinutes);
    const std::pair<ModelKind, const ModelState*> models[] = {
        {ModelKind::James, &engine.JamesModel.State},
        {ModelKind::Hume, &engine.HumeModel.State},
        {ModelKind::Janmahasatian, &engine.HanModel.State},
        {ModelKind::Eleveld, &eleveld.Slot.State}};
    for (auto _ : state)
        for (const auto& [kind, now] : models) {
            const ModelProjection projection(ExamplePatient, {kind, false});
            benchmark::DoNotOptimize(projection.ProjectHeld(*now, 10.0, minutes));
        }
    state.counters["points"] = static_cast<double>(minutes.size());
}
BENCHMARK(BM_ProjectionFourModels)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// A plan from induction to Ce 3 by 5 minutes over a 2-hour horizon, replayed
// through the ticks: James and Eleveld, steps of 5, 10 and 15 minutes.
void BM_PlanTwoHours(benchmark::State& state)
{
    PlanRequest request;
    request.Model.Kind = state.range(0) == 0 ? ModelKind::James : ModelKind::Eleveld;
    request.Target = 3.0;
    request.ReachMinutes = 5.0;
    request.StepMinutes = static_cast<double>(state.range(1));
    request.HorizonMinutes = 120.0;
    for (auto _ : state)
        benchmark::DoNotOptimize(PlanDoses(ExamplePatient, request));
}
BENCHMARK(BM_PlanTwoHours)
    ->ArgsProduct({{0, 1}, {5, 10, 15}})
    ->ArgNames({"eleveld", "step"})
    ->Unit(benchmark::kMillisecond);

// The slowest path: Ce 6 asked for in one minute, which no bolus within the
// limits reaches, so the reach time is put back until a plan keeps the
// ceiling and the hold.
void BM_PlanUnreachable(benchmark::State& state)
{
    PlanRequest request;
    request.Model.Kind = state.range(0) == 0 ? ModelKind::James : ModelKind::Eleveld;
    request.Target = 6.0;
    request.ReachMinutes = 1.0;
    for (auto _ : state)
        benchmark::DoNotOptimize(PlanDoses(ExamplePatient, request));
}
BENCHMARK(BM_PlanUnreachable)->Arg(0)->Arg(1)->ArgName("eleveld")->Unit(benchmark::kMillisecond);

// A day of records as the tick makes them: the engine's times and
// concentrations, 6 mg/kg/hr changed to 4 after 8 hours, a bolus an hour.
const std::vector<CaseRecord>& DayOfRecords()
{
    static const std::vector<CaseRecord> records = [] {
        std::vector<CaseRecord> day;
        PharmacokineticEngine engine;
        EleveldModel eleveld;
        eleveld.Reset(false);
        for (int tick = 0; tick < TicksPerDay; ++tick) {
            const double rate = tick < 8 * 60 * TicksPerMinute ? 6.0 : 4.0;
            const double bolusMg = tick % (60 * TicksPerMinute) == 0 ? 40.0 : 0.0;
            engine.AdvanceTick(ExamplePatient, rate, bolusMg);
            eleveld.AdvanceTick(ExamplePatient, rate, bolusMg);
            day.push_back({engine.JamesModel.State[StateTime], rate, bolusMg, engine.Concentrations(),
                           {eleveld.Plasma(), eleveld.EffectSite()}});
        }
        return day;
    }();
    return records;
}

// A day of a case's history appended record by record: the cost of
// appending and the memory it holds.
void BM_CaseHistoryDay(benchmark::State& state)
{
    const std::vector<CaseRecord>& day = DayOfRecords();
    std::size_t bytes = 0;
    for (auto _ : state) {
        CaseHistory history;
        for (const CaseRecord& record : day)
            history.Append(record);
        bytes = history.HeldBytes();
        benchmark::DoNotOptimize(history.GivenMg(77.0));
    }
    state.counters["bytes"] = static_cast<double>(bytes);
    state.counters["records"] = static_cast<double>(day.size());
}
BENCHMARK(BM_CaseHistoryDay)->Unit(benchmark::kMillisecond);

// The same day as the history once held it, for comparison: a vector of
// whole records that grows by doubling from an hour's worth.
void BM_CaseHistoryDayAsVector(benchmark::State& state)
{
    const std::vector<CaseRecord>& day = DayOfRecords();
    std::size_t bytes = 0;
    for (auto _ : state) {
        std::vector<CaseRecord> history;
        history.reserve(720);
        for (const CaseRecord& record : day)
            history.push_back(record);
        bytes = history.capacity() * sizeof(CaseRecord);
        benchmark::DoNotOptimize(history.back());
    }
    state.counters["bytes"] = static_cast<double>(bytes);
    state.counters["records"] = static_cast<double>(day.size());
}
BENCHMARK(BM_CaseHistoryDayAsVector)->Unit(benchmark::kMillisecond);

// Reading a day's history back in order, as a chart drawn afresh does.
void BM_CaseHistoryReadDay(benchmark::State& state)
{
    CaseHistory history;
    for (const CaseRecord& record : DayOfRecords())
        history.Append(record);
    for (auto _ : state) {
        double sum = 0.0;
        for (std::size_t i = 0; i < history.Size(); ++i)
            sum += history[i].Concentrations[JamesEffect];
        benchmark::DoNotOptimize(sum);
    }
}
BENCHMARK(BM_CaseHistoryReadDay)->Unit(benchmark::kMillisecond);

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
