#pragma once
// Puts the area beside the main window's original layout (the case panel
// with the patient's warning in it) where the screen has room for it:
// beside or below, scrolled where even that is too small, and moves the
// window so that all of it lies on the screen. The chart toggle shows or
// hides the chart; the bolus entry and the wake-up times stay in view.

#include "ScreenFit.h"

#include <QObject>
#include <QSize>

#include <functional>

class CasePanel;
class QAbstractButton;
class QScrollArea;
class QWidget;

class SideDock : public QObject {
    Q_OBJECT

public:
    // `panel`, with `warning` above its chart, goes into a scrolled area on `window`, whose
    // original layout takes `original` and asks to be at `preferred`.
    SideDock(QWidget* window, QSize original, QPoint preferred, CasePanel* panel, QWidget* warning,
             QAbstractButton* chartToggle);

    QScrollArea* Area() const { return m_area; }
    const screenfit::Placement& Placement() const { return m_placement; }

    // Places the window anew for what the side area holds now; from the
    // preferred position, or from where the window is.
    void Refit(bool fromPreferred);

    // The room a window has on its screen; tests give their own screens.
    static std::function<QRect(const QWidget* window)> ScreenArea;
    // The frame assumed before the window system has told its own.
    static constexpr QMargins AssumedFrame{4, 23, 4, 4};

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ShowChart(bool shown);
    // `floor`: the least width the side area asks for.
    screenfit::Needs Measure(QPoint preferred, int floor) const;
    // The chart's least width: as designed, or as narrow as still reads.
    void NarrowChart(bool narrow);
    void LayOut();
    void GrowIfNeeded();

    QWidget* m_window;
    QSize m_original;
    QPoint m_preferred;
    CasePanel* m_panel;
    QSize m_chartSize; // the chart's design minimum
    QScrollArea* m_area = nullptr;
    screenfit::Placement m_placement;
    bool m_shownOnce = false;
    bool m_growPending = false;
    int m_grownFor = 0; // the panel height the window last grew for
};
