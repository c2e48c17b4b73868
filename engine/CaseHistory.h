#pragma once
// The history of a case: one record per 5-second model step, kept from Start
// until the next Start. The trend chart, its tooltips and the dose line read
// it; nothing in it is ever rewritten.
//
// A week-long case must not fill the memory, so the records are held packed,
// about 26 bytes each instead of 72: times, rates and boluses exactly as they
// were appended, the concentrations as floats within 1e-6 of the value
// (relatively) that show the same two decimals as the value itself. A value
// that cannot be held so (not finite, or beyond a float's range) is kept
// exactly, as is a time that breaks the even pace of the steps. The Eleveld
// model's two ride along in a byte a record, as the hundredths of a mcg/ml
// shown (to a pixel on the chart): each as how far, from -7 to 7, it lies
// from the straight line through the two records before; one further off is
// kept exactly.

#include "PharmacokineticEngine.h"

#include <array>
#include <compare>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <memory>
#include <utility>
#include <vector>

namespace sedalyn {

using EleveldConcentrations = std::array<double, 2>;

struct CaseRecord {
    double Minutes = 0.0; // model time at the end of the step
    double Rate = 0.0;    // mg/kg/hr in use during the step
    double BolusMg = 0.0; // given at the start of the step; 0 for none
    SixConcentrations Concentrations{};
    EleveldConcentrations Eleveld{}; // plasma, effect site

    friend bool operator==(const CaseRecord&, const CaseRecord&) = default;
};

class CaseHistory {
public:
    class Iterator;

    // Empties the history and forgets any carried dose; keeps the memory.
    void Clear();
    void Append(const CaseRecord& record);

    // Drug given before the first record (a case resumed after a crash
    // brings what it had given); counted by GivenMg.
    void CarryDose(double mgPerKgFromRates, double bolusMg);

    std::size_t Size() const { return m_size; }
    bool Empty() const { return m_size == 0; }
    // The record as it is held; index below Size().
    CaseRecord operator[](std::size_t index) const;
    CaseRecord Last() const { return (*this)[m_size - 1]; }
    Iterator begin() const;
    Iterator end() const;

    // Propofol delivered since Start: every rate over its step, plus boluses.
    double GivenMg(double weightKg) const;
    // Of which from the rates, per kg, and as boluses (mg): what a resumed
    // case carries over.
    double RateMgPerKg() const { return m_rateMgPerKg; }
    double BolusMg() const { return m_bolusMg; }

    // The record whose time is nearest to `minutes` (the earlier on a tie);
    // Size() when the history is empty.
    std::size_t NearestRecord(double minutes) const;

    // The memory the history holds, room for more records included.
    std::size_t HeldBytes() const;

private:
    static constexpr std::size_t ChunkRecords = 1024;
    static constexpr std::size_t GroupRecords = 64;

    // The steps of a group are taken to follow each other evenly from its
    // first time, at the pace of its first two; each record holds how far,
    // in doubles, its time lies from that.
    struct Group {
        double Start = 0.0;
        double Step = 0.0;
    };

    struct Chunk {
        std::array<std::array<float, ConcentrationCount>, ChunkRecords> Concentrations;
        std::array<std::int16_t, ChunkRecords> TimeOffsets;
        std::array<Group, ChunkRecords / GroupRecords> Groups;
        std::array<std::uint8_t, ChunkRecords> EleveldSteps; // plasma low nibble, effect high
        std::array<std::array<std::int32_t, 2>, ChunkRecords / GroupRecords> EleveldStart;
    };

    template <class Value>
    using Exceptions = std::vector<std::pair<std::size_t, Value>>;

    double MinutesAt(std::size_t index) const;
    EleveldConcentrations EleveldAt(std::size_t index) const;

    std::vector<std::unique_ptr<Chunk>> m_chunks;
    std::size_t m_size = 0;
    Exceptions<double> m_rates; // from which record on each rate applies
    Exceptions<double> m_boluses;
    Exceptions<double> m_exactMinutes;
    Exceptions<SixConcentrations> m_exactConcentrations;
    Exceptions<double> m_exactEleveld[2];
    // The last two hundredths of a group, from which the next is predicted.
    struct EleveldTrack {
        std::int64_t Last = 0;
        std::int64_t Before = 0;

        std::int64_t Predicted(std::size_t k, std::int32_t start) const
        {
            return k == 0 ? start : k == 1 ? Last : 2 * Last - Before;
        }
        // What a value without thousandths leaves the line at.
        std::int64_t Kept(std::size_t k, std::int32_t start) const { return k == 0 ? start : Last; }
        void Take(std::int64_t q)
        {
            Before = Last;
            Last = q;
        }
    };
    std::array<EleveldTrack, 2> m_eleveldTrack{};
    double m_rateMgPerKg = 0.0;
    double m_bolusMg = 0.0;
};

// Walks the records in order, handing each out by value.
class CaseHistory::Iterator {
public:
    using iterator_concept = std::random_access_iterator_tag;
    using iterator_category = std::random_access_iterator_tag;
    using value_type = CaseRecord;
    using difference_type = std::ptrdiff_t;
    using reference = CaseRecord;

    // What -> reaches through: a record held for the length of the expression.
    struct Arrow {
        CaseRecord Record;
        const CaseRecord* operator->() const { return &Record; }
    };
    using pointer = Arrow;

    Iterator() = default;
    Iterator(const CaseHistory* history, std::size_t index) : m_history(history), m_index(index) {}

    CaseRecord operator*() const { return (*m_history)[m_index]; }
    Arrow operator->() const { return {**this}; }
    CaseRecord operator[](difference_type n) const { return *(*this + n); }

    Iterator& operator++() { return *this += 1; }
    Iterator& operator--() { return *this -= 1; }
    Iterator operator++(int) { return std::exchange(*this, *this + 1); }
    Iterator operator--(int) { return std::exchange(*this, *this - 1); }
    Iterator& operator+=(difference_type n)
    {
        m_index = static_cast<std::size_t>(static_cast<difference_type>(m_index) + n);
        return *this;
    }
    Iterator& operator-=(difference_type n) { return *this += -n; }
    friend Iterator operator+(Iterator it, difference_type n) { return it += n; }
    friend Iterator operator+(difference_type n, Iterator it) { return it += n; }
    friend Iterator operator-(Iterator it, difference_type n) { return it -= n; }
    friend difference_type operator-(const Iterator& a, const Iterator& b)
    {
        return static_cast<difference_type>(a.m_index) - static_cast<difference_type>(b.m_index);
    }
    friend bool operator==(const Iterator& a, const Iterator& b) { return a.m_index == b.m_index; }
    friend auto operator<=>(const Iterator& a, const Iterator& b) { return a.m_index <=> b.m_index; }

private:
    const CaseHistory* m_history = nullptr;
    std::size_t m_index = 0;
};

inline CaseHistory::Iterator CaseHistory::begin() const
{
    return {this, 0};
}

inline CaseHistory::Iterator CaseHistory::end() const
{
    return {this, m_size};
}

} // namespace sedalyn
