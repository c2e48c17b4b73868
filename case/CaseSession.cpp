#include "CaseSession.h"

#include "BodySize.h"
#include "CaseText.h"
#include "JournalFile.h"
#include "WakeUp.h"

#include <QDate>
#include <QDateTime>
#include <QDir>

#include <chrono>
#include <cmath>
#include <utility>

namespace sedalyn {

using casetext::CsvField;
using casetext::EditText;
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

std::optional<double> Parsed(const QString& text)
{
    return ParseNumber(text.toStdString());
}

Patient PatientOf(double age, double height, double weight, const QString& gender)
{
    return {age, height, weight, [caption = gender.toStdString()] { return caption; }};
}

CaseRecord RecordOf(const PharmacokineticEngine& engine, const StepInput& input)
{
    return {engine.JamesModel.State[StateTime], input.Rate, input.BolusMg, engine.Concentrations()};
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

CaseSession::CaseSession(const LocaleSettings& locale, CaseClocks clocks)
    : m_locale(locale), m_clocks(std::move(clocks)), m_patient(PatientOf(0, 0, 0, m_gender)),
      m_file(locale.Codeset)
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
    const std::optional<double> height = Parsed(typed.Height);
    const bool heightFaulty = !height || !(*height > 0.0);
    const std::optional<double> weight = Parsed(typed.Weight);
    const bool weightFaulty = !weight || !(*weight > 0.0);
    const std::optional<double> age = Parsed(typed.Age);
    const bool ageFaulty = !age || *age < 0.0;
    if (heightFaulty || weightFaulty || ageFaulty)
        return {QStringLiteral("Error in ") + FaultyFields(heightFaulty, weightFaulty, ageFaulty)
                    + QStringLiteral("All inputs must be >= 0 and numeric."),
                {}};

    const Patient patient = PatientOf(*age, *height, *weight, typed.Gender);
    // Patients for whom the model has no physical meaning get no numbers at all.
    if (const std::string refusal = PatientRefusal(patient); !refusal.empty())
        return {Q(refusal), {}};
    m_patient = patient;
    m_gender = typed.Gender;
    return {{}, Freeze()};
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

RateOutcome CaseSession::ConfirmRate(bool unusualRateAccepted)
{
    m_rateDeclined = false;
    const std::string text = m_rateText.toStdString();
    // The same parser checks and converts, so no text can pass the check
    // and then fail.
    const std::optional<double> rate = IsNonNegativeNumber(text) ? ParseNumber(text) : std::nullopt;
    if (rate && *rate <= MaxInfusionRate) {
        // A rate entered in ml/h looks like a very high one in mg/kg/hr.
        if (*rate > UnusuallyHighRate && *rate != m_rate && !unusualRateAccepted)
            return {RateOutcome::Kind::Question,
                    QStringLiteral("A rate of ") + casetext::GeneralText(*rate, m_locale)
                        + QStringLiteral(" mg/kg/hr is unusually high. Is it in mg/kg/hr (not ml/h)?"),
                    {}, {}};
        m_rate = *rate;
        NoteRateInUse();
        m_rateText = EditText(m_rate);
        m_pending = RateTextState::Confirmed;
        return {RateOutcome::Kind::Accepted, {}, RateLine(m_rate), m_rateText};
    }
    m_rate = 0.0;
    NoteRateInUse();
    // The box is emptied to "0.0", which counts as an unconfirmed change.
    m_rateText = QStringLiteral("0.0");
    m_pending = RateTextState::Changed;
    return {RateOutcome::Kind::Refused, rate ? QString::fromLatin1(RateAboveMaximumText) : InvalidRate,
            RateLine(m_rate), m_rateText};
}

void CaseSession::DeclineRate()
{
    m_rateDeclined = true;
}

void CaseSession::ReminderConfirmed()
{
    // A declined unusually high rate is still unconfirmed: keep reminding.
    if (!m_rateDeclined)
        m_pending = RateTextState::Confirmed;
}

void CaseSession::NoteRateInUse()
{
    // The running case takes the rate from the step that falls due next.
    if (!Running())
        return;
    m_timeline.ConfirmRate(CaseClock(), m_rate);
    JournalCase();
}

QString CaseSession::RateLine(double rate) const
{
    return QStringLiteral("Propofol current infusion rate = ") + casetext::GeneralText(rate, m_locale)
           + QStringLiteral(" mg/kg/hr.");
}

// --------------------------------------------------------------------- case

void CaseSession::Start()
{
    m_engine.ResetModels();
    // The case's clock starts here; the rate confirmed next counts from it.
    m_clockOrigin = m_clocks.MonotonicMs();
    m_startUtcMs = m_clocks.UtcMs();
    m_startTime = m_clocks.LocalNow();
    m_timeline.Start(m_rate);
    m_history.Clear();
    m_stage = CaseStage::Running;
    m_pending = RateTextState::Confirmed;
    JournalCase();
}

TickOutcome CaseSession::Tick()
{
    TickOutcome outcome;
    if (Running()) {
        // Every step due since Start, each at the rate confirmed when it fell
        // due: a box that held the previous tick leaves no gap in model time.
        std::vector<QStringList> rows;
        const CaseClockMs clock = CaseClock();
        const DateTimeDays now = m_clocks.LocalNow();
        outcome.Steps = m_timeline.StepsDue(clock);
        for (std::int64_t step = 1; step <= outcome.Steps; ++step) {
            const StepInput input = m_timeline.TakeStep(step == outcome.Steps);
            m_engine.AdvanceTick(m_patient, input.Rate, input.BolusMg);
            m_history.Append(RecordOf(m_engine, input));
            if (!m_file.Recording())
                continue;
            // A row carries the moment its step fell due, on today's wall
            // clock: made up after a delay, it is dated when it should have
            // been written.
            const CaseClockMs late = clock - m_timeline.StepsTaken() * CaseTimeline::StepMs;
            const DateTimeDays time = now - static_cast<double>(late) / MillisecondsPerDay;
            if (m_file.StepTaken())
                rows.push_back(RowFields(time, m_rateText));
            if (input.BolusMg > 0.0)
                rows.push_back(
                    RowFields(time, QStringLiteral("bolus ") + EditText(input.BolusMg) + QStringLiteral(" mg")));
        }
        outcome.FileNotice = m_file.Write(rows);
        JournalCase();
    }
    const SixConcentrations values = m_engine.Concentrations();
    for (std::size_t i = 0; i < values.size(); ++i)
        outcome.Concentrations[i] = ConcentrationText(values[i]);
    outcome.Remind = Running() && m_pending == RateTextState::ReminderDue;
    if (Running() && m_pending == RateTextState::Changed)
        m_pending = RateTextState::ReminderDue;
    return outcome;
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
    const std::optional<double> mg = ParseNumber(typed.toStdString());
    if (!mg || !(*mg > 0.0))
        return {BolusOutcome::Kind::Refused,
                QStringLiteral("Bolus - data not valid. A bolus must be a number of mg above 0."), {}};
    if (*mg > MaxBolusMg)
        return {BolusOutcome::Kind::Refused,
                QStringLiteral("Bolus - data not valid. A bolus above %1 mg is not accepted: "
                               "check the dose and its unit (mg).")
                    .arg(casetext::GeneralText(MaxBolusMg, m_locale)),
                {}};
    const double perKg = *mg / m_patient.PatientWeight;
    if (perKg > LargeBolusMgPerKg && !largeBolusAccepted)
        return {BolusOutcome::Kind::Question,
                QStringLiteral("A bolus of %1 mg is %2 mg/kg. Give it?")
                    .arg(casetext::GeneralText(*mg, m_locale), FixedText(perKg, 1, m_locale)),
                {}};
    const CaseClockMs at = CaseClock();
    m_timeline.GiveBolus(at, *mg);
    JournalCase();
    return {BolusOutcome::Kind::Given, {},
            QStringLiteral("Last bolus: %1 mg (%2 mg/kg) at %3")
                .arg(casetext::GeneralText(*mg, m_locale), FixedText(perKg, 1, m_locale), Q(CaseTimeText(at)))};
}

int CaseSession::Abort()
{
    m_stage = CaseStage::PatientEntry;
    EndJournal();
    return m_file.CloseOnAbort();
}

int CaseSession::Close()
{
    // Closed on purpose: nothing to resume.
    EndJournal();
    m_stage = CaseStage::PatientEntry;
    return m_file.CloseOnExit();
}

// --------------------------------------------------------------------- texts

QString CaseSession::ElapsedText() const
{
    const DateTimeDays elapsed = Running() ? m_clocks.LocalNow() - m_startTime : 0.0;
    return QStringLiteral("Elapsed  ") + Q(TimeText(elapsed, m_locale));
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
             Q(MinutesSecondsText(m_history.Last().Minutes, SecondsRounding::Up)));
}

QString CaseSession::WakeUpLine(double level) const
{
    // Only a running case has a current state to stop an infusion from.
    if (!Running() || m_history.Empty())
        return QStringLiteral("Wake-up if stopped now: -");
    const auto minutes = WakeUpMinutes(m_engine, m_patient, level);
    QStringList times;
    for (std::size_t i = 0; i < minutes.size(); ++i) {
        const QString time = !minutes[i]           ? QStringLiteral("> 24 h")
                             : *minutes[i] <= 0.0 ? QStringLiteral("now")
                                                  : Q(MinutesSecondsText(*minutes[i], SecondsRounding::Up));
        times << QLatin1String(AlgorithmName(AllAlgorithms[i])) + QLatin1Char(' ') + time;
    }
    return QStringLiteral("Wake-up if stopped now: ") + times.join(QStringLiteral("  "));
}

// ------------------------------------------------------------------ journal

void CaseSession::UseJournal(const QString& folder, const std::string& whyNone)
{
    m_journal.reset();
    m_journalNotice.clear();
    auto keeper = std::make_unique<JournalKeeper>(folder);
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
    const JournalReading reading =
        stored.Text ? ParseJournal(*stored.Text, m_clocks.UtcMs()) : JournalReading{std::nullopt, stored.Problem};
    if (!reading.Journal) {
        // Kept for inspection, never offered: a damaged or stale journal
        // would put wrong numbers on the screen.
        SetAside(m_journal->Folder());
        return {ResumeOffer::Kind::Notice,
                QStringLiteral("A saved case was not offered for resuming: %1. It is kept as %2.")
                    .arg(Q(reading.Problem),
                         QDir::toNativeSeparators(
                             QDir(m_journal->Folder()).filePath(QLatin1String(JournalSetAsideName))))};
    }
    m_offered = reading.Journal;
    const CaseJournal& j = *m_offered;
    return {ResumeOffer::Kind::Question,
            QStringLiteral("A case was running when Sedalyn stopped (%1, %2 y, %3 m, %4 kg; started %5, last "
                           "saved %6). Resume it?")
                .arg(Q(j.Gender), casetext::GeneralText(j.Age, m_locale), casetext::GeneralText(j.Height, m_locale),
                     casetext::GeneralText(j.Weight, m_locale), WallClockText(j.StartUtcMs),
                     WallClockText(j.SavedUtcMs))};
}

void CaseSession::DeclineResume()
{
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
    m_rateDeclined = false;
    outcome.RateLine = RateLine(m_rate);
    outcome.BoxText = m_rateText;

    // The models where the journal left them; the steps since then are taken
    // by the next tick, at the rate that was in use.
    m_engine.JamesModel.State = j.Models[0];
    m_engine.HumeModel.State = j.Models[1];
    m_engine.HanModel.State = j.Models[2];
    m_timeline.Restore(j.StepsTaken, j.RateInUse, j.Pending);
    m_history.Clear();
    m_history.CarryDose(j.GivenRateMgPerKg, j.GivenBolusMg);

    // The case's clocks count from the original Start.
    const std::int64_t now = m_clocks.UtcMs();
    const std::int64_t sinceStart = now - j.StartUtcMs;
    m_startUtcMs = j.StartUtcMs;
    m_clockOrigin = m_clocks.MonotonicMs() - sinceStart;
    m_startTime = m_clocks.LocalNow() - static_cast<double>(sinceStart) / MillisecondsPerDay;

    if (!j.DataFilePath.empty())
        outcome.FileNotice = m_file.Reopen(QString::fromStdString(j.DataFilePath), j.DataFileBytes, j.LogTickCount);

    m_stage = CaseStage::Running;
    outcome.Notice = QStringLiteral("Resumed at %1 after a gap of %2; the rate in use during the gap is "
                                    "assumed to be %3 mg/kg/hr.")
                         .arg(WallClockText(now), Q(SpokenDurationText(now - j.SavedUtcMs)),
                              casetext::GeneralText(j.ConfirmedRate, m_locale));
    return outcome;
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
        j.LogTickCount = m_file.StepsSinceRow();
    }
    j.GivenRateMgPerKg = m_history.RateMgPerKg();
    j.GivenBolusMg = m_history.BolusMg();
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
