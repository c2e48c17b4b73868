#include "DosePlanner.h"

#include "Eleveld.h"
#include "PharmacokineticEngine.h"

#include "PatientSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <ostream>
#include <string>

namespace sedalyn {

// Where gtest looks for it, beside the type.
void PrintTo(const ModelChoice& model, std::ostream* os)
{
    *os << ModelKindName(model.Kind) << (model.Opioid ? " with opioid" : "");
}

namespace {

using test::MakePatient;

// Ce of one model at every tick, the course given as the case would give it:
// the bolus in the first tick, each rate from the first tick at or after its
// minute. Owes nothing to the planner's own replay.
std::vector<double> ReplayedCe(const Patient& patient, ModelChoice model, const ModelState& now,
                               const DoseCourse& course, double minutes, ModelState* end = nullptr)
{
    PharmacokineticEngine engine;
    EleveldModel eleveld;
    eleveld.Reset(model.Opioid);
    eleveld.Slot.State = now;
    for (const LbmAlgorithm algorithm : AllAlgorithms)
        engine.Slot(algorithm).State = now;
    // ModelKind and AllAlgorithms list the Schnider models in the same order.
    const ModelSlot& slot = model.Kind == ModelKind::Eleveld
                                ? eleveld.Slot
                                : engine.Slot(AllAlgorithms[static_cast<std::size_t>(model.Kind)]);
    std::vector<double> ce{now[StateEffectSite]};
    double rate = 0.0;
    for (int tick = 0; tick < std::lround(minutes * TicksPerMinute); ++tick) {
        for (const RateStep& step : course.Steps)
            if (std::lround(step.Minute * TicksPerMinute) == tick)
                rate = step.Rate;
        const double bolus = tick == 0 ? course.BolusMg : 0.0;
        if (model.Kind == ModelKind::Eleveld)
            eleveld.AdvanceTick(patient, rate, bolus);
        else
            engine.AdvanceTick(patient, rate, bolus);
        ce.push_back(slot.State[StateEffectSite]);
    }
    if (end)
        *end = slot.State;
    return ce;
}

// The three requirements on the replayed ticks, each with what broke it.
void ExpectRequirementsMet(const std::vector<double>& ce, double target, double reach)
{
    const bool fromBelow = !(ce.front() > target);
    const auto reachTick = static_cast<std::size_t>(std::lround(reach * TicksPerMinute));
    std::size_t reached = ce.size();
    for (std::size_t k = 0; k < ce.size() && reached == ce.size(); ++k)
        if (fromBelow ? ce[k] >= 0.98 * target : ce[k] <= 1.02 * target)
            reached = k;
    EXPECT_LE(reached, reachTick) << "reached at tick " << reached;
    for (std::size_t k = fromBelow ? 0 : reached; k < ce.size(); ++k)
        ASSERT_LE(ce[k], 1.05 * target) << "ceiling, tick " << k;
    for (std::size_t k = reachTick; k < ce.size(); ++k)
        ASSERT_GE(ce[k], 0.95 * target) << "hold, tick " << k;
}

// What the window takes without a question: whole mg up to 4 mg/kg and
// 1000 mg; rates from 0 to 30 at 0.1; a step per change, the first at 0.
void ExpectDosesWithinLimits(const DoseCourse& course, double weight)
{
    EXPECT_EQ(course.BolusMg, std::floor(course.BolusMg));
    EXPECT_LE(course.BolusMg / weight, PlanMaxBolusMgPerKg);
    EXPECT_LE(course.BolusMg, MaxBolusMg);
    ASSERT_FALSE(course.Steps.empty());
    EXPECT_EQ(course.Steps.front().Minute, 0.0);
    for (std::size_t i = 0; i < course.Steps.size(); ++i) {
        const RateStep& step = course.Steps[i];
        EXPECT_EQ(step.Rate, std::round(step.Rate * 10.0) / 10.0) << step.Rate;
        EXPECT_GE(step.Rate, 0.0);
        EXPECT_LE(step.Rate, PlanMaxRate);
        if (i > 0) {
            EXPECT_GT(step.Minute, course.Steps[i - 1].Minute);
            EXPECT_NE(step.Rate, course.Steps[i - 1].Rate) << "minute " << step.Minute;
        }
    }
}

struct PlanPatient {
    const char* name;
    bool male;
    double age, height, weight;
};
constexpr PlanPatient Young{"young_man", true, 25, 1.80, 75};
constexpr PlanPatient Elderly{"elderly_woman", false, 80, 1.60, 55};
constexpr PlanPatient Obese{"obese_man", true, 45, 1.75, 140};
constexpr PlanPatient Woman{"woman", false, 35, 1.65, 60};

struct Aim {
    double target, reach, step;
};

void PrintTo(const PlanPatient& who, std::ostream* os) { *os << who.name; }
void PrintTo(const Aim& aim, std::ostream* os)
{
    *os << "Ce " << aim.target << " by " << aim.reach << " min, steps of " << aim.step;
}

using PlanCase = std::tuple<PlanPatient, ModelChoice, Aim>;

std::string ModelLabel(ModelChoice model)
{
    return std::string(ModelKindName(model.Kind)) + (model.Opioid ? "_opioid" : "");
}

std::string AimLabel(Aim aim)
{
    const auto whole = [](double x) { return std::to_string(std::lround(x)); };
    return "Ce" + whole(aim.target) + "_by" + whole(aim.reach) + "min_steps" + whole(aim.step);
}

class InductionPlans : public ::testing::TestWithParam<PlanCase> {};

TEST_P(InductionPlans, MeetTheRequirementsTickByTick)
{
    const auto [who, model, aim] = GetParam();
    const Patient patient = MakePatient(who.male, who.age, who.height, who.weight);
    const PlanRequest request{model, {}, aim.target, aim.reach, aim.step, 120.0};
    const DosePlan plan = PlanDoses(patient, request);
    ASSERT_EQ(plan.Refusal, "");
    ExpectDosesWithinLimits(plan.Course, who.weight);
    EXPECT_EQ(plan.Check.Unmet, 0u);
    EXPECT_FALSE(plan.FallMinutes);
    ExpectRequirementsMet(ReplayedCe(patient, model, {}, plan.Course, 120.0), aim.target, aim.reach);
}

INSTANTIATE_TEST_SUITE_P(
    Table, InductionPlans,
    ::testing::Combine(::testing::Values(Young, Elderly, Obese, Woman),
                       ::testing::Values(ModelChoice{ModelKind::James}, ModelChoice{ModelKind::Hume},
                                         ModelChoice{ModelKind::Janmahasatian},
                                         ModelChoice{ModelKind::Eleveld},
                                         ModelChoice{ModelKind::Eleveld, true}),
                       ::testing::Values(Aim{3, 5, 10}, Aim{2, 3, 5}, Aim{4, 10, 15}, Aim{3, 20, 10})),
    [](const auto& p) {
        return std::string(std::get<0>(p.param).name) + "_" + ModelLabel(std::get<1>(p.param)) + "_"
               + AimLabel(std::get<2>(p.param));
    });

// A case that follows a plan to 3 for half an hour is replanned up to 4,
// follows that for half an hour, and is replanned down to 2.5.
class Replans : public ::testing::TestWithParam<std::tuple<PlanPatient, ModelChoice>> {};

TEST_P(Replans, UpThenDownMeetTheRequirementsFromWhereTheCaseStands)
{
    const auto [who, model] = GetParam();
    const Patient patient = MakePatient(who.male, who.age, who.height, who.weight);
    PlanRequest request{model, {}, 3.0, 5.0, 10.0, 120.0};
    ModelState now{};
    ReplayedCe(patient, model, now, PlanDoses(patient, request).Course, 30.0, &now);

    request.Now = now;
    request.Target = 4.0;
    const DosePlan up = PlanDoses(patient, request);
    EXPECT_GT(up.Course.BolusMg, 0.0);
    EXPECT_EQ(up.Check.Unmet, 0u);
    ExpectDosesWithinLimits(up.Course, who.weight);
    ExpectRequirementsMet(ReplayedCe(patient, model, now, up.Course, 120.0), 4.0, 5.0);
    ReplayedCe(patient, model, now, up.Course, 30.0, &now);

    request.Now = now;
    request.Target = 2.5;
    request.ReachMinutes = 10.0;
    const DosePlan down = PlanDoses(patient, request);
    EXPECT_EQ(down.Check.Unmet, 0u);
    EXPECT_EQ(down.Course.BolusMg, 0.0);
    ASSERT_GE(down.Course.Steps.size(), 2u);
    EXPECT_EQ(down.Course.Steps[0].Rate, 0.0);
    ExpectDosesWithinLimits(down.Course, who.weight);
    ExpectRequirementsMet(ReplayedCe(patient, model, now, down.Course, 120.0), 2.5, 10.0);
    // The fall with nothing running, to the tick, by the case's own ticks.
    const std::vector<double> stopped = ReplayedCe(patient, model, now, {}, 30.0);
    std::size_t fall = 0;
    while (stopped[fall] > 2.5)
        ++fall;
    ASSERT_TRUE(down.FallMinutes);
    EXPECT_GT(*down.FallMinutes * TicksPerMinute, static_cast<double>(fall) - 1.0);
    EXPECT_LE(*down.FallMinutes * TicksPerMinute, static_cast<double>(fall));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Replans,
    ::testing::Combine(::testing::Values(Young, Elderly),
                       ::testing::Values(ModelChoice{ModelKind::James}, ModelChoice{ModelKind::Janmahasatian},
                                         ModelChoice{ModelKind::Eleveld})),
    [](const auto& p) {
        return std::string(std::get<0>(p.param).name) + "_" + ModelLabel(std::get<1>(p.param));
    });

struct ShortCase {
    const char* name;
    PlanPatient who;
    ModelChoice model;
    double target, reach;
};

void PrintTo(const ShortCase& c, std::ostream* os) { *os << c.name; }

class UnreachableTargets : public ::testing::TestWithParam<ShortCase> {};

// Too short a reach time for the largest bolus: the reach time gives way,
// never the ceiling, and the plan holds the target once it has reached it.
TEST_P(UnreachableTargets, SayWhichRequirementFailsAndStillGiveTheClosestPlan)
{
    const ShortCase c = GetParam();
    const Patient patient = MakePatient(c.who.male, c.who.age, c.who.height, c.who.weight);
    const PlanRequest request{c.model, {}, c.target, c.reach, 10.0, 120.0};
    const DosePlan plan = PlanDoses(patient, request);
    ASSERT_EQ(plan.Refusal, "");
    EXPECT_EQ(plan.Check.Unmet & (PlanReach | PlanCeiling), PlanReach);
    ExpectDosesWithinLimits(plan.Course, c.who.weight);
    ASSERT_TRUE(plan.Check.ReachedMinutes);
    const double reached = *plan.Check.ReachedMinutes;
    EXPECT_GT(reached, c.reach);
    EXPECT_LE(reached, c.reach + 30.0);
    const std::vector<double> ce = ReplayedCe(patient, c.model, {}, plan.Course, 120.0);
    ExpectRequirementsMet(ce, c.target, reached);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UnreachableTargets,
    ::testing::Values(
        ShortCase{"schnider_in_one_minute", Young, {ModelKind::James}, 6.0, 1.0},
        ShortCase{"eleveld_in_two_minutes", Woman, {ModelKind::Eleveld}, 6.0, 2.0},
        ShortCase{"near_the_1000_mg_limit", {"heavy", true, 40, 1.90, 280}, {ModelKind::Eleveld}, 8.0, 1.0}),
    [](const auto& p) { return std::string(p.param.name); });

struct BadCourse {
    const char* name;
    DoseCourse course;
    unsigned unmet;
};

void PrintTo(const BadCourse& c, std::ostream* os) { *os << c.name; }

class CheckedCourses : public ::testing::TestWithParam<BadCourse> {};

TEST_P(CheckedCourses, NameWhatTheyMiss)
{
    const Patient patient = MakePatient(true, 53, 1.77, 77);
    const PlanRequest request{{ModelKind::Hume}, {}, 3.0, 5.0, 10.0, 60.0};
    EXPECT_EQ(CheckPlan(patient, request, GetParam().course).Unmet, GetParam().unmet);
}

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

INSTANTIATE_TEST_SUITE_P(
    Courses, CheckedCourses,
    ::testing::Values(BadCourse{"nothing_given", {}, PlanReach | PlanHold},
                      BadCourse{"a_large_bolus_alone", {250, {}}, PlanCeiling | PlanHold},
                      BadCourse{"a_rate_too_low", {0, {{0, 6}}}, PlanReach | PlanHold},
                      BadCourse{"not_a_number", {NaN, {{0, 6}}}, PlanReach | PlanCeiling | PlanHold},
                      BadCourse{"steps_out_of_order", {40, {{10, 6}, {0, 8}}},
                                PlanReach | PlanCeiling | PlanHold}),
    [](const auto& p) { return std::string(p.param.name); });

struct BadRequest {
    const char* name;
    PlanRequest request;
};

void PrintTo(const BadRequest& c, std::ostream* os) { *os << c.name; }

class RefusedRequests : public ::testing::TestWithParam<BadRequest> {};

TEST_P(RefusedRequests, AreRefusedWithAReason)
{
    const DosePlan plan = PlanDoses(MakePatient(false, 40, 1.65, 62), GetParam().request);
    EXPECT_NE(plan.Refusal, "");
    EXPECT_TRUE(plan.Course.Steps.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Requests, RefusedRequests,
    ::testing::Values(BadRequest{"target_zero", {{}, {}, 0, 5, 10, 120}},
                      BadRequest{"target_nan", {{}, {}, NaN, 5, 10, 120}},
                      BadRequest{"reach_after_horizon", {{}, {}, 3, 30, 10, 20}},
                      BadRequest{"step_not_whole_ticks", {{}, {}, 3, 5, 0.1, 120}},
                      BadRequest{"horizon_beyond_a_day", {{}, {}, 3, 5, 10, 1441}},
                      BadRequest{"state_not_finite", {{}, {0, NaN, 0, 0, 0}, 3, 5, 10, 120}}),
    [](const auto& p) { return std::string(p.param.name); });

} // namespace
} // namespace sedalyn
