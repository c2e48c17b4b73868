#pragma once
// The exact linear model of one of a case's models, with its input set to
// 1 mg/kg/hr: what the projection and the dosing planner solve with. Eigen
// types: kept out of the headers the case and the window include.

#include "ExactSolution.h"
#include "Projection.h"

#include <optional>

namespace sedalyn {

class ChosenModel {
public:
    ChosenModel(const Patient& patient, ModelChoice model);

    bool Valid() const { return m_modes.Valid() && m_centralVolume > 0.0; }

    // Litres: a bolus of B mg raises plasma by B / CentralVolume, as in the tick.
    double CentralVolume() const { return m_centralVolume; }

    // The concentrations `minutes` after `start` with `rate` (mg/kg/hr) held.
    Concentrations Advance(const Concentrations& start, double rate, double minutes) const;

private:
    CompartmentModes m_modes;
    double m_centralVolume = 0.0;
};

// The wake-up time of the chosen model from `state` to `level`, as the
// window shows it for that model.
std::optional<double> WakeUpMinutes(const Patient& patient, ModelChoice model,
                                    const ModelState& state, double level);

} // namespace sedalyn
