#pragma once
// The journal of a running case: everything needed to carry the case on after
// a crash, a kill or a power cut, written after every tick and offered for
// resuming at the next start. A plain text a person can read, one field per
// line in a fixed order, ending in an FNV-1a 64-bit checksum of everything
// before it:
//
//   Sedalyn case journal 2
//   Gender "Male"
//   Age 53
//   ...
//   James.Minutes 59.999999999997875
//   James.Plasma 3.018795751293693
//   ...
//   Pending 1
//   Pending.Rate 3602300 5.5      case clock ms, mg/kg/hr (Pending.Bolus: mg)
//   DataFilePath "/home/a/case 3.csv"
//   ...
//   Taken 2
//   Taken.Rate 1 0 10              step, case clock ms, mg/kg/hr (Taken.Bolus: mg)
//   Taken.Bolus 9 42100 140
//   Opioid 0                       0 or 1
//   Eleveld.Minutes 59.999999999997875
//   ...
//   Checksum c6c2e79baf8e470c

#include "CaseTimeline.h"
#include "CompartmentModel.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sedalyn {

struct CaseJournal {
    // 2 adds the inputs taken since Start, 3 the Eleveld model and its
    // opioid setting; journals of 1 and 2 still read, as cases without opioid.
    static constexpr int FormatVersion = 3;

    std::string Gender;                      // "Male" or "Female", the gender button's caption
    double Age = 0.0;                        // years
    double Height = 0.0;                     // metres
    double Weight = 0.0;                     // kg
    std::int64_t StartUtcMs = 0;             // wall clock at Start, ms since 1970-01-01 UTC
    std::int64_t SavedUtcMs = 0;             // wall clock when this record was made
    std::int64_t StepsTaken = 0;             // 5-second model steps taken since Start
    std::array<ModelState, 3> Models{};      // James, Hume, Janmahasatian; time and four concentrations
    double RateInUse = 0.0;                  // mg/kg/hr of the last step taken
    double ConfirmedRate = 0.0;              // the window's confirmed rate, mg/kg/hr
    std::string RateText;                    // the rate box's text as it stood
    std::deque<PendingInput> Pending;        // given but not yet taken by a step
    std::string DataFilePath;                // empty: the case has no data file
    std::int64_t DataFileBytes = 0;          // after the last row that reached the disk
    std::int64_t DataFileDevice = 0;         // which file it is: its device and inode; 0 not known
    std::int64_t DataFileInode = 0;
    int LogTickCount = 0;                    // steps since the last data row, 0..5
    double GivenRateMgPerKg = 0.0;           // dose given so far by the rates, mg/kg
    double GivenBolusMg = 0.0;               // and by boluses, mg
    std::vector<TakenInput> Taken;           // every rate and bolus a step took since Start
    bool Opioid = false;                     // opioids given with the propofol, for the Eleveld model
    ModelState Eleveld{};                    // its time, Cp, compartments 2 and 3, Ce
    int Version = FormatVersion;             // the version it was read from

    friend bool operator==(const CaseJournal&, const CaseJournal&) = default;
};

// A journal older than this is not offered: the patient has long left.
inline constexpr std::int64_t JournalMaxAgeMs = 12LL * 3600 * 1000;
// Saved later than now by more than this, the clock was set back.
inline constexpr std::int64_t JournalClockSlackMs = 60LL * 1000;
// Far above any real journal (a few hundred bytes); a longer text is refused
// unread, and a reader need not take in more than one byte beyond it.
inline constexpr std::size_t JournalMaxBytes = 1 << 20;

// Doubles in their shortest form that reads back exactly; strings in double
// quotes, with every byte outside printable ASCII, the quote and the
// backslash escaped, so the text is plain ASCII whatever the strings hold.
std::string FormatJournal(const CaseJournal& journal);

struct JournalReading {
    std::optional<CaseJournal> Journal;
    std::string Problem; // a clause in words: "it is damaged: line 5 holds an unreadable Weight"
};

// The record a journal text holds, or why the text gives none: it is
// damaged or incomplete, from another version, or holds values no running
// case can hold. Exactly one of the two is set.
JournalReading ParseJournalText(std::string_view text);

// Why a record read whole may not be resumed now (`nowUtcMs`, the wall
// clock): it is older than 12 hours, it was saved in the future, or the
// model refuses its patient. A clause in words for a one-line notice ("the
// clock was set back"); empty when the case may be carried on.
std::string ResumeRefusal(const CaseJournal& journal, std::int64_t nowUtcMs);

// Both, as the program uses them at start: the record when it may be
// resumed, else why not.
JournalReading ParseJournal(std::string_view text, std::int64_t nowUtcMs);

} // namespace sedalyn
