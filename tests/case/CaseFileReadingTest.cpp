// A data file read back: what a case wrote reads as that case, in either
// clock style and across a resume, and files of every shape read with their
// damaged lines named and skipped.

#include "CaseFileReading.h"
#include "CaseReplay.h"
#include "JournalFile.h"
#include "QtTestMain.h"
#include "SessionFixture.h"

#include <QTest>

#include <memory>

using namespace casesupport;
using sedalyn::CaseFileContent;
using sedalyn::CaseFileEvent;
using Kind = sedalyn::CaseFileEvent::Kind;

namespace {

const QByteArray Header = "\r\nGender,Female\r\nAge(y),60\r\nHeight(m),1.6\r\nWeight(kg),70\r\n"
                          "BMI (kg/m2),27.34\r\n\r\nTime,Infusion rate, James plasma, James effect, Hume plasma, "
                          "Hume effect, Han plasma, Han effect\r\n";

QList<Kind> KindsOf(const CaseFileContent& content)
{
    QList<Kind> kinds;
    for (const CaseFileEvent& e : content.Events)
        kinds << e.What;
    return kinds;
}

} // namespace

class CaseFileReadingTest : public QObject {
    Q_OBJECT

private slots:
    void readsBackWhatTheCaseWrote_data()
    {
        QTest::addColumn<bool>("twelveHour");
        QTest::addColumn<bool>("resumed");
        QTest::newRow("24-hour clock") << false << false;
        QTest::newRow("12-hour clock") << true << false;
        QTest::newRow("resumed after a crash") << false << true;
    }
    void readsBackWhatTheCaseWrote()
    {
        QFETCH(bool, twelveHour);
        QFETCH(bool, resumed);
        const LocaleSettings locale = twelveHour ? NoLocale() : TwentyFourHour();
        QTemporaryDir journal;
        QTemporaryDir files;
        const QString csv = files.filePath(QStringLiteral("case.csv"));
        auto c = std::make_unique<Session>(locale);
        c->s.UseJournal(journal.path());
        c->StartExample(QStringLiteral("6"), csv);
        c->Tick(7);
        c->s.GiveBolus(QStringLiteral("100"));
        c->Tick(30);
        c->Rate(QStringLiteral("12"));
        c->Tick(23);
        if (resumed) {
            c->s.FlushJournal();
            const double died = c->clock.seconds;
            c.reset(); // gone without its close path, as a killed program goes
            c = std::make_unique<Session>(locale);
            c->clock.seconds = died + 95;
            c->s.UseJournal(journal.path());
            QCOMPARE(c->s.OfferResume().What, sedalyn::ResumeOffer::Kind::Question);
            c->s.Resume();
            c->Tick(10);
        }
        c->s.Abort();

        const sedalyn::CaseFileReading reading = sedalyn::ReadCaseFile(csv, locale);
        QVERIFY2(reading.Content, qPrintable(reading.Error));
        const CaseFileContent& file = *reading.Content;
        QCOMPARE(file.Unread, QStringList());
        QCOMPARE(file.Patient.Weight, std::optional<double>(77));
        QVERIFY(file.RatesKnown());
        QList<Kind> kinds{Kind::Start, Kind::Opioid, Kind::Bolus, Kind::Rate, Kind::End};
        if (resumed)
            kinds.insert(4, Kind::Resumed);
        QCOMPARE(KindsOf(file), kinds);

        // Every row where the case's own history has it, on the 30-second grid.
        const sedalyn::CaseHistory& history = c->s.History();
        QCOMPARE(file.Rows.size(), history.Size() / 6);
        for (std::size_t i = 0; i < file.Rows.size(); ++i) {
            const sedalyn::CaseRecord record = history[i * 6 + 5];
            QCOMPARE(file.Rows[i].Minutes, record.Minutes);
            for (std::size_t k = 0; k < sedalyn::ConcentrationCount; ++k)
                QVERIFY(std::abs(file.Rows[i].Concentrations[k] - record.Concentrations[k]) <= 0.005);
        }
        QCOMPARE(file.Events[2].Minutes, history[7].Minutes); // the bolus, taken by the eighth step
        QCOMPARE(file.BolusMg(), 100.0);
        QVERIFY(std::abs(*file.RateMg() + file.BolusMg() - history.GivenMg(77)) < 0.5);

        const sedalyn::EleveldReplay replay = sedalyn::ReplayEleveld(file);
        QVERIFY2(replay.Replayed(), qPrintable(replay.Missing));
        // To the last row, as the history holds it (to its 0.01).
        QCOMPARE(replay.Steps.size(), history.Size() / 6 * 6);
        for (std::size_t i = 0; i < replay.Steps.size(); ++i)
            for (std::size_t k = 0; k < 2; ++k)
                QVERIFY(std::abs(replay.Steps[i][k] - history[i].Eleveld[k]) <= 0.0051);

        sedalyn::CaseHistory drawn;
        sedalyn::FillHistory(file, drawn, &replay);
        QCOMPARE(drawn.Size(), file.Rows.size() + 1);
        QCOMPARE(drawn.Last().Rate, 12.0);
        QVERIFY(std::abs(drawn.Last().Eleveld[1] - replay.Steps.back()[1]) < 0.01);
    }

