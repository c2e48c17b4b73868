#include "WakeUp.h"

#include "PharmacokineticEngine.h"

#include "PatientSupport.h"

#include <gtest/gtest.h>
#include <unsupported/Eigen/MatrixFunctions>

#include <cmath>
#include <limits>
#include <ostream>

namespace sedalyn {
namespace {

using test::MakePatient;

// The matrix of a derivative, read off column by column; its input drops out.
template <class Derivative>
Eigen::Matrix4d MatrixOf(const Derivative& derivative)
{
    Eigen::Matrix4d a;
    ModelState input{};
    derivative(input, ModelState{});
    for (std::size_t j = 1; j <= 4; ++j) {
        ModelState unit{};
        ModelState slopes{};
        unit[j] = 1.0;
        derivative(slopes, unit);
        for (std::size_t i = 1; i <= 4; ++i)
            a(static_cast<Eigen::Index>(i - 1), static_cast<Eigen::Index>(j - 1)) =
                slopes[i] - input[i];
    }
    return a;
}

// Owes nothing to the engine's decomposition: the matrix is read off the
// model's derivative, Ce is followed on a 0.3-second grid of Padé
// exponentials to 1.5 days, then bisected in the last step above the level.
class DenseReference {
public:
    DenseReference(const Eigen::Matrix4d& a, const ModelState& state) : m_a(a)
    {
        m_start << state[1], state[2], state[3], state[4];
    }

    DenseReference(const ModelParameters& parameters, const ModelState& state)
        : DenseReference(MatrixOf(ModelDerivative{parameters}), state)
    {
    }

    double EffectSite(double minutes) const { return ((m_a * minutes).exp() * m_start)(3); }

