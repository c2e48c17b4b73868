#include "Projection.h"

#include "Eleveld.h"
#include "PharmacokineticEngine.h"

#include "PatientSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <ostream>

namespace sedalyn {
namespace {

using test::MakePatient;

struct AheadCase {
    const char* name;
    ModelChoice model;
    DoseCourse course; // from minute 20 of a case at 8 mg/kg/hr with 100 mg at its start
};

void PrintTo(const AheadCase& c, std::ostream* os) { *os << c.name; }

class ProjectionAgainstTicks : public ::testing::TestWithParam<AheadCase> {};

// The exact projection and the case's own ticks stepped forward agree to the
// ticks' integration error, which is far below what the window shows.
TEST_P(ProjectionAgainstTicks, AgreesWithTheTicksUpToHalfAnHourAhead)
{
    const AheadCase c = GetParam();
    const Patient patient = MakePatient(false, 62, 1.63, 71);
    PharmacokineticEngine engine;
    EleveldModel eleveld;
    eleveld.Reset(c.model.Opioid);
    const auto advance = [&](double rate, double bolus) {
        engine.AdvanceTick(patient, rate, bolus);
        eleveld.AdvanceTick(patient, rate, bolus);
    };
    // ModelKind and AllAlgorithms list the Schnider models in the same order.
    const ModelState& state = c.model.Kind == ModelKind::Eleveld
                                  ? eleveld.Slot.State
                                  : engine.Slot(AllAlgorithms[static_cast<std::size_t>(c.model.Kind)]).State;
    for (int tick = 0; tick < 20 * TicksPerMinute; ++tick)
        advance(8.0, tick == 0 ? 100.0 : 0.0);
    const ModelState now = state;

    const std::vector<double> minutes = EvenMinutes(30.0, TickMinutes);
    ASSERT_EQ(minutes.size(), 361u);
    const ModelProjection projection(patient, c.model);
    ASSERT_TRUE(projection.Valid());
    const std::vector<ProjectedPoint> ahead = projection.Project(now, c.course, minutes);
    ASSERT_EQ(ahead.size(), minutes.size());
    double rate = 0.0;
    for (std::size_t k = 0; k < minutes.size(); ++k) {
        EXPECT_EQ(ahead[k].Minutes, minutes[k]);
        // At minute 0 a bolus is in plasma already; the ticks give it next.
        if (k > 0) {
            EXPECT_NEAR(ahead[k].Plasma, state[StatePlasma], 1e-7 * state[StatePlasma]) << "tick " << k;
        }
        EXPECT_NEAR(ahead[k].EffectSite, state[StateEffectSite], 1e-7 * state[StateEffectSite])
            << "tick " << k;
        for (const RateStep& step : c.course.Steps)
            if (std::lround(step.Minute * TicksPerMinute) == static_cast<long>(k))
                rate = step.Rate;
        advance(rate, k == 0 ? c.course.BolusMg : 0.0);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Models, ProjectionAgainstTicks,
    ::testing::Values(AheadCase{"james_rate_held", {ModelKind::James}, {0, {{0, 8}}}},
                      AheadCase{"hume_stopped", {ModelKind::Hume}, {0, {{0, 0}}}},
                      AheadCase{"janmahasatian_course", {ModelKind::Janmahasatian}, {40, {{0, 10}, {5, 4}, {17.5, 6.5}}}},
                      AheadCase{"eleveld_with_opioid_course", {ModelKind::Eleveld, true}, {30, {{0, 6}, {10, 0}}}}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(ModelProjection, GivesNoNumberForATimeThatIsNotAhead)
{
    const ModelProjection projection(MakePatient(true, 40, 1.8, 80), {ModelKind::James});
    const double times[] = {-1.0, std::numeric_limits<double>::quiet_NaN(),
                            std::numeric_limits<double>::infinity(), 2.0};
    const auto points = projection.ProjectHeld(ModelState{0, 3, 1, 0.5, 2.5}, 6.0, times);
    ASSERT_EQ(points.size(), 4u);
    for (std::size_t i = 0; i < 3; ++i)
        EXPECT_TRUE(std::isnan(points[i].EffectSite) && std::isnan(points[i].Plasma)) << i;
    EXPECT_GT(points[3].EffectSite, 0.0);
}

TEST(EvenMinutes, EndsOnTheSpanAndRefusesWhatCannotBeDrawn)
{
    const std::vector<double> minutes = EvenMinutes(30.0, 0.1);
    ASSERT_EQ(minutes.size(), 301u);
    EXPECT_EQ(minutes.back(), 30.0);
    EXPECT_EQ(EvenMinutes(0.0, 1.0), std::vector<double>{0.0});
    EXPECT_TRUE(EvenMinutes(-1.0, 1.0).empty());
    EXPECT_TRUE(EvenMinutes(30.0, 0.0).empty());
    EXPECT_TRUE(EvenMinutes(1e300, 1e-300).empty());
    EXPECT_TRUE(EvenMinutes(std::numeric_limits<double>::infinity(), 1.0).empty());
}

} // namespace
} // namespace sedalyn
