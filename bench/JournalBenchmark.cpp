// What the case journal costs: the tick formats a record and hands it to the
// writer; the worker pays the atomic write on the disk.

#include "CaseJournal.h"
#include "JournalFile.h"
#include "PharmacokineticEngine.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

using namespace sedalyn;

constexpr std::int64_t SavedUtcMs = 1'714'561'200'000;

// An hour into a case with a data file, a rate change given but not yet taken.
CaseJournal TypicalJournal()
{
    const Patient patient{53.0, 1.77, 77.0, [] { return std::string("Male"); }};
    PharmacokineticEngine engine;
    for (int tick = 0; tick < 60 * TicksPerMinute; ++tick)
        engine.AdvanceTick(patient, tick < TicksPerMinute ? 30.0 : 6.0);
    CaseJournal j;
    j.Gender = "Male";
    j.Age = 53.0;
    j.Height = 1.77;
    j.Weight = 77.0;
    j.StartUtcMs = SavedUtcMs - 3'600'000;
    j.SavedUtcMs = SavedUtcMs;
    j.StepsTaken = 720;
    j.Models = {engine.JamesModel.State, engine.HumeModel.State, engine.HanModel.State};
    j.RateInUse = 6.0;
    j.ConfirmedRate = 5.5;
    j.RateText = "5.5";
    j.Pending = {{3'602'300, PendingInput::Kind::Rate, 5.5}};
    j.DataFilePath = "/home/anaesthetist/Documents/Sedalyn/2024-05-01 theatre 3.csv";
    j.DataFileBytes = 9'874;
    j.LogTickCount = 2;
    j.GivenRateMgPerKg = 11.0;
    j.GivenBolusMg = 0.0;
    return j;
}

void BM_FormatJournal(benchmark::State& state)
{
    const CaseJournal journal = TypicalJournal();
    std::size_t bytes = 0;
    for (auto _ : state) {
        const std::string text = FormatJournal(journal);
        bytes = text.size();
        benchmark::DoNotOptimize(text.data());
    }
    state.counters["journal_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_FormatJournal);

void BM_ParseJournal(benchmark::State& state)
{
    const std::string text = FormatJournal(TypicalJournal());
    for (auto _ : state)
        benchmark::DoNotOptimize(ParseJournal(text, SavedUtcMs));
}
BENCHMARK(BM_ParseJournal);

// The hand-over of a ready text (a copy of it, some 50 ns, included),
// while the worker writes beside it.
void BM_JournalSubmit(benchmark::State& state)
{
    QTemporaryDir folder;
    const std::string text = FormatJournal(TypicalJournal());
    JournalWriter writer(folder.path());
    for (auto _ : state)
        writer.Submit(text);
    writer.Flush();
}
BENCHMARK(BM_JournalSubmit);

// All the tick pays: the record formatted and handed over.
void BM_JournalTick(benchmark::State& state)
{
    QTemporaryDir folder;
    const CaseJournal journal = TypicalJournal();
    JournalWriter writer(folder.path());
    for (auto _ : state)
        writer.Submit(FormatJournal(journal));
    writer.Flush();
}
BENCHMARK(BM_JournalTick);

// What the worker pays per journal on this disk: temporary file, fsync,
// rename, fsync of the folder.
void BM_JournalAtomicWrite(benchmark::State& state)
{
    QTemporaryDir folder;
    const std::string text = FormatJournal(TypicalJournal());
    for (auto _ : state) {
        const std::string problem = WriteJournalFile(folder.path(), text);
        if (!problem.empty())
            state.SkipWithError(problem.c_str());
    }
}
BENCHMARK(BM_JournalAtomicWrite)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
