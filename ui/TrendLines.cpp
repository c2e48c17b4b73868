#include "TrendLines.h"

#include <QPainter>
#include <QPolygonF>
#include <QStyleOptionGraphicsItem>
#include <QValueAxis>

#include <algorithm>
#include <cmath>

namespace {

// A dashed pen's dashes and gaps, pixels.
std::vector<double> DashPattern(const QPen& pen)
{
    const double width = std::max(pen.widthF(), 1.0);
    std::vector<double> pattern;
    for (const qreal dash : pen.dashPattern())
        pattern.push_back(dash * width);
    return pattern;
}

} // namespace

TrendPointRange TrendPointsBetween(const QList<QPointF>& points, double from, double to)
{
    if (points.isEmpty() || to < from)
        return {};
    const auto byTime = [](QPointF p, double t) { return p.x() < t; };
    const auto begin = std::lower_bound(points.cbegin(), points.cend(), from, byTime);
    const auto end = std::lower_bound(begin, points.cend(), to, byTime);
    const qsizetype first = std::max<qsizetype>(begin - points.cbegin() - 1, 0);
    const qsizetype last = std::min<qsizetype>(end - points.cbegin(), points.size() - 1);
    return {first, last};
}

void TrendSimplify(std::span<const QPointF> line, double tolerance, std::vector<qsizetype>& kept)
{
    const auto count = static_cast<qsizetype>(line.size());
    if (count == 0)
        return;
    // The slopes from the run's vertex that pass within `tolerance` of every
    // point since: a point whose own slope lies outside them ends the run.
    qsizetype vertex = 0;
    double lowest = 0.0;
    double highest = 0.0;
    bool any = false;
    const auto admit = [&](qsizetype i) {
        const double dx = line[i].x() - line[vertex].x();
        const double dy = line[i].y() - line[vertex].y();
        if (!(dx > 0.0))
            return false;
        const double slope = dy / dx;
        if (any && !(slope >= lowest && slope <= highest))
            return false;
        lowest = any ? std::max(lowest, (dy - tolerance) / dx) : (dy - tolerance) / dx;
        highest = any ? std::min(highest, (dy + tolerance) / dx) : (dy + tolerance) / dx;
        any = true;
        return true;
    };
    const auto keep = [&](qsizetype i) {
        kept.push_back(i);
        vertex = i;
        any = false;
    };
    keep(0);
    for (qsizetype i = 1; i < count; ++i) {
        bool onRun = admit(i);
        // Otherwise the run ends on the point before, which begins the next;
        // a point straight above a vertex has nothing run on through it.
        if (!onRun && i - 1 != vertex) {
            keep(i - 1);
            onRun = admit(i);
        }
        if (!onRun || i % TrendLineRun == 0)
            keep(i);
    }
    if (vertex != count - 1)
        keep(count - 1);
}

void TrendDashes(std::span<const QLineF> segments, const std::vector<double>& pattern, double phase,
                 std::vector<QLineF>& dashes)
{
    double period = 0.0;
    for (const double length : pattern)
        period += std::max(length, 0.0);
    if (!(period > 0.0) || !std::isfinite(period)) {
        dashes.insert(dashes.end(), segments.begin(), segments.end());
        return;
    }
    // Where in the pattern the first segment begins.
    std::size_t index = 0;
    double left = std::fmod(std::max(phase, 0.0), period);
    while (left >= pattern[index]) {
        left -= std::max(pattern[index], 0.0);
        index = (index + 1) % pattern.size();
    }
    left = pattern[index] - left;
    for (const QLineF& segment : segments) {
        const double length = segment.length();
        for (double at = 0.0; at < length;) {
            const double step = std::min(left, length - at);
            if (index % 2 == 0 && step > 0.0)
                dashes.emplace_back(segment.pointAt(at / length), segment.pointAt((at + step) / length));
            at += step;
            left -= step;
            if (left <= 0.0) {
                index = (index + 1) % pattern.size();
                left = pattern[index];
            }
        }
    }
}

