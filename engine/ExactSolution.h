#pragma once
// The compartment model solved exactly. With a constant input the four
// concentrations are sums of exponentials in time, so any moment can be
// reached in one step with no integration error. The wake-up time rests on it
// and the tests measure the tick's integration against it. Eigen types: kept
// out of the tick's headers.

#include "CompartmentModel.h"
#include "Eleveld.h"

#include <Eigen/Core>

namespace sedalyn {

// C1 (plasma), C2, C3, C4 (effect site) in mcg/ml.
using Concentrations = Eigen::Vector4d;

// A such that dC/dt = A·C + b reproduces ModelDerivative, including its
// compartments of volume 0 that are switched off.
Eigen::Matrix4d CompartmentMatrix(const ModelParameters& parameters);

// b: the infusion's share of dC1/dt, per minute.
Concentrations InputVector(const ModelParameters& parameters);

Concentrations StateConcentrations(const ModelState& state);

// The same for the Eleveld model, whose effect site is a link: fed by plasma
// at ke0, returning nothing. The input in mg/min.
Eigen::Matrix4d CompartmentMatrix(const EleveldParameters& parameters);
Concentrations InputVector(const EleveldParameters& parameters, double infusionInput);

// The eigen-decomposition A = P·diag(rates)·P⁻¹, computed once per parameter
// set. Exchange runs only between the central compartment and each other
// one, so scaling by the square roots of the volume ratios makes A
// symmetric: the rates are real and the decomposition is well conditioned.
// An effect site that is a link (fed by plasma, returning nothing) is added
// to the modes of the other three as one more mode of its own.
class CompartmentModes {
public:
    explicit CompartmentModes(const ModelParameters& parameters);
    CompartmentModes(const Eigen::Matrix4d& a, const Concentrations& b);

    // False for parameters that are not finite or not a compartment model
    // (an exchange running one way only, other than an effect-site link), and
    // for a link whose rate is within a millionth of one of the other modes'
    // (their weights would cancel to noise); nothing else may be called then.
    bool Valid() const { return m_valid; }

    // The eigenvalues of A, per minute, in increasing order; all negative for
    // a model that eliminates the drug.
    const Eigen::Vector4d& Rates() const { return m_rates; }

    // The concentrations `minutes` after `start` under the constant input.
    Concentrations Advance(const Concentrations& start, double minutes) const;

    // The step of `minutes` under a constant input, as a matrix and a
    // column: the state then is Decay·start + PerInput·u, u being the
    // input's share of dC1/dt (per minute). Worked out once, it makes each
    // further step one matrix-vector product.
    struct Transition {
        Eigen::Matrix4d Decay;
        Concentrations PerInput;
    };
    Transition Over(double minutes) const;

    // Weights w such that with no input Ce(t) = Σ w_i·exp(Rates_i·t) from `start`.
    Eigen::Vector4d EffectSiteWeights(const Concentrations& start) const;

private:
    void DecomposeWithLink(const Eigen::Matrix4d& a, const Concentrations& b);

    bool m_valid = false;
    Eigen::Vector4d m_rates = Eigen::Vector4d::Zero();
    Eigen::Matrix4d m_modes = Eigen::Matrix4d::Zero();   // P: the eigenvectors of A
    Eigen::Matrix4d m_inverse = Eigen::Matrix4d::Zero(); // P⁻¹
    Eigen::Vector4d m_input = Eigen::Vector4d::Zero();   // P⁻¹·b
};

} // namespace sedalyn
