#include "TrendProjection.h"

#include "BodySize.h"
#include "Style.h"
#include "TrendChartView.h"
#include "TrendPanel.h"

#include <QChart>

#include <algorithm>

using namespace sedalyn;

namespace {

constexpr double PointMinutes = 0.5;

struct ProjectedModel {
    ModelKind kind;
    std::size_t plasma;
    std::size_t effect;
};

constexpr ProjectedModel Models[] = {
    {ModelKind::James, JamesPlasma, JamesEffect},
    {ModelKind::Hume, HumePlasma, HumeEffect},
    {ModelKind::Janmahasatian, HanPlasma, HanEffect},
    {ModelKind::Eleveld, TrendEleveldPlasma, TrendEleveldEffect},
};

QColor Faded(QColor colour)
{
    colour.setAlpha(150);
    return colour;
}

QPen ProjectionPen(const QColor& colour, double width, Qt::PenStyle line)
{
    QPen pen(colour, width, line);
    pen.setCapStyle(Qt::FlatCap);
    return pen;
}

QColor ColourOf(ModelKind kind)
{
    const std::optional<LbmAlgorithm> lbm = SchniderAlgorithm(kind);
    return lbm ? style::ModelColour(*lbm) : style::EleveldColour;
}

QPen CoursePen()
{
    return ProjectionPen(style::Maroon, 3.0, Qt::DashLine);
}

TrendLegendEntry AheadKey()
{
    return {QStringLiteral("Next 30 min at this rate"), ProjectionPen(Faded(Qt::black), 1.5, Qt::DashLine)};
}

} // namespace

TrendProjection::TrendProjection(TrendPanel& panel)
    : QObject(&panel), m_panel(panel), m_chart(panel.Chart()), m_lines(panel.AddLinesAhead(this)),
      m_minutes(EvenMinutes(AheadMinutes, PointMinutes))
{
    m_lines->Add(&m_course, CoursePen());
    for (const ProjectedModel& model : Models) {
        const QColor colour = Faded(ColourOf(model.kind));
        m_lines->Add(&m_projected[model.plasma], ProjectionPen(colour, 1.0, Qt::DotLine));
        m_lines->Add(&m_projected[model.effect], ProjectionPen(colour, 1.5, Qt::DashLine));
    }
    panel.SetAddedLegend({AheadKey()});
}

// The plan's key only while a plan is drawn.
void TrendProjection::ShowPlanKey(bool shown)
{
    std::vector<TrendLegendEntry> keys{AheadKey()};
    if (shown)
        keys.push_back({QStringLiteral("Plan (Ce)"), CoursePen()});
    m_panel.SetAddedLegend(std::move(keys));
}

TrendProjection::~TrendProjection()
{
    if (m_chart)
        delete m_lines; // it draws our points
}

void TrendProjection::Hide()
{
    m_panel.SetAhead(0.0, 0.0);
    bool shown = !m_course.isEmpty();
    for (const QList<QPointF>& points : m_projected)
        shown |= !points.isEmpty();
    if (!shown)
        return;
    for (QList<QPointF>& points : m_projected)
        points.clear();
    m_course.clear();
    if (m_planShown)
        ShowPlanKey(false);
    m_planShown.reset();
    // The chart repaints only what its own lines change.
    m_panel.Refresh();
    m_panel.ChartView()->viewport()->update();
}

void TrendProjection::Update(const CaseSession& session)
{
    const CaseHistory& history = session.History();
    if (!session.Running() || history.Empty()) {
        Hide();
        return;
    }
    const Patient& patient = session.ConfirmedPatient();
    const std::array<double, 4> body{patient.PatientAge, patient.PatientHeight,
                                     patient.PatientWeight * (patient.IsMale() ? 1.0 : -1.0),
                                     session.Opioid() ? 1.0 : 0.0};
    if (m_builtFor != body) {
        m_models.clear();
        for (const ProjectedModel& model : Models)
            m_models.emplace_back(patient, ModelChoice{model.kind, session.Opioid()});
        m_builtFor = body;
    }
    const double now = history.Last().Minutes;
    // Redrawn by the panel's next repaint, which takes in the half hour ahead.
    double peak = 0.0;
    for (std::size_t m = 0; m < std::size(Models); ++m) {
        const ModelState& state = session.StateOf(Models[m].kind);
        const std::vector<ProjectedPoint> points =
            m_models[m].ProjectHeld(state, session.InfusionRate(), m_minutes);
        QList<QPointF>& plasma = m_projected[Models[m].plasma];
        QList<QPointF>& effect = m_projected[Models[m].effect];
        plasma.resize(static_cast<qsizetype>(points.size()));
        effect.resize(static_cast<qsizetype>(points.size()));
        for (std::size_t i = 0; i < points.size(); ++i) {
            const double at = now + points[i].Minutes;
            plasma[static_cast<qsizetype>(i)] = QPointF(at, points[i].Plasma);
            effect[static_cast<qsizetype>(i)] = QPointF(at, points[i].EffectSite);
            peak = std::max(peak, points[i].EffectSite); // a plasma peak is clipped, as on the chart
        }
    }
    peak = std::max(peak, ShowPlan(session, now - 60.0, now + AheadMinutes));
    m_panel.SetAhead(AheadMinutes, peak);
}

double TrendProjection::ShowPlan(const CaseSession& session, double from, double to)
{
    const CasePlan& plan = session.Plan();
    if (!plan.Active()) {
        if (!m_course.isEmpty()) {
            m_course.clear();
            m_lines->update();
        }
        if (m_planShown)
            ShowPlanKey(false);
        m_planShown.reset();
        return 0.0;
    }
    const double start = static_cast<double>(plan.MadeAt()) / 60'000.0;
    if (m_planShown != plan.Serial()) {
        m_course.clear();
        m_course.reserve(static_cast<qsizetype>(plan.Course().size()));
        for (const ProjectedPoint& point : plan.Course())
            m_course.append(QPointF(start + point.Minutes, point.EffectSite));
        m_lines->update();
        if (!m_planShown)
            ShowPlanKey(true);
        m_planShown = plan.Serial();
    }
    // Only the part in sight needs room on the axis.
    double peak = 0.0;
    for (const ProjectedPoint& point : plan.Course())
        if (start + point.Minutes >= from && start + point.Minutes <= to)
            peak = std::max(peak, point.EffectSite);
    return peak;
}
