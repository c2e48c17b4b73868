#include "PharmacokineticEngine.h"

#include <cmath>

namespace sedalyn {

namespace {

constexpr LbmAlgorithm AllAlgorithms[] = {LbmAlgorithm::James, LbmAlgorithm::Hume,
                                          LbmAlgorithm::Janmahasatian};

const char* AlgorithmName(LbmAlgorithm algorithm)
{
    switch (algorithm) {
    case LbmAlgorithm::James:
        return "James";
    case LbmAlgorithm::Hume:
        return "Hume";
    case LbmAlgorithm::Janmahasatian:
        return "Janmahasatian";
    }
    return "";
}

bool Positive(double value)
{
    return std::isfinite(value) && value > 0.0;
}

} // namespace

ModelSlot& PharmacokineticEngine::Slot(LbmAlgorithm algorithm)
{
    switch (algorithm) {
    case LbmAlgorithm::Hume:
        return HumeModel;
    case LbmAlgorithm::Janmahasatian:
        return HanModel;
    case LbmAlgorithm::James:
        break;
    }
    return JamesModel;
}

const ModelSlot& PharmacokineticEngine::Slot(LbmAlgorithm algorithm) const
{
    return const_cast<PharmacokineticEngine*>(this)->Slot(algorithm);
}

void PharmacokineticEngine::ResetModels()
{
    for (const LbmAlgorithm algorithm : AllAlgorithms)
        Slot(algorithm).State = ModelState{};
}

void PharmacokineticEngine::AdvanceTick(const Patient& patient, double infusionRate,
                                        double bolusMg)
{
    for (const LbmAlgorithm algorithm : AllAlgorithms) {
        ModelSlot& slot = Slot(algorithm);
        BuildSchniderParameters(patient, algorithm, Schnider);
        LoadModelInputs(Schnider, infusionRate, patient.PatientWeight, Model);
        // mg into litres gives mcg/ml. Skipped when there is none, so that a
        // tick without a bolus is bit for bit what it always was.
        if (bolusMg != 0.0)
            slot.State[StatePlasma] =
                static_cast<double>(slot.State[StatePlasma] + static_cast<long double>(bolusMg) / Model.V1);
        IntegratorErrorCode code = 0;
        RungeKuttaSystem(4, slot.State, ModelDerivative(Model), 0.0, TickMinutes,
                         ModelSlot::TickResults, TickSteps, slot.Results, code);
        ReportIntegratorError(code);
    }
    for (const LbmAlgorithm algorithm : AllAlgorithms) {
        ModelSlot& slot = Slot(algorithm);
        slot.State = slot.EndState();
    }
}

std::string PatientRefusal(const Patient& patient)
{
    for (const LbmAlgorithm algorithm : AllAlgorithms) {
        if (!std::isfinite(SelectedLbm(patient, algorithm)))
            return std::string("The ") + AlgorithmName(algorithm)
                   + " lean body mass cannot be calculated for this height and weight. "
                     "Check the height (in metres) and the weight (in kilograms).";

        SchniderParameters schnider;
        BuildSchniderParameters(patient, algorithm, schnider);
        // Age alone decides the peripheral volume and the intercompartmental clearance.
        if (!Positive(schnider.V2) || !Positive(schnider.k12) || !Positive(schnider.k21))
            return "The Schnider model does not hold at this age: above about 101 years its "
                   "peripheral volume and clearance fall to zero or below. Sedalyn cannot "
                   "predict concentrations for this patient.";
        // Elimination clearance falls with the lean body mass and the height.
        if (!Positive(schnider.k10) || !Positive(schnider.k13) || !Positive(schnider.k31))
            return std::string("The Schnider model gives no positive elimination clearance "
                               "for this height and weight with the ")
                   + AlgorithmName(algorithm)
                   + " lean body mass. Check the height (in metres) and the weight (in "
                     "kilograms); Sedalyn cannot predict concentrations for this patient.";
    }
    return {};
}

} // namespace sedalyn
