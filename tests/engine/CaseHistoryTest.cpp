#include "CaseHistory.h"
#include "Eleveld.h"
#include "TextFormats.h"

#include "PatientSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

namespace sedalyn {
namespace {

bool SameBits(double a, double b)
{
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

std::string TwoDecimals(double value)
{
    return FormatFixed(value, 6, 2, LocaleSettings{});
}

// What the chart, the tooltips, a report and the dose line read: times,
// rates and boluses as given; concentrations within 1e-6 relative that show
// the same two decimals.
void ExpectHeldAsNeeded(const CaseRecord& held, const CaseRecord& given, std::size_t index)
{
    EXPECT_TRUE(SameBits(held.Minutes, given.Minutes)) << index << ": " << held.Minutes << " " << given.Minutes;
    EXPECT_TRUE(SameBits(held.Rate, given.Rate)) << index;
    EXPECT_TRUE(SameBits(held.BolusMg, given.BolusMg)) << index;
    for (std::size_t i = 0; i < ConcentrationCount; ++i) {
        const double a = held.Concentrations[i];
        const double b = given.Concentrations[i];
        EXPECT_TRUE(SameBits(a, b) || std::abs(a - b) <= 1e-6 * std::abs(b)) << index << ": " << a << " " << b;
        EXPECT_EQ(TwoDecimals(a), TwoDecimals(b)) << index << ": " << a << " " << b;
    }
    // Eleveld's as shown, within half a hundredth, or exactly.
    for (std::size_t i = 0; i < 2; ++i) {
        const double a = held.Eleveld[i];
        const double b = given.Eleveld[i];
        EXPECT_TRUE(SameBits(a, b) || std::abs(a - b) <= 0.00500001) << index << ": " << a << " " << b;
        EXPECT_EQ(TwoDecimals(a), TwoDecimals(b)) << index << ": " << a << " " << b;
    }
}

// Two days of the engine's own records with rate changes and boluses, the
// second a case resumed at an odd time after a gap, as a journal brings it.
TEST(CaseHistory, HoldsEveryRecordOfLongCasesAsTheChartAndReportsNeedIt)
{
    std::mt19937_64 random(7);
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    const Patient patient = test::MakePatient(true, 53, 1.77, 77);
    std::vector<CaseRecord> given;
    PharmacokineticEngine engine;
    EleveldModel eleveld;
    eleveld.Reset(false);
    double rate = 6.0;
    for (int tick = 0; tick < 2 * 24 * 60 * TicksPerMinute; ++tick) {
        if (tick == 24 * 60 * TicksPerMinute)
            for (const LbmAlgorithm algorithm : AllAlgorithms)
                engine.Slot(algorithm).State[StateTime] += 37.0 + 1.0 / 7.0;
        if (uniform(random) < 0.01)
            rate = std::round(uniform(random) * 200.0) / 8.0;
        const double bolusMg = uniform(random) < 0.001 ? std::round(uniform(random) * 2000.0) / 10.0 : 0.0;
        engine.AdvanceTick(patient, rate, bolusMg);
        eleveld.AdvanceTick(patient, rate, bolusMg);
        given.push_back({engine.JamesModel.State[StateTime], rate, bolusMg, engine.Concentrations(),
                         {eleveld.Plasma(), eleveld.EffectSite()}});
    }

    CaseHistory history;
    history.Append({1.0, 2.0, 3.0, {4, 5, 6, 7, 8, 9}});
    history.Clear(); // keeps the memory, forgets the records
    for (std::size_t i = 0; i < given.size(); ++i) {
        history.Append(given[i]);
        if (i + 1 == given.size() / 2) {
            EXPECT_LE(history.HeldBytes(), 500'000u) << "a day";
        }
    }
    ASSERT_EQ(history.Size(), given.size());
    for (std::size_t i = 0; i < given.size(); ++i)
        ExpectHeldAsNeeded(history[i], given[i], i);
    EXPECT_EQ(history.Last(), history[given.size() - 1]);
    EXPECT_EQ(*(history.begin() + 1000), history[1000]);
    EXPECT_EQ(history.end() - history.begin(), static_cast<std::ptrdiff_t>(given.size()));

    // Nearest by time, the earlier on a tie, around the gap included.
    const double gapStart = given[24 * 60 * TicksPerMinute - 1].Minutes;
    for (const double minutes : {-5.0, 0.0, 0.04, 100.0 + TickMinutes / 2, gapStart + 1.0, gapStart + 30.0, 1e9}) {
        const auto nearest = std::min_element(given.begin(), given.end(), [&](const auto& a, const auto& b) {
            return std::abs(a.Minutes - minutes) < std::abs(b.Minutes - minutes);
        });
        EXPECT_EQ(history.NearestRecord(minutes), static_cast<std::size_t>(nearest - given.begin())) << minutes;
    }
}

struct OddCase {
    const char* name;
    std::vector<CaseRecord> records;
};

class OddRecords : public ::testing::TestWithParam<OddCase> {};

TEST_P(OddRecords, AreHeldAsNeeded)
{
    CaseHistory history;
    const std::vector<CaseRecord>& records = GetParam().records;
    // Preceded by ordinary steps, so that the odd ones fall inside a group.
    std::vector<CaseRecord> given;
    for (int i = 1; i <= 70; ++i)
        given.push_back({i * TickMinutes, 1.0, 0.0, {1, 1, 1, 1, 1, 1}});
    given.insert(given.end(), records.begin(), records.end());
    for (const CaseRecord& record : given)
        history.Append(record);
    ASSERT_EQ(history.Size(), given.size());
    for (std::size_t i = 0; i < given.size(); ++i)
        ExpectHeldAsNeeded(history[i], given[i], i);
}

constexpr double Nan = std::numeric_limits<double>::quiet_NaN();
constexpr double Inf = std::numeric_limits<double>::infinity();

INSTANTIATE_TEST_SUITE_P(
    Values, OddRecords,
    ::testing::Values(
        OddCase{"values_beyond_a_float",
                {{6.0, 1.0, 0.0, {Nan, Inf, -Inf, 1e-300, 1e300, -3.0}},
                 {6.1, 1.0, 0.0, {1e-40, 4e38, 0.0, -0.0, 2.5, 2.5}}}},
        OddCase{"two_decimals_kept_where_the_nearest_float_crosses",
                {{6.0, 1.0, 0.0, {0.005, 0.045, 0.055, 2.675, 1.005, 9999.995}}}},
        OddCase{"eleveld_jumps_and_values_beyond_thousandths",
                {{6.0, 1.0, 0.0, {}, {30.0, 0.2}},
                 {6.1, 1.0, 0.0, {}, {29.873, 0.327}},
                 {6.2, 1.0, 0.0, {}, {Nan, -0.001}},
                 {6.3, 1.0, 0.0, {}, {1.0049999, 1.0050001}},
                 {6.4, 1.0, 0.0, {}, {1e12, Inf}},
                 {6.5, 1.0, 0.0, {}, {1e12 + 1.0, 0.0}}}},
        OddCase{"rates_and_boluses_bit_for_bit",
                {{6.0, -0.0, -0.0, {}}, {6.1, Nan, 1e-300, {}}, {6.2, 0.0, 5.0, {}}, {6.3, 0.0, 0.0, {}}}},
        OddCase{"times_out_of_step", {{6.0, 2.0, 0.0, {}}, {6.0, 2.0, 0.0, {}}, {5.0, 2.0, 0.0, {}},
                                      {1e9, 2.0, 0.0, {}}, {-1.0, 2.0, 0.0, {}}, {Nan, 2.0, 0.0, {}},
                                      {Inf, 2.0, 0.0, {}}, {7.0, 2.0, 0.0, {}}, {7.0 + 1e-12, 2.0, 0.0, {}}}}),
    [](const auto& p) { return std::string(p.param.name); });

} // namespace
} // namespace sedalyn
