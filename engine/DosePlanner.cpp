#include "DosePlanner.h"

#include "ChosenModel.h"
#include "Eleveld.h"
#include "PharmacokineticEngine.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace sedalyn {

namespace {

// The requirements' figures, as fractions of the target.
constexpr double ReachFromBelow = 0.98;
constexpr double ReachFromAbove = 1.02;
constexpr double CeilingRatio = 1.05;
constexpr double HoldLowRatio = 0.95;
constexpr double HoldHighRatio = 1.05;

// The design aims a little inside them; the ticks differ from the exact
// solution by parts in 1e8, so this is room, not a correction.
constexpr double DesignReachFromBelow = 0.99;
constexpr double DesignReachFromAbove = 1.01;
constexpr double DesignBand = 0.045;
// Falling short of the target at the reach time weighs more than a deviation while holding.
constexpr double ReachWeight = 4.0;
// A rise past the ceiling weighs far more than a deviation within it.
constexpr double CeilingWeight = 100.0;

constexpr int MaxRateTenths = 300; // PlanMaxRate at PlanRateResolution

// Rounding slack when minutes are turned into ticks: 10 minutes are 120
// ticks, not 121 for a last bit.
constexpr long double TickSlack = 1e-9L;

// The last tick (from now) that falls no later than `minutes`.
long long LastTickBy(double minutes)
{
    return static_cast<long long>(std::floor(minutes * static_cast<long double>(TicksPerMinute) + TickSlack));
}

// The first tick that falls at or after `minutes`.
long long FirstTickFrom(double minutes)
{
    return static_cast<long long>(std::ceil(minutes * static_cast<long double>(TicksPerMinute) - TickSlack));
}

double RateOfTenths(int tenths)
{
    return tenths / 10.0; // exactly the double a typed "6.9" becomes
}

// The largest whole-mg bolus the window takes without asking.
double MaxPlanBolus(double weight)
{
    double mg = std::min(MaxBolusMg, std::floor(PlanMaxBolusMgPerKg * weight));
    while (mg > 0.0 && mg / weight > PlanMaxBolusMgPerKg)
        mg -= 1.0;
    return std::max(mg, 0.0);
}

// One model of the case stepped as the case steps it: the engine's tick for
// the Schnider models, the Eleveld model's own.
class CaseTicks {
public:
    CaseTicks(const Patient& patient, ModelChoice model, const ModelState& now)
        : m_patient(patient), m_model(model)
    {
        if (model.Kind == ModelKind::Eleveld) {
            m_eleveld.Reset(model.Opioid);
            m_eleveld.Slot.State = now;
        } else {
            for (const LbmAlgorithm algorithm : AllAlgorithms)
                m_engine.Slot(algorithm).State = now;
        }
    }

    void Advance(double rate, double bolusMg)
    {
        if (m_model.Kind == ModelKind::Eleveld)
            m_eleveld.AdvanceTick(m_patient, rate, bolusMg);
        else
            m_engine.AdvanceTick(m_patient, rate, bolusMg);
    }

