#pragma once
// The area beside the main window's original layout: the bolus entry, the
// wake-up times, the dose given so far, notices about the case, and the
// trend chart. It shows the case and passes boluses on to it.

#include <QWidget>

class QAbstractButton;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class TrendPanel;
namespace sedalyn {
class CaseSession;
}

class CasePanel : public QWidget {
    Q_OBJECT

public:
    // `session` outlives the panel.
    CasePanel(sedalyn::CaseSession& session, QWidget* parent = nullptr);

    QCheckBox* OpioidCheck = nullptr;
    QLabel* EleveldLabel = nullptr;
    QLineEdit* BolusEdit = nullptr;
    QPushButton* BolusButton = nullptr;
    QLabel* LastBolusLabel = nullptr;
    QLineEdit* WakeUpLevelEdit = nullptr;
    QLabel* WakeUpLabel = nullptr;
    QLabel* DoseLabel = nullptr;
    QLabel* NoticeLabel = nullptr;
    QLabel* StatusLabel = nullptr;
    TrendPanel* Trend = nullptr;

    // Start: the bolus box opens, the chart and the lines start afresh.
    void CaseStarted();
    // Abort: the bolus box closes and the wake-up times, no longer current,
    // go; the chart and the dose stay until the next Start.
    void CaseEnded();
    // After every tick: the chart, the wake-up times and the dose.
    void StepsTaken();
    // The case's last bolus, as a resumed case had it.
    void ShowLastBolus(const QString& line);
    // A line about the case as a whole (a resumed case says so); empty hides it.
    void ShowNotice(const QString& text);
    // A line about what the case cannot keep (its data file, its journal)
    // while it lasts; empty hides it.
    void ShowStatus(const QString& text);

    double WakeUpLevel() const { return m_wakeUpLevel; }

    // Places the panel beside `window`'s original layout, of size `compact`:
    // `toggle` shows it, widening the window, or hides it, giving the window
    // back its compact size; the panel takes any room the window gains. It
    // starts shown where the screen has the room.
    void DockBeside(QWidget* window, QSize compact, QAbstractButton* toggle);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ShowBeside(bool shown);
    void GiveBolusClick();
    void WakeUpLevelEdited();
    void ShowWakeUpTimes();
    void ShowEleveld();

    sedalyn::CaseSession& m_case;
    double m_wakeUpLevel = 1.2;
    QSize m_compact;
};
