#include "PharmacokineticEngine.h"

#include "PatientSupport.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <ostream>
#include <random>

namespace sedalyn {
namespace {

using test::MakePatient;

TEST(RungeKuttaSystem, TickOfTheJamesExampleFromZero)
{
    SchniderParameters s;
    BuildSchniderParameters(MakePatient(true, 53, 1.77, 77), LbmAlgorithm::James, s);
    ModelParameters m;
    LoadModelInputs(s, 10, 77, m);
    ResultTable table{};
    IntegratorErrorCode code = 7;
    const ModelState start{};
    RungeKuttaSystem(4, start, ModelDerivative(m), 0.0, TickMinutes, 5, 5, table, code);
    ASSERT_EQ(code, 0);
    EXPECT_EQ(table[0], start);
    const double plasma[] = {0.049710, 0.098667, 0.146881, 0.194366, 0.241131};
    for (std::size_t r = 1; r <= 5; ++r)
        EXPECT_NEAR(table[r][StatePlasma], plasma[r - 1], 5e-7) << "row " << r;
    EXPECT_NEAR(table[5][StateEffectSite], 0.004581, 5e-7);
}

struct CarriedCase {
    int ticks;
    double jamesPlasma;
    double jamesEffect;
};

void PrintTo(const CarriedCase& c, std::ostream* os) { *os << c.ticks << " ticks"; }

class CarriedTicks : public ::testing::TestWithParam<CarriedCase> {};

TEST_P(CarriedTicks, JamesExampleAtTenMgPerKgPerHour)
{
    const CarriedCase c = GetParam();
    PharmacokineticEngine engine;
    const Patient p = MakePatient(true, 53, 1.77, 77);
    for (int k = 0; k < c.ticks; ++k)
        engine.AdvanceTick(p, 10.0);
    EXPECT_NEAR(engine.JamesModel.State[StatePlasma], c.jamesPlasma, 5e-7);
    EXPECT_NEAR(engine.JamesModel.State[StateEffectSite], c.jamesEffect, 5e-7);
    EXPECT_NEAR(engine.JamesModel.State[StateTime], c.ticks / 12.0, 1e-12);
}

INSTANTIATE_TEST_SUITE_P(Calls, CarriedTicks,
                         ::testing::Values(CarriedCase{1, 0.241131, 0.004581},
                                           CarriedCase{12, 1.974192, 0.442010},
                                           CarriedCase{60, 3.445373, 2.744237},
                                           CarriedCase{120, 3.771659, 3.581545}),
                         [](const auto& p) { return std::to_string(p.param.ticks) + "Ticks"; });

// The tick as the integrator's own routine does it: parameters built afresh
// for every model and tick, the state carried over from row 5 of the table.
using ThreeStates = std::array<ModelState, 3>;

ThreeStates ReferenceTick(ThreeStates states, const Patient& patient, double rate, double bolusMg)
{
    std::array<ResultTable, 3> tables{};
    std::size_t m = 0;
    for (const LbmAlgorithm algorithm : AllAlgorithms) {
        SchniderParameters schnider;
        BuildSchniderParameters(patient, algorithm, schnider);
        ModelParameters model;
        LoadModelInputs(schnider, rate, patient.PatientWeight, model);
        ModelState& state = states[m];
        if (bolusMg != 0.0)
            state[StatePlasma] =
                static_cast<double>(state[StatePlasma] + static_cast<long double>(bolusMg) / model.V1);
        IntegratorErrorCode code = 9;
        RungeKuttaSystem(4, state, ModelDerivative(model), 0.0, TickMinutes, 5, 5, tables[m], code);
        EXPECT_EQ(code, 0);
        ++m;
    }
    for (m = 0; m < states.size(); ++m)
        states[m] = tables[m][5];
    return states;
}

bool SameBits(const ThreeStates& a, const ThreeStates& b)
{
    return std::memcmp(a.data(), b.data(), sizeof a) == 0;
}

TEST(PharmacokineticEngine, TickIsBitForBitTheIntegratorsRoutineThroughALongRandomCase)
{
    std::mt19937_64 random(20261207);
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    const Patient patients[] = {MakePatient(true, 53, 1.77, 77), MakePatient(false, 81, 1.55, 123)};
    PharmacokineticEngine engine;
    ThreeStates reference{};
    double rate = 0.0;
    // The reference shares the slopes and the step with the engine; a digest
    // of every tick's bits pins their arithmetic as well.
    std::uint64_t digest = 0;
    // Two cases of a day each, with the rate and the patient changing under
    // the engine as the window may change them between cases.
    for (const Patient& patient : patients) {
        engine.ResetModels();
        reference = {};
        for (int tick = 0; tick < 24 * 60 * TicksPerMinute; ++tick) {
            if (uniform(random) < 0.02)
                rate = uniform(random) < 0.1 ? 0.0 : std::round(uniform(random) * 4000.0) / 4.0;
            const double bolusMg = uniform(random) < 0.002 ? 1.0 + std::floor(uniform(random) * 300.0) : 0.0;
            engine.AdvanceTick(patient, rate, bolusMg);
            reference = ReferenceTick(reference, patient, rate, bolusMg);
            const ThreeStates states{engine.JamesModel.State, engine.HumeModel.State, engine.HanModel.State};
            ASSERT_TRUE(SameBits(states, reference)) << "tick " << tick << " rate " << rate;
            for (const double c : engine.Concentrations())
                digest = (digest ^ std::bit_cast<std::uint64_t>(c)) * 0x100000001b3u;
        }
    }
    EXPECT_EQ(digest, 0x9b7f4cfcecc70e50u) << std::hex << digest;
}

TEST(PharmacokineticEngine, ZeroRateKeepsEverythingAtZeroAndResetRestarts)
{
    PharmacokineticEngine engine;
    const Patient p = MakePatient(false, 40, 1.60, 60);
    engine.AdvanceTick(p, 0.0);
    EXPECT_EQ(engine.JamesModel.State[StatePlasma], 0.0);
    EXPECT_EQ(engine.HanModel.State[StateEffectSite], 0.0);
    engine.AdvanceTick(p, 8.0);
    engine.ResetModels();
    EXPECT_EQ(engine.HumeModel.State, ModelState{});
    PharmacokineticEngine fresh;
    engine.AdvanceTick(p, 8.0);
    fresh.AdvanceTick(p, 8.0);
    EXPECT_EQ(engine.HumeModel.State, fresh.HumeModel.State);
}

struct RefusalCase {
    const char* name;
    bool male;
    double age;
    double height;
    double weight;
    bool refused;
    const char* words;
};

void PrintTo(const RefusalCase& c, std::ostream* os)
{
    *os << (c.male ? "male, " : "female, ") << c.age << " y, " << c.height << " m, " << c.weight << " kg";
}

class Refusal : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(Refusal, OnlyNonPhysicalPatientsAreRefused)
{
    const RefusalCase c = GetParam();
    const std::string message = PatientRefusal(MakePatient(c.male, c.age, c.height, c.weight));
    EXPECT_EQ(!message.empty(), c.refused) << message;
    EXPECT_NE(message.find(c.words), std::string::npos) << message;
}

INSTANTIATE_TEST_SUITE_P(
    Patients, Refusal,
    ::testing::Values(
        RefusalCase{"ordinary", true, 53, 1.77, 77, false, ""},
        RefusalCase{"child", false, 4, 1.0, 15, false, ""},
        RefusalCase{"age_100", true, 100, 1.70, 70, false, ""},
        RefusalCase{"age_102_v2_negative", true, 102, 1.70, 70, true, "age"},
        RefusalCase{"age_106_75_cl2_zero", true, 106.75, 1.70, 70, true, "age"},
        RefusalCase{"age_200", false, 200, 1.60, 60, true, "age"},
        RefusalCase{"negative_james_lbm_kept", false, 50, 1.60, 250, false, ""},
        RefusalCase{"newborn_cl1_negative", false, 0, 0.5, 3.5, true, "clearance"},
        RefusalCase{"huge_weight_overflows", true, 30, 1e-200, 1e300, true, "in kilograms"},
        RefusalCase{"height_in_centimetres", true, 53, 177, 77, true, "Height is in metres, for example 1.75."},
        RefusalCase{"height_2_5_kept", true, 53, 2.5, 80, false, ""},
        RefusalCase{"weight_in_grams", true, 53, 1.77, 80000, true, "Weight is in kilograms"},
        RefusalCase{"weight_350_kept", true, 53, 2.0, 350, false, ""},
        RefusalCase{"bmi_below_10", true, 53, 1.90, 30, true, "body-mass index of 8.31 kg/m2"},
        RefusalCase{"bmi_above_100", true, 50, 1.50, 250, true, "body-mass index of 111.1"},
        RefusalCase{"age_101_33_too_fast", true, 101.33, 1.70, 70, true, "too fast"}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(FastestModelRate, BoundsTheRateOfEveryModeOfTheExample)
{
    // Any mode decays at most this fast: e^{-rate} per minute bounds the
    // plasma's own loss, k10 + k12 + k13 + k14, from above.
    SchniderParameters s;
    BuildSchniderParameters(MakePatient(true, 53, 1.77, 77), LbmAlgorithm::James, s);
    ModelParameters m;
    LoadModelInputs(s, 0.0, 77, m);
    const double rate = FastestModelRate(m);
    EXPECT_GE(rate, m.k10 + m.k12 + m.k13 + m.k14);
    EXPECT_LT(rate, MaxModelRatePerMinute / 10);
}

struct WarningCase {
    const char* name;
    bool male;
    double age;
    double height;
    double weight;
    std::vector<std::string> starts;
};

void PrintTo(const WarningCase& c, std::ostream* os)
{
    *os << (c.male ? "male, " : "female, ") << c.age << " y, " << c.height << " m, " << c.weight << " kg";
}

class Warnings : public ::testing::TestWithParam<WarningCase> {};

TEST_P(Warnings, NameEachReasonForCare)
{
    const WarningCase c = GetParam();
    const std::vector<std::string> warnings = PatientWarnings(MakePatient(c.male, c.age, c.height, c.weight));
    ASSERT_EQ(warnings.size(), c.starts.size());
    for (std::size_t i = 0; i < warnings.size(); ++i)
        EXPECT_EQ(warnings[i].rfind(c.starts[i], 0), 0u) << warnings[i];
}

const std::string Population = "Outside the Schnider study population (age 25–81 y, 44–123 kg, 1.55–1.91 m)";
const std::string FallingJames = "James lean body mass falls at this weight";

INSTANTIATE_TEST_SUITE_P(
    Patients, Warnings,
    ::testing::Values(WarningCase{"ordinary", true, 53, 1.77, 77, {}},
                      WarningCase{"population_edges_kept", false, 81, 1.91, 44, {}},
                      WarningCase{"age_24", true, 24, 1.77, 77, {Population}},
                      WarningCase{"short", false, 40, 1.54, 50, {Population}},
                      WarningCase{"female_james_past_its_top", false, 53, 1.60, 95, {FallingJames}},
                      WarningCase{"heavy_male_both", true, 53, 1.77, 140, {Population, FallingJames}}),
    [](const auto& p) { return std::string(p.param.name); });

} // namespace
} // namespace sedalyn
