#include "CasePanel.h"

#include "CaseSession.h"
#include "CaseReview.h"
#include "CaseText.h"
#include "MessageBoxes.h"
#include "PlanPanel.h"
#include "Style.h"
#include "TrendChartView.h"
#include "TrendExport.h"
#include "TrendPanel.h"
#include "TrendProjection.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QDateTime>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

using namespace sedalyn;

namespace {

constexpr double MinWakeUpLevel = 0.1;
constexpr double MaxWakeUpLevel = 10.0;

QLabel* Line(QWidget* parent, const char* name, bool bold = false)
{
    auto* label = new QLabel(parent);
    label->setObjectName(QLatin1String(name));
    label->setTextFormat(Qt::PlainText);
    label->setFont(style::PanelFont(bold));
    label->setWordWrap(true);
    return label;
}

// As typed: "." as decimal point whatever the locale, so it parses again.
QString LevelText(double level)
{
    return QString::fromStdString(FormatGeneral(level, 15, LocaleSettings{}));
}

} // namespace

CasePanel::CasePanel(CaseSession& session, QWidget* parent) : QWidget(parent), m_case(session)
{
    setObjectName(QStringLiteral("CasePanel"));
    setFont(style::PanelFont());

    OpioidCheck = new QCheckBox(QStringLiteral("Opioid given"), this);
    OpioidCheck->setObjectName(QStringLiteral("OpioidCheck"));
    OpioidCheck->setToolTip(QStringLiteral(
        "Opioids given with the propofol: the Eleveld model clears propofol more slowly with "
        "them. Set before Start; fixed while the case runs."));
    EleveldLabel = Line(this, "EleveldLabel", true);
    style::SetTextColour(EleveldLabel, style::EleveldColour);
    auto* eleveldRow = new QHBoxLayout;
    eleveldRow->addWidget(EleveldLabel, 1);
    eleveldRow->addWidget(OpioidCheck);

    auto* bolusCaption = Line(this, "BolusCaption", true);
    bolusCaption->setText(QStringLiteral("Bolus (mg)"));
    BolusEdit = new QLineEdit(this);
    BolusEdit->setObjectName(QStringLiteral("BolusEdit"));
    BolusButton = new QPushButton(QStringLiteral("Give bolus"), this);
    BolusButton->setObjectName(QStringLiteral("BolusButton"));
    BolusButton->setAutoDefault(false);
    const QString onlyWhileRunning = QStringLiteral(
        "A bolus can be given only while a case runs: Start sets the models to zero, so a "
        "bolus before Start would have nothing to add to. It enters at the next tick.");
    for (QWidget* w : {static_cast<QWidget*>(BolusEdit), static_cast<QWidget*>(BolusButton)})
        w->setToolTip(onlyWhileRunning);
    LastBolusLabel = Line(this, "LastBolusLabel");

    auto* levelCaption = Line(this, "WakeUpLevelCaption", true);
    levelCaption->setText(QStringLiteral("Wake-up level (mcg/ml)"));
    WakeUpLevelEdit = new QLineEdit(LevelText(m_wakeUpLevel), this);
    WakeUpLevelEdit->setObjectName(QStringLiteral("WakeUpLevelEdit"));
    WakeUpLevelEdit->setToolTip(QStringLiteral(
        "The effect-site concentration at which the model expects an average patient to "
        "wake: 0.1 to 10 mcg/ml. A prediction, not a promise of waking."));
    WakeUpLabel = Line(this, "WakeUpLabel");
    DoseLabel = Line(this, "DoseLabel");
    NoticeLabel = Line(this, "NoticeLabel", true);
    NoticeLabel->hide();
    StatusLabel = Line(this, "StatusLabel", true);
    style::SetTextColour(StatusLabel, style::Maroon);
    StatusLabel->hide();
    // A long word (a file's path) is cut at the panel's edge rather than
    // widen the panel past the window.
    for (QLabel* line : {LastBolusLabel, WakeUpLabel, DoseLabel, NoticeLabel, StatusLabel})
        line->setMinimumWidth(1);

    Trend = new TrendPanel(m_case.History(), this);
    // The chart itself, not only the panel with its controls, gets 520 x 400.
    Trend->ChartView()->setMinimumSize(520, 400);
    Trend->setMinimumSize(Trend->minimumSizeHint());
    Trend->SetLocale(m_case.Locale());
    Trend->SetWakeUpLevel(m_wakeUpLevel);
    Projection = new TrendProjection(*Trend);
    PlanView = new PlanPanel(m_case, this);
    Trend->TitleBlock = [this] { return TrendTitleBlock(m_case, QDateTime::currentDateTime()); };

    auto* entries = new QGridLayout;
    entries->addWidget(bolusCaption, 0, 0);
    entries->addWidget(BolusEdit, 0, 1);
    entries->addWidget(BolusButton, 0, 2);
    entries->addWidget(LastBolusLabel, 1, 0, 1, 4);
    entries->addWidget(levelCaption, 2, 0);
    entries->addWidget(WakeUpLevelEdit, 2, 1);
    entries->addWidget(WakeUpLabel, 3, 0, 1, 4);
    entries->addWidget(DoseLabel, 4, 0, 1, 4);
    entries->addWidget(NoticeLabel, 5, 0, 1, 4);
    entries->addWidget(StatusLabel, 6, 0, 1, 4);
    SaveReportButton = new QPushButton(QStringLiteral("Save report…"), this);
    SaveReportButton->setObjectName(QStringLiteral("SaveReportButton"));
    SaveReportButton->setAutoDefault(false);
    ReviewButton = new QPushButton(QStringLiteral("Review a case…"), this);
    ReviewButton->setObjectName(QStringLiteral("ReviewButton"));
    ReviewButton->setAutoDefault(false);
    entries->addWidget(SaveReportButton, 7, 0);
    entries->addWidget(ReviewButton, 7, 1, 1, 2);
    entries->setColumnStretch(3, 1);
    BolusEdit->setFixedWidth(70);
    WakeUpLevelEdit->setFixedWidth(70);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    // Eleveld and the plan under the entries: the bolus entry and the
    // wake-up times stay at the top of a small screen's strip.
    layout->addLayout(entries);
    layout->addLayout(eleveldRow);
    layout->addWidget(PlanView);
    layout->addWidget(Trend, 1);

    connect(BolusButton, &QPushButton::clicked, this, [this] { RunReportingErrors([this] { GiveBolusClick(); }); });
    connect(BolusEdit, &QLineEdit::returnPressed, this, [this] { RunReportingErrors([this] { GiveBolusClick(); }); });
    connect(OpioidCheck, &QCheckBox::toggled, this, [this](bool given) {
        m_case.SetOpioid(given);
        ShowEleveld();
    });
    connect(WakeUpLevelEdit, &QLineEdit::editingFinished, this,
            [this] { RunReportingErrors([this] { WakeUpLevelEdited(); }); });
    connect(PlanView, &PlanPanel::PlanChanged, this, [this] {
        ShowPlan();
        Trend->Refresh();
        Trend->ChartView()->viewport()->update();
    });

    TSaveDialog* reportDialog = NewReportDialog(this);
    connect(SaveReportButton, &QPushButton::clicked, this, [this, reportDialog] {
        RunReportingErrors([&] { SaveReportClick(m_case.DataFile().Path(), m_case.Locale(), *reportDialog, window()); });
    });
    connect(ReviewButton, &QPushButton::clicked, this,
            [this] { RunReportingErrors([this] { ReviewCaseClick(m_case.Locale(), window()); }); });

    CaseEnded();
}

