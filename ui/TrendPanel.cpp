#include "TrendPanel.h"

#include "MessageBoxes.h"
#include "PharmacokineticEngine.h"
#include "SaveDialog.h"
#include "SystemLocale.h"
#include "TrendChartView.h"

#include <QChart>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGraphicsLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLegend>
#include <QLineSeries>
#include <QPainter>
#include <QPdfWriter>
#include <QPushButton>
#include <QSaveFile>
#include <QVBoxLayout>
#include <QValueAxis>

#include <algorithm>
#include <cmath>
#include <span>

using namespace sedalyn;

namespace {

// Hues that colour-blind readers tell apart, at lightnesses far enough apart
// (about 17, 42 and 64 % grey) to stay apart on a grey-scale print.
struct ModelStyle {
    QString name;
    QString objectPrefix;
    QColor colour;
    ConcentrationIndex plasma;
    ConcentrationIndex effect;
};

const ModelStyle Models[] = {
    {QStringLiteral("James"), QStringLiteral("James"), QColor(0x08, 0x30, 0x6B), JamesPlasma, JamesEffect},
    {QStringLiteral("Hume"), QStringLiteral("Hume"), QColor(0x00, 0x9E, 0x73), HumePlasma, HumeEffect},
    {QStringLiteral("Janmahasatian"), QStringLiteral("Han"), QColor(0xE6, 0x9F, 0x00), HanPlasma, HanEffect},
};

const QColor RateColour(0x20, 0x20, 0x20);
const QColor WakeUpColour(0x50, 0x50, 0x50);
const QColor RateChangeColour(0xB4, 0xB4, 0xB4);
const QColor BolusColour(0x7B, 0x32, 0x94);
const QColor GridColour(0xDC, 0xDC, 0xDC);

constexpr double LineWidth = 2.0;
constexpr double HourMinutes = 60.0;
constexpr double ShortestWholeCase = 10.0; // minutes in sight before the case is that long
// Closed buckets before their length doubles: an hour of records, so the
// first hour is drawn record for record and a day in 1,440 points or fewer.
constexpr std::size_t MostBuckets = 720;
// Records scrolled out of the last hour, let go of together.
constexpr std::size_t UnseenSlack = 120;
// More new records than this at once are drawn by building the series anew,
// which costs less than appending them one by one.
constexpr std::size_t MostAppended = 120;
// Beyond any real concentration or rate; keeps the axes finite.
constexpr double AxisCeiling = 1e6;

constexpr double StandardSteps[] = {1.0, 2.0, 2.5, 5.0};
constexpr double FinerSteps[] = {1.0, 1.2, 1.5, 2.0, 2.5, 3.0, 4.0, 5.0, 6.0, 8.0};

QPen Pen(const QColor& colour, double width, Qt::PenStyle style = Qt::SolidLine)
{
    QPen pen(colour, width, style);
    pen.setCapStyle(Qt::FlatCap);
    pen.setJoinStyle(Qt::RoundJoin);
    return pen;
}

// The smallest of `factors` times a power of ten that is at least `value` (> 0).
double NiceStep(double value, std::span<const double> factors)
{
    const double power = std::pow(10.0, std::floor(std::log10(value)));
    for (const double factor : factors) {
        if (factor * power >= value * (1.0 - 1e-12))
            return factor * power;
    }
    return 10.0 * power;
}

// Clock-like steps for the time axis, minutes.
double TimeStep(double span)
{
    constexpr double steps[] = {1, 2, 5, 10, 15, 20, 30, 60, 120, 180, 240, 360, 720};
    constexpr double mostTicks = 8.0;
    for (const double step : steps) {
        if (span / step <= mostTicks)
            return step;
    }
    return std::ceil(span / mostTicks / 720.0) * 720.0;
}

// Decimals enough for every multiple of `step`.
QString LabelFormat(double step)
{
    int decimals = 0;
    for (double scaled = step; decimals < 3 && std::abs(scaled - std::round(scaled)) > 1e-9; scaled *= 10.0)
        ++decimals;
    return QStringLiteral("%.%1f").arg(decimals);
}

// The axes format their numbers with a Qt locale: one with the window's
// decimal separator and no thousands separators.
QLocale AxisLocale(const LocaleSettings& settings)
{
    QLocale locale = settings.DecimalSeparator == "," ? QLocale(QLocale::German) : QLocale::c();
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale;
}

QString CaseTimeText(double minutes)
{
    if (!(minutes >= 0.0 && minutes < 1e9))
        return QStringLiteral("--:--");
    const long long seconds = std::llround(minutes * 60.0);
    return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

// Model time at which the record's step began: its rate and bolus apply
// from there.
double StepStart(const CaseHistory& records, std::size_t index)
{
    return index == 0 ? std::max(records[0].Minutes - TickMinutes, 0.0) : records[index - 1].Minutes;
}

bool RateChanged(const CaseRecord& before, const CaseRecord& record)
{
    return std::isfinite(before.Rate) && std::isfinite(record.Rate) && before.Rate != record.Rate;
}

// The rate line goes on along its last step, rather than turning a corner.
bool RateGoesOn(const CaseHistory& records, std::size_t index, qsizetype linePoints)
{
    return linePoints > 0 && index > 0 && records[index - 1].Rate == records[index].Rate;
}

// A full-height line at `minutes` on an axis from 0 to 1. The points
// alternate below and above the plot, so the joins between the marks fall
// outside it and are clipped away.
std::array<QPointF, 2> MarkPoints(qsizetype pointsSoFar, double minutes)
{
    const bool fromBelow = pointsSoFar % 4 == 0;
    return {QPointF(minutes, fromBelow ? -1.0 : 2.0), QPointF(minutes, fromBelow ? 2.0 : -1.0)};
}

// The points that stand for records [begin, end) of one concentration: its
// lowest and its highest, in time order; one when they are the same record.
void AppendExtremes(QList<QPointF>& points, const CaseHistory& records,
                    std::size_t begin, std::size_t end, std::size_t which)
{
    std::size_t low = end;
    std::size_t high = end;
    for (std::size_t i = begin; i < end; ++i) {
        const double value = records[i].Concentrations[which];
        if (!std::isfinite(value))
            continue;
        if (low == end || value < records[low].Concentrations[which])
            low = i;
        if (high == end || value > records[high].Concentrations[which])
            high = i;
    }
    if (low == end)
        return;
    const auto point = [&](std::size_t i) {
        return QPointF(records[i].Minutes, records[i].Concentrations[which]);
    };
    points.append(point(std::min(low, high)));
    if (low != high)
        points.append(point(std::max(low, high)));
}

QValueAxis* MakeAxis(const char* name, const QString& title)
{
    auto* axis = new QValueAxis;
    axis->setObjectName(QLatin1String(name));
    axis->setTitleText(title);
    axis->setTitleFont(TrendChartView::TextFont());
    axis->setLabelsFont(TrendChartView::TextFont());
    axis->setLabelsColor(Qt::black);
    axis->setTitleBrush(Qt::black);
    axis->setGridLineColor(GridColour);
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

QLineSeries* MakeSeries(const QString& name, const QString& legend, const QPen& pen)
{
    auto* series = new QLineSeries;
    series->setObjectName(name);
    series->setName(legend);
    series->setPen(pen);
    return series;
}

} // namespace

QString TrendToolTipText(const CaseRecord& record, const LocaleSettings& locale)
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
    QStringList lines{QStringLiteral("Case time %1").arg(CaseTimeText(record.Minutes)), rate,
                      QStringLiteral("Plasma / effect site (mcg/ml)")};
    for (const ModelStyle& model : Models) {
        lines << QStringLiteral("%1  %2 / %3")
                     .arg(model.name, fixed(record.Concentrations[model.plasma]),
                          fixed(record.Concentrations[model.effect]));
    }
    return lines.join(QLatin1Char('\n'));
}

TrendPanel::TrendPanel(const CaseHistory& history, QWidget* parent)
    : QWidget(parent), m_history(history), m_locale(SystemLocaleSettings())
{
    setObjectName(QStringLiteral("TrendPanel"));
    setMinimumSize(520, 400);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);

