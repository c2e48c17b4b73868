#pragma once
// The running case, apart from any window: the confirmed patient, the rate
// in use and where the rate box's text stands against it, the case's clocks,
// its timeline of steps and inputs, the three models, their history, the
// data file and the journal. Its operations are the case's verbs; each
// returns what a window must show or ask, and the window decides how. It
// never shows anything itself, so a whole case runs headless on fake clocks.

#include "CaseHistory.h"
#include "CaseJournal.h"
#include "CasePlan.h"
#include "CaseRecordFile.h"
#include "CaseTimeline.h"
#include "Eleveld.h"
#include "PharmacokineticEngine.h"
#include "TextFormats.h"

#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class JournalKeeper;

namespace sedalyn {

// The case's clocks; tests put fake ones in.
struct CaseClocks {
    std::function<DateTimeDays()> LocalNow;     // the local date and time
    std::function<std::int64_t()> MonotonicMs;  // never jumps; the case's clock counts on it
    std::function<std::int64_t()> UtcMs;        // ms since 1970 UTC, the journal's times

    static CaseClocks System();
};

// Where the rate box's text stands against the rate in use.
enum class RateTextState : std::uint8_t {
    Confirmed,   // no change since the last confirmation
    Changed,     // the text changed since
    ReminderDue, // the change has outlived a tick: every tick now reminds
};

enum class CaseStage : std::uint8_t { PatientEntry, PatientConfirmed, Running };

// The patient as a confirmation understood it: the boxes' texts, the body
// size labels and the warning lines.
struct PatientTexts {
    QString Age, Height, Weight;               // the boxes, rewritten
    QString JamesLbm, HumeLbm, HanLbm, Bmi;    // "LBM (James) = 60.48", ..., "BMI (kg/m2) = 24.58"
    QStringList Warnings;                      // reasons to read the numbers with care
};

struct PatientEntryTexts {
    QString Age, Height, Weight, Gender;       // as typed; Gender is the button's caption
};

struct PatientOutcome {
    QString Refusal;     // the input error to show; nothing changed
    PatientTexts Shown;  // when accepted
};

struct RateOutcome {
    enum class Kind : std::uint8_t {
        Accepted, // the rate is in use
        Question, // ask Text; Yes confirms again with the rate accepted, No declines
        Refused,  // say Text; nothing changed, the change stays pending
        Declined, // a text declined before, confirmed from the reminder: nothing to do
    };
    Kind What = Kind::Accepted;
    QString Text;     // the question or the input error
    QString RateLine; // the rate line (Accepted)
    QString BoxText;  // what the rate box holds now (Accepted)
};

// Where a confirmation comes from: the button, Enter or Start, or OK on the
// tick's reminder.
enum class RateSource : std::uint8_t { Box, Reminder };

struct EndOutcome {
    int CloseError = 0; // the classic I/O code of a data file that failed to close
    QString Notice;     // rows that never reached the data file
};

struct BolusOutcome {
    enum class Kind : std::uint8_t { Given, Question, Refused, NoCase };
    Kind What = Kind::NoCase;
    QString Text;          // the question (Yes gives it) or the input error
    QString LastBolusLine; // Given
};

struct TickOutcome {
    std::int64_t Steps = 0;               // model steps taken now
    std::array<QString, ConcentrationCount> Concentrations; // the panel's six texts
    QString FileNotice;                   // the data file refused rows or was deleted
    QString JournalNotice;                // the journal stopped being written
    bool Remind = false;                  // an unconfirmed rate outlived a tick
    QString Reminder;                     // what the reminder says
};

struct ResumeOffer {
    enum class Kind : std::uint8_t { Nothing, Notice, Question };
    Kind What = Kind::Nothing;
    QString Text;
};

struct ResumeOutcome {
    QString Gender;
    PatientTexts Patient;
    QString RateLine;
    QString BoxText;
    QString LastBolusLine; // the case's last bolus, as when it was given
    QString FileNotice; // the data file could not be reopened
    QString Notice;     // the line saying the case was resumed and how
};

struct PlanOutcome {
    QString Refusal; // why nothing was planned
    QString Unmet;   // the closest plan within the limits: what it does not meet
};

class CaseSession {
public:
    // The data file and the journal reach the disk through `files`.
    CaseSession(const LocaleSettings& locale, CaseClocks clocks, FileSystem& files = FileSystem::System());
    ~CaseSession();
    CaseSession(const CaseSession&) = delete;
    CaseSession& operator=(const CaseSession&) = delete;

