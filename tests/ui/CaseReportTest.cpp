// The case report and the review window, from data files of every shape:
// the report's text read back with pdftotext, its chart drawn as lines.

#include "CaseReport.h"
#include "CaseReview.h"
#include "Eleveld.h"
#include "QtTestMain.h"
#include "TrendPanel.h"

#include <QFile>
#include <QImage>
#include <QLineSeries>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QByteArray Header = "\r\nGender,Male\r\nAge(y),45\r\nHeight(m),1.75\r\nWeight(kg),80\r\nBMI (kg/m2),26.12\r\n"
                          "LBM (James),61.25\r\nLBM (Hume),60.02\r\nLBM (Janmahasation/Han),60.18\r\n\r\n"
                          "Time,Infusion rate, James plasma, James effect, Hume plasma, Hume effect, Han plasma, "
                          "Han effect\r\n";

// Row n of a case started at 14:00:00: plasma n/10, effect site n/20.
QByteArray Row(int n, const char* second = "6")
{
    const int t = 14 * 3600 + n * 30;
    const QString c = QString::number(n / 10.0, 'f', 2), e = QString::number(n / 20.0, 'f', 2);
    return QStringLiteral("%1:%2:%3, %4, %5, %6, %5, %6, %5, %6\r\n")
        .arg(t / 3600, 2, 10, QLatin1Char('0')).arg(t / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(t % 60, 2, 10, QLatin1Char('0')).arg(QLatin1String(second), c, e)
        .toUtf8();
}

QByteArray Rows(int from, int to, const char* second = "6")
{
    QByteArray rows;
    for (int n = from; n <= to; ++n)
        rows += Row(n, second);
    return rows;
}

const QByteArray Start = "14:00:00, start 2026-12-07 14:00:00 rate 10 mg/kg/hr, 0.00, 0.00, 0.00, 0.00, 0.00, 0.00\r\n";

// Rows as the models write them: the header's patient at 10 mg/kg/hr from
// 14:00:00; `eleveld` gets Eleveld's plasma and effect site at 5 minutes.
QByteArray ModelRows(int count, QString& eleveld)
{
    const sedalyn::Patient patient{45, 1.75, 80, [] { return std::string("Male"); }};
    sedalyn::PharmacokineticEngine engine;
    sedalyn::EleveldModel model;
    model.Reset(false);
    QByteArray rows;
    for (int step = 1; step <= count * 6; ++step) {
        engine.AdvanceTick(patient, 10.0);
        model.AdvanceTick(patient, 10.0);
        if (step == 60)
            eleveld = QStringLiteral("%1 %2").arg(model.Plasma(), 0, 'f', 2).arg(model.EffectSite(), 0, 'f', 2);
        if (step % 6 != 0)
            continue;
        QByteArray row = Row(step / 6, "10");
        row.truncate(row.indexOf(", 10, ") + 4);
        for (const double c : engine.Concentrations())
            row += ", " + QByteArray::number(c, 'f', 2);
        rows += row + "\r\n";
    }
    return rows;
}

QString WriteFile(const QTemporaryDir& folder, const QByteArray& bytes)
{
    const QString path = folder.filePath(QStringLiteral("case.csv"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return {};
    return path;
}

sedalyn::LocaleSettings TwentyFourHour()
{
    sedalyn::LocaleSettings locale;
    locale.TwelveHourClock = false;
    locale.HourLeadingZero = true;
    return locale;
}

int ColouredPixels(const QImage& image)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            count += std::max({c.red(), c.green(), c.blue()}) - std::min({c.red(), c.green(), c.blue()}) > 80;
        }
    return count;
}

} // namespace

