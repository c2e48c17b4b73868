#include "PlanPanel.h"

#include "CaseSession.h"
#include "MessageBoxes.h"
#include "Style.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>
#include <cmath>

using namespace sedalyn;

namespace {

constexpr int VisibleRows = 5;

QLabel* Caption(const QString& text, QWidget* buddy, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setBuddy(buddy);
    return label;
}

} // namespace

PlanPanel::PlanPanel(CaseSession& session, QWidget* parent)
    : QGroupBox(QStringLiteral("Dosing plan (a model's prediction)"), parent), m_case(session)
{
    setObjectName(QStringLiteral("PlanPanel"));
    TargetEdit = new QLineEdit(QStringLiteral("3"), this);
    TargetEdit->setObjectName(QStringLiteral("PlanTargetEdit"));
    TargetEdit->setToolTip(QStringLiteral("The effect-site concentration to reach and hold, mcg/ml."));
    ReachEdit = new QLineEdit(QStringLiteral("5"), this);
    ReachEdit->setObjectName(QStringLiteral("PlanReachEdit"));
    ReachEdit->setToolTip(QStringLiteral("Minutes from now by which the target is reached."));
    for (QLineEdit* edit : {TargetEdit, ReachEdit})
        edit->setFixedWidth(45);
    StepChoice = new QComboBox(this);
    StepChoice->setObjectName(QStringLiteral("PlanStepChoice"));
    for (const double minutes : PlanStepChoices)
        StepChoice->addItem(QString::number(minutes), minutes);
    StepChoice->setCurrentIndex(1);
    StepChoice->setFixedWidth(55);
    ModelChoice = new QComboBox(this);
    ModelChoice->setObjectName(QStringLiteral("PlanModelChoice"));
    for (const ModelKind kind : {ModelKind::James, ModelKind::Hume, ModelKind::Janmahasatian, ModelKind::Eleveld})
        ModelChoice->addItem(QLatin1String(ModelKindName(kind)), static_cast<int>(kind));

    ModelChoice->setFixedWidth(125);
    PlanButton = new QPushButton(QStringLiteral("Plan"), this);
    PlanButton->setObjectName(QStringLiteral("PlanButton"));
    ClearButton = new QPushButton(QStringLiteral("Clear plan"), this);
    ClearButton->setObjectName(QStringLiteral("ClearPlanButton"));
    ReplanButton = new QPushButton(QStringLiteral("Replan"), this);
    ReplanButton->setObjectName(QStringLiteral("ReplanButton"));
    for (QPushButton* button : {PlanButton, ClearButton, ReplanButton})
        button->setAutoDefault(false);

    SummaryLabel = new QLabel(this);
    SummaryLabel->setObjectName(QStringLiteral("PlanSummaryLabel"));
    SummaryLabel->setTextFormat(Qt::PlainText);
    SummaryLabel->setWordWrap(true);
    DueLabel = new QLabel(this);
    DueLabel->setObjectName(QStringLiteral("PlanDueLabel"));
    DueLabel->setTextFormat(Qt::PlainText);
    DueLabel->setFont(style::PanelFont(true));
    style::SetTextColour(DueLabel, style::Maroon);

    Table = new QLabel(this);
    Table->setObjectName(QStringLiteral("PlanTable"));
    Table->setTextFormat(Qt::RichText);

    auto* grid = new QGridLayout;
    // One caption and one field a row: the panel must fit a narrow strip.
    grid->addWidget(Caption(QStringLiteral("Target Ce"), TargetEdit, this), 0, 0);
    grid->addWidget(TargetEdit, 0, 1);
    grid->addWidget(Caption(QStringLiteral("Reach in (min)"), ReachEdit, this), 1, 0);
    grid->addWidget(ReachEdit, 1, 1);
    grid->addWidget(Caption(QStringLiteral("Steps every (min)"), StepChoice, this), 2, 0);
    grid->addWidget(StepChoice, 2, 1);
    grid->addWidget(Caption(QStringLiteral("Model"), ModelChoice, this), 3, 0);
    grid->addWidget(ModelChoice, 3, 1);
    grid->setColumnStretch(2, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(PlanButton);
    buttons->addWidget(ClearButton);
    buttons->addWidget(ReplanButton);
    buttons->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);
    layout->addWidget(SummaryLabel);
    layout->addWidget(DueLabel);
    layout->addWidget(Table);

    // Replan makes a plan from the boxes as they stand, as Plan does.
    for (QPushButton* button : {PlanButton, ReplanButton})
        connect(button, &QPushButton::clicked, this, [this] { RunReportingErrors([this] { PlanClick(); }); });
    connect(ClearButton, &QPushButton::clicked, this, [this] { RunReportingErrors([this] { ClearClick(); }); });
    Refresh();
}

void PlanPanel::PlanClick()
{
    const auto kind = static_cast<ModelKind>(ModelChoice->currentData().toInt());
    const PlanOutcome outcome =
        m_case.MakePlan(kind, TargetEdit->text(), ReachEdit->text(), StepChoice->currentData().toDouble());
    if (!outcome.Refusal.isEmpty())
        InputErrorBox(outcome.Refusal);
    Refresh();
    emit PlanChanged();
}

void PlanPanel::ClearClick()
{
    m_case.ClearPlan();
    Refresh();
    emit PlanChanged();
}

void PlanPanel::Refresh()
{
    const CasePlan& plan = m_case.Plan();
    PlanButton->setEnabled(m_case.Running());
    ClearButton->setEnabled(plan.Active());
    ReplanButton->setVisible(plan.Active() && plan.DepartedAt().has_value());
    SummaryLabel->setText(m_case.PlanSummary());
    SummaryLabel->setVisible(plan.Active());
    const QString due = m_case.PlanLine();
    DueLabel->setText(due);
    DueLabel->setVisible(!due.isEmpty());
    FillTable();
}

void PlanPanel::FillTable()
{
    const CasePlan& plan = m_case.Plan();
    const auto& rows = plan.Rows();
    if (!plan.Active() || rows.empty()) {
        Table->clear();
        Table->hide();
        return;
    }
    // The row before the one due next, and the next few.
    const std::size_t next = plan.NextRow();
    const bool followed = !plan.DepartedAt();
    const std::size_t first = std::min(next > 0 ? next - 1 : 0, rows.size() - std::min<std::size_t>(rows.size(), VisibleRows));
    QString html = QStringLiteral("<table cellspacing=0 cellpadding=2><tr><th align=left>Time</th>"
                                  "<th align=right>Bolus (mg)</th><th align=right>Rate (mg/kg/hr)</th></tr>");
    for (std::size_t i = first; i < rows.size() && i < first + VisibleRows; ++i) {
        const PlanRow& row = rows[i];
        html += i == next && followed ? QStringLiteral("<tr style=\"background-color:#fff0c0; font-weight:bold\">")
                          : QStringLiteral("<tr>");
        html += QStringLiteral("<td>%1</td><td align=right>%2</td><td align=right>%3</td></tr>")
                    .arg(m_case.PlanClockText(row.At).toHtmlEscaped(),
                         row.BolusMg > 0.0 ? QString::number(row.BolusMg) : QString(),
                         QString::fromStdString(FormatFixed(row.Rate, 15, 1, m_case.Locale())));
    }
    if (first + VisibleRows < rows.size())
        html += QStringLiteral("<tr><td colspan=3>%1 more rows</td></tr>").arg(rows.size() - first - VisibleRows);
    Table->setText(html + QStringLiteral("</table>"));
    Table->show();
}
