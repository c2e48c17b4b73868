#pragma once
// The Schnider propofol model for one patient and one lean body mass, and the
// parameter record that the compartment equations read while they integrate.
// Volumes in litres, rate constants per minute, input in mg/min.

#include "BodySize.h"

namespace sedalyn {

struct SchniderParameters {
    double V1 = 0.0;
    double V2 = 0.0;
    double V3 = 0.0;
    double k10 = 0.0;
    double k12 = 0.0;
    double k13 = 0.0;
    double k21 = 0.0;
    double k31 = 0.0;
    double ke0 = 0.0;
};

struct ModelParameters {
    double InfusionInput = 0.0;
    double V1 = 0.0;
    double V2 = 0.0;
    double V3 = 0.0;
    double V4 = 0.0;
    double k10 = 0.0;
    double k12 = 0.0;
    double k21 = 0.0;
    double k13 = 0.0;
    double k31 = 0.0;
    double k14 = 0.0;
    double k41 = 0.0;
};

// Overwrites every field of `out` with the set for `patient` and the lean
// body mass that `algorithm` selects. Validates nothing.
void BuildSchniderParameters(const Patient& patient, LbmAlgorithm algorithm,
                             SchniderParameters& out);

// Overwrites every field of `out` from `schnider`, the rate (mg/kg/hr) and the
// weight (kg): adds the drug input and the effect compartment.
void LoadModelInputs(const SchniderParameters& schnider, double rate, double weight,
                     ModelParameters& out);

// The record the tick integrates for this patient, formula and rate.
ModelParameters ModelParametersFor(const Patient& patient, LbmAlgorithm algorithm, double rate);

} // namespace sedalyn
