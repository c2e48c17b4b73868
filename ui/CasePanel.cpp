#include "CasePanel.h"

#include "CaseSession.h"
#include "CaseText.h"
#include "MessageBoxes.h"
#include "Style.h"
#include "TrendChartView.h"
#include "TrendPanel.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

using namespace sedalyn;

namespace {

constexpr double MinWakeUpLevel = 0.1;
constexpr double MaxWakeUpLevel = 10.0;
// The room the panel takes beside the window, when it needs no more.
constexpr int DockedWidth = 580;

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

void CasePanel::DockBeside(QWidget* window, QSize compact, QAbstractButton* toggle)
{
    m_compact = compact;
    window->installEventFilter(this);
    connect(toggle, &QAbstractButton::toggled, this, &CasePanel::ShowBeside);
    const QScreen* screen = window->screen();
    const bool room = !screen || screen->availableGeometry().width() >= compact.width() + DockedWidth + 16;
    toggle->setChecked(room);
    ShowBeside(room);
}

void CasePanel::ShowBeside(bool shown)
{
    QWidget* window = parentWidget();
    setVisible(shown);
    if (!shown) {
        window->setMinimumSize(0, 0);
        window->resize(m_compact);
        return;
    }
    // The layout is measured before the panel has ever been shown.
    layout()->activate();
    const QSize needed = minimumSizeHint();
    const QSize wide(m_compact.width() + std::max(DockedWidth, needed.width()),
                     std::max(m_compact.height(), needed.height()));
    window->setMinimumSize(m_compact.width() + needed.width(), wide.height());
    window->resize(wide);
    // Keep the widened window on its screen.
    if (const QScreen* screen = window->screen()) {
        const QRect available = screen->availableGeometry();
        const int width = window->frameGeometry().width();
        if (window->x() + width > available.right())
            window->move(std::max(available.left(), available.right() - width), window->y());
    }
}

bool CasePanel::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == parentWidget() && event->type() == QEvent::Resize) {
        const QWidget* window = parentWidget();
        setGeometry(m_compact.width(), 0, std::max(0, window->width() - m_compact.width()), window->height());
    }
    return QWidget::eventFilter(watched, event);
}

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

    Trend = new TrendPanel(m_case.History(), this);
    // The chart itself, not only the panel with its controls, gets 520 x 400.
    Trend->ChartView()->setMinimumSize(520, 400);
    Trend->setMinimumSize(Trend->minimumSizeHint());
    Trend->SetLocale(m_case.Locale());
    Trend->SetWakeUpLevel(m_wakeUpLevel);

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
    entries->setColumnStretch(3, 1);
    BolusEdit->setFixedWidth(70);
    WakeUpLevelEdit->setFixedWidth(70);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->addLayout(eleveldRow);
    layout->addLayout(entries);
    layout->addWidget(Trend, 1);

    connect(BolusButton, &QPushButton::clicked, this, [this] { RunReportingErrors([this] { GiveBolusClick(); }); });
    connect(BolusEdit, &QLineEdit::returnPressed, this, [this] { RunReportingErrors([this] { GiveBolusClick(); }); });
    connect(OpioidCheck, &QCheckBox::toggled, this, [this](bool given) {
        m_case.SetOpioid(given);
        ShowEleveld();
    });
    connect(WakeUpLevelEdit, &QLineEdit::editingFinished, this,
            [this] { RunReportingErrors([this] { WakeUpLevelEdited(); }); });

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
    OpioidCheck->setEnabled(true);
    ShowEleveld();
}

void CasePanel::StepsTaken()
{
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
