// The journal of the running case and resuming a case after a crash.

#include "CaseJournal.h"
#include "CasePanel.h"
#include "CaseText.h"
#include "JournalFile.h"
#include "MessageBoxes.h"
#include "ThdTimer.h"
#include "Unit1.h"

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <utility>

using namespace sedalyn;
using casetext::Q;

namespace {

// "2 min 10 s", "1 h 5 min", "40 s".
QString GapText(std::int64_t ms)
{
    const std::int64_t seconds = std::max<std::int64_t>(0, ms / 1000);
    if (seconds >= 3600)
        return QStringLiteral("%1 h %2 min").arg(seconds / 3600).arg(seconds / 60 % 60);
    if (seconds >= 60)
        return QStringLiteral("%1 min %2 s").arg(seconds / 60).arg(seconds % 60);
    return QStringLiteral("%1 s").arg(seconds);
}

} // namespace

void TForm1::UseJournal(const QString& folder, const std::string& whyNone)
{
    m_journal.reset();
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

void TForm1::OfferResume()
{
    if (!m_journalNotice.isEmpty()) {
        NoticeBox(std::exchange(m_journalNotice, QString()), windowTitle(), MB_OK | MB_ICONINFORMATION);
        return;
    }
    if (!m_journal || CaseRunning())
        return;
    const StoredJournal stored = ReadJournal(m_journal->Folder());
    if (!stored.Text && stored.Problem.empty())
        return;
    const JournalReading reading =
        stored.Text ? ParseJournal(*stored.Text, UtcMs()) : JournalReading{std::nullopt, stored.Problem};
    if (!reading.Journal) {
        // Kept for inspection, never offered: a damaged or stale journal
        // would put wrong numbers on the screen.
        SetAside(m_journal->Folder());
        NoticeBox(QStringLiteral("A saved case was not offered for resuming: %1. It is kept as %2.")
                      .arg(Q(reading.Problem),
                           QDir::toNativeSeparators(QDir(m_journal->Folder()).filePath(QLatin1String(JournalSetAsideName)))),
                  windowTitle(), MB_OK | MB_ICONINFORMATION);
        return;
    }
    const CaseJournal& j = *reading.Journal;
    const QString question =
        QStringLiteral("A case was running when Sedalyn stopped (%1, %2 y, %3 m, %4 kg; started %5, last "
                       "saved %6). Resume it?")
            .arg(Q(j.Gender), GeneralText(j.Age, 15), GeneralText(j.Height, 15), GeneralText(j.Weight, 15),
                 ClockText(j.StartUtcMs), ClockText(j.SavedUtcMs));
    if (NoticeBox(question, windowTitle(), MB_YESNO | MB_ICONQUESTION) == IDYES)
        ResumeCase(j);
    else
        m_journal->Writer().Remove();
}

void TForm1::ResumeCase(const CaseJournal& j)
{
    // The patient, confirmed and locked as a confirmation leaves it.
    Genderbutton->setText(Q(j.Gender));
    Patient.PatientAge = j.Age;
    Patient.PatientHeight = j.Height;
    Patient.PatientWeight = j.Weight;
    FreezePatient();

    // The rate in use, and the box as it stood.
    InfusionRate = j.ConfirmedRate;
    InfRateEdit->setText(Q(j.RateText));
    Infratelabel->setText(RateLine(InfusionRate));
    if (InfRateEdit->text() == casetext::EditText(InfusionRate)) {
        PendingRateChange = 0;
        Changebutton->setEnabled(false);
    }

    // The models where the journal left them; the steps since then are
    // taken by the tick below, at the rate that was in use.
    Engine.JamesModel.State = j.Models[0];
    Engine.HumeModel.State = j.Models[1];
    Engine.HanModel.State = j.Models[2];
    Timeline.Restore(j.StepsTaken, j.RateInUse, j.Pending);
    History.Clear();
    History.CarryDose(j.GivenRateMgPerKg, j.GivenBolusMg);

    // The case's clocks count from the original Start.
    const std::int64_t now = UtcMs();
    const std::int64_t sinceStart = now - j.StartUtcMs;
    m_caseStartUtcMs = j.StartUtcMs;
    m_caseClockOrigin = MonotonicMs() - sinceStart;
    CaseStartTime = Now() - static_cast<double>(sinceStart) / MillisecondsPerDay;

    if (!j.DataFilePath.empty()) {
        const QString path = QString::fromStdString(j.DataFilePath);
        // Rows the journal does not know of were written after it: they are
        // cut off and written again, so none is lost and none doubled.
        DataFile.Reopen(path, j.DataFileBytes, m_locale.Codeset);
        if (DataFile.IsOpen() && DataFile.IOResult() == 0) {
            DataFileOpen = true;
            SaveDialog1->FileName = path;
            DataFileName->setText(path);
            DataFileOpenLabel->show();
            DataFileName->show();
            LogTickCount = static_cast<std::uint8_t>(j.LogTickCount);
        } else {
            DataFile.IOResult();
            NoticeBox(QStringLiteral("The data file %1 could not be reopened: the case goes on without one.")
                          .arg(QDir::toNativeSeparators(path)),
                      windowTitle(), MB_OK);
        }
    }

    Timer3->SetInterval(TickInterval);
    Timer3->SetEnabled(true);
    InfRateEdit->setFocus();
    StartButton->setEnabled(false);
    Timer2->start();
    Timer2Timer(Timer2);
    Side->CaseStarted();
    Side->ShowNotice(QStringLiteral("Resumed at %1 after a gap of %2; the rate in use during the gap is "
                                    "assumed to be %3 mg/kg/hr.")
                         .arg(ClockText(now), GapText(now - j.SavedUtcMs), GeneralText(j.ConfirmedRate, 15)));
    // The pump ran on: the steps missed are made up now, not in 5 seconds.
    Timer3Timer(Timer3);
}

void TForm1::JournalCase()
{
    if (!m_journal || !CaseRunning())
        return;
    CaseJournal j;
    j.Gender = Genderbutton->text().toStdString();
    j.Age = Patient.PatientAge;
    j.Height = Patient.PatientHeight;
    j.Weight = Patient.PatientWeight;
    j.StartUtcMs = m_caseStartUtcMs;
    j.SavedUtcMs = UtcMs();
    j.StepsTaken = Timeline.StepsTaken();
    j.Models = {Engine.JamesModel.State, Engine.HumeModel.State, Engine.HanModel.State};
    j.RateInUse = Timeline.RateInUse();
    j.ConfirmedRate = InfusionRate;
    j.RateText = InfRateEdit->text().toStdString();
    j.Pending = Timeline.Pending();
    if (DataFileOpen && DataFile.IsOpen()) {
        j.DataFilePath = DataFileName->text().toStdString();
        j.DataFileBytes = DataFile.Length();
        j.LogTickCount = LogTickCount;
    }
    j.GivenRateMgPerKg = History.RateMgPerKg();
    j.GivenBolusMg = History.BolusMg();
    m_journal->Writer().Submit(FormatJournal(j));
}

void TForm1::FlushJournal()
{
    if (m_journal)
        m_journal->Writer().Flush();
}

void TForm1::EndJournal()
{
    if (m_journal)
        m_journal->Writer().Remove();
}

QString TForm1::ClockText(std::int64_t utcMs) const
{
    // On the case's own wall clock, which tests replace.
    return Q(sedalyn::ClockText(Now() - static_cast<double>(UtcMs() - utcMs) / MillisecondsPerDay, m_locale));
}
