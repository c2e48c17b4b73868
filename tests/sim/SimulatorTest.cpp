#include "Simulator.h"

#include "PharmacokineticEngine.h"

#include <gtest/gtest.h>

#include <charconv>
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
    EXPECT_EQ(line,
              "minutes,rate,james_plasma,james_effect,hume_plasma,hume_effect,han_plasma,han_effect");
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
        EXPECT_EQ(row.size(), 8u) << line;
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
        BadCase{"too_old", {"--gender", "Female", "--age", "102", "--height", "1.6", "--weight", "60"}, "age"}),
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
        EXPECT_EQ(row[0], engine.JamesModel.State[StateTime]);
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

TEST(RunSimulation, MinutesRoundUpToWholeTicksAndEveryThins)
{
    EXPECT_EQ(Rows(Parsed(Args({"--minutes", "0.1"}))).size(), 3u); // 1.2 ticks -> 2
    EXPECT_EQ(Rows(Parsed(Args({"--minutes", "0"}))).size(), 1u);
    EXPECT_EQ(Rows(Parsed(Args({"--minutes", "2", "--every", "5"}))).size(), 5u); // 24 ticks: 5,10,15,20
}

TEST(ParseArguments, HelpWins)
{
    EXPECT_TRUE(std::holds_alternative<HelpRequested>(ParseArguments({"--age", "-4", "--help"})));
}

} // namespace
} // namespace sedalyn::sim