void CasePanel::CaseStarted()
{
    BolusEdit->setEnabled(true);
    BolusButton->setEnabled(true);
    LastBolusLabel->clear();
    DoseLabel->clear();
    ShowNotice(QString());
    Trend->Reset();
    ShowWakeUpTimes();
    ShowPlan();
    // A resumed case brings its own setting.
    OpioidCheck->setChecked(m_case.Opioid());
    OpioidCheck->setEnabled(false);
    ShowEleveld();
}

void CasePanel::CaseEnded()
{
    BolusEdit->setEnabled(false);
    BolusButton->setEnabled(false);
    ShowWakeUpTimes();
    ShowPlan();
    OpioidCheck->setEnabled(true);
    ShowEleveld();
}

void CasePanel::StepsTaken()
{
    ShowPlan();
    Trend->Refresh();
    ShowWakeUpTimes();
    ShowEleveld();
    if (const QString dose = m_case.DoseLine(); !dose.isEmpty())
        DoseLabel->setText(dose);
}

void CasePanel::ShowLastBolus(const QString& line)
{
    LastBolusLabel->setText(line);
}

void CasePanel::ShowNotice(const QString& text)
{
    NoticeLabel->setText(text);
    NoticeLabel->setVisible(!text.isEmpty());
}

void CasePanel::ShowPlan()
{
    // Before the chart redraws, so that its scales make room for the projection.
    Projection->Update(m_case);
    PlanView->Refresh();
}

