#pragma once
// A finished or running case read back from its data file: the patient of
// its header, its rows of concentrations, its events, and the lines it could
// not read. Every data file this program has written reads: those before
// event rows give their rate history as the rate box's text only. A damaged
// line is named and skipped, never trusted.

#include "CaseHistory.h"
#include "FileSystem.h"
#include "PharmacokineticEngine.h"
#include "TextFormats.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <vector>

namespace sedalyn {

struct CaseFilePatient {
    QString Gender;                              // as written: "Male" or "Female"
    std::optional<double> Age, Height, Weight;   // years, m, kg; none when unreadable
    bool Complete() const { return Age && Height && Weight && *Height > 0 && *Weight > 0; }
};

// A row of the six concentrations, every 30 s of the case.
struct CaseFileRow {
    double Minutes = 0.0;  // case time, from the rows' clock times
    QString Clock;         // the time field as written
    QString RateText;      // the rate box's text as written
    SixConcentrations Concentrations{};
};

struct CaseFileEvent {
    enum class Kind : std::uint8_t { Start, Rate, Bolus, Resumed, RowsLate, RowsMissing, End, Plan, Opioid };
    Kind What = Kind::Start;
    double Minutes = 0.0;
    QString Clock;
    QString Text;        // the field as written
    double Value = 0.0;  // Start, Rate, Resumed: mg/kg/hr; Bolus: mg; RowsMissing: rows lost; Opioid: 1 given, 0 not
    SixConcentrations Concentrations{};
};

struct CaseFileContent {
    CaseFilePatient Patient;
    // "2026-12-07 14:57:43" of the start row; empty when the file has none.
    QString Started;
    std::vector<CaseFileRow> Rows;
    std::vector<CaseFileEvent> Events;
    // "line 17: <the line>", one per line that could not be read.
    QStringList Unread;

    // The file has start and rate rows: the rate in use is known. Otherwise
    // only the rate box's text of each row is.
    bool RatesKnown() const { return !Started.isEmpty(); }
    // The rate in use at `minutes`; none when not known.
    std::optional<double> RateAt(double minutes) const;
    // The end row's time, or the last row's.
    double EndMinutes() const;
    // Propofol given, mg; the rates' share is none where they are not known.
    std::optional<double> RateMg() const;
    double BolusMg() const;
    // Rows lost to a failing disk, as the file says: totals are then short.
    std::int64_t RowsLost() const;
    // Whether opioids were given with the propofol (the Eleveld model's
    // setting); none for a file from before the file said so.
    std::optional<bool> Opioid() const;
};

struct CaseFileReading {
    std::optional<CaseFileContent> Content;
    QString Error; // one line, when there is no content
};

// Parses the bytes of a data file; clock times are read in `locale` first,
// then in any of the usual forms. Fails (Error set) only for bytes that are
// no data file of this program.
CaseFileReading ParseCaseFile(const QByteArray& bytes, const LocaleSettings& locale);

// Reads and parses `path` through the careful file layer.
CaseFileReading ReadCaseFile(const QString& path, const LocaleSettings& locale,
                             const FileSystem& files = FileSystem::System());

struct EleveldReplay;

// The records the trend chart draws, one for each row, boluses in place;
// Eleveld's values from `eleveld` where it has them, else zero.
void FillHistory(const CaseFileContent& content, CaseHistory& history, const EleveldReplay* eleveld = nullptr);

} // namespace sedalyn