TrendLines::TrendLines(QValueAxis* time, QValueAxis* value, QGraphicsItem* parent)
    : QGraphicsItem(parent), m_time(time), m_value(value)
{
    // The strip the view repaints, to draw only what falls in it.
    setFlag(ItemUsesExtendedStyleOption);
}

std::size_t TrendLines::Add(const QList<QPointF>* points, const QPen& pen, Kind kind, const QBrush& fill)
{
    m_lines.push_back({points, pen, kind, fill});
    return m_lines.size() - 1;
}

void TrendLines::SetShown(std::size_t line, bool shown)
{
    m_lines[line].shown = shown;
    update();
}

void TrendLines::SetGrid(const QPen& pen)
{
    m_grid = pen;
}

void TrendLines::SetPlot(const QRectF& plot)
{
    if (plot == m_plot)
        return;
    prepareGeometryChange();
    m_plot = plot;
}

QPointF TrendLines::PositionOf(QPointF value) const
{
    const double width = m_time->max() - m_time->min();
    const double height = m_value->max() - m_value->min();
    return {m_plot.left() + (value.x() - m_time->min()) * m_plot.width() / width,
            m_plot.bottom() - (value.y() - m_value->min()) * m_plot.height() / height};
}

QPointF TrendLines::ValueAt(QPointF position) const
{
    return {m_time->min() + (position.x() - m_plot.left()) * (m_time->max() - m_time->min()) / m_plot.width(),
            m_value->min() + (m_plot.bottom() - position.y()) * (m_value->max() - m_value->min()) / m_plot.height()};
}

void TrendLines::paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget*)
{
    if (m_plot.isEmpty() || !(m_time->max() > m_time->min()) || !(m_value->max() > m_value->min()))
        return;
    const QRectF exposed = option->exposedRect.isValid() ? option->exposedRect & m_plot : m_plot;
    if (exposed.isEmpty())
        return;
    const double from = ValueAt(QPointF(exposed.left() - TrendPenReach, 0.0)).x();
    const double to = ValueAt(QPointF(exposed.right() + TrendPenReach, 0.0)).x();
    painter->save();
    painter->setClipRect(m_plot, Qt::IntersectClip);
    if (m_grid.style() != Qt::NoPen)
        DrawGrid(*painter, from, to);
    for (const Drawn& line : m_lines) {
        if (!line.shown)
            continue;
        if (line.kind == Kind::Marks) {
            DrawMarks(*painter, line, from, to);
            continue;
        }
        if (line.kind == Kind::Area)
            FillUnder(*painter, line, from, to);
        DrawLine(*painter, line, from, to);
    }
    painter->restore();
}

void TrendLines::DrawLine(QPainter& painter, const Drawn& line, double from, double to)
{
    const QList<QPointF>& points = *line.points;
    const TrendPointRange range = TrendPointsBetween(points, from, to);
    if (range.last <= range.first)
        return;
    // As separate segments: Qt strokes each on its own, while a polyline is
    // filled as one outline whose edges all cross the same rows where a
    // week's line zig-zags, at about the square of its points. Dashes are
    // counted from the first point held, so that a strip repainted alone
    // meets the dashes around it; a solid line's vertices from the run the
    // strip begins in.
    const bool dashed = line.pen.style() != Qt::SolidLine;
    const qsizetype start = dashed ? 0 : range.first / TrendLineRun * TrendLineRun;
    m_mapped.clear();
    for (qsizetype i = start; i <= range.last; ++i)
        m_mapped.push_back(PositionOf(points[i]));
    m_kept.clear();
    // In the device's pixels: a printed chart is drawn finer.
    const double scale = std::max(std::abs(painter.deviceTransform().m22()), 1.0);
    TrendSimplify(m_mapped, TrendLineTolerance / scale, m_kept);
    double phase = 0.0;
    m_segments.clear();
    for (std::size_t k = 1; k < m_kept.size(); ++k) {
        const QLineF segment(m_mapped[static_cast<std::size_t>(m_kept[k - 1])],
                             m_mapped[static_cast<std::size_t>(m_kept[k])]);
        if (m_kept[k] + start <= range.first)
            phase += segment.length(); // left of the strip
        else
            m_segments.push_back(segment);
    }
    StrokeSegments(painter, line.pen, phase, false);
}

