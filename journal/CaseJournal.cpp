#include "CaseJournal.h"

#include "BodySize.h"
#include "PharmacokineticEngine.h"

#include <array>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>
#include <deque>
#include <iterator>
#include <string>
#include <system_error>
#include <utility>

namespace sedalyn {

namespace {

constexpr std::string_view Magic = "Sedalyn case journal ";
constexpr std::string_view ChecksumKey = "Checksum";
constexpr std::size_t ChecksumDigits = 16;

constexpr const char* ModelNames[] = {"James", "Hume", "Janmahasatian"};
// By ModelStateIndex.
constexpr const char* StateNames[] = {"Minutes", "Plasma", "Compartment2", "Compartment3", "EffectSite"};
static_assert(std::size(StateNames) == std::tuple_size_v<ModelState>);
constexpr std::string_view PendingRateKey = "Pending.Rate";
constexpr std::string_view PendingBolusKey = "Pending.Bolus";
constexpr std::string_view TakenRateKey = "Taken.Rate";
constexpr std::string_view TakenBolusKey = "Taken.Bolus";
constexpr std::int64_t FirstReadableVersion = 1;

// A case clock beyond this is taken for damage; it also keeps the step
// arithmetic (steps times 5000 ms) far from overflowing.
constexpr std::int64_t MaxCaseMs = 400LL * 24 * 3600 * 1000;
constexpr int MaxLogTickCount = 5;

constexpr const char* NotAJournal = "it is not a Sedalyn case journal";
constexpr const char* Incomplete = "it is incomplete";

std::uint64_t Fnv1a64(std::string_view bytes)
{
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    for (const char c : bytes) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 0x100000001b3ULL;
    }
    return hash;
}

bool Printable(char c)
{
    return c >= 0x20 && c <= 0x7e;
}

// Hex digits in the one case the writer uses: a flipped case bit is damage.
int HexValue(char c, char ten)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= ten && c <= ten + 5)
        return c - ten + 10;
    return -1;
}

int LowerHexValue(char c)
{
    return HexValue(c, 'a');
}

int UpperHexValue(char c)
{
    return HexValue(c, 'A');
}

// A field's name: "Age", or "James.Plasma" in a group.
struct FieldKey {
    FieldKey(const char* name) : Name(name) {}
    FieldKey(std::string_view name) : Name(name) {}
    FieldKey(std::string_view group, std::string_view name) : Group(group), Name(name) {}

    std::string Text() const { return Group.empty() ? std::string(Name) : std::string(Group) + '.' + std::string(Name); }

    std::string_view Group;
    std::string_view Name;
};

// The length of "Key " at the start of `line`, or 0 when it begins otherwise.
std::size_t KeyLength(std::string_view line, FieldKey key)
{
    std::size_t at = 0;
    if (!key.Group.empty()) {
        if (!line.starts_with(key.Group) || line.size() <= key.Group.size() || line[key.Group.size()] != '.')
            return 0;
        at = key.Group.size() + 1;
    }
    const std::string_view rest = line.substr(at);
    if (rest.size() <= key.Name.size() || !rest.starts_with(key.Name) || rest[key.Name.size()] != ' ')
        return 0;
    return at + key.Name.size() + 1;
}

bool HasKey(std::string_view line, FieldKey key)
{
    return KeyLength(line, key) != 0;
}

// ------------------------------------------------------------------ writing

void AppendNumber(std::string& out, double value)
{
    std::array<char, 32> buffer{};
    const auto [end, ec] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    out.append(buffer.data(), ec == std::errc{} ? end : buffer.data());
}

void AppendInteger(std::string& out, std::int64_t value)
{
    std::array<char, 24> buffer{};
    const auto [end, ec] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    out.append(buffer.data(), ec == std::errc{} ? end : buffer.data());
}

void AppendQuoted(std::string& out, std::string_view text)
{
    static constexpr char Hex[] = "0123456789ABCDEF";
    out += '"';
    for (const char c : text) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '"':
            out += "\\\"";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (Printable(c)) {
                out += c;
            } else {
                const auto byte = static_cast<unsigned char>(c);
                out += "\\x";
                out += Hex[byte >> 4];
                out += Hex[byte & 0xf];
            }
        }
    }
    out += '"';
}

