#include "PharmacokineticEngine.h"

#include "PatientSupport.h"

#include <gtest/gtest.h>

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
    // The carried state is row 5 of the last integration.
    EXPECT_EQ(engine.HanModel.State, engine.HanModel.EndState());
}

INSTANTIATE_TEST_SUITE_P(Calls, CarriedTicks,
                         ::testing::Values(CarriedCase{1, 0.241131, 0.004581},
                                           CarriedCase{12, 1.974192, 0.442010},
                                           CarriedCase{60, 3.445373, 2.744237},
                                           CarriedCase{120, 3.771659, 3.581545}));

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
        RefusalCase{"negative_james_lbm_kept", true, 50, 1.50, 250, false, ""},
        RefusalCase{"newborn_cl1_negative", false, 0, 0.5, 3.5, true, "clearance"},
        RefusalCase{"huge_weight_overflows", true, 30, 1e-200, 1e300, true, "lean body mass"}),
    [](const auto& p) { return std::string(p.param.name); });

} // namespace
} // namespace sedalyn
