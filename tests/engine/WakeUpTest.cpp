#include "WakeUp.h"

#include "PharmacokineticEngine.h"

#include "PatientSupport.h"

#include <gtest/gtest.h>
#include <unsupported/Eigen/MatrixFunctions>

#include <cmath>
#include <ostream>
#include <limits>

namespace sedalyn {
namespace {

using test::MakePatient;
using test::ModelFor;

using Matrix = Eigen::Matrix4d;
using Vector = Eigen::Vector4d;

// The reference owes nothing to the engine's decomposition: the matrix is
// read off ModelDerivative itself, column by column, and Ce is followed on a
// 0.3-second grid with a Padé exponential, then bisected inside the last step
// at which it exceeds the level.
class DenseReference {
public:
    DenseReference(ModelParameters parameters, const ModelState& state)
    {
        parameters.InfusionInput = 0.0;
        for (std::size_t j = 0; j < 4; ++j) {
            ModelState unit{};
            unit[j + 1] = 1.0;
            ModelState slopes{};
            ModelDerivative{parameters}(slopes, unit);
            for (std::size_t i = 0; i < 4; ++i)
                m_a(static_cast<Eigen::Index>(i), static_cast<Eigen::Index>(j)) = slopes[i + 1];
        }
        m_start << state[1], state[2], state[3], state[4];
    }

    // Minutes to the last downward crossing, searched to 1.5 times the horizon.
    double LastCrossing(double level) const
    {
        constexpr double Step = 0.005;
        const int steps = static_cast<int>(1.5 * WakeUpHorizonMinutes / Step);
        const Matrix propagator = (m_a * Step).exp();
        Vector c = m_start;
        int lastAbove = -1;
        for (int k = 0; k <= steps; ++k, c = propagator * c)
            if (c(3) > level)
                lastAbove = k;
        if (lastAbove < 0)
            return 0.0;
        if (lastAbove == steps)
            return std::numeric_limits<double>::infinity();
        double above = lastAbove * Step;
        double below = above + Step;
        while (below - above > 1e-10) {
            const double middle = (above + below) / 2;
            (EffectSite(middle) > level ? above : below) = middle;
        }
        return below;
    }