    // 0 when never above, infinity when still above at the end of the grid.
    double LastCrossing(double level) const
    {
        constexpr double Step = 0.005;
        const int steps = static_cast<int>(1.5 * WakeUpHorizonMinutes / Step);
        const Eigen::Matrix4d propagator = (m_a * Step).exp();
        Eigen::Vector4d c = m_start;
        int lastAbove = -1;
        for (int k = 0; k <= steps; ++k, c = propagator * c)
            if (c(3) > level)
                lastAbove = k;
        if (lastAbove < 0 || lastAbove == steps)
            return lastAbove < 0 ? 0.0 : std::numeric_limits<double>::infinity();
        double above = lastAbove * Step;
        double below = above + Step;
        while (below - above > 1e-10)
            (EffectSite((above + below) / 2) > level ? above : below) = (above + below) / 2;
        return below;
    }

private:
    Eigen::Matrix4d m_a = Eigen::Matrix4d::Zero();
    Eigen::Vector4d m_start = Eigen::Vector4d::Zero();
};

// What each case is there to show, so that the table cannot drift from it.
enum class Answer { Now, Later, BeyondHorizon };

struct AgreementCase {
    const char* name;
    bool male;
    double age, height, weight;
    LbmAlgorithm algorithm;
    double minutes, rate, bolusMg; // the infusion before the stop; the bolus at its start
    double level;
    Answer answer;
    // The Eleveld model in place of the Schnider one of `algorithm`.
    enum { Schnider, Eleveld, EleveldWithOpioid } model = Schnider;
};

void PrintTo(const AgreementCase& c, std::ostream* os) { *os << c.name; }

class WakeUpAgreement : public ::testing::TestWithParam<AgreementCase> {};

TEST_P(WakeUpAgreement, MatchesDenseSteppingToAMillionthOfAMinute)
{
    const AgreementCase c = GetParam();
    const Patient patient = MakePatient(c.male, c.age, c.height, c.weight);
    PharmacokineticEngine engine;
    EleveldModel eleveld;
    eleveld.Reset(c.model == AgreementCase::EleveldWithOpioid);
    for (int tick = 0; tick < std::lround(c.minutes * TicksPerMinute); ++tick) {
        engine.AdvanceTick(patient, c.rate, tick == 0 ? c.bolusMg : 0.0);
        eleveld.AdvanceTick(patient, c.rate, tick == 0 ? c.bolusMg : 0.0);
    }
    const ModelState state = engine.Slot(c.algorithm).State;
    // The rate in the record must make no difference.
    const ModelParameters parameters = ModelParametersFor(patient, c.algorithm, 10.0);
    const bool schnider = c.model == AgreementCase::Schnider;
    const EleveldParameters fourth = BuildEleveldParameters(patient, eleveld.Opioid());

    const double expected =
        (schnider ? DenseReference(parameters, state)
                  : DenseReference(MatrixOf(EleveldDerivative(fourth, 5.0)), eleveld.Slot.State))
            .LastCrossing(c.level);
    ASSERT_EQ(expected == 0.0 ? Answer::Now
              : expected <= WakeUpHorizonMinutes ? Answer::Later
                                                 : Answer::BeyondHorizon,
              c.answer)
        << "reference " << expected;
    const std::optional<double> got = schnider ? WakeUpMinutes(parameters, state, c.level)
                                               : WakeUpMinutes(eleveld, patient, c.level);
    if (c.answer == Answer::BeyondHorizon) {
        EXPECT_FALSE(got.has_value()) << *got;
        return;
    }
    ASSERT_TRUE(got.has_value()) << "reference " << expected;
    EXPECT_NEAR(*got, expected, 1e-6);
    EXPECT_GE(*got, expected - 1e-9); // never before the true time
}

INSTANTIATE_TEST_SUITE_P(
    States, WakeUpAgreement,
    ::testing::Values(
        AgreementCase{"still_rising_when_stopped", true, 53, 1.77, 77, LbmAlgorithm::James, 5, 20, 0,
                      1.0, Answer::Later},
        // A tick after 2 mg/kg: Ce 1.29 and rising to 8.96 at 1.45 minutes.
        AgreementCase{"below_now_but_the_bolus_peak_rises_above", true, 53, 1.77, 77,
                      LbmAlgorithm::Hume, TickMinutes, 0, 154, 2.0, Answer::Later},
        AgreementCase{"bolus_peak_never_reaches_the_level", true, 53, 1.77, 77, LbmAlgorithm::Hume,
                      TickMinutes, 0, 154, 9.0, Answer::Now},
        AgreementCase{"woman_after_half_an_hour", false, 30, 1.60, 55, LbmAlgorithm::Janmahasatian,
                      30, 6, 80, 0.8, Answer::Later},
        AgreementCase{"child_after_an_hour", false, 6, 1.15, 20, LbmAlgorithm::Hume, 60, 15, 0, 1.2,
                      Answer::Later},
        AgreementCase{"low_level_after_half_a_day", true, 40, 1.80, 90, LbmAlgorithm::James, 720, 12,
                      0, 0.3, Answer::Later},
        AgreementCase{"beyond_the_horizon", true, 40, 1.80, 90, LbmAlgorithm::James, 720, 12, 0,
                      0.05, Answer::BeyondHorizon},
        AgreementCase{"eleveld_bolus_peak_still_to_come", true, 53, 1.77, 77, LbmAlgorithm::James,
                      TickMinutes, 0, 154, 2.0, Answer::Later, AgreementCase::Eleveld},
        AgreementCase{"eleveld_elderly_woman_with_opioid", false, 78, 1.58, 56, LbmAlgorithm::James,
                      60, 6, 60, 1.0, Answer::Later, AgreementCase::EleveldWithOpioid},
        AgreementCase{"eleveld_child_after_two_hours", true, 4, 1.03, 16.5, LbmAlgorithm::James,
                      120, 15, 0, 1.5, Answer::Later, AgreementCase::Eleveld}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(WakeUpMinutes, FindsTheLastCrossingWhenCeFallsRisesAndFallsAgain)
{
    // Nothing in plasma, much in compartment 2: Ce drops below 1.8 at once,
    // rises above it again as plasma refills, and falls for good 14 minutes on.
    const ModelParameters m = ModelParametersFor(MakePatient(true, 53, 1.77, 77), LbmAlgorithm::James, 0);
    const ModelState state{0, 0.0, 10.0, 0.0, 2.0};
    const DenseReference reference(m, state);
    ASSERT_LT(reference.EffectSite(1.0), 1.8);
    const double expected = reference.LastCrossing(1.8);
    ASSERT_GT(expected, 5.0);
    EXPECT_NEAR(WakeUpMinutes(m, state, 1.8).value_or(-1), expected, 1e-6);
}

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double Infinity = std::numeric_limits<double>::infinity();

struct KnownCase {
    const char* name;
    ModelState state;
    double level;
    std::optional<double> expected;
    bool eliminates = true; // false: k10 = 0
};

void PrintTo(const KnownCase& c, std::ostream* os) { *os << c.name; }

class WakeUpKnownAnswers : public ::testing::TestWithParam<KnownCase> {};

TEST_P(WakeUpKnownAnswers, Exactly)
{
    const KnownCase c = GetParam();
    ModelParameters m = ModelParametersFor(MakePatient(false, 40, 1.65, 62), LbmAlgorithm::James, 5);
    if (!c.eliminates)
        m.k10 = 0.0;
    EXPECT_EQ(WakeUpMinutes(m, c.state, c.level), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WakeUpKnownAnswers,
    ::testing::Values(KnownCase{"no_drug", {0, 0, 0, 0, 0}, 1.0, 0.0},
                      KnownCase{"at_the_level_and_falling", {0, 0.5, 0.5, 0.5, 1.0}, 1.0, 0.0},
                      KnownCase{"under_an_infinite_level", {0, 9, 9, 9, 9}, Infinity, 0.0},
                      KnownCase{"zero_level", {0, 1, 1, 1, 1}, 0.0, std::nullopt},
                      KnownCase{"nan_level", {0, 1, 1, 1, 1}, NaN, std::nullopt},
                      KnownCase{"nan_in_the_state", {0, 1, NaN, 1, 1}, 1.0, std::nullopt},
                      KnownCase{"no_elimination", {0, 3, 2, 1, 2}, 0.1, std::nullopt, false}),
    [](const auto& p) { return std::string(p.param.name); });

} // namespace
} // namespace sedalyn
