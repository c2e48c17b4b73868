#include "Projection.h"

#include "ChosenModel.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace sedalyn {

std::optional<LbmAlgorithm> SchniderAlgorithm(ModelKind kind)
{
    switch (kind) {
    case ModelKind::James:
        return LbmAlgorithm::James;
    case ModelKind::Hume:
        return LbmAlgorithm::Hume;
    case ModelKind::Janmahasatian:
        return LbmAlgorithm::Janmahasatian;
    case ModelKind::Eleveld:
        break;
    }
    return std::nullopt;
}

const char* ModelKindName(ModelKind kind)
{
    const std::optional<LbmAlgorithm> algorithm = SchniderAlgorithm(kind);
    return algorithm ? AlgorithmName(*algorithm) : "Eleveld";
}

struct ModelProjection::Solved {
    ChosenModel Model;
};

ModelProjection::ModelProjection(const Patient& patient, ModelChoice model)
    : m_solved(std::make_unique<const Solved>(Solved{ChosenModel(patient, model)}))
{
}

ModelProjection::~ModelProjection() = default;
ModelProjection::ModelProjection(ModelProjection&&) noexcept = default;
ModelProjection& ModelProjection::operator=(ModelProjection&&) noexcept = default;

bool ModelProjection::Valid() const
{
    return m_solved && m_solved->Model.Valid();
}

std::vector<ProjectedPoint> ModelProjection::Project(const ModelState& now,
                                                     const DoseCourse& course,
                                                     std::span<const double> minutesAhead) const
{
    if (!Valid())
        return {};
    const ChosenModel& model = m_solved->Model;

    // The state at the start of each stretch of one rate: the first from
    // now with the bolus in plasma, each further one from the one before.
    struct Stretch {
        double From;
        double Rate;
        Concentrations Start;
    };
    std::vector<Stretch> stretches;
    stretches.reserve(course.Steps.size() + 1);
    Concentrations start = StateConcentrations(now);
    start(0) += course.BolusMg / model.CentralVolume();
    stretches.push_back({0.0, 0.0, start});
    for (const RateStep& step : course.Steps) {
        Stretch& last = stretches.back();
        if (!(step.Minute > last.From)) { // a step at minute 0, or out of order: it replaces
            last.Rate = step.Rate;
            continue;
        }
        stretches.push_back(
            {step.Minute, step.Rate, model.Advance(last.Start, last.Rate, step.Minute - last.From)});
    }

    std::vector<ProjectedPoint> points;
    points.reserve(minutesAhead.size());
    for (const double minutes : minutesAhead) {
        if (!(minutes >= 0.0) || !std::isfinite(minutes)) {
            constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
            points.push_back({minutes, NaN, NaN});
            continue;
        }
        const auto after = std::upper_bound(
            stretches.begin(), stretches.end(), minutes,
            [](double m, const Stretch& stretch) { return m < stretch.From; });
        const Stretch& stretch = *(after - 1);
        const Concentrations c = model.Advance(stretch.Start, stretch.Rate, minutes - stretch.From);
        points.push_back({minutes, c(0), c(3)});
    }
    return points;
}

std::vector<ProjectedPoint> ModelProjection::ProjectHeld(const ModelState& now, double rate,
                                                         std::span<const double> minutesAhead) const
{
    return Project(now, DoseCourse{0.0, {{0.0, rate}}}, minutesAhead);
}

std::vector<double> EvenMinutes(double span, double step)
{
    // More points than a chart could ever draw is a mistake, not a request.
    constexpr double MaxPoints = 1e6;
    std::vector<double> minutes;
    if (!(span >= 0.0) || !(step > 0.0) || !(span / step <= MaxPoints))
        return minutes;
    // Counted, not summed, so that the last point lands on the span.
    const auto count = static_cast<std::size_t>(std::floor(span / step * (1.0 + 1e-12))) + 1;
    minutes.reserve(count);
    for (std::size_t i = 0; i < count; ++i)
        minutes.push_back(std::min(span, static_cast<double>(i) * step));
    return minutes;
}

} // namespace sedalyn
