// What the trend chart costs a tick: one record appended, the panel told,
// the view painted, in a case resumed 0 h, 1 h, a day and a week in.
// "painted" 0: the whole view rendered into an image every tick (the most a
// tick can cost); 1: the panel shown and the event loop painting what it
// finds changed, as in the program (run with QT_QPA_PLATFORM=xcb under a
// display to count a real window's painting).

#include "BodySize.h"
#include "CaseSupport.h"
#include "CaseSession.h"
#include "CaseHistory.h"
#include "PharmacokineticEngine.h"
#include "TrendPanel.h"
#include "TrendProjection.h"

#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QImage>
#include <QLineSeries>
#include <QPaintEvent>
#include <QPainter>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <ctime>
#include <numeric>
#include <string>
#include <vector>

namespace {

using namespace sedalyn;

// A case as the program would record it: the rate changed every 20 minutes
// between three settings, a bolus every two hours.
class CaseMaker {
public:
    static constexpr std::size_t BolusSteps = 1440;

    CaseRecord Next()
    {
        const std::size_t step = m_steps++;
        const double rate = step < 12 ? 30.0 : (step / 240) % 3 == 0 ? 6.0 : (step / 240) % 3 == 1 ? 4.5 : 8.0;
        const double bolus = step % BolusSteps == 0 ? 50.0 : 0.0;
        m_engine.AdvanceTick(m_patient, rate, bolus);
        return {m_engine.JamesModel.State[StateTime], rate, bolus, m_engine.Concentrations()};
    }

private:
    Patient m_patient{53.0, 1.77, 77.0, [] { return std::string(MaleCaption); }};
    PharmacokineticEngine m_engine;
    std::size_t m_steps = 0;
};

// The same case for every run, made once and as far as the runs need.
const CaseRecord& Step(std::size_t index)
{
    static CaseMaker maker;
    static std::vector<CaseRecord> made;
    while (made.size() <= index)
        made.push_back(maker.Next());
    return made[index];
}

// The case's first `hours`.
void AppendHours(CaseHistory& history, std::size_t hours)
{
    for (std::size_t i = 0; i < hours * 60 * TicksPerMinute; ++i)
        history.Append(Step(i));
}

// The panel at the window's size, laid out and painted once. Not on screen
// it is visible to itself, so it keeps its scene up to date, but is painted
// only by Render.
void Show(TrendPanel& panel, bool onScreen)
{
    if (!onScreen)
        panel.setAttribute(Qt::WA_DontShowOnScreen);
    panel.resize(560, 480);
    panel.show();
    panel.Refresh();
    QApplication::processEvents();
}

// The whole view into `image`, antialiased as the view paints itself.
void Render(const TrendPanel& panel, QImage& image)
{
    QPainter painter(&image);
    painter.setRenderHints(panel.ChartView()->renderHints());
    panel.ChartView()->render(&painter);
}

class PaintCounter : public QObject {
public:
    int paints = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        paints += event->type() == QEvent::Paint ? 1 : 0;
        return QObject::eventFilter(watched, event);
    }
};

void ChartTick(benchmark::State& state)
{
    const auto hours = static_cast<std::size_t>(state.range(0));
    const bool shown = state.range(2) != 0;
    CaseHistory history;
    AppendHours(history, hours);

    TrendPanel panel(history);
    panel.SpanChoice()->setCurrentIndex(static_cast<int>(state.range(1)));
    Show(panel, shown);
    QImage image(panel.size(), QImage::Format_ARGB32_Premultiplied);
    PaintCounter counter;
    panel.ChartView()->viewport()->installEventFilter(&counter);

    for (auto _ : state) {
        history.Append(Step(history.Size()));
        panel.Refresh();
        QApplication::processEvents();
        if (!shown)
            Render(panel, image);
    }
    state.counters["paints"] = benchmark::Counter(counter.paints, benchmark::Counter::kAvgIterations);
    state.counters["points"] = panel.Points(JamesPlasma).size();
    state.SetLabel(std::to_string(history.Size()) + " records");
}

