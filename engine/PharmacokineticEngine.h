#pragma once
// The three side-by-side models of a case (James, Hume and Janmahasatian lean
// body mass) and the engine work of one 5-second tick. The program and the
// simulator run the same tick, so their numbers cannot disagree.

#include "RungeKutta.h"

#include <array>
#include <string>
#include <vector>

namespace sedalyn {

struct ModelSlot {
    ModelState State{};
};

// One tick advances each model by 1/12 minute in five one-second steps.
inline constexpr double TickMinutes = 1.0 / 12.0;
inline constexpr std::int32_t TickSteps = 5;
inline constexpr int TicksPerMinute = 12;

// Rates above this are taken for a wrong unit (ml/h typed as mg/kg/hr) and refused.
inline constexpr double MaxInfusionRate = 1000.0; // mg/kg/hr
inline constexpr const char* RateAboveMaximumText =
    "Infusion rate above 1000 mg/kg/hr: check the rate and its unit (mg/kg/hr).";
static_assert(MaxInfusionRate == 1000.0, "RateAboveMaximumText names the limit");

// The largest single bolus accepted, in mg.
inline constexpr double MaxBolusMg = 1000.0;

// The six concentrations, mcg/ml, in the order of the window's panel.
enum ConcentrationIndex : std::size_t {
    JamesPlasma,
    JamesEffect,
    HumePlasma,
    HumeEffect,
    HanPlasma,
    HanEffect,
    ConcentrationCount
};

using SixConcentrations = std::array<double, ConcentrationCount>;

class PharmacokineticEngine {
public:
    ModelSlot JamesModel;
    ModelSlot HumeModel;
    ModelSlot HanModel;

    ModelSlot& Slot(LbmAlgorithm algorithm);
    const ModelSlot& Slot(LbmAlgorithm algorithm) const;

    // Plasma and effect site of the three models as they stand.
    SixConcentrations Concentrations() const;

    // Zeroes the state of all three models: time and concentrations.
    void ResetModels();

    // Integrates each model over one tick from its state, in five classical
    // Runge-Kutta steps of one second, and carries the end state over. A bolus
    // (mg) enters the central compartment of every model at once, before the
    // integration. The result is bit for bit that of RungeKuttaSystem with the
    // tick's arguments and parameters built afresh for the patient and rate;
    // the parameters are only built again when one of those changes.
    void AdvanceTick(const Patient& patient, double infusionRate, double bolusMg = 0.0);

private:
    struct BuiltFor {
        double Age = 0.0;
        double Height = 0.0;
        double Weight = 0.0;
        double Rate = 0.0;
        bool Male = false;
        bool Built = false;

        // Equal bit for bit: a rate of -0 or a NaN builds what it builds.
        bool Same(const BuiltFor& other) const;
    };

    // ModelDerivative with its input quotient worked out once per build.
    // Made afresh for each tick, so that a copied engine reads its own record.
    struct TickDerivative {
        const ModelParameters* Parameters = nullptr;
        double InputSlope = 0.0;

        void operator()(ModelState& slopes, const ModelState& state) const
        {
            ModelDerivative::Slopes(*Parameters, InputSlope, slopes, state);
        }
    };

    BuiltFor m_builtFor;
    std::array<ModelParameters, std::size(AllAlgorithms)> m_parameters{};
    std::array<double, std::size(AllAlgorithms)> m_inputSlopes{};
};

// Empty when the patient is plausible and the model is physical and can be
// followed in one-second steps for all three lean body masses; otherwise a
// message for the clinician saying what is wrong and what is expected.
// A negative James lean body mass alone is not refused.
std::string PatientRefusal(const Patient& patient);

// Limits of a plausible adult patient; beyond them the input is taken for a
// slip of the unit (centimetres in the metres box, grams for kilograms).
inline constexpr double MaxHeightMetres = 2.5;
inline constexpr double MaxWeightKg = 350.0;
inline constexpr double MinBodyMassIndex = 10.0;
inline constexpr double MaxBodyMassIndex = 100.0;

// The largest rate of change (per minute) that one-second Runge-Kutta steps
// follow safely: a step times the fastest rate stays at or below 1, well
// inside the method's stability limit of 2.78 on the negative real axis.
inline constexpr double MaxModelRatePerMinute = 60.0;

// An upper bound of the fastest rate (the spectral radius) of the model's
// linear system, by Gershgorin's circles.
double FastestModelRate(const ModelParameters& parameters);

// Reasons to read the predictions with care that do not stop the case: a
// patient outside the population the model was built from, or a James lean
// body mass that falls as the weight rises. One line each; empty when none.
std::vector<std::string> PatientWarnings(const Patient& patient);

} // namespace sedalyn
