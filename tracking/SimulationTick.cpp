// The 5-second simulation tick.

#include "CasePanel.h"
#include "CaseText.h"
#include "MessageBoxes.h"
#include "Unit1.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <vector>

using namespace sedalyn;

namespace {

constexpr std::uint8_t TicksPerRow = 6;

CaseRecord RecordOf(const PharmacokineticEngine& engine, const StepInput& input)
{
    return {engine.JamesModel.State[StateTime], input.Rate, input.BolusMg, engine.Concentrations()};
}

} // namespace

void TForm1::Timer3Timer(QObject*)
{
    // Disabling the focused Abort would hand the focus on to Close, where the
    // next Space would end the program.
    const bool abortHadFocus = focusWidget() == AbortButton;
    AbortButton->setEnabled(false);

    // Every step due since Start, each at the rate confirmed when it fell
    // due: a box that held the previous tick leaves no gap in model time.
    std::vector<QStringList> rows;
    const CaseClockMs clock = CaseClock();
    const DateTimeDays now = Now();
    const std::int64_t due = Timeline.StepsDue(clock);
    for (std::int64_t step = 1; step <= due; ++step) {
        const bool last = step == due;
        const StepInput input = Timeline.TakeStep(last);
        Engine.AdvanceTick(Patient, input.Rate, input.BolusMg);
        History.Append(RecordOf(Engine, input));
        if (!DataFileOpen)
            continue;
        // A row carries the moment its step fell due, on today's wall clock:
        // made up after a delay, it is dated when it should have been written.
        const CaseClockMs late = clock - Timeline.StepsTaken() * CaseTimeline::StepMs;
        const DateTimeDays time = now - static_cast<double>(late) / MillisecondsPerDay;
        if (++LogTickCount == TicksPerRow) {
            LogTickCount = 0;
            rows.push_back(DataRowFields(time, InfRateEdit->text()));
        }
        if (input.BolusMg > 0.0)
            rows.push_back(DataRowFields(
                time, QStringLiteral("bolus ") + casetext::EditText(input.BolusMg) + QStringLiteral(" mg")));
    }

    const auto show = [this](QLabel* label, double value) {
        label->setText(casetext::Q(FormatFixed(value, 6, 2, m_locale)));
    };
    show(Jameslabel, Engine.JamesModel.State[StatePlasma]);
    show(James1label, Engine.JamesModel.State[StateEffectSite]);
    show(Humelabel, Engine.HumeModel.State[StatePlasma]);
    show(Hume1label, Engine.HumeModel.State[StateEffectSite]);
    show(Hanlabel, Engine.HanModel.State[StatePlasma]);
    show(Han1label, Engine.HanModel.State[StateEffectSite]);
    AbortButton->setEnabled(true);
    if (abortHadFocus)
        AbortButton->setFocus();
    Side->StepsTaken();

    WriteDataRows(rows);
    JournalCase();

    if (PendingRateChange > 1
        && NoticeBox(QStringLiteral("Confirm the rate change!"), windowTitle(), MB_OKCANCEL) == IDOK) {
        ChangebuttonClick(this);
        // A declined unusually high rate is still unconfirmed: keep reminding.
        if (!RateDeclined)
            PendingRateChange = 0;
        return;
    }
    if (PendingRateChange == 1)
        PendingRateChange = 2;
}
