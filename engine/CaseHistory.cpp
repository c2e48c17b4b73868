#include "CaseHistory.h"

#include "PharmacokineticEngine.h"
#include "TextFormats.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>

namespace sedalyn {

namespace {

constexpr double StepHours = TickMinutes / 60.0;
constexpr std::int16_t ExactTime = std::numeric_limits<std::int16_t>::min();
constexpr double Tolerance = 1e-6;

bool SameBits(double a, double b)
{
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

// Whether the two values show the same two decimals, as the window, the
// tooltips and the data file format them.
bool SameTwoDecimals(double value, double stored)
{
    // Quick when neither lies near a rounding boundary: the scaled values
    // carry errors of about 1e-10 at most, far inside the margin.
    const double a = std::abs(value) * 100.0;
    const double b = std::abs(stored) * 100.0;
    const auto clear = [](double x) { return std::abs(x - std::floor(x) - 0.5) > 1e-6; };
    if (a < 1e6 && b < 1e6 && (value < 0.0) == (stored < 0.0) && clear(a) && clear(b))
        return std::floor(a + 0.5) == std::floor(b + 0.5);
    const LocaleSettings plain;
    return FormatFixed(value, 6, 2, plain) == FormatFixed(stored, 6, 2, plain);
}

// The float that stands for a concentration, when there is one.
bool Pack(double value, float& packed)
{
    float f = static_cast<float>(value);
    if (!SameTwoDecimals(value, f)) {
        // The nearest float fell across a rounding boundary from the value;
        // its neighbour on the value's side does not.
        const float towards = static_cast<double>(f) < value ? std::numeric_limits<float>::infinity()
                                                             : -std::numeric_limits<float>::infinity();
        f = std::nextafter(f, towards);
        if (!SameTwoDecimals(value, f))
            return false;
    }
    packed = f;
    const double back = f;
    return back == value || std::abs(back - value) <= Tolerance * std::abs(value);
}

// A 4-bit step that sends the reader to the exact value.
constexpr int ExactEleveld = -8;

// The hundredths that show the same two decimals as an Eleveld
// concentration, when there are any.
bool Hundredths(double value, std::int32_t& hundredths)
{
    const double scaled = value * 100.0;
    if (!(scaled >= 0.0 && scaled < 2e9))
        return false;
    const auto q = static_cast<std::int32_t>(std::llround(scaled));
    for (const std::int32_t candidate : {q, q - 1, q + 1}) {
        if (candidate >= 0 && SameTwoDecimals(value, candidate / 100.0)) {
            hundredths = candidate;
            return true;
        }
    }
    return false;
}

int StepOf(std::uint8_t packed, std::size_t m)
{
    const int nibble = m == 0 ? packed & 0xf : packed >> 4;
    return nibble >= 8 ? nibble - 16 : nibble;
}

template <class Value>
const Value* Find(const std::vector<std::pair<std::size_t, Value>>& entries, std::size_t index)
{
    const auto found = std::lower_bound(entries.begin(), entries.end(), index,
                                        [](const auto& entry, std::size_t i) { return entry.first < i; });
    return found != entries.end() && found->first == index ? &found->second : nullptr;
}

template <class Entries>
std::size_t CapacityBytes(const Entries& entries)
{
    return entries.capacity() * sizeof(typename Entries::value_type);
}

// One function for the writer and the reader, so both predict alike.
double Predicted(double start, double step, std::size_t k)
{
    return k == 0 ? start : start + static_cast<double>(k) * step;
}

} // namespace

void CaseHistory::Clear()
{
    m_size = 0;
    m_rates.clear();
    m_boluses.clear();
    m_exactMinutes.clear();
    m_exactConcentrations.clear();
    for (auto& exact : m_exactEleveld)
        exact.clear();
    m_eleveldTrack = {};
    m_rateMgPerKg = 0.0;
    m_bolusMg = 0.0;
}

void CaseHistory::Append(const CaseRecord& record)
{
    const std::size_t index = m_size;
    const std::size_t c = index / ChunkRecords;
    const std::size_t j = index % ChunkRecords;
    if (c == m_chunks.size())
        m_chunks.push_back(std::make_unique<Chunk>());
    Chunk& chunk = *m_chunks[c];

    Group& group = chunk.Groups[j / GroupRecords];
    const std::size_t k = j % GroupRecords;
    if (k == 0)
        group = {record.Minutes, 0.0};
    else if (k == 1)
        group.Step = record.Minutes - group.Start;
    // The distance in representable doubles, exact for any two values.
    const auto offset = static_cast<std::int64_t>(std::bit_cast<std::uint64_t>(record.Minutes)
                                                  - std::bit_cast<std::uint64_t>(Predicted(group.Start, group.Step, k)));
    if (offset > ExactTime && offset <= std::numeric_limits<std::int16_t>::max()) {
        chunk.TimeOffsets[j] = static_cast<std::int16_t>(offset);
    } else {
        chunk.TimeOffsets[j] = ExactTime;
        m_exactMinutes.emplace_back(index, record.Minutes);
    }

    std::array<float, ConcentrationCount>& packed = chunk.Concentrations[j];
    bool packable = true;
    for (std::size_t i = 0; i < ConcentrationCount; ++i)
        packable = Pack(record.Concentrations[i], packed[i]) && packable;
    if (!packable) {
        // A NaN in front sends the reader to the exact values.
        packed[0] = std::numeric_limits<float>::quiet_NaN();
        m_exactConcentrations.emplace_back(index, record.Concentrations);
    }

    for (std::size_t m = 0; m < 2; ++m) {
        std::int32_t q = 0;
        const bool held = Hundredths(record.Eleveld[m], q);
        if (k == 0)
            chunk.EleveldStart[j / GroupRecords][m] = held ? q : 0;
        EleveldTrack& track = m_eleveldTrack[m];
        const std::int64_t predicted = track.Predicted(k, chunk.EleveldStart[j / GroupRecords][m]);
        std::int64_t change = held ? q - predicted : ExactEleveld;
        if (change <= ExactEleveld || change > 7) {
            change = ExactEleveld;
            m_exactEleveld[m].emplace_back(index, record.Eleveld[m]);
        }
        const auto nibble = static_cast<std::uint8_t>(change & 0xf);
        if (m == 0)
            chunk.EleveldSteps[j] = nibble;
        else
            chunk.EleveldSteps[j] = static_cast<std::uint8_t>(chunk.EleveldSteps[j] | nibble << 4);
        track.Take(held ? q : track.Kept(k, chunk.EleveldStart[j / GroupRecords][m]));
    }

    if (m_rates.empty() || !SameBits(m_rates.back().second, record.Rate))
        m_rates.emplace_back(index, record.Rate);
    if (!SameBits(record.BolusMg, 0.0))
        m_boluses.emplace_back(index, record.BolusMg);

    ++m_size;
    m_rateMgPerKg += record.Rate * StepHours;
    m_bolusMg += record.BolusMg;
}

double CaseHistory::MinutesAt(std::size_t index) const
{
    const Chunk& chunk = *m_chunks[index / ChunkRecords];
    const std::size_t j = index % ChunkRecords;
    const std::int16_t offset = chunk.TimeOffsets[j];
    if (offset == ExactTime)
        return *Find(m_exactMinutes, index);
    const Group& group = chunk.Groups[j / GroupRecords];
    const double predicted = Predicted(group.Start, group.Step, j % GroupRecords);
    return std::bit_cast<double>(std::bit_cast<std::uint64_t>(predicted)
                                 + static_cast<std::uint64_t>(static_cast<std::int64_t>(offset)));
}

EleveldConcentrations CaseHistory::EleveldAt(std::size_t index) const
{
    const Chunk& chunk = *m_chunks[index / ChunkRecords];
    const std::size_t j = index % ChunkRecords;
    const std::size_t first = j - j % GroupRecords;
    EleveldConcentrations values{};
    for (std::size_t m = 0; m < 2; ++m) {
        // Followed from the group's start, as they were taken apart.
        const std::int32_t start = chunk.EleveldStart[j / GroupRecords][m];
        EleveldTrack track;
        for (std::size_t i = first; i <= j; ++i) {
            const std::size_t k = i - first;
            const int change = StepOf(chunk.EleveldSteps[i], m);
            if (change != ExactEleveld) {
                const std::int64_t q = track.Predicted(k, start) + change;
                values[m] = static_cast<double>(q) / 100.0;
                track.Take(q);
                continue;
            }
            values[m] = *Find(m_exactEleveld[m], index - j + i);
            std::int32_t q = 0;
            track.Take(Hundredths(values[m], q) ? q : track.Kept(k, start));
        }
    }
    return values;
}

CaseRecord CaseHistory::operator[](std::size_t index) const
{
    CaseRecord record;
    record.Minutes = MinutesAt(index);
    const auto rate = std::upper_bound(m_rates.begin(), m_rates.end(), index,
                                       [](std::size_t i, const auto& entry) { return i < entry.first; });
    record.Rate = std::prev(rate)->second;
    if (const double* bolus = Find(m_boluses, index))
        record.BolusMg = *bolus;
    record.Eleveld = EleveldAt(index);
    const auto& packed = m_chunks[index / ChunkRecords]->Concentrations[index % ChunkRecords];
    if (std::isnan(packed[0])) {
        record.Concentrations = *Find(m_exactConcentrations, index);
    } else {
        for (std::size_t i = 0; i < ConcentrationCount; ++i)
            record.Concentrations[i] = packed[i];
    }
    return record;
}

void CaseHistory::CarryDose(double mgPerKgFromRates, double bolusMg)
{
    m_rateMgPerKg += mgPerKgFromRates;
    m_bolusMg += bolusMg;
}

double CaseHistory::GivenMg(double weightKg) const
{
    return m_rateMgPerKg * weightKg + m_bolusMg;
}

std::size_t CaseHistory::NearestRecord(double minutes) const
{
    if (m_size == 0)
        return 0;
    // The first record not before `minutes`.
    std::size_t low = 0;
    std::size_t high = m_size;
    while (low < high) {
        const std::size_t middle = low + (high - low) / 2;
        if (MinutesAt(middle) < minutes)
            low = middle + 1;
        else
            high = middle;
    }
    if (low == 0)
        return 0;
    if (low == m_size)
        return m_size - 1;
    const bool laterIsNearer = MinutesAt(low) - minutes < minutes - MinutesAt(low - 1);
    return laterIsNearer ? low : low - 1;
}

std::size_t CaseHistory::HeldBytes() const
{
    return sizeof(*this) + m_chunks.size() * sizeof(Chunk) + CapacityBytes(m_chunks)
           + CapacityBytes(m_rates) + CapacityBytes(m_boluses) + CapacityBytes(m_exactMinutes)
           + CapacityBytes(m_exactConcentrations) + CapacityBytes(m_exactEleveld[0])
           + CapacityBytes(m_exactEleveld[1]);
}

} // namespace sedalyn
