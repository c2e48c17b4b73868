#include "CaseJournal.h"

#include "BodySize.h"
#include "PharmacokineticEngine.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <iterator>
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

bool HasKey(std::string_view line, std::string_view key)
{
    return line.size() > key.size() && line.starts_with(key) && line[key.size()] == ' ';
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

void AppendKey(std::string& out, std::string_view key)
{
    out += key;
    out += ' ';
}

void PutNumber(std::string& out, std::string_view key, double value)
{
    AppendKey(out, key);
    AppendNumber(out, value);
    out += '\n';
}

void PutInteger(std::string& out, std::string_view key, std::int64_t value)
{
    AppendKey(out, key);
    AppendInteger(out, value);
    out += '\n';
}

void PutString(std::string& out, std::string_view key, std::string_view value)
{
    AppendKey(out, key);
    AppendQuoted(out, value);
    out += '\n';
}

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

// The body's lines in order, each "Key value"; the first problem met stays.
class LineReader {
public:
    // The body follows the header, which is line 1.
    explicit LineReader(std::string_view body) : m_rest(body) {}

    bool Failed() const { return !m_problem.empty(); }
    const std::string& Problem() const { return m_problem; }

    void Number(std::string_view key, double& value)
    {
        const std::optional<std::string_view> text = Value(key);
        if (text && !ParseDouble(*text, value))
            Unreadable(key);
    }

    void Integer(std::string_view key, std::int64_t& value, std::int64_t least = INT64_MIN)
    {
        const std::optional<std::string_view> text = Value(key);
        if (text && !(ParseInteger(*text, value) && value >= least))
            Unreadable(key);
    }

    void String(std::string_view key, std::string& value)
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

    // "Pending.Rate AT VALUE" or "Pending.Bolus AT VALUE".
    void Pending(PendingInput& input)
    {
        if (Failed())
            return;
        const std::string_view line = NextLine();
        std::string_view key;
        if (HasKey(line, PendingRateKey)) {
            key = PendingRateKey;
            input.What = PendingInput::Kind::Rate;
        } else if (HasKey(line, PendingBolusKey)) {
            key = PendingBolusKey;
            input.What = PendingInput::Kind::Bolus;
        } else {
            Expected("Pending.Rate or Pending.Bolus");
            return;
        }
        const std::string_view value = line.substr(key.size() + 1);
        const std::size_t space = value.find(' ');
        if (space == std::string_view::npos || !ParseInteger(value.substr(0, space), input.At)
            || !ParseDouble(value.substr(space + 1), input.Value))
            Unreadable(key);
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
    std::string_view NextLine()
    {
        ++m_lineNumber;
        const std::size_t end = m_rest.find('\n');
        const std::string_view line = m_rest.substr(0, end);
        m_rest.remove_prefix(end == std::string_view::npos ? m_rest.size() : end + 1);
        return line;
    }

    std::optional<std::string_view> Value(std::string_view key)
    {
        if (Failed())
            return std::nullopt;
        const std::string_view line = NextLine();
        if (!HasKey(line, key)) {
            Expected(key);
            return std::nullopt;
        }
        return line.substr(key.size() + 1);
    }

    void Expected(std::string_view key)
    {
        m_problem = "it is damaged: line " + std::to_string(m_lineNumber) + " should hold "
            + std::string(key);
    }

    void Unreadable(std::string_view key)
    {
        m_problem = "it is damaged: line " + std::to_string(m_lineNumber) + " holds an unreadable "
            + std::string(key);
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

// Values no running case can hold; empty when there are none.
std::string ValueProblem(const CaseJournal& j, std::int64_t logTickCount)
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
                return ImpossibleValue(std::string(ModelNames[m]) + '.' + StateNames[e], value);
        }
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
    if (logTickCount < 0 || logTickCount > MaxLogTickCount)
        return ImpossibleInteger("LogTickCount", logTickCount);
    if (!FiniteAtLeast(j.GivenRateMgPerKg, 0.0))
        return ImpossibleValue("GivenRateMgPerKg", j.GivenRateMgPerKg);
    if (!FiniteAtLeast(j.GivenBolusMg, 0.0))
        return ImpossibleValue("GivenBolusMg", j.GivenBolusMg);

    const std::string gender = j.Gender;
    const Patient patient{j.Age, j.Height, j.Weight, [gender] { return gender; }};
    if (std::string refusal = PatientRefusal(patient); !refusal.empty())
        return "its patient cannot be modelled: " + refusal;
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
    out.reserve(1024 + 4 * (journal.RateText.size() + journal.DataFilePath.size()));
    out += Magic;
    AppendInteger(out, CaseJournal::FormatVersion);
    out += '\n';
    PutString(out, "Gender", journal.Gender);
    PutNumber(out, "Age", journal.Age);
    PutNumber(out, "Height", journal.Height);
    PutNumber(out, "Weight", journal.Weight);
    PutInteger(out, "StartUtcMs", journal.StartUtcMs);
    PutInteger(out, "SavedUtcMs", journal.SavedUtcMs);
    PutInteger(out, "StepsTaken", journal.StepsTaken);
    for (std::size_t m = 0; m < journal.Models.size(); ++m)
        for (std::size_t e = 0; e < journal.Models[m].size(); ++e) {
            out += ModelNames[m];
            out += '.';
            AppendKey(out, StateNames[e]);
            AppendNumber(out, journal.Models[m][e]);
            out += '\n';
        }
    PutNumber(out, "RateInUse", journal.RateInUse);
    PutNumber(out, "ConfirmedRate", journal.ConfirmedRate);
    PutString(out, "RateText", journal.RateText);
    PutInteger(out, "Pending", static_cast<std::int64_t>(journal.Pending.size()));
    for (const PendingInput& input : journal.Pending) {
        AppendKey(out, input.What == PendingInput::Kind::Bolus ? PendingBolusKey : PendingRateKey);
        AppendInteger(out, input.At);
        out += ' ';
        AppendNumber(out, input.Value);
        out += '\n';
    }
    PutString(out, "DataFilePath", journal.DataFilePath);
    PutInteger(out, "DataFileBytes", journal.DataFileBytes);
    PutInteger(out, "LogTickCount", journal.LogTickCount);
    PutNumber(out, "GivenRateMgPerKg", journal.GivenRateMgPerKg);
    PutNumber(out, "GivenBolusMg", journal.GivenBolusMg);

    std::array<char, ChecksumDigits> digits{};
    std::uint64_t sum = Fnv1a64(out);
    for (std::size_t i = ChecksumDigits; i-- > 0; sum >>= 4)
        digits[i] = "0123456789abcdef"[sum & 0xf];
    AppendKey(out, ChecksumKey);
    out.append(digits.data(), digits.size());
    out += '\n';
    return out;
}

JournalReading ParseJournal(std::string_view text, std::int64_t nowUtcMs)
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
    if (version != CaseJournal::FormatVersion)
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
    std::int64_t logTickCount = 0;
    std::int64_t pendingCount = 0;
    LineReader reader(text.substr(headerEnd + 1, checksumStart - headerEnd - 1));
    reader.String("Gender", j.Gender);
    reader.Number("Age", j.Age);
    reader.Number("Height", j.Height);
    reader.Number("Weight", j.Weight);
    reader.Integer("StartUtcMs", j.StartUtcMs);
    reader.Integer("SavedUtcMs", j.SavedUtcMs);
    reader.Integer("StepsTaken", j.StepsTaken);
    for (std::size_t m = 0; m < j.Models.size(); ++m)
        for (std::size_t e = 0; e < j.Models[m].size(); ++e)
            reader.Number(std::string(ModelNames[m]) + '.' + StateNames[e], j.Models[m][e]);
    reader.Number("RateInUse", j.RateInUse);
    reader.Number("ConfirmedRate", j.ConfirmedRate);
    reader.String("RateText", j.RateText);
    reader.Integer("Pending", pendingCount, 0);
    // Each input has a line of its own, so a count the text cannot hold
    // fails at the first missing line, before it costs any memory.
    for (std::int64_t i = 0; i < pendingCount && !reader.Failed(); ++i)
        reader.Pending(j.Pending.emplace_back());
    reader.String("DataFilePath", j.DataFilePath);
    reader.Integer("DataFileBytes", j.DataFileBytes);
    reader.Integer("LogTickCount", logTickCount);
    reader.Number("GivenRateMgPerKg", j.GivenRateMgPerKg);
    reader.Number("GivenBolusMg", j.GivenBolusMg);
    reader.End();
    if (reader.Failed())
        return Refused(reader.Problem());

    if (j.SavedUtcMs > nowUtcMs && Distance(j.SavedUtcMs, nowUtcMs) > JournalClockSlackMs)
        return Refused("it was saved in the future: the clock was set back");
    if (nowUtcMs > j.SavedUtcMs && Distance(nowUtcMs, j.SavedUtcMs) > JournalMaxAgeMs)
        return Refused("it is older than 12 hours");
    if (std::string problem = ValueProblem(j, logTickCount); !problem.empty())
        return Refused(std::move(problem));
    j.LogTickCount = static_cast<int>(logTickCount);
    return {std::move(j), {}};
}

} // namespace sedalyn
