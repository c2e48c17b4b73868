// The area beside the original layout as the case uses it: the bolus box and
// its data row, the history and the chart it feeds, the dose line, the
// wake-up level, the patient's warning line and the Trend toggle.

#include "CaseFixture.h"
#include "CasePanel.h"
#include "PharmacokineticEngine.h"
#include "QtTestMain.h"
#include "TrendChartView.h"
#include "TrendPanel.h"

#include <QLineSeries>
#include <QTest>

#include <cmath>

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

    // 77 kg: 308 mg is 4 mg/kg, the most given without a question.
    void bolusBox_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("answer"); // key on the question, YesButton, or 0 for none
        QTest::addColumn<QString>("message");
        QTest::addColumn<double>("given");
        const QString invalid = QStringLiteral("Bolus - data not valid. A bolus must be a number of mg above 0.");
        QTest::newRow("140") << "140" << 0 << QString() << 140.0;
        QTest::newRow("308 is 4 mg/kg") << "308" << 0 << QString() << 308.0;
        QTest::newRow("0") << "0" << 0 << invalid << 0.0;
        QTest::newRow("-5") << "-5" << 0 << invalid << 0.0;
        QTest::newRow("comma") << "1,5" << 0 << invalid << 0.0;
        QTest::newRow("empty") << "" << 0 << invalid << 0.0;
        QTest::newRow("above 1000") << "1001" << 0
                                    << "Bolus - data not valid. A bolus above 1000 mg is not accepted: "
                                       "check the dose and its unit (mg)." << 0.0;
        const QString question = QStringLiteral("A bolus of 400 mg is 5.2 mg/kg. Give it?");
        QTest::newRow("400, Enter") << "400" << int(Qt::Key_Return) << question << 0.0;
        QTest::newRow("400, Space") << "400" << int(Qt::Key_Space) << question << 0.0;
        QTest::newRow("400, Escape") << "400" << int(Qt::Key_Escape) << question << 0.0;
        QTest::newRow("400, Yes") << "400" << YesButton << question << 400.0;
    }
    void bolusBox()
    {
        QFETCH(QString, typed);
        QFETCH(int, answer);
        QFETCH(QString, message);
        QFETCH(double, given);
        Case c;
        c.StartExample(QStringLiteral("10"));
        c.Tick(38); // 3:10 of the case
        if (answer == YesButton)
            c.driver.AnswerBox(QMessageBox::Yes);
        else if (answer)
            c.driver.AnswerBoxByKey(answer);
        else if (!message.isEmpty())
            c.driver.AnswerBox(QMessageBox::Ok);
        GiveBolus(c, typed);
        QCOMPARE(c.driver.Pending(), 0u);
        QCOMPARE(c.driver.SeenTexts(), message.isEmpty() ? QStringList{} : QStringList{message});
        QCOMPARE(c.form.Side->BolusEdit->text(), given > 0 ? QString() : typed);
        c.Tick();
        QCOMPARE(c.form.History.Last().BolusMg, given);
        if (given > 0)
            QCOMPARE(c.form.Side->LastBolusLabel->text(),
                     QStringLiteral("Last bolus: %1 mg (%2 mg/kg) at 00:03:10")
                         .arg(typed, QString::number(given / 77, 'f', 1)));
    }

    // Before Start the models are reset anyway: the box takes no bolus.
    void bolusOnlyWhileACaseRuns()
    {
        Case c;
        c.ConfirmAdult();
        QVERIFY(!c.form.Side->BolusButton->isEnabled());
        QVERIFY(!c.form.Side->BolusEdit->isEnabled());
        QVERIFY(c.form.Side->BolusButton->toolTip().contains(QStringLiteral("Start")));
        c.Start();
        QVERIFY(c.form.Side->BolusButton->isEnabled());
        c.Abort();
        QVERIFY(!c.form.Side->BolusButton->isEnabled());
    }

    // The tick that gives a bolus writes one more row after its own, and
    // leaves the every-sixth-step rows where they were.
    void bolusRowInTheDataFile()
    {
        Case c;
        const QString path = c.CsvPath();
        c.StartExample(QStringLiteral("10"), path);
        c.Tick(5);
        GiveBolus(c, QStringLiteral("140"));
        c.Tick();
        const QByteArray fields = ", 10, " + c.Concentrations().join(QStringLiteral(", ")).toLatin1();
        QList<QByteArray> lines = FileLines(path);
        QCOMPARE(lines.mid(11), (QList<QByteArray>{"12:00:30" + fields, "12:00:30, bolus 140 mg" + fields.mid(4)}));
        c.Tick(6);
        QCOMPARE(FileLines(path).size(), 14);
        QVERIFY(FileLines(path).constLast().startsWith("12:01:00, 10, "));
    }

    // One record per step, as the panel shows it; the chart draws them and
    // the dose counts them. Start clears them, Abort keeps them.
    void historyFeedsChartAndDose()
    {
        Case c;
        c.StartExample(QStringLiteral("10"));
        c.Tick(12);
        QCOMPARE(c.form.History.Size(), 12u);
        const sedalyn::CaseRecord& last = c.form.History.Last();
        QCOMPARE(last.Rate, 10.0);
        // Held as a float: within 1e-6 of the engine's value.
        const double effect = c.form.Engine.JamesModel.State[sedalyn::StateEffectSite];
        QVERIFY(std::abs(last.Concentrations[sedalyn::JamesEffect] - effect) <= 1e-6 * effect);
        QCOMPARE(c.form.Side->Trend->ConcentrationSeries(sedalyn::JamesPlasma)->count(), 13);
        // 10 mg/kg/hr for a minute: 77 / 6 mg.
        QCOMPARE(c.form.Side->DoseLabel->text(), QStringLiteral("Given: 13 mg (0.2 mg/kg) in 1:00"));
        QVERIFY(c.form.Side->WakeUpLabel->text().startsWith(QStringLiteral("Wake-up if stopped now: James now  Hume now")));
        c.Abort();
        QCOMPARE(c.form.History.Size(), 12u);
        QCOMPARE(c.form.Side->DoseLabel->text(), QStringLiteral("Given: 13 mg (0.2 mg/kg) in 1:00"));
        c.ConfirmAdult();
        c.Start();
        QVERIFY(c.form.History.Empty());
        QCOMPARE(c.form.Side->Trend->ConcentrationSeries(sedalyn::JamesPlasma)->count(), 0);
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
        c.Abort();
        QCOMPARE(c.form.WarningLabel->text(), QString());
        c.ConfirmAdult();
        QCOMPARE(c.form.WarningLabel->text(), QString());
    }

    // Trend hides the area beside the original layout and gives the window
    // back its original size; the original controls never move.
    void trendToggleKeepsTheOriginalLayout()
    {
        Case c;
        c.form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&c.form));
        const QStringList before = Snapshot(c.form);
        QList<QRect> places;
        for (QWidget* w : {static_cast<QWidget*>(c.form.AgeEdit), static_cast<QWidget*>(c.form.Panel1),
                           static_cast<QWidget*>(c.form.BitBtn1), static_cast<QWidget*>(c.form.Label2)})
            places << w->geometry();
        c.form.TrendButton->setChecked(true);
        QVERIFY(!c.form.Side->isHidden());
        QVERIFY(c.form.width() >= 613 + 520);
        QVERIFY(c.form.Side->Trend->ChartView()->height() >= 400);
        c.form.TrendButton->setChecked(false);
        QVERIFY(c.form.Side->isHidden());
        QCOMPARE(c.form.size(), QSize(613, 447));
        QList<QRect> after;
        for (QWidget* w : {static_cast<QWidget*>(c.form.AgeEdit), static_cast<QWidget*>(c.form.Panel1),
                           static_cast<QWidget*>(c.form.BitBtn1), static_cast<QWidget*>(c.form.Label2)})
            after << w->geometry();
        QCOMPARE(after, places);
        QCOMPARE(Snapshot(c.form).filter(QStringLiteral("Side")).size(), before.filter(QStringLiteral("Side")).size());
    }
};

SEDALYN_TEST_CLASS(CasePanelTest)
#include "CasePanelTest.moc"
