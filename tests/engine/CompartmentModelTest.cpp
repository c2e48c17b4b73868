#include "CompartmentModel.h"

#include <gtest/gtest.h>

#include <limits>
#include <ostream>
#include <utility>

namespace sedalyn {
namespace {

ModelParameters JamesExampleAtRate(double rate)
{
    const Patient p{53, 1.77, 77, [] { return std::string("Male"); }};
    SchniderParameters s;
    BuildSchniderParameters(p, LbmAlgorithm::James, s);
    ModelParameters m;
    LoadModelInputs(s, rate, 77, m);
    return m;
}

struct SlopeCase {
    const char* name;
    double rate;
    ModelState state;
    ModelState slopes;
};

void PrintTo(const SlopeCase& c, std::ostream* os) { *os << c.name; }

class Slopes : public ::testing::TestWithParam<SlopeCase> {};

TEST_P(Slopes, MatchHandWorkedValues)
{
    const SlopeCase c = GetParam();
    const ModelParameters m = JamesExampleAtRate(c.rate);
    const double sentinel = -123.0;
    ModelState slopes{sentinel, 9, 9, 9, 9};
    ModelDerivative{m}(slopes, c.state);
    EXPECT_EQ(slopes[StateTime], sentinel); // index 0 left alone
    for (std::size_t i = 1; i < 5; ++i)
        EXPECT_NEAR(slopes[i], c.slopes[i], 5e-7) << "index " << i;
}

INSTANTIATE_TEST_SUITE_P(
    JamesExample, Slopes,
    ::testing::Values(SlopeCase{"zero_state", 10, {0, 0, 0, 0, 0}, {0, 3.005464, 0, 0, 0}},
                      SlopeCase{"loaded", 10, {0, 2.0, 0.5, 0.1, 1.0},
                                {0, 1.342102, 0.102381, 0.006674, 0.456}},
                      SlopeCase{"no_input", 0, {5, 0, 0, 0, 0}, {0, 0, 0, 0, 0}}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(ModelDerivative, EffectSiteAtEquilibriumHasNoSlope)
{
    const ModelParameters m = JamesExampleAtRate(4);
    for (double c : {0.5, 2.0, 7.25}) {
        ModelState slopes{};
        ModelDerivative{m}(slopes, ModelState{0, c, 1.0, 3.0, c});
        EXPECT_NEAR(slopes[StateEffectSite], 0.0, 1e-14);
    }
}

TEST(ModelDerivative, ZeroVolumeSwitchesACompartmentOff)
{
    // Each compartment alone and both, -0 as well as +0: factors of V3 and V4.
    for (const auto& [v3, v4] : {std::pair{0.0, 1.0}, {1.0, -0.0}, {0.0, 0.0}}) {
        ModelParameters m = JamesExampleAtRate(10);
        m.V3 *= v3;
        m.V4 *= v4;
        ModelState slopes{};
        ModelDerivative{m}(slopes, ModelState{0, 4.0, 1.0, 0.7, 0.2});
        EXPECT_EQ(slopes[StateCompartment3] == 0.0, v3 == 0.0) << v3 << " " << v4;
        EXPECT_EQ(slopes[StateEffectSite] == 0.0, v4 == 0.0) << v3 << " " << v4;
    }
}

TEST(ModelDerivative, ConservesDrugAmountApartFromInputAndElimination)
{
    // Sum of amount rates equals input minus k10 x central amount.
    const ModelParameters m = JamesExampleAtRate(10);
    const ModelState state{0, 3.1, 1.4, 0.2, 2.2};
    ModelState d{};
    ModelDerivative{m}(d, state);
    const double amountRate = m.V1 * d[1] + m.V2 * d[2] + m.V3 * d[3] + m.V4 * d[4];
    EXPECT_NEAR(amountRate, m.InfusionInput - m.k10 * m.V1 * state[1], 1e-12);
}

} // namespace
} // namespace sedalyn