    double EffectSite() const
    {
        switch (m_model.Kind) {
        case ModelKind::Eleveld:
            return m_eleveld.EffectSite();
        case ModelKind::Hume:
            return m_engine.HumeModel.State[StateEffectSite];
        case ModelKind::Janmahasatian:
            return m_engine.HanModel.State[StateEffectSite];
        case ModelKind::James:
            break;
        }
        return m_engine.JamesModel.State[StateEffectSite];
    }

private:
    const Patient& m_patient;
    ModelChoice m_model;
    PharmacokineticEngine m_engine;
    EleveldModel m_eleveld;
};

// Ce at every tick from now to the horizon: with nothing given, per mg of a
// bolus now, and per mg/kg/hr of a rate running from now on. Any course is a
// sum of these, shifted to where its rates start.
struct Responses {
    std::vector<double> Free;
    std::vector<double> Bolus;
    std::vector<double> Unit;
};

Responses ResponsesOf(const ChosenModel& model, const ModelState& now, long long ticks)
{
    // One tick of the exact solution as a matrix and a column, then stepped.
    const Concentrations perRate = model.Advance(Concentrations::Zero(), 1.0, TickMinutes);
    Eigen::Matrix4d decay;
    for (Eigen::Index j = 0; j < 4; ++j)
        decay.col(j) = model.Advance(Concentrations::Unit(j), 0.0, TickMinutes);

    Responses r;
    const auto size = static_cast<std::size_t>(ticks + 1);
    r.Free.resize(size);
    r.Bolus.resize(size);
    r.Unit.resize(size);
    Concentrations free = StateConcentrations(now);
    Concentrations bolus = Concentrations::Unit(0) / model.CentralVolume();
    Concentrations unit = Concentrations::Zero();
    for (std::size_t k = 0; k < size; ++k) {
        r.Free[k] = free(3);
        r.Bolus[k] = bolus(3);
        r.Unit[k] = unit(3);
        free = decay * free;
        bolus = decay * bolus;
        unit = decay * unit + perRate;
    }
    return r;
}

// A course on the design: the bolus, the tick its first planned rate starts
// (0 before it), a rate per interval from there, and Ce at every tick.
struct Shape {
    double BolusMg = 0.0;
    long long Start = 0;
    std::vector<int> Tenths;
    std::vector<double> Ce;
};

struct Verdict {
    double Violation = 0.0; // how far outside the design's aims; 0 inside
    double Deviation = 0.0; // the largest |Ce / T - 1| while holding
};

// Chooses the bolus and the first rate together, then the rate of each
// further interval in turn by a one-dimensional search over its tenths.
// Before the hold begins only a rise above the target counts.
class Designer {
public:
    Designer(const Responses& responses, double target, long long stepTicks, long long horizonTicks,
             long long holdFrom, long long ceilingFrom, long long reachBy)
        : m_r(responses), m_target(target), m_step(stepTicks), m_horizon(horizonTicks),
          m_holdFrom(holdFrom), m_ceilingFrom(ceilingFrom), m_reachBy(reachBy)
    {
    }

    // Intervals are planned while they start before `until`; the first
    // rate of those that start before the hold is `approachTenths` when given.
    Shape Plan(double bolusMg, long long start, long long until, int approachTenths = -1) const
    {
        Shape shape;
        shape.BolusMg = bolusMg;
        shape.Start = start;
        shape.Ce.resize(m_r.Free.size());
        for (std::size_t k = 0; k < shape.Ce.size(); ++k)
            shape.Ce[k] = m_r.Free[k] + bolusMg * m_r.Bolus[k];
        for (long long s = start; s < until && s < m_horizon; s += m_step) {
            const long long end = std::min(s + m_step, m_horizon);
            const long long window = std::min(m_horizon, std::max(end, m_holdFrom) + Lookahead());
            const int tenths =
                s < ApproachEnd() && approachTenths >= 0 ? approachTenths : BestTenths(shape.Ce, s, window);
            const double rate = RateOfTenths(tenths);
            for (long long k = s + 1; k <= m_horizon; ++k)
                shape.Ce[Index(k)] +=
                    rate * (m_r.Unit[Index(k - s)] - (k > end ? m_r.Unit[Index(k - end)] : 0.0));
            shape.Tenths.push_back(tenths);
        }
        return shape;
    }

