#include "TrendValueAxis.h"

#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

// As Qt Charts spaces a left axis.
constexpr qreal TickLength = 5.0;
constexpr qreal LabelGap = 4.0;  // between a label and its tick
constexpr qreal TitleGap = 2.0;  // between the title and the labels
// The labels' width that asks no more room: every concentration scale below
// 10 and most beyond it.
const QString WidestUsual = QStringLiteral("0.0");

} // namespace

TrendValueAxis::TrendValueAxis(const QString& title, const QFont& font, QGraphicsItem* parent)
    : QGraphicsItem(parent), m_title(title), m_font(font)
{
    const QFontMetricsF metrics(m_font);
    m_textHeight = metrics.height();
    m_leastLabelsWidth = metrics.horizontalAdvance(WidestUsual);
    m_title.setTextFormat(Qt::PlainText);
    m_title.prepare(QTransform(), m_font);
}

void TrendValueAxis::SetScale(const ValueScale& scale, const QLocale& locale)
{
    prepareGeometryChange();
    m_scale = scale;
    m_labels.clear();
    m_labelsWidth = 0.0;
    const int intervals = std::max(scale.intervals, 0);
    for (int k = 0; k <= intervals; ++k) {
        const double value = intervals > 0 ? scale.top * k / intervals : 0.0;
        QStaticText text(locale.toString(value, 'f', scale.decimals));
        text.setTextFormat(Qt::PlainText);
        text.prepare(QTransform(), m_font);
        m_labelsWidth = std::max(m_labelsWidth, text.size().width());
        m_labels.push_back(std::move(text));
    }
    update();
}

void TrendValueAxis::SetPlot(const QRectF& plot)
{
    if (plot == m_plot)
        return;
    prepareGeometryChange();
    m_plot = plot;
}

void TrendValueAxis::SetPen(const QPen& pen)
{
    m_pen = pen;
    update();
}

qreal TrendValueAxis::Room() const
{
    const qreal title = m_title.text().isEmpty() ? 0.0 : m_textHeight + TitleGap;
    return std::ceil(title + std::max(m_labelsWidth, m_leastLabelsWidth) + LabelGap + TickLength);
}

QStringList TrendValueAxis::Labels() const
{
    QStringList labels;
    for (const QStaticText& text : m_labels)
        labels << text.text();
    return labels;
}

QRectF TrendValueAxis::boundingRect() const
{
    if (m_plot.isEmpty())
        return {};
    return {m_plot.left() - Room(), m_plot.top() - m_textHeight, Room() + 1.0, m_plot.height() + 2 * m_textHeight};
}

void TrendValueAxis::paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*)
{
    if (m_plot.isEmpty())
        return;
    painter->save();
    painter->setPen(m_pen);
    const qreal x = m_plot.left();
    painter->drawLine(QPointF(x, m_plot.top()), QPointF(x, m_plot.bottom()));
    painter->setFont(m_font);
    const auto count = static_cast<int>(m_labels.size());
    for (int k = 0; k < count; ++k) {
        const qreal y = count > 1 ? m_plot.bottom() - m_plot.height() * k / (count - 1) : m_plot.bottom();
        painter->setPen(m_pen);
        painter->drawLine(QPointF(x - TickLength, y), QPointF(x, y));
        const QStaticText& label = m_labels[static_cast<std::size_t>(k)];
        painter->setPen(Qt::black);
        painter->drawStaticText(QPointF(x - TickLength - LabelGap - label.size().width(), y - label.size().height() / 2),
                                label);
    }
    if (!m_title.text().isEmpty()) {
        // Upright, centred on the plot's height, at the room's left.
        painter->translate(x - Room() + m_textHeight / 2, m_plot.center().y());
        painter->rotate(-90.0);
        painter->setPen(Qt::black);
        painter->drawStaticText(QPointF(-m_title.size().width() / 2, -m_textHeight / 2), m_title);
    }
    painter->restore();
}