    CreateChart();
    m_view = new TrendChartView(m_chart, this);
    m_view->setObjectName(QStringLiteral("TrendChartView"));
    m_view->setRenderHint(QPainter::Antialiasing);
    m_view->setFrameShape(QFrame::NoFrame);
    m_view->ToolTip = [this](QPoint at) { return ToolTipAt(at); };
    CreateLegend();

    m_span = new QComboBox(this);
    m_span->setObjectName(QStringLiteral("TrendSpan"));
    m_span->addItem(QStringLiteral("Whole case"));
    m_span->addItem(QStringLiteral("Last hour"));
    connect(m_span, &QComboBox::currentIndexChanged, this, [this] {
        Rebuild();
        UpdateAxes();
    });

    m_save = new QPushButton(QStringLiteral("Save chart\u2026"), this);
    m_save->setObjectName(QStringLiteral("SaveChartButton"));
    m_save->setAutoDefault(false);
    connect(m_save, &QPushButton::clicked, this, [this] { RunReportingErrors([this] { SaveChart(); }); });

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
    UpdateAxes();
}

void TrendPanel::CreateChart()
{
    m_chart = new QChart;
    m_chart->setObjectName(QStringLiteral("TrendChart"));
    m_chart->setAnimationOptions(QChart::NoAnimation);
    m_chart->setBackgroundRoundness(0);
    m_chart->layout()->setContentsMargins(0, 0, 0, 0);
    m_chart->setLocalizeNumbers(true);
    m_chart->setLocale(AxisLocale(m_locale));
    m_chart->legend()->hide();

    m_timeAxis = MakeAxis("TimeAxis", QStringLiteral("Case time (min)"));
    m_timeAxis->setTickType(QValueAxis::TicksDynamic);
    m_timeAxis->setTickAnchor(0.0);
    m_timeAxis->setLabelFormat(QStringLiteral("%.0f"));
    m_concentrationAxis = MakeAxis("ConcentrationAxis", QStringLiteral("Concentration (mcg/ml)"));
    m_rateAxis = MakeAxis("RateAxis", QStringLiteral("Rate (mg/kg/hr)"));
    // Its ticks fall on the concentration axis's, whose grid serves both.
    m_rateAxis->setGridLineVisible(false);
    QValueAxis* const markAxis = MakeUnitAxis("MarkAxis");
    QValueAxis* const wakeUpAxis = MakeUnitAxis("WakeUpAxis");
    m_chart->addAxis(m_timeAxis, Qt::AlignBottom);
    m_chart->addAxis(wakeUpAxis, Qt::AlignBottom);
    m_chart->addAxis(m_concentrationAxis, Qt::AlignLeft);
    m_chart->addAxis(markAxis, Qt::AlignLeft);
    m_chart->addAxis(m_rateAxis, Qt::AlignRight);

    const auto add = [this](QLineSeries* series, QValueAxis* x, QValueAxis* y) {
        m_chart->addSeries(series);
        series->attachAxis(x);
        series->attachAxis(y);
        return series;
    };
    // From the back of the picture to the front.
    m_rateChanges = add(MakeSeries(QStringLiteral("RateChangeMarks"), QStringLiteral("Rate change"),
                                   Pen(RateChangeColour, 1.0)),
                        m_timeAxis, markAxis);
    m_boluses = add(MakeSeries(QStringLiteral("BolusMarks"), QStringLiteral("Bolus"),
                               Pen(BolusColour, 1.5, Qt::DashDotLine)),
                    m_timeAxis, markAxis);
    m_wakeUp = add(MakeSeries(QStringLiteral("WakeUpLine"), QStringLiteral("Wake-up level"),
                              Pen(WakeUpColour, LineWidth, Qt::DotLine)),
                   wakeUpAxis, m_concentrationAxis);
    m_rate = add(MakeSeries(QStringLiteral("RateSeries"), QStringLiteral("Rate"), Pen(RateColour, 1.0)),
                 m_timeAxis, m_rateAxis);
    for (const ModelStyle& model : Models) {
        m_concentrations[model.effect] =
            add(MakeSeries(model.objectPrefix + QStringLiteral("EffectSeries"),
                           model.name + QStringLiteral(" effect site"),
                           Pen(model.colour, LineWidth, Qt::DashLine)),
                m_timeAxis, m_concentrationAxis);
        m_concentrations[model.plasma] =
            add(MakeSeries(model.objectPrefix + QStringLiteral("PlasmaSeries"),
                           model.name + QStringLiteral(" plasma"), Pen(model.colour, LineWidth)),
                m_timeAxis, m_concentrationAxis);
    }
}

