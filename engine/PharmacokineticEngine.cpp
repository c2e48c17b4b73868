#include "PharmacokineticEngine.h"

#include "TextFormats.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>

namespace sedalyn {

namespace {

bool Positive(double value)
{
    return std::isfinite(value) && value > 0.0;
}

bool SameBits(double a, double b)
{
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
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

SixConcentrations PharmacokineticEngine::Concentrations() const
{
    SixConcentrations values{};
    std::size_t i = 0;
    for (const LbmAlgorithm algorithm : AllAlgorithms) {
        values[i++] = Slot(algorithm).State[StatePlasma];
        values[i++] = Slot(algorithm).State[StateEffectSite];
    }
    return values;
}

void PharmacokineticEngine::ResetModels()
{
    for (const LbmAlgorithm algorithm : AllAlgorithms)
        Slot(algorithm).State = ModelState{};
}

bool PharmacokineticEngine::BuiltFor::Same(const BuiltFor& other) const
{
    return SameBits(Age, other.Age) && SameBits(Height, other.Height)
           && SameBits(Weight, other.Weight) && SameBits(Rate, other.Rate) && Male == other.Male
           && Built == other.Built;
}

void PharmacokineticEngine::AdvanceTick(const Patient& patient, double infusionRate,
                                        double bolusMg)
{
    const BuiltFor now{patient.PatientAge, patient.PatientHeight, patient.PatientWeight,
                       infusionRate, patient.IsMale(), true};
    if (!now.Same(m_builtFor)) {
        std::size_t m = 0;
        for (const LbmAlgorithm algorithm : AllAlgorithms) {
            m_parameters[m] = ModelParametersFor(patient, algorithm, infusionRate);
            m_inputSlopes[m] = ModelDerivative::InputSlope(m_parameters[m]);
            ++m;
        }
        m_builtFor = now;
    }

    // The tick's integration, as RungeKuttaSystem(4, state, derivative, 0,
    // TickMinutes, 5, 5) does it; its checks cannot fail with these
    // arguments, and its table would only hand back the last state.
    constexpr double h = detail::StepWidth(0.0, TickMinutes, TickSteps);
    const std::array states{&Slot(AllAlgorithms[0]).State, &Slot(AllAlgorithms[1]).State,
                            &Slot(AllAlgorithms[2]).State};
    // mg into litres gives mcg/ml. Skipped when there is none, so that a
    // tick without a bolus is bit for bit what it always was.
    if (bolusMg != 0.0) {
        for (std::size_t m = 0; m < states.size(); ++m) {
            double& plasma = (*states[m])[StatePlasma];
            plasma = static_cast<double>(plasma + static_cast<long double>(bolusMg) / m_parameters[m].V1);
        }
    }
    std::array<TickDerivative, states.size()> derivative;
    for (std::size_t m = 0; m < states.size(); ++m)
        derivative[m] = {&m_parameters[m], m_inputSlopes[m]};
    const std::array derivatives{&derivative[0], &derivative[1], &derivative[2]};
    // Not zeroed: with all four equations every entry is written before it
    // is read, and clearing them each tick cost a few per cent of it.
    std::array<detail::RungeKuttaWork, states.size()> work;
    for (std::int32_t step = 0; step < TickSteps; ++step)
        detail::RungeKuttaStep(states, work, derivatives, 4, h);
}

double FastestModelRate(const ModelParameters& p)
{
    // Row by row in concentrations: the diagonal plus the off-diagonal sum,
    // which for the central compartment equals its outflows k12 + k13 + k14.
    return std::max({p.k10 + 2.0 * (p.k12 + p.k13 + p.k14), 2.0 * p.k21, 2.0 * p.k31, 2.0 * p.k41});
}

std::string PatientRefusal(const Patient& patient)
{
    // The limits as the texts say them, from the constants that decide.
    const auto limit = [](double value) { return FormatGeneral(value, 15, LocaleSettings{}); };
    const double height = patient.PatientHeight;
    const double weight = patient.PatientWeight;
    if (height > MaxHeightMetres)
        return "Height above " + limit(MaxHeightMetres) + " m. Height is in metres, for example 1.75.";
    if (weight > MaxWeightKg)
        return "Weight above " + limit(MaxWeightKg) + " kg. Weight is in kilograms, for example 70.";
    const double bmi = BodyMassIndex(height, weight);
    if (!(bmi >= MinBodyMassIndex && bmi <= MaxBodyMassIndex))
        return "A body-mass index of " + FormatGeneral(bmi, 4, LocaleSettings{}) + " kg/m2 is outside "
               + limit(MinBodyMassIndex) + " to " + limit(MaxBodyMassIndex)
               + ". Check the height (in metres, for example 1.75) and the weight (in kilograms).";

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
        ModelParameters model;
        LoadModelInputs(schnider, 0.0, weight, model);
        if (!(FastestModelRate(model) <= MaxModelRatePerMinute))
            return std::string("The Schnider model changes too fast for this patient with the ")
                   + AlgorithmName(algorithm)
                   + " lean body mass to be followed reliably. Check the age, the height (in "
                     "metres) and the weight (in kilograms); Sedalyn cannot predict "
                     "concentrations for this patient.";
    }
    return {};
}

std::vector<std::string> PatientWarnings(const Patient& patient)
{
    // Schnider et al. 1998: 24 volunteers, 25-81 years, 44-123 kg, 155-191 cm.
    const double age = patient.PatientAge;
    const double height = patient.PatientHeight;
    const double weight = patient.PatientWeight;
    std::vector<std::string> warnings;
    if (age < 25.0 || age > 81.0 || weight < 44.0 || weight > 123.0 || height < 1.55 || height > 1.91)
        warnings.emplace_back("Outside the Schnider study population (age 25–81 y, "
                              "44–123 kg, 1.55–1.91 m): predictions are extrapolated.");
    // d(LBM)/dW = a - 2 b W / Hcm^2 for James's a W - b W^2 / Hcm^2.
    const double hcm = 100.0 * height;
    const double slope = patient.IsMale() ? 1.1 - 2.0 * 128.0 * weight / (hcm * hcm)
                                          : 1.07 - 2.0 * 148.0 * weight / (hcm * hcm);
    if (slope <= 0.0)
        warnings.emplace_back("James lean body mass falls at this weight: read the James row with care.");
    return warnings;
}

} // namespace sedalyn
