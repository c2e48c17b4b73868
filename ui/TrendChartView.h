#pragma once
// The trend chart's view: the chart, a legend that wraps onto as many rows as
// the width needs (Qt's own cuts its names short in one row), and a tooltip
// for the point under the pointer.

#include <QChartView>
#include <QPen>
#include <QString>

#include <functional>
#include <vector>

struct TrendLegendEntry {
    QString text;
    QPen pen;
    bool upright = false; // drawn as a short vertical line, like the marks it names
};

class TrendChartView : public QChartView {
public:
    TrendChartView(QChart* chart, QWidget* parent);

    void SetLegend(std::vector<TrendLegendEntry> entries);
    const std::vector<TrendLegendEntry>& Legend() const { return m_legend; }

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
    void ReserveLegendSpace();

    std::vector<TrendLegendEntry> m_legend;
    QFont m_font;
    // Placing the legend measures its text: done again only for a new width.
    mutable LegendLayout m_placed;
    mutable qreal m_placedWidth = -1.0;
};
