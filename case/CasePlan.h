#pragma once
// The dosing plan of a running case and whether the case follows it. A plan
// is shown, never applied: the user gives its bolus and confirms its rates
// as any other, and this only compares what was done with what was planned.
// Times are on the case's clock.

#include "CaseTimeline.h"
#include "DosePlanner.h"

#include <cstddef>
#include <optional>
#include <vector>

namespace sedalyn {

// The targets a plan takes from the window; beyond them a typo is likelier.
inline constexpr double PlanMaxTarget = 10.0;       // mcg/ml
inline constexpr double PlanMaxReachMinutes = 120.0;
inline constexpr double PlanHorizonMinutes = 120.0;
inline constexpr double PlanStepChoices[] = {5.0, 10.0, 15.0};

struct PlanRow {
    CaseClockMs At = 0;   // when it falls due
    double BolusMg = 0.0; // 0: none
    double Rate = 0.0;    // mg/kg/hr from then on
};

class CasePlan {
public:
    // The plan made for the model state of case time `madeAt`, with `rate`
    // in use then: a first row at that rate asks for nothing.
    void Set(const PlanRequest& request, DosePlan plan, CaseClockMs madeAt, double rate,
             std::vector<ProjectedPoint> course);
    void Clear();

    bool Active() const { return m_active; }
    // Changes with every plan made or cleared.
    unsigned Serial() const { return m_serial; }
    const PlanRequest& Request() const { return m_request; }
    const DosePlan& Plan() const { return m_plan; }
    const std::vector<PlanRow>& Rows() const { return m_rows; }
    CaseClockMs MadeAt() const { return m_madeAt; }
    // The planned model's concentrations under the plan, minutes from MadeAt.
    const std::vector<ProjectedPoint>& Course() const { return m_course; }

    // The first row not yet followed; Rows().size() once all are.
    std::size_t NextRow() const { return m_next; }
    // Whether the planned bolus is still to be given.
    bool BolusOutstanding() const { return m_bolusOutstanding; }
    // Whether something is to be done now: the next row's time has come or
    // its bolus is outstanding. Never once the plan is not followed.
    bool Due(CaseClockMs now) const;

    // A rate confirmed or a bolus given at `at`: true when this departs
    // from the plan for the first time.
    bool RateConfirmed(CaseClockMs at, double rate);
    bool BolusGiven(CaseClockMs at, double mg);
    std::optional<CaseClockMs> DepartedAt() const { return m_departedAt; }

    // A confirmed rate counts as the planned one when it rounds to it.
    static bool SameRate(double a, double b);
    // A row's rate may be set this early.
    static constexpr CaseClockMs EarlyMs = 60'000;

private:
    bool Depart(CaseClockMs at);

    unsigned m_serial = 0;
    bool m_active = false;
    PlanRequest m_request;
    DosePlan m_plan;
    std::vector<PlanRow> m_rows;
    std::vector<ProjectedPoint> m_course;
    CaseClockMs m_madeAt = 0;
    std::size_t m_next = 0;
    bool m_bolusOutstanding = false;
    std::optional<CaseClockMs> m_departedAt;
};

} // namespace sedalyn