    // The bolus and the first rate together, for a start from below: the
    // pair that keeps Ce closest to the target from the reach time over the
    // first interval, never above it before, and at the reach time already
    // there. The cost is convex in both, so is its least over the rate for
    // each bolus: a ternary search over whole mg around one over the tenths.
    std::pair<double, int> Induction(double maxMg, long long reachBy) const
    {
        const long long approachEnd = ApproachEnd();
        const long long window = std::min(m_horizon, std::max(approachEnd, m_holdFrom + Lookahead()));
        const auto bestFor = [&](double mg) {
            return Ternary(0, MaxRateTenths,
                           [&](int tenths) { return InductionCost(mg, tenths, window, reachBy); });
        };
        const auto mg = Ternary(0, static_cast<int>(maxMg),
                                [&](int whole) { return bestFor(whole).second; });
        return {static_cast<double>(mg.first), bestFor(mg.first).first};
    }

    // The design's aims over ticks up to `last`: reached by `reachBy`
    // (from below or from above), no rise past the band from the ceiling's
    // start, within the band from the hold's.
    Verdict Judge(const Shape& shape, bool fromBelow, long long reachBy, long long last) const
    {
        Verdict verdict;
        double reachedBest = fromBelow ? 0.0 : std::numeric_limits<double>::infinity();
        double highest = 0.0;
        for (long long k = 0; k <= last; ++k) {
            const double ratio = shape.Ce[Index(k)] / m_target;
            if (k <= reachBy)
                reachedBest = fromBelow ? std::max(reachedBest, ratio) : std::min(reachedBest, ratio);
            if (k >= m_ceilingFrom)
                highest = std::max(highest, ratio);
            if (k >= m_holdFrom)
                verdict.Deviation = std::max(verdict.Deviation, std::abs(ratio - 1.0));
        }
        const double shortfall = fromBelow ? DesignReachFromBelow - reachedBest
                                           : reachedBest - DesignReachFromAbove;
        verdict.Violation = std::max(0.0, shortfall) + std::max(0.0, highest - 1.0 - DesignBand)
                            + std::max(0.0, verdict.Deviation - DesignBand);
        return verdict;
    }

private:
    static std::size_t Index(long long k) { return static_cast<std::size_t>(k); }

    // The intervals that start before the reach time, and at least the
    // first, take the induction's rate.
    long long ApproachEnd() const
    {
        return std::max(1LL, (m_holdFrom + m_step - 1) / m_step) * m_step;
    }

    // Least squares over the hold's ticks in the window, and far more for
    // any rise past the ceiling anywhere in it: the squares let every tick
    // count, where a largest deviation would be taken by a dip at the
    // interval's start that no rate can reach any more.
    double SquaresCost(const std::vector<double>& ce, long long start, long long window, int tenths) const
    {
        const double rate = RateOfTenths(tenths);
        const double ceiling = 1.0 + DesignBand;
        double hold = 0.0;
        double above = 0.0;
        for (long long k = std::max(start + 1, m_ceilingFrom); k <= window; ++k) {
            const double ratio = (ce[Index(k)] + rate * m_r.Unit[Index(k - start)]) / m_target;
            if (ratio > ceiling)
                above += (ratio - ceiling) * (ratio - ceiling);
            if (k >= m_holdFrom)
                hold += (ratio - 1.0) * (ratio - 1.0);
        }
        return hold + CeilingWeight * above;
    }

    // Before the reach time the rate is at least what reaches the target
    // by then, when any rate within the limit does.
    int BestTenths(const std::vector<double>& ce, long long start, long long window) const
    {
        int low = 0;
        if (m_reachBy > start && m_r.Unit[Index(m_reachBy - start)] > 0.0) {
            const double needed = (DesignReachFromBelow * m_target - ce[Index(m_reachBy)])
                                  / m_r.Unit[Index(m_reachBy - start)];
            if (needed > 0.0)
                low = static_cast<int>(std::min<double>(MaxRateTenths, std::ceil(needed * 10.0 - 1e-9)));
        }
        return Ternary(low, MaxRateTenths, [&](int tenths) {
                   return SquaresCost(ce, start, window, tenths);
               }).first;
    }

    // How far past an interval's end its rate is judged, held: a quarter
    // interval lets a rate see the lag of the effect site without being
    // judged on the next interval's work.
    long long Lookahead() const { return m_step / 4; }

