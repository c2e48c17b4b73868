#include "SideDock.h"

#include "CasePanel.h"
#include "TrendChartView.h"
#include "TrendPanel.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QStyle>
#include <QTimer>
#include <QBoxLayout>

#include <algorithm>

using screenfit::SideAt;

namespace {

// The side area's width with the chart, and as a strip without it.
constexpr int ChartWidth = 580;
constexpr int StripWidth = 330;
// The narrowest chart that still reads, for small screens.
constexpr int ChartLeastWidth = 280;

QMargins Larger(QMargins a, QMargins b)
{
    return {std::max(a.left(), b.left()), std::max(a.top(), b.top()), std::max(a.right(), b.right()),
            std::max(a.bottom(), b.bottom())};
}

} // namespace

std::function<QRect(const QWidget*)> SideDock::ScreenArea = [](const QWidget* window) {
    const QScreen* screen = window->screen();
    return screen ? screen->availableGeometry() : QRect();
};

SideDock::SideDock(QWidget* window, QSize original, QPoint preferred, CasePanel* panel, QWidget* warning,
                   QAbstractButton* chartToggle)
    : QObject(window), m_window(window), m_original(original), m_preferred(preferred), m_panel(panel)
{
    // Under the bolus entry and the wake-up times, so that a warning never
    // pushes them out of view, and above the chart.
    if (auto* lines = qobject_cast<QBoxLayout*>(panel->layout())) {
        lines->insertWidget(std::max(0, lines->indexOf(panel->Trend)), warning);
        // Without the chart the lines keep together at the top.
        lines->addStretch();
    }
    m_chartSize = panel->Trend->ChartView()->minimumSize();

    m_area = new QScrollArea(window);
    m_area->setObjectName(QStringLiteral("SideArea"));
    m_area->setFrameShape(QFrame::NoFrame);
    m_area->setWidgetResizable(true);
    // Tab goes to the controls inside, which scroll into view as they get the focus.
    m_area->setFocusPolicy(Qt::NoFocus);
    m_area->setWidget(panel);
    m_area->viewport()->setAutoFillBackground(false);

    window->installEventFilter(this);
    panel->installEventFilter(this);
    connect(chartToggle, &QAbstractButton::toggled, this, &SideDock::ShowChart);
    // The chart starts shown where the screen has room for all of it.
    m_panel->Trend->setVisible(true);
    const bool room = screenfit::Fit(Measure(preferred, ChartWidth), ScreenArea(window)).sideWhole;
    m_panel->Trend->setVisible(room);
    chartToggle->setChecked(room);
    Refit(true);
}

void SideDock::ShowChart(bool shown)
{
    m_panel->Trend->setVisible(shown);
    Refit(false);
}

screenfit::Needs SideDock::Measure(QPoint preferred, int floor) const
{
    screenfit::Needs needs;
    needs.original = m_original;
    needs.preferred = preferred;
    needs.frame = AssumedFrame;
    if (m_window->isVisible())
        needs.frame = Larger(needs.frame, QMargins(m_window->geometry().left() - m_window->frameGeometry().left(),
                                                   m_window->geometry().top() - m_window->frameGeometry().top(),
                                                   m_window->frameGeometry().right() - m_window->geometry().right(),
                                                   m_window->frameGeometry().bottom() - m_window->geometry().bottom()));

    // A scroll bar may take its room beside the content.
    const int bar = m_area->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, m_area);
    m_panel->layout()->activate();
    const int width = std::max(m_panel->minimumSizeHint().width(), floor);
    const int height = m_panel->hasHeightForWidth() ? m_panel->heightForWidth(width)
                                                      : m_panel->sizeHint().height();
    needs.sideWanted = QSize(width + bar, height);

    // The bolus entry and the wake-up times: the top part, as laid out at that width.
    m_panel->resize(width, height);
    m_panel->layout()->activate();
    m_panel->layout()->activate();
    const auto bottomRight = [this](const QWidget* w) { return w->mapTo(m_panel, QPoint(w->width(), w->height())); };
    const QPoint button = bottomRight(m_panel->BolusButton);
    const QPoint wakeUp = bottomRight(m_panel->WakeUpLabel);
    const int margin = m_panel->layout()->contentsMargins().right();
    needs.sideLeast = QSize(std::max(button.x(), m_panel->WakeUpLevelEdit->mapTo(m_panel, QPoint()).x()
                                                     + m_panel->WakeUpLevelEdit->width()) + margin + bar,
                            wakeUp.y() + margin);
    return needs;
}

