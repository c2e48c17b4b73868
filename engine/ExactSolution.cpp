#include "ExactSolution.h"

#include <Eigen/Eigenvalues>

#include <cmath>

namespace sedalyn {

Eigen::Matrix4d CompartmentMatrix(const ModelParameters& p)
{
    Eigen::Matrix4d a = Eigen::Matrix4d::Zero();
    a(0, 0) = -(p.k10 + p.k12 + p.k13 + p.k14);
    a(0, 1) = p.k21 * p.V2 / p.V1;
    a(0, 2) = p.k31 * p.V3 / p.V1;
    a(0, 3) = p.k41 * p.V4 / p.V1;
    a(1, 0) = p.k12 * p.V1 / p.V2;
    a(1, 1) = -p.k21;
    if (p.V3 != 0.0) {
        a(2, 0) = p.k13 * p.V1 / p.V3;
        a(2, 2) = -p.k31;
    }
    if (p.V4 != 0.0) {
        a(3, 0) = p.k14 * p.V1 / p.V4;
        a(3, 3) = -p.k41;
    }
    return a;
}

Concentrations InputVector(const ModelParameters& parameters)
{
    return {parameters.InfusionInput / parameters.V1, 0.0, 0.0, 0.0};
}

Concentrations StateConcentrations(const ModelState& state)
{
    return {state[StatePlasma], state[StateCompartment2], state[StateCompartment3],
            state[StateEffectSite]};
}

CompartmentModes::CompartmentModes(const ModelParameters& parameters)
{
    const Eigen::Matrix4d a = CompartmentMatrix(parameters);
    const Concentrations b = InputVector(parameters);
    if (!a.allFinite() || !b.allFinite())
        return;

    // T·A·T⁻¹ is symmetric when t_j² = a(0,j) / a(j,0); a switched-off
    // compartment exchanges nothing and keeps t_j = 1.
    Eigen::Vector4d scale = Eigen::Vector4d::Ones();
    for (Eigen::Index j = 1; j < 4; ++j) {
        const double out = a(0, j);
        const double back = a(j, 0);
        if (out > 0.0 && back > 0.0)
            scale(j) = std::sqrt(out / back);
        else if (out != 0.0 || back != 0.0)
            return;
    }
    const Eigen::Matrix4d symmetric =
        scale.asDiagonal() * a * scale.cwiseInverse().asDiagonal();

    const Eigen::SelfAdjointEigenSolver<Eigen::Matrix4d> solver(symmetric);
    if (solver.info() != Eigen::Success)
        return;
    m_rates = solver.eigenvalues();
    // The eigenvectors Q are orthonormal, so P = T⁻¹·Q and P⁻¹ = Qᵀ·T.
    m_modes = scale.cwiseInverse().asDiagonal() * solver.eigenvectors();
    m_inverse = solver.eigenvectors().transpose() * scale.asDiagonal();
    m_input = m_inverse * b;
    m_valid = m_rates.allFinite() && m_modes.allFinite() && m_inverse.allFinite()
              && m_input.allFinite();
}

Concentrations CompartmentModes::Advance(const Concentrations& start, double minutes) const
{
    // Each mode decays as exp(rate·t) and gathers the input as
    // (exp(rate·t) - 1) / rate, which is t for a rate of 0.
    Eigen::Vector4d modal = m_inverse * start;
    for (Eigen::Index i = 0; i < 4; ++i) {
        const double x = m_rates(i) * minutes;
        const double gathered = m_rates(i) == 0.0 ? minutes : std::expm1(x) / m_rates(i);
        modal(i) = std::exp(x) * modal(i) + gathered * m_input(i);
    }
    return m_modes * modal;
}

CompartmentModes::Transition CompartmentModes::Over(double minutes) const
{
    Eigen::Vector4d decay;
    Eigen::Vector4d gathered;
    for (Eigen::Index i = 0; i < 4; ++i) {
        const double x = m_rates(i) * minutes;
        decay(i) = std::exp(x);
        gathered(i) = m_rates(i) == 0.0 ? minutes : std::expm1(x) / m_rates(i);
    }
    return {m_modes * decay.asDiagonal() * m_inverse,
            m_modes * gathered.asDiagonal() * m_inverse.col(0)};
}

Eigen::Vector4d CompartmentModes::EffectSiteWeights(const Concentrations& start) const
{
    return m_modes.row(StateEffectSite - 1).transpose().cwiseProduct(m_inverse * start);
}

} // namespace sedalyn