    double InductionCost(double mg, int tenths, long long window, long long reachBy) const
    {
        const double rate = RateOfTenths(tenths);
        double worst = 0.0;
        for (long long k = 1; k <= window; ++k) {
            const std::size_t i = Index(k);
            const double ratio = (m_r.Free[i] + mg * m_r.Bolus[i] + rate * m_r.Unit[i]) / m_target;
            worst = std::max(worst, k >= m_holdFrom ? std::abs(ratio - 1.0) : ratio - 1.0);
            if (k == reachBy)
                worst = std::max(worst, ReachWeight * (DesignReachFromBelow - ratio));
        }
        return worst;
    }

    // The least of a convex function over [low, high], the lowest argument on a tie.
    template <class Cost>
    static std::pair<int, double> Ternary(int low, int high, const Cost& cost)
    {
        while (high - low > 2) {
            const int third = (high - low) / 3;
            const int a = low + third;
            const int b = high - third;
            const double costA = cost(a);
            const double costB = cost(b);
            if (costA < costB)
                high = b - 1;
            else if (costA > costB)
                low = a + 1;
            else {
                low = a;
                high = b;
            }
        }
        std::pair<int, double> best{low, cost(low)};
        for (int x = low + 1; x <= high; ++x)
            if (const double c = cost(x); c < best.second)
                best = {x, c};
        return best;
    }

    const Responses& m_r;
    double m_target;
    long long m_step;
    long long m_horizon;
    long long m_holdFrom;
    long long m_ceilingFrom;
    long long m_reachBy; // -1: no reach tick to aim at
};

DoseCourse CourseOf(const Shape& shape, long long stepTicks)
{
    DoseCourse course;
    course.BolusMg = shape.BolusMg;
    if (shape.Start > 0)
        course.Steps.push_back({0.0, 0.0});
    for (std::size_t i = 0; i < shape.Tenths.size(); ++i) {
        const double rate = RateOfTenths(shape.Tenths[i]);
        if (!course.Steps.empty() && course.Steps.back().Rate == rate)
            continue;
        const long long tick = shape.Start + static_cast<long long>(i) * stepTicks;
        course.Steps.push_back({static_cast<double>(tick) / TicksPerMinute, rate});
    }
    if (course.Steps.empty())
        course.Steps.push_back({0.0, 0.0});
    return course;
}

// Doses the tick takes, at minutes that go forward.
bool Replayable(const DoseCourse& course)
{
    if (!(course.BolusMg >= 0.0 && course.BolusMg <= MaxBolusMg))
        return false;
    double minute = 0.0;
    for (const RateStep& step : course.Steps) {
        if (!(step.Minute >= minute && std::isfinite(step.Minute) && step.Rate >= 0.0
              && step.Rate <= MaxInfusionRate))
            return false;
        minute = step.Minute;
    }
    return true;
}

std::string Refusal(const Patient& patient, const PlanRequest& r)
{
    const auto finite = [](double x) { return std::isfinite(x); };
    if (!(finite(patient.PatientWeight) && patient.PatientWeight > 0.0))
        return "The patient's weight is not a number above 0.";
    if (!(finite(r.Target) && r.Target > 0.0))
        return "The target is not a concentration above 0.";
    if (!(finite(r.ReachMinutes) && r.ReachMinutes >= 0.0))
        return "The reach time is not a number of minutes from 0.";
    const long double stepTicks = r.StepMinutes * static_cast<long double>(TicksPerMinute);
    if (!(finite(r.StepMinutes) && stepTicks >= 1.0L
          && std::abs(stepTicks - std::round(stepTicks)) < TickSlack))
        return "The interval between rate changes is not a whole number of 5-second ticks.";
    if (!(finite(r.HorizonMinutes) && r.HorizonMinutes > 0.0
          && r.HorizonMinutes <= PlanMaxHorizonMinutes))
        return "The horizon is not a number of minutes above 0 and up to a day.";
    if (r.HorizonMinutes < r.ReachMinutes)
        return "The horizon ends before the reach time.";
    for (std::size_t i = StatePlasma; i <= StateEffectSite; ++i)
        if (!(finite(r.Now[i]) && r.Now[i] >= 0.0))
            return "The model's state now is not a set of concentrations from 0.";
    return {};
}

} // namespace

