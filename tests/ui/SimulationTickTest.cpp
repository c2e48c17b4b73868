// The 5-second tick in the window: the panel, AbortButton while the models
// are integrated, and the reminder of an unconfirmed rate as a box.

#include "CaseFixture.h"
#include "QtTestMain.h"

#include <QTest>

using namespace casefixture;

class SimulationTickTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { VERIFY_NO_STRAY_MODALS(); }

    void panelShowsTheTick()
    {
        Case c(DecimalComma());
        c.StartExample(QStringLiteral("10"));
        c.Tick(12);
        QCOMPARE(c.Concentrations(), (QStringList{"1,97", "0,44", "1,96", "0,44", "1,96", "0,44"}));
        QVERIFY(c.driver.SeenBoxes().empty());
    }

    // The case reads its clock when the tick begins, before the panel shows
    // the new values: AbortButton is disabled by then.
    void abortButtonIsDisabledWhileTheModelsAreIntegrated()
    {
        Case c;
        c.StartExample(QStringLiteral("10"));
        int whileIntegrating = 0;
        int abortEnabled = 0;
        c.clock.onRead = [&] {
            if (c.form.Jameslabel->text() == QLatin1String("0.00")) {
                ++whileIntegrating;
                abortEnabled += c.form.AbortButton->isEnabled() ? 1 : 0;
            }
        };
        c.Tick();
        c.clock.onRead = nullptr;
        QVERIFY(whileIntegrating > 0);
        QCOMPARE(abortEnabled, 0);
        QVERIFY(c.form.AbortButton->isEnabled());
    }

    // The reminder comes at the tick after next, as an OK/Cancel box that
    // does not hold the ticks; OK confirms, Cancel brings it back.
    void reminderIsABox()
    {
        Case c;
        c.StartExample(QStringLiteral("10"));
        Case::Type(c.form.InfRateEdit, QStringLiteral("12"));
        c.Tick();
        QVERIFY(c.driver.SeenBoxes().empty());
        c.driver.AnswerBox(QMessageBox::Cancel);
        c.Tick();
        c.driver.AnswerBox(QMessageBox::Ok);
        c.Tick();
        c.Tick();
        QCOMPARE(c.driver.Pending(), 0u);
        QCOMPARE(c.driver.SeenTexts(), QStringList(2, Reminder(QStringLiteral("12"), QStringLiteral("10"))));
        for (const ModalDriver::Seen& box : c.driver.SeenBoxes()) {
            QCOMPARE(box.caption, QStringLiteral("Sedalyn"));
            QCOMPARE(box.buttons, QMessageBox::Ok | QMessageBox::Cancel);
        }
        QCOMPARE(c.session().InfusionRate(), 12.0);
        QVERIFY(!c.form.Changebutton->isEnabled());
    }

    // OK on the reminder with a typo: the refusal, and the reminder again.
    void okOnTheReminderWithAnInvalidText()
    {
        Case c;
        c.StartExample(QStringLiteral("10"));
        Case::Type(c.form.InfRateEdit, QStringLiteral("abc"));
        c.Tick();
        c.driver.AnswerBox(QMessageBox::Ok); // the reminder
        c.driver.AnswerBox(QMessageBox::Ok); // the refusal
        c.Tick();
        c.driver.AnswerBox(QMessageBox::Cancel);
        c.Tick();
        QCOMPARE(c.driver.Pending(), 0u);
        const QString reminder = Reminder(QStringLiteral("abc"), QStringLiteral("10"));
        QCOMPARE(c.driver.SeenTexts(), (QStringList{reminder, RefusedRate, reminder}));
        QCOMPARE(c.form.InfRateEdit->text(), QStringLiteral("abc"));
        QCOMPARE(c.session().InfusionRate(), 10.0);
    }

    // A reminder left open for a minute holds nothing: every tick goes on
    // behind it, and OK then confirms the box as it stands.
    void reminderLeftOpenHoldsNothing()
    {
        Case c;
        c.StartExample(QStringLiteral("10"));
        Case::Type(c.form.InfRateEdit, QStringLiteral("12"));
        c.Tick(2);
        QVERIFY(QApplication::activeModalWidget());
        const QString atTheReminder = c.form.Jameslabel->text();
        for (int i = 0; i < 12; ++i) {
            c.clock.seconds += 5.0;
            c.form.Timer3Timer(c.form.Timer3);
        }
        QCOMPARE(c.session().Timeline().StepsTaken(), 14);
        QVERIFY(c.form.Jameslabel->text() != atTheReminder);
        QCOMPARE(c.Concentrations(), Reference(std::vector<double>(14, 10)));
        c.driver.AnswerBox(QMessageBox::Ok);
        c.Settle();
        QCOMPARE(c.driver.SeenTexts(), QStringList{Reminder(QStringLiteral("12"), QStringLiteral("10"))});
        QCOMPARE(c.session().InfusionRate(), 12.0);
    }
};

SEDALYN_TEST_CLASS(SimulationTickTest)
#include "SimulationTickTest.moc"
