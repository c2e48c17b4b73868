// The dosing plan of a running case, headless on a controlled clock: made
// from the models' state, its rows falling due, followed or not by the
// rates and boluses given, cleared and made again, and its rows in the file.

#include "QtTestMain.h"
#include "SessionFixture.h"

#include <QTest>

#include <cmath>

using namespace casesupport;
using sedalyn::ModelKind;

namespace {

// The example patient from rate 0, planned to Ce 3 in 5 minutes (James,
// steps of 10 minutes) a tick after Start.
struct Planned {
    explicit Planned(const QString& file = QString(), ModelKind model = ModelKind::James, bool opioid = false)
    {
        c.s.SetOpioid(opioid);
        c.StartExample(QStringLiteral("0"), file);
        c.Tick();
        outcome = c.s.MakePlan(model, QStringLiteral("3"), QStringLiteral("5"), 10.0);
    }

    const sedalyn::CasePlan& Plan() const { return c.s.Plan(); }
    const sedalyn::PlanRow& Row(qsizetype n) const { return Plan().Rows().at(static_cast<std::size_t>(n)); }
    static QString RateOf(double rate) { return QString::number(std::round(rate * 10.0) / 10.0); }

    void TickTo(sedalyn::CaseClockMs at)
    {
        while (c.clock.Ms() < at)
            c.Tick();
    }

    // "bolus" gives the planned bolus, "bolus N" N mg, "row N" confirms row
    // N's rate, "rate X" rate X, "at N S" ticks to S seconds from row N's time.
    void Do(const QString& action)
    {
        const QStringList w = action.split(QLatin1Char(' '));
        if (w[0] == QLatin1String("bolus"))
            c.s.GiveBolus(w.size() > 1 ? w[1] : QString::number(Plan().Plan().Course.BolusMg));
        else if (w[0] == QLatin1String("row"))
            c.Rate(RateOf(Row(w[1].toInt()).Rate));
        else if (w[0] == QLatin1String("rate"))
            c.Rate(w[1]);
        else if (w[0] == QLatin1String("at"))
            TickTo(Row(w[1].toInt()).At + w[2].toInt() * 1000);
    }

    Session c;
    sedalyn::PlanOutcome outcome;
};

} // namespace

class CasePlanTest : public QObject {
    Q_OBJECT

private slots:
    void plansAnInductionWithABolus()
    {
        Planned p;
        QCOMPARE(p.outcome.Refusal, QString());
        QVERIFY(p.Plan().Active());
        QVERIFY(p.Plan().Rows().size() >= 2);
        QCOMPARE(p.Row(0).At, 5000);
        QVERIFY(p.Row(0).BolusMg > 0.0);
        QCOMPARE(p.c.s.PlanLine(), QStringLiteral("Plan: give %1 mg bolus and set %2 mg/kg/hr now")
                                       .arg(p.Row(0).BolusMg)
                                       .arg(Planned::RateOf(p.Row(0).Rate)));
        QVERIFY(p.c.s.PlanSummary().startsWith(QStringLiteral("Plan: Ce 3 mcg/ml by 12:05 (James), steps 10 min")));
        // Beyond the dose limits: the closest plan, and what it misses.
        p.outcome = p.c.s.MakePlan(ModelKind::James, QStringLiteral("10"), QStringLiteral("0"), 10.0);
        QVERIFY(p.outcome.Unmet.startsWith(QStringLiteral("reach")));
        QVERIFY(p.c.s.PlanSummary().contains(QStringLiteral("Requirement not met within the dose limits: reach")));
        QVERIFY(p.Row(0).BolusMg <= 4.0 * 77.0);
    }

    // Following the plan in the case itself brings the planned model's Ce
    // in the case to the target and holds it there.
    void followedPlanReachesAndHoldsTheTarget_data()
    {
        QTest::addColumn<ModelKind>("model");
        QTest::addColumn<bool>("opioid");
        QTest::newRow("James") << ModelKind::James << false;
        QTest::newRow("Eleveld with opioid") << ModelKind::Eleveld << true;
    }
    void followedPlanReachesAndHoldsTheTarget()
    {
        QFETCH(ModelKind, model);
        QFETCH(bool, opioid);
        Planned p(QString(), model, opioid);
        QCOMPARE(p.outcome.Refusal, QString());
        p.Do(QStringLiteral("bolus"));
        p.Do(QStringLiteral("row 0"));
        for (qsizetype row = 1; row < static_cast<qsizetype>(p.Plan().Rows().size()) && p.Row(row).At < 3'600'000; ++row) {
            p.Do(QStringLiteral("at %1 0").arg(row));
            QCOMPARE(p.c.s.PlanLine(), QStringLiteral("Plan: set %1 mg/kg/hr now").arg(Planned::RateOf(p.Row(row).Rate)));
            p.Do(QStringLiteral("row %1").arg(row));
            QCOMPARE(p.c.s.PlanLine(), QString());
            const double ce = model == ModelKind::Eleveld ? p.c.s.Eleveld().Slot.State[sedalyn::StateEffectSite]
                                                          : p.c.s.Engine().Concentrations()[sedalyn::JamesEffect];
            const double ratio = ce / 3.0;
            QVERIFY2(std::abs(ratio - 1.0) < 0.06, qPrintable(QString::number(ratio)));
        }
        QVERIFY(!p.Plan().DepartedAt());
    }

