// The trend chart's points and scales without a chart: the builder followed
// through whole cases, its changes replayed onto a copy as the view does,
// and the axes' ranges.

#include "CaseHistory.h"
#include "PharmacokineticEngine.h"
#include "QtTestMain.h"
#include "TrendAxes.h"
#include "TrendSeries.h"

#include <QTest>

#include <algorithm>
#include <array>
#include <cmath>

using namespace sedalyn;

namespace {

// Three rates in turn, every `changeEvery` records; every `bolusEvery`
// records a bolus and a one-record spike in all six concentrations.
struct CasePlan {
    int changeEvery = 240;
    int bolusEvery = 0;
};

CaseRecord Planned(std::size_t i, const CasePlan& plan)
{
    CaseRecord record;
    record.Minutes = static_cast<double>(i + 1) / TicksPerMinute;
    record.Rate = 4.0 + 2.0 * static_cast<double>((i / static_cast<std::size_t>(plan.changeEvery)) % 3);
    const bool bolus = plan.bolusEvery > 0 && i % static_cast<std::size_t>(plan.bolusEvery) == 7;
    record.BolusMg = bolus ? 50.0 : 0.0;
    for (std::size_t c = 0; c < ConcentrationCount; ++c) {
        record.Concentrations[c] = 2.0 + std::sin(static_cast<double>(i) / 300.0 + static_cast<double>(c))
            + (bolus ? 5.0 + static_cast<double>(c) : 0.0);
    }
    return record;
}

double StepStart(const CaseHistory& history, std::size_t i)
{
    return i == 0 ? 0.0 : history[i - 1].Minutes;
}

// Whether a series is drawn as before left of where the update says it
// changed, which is all the view repaints: its points there and the one
// after them, but for a level run, which may grow.
bool SameLeftOf(double changedFrom, std::size_t series, const QList<QPointF>& before, const QList<QPointF>& after)
{
    qsizetype kept = 0;
    while (kept < before.size() && before[kept].x() < changedFrom)
        ++kept;
    if (after.mid(0, kept) != before.mid(0, kept))
        return false;
    if (series >= TrendRateChangeMarks || kept == 0 || kept >= before.size() || kept >= after.size()
        || after[kept] == before[kept])
        return true;
    const double level = after[kept - 1].y();
    return before[kept].y() == level && after[kept].y() == level;
}

QList<double> MarkTimes(const QList<QPointF>& marks, double from)
{
    QList<double> times;
    for (qsizetype i = 0; i + 1 < marks.size(); i += 2) {
        if (marks[i].x() >= from)
            times << marks[i].x();
    }
    return times;
}

// The rate of the step ending at `minutes`: that of the step line's last
// corner before it.
double RateAt(const QList<QPointF>& line, double minutes)
{
    const auto after = std::lower_bound(line.cbegin(), line.cend(), minutes,
                                        [](QPointF p, double t) { return p.x() < t; });
    return after == line.cbegin() ? std::nan("") : std::prev(after)->y();
}

} // namespace

class TrendSeriesTest : public QObject {
    Q_OBJECT

private slots:
    void followsTheCase_data()
    {
        QTest::addColumn<TrendSpan>("span");
        QTest::addColumn<int>("columns");
        QTest::addColumn<int>("records");
        QTest::addColumn<int>("first"); // records before the first update
        QTest::addColumn<int>("every"); // records between updates after it
        QTest::addColumn<int>("changeEvery");
        QTest::addColumn<int>("bolusEvery");
        const auto whole = TrendSpan::WholeCase;
        const auto hour = TrendSpan::LastHour;
        QTest::newRow("first five minutes, tick by tick") << whole << 600 << 60 << 0 << 1 << 24 << 30;
        QTest::newRow("a day, tick by tick") << whole << 470 << 17280 << 0 << 1 << 240 << 1440;
        QTest::newRow("a day in bursts") << whole << 470 << 17280 << 1 << 97 << 240 << 1440;
        QTest::newRow("a week resumed, then ticks") << whole << 470 << 121000 << 120960 << 1 << 1440 << 2880;
        QTest::newRow("narrow plot, a day") << whole << 120 << 17280 << 0 << 1 << 240 << 1440;
        QTest::newRow("rate changes closer than a bucket") << whole << 470 << 8640 << 0 << 5 << 3 << 0;
        QTest::newRow("last hour, three hours tick by tick") << hour << 470 << 2160 << 0 << 1 << 240 << 700;
        QTest::newRow("last hour, a day in bursts") << hour << 470 << 17280 << 3000 << 500 << 240 << 1440;
        QTest::newRow("last hour, narrow plot") << hour << 150 << 2160 << 0 << 1 << 240 << 700;
    }

