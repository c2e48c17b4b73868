#pragma once
// Where a model is heading: its plasma and effect-site concentrations at
// chosen times ahead under a rate held from now, or under a course of doses
// (a bolus now, then a rate from each of its minutes). Computed from the
// exact solution of the linear model, so no step is taken and no error
// builds up however far ahead it looks.

#include "CompartmentModel.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace sedalyn {

// The models of a case: the Schnider model with each lean body mass, and Eleveld.
enum class ModelKind : std::uint8_t { James, Hume, Janmahasatian, Eleveld };

struct ModelChoice {
    ModelKind Kind = ModelKind::James;
    bool Opioid = false; // the Eleveld model's covariate; ignored by the others
};

// "James", "Hume", "Janmahasatian", "Eleveld".
const char* ModelKindName(ModelKind kind);

// The lean body mass of a Schnider model; none for Eleveld.
std::optional<LbmAlgorithm> SchniderAlgorithm(ModelKind kind);

// A rate (mg/kg/hr) from a minute on, counted from now.
struct RateStep {
    double Minute = 0.0;
    double Rate = 0.0;
};

// Doses from now: a bolus (mg) at once, then each step's rate from its minute
// until the next step's. Steps go in increasing order of minute; before the
// first the rate is 0, after the last it is held.
struct DoseCourse {
    double BolusMg = 0.0;
    std::vector<RateStep> Steps;
};

struct ProjectedPoint {
    double Minutes = 0.0;    // ahead of now
    double Plasma = 0.0;     // mcg/ml
    double EffectSite = 0.0; // mcg/ml
};

// One model of one patient, decomposed once; each projection then costs a
// few exponentials per point.
class ModelProjection {
public:
    ModelProjection(const Patient& patient, ModelChoice model);
    ~ModelProjection();
    ModelProjection(ModelProjection&&) noexcept;
    ModelProjection& operator=(ModelProjection&&) noexcept;

    // False when the model cannot be solved for this patient (parameters
    // that are not finite or not a compartment model); projections are
    // then empty.
    bool Valid() const;

    // A point for each of `minutesAhead`, in the order given. A bolus shows
    // at minute 0 in plasma. Times that are negative or not finite give NaN
    // concentrations: there is nothing to say about them.
    std::vector<ProjectedPoint> Project(const ModelState& now, const DoseCourse& course,
                                        std::span<const double> minutesAhead) const;

    // The same with `rate` held from now and no bolus.
    std::vector<ProjectedPoint> ProjectHeld(const ModelState& now, double rate,
                                            std::span<const double> minutesAhead) const;

private:
    struct Solved;
    std::unique_ptr<const Solved> m_solved;
};

// 0, step, 2·step, ... up to and including `span` (minutes); empty for a span
// below 0 or not finite, a step that is not above 0, or over a million points.
std::vector<double> EvenMinutes(double span, double step);

} // namespace sedalyn
