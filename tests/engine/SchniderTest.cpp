#include "Schnider.h"

#include "PatientSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <ostream>
#include <string>

namespace sedalyn {
namespace {

using test::MakePatient;

struct ClearanceCase {
    LbmAlgorithm algorithm;
    double cl1;
    double k10;
};

void PrintTo(const ClearanceCase& c, std::ostream* os) { *os << AlgorithmName(c.algorithm); }

class ExamplePatientSets : public ::testing::TestWithParam<ClearanceCase> {};

TEST_P(ExamplePatientSets, DifferOnlyInElimination)
{
    const ClearanceCase c = GetParam();
    SchniderParameters s;
    BuildSchniderParameters(MakePatient(true, 53, 1.77, 77), c.algorithm, s);
    EXPECT_DOUBLE_EQ(s.V1, 4.27);
    EXPECT_NEAR(s.V2, 18.9, 1e-12);
    EXPECT_DOUBLE_EQ(s.V3, 238.0);
    EXPECT_NEAR(s.k12, 0.302108, 5e-7);
    EXPECT_NEAR(s.k13, 0.195785, 5e-7);
    EXPECT_NEAR(s.k21, 0.068254, 5e-7);
    EXPECT_NEAR(s.k31, 0.00351261, 5e-9);
    EXPECT_DOUBLE_EQ(s.ke0, 0.456);
    EXPECT_NEAR(s.k10 * s.V1, c.cl1, 5e-7);
    EXPECT_NEAR(s.k10, c.k10, 5e-7);
}

INSTANTIATE_TEST_SUITE_P(Male53y177cm77kg, ExamplePatientSets,
                         ::testing::Values(ClearanceCase{LbmAlgorithm::James, 1.789481, 0.419082},
                                           ClearanceCase{LbmAlgorithm::Hume, 1.866992, 0.437235},
                                           ClearanceCase{LbmAlgorithm::Janmahasatian, 1.853364,
                                                         0.434043}),
                         [](const auto& p) { return std::string(AlgorithmName(p.param.algorithm)); });

TEST(BuildSchniderParameters, FemaleFortyYearsJames)
{
    SchniderParameters s;
    BuildSchniderParameters(MakePatient(false, 40, 1.60, 60), LbmAlgorithm::James, s);
    EXPECT_NEAR(s.V2, 23.983, 5e-7);
    EXPECT_NEAR(s.k12 * s.V1, 1.602, 5e-7);
    EXPECT_NEAR(s.k10 * s.V1, 1.729211, 5e-7);
    EXPECT_NEAR(s.k10, 0.404968, 5e-7);
    EXPECT_NEAR(s.k12, 0.375176, 5e-7);
    EXPECT_NEAR(s.k21, 0.066797, 5e-7);
}

TEST(BuildSchniderParameters, NegativeJamesLbmRaisesClearance)
{
    SchniderParameters normal;
    SchniderParameters heavy;
    BuildSchniderParameters(MakePatient(true, 50, 1.50, 80), LbmAlgorithm::James, normal);
    const Patient obese = MakePatient(true, 50, 1.50, 250); // BMI 111: James LBM < 0
    ASSERT_LT(JamesLbm(true, 1.50, 250), 0.0);
    BuildSchniderParameters(obese, LbmAlgorithm::James, heavy);
    EXPECT_GT(heavy.k10, normal.k10);
}

struct InputCase {
    double rate;
    double weight;
    double input;
};

void PrintTo(const InputCase& c, std::ostream* os)
{
    *os << c.rate << " mg/kg/hr, " << c.weight << " kg";
}

class ModelInputs : public ::testing::TestWithParam<InputCase> {};

TEST_P(ModelInputs, ConvertRateAndAddTheEffectCompartment)
{
    const InputCase c = GetParam();
    SchniderParameters s;
    BuildSchniderParameters(MakePatient(true, 53, 1.77, c.weight), LbmAlgorithm::Hume, s);
    ModelParameters m;
    LoadModelInputs(s, c.rate, c.weight, m);
    EXPECT_NEAR(m.InfusionInput, c.input, 5e-5);
    EXPECT_NEAR(m.V4, 0.000427, 1e-15);
    EXPECT_NEAR(m.k14, 0.0000456, 1e-15);
    EXPECT_EQ(m.k41, s.ke0);
    EXPECT_NEAR(m.V2, s.V2, 1e-12);
    EXPECT_NEAR(m.V3, s.V3, 1e-10);
    EXPECT_NEAR(m.k14 * m.V1 / m.V4, m.k41, 1e-15);
}

INSTANTIATE_TEST_SUITE_P(Rates, ModelInputs,
                         ::testing::Values(InputCase{10, 77, 12.8333}, InputCase{0, 77, 0},
                                           InputCase{6, 60, 6.0}),
                         [](const auto& p) {
                             return std::to_string(std::lround(p.param.rate)) + "mgPerKgPerHour" +
                                    std::to_string(std::lround(p.param.weight)) + "kg";
                         });

} // namespace
} // namespace sedalyn
