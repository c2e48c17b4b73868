#include "CaseTimeline.h"

#include <utility>

namespace sedalyn {

void CaseTimeline::Start(double rate)
{
    Restore(0, rate, {});
}

void CaseTimeline::Restore(std::int64_t stepsTaken, double rateInUse, std::deque<PendingInput> pending)
{
    m_stepsTaken = stepsTaken;
    m_rateInUse = rateInUse;
    m_pending = std::move(pending);
}

void CaseTimeline::ConfirmRate(CaseClockMs at, double rate)
{
    m_pending.push_back({at, PendingInput::Kind::Rate, rate});
}

void CaseTimeline::GiveBolus(CaseClockMs at, double mg)
{
    m_pending.push_back({at, PendingInput::Kind::Bolus, mg});
}

std::int64_t CaseTimeline::StepsDue(CaseClockMs now) const
{
    const std::int64_t due = now / StepMs - m_stepsTaken;
    return due > 0 ? due : 0;
}

StepInput CaseTimeline::TakeStep(bool lastOfTick)
{
    ++m_stepsTaken;
    const CaseClockMs dueAt = m_stepsTaken * StepMs;
    StepInput input;
    while (!m_pending.empty() && (lastOfTick || m_pending.front().At <= dueAt)) {
        const PendingInput& next = m_pending.front();
        if (next.What == PendingInput::Kind::Rate) {
            m_rateInUse = next.Value;
        } else {
            input.BolusMg += next.Value;
            input.BolusGivenAt = next.At;
        }
        m_pending.pop_front();
    }
    input.Rate = m_rateInUse;
    return input;
}

} // namespace sedalyn
