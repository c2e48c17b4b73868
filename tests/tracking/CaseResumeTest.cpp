// A case carried on after the program died: the journal written as the case
// runs, the question at the next start, and what a resumed case shows,
// computes and writes; journals that must not be resumed are set aside.

#include "CaseFixture.h"
#include "CasePanel.h"
#include "JournalFile.h"
#include "PharmacokineticEngine.h"
#include "QtTestMain.h"

#include <QDir>
#include <QTest>

#include <optional>

using namespace casefixture;

namespace {

struct Step {
    double rate;
    double bolus;
};

// The panel's six texts and the data row's six fields of an engine of its
// own after the given steps.
QStringList Reference(const std::vector<Step>& steps)
{
    const sedalyn::Patient patient{53, 1.77, 77, [] { return std::string("Male"); }};
    sedalyn::PharmacokineticEngine engine;
    for (const Step& step : steps)
        engine.AdvanceTick(patient, step.rate, step.bolus);
    QStringList texts;
    for (const sedalyn::ModelSlot* slot : {&engine.JamesModel, &engine.HumeModel, &engine.HanModel})
        for (const auto element : {sedalyn::StatePlasma, sedalyn::StateEffectSite})
            texts << QString::fromStdString(sedalyn::FormatFixed(slot->State[element], 6, 2, {}));
    return texts;
}

bool Exists(const QTemporaryDir& folder, const char* name)
{
    return QFile::exists(folder.filePath(QLatin1String(name)));
}

} // namespace

class CaseResumeTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { VERIFY_NO_STRAY_MODALS(); }

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
            Case c;
            c.form.UseJournal(journal.path());
            c.StartExample(QStringLiteral("10"), csv);
            c.Tick(8);
            Case::Type(c.form.Side->BolusEdit, QStringLiteral("140"));
            QTest::keyClick(c.form.Side->BolusEdit, Qt::Key_Return);
            c.Tick();
            Case::Type(c.form.InfRateEdit, QStringLiteral("20"));
            c.form.Changebutton->click();
            c.form.FlushJournal();
            died = c.seconds;
            // A row that reached the file after the journal's last state did:
            // the resumed case writes it again, so it must not stay.
            QFile stray(csv);
            QVERIFY(stray.open(QIODevice::Append));
            stray.write("12:00:50, 20, stray\r\n");
        } // gone without its close path, as a killed program goes
        QVERIFY(Exists(journal, JournalFileName));

        Case c;
        c.seconds = died + 62;
        c.form.UseJournal(journal.path());
        c.driver.AnswerBox(QMessageBox::Yes);
        c.form.OfferResume();
        c.form.Timer3->SetInterval(TThreadedTimer::MaxInterval);
        QCOMPARE(c.driver.Pending(), 0u);
        QVERIFY(c.driver.SeenTexts().constFirst().startsWith(
            QStringLiteral("A case was running when Sedalyn stopped (Male, 53 y, 1.77 m, 77 kg; started ")));
        QCOMPARE(c.driver.SeenBoxes()[0].buttons, QMessageBox::Yes | QMessageBox::No);

        // 107 s after Start: 21 steps, 20 from the tenth on.
        std::vector<Step> steps(8, {10, 0});
        steps.push_back({10, 140});
        steps.insert(steps.end(), 12, {20, 0});
        QVERIFY(c.form.CaseRunning());
        QCOMPARE(c.form.Timeline.StepsTaken(), 21);
        QCOMPARE(c.Concentrations(), Reference(steps));
        QCOMPARE(c.PatientTexts().mid(0, 3), (QStringList{"53", "1.77", "77"}));
        QVERIFY(!c.form.ConfirmPatient->isEnabled());
        QCOMPARE(c.form.InfRateEdit->text(), QStringLiteral("20"));
        QVERIFY(c.form.Side->NoticeLabel->text().contains(
            QStringLiteral("after a gap of 1 min 2 s; the rate in use during the gap is assumed to be 20 mg/kg/hr.")));
        QCOMPARE(c.form.Side->DoseLabel->text(), QStringLiteral("Given: 175 mg (2.3 mg/kg) in 1:45"));

        // One header; the rows of steps 6, 12 and 18, none twice and none lost.
        const QList<QByteArray> lines = FileLines(csv);
        QCOMPARE(lines.count("Gender,Male"), 1);
        QVERIFY(!lines.contains("12:00:50, 20, stray"));
        QCOMPARE(lines.size(), 11 + 3 + 1); // and the bolus row
        for (int row = 0; row < 3; ++row) {
            const std::vector<Step> upTo(steps.begin(), steps.begin() + 6 * (row + 1));
            QVERIFY2(lines[11 + row + (row > 0 ? 1 : 0)].endsWith(Reference(upTo).join(QStringLiteral(", ")).toLatin1()),
                     lines[11 + row].constData());
        }

        c.Abort();
        QVERIFY(!Exists(journal, JournalFileName));
        c.form.UseJournal(QString(), "gone"); // the program ends and lets go of the journal
        c.driver.AnswerBox(QMessageBox::Ok);
        c.form.OfferResume();
        Case next;
        next.form.UseJournal(journal.path());
        next.form.OfferResume();
        QVERIFY(next.driver.SeenBoxes().empty());
    }

    // Journals that must not be resumed are never offered: each is set aside
    // for inspection with one notice saying why.
    void journalsThatAreNotOffered_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("reason");
        QTest::newRow("empty") << QByteArray() << "the journal is empty";
        QTest::newRow("not a journal") << QByteArray("hello\n") << "it is not a Sedalyn case journal";
        QTest::newRow("13 h old") << QByteArray("13h") << "it is older than 12 hours";
    }
    void journalsThatAreNotOffered()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, reason);
        QTemporaryDir journal;
        if (text == "13h") {
            Case old;
            old.form.UseJournal(journal.path());
            old.StartExample(QStringLiteral("10"));
            old.Tick();
            old.form.FlushJournal();
        } else {
            QFile file(journal.filePath(QLatin1String(JournalFileName)));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(text);
        }
        Case c;
        c.seconds = 13 * 3600;
        c.form.UseJournal(journal.path());
        c.driver.AnswerBox(QMessageBox::Ok);
        c.form.OfferResume();
        QCOMPARE(c.driver.Pending(), 0u);
        QCOMPARE(c.driver.SeenTexts().size(), 1);
        QVERIFY2(c.driver.SeenTexts()[0].startsWith(
                     QStringLiteral("A saved case was not offered for resuming: %1. It is kept as ").arg(reason)),
                 qPrintable(c.driver.SeenTexts()[0]));
        QVERIFY(!Exists(journal, JournalFileName));
        QVERIFY(Exists(journal, JournalSetAsideName));
        QVERIFY(!c.form.CaseRunning());
    }

    // A second Sedalyn keeps no journal of its own and leaves the first
    // one's alone. No at the question: the journal goes, and the program
    // starts as usual.
    void secondProgramThenNo()
    {
        QTemporaryDir journal;
        {
            Case first;
            first.form.UseJournal(journal.path());
            first.StartExample(QStringLiteral("10"));
            first.Tick();
            first.form.FlushJournal();

            Case second;
            second.form.UseJournal(journal.path());
            second.driver.AnswerBox(QMessageBox::Ok);
            second.form.OfferResume();
            QCOMPARE(second.driver.SeenTexts(),
                     QStringList{QStringLiteral("Another Sedalyn is running on this computer: this one keeps "
                                                "no journal, so its case cannot be resumed after a crash.")});
            QVERIFY(Exists(journal, JournalFileName));
        }
        Case declined;
        declined.seconds = 60;
        declined.form.UseJournal(journal.path());
        declined.driver.AnswerBoxByKey(Qt::Key_Escape);
        declined.form.OfferResume();
        QCOMPARE(declined.driver.Pending(), 0u);
        QVERIFY(!declined.form.CaseRunning());
        QVERIFY(!Exists(journal, JournalFileName));
    }
};

SEDALYN_TEST_CLASS(CaseResumeTest)
#include "CaseResumeTest.moc"
