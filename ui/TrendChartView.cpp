#include "TrendChartView.h"

#include "Style.h"

#include <QChart>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

#include <utility>

namespace {

constexpr qreal SampleLength = 24.0;
constexpr qreal SampleGap = 5.0;   // between a sample and its text
constexpr qreal EntryGap = 14.0;   // between entries
constexpr qreal SideMargin = 4.0;
constexpr int RowHeight = 17;

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
    ReserveLegendSpace();
    viewport()->update();
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

void TrendChartView::ReserveLegendSpace()
{
    chart()->setMargins(QMargins(4, 6, 4, PlaceLegend(viewport()->width()).rows * RowHeight + 4));
}

void TrendChartView::resizeEvent(QResizeEvent* event)
{
    QChartView::resizeEvent(event);
    ReserveLegendSpace();
}

void TrendChartView::drawForeground(QPainter* painter, const QRectF& rect)
{
    QChartView::drawForeground(painter, rect);
    const QRectF area = chart()->geometry();
    const LegendLayout& legend = PlaceLegend(area.width());
    const QPointF origin(area.left(), area.bottom() - legend.rows * RowHeight - 2);
    // A tick repaints a strip of the plot, above the legend.
    if (rect.bottom() < origin.y() - RowHeight)
        return;
    const QFontMetricsF metrics(m_font);

    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setFont(m_font);
    for (const Placed& p : legend.placed) {
        const TrendLegendEntry& entry = m_legend[p.entry];
        const QPointF at = origin + p.at;
        painter->setPen(entry.pen);
        if (entry.upright)
            painter->drawLine(at + QPointF(SampleLength / 2, -6), at + QPointF(SampleLength / 2, 6));
        else
            painter->drawLine(at, at + QPointF(SampleLength, 0));
        painter->setPen(Qt::black);
        painter->drawText(at + QPointF(SampleLength + SampleGap, (metrics.ascent() - metrics.descent()) / 2),
                          entry.text);
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