    void followsTheCase()
    {
        QFETCH(TrendSpan, span);
        QFETCH(int, columns);
        QFETCH(int, records);
        QFETCH(int, first);
        QFETCH(int, every);
        QFETCH(int, changeEvery);
        QFETCH(int, bolusEvery);
        const CasePlan planned{changeEvery, bolusEvery};

        CaseHistory history;
        TrendSeriesBuilder builder(history);
        builder.SetSpan(span);
        builder.SetColumns(columns);
        std::array<QList<QPointF>, TrendSeriesCount> shown;
        int rebuilds = 0;
        int repaintedFromTheLeft = 0;
        for (int next = 0; next < records;) {
            const int step = next == 0 && first > 0 ? first : every;
            for (const int end = std::min(next + step, records); next < end; ++next)
                history.Append(Planned(static_cast<std::size_t>(next), planned));
            const TrendUpdate update = builder.Update();
            rebuilds += update.rebuilt ? 1 : 0;
            repaintedFromTheLeft += !update.rebuilt && update.changedFrom == -HUGE_VAL ? 1 : 0;
            // A tick touches only the newest bucket's points and the segment into them.
            const QList<QPointF>& james = shown[JamesPlasma];
            if (!update.rebuilt && step == 1 && span == TrendSpan::WholeCase && james.size() > 4)
                QVERIFY(update.changedFrom >= james[james.size() - 4].x());
            for (std::size_t s = 0; s < TrendSeriesCount; ++s) {
                const QList<QPointF>& points = builder.Points(s);
                if (!update.rebuilt && !SameLeftOf(update.changedFrom, s, shown[s], points))
                    QFAIL(qPrintable(QStringLiteral("series %1 after record %2 changed left of %3")
                                         .arg(s).arg(next).arg(update.changedFrom)));
                if (points.size() > builder.MostPoints(s))
                    QFAIL(qPrintable(QStringLiteral("series %1: %2 points").arg(s).arg(points.size())));
                shown[s] = points;
            }
        }
        // Letting go of what scrolled out repaints the whole last hour, but seldom.
        QVERIFY2(repaintedFromTheLeft <= records / 60, qPrintable(QString::number(repaintedFromTheLeft)));
        // Drawn anew only as the case outgrows its buckets.
        QVERIFY2(rebuilds <= 16, qPrintable(QString::number(rebuilds)));

        const CaseRecord last = history.Last();
        const double from = TrendTimeScale(span, last.Minutes).from;
        const double bucketMinutes = static_cast<double>(builder.BucketSteps()) / TicksPerMinute;
        double peak = 0.0;
        double peakNear = 0.0; // including the bucket astride the left edge
        QList<double> boluses;
        QList<double> changes;
        for (std::size_t i = 0; i < history.Size(); ++i) {
            const CaseRecord record = history[i];
            const double top = *std::max_element(record.Concentrations.begin(), record.Concentrations.end());
            if (record.Minutes >= from - bucketMinutes)
                peakNear = std::max(peakNear, top);
            if (record.Minutes < from)
                continue;
            peak = std::max(peak, top);
            const double start = StepStart(history, i);
            if (record.BolusMg > 0.0 && start >= from)
                boluses << start;
            if (i > 0 && history[i - 1].Rate != record.Rate && start >= from)
                changes << start;
            // Every spike stays, however many records share its column.
            if (record.BolusMg > 0.0 && !builder.Points(JamesPlasma).contains(QPointF(record.Minutes, record.Concentrations[JamesPlasma])))
                QFAIL(qPrintable(QStringLiteral("spike at %1 lost").arg(record.Minutes)));
            // The step line gives each record's rate where no two changes share a bucket.
            if (record.Minutes > from && builder.BucketSteps() < changeEvery && RateAt(builder.Points(TrendRateLine), record.Minutes) != record.Rate)
                QFAIL(qPrintable(QStringLiteral("rate at %1").arg(record.Minutes)));
        }
        // Drawn from left to right.
        for (std::size_t s = 0; s < TrendSeriesCount; ++s) {
            const QList<QPointF>& points = builder.Points(s);
            QVERIFY(std::is_sorted(points.cbegin(), points.cend(), [](QPointF a, QPointF b) { return a.x() < b.x(); }));
        }
        QVERIFY(builder.Peaks().concentration >= peak && builder.Peaks().concentration <= peakNear);
        QCOMPARE(builder.Points(HanEffect).constLast(), QPointF(last.Minutes, last.Concentrations[HanEffect]));
        QCOMPARE(builder.Points(TrendRateLine).constLast(), QPointF(last.Minutes, last.Rate));
        QCOMPARE(MarkTimes(builder.Points(TrendBolusMarks), from), boluses);
        const QList<double> marks = MarkTimes(builder.Points(TrendRateChangeMarks), from);
        if (builder.BucketSteps() < changeEvery)
            QCOMPARE(marks, changes);
        else
            QVERIFY(!marks.isEmpty() && std::all_of(marks.cbegin(), marks.cend(), [&](double t) { return changes.contains(t); }));

        if (span == TrendSpan::WholeCase) {
            // Built in one go from the history: the same points.
            TrendSeriesBuilder fresh(history);
            fresh.SetColumns(columns);
            fresh.Update();
            for (std::size_t s = 0; s < TrendSeriesCount; ++s)
                QCOMPARE(builder.Points(s), fresh.Points(s));
            QCOMPARE(builder.Points(JamesPlasma).constFirst(), QPointF(0.0, 0.0));
        } else {
            // Entered from the left edge; what scrolled further out is let go of.
            for (std::size_t s = 0; s < ConcentrationCount; ++s) {
                const double firstX = builder.Points(s).constFirst().x();
                QVERIFY2(firstX <= from && firstX >= from - 10.0 - 2 * bucketMinutes, qPrintable(QString::number(firstX)));
            }
        }
    }

