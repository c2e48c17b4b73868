#include "CasePanel.h"

#include "MessageBoxes.h"
#include "TrendChartView.h"
#include "TrendPanel.h"
#include "WakeUp.h"

#include <QAbstractButton>
#include <QEvent>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

using namespace sedalyn;

namespace {

// Above this a bolus asks before it is given.
constexpr double LargeBolusMgPerKg = 4.0;
constexpr double MinWakeUpLevel = 0.1;
constexpr double MaxWakeUpLevel = 10.0;
// The room the panel takes beside the window, when it needs no more.
constexpr int DockedWidth = 580;

QFont PanelFont(bool bold = false)
{
    QFont font;
    font.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("Arial"),
                      QStringLiteral("Helvetica"), QStringLiteral("DejaVu Sans")});
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(13);
    font.setBold(bold);
    return font;
}

QLabel* Line(QWidget* parent, const char* name, bool bold = false)
{
    auto* label = new QLabel(parent);
    label->setObjectName(QLatin1String(name));
    label->setTextFormat(Qt::PlainText);
    label->setFont(PanelFont(bold));
    label->setWordWrap(true);
    return label;
}

// As typed: "." as decimal point whatever the locale, so it parses again.
QString LevelText(double level)
{
    return QString::fromStdString(FormatGeneral(level, 15, LocaleSettings{}));
}

QString CaseTimeText(std::int64_t ms)
{
    const std::int64_t seconds = ms / 1000;
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600, 2, 10, QLatin1Char('0'))
        .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
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

CasePanel::CasePanel(const CaseView& view, const LocaleSettings& locale, QWidget* parent)
    : QWidget(parent), m_view(view), m_locale(locale)
{
    setObjectName(QStringLiteral("CasePanel"));
    setFont(PanelFont());

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

    Trend = new TrendPanel(view.History, this);
    // The chart itself, not only the panel with its controls, gets 520 x 400.
    Trend->ChartView()->setMinimumSize(520, 400);
    Trend->setMinimumSize(Trend->minimumSizeHint());
    Trend->SetLocale(locale);
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
    entries->setColumnStretch(3, 1);
    BolusEdit->setFixedWidth(70);
    WakeUpLevelEdit->setFixedWidth(70);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 8, 8, 8);
    layout->addLayout(entries);
    layout->addWidget(Trend, 1);

    connect(BolusButton, &QPushButton::clicked, this, [this] { RunReportingErrors([this] { GiveBolusClick(); }); });
    connect(BolusEdit, &QLineEdit::returnPressed, this, [this] { RunReportingErrors([this] { GiveBolusClick(); }); });
    connect(WakeUpLevelEdit, &QLineEdit::editingFinished, this,
            [this] { RunReportingErrors([this] { WakeUpLevelEdited(); }); });

    CaseEnded();
}

void CasePanel::CaseStarted()
{
    m_running = true;
    BolusEdit->setEnabled(true);
    BolusButton->setEnabled(true);
    LastBolusLabel->clear();
    DoseLabel->clear();
    ShowNotice(QString());
    Trend->Reset();
    ShowWakeUpTimes();
}

void CasePanel::CaseEnded()
{
    m_running = false;
    BolusEdit->setEnabled(false);
    BolusButton->setEnabled(false);
    ShowWakeUpTimes();
}

void CasePanel::StepsTaken()
{
    Trend->Refresh();
    ShowWakeUpTimes();
    if (m_view.History.Empty())
        return;
    const double weight = m_view.Patient.PatientWeight;
    const double mg = m_view.History.GivenMg(weight);
    DoseLabel->setText(QStringLiteral("Given: %1 mg (%2 mg/kg) in %3")
                           .arg(Number(mg, 0), Number(mg / weight, 1),
                                MinutesText(m_view.History.Last().Minutes)));
}

