#include "ExactSolution.h"
#include "PharmacokineticEngine.h"

#include "PatientSupport.h"

#include <gtest/gtest.h>
#include <unsupported/Eigen/MatrixFunctions>

#include <algorithm>
#include <ostream>
#include <vector>

namespace sedalyn {
namespace {

using test::MakePatient;

// Largest difference relative to the largest concentration expected.
double RelativeError(const Concentrations& got, const Concentrations& expected)
{
    return (got - expected).cwiseAbs().maxCoeff() / expected.cwiseAbs().maxCoeff();
}

struct MatrixCase {
    const char* name;
    LbmAlgorithm algorithm;
    double rate;
    ModelState state;
    bool switchedOff = false; // compartments 3 and 4 of volume 0
};

void PrintTo(const MatrixCase& c, std::ostream* os) { *os << c.name; }

class CompartmentMatrixTest : public ::testing::TestWithParam<MatrixCase> {};

TEST_P(CompartmentMatrixTest, TimesTheStatePlusTheInputGivesTheDerivative)
{
    const MatrixCase c = GetParam();
    ModelParameters m = ModelParametersFor(MakePatient(false, 70, 1.62, 85), c.algorithm, c.rate);
    if (c.switchedOff)
        m.V3 = m.V4 = 0.0;
    ModelState slopes{};
    ModelDerivative{m}(slopes, c.state);
    const Concentrations got = CompartmentMatrix(m) * StateConcentrations(c.state) + InputVector(m);
    for (std::size_t i = 1; i <= 4; ++i)
        EXPECT_NEAR(got(static_cast<Eigen::Index>(i - 1)), slopes[i], 1e-13) << "compartment " << i;
}

INSTANTIATE_TEST_SUITE_P(
    States, CompartmentMatrixTest,
    ::testing::Values(MatrixCase{"input_only", LbmAlgorithm::James, 10, {0, 0, 0, 0, 0}},
                      MatrixCase{"plasma_only", LbmAlgorithm::Hume, 0, {0, 3, 0, 0, 0}},
                      MatrixCase{"peripheral_2_only", LbmAlgorithm::Janmahasatian, 0, {0, 0, 2, 0, 0}},
                      MatrixCase{"peripheral_3_only", LbmAlgorithm::James, 0, {0, 0, 0, 1.5, 0}},
                      MatrixCase{"effect_site_only", LbmAlgorithm::Hume, 0, {0, 0, 0, 0, 4}},
                      MatrixCase{"loaded_with_input", LbmAlgorithm::Janmahasatian, 6, {12, 3.1, 1.4, 0.2, 2.2}},
                      MatrixCase{"switched_off", LbmAlgorithm::James, 10, {0, 4, 1, 0.7, 0.2}, true}),
    [](const auto& p) { return std::string(p.param.name); });

// exp of the augmented system [[A, b], [0, 0]] carries [C; 1] over t under the
// constant input: an independent (Padé) computation to check the modes against.
Concentrations PadeAdvance(const ModelParameters& m, const Concentrations& start, double minutes)
{
    Eigen::Matrix<double, 5, 5> augmented = Eigen::Matrix<double, 5, 5>::Zero();
    augmented.topLeftCorner<4, 4>() = CompartmentMatrix(m);
    augmented.topRightCorner<4, 1>() = InputVector(m);
    Eigen::Matrix<double, 5, 1> x;
    x << start, 1.0;
    return ((augmented * minutes).exp() * x).head<4>();
}

struct AdvanceCase {
    const char* name;
    LbmAlgorithm algorithm;
    double rate;
    double minutes;
};

void PrintTo(const AdvanceCase& c, std::ostream* os) { *os << c.name; }

class AdvanceTest : public ::testing::TestWithParam<AdvanceCase> {};

TEST_P(AdvanceTest, MatchesThePadeExponentialAndComposes)
{
    const AdvanceCase c = GetParam();
    const ModelParameters m = ModelParametersFor(MakePatient(false, 45, 1.68, 70), c.algorithm, c.rate);
    const CompartmentModes modes(m);
    ASSERT_TRUE(modes.Valid());
    EXPECT_LT(modes.Rates().maxCoeff(), 0.0);
    const Concentrations start{2.5, 1.0, 0.3, 1.8};
    const Concentrations whole = modes.Advance(start, c.minutes);
    EXPECT_LT(RelativeError(whole, PadeAdvance(m, start, c.minutes)), 1e-12);
    // exp(A·a)·exp(A·b) = exp(A·(a+b)), the input included.
    const Concentrations split =
        modes.Advance(modes.Advance(start, c.minutes / 3), 2 * c.minutes / 3);
    EXPECT_LT(RelativeError(split, whole), 1e-13);
}

INSTANTIATE_TEST_SUITE_P(Spans, AdvanceTest,
                         ::testing::Values(AdvanceCase{"tick", LbmAlgorithm::James, 10, TickMinutes},
                                           AdvanceCase{"minute", LbmAlgorithm::Hume, 0, 1},
                                           AdvanceCase{"hour", LbmAlgorithm::Janmahasatian, 4, 60},
                                           AdvanceCase{"day", LbmAlgorithm::James, 12, 1440}),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(RungeKuttaSystem, ErrorAgainstTheExactSolutionFallsSixteenfoldPerHalving)
{
    const ModelParameters m = ModelParametersFor(MakePatient(true, 53, 1.77, 77), LbmAlgorithm::James, 10);
    const ModelState start{0, 6.0, 1.0, 0.2, 2.0};
    const Concentrations exact = CompartmentModes(m).Advance(StateConcentrations(start), 1.0);
    double previous = 0.0;
    for (const std::int32_t steps : {8, 16, 32, 64}) {
        ResultTable table{};
        IntegratorErrorCode code = 0;
        RungeKuttaSystem(4, start, ModelDerivative(m), 0.0, 1.0, 1, steps, table, code);
        const double error = (StateConcentrations(table[1]) - exact).cwiseAbs().maxCoeff();
        if (previous != 0.0) {
            EXPECT_NEAR(previous / error, 16.0, 1.0) << steps << " steps, error " << error;
        }
        previous = error;
    }
}

// The tick's integration against the exact solution, from each tick's own
// start and carried over the hour. The bound is what the engine meets for a
// rate step from zero (5.2e-10 both ways, relative to the largest
// concentration); a bolus must meet the same.
constexpr double TickBound = 1e-9;

struct Dose {
    int tick;
    double rate;    // mg/kg/hr from this tick on
    double bolusMg; // at the start of this tick
};

struct TickCase {
    const char* name;
    std::vector<Dose> doses;
};

void PrintTo(const TickCase& c, std::ostream* os) { *os << c.name; }

class TickAgainstExactSolution : public ::testing::TestWithParam<TickCase> {};

TEST_P(TickAgainstExactSolution, StaysWithinTheRateStepBoundForAnHour)
{
    const Patient patient = MakePatient(true, 53, 1.77, 77);
    PharmacokineticEngine engine;
    Concentrations exact[3] = {Concentrations::Zero(), Concentrations::Zero(),
                               Concentrations::Zero()};
    double rate = 0.0;
    double worstTick = 0.0;
    double worstHour = 0.0;
    for (int tick = 0; tick < 60 * TicksPerMinute; ++tick) {
        double bolusMg = 0.0;
        for (const Dose& dose : GetParam().doses) {
            if (dose.tick == tick) {
                rate = dose.rate;
                bolusMg = dose.bolusMg;
            }
        }
        Concentrations starts[3];
        for (std::size_t k = 0; k < 3; ++k)
            starts[k] = StateConcentrations(engine.Slot(AllAlgorithms[k]).State);
        engine.AdvanceTick(patient, rate, bolusMg);
        for (std::size_t k = 0; k < 3; ++k) {
            const ModelParameters m = ModelParametersFor(patient, AllAlgorithms[k], rate);
            const CompartmentModes modes(m);
            const Concentrations bolus{bolusMg / m.V1, 0, 0, 0};
            const Concentrations got = StateConcentrations(engine.Slot(AllAlgorithms[k]).State);
            const Concentrations fromStart = modes.Advance(starts[k] + bolus, TickMinutes);
            worstTick = std::max(worstTick, RelativeError(got, fromStart));
            exact[k] = modes.Advance(exact[k] + bolus, TickMinutes);
            worstHour = std::max(worstHour, RelativeError(got, exact[k]));
        }
    }
    EXPECT_LT(worstTick, TickBound);
    EXPECT_LT(worstHour, TickBound);
}

INSTANTIATE_TEST_SUITE_P(
    Doses, TickAgainstExactSolution,
    ::testing::Values(TickCase{"rate_step_from_zero", {{0, 10, 0}}},
                      TickCase{"rate_changes_mid_case", {{0, 10, 0}, {240, 4, 0}, {480, 0, 0}}},
                      TickCase{"bolus_alone", {{0, 0, 154}}},
                      TickCase{"bolus_and_infusion", {{0, 10, 154}}},
                      TickCase{"two_boluses", {{0, 6, 100}, {60, 6, 50}}},
                      TickCase{"bolus_mid_case", {{0, 8, 0}, {300, 8, 40}}}),
    [](const auto& p) { return std::string(p.param.name); });

} // namespace
} // namespace sedalyn
