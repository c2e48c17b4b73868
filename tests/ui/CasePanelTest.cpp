// The area beside the original layout: the bolus box and its question, the
// chart and the lines fed by the case, the wake-up level, the patient's
// warning line and the Trend toggle.

#include "CaseFixture.h"
#include "CasePanel.h"
#include "SideDock.h"
#include "PharmacokineticEngine.h"
#include "QtTestMain.h"
#include "TrendChartView.h"
#include "TrendExport.h"
#include "TrendPanel.h"

#include <QCheckBox>
#include <QImage>
#include <QLineSeries>
#include <QProcess>
#include <QTest>

using namespace casefixture;

namespace {

constexpr int YesButton = -1; // the Yes button clicked rather than a key

void GiveBolus(Case& c, const QString& text)
{
    Case::Type(c.form.Side->BolusEdit, text);
    QTest::keyClick(c.form.Side->BolusEdit, Qt::Key_Return);
}

} // namespace

class CasePanelTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { VERIFY_NO_STRAY_MODALS(); }

    // A large bolus asks first; Enter, Space and Escape are No.
    void bolusBox_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("answer"); // key on the box, YesButton, or 0 for none
        QTest::addColumn<double>("given");
        QTest::newRow("140") << "140" << 0 << 140.0;
        QTest::newRow("0 is refused") << "0" << int(Qt::Key_Return) << 0.0;
        QTest::newRow("400, Enter") << "400" << int(Qt::Key_Return) << 0.0;
        QTest::newRow("400, Space") << "400" << int(Qt::Key_Space) << 0.0;
        QTest::newRow("400, Escape") << "400" << int(Qt::Key_Escape) << 0.0;
        QTest::newRow("400, Yes") << "400" << YesButton << 400.0;
    }
    void bolusBox()
    {
        QFETCH(QString, typed);
        QFETCH(int, answer);
        QFETCH(double, given);
        Case c;
        c.StartExample(QStringLiteral("10"));
        c.Tick(38); // 3:10 of the case
        if (answer == YesButton)
            c.driver.AnswerBox(QMessageBox::Yes);
        else if (answer)
            c.driver.AnswerBoxByKey(answer);
        GiveBolus(c, typed);
        QCOMPARE(c.driver.Pending(), 0u);
        QCOMPARE(c.driver.SeenBoxes().size(), answer ? 1u : 0u);
        QCOMPARE(c.form.Side->BolusEdit->text(), given > 0 ? QString() : typed);
        c.Tick();
        QCOMPARE(c.session().History().Last().BolusMg, given);
        QCOMPARE(c.form.Side->LastBolusLabel->text().isEmpty(), given == 0);
    }

    // Before Start the models are reset anyway: the box takes no bolus.
    void bolusOnlyWhileACaseRuns()
    {
        Case c;
        c.ConfirmAdult();
        QVERIFY(!c.form.Side->BolusButton->isEnabled());
        QVERIFY(!c.form.Side->BolusEdit->isEnabled());
        QVERIFY(c.form.Side->BolusButton->toolTip().contains(QStringLiteral("Start")));
        c.form.Side->OpioidCheck->setChecked(true); // set before Start, fixed while the case runs
        c.Start();
        QVERIFY(c.form.Side->BolusButton->isEnabled());
        QVERIFY(!c.form.Side->OpioidCheck->isEnabled() && c.session().Eleveld().Opioid());
        QVERIFY(c.form.Side->EleveldLabel->text().startsWith(QStringLiteral("Eleveld, with opioid:")));
        c.Abort();
        QVERIFY(!c.form.Side->BolusButton->isEnabled());
        QVERIFY(c.form.Side->OpioidCheck->isEnabled());
    }

    // The chart draws the case's records and the lines show its dose and
    // wake-up times. Start clears them, Abort keeps the chart and the dose.
    void caseFeedsChartAndLines()
    {
        Case c;
        c.StartExample(QStringLiteral("10"));
        c.Tick(12);
        QCOMPARE(c.form.Side->Trend->Points(sedalyn::JamesPlasma).size(), 13);
        // 10 mg/kg/hr for a minute: 77 / 6 mg.
        QCOMPARE(c.form.Side->DoseLabel->text(), QStringLiteral("Given: 13 mg (0.2 mg/kg) in 00:01:00"));
        QVERIFY(c.form.Side->WakeUpLabel->text().startsWith(QStringLiteral("Wake-up if stopped now: James now  Hume now")));
        c.Abort();
        QCOMPARE(c.form.Side->DoseLabel->text(), QStringLiteral("Given: 13 mg (0.2 mg/kg) in 00:01:00"));
        QCOMPARE(c.form.Side->WakeUpLabel->text(), QStringLiteral("Wake-up if stopped now: -"));
        c.ConfirmAdult();
        c.Start();
        QCOMPARE(c.form.Side->Trend->Points(sedalyn::JamesPlasma).size(), 0);
    }

    void wakeUpLevelIsChecked_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("kept");
        QTest::newRow("2") << "2" << "2";
        QTest::newRow("0.1") << "0.1" << "0.1";
        QTest::newRow("0.05") << "0.05" << "1.2";
        QTest::newRow("10.5") << "10.5" << "1.2";
        QTest::newRow("abc") << "abc" << "1.2";
    }
    void wakeUpLevelIsChecked()
    {
        QFETCH(QString, typed);
        QFETCH(QString, kept);
        Case c;
        if (kept != typed)
            c.driver.AnswerBox(QMessageBox::Ok);
        Case::Type(c.form.Side->WakeUpLevelEdit, typed);
        emit c.form.Side->WakeUpLevelEdit->editingFinished();
        QCOMPARE(c.driver.Pending(), 0u);
        QCOMPARE(c.form.Side->WakeUpLevelEdit->text(), kept);
        QCOMPARE(c.form.Side->WakeUpLevel(), kept.toDouble());
        QCOMPARE(c.form.Side->Trend->WakeUpLevel(), kept.toDouble());
        if (kept != typed)
            QVERIFY(c.driver.SeenTexts().constFirst().startsWith(QStringLiteral("Wake-up level - data not valid.")));
    }

    // A warning stays on the window while the patient is confirmed.
    void warningLineFollowsThePatient()
    {
        Case c;
        c.Confirm(QStringLiteral("53"), QStringLiteral("1.77"), QStringLiteral("140"));
        QVERIFY(c.form.WarningLabel->text().startsWith(QStringLiteral("Outside the Schnider study population")));
        QVERIFY(c.form.WarningLabel->text().contains(QStringLiteral("James lean body mass falls")));
        // Not the smallest text on the screen, and marked as a warning.
        QVERIFY(c.form.WarningLabel->font().pixelSize() > c.form.font().pixelSize());
        QVERIFY(c.form.WarningRow->isVisibleTo(&c.form));
        QVERIFY(!c.form.WarningRow->findChild<QLabel*>(QStringLiteral("WarningIcon"))->pixmap().isNull());
        c.Abort();
        QVERIFY(!c.form.WarningRow->isVisibleTo(&c.form));
        QCOMPARE(c.form.WarningLabel->text(), QString());
        c.ConfirmAdult();
        QCOMPARE(c.form.WarningLabel->text(), QString());
    }

    // A saved chart says whose case it is, when it began and by which model.
    void savedChartHasTitleBlock_data()
    {
        QTest::addColumn<QString>("suffix");
        QTest::newRow("PDF") << "pdf";
        QTest::newRow("PNG") << "png";
    }

    void savedChartHasTitleBlock()
    {
        QFETCH(QString, suffix);
        Case c;
        c.StartExample(QStringLiteral("10"));
        c.Tick(3);
        TrendPanel* trend = c.form.Side->Trend;
        const QString path = c.folder.filePath(QStringLiteral("chart.") + suffix);
        QVERIFY(WriteTrendChart(*trend->ChartView(), trend->TitleBlock(), path));
        const double start = c.session().StartTime();
        const LocaleSettings& locale = c.session().Locale();
        const QStringList lines{
            QStringLiteral("Patient: Male, age 53 y, height 1.77 m, weight 77 kg"),
            QStringLiteral("Case started %1 %2")
                .arg(QString::fromStdString(DateText(start, locale)), QString::fromStdString(TimeText(start, locale))),
            QStringLiteral("Schnider model; James / Hume / Janmahasatian lean body mass"),
            QStringLiteral("Saved %1").arg(QDate::currentDate().toString(Qt::ISODate))};
        if (suffix == QLatin1String("png")) {
            // The title rows above the chart, in black on white.
            const QImage image(path);
            const int title = image.height() - trend->ChartView()->height();
            QVERIFY(title >= lines.size() * 12);
            QCOMPARE(image.width(), trend->ChartView()->width());
            int dark = 0;
            for (int y = 0; y < title; ++y)
                for (int x = 0; x < image.width(); ++x)
                    dark += qGray(image.pixel(x, y)) < 100 ? 1 : 0;
            QVERIFY(dark > 200);
            return;
        }
        QProcess text;
        text.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), path, QStringLiteral("-")});
        QVERIFY(text.waitForFinished(20000));
        const QString written = QString::fromUtf8(text.readAllStandardOutput());
        for (const QString& line : lines)
            QVERIFY2(written.contains(line), qPrintable(line + QStringLiteral("\n---\n") + written));
    }

    // Trend shows or hides the chart; the bolus entry stays, and the
    // original controls never move.
    void trendToggleKeepsTheOriginalLayout()
    {
        Case c;
        c.form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&c.form));
        QList<QRect> places;
        for (QWidget* w : {static_cast<QWidget*>(c.form.AgeEdit), static_cast<QWidget*>(c.form.Panel1),
                           static_cast<QWidget*>(c.form.BitBtn1), static_cast<QWidget*>(c.form.Label2)})
            places << w->geometry();
        for (const bool shown : {true, false}) {
            c.form.TrendButton->setChecked(shown);
            QCOMPARE(c.form.Side->Trend->isVisible(), shown);
            QVERIFY(c.form.Side->BolusEdit->isVisible());
            QCOMPARE(c.form.size(), c.form.Dock->Placement().client);
        }
        QList<QRect> after;
        for (QWidget* w : {static_cast<QWidget*>(c.form.AgeEdit), static_cast<QWidget*>(c.form.Panel1),
                           static_cast<QWidget*>(c.form.BitBtn1), static_cast<QWidget*>(c.form.Label2)})
            after << w->geometry();
        QCOMPARE(after, places);
    }
};

SEDALYN_TEST_CLASS(CasePanelTest)
#include "CasePanelTest.moc"
