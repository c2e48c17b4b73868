// Creation defaults, Start, Abort, Close and the two clocks.

#include "CasePanel.h"
#include "CaseText.h"
#include "MessageBoxes.h"
#include "ThdTimer.h"
#include "Unit1.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

using namespace sedalyn;
using casetext::Q;

namespace {

constexpr int ClockInterval = 1000;
void ZeroConcentrationLabels(TForm1& form)
{
    for (QLabel* label : {form.Jameslabel, form.James1label, form.Humelabel, form.Hume1label,
                          form.Hanlabel, form.Han1label})
        label->setText(QStringLiteral("0.00"));
}

// The patient fields and Confirm open, Start closed.
void EnablePatientEntry(TForm1& form)
{
    for (QWidget* control : {static_cast<QWidget*>(form.HeightEdit),
                             static_cast<QWidget*>(form.AgeEdit),
                             static_cast<QWidget*>(form.WeightEdit),
                             static_cast<QWidget*>(form.Genderbutton)})
        control->setEnabled(true);
    form.StartButton->setEnabled(false);
    form.ConfirmPatient->setEnabled(true);
}

} // namespace

void TForm1::init()
{
    // The gender is read from its button whenever a formula needs it.
    Patient.GenderCaption = [this] { return Genderbutton->text().toStdString(); };

    DisclaimerShown = false;
    Timer1->setInterval(ClockInterval);
    Timer1->start();
    ZeroConcentrationLabels(*this);
    Timer2->stop();
    Timer3->SetEnabled(false);
    Timer3->SetInterval(TickInterval);
    EnablePatientEntry(*this);
    for (QLineEdit* edit : {InfRateEdit, HeightEdit, AgeEdit, WeightEdit})
        edit->setText(QStringLiteral("0"));
    QPalette panel = Panel1->palette();
    panel.setColor(QPalette::Window, Qt::white);
    Panel1->setPalette(panel);
    Label18->setText(QStringLiteral("Elapsed   ") + Q(TimeText(0.0, m_locale)));
    Changebutton->setEnabled(false);
    Infratelabel->setText(QString());
    QCoreApplication::setApplicationName(ApplicationTitle);
    InitiateTrayIconData(TrayIconData, windowIcon(), QCoreApplication::applicationName());
    DataFileOpenLabel->hide();
    DataFileName->hide();
    PendingRateChange = 1;
}

void TForm1::StartButtonClick(QObject*)
{
    Engine.ResetModels();
    // The case's clock starts here; the rate confirmed below counts from it.
    m_caseClockOrigin = MonotonicMs();
    m_caseStartUtcMs = UtcMs();
    Timeline.Start(InfusionRate);
    History.Clear();
    Side->CaseStarted();
    Timer3->SetEnabled(true);
    // Disabling the focused Start would pass the focus on to Abort.
    InfRateEdit->setFocus();
    StartButton->setEnabled(false);
    Timer2->start();
    CaseStartTime = Now();
    Label18->setText(QStringLiteral("Elapsed  ") + Q(TimeText(Now() - CaseStartTime, m_locale)));
    PendingRateChange = 0;
    ChangebuttonClick(this);
    Changebutton->setEnabled(false);
    JournalCase();
}

void TForm1::AbortButtonClick(QObject*)
{
    // Neither a stray Space nor a slip of the mouse ends a running case.
    if (CaseRunning()
        && NoticeBox(QStringLiteral("End the running case?"), windowTitle(),
                     MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2)
               != IDYES)
        return;
    ZeroConcentrationLabels(*this);
    Label18->setText(QStringLiteral("Elapsed  ") + Q(TimeText(0.0, m_locale)));
    Timer2->stop();
    Timer3->SetEnabled(false);
    Timer3->SetInterval(TickInterval);
    EnablePatientEntry(*this);
    Changebutton->setEnabled(false);
    Side->CaseEnded();
    EndJournal();
    ShowPatientWarnings({});
    if (DataFileOpen)
        CloseDataFileOnAbort();
}

bool TForm1::CaseRunning() const
{
    return Timer3->Enabled();
}

void TForm1::BitBtn3Click(QObject*)
{
    // The button's kind closes the window; nothing else to do here.
}

void TForm1::OnClose()
{
    // Closed on purpose: nothing to resume.
    EndJournal();
    if (DataFileOpen)
        CloseDataFileOnClose();
    RemoveTrayIcon(TrayIconData);
}

void TForm1::Timer1Timer(QObject*)
{
    const DateTimeDays now = Now();
    Label1->setText(Q(DateText(now, m_locale)));
    Label2->setText(Q(TimeText(now, m_locale)));
}

void TForm1::Timer2Timer(QObject*)
{
    Label18->setText(QStringLiteral("Elapsed  ") + Q(TimeText(Now() - CaseStartTime, m_locale)));
}
