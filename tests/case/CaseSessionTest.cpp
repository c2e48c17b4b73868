// The case through its verbs, headless on a controlled clock: the patient,
// the rate and its reminder, the tick, boluses, the clocks and the lines
// the panel shows.

#include "QtTestMain.h"
#include "SessionFixture.h"

#include <QRegularExpression>
#include <QTest>

#include <cmath>

using namespace casesupport;
using sedalyn::BolusOutcome;
using sedalyn::RateOutcome;
using sedalyn::RateTextState;

namespace {

QString Faulty(const char* fields)
{
    return QStringLiteral("Error in %1. All inputs must be >= 0 and numeric.").arg(QLatin1String(fields));
}

QString Refusal(double age, double height, double weight)
{
    return QString::fromStdString(sedalyn::PatientRefusal({age, height, weight, [] { return std::string("Male"); }}));
}

QStringList Shown(const sedalyn::PatientTexts& t)
{
    return {t.Age, t.Height, t.Weight, t.Bmi, t.JamesLbm, t.HumeLbm, t.HanLbm};
}

QStringList Understood(const char* age, const char* height, const char* weight, const char* bmi,
                       const char* james, const char* hume, const char* han)
{
    return {QLatin1String(age), QLatin1String(height), QLatin1String(weight),
            QStringLiteral("BMI (kg/m2) = ") + QLatin1String(bmi), QStringLiteral("LBM (James) = ") + QLatin1String(james),
            QStringLiteral("LBM (Hume) = ") + QLatin1String(hume),
            QStringLiteral("LBM (Janmahasation) = ") + QLatin1String(han)};
}

} // namespace

class CaseSessionTest : public QObject {
    Q_OBJECT

private slots:
    // Faulty fields are named in one message; a patient the model has no
    // physical meaning for is refused; a valid one is shown as understood.
    void patientConfirmation_data()
    {
        QTest::addColumn<QString>("age");
        QTest::addColumn<QString>("height");
        QTest::addColumn<QString>("weight");
        QTest::addColumn<bool>("female");
        QTest::addColumn<QString>("refusal");
        QTest::addColumn<QStringList>("shown");
        const QStringList none;
        QTest::newRow("start-up zeros") << "0" << "0" << "0" << false << Faulty("Height & Weight") << none;
        QTest::newRow("age -1") << "-1" << "1.75" << "80" << false << Faulty("Age") << none;
        QTest::newRow("all three") << "-1" << "0" << "" << false << Faulty("Height, Weight & Age") << none;
        QTest::newRow("empty height") << "45" << "" << "80" << false << Faulty("Height") << none;
        QTest::newRow("decimal comma") << "45" << "1,75" << "80" << false << Faulty("Height") << none;
        QTest::newRow("lone point") << "45" << "." << "80" << false << Faulty("Height") << none;
        QTest::newRow("point without digits after") << "45" << "5." << "80" << false << Faulty("Height") << none;
        QTest::newRow("exponent without mantissa") << "45" << "1.75" << "e5" << false << Faulty("Weight") << none;
        QTest::newRow("height and age") << "abc" << "-1.75" << "80" << false << Faulty("Height & Age") << none;
        QTest::newRow("weight and age") << "45-" << "1.75" << "0" << false << Faulty("Weight & Age") << none;
        QTest::newRow("too large") << "45" << "1.75" << "1e400" << false << Faulty("Weight") << none;
        QTest::newRow("age 102") << "102" << "1.75" << "80" << false << Refusal(102, 1.75, 80) << none;
        QTest::newRow("newborn") << "0" << "0.5" << "3.5" << false << Refusal(0, 0.5, 3.5) << none;
        QTest::newRow("height in centimetres")
            << "53" << "177" << "77" << false << "Height above 2.5 m. Height is in metres, for example 1.75." << none;
        QTest::newRow("weight in grams") << "53" << "1.77" << "80000" << false << Refusal(53, 1.77, 80000) << none;
        QTest::newRow("plain") << "45" << "1.75" << "80" << false << QString()
                               << Understood("45", "1.75", "80", "26.12", "61.25", "60.02", "60.18");
        QTest::newRow("rewritten") << "+45" << "1.750" << "+80" << false << QString()
                                   << Understood("45", "1.75", "80", "26.12", "61.25", "60.02", "60.18");
        QTest::newRow("blanks around") << " 45 " << "1.75\t" << "80  " << false << QString()
                                       << Understood("45", "1.75", "80", "26.12", "61.25", "60.02", "60.18");
        QTest::newRow("leading blanks, no integer digits, exponent")
            << ".5" << " 1.75" << "1e2" << false << QString()
            << Understood("0.5", "1.75", "100", "32.65", "68.2", "68.15", "67.5");
        QTest::newRow("female") << "0" << "1.75" << "80" << true << QString()
                                << Understood("0", "1.75", "80", "26.12", "54.67", "54.43", "48.94");
    }
    void patientConfirmation()
    {
        QFETCH(QString, age);
        QFETCH(QString, height);
        QFETCH(QString, weight);
        QFETCH(bool, female);
        QFETCH(QString, refusal);
        QFETCH(QStringList, shown);
        Session c;
        const auto outcome =
            c.Confirm(age, height, weight, female ? QStringLiteral("Female") : QStringLiteral("Male"));
        QCOMPARE(outcome.Refusal, refusal);
        if (!refusal.isEmpty()) {
            QCOMPARE(c.s.Stage(), sedalyn::CaseStage::PatientEntry);
            return;
        }
        QCOMPARE(Shown(outcome.Shown), shown);
        QCOMPARE(c.s.Stage(), sedalyn::CaseStage::PatientConfirmed);
        QCOMPARE(c.s.ConfirmedPatient().IsMale(), !female);
    }

