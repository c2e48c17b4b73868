// The Eleveld model in a running case: it takes every step's rate and bolus
// with the three, keeps its opioid setting, and a resumed case rebuilds it.

#include "JournalFile.h"
#include "QtTestMain.h"
#include "SessionFixture.h"

#include <QDir>
#include <QTest>

#include <cstdio>

using namespace casesupport;

namespace {

// Eleveld of its own after the given steps.
sedalyn::EleveldModel EleveldAfter(const std::vector<Step>& steps, bool opioid)
{
    sedalyn::EleveldModel model;
    model.Reset(opioid);
    for (const Step& step : steps)
        model.AdvanceTick(ExamplePatient(), step.rate, step.bolus);
    return model;
}

// Eight steps at 10, the ninth with a bolus of 140, then 20.
std::vector<Step> Induction(int stepsAt20)
{
    std::vector<Step> steps(8, {10});
    steps.push_back({10, 140});
    steps.insert(steps.end(), static_cast<std::size_t>(stepsAt20), {20});
    return steps;
}

// The journal as the version before wrote it: no opioid, no Eleveld.
void MakeSecondVersion(const QString& path)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QByteArray text = file.readAll();
    file.close();
    text.replace("Sedalyn case journal 3\n", "Sedalyn case journal 2\n");
    text.truncate(text.indexOf("Opioid "));
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    for (const char c : text)
        hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001b3ULL;
    char digits[17];
    std::snprintf(digits, sizeof digits, "%016llx", static_cast<unsigned long long>(hash));
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text + "Checksum " + digits + "\n");
}

} // namespace

class CaseEleveldTest : public QObject {
    Q_OBJECT

private slots:
    void advancesWithTheCase()
    {
        Session c;
        c.Confirm(QStringLiteral("53"), QStringLiteral("1.77"), QStringLiteral("77"));
        QVERIFY(c.s.SetOpioid(true));
        c.Start();
        QVERIFY(!c.s.SetOpioid(false)); // fixed once the case runs
        c.Rate(QStringLiteral("10"));
        c.Tick(8);
        c.s.GiveBolus(QStringLiteral("140"));
        c.Tick();
        c.Rate(QStringLiteral("20"));
        c.Tick(3);

        const std::vector<Step> steps = Induction(3);
        QCOMPARE(c.PanelWithPoint(), Reference(steps)); // the three as before
        QVERIFY(c.s.Opioid());
        QCOMPARE(c.s.Eleveld().Slot.State, EleveldAfter(steps, true).Slot.State);
        const sedalyn::EleveldModel withoutOpioid = EleveldAfter(steps, false);
        QVERIFY(c.s.Eleveld().Plasma() != withoutOpioid.Plasma());
        // The chart's series: every step, as the model stood after it.
        QCOMPARE(c.s.History().Size(), steps.size());
        for (std::size_t i = 0; i < steps.size(); ++i) {
            const sedalyn::EleveldModel at = EleveldAfter({steps.begin(), steps.begin() + static_cast<long>(i) + 1}, true);
            const sedalyn::CaseRecord record = c.s.History()[i];
            QVERIFY(std::abs(record.Eleveld[0] - at.Plasma()) <= 0.00500001);
            QVERIFY(std::abs(record.Eleveld[1] - at.EffectSite()) <= 0.00500001);
        }
        QVERIFY(c.s.WakeUpLine(1.2).contains(QStringLiteral("  Eleveld ")));
    }

    void warnsOutsideItsPopulation_data()
    {
        QTest::addColumn<QString>("age");
        QTest::addColumn<QString>("weight");
        QTest::addColumn<bool>("warned");
        QTest::newRow("adult") << QStringLiteral("53") << QStringLiteral("77") << false;
        QTest::newRow("older than 88") << QStringLiteral("90") << QStringLiteral("60") << true;
        QTest::newRow("heavier than 160 kg") << QStringLiteral("40") << QStringLiteral("170") << true;
    }

    void warnsOutsideItsPopulation()
    {
        QFETCH(QString, age);
        QFETCH(QString, weight);
        QFETCH(bool, warned);
        Session c;
        const sedalyn::PatientOutcome outcome = c.Confirm(age, QStringLiteral("1.77"), weight);
        QVERIFY2(outcome.Refusal.isEmpty(), qPrintable(outcome.Refusal));
        QCOMPARE(outcome.Shown.Warnings.join(' ').contains(QStringLiteral("Eleveld predictions are extrapolated")),
                 warned);
    }

    void resumeRebuildsIt_data()
    {
        QTest::addColumn<bool>("opioid");
        QTest::addColumn<bool>("secondVersion");
        QTest::addColumn<bool>("opioidResumed");
        QTest::newRow("without opioid") << false << false << false;
        QTest::newRow("with opioid") << true << false << true;
        QTest::newRow("journal of the version before") << true << true << false;
    }

    void resumeRebuildsIt()
    {
        QFETCH(bool, opioid);
        QFETCH(bool, secondVersion);
        QFETCH(bool, opioidResumed);
        QTemporaryDir journal;
        double died = 0;
        {
            Session c;
            c.s.UseJournal(journal.path());
            c.Confirm(QStringLiteral("53"), QStringLiteral("1.77"), QStringLiteral("77"));
            c.s.SetOpioid(opioid);
            c.s.RateTextChanged(QStringLiteral("10"));
            c.Start();
            c.Tick(8);
            c.s.GiveBolus(QStringLiteral("140"));
            c.Tick();
            c.Rate(QStringLiteral("20"));
            c.s.FlushJournal();
            died = c.clock.seconds;
        }
        if (secondVersion)
            MakeSecondVersion(QDir(journal.path()).filePath(QLatin1String(JournalFileName)));

        Session c;
        c.clock.seconds = died + 62;
        c.s.UseJournal(journal.path());
        QCOMPARE(c.s.OfferResume().What, sedalyn::ResumeOffer::Kind::Question);
        c.s.Resume();
        c.last = c.s.Tick();

        const std::vector<Step> steps = Induction(12);
        QCOMPARE(c.PanelWithPoint(), Reference(steps));
        QCOMPARE(c.s.Opioid(), opioidResumed);
        QCOMPARE(c.s.Eleveld().Opioid(), opioidResumed);
        QCOMPARE(c.s.Eleveld().Slot.State, EleveldAfter(steps, opioidResumed).Slot.State);
        QVERIFY(std::abs(c.s.History().Last().Eleveld[1] - c.s.Eleveld().EffectSite()) <= 0.00500001);
    }
};

SEDALYN_TEST_CLASS(CaseEleveldTest)

#include "CaseEleveldTest.moc"
