// The case's data file as the case writes it: the header, a row every sixth
// step and after each bolus, rows made up after a delay, and a file that
// cannot be kept.

#include "QtTestMain.h"
#include "SessionFixture.h"

#include <QTest>

using namespace casesupport;

namespace {

const QByteArray HeaderMale45 = "\r\n"
                                "Gender,Male\r\n"
                                "Age(y),45\r\n"
                                "Height(m),1.75\r\n"
                                "Weight(kg),80\r\n"
                                "BMI (kg/m2),26.12\r\n"
                                "LBM (James),61.25\r\n"
                                "LBM (Hume),60.02\r\n"
                                "LBM (Janmahasation/Han),60.18\r\n"
                                "\r\n"
                                "Time,Infusion rate, James plasma, James effect, Hume plasma, "
                                "Hume effect, Han plasma, Han effect\r\n";

QByteArray Row(const QString& time, const QString& rateField, const QStringList& panel)
{
    return (QStringList{time, rateField} + panel).join(QStringLiteral(", ")).toUtf8();
}

// The fields of a line as an RFC 4180 reader reads them; `skipBlanks` drops
// the blanks after a comma, as Python's csv does with skipinitialspace. A
// quote that does not open a field is text, as those readers take it.
QList<QByteArray> CsvFields(const QByteArray& line, bool skipBlanks)
{
    QList<QByteArray> fields(1);
    bool atStart = true;
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted) {
            if (c == '"' && line.mid(i + 1, 1) == "\"")
                fields.back() += line[++i];
            else if (c == '"')
                quoted = false;
            else
                fields.back() += c;
        } else if (c == ',') {
            fields.append(QByteArray());
            atStart = true;
        } else if (!(atStart && skipBlanks && c == ' ')) {
            quoted = atStart && c == '"';
            atStart = false;
            if (!quoted)
                fields.back() += c;
        }
    }
    return fields;
}

} // namespace

class CaseRecordTest : public QObject {
    Q_OBJECT

private slots:
    // The rows' times follow the locale; the numbers keep ".".
    void headerThenARowEverySixthStep_data()
    {
        QTest::addColumn<int>("locale");
        QTest::addColumn<double>("base");
        QTest::addColumn<QStringList>("times");
        const double fivePastNine = 46000.0 + (9 * 3600 + 5 * 60) / 86400.0;
        QTest::newRow("24-hour") << 0 << Noon << QStringList{"12:00:30", "12:01:00"};
        QTest::newRow("24-hour, leading zero") << 0 << fivePastNine << QStringList{"09:05:30", "09:06:00"};
        QTest::newRow("decimal comma") << 1 << Noon << QStringList{"12:00:30", "12:01:00"};
        QTest::newRow("no locale") << 2 << fivePastNine << QStringList{"9:05:30 am", "9:06:00 am"};
    }
    void headerThenARowEverySixthStep()
    {
        QFETCH(int, locale);
        QFETCH(double, base);
        QFETCH(QStringList, times);
        FakeDisk disk;
        Session c(locale == 0 ? TwentyFourHour() : locale == 1 ? DecimalComma() : NoLocale());
        c.s.DataFile().File().SetDiskCalls(disk.Calls());
        c.clock.base = base;
        const QString path = c.CsvPath();
        c.Confirm(QStringLiteral("45"), QStringLiteral("1.750"), QStringLiteral("+80"));
        QCOMPARE(c.s.OpenDataFile(path), QString());
        QVERIFY(c.s.DataFile().Recording());
        QCOMPARE(c.s.DataFile().Path(), path);
        QCOMPARE(ReadFile(path), HeaderMale45);

        c.s.RateTextChanged(QStringLiteral("6.5"));
        c.Start();
        c.Tick(5);
        QCOMPARE(ReadFile(path), HeaderMale45);
        c.Tick();
        const QByteArray first = Row(times[0], QStringLiteral("6.5"), c.PanelWithPoint());
        QCOMPARE(ReadFile(path), HeaderMale45 + first + "\r\n");
        c.Tick(5);
        QCOMPARE(ReadFile(path), HeaderMale45 + first + "\r\n");
        c.Tick();
        const QByteArray second = Row(times[1], QStringLiteral("6.5"), c.PanelWithPoint());
        QCOMPARE(ReadFile(path), HeaderMale45 + first + "\r\n" + second + "\r\n");
        QCOMPARE(second.split(',').size(), 8);
        // The header and each row in one write, each forced to disk.
        QCOMPARE(disk.made, (QStringList{"write", "sync", "write", "sync", "write", "sync"}));
    }

