#pragma once
// The wake-up (decrement) time: how long after the infusion stopped now the
// effect-site concentration falls to a chosen level for good. Computed from
// the exact solution of the model, not by stepping it.

#include "Eleveld.h"
#include "PharmacokineticEngine.h"

#include <array>
#include <optional>

namespace sedalyn {

inline constexpr double WakeUpHorizonMinutes = 24 * 60;

// Minutes from `state` until Ce falls to `level` and stays at or below it with no input;
// 0 when it never again exceeds it ("now"); nullopt when that is beyond the horizon or level <= 0.
// The time is found to 1e-6 minutes and never before the true one; the input
// in `parameters` is ignored. Parameters or a state that are not finite, or a
// model that does not eliminate the drug, also give nullopt: no promise of
// waking up is made.
std::optional<double> WakeUpMinutes(const ModelParameters& parameters, const ModelState& state,
                                    double level);

// The same for the Eleveld model; its input plays no part either.
std::optional<double> WakeUpMinutes(const EleveldParameters& parameters, const ModelState& state,
                                    double level);

// The same for the Eleveld model of a case as it stands, for `patient`.
std::optional<double> WakeUpMinutes(const EleveldModel& model, const Patient& patient,
                                    double level);

// The same for each of the engine's three models (James, Hume,
// Janmahasatian) as they stand, for `patient`.
std::array<std::optional<double>, 3> WakeUpMinutes(const PharmacokineticEngine& engine,
                                                   const Patient& patient, double level);

} // namespace sedalyn
