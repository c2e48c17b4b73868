#pragma once
// The dosing planner: a bolus now and a rate for each interval that bring one
// model's effect site to a target by a chosen time and hold it there. The
// plan is designed on the exact solution by superposing the responses to a
// unit bolus and a unit rate (Shafer and Gregg, J Pharmacokinet Biopharm
// 1992), then replayed through the case's own 5-second ticks, which alone
// decide whether it meets its requirements. A plan is a proposal: the user
// gives the bolus and confirms each rate.

#include "Projection.h"

#include <optional>
#include <string>

namespace sedalyn {

// A plan never proposes a dose the window would question: rates up to the
// one it asks about, boluses up to the mg/kg it asks about and MaxBolusMg.
inline constexpr double PlanMaxRate = 30.0;         // mg/kg/hr
inline constexpr double PlanMaxBolusMgPerKg = 4.0;  // mg/kg
inline constexpr double PlanRateResolution = 0.1;   // mg/kg/hr; boluses in whole mg
inline constexpr double PlanMaxHorizonMinutes = 24 * 60;

struct PlanRequest {
    ModelChoice Model;
    ModelState Now{};           // the model's state now; all zero at induction
    double Target = 0.0;        // effect site, mcg/ml
    double ReachMinutes = 0.0;  // the target is reached no later than this, from now
    double StepMinutes = 10.0;  // between rate changes; a whole number of ticks
    double HorizonMinutes = 120.0;
};

// The three requirements, checked on every tick from now to the horizon.
enum PlanRequirement : unsigned {
    // Ce reaches 0.98 T no later than the reach time; from above, it falls to 1.02 T.
    PlanReach = 1,
    // Ce never exceeds 1.05 T; from above, once it has fallen to 1.02 T.
    PlanCeiling = 2,
    // From the reach time to the horizon Ce stays within 0.95 T to 1.05 T.
    PlanHold = 4,
};

// The requirement's name and figure in a few words, for messages.
const char* PlanRequirementText(PlanRequirement requirement);

// What the case's ticks show under a course.
struct PlanCheck {
    unsigned Unmet = 0;                    // PlanRequirement bits; 0: all three met
    std::optional<double> ReachedMinutes;  // the first tick within reach, from now
    double HighestRatio = 0.0;             // Ce / T at its highest where the ceiling applies
    double HoldLowestRatio = 0.0;          // Ce / T from the reach time to the horizon
    double HoldHighestRatio = 0.0;
};

struct DosePlan {
    // Why the request cannot be planned; when set, nothing else is.
    std::string Refusal;
    // The bolus in whole mg (0: none); a step for each change of rate, the
    // first at minute 0, rates at 0.1 mg/kg/hr.
    DoseCourse Course;
    // With the target below Ce now: the minutes until Ce falls to it with
    // the infusion stopped (none beyond a day). The course starts with rate 0.
    std::optional<double> FallMinutes;
    // The course replayed tick by tick. With requirements unmet, the course
    // is the closest the planner found within the limits.
    PlanCheck Check;
};

// Never throws for any input; a request that is not finite or not plausible
// is refused.
DosePlan PlanDoses(const Patient& patient, const PlanRequest& request);

// Replays `course` from `request.Now` through the case's ticks (the engine's
// for the Schnider models, the Eleveld model's own) up to the horizon and
// checks the three requirements of `request`. A request that PlanDoses
// would refuse, a course the tick would not take (a dose out of range, steps
// out of order) or concentrations that are not finite meet none of them.
PlanCheck CheckPlan(const Patient& patient, const PlanRequest& request, const DoseCourse& course);

} // namespace sedalyn