    // Old files, damaged and cut rows, clocks past midnight.
    void readsFilesOfEveryShape_data()
    {
        QTest::addColumn<QByteArray>("rows");
        QTest::addColumn<int>("rowCount");
        QTest::addColumn<int>("unread");
        QTest::addColumn<double>("lastMinutes");
        QTest::addColumn<bool>("ratesKnown");
        QTest::newRow("no rows") << QByteArray() << 0 << 0 << 0.0 << false;
        QTest::newRow("old, rate box text only")
            << QByteArray("9:00:30 am, 6, 1.00, 0.50, 1.00, 0.50, 1.00, 0.50\r\n"
                          "9:01:00 am, 6, 1.50, 0.80, 1.50, 0.80, 1.50, 0.80\r\n")
            << 2 << 0 << 1.0 << false;
        QTest::newRow("old, rate text with a comma")
            << QByteArray("10:00:30, 1,5, 1.00, 0.50, 1.00, 0.50, 1.00, 0.50\r\n") << 1 << 0 << 0.5 << false;
        QTest::newRow("past midnight")
            << QByteArray("23:59:30, start 2026-12-07 23:59:30 rate 6 mg/kg/hr, 0.00, 0.00, 0.00, 0.00, 0.00, 0.00\r\n"
                          "00:00:00, 6, 1.00, 0.50, 1.00, 0.50, 1.00, 0.50\r\n"
                          "12:00:30 am, 6, 1.00, 0.50, 1.00, 0.50, 1.00, 0.50\r\n")
            << 2 << 0 << 1.0 << true;
        QTest::newRow("plan rows are events")
            << QByteArray("10:00:00, start 2026-12-07 10:00:00 rate 0 mg/kg/hr, 0.00, 0.00, 0.00, 0.00, 0.00, 0.00\r\n"
                          "10:00:05,\"plan Ce 3 by 10:05 (James), steps 10 min\", 0.00, 0.00, 0.00, 0.00, 0.00, 0.00\r\n"
                          "10:00:30, 8, 1.00, 0.50, 1.00, 0.50, 1.00, 0.50\r\n"
                          "10:00:30, plan cleared, 1.00, 0.50, 1.00, 0.50, 1.00, 0.50\r\n")
            << 1 << 0 << 0.5 << true;
        QTest::newRow("damaged rows")
            << QByteArray("10:00:30, 6, 1.00, 0.50, 1.00, 0.50, 1.00\r\n"
                          "10:00:60, 6, 1.00, 0.50, 1.00, 0.50, 1.00, 0.50\r\n"
                          "10:01:00, 6, 1.00, 0.50, x, 0.50, 1.00, 0.50\r\n"
                          "10:01:30, bolus -5 mg, 1.00, 0.50, 1.00, 0.50, 1.00, 0.50\r\n"
                          "10:02:00, 6, 1.00, 0.50, 1.00, 0.50, 1.00, 0.50\r\n")
            << 1 << 4 << 0.5 << false;
        QTest::newRow("last row cut short")
            << QByteArray("10:00:30, 6, 1.00, 0.50, 1.00, 0.50, 1.00, 0.50\r\n10:01:00, 6, 1.50, 0.80, 1.50, 0.80, 1.50, 0.8")
            << 1 << 1 << 0.5 << false;
    }
    void readsFilesOfEveryShape()
    {
        QFETCH(QByteArray, rows);
        QFETCH(int, rowCount);
        QFETCH(int, unread);
        QFETCH(double, lastMinutes);
        QFETCH(bool, ratesKnown);
        const sedalyn::CaseFileReading reading = sedalyn::ParseCaseFile(Header + rows, TwentyFourHour());
        QVERIFY(reading.Content);
        QCOMPARE(static_cast<int>(reading.Content->Rows.size()), rowCount);
        QCOMPARE(reading.Content->Unread.size(), unread);
        QCOMPARE(reading.Content->RatesKnown(), ratesKnown);
        QCOMPARE(reading.Content->EndMinutes(), lastMinutes);
        QCOMPARE(reading.Content->Patient.Gender, QStringLiteral("Female"));
        // Without the rate in use the rate's share of the dose is not guessed.
        QCOMPARE(reading.Content->RateMg().has_value(), ratesKnown);
    }

