// Infusion rate entry and confirmation.

#include "CaseText.h"
#include "MessageBoxes.h"
#include "Unit1.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

using namespace sedalyn;

void TForm1::InfRateEditChange(QObject*)
{
    Changebutton->setEnabled(true);
    PendingRateChange = 1;
    QPalette palette = Infratelabel->palette();
    palette.setColor(QPalette::WindowText, Qt::red);
    Infratelabel->setPalette(palette);
    Infratelabel->repaint();
}

void TForm1::InfRateEditKeyPress(QObject*, char16_t& Key)
{
    if (Key == 13) {
        Key = 0;
        ChangebuttonClick(this);
    }
}

void TForm1::NoteRateInUse()
{
    // The running case takes the rate from the step that falls due next.
    if (CaseRunning())
        Timeline.ConfirmRate(CaseClock(), InfusionRate);
}

void TForm1::ChangebuttonClick(QObject*)
{
    const std::string text = InfRateEdit->text().toStdString();
    if (IsNonNegativeNumber(text)) {
        // The same parser converts, so no text can pass the check and then fail.
        InfusionRate = ParseNumber(text).value_or(0.0);
        NoteRateInUse();
        Infratelabel->setText(QStringLiteral("Propofol current infusion rate = ")
                              + GeneralText(InfusionRate, 15) + QStringLiteral(" mg/kg/hr."));
        InfRateEdit->setText(casetext::EditText(InfusionRate));
        PendingRateChange = 0;
        // Disabling the focused button would pass the focus on towards Abort.
        if (focusWidget() == Changebutton)
            InfRateEdit->setFocus();
        Changebutton->setEnabled(false);
        return;
    }
    InfusionRate = 0.0;
    NoteRateInUse();
    InfRateEdit->setText(QStringLiteral("0.0"));
    InputErrorBox(QStringLiteral(
        "Infusion rate - data not valid. All infusion rates must be >=0 and numeric."));
}
