#pragma once
// The four-compartment model: central (plasma), two peripheral compartments
// and the effect site.

#include "Schnider.h"

#include <array>

namespace sedalyn {

// Index 0: model time in minutes; 1: plasma (C1); 2: compartment 2;
// 3: compartment 3; 4: effect site (Ce). Concentrations in mcg/ml.
// Also the integrator's slope and result-row type.
using ModelState = std::array<double, 5>;

enum ModelStateIndex : std::size_t {
    StateTime = 0,
    StatePlasma = 1,
    StateCompartment2 = 2,
    StateCompartment3 = 3,
    StateEffectSite = 4,
};

// The right-hand side of the model. It reads the parameter record it is bound
// to; that record must not change while an integration runs. Writes indices 1
// to 4 of `slopes` (per minute) and leaves index 0 alone.
class ModelDerivative {
public:
    explicit ModelDerivative(const ModelParameters& parameters) : m_parameters(parameters) {}

    void operator()(ModelState& slopes, const ModelState& state) const
    {
        Slopes(m_parameters, InputSlope(m_parameters), slopes, state);
    }

    // The infusion's share of dC1/dt, rounded to double: constant while the
    // record is, so a caller that keeps the record may work it out once.
    static double InputSlope(const ModelParameters& parameters)
    {
        return static_cast<double>(static_cast<long double>(parameters.InfusionInput) / parameters.V1);
    }

    // The slopes with that share given.
    static void Slopes(const ModelParameters& parameters, double inputSlope, ModelState& slopes,
                       const ModelState& state);

private:
    const ModelParameters& m_parameters;
};

} // namespace sedalyn
