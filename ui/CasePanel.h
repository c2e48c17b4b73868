#pragma once
// The area beside the main window's original layout: the bolus entry, the
// wake-up times, the dose given so far, notices about the case, and the
// trend chart. It reads the case (history, models, patient) and never
// changes it; a bolus reaches the case through BolusGiven.

#include "CaseHistory.h"
#include "PharmacokineticEngine.h"
#include "TextFormats.h"

#include <QWidget>

#include <cstdint>

class QAbstractButton;
class QLabel;
class QLineEdit;
class QPushButton;
class TrendPanel;

// What the panel reads; it lives as long as the main window.
struct CaseView {
    const sedalyn::CaseHistory& History;
    const sedalyn::PharmacokineticEngine& Engine;
    const sedalyn::Patient& Patient;
};

class CasePanel : public QWidget {
    Q_OBJECT

public:
    CasePanel(const CaseView& view, const sedalyn::LocaleSettings& locale, QWidget* parent = nullptr);

    QLineEdit* BolusEdit = nullptr;
    QPushButton* BolusButton = nullptr;
    QLabel* LastBolusLabel = nullptr;
    QLineEdit* WakeUpLevelEdit = nullptr;
    QLabel* WakeUpLabel = nullptr;
    QLabel* DoseLabel = nullptr;
    QLabel* NoticeLabel = nullptr;
    TrendPanel* Trend = nullptr;

    // Start: the bolus box opens, the chart and the lines start afresh.
    void CaseStarted();
    // Abort: the bolus box closes and the wake-up times, no longer current,
    // go; the chart and the dose stay until the next Start.
    void CaseEnded();
    // After every tick: the chart, the wake-up times and the dose.
    void StepsTaken();
    // A bolus given at `caseMs` on the case's clock.
    void ShowLastBolus(double mg, std::int64_t caseMs);
    // A line about the case as a whole (a resumed case says so); empty hides it.
    void ShowNotice(const QString& text);

    double WakeUpLevel() const { return m_wakeUpLevel; }

    // Places the panel beside `window`'s original layout, of size `compact`:
    // `toggle` shows it, widening the window, or hides it, giving the window
    // back its compact size; the panel takes any room the window gains. It
    // starts shown where the screen has the room.
    void DockBeside(QWidget* window, QSize compact, QAbstractButton* toggle);

    // Minutes as the panel writes a time of the case: "12:35", "75:10".
    static QString MinutesText(double minutes);

signals:
    // A checked bolus (mg) that the user confirmed; it enters at the next tick.
    void BolusGiven(double mg);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ShowBeside(bool shown);
    void GiveBolusClick();
    void WakeUpLevelEdited();
    void ShowWakeUpTimes();
    QString Number(double value, int decimals) const;

    CaseView m_view;
    sedalyn::LocaleSettings m_locale;
    double m_wakeUpLevel = 1.2;
    bool m_running = false;
    QSize m_compact;
};