    void following_data()
    {
        QTest::addColumn<QStringList>("actions");
        QTest::addColumn<int>("nextRow");
        QTest::addColumn<int>("departedAtRow"); // -1: followed; else the departure's seconds after that row's time
        QTest::addColumn<int>("departedSeconds");
        QTest::newRow("bolus and first rate") << QStringList{"bolus", "row 0"} << 1 << -1 << 0;
        QTest::newRow("second rate a minute early")
            << QStringList{"bolus", "row 0", "at 1 -60", "row 1"} << 2 << -1 << 0;
        QTest::newRow("second rate too early")
            << QStringList{"bolus", "row 0", "at 1 -65", "row 1"} << 1 << 1 << -65;
        QTest::newRow("late, a row skipped")
            << QStringList{"bolus", "row 0", "at 2 10", "row 2"} << 3 << -1 << 0;
        QTest::newRow("another rate") << QStringList{"bolus", "row 0", "at 1 20", "rate 5"} << 1 << 1 << 20;
        QTest::newRow("another bolus") << QStringList{"bolus 20"} << 0 << 0 << 0;
        QTest::newRow("planned bolus twice") << QStringList{"bolus", "row 0", "bolus"} << 1 << 0 << 0;
    }
    void following()
    {
        QFETCH(QStringList, actions);
        QFETCH(int, nextRow);
        QFETCH(int, departedAtRow);
        QFETCH(int, departedSeconds);
        Planned p;
        for (const QString& action : actions)
            p.Do(action);
        QCOMPARE(p.Plan().NextRow(), static_cast<std::size_t>(nextRow));
        if (departedAtRow < 0) {
            QVERIFY(!p.Plan().DepartedAt());
            return;
        }
        QCOMPARE(p.Plan().DepartedAt(), p.Row(departedAtRow).At + departedSeconds * 1000);
        // Still shown, marked, and nothing said due any more.
        QVERIFY(p.Plan().Active());
        QVERIFY(p.c.s.PlanSummary().endsWith(
            QStringLiteral("Not followed since %1.").arg(p.c.s.PlanClockText(*p.Plan().DepartedAt()))));
        QCOMPARE(p.c.s.PlanLine(), QString());
    }

    // The plan, its departure, a plan made again and the plan cleared are
    // rows of the data file.
    void eventRows()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("case.csv"));
        Planned q(path);
        q.Do(QStringLiteral("rate 5"));
        const unsigned first = q.Plan().Serial();
        q.c.Tick();
        q.outcome = q.c.s.MakePlan(ModelKind::Hume, QStringLiteral("4"), QStringLiteral("2"), 5.0);
        QVERIFY(q.Plan().Serial() != first);
        QVERIFY(!q.Plan().DepartedAt());
        q.c.s.ClearPlan();
        QVERIFY(!q.Plan().Active());
        QStringList events;
        for (const QByteArray& line : FileLines(path))
            if (line.contains("plan"))
                events << QString::fromUtf8(line.left(line.indexOf(", 0") > 0 ? line.indexOf(", 0") : line.size()));
        QCOMPARE(events, (QStringList{"12:00:05,\"plan Ce 3 by 12:05 (James), steps 10 min\"",
                                      "12:00:05, plan not followed: rate 5 mg/kg/hr",
                                      "12:00:10,\"plan Ce 4 by 12:02 (Hume), steps 5 min\"", "12:00:10, plan cleared"}));
    }

    void refusals_data()
    {
        QTest::addColumn<bool>("started");
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("reach");
        QTest::newRow("before Start") << false << "3" << "5";
        QTest::newRow("target 0") << true << "0" << "5";
        QTest::newRow("target above 10") << true << "10.5" << "5";
        QTest::newRow("target no number") << true << "3x" << "5";
        QTest::newRow("reach negative") << true << "3" << "-1";
        QTest::newRow("reach beyond 2 h") << true << "3" << "121";
    }
    void refusals()
    {
        QFETCH(bool, started);
        QFETCH(QString, target);
        QFETCH(QString, reach);
        Session c;
        c.Confirm(QStringLiteral("53"), QStringLiteral("1.77"), QStringLiteral("77"));
        if (started)
            c.Start();
        QVERIFY(!c.s.MakePlan(ModelKind::James, target, reach, 10.0).Refusal.isEmpty());
        QVERIFY(!c.s.Plan().Active());
    }
};

SEDALYN_TEST_CLASS(CasePlanTest)
#include "CasePlanTest.moc"