void SideDock::Refit(bool fromPreferred)
{
    const QRect available = ScreenArea(m_window);
    const QPoint preferred = fromPreferred ? m_preferred : m_window->pos();
    const bool chart = m_panel->Trend->isVisibleTo(m_panel);
    NarrowChart(false);
    screenfit::Needs needs = Measure(preferred, chart ? ChartWidth : StripWidth);
    if (available.isEmpty()) {
        m_placement = {needs.preferred, needs.original + QSize(0, needs.sideWanted.height()), SideAt::Below, true,
                       needs.original};
    } else {
        m_placement = screenfit::Fit(needs, available);
        // A narrower chart, which grows into the room it gets, rather than
        // one scrolled sideways or hidden below.
        if (chart && !m_placement.sideWhole) {
            NarrowChart(true);
            needs = Measure(preferred, 0);
            m_placement = screenfit::Fit(needs, available);
        }
    }
    m_window->setMinimumSize(m_placement.least);
    m_window->resize(m_placement.client);
    m_window->move(m_placement.framePos);
    LayOut();
}

void SideDock::NarrowChart(bool narrow)
{
    m_panel->Trend->ChartView()->setMinimumWidth(narrow ? std::min(ChartLeastWidth, m_chartSize.width())
                                                        : m_chartSize.width());
    // The panels' minimums follow the chart's now, not at the next event
    // loop, nor only once shown.
    m_panel->Trend->setMinimumSize(0, 0);
    if (m_panel->Trend->layout())
        m_panel->Trend->layout()->invalidate();
    m_panel->Trend->updateGeometry();
    m_panel->layout()->invalidate();
}

void SideDock::LayOut()
{
    m_area->setGeometry(screenfit::SideRect(m_placement.side, m_original, m_window->size()));
    m_area->setVisible(m_placement.side != SideAt::Nowhere);
    // Measuring resized the panel behind the scroll area's back.
    QEvent request(QEvent::LayoutRequest);
    QCoreApplication::sendEvent(m_area, &request);
}

void SideDock::GrowIfNeeded()
{
    m_growPending = false;
    // A window the user has sized keeps that size; one whose panel fits keeps its own.
    if (!m_window->isVisible() || m_window->size() != m_placement.client)
        return;
    const QWidget* view = m_area->viewport();
    const int needed = m_panel->hasHeightForWidth() ? m_panel->heightForWidth(view->width())
                                                    : m_panel->sizeHint().height();
    if (needed <= view->height() || needed == m_grownFor)
        return;
    m_grownFor = needed;
    Refit(false);
}

bool SideDock::eventFilter(QObject* watched, QEvent* event)
{
    // A line that wraps anew or a notice that appears: the window grows
    // where the screen has room, and the panel scrolls where it has not.
    if (watched == m_panel && event->type() == QEvent::LayoutRequest && !m_growPending) {
        m_growPending = true;
        QTimer::singleShot(0, this, &SideDock::GrowIfNeeded);
    }
    if (watched == m_window) {
        if (event->type() == QEvent::Resize) {
            LayOut();
        } else if (event->type() == QEvent::Show && !m_shownOnce) {
            m_shownOnce = true;
            // The window system's own frame is known once the window is up.
            QTimer::singleShot(0, this, [this] { Refit(true); });
        }
    }
    return QObject::eventFilter(watched, event);
}
