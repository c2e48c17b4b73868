#pragma once
// A value axis left of a plot, drawn by an item of its own: its line, ticks,
// labels and upright title, as Qt Charts draws one. Qt Charts lays an axis
// out afresh whenever its range moves, measuring every label through a
// rich-text document, and moves the plot with the labels' width, which
// lays the lane under it out again to line the two up; this item only
// writes its few labels anew, and the room it asks for stays put while they
// fit it.

#include "TrendAxes.h"

#include <QFont>
#include <QGraphicsItem>
#include <QLocale>
#include <QPen>
#include <QStaticText>
#include <QString>

#include <vector>

class TrendValueAxis : public QGraphicsItem {
public:
    // An empty title takes no room.
    TrendValueAxis(const QString& title, const QFont& font, QGraphicsItem* parent);

    // Labels `scale` with its numbers written in `locale`.
    void SetScale(const ValueScale& scale, const QLocale& locale);
    const ValueScale& Scale() const { return m_scale; }
    // The plot it stands beside, in the parent's coordinates.
    void SetPlot(const QRectF& plot);
    void SetPen(const QPen& pen);

    // How far left of the plot it reaches: the same for any labels as wide
    // as "0.0" or narrower.
    qreal Room() const;
    // How far its labels reach above and below the plot.
    qreal Overhang() const { return m_textHeight / 2; }
    QStringList Labels() const;

    QRectF boundingRect() const override;
    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;

private:
    QStaticText m_title;
    QFont m_font;
    QPen m_pen;
    QRectF m_plot;
    ValueScale m_scale;
    std::vector<QStaticText> m_labels; // from the bottom up
    qreal m_labelsWidth = 0.0;
    qreal m_leastLabelsWidth = 0.0;
    qreal m_textHeight = 0.0;
};