void TrendPanel::CreateLegend()
{
    // Each model once by its colour; plasma and effect site by their line.
    std::vector<TrendLegendEntry> legend;
    for (const ModelStyle& model : Models)
        legend.push_back({model.name, m_concentrations[model.plasma]->pen()});
    legend.push_back({QStringLiteral("Plasma"), Pen(Qt::black, LineWidth)});
    legend.push_back({QStringLiteral("Effect site"), Pen(Qt::black, LineWidth, Qt::DashLine)});
    for (const QLineSeries* series : {m_rate, m_wakeUp})
        legend.push_back({series->name(), series->pen()});
    for (const QLineSeries* series : {m_boluses, m_rateChanges})
        legend.push_back({series->name(), series->pen(), true});
    m_view->SetLegend(std::move(legend));
}

TrendPanel::Span TrendPanel::CurrentSpan() const
{
    return m_span->currentIndex() == static_cast<int>(Span::LastHour) ? Span::LastHour : Span::WholeCase;
}

std::size_t TrendPanel::FirstInSight() const
{
    if (m_shown == 0)
        return 0;
    // The last record at or before the left edge, so the lines enter from it.
    const auto& records = m_history;
    const double from = std::max(records[m_shown - 1].Minutes, HourMinutes) - HourMinutes;
    const auto end = records.begin() + static_cast<std::ptrdiff_t>(m_shown);
    const auto later = std::upper_bound(records.begin(), end, from,
                                        [](double t, const CaseRecord& r) { return t < r.Minutes; });
    return later == records.begin() ? 0 : static_cast<std::size_t>(later - records.begin()) - 1;
}

