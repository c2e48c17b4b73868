#include "Simulator.h"

#include "Eleveld.h"
#include "PharmacokineticEngine.h"
#include "WakeUp.h"

#include "../engine/PatientSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <ostream>
#include <sstream>

namespace sedalyn::sim {
namespace {

std::vector<std::string> Args(std::initializer_list<const char*> extra)
{
    std::vector<std::string> args{"--gender", "Male", "--age", "53", "--height", "1.77",
                                  "--weight", "77"};
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
}

std::vector<std::vector<double>> Rows(const Options& options)
{
    std::ostringstream out;
    RunSimulation(options, out);
    std::istringstream in(out.str());
    std::string line;
    std::getline(in, line);
    const std::size_t columns =
        8 + (options.Eleveld ? 2 : 0) + (options.WakeLevel ? (options.Eleveld ? 4 : 3) : 0);
    EXPECT_EQ(line,
              std::string("minutes,rate,james_plasma,james_effect,hume_plasma,hume_effect,han_plasma,"
                          "han_effect")
                  + (options.Eleveld ? ",eleveld_plasma,eleveld_effect" : "")
                  + (options.WakeLevel ? ",james_wake,hume_wake,han_wake" : "")
                  + (options.WakeLevel && options.Eleveld ? ",eleveld_wake" : ""));
    std::vector<std::vector<double>> rows;
    while (std::getline(in, line)) {
        std::vector<double> row;
        std::istringstream fields(line);
        std::string field;
        while (std::getline(fields, field, ',')) {
            double value = 0;
            const auto r = std::from_chars(field.data(), field.data() + field.size(), value);
            EXPECT_EQ(r.ptr, field.data() + field.size()) << field;
            row.push_back(value);
        }
        EXPECT_EQ(row.size(), columns) << line;
        rows.push_back(row);
    }
    return rows;
}

Options Parsed(const std::vector<std::string>& args)
{
    const ParseResult result = ParseArguments(args);
    if (const auto* error = std::get_if<UsageError>(&result))
        ADD_FAILURE() << error->Message;
    return std::get<Options>(result);
}

struct BadCase {
    const char* name;
    std::vector<std::string> args;
    const char* mentions;
};

void PrintTo(const BadCase& c, std::ostream* os) { *os << c.name; }

class BadArguments : public ::testing::TestWithParam<BadCase> {};

TEST_P(BadArguments, AreRefusedWithOneLineNamingTheArgument)
{
    const BadCase c = GetParam();
    const ParseResult result = ParseArguments(c.args);
    const auto* error = std::get_if<UsageError>(&result);
    ASSERT_NE(error, nullptr);
    EXPECT_NE(error->Message.find(c.mentions), std::string::npos) << error->Message;
    EXPECT_EQ(error->Message.find('\n'), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BadArguments,
    ::testing::Values(
        BadCase{"no_gender", {"--age", "5", "--height", "1", "--weight", "20"}, "--gender"},
        BadCase{"lowercase_gender", {"--gender", "male", "--age", "5", "--height", "1", "--weight", "20"}, "--gender"},
        BadCase{"negative_age", {"--gender", "Male", "--age", "-1", "--height", "1.7", "--weight", "70"}, "--age"},
        BadCase{"zero_height", {"--gender", "Male", "--age", "1", "--height", "0", "--weight", "70"}, "--height"},
        BadCase{"comma_weight", {"--gender", "Male", "--age", "1", "--height", "1.7", "--weight", "70,5"}, "--weight"},
        BadCase{"exponent_only_rate", Args({"--rate", "e5"}), "--rate"},
        BadCase{"negative_rate", Args({"--rate", "3=-1"}), "--rate"},
        BadCase{"bad_minute", Args({"--rate", "x=1"}), "--rate"},
        BadCase{"same_minute_twice", Args({"--rate", "2", "--rate", "0=3"}), "--rate"},
        BadCase{"every_zero", Args({"--every", "0"}), "--every"},
        BadCase{"every_fraction", Args({"--every", "1.5"}), "--every"},
        BadCase{"minutes_negative", Args({"--minutes", "-1"}), "--minutes"},
        BadCase{"missing_value", Args({"--minutes"}), "--minutes"},
        BadCase{"twice", Args({"--age", "60"}), "--age"},
        BadCase{"unknown", Args({"--speed", "3"}), "--speed"},
        BadCase{"too_old", {"--gender", "Female", "--age", "102", "--height", "1.6", "--weight", "60"}, "age"},
        BadCase{"rate_above_maximum", Args({"--rate", "20=1000.5"}), RateAboveMaximumText},
        BadCase{"bolus_zero", Args({"--bolus", "0"}), "--bolus"},
        BadCase{"bolus_above_maximum", Args({"--bolus", "5=1000.1"}), "at most 1000"},
        BadCase{"bolus_bad_minute", Args({"--bolus", "-1=50"}), "--bolus"},
        BadCase{"two_boluses_at_one_minute", Args({"--bolus", "50", "--bolus", "0=20"}), "same minute"},
        BadCase{"wake_zero", Args({"--wake", "0"}), "--wake"},
        BadCase{"method_unknown", Args({"--method", "Exact"}), "rk4 or exact"},
        BadCase{"method_twice", Args({"--method", "rk4", "--method", "exact"}), "--method"},
        BadCase{"wake_twice", Args({"--wake", "1", "--wake", "2"}), "--wake"},
        BadCase{"opioid_without_eleveld", Args({"--opioid"}), "needs --eleveld"},
        BadCase{"eleveld_twice", Args({"--eleveld", "--opioid", "--eleveld"}), "--eleveld"},
        BadCase{"line_feed_and_escape_shown_escaped", Args({"--every", "2\n\x1b[2J"}), "'2\\n\\x1b[2J'"},
        BadCase{"carriage_return_in_a_name", Args({"--sp\reed", "3"}), "--sp\\reed"},
        BadCase{"plan_without_reach_time", Args({"--plan", "3"}), "--plan"},
        BadCase{"plan_target_zero", Args({"--plan", "0@5"}), "--plan"},
        BadCase{"plan_reach_beyond_horizon", Args({"--plan", "3@130"}), "horizon"},
        BadCase{"plan_every_seven", Args({"--plan", "3@5", "--plan-every", "7"}), "--plan-every"},
        BadCase{"plan_model_capitalised", Args({"--plan", "3@5", "--plan-model", "James"}), "--plan-model"},
        BadCase{"plan_hours_beyond_a_day", Args({"--plan", "3@5", "--plan-hours", "25"}), "--plan-hours"},
        BadCase{"plan_option_without_plan", Args({"--plan-from", "10"}), "needs --plan"},
        BadCase{"plan_with_minutes", Args({"--plan", "3@5", "--minutes", "10"}), "--minutes"},
        BadCase{"plan_with_a_rate_at_its_start", Args({"--plan", "3@5", "--plan-from", "20", "--rate", "20=6"}), "--rate"},
        BadCase{"plan_with_a_bolus_after_its_start", Args({"--plan", "3@5", "--bolus", "80"}), "--bolus"},
        BadCase{"opioid_with_a_schnider_plan", Args({"--plan", "3@5", "--opioid"}), "--opioid"}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(RunSimulation, MatchesTheEngineTickForTick)
{
    const Options options = Parsed(Args({"--rate", "10", "--minutes", "10", "--every", "12"}));
    const auto rows = Rows(options);
    ASSERT_EQ(rows.size(), 11u); // zero row and one per minute
    EXPECT_EQ(rows[0], std::vector<double>(8, 0.0));

    PharmacokineticEngine engine;
    const Patient patient{53, 1.77, 77, [] { return std::string("Male"); }};
    for (int minute = 1; minute <= 10; ++minute) {
        for (int tick = 0; tick < 12; ++tick)
            engine.AdvanceTick(patient, 10.0);
        const auto& row = rows[static_cast<std::size_t>(minute)];
        EXPECT_EQ(row[0], static_cast<double>(minute));
        EXPECT_EQ(row[1], 10.0);
        EXPECT_EQ(row[2], engine.JamesModel.State[StatePlasma]); // exact: shortest form round-trips
        EXPECT_EQ(row[5], engine.HumeModel.State[StateEffectSite]);
        EXPECT_EQ(row[7], engine.HanModel.State[StateEffectSite]);
    }
    EXPECT_NEAR(rows[1][2], 1.974192, 5e-7);
    EXPECT_NEAR(rows[10][3], 3.581545, 5e-7);
}

TEST(RunSimulation, ScheduledRateEntersAtTheFirstTickBeginningAtOrAfterItsMinute)
{
    // Ticks begin at 0, 1/12, 2/12 ...: the tick beginning at 0.5 is the 7th.
    const auto rows = Rows(Parsed(Args({"--rate", "0.5=10", "--rate", "0.75=0", "--minutes", "1.5"})));
    ASSERT_EQ(rows.size(), 19u);
    for (std::size_t tick = 1; tick <= 18; ++tick) {
        const double expected = (tick >= 7 && tick <= 9) ? 10.0 : 0.0;
        EXPECT_EQ(rows[tick][1], expected) << "tick " << tick;
    }
    EXPECT_EQ(rows[6][2], 0.0);
    EXPECT_GT(rows[7][2], 0.0);
}

TEST(RunSimulation, MinutesAreTheStepCountInTwelfths)
{
    const auto rows = Rows(Parsed(Args({"--minutes", "61", "--every", "13"})));
    ASSERT_FALSE(rows.empty());
    for (std::size_t row = 0; row < rows.size(); ++row)
        EXPECT_EQ(rows[row][0], static_cast<double>(row * 13) / 12.0) << "row " << row;
    EXPECT_EQ(rows[1][0], 13.0 / 12.0);
}

TEST(RunSimulation, MinutesRoundUpToWholeTicksAndEveryThins)
{
    EXPECT_EQ(Rows(Parsed(Args({"--minutes", "0.1"}))).size(), 3u); // 1.2 ticks -> 2
    EXPECT_EQ(Rows(Parsed(Args({"--minutes", "0"}))).size(), 1u);
    EXPECT_EQ(Rows(Parsed(Args({"--minutes", "2", "--every", "5"}))).size(), 5u); // 24 ticks: 5,10,15,20
}

TEST(RunSimulation, BolusEntersTheFirstTickBeginningAtOrAfterItsMinute)
{
    // 80 mg at tick 0; 30 and 20 mg both fall in the tick beginning at 0.5.
    const auto rows = Rows(
        Parsed(Args({"--bolus", "80", "--bolus", "0.45=30", "--bolus", "0.5=20", "--rate", "6",
                     "--minutes", "1"})));
    PharmacokineticEngine engine;
    const Patient patient{53, 1.77, 77, [] { return std::string("Male"); }};
    for (std::size_t tick = 1; tick <= 12; ++tick) {
        engine.AdvanceTick(patient, 6.0, tick == 1 ? 80.0 : tick == 7 ? 50.0 : 0.0);
        EXPECT_EQ(rows[tick][1], 6.0);
        EXPECT_EQ(rows[tick][2], engine.JamesModel.State[StatePlasma]) << "tick " << tick;
        EXPECT_EQ(rows[tick][7], engine.HanModel.State[StateEffectSite]) << "tick " << tick;
    }
}

TEST(RunSimulation, WakeColumnsAreTheEnginesWakeUpTimesAndInfBeyondADay)
{
    // Twelve hours at 12 mg/kg/hr: waking to 1 mcg/ml takes hours, to 0.05 over a day.
    const auto rows = Rows(Parsed(Args({"--rate", "12", "--minutes", "720", "--every", "8640",
                                        "--wake", "1"})));
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0][8], 0.0);
    const Patient patient = test::MakePatient(true, 53, 1.77, 77);
    PharmacokineticEngine engine;
    for (int tick = 0; tick < 720 * TicksPerMinute; ++tick)
        engine.AdvanceTick(patient, 12.0);
    std::size_t column = 8;
    for (const LbmAlgorithm algorithm :
         {LbmAlgorithm::James, LbmAlgorithm::Hume, LbmAlgorithm::Janmahasatian})
        EXPECT_EQ(rows[1][column++],
                  WakeUpMinutes(ModelParametersFor(patient, algorithm, 0), engine.Slot(algorithm).State, 1)
                      .value_or(-1));
    const auto beyond = Rows(Parsed(Args({"--rate", "12", "--minutes", "720", "--every", "8640",
                                          "--wake", "0.05"})));
    EXPECT_EQ(beyond[1][10], std::numeric_limits<double>::infinity());
}

struct ScheduleCase {
    const char* name;
    std::vector<std::string> args;
};

class ExactMethod : public ::testing::TestWithParam<ScheduleCase> {};

TEST_P(ExactMethod, AgreesWithTheRungeKuttaTickOnEveryRow)
{
    std::vector<std::string> args = GetParam().args;
    const auto rk4 = Rows(Parsed(args));
    args.insert(args.end(), {"--method", "exact"});
    const auto exact = Rows(Parsed(args));
    ASSERT_EQ(exact.size(), rk4.size());
    for (std::size_t row = 0; row < rk4.size(); ++row)
        for (std::size_t column = 0; column < rk4[row].size(); ++column) {
            const double a = exact[row][column];
            const double b = rk4[row][column];
            ASSERT_LE(std::abs(a - b), 1e-8 * std::max(std::abs(a), std::abs(b)))
                << "row " << row << " column " << column << ": " << a << " against " << b;
        }
}

INSTANTIATE_TEST_SUITE_P(
    Schedules, ExactMethod,
    ::testing::Values(
        ScheduleCase{"boluses_and_rate_changes_every_tick",
                     {"--gender", "Female", "--age", "71", "--height", "1.58", "--weight", "64",
                      "--bolus", "60", "--rate", "0.5=12", "--rate", "20=4", "--bolus", "45=30",
                      "--rate", "90=0", "--bolus", "150=10", "--minutes", "240"}},
        ScheduleCase{"three_days_from_nothing", Args({"--rate", "20=6", "--rate", "1500=0",
                                                       "--rate", "2000=9.5", "--minutes", "4320",
                                                       "--every", "60"})},
        ScheduleCase{"eleveld_with_opioid", Args({"--bolus", "120", "--rate", "9", "--rate", "30=3",
                                                  "--bolus", "50=40", "--minutes", "180", "--every",
                                                  "3", "--eleveld", "--opioid"})}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(RunSimulation, EleveldColumnsAreItsModelTickForTickAndLeaveTheOthersAsTheyWere)
{
    const std::initializer_list<const char*> schedule{"--bolus", "100", "--rate", "8",
                                                      "--rate", "2=4", "--bolus", "3=40",
                                                      "--minutes", "5", "--wake", "1"};
    std::vector<std::string> withEleveld = Args(schedule);
    withEleveld.insert(withEleveld.end(), {"--opioid", "--eleveld"});
    const auto rows = Rows(Parsed(withEleveld));
    const auto plain = Rows(Parsed(Args(schedule)));
    ASSERT_EQ(rows.size(), 61u);

    const Patient patient = test::MakePatient(true, 53, 1.77, 77);
    EleveldModel model;
    model.Reset(true);
    for (std::size_t tick = 0; tick < rows.size(); ++tick) {
        if (tick > 0)
            model.AdvanceTick(patient, tick <= 24 ? 8 : 4, tick == 1 ? 100 : tick == 37 ? 40 : 0);
        // The plain run's row, bit for bit, with the Eleveld columns in their places.
        std::vector<double> expected = plain[tick];
        expected.insert(expected.begin() + 8, {model.Plasma(), model.EffectSite()});
        expected.push_back(WakeUpMinutes(model, patient, 1.0).value_or(-1));
        EXPECT_EQ(rows[tick], expected) << "tick " << tick;
    }
    EXPECT_GT(rows[60][13], 0.0);
}

// The plan's CSV given back to the simulator as the case's schedule: the
// planned model's effect site, from the plan's start, meets the requirements
// on the simulator's own rows.
class PlanRoundTrip
    : public ::testing::TestWithParam<std::tuple<const char*, std::vector<const char*>, double, double, std::size_t>> {};

TEST_P(PlanRoundTrip, GivenBackToTheSimulatorMeetsItsRequirements)
{
    const auto& [name, before, from, target, column] = GetParam();
    std::vector<std::string> args = Args({"--plan-model", column == 9 ? "eleveld" : "hume"});
    args.insert(args.end(), before.begin(), before.end());
    args.insert(args.end(), {"--plan-from", std::to_string(from), "--plan", std::to_string(target) + "@5"});
    std::ostringstream out;
    std::string why;
    ASSERT_EQ(RunPlan(Parsed(args), out, why), 0) << why;

    std::vector<std::string> replay = Args({"--minutes", "150"});
    replay.insert(replay.end(), before.begin(), before.end());
    if (column == 9)
        replay.push_back("--eleveld");
    std::istringstream in(out.str());
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line, "minute,bolus_mg,rate");
    for (bool first = true; std::getline(in, line); first = false) {
        const std::size_t comma = line.find(',');
        const std::size_t second = line.find(',', comma + 1);
        const std::string minute = line.substr(0, comma);
        const std::string bolus = line.substr(comma + 1, second - comma - 1);
        EXPECT_TRUE(!first || std::stod(minute) == from) << line;
        EXPECT_TRUE(first || bolus.empty()) << "a bolus after the first row: " << line;
        replay.insert(replay.end(), {"--rate", minute + "=" + line.substr(second + 1)});
        if (!bolus.empty())
            replay.insert(replay.end(), {"--bolus", minute + "=" + bolus});
    }
    const auto ticks = Rows(Parsed(replay));
    const auto start = static_cast<std::size_t>(std::lround(from * TicksPerMinute));
    const std::size_t reachBy = start + 5 * TicksPerMinute;
    bool reached = false;
    for (std::size_t k = start; k <= start + 120 * TicksPerMinute; ++k) { // to the horizon
        const double ratio = ticks[k][column] / target;
        reached = reached || (k <= reachBy && ratio >= 0.98);
        ASSERT_LE(ratio, 1.05) << "minute " << ticks[k][0];
        ASSERT_TRUE(k < reachBy || ratio >= 0.95) << "minute " << ticks[k][0];
    }
    EXPECT_TRUE(reached);
}

INSTANTIATE_TEST_SUITE_P(
    Plans, PlanRoundTrip,
    ::testing::Values(
        std::tuple{"induction_hume", std::vector<const char*>{}, 0.0, 3.0, std::size_t{5}},
        std::tuple{"replan_up_hume", std::vector<const char*>{"--bolus", "40", "--rate", "8", "--rate", "10=6.5"},
                   30.0, 4.0, std::size_t{5}},
        std::tuple{"replan_up_eleveld_with_opioid",
                   std::vector<const char*>{"--bolus", "100", "--rate", "6", "--opioid"}, 20.5, 3.5,
                   std::size_t{9}}),
    [](const auto& p) { return std::string(std::get<0>(p.param)); });

TEST(ParseArguments, HelpWinsThenVersion)
{
    EXPECT_TRUE(std::holds_alternative<HelpRequested>(
        ParseArguments({"--age", "-4", "--version", "--help"})));
    EXPECT_TRUE(std::holds_alternative<VersionRequested>(ParseArguments({"--age", "-4", "--version"})));
    EXPECT_EQ(std::string(VersionLine).rfind("sedalyn-sim ", 0), 0u);
}

struct EscapeCase {
    const char* name;
    std::string text;
    std::string shown;
};

void PrintTo(const EscapeCase& c, std::ostream* os) { *os << c.name; }

class Escapes : public ::testing::TestWithParam<EscapeCase> {};

TEST_P(Escapes, ShowControlCharactersAndBrokenUtf8AsEscapes)
{
    EXPECT_EQ(OneLine(GetParam().text), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, Escapes,
    ::testing::Values(
        EscapeCase{"c0_and_delete", std::string("a\r\nb\tc\x1b[2J\0\x7f", 12),
                   "a\\r\\nb\\tc\\x1b[2J\\x00\\x7f"},
        EscapeCase{"utf8_letters_kept", "70 kg \xc3\xa9 \xe2\x82\xac", "70 kg \xc3\xa9 \xe2\x82\xac"},
        EscapeCase{"c1_separator_stray_overlong_surrogate_truncated",
                   "\xc2\x85|\xe2\x80\xa8|\xff|\xc0\xaf|\xed\xa0\x80|\xc3",
                   "\\xc2\\x85|\\xe2\\x80\\xa8|\\xff|\\xc0\\xaf|\\xed\\xa0\\x80|\\xc3"}),
    [](const auto& p) { return std::string(p.param.name); });

} // namespace
} // namespace sedalyn::sim
