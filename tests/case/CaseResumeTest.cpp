// A case carried on after the program died: the journal written as the case
// runs, the offer at the next start, and what a resumed case computes and
// writes; journals that must not be resumed are set aside.

#include "JournalFile.h"
#include "QtTestMain.h"
#include "SessionFixture.h"

#include <QDir>
#include <QTest>

using namespace casesupport;
using sedalyn::ResumeOffer;

namespace {

bool Exists(const QTemporaryDir& folder, const char* name)
{
    return QFile::exists(folder.filePath(QLatin1String(name)));
}

} // namespace

class CaseResumeTest : public QObject {
    Q_OBJECT

private slots:
    // Nine steps at 10 with a bolus in the ninth, 20 confirmed, then the
    // program dies; started again a minute later, the case goes on from the
    // journal as if nothing had happened.
    void resumedCaseGoesOnAsIfUninterrupted()
    {
        QTemporaryDir journal;
        QTemporaryDir files;
        const QString csv = files.filePath(QStringLiteral("case.csv"));
        double died = 0;
        {
            Session c;
            c.s.UseJournal(journal.path());
            c.StartExample(QStringLiteral("10"), csv);
            c.Tick(8);
            c.s.GiveBolus(QStringLiteral("140"));
            c.Tick();
            c.Rate(QStringLiteral("20"));
            c.s.FlushJournal();
            died = c.clock.seconds;
            // A row the kill cut short: it goes, and nothing else does.
            QFile torn(csv);
            QVERIFY(torn.open(QIODevice::Append));
            torn.write("12:00:50, 20, 3.01, 0.");
        } // gone without its close path, as a killed program goes
        QVERIFY(Exists(journal, JournalFileName));

        Session c;
        c.clock.seconds = died + 62;
        c.s.UseJournal(journal.path());
        const ResumeOffer offer = c.s.OfferResume();
        QCOMPARE(offer.What, ResumeOffer::Kind::Question);
        QCOMPARE(offer.Text, QStringLiteral("A case was running when Sedalyn stopped (Male, 53 y, 1.77 m, 77 kg; "
                                            "started 12:00, last saved 12:00). Its data file is %1. Resume it?")
                                 .arg(csv));
        const sedalyn::ResumeOutcome resumed = c.s.Resume();
        c.last = c.s.Tick(); // the window makes up the steps missed at once

        // 107 s after Start: 21 steps, 20 from the tenth on.
        std::vector<Step> steps(8, {10});
        steps.push_back({10, 140});
        steps.insert(steps.end(), 12, {20});
        QVERIFY(c.s.Running());
        QCOMPARE(c.s.Timeline().StepsTaken(), 21);
        QCOMPARE(c.PanelWithPoint(), Reference(steps));
        QCOMPARE(resumed.Gender, QStringLiteral("Male"));
        QCOMPARE((QStringList{resumed.Patient.Age, resumed.Patient.Height, resumed.Patient.Weight}),
                 (QStringList{"53", "1.77", "77"}));
        QCOMPARE(resumed.BoxText, QStringLiteral("20"));
        QCOMPARE(resumed.RateLine, RateLine(QStringLiteral("20")));
        QCOMPARE(resumed.FileNotice, QString());
        QVERIFY2(resumed.Notice.endsWith(QStringLiteral(
                     "after a gap of 1 min 2 s; the rate in use during the gap is assumed to be 20 mg/kg/hr.")),
                 qPrintable(resumed.Notice));
        QCOMPARE(c.s.DoseLine(), QStringLiteral("Given: 175 mg (2.3 mg/kg) in 00:01:45"));
        // The history from Start, as if the case had never stopped.
        QCOMPARE(c.s.History().Size(), 21u);
        QCOMPARE(c.s.History()[8].BolusMg, 140.0);
        QCOMPARE(resumed.LastBolusLine, QStringLiteral("Last bolus: 140 mg (1.8 mg/kg) at 00:00:40"));

        // One header; every row once, the torn one gone: the start, the rows
        // of steps 6, 12 and 18, the bolus, the rate confirmed before the
        // program died, and the resume.
        const QList<QByteArray> lines = FileLines(csv);
        QCOMPARE(lines.count("Gender,Male"), 1);
        QVERIFY(!ReadFile(csv).contains("12:00:50, 20, 3.01, 0.1"));
        QStringList fields;
        for (const QByteArray& line : lines.mid(11))
            fields << QString::fromUtf8(line.split(',').value(1)).trimmed();
        QCOMPARE(fields, (QStringList{"start 2025-12-09 12:00:00 rate 10 mg/kg/hr", "eleveld no opioid", "10", "bolus 140 mg",
                                      "rate 20 mg/kg/hr", "20", "20", "resumed after 00:01:02 gap; rate 20 mg/kg/hr assumed"}));
        for (const int row : {2, 5, 6}) {
            const std::vector<Step> upTo(steps.begin(), steps.begin() + (row == 2 ? 6 : row == 5 ? 12 : 18));
            const QByteArray line = lines[11 + row];
            QVERIFY2(line.endsWith(Reference(upTo).join(QStringLiteral(", ")).toLatin1()), line.constData());
        }

        QCOMPARE(c.s.Abort().CloseError, 0);
        QVERIFY(!Exists(journal, JournalFileName));
        c.s.UseJournal(QString(), "gone"); // the program ends and lets go of the journal
        QCOMPARE(c.s.OfferResume().What, ResumeOffer::Kind::Notice);
        Session next;
        next.s.UseJournal(journal.path());
        QCOMPARE(next.s.OfferResume().What, ResumeOffer::Kind::Nothing);
    }