void TrendPanel::Refresh()
{
    if (m_history.Size() < m_shown) {
        // Cleared behind the chart's back: start afresh.
        m_shown = 0;
        Rebuild();
    }
    if (m_history.Size() - m_shown > MostAppended) {
        m_shown = m_history.Size();
        Rebuild();
    }
    while (m_shown < m_history.Size())
        DrawNextRecord();
    if (CurrentSpan() == Span::LastHour)
        LetGoOfUnseen();
    UpdateAxes();
}

void TrendPanel::Reset()
{
    m_shown = 0;
    Rebuild();
    UpdateAxes();
}

void TrendPanel::Rebuild()
{
    const auto& records = m_history;
    const std::size_t shown = m_shown;
    m_first = CurrentSpan() == Span::LastHour ? FirstInSight() : 0;
    m_bucket = 1;
    // Every bucket is closed but the newest, drawn record for record.
    const auto closed = [&] { return shown > m_first ? (shown - m_first - 1) / m_bucket : 0; };
    while (closed() > MostBuckets)
        m_bucket *= 2;
    m_openStart = m_first + closed() * m_bucket;

    for (std::size_t which = 0; which < ConcentrationCount; ++which) {
        QList<QPointF> points;
        if (m_first == 0 && shown > 0 && StepStart(records, 0) == 0.0)
            points.append(QPointF(0.0, 0.0));
        for (std::size_t begin = m_first; begin < m_openStart; begin += m_bucket)
            AppendExtremes(points, records, begin, begin + m_bucket, which);
        m_openPoint[which] = static_cast<int>(points.size());
        for (std::size_t i = m_openStart; i < shown; ++i) {
            if (std::isfinite(records[i].Concentrations[which]))
                points.append(QPointF(records[i].Minutes, records[i].Concentrations[which]));
        }
        m_concentrations[which]->replace(points);
    }

    QList<QPointF> rate;
    QList<QPointF> rateChanges;
    QList<QPointF> boluses;
    m_maxConcentration = 0.0;
    m_maxRate = 0.0;
    for (std::size_t i = 0; i < shown; ++i) {
        const CaseRecord& record = records[i];
        const double start = StepStart(records, i);
        if (std::isfinite(record.Rate)) {
            if (RateGoesOn(records, i, rate.size()))
                rate.back() = QPointF(record.Minutes, record.Rate);
            else
                rate << QPointF(start, record.Rate) << QPointF(record.Minutes, record.Rate);
            m_maxRate = std::max(m_maxRate, record.Rate);
        }
        if (i > 0 && RateChanged(records[i - 1], record)) {
            for (const QPointF& point : MarkPoints(rateChanges.size(), start))
                rateChanges.append(point);
        }
        if (record.BolusMg > 0.0) {
            for (const QPointF& point : MarkPoints(boluses.size(), start))
                boluses.append(point);
        }
        for (const double value : record.Concentrations) {
            if (std::isfinite(value))
                m_maxConcentration = std::max(m_maxConcentration, value);
        }
    }
    m_rate->replace(rate);
    m_rateChanges->replace(rateChanges);
    m_boluses->replace(boluses);
}

