// The case data file as the window writes it: header, rows every sixth tick,
// close on Abort and on window close, and a file that cannot be written.

#include "CaseFixture.h"
#include "QtTestMain.h"

#include <QDir>
#include <QFileInfo>
#include <QTest>

using namespace casefixture;

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

// The row the panel stands for, with "." as decimal point.
QByteArray PanelRow(const Case& c, const QString& time, const QString& rateField)
{
    QStringList fields{time, rateField};
    for (const QString& text : c.Concentrations())
        fields << QString(text).replace(u',', u'.');
    return fields.join(QStringLiteral(", ")).toLatin1();
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

bool IndicatorsShown(const TForm1& form)
{
    return !form.DataFileOpenLabel->isHidden() && !form.DataFileName->isHidden();
}

bool IndicatorsHidden(const TForm1& form)
{
    return form.DataFileOpenLabel->isHidden() && form.DataFileName->isHidden();
}

} // namespace

class CaseDataFileTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QApplication::setQuitOnLastWindowClosed(false); }
    void cleanup() { VERIFY_NO_STRAY_MODALS(); }

    void cancelledDialogMeansNoFile()
    {
        Case c;
        c.ConfirmAdult();
        c.Start();
        const std::uint8_t count = c.form.LogTickCount;
        c.Tick(12);
        QCOMPARE(c.form.LogTickCount, count); // the ticks write nothing
        QVERIFY(!c.form.DataFileOpen);
        QVERIFY(IndicatorsHidden(c.form));
        c.Abort();
        QCOMPARE(c.driver.Pending(), 0u);
        QVERIFY(c.driver.SeenBoxes().empty());
    }

    // The file is read while the window still holds it open. The rows'
    // times follow the locale.
    void headerThenARowEverySixthTick_data()
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
    void headerThenARowEverySixthTick()
    {
        QFETCH(int, locale);
        QFETCH(double, base);
        QFETCH(QStringList, times);
        FakeDisk disk;
        Case c(locale == 0 ? TwentyFourHour() : locale == 1 ? DecimalComma() : NoLocale(), disk.files);
        c.base = base;
        const QString path = c.CsvPath();
        c.Confirm(QStringLiteral("45"), QStringLiteral("1.750"), QStringLiteral("+80"), path);
        QCOMPARE(c.driver.Pending(), 0u);
        QVERIFY(c.driver.SeenBoxes().empty());
        QVERIFY(c.form.DataFileOpen);
        QVERIFY(IndicatorsShown(c.form));
        QCOMPARE(c.form.DataFileName->text(), QFileInfo(path).absoluteFilePath());
        QCOMPARE(ReadFile(path), HeaderMale45);

        Case::Type(c.form.InfRateEdit, QStringLiteral("6.5"));
        c.Start();
        c.Tick(5);
        QCOMPARE(ReadFile(path), HeaderMale45);
        c.Tick();
        const QByteArray first = PanelRow(c, times[0], QStringLiteral("6.5"));
        QCOMPARE(ReadFile(path), HeaderMale45 + first + "\r\n");
        c.Tick(5);
        QCOMPARE(ReadFile(path), HeaderMale45 + first + "\r\n");
        c.Tick();
        const QByteArray second = PanelRow(c, times[1], QStringLiteral("6.5"));
        QCOMPARE(ReadFile(path), HeaderMale45 + first + "\r\n" + second + "\r\n");
        QCOMPARE(second.split(',').size(), 8);
        QVERIFY(c.driver.SeenBoxes().empty());
        // The header and each row in one write, each forced to disk.
        QCOMPARE(disk.made, (QStringList{"write", "sync", "write", "sync", "write", "sync"}));
    }

    // The rows record whatever stands in the rate box, on one line even
    // past the box's own guard, in the locale's codeset, as eight fields to
    // CSV readers that skip the blanks after a comma and to those that do not.
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
        Case c(locale);
        const QString path = c.CsvPath();
        c.StartExample(QStringLiteral("10"), path);
        c.Tick(5);
        c.form.InfRateEdit->setValidator(nullptr);
        c.form.InfRateEdit->setText(text);
        c.Tick();
        const QList<QByteArray> lines = FileLines(path);
        QCOMPARE(lines.size(), 12);
        for (const bool skipBlanks : {false, true}) {
            const QList<QByteArray> fields = CsvFields(lines[11], skipBlanks);
            QCOMPARE(fields.size(), 8);
            QCOMPARE(fields[1].trimmed(), field);
        }
        QCOMPARE(c.form.InfusionRate, 10.0);
    }

    // A row the disk refuses is reported and leaves nothing behind; the next
    // one, once there is room, starts its own line. A file deleted from its
    // folder, or with it, is reported once and the case goes on without it.
    void rowThatCannotBeKeptIsReported_data()
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
    void rowThatCannotBeKeptIsReported()
    {
        QFETCH(qint64, room);
        QFETCH(int, syncError);
        QFETCH(QString, removed);
        FakeDisk disk;
        Case c(TwentyFourHour(), disk.files);
        const QString path = c.CsvPath();
        c.StartExample(QStringLiteral("10"), path);
        c.Tick(6);
        const QByteArray before = ReadFile(path);
        disk.Set(room, syncError);
        if (removed == QLatin1String("file"))
            QVERIFY(QFile::remove(path));
        else if (removed == QLatin1String("folder"))
            QVERIFY(c.folder.remove());

        c.driver.AnswerBox(QMessageBox::Ok);
        c.Tick(6);
        QCOMPARE(c.driver.SeenTexts(), QStringList{QStringLiteral("File write error")});
        QCOMPARE(c.form.DataFileOpen, removed.isEmpty());
        QCOMPARE(IndicatorsShown(c.form), removed.isEmpty());
        disk.Set();
        c.Tick(6);
        if (removed.isEmpty())
            QCOMPARE(ReadFile(path), before + PanelRow(c, QStringLiteral("12:01:30"), "10") + "\r\n");
        else
            QVERIFY(IndicatorsHidden(c.form) && !c.form.DataFile.IsOpen());
        c.Abort();
        QCOMPARE(c.driver.Pending(), 0u);
        QCOMPARE(c.driver.SeenBoxes().size(), 1u);
    }

    // Root writes through file permissions, but creates nothing in /proc. The
    // dialog is kept out of /proc itself: listing it there can block on a read.
    void unwritableFileLeavesTheCaseWithoutOne()
    {
        Case c;
        const QString path = c.CsvPath();
        QVERIFY(QFile::link(QStringLiteral("/proc/sedalyn-case.csv"), path));
        c.EnterPatient(QStringLiteral("45"), QStringLiteral("1.75"), QStringLiteral("80"));
        c.driver.AnswerFileDialog(path);
        c.driver.AnswerBox(QMessageBox::Ok);
        c.form.ConfirmPatient->click();
        QCOMPARE(c.driver.Pending(), 0u);
        QCOMPARE(c.driver.SeenTexts(), QStringList{QStringLiteral("File open/write error")});
        QCOMPARE(c.driver.SeenBoxes()[0].caption, QStringLiteral("Sedalyn"));
        QVERIFY(!c.form.DataFileOpen);
        QVERIFY(IndicatorsHidden(c.form));
        QVERIFY(!c.form.DataFile.IsOpen());

        const std::uint8_t count = c.form.LogTickCount;
        c.Start();
        c.Tick(12);
        QCOMPARE(c.form.LogTickCount, count);
        c.Abort();
        QCOMPARE(c.driver.SeenBoxes().size(), 1u);
        QVERIFY(c.form.ConfirmPatient->isEnabled());
    }

    void abortClosesAndTheNextCaseStartsTheFileAfresh()
    {
        Case c;
        const QString path = c.CsvPath();
        c.ConfirmAdult(path);
        c.Start();
        c.Tick(6);
        const QByteArray firstCase = ReadFile(path);
        c.Abort();
        QVERIFY(!c.form.DataFileOpen);
        QVERIFY(!c.form.DataFile.IsOpen());
        QVERIFY(IndicatorsHidden(c.form));
        QCOMPARE(ReadFile(path), firstCase);

        QString offered;
        c.driver.AnswerWith([&offered](QWidget* modal) {
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            if (!dialog)
                return;
            offered = dialog->selectedFiles().value(0);
            static_cast<QDialog*>(dialog)->accept(); // QFileDialog::accept is protected
        });
        c.driver.AnswerBox(QMessageBox::Yes); // replace the existing file
        Case::Type(c.form.WeightEdit, QStringLiteral("90"));
        c.form.ConfirmPatient->click();

        QCOMPARE(c.driver.Pending(), 0u);
        QCOMPARE(offered, QFileInfo(path).absoluteFilePath());
        QCOMPARE(c.driver.SeenBoxes().size(), 1u);
        QVERIFY2(c.driver.SeenBoxes()[0].text.contains(QStringLiteral("already exists")),
                 qPrintable(c.driver.SeenBoxes()[0].text));
        QVERIFY(c.form.DataFileOpen);
        QVERIFY(IndicatorsShown(c.form));
        QByteArray header = HeaderMale45;
        header.replace("Weight(kg),80", "Weight(kg),90")
            .replace("26.12", "29.39")
            .replace("61.25", "65.15")
            .replace("60.02", "64.09")
            .replace("60.18", "64.04");
        QCOMPARE(ReadFile(path), header);
    }

    void closingTheWindowClosesTheFileQuietly()
    {
        Case c;
        const QString path = c.CsvPath();
        c.form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&c.form));
        c.StartExample(QStringLiteral("10"), path);
        c.Tick(6);
        const QByteArray written = ReadFile(path);
        QVERIFY(written.startsWith("\r\nGender,Male\r\nAge(y),53\r\n"));
        QCOMPARE(written.count("\r\n"), 12);

        c.driver.AnswerBox(QMessageBox::Yes); // a case is running
        c.form.BitBtn3->click();
        QVERIFY(!c.form.isVisible());
        QVERIFY(!c.form.DataFile.IsOpen());
        QCOMPARE(c.driver.SeenBoxes().size(), 1u);
        QCOMPARE(ReadFile(path), written);
    }
};

SEDALYN_TEST_CLASS(CaseDataFileTest)
#include "CaseDataFileTest.moc"