// Puts each field on a line of its own.
class FieldWriter {
public:
    explicit FieldWriter(std::string& out) : m_out(out) {}

    void Number(FieldKey key, double value)
    {
        Key(key);
        AppendNumber(m_out, value);
        m_out += '\n';
    }

    void Integer(FieldKey key, std::int64_t value)
    {
        Key(key);
        AppendInteger(m_out, value);
        m_out += '\n';
    }

    void String(FieldKey key, std::string_view value)
    {
        Key(key);
        AppendQuoted(m_out, value);
        m_out += '\n';
    }

    // Their count, then one line each: "Pending.Rate AT VALUE".
    void Inputs(FieldKey key, const std::deque<PendingInput>& inputs)
    {
        Integer(key, static_cast<std::int64_t>(inputs.size()));
        for (const PendingInput& input : inputs) {
            Key(input.What == PendingInput::Kind::Bolus ? PendingBolusKey : PendingRateKey);
            AppendInteger(m_out, input.At);
            m_out += ' ';
            AppendNumber(m_out, input.Value);
            m_out += '\n';
        }
    }

    // Their count, then one line each: "Taken.Rate STEP AT VALUE".
    void Taken(FieldKey key, const std::vector<TakenInput>& inputs)
    {
        Integer(key, static_cast<std::int64_t>(inputs.size()));
        for (const TakenInput& input : inputs) {
            Key(input.What == PendingInput::Kind::Bolus ? TakenBolusKey : TakenRateKey);
            AppendInteger(m_out, input.Step);
            m_out += ' ';
            AppendInteger(m_out, input.At);
            m_out += ' ';
            AppendNumber(m_out, input.Value);
            m_out += '\n';
        }
    }

    void Flag(FieldKey key, bool value) { Integer(key, value ? 1 : 0); }

    void Key(FieldKey key)
    {
        if (!key.Group.empty()) {
            m_out += key.Group;
            m_out += '.';
        }
        m_out += key.Name;
        m_out += ' ';
    }

private:
    std::string& m_out;
};

// ------------------------------------------------------------------ reading

bool ParseInteger(std::string_view text, std::int64_t& value)
{
    const char* end = text.data() + text.size();
    const auto [last, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc{} && last == end && !text.empty();
}

bool ParseDouble(std::string_view text, double& value)
{
    const char* end = text.data() + text.size();
    const auto [last, ec] = std::from_chars(text.data(), end, value, std::chars_format::general);
    return ec == std::errc{} && last == end && !text.empty();
}

bool ParseHex(std::string_view text, std::uint64_t& value)
{
    if (text.size() != ChecksumDigits)
        return false;
    value = 0;
    for (const char c : text) {
        const int digit = LowerHexValue(c);
        if (digit < 0)
            return false;
        value = value << 4 | static_cast<std::uint64_t>(digit);
    }
    return true;
}

std::optional<std::string> ParseQuoted(std::string_view text)
{
    if (text.size() < 2 || text.front() != '"' || text.back() != '"')
        return std::nullopt;
    text = text.substr(1, text.size() - 2);
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '"' || !Printable(c))
            return std::nullopt;
        if (c != '\\') {
            out += c;
            continue;
        }
        if (++i == text.size())
            return std::nullopt;
        switch (text[i]) {
        case '\\':
            out += '\\';
            break;
        case '"':
            out += '"';
            break;
        case 'n':
            out += '\n';
            break;
        case 'r':
            out += '\r';
            break;
        case 't':
            out += '\t';
            break;
        case 'x': {
            if (text.size() - i < 3)
                return std::nullopt;
            const int high = UpperHexValue(text[i + 1]);
            const int low = UpperHexValue(text[i + 2]);
            if (high < 0 || low < 0)
                return std::nullopt;
            out += static_cast<char>(high << 4 | low);
            i += 2;
            break;
        }
        default:
            return std::nullopt;
        }
    }
    return out;
}