void TrendPanel::DrawNextRecord()
{
    const auto& records = m_history;
    const std::size_t index = m_shown++;
    const CaseRecord& record = records[index];
    for (const double value : record.Concentrations) {
        if (std::isfinite(value))
            m_maxConcentration = std::max(m_maxConcentration, value);
    }
    if (std::isfinite(record.Rate))
        m_maxRate = std::max(m_maxRate, record.Rate);

    if (index >= m_openStart + m_bucket) {
        CloseBucket();
        if (CurrentSpan() == Span::WholeCase && (m_openStart - m_first) / m_bucket > MostBuckets) {
            // Too many buckets: draw them all again, twice as long.
            Rebuild();
            return;
        }
    }

    const double start = StepStart(records, index);
    if (index == 0 && start == 0.0) {
        // A case drawn from its start begins with nothing in the body.
        for (std::size_t which = 0; which < ConcentrationCount; ++which) {
            m_concentrations[which]->append(0.0, 0.0);
            m_openPoint[which] = m_concentrations[which]->count();
        }
    }
    // A value the model could not give is left out, not drawn as a number.
    for (std::size_t which = 0; which < ConcentrationCount; ++which) {
        if (std::isfinite(record.Concentrations[which]))
            m_concentrations[which]->append(record.Minutes, record.Concentrations[which]);
    }
    if (std::isfinite(record.Rate)) {
        if (RateGoesOn(records, index, m_rate->count())) {
            m_rate->replace(m_rate->count() - 1, QPointF(record.Minutes, record.Rate));
        } else {
            m_rate->append(start, record.Rate);
            m_rate->append(record.Minutes, record.Rate);
        }
    }
    if (index > 0 && RateChanged(records[index - 1], record)) {
        for (const QPointF& point : MarkPoints(m_rateChanges->count(), start))
            m_rateChanges->append(point);
    }
    if (record.BolusMg > 0.0) {
        for (const QPointF& point : MarkPoints(m_boluses->count(), start))
            m_boluses->append(point);
    }
}

void TrendPanel::CloseBucket()
{
    const std::size_t end = m_openStart + m_bucket;
    // Up to two records are their own extremes.
    if (m_bucket > 2) {
        for (std::size_t which = 0; which < ConcentrationCount; ++which) {
            QLineSeries* const series = m_concentrations[which];
            QList<QPointF> extremes;
            AppendExtremes(extremes, m_history, m_openStart, end, which);
            series->removePoints(m_openPoint[which], series->count() - m_openPoint[which]);
            series->append(extremes);
        }
    }
    m_openStart = end;
    for (std::size_t which = 0; which < ConcentrationCount; ++which)
        m_openPoint[which] = m_concentrations[which]->count();
}

void TrendPanel::LetGoOfUnseen()
{
    const std::size_t first = FirstInSight();
    if (first < m_first + UnseenSlack)
        return;
    const double from = m_history[first].Minutes;
    for (std::size_t which = 0; which < ConcentrationCount; ++which) {
        QLineSeries* const series = m_concentrations[which];
        const QList<QPointF> points = series->points();
        const auto kept = std::lower_bound(points.begin(), points.end(), from,
                                           [](const QPointF& p, double t) { return p.x() < t; });
        const int gone = static_cast<int>(kept - points.begin());
        series->removePoints(0, gone);
        m_openPoint[which] = std::max(0, m_openPoint[which] - gone);
    }
    m_first = first;
}