    void timeScale_data()
    {
        QTest::addColumn<TrendSpan>("span");
        QTest::addColumn<double>("now");
        QTest::addColumn<double>("from");
        QTest::addColumn<double>("to");
        QTest::addColumn<double>("step");
        const auto whole = TrendSpan::WholeCase;
        const auto hour = TrendSpan::LastHour;
        QTest::newRow("no record") << whole << 0.0 << 0.0 << 10.0 << 2.0;
        QTest::newRow("25 minutes") << whole << 25.0 << 0.0 << 25.0 << 5.0;
        QTest::newRow("just past an hour") << whole << 60.5 << 0.0 << 70.0 << 10.0;
        QTest::newRow("three hours") << whole << 180.0 << 0.0 << 180.0 << 30.0;
        QTest::newRow("a week: whole days") << whole << 10080.0 << 0.0 << 10080.0 << 1440.0;
        QTest::newRow("no number") << whole << std::nan("") << 0.0 << 10.0 << 2.0;
        QTest::newRow("last hour, half an hour in") << hour << 30.0 << 0.0 << 60.0 << 10.0;
        QTest::newRow("last hour, two hours in") << hour << 125.0 << 65.0 << 125.0 << 10.0;
        QTest::newRow("last hour, between minutes") << hour << 125.25 << 66.0 << 126.0 << 10.0;
    }

    void timeScale()
    {
        QFETCH(TrendSpan, span);
        QFETCH(double, now);
        QFETCH(double, from);
        QFETCH(double, to);
        QFETCH(double, step);
        const TimeScale scale = TrendTimeScale(span, now);
        QCOMPARE(scale.from, from);
        QCOMPARE(scale.to, to);
        QCOMPARE(scale.step, step);
    }

    void valueScales_data()
    {
        QTest::addColumn<double>("peak");
        QTest::addColumn<double>("wakeUpLevel");
        QTest::addColumn<double>("peakRate");
        QTest::addColumn<double>("top");
        QTest::addColumn<int>("intervals");
        QTest::addColumn<int>("decimals");
        QTest::addColumn<double>("rateTop");
        QTest::addColumn<int>("rateDecimals");
        // Room above the peak (5 %) or the wake-up level (25 %), in steps of 1, 2, 2.5 or 5.
        QTest::newRow("nothing yet") << 0.0 << 1.2 << 0.0 << 1.5 << 3 << 1 << 1.2 << 1;
        QTest::newRow("a usual case") << 3.5 << 1.2 << 8.0 << 4.0 << 4 << 0 << 10.0 << 1;
        QTest::newRow("the wake-up level above") << 3.0 << 10.0 << 6.0 << 12.5 << 5 << 1 << 7.5 << 1;
        QTest::newRow("a bolus peak") << 30.0 << 1.2 << 50.0 << 40.0 << 4 << 0 << 60.0 << 0;
        QTest::newRow("small numbers") << 0.3 << 0.1 << 0.5 << 1.0 << 5 << 1 << 1.0 << 1;
        QTest::newRow("beyond any real value") << 1e12 << 1.2 << 1e12 << 1e6 << 5 << 0 << 1e6 << 0;
        QTest::newRow("no numbers") << std::nan("") << std::nan("") << HUGE_VAL << 1.0 << 5 << 1 << 1.0 << 1;
    }

    void valueScales()
    {
        QFETCH(double, peak);
        QFETCH(double, wakeUpLevel);
        QFETCH(double, peakRate);
        QFETCH(double, top);
        QFETCH(int, intervals);
        QFETCH(int, decimals);
        QFETCH(double, rateTop);
        QFETCH(int, rateDecimals);
        const ValueScale concentration = ConcentrationScale(peak, wakeUpLevel);
        QCOMPARE(concentration.top, top);
        QCOMPARE(concentration.intervals, intervals);
        QCOMPARE(concentration.decimals, decimals);
        const ValueScale rate = RateScale(peakRate, intervals);
        QCOMPARE(rate.top, rateTop);
        QCOMPARE(rate.intervals, intervals);
        QCOMPARE(rate.decimals, rateDecimals);
    }
};

SEDALYN_TEST_CLASS(TrendSeriesTest)

#include "TrendSeriesTest.moc"