    // The journal lags the file (its last writes lost, say to a full disk):
    // the rows past it stay. Where the file's event rows give every input
    // of the gap, the case goes on as if it had never stopped; where one is
    // missing, it says the file's rows came from inputs it cannot see.
    void rowsPastTheJournalStay_data()
    {
        QTest::addColumn<bool>("rateRowLost");
        QTest::newRow("inputs in the file") << false;
        QTest::newRow("an input missing") << true;
    }
    void rowsPastTheJournalStay()
    {
        QFETCH(bool, rateRowLost);
        QTemporaryDir journal;
        QTemporaryDir files;
        const QString csv = files.filePath(QStringLiteral("case.csv"));
        const QString journalPath = journal.filePath(QLatin1String(JournalFileName));
        QByteArray stale;
        double died = 0;
        {
            Session c;
            c.s.UseJournal(journal.path());
            c.StartExample(QStringLiteral("10"), csv);
            c.Tick(7);
            c.s.FlushJournal();
            stale = ReadFile(journalPath); // the last journal that reached the disk
            c.Rate(QStringLiteral("20"));
            c.Tick(10);
            c.s.GiveBolus(QStringLiteral("50"));
            c.Tick(2);
            c.s.FlushJournal();
            died = c.clock.seconds;
        }
        QFile back(journalPath);
        QVERIFY(back.open(QIODevice::WriteOnly) && back.write(stale) == stale.size());
        back.close();
        if (rateRowLost) {
            QByteArray file = ReadFile(csv);
            file.remove(file.indexOf("12:00:35, rate 20"), file.indexOf("\r\n", file.indexOf("12:00:35, rate 20")) + 2
                                                               - file.indexOf("12:00:35, rate 20"));
            QFile cut(csv);
            QVERIFY(cut.open(QIODevice::WriteOnly) && cut.write(file) == file.size());
        }
        const QByteArray written = ReadFile(csv);

        Session c;
        c.clock.seconds = died + 30;
        c.s.UseJournal(journal.path());
        QCOMPARE(c.s.OfferResume().What, ResumeOffer::Kind::Question);
        const sedalyn::ResumeOutcome resumed = c.s.Resume();
        QVERIFY(ReadFile(csv).startsWith(written)); // nothing cut, nothing written twice
        std::vector<Step> steps(7, {10});
        steps.insert(steps.end(), 10, {20});
        steps.push_back({20, 50});
        steps.insert(steps.end(), 7, {20});
        QCOMPARE(c.s.Timeline().StepsTaken(), 25);
        if (rateRowLost) {
            QVERIFY2(resumed.FileNotice.contains(QStringLiteral("inputs this resumed case cannot see")),
                     qPrintable(resumed.FileNotice));
            return;
        }
        QCOMPARE(resumed.FileNotice, QString());
        QCOMPARE(c.s.InfusionRate(), 20.0);
        QCOMPARE(Session::PanelOf(c.s), Reference(steps));
        const QList<QByteArray> rows = FileLines(csv).mid(13);
        QCOMPARE(rows.size(), 7); // rows 6, the rate, 12, 18, the bolus, 24, then the resume: none twice
        QVERIFY(rows[6].contains(", resumed after "));
    }

