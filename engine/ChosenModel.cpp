#include "ChosenModel.h"

#include "WakeUp.h"

namespace sedalyn {

namespace {

// mg/kg/hr to mg/min.
constexpr double PerMinute = 1.0 / 60.0;

// The Eleveld model is solved apart; a Schnider one by its lean body mass.
LbmAlgorithm AlgorithmOf(ModelKind kind)
{
    return SchniderAlgorithm(kind).value_or(LbmAlgorithm::James);
}

CompartmentModes ModesOf(const Patient& patient, ModelChoice model)
{
    if (model.Kind == ModelKind::Eleveld) {
        const EleveldParameters p = BuildEleveldParameters(patient, model.Opioid);
        return CompartmentModes(CompartmentMatrix(p),
                                InputVector(p, patient.PatientWeight * PerMinute));
    }
    return CompartmentModes(ModelParametersFor(patient, AlgorithmOf(model.Kind), 1.0));
}

double CentralVolumeOf(const Patient& patient, ModelChoice model)
{
    if (model.Kind == ModelKind::Eleveld)
        return BuildEleveldParameters(patient, model.Opioid).V1;
    return ModelParametersFor(patient, AlgorithmOf(model.Kind), 0.0).V1;
}

} // namespace

ChosenModel::ChosenModel(const Patient& patient, ModelChoice model)
    : m_modes(ModesOf(patient, model)), m_centralVolume(CentralVolumeOf(patient, model))
{
}

Concentrations ChosenModel::Advance(const Concentrations& start, double rate,
                                    double minutes) const
{
    // The modes carry 1 mg/kg/hr; the response to the input is linear in it.
    const Concentrations perRate = m_modes.Advance(Concentrations::Zero(), minutes);
    return m_modes.Advance(start, minutes) + (rate - 1.0) * perRate;
}

std::optional<double> WakeUpMinutes(const Patient& patient, ModelChoice model,
                                    const ModelState& state, double level)
{
    if (model.Kind == ModelKind::Eleveld)
        return WakeUpMinutes(BuildEleveldParameters(patient, model.Opioid), state, level);
    return WakeUpMinutes(ModelParametersFor(patient, AlgorithmOf(model.Kind), 0.0), state, level);
}

} // namespace sedalyn