void CasePanel::ShowLastBolus(double mg, std::int64_t caseMs)
{
    LastBolusLabel->setText(QStringLiteral("Last bolus: %1 mg (%2 mg/kg) at %3")
                                .arg(QString::fromStdString(FormatGeneral(mg, 15, m_locale)),
                                     Number(mg / m_view.Patient.PatientWeight, 1), CaseTimeText(caseMs)));
}

void CasePanel::ShowNotice(const QString& text)
{
    NoticeLabel->setText(text);
    NoticeLabel->setVisible(!text.isEmpty());
}

QString CasePanel::MinutesText(double minutes)
{
    // Never earlier than the model says: a wake-up time is rounded up.
    const auto seconds = static_cast<long long>(std::ceil(minutes * 60.0 - 1e-6));
    return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

void CasePanel::GiveBolusClick()
{
    if (!m_running)
        return;
    const std::optional<double> mg = ParseNumber(BolusEdit->text().toStdString());
    if (!mg || !(*mg > 0.0)) {
        InputErrorBox(QStringLiteral("Bolus - data not valid. A bolus must be a number of mg above 0."));
        return;
    }
    if (*mg > MaxBolusMg) {
        InputErrorBox(QStringLiteral("Bolus - data not valid. A bolus above 1000 mg is not accepted: "
                                     "check the dose and its unit (mg)."));
        return;
    }
    const double perKg = *mg / m_view.Patient.PatientWeight;
    if (perKg > LargeBolusMgPerKg
        && NoticeBox(QStringLiteral("A bolus of %1 mg is %2 mg/kg. Give it?")
                         .arg(QString::fromStdString(FormatGeneral(*mg, 15, m_locale)), Number(perKg, 1)),
                     ApplicationTitle, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2)
               != IDYES)
        return;
    // The case may have ended while the question was open.
    if (!m_running)
        return;
    BolusEdit->clear();
    emit BolusGiven(*mg);
}

void CasePanel::WakeUpLevelEdited()
{
    const QString committed = LevelText(m_wakeUpLevel);
    const QString text = WakeUpLevelEdit->text();
    if (text == committed)
        return;
    const std::optional<double> level = ParseNumber(text.toStdString());
    if (!level || !(*level >= MinWakeUpLevel && *level <= MaxWakeUpLevel)) {
        // Back first, so that the box taking the focus finds nothing to check.
        WakeUpLevelEdit->setText(committed);
        InputErrorBox(QStringLiteral("Wake-up level - data not valid. The level must be a number "
                                     "from 0.1 to 10 mcg/ml; it stays at %1.")
                          .arg(committed));
        return;
    }
    m_wakeUpLevel = *level;
    WakeUpLevelEdit->setText(LevelText(m_wakeUpLevel));
    Trend->SetWakeUpLevel(m_wakeUpLevel);
    ShowWakeUpTimes();
}

void CasePanel::ShowWakeUpTimes()
{
    // Only a running case has a current state to stop an infusion from.
    if (!m_running || m_view.History.Empty()) {
        WakeUpLabel->setText(QStringLiteral("Wake-up if stopped now: -"));
        return;
    }
    const auto minutes = WakeUpMinutes(m_view.Engine, m_view.Patient, m_wakeUpLevel);
    QStringList times;
    for (std::size_t i = 0; i < minutes.size(); ++i) {
        const QString time = !minutes[i] ? QStringLiteral("> 24 h")
                             : *minutes[i] <= 0.0 ? QStringLiteral("now")
                                                  : MinutesText(*minutes[i]);
        times << QLatin1String(AlgorithmName(AllAlgorithms[i])) + QLatin1Char(' ') + time;
    }
    WakeUpLabel->setText(QStringLiteral("Wake-up if stopped now: ") + times.join(QStringLiteral("  ")));
}

QString CasePanel::Number(double value, int decimals) const
{
    return QString::fromStdString(FormatFixed(value, 15, decimals, m_locale));
}