void CasePanel::ShowStatus(const QString& text)
{
    if (StatusLabel->text() == text)
        return;
    StatusLabel->setText(text);
    StatusLabel->setVisible(!text.isEmpty());
}

void CasePanel::GiveBolusClick()
{
    BolusOutcome outcome = m_case.GiveBolus(BolusEdit->text());
    if (outcome.What == BolusOutcome::Kind::Question) {
        if (NoticeBox(outcome.Text, ApplicationTitle, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES)
            return;
        // The case may have ended while the question was open: then nothing is given.
        outcome = m_case.GiveBolus(BolusEdit->text(), true);
    }
    switch (outcome.What) {
    case BolusOutcome::Kind::Given:
        BolusEdit->clear();
        ShowLastBolus(outcome.LastBolusLine);
        PlanView->Refresh();
        break;
    case BolusOutcome::Kind::Refused:
        InputErrorBox(outcome.Text);
        break;
    case BolusOutcome::Kind::Question:
    case BolusOutcome::Kind::NoCase:
        break;
    }
}

void CasePanel::WakeUpLevelEdited()
{
    const QString committed = LevelText(m_wakeUpLevel);
    const QString text = WakeUpLevelEdit->text();
    if (text == committed)
        return;
    const LocaleSettings& locale = m_case.Locale();
    const std::optional<double> level = casetext::BoxNumber(text, locale);
    if (!level || !(*level >= MinWakeUpLevel && *level <= MaxWakeUpLevel)) {
        // Back first, so that the box taking the focus finds nothing to check.
        WakeUpLevelEdit->setText(committed);
        InputErrorBox(QStringLiteral("Wake-up level - data not valid. The level must be a number "
                                     "from %1 to %2 mcg/ml (the decimal mark may be %3); it stays at %4.")
                          .arg(LevelText(MinWakeUpLevel), LevelText(MaxWakeUpLevel),
                               casetext::DecimalMarks(locale), committed));
        return;
    }
    m_wakeUpLevel = *level;
    WakeUpLevelEdit->setText(LevelText(m_wakeUpLevel));
    Trend->SetWakeUpLevel(m_wakeUpLevel);
    ShowWakeUpTimes();
}

void CasePanel::ShowWakeUpTimes()
{
    WakeUpLabel->setText(m_case.WakeUpLine(m_wakeUpLevel));
}

void CasePanel::ShowEleveld()
{
    // Zero outside a case, as the window's six.
    const bool running = m_case.Running();
    const double plasma = running ? m_case.Eleveld().Plasma() : 0.0;
    const double effect = running ? m_case.Eleveld().EffectSite() : 0.0;
    EleveldLabel->setText(QStringLiteral("Eleveld, %1:  plasma %2  effect site %3 mcg/ml")
                              .arg(m_case.Opioid() ? QStringLiteral("with opioid") : QStringLiteral("no opioid"),
                                   m_case.ConcentrationText(plasma).trimmed(),
                                   m_case.ConcentrationText(effect).trimmed()));
    Trend->SetOpioid(m_case.Opioid());
}