class CaseReportTest : public QObject {
    Q_OBJECT

private slots:
    // Each text is a pattern; blanks in it stand for any run of blanks.
    void reportReadsAsTheCase_data()
    {
        QTest::addColumn<QByteArray>("rows");
        QTest::addColumn<QStringList>("texts");
        QTest::newRow("with event rows")
            << Start + Rows(1, 3) + "14:01:30, bolus 100 mg, 0.40, 0.15, 0.40, 0.15, 0.40, 0.15\r\n" + Rows(4, 10)
                   + "14:05:02, rate 6 mg/kg/hr, 1.00, 0.50, 1.00, 0.50, 1.00, 0.50\r\n" + Rows(11, 20)
                   + "14:10:00, end, 2.00, 1.00, 2.00, 1.00, 2.00, 1.00\r\n"
            << QStringList{"Date: 2026-12-07; start time: 14:00:00", "Duration: 00:10:00",
                           "BMI: 26.12 kg/m2; lean body mass: James 61.25 kg, Hume 60.02 kg, Janmahasatian 60.18 kg",
                           // 10 mg/kg/hr for 302 s and 6 for 298 s, 80 kg
                           "by rate: 107 mg", "by bolus: 100 mg", "Total: 207 mg", "00:01:30 14:01:30 bolus 100 mg",
                           "Eleveld model: not shown, as replaying its rate and bolus rows does not give the "
                           "Schnider values its rows hold from 00:00:30 on",
                           "00:05:02 14:05:02 rate 6 mg/kg/hr", "00:05:00 14:05:00 10 1.00 0.50 1.00 0.50 1.00 0.50",
                           "00:10:00 14:10:00 6 2.00 1.00"};
        QString eleveld;
        const QByteArray modelRows = ModelRows(24, eleveld);
        QTest::newRow("replayed for Eleveld")
            << Start + modelRows
            // pdftotext gives the "fi" of "file" as a ligature.
            << QStringList{"Eleveld model \\(2018, no opioid assumed: the \\S+ does not say whether opioids were "
                           "given\\): replayed",
                           "00:05:00 14:05:00 10( \\d+\\.\\d\\d){6} " + eleveld + " 00:10:00"};
        QTest::newRow("old, without event rows")
            << Rows(1, 4) + Rows(5, 12, "8") + Rows(13, 14, "8 ")
            << QStringList{"Date: not recorded; start time: not recorded", "Rate history from: rate box text",
                           "00:00:30 14:00:30 rate box text: 6", "00:02:30 14:02:30 rate box text: 8",
                           "by rate: not known", "by bolus: 0 mg", "00:05:00 14:05:00 8 1.00 0.50",
                           "Eleveld model: not shown, as the \\S+ has no rate rows"};
        QTest::newRow("with a resume")
            << Start + Rows(1, 4) + Rows(5, 14, "10")
                   + "14:07:05, resumed after 00:05:00 gap; rate 10 mg/kg/hr assumed, 1.40, 0.70, 1.40, 0.70, 1.40, 0.70\r\n"
                   + Rows(15, 16, "10")
            << QStringList{"00:07:05 14:07:05 resumed after 00:05:00 gap; rate 10 mg/kg/hr assumed",
                           "Duration: 00:08:00 \\(to the last row", "by rate: 107 mg"};
        QTest::newRow("empty")
            << QByteArray() << QStringList{"Duration: 00:00:00", "None: there are no rows.", "Events None."};
        QTest::newRow("damaged rows")
            << Rows(1, 9) + "14:05:00, 6, 1.00, 0.50\r\n" + Rows(11, 12) + "14:06:30, 6, 1.30, 0."
            << QStringList{"Lines that could not be read \\(2\\)", "line 21: 14:05:00, 6, 1.00, 0.50",
                           "line 24 \\(cut short\\): 14:06:30, 6, 1.30, 0.", "00:05:00 no row",
                           "00:04:30 14:04:30 gap: no rows for 30 s"};
    }
    void reportReadsAsTheCase()
    {
        QFETCH(QByteArray, rows);
        QFETCH(QStringList, texts);
        const QString pdftotext = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
        if (pdftotext.isEmpty())
            QSKIP("pdftotext is not installed (poppler-utils)");
        QTemporaryDir folder;
        const QString pdf = folder.filePath(QStringLiteral("report.pdf"));
        QCOMPARE(ReportCaseFile(WriteFile(folder, Header + rows), pdf, TwentyFourHour()), QString());
        QProcess text;
        text.start(pdftotext, {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
        QVERIFY(text.waitForFinished(30'000));
        const QString out = QString::fromUtf8(text.readAllStandardOutput()).simplified();
        QVERIFY(out.contains(QLatin1String("Sedalyn case report")));
        for (QString pattern : texts) {
            pattern.replace(QLatin1Char(' '), QLatin1String("\\s+"));
            QVERIFY2(out.contains(QRegularExpression(pattern)), qPrintable(pattern + QLatin1String("\n") + out));
        }
    }

    // The chart is painted as lines into the report's painter.
    void chartIsDrawn()
    {
        const sedalyn::CaseFileReading reading = sedalyn::ParseCaseFile(Header + Start + Rows(1, 20), TwentyFourHour());
        sedalyn::CaseHistory history, none;
        sedalyn::FillHistory(*reading.Content, history);
        QImage drawn(600, 400, QImage::Format_RGB32), empty(drawn);
        for (auto [image, h] : {std::pair{&drawn, &history}, std::pair{&empty, &none}}) {
            image->fill(Qt::white);
            QPainter painter(image);
            DrawCaseChart(painter, QRectF(0, 0, 600, 400), *h, TwentyFourHour());
        }
        QVERIFY2(ColouredPixels(drawn) > ColouredPixels(empty) + 500,
                 qPrintable(QStringLiteral("%1 against %2").arg(ColouredPixels(drawn)).arg(ColouredPixels(empty))));
    }

    void reviewShowsTheCase()
    {
        QTemporaryDir folder;
        const QString path =
            WriteFile(folder, Header + Start + Rows(1, 3) + "14:01:30, bolus 100 mg, 0.40, 0.15, 0.40, 0.15, 0.40, 0.15\r\n");
        CaseReviewWindow* window = OpenCaseReview(path, TwentyFourHour(), nullptr);
        QVERIFY(window);
        QVERIFY(!window->Trend->Points(sedalyn::JamesPlasma).isEmpty());
        QVERIFY(window->Events->toPlainText().contains(QLatin1String("00:01:30  14:01:30  bolus 100 mg")));
        QVERIFY(window->close()); // deletes it
    }
};

SEDALYN_TEST_CLASS(CaseReportTest)
#include "CaseReportTest.moc"