std::string ImpossibleValue(std::string_view key, double value)
{
    std::string text = "it holds an impossible value: " + std::string(key) + ' ';
    AppendNumber(text, value);
    return text;
}

std::string ImpossibleInteger(std::string_view key, std::int64_t value)
{
    std::string text = "it holds an impossible value: " + std::string(key) + ' ';
    AppendInteger(text, value);
    return text;
}

// Takes each field from the next line of the body; the first problem met stays.
class FieldReader {
public:
    // The body follows the header, which is line 1.
    explicit FieldReader(std::string_view body) : m_rest(body) {}

    bool Failed() const { return !m_problem.empty(); }
    const std::string& Problem() const { return m_problem; }

    void Number(FieldKey key, double& value)
    {
        const std::optional<std::string_view> text = Value(key);
        if (text && !ParseDouble(*text, value))
            Unreadable(key);
    }

    void Integer(FieldKey key, std::int64_t& value, std::int64_t least = INT64_MIN)
    {
        const std::optional<std::string_view> text = Value(key);
        if (text && !(ParseInteger(*text, value) && value >= least))
            Unreadable(key);
    }

    void Integer(FieldKey key, int& value)
    {
        std::int64_t wide = 0;
        Integer(key, wide);
        if (Failed())
            return;
        if (wide < INT_MIN || wide > INT_MAX)
            m_problem = ImpossibleInteger(key.Text(), wide);
        else
            value = static_cast<int>(wide);
    }

    void Flag(FieldKey key, bool& value)
    {
        const std::optional<std::string_view> text = Value(key);
        if (text && *text != "0" && *text != "1")
            Unreadable(key);
        else if (text)
            value = *text == "1";
    }

    void String(FieldKey key, std::string& value)
    {
        const std::optional<std::string_view> text = Value(key);
        if (!text)
            return;
        std::optional<std::string> parsed = ParseQuoted(*text);
        if (parsed)
            value = std::move(*parsed);
        else
            Unreadable(key);
    }

    void Inputs(FieldKey key, std::deque<PendingInput>& inputs)
    {
        std::int64_t count = 0;
        Integer(key, count, 0);
        // Each input has a line of its own, so a count the text cannot hold
        // fails at the first missing line, before it costs any memory.
        for (std::int64_t i = 0; i < count && !Failed(); ++i)
            Input(inputs.emplace_back());
    }

    void Taken(FieldKey key, std::vector<TakenInput>& inputs)
    {
        std::int64_t count = 0;
        Integer(key, count, 0);
        for (std::int64_t i = 0; i < count && !Failed(); ++i)
            TakenLine(inputs.emplace_back());
    }

    // Only the checksum line, which is not part of the body, may follow.
    void End()
    {
        if (!Failed() && !m_rest.empty()) {
            NextLine();
            Expected(ChecksumKey);
        }
    }

private:
    // "Pending.Rate AT VALUE" or "Pending.Bolus AT VALUE".
    void Input(PendingInput& input)
    {
        if (Failed())
            return;
        const std::string_view line = NextLine();
        const FieldKey key = InputKey(line, PendingRateKey, PendingBolusKey, input.What);
        if (Failed())
            return;
        const std::string_view value = line.substr(key.Name.size() + 1);
        const std::size_t space = value.find(' ');
        if (space == std::string_view::npos || !ParseInteger(value.substr(0, space), input.At)
            || !ParseDouble(value.substr(space + 1), input.Value))
            Unreadable(key);
    }

    // "Taken.Rate STEP AT VALUE" or "Taken.Bolus STEP AT VALUE".
    void TakenLine(TakenInput& input)
    {
        if (Failed())
            return;
        const std::string_view line = NextLine();
        const FieldKey key = InputKey(line, TakenRateKey, TakenBolusKey, input.What);
        if (Failed())
            return;
        const std::string_view value = line.substr(key.Name.size() + 1);
        const std::size_t first = value.find(' ');
        const std::size_t second = first == std::string_view::npos ? first : value.find(' ', first + 1);
        if (second == std::string_view::npos || !ParseInteger(value.substr(0, first), input.Step)
            || !ParseInteger(value.substr(first + 1, second - first - 1), input.At)
            || !ParseDouble(value.substr(second + 1), input.Value))
            Unreadable(key);
    }