    // A journal that cannot be written is said once, and a line stays while
    // it lasts; the case goes on.
    void journalThatCannotBeWrittenIsSaid()
    {
        QTemporaryDir journal;
        Session c;
        c.s.UseJournal(journal.path());
        QVERIFY(QDir(journal.path()).mkdir(QLatin1String(JournalTempFileName))); // in the way of every write
        c.StartExample(QStringLiteral("10"));
        c.s.FlushJournal();
        const QString notice = c.Tick().JournalNotice;
        QVERIFY2(notice.startsWith(QStringLiteral("Crash recovery off: ")), qPrintable(notice));
        QVERIFY(c.s.StatusLines().startsWith(QStringLiteral("Crash recovery off: ")));
        c.s.FlushJournal();
        QCOMPARE(c.Tick().JournalNotice, QString()); // once
        QVERIFY(QDir(journal.path()).rmdir(QLatin1String(JournalTempFileName)));
        c.Tick();
        c.s.FlushJournal();
        c.Tick();
        QCOMPARE(c.s.StatusLines(), QString());
        QVERIFY(c.s.Running());
    }

    // Journals that must not be resumed are never offered: each is set aside
    // for inspection with one notice saying why, or why it could not be.
    void journalsThatAreNotOffered_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<bool>("blocked"); // a folder stands where it would be set aside
        QTest::newRow("empty") << QByteArray() << "the journal is empty" << false;
        QTest::newRow("not a journal") << QByteArray("hello\n") << "it is not a Sedalyn case journal" << false;
        QTest::newRow("13 h old") << QByteArray("13h") << "it is older than 12 hours" << false;
        QTest::newRow("cannot be set aside") << QByteArray("hello\n") << "it is not a Sedalyn case journal" << true;
    }
    void journalsThatAreNotOffered()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, reason);
        QFETCH(bool, blocked);
        QTemporaryDir journal;
        if (blocked)
            QVERIFY(QDir(journal.path()).mkpath(QStringLiteral("%1/kept").arg(QLatin1String(JournalSetAsideName))));
        if (text == "13h") {
            Session old;
            old.s.UseJournal(journal.path());
            old.StartExample(QStringLiteral("10"));
            old.Tick();
            old.s.FlushJournal();
        } else {
            QFile file(journal.filePath(QLatin1String(JournalFileName)));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(text);
        }
        Session c;
        c.clock.seconds = 13 * 3600;
        c.s.UseJournal(journal.path());
        const ResumeOffer offer = c.s.OfferResume();
        QCOMPARE(offer.What, ResumeOffer::Kind::Notice);
        const QString outcome = blocked ? QStringLiteral("It could not be set aside: cannot rename ")
                                        : QStringLiteral("It is kept as ");
        QVERIFY2(offer.Text.startsWith(
                     QStringLiteral("A saved case was not offered for resuming: %1. %2").arg(reason, outcome)),
                 qPrintable(offer.Text));
        QCOMPARE(Exists(journal, JournalFileName), blocked);
        QVERIFY(Exists(journal, JournalSetAsideName));
        QVERIFY(!c.s.Running());
    }

    // A second Sedalyn keeps no journal of its own and leaves the first
    // one's alone. No to the offer: the journal goes, and the data file it
    // names loses the row a kill tore, and nothing else.
    void secondProgramThenNo()
    {
        QTemporaryDir journal;
        QTemporaryDir files;
        const QString csv = files.filePath(QStringLiteral("case.csv"));
        QByteArray whole;
        {
            Session first;
            first.s.UseJournal(journal.path());
            first.StartExample(QStringLiteral("10"), csv);
            first.Tick(6);
            first.s.FlushJournal();
            whole = ReadFile(csv);
            QFile torn(csv);
            QVERIFY(torn.open(QIODevice::Append) && torn.write(QByteArray(5, '\0') + "0, 10, 0.3") > 0);

            Session second;
            second.s.UseJournal(journal.path());
            const ResumeOffer offer = second.s.OfferResume();
            QCOMPARE(offer.What, ResumeOffer::Kind::Notice);
            QCOMPARE(offer.Text, QStringLiteral("Another Sedalyn is running on this computer: this one keeps "
                                                "no journal, so its case cannot be resumed after a crash."));
            QVERIFY(Exists(journal, JournalFileName));
        }
        Session declined;
        declined.clock.seconds = 60;
        declined.s.UseJournal(journal.path());
        QCOMPARE(declined.s.OfferResume().What, ResumeOffer::Kind::Question);
        declined.s.DeclineResume();
        QVERIFY(!declined.s.Running());
        QVERIFY(!Exists(journal, JournalFileName));
        QCOMPARE(ReadFile(csv), whole);
    }
};

SEDALYN_TEST_CLASS(CaseResumeTest)
#include "CaseResumeTest.moc"
