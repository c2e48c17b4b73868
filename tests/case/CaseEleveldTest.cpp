// The Eleveld model in a case: it takes every step's rate and bolus with the
// three, keeps its opioid setting, and a resumed case rebuilds both.

#include "JournalFile.h"
#include "QtTestMain.h"
#include "SessionFixture.h"

#include <QDir>
#include <QTest>

#include <cstdio>
#include <memory>

using namespace casesupport;

namespace {

// The journal as the version before wrote it: no opioid, no Eleveld.
void MakeSecondVersion(const QString& path)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QByteArray text = file.readAll().replace("journal 3\n", "journal 2\n");
    text.truncate(text.indexOf("Opioid "));
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    for (const char c : text)
        hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001b3ULL;
    char digits[17];
    std::snprintf(digits, sizeof digits, "%016llx", static_cast<unsigned long long>(hash));
    QVERIFY(file.resize(0) && file.seek(0));
    file.write(text + "Checksum " + digits + "\n");
}

} // namespace

class CaseEleveldTest : public QObject {
    Q_OBJECT

private slots:
    void followsTheCase_data()
    {
        QTest::addColumn<bool>("opioid");
        QTest::addColumn<int>("resumed"); // 0 runs on; else from a journal of that version
        QTest::addColumn<bool>("opioidAfter");
        QTest::newRow("no opioid") << false << 0 << false;
        QTest::newRow("with opioid") << true << 0 << true;
        QTest::newRow("resumed with opioid") << true << 3 << true;
        QTest::newRow("resumed from the version before") << true << 2 << false;
    }

    void followsTheCase()
    {
        QFETCH(bool, opioid);
        QFETCH(int, resumed);
        QFETCH(bool, opioidAfter);
        QTemporaryDir journal;
        auto c = std::make_unique<Session>();
        c->s.UseJournal(journal.path());
        c->Confirm(QStringLiteral("53"), QStringLiteral("1.77"), QStringLiteral("77"));
        QVERIFY(c->s.SetOpioid(opioid));
        c->s.RateTextChanged(QStringLiteral("10"));
        c->Start();
        QVERIFY(!c->s.SetOpioid(!opioid)); // fixed once the case runs
        c->Tick(8);
        c->s.GiveBolus(QStringLiteral("140"));
        c->Tick();
        c->Rate(QStringLiteral("20"));
        if (resumed) {
            c->s.FlushJournal();
            const double died = c->clock.seconds;
            c = std::make_unique<Session>(); // the program died
            if (resumed == 2)
                MakeSecondVersion(QDir(journal.path()).filePath(QLatin1String(JournalFileName)));
            c->clock.seconds = died + 62;
            c->s.UseJournal(journal.path());
            QCOMPARE(c->s.OfferResume().What, sedalyn::ResumeOffer::Kind::Question);
            c->s.Resume();
        }
        c->last = c->s.Tick(); // the steps of the gap are made up
        c->Tick(resumed ? 0 : 12);

        std::vector<Step> steps(8, {10});
        steps.push_back({10, 140});
        steps.insert(steps.end(), 12, {20});
        QCOMPARE(c->PanelWithPoint(), Reference(steps)); // the three as before
        sedalyn::EleveldModel expected;
        expected.Reset(opioidAfter);
        for (const Step& step : steps)
            expected.AdvanceTick(ExamplePatient(), step.rate, step.bolus);
        QCOMPARE(c->s.History().Size(), steps.size()); // the chart's series
        QVERIFY(std::abs(c->s.History().Last().Eleveld[1] - expected.EffectSite()) <= 0.005);
        QCOMPARE(c->s.Opioid(), opioidAfter);
        QCOMPARE(c->s.Eleveld().Slot.State, expected.Slot.State);
    }
};

SEDALYN_TEST_CLASS(CaseEleveldTest)

#include "CaseEleveldTest.moc"