    // Which of a rate's and a bolus's keys the line starts with, and so
    // which input it holds; neither is an error of the journal.
    FieldKey InputKey(std::string_view line, FieldKey rateKey, FieldKey bolusKey, PendingInput::Kind& what)
    {
        if (HasKey(line, rateKey)) {
            what = PendingInput::Kind::Rate;
            return rateKey;
        }
        if (HasKey(line, bolusKey)) {
            what = PendingInput::Kind::Bolus;
            return bolusKey;
        }
        Expected(std::string(rateKey.Name) + " or " + std::string(bolusKey.Name));
        return rateKey;
    }

    std::string_view NextLine()
    {
        ++m_lineNumber;
        const std::size_t end = m_rest.find('\n');
        const std::string_view line = m_rest.substr(0, end);
        m_rest.remove_prefix(end == std::string_view::npos ? m_rest.size() : end + 1);
        return line;
    }

    std::optional<std::string_view> Value(FieldKey key)
    {
        if (Failed())
            return std::nullopt;
        const std::string_view line = NextLine();
        const std::size_t length = KeyLength(line, key);
        if (length == 0) {
            Expected(key.Text());
            return std::nullopt;
        }
        return line.substr(length);
    }

    void Expected(std::string_view what)
    {
        m_problem = "it is damaged: line " + std::to_string(m_lineNumber) + " should hold " + std::string(what);
    }

    void Unreadable(FieldKey key)
    {
        m_problem = "it is damaged: line " + std::to_string(m_lineNumber) + " holds an unreadable " + key.Text();
    }

    std::string_view m_rest;
    int m_lineNumber = 1;
    std::string m_problem;
};

// How far `later` lies after `earlier`, without overflow.
std::uint64_t Distance(std::int64_t later, std::int64_t earlier)
{
    return static_cast<std::uint64_t>(later) - static_cast<std::uint64_t>(earlier);
}

bool InRange(double value, double low, double high)
{
    return value >= low && value <= high; // false for NaN
}

bool FiniteAtLeast(double value, double low)
{
    return std::isfinite(value) && value >= low;
}

// The one list of the fields, in the order of their lines: both the writer
// and the reader go through it, so no field is written and not read.
template <class Visitor, class Record>
void Fields(Visitor& v, Record& j, std::int64_t version = CaseJournal::FormatVersion)
{
    v.String("Gender", j.Gender);
    v.Number("Age", j.Age);
    v.Number("Height", j.Height);
    v.Number("Weight", j.Weight);
    v.Integer("StartUtcMs", j.StartUtcMs);
    v.Integer("SavedUtcMs", j.SavedUtcMs);
    v.Integer("StepsTaken", j.StepsTaken);
    for (std::size_t m = 0; m < j.Models.size(); ++m)
        for (std::size_t e = 0; e < j.Models[m].size(); ++e)
            v.Number({ModelNames[m], StateNames[e]}, j.Models[m][e]);
    v.Number("RateInUse", j.RateInUse);
    v.Number("ConfirmedRate", j.ConfirmedRate);
    v.String("RateText", j.RateText);
    v.Inputs("Pending", j.Pending);
    v.String("DataFilePath", j.DataFilePath);
    v.Integer("DataFileBytes", j.DataFileBytes);
    if (version >= 2) {
        v.Integer("DataFileDevice", j.DataFileDevice);
        v.Integer("DataFileInode", j.DataFileInode);
    }
    v.Integer("LogTickCount", j.LogTickCount);
    v.Number("GivenRateMgPerKg", j.GivenRateMgPerKg);
    v.Number("GivenBolusMg", j.GivenBolusMg);
    if (version >= 2)
        v.Taken("Taken", j.Taken);
    if (version >= 3) {
        v.Flag("Opioid", j.Opioid);
        for (std::size_t e = 0; e < j.Eleveld.size(); ++e)
            v.Number({"Eleveld", StateNames[e]}, j.Eleveld[e]);
    }
}

