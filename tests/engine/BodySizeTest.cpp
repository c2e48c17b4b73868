#include "BodySize.h"

#include <gtest/gtest.h>

#include <cmath>
#include <ostream>
#include <string>

namespace sedalyn {
namespace {

struct BodySizeCase {
    bool male;
    double height;
    double weight;
    double bmi;
    double james;
    double hume;
    double janmahasatian;
};

void PrintTo(const BodySizeCase& c, std::ostream* os)
{
    *os << (c.male ? "male, " : "female, ") << c.height << " m, " << c.weight << " kg";
}

class BodySizeFigures : public ::testing::TestWithParam<BodySizeCase> {};

TEST_P(BodySizeFigures, MatchPublishedValuesToFourDecimals)
{
    const BodySizeCase c = GetParam();
    EXPECT_NEAR(BodyMassIndex(c.height, c.weight), c.bmi, 5e-5);
    EXPECT_NEAR(JamesLbm(c.male, c.height, c.weight), c.james, 5e-5);
    EXPECT_NEAR(HumeLbm(c.male, c.height, c.weight), c.hume, 5e-5);
    EXPECT_NEAR(JanmahasatianLbm(c.male, c.height, c.weight), c.janmahasatian, 5e-5);
}

INSTANTIATE_TEST_SUITE_P(Patients, BodySizeFigures,
                         ::testing::Values(
                             BodySizeCase{true, 1.77, 77, 24.5779, 60.4761, 59.3379, 59.5380},
                             BodySizeCase{false, 1.60, 60, 23.4375, 43.3875, 42.3095, 38.3619},
                             BodySizeCase{true, 1.75, 150, 48.9796, 70.9592, 88.4827, 80.5639},
                             BodySizeCase{false, 1.60, 120, 46.8750, 45.1500, 57.4171, 55.0216}),
                         [](const auto& p) {
                             return std::string(p.param.male ? "Male" : "Female") +
                                    std::to_string(std::lround(p.param.height * 100)) + "cm" +
                                    std::to_string(std::lround(p.param.weight)) + "kg";
                         });

TEST(JamesLbm, CrossesZeroAtTheMaleBmiLimitAndGoesNegativeUnclamped)
{
    // BMI 85.9375 at 2 m is 343.75 kg.
    EXPECT_NEAR(JamesLbm(true, 2.0, 343.75), 0.0, 1e-9);
    EXPECT_LT(JamesLbm(true, 2.0, 400.0), 0.0);
    EXPECT_LT(JamesLbm(false, 1.5, 170.0), 0.0); // BMI 75.6, above the female limit
}

TEST(Patient, OnlyTheExactCaptionMaleMeansMale)
{
    for (const char* caption : {"Male", "male", "MALE", "Male ", "Female", ""}) {
        SCOPED_TRACE(caption);
        Patient p;
        p.GenderCaption = [caption] { return std::string(caption); };
        EXPECT_EQ(p.IsMale(), std::string(caption) == "Male");
    }
    EXPECT_FALSE(Patient{}.IsMale()); // no source yet: not male
}

TEST(SelectedLbm, PicksTheFormulaAndIgnoresAge)
{
    Patient p{53.0, 1.77, 77.0, [] { return std::string("Male"); }};
    const double james = SelectedLbm(p, LbmAlgorithm::James);
    EXPECT_EQ(james, JamesLbm(true, 1.77, 77.0));
    EXPECT_EQ(SelectedLbm(p, LbmAlgorithm::Hume), HumeLbm(true, 1.77, 77.0));
    EXPECT_EQ(SelectedLbm(p, LbmAlgorithm::Janmahasatian), JanmahasatianLbm(true, 1.77, 77.0));
    p.PatientAge = 90.0;
    EXPECT_EQ(SelectedLbm(p, LbmAlgorithm::James), james);
    EXPECT_EQ(SelectedLbm(p, static_cast<LbmAlgorithm>(7)), 0.0);
}

} // namespace
} // namespace sedalyn