const char* PlanRequirementText(PlanRequirement requirement)
{
    switch (requirement) {
    case PlanReach:
        return "reach: Ce comes within 2 % of the target by the reach time";
    case PlanCeiling:
        return "ceiling: Ce never exceeds 1.05 of the target";
    case PlanHold:
        return "hold: Ce stays within 5 % of the target from the reach time to the horizon";
    }
    return "";
}

PlanCheck CheckPlan(const Patient& patient, const PlanRequest& request, const DoseCourse& course)
{
    PlanCheck check;
    // A request or a course that cannot be replayed meets nothing.
    constexpr unsigned All = PlanReach | PlanCeiling | PlanHold;
    if (!Refusal(patient, request).empty() || !Replayable(course)) {
        check.Unmet = All;
        return check;
    }
    const double target = request.Target;
    const bool fromBelow = !(request.Now[StateEffectSite] > target);
    const long long horizon = FirstTickFrom(request.HorizonMinutes);
    const long long reachBy = LastTickBy(request.ReachMinutes);
    const long long holdFrom = FirstTickFrom(request.ReachMinutes);

    CaseTicks ticks(patient, request.Model, request.Now);
    auto step = course.Steps.begin();
    double rate = 0.0;
    bool reached = false;
    check.HoldLowestRatio = std::numeric_limits<double>::infinity();
    for (long long k = 0;; ++k) {
        const double ratio = ticks.EffectSite() / target;
        if (!std::isfinite(ratio)) {
            check.Unmet = All;
            return check;
        }
        if (!reached && (fromBelow ? ratio >= ReachFromBelow : ratio <= ReachFromAbove)) {
            reached = true;
            check.ReachedMinutes = static_cast<double>(k) / TicksPerMinute;
            if (k > reachBy)
                check.Unmet |= PlanReach;
        }
        if (fromBelow || reached)
            check.HighestRatio = std::max(check.HighestRatio, ratio);
        if (k >= holdFrom) {
            check.HoldLowestRatio = std::min(check.HoldLowestRatio, ratio);
            check.HoldHighestRatio = std::max(check.HoldHighestRatio, ratio);
        }
        if (k == horizon)
            break;
        // A rate applies from the first tick that begins at or after its minute.
        for (; step != course.Steps.end()
               && static_cast<long double>(k) >= step->Minute * static_cast<long double>(TicksPerMinute);
             ++step)
            rate = step->Rate;
        ticks.Advance(rate, k == 0 ? course.BolusMg : 0.0);
    }
    if (!reached)
        check.Unmet |= PlanReach;
    if (check.HighestRatio > CeilingRatio)
        check.Unmet |= PlanCeiling;
    if (check.HoldLowestRatio < HoldLowRatio || check.HoldHighestRatio > HoldHighRatio)
        check.Unmet |= PlanHold;
    return check;
}

