// The trend chart: its series after ticks, a long case drawn in bounded
// points, the axes, the tooltip, the wake-up line, the legend in grey and
// the saved chart.

#include "BodySize.h"
#include "CaseHistory.h"
#include "CaseSupport.h"
#include "CaseSession.h"
#include "ModalDriver.h"
#include "PharmacokineticEngine.h"
#include "QtTestMain.h"
#include "TrendChartView.h"
#include "Style.h"
#include "TrendPanel.h"
#include "TrendProjection.h"
#include "TrendValueAxis.h"

#include <QChart>
#include <QComboBox>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QLineSeries>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QAreaSeries>
#include <QValueAxis>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <utility>
#include <vector>

using namespace sedalyn;

namespace {

// Six distinct concentrations that rise slowly with the step.
CaseRecord Record(std::size_t index, double rate, double bolusMg = 0.0)
{
    CaseRecord record;
    record.Minutes = static_cast<double>(index + 1) / 12.0;
    record.Rate = rate;
    record.BolusMg = bolusMg;
    for (std::size_t i = 0; i < ConcentrationCount; ++i)
        record.Concentrations[i] = 1.0 + 0.5 * static_cast<double>(i) + 0.01 * static_cast<double>(index);
    return record;
}

// Ticks apart by "|", records by blanks; a record is its rate and "+mg" for a bolus.
void RunTicks(CaseHistory& history, TrendPanel& panel, const QString& plan)
{
    for (const QString& tick : plan.split(u'|')) {
        for (const QString& step : tick.split(u' ', Qt::SkipEmptyParts)) {
            const QStringList parts = step.split(u'+');
            history.Append(Record(history.Size(), parts[0].toDouble(), parts.value(1).toDouble()));
        }
        panel.Refresh();
    }
}

// The times of the full-height marks, checking each spans the plot.
QList<double> MarkTimes(const QList<QPointF>& marks)
{
    QList<double> times;
    for (qsizetype i = 0; i + 1 < marks.size(); i += 2) {
        const QPointF a = marks[i];
        const QPointF b = marks[i + 1];
        if (a.x() != b.x() || std::min(a.y(), b.y()) > 0.0 || std::max(a.y(), b.y()) < 1.0)
            return {-1.0};
        times << a.x();
    }
    return times;
}

// Pixels whose colours differ by more than a shade.
int PixelsApart(const QImage& a, const QImage& b)
{
    const QImage x = a.convertToFormat(QImage::Format_RGB32);
    const QImage y = b.convertToFormat(QImage::Format_RGB32);
    int apart = 0;
    for (int row = 0; row < x.height(); ++row) {
        for (int column = 0; column < x.width(); ++column) {
            const QRgb p = x.pixel(column, row);
            const QRgb q = y.pixel(column, row);
            const int most = std::max({std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                                       std::abs(qBlue(p) - qBlue(q))});
            apart += most > 32 ? 1 : 0;
        }
    }
    return apart;
}

// The chart as the window shows it, painted strip by strip, and a fresh
// paint of the whole view.
std::pair<QImage, QImage> ShownAndFresh(TrendPanel& panel)
{
    QWidget* const view = panel.ChartView();
    return {panel.screen()->grabWindow(panel.winId()).toImage().copy(view->geometry()), view->grab().toImage()};
}

// A `bolus` at the first step, then `rate`, as the engine predicts them for
// `patient`, for `minutes`.
void RunCase(CaseHistory& history, const Patient& patient, double bolus, double rate, double minutes)
{
    PharmacokineticEngine engine;
    for (int step = 0; step < static_cast<int>(std::lround(minutes * TicksPerMinute)); ++step) {
        engine.AdvanceTick(patient, rate, step == 0 ? bolus : 0.0);
        history.Append({engine.JamesModel.State[StateTime], rate, step == 0 ? bolus : 0.0, engine.Concentrations()});
    }
}

double Grey(const QColor& colour)
{
    return 0.299 * static_cast<double>(colour.redF()) + 0.587 * static_cast<double>(colour.greenF())
        + 0.114 * static_cast<double>(colour.blueF());
}

} // namespace

class TrendPanelTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { VERIFY_NO_STRAY_MODALS(); }

    void seriesAfterTicks_data()
    {
        QTest::addColumn<QString>("plan");
        QTest::addColumn<QList<QPointF>>("rate");
        QTest::addColumn<QList<double>>("rateChanges");
        QTest::addColumn<QList<double>>("boluses");
        const auto t = [](int steps) { return steps / 12.0; };
        QTest::newRow("steady") << "6|6|6|6|6" << QList<QPointF>{{0, 6}, {t(5), 6}} << QList<double>{}
                                << QList<double>{};
        QTest::newRow("two rate changes")
            << "6|6|10|10|4"
            << QList<QPointF>{{0, 6}, {t(2), 6}, {t(2), 10}, {t(4), 10}, {t(4), 4}, {t(5), 4}}
            << QList<double>{t(2), t(4)} << QList<double>{};
        QTest::newRow("boluses") << "6+100|6|6+20" << QList<QPointF>{{0, 6}, {t(3), 6}}
                                 << QList<double>{} << QList<double>{0.0, t(2)};
        QTest::newRow("several steps in one tick")
            << "6|6 6 8|8" << QList<QPointF>{{0, 6}, {t(3), 6}, {t(3), 8}, {t(5), 8}}
            << QList<double>{t(3)} << QList<double>{};
        QTest::newRow("bolus with a rate change")
            << "6|10+50" << QList<QPointF>{{0, 6}, {t(1), 6}, {t(1), 10}, {t(2), 10}}
            << QList<double>{t(1)} << QList<double>{t(1)};
    }

    void seriesAfterTicks()
    {
        QFETCH(QString, plan);
        QFETCH(QList<QPointF>, rate);
        QFETCH(QList<double>, rateChanges);
        QFETCH(QList<double>, boluses);
        CaseHistory history;
        TrendPanel panel(history);

        RunTicks(history, panel, plan);

        const CaseRecord& last = history.Last();
        for (std::size_t i = 0; i < ConcentrationCount; ++i) {
            const QList<QPointF>& points = panel.Points(i);
            QCOMPARE(points.size(), static_cast<qsizetype>(history.Size()) + 1);
            QCOMPARE(points.constFirst(), QPointF(0.0, 0.0));
            QCOMPARE(points.constLast(), QPointF(last.Minutes, last.Concentrations[i]));
        }
        QCOMPARE(panel.Points(TrendRateLine), rate);
        QCOMPARE(MarkTimes(panel.Points(TrendRateChangeMarks)), rateChanges);
        QCOMPARE(MarkTimes(panel.Points(TrendBolusMarks)), boluses);
    }

    void startsAfresh_data()
    {
        QTest::addColumn<bool>("reset");
        QTest::newRow("Reset") << true;
        QTest::newRow("history cleared, Refresh only") << false;
    }

    void startsAfresh()
    {
        QFETCH(bool, reset);
        CaseHistory history;
        TrendPanel panel(history);
        RunTicks(history, panel, QStringLiteral("6+50|6|8 8|8"));
        history.Clear();
        if (reset) {
            panel.Reset();
            for (std::size_t series = 0; series < TrendSeriesCount; ++series)
                QVERIFY(panel.Points(series).isEmpty());
            QCOMPARE(panel.TimeAxis()->max(), 10.0);
        }
        RunTicks(history, panel, QStringLiteral("4"));
        QCOMPARE(panel.Points(HumeEffect),
                 (QList<QPointF>{{0, 0}, {1 / 12.0, history[0].Concentrations[HumeEffect]}}));
        QCOMPARE(panel.Points(TrendRateLine), (QList<QPointF>{{0, 4}, {1 / 12.0, 4}}));
        QCOMPARE(panel.Points(TrendBolusMarks).size(), 0);
        QCOMPARE(panel.Points(TrendRateChangeMarks).size(), 0);
    }

    // A day of records: every series stays small, keeps the highest and
    // lowest values and the last record, and the ticks draw what a single
    // redraw of the whole history draws.
    void aDayStaysSmall()
    {
        CaseHistory history;
        TrendPanel panel(history);
        constexpr std::size_t day = 24 * 720;
        constexpr std::size_t peakAt = 10'007;
        for (std::size_t i = 0; i < day; ++i) {
            CaseRecord record = Record(i, i < 9000 ? 6.0 : 4.0, i == peakAt ? 40.0 : 0.0);
            for (double& value : record.Concentrations)
                value = 2.0 + std::sin(static_cast<double>(i) / 300.0) + (i == peakAt ? 7.0 : 0.0);
            history.Append(record);
            if (i % 100 == 99 || i + 1 == day)
                panel.Refresh();
        }
        TrendPanel redrawn(history);
        redrawn.Refresh();
        const auto byValue = [](QPointF a, QPointF b) { return a.y() < b.y(); };
        for (std::size_t i = 0; i < ConcentrationCount; ++i) {
            const auto which = static_cast<ConcentrationIndex>(i);
            const QList<QPointF> points = panel.Points(which);
            QVERIFY2(points.size() <= 1500, qPrintable(QString::number(points.size())));
            QCOMPARE(points.constLast(), QPointF(history.Last().Minutes, history.Last().Concentrations[i]));
            double low = HUGE_VAL;
            double high = -HUGE_VAL;
            for (std::size_t r = 0; r < history.Size(); ++r) {
                low = std::min(low, history[r].Concentrations[i]);
                high = std::max(high, history[r].Concentrations[i]);
            }
            QCOMPARE(std::max_element(points.begin(), points.end(), byValue)->y(), high);
            QCOMPARE(std::min_element(points.begin() + 1, points.end(), byValue)->y(), low);
            QCOMPARE(points, redrawn.Points(which));
        }
        QCOMPARE(panel.Points(TrendRateLine).size(), 4);
        QCOMPARE(MarkTimes(panel.Points(TrendBolusMarks)), QList<double>{history[peakAt - 1].Minutes});

        // The last hour holds what is in sight and lets go of what scrolls out.
        panel.SpanChoice()->setCurrentIndex(static_cast<int>(TrendPanel::Span::LastHour));
        for (int tick = 0; tick < 200; ++tick)
            RunTicks(history, panel, QStringLiteral("4"));
        const double now = history.Last().Minutes;
        QVERIFY(panel.TimeAxis()->max() >= now && panel.TimeAxis()->max() < now + 1.0);
        QCOMPARE(panel.TimeAxis()->min(), panel.TimeAxis()->max() - 60.0);
        const QList<QPointF> inSight = panel.Points(JamesPlasma);
        QVERIFY(inSight.size() <= 720 + 121);
        QVERIFY(inSight.constFirst().x() <= now - 60.0);
        QCOMPARE(inSight.constLast().x(), now);
    }

    void axes_data()
    {
        QTest::addColumn<int>("steps");
        QTest::addColumn<TrendPanel::Span>("span");
        QTest::addColumn<double>("from");
        QTest::addColumn<double>("to");
        QTest::addColumn<double>("concentrationAtLeast"); // above it: the axis has room
        QTest::addColumn<double>("concentrationBelow");
        const auto whole = TrendPanel::Span::WholeCase;
        const auto hour = TrendPanel::Span::LastHour;
        // The steps' highest concentration is 3.5 + 0.01 * (steps - 1) but
        // step 12 peaks at 30; the wake-up level is 1.2.
        QTest::newRow("no record") << 0 << whole << 0.0 << 10.0 << 1.5 << 3.0;
        QTest::newRow("five minutes") << 60 << whole << 0.0 << 10.0 << 30.0 << 50.0;
        QTest::newRow("25 minutes") << 300 << whole << 0.0 << 25.0 << 30.0 << 50.0;
        QTest::newRow("three hours") << 2160 << whole << 0.0 << 180.0 << 30.0 << 50.0;
        QTest::newRow("last hour, half an hour in") << 360 << hour << 0.0 << 60.0 << 30.0 << 50.0;
        QTest::newRow("last hour, the peak out of sight") << 1440 << hour << 60.0 << 120.0 << 17.9 << 30.0;
    }

    void axes()
    {
        QFETCH(int, steps);
        QFETCH(TrendPanel::Span, span);
        QFETCH(double, from);
        QFETCH(double, to);
        QFETCH(double, concentrationAtLeast);
        QFETCH(double, concentrationBelow);
        CaseHistory history;
        TrendPanel panel(history);
        panel.SpanChoice()->setCurrentIndex(static_cast<int>(span));
        for (int i = 0; i < steps; ++i) {
            CaseRecord record = Record(static_cast<std::size_t>(i), i < 12 ? 50.0 : 8.0);
            if (i == 11)
                record.Concentrations[JamesPlasma] = 30.0;
            history.Append(record);
        }
        panel.Refresh();
        // The case's start stands clear of the axis line.
        QCOMPARE(panel.TimeAxis()->min(), from > 0.0 ? from : -0.02 * (to - from));
        QCOMPARE(panel.TimeAxis()->max(), to);
        const QValueAxis* concentration = panel.ConcentrationAxis();
        QCOMPARE(concentration->min(), 0.0);
        QVERIFY2(concentration->max() >= concentrationAtLeast && concentration->max() < concentrationBelow,
                 qPrintable(QString::number(concentration->max())));
        const bool fastStepsInSight = span == TrendPanel::Span::WholeCase || steps <= 732;
        const double rateInSight = steps == 0 ? 0.0 : fastStepsInSight ? 50.0 : 8.0;
        QVERIFY(panel.RateAxis()->max() > rateInSight);
        QVERIFY(panel.RateAxis()->max() < std::max(2.0 * rateInSight, 10.0));
    }

    // A bolus peak leaves the concentration axis to the effect site; its
    // plasma peak is written at the top edge. Without a bolus every line fits.
    void effectSiteFillsThePlot_data()
    {
        QTest::addColumn<double>("age");
        QTest::addColumn<double>("height");
        QTest::addColumn<double>("weight");
        QTest::addColumn<bool>("male");
        QTest::addColumn<double>("bolusPerKg");
        QTest::addColumn<TrendPanel::Span>("span");
        struct Row {
            const char* name;
            double age, height, weight;
            bool male;
            double bolusPerKg;
        };
        const Row rows[] = {{"male 40 y 70 kg", 40, 1.70, 70, true, 2.0},
                            {"female 30 y 55 kg", 30, 1.60, 55, false, 2.0},
                            {"female 75 y 60 kg", 75, 1.65, 60, false, 2.0},
                            {"no bolus", 40, 1.70, 70, true, 0.0}};
        for (const Row& row : rows) {
            for (const auto span : {TrendPanel::Span::WholeCase, TrendPanel::Span::LastHour}) {
                const char* view = span == TrendPanel::Span::WholeCase ? "whole case" : "last hour";
                QTest::addRow("%s, %s", row.name, view)
                    << row.age << row.height << row.weight << row.male << row.bolusPerKg << span;
            }
        }
    }

    void effectSiteFillsThePlot()
    {
        QFETCH(double, age);
        QFETCH(double, height);
        QFETCH(double, weight);
        QFETCH(bool, male);
        QFETCH(double, bolusPerKg);
        QFETCH(TrendPanel::Span, span);
        const Patient patient{age, height, weight, [male] { return std::string(male ? MaleCaption : FemaleCaption); }};
        CaseHistory history;
        TrendPanel panel(history);
        panel.SetLocale(LocaleSettings{});
        panel.SpanChoice()->setCurrentIndex(static_cast<int>(span));
        RunCase(history, patient, bolusPerKg * weight, 10.0, 8.0);
        panel.Refresh();

        const QValueAxis* axis = panel.ConcentrationAxis();
        double highest[2] = {0.0, 0.0}; // plasma, effect site
        for (const CaseRecord& record : history) {
            for (std::size_t i = 0; i < ConcentrationCount; ++i)
                highest[i % 2] = std::max(highest[i % 2], record.Concentrations[i]);
        }
        for (std::size_t i = 1; i < ConcentrationCount; i += 2)
            QVERIFY(history.Last().Concentrations[i] < axis->max());
        QVERIFY(panel.WakeUpLevel() < axis->max());
        if (bolusPerKg == 0.0) {
            QVERIFY(std::max(highest[0], highest[1]) < axis->max());
            QVERIFY(panel.ClippedPeaks().empty());
            return;
        }
        const double share = (5.0 - 3.0) / (axis->max() - axis->min());
        QVERIFY2(share >= 0.4, qPrintable(QString::number(axis->max())));
        QStringList labels;
        for (const TrendEdgeLabel& label : panel.ChartView()->EdgeLabels())
            labels << label.text;
        QVERIFY2(labels.contains(QStringLiteral("Cp %1").arg(highest[0], 0, 'f', 1)), qPrintable(labels.join(u'|')));
        QCOMPARE(panel.ClippedPeaks().front().value, highest[0]);
    }

    // Each move of the concentration axis repaints the whole chart: with the
    // look ahead's room, as in a running case, the 15 minutes after a bolus
    // move it up once and down once, the effect site always under its top.
    // Its labels follow it, in the window's decimals, and the plot stays
    // where it is, which would draw every line once more.
    void bolusMovesTheAxisTwice_data()
    {
        QTest::addColumn<double>("bolusPerKg");
        QTest::addColumn<TrendPanel::Span>("span");
        QTest::addColumn<double>("rate");
        QTest::addColumn<QString>("decimalSeparator");
        QTest::newRow("1 mg/kg, whole case") << 1.0 << TrendPanel::Span::WholeCase << 8.0 << ".";
        QTest::newRow("2 mg/kg, last hour") << 2.0 << TrendPanel::Span::LastHour << 8.0 << ".";
        QTest::newRow("0.3 mg/kg at a low rate, decimal comma") << 0.3 << TrendPanel::Span::WholeCase << 2.0 << ",";
    }

    void bolusMovesTheAxisTwice()
    {
        QFETCH(double, bolusPerKg);
        QFETCH(TrendPanel::Span, span);
        QFETCH(double, rate);
        QFETCH(QString, decimalSeparator);
        const Patient patient{40, 1.70, 70, [] { return std::string(MaleCaption); }};
        constexpr std::size_t bolusAt = 40 * TicksPerMinute, ahead = 30 * TicksPerMinute;
        std::vector<CaseRecord> records;
        PharmacokineticEngine engine;
        for (std::size_t step = 0; step < bolusAt + 15 * TicksPerMinute + ahead; ++step) {
            const double bolus = step == bolusAt ? bolusPerKg * 70.0 : 0.0;
            engine.AdvanceTick(patient, rate, bolus);
            records.push_back({engine.JamesModel.State[StateTime], rate, bolus, engine.Concentrations()});
        }
        CaseHistory history;
        while (history.Size() < bolusAt)
            history.Append(records[history.Size()]);
        TrendPanel panel(history);
        LocaleSettings locale;
        locale.DecimalSeparator = decimalSeparator.toStdString();
        panel.SetLocale(locale);
        panel.SpanChoice()->setCurrentIndex(static_cast<int>(span));
        panel.resize(600, 450);
        panel.show();
        QVERIFY(QTest::qWaitForWindowExposed(&panel));
        panel.Refresh();
        QCoreApplication::processEvents();
        const QRectF plot = panel.ChartView()->chart()->plotArea();
        std::vector<double> tops{panel.ConcentrationAxis()->max()};
        while (history.Size() < bolusAt + 15 * TicksPerMinute) {
            history.Append(records[history.Size()]);
            // The look ahead's effect sites, which foresee no bolus.
            double peak = 0.0;
            for (std::size_t next = history.Size(); next < history.Size() + ahead; ++next)
                for (std::size_t i = 1; i < ConcentrationCount; i += 2)
                    peak = std::max(peak, records[next].Concentrations[i]);
            panel.SetAhead(30.0, peak);
            panel.Refresh();
            for (std::size_t i = 1; i < ConcentrationCount; i += 2)
                QVERIFY(history.Last().Concentrations[i] < panel.ConcentrationAxis()->max());
            if (panel.ConcentrationAxis()->max() != tops.back()) {
                tops.push_back(panel.ConcentrationAxis()->max());
                const QValueAxis* axis = panel.ConcentrationAxis();
                const int decimals = StepDecimals(axis->max() / (axis->tickCount() - 1));
                QStringList labels;
                for (int k = 0; k < axis->tickCount(); ++k)
                    labels << QString::number(axis->max() * k / (axis->tickCount() - 1), 'f', decimals)
                                  .replace(u'.', decimalSeparator);
                QCOMPARE(panel.ConcentrationLabels()->Labels(), labels);
                QCoreApplication::processEvents();
                QCOMPARE(panel.ChartView()->chart()->plotArea(), plot);
            }
        }
        QVERIFY2(tops.size() == 3 && tops[1] > tops[0] && tops[2] < tops[1], qPrintable(QString::number(tops.size())));
    }

    // What the chart draws of a line for a strip of the plot: the points in
    // it and one either side, so that the line enters and leaves it.
    void pointsForAStrip_data()
    {
        QTest::addColumn<QList<QPointF>>("points");
        QTest::addColumn<double>("from");
        QTest::addColumn<double>("to");
        QTest::addColumn<qsizetype>("first");
        QTest::addColumn<qsizetype>("last");
        const QList<QPointF> line{{0, 1}, {1, 2}, {2, 2}, {2, 5}, {3, 1}, {5, 0}};
        QTest::newRow("no points") << QList<QPointF>{} << 0.0 << 9.0 << qsizetype{0} << qsizetype{-1};
        QTest::newRow("all of it") << line << -1.0 << 9.0 << qsizetype{0} << qsizetype{5};
        QTest::newRow("between points") << line << 1.5 << 2.5 << qsizetype{1} << qsizetype{4};
        QTest::newRow("on points: both at one time kept") << line << 1.0 << 2.0 << qsizetype{0} << qsizetype{2};
        QTest::newRow("before the first") << line << -5.0 << -1.0 << qsizetype{0} << qsizetype{0};
        QTest::newRow("past the last") << line << 6.0 << 8.0 << qsizetype{5} << qsizetype{5};
        QTest::newRow("reversed") << line << 3.0 << 1.0 << qsizetype{0} << qsizetype{-1};
    }

    void pointsForAStrip()
    {
        QFETCH(QList<QPointF>, points);
        QFETCH(double, from);
        QFETCH(double, to);
        QFETCH(qsizetype, first);
        QFETCH(qsizetype, last);
        const TrendPointRange range = TrendPointsBetween(points, from, to);
        QCOMPARE(range.first, first);
        QCOMPARE(range.last, last);
    }

    // A dashed line's pieces, along the x axis: segments given by their ends
    // in turn, dashes given by where each begins and ends.
    void dashesRunOn_data()
    {
        QTest::addColumn<QList<double>>("ends");
        QTest::addColumn<QList<double>>("pattern");
        QTest::addColumn<double>("phase");
        QTest::addColumn<QList<QPointF>>("dashes");
        const QList<double> dashGap{4, 2};
        QTest::newRow("one segment") << QList<double>{0, 20} << dashGap << 0.0
                                     << QList<QPointF>{{0, 4}, {6, 10}, {12, 16}, {18, 20}};
        QTest::newRow("across segments") << QList<double>{0, 3, 10} << dashGap << 0.0
                                         << QList<QPointF>{{0, 3}, {3, 4}, {6, 10}};
        QTest::newRow("begun in a gap") << QList<double>{0, 12} << dashGap << 5.0
                                        << QList<QPointF>{{1, 5}, {7, 11}};
        QTest::newRow("begun periods on") << QList<double>{0, 12} << dashGap << 17.0
                                          << QList<QPointF>{{1, 5}, {7, 11}};
        QTest::newRow("an empty segment") << QList<double>{0, 2, 2, 5} << dashGap << 0.0
                                          << QList<QPointF>{{0, 2}, {2, 4}};
        QTest::newRow("dash-dot") << QList<double>{0, 10} << QList<double>{4, 2, 1, 2} << 0.0
                                  << QList<QPointF>{{0, 4}, {6, 7}, {9, 10}};
        QTest::newRow("no pattern") << QList<double>{0, 3, 7} << QList<double>{} << 0.0
                                    << QList<QPointF>{{0, 3}, {3, 7}};
    }

    void dashesRunOn()
    {
        QFETCH(QList<double>, ends);
        QFETCH(QList<double>, pattern);
        QFETCH(double, phase);
        QFETCH(QList<QPointF>, dashes);
        std::vector<QLineF> segments;
        for (qsizetype i = 1; i < ends.size(); ++i)
            segments.emplace_back(ends[i - 1], 0.0, ends[i], 0.0);
        std::vector<QLineF> drawn;
        TrendDashes(segments, std::vector<double>(pattern.begin(), pattern.end()), phase, drawn);
        QList<QPointF> spans;
        for (const QLineF& dash : drawn)
            spans << QPointF(dash.x1(), dash.x2());
        QCOMPARE(spans, dashes);
    }

    // The vertices a line is drawn by, in pixels.
    void lineDrawnByItsCorners_data()
    {
        QTest::addColumn<QList<QPointF>>("line");
        QTest::addColumn<QList<qsizetype>>("kept");
        QList<QPointF> straight;
        QList<QPointF> longStraight;
        QList<QPointF> fineWiggle;
        QList<QPointF> wiggle;
        for (int i = 0; i < 10; ++i) {
            straight << QPointF(i, 2.0 * i);
            fineWiggle << QPointF(i, i % 2 * 0.05);
            wiggle << QPointF(i, i % 2 * 0.5);
        }
        for (int i = 0; i < 150; ++i)
            longStraight << QPointF(i * 0.5, 3.0);
        QTest::newRow("none") << QList<QPointF>{} << QList<qsizetype>{};
        QTest::newRow("one point") << QList<QPointF>{{3, 4}} << QList<qsizetype>{0};
        QTest::newRow("straight") << straight << QList<qsizetype>{0, 9};
        QTest::newRow("a corner") << QList<QPointF>{{0, 0}, {1, 0}, {2, 0}, {3, 3}, {4, 6}} << QList<qsizetype>{0, 2, 4};
        QTest::newRow("wiggling within a tenth") << fineWiggle << QList<qsizetype>{0, 9};
        QTest::newRow("wiggling beyond it") << wiggle << QList<qsizetype>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
        QTest::newRow("two points at one time") << QList<QPointF>{{0, 0}, {1, 0}, {1, 5}, {2, 5}}
                                                << QList<qsizetype>{0, 1, 2, 3};
        QTest::newRow("a vertex every 64 points") << longStraight << QList<qsizetype>{0, 64, 128, 149};
    }

    void lineDrawnByItsCorners()
    {
        QFETCH(QList<QPointF>, line);
        QFETCH(QList<qsizetype>, kept);
        std::vector<qsizetype> vertices;
        TrendSimplify(line, TrendLineTolerance, vertices);
        QCOMPARE(QList<qsizetype>(vertices.begin(), vertices.end()), kept);
    }

    // However a line bends, the drawn one passes within the tolerance of
    // every point, and a strip drawn alone from the start of a run has the
    // whole line's vertices.
    void lineDrawnNearItsPoints_data()
    {
        QTest::addColumn<int>("shape");
        QTest::newRow("a bolus's decay") << 0;
        QTest::newRow("a week's zig-zag") << 1;
        QTest::newRow("a slow wave") << 2;
    }

    void lineDrawnNearItsPoints()
    {
        QFETCH(int, shape);
        std::vector<QPointF> line;
        for (int i = 0; i < 500; ++i) {
            const double x = i * 0.9 + (i % 3) * 0.2;
            const double y = shape == 0   ? 250.0 - 200.0 * std::exp(-x / 40.0)
                             : shape == 1 ? 100.0 + (i % 2 ? 1.0 : -1.0) * (i % 7) * 9.0
                                          : 150.0 + 80.0 * std::sin(x / 60.0);
            line.emplace_back(x, y);
        }
        std::vector<qsizetype> kept;
        TrendSimplify(line, TrendLineTolerance, kept);
        QCOMPARE(kept.back(), qsizetype{499});
        for (std::size_t k = 1; k < kept.size(); ++k) {
            const QPointF a = line[static_cast<std::size_t>(kept[k - 1])];
            const QPointF b = line[static_cast<std::size_t>(kept[k])];
            for (qsizetype i = kept[k - 1] + 1; i < kept[k]; ++i) {
                const QPointF p = line[static_cast<std::size_t>(i)];
                const double drawn = a.y() + (b.y() - a.y()) * (p.x() - a.x()) / (b.x() - a.x());
                QVERIFY2(std::abs(drawn - p.y()) <= TrendLineTolerance + 1e-9, qPrintable(QString::number(i)));
            }
        }
        for (const qsizetype start : {qsizetype{64}, qsizetype{320}}) {
            std::vector<qsizetype> alone;
            TrendSimplify(std::span(line).subspan(static_cast<std::size_t>(start)), TrendLineTolerance, alone);
            std::vector<qsizetype> whole;
            for (const qsizetype index : kept)
                if (index >= start)
                    whole.push_back(index - start);
            QCOMPARE(alone, whole);
        }
    }

    // Marks and the rate at time 0 are drawn clear of the axis line.
    void startInSight_data()
    {
        QTest::addColumn<TrendPanel::Span>("span");
        QTest::newRow("whole case") << TrendPanel::Span::WholeCase;
        QTest::newRow("last hour") << TrendPanel::Span::LastHour;
    }

    void startInSight()
    {
        QFETCH(TrendPanel::Span, span);
        CaseHistory history;
        TrendPanel panel(history);
        panel.SpanChoice()->setCurrentIndex(static_cast<int>(span));
        panel.resize(600, 450);
        panel.show();
        QVERIFY(QTest::qWaitForWindowExposed(&panel));
        RunTicks(history, panel, QStringLiteral("6+50|6|8"));
        QCOMPARE(MarkTimes(panel.Points(TrendBolusMarks)), QList<double>{0.0});
        QChart* chart = panel.ChartView()->chart();
        const qreal mark = panel.PositionOf(QPointF(0.0, 0.5)).x();
        QVERIFY2(mark >= chart->plotArea().left() + 3.0, qPrintable(QString::number(mark - chart->plotArea().left())));
        QChart* lane = panel.ChartView()->Lane();
        QCOMPARE(panel.Points(TrendRateLine).constFirst(), QPointF(0.0, 6.0));
        const qreal rate = panel.RateLine()->PositionOf(QPointF(0.0, 6.0)).x();
        QVERIFY(rate >= lane->plotArea().left() + 3.0);
        // The lane lines up under the plot.
        QVERIFY(std::abs(lane->plotArea().left() - chart->plotArea().left()) < 1.0);
        QVERIFY(std::abs(lane->plotArea().right() - chart->plotArea().right()) < 1.0);
    }

    // A tick repaints only the strip it changed: what the window shows then
    // is what a whole new picture shows.
    void windowShowsTheLatest_data()
    {
        QTest::addColumn<TrendPanel::Span>("span");
        QTest::addColumn<int>("before"); // records already there when shown
        QTest::addColumn<QString>("plan");
        QTest::addColumn<double>("wakeUpLevel"); // set at the end
        const auto whole = TrendPanel::Span::WholeCase;
        QTest::newRow("steady") << whole << 0 << "6|6|6|6|6|6" << 1.2;
        QTest::newRow("rate changes and a bolus") << whole << 12 << "6|8|8+40|8|4 4|4" << 1.2;
        QTest::newRow("past the time axis") << whole << 118 << "6|6|6|6|6|6" << 1.2;
        QTest::newRow("the axis grows, its labels wider") << whole << 400 << "6 6 6 6 6 6 6 6 6 6 6 6 6 6 6|6|6" << 1.2;
        QTest::newRow("wake-up level moved") << whole << 0 << "6|6|6" << 2.0;
        QTest::newRow("last hour scrolling") << TrendPanel::Span::LastHour << 900 << "6|6|8|8+20|8" << 1.2;
    }

    void windowShowsTheLatest()
    {
        QFETCH(TrendPanel::Span, span);
        QFETCH(int, before);
        QFETCH(QString, plan);
        QFETCH(double, wakeUpLevel);
        CaseHistory history;
        for (int i = 0; i < before; ++i)
            history.Append(Record(history.Size(), 6.0));
        TrendPanel panel(history);
        panel.SpanChoice()->setCurrentIndex(static_cast<int>(span));
        panel.resize(600, 450);
        panel.show();
        QVERIFY(QTest::qWaitForWindowExposed(&panel));
        panel.Refresh();
        QTest::qWait(20);
        for (const QString& tick : plan.split(u'|')) {
            RunTicks(history, panel, tick);
            QCoreApplication::processEvents();
        }
        if (wakeUpLevel != panel.WakeUpLevel()) {
            QTest::qWait(20);
            panel.SetWakeUpLevel(wakeUpLevel);
        }
        QTest::qWait(20);
        const auto [shown, fresh] = ShownAndFresh(panel);
        QCOMPARE(shown.size(), fresh.size());
        // Dashes drawn within a strip may round their edges a shade apart;
        // a line missing or left behind differs by far more.
        const int apart = PixelsApart(shown, fresh);
        QVERIFY2(apart <= 12, qPrintable(QString::number(apart)));
    }

    // The look ahead moves on with every tick: the strip a tick repaints
    // takes in where it was as well as where it is, whatever the rate does.
    void lookAheadRepaintedWithTheTick_data()
    {
        QTest::addColumn<QString>("plan"); // a minute of case each: the rate confirmed, or "+mg" a bolus
        QTest::newRow("steady") << "6|6|6|6";
        QTest::newRow("rate raised") << "6|12|12|12";
        QTest::newRow("rate stopped") << "6|0|0|0";
        QTest::newRow("bolus") << "6|+40|6|6";
    }

    void lookAheadRepaintedWithTheTick()
    {
        QFETCH(QString, plan);
        casesupport::FakeClock clock;
        sedalyn::CaseSession session(sedalyn::LocaleSettings{}, clock.Clocks());
        session.ConfirmPatient({QStringLiteral("53"), QStringLiteral("1.77"), QStringLiteral("77"), QStringLiteral("Male")});
        session.RateTextChanged(QStringLiteral("6"));
        session.Start();
        clock.seconds = 1200.0;
        session.Tick();
        TrendPanel panel(session.History());
        TrendProjection ahead(panel);
        panel.resize(600, 450);
        panel.show();
        QVERIFY(QTest::qWaitForWindowExposed(&panel));
        ahead.Update(session);
        panel.Refresh();
        QTest::qWait(20);
        for (const QString& step : plan.split(u'|')) {
            if (step.startsWith(u'+')) {
                session.GiveBolus(step.mid(1));
            } else {
                session.RateTextChanged(step);
                session.ConfirmRate();
            }
            clock.seconds += 60.0;
            session.Tick();
            ahead.Update(session);
            panel.Refresh();
            QCoreApplication::processEvents();
        }
        QTest::qWait(20);
        const auto [shown, fresh] = ShownAndFresh(panel);
        QCOMPARE(shown.size(), fresh.size());
        const int apart = PixelsApart(shown, fresh);
        QVERIFY2(apart <= 12, qPrintable(QString::number(apart)));
    }

    // A case read back without Eleveld's values draws neither its lines nor its key.
    void eleveldOnlyWhereKnown_data()
    {
        QTest::addColumn<bool>("shown");
        QTest::newRow("replayed") << true;
        QTest::newRow("not known") << false;
    }

    void eleveldOnlyWhereKnown()
    {
        QFETCH(bool, shown);
        CaseHistory history;
        TrendPanel panel(history);
        panel.SetEleveldShown(shown);
        panel.resize(600, 450);
        panel.show();
        QVERIFY(QTest::qWaitForWindowExposed(&panel));
        for (std::size_t i = 0; i < 120; ++i) {
            CaseRecord record = Record(i, 6.0);
            record.Eleveld = {2.0, 1.5};
            history.Append(record);
        }
        panel.Refresh();
        const QImage image = panel.ChartView()->grab().toImage().convertToFormat(QImage::Format_RGB32);
        int eleveld = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QColor c = image.pixelColor(x, y);
                const QColor e = style::EleveldColour;
                eleveld += std::abs(c.red() - e.red()) + std::abs(c.green() - e.green()) + std::abs(c.blue() - e.blue()) < 30;
            }
        }
        QVERIFY2(shown ? eleveld > 200 : eleveld == 0, qPrintable(QString::number(eleveld)));
    }

    void toolTipText_data()
    {
        QTest::addColumn<CaseRecord>("record");
        QTest::addColumn<QString>("decimalSeparator");
        QTest::addColumn<QString>("text");
        CaseRecord plain;
        plain.Minutes = 12.5;
        plain.Rate = 6;
        plain.Concentrations = {3.214, 2.987, 3.1, 2.9, 3.456, 3.15};
        plain.Eleveld = {4.126, 3.5};
        CaseRecord bolus = plain;
        bolus.Minutes = 125.0 + 1.0 / 12.0;
        bolus.Rate = 6.5;
        bolus.BolusMg = 40;
        CaseRecord drifted = plain;
        drifted.Minutes = 0.9999999;
        const QString body = QStringLiteral(
            "Plasma / effect site (mcg/ml)\nJames  3.21 / 2.99\nHume  3.10 / 2.90\nJanmahasatian  3.46 / 3.15\n"
            "Eleveld  4.13 / 3.50");
        QTest::newRow("plain") << plain << "." << QStringLiteral("Case time 00:12:30\nRate 6 mg/kg/hr\n") + body;
        QTest::newRow("bolus, past two hours")
            << bolus << "." << QStringLiteral("Case time 02:05:05\nRate 6.5 mg/kg/hr, bolus 40 mg\n") + body;
        QTest::newRow("rounded to the second")
            << drifted << "." << QStringLiteral("Case time 00:01:00\nRate 6 mg/kg/hr\n") + body;
        QTest::newRow("decimal comma")
            << bolus << ","
            << QStringLiteral("Case time 02:05:05\nRate 6,5 mg/kg/hr, bolus 40 mg\nPlasma / effect site (mcg/ml)\n"
                              "James  3,21 / 2,99\nHume  3,10 / 2,90\nJanmahasatian  3,46 / 3,15\nEleveld  4,13 / 3,50");
    }

    void toolTipText()
    {
        QFETCH(CaseRecord, record);
        QFETCH(QString, decimalSeparator);
        QFETCH(QString, text);
        LocaleSettings locale;
        locale.DecimalSeparator = decimalSeparator.toStdString();
        QCOMPARE(TrendToolTipText(record, locale), text);
    }

    void toolTipUnderThePointer()
    {
        CaseHistory history;
        TrendPanel panel(history);
        panel.SetLocale(LocaleSettings{});
        panel.resize(600, 450);
        panel.show();
        QVERIFY(QTest::qWaitForWindowExposed(&panel));
        const auto at = [&](double minutes, double mcgPerMl) {
            QChart* chart = panel.ChartView()->chart();
            const QPointF inChart = panel.PositionOf(QPointF(minutes, mcgPerMl));
            return panel.ChartView()->mapFromScene(chart->mapToScene(inChart));
        };
        QVERIFY(panel.ToolTipAt(at(1.0, 1.0)).isEmpty()); // nothing drawn yet

        RunTicks(history, panel, QStringLiteral("6 6 6 6 6 6 6 6 6 6 6 6 6 6 6 6 6 6 6 6 6 6 6 6"));
        // Between two records, the nearer one; past the last, the last.
        QVERIFY(panel.ToolTipAt(at(1.0 + 1.0 / 48.0, 1.0)).startsWith(QStringLiteral("Case time 00:01:00\n")));
        QVERIFY(panel.ToolTipAt(at(1.0 - 1.0 / 48.0, 1.0)).startsWith(QStringLiteral("Case time 00:01:00\n")));
        QVERIFY(panel.ToolTipAt(at(5.0, 1.0)).startsWith(QStringLiteral("Case time 00:02:00\n")));
        QVERIFY(panel.ToolTipAt(at(1.0, -1.0)).startsWith(QStringLiteral("Case time 00:01:00\n"))); // in the lane
        QVERIFY(panel.ToolTipAt(at(-1.0, 1.0)).isEmpty()); // left of the plot
        QVERIFY(panel.ToolTipAt(QPoint(1, 1)).isEmpty());
    }

    void wakeUpLevel_data()
    {
        QTest::addColumn<double>("asked");
        QTest::addColumn<double>("level");
        QTest::newRow("2.5") << 2.5 << 2.5;
        QTest::newRow("zero") << 0.0 << 0.0;
        QTest::newRow("negative: ignored") << -1.0 << 1.2;
        QTest::newRow("NaN: ignored") << std::nan("") << 1.2;
        QTest::newRow("infinite: ignored") << HUGE_VAL << 1.2;
    }

    void wakeUpLevel()
    {
        QFETCH(double, asked);
        QFETCH(double, level);
        CaseHistory history;
        TrendPanel panel(history);
        panel.SetWakeUpLevel(asked);
        QCOMPARE(panel.WakeUpLevel(), level);
        const QList<QPointF> line = panel.WakeUpLine()->points();
        QCOMPARE(line, (QList<QPointF>{{0.0, level}, {1.0, level}}));
        QVERIFY(panel.ConcentrationAxis()->max() > level);
    }

    // Told apart on a grey-scale print: by line style, by shape, by grey or
    // by width.
    void legendInGrey()
    {
        CaseHistory history;
        TrendPanel panel(history);
        const std::vector<TrendLegendEntry>& legend = panel.ChartView()->Legend();
        QCOMPARE(legend.at(0).text, QStringLiteral("James"));
        QCOMPARE(legend.at(1).text, QStringLiteral("Hume"));
        QCOMPARE(legend.at(2).text, QStringLiteral("Janmahasatian"));
        for (std::size_t a = 0; a < legend.size(); ++a) {
            for (std::size_t b = a + 1; b < legend.size(); ++b) {
                const QPen& pa = legend[a].pen;
                const QPen& pb = legend[b].pen;
                const bool apart = pa.style() != pb.style() || legend[a].upright != legend[b].upright
                    || std::abs(Grey(pa.color()) - Grey(pb.color())) >= 0.15
                    || std::max(pa.widthF(), pb.widthF()) >= 1.5 * std::min(pa.widthF(), pb.widthF());
                QVERIFY2(apart, qPrintable(legend[a].text + QStringLiteral(" / ") + legend[b].text));
            }
        }
    }

    void saveChart_data()
    {
        QTest::addColumn<QString>("typed"); // empty: the dialog is cancelled
        QTest::addColumn<QString>("saved"); // empty: nothing may be written
        QTest::addColumn<QByteArray>("starts");
        const QByteArray png("\x89PNG");
        QTest::newRow("png") << "trend.png" << "trend.png" << png;
        QTest::newRow("no suffix") << "trend" << "trend.png" << png;
        QTest::newRow("pdf") << "trend.PDF" << "trend.PDF" << QByteArray("%PDF-");
        // No file can be made there, not even by root.
        QTest::newRow("unwritable folder") << "/sys/sedalyn-trend.png" << QString() << QByteArray();
        QTest::newRow("cancelled") << QString() << QString() << QByteArray();
    }

    void saveChart()
    {
        QFETCH(QString, typed);
        QFETCH(QString, saved);
        QFETCH(QByteArray, starts);
        QTemporaryDir folder;
        CaseHistory history;
        TrendPanel panel(history);
        panel.resize(640, 480);
        panel.show();
        QVERIFY(QTest::qWaitForWindowExposed(&panel));
        RunTicks(history, panel, QStringLiteral("6+50|6|8"));

        ModalDriver driver;
        QString title;
        driver.AnswerWith([&](QWidget* modal) {
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            title = dialog->windowTitle();
            if (typed.isEmpty())
                return dialog->reject();
            const QString path = QDir::isAbsolutePath(typed) ? typed : folder.filePath(typed);
            dialog->selectFile(path);
            dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(path);
            static_cast<QDialog*>(dialog)->accept();
        });
        const bool refused = saved.isEmpty() && !typed.isEmpty();
        if (refused)
            driver.AnswerBox(QMessageBox::Ok);
        QTest::mouseClick(panel.SaveButton(), Qt::LeftButton);
        QTRY_COMPARE(driver.Pending(), 0u);
        QCOMPARE(title, QStringLiteral("Save chart as"));
        QCOMPARE(driver.SeenBoxes().size(), refused ? 1u : 0u);

        if (saved.isEmpty()) {
            if (refused)
                QVERIFY(driver.SeenBoxes().front().text.contains(QStringLiteral("could not be saved")));
            QCOMPARE(QDir(folder.path()).entryList(QDir::Files), QStringList());
            return;
        }
        QFile file(folder.filePath(saved));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.read(starts.size()), starts);
        if (starts.startsWith("\x89PNG"))
            QCOMPARE(QImage(file.fileName()).size(), panel.ChartView()->size());
    }
};

SEDALYN_TEST_CLASS(TrendPanelTest)

#include "TrendPanelTest.moc"
