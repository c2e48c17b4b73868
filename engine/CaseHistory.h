#pragma once
// The history of a case: one record per 5-second model step, kept from Start
// until the next Start. The trend chart, its tooltips and the dose line read
// it; nothing in it is ever rewritten.

#include "PharmacokineticEngine.h"

#include <array>
#include <cstddef>
#include <vector>

namespace sedalyn {

struct CaseRecord {
    double Minutes = 0.0; // model time at the end of the step
    double Rate = 0.0;    // mg/kg/hr in use during the step
    double BolusMg = 0.0; // given at the start of the step; 0 for none
    SixConcentrations Concentrations{};

    friend bool operator==(const CaseRecord&, const CaseRecord&) = default;
};

class CaseHistory {
public:
    // Empties the history and forgets any carried dose; keeps the memory.
    void Clear();
    void Append(const CaseRecord& record);

    // Drug given before the first record (a case resumed after a crash
    // brings what it had given); counted by GivenMg.
    void CarryDose(double mgPerKgFromRates, double bolusMg);

    const std::vector<CaseRecord>& Records() const { return m_records; }
    std::size_t Size() const { return m_records.size(); }
    bool Empty() const { return m_records.empty(); }
    const CaseRecord& operator[](std::size_t index) const { return m_records[index]; }
    const CaseRecord& Last() const { return m_records.back(); }

    // Propofol delivered since Start: every rate over its step, plus boluses.
    double GivenMg(double weightKg) const;
    // Of which from the rates, per kg, and as boluses (mg): what a resumed
    // case carries over.
    double RateMgPerKg() const { return m_rateMgPerKg; }
    double BolusMg() const { return m_bolusMg; }

    // The record whose time is nearest to `minutes` (the earlier on a tie);
    // Size() when the history is empty.
    std::size_t NearestRecord(double minutes) const;

private:
    std::vector<CaseRecord> m_records;
    double m_rateMgPerKg = 0.0;
    double m_bolusMg = 0.0;
};

} // namespace sedalyn
