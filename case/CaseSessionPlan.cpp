// The running case's dosing plan: made from the models' state now, followed
// by the rates and boluses the user gives, and written to the data file.

#include "CaseSession.h"

#include "BodySize.h"
#include "CaseText.h"

#include <QStringList>

#include <cmath>

namespace sedalyn {

using casetext::BoxNumber;
using casetext::EditText;
using casetext::GeneralText;
using casetext::Q;

namespace {

constexpr double CourseStepMinutes = 0.5;

// As the planner rounds them, without the binary fraction's tail.
QString PlanRateText(double rate)
{
    return EditText(std::round(rate / PlanRateResolution) * PlanRateResolution);
}

QString UnmetText(unsigned unmet)
{
    QStringList names;
    for (const PlanRequirement requirement : {PlanReach, PlanCeiling, PlanHold})
        if (unmet & requirement)
            names << QString::fromLatin1(PlanRequirementText(requirement));
    return names.join(QStringLiteral("; "));
}

} // namespace

const ModelState& CaseSession::StateOf(ModelKind model) const
{
    const std::optional<LbmAlgorithm> algorithm = SchniderAlgorithm(model);
    return algorithm ? m_engine.Slot(*algorithm).State : m_eleveld.Slot.State;
}

PlanOutcome CaseSession::MakePlan(ModelKind model, const QString& target, const QString& reach, double stepMinutes)
{
    if (!Running())
        return {QStringLiteral("A plan starts from the models' state: Start the case first."), {}};
    const std::optional<double> ce = BoxNumber(target, m_locale);
    if (!ce || !(*ce > 0.0 && *ce <= PlanMaxTarget))
        return {QStringLiteral("Target Ce - data not valid. The target must be a number above 0 and up to %1 "
                               "mcg/ml (the decimal mark may be %2).")
                    .arg(GeneralText(PlanMaxTarget, m_locale), casetext::DecimalMarks(m_locale)),
                {}};
    const std::optional<double> minutes = BoxNumber(reach, m_locale);
    if (!minutes || !(*minutes >= 0.0 && *minutes <= PlanMaxReachMinutes))
        return {QStringLiteral("Reach in - data not valid. The time must be a number of minutes from 0 to %1.")
                    .arg(GeneralText(PlanMaxReachMinutes, m_locale)),
                {}};

    // Rows falling due since the last tick are made up first: the plan
    // starts from the state they leave.
    TakeDueSteps();
    PlanRequest request;
    request.Model = {model, m_opioid};
    request.Now = StateOf(model);
    request.Target = *ce;
    request.ReachMinutes = *minutes;
    request.StepMinutes = stepMinutes;
    request.HorizonMinutes = PlanHorizonMinutes;
    DosePlan plan = PlanDoses(m_patient, request);
    if (!plan.Refusal.empty())
        return {Q(plan.Refusal), {}};

    const ModelProjection projection(m_patient, request.Model);
    const std::vector<double> minutesAhead = EvenMinutes(request.HorizonMinutes, CourseStepMinutes);
    std::vector<ProjectedPoint> course = projection.Project(request.Now, plan.Course, minutesAhead);
    const PlanOutcome outcome{{}, UnmetText(plan.Check.Unmet)};
    m_plan.Set(request, std::move(plan), m_timeline.StepsTaken() * CaseTimeline::StepMs, m_rate, std::move(course));
    WriteEvent(QStringLiteral("plan Ce %1 by %2 (%3), steps %4 min")
                   .arg(EditText(request.Target),
                        PlanClockText(m_plan.MadeAt() + std::llround(request.ReachMinutes * 60'000.0)),
                        QLatin1String(ModelKindName(model)), EditText(stepMinutes)));
    return outcome;
}

void CaseSession::ClearPlan()
{
    if (!m_plan.Active())
        return;
    m_plan.Clear();
    if (Running())
        WriteEvent(QStringLiteral("plan cleared"));
}

void CaseSession::NotePlanDeparture(bool departed, const QString& what)
{
    if (departed)
        WriteEvent(QStringLiteral("plan not followed: ") + what);
}

QString CaseSession::PlanClockText(CaseClockMs at) const
{
    return Q(ClockText(m_startTime + static_cast<double>(at) / MillisecondsPerDay, m_locale));
}

QString CaseSession::PlanLine() const
{
    if (!Running() || !m_plan.Due(CaseClock()))
        return {};
    QStringList actions;
    if (m_plan.BolusOutstanding())
        actions << QStringLiteral("give %1 mg bolus").arg(GeneralText(m_plan.Plan().Course.BolusMg, m_locale));
    const std::size_t next = m_plan.NextRow();
    if (next < m_plan.Rows().size() && m_plan.Rows()[next].At <= CaseClock())
        actions << QStringLiteral("set %1 mg/kg/hr").arg(PlanRateText(m_plan.Rows()[next].Rate));
    return QStringLiteral("Plan: %1 now").arg(actions.join(QStringLiteral(" and ")));
}

QString CaseSession::PlanSummary() const
{
    if (!m_plan.Active())
        return {};
    const PlanRequest& request = m_plan.Request();
    QStringList lines{QStringLiteral("Plan: Ce %1 mcg/ml by %2 (%3), steps %4 min")
                          .arg(GeneralText(request.Target, m_locale),
                               PlanClockText(m_plan.MadeAt() + std::llround(request.ReachMinutes * 60'000.0)),
                               QLatin1String(ModelKindName(request.Model.Kind)),
                               GeneralText(request.StepMinutes, m_locale))};
    if (const std::optional<double> fall = m_plan.Plan().FallMinutes)
        lines << QStringLiteral("Infusion stopped, Ce falls to the target at %1.")
                     .arg(PlanClockText(m_plan.MadeAt() + std::llround(*fall * 60'000.0)));
    if (const unsigned unmet = m_plan.Plan().Check.Unmet)
        lines << QStringLiteral("Requirement not met within the dose limits: %1.").arg(UnmetText(unmet));
    if (const std::optional<CaseClockMs> departed = m_plan.DepartedAt())
        lines << QStringLiteral("Not followed since %1.").arg(PlanClockText(*departed));
    return lines.join(QLatin1Char('\n'));
}

} // namespace sedalyn
