#include "TrendChartView.h"

#include "Style.h"

#include <QChart>
#include <QGraphicsLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>

namespace {

constexpr qreal SampleLength = 24.0;
constexpr qreal SampleGap = 5.0;   // between a sample and its text
constexpr qreal EntryGap = 14.0;   // between entries
constexpr qreal SideMargin = 4.0;
constexpr int RowHeight = 17;
// The lane's share of the height, within bounds: Qt Charts elides the time
// axis's labels and title when they would take more than 40 % of a chart.
constexpr qreal LaneShare = 0.28;
constexpr qreal LeastLane = 132.0;
constexpr qreal MostLane = 170.0;

} // namespace

TrendChartView::TrendChartView(QChart* chart, QWidget* parent)
    : QChartView(chart, parent), m_font(style::ChartFont())
{
    setMouseTracking(true);
    viewport()->setMouseTracking(true);
}

void TrendChartView::SetLegend(std::vector<TrendLegendEntry> entries)
{
    m_legend = std::move(entries);
    m_placedWidth = -1.0;
    LayOut();
    viewport()->update();
}

void TrendChartView::SetLane(QChart* lane, std::vector<TrendLegendEntry> key)
{
    m_lane = lane;
    m_laneKey = std::move(key);
    scene()->addItem(lane);
    for (QChart* each : {chart(), lane})
        connect(each, &QChart::plotAreaChanged, this, &TrendChartView::AlignPlots, Qt::QueuedConnection);
    LayOut();
    viewport()->update();
}

void TrendChartView::SetAxisRoom(qreal left, qreal overhang)
{
    if (left == m_leftRoom && overhang == m_overhang)
        return;
    m_leftRoom = left;
    m_overhang = overhang;
    AlignPlots();
}

bool TrendChartView::SetEdgeLabels(std::vector<TrendEdgeLabel> labels)
{
    if (labels == m_edgeLabels)
        return false;
    m_edgeLabels = std::move(labels);
    m_labelsPlaced = false;
    return true;
}

const std::vector<std::pair<QRectF, QString>>& TrendChartView::PlaceEdgeLabels(const QRectF& plot,
                                                                               const QFontMetricsF& metrics) const
{
    // Measuring text is dear: done again only for new labels or another plot.
    if (m_labelsPlaced && plot == m_labelsPlot)
        return m_placedLabels;
    m_labelsPlaced = true;
    m_placedLabels.clear();
    m_labelsPlot = plot;
    // A label that would overlap one before it goes a row down; with no
    // room there either it is left out.
    std::array<qreal, 2> taken{-1e9, -1e9};
    for (const TrendEdgeLabel& label : m_edgeLabels) {
        const qreal width = metrics.horizontalAdvance(label.text) + 4;
        const qreal left = std::clamp(label.x - width / 2, plot.left(), std::max(plot.left(), plot.right() - width));
        const auto row = static_cast<std::size_t>(std::find_if(taken.begin(), taken.end(),
                                                               [left](qreal right) { return left >= right; })
                                                  - taken.begin());
        if (row == taken.size())
            continue;
        taken[row] = left + width + 4;
        m_placedLabels.emplace_back(
            QRectF(left, plot.top() + 1 + static_cast<qreal>(row) * metrics.height(), width, metrics.height()),
            label.text);
    }
    return m_placedLabels;
}
const TrendChartView::LegendLayout& TrendChartView::PlaceLegend(qreal width) const
{
    if (width == m_placedWidth)
        return m_placed;
    const QFontMetricsF metrics(m_font);
    std::vector<Placed> placed;
    std::vector<qreal> rowWidths;
    qreal x = 0.0;
    const qreal room = width - 2 * SideMargin;
    for (std::size_t i = 0; i < m_legend.size(); ++i) {
        const qreal entryWidth = SampleLength + SampleGap + metrics.horizontalAdvance(m_legend[i].text);
        if (rowWidths.empty() || (x > 0.0 && x + EntryGap + entryWidth > room)) {
            rowWidths.push_back(0.0);
            x = 0.0;
        } else if (x > 0.0) {
            x += EntryGap;
        }
        placed.push_back({i, QPointF(x, (static_cast<qreal>(rowWidths.size()) - 0.5) * RowHeight)});
        x += entryWidth;
        rowWidths.back() = x;
    }
    // Each row centred under the plot.
    for (Placed& p : placed) {
        const auto row = static_cast<std::size_t>(p.at.y() / RowHeight);
        p.at.rx() += SideMargin + std::max(0.0, (room - rowWidths[row]) / 2);
    }
    m_placed = {placed, static_cast<int>(rowWidths.size())};
    m_placedWidth = width;
    return m_placed;
}

void TrendChartView::LayOut()
{
    const qreal width = viewport()->width();
    const qreal height = viewport()->height();
    const qreal legend = PlaceLegend(width).rows * RowHeight + 4;
    if (!m_lane) {
        chart()->setMargins(QMargins(4, 6, 4, static_cast<int>(legend)));
        return;
    }
    const qreal room = height - legend;
    const qreal lane = std::clamp(room * LaneShare, LeastLane, MostLane);
    const qreal main = std::max(room - lane, 0.0);
    chart()->setGeometry(QRectF(0.0, 0.0, width, main));
    m_lane->setGeometry(QRectF(0.0, main, width, lane));
    AlignPlots();
}

