#pragma once

#include "BodySize.h"
#include "Schnider.h"

namespace sedalyn::test {

inline Patient MakePatient(bool male, double age, double height, double weight)
{
    return Patient{age, height, weight,
                   [male] { return std::string(male ? MaleCaption : FemaleCaption); }};
}

// The parameter record the tick integrates for this patient, formula and rate.
inline ModelParameters ModelFor(const Patient& patient, LbmAlgorithm algorithm, double rate)
{
    SchniderParameters schnider;
    BuildSchniderParameters(patient, algorithm, schnider);
    ModelParameters model;
    LoadModelInputs(schnider, rate, patient.PatientWeight, model);
    return model;
}

} // namespace sedalyn::test
