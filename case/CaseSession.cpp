#include "CaseSession.h"

#include "BodySize.h"
#include "CaseText.h"
#include "JournalFile.h"
#include "WakeUp.h"

#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QTime>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <utility>

namespace sedalyn {

using casetext::BoxNumber;
using casetext::CsvField;
using casetext::EditText;
using casetext::GeneralText;
using casetext::Q;

namespace {

// Above this a confirmation asks whether the unit is right.
constexpr double UnusuallyHighRate = 30.0; // mg/kg/hr
// Above this a bolus asks before it is given.
constexpr double LargeBolusMgPerKg = 4.0;

const QString InvalidRate =
    QStringLiteral("Infusion rate - data not valid. All infusion rates must be >=0 and numeric.");

// Days since 1899-12-30 on the local wall clock, the time of day as the
// fraction. Counted from the date and the clock time rather than as elapsed
// milliseconds, so that neither the 1899 local mean time of many time zones
// nor a daylight-saving offset shifts the time of day.
DateTimeDays CurrentDateTimeDays()
{
    static const QDate epoch(1899, 12, 30);
    const QDateTime local = QDateTime::currentDateTime();
    return static_cast<double>(epoch.daysTo(local.date()))
        + local.time().msecsSinceStartOfDay() / MillisecondsPerDay;
}

std::int64_t SteadyMilliseconds()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// Which fields failed, named as one message fragment.
QString FaultyFields(bool height, bool weight, bool age)
{
    QStringList names;
    if (height)
        names << QStringLiteral("Height");
    if (weight)
        names << QStringLiteral("Weight");
    if (age)
        names << QStringLiteral("Age");
    if (names.size() == 3)
        return QStringLiteral("Height, Weight & Age. ");
    return names.join(QStringLiteral(" & ")) + QStringLiteral(". ");
}

// "2026-12-07 14:57:43" of the local date and time in days.
QString IsoDateTime(DateTimeDays days)
{
    static const QDate epoch(1899, 12, 30);
    const double whole = std::floor(days);
    const auto ms = static_cast<int>(std::llround((days - whole) * MillisecondsPerDay));
    const QDateTime at(epoch.addDays(static_cast<qint64>(whole)), QTime(0, 0).addMSecs(std::min(ms, 86'399'999)));
    return at.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

Patient PatientOf(double age, double height, double weight, const QString& gender)
{
    return {age, height, weight, [caption = gender.toStdString()] { return caption; }};
}

FileIdentity IdentityOf(const CaseJournal& j)
{
    return {static_cast<std::uint64_t>(j.DataFileDevice), static_cast<std::uint64_t>(j.DataFileInode)};
}

CaseRecord RecordOf(const PharmacokineticEngine& engine, const EleveldModel& eleveld, const StepInput& input)
{
    return {engine.JamesModel.State[StateTime], input.Rate, input.BolusMg, engine.Concentrations(),
            {eleveld.Plasma(), eleveld.EffectSite()}};
}

QString FixedText(double value, int decimals, const LocaleSettings& locale)
{
    return Q(FormatFixed(value, 15, decimals, locale));
}

} // namespace

CaseClocks CaseClocks::System()
{
    return {&CurrentDateTimeDays, &SteadyMilliseconds, &QDateTime::currentMSecsSinceEpoch};
}

CaseSession::CaseSession(const LocaleSettings& locale, CaseClocks clocks, FileSystem& files)
    : m_locale(locale), m_clocks(std::move(clocks)), m_patient(PatientOf(0, 0, 0, m_gender)), m_files(files),
      m_file(locale.Codeset, files)
{
}

CaseSession::~CaseSession() = default;

CaseClockMs CaseSession::CaseClock() const
{
    return m_clocks.MonotonicMs() - m_clockOrigin;
}

// ------------------------------------------------------------------ patient

PatientOutcome CaseSession::ConfirmPatient(const PatientEntryTexts& typed)
{
    // Every field is parsed and tested; all faults are named at once.
    const std::optional<double> height = BoxNumber(typed.Height, m_locale);
    const bool heightFaulty = !height || !(*height > 0.0);
    const std::optional<double> weight = BoxNumber(typed.Weight, m_locale);
    const bool weightFaulty = !weight || !(*weight > 0.0);
    const std::optional<double> age = BoxNumber(typed.Age, m_locale);
    const bool ageFaulty = !age || *age < 0.0;
    if (heightFaulty || weightFaulty || ageFaulty)
        return {QStringLiteral("Error in ") + FaultyFields(heightFaulty, weightFaulty, ageFaulty)
                    + QStringLiteral("All inputs must be >= 0 and numeric.") + MarksNote(),
                {}};

    const Patient patient = PatientOf(*age, *height, *weight, typed.Gender);
    // Patients for whom the model has no physical meaning get no numbers at all.
    if (const std::string refusal = PatientRefusal(patient); !refusal.empty())
        return {Q(refusal), {}};
    m_patient = patient;
    m_gender = typed.Gender;
    return {{}, Freeze()};
}

bool CaseSession::SetOpioid(bool given)
{
    if (Running())
        return false;
    m_opioid = given;
    return true;
}

PatientTexts CaseSession::Freeze()
{
    m_stage = CaseStage::PatientConfirmed;
    const bool male = m_patient.IsMale();
    const double h = m_patient.PatientHeight;
    const double w = m_patient.PatientWeight;
    const auto general = [this](double value) { return Q(FormatGeneral(value, 4, m_locale)); };
    PatientTexts shown;
    shown.JamesLbm = QStringLiteral("LBM (James) = ") + general(JamesLbm(male, h, w));
    shown.HumeLbm = QStringLiteral("LBM (Hume) = ") + general(HumeLbm(male, h, w));
    shown.HanLbm = QStringLiteral("LBM (Janmahasation) = ") + general(JanmahasatianLbm(male, h, w));
    shown.Bmi = QStringLiteral("BMI (kg/m2) = ") + general(w / (h * h));
    shown.Age = EditText(m_patient.PatientAge);
    shown.Height = EditText(h);
    shown.Weight = EditText(w);
    for (const std::string& warning : PatientWarnings(m_patient))
        shown.Warnings << Q(warning);
    if (const std::string warning = EleveldPopulationWarning(m_patient); !warning.empty())
        shown.Warnings << Q(warning);
    return shown;
}

QStringList CaseSession::DataFileHeader() const
{
    const LocaleSettings dot = casetext::WithDecimalPoint(m_locale);
    const bool male = m_patient.IsMale();
    const double h = m_patient.PatientHeight;
    const double w = m_patient.PatientWeight;
    const auto general = [&dot](double value) { return CsvField(Q(FormatGeneral(value, 4, dot))); };
    return {
        QString(),
        QStringLiteral("Gender,") + CsvField(m_gender),
        QStringLiteral("Age(y),") + CsvField(EditText(m_patient.PatientAge)),
        QStringLiteral("Height(m),") + CsvField(EditText(h)),
        QStringLiteral("Weight(kg),") + CsvField(EditText(w)),
        QStringLiteral("BMI (kg/m2),") + general(w / (h * h)),
        QStringLiteral("LBM (James),") + general(JamesLbm(male, h, w)),
        QStringLiteral("LBM (Hume),") + general(HumeLbm(male, h, w)),
        QStringLiteral("LBM (Janmahasation/Han),") + general(JanmahasatianLbm(male, h, w)),
        QString(),
        QStringLiteral("Time,Infusion rate, James plasma, James effect, Hume plasma, Hume effect, "
                       "Han plasma, Han effect"),
    };
}

QString CaseSession::OpenDataFile(const QString& path)
{
    return m_file.Open(path, DataFileHeader());
}

// --------------------------------------------------------------------- rate

void CaseSession::RateTextChanged(const QString& text)
{
    // The window writing back what a confirmation gave is no change.
    if (text == m_rateText)
        return;
    m_rateText = text;
    m_pending = RateTextState::Changed;
}

RateOutcome CaseSession::ConfirmRate(RateSource source, bool unusualRateAccepted)
{
    const std::optional<double> rate = BoxNumber(m_rateText, m_locale);
    const bool readable = rate && *rate >= 0.0;
    if (!readable || *rate > MaxInfusionRate) {
        // A typo never changes what the models use: the rate in use stays,
        // and so does the unconfirmed text, so the reminder comes.
        m_lastConfirmation = Confirmation::Refused;
        if (m_pending == RateTextState::Confirmed)
            m_pending = RateTextState::Changed;
        return {RateOutcome::Kind::Refused,
                (readable ? QString::fromLatin1(RateAboveMaximumText) : InvalidRate) + QLatin1Char('\n')
                    + QStringLiteral("A rate is a number of mg/kg/hr from 0 to %1, for example 6.5; the decimal "
                                     "mark may be %2.")
                          .arg(GeneralText(MaxInfusionRate, m_locale), casetext::DecimalMarks(m_locale)),
                {}, {}};
    }
    // A rate entered in ml/h looks like a very high one in mg/kg/hr.
    if (*rate > UnusuallyHighRate && *rate != m_rate && !unusualRateAccepted) {
        // Declined once, the same text is reminded about, not asked again.
        if (source == RateSource::Reminder && m_rateText == m_declinedText) {
            m_lastConfirmation = Confirmation::Declined;
            return {RateOutcome::Kind::Declined, {}, {}, {}};
        }
        m_lastConfirmation = Confirmation::Asked;
        return {RateOutcome::Kind::Question,
                QStringLiteral("A rate of ") + GeneralText(*rate, m_locale)
                    + QStringLiteral(" mg/kg/hr is unusually high. Is it in mg/kg/hr (not ml/h)?"),
                {}, {}};
    }
    // The steps due before the confirmation ran at the rate then in use;
    // made up first, their rows come before this one's.
    if (Running())
        TakeDueSteps();
    const bool changed = *rate != m_rate;
    m_rate = *rate;
    NoteRateInUse();
    m_rateText = EditText(m_rate);
    m_pending = RateTextState::Confirmed;
    m_lastConfirmation = Confirmation::Accepted;
    m_declinedText.clear();
    if (changed && Running()) {
        WriteEvent(QStringLiteral("rate %1 mg/kg/hr").arg(EditText(m_rate)));
        NotePlanDeparture(m_plan.RateConfirmed(CaseClock(), m_rate),
                          QStringLiteral("rate %1 mg/kg/hr").arg(EditText(m_rate)));
    }
    // After the row, so that the journal knows the file holds it.
    JournalCase();
    return {RateOutcome::Kind::Accepted, {}, RateLine(m_rate), m_rateText};
}

QString CaseSession::DeclineRate()
{
    m_lastConfirmation = Confirmation::Declined;
    m_declinedText = m_rateText;
    if (m_pending == RateTextState::Confirmed)
        m_pending = RateTextState::Changed;
    return RateLine(m_rate);
}

void CaseSession::ReminderConfirmed()
{
    // A declined or refused text is still unconfirmed: keep reminding.
    if (m_lastConfirmation == Confirmation::Accepted)
        m_pending = RateTextState::Confirmed;
}

bool CaseSession::BoxHoldsRateInUse() const
{
    const std::optional<double> typed = BoxNumber(m_rateText, m_locale);
    return typed && *typed == m_rate;
}

QString CaseSession::MarksNote() const
{
    // Only where the locale's mark is not ".", which the boxes once took alone.
    if (m_locale.DecimalSeparator.empty() || m_locale.DecimalSeparator == ".")
        return {};
    return QStringLiteral("\nNumbers may use %1 as the decimal mark.").arg(casetext::DecimalMarks(m_locale));
}

void CaseSession::NoteRateInUse()
{
    // The running case takes the rate from the step that falls due next.
    if (!Running())
        return;
    m_timeline.ConfirmRate(CaseClock(), m_rate);
}

QString CaseSession::RateLine(double rate) const
{
    return QStringLiteral("Propofol current infusion rate = ") + GeneralText(rate, m_locale)
           + QStringLiteral(" mg/kg/hr.");
}

// --------------------------------------------------------------------- case

RateOutcome CaseSession::Start()
{
    m_engine.ResetModels();
    m_eleveld.Reset(m_opioid);
    // The case's clock starts here; the rate confirmed now is the one it
    // starts at, with no row of its own.
    m_clockOrigin = m_clocks.MonotonicMs();
    m_startUtcMs = m_clocks.UtcMs();
    m_startTime = m_clocks.LocalNow();
    m_history.Clear();
    m_plan.Clear();
    m_pending = RateTextState::Confirmed;
    const RateOutcome outcome = ConfirmRate();
    m_timeline.Start(m_rate);
    m_taken.clear();
    m_stage = CaseStage::Running;
    if (m_file.Recording())
        WriteRows({RowFields(m_startTime,
                             QStringLiteral("start %1 rate %2 mg/kg/hr").arg(IsoDateTime(m_startTime), EditText(m_rate))),
                   RowFields(m_startTime, QLatin1String(m_opioid ? casetext::OpioidGivenEvent : casetext::NoOpioidEvent))});
    JournalCase();
    return outcome;
}

std::int64_t CaseSession::TakeDueSteps()
{
    if (!Running())
        return 0;
    // Every step due since Start, each at the rate confirmed when it fell
    // due: a box that held the previous tick leaves no gap in model time.
    std::vector<QStringList> rows;
    const CaseClockMs clock = CaseClock();
    const DateTimeDays now = m_clocks.LocalNow();
    const std::int64_t steps = m_timeline.StepsDue(clock);
    for (std::int64_t step = 1; step <= steps; ++step) {
        const StepInput input = m_timeline.TakeStep(step == steps);
        const std::int64_t number = m_timeline.StepsTaken();
        if (m_history.Empty() || m_history.Last().Rate != input.Rate)
            m_taken.push_back({number, 0, PendingInput::Kind::Rate, input.Rate});
        if (input.BolusMg > 0.0)
            m_taken.push_back({number, input.BolusGivenAt, PendingInput::Kind::Bolus, input.BolusMg});
        m_engine.AdvanceTick(m_patient, input.Rate, input.BolusMg);
        m_eleveld.AdvanceTick(m_patient, input.Rate, input.BolusMg);
        m_history.Append(RecordOf(m_engine, m_eleveld, input));
        if (!m_file.Recording())
            continue;
        // A row carries the moment its step fell due, on today's wall clock:
        // made up after a delay, it is dated when it should have been written.
        const CaseClockMs late = clock - m_timeline.StepsTaken() * CaseTimeline::StepMs;
        const DateTimeDays time = now - static_cast<double>(late) / MillisecondsPerDay;
        if (m_file.StepTaken())
            if (QStringList row = RowFields(time, m_rateText); !AlreadyWritten(row))
                rows.push_back(std::move(row));
        if (input.BolusMg > 0.0)
            if (QStringList row = RowFields(time, QStringLiteral("bolus ") + EditText(input.BolusMg) + QStringLiteral(" mg"));
                !AlreadyWritten(row))
                rows.push_back(std::move(row));
    }
    if (!rows.empty() || m_file.Failing())
        WriteRows(rows);
    return steps;
}

TickOutcome CaseSession::Tick()
{
    TickOutcome outcome;
    outcome.Steps = TakeDueSteps();
    if (Running()) {
        JournalCase();
        // The write of an earlier tick's journal has ended by now.
        if (m_journal) {
            const QString problem = Q(m_journal->Writer().LastError());
            if (!problem.isEmpty() && m_journalProblem.isEmpty())
                outcome.JournalNotice = QStringLiteral("Crash recovery off: %1.\nThe case goes on, but if Sedalyn "
                                                       "stopped now it could not be resumed.")
                                            .arg(problem);
            m_journalProblem = problem;
        }
    }
    const SixConcentrations values = m_engine.Concentrations();
    for (std::size_t i = 0; i < values.size(); ++i)
        outcome.Concentrations[i] = ConcentrationText(values[i]);
    outcome.FileNotice = std::exchange(m_fileNotice, QString());
    if (!Running())
        return outcome;
    // A box that says what the models use needs no confirming.
    if (m_pending != RateTextState::Confirmed && BoxHoldsRateInUse())
        m_pending = RateTextState::Confirmed;
    outcome.Remind = m_pending == RateTextState::ReminderDue;
    if (outcome.Remind) {
        const QString typed = m_rateText.trimmed();
        outcome.Reminder = QStringLiteral("Confirm the rate change!\n")
                           + (typed.isEmpty() ? QStringLiteral("The rate box is empty")
                                              : QStringLiteral("The rate box holds %1").arg(typed))
                           + QStringLiteral("; the model uses %1 mg/kg/hr.").arg(GeneralText(m_rate, m_locale));
    }
    if (m_pending == RateTextState::Changed)
        m_pending = RateTextState::ReminderDue;
    return outcome;
}

void CaseSession::WriteRows(const std::vector<QStringList>& rows)
{
    switch (m_file.Write(rows)) {
    case CaseRecordFile::Written::Kept:
    case CaseRecordFile::Written::Held:
        return;
    case CaseRecordFile::Written::Refused:
        m_fileNotice = QStringLiteral("File write error");
        if (const std::string problem = m_file.File().Problem(); !problem.empty())
            m_fileNotice += QLatin1Char('\n') + Q(problem);
        return;
    case CaseRecordFile::Written::Left:
        m_fileNotice = QStringLiteral("File write error\nThe data file %1 was deleted: the case goes on without one.")
                           .arg(QDir::toNativeSeparators(m_file.Path()));
        return;
    case CaseRecordFile::Written::Recovered:
        break;
    }
    // The held rows are in the file now; one row says what the outage did.
    const CaseRecordFile::Outage& outage = m_file.LastOutage();
    const QString span = outage.From == outage.To ? outage.From : outage.From + QLatin1Char('-') + outage.To;
    WriteEvent(outage.Dropped > 0
                   ? QStringLiteral("rows missing %1: %2 (%3 rows lost)").arg(span, outage.Reason).arg(outage.Dropped)
                   : QStringLiteral("rows written late %1: %2").arg(span, outage.Reason));
}

void CaseSession::WriteEvent(const QString& text)
{
    if (m_file.Recording())
        WriteRows({RowFields(m_clocks.LocalNow(), text)});
}

QStringList CaseSession::RowFields(DateTimeDays time, const QString& second) const
{
    const LocaleSettings dot = casetext::WithDecimalPoint(m_locale);
    QStringList fields{Q(TimeText(time, m_locale)), second};
    for (const double value : m_engine.Concentrations())
        fields << Q(FormatFixed(value, 6, 2, dot));
    return fields;
}

BolusOutcome CaseSession::GiveBolus(const QString& typed, bool largeBolusAccepted)
{
    // Start sets the models to zero: a bolus before it would have nothing to add to.
    if (!Running())
        return {};
    const std::optional<double> mg = BoxNumber(typed, m_locale);
    if (!mg || !(*mg > 0.0))
        return {BolusOutcome::Kind::Refused,
                QStringLiteral("Bolus - data not valid. A bolus must be a number of mg above 0.") + MarksNote(), {}};
    if (*mg > MaxBolusMg)
        return {BolusOutcome::Kind::Refused,
                QStringLiteral("Bolus - data not valid. A bolus above %1 mg is not accepted: "
                               "check the dose and its unit (mg).")
                    .arg(GeneralText(MaxBolusMg, m_locale)),
                {}};
    const double perKg = *mg / m_patient.PatientWeight;
    if (perKg > LargeBolusMgPerKg && !largeBolusAccepted)
        return {BolusOutcome::Kind::Question,
                QStringLiteral("A bolus of %1 mg is %2 mg/kg. Give it?")
                    .arg(GeneralText(*mg, m_locale), FixedText(perKg, 1, m_locale)),
                {}};
    const CaseClockMs at = CaseClock();
    m_timeline.GiveBolus(at, *mg);
    NotePlanDeparture(m_plan.BolusGiven(at, *mg), QStringLiteral("bolus %1 mg").arg(EditText(*mg)));
    JournalCase();
    return {BolusOutcome::Kind::Given, {}, LastBolusLine(*mg, at)};
}

QString CaseSession::LastBolusLine(double mg, CaseClockMs at) const
{
    return QStringLiteral("Last bolus: %1 mg (%2 mg/kg) at %3")
        .arg(GeneralText(mg, m_locale), FixedText(mg / m_patient.PatientWeight, 1, m_locale), Q(CaseTimeText(at)));
}

EndOutcome CaseSession::End()
{
    EndOutcome outcome;
    if (!Running())
        return outcome;
    // Rows that fell due while a box held the tick are not lost.
    TakeDueSteps();
    WriteEvent(QStringLiteral("end"));
    m_plan.Clear();
    m_stage = CaseStage::PatientEntry;
    // Closed on purpose: nothing to resume.
    EndJournal();
    m_journalProblem.clear();
    if (const std::size_t unwritten = m_file.Unwritten(); unwritten > 0 && m_file.Recording())
        outcome.Notice = QStringLiteral("File write error\n%1 rows of this case could not be written to %2.")
                             .arg(unwritten)
                             .arg(m_file.Path());
    m_fileNotice.clear();
    return outcome;
}

EndOutcome CaseSession::Abort()
{
    EndOutcome outcome = End();
    m_stage = CaseStage::PatientEntry;
    outcome.CloseError = m_file.CloseOnAbort();
    return outcome;
}

EndOutcome CaseSession::Close()
{
    EndOutcome outcome = End();
    EndJournal();
    m_stage = CaseStage::PatientEntry;
    outcome.CloseError = m_file.CloseOnExit();
    return outcome;
}

// --------------------------------------------------------------------- texts

QString CaseSession::ElapsedText() const
{
    const DateTimeDays elapsed = Running() ? m_clocks.LocalNow() - m_startTime : 0.0;
    return QStringLiteral("Elapsed  ") + Q(ElapsedTimeText(elapsed, m_locale));
}

QString CaseSession::StatusLines() const
{
    QStringList lines;
    if (const QString file = m_file.StatusLine(); !file.isEmpty())
        lines << file;
    if (Running() && !m_journalProblem.isEmpty())
        lines << QStringLiteral("Crash recovery off: %1").arg(m_journalProblem);
    return lines.join(QLatin1Char('\n'));
}

QString CaseSession::DateLabel() const
{
    return Q(DateText(m_clocks.LocalNow(), m_locale));
}

QString CaseSession::TimeLabel() const
{
    return Q(TimeText(m_clocks.LocalNow(), m_locale));
}

QString CaseSession::ConcentrationText(double value) const
{
    return Q(FormatFixed(value, 6, 2, m_locale));
}

QString CaseSession::DoseLine() const
{
    if (m_history.Empty())
        return {};
    const double weight = m_patient.PatientWeight;
    const double mg = m_history.GivenMg(weight);
    return QStringLiteral("Given: %1 mg (%2 mg/kg) in %3")
        .arg(FixedText(mg, 0, m_locale), FixedText(mg / weight, 1, m_locale),
             Q(CaseTimeText(std::llround(m_history.Last().Minutes * 60'000.0))));
}

QString CaseSession::WakeUpLine(double level) const
{
    // Only a running case has a current state to stop an infusion from.
    if (!Running() || m_history.Empty())
        return QStringLiteral("Wake-up if stopped now: -");
    // Never earlier than the model says: the seconds round up.
    const auto spoken = [](const std::optional<double>& minutes) {
        return !minutes           ? QStringLiteral("> 24 h")
               : *minutes <= 0.0 ? QStringLiteral("now")
                                 : Q(SpokenDurationText(
                                       1000 * static_cast<std::int64_t>(std::ceil(*minutes * 60.0 - 1e-6))));
    };
    const auto minutes = WakeUpMinutes(m_engine, m_patient, level);
    QStringList times;
    for (std::size_t i = 0; i < minutes.size(); ++i)
        times << QLatin1String(AlgorithmName(AllAlgorithms[i])) + QLatin1Char(' ') + spoken(minutes[i]);
    times << QStringLiteral("Eleveld ") + spoken(WakeUpMinutes(m_eleveld, m_patient, level));
    return QStringLiteral("Wake-up if stopped now: ") + times.join(QStringLiteral("  "));
}

// ------------------------------------------------------------------ journal

void CaseSession::UseJournal(const QString& folder, const std::string& whyNone)
{
    m_journal.reset();
    m_journalNotice.clear();
    auto keeper = std::make_unique<JournalKeeper>(folder, m_files);
    switch (keeper->Why()) {
    case JournalKeeper::Absence::None:
        m_journal = std::move(keeper);
        return;
    case JournalKeeper::Absence::HeldElsewhere:
        m_journalNotice = QStringLiteral("Another Sedalyn is running on this computer: this one keeps "
                                         "no journal, so its case cannot be resumed after a crash.");
        return;
    case JournalKeeper::Absence::NoFolder:
        break;
    }
    const std::string& problem = !keeper->Problem().empty() ? keeper->Problem() : whyNone;
    m_journalNotice = QStringLiteral("Sedalyn keeps no journal of this case, so it cannot be resumed "
                                     "after a crash: ")
                      + Q(!problem.empty() ? problem : std::string("there is no folder for it")) + '.';
}

ResumeOffer CaseSession::OfferResume()
{
    if (!m_journalNotice.isEmpty())
        return {ResumeOffer::Kind::Notice, std::exchange(m_journalNotice, QString())};
    if (!m_journal || Running())
        return {};
    const StoredJournal stored = ReadJournal(m_journal->Folder());
    if (!stored.Text && stored.Problem.empty())
        return {};
    JournalReading reading =
        stored.Text ? ParseJournalText(*stored.Text) : JournalReading{std::nullopt, stored.Problem};
    if (reading.Journal) {
        if (std::string refusal = ResumeRefusal(*reading.Journal, m_clocks.UtcMs()); !refusal.empty()) {
            // Not carried on: its data file is left whole, a torn last row cut.
            CutTornRow(*reading.Journal);
            reading = {std::nullopt, std::move(refusal)};
        }
    }
    if (!reading.Journal) {
        // Kept for inspection, never offered: a damaged or stale journal
        // would put wrong numbers on the screen.
        const std::string notSetAside = SetAside(m_journal->Folder());
        const QString kept =
            notSetAside.empty()
                ? QStringLiteral("It is kept as %1.")
                      .arg(QDir::toNativeSeparators(QDir(m_journal->Folder()).filePath(QLatin1String(JournalSetAsideName))))
                : QStringLiteral("It could not be set aside: %1.").arg(Q(notSetAside));
        return {ResumeOffer::Kind::Notice,
                QStringLiteral("A saved case was not offered for resuming: %1. %2").arg(Q(reading.Problem), kept)};
    }
    m_offered = reading.Journal;
    const CaseJournal& j = *m_offered;
    // The journal names the file a resumed case writes to: the user sees which.
    const QString file = j.DataFilePath.empty()
                             ? QStringLiteral(" It has no data file.")
                             : QStringLiteral(" Its data file is %1.")
                                   .arg(QDir::toNativeSeparators(QString::fromStdString(j.DataFilePath)));
    return {ResumeOffer::Kind::Question,
            QStringLiteral("A case was running when Sedalyn stopped (%1, %2 y, %3 m, %4 kg; started %5, last "
                           "saved %6).%7 Resume it?")
                .arg(Q(j.Gender), GeneralText(j.Age, m_locale), GeneralText(j.Height, m_locale),
                     GeneralText(j.Weight, m_locale), WallClockText(j.StartUtcMs), WallClockText(j.SavedUtcMs),
                     file)};
}

void CaseSession::CutTornRow(const CaseJournal& j)
{
    CaseRecordFile::CutTornRow(QString::fromStdString(j.DataFilePath), j.DataFileBytes, IdentityOf(j), m_files);
}

void CaseSession::DeclineResume()
{
    if (m_offered)
        CutTornRow(*m_offered);
    m_offered.reset();
    if (m_journal)
        m_journal->Writer().Remove();
}

ResumeOutcome CaseSession::Resume()
{
    ResumeOutcome outcome;
    if (!m_offered)
        return outcome;
    const CaseJournal j = std::exchange(m_offered, std::nullopt).value();

    // The patient, confirmed and locked as a confirmation leaves it.
    m_gender = Q(j.Gender);
    m_patient = PatientOf(j.Age, j.Height, j.Weight, m_gender);
    outcome.Gender = m_gender;
    outcome.Patient = Freeze();

    // The rate in use, and the box as it stood.
    m_rate = j.ConfirmedRate;
    m_rateText = Q(j.RateText);
    m_pending = m_rateText == EditText(m_rate) ? RateTextState::Confirmed : RateTextState::Changed;
    m_lastConfirmation = Confirmation::Accepted;
    m_declinedText.clear();

    // The steps and inputs where the journal left them; the steps since are
    // made up below, with the inputs given meanwhile as far as the file shows them.
    m_timeline.Restore(j.StepsTaken, j.RateInUse, j.Pending);
    // The inputs each step took rebuild the history from Start, so the
    // chart and the dose are as if the case had never stopped. A journal
    // without them, or one they do not reproduce, carries its models alone.
    m_opioid = j.Opioid;
    m_eleveld.Reset(m_opioid);
    bool eleveldUnknown = false;
    if (!Replay(j)) {
        m_engine.JamesModel.State = j.Models[0];
        m_engine.HumeModel.State = j.Models[1];
        m_engine.HanModel.State = j.Models[2];
        // An older journal without it: Eleveld is rebuilt from the inputs
        // taken, if there are any, whatever the others' replay gave.
        const std::optional<ModelState> eleveld = j.Version >= 3 ? j.Eleveld : ReplayedEleveld(j);
        m_eleveld.Slot.State = eleveld.value_or(ModelState{j.Models[0][StateTime]});
        eleveldUnknown = !eleveld;
        m_history.Clear();
        m_history.CarryDose(j.GivenRateMgPerKg, j.GivenBolusMg);
        m_taken.clear();
    }
    for (auto taken = m_taken.rbegin(); taken != m_taken.rend(); ++taken)
        if (taken->What == PendingInput::Kind::Bolus) {
            outcome.LastBolusLine = LastBolusLine(taken->Value, taken->At);
            break;
        }

    // The case's clocks count from the original Start.
    const std::int64_t now = m_clocks.UtcMs();
    const std::int64_t sinceStart = now - j.StartUtcMs;
    m_startUtcMs = j.StartUtcMs;
    m_clockOrigin = m_clocks.MonotonicMs() - sinceStart;
    m_startTime = m_clocks.LocalNow() - static_cast<double>(sinceStart) / MillisecondsPerDay;

    if (!j.DataFilePath.empty())
        outcome.FileNotice = m_file.Reopen(QString::fromStdString(j.DataFilePath), j.DataFileBytes, j.LogTickCount,
                                           IdentityOf(j));
    TakeRowsFoundAfter(j);
    outcome.RateLine = RateLine(m_rate);
    outcome.BoxText = m_rateText;

    m_stage = CaseStage::Running;
    // The pump ran on: the steps of the gap are made up now, then a row says so.
    TakeDueSteps();
    m_written.clear();
    if (m_rowsFromUnseenInputs)
        outcome.FileNotice =
            QStringLiteral("The data file %1 holds rows written after the case was last saved, from inputs "
                           "this resumed case cannot see: they stay, and from them on the file and these "
                           "predictions may differ.")
                .arg(QDir::toNativeSeparators(m_file.Path()));
    WriteEvent(QStringLiteral("resumed after %1 gap; rate %2 mg/kg/hr assumed")
                   .arg(Q(CaseTimeText(now - j.SavedUtcMs)), EditText(m_rate)));
    JournalCase();
    outcome.Notice = QStringLiteral("Resumed at %1 after a gap of %2; the rate in use during the gap is "
                                    "assumed to be %3 mg/kg/hr.")
                         .arg(WallClockText(now), Q(SpokenDurationText(now - j.SavedUtcMs)),
                              GeneralText(m_rate, m_locale));
    if (eleveldUnknown)
        outcome.Notice += QStringLiteral(" The saved case holds no Eleveld model: its predictions start from zero now "
                                         "and read low.");
    return outcome;
}

void CaseSession::TakeRowsFoundAfter(const CaseJournal& j)
{
    m_written.clear();
    m_rowsFromUnseenInputs = false;
    // A time of day of the file to the case's clock: the first such moment
    // from shortly before the journal was saved on.
    const double startOfDay = m_startTime - std::floor(m_startTime);
    const std::int64_t startMs = std::llround(startOfDay * MillisecondsPerDay);
    const std::int64_t earliest = j.SavedUtcMs - j.StartUtcMs - 60'000;
    const auto caseMs = [&](const QString& time) -> std::optional<CaseClockMs> {
        const std::optional<int> seconds = casetext::SecondsOfDay(time, m_locale);
        if (!seconds)
            return std::nullopt;
        constexpr std::int64_t day = 86'400'000;
        std::int64_t ms = ((*seconds * 1000LL - startMs) % day + day) % day;
        if (ms < earliest)
            ms += (earliest - ms + day - 1) / day * day;
        return ms;
    };
    // Boluses the journal knows of but no step had taken yet.
    std::vector<double> knownBoluses;
    for (const PendingInput& input : j.Pending)
        if (input.What == PendingInput::Kind::Bolus)
            knownBoluses.push_back(input.Value);

    for (const QString& row : m_file.RowsFoundAfter()) {
        const QStringList fields = casetext::CsvFieldsOf(row);
        const QString what = fields.value(1).trimmed();
        const QStringList words = what.split(QLatin1Char(' '));
        const std::optional<CaseClockMs> at = caseMs(fields.value(0));
        if (fields.size() != 2 + static_cast<qsizetype>(ConcentrationCount) || !at) {
            m_rowsFromUnseenInputs = true;
            continue;
        }
        const std::optional<double> value = ParseNumber(words.value(1).toStdString());
        if (words.size() == 3 && words[0] == QLatin1String("rate") && value) {
            // A rate confirmed after the last save: it applies from the step
            // due after it, as it did.
            m_timeline.ConfirmRate(*at + 999, *value);
            m_rate = *value;
            m_rateText = EditText(m_rate);
            m_pending = RateTextState::Confirmed;
        } else if (words.size() == 3 && words[0] == QLatin1String("bolus") && value) {
            const auto known = std::find(knownBoluses.begin(), knownBoluses.end(), *value);
            if (known != knownBoluses.end())
                knownBoluses.erase(known);
            else
                m_timeline.GiveBolus(*at - 1, *value); // taken by the step the row stands for
            m_written.push_back(fields);
        } else if (words[0] == QLatin1String("start") || words[0] == QLatin1String("resumed")
                   || words[0] == QLatin1String("rows") || words[0] == QLatin1String("end")
                   || words[0] == QLatin1String("plan") || words[0] == QLatin1String("eleveld")) {
            continue;
        } else {
            m_written.push_back(fields);
        }
    }
}

bool CaseSession::AlreadyWritten(const QStringList& row)
{
    if (m_written.empty())
        return false;
    // The same numbers, or the file's rows came from inputs this case has not.
    const QStringList found = m_written.front();
    m_written.pop_front();
    if (found.mid(2) != row.mid(2))
        m_rowsFromUnseenInputs = true;
    return true;
}

std::optional<ModelState> CaseSession::ReplayedEleveld(const CaseJournal& j) const
{
    EleveldModel eleveld;
    eleveld.Reset(j.Opioid);
    if (j.Taken.empty() && j.StepsTaken > 0)
        return std::nullopt;
    auto next = j.Taken.begin();
    double rate = 0.0;
    for (std::int64_t step = 1; step <= j.StepsTaken; ++step) {
        double bolusMg = 0.0;
        for (; next != j.Taken.end() && next->Step == step; ++next) {
            if (next->What == PendingInput::Kind::Rate)
                rate = next->Value;
            else
                bolusMg += next->Value;
        }
        eleveld.AdvanceTick(m_patient, rate, bolusMg);
    }
    return eleveld.Slot.State;
}

bool CaseSession::Replay(const CaseJournal& j)
{
    if (j.Taken.empty() || j.Taken.front().Step != 1)
        return false;
    PharmacokineticEngine engine;
    EleveldModel eleveld;
    eleveld.Reset(j.Opioid);
    CaseHistory history;
    auto next = j.Taken.begin();
    double rate = 0.0;
    for (std::int64_t step = 1; step <= j.StepsTaken; ++step) {
        StepInput input;
        for (; next != j.Taken.end() && next->Step == step; ++next) {
            if (next->What == PendingInput::Kind::Rate)
                rate = next->Value;
            else
                input.BolusMg += next->Value;
        }
        input.Rate = rate;
        engine.AdvanceTick(m_patient, input.Rate, input.BolusMg);
        eleveld.AdvanceTick(m_patient, input.Rate, input.BolusMg);
        history.Append(RecordOf(engine, eleveld, input));
    }
    const std::array<ModelState, 3> replayed{engine.JamesModel.State, engine.HumeModel.State,
                                             engine.HanModel.State};
    if (next != j.Taken.end() || replayed != j.Models || (j.Version >= 3 && eleveld.Slot.State != j.Eleveld))
        return false;
    m_engine = engine;
    m_eleveld = eleveld;
    m_history = std::move(history);
    m_taken = j.Taken;
    return true;
}

void CaseSession::JournalCase()
{
    if (!m_journal || !Running())
        return;
    CaseJournal j;
    j.Gender = m_gender.toStdString();
    j.Age = m_patient.PatientAge;
    j.Height = m_patient.PatientHeight;
    j.Weight = m_patient.PatientWeight;
    j.StartUtcMs = m_startUtcMs;
    j.SavedUtcMs = m_clocks.UtcMs();
    j.StepsTaken = m_timeline.StepsTaken();
    j.Models = {m_engine.JamesModel.State, m_engine.HumeModel.State, m_engine.HanModel.State};
    j.RateInUse = m_timeline.RateInUse();
    j.ConfirmedRate = m_rate;
    j.RateText = m_rateText.toStdString();
    j.Pending = m_timeline.Pending();
    if (m_file.Recording() && m_file.File().IsOpen()) {
        j.DataFilePath = m_file.Path().toStdString();
        j.DataFileBytes = m_file.Bytes();
        j.DataFileDevice = static_cast<std::int64_t>(m_file.Identity().Device);
        j.DataFileInode = static_cast<std::int64_t>(m_file.Identity().Inode);
        j.LogTickCount = m_file.StepsSinceRow();
    }
    j.GivenRateMgPerKg = m_history.RateMgPerKg();
    j.GivenBolusMg = m_history.BolusMg();
    j.Taken = m_taken;
    j.Opioid = m_opioid;
    j.Eleveld = m_eleveld.Slot.State;
    m_journal->Writer().Submit(FormatJournal(j));
}

void CaseSession::FlushJournal()
{
    if (m_journal)
        m_journal->Writer().Flush();
}

void CaseSession::EndJournal()
{
    if (m_journal)
        m_journal->Writer().Remove();
}

QString CaseSession::WallClockText(std::int64_t utcMs) const
{
    // On the case's own wall clock, which tests replace.
    return Q(ClockText(m_clocks.LocalNow() - static_cast<double>(m_clocks.UtcMs() - utcMs) / MillisecondsPerDay,
                       m_locale));
}

} // namespace sedalyn
