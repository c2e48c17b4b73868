#include "CaseJournal.h"

#include "../engine/PatientSupport.h"
#include "PharmacokineticEngine.h"

#include <gtest/gtest.h>

#include <cmath>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <limits>
#include <ostream>
#include <random>
#include <string>

namespace sedalyn {
namespace {

constexpr std::int64_t kStart = 1'714'557'600'000; // 2024-05-01 10:00 UTC
constexpr std::int64_t kSaved = kStart + 3'600'000;

// A case an hour in, with a rate and a bolus given but not yet taken, and
// strings that hold every kind of byte the escaping must carry.
CaseJournal FullRecord()
{
    CaseJournal j;
    j.Gender = "Female";
    j.Age = 47.5;
    j.Height = 1.63;
    j.Weight = 58.3;
    j.StartUtcMs = kStart;
    j.SavedUtcMs = kSaved;
    j.StepsTaken = 720;
    PharmacokineticEngine engine;
    const Patient patient = test::MakePatient(false, 47.5, 1.63, 58.3);
    for (int tick = 0; tick < 720; ++tick)
        engine.AdvanceTick(patient, tick < 12 ? 30.0 : 6.0);
    j.Models = {engine.JamesModel.State, engine.HumeModel.State, engine.HanModel.State};
    j.RateInUse = 6.0;
    j.ConfirmedRate = 0.1 + 0.2;
    j.RateText = std::string("7,5 \"mg\"\\\r\n\t\x01\x7f\xff\xc3\xa9") + '\0' + "end";
    j.Pending = {{3'600'100, PendingInput::Kind::Bolus, 20.0},
                 {3'601'000, PendingInput::Kind::Rate, 7.5},
                 {3'601'000, PendingInput::Kind::Rate, 4.9406564584124654e-324}};
    j.DataFilePath = "/home/anästhesie/Fälle/2024-05-01 OP 3.csv";
    j.DataFileBytes = 4711;
    j.LogTickCount = 5;
    j.GivenRateMgPerKg = 1.0 / 3.0;
    j.GivenBolusMg = 20.0;
    j.Taken = {{1, 0, PendingInput::Kind::Rate, 30.0}, {13, 0, PendingInput::Kind::Rate, 6.0},
               {240, 1'195'000, PendingInput::Kind::Bolus, 20.0}};
    j.Opioid = true;
    j.Eleveld = {60.0, 2.25, 9.5, 30.125, 2.0625};
    return j;
}

CaseJournal PlainRecord()
{
    CaseJournal j;
    j.Gender = "Male";
    j.Age = 53;
    j.Height = 1.77;
    j.Weight = 77;
    j.StartUtcMs = kSaved;
    j.SavedUtcMs = kSaved;
    return j;
}

// The test's own FNV-1a 64 (the published algorithm), to seal texts that
// are well-formed but for the one fault a case puts in.
std::string Resealed(std::string text)
{
    text.erase(text.rfind("Checksum "));
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    for (const char c : text)
        hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001b3ULL;
    char digits[17];
    std::snprintf(digits, sizeof digits, "%016llx", static_cast<unsigned long long>(hash));
    return text + "Checksum " + digits + "\n";
}

void Replace(std::string& text, const std::string& from, const std::string& to)
{
    const std::size_t at = text.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    text.replace(at, from.size(), to);
}

// ------------------------------------------------------------ round trip

struct RoundTripCase {
    const char* name;
    std::function<CaseJournal()> make;
};

void PrintTo(const RoundTripCase& c, std::ostream* os)
{
    *os << c.name;
}

class JournalRoundTrip : public ::testing::TestWithParam<RoundTripCase> {};

TEST_P(JournalRoundTrip, ReadsBackExactly)
{
    const CaseJournal record = GetParam().make();
    const std::string text = FormatJournal(record);
    const JournalReading reading = ParseJournalText(text);
    ASSERT_TRUE(reading.Journal) << reading.Problem << "\n" << text;
    EXPECT_EQ(reading.Problem, "");
    EXPECT_EQ(*reading.Journal, record);
    EXPECT_EQ(FormatJournal(*reading.Journal), text);
    // Plain ASCII lines, whatever the strings hold.
    for (const char c : text)
        EXPECT_TRUE(c == '\n' || (c >= 0x20 && c <= 0x7e)) << int(c);
}

INSTANTIATE_TEST_SUITE_P(
    Records, JournalRoundTrip,
    ::testing::Values(RoundTripCase{"Full", FullRecord}, RoundTripCase{"Plain", PlainRecord},
                      RoundTripCase{"ExtremeNumbers",
                                    [] {
                                        CaseJournal j = FullRecord();
                                        j.Models[1] = {0.0, std::numeric_limits<double>::max(),
                                                       std::numeric_limits<double>::denorm_min(),
                                                       -1e-300, 123456789.123456789};
                                        j.GivenRateMgPerKg = std::numeric_limits<double>::min();
                                        j.DataFileBytes = std::numeric_limits<std::int64_t>::max();
                                        return j;
                                    }}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(CaseJournal, ShowsTheFieldsToAReader)
{
    const std::string text = FormatJournal(FullRecord());
    EXPECT_EQ(text.substr(0, text.find('\n')), "Sedalyn case journal 3");
    for (const char* line : {"\nGender \"Female\"\n", "\nConfirmedRate 0.30000000000000004\n",
                             "\nRateText \"7,5 \\\"mg\\\"\\\\\\r\\n\\t\\x01\\x7F\\xFF\\xC3\\xA9\\x00end\"\n",
                             "\nPending 3\nPending.Bolus 3600100 20\nPending.Rate 3601000 7.5\n",
                             "\nJanmahasatian.EffectSite ",
                             "\nTaken 3\nTaken.Rate 1 0 30\nTaken.Rate 13 0 6\nTaken.Bolus 240 1195000 20\n",
                             "\nOpioid 1\nEleveld.Minutes 60\nEleveld.Plasma 2.25\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line;
}

// ------------------------------------------------------- refused journals

using Damage = std::function<void(std::string& text)>;

struct DamageCase {
    const char* name;
    Damage damage;
    const char* problem; // empty: still accepted
};

void PrintTo(const DamageCase& c, std::ostream* os)
{
    *os << c.name;
}

Damage Text(std::string replacement)
{
    return [replacement](std::string& text) { text = replacement; };
}

Damage Edit(std::string from, std::string to)
{
    return [from, to](std::string& text) { Replace(text, from, to); };
}

// An edit behind a checksum made for it: only the field parser can refuse it.
Damage Sealed(std::string from, std::string to)
{
    return [from, to](std::string& text) {
        Replace(text, from, to);
        text = Resealed(text);
    };
}

Damage Value(std::function<void(CaseJournal&)> change)
{
    return [change](std::string& text) {
        CaseJournal j = FullRecord();
        change(j);
        text = FormatJournal(j);
    };
}

Damage Appended(std::string tail)
{
    return [tail](std::string& text) { text += tail; };
}

// Everything from the last `marker` on is lost.
Damage CutBefore(std::string marker)
{
    return [marker](std::string& text) { text.erase(text.rfind(marker)); };
}

class DamagedJournal : public ::testing::TestWithParam<DamageCase> {};

TEST_P(DamagedJournal, IsRefusedWithItsReason)
{
    std::string text = FormatJournal(FullRecord());
    GetParam().damage(text);
    const JournalReading reading = ParseJournalText(text);
    EXPECT_EQ(reading.Problem, GetParam().problem);
    EXPECT_EQ(reading.Journal.has_value(), reading.Problem.empty());
}

constexpr const char* kDamaged = "it is damaged: its checksum does not match";

INSTANTIATE_TEST_SUITE_P(
    Faults, DamagedJournal,
    ::testing::Values(
        DamageCase{"Empty", Text(""), "the journal is empty"},
        DamageCase{"OtherFile", Text("time,rate\r\n"), "it is not a Sedalyn case journal"},
        DamageCase{"LaterVersion", Edit("journal 3\n", "journal 4\n"), "it is from another version of Sedalyn"},
        // The first version had no inputs taken: it still reads, without them.
        DamageCase{"FirstVersion",
                   [](std::string& text) {
                       Replace(text, "journal 3\n", "journal 1\n");
                       text.erase(text.find("DataFileDevice "), text.find("LogTickCount ") - text.find("DataFileDevice "));
                       text.erase(text.find("Taken 3\n"), text.find("Checksum") - text.find("Taken 3\n"));
                       text = Resealed(text);
                   },
                   ""},
        DamageCase{"OpioidNeitherYesNorNo", Sealed("Opioid 1", "Opioid 2"), "it is damaged: line 42 holds an unreadable Opioid"},
        DamageCase{"TakenBeyondTheSteps", Value([](CaseJournal& j) { j.Taken.back().Step = j.StepsTaken + 1; }),
                   "it holds an impossible value: Taken.Bolus 721"},
        DamageCase{"TakenOutOfOrder", Sealed("Taken.Rate 13 ", "Taken.Rate 300 "),
                   "it holds an impossible value: Taken.Bolus 240"},
        DamageCase{"TooLarge", Edit("Checksum", std::string(JournalMaxBytes, 'x')),
                   "the journal is too large to be a case journal"},
        DamageCase{"ValueChanged", Edit("Age 47.5", "Age 57.5"), kDamaged},
        DamageCase{"LineEndsInCrLf", Edit("\nAge", "\r\nAge"), kDamaged},
        DamageCase{"NoChecksum", CutBefore("Checksum"), "it is incomplete"},
        DamageCase{"TextAfterChecksum", Appended("Age 3\n"), "it is damaged: text follows its checksum"},
        DamageCase{"UnknownField", Sealed("\nAge ", "\nColour 3\nAge "), "it is damaged: line 3 should hold Age"},
        DamageCase{"DuplicateField", Sealed("\nAge ", "\nGender \"Male\"\nAge "), "it is damaged: line 3 should hold Age"},
        DamageCase{"MissingField", Sealed("\nLogTickCount 5", ""), "it is damaged: line 35 should hold LogTickCount"},
        DamageCase{"FieldAfterTheLast", Sealed("\nChecksum", "\nAge 3\nChecksum"), "it is damaged: line 48 should hold Checksum"},
        DamageCase{"PendingCountTooHigh", Sealed("\nPending 3", "\nPending 999999999999"),
                   "it is damaged: line 31 should hold Pending.Rate or Pending.Bolus"},
        DamageCase{"NegativeCount", Sealed("\nPending 3", "\nPending -1"), "it is damaged: line 27 holds an unreadable Pending"},
        DamageCase{"DecimalComma", Sealed("Weight 58.3", "Weight 58,3"), "it is damaged: line 5 holds an unreadable Weight"},
        DamageCase{"NumberOutOfRange", Sealed("Weight 58.3", "Weight 1e999"), "it is damaged: line 5 holds an unreadable Weight"},
        DamageCase{"LowerCaseEscape", Sealed("\\xC3", "\\xc3"), "it is damaged: line 26 holds an unreadable RateText"},
        DamageCase{"NotANumber", Value([](CaseJournal& j) { j.Age = std::nan(""); }), "it holds an impossible value: Age nan"},
        DamageCase{"InfiniteConcentration", Value([](CaseJournal& j) { j.Models[2][StateEffectSite] = HUGE_VAL; }),
                   "it holds an impossible value: Janmahasatian.EffectSite inf"},
        DamageCase{"NegativeSteps", Value([](CaseJournal& j) { j.StepsTaken = -1; }),
                   "it holds an impossible value: StepsTaken -1"},
        DamageCase{"StartAfterSaved", Value([](CaseJournal& j) { j.StartUtcMs = kSaved + 1; }),
                   "it holds an impossible value: StartUtcMs 1714561200001"},
        DamageCase{"LogTickCountSix", Value([](CaseJournal& j) { j.LogTickCount = 6; }),
                   "it holds an impossible value: LogTickCount 6"},
        DamageCase{"LogTickCountNegative", Value([](CaseJournal& j) { j.LogTickCount = -1; }),
                   "it holds an impossible value: LogTickCount -1"},
        DamageCase{"GenderInLowerCase", Value([](CaseJournal& j) { j.Gender = "female"; }),
                   "it holds an impossible value: Gender \"female\""},
        DamageCase{"RateAboveCeiling", Value([](CaseJournal& j) { j.ConfirmedRate = 1000.5; }),
                   "it holds an impossible value: ConfirmedRate 1000.5"},
        DamageCase{"PendingOutOfOrder", Value([](CaseJournal& j) { j.Pending[2].At = 5; }),
                   "it holds an impossible value: Pending.Rate 5"},
        DamageCase{"LogTickCountBeyondInt", Sealed("\nLogTickCount 5", "\nLogTickCount 4294967301"),
                   "it holds an impossible value: LogTickCount 4294967301"}),
    [](const auto& p) { return std::string(p.param.name); });

// --------------------------------------------------------- resume policy

struct PolicyCase {
    const char* name;
    std::function<void(CaseJournal&, std::int64_t& now)> change;
    const char* refusal; // empty: it may be resumed
};

void PrintTo(const PolicyCase& c, std::ostream* os)
{
    *os << c.name;
}

class ResumePolicy : public ::testing::TestWithParam<PolicyCase> {};

// A whole record the policy refuses still reads: the two are apart, and
// together they give the policy's answer.
TEST_P(ResumePolicy, DecidesOnAWholeRecord)
{
    CaseJournal j = FullRecord();
    std::int64_t now = kSaved;
    GetParam().change(j, now);
    const std::string text = FormatJournal(j);
    const JournalReading read = ParseJournalText(text);
    ASSERT_TRUE(read.Journal) << read.Problem;
    EXPECT_EQ(ResumeRefusal(*read.Journal, now), GetParam().refusal);
    const JournalReading both = ParseJournal(text, now);
    EXPECT_EQ(both.Problem, GetParam().refusal);
    EXPECT_EQ(both.Journal.has_value(), both.Problem.empty());
}

std::function<void(CaseJournal&, std::int64_t&)> ReadAfter(std::int64_t ms)
{
    return [ms](CaseJournal&, std::int64_t& now) { now += ms; };
}

constexpr std::int64_t kHourMs = 3'600'000;
constexpr const char* kSetBack = "it was saved in the future: the clock was set back";
constexpr const char* kStale = "it is older than 12 hours";

INSTANTIATE_TEST_SUITE_P(
    Rules, ResumePolicy,
    ::testing::Values(
        PolicyCase{"JustSaved", ReadAfter(0), ""},
        PolicyCase{"SavedAMinuteAhead", ReadAfter(-60'000), ""},
        PolicyCase{"SavedOverAMinuteAhead", ReadAfter(-60'001), kSetBack},
        PolicyCase{"ClockAtItsEarliest", [](CaseJournal&, std::int64_t& now) { now = INT64_MIN; }, kSetBack},
        PolicyCase{"TwelveHoursOld", ReadAfter(12 * kHourMs), ""},
        PolicyCase{"TwelveHoursAndAMillisecondOld", ReadAfter(12 * kHourMs + 1), kStale},
        PolicyCase{"ReadAtTheEndOfTime", [](CaseJournal&, std::int64_t& now) { now = INT64_MAX; }, kStale},
        PolicyCase{"PatientRefused", [](CaseJournal& j, std::int64_t&) { j.Height = 163; },
                   "its patient cannot be modelled: Height above 2.5 m. Height is in metres, for example 1.75."},
        PolicyCase{"StaleAndRefused",
                   [](CaseJournal& j, std::int64_t& now) {
                       j.Height = 163;
                       now += 13 * kHourMs;
                   },
                   kStale}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(CaseJournal, EveryTruncationIsIncomplete)
{
    const std::string text = FormatJournal(FullRecord());
    EXPECT_EQ(ParseJournalText({}).Problem, "the journal is empty");
    for (std::size_t length = 1; length < text.size(); ++length) {
        const JournalReading reading = ParseJournalText(std::string_view(text).substr(0, length));
        EXPECT_FALSE(reading.Journal) << length;
        EXPECT_EQ(reading.Problem, "it is incomplete") << length;
    }
}

TEST(CaseJournal, EveryFlippedByteIsRefused)
{
    const std::string text = FormatJournal(FullRecord());
    const std::size_t bodyStart = text.find('\n') + 1;
    const std::size_t checksumStart = text.rfind("Checksum ");
    for (std::size_t at = 0; at < text.size(); ++at)
        for (const unsigned char mask : {0x01, 0x02, 0x20, 0x80, 0xff}) {
            std::string damaged = text;
            damaged[at] = static_cast<char>(damaged[at] ^ mask);
            const JournalReading reading = ParseJournalText(damaged);
            ASSERT_FALSE(reading.Journal) << at << " ^ " << int(mask);
            EXPECT_EQ(reading.Problem.find('\n'), std::string::npos);
            if (at >= bodyStart && at + 1 < checksumStart)
                EXPECT_EQ(reading.Problem, kDamaged) << at << " ^ " << int(mask);
            else
                EXPECT_FALSE(reading.Problem.empty());
        }
}

// Random edits of a real journal, half of them sealed again so that they
// reach the field parser: never a crash, and what is accepted reads back.
TEST(CaseJournal, SurvivesRandomDamage)
{
    const std::string text = FormatJournal(FullRecord());
    constexpr std::string_view kBytes = "0123456789.-e \n\"\\xAfin";
    std::mt19937 random(20240501);
    int accepted = 0;
    for (int round = 0; round < 20000; ++round) {
        std::string damaged = text;
        const int edits = 1 + static_cast<int>(random() % 4);
        for (int e = 0; e < edits && !damaged.empty(); ++e) {
            const std::size_t at = random() % damaged.size();
            const char byte = kBytes[random() % kBytes.size()];
            switch (random() % 4) {
            case 0:
                damaged[at] = byte;
                break;
            case 1:
                damaged.insert(at, 1, byte);
                break;
            case 2:
                damaged.erase(at, 1 + random() % 40);
                break;
            default:
                damaged.insert(at, damaged.substr(random() % damaged.size(), random() % 60));
                break;
            }
        }
        if (round % 2 == 0 && damaged.find("Checksum ") != std::string::npos)
            damaged = Resealed(damaged);
        const JournalReading reading = ParseJournal(damaged, kSaved);
        EXPECT_EQ(reading.Journal.has_value(), reading.Problem.empty());
        if (reading.Journal) {
            ++accepted;
            const JournalReading again = ParseJournal(FormatJournal(*reading.Journal), kSaved);
            ASSERT_TRUE(again.Journal) << again.Problem;
            EXPECT_EQ(*again.Journal, *reading.Journal);
        }
    }
    // Some edits change only a value to another plausible one.
    EXPECT_GT(accepted, 0);
}

} // namespace
} // namespace sedalyn
