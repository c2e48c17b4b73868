#include "CaseHistory.h"

#include "PharmacokineticEngine.h"

#include <algorithm>
#include <iterator>

namespace sedalyn {

namespace {
// An hour of steps: the first growth covers most cases.
constexpr std::size_t FirstCapacity = 720;
constexpr double StepHours = TickMinutes / 60.0;
} // namespace

void CaseHistory::Clear()
{
    m_records.clear();
    m_rateMgPerKg = 0.0;
    m_bolusMg = 0.0;
}

void CaseHistory::Append(const CaseRecord& record)
{
    if (m_records.capacity() == 0)
        m_records.reserve(FirstCapacity);
    m_records.push_back(record);
    m_rateMgPerKg += record.Rate * StepHours;
    m_bolusMg += record.BolusMg;
}

void CaseHistory::CarryDose(double mgPerKgFromRates, double bolusMg)
{
    m_rateMgPerKg += mgPerKgFromRates;
    m_bolusMg += bolusMg;
}

double CaseHistory::GivenMg(double weightKg) const
{
    return m_rateMgPerKg * weightKg + m_bolusMg;
}

std::size_t CaseHistory::NearestRecord(double minutes) const
{
    if (m_records.empty())
        return 0;
    const auto later = std::lower_bound(
        m_records.begin(), m_records.end(), minutes,
        [](const CaseRecord& record, double t) { return record.Minutes < t; });
    if (later == m_records.begin())
        return 0;
    if (later == m_records.end())
        return m_records.size() - 1;
    const auto earlier = std::prev(later);
    const bool laterIsNearer = later->Minutes - minutes < minutes - earlier->Minutes;
    return static_cast<std::size_t>(std::distance(m_records.begin(), laterIsNearer ? later : earlier));
}

} // namespace sedalyn
