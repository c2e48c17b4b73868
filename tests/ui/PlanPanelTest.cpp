// The dosing plan through the window: an induction planned and followed
// step by step by the user's own bolus and rate confirmations, the chart's
// look ahead moving with the case, a departure and a replan.

#include "CaseFixture.h"
#include "CasePanel.h"
#include "PlanPanel.h"
#include "QtTestMain.h"
#include "TrendPanel.h"
#include "TrendProjection.h"

#include <QPushButton>
#include <QTest>
#include <QValueAxis>

#include <cmath>

using namespace casefixture;

namespace {

void ConfirmRate(Case& c, double rate)
{
    Case::Type(c.form.InfRateEdit, QString::number(std::round(rate * 10.0) / 10.0));
    c.form.Changebutton->click();
}

QStringList LegendOf(Case& c)
{
    QStringList texts;
    for (const TrendLegendEntry& entry : c.form.Side->Trend->ChartView()->Legend())
        texts << entry.text;
    return texts;
}

// With SEDALYN_PLAN_PICTURES set, the window as it stands, for a look by eye.
void Picture(Case& c, const char* name)
{
    if (const QByteArray folder = qgetenv("SEDALYN_PLAN_PICTURES"); !folder.isEmpty()) {
        c.form.TrendButton->setChecked(true);
        c.form.grab().save(QString::fromLocal8Bit(folder) + QLatin1Char('/') + QLatin1String(name));
    }
}

} // namespace

class PlanPanelTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { VERIFY_NO_STRAY_MODALS(); }

    void inductionFollowedThenReplanned()
    {
        Case c;
        c.form.SetDisclaimerShown(true);
        c.form.show();
        c.StartExample(QStringLiteral("0"));
        c.Tick();
        PlanPanel& view = *c.form.Side->PlanView;
        const TrendProjection& ahead = *c.form.Side->Projection;
        const QString planKey = QStringLiteral("Plan (Ce)");
        QVERIFY(!LegendOf(c).contains(planKey));
        Case::Type(view.TargetEdit, QStringLiteral("3"));
        Case::Type(view.ReachEdit, QStringLiteral("5"));
        view.PlanButton->click();
        const sedalyn::CasePlan& plan = c.session().Plan();
        QVERIFY(plan.Active());
        QCOMPARE(ahead.PlanCourse().size(), static_cast<qsizetype>(plan.Course().size()));
        // The panel writing its legend again keeps the look ahead's keys.
        c.form.Side->Trend->SetOpioid(true);
        QCOMPARE(LegendOf(c).mid(LegendOf(c).size() - 2),
                 (QStringList{QStringLiteral("Next 30 min at this rate"), planKey}));
        QVERIFY(view.DueLabel->text().startsWith(QStringLiteral("Plan: give ")));

        Case::Type(c.form.Side->BolusEdit, QString::number(plan.Plan().Course.BolusMg));
        c.form.Side->BolusButton->click();
        for (std::size_t row = 0; row < plan.Rows().size() && plan.Rows()[row].At <= 20 * 60'000; ++row) {
            while (c.clock.Ms() < plan.Rows()[row].At)
                c.Tick();
            QVERIFY(view.DueLabel->isVisibleTo(&view));
            ConfirmRate(c, plan.Rows()[row].Rate);
            QVERIFY(!view.DueLabel->isVisibleTo(&view));
        }
        c.Tick();
        // The look ahead starts where the case stands, for each line of the panel.
        const QList<QPointF>& effect = ahead.Projected(sedalyn::JamesEffect);
        QCOMPARE(effect.size(), 61);
        QCOMPARE(effect.at(0).x(), c.session().History().Last().Minutes);
        QCOMPARE(effect.at(0).y(), c.session().Engine().Concentrations()[sedalyn::JamesEffect]);
        QCOMPARE(ahead.Projected(TrendEleveldEffect).size(), 61);
        QCOMPARE(ahead.Projected(TrendEleveldEffect).at(0).y(), c.session().Eleveld().EffectSite());
        QVERIFY(std::abs(effect.at(0).y() / 3.0 - 1.0) < 0.05);
        QVERIFY(c.form.Side->Trend->TimeAxis()->max() >= effect.at(60).x());
        Picture(c, "plan-followed.png");

        ConfirmRate(c, 2.0);
        QVERIFY(view.SummaryLabel->text().contains(QStringLiteral("Not followed since")));
        QVERIFY(view.ReplanButton->isVisibleTo(&view));
        Case::Type(view.TargetEdit, QStringLiteral("4"));
        view.ReplanButton->click();
        QVERIFY(!view.ReplanButton->isVisibleTo(&view));
        QVERIFY(view.SummaryLabel->text().startsWith(QStringLiteral("Plan: Ce 4 mcg/ml")));
        c.Tick(12 * 15);
        Picture(c, "plan-replanned.png");
        view.ClearButton->click();
        QCOMPARE(ahead.PlanCourse().size(), 0);
        QVERIFY(!LegendOf(c).contains(planKey));
        QVERIFY(!view.Table->isVisibleTo(&view));
        c.Abort();
        QCOMPARE(ahead.Projected(sedalyn::JamesEffect).size(), 0);
        QCOMPARE(c.form.Side->Trend->TimeAxis()->max(), 30.0);
    }
};

SEDALYN_TEST_CLASS(PlanPanelTest)
#include "PlanPanelTest.moc"
