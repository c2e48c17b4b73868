#include "Eleveld.h"
#include "ExactSolution.h"

#include "PatientSupport.h"

#include <gtest/gtest.h>
#include <unsupported/Eigen/MatrixFunctions>

#include <algorithm>
#include <array>
#include <cmath>
#include <ostream>
#include <vector>

namespace sedalyn {
namespace {

using test::MakePatient;

// V1, V2, V3, CL, Q2, Q3, ke0.
using Typical = std::array<double, 7>;

Typical Of(const EleveldParameters& p)
{
    return {p.V1, p.V2, p.V3, p.CL, p.Q2, p.Q3, p.ke0};
}

// Eleveld et al. 2018 written out as the paper does, in plain doubles.
Typical FromThePaper(bool male, double age, double height, double weight, bool opioid)
{
    const double th1 = 6.2830780766822, th2 = 25.5013145036879, th3 = 272.8166615043603;
    const double th4 = 1.7895836588902, th5 = 1.7500983738779, th6 = 1.1085424008536;
    const double th8 = 42.2760190602615, th9 = 9.0548452392807, th10 = -0.015633;
    const double th11 = -0.00285709, th12 = 33.5531248778544, th13 = -0.0138166;
    const double th14 = 68.2767978846832, th15 = 2.1002218877899, th16 = 1.3042680471360;
    const auto ffm = [](bool m, double a, double h, double w) {
        const double bmi = w / (h * h);
        return m ? (0.88 + 0.12 / (1 + std::pow(a / 13.4, -12.7))) * 9270 * w / (6680 + 216 * bmi)
                 : (1.11 - 0.11 / (1 + std::pow(a / 7.1, -1.1))) * 9270 * w / (8780 + 244 * bmi);
    };
    const auto clMat = [&](double pma) { return 1 / (1 + std::pow(th8 / pma, th9)); };
    const auto q3Mat = [&](double pma) { return pma / (pma + th14); };
    const double pma = age * 52 + 40;
    const double pmaRef = 35 * 52 + 40;
    const double v2 = th2 * weight / 70 * std::exp(th10 * (age - 35));
    const double v3 = th3 * ffm(male, age, height, weight) / ffm(true, 35, 1.70, 70)
                      * (opioid ? std::exp(th13 * age) : 1);
    return {th1 * (weight / (weight + th12)) / (70 / (70 + th12)), v2, v3,
            (male ? th4 : th15) * std::pow(weight / 70, 0.75) * clMat(pma) / clMat(pmaRef)
                * (opioid ? std::exp(th11 * age) : 1),
            th5 * std::pow(v2 / th2, 0.75) * (1 + th16 * (1 - q3Mat(pma))),
            th6 * std::pow(v3 / th3, 0.75) * q3Mat(pma) / q3Mat(pmaRef),
            0.146 * std::pow(weight / 70, -0.25)};
}

void ExpectNear(const Typical& got, const Typical& want, double relative)
{
    for (std::size_t i = 0; i < got.size(); ++i)
        EXPECT_NEAR(got[i], want[i], relative * want[i]) << "V1 V2 V3 CL Q2 Q3 ke0, number " << i;
}

TEST(BuildEleveldParameters, ReferenceIndividualHasThePapersValuesAndQ2Of183)
{
    const Typical got = Of(BuildEleveldParameters(MakePatient(true, 35, 1.70, 70), false));
    ExpectNear(got, {6.2830780766822, 25.5013145036879, 272.8166615043603, 1.7895836588902,
                     got[4], 1.1085424008536, 0.146},
               1e-13);
    EXPECT_NEAR(got[4], 1.83, 0.005);
}

struct Covariates {
    const char* name;
    bool male;
    double age, height, weight;
    bool opioid;
};

void PrintTo(const Covariates& c, std::ostream* os)
{
    *os << (c.male ? "male, " : "female, ") << c.age << " y, " << c.height << " m, " << c.weight << " kg"
        << (c.opioid ? ", with opioid" : "");
}

class EleveldCovariates : public ::testing::TestWithParam<Covariates> {};

TEST_P(EleveldCovariates, FollowThePapersEquations)
{
    const Covariates c = GetParam();
    ExpectNear(Of(BuildEleveldParameters(MakePatient(c.male, c.age, c.height, c.weight), c.opioid)),
               FromThePaper(c.male, c.age, c.height, c.weight, c.opioid), 1e-12);
}

INSTANTIATE_TEST_SUITE_P(
    Patients, EleveldCovariates,
    ::testing::Values(Covariates{"boy_4_years", true, 4, 1.03, 16.5, false},
                      Covariates{"girl_6_months", false, 0.5, 0.66, 7.5, false},
                      Covariates{"elderly_woman_with_opioid", false, 78, 1.58, 56, true},
                      Covariates{"obese_man", true, 45, 1.76, 145, false}),
    [](const auto& p) { return std::string(p.param.name); });

struct Dose {
    int tick;
    double rate;    // mg/kg/hr from this tick on
    double bolusMg; // at the start of this tick
};

struct TickCase {
    const char* name;
    Covariates patient;
    std::vector<Dose> doses;
};

void PrintTo(const TickCase& c, std::ostream* os) { *os << c.name; }

class EleveldTick : public ::testing::TestWithParam<TickCase> {};

TEST_P(EleveldTick, FollowsTheExactSolutionOfThePapersEquationsForAnHour)
{
    const TickCase c = GetParam();
    const Covariates& pc = c.patient;
    const auto [v1, v2, v3, cl, q2, q3, ke0] =
        FromThePaper(pc.male, pc.age, pc.height, pc.weight, pc.opioid);
    // dC/dt = A C + b as [[A, b], [0, 0]]: its exponential carries [C; 1] exactly.
    Eigen::Matrix<double, 5, 5> system = Eigen::Matrix<double, 5, 5>::Zero();
    system.topLeftCorner<4, 4>() << -(cl + q2 + q3) / v1, q2 / v1, q3 / v1, 0, q2 / v2, -q2 / v2,
        0, 0, q3 / v3, 0, -q3 / v3, 0, ke0, 0, 0, -ke0;
    EleveldModel model;
    model.Reset(pc.opioid);
    Eigen::Matrix<double, 5, 1> exact{0, 0, 0, 0, 1};
    double rate = 0.0;
    double worst = 0.0;
    for (int tick = 0; tick < 60 * TicksPerMinute; ++tick) {
        double bolusMg = 0.0;
        for (const Dose& dose : c.doses)
            if (dose.tick == tick) {
                rate = dose.rate;
                bolusMg = dose.bolusMg;
            }
        model.AdvanceTick(MakePatient(pc.male, pc.age, pc.height, pc.weight), rate, bolusMg);
        system(0, 4) = rate * pc.weight / 60 / v1;
        exact(0) += bolusMg / v1;
        exact = (system * TickMinutes).exp() * exact;
        const Concentrations got = StateConcentrations(model.Slot.State);
        worst = std::max(worst, (got - exact.head<4>()).cwiseAbs().maxCoeff()
                                    / exact.head<4>().cwiseAbs().maxCoeff());
    }
    EXPECT_LT(worst, 1e-6);
}

INSTANTIATE_TEST_SUITE_P(
    Doses, EleveldTick,
    ::testing::Values(
        TickCase{"infusion_with_rate_changes", {"", true, 53, 1.77, 77, false},
                 {{0, 10, 0}, {240, 4, 0}, {480, 0, 0}}},
        TickCase{"bolus_alone", {"", false, 30, 1.62, 58, false}, {{0, 0, 120}}},
        TickCase{"boluses_with_opioid", {"", false, 78, 1.58, 56, true},
                 {{0, 8, 80}, {300, 8, 30}}}),
    [](const auto& p) { return std::string(p.param.name); });

// Nothing is refused for this model's sake: within the program's own limits
// it is physical, its modes are found and one-second steps follow it.
TEST(EleveldModel, IsPhysicalAndFollowableForEveryPatientTheProgramAccepts)
{
    int accepted = 0;
    for (const double age : {0.0, 0.5, 2.0, 10.0, 35.0, 70.0, 88.0, 101.0})
        for (double height = 0.4; height <= 2.5; height += 0.1)
            for (double weight = 1.0; weight <= MaxWeightKg; weight *= 1.25) {
                const Patient patient = MakePatient(age < 50, age, height, weight);
                if (!PatientRefusal(patient).empty())
                    continue;
                ++accepted;
                const EleveldParameters p = BuildEleveldParameters(patient, age > 50);
                const Eigen::Matrix4d a = CompartmentMatrix(p);
                ASSERT_GT(std::ranges::min(Of(p)), 0.0) << age << ' ' << height << ' ' << weight;
                ASSERT_LE(a.cwiseAbs().rowwise().sum().maxCoeff(), MaxModelRatePerMinute);
                ASSERT_TRUE(CompartmentModes(a, InputVector(p, 0.0)).Valid());
            }
    EXPECT_GT(accepted, 200);
}

struct PopulationCase {
    const char* name;
    double age, weight;
    bool inside;
};

void PrintTo(const PopulationCase& c, std::ostream* os) { *os << c.age << " y, " << c.weight << " kg"; }

class EleveldPopulation : public ::testing::TestWithParam<PopulationCase> {};

TEST_P(EleveldPopulation, WarnsOutsideThePapersPopulationOnly)
{
    const PopulationCase c = GetParam();
    const std::string warning = EleveldPopulationWarning(MakePatient(false, c.age, 1.6, c.weight));
    EXPECT_EQ(warning.find("Eleveld predictions are extrapolated") == std::string::npos, c.inside);
}

INSTANTIATE_TEST_SUITE_P(
    Limits, EleveldPopulation,
    ::testing::Values(PopulationCase{"newborn_at_the_smallest_weight", 0, 0.68, true},
                      PopulationCase{"below_the_smallest_weight", 0, 0.6, false},
                      PopulationCase{"eighty_eight_years_at_160_kg", 88, 160, true},
                      PopulationCase{"past_eighty_eight", 88.5, 60, false},
                      PopulationCase{"above_160_kg", 40, 160.5, false}),
    [](const auto& p) { return std::string(p.param.name); });

} // namespace
} // namespace sedalyn