void TrendChartView::Settle()
{
    // A pass or two: new margins can move the other chart's labels.
    for (int pass = 0; pass < 3 && AlignPlots(); ++pass) {
    }
    for (QChart* each : {chart(), m_lane})
        if (each)
            each->layout()->activate();
}

bool TrendChartView::AlignPlots()
{
    if (!m_lane)
        return false;
    // Each chart's margins make up for the other's wider axis labels, so
    // that the lane's plot lies exactly under the main one.
    // A chart whose margins were set but not yet laid out would give a plot
    // that belongs to its old margins, and the two would chase each other
    // by a pixel or two at every tick, each time repainting the whole view.
    for (QChart* each : {chart(), m_lane})
        each->layout()->activate();
    const auto leftOf = [](const QChart* chart) { return chart->plotArea().left() - chart->margins().left(); };
    const auto rightOf = [](const QChart* chart) {
        return chart->size().width() - chart->plotArea().right() - chart->margins().right();
    };
    const qreal left = std::max({leftOf(chart()), leftOf(m_lane), m_leftRoom});
    const qreal right = std::max(rightOf(chart()), rightOf(m_lane));
    bool changed = false;
    const int overhang = static_cast<int>(std::ceil(m_overhang));
    const auto align = [&](QChart* chart, int top, int bottom) {
        const QMargins margins(4 + static_cast<int>(std::lround(left - leftOf(chart))), top + overhang,
                               4 + static_cast<int>(std::lround(right - rightOf(chart))), bottom);
        if (chart->margins() != margins) {
            chart->setMargins(margins);
            changed = true;
        }
    };
    align(chart(), 6, overhang);
    align(m_lane, RowHeight + 2, 0);
    return changed;
}

void TrendChartView::resizeEvent(QResizeEvent* event)
{
    QChartView::resizeEvent(event);
    LayOut();
}

void TrendChartView::DrawEntry(QPainter& painter, const TrendLegendEntry& entry, QPointF at) const
{
    const QFontMetricsF metrics(m_font);
    painter.setPen(entry.pen);
    if (entry.fill.style() != Qt::NoBrush) {
        painter.setBrush(entry.fill);
        painter.drawRect(QRectF(at + QPointF(0, -4), QSizeF(SampleLength, 8)));
        painter.setBrush(Qt::NoBrush);
    } else if (entry.upright) {
        painter.drawLine(at + QPointF(SampleLength / 2, -6), at + QPointF(SampleLength / 2, 6));
    } else {
        painter.drawLine(at, at + QPointF(SampleLength, 0));
    }
    painter.setPen(Qt::black);
    painter.drawText(at + QPointF(SampleLength + SampleGap, (metrics.ascent() - metrics.descent()) / 2), entry.text);
}

void TrendChartView::drawForeground(QPainter* painter, const QRectF& rect)
{
    QChartView::drawForeground(painter, rect);
    const QRectF area = sceneRect();
    const LegendLayout& legend = PlaceLegend(area.width());
    const QPointF origin(area.left(), area.bottom() - legend.rows * RowHeight - 2);
    const QFontMetricsF metrics(m_font);

    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setFont(m_font);
    // Over the lines they name, on white so they read.
    const QRectF plot = chart()->mapRectToScene(chart()->plotArea());
    for (const auto& [box, text] : PlaceEdgeLabels(plot, metrics)) {
        if (!box.intersects(rect))
            continue;
        painter->fillRect(box, Qt::white);
        painter->setPen(Qt::black);
        painter->drawText(box, Qt::AlignCenter, text);
    }
    if (m_lane) {
        const QRectF lanePlot = m_lane->mapRectToScene(m_lane->plotArea());
        QPointF at(lanePlot.left(), lanePlot.top() - RowHeight / 2.0 - 1);
        const bool keyInRect = rect.top() <= at.y() + RowHeight / 2.0 && rect.bottom() >= at.y() - RowHeight / 2.0;
        for (const TrendLegendEntry& entry : keyInRect ? m_laneKey : std::vector<TrendLegendEntry>{}) {
            DrawEntry(*painter, entry, at);
            at.rx() += SampleLength + SampleGap + metrics.horizontalAdvance(entry.text) + EntryGap;
        }
    }
    // A tick repaints a strip of the plot, above the legend.
    if (rect.bottom() >= origin.y() - RowHeight) {
        for (const Placed& p : legend.placed)
            DrawEntry(*painter, m_legend[p.entry], origin + p.at);
    }
    painter->restore();
}

void TrendChartView::mouseMoveEvent(QMouseEvent* event)
{
    QChartView::mouseMoveEvent(event);
    const QString text = ToolTip ? ToolTip(event->position().toPoint()) : QString();
    if (text.isEmpty())
        QToolTip::hideText();
    else
        QToolTip::showText(event->globalPosition().toPoint(), text, this);
}

void TrendChartView::leaveEvent(QEvent* event)
{
    QToolTip::hideText();
    QChartView::leaveEvent(event);
}