    // --- the patient
    PatientOutcome ConfirmPatient(const PatientEntryTexts& typed);
    // Opioids given with the propofol, for the Eleveld model: fixed once the
    // case starts, so false while it runs.
    bool SetOpioid(bool given);
    bool Opioid() const { return m_opioid; }
    // Empty when the file is kept, else the notice to show.
    QString OpenDataFile(const QString& path);

    // --- the rate
    // The rate box's text changed (typed, pasted or written by the window).
    void RateTextChanged(const QString& text);
    // Confirms the box's text. A typo is refused and changes nothing. An
    // unusually high rate is a question first: Yes confirms it again with
    // `unusualRateAccepted`, No is DeclineRate.
    RateOutcome ConfirmRate(RateSource source = RateSource::Box, bool unusualRateAccepted = false);
    // No to the question: the rate line to show, the rate in use.
    QString DeclineRate();
    // OK on the tick's reminder, once its confirmation is done.
    void ReminderConfirmed();

    // --- the case
    // Starts the case and confirms the box's text, as a confirmation does.
    RateOutcome Start();
    // Makes up every step due since Start, each with the inputs of its time.
    TickOutcome Tick();
    BolusOutcome GiveBolus(const QString& typed, bool largeBolusAccepted = false);
    // Ends the case once every step and row due is made up. A data file that
    // fails to close stays the case's.
    EndOutcome Abort();
    // The program ends: as Abort, and the journal goes.
    EndOutcome Close();

    // --- the dosing plan, shown and followed, never applied
    // A plan from the models' state now: `target` (mcg/ml) reached within
    // `reach` (minutes), both as typed, a rate change every `stepMinutes`.
    PlanOutcome MakePlan(ModelKind model, const QString& target, const QString& reach, double stepMinutes);
    void ClearPlan();
    const CasePlan& Plan() const { return m_plan; }
    // "Plan: set 6.5 mg/kg/hr now"; empty when nothing is due.
    QString PlanLine() const;
    // What the plan aims at and whether it is followed; empty without one.
    QString PlanSummary() const;
    // A case time as a time of day, as the plan's rows show it.
    QString PlanClockText(CaseClockMs at) const;

    // --- the journal and resuming
    // The journal in `folder`; `whyNone` says why there is no folder.
    void UseJournal(const QString& folder, const std::string& whyNone = {});
    // What to say or ask once the disclaimer is accepted.
    ResumeOffer OfferResume();
    // Yes to the offer: the case carries on. The window makes up the steps
    // missed with a Tick.
    ResumeOutcome Resume();
    // No to the offer: the journal goes.
    void DeclineResume();
    // Waits until the journal holds the case's last state.
    void FlushJournal();

    // --- what the window shows
    QString ElapsedText() const;   // "Elapsed  01:02:03"
    QString DateLabel() const;     // the local date
    QString TimeLabel() const;     // the local time of day
    QString RateLine(double rate) const;
    QString ConcentrationText(double value) const;
    QString DoseLine() const;      // "Given: 13 mg (0.2 mg/kg) in 00:01:00"; empty before the first step
    QString WakeUpLine(double level) const;
    // What the case cannot keep while it lasts, a line each: the data file's
    // "Data file: not written since ..." and the journal's "Crash recovery
    // off: ...". Empty when all is kept.
    QString StatusLines() const;

