#pragma once
// The clock of a running case, counted in 5-second model steps, and the
// inputs (rate confirmations, boluses) by the moment they were given. A tick
// takes every step that has fallen due since Start, however late it comes,
// so model time follows the clock even when a message box held the tick.

#include <cstdint>
#include <deque>

namespace sedalyn {

// Milliseconds on the case's clock: monotonic, counted from Start.
using CaseClockMs = std::int64_t;

struct StepInput {
    double Rate = 0.0;    // mg/kg/hr over the step
    double BolusMg = 0.0; // given at the start of the step
    CaseClockMs BolusGivenAt = -1; // when the last of it was given; -1 for none
};

// An input given but not yet taken by a step.
struct PendingInput {
    enum class Kind : std::uint8_t { Rate, Bolus };
    CaseClockMs At = 0;
    Kind What = Kind::Rate;
    double Value = 0.0;

    friend bool operator==(const PendingInput&, const PendingInput&) = default;
};

// An input as a step took it: the step's number (the first is 1), when it
// was given (boluses) and what it was. A case's list of them replays its
// history from Start.
struct TakenInput {
    std::int64_t Step = 0;
    CaseClockMs At = 0;
    PendingInput::Kind What = PendingInput::Kind::Rate;
    double Value = 0.0;

    friend bool operator==(const TakenInput&, const TakenInput&) = default;
};

class CaseTimeline {
public:
    static constexpr CaseClockMs StepMs = 5000;

    // A new case: no step taken, `rate` in use, nothing pending.
    void Start(double rate);
    // A case carried on from a saved state.
    void Restore(std::int64_t stepsTaken, double rateInUse, std::deque<PendingInput> pending);

    void ConfirmRate(CaseClockMs at, double rate);
    void GiveBolus(CaseClockMs at, double mg);

    // Whole steps fallen due by `now` and not yet taken.
    std::int64_t StepsDue(CaseClockMs now) const;

    // The input of the next step, which falls due at (StepsTaken() + 1) steps.
    // An input counts for the first step falling due at or after the moment it
    // was given; the last step a tick takes also gets everything given before
    // the tick ran, so that an input always enters at the next tick.
    StepInput TakeStep(bool lastOfTick);

    std::int64_t StepsTaken() const { return m_stepsTaken; }
    double RateInUse() const { return m_rateInUse; }
    const std::deque<PendingInput>& Pending() const { return m_pending; }

private:
    std::int64_t m_stepsTaken = 0;
    double m_rateInUse = 0.0;
    std::deque<PendingInput> m_pending;
};

} // namespace sedalyn