// Values no running case can hold; empty when there are none.
std::string ValueProblem(const CaseJournal& j)
{
    if (j.Gender != MaleCaption && j.Gender != FemaleCaption) {
        std::string text = "it holds an impossible value: Gender ";
        AppendQuoted(text, j.Gender);
        return text;
    }
    if (!FiniteAtLeast(j.Age, 0.0))
        return ImpossibleValue("Age", j.Age);
    if (!(std::isfinite(j.Height) && j.Height > 0.0))
        return ImpossibleValue("Height", j.Height);
    if (!(std::isfinite(j.Weight) && j.Weight > 0.0))
        return ImpossibleValue("Weight", j.Weight);
    if (j.StartUtcMs > j.SavedUtcMs)
        return ImpossibleInteger("StartUtcMs", j.StartUtcMs);
    if (j.StepsTaken < 0 || j.StepsTaken > MaxCaseMs / CaseTimeline::StepMs)
        return ImpossibleInteger("StepsTaken", j.StepsTaken);
    for (std::size_t m = 0; m < j.Models.size(); ++m)
        for (std::size_t e = 0; e < j.Models[m].size(); ++e) {
            const double value = j.Models[m][e];
            if (!std::isfinite(value) || (e == StateTime && value < 0.0))
                return ImpossibleValue(FieldKey(ModelNames[m], StateNames[e]).Text(), value);
        }
    for (std::size_t e = 0; e < j.Eleveld.size(); ++e)
        if (!std::isfinite(j.Eleveld[e]) || (e == StateTime && j.Eleveld[e] < 0.0))
            return ImpossibleValue(FieldKey("Eleveld", StateNames[e]).Text(), j.Eleveld[e]);
    if (!InRange(j.RateInUse, 0.0, MaxInfusionRate))
        return ImpossibleValue("RateInUse", j.RateInUse);
    if (!InRange(j.ConfirmedRate, 0.0, MaxInfusionRate))
        return ImpossibleValue("ConfirmedRate", j.ConfirmedRate);
    CaseClockMs previous = 0;
    for (const PendingInput& input : j.Pending) {
        const bool rate = input.What == PendingInput::Kind::Rate;
        const std::string_view key = rate ? PendingRateKey : PendingBolusKey;
        // Inputs are kept in the order they were given.
        if (input.At < previous || input.At > MaxCaseMs)
            return ImpossibleInteger(key, input.At);
        if (!InRange(input.Value, 0.0, rate ? MaxInfusionRate : MaxBolusMg))
            return ImpossibleValue(key, input.Value);
        previous = input.At;
    }
    if (j.DataFileBytes < 0)
        return ImpossibleInteger("DataFileBytes", j.DataFileBytes);
    if (j.LogTickCount < 0 || j.LogTickCount > MaxLogTickCount)
        return ImpossibleInteger("LogTickCount", j.LogTickCount);
    if (!FiniteAtLeast(j.GivenRateMgPerKg, 0.0))
        return ImpossibleValue("GivenRateMgPerKg", j.GivenRateMgPerKg);
    if (!FiniteAtLeast(j.GivenBolusMg, 0.0))
        return ImpossibleValue("GivenBolusMg", j.GivenBolusMg);
    std::int64_t step = 1;
    for (const TakenInput& input : j.Taken) {
        const bool rate = input.What == PendingInput::Kind::Rate;
        const std::string_view key = rate ? TakenRateKey : TakenBolusKey;
        // In the order the steps took them, none beyond the steps taken.
        if (input.Step < step || input.Step > j.StepsTaken)
            return ImpossibleInteger(key, input.Step);
        if (input.At < 0 || input.At > MaxCaseMs)
            return ImpossibleInteger(key, input.At);
        if (!InRange(input.Value, 0.0, rate ? MaxInfusionRate : MaxBolusMg))
            return ImpossibleValue(key, input.Value);
        step = input.Step;
    }
    return {};
}

JournalReading Refused(std::string problem)
{
    return {std::nullopt, std::move(problem)};
}

} // namespace