void TrendLines::FillUnder(QPainter& painter, const Drawn& area, double from, double to)
{
    const QList<QPointF>& points = *area.points;
    const TrendPointRange range = TrendPointsBetween(points, from, to);
    if (range.last <= range.first)
        return;
    QPolygonF polygon;
    polygon.reserve(range.last - range.first + 3);
    for (qsizetype i = range.first; i <= range.last; ++i)
        polygon.append(PositionOf(points[i]));
    const double zero = PositionOf(QPointF(0.0, 0.0)).y();
    polygon.append(QPointF(polygon.constLast().x(), zero));
    polygon.append(QPointF(polygon.constFirst().x(), zero));
    painter.setPen(Qt::NoPen);
    painter.setBrush(area.fill);
    painter.drawPolygon(polygon);
    painter.setBrush(Qt::NoBrush);
}

void TrendLines::DrawGrid(QPainter& painter, double from, double to)
{
    painter.setPen(m_grid);
    // Where the time axis puts its ticks: on the anchor and its steps, ends included.
    const double step = m_time->tickInterval();
    if (step > 0.0) {
        const double anchor = m_time->tickAnchor();
        const double last = std::min(to, m_time->max()) + step * 1e-9;
        for (double k = std::ceil((std::max(from, m_time->min()) - anchor) / step - 1e-9);; ++k) {
            const double minutes = anchor + k * step;
            if (minutes > last)
                break;
            const double x = PositionOf(QPointF(minutes, 0.0)).x();
            painter.drawLine(QPointF(x, m_plot.top()), QPointF(x, m_plot.bottom()));
        }
    }
    // The value axis's, evenly from end to end.
    const int intervals = m_value->tickCount() - 1;
    for (int k = 0; k <= intervals && intervals > 0; ++k) {
        const double y = PositionOf(QPointF(0.0, m_value->min() + (m_value->max() - m_value->min()) * k / intervals)).y();
        painter.drawLine(QPointF(m_plot.left(), y), QPointF(m_plot.right(), y));
    }
}

void TrendLines::DrawMarks(QPainter& painter, const Drawn& marks, double from, double to)
{
    const QList<QPointF>& points = *marks.points;
    const TrendPointRange range = TrendPointsBetween(points, from, to);
    m_segments.clear();
    for (qsizetype i = range.first; i <= range.last; ++i) {
        if (i > range.first && points[i].x() == points[i - 1].x())
            continue; // the other end of the same mark
        const double x = PositionOf(QPointF(points[i].x(), 0.0)).x();
        m_segments.emplace_back(QPointF(x, m_plot.top()), QPointF(x, m_plot.bottom()));
    }
    // Each mark's dashes begin at the top edge.
    StrokeSegments(painter, marks.pen, 0.0, true);
}

void TrendLines::StrokeSegments(QPainter& painter, QPen pen, double phase, bool eachAfresh)
{
    if (pen.style() != Qt::SolidLine) {
        // Our own dashes, drawn as solid pieces: Qt would start the pattern
        // afresh on each segment.
        const std::vector<double> pattern = DashPattern(pen);
        m_dashes.clear();
        if (eachAfresh) {
            for (const QLineF& segment : m_segments)
                TrendDashes({&segment, 1}, pattern, phase, m_dashes);
        } else {
            TrendDashes(m_segments, pattern, phase, m_dashes);
        }
        m_segments.swap(m_dashes);
        pen.setStyle(Qt::SolidLine);
    }
    painter.setPen(pen);
    painter.drawLines(m_segments.data(), static_cast<int>(m_segments.size()));
}
