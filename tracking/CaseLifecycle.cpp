// Creation defaults, Start, Abort, Close and the two clocks.

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
constexpr unsigned TickInterval = 5000;
const QString ZeroConcentration = QStringLiteral("0.00");

} // namespace

void TForm1::init()
{
    // The gender is read from its button whenever a formula needs it.
    Patient.GenderCaption = [this] { return Genderbutton->text().toStdString(); };

    DisclaimerShown = false;
    Timer1->setInterval(ClockInterval);
    Timer1->start();
    for (QLabel* label : {Jameslabel, James1label, Humelabel, Hume1label, Hanlabel, Han1label})
        label->setText(ZeroConcentration);
    Timer2->stop();
    Timer3->SetEnabled(false);
    Timer3->SetInterval(TickInterval);
    for (QWidget* control : {static_cast<QWidget*>(HeightEdit), static_cast<QWidget*>(AgeEdit),
                             static_cast<QWidget*>(WeightEdit), static_cast<QWidget*>(Genderbutton)})
        control->setEnabled(true);
    StartButton->setEnabled(false);
    ConfirmPatient->setEnabled(true);
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
    Timer3->SetEnabled(true);
    StartButton->setEnabled(false);
    Timer2->start();
    CaseStartTime = Now();
    Label18->setText(QStringLiteral("Elapsed  ") + Q(TimeText(Now() - CaseStartTime, m_locale)));
    PendingRateChange = 0;
    ChangebuttonClick(this);
    Changebutton->setEnabled(false);
}

void TForm1::AbortButtonClick(QObject*)
{
    for (QLabel* label : {Jameslabel, James1label, Humelabel, Hume1label, Hanlabel, Han1label})
        label->setText(ZeroConcentration);
    Label18->setText(QStringLiteral("Elapsed  ") + Q(TimeText(0.0, m_locale)));
    Timer2->stop();
    Timer3->SetEnabled(false);
    Timer3->SetInterval(TickInterval);
    for (QWidget* control : {static_cast<QWidget*>(HeightEdit), static_cast<QWidget*>(AgeEdit),
                             static_cast<QWidget*>(WeightEdit), static_cast<QWidget*>(Genderbutton)})
        control->setEnabled(true);
    StartButton->setEnabled(false);
    ConfirmPatient->setEnabled(true);
    Changebutton->setEnabled(false);
    if (DataFileOpen)
        CloseDataFileOnAbort();
}

void TForm1::BitBtn3Click(QObject*)
{
    // The button's kind closes the window; nothing else to do here.
}

void TForm1::OnClose()
{
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
