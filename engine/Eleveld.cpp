#include "Eleveld.h"

#include <cmath>

namespace sedalyn {

namespace {
using Wide = long double;

// Eleveld et al. 2018, final pharmacokinetic model, arterial samples: the
// supplement's estimates at full precision, numbered as the paper's thetas.
constexpr Wide V1Ref = 6.2830780766822L;            // theta1, L
constexpr Wide V2Ref = 25.5013145036879L;           // theta2, L
constexpr Wide V3Ref = 272.8166615043603L;          // theta3, L
constexpr Wide ClRefMale = 1.7895836588902L;        // theta4, L/min
constexpr Wide Q2Ref = 1.7500983738779L;            // theta5, L/min
constexpr Wide Q3Ref = 1.1085424008536L;            // theta6, L/min
constexpr Wide ClMaturationE50 = 42.2760190602615L; // theta8, weeks PMA
constexpr Wide ClMaturationSlope = 9.0548452392807L; // theta9
constexpr Wide V2Ageing = -0.015633L;               // theta10, per year
constexpr Wide ClOpioidAgeing = -0.00285709L;       // theta11, per year
constexpr Wide V1WeightHalfMax = 33.5531248778544L; // theta12, kg
constexpr Wide V3OpioidAgeing = -0.0138166L;        // theta13, per year
constexpr Wide Q3MaturationE50 = 68.2767978846832L; // theta14, weeks PMA
constexpr Wide ClRefFemale = 2.1002218877899L;      // theta15, L/min
constexpr Wide Q2Maturation = 1.3042680471360L;     // theta16

// Pharmacodynamic model, arterial: ke0 = 0.146 (WGT/70)^-0.25 per minute.
constexpr Wide Ke0Ref = 0.146L;

// The reference individual: 35 years, 70 kg, 1.70 m, male.
constexpr Wide AgeRef = 35.0L;
constexpr Wide WeightRef = 70.0L;
constexpr Wide HeightRef = 1.70L;

// The paper's post-menstrual age of a child born at term, in weeks.
constexpr Wide WeeksPerYear = 52.0L;
constexpr Wide TermWeeks = 40.0L;

Wide PostMenstrualWeeks(Wide age)
{
    return age * WeeksPerYear + TermWeeks;
}

// f_sigmoid(x, E50, lambda) = x^lambda / (x^lambda + E50^lambda).
Wide Sigmoid(Wide x, Wide e50, Wide lambda)
{
    const Wide xl = std::pow(x, lambda);
    return xl / (xl + std::pow(e50, lambda));
}

// f_central(WGT) = f_sigmoid(WGT, theta12, 1).
Wide Central(Wide weight)
{
    return Sigmoid(weight, V1WeightHalfMax, 1.0L);
}

// f_CLmaturation = f_sigmoid(PMA, theta8, theta9).
Wide ClMaturation(Wide age)
{
    return Sigmoid(PostMenstrualWeeks(age), ClMaturationE50, ClMaturationSlope);
}

// f_Q3maturation = f_sigmoid(AGE in weeks + 40, theta14, 1).
Wide Q3Maturation(Wide age)
{
    return Sigmoid(PostMenstrualWeeks(age), Q3MaturationE50, 1.0L);
}

// f_opiates(x) = 1 without opioids, exp(x AGE) with them: age itself, not
// its distance from the reference.
Wide Opiates(Wide x, Wide age, bool opioid)
{
    return opioid ? std::exp(x * age) : 1.0L;
}

Wide Ffm(bool isMale, Wide age, Wide height, Wide weight)
{
    const Wide bmi = weight / (height * height);
    // 1 / (1 + (AGE/a)^-b), written as a sigmoid so that age 0 needs no infinity.
    if (isMale)
        return (0.88L + (1.0L - 0.88L) * Sigmoid(age, 13.4L, 12.7L))
               * (9270.0L * weight / (6680.0L + 216.0L * bmi));
    return (1.11L + (1.0L - 1.11L) * Sigmoid(age, 7.1L, 1.1L))
           * (9270.0L * weight / (8780.0L + 244.0L * bmi));
}

// mg/kg/hr to mg/min, as the Schnider models take it.
constexpr Wide PerMinute = 0.016666666666666666667L;

// The paper's population, post-menstrual age in weeks and weight in kg.
constexpr double PopulationMinWeeks = 27.0;
constexpr double PopulationMaxAge = 88.0;
constexpr double PopulationMinWeight = 0.68;
constexpr double PopulationMaxWeight = 160.0;
} // namespace

double AlSallamiFfm(bool isMale, double age, double height, double weight)
{
    return static_cast<double>(Ffm(isMale, age, height, weight));
}

EleveldParameters BuildEleveldParameters(const Patient& patient, bool opioid)
{
    const Wide age = patient.PatientAge;
    const Wide weight = patient.PatientWeight;
    const bool male = patient.IsMale();
    const Wide ffmRef = Ffm(true, AgeRef, HeightRef, WeightRef);
    const Wide ffm = Ffm(male, age, patient.PatientHeight, weight);

    // V1 = theta1 f_central(WGT) / f_central(WGTref)
    const Wide v1 = V1Ref * Central(weight) / Central(WeightRef);
    // V2 = theta2 (WGT/WGTref) f_ageing(theta10), f_ageing(x) = exp(x (AGE - AGEref))
    const Wide v2 = V2Ref * (weight / WeightRef) * std::exp(V2Ageing * (age - AgeRef));
    // V3 = theta3 (FFM/FFMref) f_opiates(theta13)
    const Wide v3 = V3Ref * (ffm / ffmRef) * Opiates(V3OpioidAgeing, age, opioid);
    // CL = theta4|theta15 (WGT/WGTref)^0.75 f_CLmat / f_CLmat,ref f_opiates(theta11)
    const Wide cl = (male ? ClRefMale : ClRefFemale) * std::pow(weight / WeightRef, 0.75L)
                    * ClMaturation(age) / ClMaturation(AgeRef)
                    * Opiates(ClOpioidAgeing, age, opioid);
    // Q2 = theta5 (V2/V2ref)^0.75 (1 + theta16 (1 - f_Q3mat)); not normalised
    // to the reference, whose Q2 is therefore 1.83 rather than theta5.
    const Wide q2 = Q2Ref * std::pow(v2 / V2Ref, 0.75L)
                    * (1.0L + Q2Maturation * (1.0L - Q3Maturation(age)));
    // Q3 = theta6 (V3/V3ref)^0.75 f_Q3mat / f_Q3mat,ref
    const Wide q3 = Q3Ref * std::pow(v3 / V3Ref, 0.75L) * Q3Maturation(age) / Q3Maturation(AgeRef);

    EleveldParameters p;
    p.V1 = static_cast<double>(v1);
    p.V2 = static_cast<double>(v2);
    p.V3 = static_cast<double>(v3);
    p.CL = static_cast<double>(cl);
    p.Q2 = static_cast<double>(q2);
    p.Q3 = static_cast<double>(q3);
    p.ke0 = static_cast<double>(Ke0Ref * std::pow(weight / WeightRef, -0.25L));
    return p;
}

EleveldDerivative::EleveldDerivative(const EleveldParameters& p, double infusionInput)
    : m_input(static_cast<double>(Wide{infusionInput} / p.V1)),
      m_k10(static_cast<double>(Wide{p.CL} / p.V1)),
      m_k12(static_cast<double>(Wide{p.Q2} / p.V1)),
      m_k13(static_cast<double>(Wide{p.Q3} / p.V1)),
      m_k21(static_cast<double>(Wide{p.Q2} / p.V2)),
      m_k31(static_cast<double>(Wide{p.Q3} / p.V3)),
      m_ke0(p.ke0)
{
}

void EleveldDerivative::operator()(ModelState& slopes, const ModelState& state) const
{
    const Wide cp = state[StatePlasma];
    const Wide c2 = state[StateCompartment2];
    const Wide c3 = state[StateCompartment3];
    const Wide ce = state[StateEffectSite];
    // In concentrations Q2/V1 C2 is k12 C2: each exchange is a rate times a difference.
    slopes[StatePlasma] =
        static_cast<double>(m_input - m_k10 * cp - m_k12 * (cp - c2) - m_k13 * (cp - c3));
    slopes[StateCompartment2] = static_cast<double>(m_k21 * (cp - c2));
    slopes[StateCompartment3] = static_cast<double>(m_k31 * (cp - c3));
    slopes[StateEffectSite] = static_cast<double>(m_ke0 * (cp - ce));
}

void EleveldModel::Reset(bool opioid)
{
    m_opioid = opioid;
    Slot.State = ModelState{};
}

void EleveldModel::AdvanceTick(const Patient& patient, double infusionRate, double bolusMg)
{
    const EleveldParameters p = BuildEleveldParameters(patient, m_opioid);
    const double input =
        static_cast<double>(Wide{infusionRate} * patient.PatientWeight * PerMinute);
    // mg into litres gives mcg/ml.
    if (bolusMg != 0.0)
        Slot.State[StatePlasma] =
            static_cast<double>(Slot.State[StatePlasma] + Wide{bolusMg} / p.V1);
    IntegratorErrorCode code = 0;
    ResultTable results;
    RungeKuttaSystem(4, Slot.State, EleveldDerivative(p, input), 0.0, TickMinutes, TickSteps,
                     TickSteps, results, code);
    ReportIntegratorError(code);
    Slot.State = results[TickSteps];
}

std::string EleveldPopulationWarning(const Patient& patient)
{
    const double age = patient.PatientAge;
    const double weight = patient.PatientWeight;
    const double pma = static_cast<double>(PostMenstrualWeeks(age));
    if (pma < PopulationMinWeeks || age > PopulationMaxAge || weight < PopulationMinWeight
        || weight > PopulationMaxWeight)
        return "Outside the Eleveld study population (post-menstrual age 27 weeks to 88 y, "
               "0.68–160 kg): Eleveld predictions are extrapolated.";
    return {};
}

} // namespace sedalyn
