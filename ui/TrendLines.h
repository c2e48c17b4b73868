#pragma once
// The case's lines on the trend chart, drawn by one item over the plot
// rather than by a chart series each. Qt Charts works every series' outline
// out afresh whenever an axis changes, which at a week's zig-zags costs far
// more than drawing them; this item only maps the points it paints, and
// paints only the points in the strip the view repaints.

#include <QBrush>
#include <QGraphicsItem>
#include <QLineF>
#include <QList>
#include <QPen>
#include <QPointF>

#include <span>
#include <vector>

class QValueAxis;

// Beyond the widest pen and its antialiasing, pixels: what a repaint of a
// stretch of the plot takes in either side of it.
inline constexpr double TrendPenReach = 4.0;

class TrendLines : public QGraphicsItem {
public:
    enum class Kind {
        Line,  // through its points
        Marks, // a full-height line at each pair of points' time
        Area,  // a line filled down to zero
    };

    // Maps case time (x) and value (y) onto the plot, as the chart's series
    // are mapped; the points live elsewhere and must outlive the item.
    TrendLines(QValueAxis* time, QValueAxis* value, QGraphicsItem* parent);

    std::size_t Add(const QList<QPointF>* points, const QPen& pen, Kind kind = Kind::Line,
                    const QBrush& fill = Qt::NoBrush);
    void SetShown(std::size_t line, bool shown);
    // The grid, behind the lines: upright at the time axis's ticks and level
    // at the value axis's, in place of the axes' own.
    void SetGrid(const QPen& pen);
    const QPen& Pen(std::size_t line) const { return m_lines[line].pen; }

    // The plot, in the parent's coordinates.
    void SetPlot(const QRectF& plot);
    // Where a case time and value fall on the plot, and back.
    QPointF PositionOf(QPointF value) const;
    QPointF ValueAt(QPointF position) const;

    QRectF boundingRect() const override { return m_plot; }
    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;

private:
    struct Drawn {
        const QList<QPointF>* points;
        QPen pen;
        Kind kind;
        QBrush fill;
        bool shown = true;
    };
    void DrawLine(QPainter& painter, const Drawn& line, double from, double to);
    void DrawMarks(QPainter& painter, const Drawn& marks, double from, double to);
    void FillUnder(QPainter& painter, const Drawn& area, double from, double to);
    void DrawGrid(QPainter& painter, double from, double to);
    // Draws m_segments with `pen` in one call. A dashed pen's pattern begins
    // `phase` into it and runs on from segment to segment, or with
    // `eachAfresh` begins so on each.
    void StrokeSegments(QPainter& painter, QPen pen, double phase, bool eachAfresh);

    QValueAxis* m_time;
    QValueAxis* m_value;
    QRectF m_plot;
    std::vector<Drawn> m_lines;
    // Kept from paint to paint.
    std::vector<QPointF> m_mapped;
    std::vector<qsizetype> m_kept;
    std::vector<QLineF> m_segments;
    std::vector<QLineF> m_dashes;
    QPen m_grid = Qt::NoPen;
};

// The index range [first, last] of time-ordered points that draws the
// stretch from `from` to `to`: the points within it and one either side.
// Empty (first > last) when there are no points.
struct TrendPointRange {
    qsizetype first = 0;
    qsizetype last = -1;
};
TrendPointRange TrendPointsBetween(const QList<QPointF>& points, double from, double to);

// How far a line may be drawn from any of its points, pixels up or down:
// below what antialiasing shows. Each segment costs Qt a stroke of its own,
// and along a curve drawn at about a point a pixel most points lie this near
// a straight run.
inline constexpr double TrendLineTolerance = 0.1;
// A vertex kept at every this many points, counted from the first: a
// stretch drawn alone then begins on the same vertices as the whole line.
inline constexpr qsizetype TrendLineRun = 64;

// Appends to `kept` the indices of the points of `line` (pixels, x never
// going back; its first point the first of a run) to draw it by: the first
// and the last, each multiple of TrendLineRun, and between them the ends of
// straight runs, each taken from the vertex before as far as it passes
// within `tolerance` up or down of every point it skips.
void TrendSimplify(std::span<const QPointF> line, double tolerance, std::vector<qsizetype>& kept);

// The drawn pieces of a dashed line through `segments`, end to end: dashes
// and gaps of the lengths in `pattern` in turn, begun `phase` into it.
void TrendDashes(std::span<const QLineF> segments, const std::vector<double>& pattern, double phase,
                 std::vector<QLineF>& dashes);
