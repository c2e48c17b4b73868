#pragma once
// The trend chart's look ahead: each model's plasma and effect site for the
// next half hour at the rate in use, and the course of an active plan,
// dashed past the case's lines. Computed from the models' exact solution,
// so a tick costs a few exponentials per point and no stepping; drawn by an
// item of the panel's, as its lines are: a Qt Charts series works out its
// outline's stroke afresh on every change, and this one changes every tick.

#include "CaseSession.h"
#include "Projection.h"
#include "TrendSeries.h"

#include <QList>
#include <QObject>
#include <QPointF>
#include <QPointer>

#include <array>
#include <optional>
#include <vector>

class QChart;
class TrendLines;
class TrendPanel;

class TrendProjection : public QObject {
    Q_OBJECT

public:
    static constexpr double AheadMinutes = 30.0;

    // Adds its lines to `panel`'s chart and legend.
    explicit TrendProjection(TrendPanel& panel);
    ~TrendProjection() override;

    // After a tick or a change of plan; a case that is not running shows no projection.
    void Update(const sedalyn::CaseSession& session);

    // By the chart's index: the six, then Eleveld's two.
    const QList<QPointF>& Projected(std::size_t index) const { return m_projected[index]; }
    const QList<QPointF>& PlanCourse() const { return m_course; }

private:
    void Hide();
    void ShowPlanKey(bool shown);
    double ShowPlan(const sedalyn::CaseSession& session, double from, double to);

    TrendPanel& m_panel;
    // The item is the chart's; gone with it when the panel goes first.
    QPointer<QChart> m_chart;
    TrendLines* m_lines;
    std::array<QList<QPointF>, TrendConcentrationCount> m_projected;
    QList<QPointF> m_course;
    std::vector<double> m_minutes;
    // Made again only for another patient or opioid setting.
    std::vector<sedalyn::ModelProjection> m_models;
    std::optional<std::array<double, 4>> m_builtFor;
    std::optional<unsigned> m_planShown;
};
