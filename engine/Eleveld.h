#pragma once
// The Eleveld propofol model (Eleveld, Colin, Absalom, Struys: Br J Anaesth
// 2018;120:942-959), arterial samples, run beside the three Schnider models
// on the same 5-second tick. Its effect site is a link without volume: it
// takes nothing from the central compartment. Volumes in litres, clearances
// in L/min, rate constants per minute, concentrations in mcg/ml.

#include "PharmacokineticEngine.h"

#include <string>

namespace sedalyn {

struct EleveldParameters {
    double V1 = 0.0;
    double V2 = 0.0;
    double V3 = 0.0;
    double CL = 0.0;
    double Q2 = 0.0;
    double Q3 = 0.0;
    double ke0 = 0.0;
};

// Fat-free mass (kg) by Al-Sallami et al., Clin Pharmacokinet 2015;54:1183-92.
// Age in years, height in metres, weight in kg.
double AlSallamiFfm(bool isMale, double age, double height, double weight);

// The patient's typical parameters; `opioid`: opioids are given with the
// propofol. Validates nothing.
EleveldParameters BuildEleveldParameters(const Patient& patient, bool opioid);

// The right-hand side over the engine's ModelState (plasma, compartments 2
// and 3, effect site) with a constant input in mg/min. Writes indices 1 to 4.
class EleveldDerivative {
public:
    EleveldDerivative(const EleveldParameters& parameters, double infusionInput);

    void operator()(ModelState& slopes, const ModelState& state) const;

private:
    double m_input = 0.0; // the input's share of dCp/dt
    double m_k10 = 0.0;
    double m_k12 = 0.0;
    double m_k13 = 0.0;
    double m_k21 = 0.0;
    double m_k31 = 0.0;
    double m_ke0 = 0.0;
};

// The fourth model of a case. Its opioid setting is fixed when the case
// starts; the patient is read at every tick, as for the Schnider models.
class EleveldModel {
public:
    ModelSlot Slot;

    // Zeroes time and concentrations and fixes the opioid setting.
    void Reset(bool opioid);
    bool Opioid() const { return m_opioid; }

    // Loads the parameters and integrates one tick exactly as the engine does
    // each Schnider model: a bolus (mg) enters the central compartment first,
    // then five one-second RK4 steps over 1/12 minute.
    void AdvanceTick(const Patient& patient, double infusionRate, double bolusMg = 0.0);

    double Plasma() const { return Slot.State[StatePlasma]; }
    double EffectSite() const { return Slot.State[StateEffectSite]; }

private:
    bool m_opioid = false;
};

// The paper's population: post-menstrual age 27 weeks to 88 years, 0.68-160
// kg. Outside it, one line saying the Eleveld predictions are extrapolated;
// empty inside. Nothing is refused for this model's sake.
std::string EleveldPopulationWarning(const Patient& patient);

} // namespace sedalyn
