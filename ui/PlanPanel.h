#pragma once
// The dosing plan in the side panel: what to aim at, the plan as a short
// table of times, boluses and rates with the row due next marked, the line
// that says what to set now, and whether the case follows it. The plan is
// shown, never applied: the user gives each dose as always.

#include <QGroupBox>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
namespace sedalyn {
class CaseSession;
}

class PlanPanel : public QGroupBox {
    Q_OBJECT

public:
    // `session` outlives the panel.
    PlanPanel(sedalyn::CaseSession& session, QWidget* parent = nullptr);

    QLineEdit* TargetEdit = nullptr;
    QLineEdit* ReachEdit = nullptr;
    QComboBox* StepChoice = nullptr;
    QComboBox* ModelChoice = nullptr;
    QPushButton* PlanButton = nullptr;
    QPushButton* ClearButton = nullptr;
    QPushButton* ReplanButton = nullptr; // offered once the plan is not followed
    QLabel* SummaryLabel = nullptr;
    QLabel* DueLabel = nullptr;
    QLabel* Table = nullptr; // a few rows around the one due next

    // After a tick, a rate, a bolus, Start or Abort.
    void Refresh();

signals:
    // A plan was made or cleared: the chart shows its course.
    void PlanChanged();

private:
    void PlanClick();
    void ClearClick();
    void FillTable();

    sedalyn::CaseSession& m_case;
};
