// The 5-second tick: the three models on the panel, AbortButton while they
// are integrated, and the reminder of an unconfirmed rate.

#include "CaseFixture.h"
#include "PharmacokineticEngine.h"
#include "QtTestMain.h"

#include <QTest>

#include <vector>

using namespace casefixture;

namespace {

// The panel an engine of its own shows after the given rates, one per tick.
QStringList EnginePanel(const std::vector<double>& ratePerTick)
{
    const sedalyn::Patient patient{53, 1.77, 77, [] { return std::string("Male"); }};
    sedalyn::PharmacokineticEngine engine;
    for (const double rate : ratePerTick)
        engine.AdvanceTick(patient, rate);
    QStringList texts;
    for (const sedalyn::ModelSlot* slot : {&engine.JamesModel, &engine.HumeModel, &engine.HanModel})
        for (const auto element : {sedalyn::StatePlasma, sedalyn::StateEffectSite})
            texts << QString::fromStdString(sedalyn::FormatFixed(slot->State[element], 6, 2, {}));
    return texts;
}

} // namespace

class SimulationTickTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { VERIFY_NO_STRAY_MODALS(); }

    void examplePatientOnThePanel_data()
    {
        QTest::addColumn<bool>("decimalComma");
        QTest::addColumn<QString>("rate");
        QTest::addColumn<int>("ticks");
        QTest::addColumn<QStringList>("panel");
        QTest::newRow("first tick") << false << "10" << 1
                                    << QStringList{"0.24", "0.00", "0.24", "0.00", "0.24", "0.00"};
        QTest::newRow("one minute") << false << "10" << 12
                                    << QStringList{"1.97", "0.44", "1.96", "0.44", "1.96", "0.44"};
        QTest::newRow("decimal comma") << true << "10" << 12
                                       << QStringList{"1,97", "0,44", "1,96", "0,44", "1,96", "0,44"};
        QTest::newRow("rate 0") << false << "0" << 12
                                << QStringList{"0.00", "0.00", "0.00", "0.00", "0.00", "0.00"};
    }
    void examplePatientOnThePanel()
    {
        QFETCH(bool, decimalComma);
        QFETCH(QString, rate);
        QFETCH(int, ticks);
        QFETCH(QStringList, panel);
        Case c(decimalComma ? DecimalComma() : TwentyFourHour());
        c.StartExample(rate);
        c.Tick(ticks);
        QCOMPARE(c.Concentrations(), panel);
        QVERIFY(c.driver.SeenBoxes().empty());
    }

    void abortButtonIsDisabledWhileTheModelsAreIntegrated()
    {
        Case c;
        c.StartExample(QStringLiteral("10"));
        // The engine reads the gender while it integrates, before the panel
        // shows the new values.
        int whileIntegrating = 0;
        int abortEnabled = 0;
        c.form.Patient.GenderCaption = [&] {
            if (c.form.Jameslabel->text() == QLatin1String("0.00")) {
                ++whileIntegrating;
                abortEnabled += c.form.AbortButton->isEnabled() ? 1 : 0;
            }
            return c.form.Genderbutton->text().toStdString();
        };
        c.Tick();
        QVERIFY(whileIntegrating > 0);
        QCOMPARE(abortEnabled, 0);
        QVERIFY(c.form.AbortButton->isEnabled());
    }

    // Per tick: '-' no reminder, 'C' a reminder answered Cancel, 'O' answered OK.
    void reminderOfAnUnconfirmedRate_data()
    {
        QTest::addColumn<bool>("confirmBeforeTick");
        QTest::addColumn<QString>("script");
        QTest::addColumn<QList<int>>("pending");
        QTest::newRow("confirmed before the next tick") << true << "---" << QList<int>{0, 0, 0};
        QTest::newRow("OK at the first reminder") << false << "-O--" << QList<int>{2, 0, 0, 0};
        QTest::newRow("Cancel brings it back") << false << "-CCO-" << QList<int>{2, 2, 2, 0, 0};
    }
    void reminderOfAnUnconfirmedRate()
    {
        QFETCH(bool, confirmBeforeTick);
        QFETCH(QString, script);
        QFETCH(QList<int>, pending);
        Case c;
        c.StartExample(QStringLiteral("10"));
        Case::Type(c.form.InfRateEdit, QStringLiteral("12"));
        if (confirmBeforeTick)
            c.form.Changebutton->click();

        for (qsizetype t = 0; t < script.size(); ++t) {
            const QChar step = script[t];
            if (step != u'-')
                c.driver.AnswerBox(step == u'O' ? QMessageBox::Ok : QMessageBox::Cancel);
            const std::size_t seenBefore = c.driver.SeenBoxes().size();
            c.Tick();
            QCOMPARE(c.driver.Pending(), 0u);
            QCOMPARE(c.driver.SeenBoxes().size(), seenBefore + (step == u'-' ? 0 : 1));
            QCOMPARE(c.form.PendingRateChange, pending[t]);
        }
        for (const ModalDriver::Seen& box : c.driver.SeenBoxes()) {
            QCOMPARE(box.text, Reminder);
            QCOMPARE(box.caption, QStringLiteral("Sedalyn"));
            QCOMPARE(box.buttons, QMessageBox::Ok | QMessageBox::Cancel);
        }
        QCOMPARE(c.form.InfusionRate, 12.0);
        QVERIFY(!c.form.Changebutton->isEnabled());
    }

    void okOnTheReminderWithAnInvalidText()
    {
        Case c;
        c.StartExample(QStringLiteral("10"));
        Case::Type(c.form.InfRateEdit, QStringLiteral("abc"));
        c.Tick();
        c.driver.AnswerBox(QMessageBox::Ok); // the reminder
        c.driver.AnswerBox(QMessageBox::Ok); // the invalid rate
        c.Tick();
        QCOMPARE(c.driver.Pending(), 0u);
        QCOMPARE(c.driver.SeenTexts(), (QStringList{Reminder, InvalidRate}));
        QCOMPARE(c.form.InfusionRate, 0.0);
        QCOMPARE(c.form.InfRateEdit->text(), QStringLiteral("0.0"));
        QCOMPARE(c.form.PendingRateChange, 0);
    }

    // A typed rate enters the models only at the tick after its confirmation.
    void unconfirmedRateStaysOutOfTheModels()
    {
        Case c;
        c.StartExample(QStringLiteral("10"));
        c.Tick();
        Case::Type(c.form.InfRateEdit, QStringLiteral("20"));
        c.Tick();
        QCOMPARE(c.Concentrations(), EnginePanel({10, 10}));
        c.driver.AnswerBox(QMessageBox::Ok);
        c.Tick();
        QCOMPARE(c.Concentrations(), EnginePanel({10, 10, 10}));
        c.Tick();
        QCOMPARE(c.Concentrations(), EnginePanel({10, 10, 10, 20}));
        QCOMPARE(c.driver.SeenTexts(), QStringList{Reminder});
    }

    // A reminder read for 31 s before OK: the next tick makes up every step
    // that fell due meanwhile, each at the rate in use when it fell due, and
    // writes the rows that fell due with the times they stand for, 30 s apart.
    void aHeldTickIsMadeUp()
    {
        Case c;
        const QString path = c.CsvPath();
        c.StartExample(QStringLiteral("10"), path);
        Case::Type(c.form.InfRateEdit, QStringLiteral("20"));
        c.Tick();
        c.driver.AnswerBoxWith([&c](QMessageBox* box) {
            c.seconds += 31; // 20 is confirmed at 41 s
            box->button(QMessageBox::Ok)->click();
        });
        c.Tick(); // 10 s, held until 41 s
        c.Tick(); // 46 s: steps 3 to 9
        std::vector<double> rates(8, 10.0);
        rates.push_back(20.0);
        QCOMPARE(c.form.History.Size(), rates.size());
        QCOMPARE(c.form.History.Last().Minutes, 9 * sedalyn::TickMinutes);
        QCOMPARE(c.Concentrations(), EnginePanel(rates));

        c.Tick(3); // 61 s: step 12
        rates.insert(rates.end(), 3, 20.0);
        QCOMPARE(c.Concentrations(), EnginePanel(rates));
        const QList<QByteArray> lines = FileLines(path);
        QCOMPARE(lines.size(), 13);
        const auto row = [](const QString& time, const QStringList& panel) {
            return (QStringList{time, QStringLiteral("20")} + panel).join(QStringLiteral(", ")).toLatin1();
        };
        QCOMPARE(lines[11], row(QStringLiteral("12:00:30"), EnginePanel({10, 10, 10, 10, 10, 10})));
        // 61 s: the tick comes a second after step 12 fell due.
        QCOMPARE(lines[12], row(QStringLiteral("12:01:00"), c.Concentrations()));
    }
};

SEDALYN_TEST_CLASS(SimulationTickTest)
#include "SimulationTickTest.moc"