DosePlan PlanDoses(const Patient& patient, const PlanRequest& request)
{
    DosePlan plan;
    plan.Refusal = Refusal(patient, request);
    if (!plan.Refusal.empty())
        return plan;
    const ChosenModel model(patient, request.Model);
    if (!model.Valid()) {
        plan.Refusal = std::string("The ") + ModelKindName(request.Model.Kind)
                       + " model cannot be solved for this patient.";
        return plan;
    }

    const double target = request.Target;
    const long long horizon = FirstTickFrom(request.HorizonMinutes);
    const auto stepTicks = static_cast<long long>(
        std::round(request.StepMinutes * static_cast<long double>(TicksPerMinute)));
    const long long reachBy = LastTickBy(request.ReachMinutes);
    const Responses responses = ResponsesOf(model, request.Now, horizon);

    if (!(request.Now[StateEffectSite] > target)) {
        const double maxBolus = MaxPlanBolus(patient.PatientWeight);
        // The plan that reaches the target by `reach` (ticks), and whether
        // its design meets the aims. Reaching earlier is allowed: a reach
        // time inside an interval is aimed at that interval's start, where
        // a rate can change.
        const auto induction = [&](long long reach) {
            const long long aim = reach < stepTicks ? reach : reach / stepTicks * stepTicks;
            const Designer designer(responses, target, stepTicks, horizon, aim, 0, aim);
            const auto [bolus, first] = designer.Induction(maxBolus, aim);
            Shape shape = designer.Plan(bolus, 0, horizon, first);
            const bool meets = designer.Judge(shape, true, aim, horizon).Violation == 0.0;
            return std::pair{CourseOf(shape, stepTicks), meets};
        };
        plan.Course = induction(reachBy).first;
        plan.Check = CheckPlan(patient, request, plan.Course);
        if (plan.Check.Unmet == 0)
            return plan;
        // When the three cannot all be met, the reach time gives way: the
        // closest plan reaches as early as the limits allow, in half
        // minutes up to half an hour late, and keeps the ceiling and the
        // hold. Lateness doubles until a plan meets the aims, then is
        // bisected back.
        constexpr long long Slip = TicksPerMinute / 2;
        constexpr long long MostSlips = 60;
        const auto meetsWith = [&](long long slips) {
            return induction(std::min(horizon, reachBy + slips * Slip)).second;
        };
        long long low = 0;
        long long high = 1;
        while (high < MostSlips && !meetsWith(high)) {
            low = high;
            high = std::min(MostSlips, 2 * high);
        }
        if (high == MostSlips && !meetsWith(high))
            return plan;
        while (high - low > 1) {
            const long long middle = (low + high) / 2;
            (meetsWith(middle) ? high : low) = middle;
        }
        plan.Course = induction(std::min(horizon, reachBy + high * Slip)).first;
        plan.Check = CheckPlan(patient, request, plan.Course);
        return plan;
    }

    // Nothing can bring Ce down faster than stopping: rate 0 until it
    // is about to fall to the target, then hold.
    plan.FallMinutes = WakeUpMinutes(patient, request.Model, request.Now, target);
    const long long fall =
        plan.FallMinutes ? std::min(horizon, FirstTickFrom(*plan.FallMinutes)) : horizon;
    const Designer designer(responses, target, stepTicks, horizon, fall, fall, -1);
    // The hold starts on a whole minute, at most three before the fall.
    const double fallMinutes = static_cast<double>(fall) / TicksPerMinute;
    const long long last = std::min(horizon, fall + 2 * stepTicks);
    const long long reachDesign = std::max(reachBy, fall);
    Verdict best{std::numeric_limits<double>::infinity(), 0.0};
    long long holdStart = 0;
    for (double minute = std::max(0.0, std::floor(fallMinutes) - 3.0);
         minute <= std::ceil(fallMinutes); minute += 1.0) {
        const long long start = std::min(horizon, FirstTickFrom(minute));
        const Verdict v =
            designer.Judge(designer.Plan(0.0, start, last), false, reachDesign, last);
        if (v.Violation < best.Violation
            || (v.Violation == best.Violation && v.Deviation < best.Deviation)) {
            best = v;
            holdStart = start;
        }
    }
    const Shape shape = designer.Plan(0.0, holdStart, horizon);

    plan.Course = CourseOf(shape, stepTicks);
    plan.Check = CheckPlan(patient, request, plan.Course);
    return plan;
}

} // namespace sedalyn
