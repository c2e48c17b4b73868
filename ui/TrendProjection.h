#pragma once
// The trend chart's look ahead: each model's plasma and effect site for the
// next half hour at the rate in use, and the course of an active plan,
// dashed past the case's lines. Computed from the models' exact solution,
// so a tick costs a few exponentials per point and no stepping.

#include "CaseSession.h"
#include "Projection.h"
#include "TrendSeries.h"

#include <QObject>

#include <array>
#include <optional>
#include <vector>

class QLineSeries;
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
    QLineSeries* Projected(std::size_t index) const { return m_projected[index]; }
    QLineSeries* PlanCourse() const { return m_course; }

private:
    void Hide();
    void ShowPlanKey(bool shown);
    double ShowPlan(const sedalyn::CaseSession& session, double from, double to);

    TrendPanel& m_panel;
    std::array<QLineSeries*, TrendConcentrationCount> m_projected{};
    QLineSeries* m_course = nullptr;
    std::vector<double> m_minutes;
    // Made again only for another patient or opioid setting.
    std::vector<sedalyn::ModelProjection> m_models;
    std::optional<std::array<double, 4>> m_builtFor;
    std::optional<unsigned> m_planShown;
};
