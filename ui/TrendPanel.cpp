#include "TrendPanel.h"

#include "BodySize.h"
#include "MessageBoxes.h"
#include "PharmacokineticEngine.h"
#include "SaveDialog.h"
#include "Style.h"
#include "SystemLocale.h"
#include "TrendExport.h"
#include "TrendValueAxis.h"

#include <QChart>
#include <QComboBox>
#include <QFontMetricsF>
#include <QGraphicsLayout>
#include <QGraphicsScene>
#include <QHBoxLayout>
#include <QLabel>
#include <QLegend>
#include <QLineSeries>
#include <QPushButton>
#include <QVBoxLayout>
#include <QValueAxis>

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

using namespace sedalyn;

namespace {

struct ModelStyle {
    LbmAlgorithm model;
    ConcentrationIndex plasma;
    ConcentrationIndex effect;

    QString Name() const { return QString::fromLatin1(AlgorithmName(model)); }
    QColor Colour() const { return style::ModelColour(model); }
};

const ModelStyle Models[] = {
    {LbmAlgorithm::James, JamesPlasma, JamesEffect},
    {LbmAlgorithm::Hume, HumePlasma, HumeEffect},
    {LbmAlgorithm::Janmahasatian, HanPlasma, HanEffect},
};

using style::BolusColour;
using style::GridColour;
using style::RateChangeColour;
using style::RateColour;
using style::RateFillColour;
using style::WakeUpColour;

constexpr double LineWidth = 2.0;
// The rate lane is short: a grid line at half its height is enough.
constexpr int RateIntervals = 2;
// Its grey lies between James's and Hume's: on a grey print the width tells it.
constexpr double EleveldLineWidth = 3.0;
// Qt Charts' series lie at this depth; the marks are drawn behind them and
// the case's lines in front, with the wake-up level and the look ahead between.
constexpr qreal SeriesDepth = 4.0;
// The marks' lines, in the order they are added.
enum MarkLine : std::size_t { RateChangeMarkLine, BolusMarkLine };

QPen Pen(const QColor& colour, double width, Qt::PenStyle style = Qt::SolidLine)
{
    QPen pen(colour, width, style);
    pen.setCapStyle(Qt::FlatCap);
    pen.setJoinStyle(Qt::RoundJoin);
    return pen;
}

// As Qt Charts draws its grid.
QPen GridPen()
{
    return QPen(GridColour, 1.0);
}

// The axes format their numbers with a Qt locale: one with the window's
// decimal separator and no thousands separators.
QLocale AxisLocale(const LocaleSettings& settings)
{
    QLocale locale = settings.DecimalSeparator == "," ? QLocale(QLocale::German) : QLocale::c();
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale;
}

// As the case's other times are written: hours, minutes and seconds.
QString CaseTimeOf(double minutes)
{
    if (!(minutes >= 0.0 && minutes < 1e9))
        return QStringLiteral("--:--:--");
    return QString::fromStdString(CaseTimeText(std::llround(minutes * 60'000.0)));
}

QValueAxis* MakeAxis(const char* name, const QString& title)
{
    auto* axis = new QValueAxis;
    axis->setObjectName(QLatin1String(name));
    axis->setTitleText(title);
    axis->setTitleFont(style::ChartFont());
    axis->setLabelsFont(style::ChartFont());
    axis->setLabelsColor(Qt::black);
    axis->setTitleBrush(Qt::black);
    // The plots' items draw the grid: Qt Charts' grid lines work out their
    // stroked shape on every repaint of the view, ticks' strips included.
    axis->setGridLineVisible(false);
    return axis;
}

QValueAxis* MakeTimeAxis(const char* name)
{
    QValueAxis* axis = MakeAxis(name, QStringLiteral("Case time (min)"));
    axis->setTickType(QValueAxis::TicksDynamic);
    axis->setTickAnchor(0.0);
    axis->setLabelFormat(QStringLiteral("%.0f"));
    return axis;
}

// An axis from 0 to 1 that is never shown: the lines drawn against it span
// the plot whatever the visible axes' ranges.
QValueAxis* MakeUnitAxis(const char* name)
{
    auto* axis = new QValueAxis;
    axis->setObjectName(QLatin1String(name));
    axis->setRange(0.0, 1.0);
    axis->setVisible(false);
    return axis;
}

// Drawn in place of `axis`, as it would draw itself.
TrendValueAxis* MakeValueAxis(const QValueAxis* axis, QChart* chart)
{
    auto* labels = new TrendValueAxis(axis->titleText(), axis->labelsFont(), chart);
    labels->SetPen(axis->linePen());
    return labels;
}

QLineSeries* MakeSeries(const QString& name, const QString& legend, const QPen& pen)
{
    auto* series = new QLineSeries;
    series->setObjectName(name);
    series->setName(legend);
    series->setPen(pen);
    return series;
}

} // namespace

QString TrendToolTipText(const CaseRecord& record, const LocaleSettings& locale, bool eleveld)
{
    const auto fixed = [&locale](double value) {
        return QString::fromStdString(FormatFixed(value, 6, 2, locale));
    };
    const auto general = [&locale](double value) {
        return QString::fromStdString(FormatGeneral(value, 6, locale));
    };
    QString rate = QStringLiteral("Rate %1 mg/kg/hr").arg(general(record.Rate));
    if (record.BolusMg > 0.0)
        rate += QStringLiteral(", bolus %1 mg").arg(general(record.BolusMg));
    QStringList lines{QStringLiteral("Case time %1").arg(CaseTimeOf(record.Minutes)), rate,
                      QStringLiteral("Plasma / effect site (mcg/ml)")};
    for (const ModelStyle& model : Models) {
        lines << QStringLiteral("%1  %2 / %3")
                     .arg(model.Name(), fixed(record.Concentrations[model.plasma]),
                          fixed(record.Concentrations[model.effect]));
    }
    if (eleveld)
        lines << QStringLiteral("Eleveld  %1 / %2").arg(fixed(record.Eleveld[0]), fixed(record.Eleveld[1]));
    return lines.join(QLatin1Char('\n'));
}

TrendPanel::TrendPanel(const CaseHistory& history, QWidget* parent)
    : QWidget(parent), m_history(history), m_builder(history), m_locale(SystemLocaleSettings())
{
    setObjectName(QStringLiteral("TrendPanel"));
    setMinimumSize(520, 400);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);

    CreateChart();
    m_view = new TrendChartView(m_chart, this);
    m_view->setObjectName(QStringLiteral("TrendChartView"));
    m_view->setRenderHint(QPainter::Antialiasing);
    m_view->setFrameShape(QFrame::NoFrame);
    m_view->setBackgroundBrush(Qt::white);
    m_view->ToolTip = [this](QPoint at) { return ToolTipAt(at); };
    // A tick repaints only the strip it changed (see Draw); Qt Charts would
    // repaint every line whenever one of them gains a point.
    m_view->setViewportUpdateMode(QGraphicsView::NoViewportUpdate);
    m_view->scene()->setItemIndexMethod(QGraphicsScene::NoIndex);
    CreateLane();
    CreateLegend();
    // Queued: the plot's width is known inside the chart's layout, which
    // redrawing the series must not re-enter.
    connect(
        m_chart, &QChart::plotAreaChanged, this,
        [this] {
            // As it is now: the plot may have moved on since the signal.
            const QRectF plot = m_chart->plotArea();
            m_builder.SetColumns(static_cast<int>(plot.width()));
            Draw(m_builder.Update());
            if (plot != m_paintedPlot) {
                m_paintedPlot = plot;
                m_view->viewport()->update();
            }
        },
        Qt::QueuedConnection);

    m_span = new QComboBox(this);
    m_span->setObjectName(QStringLiteral("TrendSpan"));
    m_span->addItem(QStringLiteral("Whole case"));
    m_span->addItem(QStringLiteral("Last hour"));
    connect(m_span, &QComboBox::currentIndexChanged, this, [this](int index) {
        m_builder.SetSpan(index == static_cast<int>(Span::LastHour) ? Span::LastHour : Span::WholeCase);
        m_fitScales = true;
        Draw(m_builder.Update());
    });

    m_save = new QPushButton(QStringLiteral("Save chart\u2026"), this);
    m_save->setObjectName(QStringLiteral("SaveChartButton"));
    m_save->setAutoDefault(false);
    connect(m_save, &QPushButton::clicked, this,
            [this] {
                RunReportingErrors([this] {
                    SaveTrendChart(*m_view, TitleBlock ? TitleBlock() : QStringList(), *m_saveDialog, this);
                });
            });

    m_saveDialog = new TSaveDialog(this);
    m_saveDialog->setObjectName(QStringLiteral("SaveChartDialog"));
    m_saveDialog->Title = QStringLiteral("Save chart as");
    m_saveDialog->DefaultExt = QStringLiteral("png");

    auto* spanLabel = new QLabel(QStringLiteral("Show"), this);
    spanLabel->setBuddy(m_span);
    auto* controls = new QHBoxLayout;
    controls->setContentsMargins(4, 0, 4, 4);
    controls->addWidget(spanLabel);
    controls->addWidget(m_span);
    controls->addStretch(1);
    controls->addWidget(m_save);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addWidget(m_view, 1);
    layout->addLayout(controls);

    UpdateWakeUpLine();
    Draw(m_builder.Update());
}

QChart* TrendPanel::MakeChart(const QString& name) const
{
    auto* chart = new QChart;
    chart->setObjectName(name);
    chart->setAnimationOptions(QChart::NoAnimation);
    // The view paints the white behind the chart, and only where it repaints;
    // the chart's own background would fill all of it every time.
    chart->setBackgroundVisible(false);
    chart->layout()->setContentsMargins(0, 0, 0, 0);
    chart->setLocalizeNumbers(true);
    chart->setLocale(AxisLocale(m_locale));
    chart->legend()->hide();
    return chart;
}

void TrendPanel::CreateChart()
{
    m_chart = MakeChart(QStringLiteral("TrendChart"));

    // The lane under the plot writes the times for both. Hidden: Qt Charts
    // would lay its labels out afresh, shown or not, whenever the
    // concentration axis moves.
    m_timeAxis = MakeTimeAxis("TimeAxis");
    m_timeAxis->setVisible(false);
    m_concentrationAxis = MakeAxis("ConcentrationAxis", QStringLiteral("Concentration (mcg/ml)"));
    m_concentrationAxis->setVisible(false); // drawn by m_concentrationLabels
    QValueAxis* const wakeUpAxis = MakeUnitAxis("WakeUpAxis");
    m_chart->addAxis(m_timeAxis, Qt::AlignBottom);
    m_chart->addAxis(wakeUpAxis, Qt::AlignBottom);
    m_chart->addAxis(m_concentrationAxis, Qt::AlignLeft);
    m_concentrationLabels = MakeValueAxis(m_concentrationAxis, m_chart);

    // From the back of the picture to the front.
    m_marks = new TrendLines(m_timeAxis, m_concentrationAxis, m_chart);
    m_marks->setZValue(SeriesDepth - 0.5);
    m_marks->SetGrid(GridPen());
    // In MarkLine's order.
    m_marks->Add(&m_builder.Points(TrendRateChangeMarks), Pen(RateChangeColour, 1.0), TrendLines::Kind::Marks);
    m_marks->Add(&m_builder.Points(TrendBolusMarks), Pen(BolusColour, 1.5, Qt::DashDotLine), TrendLines::Kind::Marks);
    m_wakeUp = MakeSeries(QStringLiteral("WakeUpLine"), QStringLiteral("Wake-up level"),
                          Pen(WakeUpColour, LineWidth, Qt::DotLine));
    m_chart->addSeries(m_wakeUp);
    m_wakeUp->attachAxis(wakeUpAxis);
    m_wakeUp->attachAxis(m_concentrationAxis);
    m_lines = new TrendLines(m_timeAxis, m_concentrationAxis, m_chart);
    m_lines->setZValue(SeriesDepth + 0.5);
    const auto add = [this](std::size_t index, const QPen& pen) {
        m_lineOf[index] = m_lines->Add(&m_builder.Points(index), pen);
    };
    for (const ModelStyle& model : Models) {
        add(model.effect, Pen(model.Colour(), LineWidth, Qt::DashLine));
        add(model.plasma, Pen(model.Colour(), LineWidth));
    }
    add(TrendEleveldEffect, Pen(style::EleveldColour, EleveldLineWidth, Qt::DashLine));
    add(TrendEleveldPlasma, Pen(style::EleveldColour, EleveldLineWidth));
    connect(m_chart, &QChart::plotAreaChanged, this, [this](const QRectF& plot) {
        m_marks->SetPlot(plot);
        m_lines->SetPlot(plot);
        m_concentrationLabels->SetPlot(plot);
    });
}

void TrendPanel::CreateLane()
{
    m_lane = MakeChart(QStringLiteral("RateLane"));
    m_laneTimeAxis = MakeTimeAxis("LaneTimeAxis");
    m_rateAxis = MakeAxis("RateAxis", QString());
    m_rateAxis->setVisible(false); // drawn by m_rateLabels
    m_lane->addAxis(m_laneTimeAxis, Qt::AlignBottom);
    m_lane->addAxis(m_rateAxis, Qt::AlignLeft);
    m_rateLabels = MakeValueAxis(m_rateAxis, m_lane);

    // A filled step graph: no concentration is drawn so.
    m_rate = new TrendLines(m_laneTimeAxis, m_rateAxis, m_lane);
    m_rate->setZValue(SeriesDepth);
    m_rate->SetGrid(GridPen());
    const QPen pen = Pen(RateColour, 1.0);
    m_rate->Add(&m_builder.Points(TrendRateLine), pen, TrendLines::Kind::Area, RateFillColour);
    connect(m_lane, &QChart::plotAreaChanged, this, [this](const QRectF& plot) {
        m_rate->SetPlot(plot);
        m_rateLabels->SetPlot(plot);
    });
    m_view->SetLane(m_lane, {{QStringLiteral("Rate (mg/kg/hr)"), pen, false, RateFillColour}});
    connect(
        m_lane, &QChart::plotAreaChanged, this,
        [this] {
            if (m_lane->plotArea() != m_paintedLanePlot) {
                m_paintedLanePlot = m_lane->plotArea();
                m_view->viewport()->update();
            }
        },
        Qt::QueuedConnection);
}

void TrendPanel::CreateLegend()
{
    // Each model once by its colour; plasma and effect site by their line.
    std::vector<TrendLegendEntry> legend;
    for (const ModelStyle& model : Models)
        legend.push_back({model.Name(), m_lines->Pen(m_lineOf[model.plasma])});
    if (m_eleveldShown)
        legend.push_back({m_opioid ? QStringLiteral("Eleveld, with opioid") : QStringLiteral("Eleveld, no opioid"),
                          m_lines->Pen(m_lineOf[TrendEleveldPlasma])});
    legend.push_back({QStringLiteral("Plasma"), Pen(Qt::black, LineWidth)});
    legend.push_back({QStringLiteral("Effect site"), Pen(Qt::black, LineWidth, Qt::DashLine)});
    legend.push_back({m_wakeUp->name(), m_wakeUp->pen()});
    legend.push_back({QStringLiteral("Bolus"), m_marks->Pen(BolusMarkLine), true});
    legend.push_back({QStringLiteral("Rate change"), m_marks->Pen(RateChangeMarkLine), true});
    legend.insert(legend.end(), m_addedLegend.begin(), m_addedLegend.end());
    m_view->SetLegend(std::move(legend));
}

void TrendPanel::Refresh()
{
    Draw(m_builder.Update());
}

void TrendPanel::Reset()
{
    m_builder.Reset();
    m_fitScales = true;
    Draw(m_builder.Update());
}

void TrendPanel::Draw(const TrendUpdate& update)
{
    const bool whole = ShowScales() || update.rebuilt;
    if (whole) {
        // Laid out with the new axes now, before the peaks' labels are
        // placed on it: the signals that the plots moved, which come later,
        // then need no second repaint.
        m_view->Settle();
        m_paintedPlot = m_chart->plotArea();
        m_paintedLanePlot = m_lane->plotArea();
    }
    if (ShowClippedPeaks() && !whole) {
        // Only the labels' rows along the top edge.
        const QRectF plot = m_chart->plotArea();
        const QRectF band(plot.left(), plot.top(), plot.width(), 2 * QFontMetricsF(style::ChartFont()).height() + 2);
        m_view->viewport()->update(m_view->mapFromScene(m_chart->mapToScene(band)).boundingRect().adjusted(-1, -1, 1, 1));
    }
    if (whole)
        m_view->viewport()->update();
    else if (update.changedFrom < std::numeric_limits<double>::infinity())
        RepaintFrom(update.changedFrom);
}

void TrendPanel::RepaintFrom(double minutes)
{
    const QRectF plot = m_chart->plotArea();
    const double x = std::isfinite(minutes) ? PositionOf(QPointF(minutes, 0.0)).x() : plot.left();
    const double now = PositionOf(QPointF(m_builder.Now() + m_aheadMinutes, 0.0)).x();
    // Down through the lane, which shares the time axis.
    const QRectF lane = m_lane->mapRectToScene(m_lane->plotArea());
    const QRectF strip(QPointF(std::max(x, plot.left()) - TrendPenReach, plot.top() - TrendPenReach),
                       QPointF(std::min(now, plot.right()) + TrendPenReach, lane.bottom() + TrendPenReach));
    m_view->viewport()->update(m_view->mapFromScene(m_chart->mapToScene(strip)).boundingRect());
}

namespace {

// Sets an axis and its labels only when the scale changes.
bool SetScale(QValueAxis* axis, TrendValueAxis* labels, const ValueScale& scale, const QLocale& locale)
{
    if (labels->Scale() == scale)
        return false;
    axis->setRange(0.0, scale.top);
    axis->setTickCount(scale.intervals + 1);
    labels->SetScale(scale, locale);
    return true;
}

} // namespace

bool TrendPanel::ShowClippedPeaks()
{
    const double top = m_concentrationAxis->max();
    std::vector<TrendClippedPeak> clipped;
    for (const bool effectSite : {false, true}) {
        // A run above the axis in any model's line; overlapping runs are one.
        struct Run {
            double from, to;
            TrendClippedPeak peak;
        };
        std::vector<Run> runs;
        for (std::size_t index = 0; index < ConcentrationCount; ++index) {
            if (IsEffectSite(index) != effectSite)
                continue;
            std::optional<Run> run;
            for (const QPointF& p : m_builder.Points(index)) {
                if (p.y() <= top) {
                    if (run)
                        runs.push_back(*run);
                    run.reset();
                } else if (!run) {
                    run = Run{p.x(), p.x(), {p.x(), p.y(), effectSite}};
                } else {
                    run->to = p.x();
                    if (p.y() > run->peak.value)
                        run->peak = {p.x(), p.y(), effectSite};
                }
            }
            if (run)
                runs.push_back(*run);
        }
        std::sort(runs.begin(), runs.end(), [](const Run& a, const Run& b) { return a.from < b.from; });
        for (std::size_t i = 0; i < runs.size();) {
            Run merged = runs[i];
            for (++i; i < runs.size() && runs[i].from <= merged.to; ++i) {
                merged.to = std::max(merged.to, runs[i].to);
                if (runs[i].peak.value > merged.peak.value)
                    merged.peak = runs[i].peak;
            }
            clipped.push_back(merged.peak);
        }
    }
    std::sort(clipped.begin(), clipped.end(),
              [](const TrendClippedPeak& a, const TrendClippedPeak& b) { return a.minutes < b.minutes; });
    // Writing the numbers is dear at a week's boluses: only for a change.
    const QRectF plot = m_chart->plotArea();
    const QPointF range(m_timeAxis->min(), m_timeAxis->max());
    if (clipped == m_clipped && plot == m_clippedPlot && range == m_clippedRange)
        return false;
    m_clipped = std::move(clipped);
    m_clippedPlot = plot;
    m_clippedRange = range;

    std::vector<TrendEdgeLabel> labels;
    const LocaleSettings& locale = m_locale;
    for (const TrendClippedPeak& peak : m_clipped) {
        const double x = PositionOf(QPointF(peak.minutes, 0.0)).x();
        labels.push_back({m_chart->mapToScene(QPointF(x, 0.0)).x(),
                          QStringLiteral("%1 %2").arg(peak.effectSite ? QStringLiteral("Ce") : QStringLiteral("Cp"),
                                                      QString::fromStdString(FormatFixed(peak.value, 6, 1, locale)))});
    }
    return m_view->SetEdgeLabels(std::move(labels));
}

bool TrendPanel::ShowScales()
{
    bool changed = false;
    TimeScale time = TrendTimeScale(m_builder.Span(), m_builder.Now() + m_aheadMinutes);
    // The last hour stays in sight before the look ahead.
    if (m_builder.Span() == Span::LastHour)
        time.from = std::min(time.from, TrendTimeScale(Span::LastHour, m_builder.Now()).from);
    const double from = TimeAxisFrom(time);
    for (QValueAxis* axis : {m_timeAxis, m_laneTimeAxis}) {
        if (axis->min() == from && axis->max() == time.to && axis->tickInterval() == time.step)
            continue;
        // Never a moment with a short step over a long range: the axis would
        // lay out a label for every step of it.
        axis->setTickInterval(std::max(time.step, axis->tickInterval()));
        axis->setRange(from, time.to);
        axis->setTickInterval(time.step);
        changed = true;
    }
    const TrendPeaks peaks = m_builder.Peaks();
    // The look ahead's effect sites count as the newest ones do.
    const double peak = std::max({peaks.settled, peaks.latestEffect, m_aheadPeak});
    const ValueScale concentration = m_fitScales
        ? ConcentrationScale(peak, m_wakeUpLevel)
        : ConcentrationScale(peak, m_wakeUpLevel, m_concentrationLabels->Scale());
    m_fitScales = m_fitScales && m_builder.Read() == 0;
    const QLocale locale = AxisLocale(m_locale);
    changed |= SetScale(m_concentrationAxis, m_concentrationLabels, concentration, locale);
    changed |= SetScale(m_rateAxis, m_rateLabels, RateScale(peaks.rate, RateIntervals), locale);
    ShowAxisRoom();
    return changed;
}

void TrendPanel::ShowAxisRoom()
{
    m_view->SetAxisRoom(std::max(m_concentrationLabels->Room(), m_rateLabels->Room()),
                        m_concentrationLabels->Overhang());
}

void TrendPanel::SetAhead(double minutes, double peak)
{
    m_aheadMinutes = std::isfinite(minutes) ? std::max(minutes, 0.0) : 0.0;
    m_aheadPeak = std::isfinite(peak) ? peak : 0.0;
}

TrendLines* TrendPanel::AddLinesAhead(QObject* owner)
{
    auto* lines = new TrendLines(m_timeAxis, m_concentrationAxis, m_chart);
    lines->setZValue(SeriesDepth + 0.25);
    lines->SetPlot(m_chart->plotArea());
    connect(m_chart, &QChart::plotAreaChanged, owner, [lines](const QRectF& plot) { lines->SetPlot(plot); });
    return lines;
}

void TrendPanel::SetWakeUpLevel(double mcgPerMl)
{
    if (!std::isfinite(mcgPerMl) || mcgPerMl < 0.0)
        return;
    m_wakeUpLevel = mcgPerMl;
    m_fitScales = true;
    UpdateWakeUpLine();
    Draw(m_builder.Update());
    m_view->viewport()->update();
}

void TrendPanel::UpdateWakeUpLine()
{
    m_wakeUp->replace({QPointF(0.0, m_wakeUpLevel), QPointF(1.0, m_wakeUpLevel)});
}

void TrendPanel::SetOpioid(bool opioid)
{
    if (opioid == m_opioid)
        return;
    m_opioid = opioid;
    CreateLegend();
}

void TrendPanel::SetEleveldShown(bool shown)
{
    if (shown == m_eleveldShown)
        return;
    m_eleveldShown = shown;
    m_lines->SetShown(m_lineOf[TrendEleveldPlasma], shown);
    m_lines->SetShown(m_lineOf[TrendEleveldEffect], shown);
    CreateLegend();
}

void TrendPanel::SetAddedLegend(std::vector<TrendLegendEntry> entries)
{
    m_addedLegend = std::move(entries);
    CreateLegend();
}

void TrendPanel::SetLocale(const LocaleSettings& locale)
{
    m_locale = locale;
    m_chart->setLocale(AxisLocale(m_locale));
    m_lane->setLocale(AxisLocale(m_locale));
    for (TrendValueAxis* labels : {m_concentrationLabels, m_rateLabels})
        labels->SetScale(labels->Scale(), AxisLocale(m_locale));
    ShowAxisRoom();
    m_clippedPlot = QRectF(); // written anew in this locale
    ShowClippedPeaks();
    m_view->viewport()->update();
}

QString TrendPanel::ToolTipAt(QPoint viewPosition) const
{
    const std::size_t drawn = std::min(m_builder.Read(), m_history.Size());
    if (drawn == 0)
        return {};
    const QPointF inScene = m_view->mapToScene(viewPosition);
    const QPointF inChart = m_chart->mapFromScene(inScene);
    const QPointF inLane = m_lane->mapFromScene(inScene);
    double minutes = 0.0;
    if (m_chart->plotArea().contains(inChart))
        minutes = m_lines->ValueAt(inChart).x();
    else if (m_lane->plotArea().contains(inLane))
        minutes = m_rate->ValueAt(inLane).x();
    else
        return {};
    // Records are in time order: past the last drawn, that one is the nearest.
    const std::size_t index = std::min(m_history.NearestRecord(minutes), drawn - 1);
    return TrendToolTipText(m_history[index], m_locale, m_eleveldShown);
}