    double EffectSite(double minutes) const { return ((m_a * minutes).exp() * m_start)(3); }

private:
    Matrix m_a = Matrix::Zero();
    Vector m_start = Vector::Zero();
};

struct Infusion {
    double minutes;
    double rate;
    double bolusMg; // at its start
};

// What the case is there to show, so that the table cannot drift from it.
enum class Answer { Now, Later, BeyondHorizon };

struct AgreementCase {
    const char* name;
    bool male;
    double age;
    double height;
    double weight;
    LbmAlgorithm algorithm;
    std::vector<Infusion> history;
    double level;
    Answer answer;
};

void PrintTo(const AgreementCase& c, std::ostream* os) { *os << c.name; }

ModelState StateAfter(const Patient& patient, LbmAlgorithm algorithm,
                      const std::vector<Infusion>& history)
{
    PharmacokineticEngine engine;
    for (const Infusion& part : history) {
        const int ticks = static_cast<int>(std::lround(part.minutes * TicksPerMinute));
        for (int tick = 0; tick < ticks; ++tick)
            engine.AdvanceTick(patient, part.rate, tick == 0 ? part.bolusMg : 0.0);
    }
    return engine.Slot(algorithm).State;
}

class WakeUpAgreement : public ::testing::TestWithParam<AgreementCase> {};

TEST_P(WakeUpAgreement, MatchesDenseSteppingToAMillionthOfAMinute)
{
    const AgreementCase c = GetParam();
    const Patient patient = MakePatient(c.male, c.age, c.height, c.weight);
    const ModelState state = StateAfter(patient, c.algorithm, c.history);
    // The rate still in the record must make no difference.
    const ModelParameters parameters = ModelFor(patient, c.algorithm, 10.0);

    const double expected = DenseReference(parameters, state).LastCrossing(c.level);
    const Answer answer = expected == 0.0                    ? Answer::Now
                          : expected <= WakeUpHorizonMinutes ? Answer::Later
                                                             : Answer::BeyondHorizon;
    ASSERT_EQ(answer, c.answer) << "reference " << expected;
    const std::optional<double> got = WakeUpMinutes(parameters, state, c.level);
    if (answer == Answer::BeyondHorizon) {
        EXPECT_FALSE(got.has_value()) << *got;
        return;
    }
    ASSERT_TRUE(got.has_value()) << "reference " << expected;
    EXPECT_NEAR(*got, expected, 1e-6);
    if (answer == Answer::Now) {
        EXPECT_EQ(*got, 0.0);
    } else {
        EXPECT_GE(*got, expected - 1e-9); // never before the true time
    }
}

INSTANTIATE_TEST_SUITE_P(
    States, WakeUpAgreement,
    ::testing::Values(
        AgreementCase{"still_rising_after_five_minutes", true, 53, 1.77, 77, LbmAlgorithm::James,
                      {{5, 20, 0}}, 1.0, Answer::Later},
        AgreementCase{"level_after_an_hour", true, 53, 1.77, 77, LbmAlgorithm::James,
                      {{60, 10, 0}}, 1.0, Answer::Later},
        // Ce 1.29 and rising to 8.96 at 1.45 minutes.
        AgreementCase{"below_now_but_a_bolus_peak_rises_above", true, 53, 1.77, 77,
                      LbmAlgorithm::Hume, {{TickMinutes, 0, 154}}, 2.0, Answer::Later},
        AgreementCase{"bolus_peak_never_reaches_the_level", true, 53, 1.77, 77,
                      LbmAlgorithm::Hume, {{TickMinutes, 0, 154}}, 9.0, Answer::Now},
        AgreementCase{"below_and_falling", true, 53, 1.77, 77, LbmAlgorithm::Janmahasatian,
                      {{60, 10, 0}, {30, 0, 0}}, 1.5, Answer::Now},
        AgreementCase{"woman_after_half_an_hour", false, 30, 1.60, 55,
                      LbmAlgorithm::Janmahasatian, {{30, 6, 80}}, 0.8, Answer::Later},
        AgreementCase{"elderly_man_after_two_hours", true, 85, 1.70, 65, LbmAlgorithm::James,
                      {{120, 5, 0}}, 0.5, Answer::Later},
        AgreementCase{"child_after_an_hour", false, 6, 1.15, 20, LbmAlgorithm::Hume,
                      {{60, 15, 0}}, 1.2, Answer::Later},
        AgreementCase{"low_level_after_half_a_day", true, 40, 1.80, 90, LbmAlgorithm::James,
                      {{720, 12, 0}}, 0.3, Answer::Later},
        AgreementCase{"beyond_the_horizon", true, 40, 1.80, 90, LbmAlgorithm::James,
                      {{720, 12, 0}}, 0.05, Answer::BeyondHorizon}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(WakeUpMinutes, FindsTheLastCrossingWhenCeFallsRisesAndFallsAgain)
{
    // Nothing in plasma, much in compartment 2: Ce drops below 1.8 at once,
    // then plasma refills from compartment 2, Ce rises above 1.8 again and
    // falls for good some 14 minutes on.
    const ModelParameters m = ModelFor(MakePatient(true, 53, 1.77, 77), LbmAlgorithm::James, 0);
    const ModelState state{0, 0.0, 10.0, 0.0, 2.0};
    const DenseReference reference(m, state);
    ASSERT_LT(reference.EffectSite(1.0), 1.8);
    const double expected = reference.LastCrossing(1.8);
    ASSERT_GT(expected, 5.0);
    const auto got = WakeUpMinutes(m, state, 1.8);
    ASSERT_TRUE(got.has_value());
    EXPECT_NEAR(*got, expected, 1e-6);
}

struct KnownCase {
    const char* name;
    ModelState state;
    double level;
    std::optional<double> expected;
};

void PrintTo(const KnownCase& c, std::ostream* os) { *os << c.name; }

class WakeUpKnownAnswers : public ::testing::TestWithParam<KnownCase> {};

TEST_P(WakeUpKnownAnswers, Exactly)
{
    const KnownCase c = GetParam();
    const ModelParameters m = ModelFor(MakePatient(false, 40, 1.65, 62), LbmAlgorithm::James, 5);
    EXPECT_EQ(WakeUpMinutes(m, c.state, c.level), c.expected);
}

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double Infinity = std::numeric_limits<double>::infinity();

INSTANTIATE_TEST_SUITE_P(
    Cases, WakeUpKnownAnswers,
    ::testing::Values(
        KnownCase{"no_drug", {0, 0, 0, 0, 0}, 1.0, 0.0},
        KnownCase{"at_the_level_and_falling", {0, 0.5, 0.5, 0.5, 1.0}, 1.0, 0.0},
        KnownCase{"below_with_plasma_below", {0, 0.8, 0.9, 0.9, 0.9}, 1.0, 0.0},
        KnownCase{"any_state_under_an_infinite_level", {0, 9, 9, 9, 9}, Infinity, 0.0},
        KnownCase{"zero_level", {0, 1, 1, 1, 1}, 0.0, std::nullopt},
        KnownCase{"negative_level", {0, 1, 1, 1, 1}, -1.0, std::nullopt},
        KnownCase{"nan_level", {0, 1, 1, 1, 1}, NaN, std::nullopt},
        KnownCase{"nan_in_the_state", {0, 1, NaN, 1, 1}, 1.0, std::nullopt},
        KnownCase{"infinite_plasma", {0, Infinity, 0, 0, 0}, 1.0, std::nullopt}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(WakeUpMinutes, ParametersThatDoNotEliminateGiveNoPromise)
{
    ModelParameters m = ModelFor(MakePatient(true, 53, 1.77, 77), LbmAlgorithm::James, 0);
    const ModelState state{0, 3, 2, 1, 2};
    ASSERT_TRUE(WakeUpMinutes(m, state, 1.0).has_value());
    m.k10 = 0.0; // no elimination: Ce settles above the level for ever
    EXPECT_FALSE(WakeUpMinutes(m, state, 0.1).has_value());
    m.V1 = NaN;
    EXPECT_FALSE(WakeUpMinutes(m, state, 1.0).has_value());
}

} // namespace
} // namespace sedalyn