std::string FormatJournal(const CaseJournal& journal)
{
    std::string out;
    out.reserve(1024 + 4 * (journal.RateText.size() + journal.DataFilePath.size()) + 40 * journal.Taken.size());
    out += Magic;
    AppendInteger(out, CaseJournal::FormatVersion);
    out += '\n';
    FieldWriter writer(out);
    Fields(writer, journal);

    std::array<char, ChecksumDigits> digits{};
    std::uint64_t sum = Fnv1a64(out);
    for (std::size_t i = ChecksumDigits; i-- > 0; sum >>= 4)
        digits[i] = "0123456789abcdef"[sum & 0xf];
    writer.Key(ChecksumKey);
    out.append(digits.data(), digits.size());
    out += '\n';
    return out;
}

JournalReading ParseJournalText(std::string_view text)
{
    if (text.empty())
        return Refused("the journal is empty");
    if (text.size() > JournalMaxBytes)
        return Refused("the journal is too large to be a case journal");

    // The first line names the format and its version: another version may
    // differ in anything after it, the checksum included.
    const std::size_t headerEnd = text.find('\n');
    const std::string_view header = text.substr(0, headerEnd);
    std::int64_t version = 0;
    const bool versionRead = header.starts_with(Magic) && ParseInteger(header.substr(Magic.size()), version);
    if (headerEnd == std::string_view::npos)
        return Refused((Magic.starts_with(header) || versionRead) ? Incomplete : NotAJournal);
    if (!versionRead)
        return Refused(NotAJournal);
    if (version < FirstReadableVersion || version > CaseJournal::FormatVersion)
        return Refused("it is from another version of Sedalyn");

    // The last line is the checksum of everything before it.
    if (text.back() != '\n')
        return Refused(Incomplete);
    const std::size_t checksumStart = text.rfind('\n', text.size() - 2) + 1;
    const std::string_view checksumLine = text.substr(checksumStart, text.size() - 1 - checksumStart);
    if (checksumStart <= headerEnd || !HasKey(checksumLine, ChecksumKey)) {
        // Strings are escaped, so only a line can begin with "\nChecksum ".
        const std::size_t earlier = text.find("\nChecksum ");
        return Refused(earlier < checksumStart - 1 ? "it is damaged: text follows its checksum" : Incomplete);
    }
    std::uint64_t checksum = 0;
    if (!ParseHex(checksumLine.substr(ChecksumKey.size() + 1), checksum)
        || checksum != Fnv1a64(text.substr(0, checksumStart)))
        return Refused("it is damaged: its checksum does not match");

    CaseJournal j;
    j.Version = static_cast<int>(version);
    FieldReader reader(text.substr(headerEnd + 1, checksumStart - headerEnd - 1));
    Fields(reader, j, version);
    reader.End();
    if (reader.Failed())
        return Refused(reader.Problem());
    if (std::string problem = ValueProblem(j); !problem.empty())
        return Refused(std::move(problem));
    return {std::move(j), {}};
}

std::string ResumeRefusal(const CaseJournal& journal, std::int64_t nowUtcMs)
{
    const std::int64_t saved = journal.SavedUtcMs;
    if (saved > nowUtcMs && Distance(saved, nowUtcMs) > JournalClockSlackMs)
        return "it was saved in the future: the clock was set back";
    if (nowUtcMs > saved && Distance(nowUtcMs, saved) > JournalMaxAgeMs)
        return "it is older than 12 hours";
    const std::string gender = journal.Gender;
    const Patient patient{journal.Age, journal.Height, journal.Weight, [gender] { return gender; }};
    if (std::string refusal = PatientRefusal(patient); !refusal.empty())
        return "its patient cannot be modelled: " + refusal;
    return {};
}

JournalReading ParseJournal(std::string_view text, std::int64_t nowUtcMs)
{
    JournalReading reading = ParseJournalText(text);
    if (reading.Journal) {
        if (std::string refusal = ResumeRefusal(*reading.Journal, nowUtcMs); !refusal.empty())
            return Refused(std::move(refusal));
    }
    return reading;
}

} // namespace sedalyn
