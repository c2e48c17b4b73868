// Infusion rate entry and confirmation.

#include "CaseText.h"
#include "MessageBoxes.h"
#include "Unit1.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

using namespace sedalyn;

namespace {

// Above this a confirmation asks whether the unit is right.
constexpr double UnusuallyHighRate = 30.0; // mg/kg/hr

} // namespace

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
    if (!CaseRunning())
        return;
    Timeline.ConfirmRate(CaseClock(), InfusionRate);
    JournalCase();
}

void TForm1::ChangebuttonClick(QObject*)
{
    RateDeclined = false;
    const std::string text = InfRateEdit->text().toStdString();
    // The same parser checks and converts, so no text can pass the check
    // and then fail.
    const std::optional<double> rate = IsNonNegativeNumber(text) ? ParseNumber(text) : std::nullopt;
    if (rate && *rate <= MaxInfusionRate) {
        // A rate entered in ml/h looks like a very high one in mg/kg/hr.
        if (*rate > UnusuallyHighRate && *rate != InfusionRate
            && NoticeBox(QStringLiteral("A rate of ") + GeneralText(*rate, 15)
                             + QStringLiteral(" mg/kg/hr is unusually high. Is it in mg/kg/hr (not ml/h)?"),
                         windowTitle(), MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2)
                   != IDYES) {
            RateDeclined = true;
            return;
        }
        InfusionRate = *rate;
        NoteRateInUse();
        Infratelabel->setText(RateLine(InfusionRate));
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
    // The line shows the rate the models now use.
    Infratelabel->setText(RateLine(InfusionRate));
    InfRateEdit->setText(QStringLiteral("0.0"));
    InputErrorBox(rate ? QString::fromLatin1(RateAboveMaximumText)
                       : QStringLiteral("Infusion rate - data not valid. All infusion rates must be "
                                        ">=0 and numeric."));
}

QString TForm1::RateLine(double rate) const
{
    return QStringLiteral("Propofol current infusion rate = ") + GeneralText(rate, 15)
           + QStringLiteral(" mg/kg/hr.");
}