    // The rows record whatever stands in the rate box, on one line, in the
    // locale's codeset, as eight fields to CSV readers that skip the blanks
    // after a comma and to those that do not.
    void rowHoldsTheUnconfirmedRateText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("codeset");
        QTest::addColumn<QByteArray>("field");
        QTest::newRow("a number") << "12" << "UTF-8" << QByteArray("12");
        QTest::newRow("comma and quote") << "1,5\"x" << "UTF-8" << QByteArray("1,5\"x");
        QTest::newRow("line breaks, comma") << "1\r\n2\n,3" << "UTF-8" << QByteArray("1 2 ,3");
        QTest::newRow("accent, UTF-8") << "6 \u00e9" << "UTF-8" << QByteArray("6 \xc3\xa9");
        QTest::newRow("euro, Latin-9") << "\u20ac6" << "ISO-8859-15" << QByteArray("\xa4" "6");
    }
    void rowHoldsTheUnconfirmedRateText()
    {
        QFETCH(QString, text);
        QFETCH(QString, codeset);
        QFETCH(QByteArray, field);
        LocaleSettings locale = TwentyFourHour();
        locale.Codeset = codeset.toStdString();
        Session c(locale);
        const QString path = c.CsvPath();
        c.StartExample(QStringLiteral("10"), path);
        c.Tick(5);
        c.s.RateTextChanged(text);
        c.Tick();
        const QList<QByteArray> lines = FileLines(path);
        QCOMPARE(lines.size(), 12);
        for (const bool skipBlanks : {false, true}) {
            const QList<QByteArray> fields = CsvFields(lines[11], skipBlanks);
            QCOMPARE(fields.size(), 8);
            QCOMPARE(fields[1].trimmed(), field);
        }
        QCOMPARE(c.s.InfusionRate(), 10.0);
    }

    // The step that gives a bolus writes one more row after its own, and
    // leaves the every-sixth-step rows where they were.
    void bolusRow()
    {
        Session c;
        const QString path = c.CsvPath();
        c.StartExample(QStringLiteral("10"), path);
        c.Tick(5);
        c.s.GiveBolus(QStringLiteral("140"));
        c.Tick();
        const QByteArray numbers = c.PanelWithPoint().join(QStringLiteral(", ")).toLatin1();
        QCOMPARE(FileLines(path).mid(11), (QList<QByteArray>{"12:00:30, 10, " + numbers, "12:00:30, bolus 140 mg, " + numbers}));
        c.Tick(6);
        QCOMPARE(FileLines(path).size(), 14);
        QVERIFY(FileLines(path).constLast().startsWith("12:01:00, 10, "));
    }

    // Rows made up after a delay carry the times they stand for, 30 s apart.
    void rowsMadeUpAfterADelay()
    {
        Session c;
        const QString path = c.CsvPath();
        c.StartExample(QStringLiteral("10"), path);
        c.s.RateTextChanged(QStringLiteral("20"));
        c.Tick(2);
        c.clock.seconds += 31;
        c.s.ConfirmRate(); // at 41 s
        c.Tick();          // 46 s: steps 3 to 9
        c.Tick(3);         // 61 s: step 12
        const QList<QByteArray> lines = FileLines(path);
        QCOMPARE(lines.size(), 13);
        QCOMPARE(lines[11], Row(QStringLiteral("12:00:30"), QStringLiteral("20"), Reference(std::vector<double>(6, 10))));
        // The tick came a second after step 12 fell due.
        QCOMPARE(lines[12], Row(QStringLiteral("12:01:00"), QStringLiteral("20"), c.PanelWithPoint()));
    }

    // A row the disk refuses is said once and leaves nothing behind; the next
    // one, once there is room, starts its own line. A file deleted from its
    // folder, or with it, is said once and left.
    void rowThatCannotBeKeptIsSaid_data()
    {
        QTest::addColumn<qint64>("room");
        QTest::addColumn<int>("syncError");
        QTest::addColumn<QString>("removed"); // "file", "folder" or nothing
        QTest::newRow("disk full") << qint64(0) << 0 << "";
        QTest::newRow("disk full halfway") << qint64(20) << 0 << "";
        QTest::newRow("not forced to disk") << qint64(-1) << EIO << "";
        QTest::newRow("file deleted") << qint64(-1) << 0 << "file";
        QTest::newRow("folder deleted") << qint64(-1) << 0 << "folder";
    }
    void rowThatCannotBeKeptIsSaid()
    {
        QFETCH(qint64, room);
        QFETCH(int, syncError);
        QFETCH(QString, removed);
        FakeDisk disk;
        Session c;
        c.s.DataFile().File().SetDiskCalls(disk.Calls());
        const QString path = c.CsvPath();
        c.StartExample(QStringLiteral("10"), path);
        c.Tick(6);
        const QByteArray before = ReadFile(path);
        disk = {room, syncError, {}};
        if (removed == QLatin1String("file"))
            QVERIFY(QFile::remove(path));
        else if (removed == QLatin1String("folder"))
            QVERIFY(c.folder.remove());

        QCOMPARE(c.Tick(6).FileNotice, QStringLiteral("File write error"));
        QCOMPARE(c.s.DataFile().Recording(), removed.isEmpty());
        disk = {};
        QCOMPARE(c.Tick(6).FileNotice, QString());
        if (removed.isEmpty())
            QCOMPARE(ReadFile(path), before + Row(QStringLiteral("12:01:30"), QStringLiteral("10"), c.PanelWithPoint()) + "\r\n");
        else
            QVERIFY(!c.s.DataFile().File().IsOpen());
        QCOMPARE(c.s.Abort(), 0);
    }

    // Root writes through file permissions, but creates nothing in /proc.
    void unwritableFileLeavesTheCaseWithoutOne()
    {
        Session c;
        const QString path = c.CsvPath();
        QVERIFY(QFile::link(QStringLiteral("/proc/sedalyn-case.csv"), path));
        c.ConfirmAdult(path);
        QCOMPARE(c.fileNotice, QStringLiteral("File open/write error"));
        QVERIFY(!c.s.DataFile().Recording());
        QVERIFY(!c.s.DataFile().File().IsOpen());
        const int since = c.s.DataFile().StepsSinceRow();
        c.Start();
        for (int i = 0; i < 12; ++i)
            QCOMPARE(c.Tick().FileNotice, QString());
        QCOMPARE(c.s.DataFile().StepsSinceRow(), since);
        QCOMPARE(c.s.Abort(), 0);
    }
};

SEDALYN_TEST_CLASS(CaseRecordTest)
#include "CaseRecordTest.moc"