    // Where the locale writes a decimal comma, the boxes take it beside ".",
    // and the error says which marks they take.
    void patientUnderADecimalComma()
    {
        Session c(DecimalComma());
        QCOMPARE(c.Confirm(QStringLiteral("45"), QStringLiteral("1,75"), QStringLiteral("1.7.5")).Refusal,
                 Faulty("Weight") + QStringLiteral("\nNumbers may use \".\" or \",\" as the decimal mark."));
        const auto outcome = c.Confirm(QStringLiteral("45,5"), QStringLiteral("1,75"), QStringLiteral("80.5"));
        QCOMPARE(outcome.Refusal, QString());
        QCOMPARE(Shown(outcome.Shown).mid(0, 4), (QStringList{"45.5", "1.75", "80.5", "BMI (kg/m2) = 26,29"}));
    }

    // A warning stays while the patient is confirmed; none for a patient of
    // the study's population.
    void patientWarnings()
    {
        Session c;
        const QStringList heavy = c.Confirm(QStringLiteral("53"), QStringLiteral("1.77"), QStringLiteral("140"))
                                      .Shown.Warnings;
        QCOMPARE(heavy.size(), 2);
        QVERIFY(heavy[0].startsWith(QStringLiteral("Outside the Schnider study population")));
        QVERIFY(heavy[1].contains(QStringLiteral("James lean body mass falls")));
        c.s.Abort();
        QVERIFY(c.Confirm(QStringLiteral("45"), QStringLiteral("1.75"), QStringLiteral("80")).Shown.Warnings.isEmpty());
    }