BENCHMARK(ChartTick)
    ->ArgNames({"hours", "lastHour", "shown"})
    ->ArgsProduct({{0, 1, 24, 168}, {0}, {0, 1}})
    ->Args({24, 1, 0})
    ->Args({24, 1, 1})
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime();

// The minutes after a bolus, when the axes follow its peak: each iteration
// ticks through the 10 minutes after one of the case's boluses, then on to
// the next one untimed. The time is per 10 minutes; the counters give the
// mean, median and worst tick (CPU ms) and the whole-view repaints per bolus.
// "ahead" 1: the axis also makes room for the effect sites' next half hour,
// as the running case's look ahead asks (its lines are not drawn here).
class FullPaintCounter : public QObject {
public:
    bool counting = false;
    int paints = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (counting && event->type() == QEvent::Paint) {
            const auto* widget = static_cast<QWidget*>(watched);
            paints += QRegion(widget->rect()).subtracted(static_cast<QPaintEvent*>(event)->region()).isEmpty() ? 1 : 0;
        }
        return QObject::eventFilter(watched, event);
    }
};

double CpuMilliseconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

void ChartTickAfterBolus(benchmark::State& state)
{
    const auto hours = static_cast<std::size_t>(state.range(0));
    const std::size_t start = (hours * 60 * TicksPerMinute + CaseMaker::BolusSteps - 1) / CaseMaker::BolusSteps
        * CaseMaker::BolusSteps;
    CaseHistory history;
    while (history.Size() < start)
        history.Append(Step(history.Size()));

    TrendPanel panel(history);
    Show(panel, true);
    FullPaintCounter counter;
    panel.ChartView()->viewport()->installEventFilter(&counter);

    const bool ahead = state.range(1) != 0;
    // The look ahead holds the rate: it sees no bolus coming.
    const auto aheadPeak = [](std::size_t from) {
        const std::size_t bolus = (from + CaseMaker::BolusSteps - 1) / CaseMaker::BolusSteps * CaseMaker::BolusSteps;
        double peak = 0.0;
        for (std::size_t i = from; i < std::min<std::size_t>(from + 30 * TicksPerMinute, bolus); ++i) {
            for (std::size_t which = 1; which < ConcentrationCount; which += 2)
                peak = std::max(peak, Step(i).Concentrations[which]);
        }
        return peak;
    };

    std::vector<double> ticks;
    for (auto _ : state) {
        counter.counting = true;
        for (int i = 0; i < 10 * TicksPerMinute; ++i) {
            const double peak = ahead ? aheadPeak(history.Size() + 1) : 0.0;
            const double before = CpuMilliseconds();
            history.Append(Step(history.Size()));
            if (ahead)
                panel.SetAhead(30.0, peak);
            panel.Refresh();
            QApplication::processEvents();
            ticks.push_back(CpuMilliseconds() - before);
        }
        counter.counting = false;
        state.PauseTiming();
        while (history.Size() % CaseMaker::BolusSteps != 0)
            history.Append(Step(history.Size()));
        if (ahead)
            panel.SetAhead(30.0, aheadPeak(history.Size()));
        panel.Refresh();
        QApplication::processEvents();
        state.ResumeTiming();
    }
    std::sort(ticks.begin(), ticks.end());
    state.counters["mean_ms"] = std::accumulate(ticks.begin(), ticks.end(), 0.0) / static_cast<double>(ticks.size());
    state.counters["median_ms"] = ticks[ticks.size() / 2];
    state.counters["worst_ms"] = ticks.back();
    state.counters["full"] = benchmark::Counter(counter.paints, benchmark::Counter::kAvgIterations);
}

BENCHMARK(ChartTickAfterBolus)
    ->ArgNames({"hours", "ahead"})
    ->ArgsProduct({{2, 24, 168}, {0, 1}})
    ->Iterations(4)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime();

// One whole repaint of the view, as after the axes moved, 2 hours, a day and
// a week into a case. Its counter: the points the chart's series hold.
void ChartWholeRepaint(benchmark::State& state)
{
    const auto hours = static_cast<std::size_t>(state.range(0));
    CaseHistory history;
    AppendHours(history, hours);
    TrendPanel panel(history);
    Show(panel, false);
    QImage image(panel.ChartView()->viewport()->size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state)
        Render(panel, image);
    qsizetype points = 0;
    for (std::size_t series = 0; series < TrendSeriesCount; ++series)
        points += panel.Points(series).size();
    state.counters["points"] = static_cast<double>(points);
}

