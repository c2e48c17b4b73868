#include "WakeUp.h"

#include "ExactSolution.h"

#include <Eigen/Core>

namespace sedalyn {

namespace {

// Finer than the 1e-6 minutes promised, so that the answer holds it with room.
constexpr double ToleranceMinutes = 1e-7;

// Doublings of the search range beyond the horizon before giving up on a
// model whose tail decays too slowly to bound.
constexpr int MaxExtensions = 64;

// f(t) = Ce(t) - level = Σ w_i·exp(λ_i·t) - level. Each term is monotone in
// t, so over [a, b] it lies between its values at the two ends; the same
// holds for f' = Σ w_i·λ_i·exp(λ_i·t). That bounds f and f' on any interval
// from the exponentials at its ends alone.
class Excess {
public:
    struct Point {
        double Time;
        Eigen::Array4d Exps; // exp(λ_i·Time)
    };

    Excess(const Eigen::Array4d& weights, const Eigen::Array4d& rates, double level)
        : m_weights(weights), m_slopes(weights * rates), m_rates(rates), m_level(level)
    {
    }

    Point At(double time) const { return {time, (m_rates * time).exp()}; }

    double Value(const Point& p) const { return (m_weights * p.Exps).sum() - m_level; }

    // An upper bound of f on [t, ∞): the negative terms are below 0, the
    // positive ones (all decaying) at most their value at t.
    double TailBound(const Point& p) const
    {
        return (m_weights * p.Exps).max(0.0).sum() - m_level;
    }

    // The latest time in [a, b] at which f > 0, when there is one; found to
    // the tolerance and rounded up. Searches the later half first, so the
    // first crossing found is the last one.
    std::optional<double> Last(const Point& a, const Point& b) const
    {
        if (Bound(m_weights, a, b, Upper) - m_level <= 0.0)
            return std::nullopt;
        if (Value(b) > 0.0)
            return b.Time;
        // From here f(b) <= 0.
        if (Bound(m_slopes, a, b, Upper) <= 0.0)
            return Value(a) > 0.0 ? std::optional(Crossing(a, b)) : std::nullopt;
        if (Bound(m_slopes, a, b, Lower) >= 0.0)
            return std::nullopt; // rising to f(b) <= 0
        if (b.Time - a.Time <= ToleranceMinutes)
            return b.Time; // a peak that touches the level within the tolerance
        const Point middle = At(a.Time + (b.Time - a.Time) / 2);
        if (const auto later = Last(middle, b))
            return later;
        return Last(a, middle);
    }

private:
    enum Side { Lower, Upper };

    static double Bound(const Eigen::Array4d& coefficients, const Point& a, const Point& b,
                        Side side)
    {
        const Eigen::Array4d atA = coefficients * a.Exps;
        const Eigen::Array4d atB = coefficients * b.Exps;
        return side == Upper ? atA.max(atB).sum() : atA.min(atB).sum();
    }

    // f falls through 0 once on [a, b], f(a) > 0 >= f(b): bisection keeps
    // that bracket, and its end is never before the crossing.
    double Crossing(Point a, Point b) const
    {
        while (b.Time - a.Time > ToleranceMinutes) {
            const double middle = a.Time + (b.Time - a.Time) / 2;
            if (middle <= a.Time || middle >= b.Time)
                break;
            Point m = At(middle);
            if (Value(m) > 0.0)
                a = m;
            else
                b = m;
        }
        return b.Time;
    }

    Eigen::Array4d m_weights;
    Eigen::Array4d m_slopes;
    Eigen::Array4d m_rates;
    double m_level;
};

// The search itself, on the modes of any of the models.
std::optional<double> WakeUpOf(const CompartmentModes& modes, const ModelState& state,
                               double level)
{
    if (!(level > 0.0))
        return std::nullopt;
    if (!modes.Valid())
        return std::nullopt;
    const Eigen::Array4d weights = modes.EffectSiteWeights(StateConcentrations(state)).array();
    const Eigen::Array4d rates = modes.Rates().array();
    if (!weights.allFinite()) // a concentration that is not finite spreads to every mode
        return std::nullopt;
    // A positive term that does not decay would hold Ce up for ever.
    if (((weights > 0.0) && (rates >= 0.0)).any())
        return std::nullopt;

    const Excess excess(weights, rates, level);
    // The range must reach past every time Ce can exceed the level, which the
    // decaying tail bounds; any excess past the horizon already decides.
    Excess::Point end = excess.At(WakeUpHorizonMinutes);
    for (int extension = 0; excess.TailBound(end) > 0.0; ++extension) {
        if (excess.Value(end) > 0.0 || extension == MaxExtensions)
            return std::nullopt;
        end = excess.At(2 * end.Time);
    }

    const auto last = excess.Last(excess.At(0.0), end);
    if (!last)
        return 0.0;
    if (*last > WakeUpHorizonMinutes)
        return std::nullopt;
    return *last;
}

} // namespace

std::optional<double> WakeUpMinutes(const ModelParameters& parameters, const ModelState& state,
                                    double level)
{
    if (!(level > 0.0))
        return std::nullopt;
    return WakeUpOf(CompartmentModes(parameters), state, level);
}

std::optional<double> WakeUpMinutes(const EleveldParameters& parameters, const ModelState& state,
                                    double level)
{
    if (!(level > 0.0))
        return std::nullopt;
    return WakeUpOf(CompartmentModes(CompartmentMatrix(parameters), InputVector(parameters, 0.0)),
                    state, level);
}

std::optional<double> WakeUpMinutes(const EleveldModel& model, const Patient& patient, double level)
{
    return WakeUpMinutes(BuildEleveldParameters(patient, model.Opioid()), model.Slot.State, level);
}

std::array<std::optional<double>, 3> WakeUpMinutes(const PharmacokineticEngine& engine,
                                                   const Patient& patient, double level)
{
    std::array<std::optional<double>, 3> minutes;
    for (std::size_t i = 0; i < minutes.size(); ++i) {
        const LbmAlgorithm algorithm = AllAlgorithms[i];
        // The input plays no part: the time is that of an infusion stopped now.
        minutes[i] = WakeUpMinutes(ModelParametersFor(patient, algorithm, 0.0),
                                   engine.Slot(algorithm).State, level);
    }
    return minutes;
}

} // namespace sedalyn
