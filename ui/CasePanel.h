#pragma once
// The area beside the main window's original layout: the bolus entry, the
// wake-up times, the dose given so far, notices about the case, and the
// trend chart. It shows the case and passes boluses on to it.

#include <QWidget>

class QAbstractButton;
class QCheckBox;
class QLabel;
class QLineEdit;
class PlanPanel;
class QPushButton;
class TrendPanel;
class TrendProjection;
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
    PlanPanel* PlanView = nullptr;         // the dosing plan
    TrendProjection* Projection = nullptr; // the chart's look ahead
    QPushButton* SaveReportButton = nullptr; // the running or last case's report, from its data file
    QPushButton* ReviewButton = nullptr;     // a past case's data file in a window of its own

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

private:
    void GiveBolusClick();
    void WakeUpLevelEdited();
    void ShowWakeUpTimes();
    void ShowPlan();
    void ShowEleveld();

    sedalyn::CaseSession& m_case;
    double m_wakeUpLevel = 1.2;
};