BENCHMARK(ChartWholeRepaint)->ArgName("hours")->Arg(2)->Arg(24)->Arg(168)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

// What a tick that moves the concentration axis costs, as the two after each
// bolus do: the wake-up level set high and low in turn, which fits the axis
// afresh, and the view painted. 2 hours, a day and a week into a case.
void ChartRescale(benchmark::State& state)
{
    const auto hours = static_cast<std::size_t>(state.range(0));
    CaseHistory history;
    AppendHours(history, hours);
    TrendPanel panel(history);
    Show(panel, true);
    PaintCounter counter;
    panel.ChartView()->viewport()->installEventFilter(&counter);
    bool high = false;
    for (auto _ : state) {
        high = !high;
        panel.SetWakeUpLevel(high ? 9.0 : 1.2);
        QApplication::processEvents();
    }
    state.counters["paints"] = benchmark::Counter(counter.paints, benchmark::Counter::kAvgIterations);
}

BENCHMARK(ChartRescale)->ArgName("hours")->Arg(2)->Arg(24)->Arg(168)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

// A case running at 6 mg/kg/hr on a clock the benchmark moves.
class ClockedCase {
public:
    ClockedCase()
    {
        m_session.ConfirmPatient(
            {QStringLiteral("53"), QStringLiteral("1.77"), QStringLiteral("77"), QStringLiteral("Male")});
        m_session.RateTextChanged(QStringLiteral("6"));
        m_session.Start();
    }
    ClockedCase(const ClockedCase&) = delete;
    ClockedCase& operator=(const ClockedCase&) = delete;

    // The clock at `seconds` from Start, and the steps due taken.
    void TickAt(double seconds)
    {
        m_clock.seconds = seconds;
        m_session.Tick();
    }
    double Seconds() const { return m_clock.seconds; }
    CaseSession& Session() { return m_session; }

private:
    casesupport::FakeClock m_clock;
    CaseSession m_session{LocaleSettings{}, m_clock.Clocks()};
};

// What the look ahead adds to a tick: each model's next 30 minutes at the
// rate in use and a plan's course, with ("painted" 1) or without the view
// rendered, an hour into a case on a controlled clock.
void ProjectionTick(benchmark::State& state)
{
    ClockedCase running;
    running.TickAt(3600.0);
    CaseSession& session = running.Session();
    session.MakePlan(ModelKind::James, QStringLiteral("3"), QStringLiteral("10"), 10.0);

    TrendPanel panel(session.History());
    TrendProjection projection(panel);
    Show(panel, false);
    QImage image(panel.size(), QImage::Format_ARGB32_Premultiplied);
    const bool painted = state.range(0) != 0;
    for (auto _ : state) {
        projection.Update(session);
        panel.Refresh();
        if (painted)
            Render(panel, image);
    }
}

BENCHMARK(ProjectionTick)->ArgName("painted")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond)->MeasureProcessCPUTime();

// A tick of a running case with the look ahead drawn, as the program makes
// it: the step taken, the look ahead and the chart updated, the event loop
// painting what changed. The look ahead moves on every tick, so a tick
// repaints its half hour, the wider the shorter the case.
void LookAheadTick(benchmark::State& state)
{
    ClockedCase running;
    running.TickAt(static_cast<double>(state.range(0)) * 3600.0);
    const CaseSession& session = running.Session();

    TrendPanel panel(session.History());
    TrendProjection projection(panel);
    Show(panel, true);
    PaintCounter counter;
    panel.ChartView()->viewport()->installEventFilter(&counter);
    for (auto _ : state) {
        running.TickAt(running.Seconds() + 5.0);
        projection.Update(session);
        panel.Refresh();
        QApplication::processEvents();
    }
    state.counters["paints"] = benchmark::Counter(counter.paints, benchmark::Counter::kAvgIterations);
}

BENCHMARK(LookAheadTick)->ArgName("hours")->Arg(2)->Arg(24)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
