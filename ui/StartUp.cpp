// The main window's first show (tray icon and disclaimer), its Help button,
// and the program's end with the main window.

#include "StartUp.h"

#include "Unit1.h"
#include "Unit2.h"

#include <QApplication>
#include <QLineEdit>
#include <QTimer>


namespace {

// Set while the first-show work waits for, or runs, the disclaimer's modal
// display. Hiding and showing the main window from the tray meanwhile runs
// onshow again before DisclaimerShown is set; this keeps it from starting
// the work a second time. A property rather than a shared flag, so that it
// dies with its window.
const char* const FirstShowRunning = "sedalynFirstShowRunning";

bool IsFirstShowRunning(const TForm1* form)
{
    return form->property(FirstShowRunning).toBool();
}

void FocusAgeEditIfEnabled(TForm1* form)
{
    // Disabled once the patient is confirmed, enabled again by Abort.
    if (form->AgeEdit && form->AgeEdit->isEnabled())
        form->AgeEdit->setFocus();
}

void ShowDisclaimerModally(TForm1* form)
{
    TForm2* disclaimer = form->Disclaimer;
    // Closed (Cancel on the still non-modal disclaimer) or hidden again before
    // this ran: the next show starts over.
    if (!form->isVisible() || !disclaimer) {
        form->setProperty(FirstShowRunning, false);
        return;
    }
    // Answered before this ran: it never comes back. Otherwise it waits here,
    // already modal: exec shows a hidden one and never maps a shown one anew.
    if (disclaimer->result() != QDialog::Accepted)
        disclaimer->exec(); // Accept, or Cancel, which has closed the main window
    form->SetDisclaimerShown(true);
    form->setProperty(FirstShowRunning, false);
    FocusAgeEditIfEnabled(form);
    if (disclaimer->result() == QDialog::Accepted)
        form->OfferResume();
}

} // namespace

void TForm1::onshow()
{
    if (!m_disclaimerShown && !IsFirstShowRunning(this)) {
        AddTrayIcon(m_trayIconData);
        if (Disclaimer) {
            // The show event comes before the window is on screen; running the
            // modal display from the event loop puts the disclaimer over a main
            // window that is already visible (and disabled while it waits).
            setProperty(FirstShowRunning, true);
            QTimer::singleShot(0, this, [this] { ShowDisclaimerModally(this); });
            return;
        }
        m_disclaimerShown = true;
    }
    FocusAgeEditIfEnabled(this);
}

void TForm1::BitBtn1Click(QObject* Sender)
{
    if (Disclaimer)
        Disclaimer->BitBtn3Click(Sender);
    else
        TForm2::OpenHelpDocument();
}

void EndProgramWithMainWindow(QApplication& app, TForm1& mainWindow)
{
    QApplication::setQuitOnLastWindowClosed(false);
    // exit rather than quit: quit would try to close every window again.
    QObject::connect(&mainWindow, &TForm1::Closed, &app, [] { QCoreApplication::exit(0); });
}