    // A confirmed rate is written back as understood. A typo is refused and
    // changes nothing: the rate in use stays, the box keeps what was typed
    // and the change stays pending.
    void rateConfirmation_data()
    {
        QTest::addColumn<bool>("decimalComma");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<double>("rate"); // -1: refused
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("message");
        const QString expected = QStringLiteral("\nA rate is a number of mg/kg/hr from 0 to 1000, for example 6.5; "
                                                "the decimal mark may be \".\".");
        const QString aboveMaximum = QString::fromLatin1(sedalyn::RateAboveMaximumText) + expected;
        QTest::newRow("6") << false << "6" << 6.0 << "6" << QString();
        QTest::newRow("06.50") << false << "06.50" << 6.5 << "6.5" << QString();
        QTest::newRow("1e1") << false << "1e1" << 10.0 << "10" << QString();
        QTest::newRow("zero") << false << "0" << 0.0 << "0" << QString();
        QTest::newRow("blanks around") << false << " .5   " << 0.5 << "0.5" << QString();
        QTest::newRow("2.e1") << false << "2.e1" << 20.0 << "20" << QString();
        QTest::newRow("comma where the locale has one") << true << "6,5" << 6.5 << "6.5" << QString();
        QTest::newRow("point where the locale has a comma") << true << "6.5" << 6.5 << "6.5" << QString();
        QTest::newRow("above 1000") << false << "1000.5" << -1.0 << "1000.5" << aboveMaximum;
        QTest::newRow("largest double") << false << "1.7976931348623157e308" << -1.0 << "1.7976931348623157e308"
                                        << aboveMaximum;
        QTest::newRow("abc") << false << "abc" << -1.0 << "abc" << InvalidRate + expected;
        QTest::newRow("-1") << false << "-1" << -1.0 << "-1" << InvalidRate + expected;
        QTest::newRow("5.") << false << "5." << -1.0 << "5." << InvalidRate + expected;
        QTest::newRow("empty") << false << "" << -1.0 << "" << InvalidRate + expected;
        QTest::newRow("e5") << false << "e5" << -1.0 << "e5" << InvalidRate + expected;
        QTest::newRow("comma where the locale has none") << false << "6,5" << -1.0 << "6,5" << InvalidRate + expected;
        QTest::newRow("two marks") << true << "6,5.1" << -1.0 << "6,5.1"
                                   << InvalidRate + QString(expected).replace(QStringLiteral("\".\"."),
                                                                              QStringLiteral("\".\" or \",\"."));
    }
    void rateConfirmation()
    {
        QFETCH(bool, decimalComma);
        QFETCH(QString, typed);
        QFETCH(double, rate);
        QFETCH(QString, box);
        QFETCH(QString, message);
        Session c(decimalComma ? DecimalComma() : TwentyFourHour());
        c.Rate(QStringLiteral("4"));
        const RateOutcome outcome = c.Rate(typed);
        const bool accepted = rate >= 0.0;
        QCOMPARE(outcome.What, accepted ? RateOutcome::Kind::Accepted : RateOutcome::Kind::Refused);
        QCOMPARE(outcome.Text, message);
        QCOMPARE(c.s.InfusionRate(), accepted ? rate : 4.0);
        QCOMPARE(c.s.RateText(), box);
        QCOMPARE(outcome.RateLine, accepted ? c.s.RateLine(rate) : QString());
        QCOMPARE(c.s.PendingRate(), accepted ? RateTextState::Confirmed : RateTextState::Changed);
        // Writing back what the confirmation gave is no change.
        c.s.RateTextChanged(box);
        QCOMPARE(c.s.PendingRate(), accepted ? RateTextState::Confirmed : RateTextState::Changed);
    }

