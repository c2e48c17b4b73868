#pragma once
// The trend chart's view: the chart, a lane under it sharing its time axis,
// a legend that wraps onto as many rows as the width needs (Qt's own cuts
// its names short in one row), values written at the plot's top edge where
// a line leaves it, and a tooltip for the point under the pointer.

#include <QChartView>
#include <QBrush>
#include <QPen>
#include <QString>

#include <functional>
#include <utility>
#include <vector>

struct TrendLegendEntry {
    QString text;
    QPen pen;
    bool upright = false; // drawn as a short vertical line, like the marks it names
    QBrush fill = Qt::NoBrush; // drawn as a filled box, like the area it names
};

// A value written at the top edge of the plot, centred on `x` (scene).
struct TrendEdgeLabel {
    qreal x = 0.0;
    QString text;
    friend bool operator==(const TrendEdgeLabel&, const TrendEdgeLabel&) = default;
};

class TrendChartView : public QChartView {
public:
    TrendChartView(QChart* chart, QWidget* parent);

    void SetLegend(std::vector<TrendLegendEntry> entries);
    const std::vector<TrendLegendEntry>& Legend() const { return m_legend; }
    // A short chart under the main one, its plot as wide and its own key
    // written above it. The view owns it.
    void SetLane(QChart* lane, std::vector<TrendLegendEntry> key);
    QChart* Lane() const { return m_lane; }
    const std::vector<TrendLegendEntry>& LaneKey() const { return m_laneKey; }
    // The room both plots leave for the value axes that items of their own
    // draw: at their left, and above and below for the labels' overhang.
    void SetAxisRoom(qreal left, qreal overhang);
    // Lays both charts out and lines them up now, not over the next turns
    // of the event loop, each of which would repaint the whole view.
    void Settle();
    // Whether the labels changed.
    bool SetEdgeLabels(std::vector<TrendEdgeLabel> labels);
    const std::vector<TrendEdgeLabel>& EdgeLabels() const { return m_edgeLabels; }

    // The tooltip for a point of the view; none when it gives empty text.
    std::function<QString(QPoint)> ToolTip;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void drawForeground(QPainter* painter, const QRectF& rect) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    struct Placed {
        std::size_t entry;
        QPointF at; // left end of the sample line, on the row's middle
    };
    struct LegendLayout {
        std::vector<Placed> placed;
        int rows = 0;
    };
    const LegendLayout& PlaceLegend(qreal width) const;
    void LayOut();
    // Whether it changed a chart's margins.
    bool AlignPlots();
    const std::vector<std::pair<QRectF, QString>>& PlaceEdgeLabels(const QRectF& plot,
                                                                   const QFontMetricsF& metrics) const;
    void DrawEntry(QPainter& painter, const TrendLegendEntry& entry, QPointF at) const;

    std::vector<TrendLegendEntry> m_legend;
    QChart* m_lane = nullptr;
    std::vector<TrendLegendEntry> m_laneKey;
    std::vector<TrendEdgeLabel> m_edgeLabels;
    qreal m_leftRoom = 0.0;
    qreal m_overhang = 0.0;
    mutable std::vector<std::pair<QRectF, QString>> m_placedLabels;
    mutable QRectF m_labelsPlot;
    mutable bool m_labelsPlaced = false;
    QFont m_font;
    // Placing the legend measures its text: done again only for a new width.
    mutable LegendLayout m_placed;
    mutable qreal m_placedWidth = -1.0;
};