void TrendPanel::UpdateAxes()
{
    const double now = m_shown == 0 ? 0.0 : m_history[m_shown - 1].Minutes;
    double maxConcentration = m_maxConcentration;
    double maxRate = m_maxRate;
    if (CurrentSpan() == Span::LastHour) {
        const double to = std::max(now, HourMinutes);
        SetTimeAxis(to - HourMinutes, to, 10.0);
        // The heights of what is in sight.
        maxConcentration = 0.0;
        maxRate = 0.0;
        for (std::size_t i = FirstInSight(); i < m_shown; ++i) {
            for (const double value : m_history[i].Concentrations) {
                if (std::isfinite(value))
                    maxConcentration = std::max(maxConcentration, value);
            }
            if (std::isfinite(m_history[i].Rate))
                maxRate = std::max(maxRate, m_history[i].Rate);
        }
    } else {
        const double span = std::max(now, ShortestWholeCase);
        const double step = TimeStep(span);
        SetTimeAxis(0.0, std::ceil(span / step) * step, step);
    }

    // Room above the highest line and the wake-up level. The rate axis gets
    // as many intervals as the concentration axis, so one grid serves both.
    const double concentrationTop =
        std::min(std::max({maxConcentration * 1.05, m_wakeUpLevel * 1.25, 1.0}), AxisCeiling);
    const double concentrationStep = NiceStep(concentrationTop / 5.0, StandardSteps);
    const int intervals = static_cast<int>(std::ceil(concentrationTop / concentrationStep - 1e-9));
    m_concentrationAxis->setRange(0.0, intervals * concentrationStep);
    m_concentrationAxis->setTickCount(intervals + 1);
    m_concentrationAxis->setLabelFormat(LabelFormat(concentrationStep));
    const double rateTop = std::min(std::max(maxRate * 1.05, 1.0), AxisCeiling);
    const double rateStep = NiceStep(rateTop / intervals, FinerSteps);
    m_rateAxis->setRange(0.0, intervals * rateStep);
    m_rateAxis->setTickCount(intervals + 1);
    m_rateAxis->setLabelFormat(LabelFormat(rateStep));
}

void TrendPanel::SetTimeAxis(double from, double to, double step)
{
    // Never a moment with a short step over a long range: the axis would
    // lay out a label for every step of it.
    m_timeAxis->setTickInterval(std::max(step, m_timeAxis->tickInterval()));
    m_timeAxis->setRange(from, to);
    m_timeAxis->setTickInterval(step);
}

void TrendPanel::SetWakeUpLevel(double mcgPerMl)
{
    if (!std::isfinite(mcgPerMl) || mcgPerMl < 0.0)
        return;
    m_wakeUpLevel = mcgPerMl;
    UpdateWakeUpLine();
    UpdateAxes();
}

void TrendPanel::UpdateWakeUpLine()
{
    m_wakeUp->replace({QPointF(0.0, m_wakeUpLevel), QPointF(1.0, m_wakeUpLevel)});
}

void TrendPanel::SetLocale(const LocaleSettings& locale)
{
    m_locale = locale;
    m_chart->setLocale(AxisLocale(m_locale));
}

QString TrendPanel::ToolTipAt(QPoint viewPosition) const
{
    if (m_shown == 0)
        return {};
    const QPointF inChart = m_chart->mapFromScene(m_view->mapToScene(viewPosition));
    if (!m_chart->plotArea().contains(inChart))
        return {};
    const double minutes = m_chart->mapToValue(inChart, m_rate).x();
    // Records are in time order: past the last drawn, that one is the nearest.
    const std::size_t index = std::min(m_history.NearestRecord(minutes), m_shown - 1);
    return TrendToolTipText(m_history[index], m_locale);
}

void TrendPanel::SaveChart()
{
    if (!m_saveDialog->Execute(this))
        return;
    const QString path = m_saveDialog->FileName;
    if (!WriteChart(path)) {
        NoticeBox(QStringLiteral("%1\nThe chart could not be saved.\n"
                                 "Check the folder and the free space, then try again.")
                      .arg(QDir::toNativeSeparators(path)),
                  ApplicationTitle, MB_OK | MB_ICONWARNING);
    }
}

bool TrendPanel::WriteChart(const QString& path) const
{
    // Written aside and put in place whole: a failed save leaves an earlier
    // file of that name as it was.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    bool written = false;
    if (QFileInfo(path).suffix().compare(QStringLiteral("pdf"), Qt::CaseInsensitive) == 0) {
        // Vector lines and text for print, a point a pixel.
        QPdfWriter pdf(&file);
        pdf.setCreator(ApplicationTitle);
        pdf.setTitle(QStringLiteral("Trend"));
        pdf.setResolution(72);
        pdf.setPageMargins(QMarginsF());
        pdf.setPageSize(
            QPageSize(QSizeF(m_view->size()), QPageSize::Point, QString(), QPageSize::ExactMatch));
        QPainter painter;
        if (painter.begin(&pdf)) {
            painter.setRenderHint(QPainter::Antialiasing);
            m_view->render(&painter, QRectF(), m_view->viewport()->rect());
            written = painter.end();
        }
    } else {
        written = m_view->grab().save(&file, "PNG");
    }
    return written && file.commit();
}