    // The rate rows' whole seconds name a step give or take one, whatever
    // fraction of a second the case started at: the replay finds the very
    // steps the case took, so Eleveld comes out bit for bit as it ran.
    void replaysEleveldAsTheCaseRanIt_data()
    {
        QTest::addColumn<double>("start");          // clock seconds at Start
        QTest::addColumn<QList<double>>("changes"); // case seconds of the rate changes
        QTest::addColumn<bool>("opioid");
        QTest::newRow("on whole seconds and on steps") << 0.0 << QList<double>{12, 45, 95, 140} << false;
        QTest::newRow("started late in a second") << 0.93 << QList<double>{14.3, 40.6, 44.2, 90.01} << false;
        QTest::newRow("just after steps, with opioid") << 0.2 << QList<double>{15.1, 30.05, 60.9} << true;
        QTest::newRow("twice in a step") << 0.5 << QList<double>{21.0, 22.5, 23.7} << false;
    }
    void replaysEleveldAsTheCaseRanIt()
    {
        QFETCH(double, start);
        QFETCH(QList<double>, changes);
        QFETCH(bool, opioid);
        QTemporaryDir files;
        const QString csv = files.filePath(QStringLiteral("case.csv"));
        Session c;
        c.ConfirmAdult(csv);
        QVERIFY(c.s.SetOpioid(opioid));
        c.clock.seconds = start;
        c.s.RateTextChanged(QStringLiteral("8"));
        c.Start();
        int rate = 2;
        std::vector<sedalyn::EleveldConcentrations> ran;
        for (int step = 1; step <= 48; ++step) {
            for (const double at : changes)
                if (at > (step - 1) * 5.0 && at <= step * 5.0) {
                    c.clock.seconds = start + at;
                    c.Rate(QString::number(rate += 7));
                }
            if (step == 20)
                c.s.GiveBolus(QStringLiteral("40"));
            c.clock.seconds = start + step * 5.0;
            c.s.Tick();
            ran.push_back({c.s.Eleveld().Plasma(), c.s.Eleveld().EffectSite()});
        }
        c.s.Abort();

        const sedalyn::CaseFileReading reading = sedalyn::ReadCaseFile(csv, TwentyFourHour());
        QVERIFY2(reading.Content, qPrintable(reading.Error));
        const sedalyn::EleveldReplay replay = sedalyn::ReplayEleveld(*reading.Content);
        QVERIFY2(replay.Replayed(), qPrintable(replay.Missing));
        QVERIFY(replay.OpioidKnown);
        QCOMPARE(replay.Opioid, opioid);
        QCOMPARE(replay.Steps, ran);

        // A row that the inputs cannot give is no replay.
        QByteArray bytes = ReadFile(csv);
        const qsizetype row = bytes.indexOf("\r\n", bytes.lastIndexOf("bolus 40 mg")) + 2;
        qsizetype digit = row;
        for (int comma = 0; comma < 3; ++comma)
            digit = bytes.indexOf(',', digit + 1);
        --digit; // James plasma's last
        bytes[digit] = bytes[digit] == '9' ? '8' : '9';
        const sedalyn::EleveldReplay changed =
            sedalyn::ReplayEleveld(*sedalyn::ParseCaseFile(bytes, TwentyFourHour()).Content);
        QVERIFY(!changed.Replayed());
        QVERIFY2(changed.Missing.startsWith(QStringLiteral("replaying its rate and bolus rows does not give")),
                 qPrintable(changed.Missing));
    }

    void refusesWhatIsNoDataFile_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("error");
        QTest::newRow("missing") << QByteArray() << QStringLiteral("cannot open %1: No such file or directory");
        QTest::newRow("empty") << QByteArray("") << QStringLiteral("cannot read %1: it is empty");
        QTest::newRow("other text") << QByteArray("a,b\r\n1,2\r\n")
                                    << QStringLiteral("cannot read %1: it is not a data file of this program "
                                                      "(it has no patient header)");
    }
    void refusesWhatIsNoDataFile()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, error);
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("x.csv"));
        if (!bytes.isNull()) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(bytes);
        }
        const sedalyn::CaseFileReading reading = sedalyn::ReadCaseFile(path, TwentyFourHour());
        QVERIFY(!reading.Content);
        QCOMPARE(reading.Error, error.arg(path));
    }
};

SEDALYN_TEST_CLASS(CaseFileReadingTest)
#include "CaseFileReadingTest.moc"