    // The reminder comes only while the box differs from the rate in use,
    // and says both.
    void reminderSaysBoth_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("reminder"); // empty: none
        QTest::newRow("8") << "8" << "Confirm the rate change!\nThe rate box holds 8; the model uses 6 mg/kg/hr.";
        QTest::newRow("6 typed again") << "6.0 " << "";
        QTest::newRow("empty") << "" << "Confirm the rate change!\nThe rate box is empty; the model uses 6 mg/kg/hr.";
    }
    void reminderSaysBoth()
    {
        QFETCH(QString, typed);
        QFETCH(QString, reminder);
        Session c;
        c.StartExample(QStringLiteral("6"));
        c.s.RateTextChanged(typed);
        QVERIFY(!c.Tick().Remind);
        QCOMPARE(c.Tick().Reminder, reminder);
        QCOMPARE(c.last.Remind, !reminder.isEmpty());
    }

    // Above 30 mg/kg/hr a confirmation asks once whether the unit is right.
    // No leaves the rate in use; the declined text is reminded about but not
    // asked again from the reminder, until it changes or is confirmed anew.
    void unusuallyHighRateAsksFirst()
    {
        Session c;
        c.StartExample(QStringLiteral("6"));
        QCOMPARE(c.Rate(QStringLiteral("30")).What, RateOutcome::Kind::Accepted);
        const RateOutcome asked = c.Rate(QStringLiteral("70"));
        QCOMPARE(asked.What, RateOutcome::Kind::Question);
        QCOMPARE(asked.Text, QStringLiteral("A rate of 70 mg/kg/hr is unusually high. Is it in mg/kg/hr (not ml/h)?"));
        QCOMPARE(c.s.DeclineRate(), RateLine(QStringLiteral("30")));
        QCOMPARE(c.s.InfusionRate(), 30.0);
        QVERIFY(!c.Tick().Remind);
        QVERIFY(c.Tick().Remind);
        QCOMPARE(c.s.ConfirmRate(sedalyn::RateSource::Reminder).What, RateOutcome::Kind::Declined);
        c.s.ReminderConfirmed();
        QVERIFY(c.Tick().Remind);
        // The button asks again; Yes confirms.
        QCOMPARE(c.s.ConfirmRate().What, RateOutcome::Kind::Question);
        QCOMPARE(c.s.ConfirmRate(sedalyn::RateSource::Box, true).What, RateOutcome::Kind::Accepted);
        QCOMPARE(c.s.InfusionRate(), 70.0);
        // Once in use, the same rate is not asked about again.
        QCOMPARE(c.s.ConfirmRate().What, RateOutcome::Kind::Accepted);
        QVERIFY(!c.Tick().Remind);
    }

    // No at Start: the case starts at the rate in use, and says so.
    void unusuallyHighRateDeclinedAtStart()
    {
        Session c;
        c.Confirm(QStringLiteral("53"), QStringLiteral("1.77"), QStringLiteral("77"));
        c.s.RateTextChanged(QStringLiteral("80"));
        QCOMPARE(c.s.Start().What, RateOutcome::Kind::Question);
        QCOMPARE(c.s.DeclineRate(), RateLine(QStringLiteral("0")));
        QVERIFY(c.s.Running());
        QCOMPARE(c.s.Timeline().RateInUse(), 0.0);
        QVERIFY(!c.Tick().Remind);
        QVERIFY(c.Tick().Remind);
    }

    void panelAfterTicks_data()
    {
        QTest::addColumn<bool>("decimalComma");
        QTest::addColumn<QString>("rate");
        QTest::addColumn<int>("ticks");
        QTest::addColumn<QStringList>("panel");
        QTest::newRow("first tick") << false << "10" << 1 << QStringList{"0.24", "0.00", "0.24", "0.00", "0.24", "0.00"};
        QTest::newRow("one minute") << false << "10" << 12 << QStringList{"1.97", "0.44", "1.96", "0.44", "1.96", "0.44"};
        QTest::newRow("decimal comma") << true << "10" << 12
                                       << QStringList{"1,97", "0,44", "1,96", "0,44", "1,96", "0,44"};
        QTest::newRow("rate 0") << false << "0" << 12 << QStringList(6, QStringLiteral("0.00"));
    }
    void panelAfterTicks()
    {
        QFETCH(bool, decimalComma);
        QFETCH(QString, rate);
        QFETCH(int, ticks);
        QFETCH(QStringList, panel);
        Session c(decimalComma ? DecimalComma() : TwentyFourHour());
        c.StartExample(rate);
        c.Tick(ticks);
        QCOMPARE(c.Panel(), panel);
        QCOMPARE(c.s.Engine().JamesModel.State[sedalyn::StateTime], ticks * sedalyn::TickMinutes);
    }

    // Per tick: '-' no reminder, 'C' a reminder answered Cancel, 'O' OK.
    void reminderOfAnUnconfirmedRate_data()
    {
        QTest::addColumn<bool>("confirmBeforeTick");
        QTest::addColumn<QString>("script");
        QTest::newRow("confirmed before the next tick") << true << "---";
        QTest::newRow("OK at the first reminder") << false << "-O--";
        QTest::newRow("Cancel brings it back") << false << "-CCO-";
    }
    void reminderOfAnUnconfirmedRate()
    {
        QFETCH(bool, confirmBeforeTick);
        QFETCH(QString, script);
        Session c;
        c.StartExample(QStringLiteral("10"));
        c.s.RateTextChanged(QStringLiteral("12"));
        if (confirmBeforeTick)
            c.s.ConfirmRate();
        for (const QChar step : script) {
            QCOMPARE(c.Tick().Remind, step != u'-');
            if (step == u'O') {
                c.s.ConfirmRate(sedalyn::RateSource::Reminder);
                c.s.ReminderConfirmed();
            }
        }
        QCOMPARE(c.s.InfusionRate(), 12.0);
        QCOMPARE(c.s.PendingRate(), RateTextState::Confirmed);
    }

    // OK on the reminder while the box holds a typo: refused, the models go
    // on at the rate in use, and the reminder keeps coming.
    void okOnTheReminderWithAnInvalidText()
    {
        Session c;
        c.StartExample(QStringLiteral("10"));
        c.s.RateTextChanged(QStringLiteral("6   x"));
        c.Tick();
        QVERIFY(c.Tick().Remind);
        QCOMPARE(c.s.ConfirmRate(sedalyn::RateSource::Reminder).What, RateOutcome::Kind::Refused);
        c.s.ReminderConfirmed();
        QCOMPARE(c.s.InfusionRate(), 10.0);
        QCOMPARE(c.s.RateText(), QStringLiteral("6   x"));
        QVERIFY(c.Tick().Remind);
        QCOMPARE(c.PanelWithPoint(), Reference(std::vector<double>(3, 10)));
    }

    // A typed rate enters the models only at the tick after its confirmation.
    void unconfirmedRateStaysOutOfTheModels()
    {
        Session c;
        c.StartExample(QStringLiteral("10"));
        c.Tick();
        c.s.RateTextChanged(QStringLiteral("20"));
        c.Tick();
        QCOMPARE(c.PanelWithPoint(), Reference({10, 10}));
        QVERIFY(c.Tick().Remind);
        c.s.ConfirmRate(sedalyn::RateSource::Reminder);
        c.s.ReminderConfirmed();
        QCOMPARE(c.PanelWithPoint(), Reference({10, 10, 10}));
        c.Tick();
        QCOMPARE(c.PanelWithPoint(), Reference({10, 10, 10, 20}));
    }

    // Steps held back 31 s (a suspended machine) are made up, each at the
    // rate in use when it fell due.
    void aHeldTickIsMadeUp()
    {
        Session c;
        c.StartExample(QStringLiteral("10"));
        c.Tick(2);
        c.clock.seconds += 31;
        c.Rate(QStringLiteral("20")); // confirmed at 41 s: steps 3 to 8 first
        QCOMPARE(c.s.History().Size(), 8u);
        QCOMPARE(c.Tick().Steps, 1); // 46 s: step 9
        std::vector<double> rates(8, 10.0);
        rates.push_back(20.0);
        QCOMPARE(c.s.History().Size(), rates.size());
        QCOMPARE(c.s.History().Last().Minutes, 9 * sedalyn::TickMinutes);
        QCOMPARE(c.PanelWithPoint(), Reference(rates));
    }

    // Start zeroes all three models, effect sites included; the clock
    // counts from Start and wraps after a day.
    void secondCaseStartsFromZero()
    {
        Session c;
        c.StartExample(QStringLiteral("10"));
        c.Tick();
        const QStringList firstTick = c.Panel();
        c.Tick(24);
        c.s.Abort();
        c.Confirm(QStringLiteral("53"), QStringLiteral("1.77"), QStringLiteral("77"));
        c.Start();
        QCOMPARE(c.s.Engine().Concentrations(), sedalyn::SixConcentrations{});
        QVERIFY(c.s.History().Empty());
        c.Tick();
        QCOMPARE(c.Panel(), firstTick);
    }

    void elapsedClock()
    {
        Session c;
        c.ConfirmAdult();
        c.clock.seconds = 3600.0;
        c.Start();
        QCOMPARE(c.s.ElapsedText(), QStringLiteral("Elapsed  00:00:00"));
        c.clock.seconds += 3723.0;
        QCOMPARE(c.s.ElapsedText(), QStringLiteral("Elapsed  01:02:03"));
        c.clock.seconds += 3 * 86400.0 - 3723.0 + 7.0;
        QCOMPARE(c.s.ElapsedText(), QStringLiteral("Elapsed  3 d 00:00:07"));
        c.s.Abort();
        QCOMPARE(c.s.ElapsedText(), QStringLiteral("Elapsed  00:00:00"));
    }

    void systemClockIsTheLocalWallClockInDays()
    {
        const sedalyn::CaseClocks clocks = sedalyn::CaseClocks::System();
        const QDateTime before = QDateTime::currentDateTime();
        const double now = clocks.LocalNow();
        const QDateTime after = QDateTime::currentDateTime();
        const QDate epoch(1899, 12, 30);
        const auto days = [&](const QDateTime& t) {
            return static_cast<double>(epoch.daysTo(t.date())) + t.time().msecsSinceStartOfDay() / 86400000.0;
        };
        QVERIFY(now >= days(before) - 1e-9);
        QVERIFY(now <= days(after) + 1e-9);
    }

    // Decimal comma: labels follow the locale, while the boxes keep "." so
    // that the texts the case wrote into them confirm again after Abort.
    void decimalCommaCaseRunsAgainAfterAbort()
    {
        Session c(DecimalComma());
        const RateOutcome rate = c.Rate(QStringLiteral("06.50"));
        QCOMPARE(rate.RateLine, QStringLiteral("Propofol current infusion rate = 6,5 mg/kg/hr."));
        QCOMPARE(rate.BoxText, QStringLiteral("6.5"));
        const auto first = c.Confirm(QStringLiteral("45.5"), QStringLiteral("1.75"), QStringLiteral("80"));
        const QStringList patient = Understood("45.5", "1.75", "80", "26,12", "61,25", "60,02", "60,18");
        QCOMPARE(Shown(first.Shown), patient);
        c.Start();
        c.Tick();
        c.s.Abort();
        const auto again = c.Confirm(first.Shown.Age, first.Shown.Height, first.Shown.Weight);
        QCOMPARE(again.Refusal, QString());
        QCOMPARE(Shown(again.Shown), patient);
        c.Start();
        QCOMPARE(c.s.InfusionRate(), 6.5);
        QVERIFY(c.s.Running());
    }

    // 77 kg: 308 mg is 4 mg/kg, the most given without a question.
    void bolus_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("yes"); // the answer to a question
        QTest::addColumn<int>("what");
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("given");
        const QString invalid = QStringLiteral("Bolus - data not valid. A bolus must be a number of mg above 0.");
        const int given = int(BolusOutcome::Kind::Given);
        const int refused = int(BolusOutcome::Kind::Refused);
        const QString question = QStringLiteral("A bolus of 400 mg is 5.2 mg/kg. Give it?");
        QTest::newRow("140") << "140" << false << given << QString() << 140.0;
        QTest::newRow("308 is 4 mg/kg") << "308" << false << given << QString() << 308.0;
        QTest::newRow("0") << "0" << false << refused << invalid << 0.0;
        QTest::newRow("-5") << "-5" << false << refused << invalid << 0.0;
        QTest::newRow("comma") << "1,5" << false << refused << invalid << 0.0;
        QTest::newRow("blanks around") << " 140 " << false << given << QString() << 140.0;
        QTest::newRow("empty") << "" << false << refused << invalid << 0.0;
        QTest::newRow("above 1000") << "1001" << false << refused
                                    << "Bolus - data not valid. A bolus above 1000 mg is not accepted: "
                                       "check the dose and its unit (mg)."
                                    << 0.0;
        QTest::newRow("400, No") << "400" << false << int(BolusOutcome::Kind::Question) << question << 0.0;
        QTest::newRow("400, Yes") << "400" << true << int(BolusOutcome::Kind::Question) << question << 400.0;
    }
    void bolus()
    {
        QFETCH(QString, typed);
        QFETCH(bool, yes);
        QFETCH(int, what);
        QFETCH(QString, text);
        QFETCH(double, given);
        Session c;
        QCOMPARE(c.s.GiveBolus(typed).What, BolusOutcome::Kind::NoCase);
        c.StartExample(QStringLiteral("10"));
        c.Tick(38); // 3:10 of the case
        BolusOutcome outcome = c.s.GiveBolus(typed);
        QCOMPARE(int(outcome.What), what);
        QCOMPARE(outcome.Text, text);
        if (yes)
            outcome = c.s.GiveBolus(typed, true);
        c.Tick();
        QCOMPARE(c.s.History().Last().BolusMg, given);
        if (given > 0)
            QCOMPARE(outcome.LastBolusLine, QStringLiteral("Last bolus: %1 mg (%2 mg/kg) at 00:03:10")
                                                .arg(typed.trimmed(), QString::number(given / 77, 'f', 1)));
    }

    // One record per step; the dose line counts them, the wake-up line
    // reads the models. Start clears the history, Abort keeps it.
    void historyDoseAndWakeUp()
    {
        Session c;
        QCOMPARE(c.s.WakeUpLine(1.2), QStringLiteral("Wake-up if stopped now: -"));
        c.StartExample(QStringLiteral("10"));
        c.Tick(12);
        QCOMPARE(c.s.History().Size(), 12u);
        QCOMPARE(c.s.History().Last().Rate, 10.0);
        // Held as a float: within 1e-6 of the engine's value.
        const double effect = c.s.Engine().JamesModel.State[sedalyn::StateEffectSite];
        QVERIFY(std::abs(c.s.History().Last().Concentrations[sedalyn::JamesEffect] - effect) <= 1e-6 * effect);
        // 10 mg/kg/hr for a minute: 77 / 6 mg.
        QCOMPARE(c.s.DoseLine(), QStringLiteral("Given: 13 mg (0.2 mg/kg) in 00:01:00"));
        QCOMPARE(c.s.WakeUpLine(1.2), QStringLiteral("Wake-up if stopped now: James now  Hume now  Janmahasatian now  Eleveld now"));
        const QRegularExpression times(QStringLiteral("^Wake-up if stopped now: James (\\d+ min )?\\d+ s  Hume (\\d+ min )?\\d+ s  "
                                                      "Janmahasatian (\\d+ min )?\\d+ s  Eleveld (now|(\\d+ min )?\\d+ s)$"));
        QVERIFY2(times.match(c.s.WakeUpLine(0.3)).hasMatch(), qPrintable(c.s.WakeUpLine(0.3)));
        c.s.Abort();
        QCOMPARE(c.s.History().Size(), 12u);
        QCOMPARE(c.s.DoseLine(), QStringLiteral("Given: 13 mg (0.2 mg/kg) in 00:01:00"));
        QCOMPARE(c.s.WakeUpLine(1.2), QStringLiteral("Wake-up if stopped now: -"));
    }
};

SEDALYN_TEST_CLASS(CaseSessionTest)
#include "CaseSessionTest.moc"