    // --- the case as it stands
    CaseStage Stage() const { return m_stage; }
    bool Running() const { return m_stage == CaseStage::Running; }
    const Patient& ConfirmedPatient() const { return m_patient; }
    const QString& GenderCaption() const { return m_gender; }
    double InfusionRate() const { return m_rate; }
    const QString& RateText() const { return m_rateText; }
    RateTextState PendingRate() const { return m_pending; }
    const PharmacokineticEngine& Engine() const { return m_engine; }
    const EleveldModel& Eleveld() const { return m_eleveld; }
    // The state of any of the four models.
    const ModelState& StateOf(ModelKind model) const;
    const CaseTimeline& Timeline() const { return m_timeline; }
    const CaseHistory& History() const { return m_history; }
    const CaseRecordFile& DataFile() const { return m_file; }
    CaseRecordFile& DataFile() { return m_file; }
    const LocaleSettings& Locale() const { return m_locale; }
    // Milliseconds since Start on the monotonic clock.
    CaseClockMs CaseClock() const;
    // The local date and time of the last Start (a resumed case's own); 0 before any.
    DateTimeDays StartTime() const { return m_startTime; }

private:
    enum class Confirmation : std::uint8_t { Accepted, Asked, Declined, Refused };

    PatientTexts Freeze();
    QStringList DataFileHeader() const;
    QStringList RowFields(DateTimeDays time, const QString& second) const;
    std::int64_t TakeDueSteps();
    void WriteRows(const std::vector<QStringList>& rows);
    void WriteEvent(const QString& text);
    EndOutcome End();
    bool BoxHoldsRateInUse() const;
    QString MarksNote() const;
    void NoteRateInUse();
    void JournalCase();
    void EndJournal();
    QString WallClockText(std::int64_t utcMs) const;
    void NotePlanDeparture(bool departed, const QString& what);
    QString LastBolusLine(double mg, CaseClockMs at) const;
    bool Replay(const CaseJournal& journal);
    std::optional<ModelState> ReplayedEleveld(const CaseJournal& journal) const;
    void TakeRowsFoundAfter(const CaseJournal& journal);
    bool AlreadyWritten(const QStringList& row);
    void CutTornRow(const CaseJournal& journal);

    LocaleSettings m_locale;
    CaseClocks m_clocks;
    CaseStage m_stage = CaseStage::PatientEntry;

    QString m_gender = QStringLiteral("Male"); // the gender button's caption at confirmation
    Patient m_patient;

    double m_rate = 0.0;
    QString m_rateText = QStringLiteral("0");
    RateTextState m_pending = RateTextState::Changed;
    Confirmation m_lastConfirmation = Confirmation::Accepted;
    QString m_declinedText; // the box's text whose unusually high rate was declined

    PharmacokineticEngine m_engine;
    EleveldModel m_eleveld;
    bool m_opioid = false;
    CaseTimeline m_timeline;
    CaseHistory m_history;
    std::vector<TakenInput> m_taken; // every rate and bolus a step took: the history replays from it
    std::int64_t m_clockOrigin = 0;
    std::int64_t m_startUtcMs = 0;
    DateTimeDays m_startTime = 0.0; // CaseStartTime

    FileSystem& m_files;
    CaseRecordFile m_file;
    QString m_fileNotice; // said at the next tick
    // Rows a resumed case found in its file past its journal: the steps made
    // up do not write them again, and check that they would have been the same.
    std::deque<QStringList> m_written;
    bool m_rowsFromUnseenInputs = false;

    std::unique_ptr<JournalKeeper> m_journal;
    QString m_journalNotice;  // said once the disclaimer is accepted
    QString m_journalProblem; // why the running case's journal is not written
    std::optional<CaseJournal> m_offered;

    CasePlan m_plan;
};

} // namespace sedalyn
