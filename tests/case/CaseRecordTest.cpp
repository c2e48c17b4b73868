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

const QStringList Zeros(6, QStringLiteral("0.00"));

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
        QTest::addColumn<QStringList>("times"); // Start and the two rows
        QTest::addColumn<QString>("start");
        const double fivePastNine = 46000.0 + (9 * 3600 + 5 * 60) / 86400.0;
        QTest::newRow("24-hour") << 0 << Noon << QStringList{"12:00:00", "12:00:30", "12:01:00"}
                                 << "2025-12-09 12:00:00";
        QTest::newRow("24-hour, leading zero") << 0 << fivePastNine << QStringList{"09:05:00", "09:05:30", "09:06:00"}
                                               << "2025-12-09 09:05:00";
        QTest::newRow("decimal comma") << 1 << Noon << QStringList{"12:00:00", "12:00:30", "12:01:00"}
                                       << "2025-12-09 12:00:00";
        QTest::newRow("no locale") << 2 << fivePastNine << QStringList{"9:05:00 am", "9:05:30 am", "9:06:00 am"}
                                   << "2025-12-09 09:05:00";
    }
    void headerThenARowEverySixthStep()
    {
        QFETCH(int, locale);
        QFETCH(double, base);
        QFETCH(QStringList, times);
        QFETCH(QString, start);
        FakeDisk disk;
        Session c(locale == 0 ? TwentyFourHour() : locale == 1 ? DecimalComma() : NoLocale(), disk.files);
        c.clock.base = base;
        const QString path = c.CsvPath();
        c.Confirm(QStringLiteral("45"), QStringLiteral("1.750"), QStringLiteral("+80"));
        QCOMPARE(c.s.OpenDataFile(path), QString());
        QVERIFY(c.s.DataFile().Recording());
        QCOMPARE(c.s.DataFile().Path(), path);
        QCOMPARE(ReadFile(path), HeaderMale45);

        c.s.RateTextChanged(QStringLiteral("6.5"));
        c.Start();
        const QByteArray opened =
            HeaderMale45 + Row(times[0], QStringLiteral("start %1 rate 6.5 mg/kg/hr").arg(start), Zeros) + "\r\n"
            + Row(times[0], QStringLiteral("eleveld no opioid"), Zeros) + "\r\n";
        c.Tick(5);
        QCOMPARE(ReadFile(path), opened);
        c.Tick();
        const QByteArray first = Row(times[1], QStringLiteral("6.5"), c.PanelWithPoint());
        QCOMPARE(ReadFile(path), opened + first + "\r\n");
        c.Tick(5);
        QCOMPARE(ReadFile(path), opened + first + "\r\n");
        c.Tick();
        const QByteArray second = Row(times[2], QStringLiteral("6.5"), c.PanelWithPoint());
        QCOMPARE(ReadFile(path), opened + first + "\r\n" + second + "\r\n");
        QCOMPARE(second.split(',').size(), 8);
        // The header and each row in one write, each forced to disk.
        QCOMPARE(disk.made, (QStringList{"write", "sync", "write", "sync", "write", "sync", "write", "sync"}));
        QCOMPARE(c.s.Abort().CloseError, 0);
        QVERIFY(ReadFile(path).endsWith(", end, " + c.PanelWithPoint().join(QStringLiteral(", ")).toUtf8() + "\r\n"));
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
        QTest::newRow("other control characters")
            << QStringLiteral("1\v2\f3\x1e" "4\x1b" "5\u2028" "6\u2029" "7\u0085" "8") << "UTF-8" << QByteArray("1 2 3 4 5 6 7 8");
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
        QCOMPARE(lines.size(), 14);
        for (const bool skipBlanks : {false, true}) {
            const QList<QByteArray> fields = CsvFields(lines[13], skipBlanks);
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
        QCOMPARE(FileLines(path).mid(13), (QList<QByteArray>{"12:00:30, 10, " + numbers, "12:00:30, bolus 140 mg, " + numbers}));
        c.Tick(6);
        QCOMPARE(FileLines(path).size(), 16);
        QVERIFY(FileLines(path).constLast().startsWith("12:01:00, 10, "));
    }

    // Rows made up after a delay carry the times they stand for, 30 s apart,
    // and come before the rate confirmed after them.
    void rowsMadeUpAfterADelay()
    {
        Session c;
        const QString path = c.CsvPath();
        c.StartExample(QStringLiteral("10"), path);
        c.s.RateTextChanged(QStringLiteral("20"));
        c.Tick(2);
        c.clock.seconds += 31;
        c.s.ConfirmRate(); // at 41 s, after steps 3 to 8
        const QStringList at41 = Reference(std::vector<double>(8, 10));
        c.Tick();          // 46 s: step 9
        c.Tick(3);         // 61 s: step 12
        const QList<QByteArray> lines = FileLines(path);
        QCOMPARE(lines.size(), 16);
        QCOMPARE(lines[13], Row(QStringLiteral("12:00:30"), QStringLiteral("20"), Reference(std::vector<double>(6, 10))));
        QCOMPARE(lines[14], Row(QStringLiteral("12:00:41"), QStringLiteral("rate 20 mg/kg/hr"), at41));
        // The tick came a second after step 12 fell due.
        QCOMPARE(lines[15], Row(QStringLiteral("12:01:00"), QStringLiteral("20"), c.PanelWithPoint()));
    }

    // Rows the disk refuses are said once and leave nothing behind; they are
    // held and written in order once there is room, with a row that says
    // so. A file deleted from its folder, or with it, is said once and left.
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
        Session c(TwentyFourHour(), disk.files);
        const QString path = c.CsvPath();
        c.StartExample(QStringLiteral("10"), path);
        c.Tick(6);
        const QByteArray before = ReadFile(path);
        disk.Set(room, syncError);
        if (removed == QLatin1String("file"))
            QVERIFY(QFile::remove(path));
        else if (removed == QLatin1String("folder"))
            QVERIFY(c.folder.remove());

        // The classic text, then what happened.
        const QString notice = c.Tick(6).FileNotice;
        QVERIFY2(notice.startsWith(removed.isEmpty() ? QStringLiteral("File write error\ncannot ")
                                                     : QStringLiteral("File write error\nThe data file ")),
                 qPrintable(notice));
        const QStringList held = c.PanelWithPoint();
        QCOMPARE(c.s.DataFile().Recording(), removed.isEmpty());
        if (removed.isEmpty()) {
            QCOMPARE(c.Tick(6).FileNotice, QString()); // said once
            QVERIFY2(c.s.StatusLines().startsWith(QStringLiteral("Data file: not written since 12:01:00 (")),
                     qPrintable(c.s.StatusLines()));
            QCOMPARE(ReadFile(path), before);
        }
        disk.Set();
        QCOMPARE(c.Tick(6).FileNotice, QString());
        QCOMPARE(c.s.StatusLines(), QString());
        if (removed.isEmpty()) {
            // Written at the first tick after the disk took rows again.
            const QList<QByteArray> after = FileLines(path).mid(FileLines(path).size() - 4);
            QCOMPARE(after[0], Row(QStringLiteral("12:01:00"), QStringLiteral("10"), held));
            QVERIFY(after[1].startsWith("12:01:30, 10, "));
            QVERIFY2(after[2].startsWith("12:01:35, rows written late 12:01:00-12:01:30: "), after[2].constData());
            QCOMPARE(after[3], Row(QStringLiteral("12:02:00"), QStringLiteral("10"), c.PanelWithPoint()));
        } else {
            QVERIFY(!c.s.DataFile().File().IsOpen());
        }
        QCOMPARE(c.s.Abort().CloseError, 0);
    }

    // Abort makes up the steps and rows due since the last tick, then ends
    // the record with a row of its own.
    void abortWritesEveryRowDue()
    {
        Session c;
        const QString path = c.CsvPath();
        c.StartExample(QStringLiteral("10"), path);
        c.Tick(10);
        c.clock.seconds += 70; // a tick held, or a machine asleep
        QCOMPARE(c.s.Abort().Notice, QString());
        const QList<QByteArray> lines = FileLines(path);
        QCOMPARE(lines.size(), 11 + 2 + 4 + 1);
        QVERIFY(lines[16].startsWith("12:02:00, 10, "));
        QCOMPARE(lines[17], Row(QStringLiteral("12:02:00"), QStringLiteral("end"), Reference(std::vector<double>(24, 10))));
    }

    // Root writes through file permissions, but creates nothing in /proc.
    void unwritableFileLeavesTheCaseWithoutOne()
    {
        Session c;
        const QString path = c.CsvPath();
        QVERIFY(QFile::link(QStringLiteral("/proc/sedalyn-case.csv"), path));
        c.ConfirmAdult(path);
        QCOMPARE(c.fileNotice, QStringLiteral("File open/write error\ncannot open %1: it is a symbolic link, not a file")
                                   .arg(path));
        QVERIFY(!c.s.DataFile().Recording());
        QVERIFY(!c.s.DataFile().File().IsOpen());
        const int since = c.s.DataFile().StepsSinceRow();
        c.Start();
        for (int i = 0; i < 12; ++i)
            QCOMPARE(c.Tick().FileNotice, QString());
        QCOMPARE(c.s.DataFile().StepsSinceRow(), since);
        QCOMPARE(c.s.Abort().CloseError, 0);
    }
};

SEDALYN_TEST_CLASS(CaseRecordTest)
#include "CaseRecordTest.moc"
