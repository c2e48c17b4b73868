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
        std::vector<bool> abortEnabled;
        // The engine reads the gender while it integrates.
        c.form.Patient.GenderCaption = [&c, &abortEnabled] {
            abortEnabled.push_back(c.form.AbortButton->isEnabled());
            return c.form.Genderbutton->text().toStdString();
        };
        c.Tick();
        QVERIFY(!abortEnabled.empty());
        QCOMPARE(std::count(abortEnabled.begin(), abortEnabled.end(), true), 0);
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
};

SEDALYN_TEST_CLASS(SimulationTickTest)
#include "SimulationTickTest.moc"
