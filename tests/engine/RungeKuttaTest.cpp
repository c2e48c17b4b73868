#include "RungeKutta.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <ostream>
#include <string>

namespace sedalyn {
namespace {

// dy/dt = 1 for every equation: after j steps of h from 0, y = j*h exactly
// enough to tell which state a row took.
struct CountSteps {
    void operator()(ModelState& slopes, const ModelState&) const
    {
        for (std::size_t i = 1; i < slopes.size(); ++i)
            slopes[i] = 1.0;
    }
};

ResultTable Filled(double value)
{
    ResultTable table;
    for (ModelState& row : table)
        row.fill(value);
    return table;
}

struct CheckCase {
    const char* name;
    std::int32_t equations;
    double lower;
    double upper;
    std::int32_t results;
    std::int32_t intervals;
    IntegratorErrorCode code;
};

void PrintTo(const CheckCase& c, std::ostream* os) { *os << c.name; }

class ArgumentChecks : public ::testing::TestWithParam<CheckCase> {};

TEST_P(ArgumentChecks, LastFailingCheckDecidesAndNoRowIsWritten)
{
    const CheckCase c = GetParam();
    ResultTable table = Filled(42.0);
    IntegratorErrorCode code = 99;
    RungeKuttaSystem(c.equations, ModelState{}, CountSteps{}, c.lower, c.upper, c.results,
                     c.intervals, table, code);
    EXPECT_EQ(code, c.code);
    if (code != 0) {
        for (const ModelState& row : table)
            for (double v : row)
                EXPECT_EQ(v, 42.0);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Codes, ArgumentChecks,
    ::testing::Values(CheckCase{"ok", 4, 0, 1, 5, 5, 0},
                      CheckCase{"no_results", 4, 0, 1, 0, 5, 1},
                      CheckCase{"results_beyond_table", 4, 0, 1, 13, 20, 1},
                      CheckCase{"more_results_than_intervals", 4, 0, 1, 6, 5, 2},
                      CheckCase{"no_equations", 0, 0, 1, 5, 5, 3},
                      CheckCase{"five_equations", 5, 0, 1, 5, 5, 3},
                      CheckCase{"no_range", 4, 1, 1, 5, 5, 4},
                      CheckCase{"no_results_and_no_range", 4, 1, 1, 0, 5, 4},
                      CheckCase{"no_equations_and_no_results", 0, 0, 1, 0, 5, 3},
                      CheckCase{"too_many_results_and_no_equations", 0, 0, 1, 6, 5, 3},
                      CheckCase{"backwards_range", 4, 1, 0, 5, 5, 0}),
    [](const auto& p) { return std::string(p.param.name); });

struct ThinningCase {
    std::int32_t intervals;
    std::int32_t results;
    std::vector<int> states;
};

void PrintTo(const ThinningCase& c, std::ostream* os)
{
    *os << c.intervals << " intervals, " << c.results << " results";
}

class Thinning : public ::testing::TestWithParam<ThinningCase> {};

TEST_P(Thinning, RowsTakeEvenlySpreadStates)
{
    const ThinningCase c = GetParam();
    ResultTable table = Filled(-1.0);
    IntegratorErrorCode code = 0;
    RungeKuttaSystem(1, ModelState{}, CountSteps{}, 0.0, static_cast<double>(c.intervals),
                     c.results, c.intervals, table, code);
    ASSERT_EQ(code, 0);
    for (std::size_t r = 0; r < c.states.size(); ++r)
        EXPECT_NEAR(table[r][1], c.states[r], 1e-9) << "row " << r;
    for (std::size_t r = c.states.size(); r < table.size(); ++r)
        EXPECT_EQ(table[r][1], -1.0) << "row " << r << " beyond the results was written";
}

INSTANTIATE_TEST_SUITE_P(Ratios, Thinning,
                         ::testing::Values(ThinningCase{5, 5, {0, 1, 2, 3, 4, 5}},
                                           ThinningCase{10, 5, {0, 2, 4, 6, 8, 10}},
                                           ThinningCase{7, 3, {0, 3, 5, 7}},
                                           ThinningCase{5, 2, {0, 3, 5}},
                                           ThinningCase{12, 12, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}},
                                           ThinningCase{1000, 1, {0, 1000}}),
                         [](const auto& p) {
                             return std::to_string(p.param.intervals) + "IntervalsTo" +
                                    std::to_string(p.param.results) + "Results";
                         });

TEST(RungeKuttaSystem, TimeContinuesFromTheInitialState)
{
    ResultTable table{};
    IntegratorErrorCode code = 0;
    RungeKuttaSystem(4, ModelState{0.25, 0, 0, 0, 0}, CountSteps{}, 0.0, 1.0 / 12.0, 5, 5,
                     table, code);
    EXPECT_EQ(table[0][0], 0.25);
    EXPECT_NEAR(table[5][0], 0.25 + 5.0 / 60.0, 1e-15);
}

TEST(RungeKuttaSystem, BackwardRangeStepsBackwards)
{
    ResultTable table{};
    IntegratorErrorCode code = 9;
    RungeKuttaSystem(2, ModelState{1.0, 0, 0, 0, 0}, CountSteps{}, 1.0, 0.0, 4, 4, table, code);
    EXPECT_EQ(code, 0);
    EXPECT_NEAR(table[4][0], 0.0, 1e-15);
    EXPECT_NEAR(table[4][1], -1.0, 1e-15);
}

TEST(RungeKuttaSystem, IsFourthOrderOnExponentialDecay)
{
    // y' = -y over [0, 1]: halving the step cuts the error about 16-fold.
    const auto decay = [](ModelState& d, const ModelState& y) { d[1] = -y[1]; };
    double errors[2];
    for (int k = 0; k < 2; ++k) {
        ResultTable table{};
        IntegratorErrorCode code = 0;
        const std::int32_t steps = 8 << k;
        RungeKuttaSystem(1, ModelState{0, 1, 0, 0, 0}, decay, 0.0, 1.0, 1, steps, table, code);
        errors[k] = std::abs(table[1][1] - std::exp(-1.0));
    }
    EXPECT_NEAR(errors[0] / errors[1], 16.0, 1.0);
}

TEST(ReportIntegratorError, TextsOfEveryCode)
{
    EXPECT_EQ(IntegratorErrorText(0), "");
    EXPECT_EQ(IntegratorErrorText(1), "( Results < 0 ) or ( Intervals MOD Resullts <> 0).");
    EXPECT_EQ(IntegratorErrorText(2), "Inadequate number of intervals.");
    EXPECT_EQ(IntegratorErrorText(3), "Number of Equations < 0.");
    EXPECT_EQ(IntegratorErrorText(4), "No range specified.");
    EXPECT_EQ(IntegratorErrorText(5), "");
    EXPECT_EQ(IntegratorErrorText(6), "Error not determined.");
    EXPECT_EQ(IntegratorErrorText(255), "Error not determined.");
}

TEST(ReportIntegratorError, CodesZeroAndFiveGoOn)
{
    ReportIntegratorError(0);
    ReportIntegratorError(5);
    SUCCEED();
}

using ReportIntegratorErrorDeathTest = ::testing::TestWithParam<IntegratorErrorCode>;

TEST_P(ReportIntegratorErrorDeathTest, FatalCodesShowTheTextAndExitWithStatusOne)
{
    const IntegratorErrorCode code = GetParam();
    EXPECT_EXIT(ReportIntegratorError(code), ::testing::ExitedWithCode(1),
                ::testing::HasSubstr(IntegratorErrorText(code)));
}

INSTANTIATE_TEST_SUITE_P(Fatal, ReportIntegratorErrorDeathTest,
                         ::testing::Values(IntegratorErrorCode{1}, IntegratorErrorCode{4},
                                           IntegratorErrorCode{6}, IntegratorErrorCode{200}),
                         [](const auto& p) { return "Code" + std::to_string(p.param); });

} // namespace
} // namespace sedalyn
