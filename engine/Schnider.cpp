#include "Schnider.h"

namespace sedalyn {

namespace {
using Wide = long double;

// Schnider et al., Anesthesiology 1998;88:1170-82; ke0 from Schnider 1999.
constexpr double CentralVolume = 4.27;      // V1, L
constexpr double PeripheralVolume3 = 238.0; // V3, L
constexpr double Clearance3 = 0.836;        // Cl3, L/min
constexpr double EffectSiteKe0 = 0.456;     // 1/min

// mg/kg/hr to mg/min, in extended precision.
constexpr Wide PerMinute = 0.016666666666666666667L;
// The effect compartment is 1/10000 of the central one, small enough not to
// disturb the central mass balance.
constexpr Wide EffectVolumeFraction = 0.0001L;
} // namespace

void BuildSchniderParameters(const Patient& patient, LbmAlgorithm algorithm,
                             SchniderParameters& out)
{
    const Wide age = patient.PatientAge;
    const Wide height = patient.PatientHeight;
    const Wide weight = patient.PatientWeight;

    out.V1 = CentralVolume;
    out.V2 = static_cast<double>(18.9L - (age - 53.0L) * 0.391L);
    out.V3 = PeripheralVolume3;
    const Wide lbm = SelectedLbm(patient, algorithm);
    const double cl1 = static_cast<double>(1.89L + (weight - 77.0L) * 0.0456L
                                           - (lbm - 59.0L) * 0.0681L
                                           + (100.0L * height - 177.0L) * 0.0264L);
    const double cl2 = static_cast<double>(1.29L - (age - 53.0L) * 0.024L);
    const double cl3 = Clearance3;
    out.k10 = static_cast<double>(Wide{cl1} / out.V1);
    out.k12 = static_cast<double>(Wide{cl2} / out.V1);
    out.k13 = static_cast<double>(Wide{cl3} / out.V1);
    out.k21 = static_cast<double>(Wide{cl2} / out.V2);
    out.k31 = static_cast<double>(Wide{cl3} / out.V3);
    out.ke0 = EffectSiteKe0;
}

ModelParameters ModelParametersFor(const Patient& patient, LbmAlgorithm algorithm, double rate)
{
    SchniderParameters schnider;
    BuildSchniderParameters(patient, algorithm, schnider);
    ModelParameters model;
    LoadModelInputs(schnider, rate, patient.PatientWeight, model);
    return model;
}

void LoadModelInputs(const SchniderParameters& schnider, double rate, double weight,
                     ModelParameters& out)
{
    out.InfusionInput = static_cast<double>(Wide{rate} * Wide{weight} * PerMinute);
    out.V1 = schnider.V1;
    out.V4 = static_cast<double>(Wide{out.V1} * EffectVolumeFraction);
    out.k10 = schnider.k10;
    out.k12 = schnider.k12;
    out.k21 = schnider.k21;
    out.k13 = schnider.k13;
    out.k31 = schnider.k31;
    out.k41 = schnider.ke0;
    out.k14 = static_cast<double>(Wide{schnider.ke0} * Wide{out.V4} / Wide{out.V1});
    // Recomputed from the rate constants rather than copied; equal up to the last bits.
    out.V2 = static_cast<double>(Wide{out.V1} * Wide{out.k12} / Wide{out.k21});
    out.V3 = static_cast<double>(Wide{out.V1} * Wide{out.k13} / Wide{out.k31});
}

} // namespace sedalyn
