#include "CasePlan.h"

#include <cmath>
#include <utility>

namespace sedalyn {

void CasePlan::Set(const PlanRequest& request, DosePlan plan, CaseClockMs madeAt, double rate,
                   std::vector<ProjectedPoint> course)
{
    Clear();
    m_active = true;
    m_request = request;
    m_plan = std::move(plan);
    m_course = std::move(course);
    m_madeAt = madeAt;
    for (const RateStep& step : m_plan.Course.Steps)
        m_rows.push_back({madeAt + std::llround(step.Minute * 60'000.0), 0.0, step.Rate});
    if (!m_rows.empty()) {
        m_rows.front().BolusMg = m_plan.Course.BolusMg;
        m_bolusOutstanding = m_plan.Course.BolusMg > 0.0;
        if (SameRate(m_rows.front().Rate, rate))
            m_next = 1;
    }
}

void CasePlan::Clear()
{
    const unsigned serial = m_serial + 1;
    *this = CasePlan();
    m_serial = serial;
}

bool CasePlan::Due(CaseClockMs now) const
{
    if (!m_active || m_departedAt)
        return false;
    return m_bolusOutstanding || (m_next < m_rows.size() && m_rows[m_next].At <= now);
}

bool CasePlan::SameRate(double a, double b)
{
    return std::abs(a - b) < PlanRateResolution / 2;
}

bool CasePlan::RateConfirmed(CaseClockMs at, double rate)
{
    if (!m_active || m_departedAt)
        return false;
    // Rows set late or skipped are no departure: only a rate that no row
    // due by now asks for is.
    for (std::size_t row = m_rows.size(); row-- > m_next;) {
        if (m_rows[row].At - EarlyMs <= at && SameRate(rate, m_rows[row].Rate)) {
            m_next = row + 1;
            return false;
        }
    }
    if (m_next > 0 && SameRate(rate, m_rows[m_next - 1].Rate))
        return false;
    return Depart(at);
}

bool CasePlan::BolusGiven(CaseClockMs at, double mg)
{
    if (!m_active || m_departedAt)
        return false;
    // Boluses are planned in whole mg.
    if (m_bolusOutstanding && std::abs(mg - m_plan.Course.BolusMg) < 0.5) {
        m_bolusOutstanding = false;
        return false;
    }
    return Depart(at);
}

bool CasePlan::Depart(CaseClockMs at)
{
    m_departedAt = at;
    return true;
}

} // namespace sedalyn
