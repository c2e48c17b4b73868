#include "ExactSolution.h"

#include <Eigen/Eigenvalues>

#include <algorithm>
#include <array>
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

Eigen::Matrix4d CompartmentMatrix(const EleveldParameters& p)
{
    const double k12 = p.Q2 / p.V1;
    const double k13 = p.Q3 / p.V1;
    Eigen::Matrix4d a = Eigen::Matrix4d::Zero();
    a(0, 0) = -(p.CL / p.V1 + k12 + k13);
    a(0, 1) = k12;
    a(0, 2) = k13;
    a(1, 0) = p.Q2 / p.V2;
    a(1, 1) = -a(1, 0);
    a(2, 0) = p.Q3 / p.V3;
    a(2, 2) = -a(2, 0);
    a(3, 0) = p.ke0;
    a(3, 3) = -p.ke0;
    return a;
}

Concentrations InputVector(const EleveldParameters& parameters, double infusionInput)
{
    return {infusionInput / parameters.V1, 0.0, 0.0, 0.0};
}

CompartmentModes::CompartmentModes(const ModelParameters& parameters)
    : CompartmentModes(CompartmentMatrix(parameters), InputVector(parameters))
{
}

CompartmentModes::CompartmentModes(const Eigen::Matrix4d& a, const Concentrations& b)
{
    if (!a.allFinite() || !b.allFinite())
        return;
    if (a(0, 3) == 0.0 && a(3, 0) > 0.0) {
        DecomposeWithLink(a, b);
        return;
    }

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

void CompartmentModes::DecomposeWithLink(const Eigen::Matrix4d& a, const Concentrations& b)
{
    // A = [[B, 0], [c, mu]] with c = a(3,0) e1: block triangular, so the rates
    // are those of B and mu. B's modes are found as above; each gains an
    // effect-site share r = c·p0 / (rate - mu), and mu's mode is the effect
    // site alone.
    if (a(1, 3) != 0.0 || a(2, 3) != 0.0 || a(3, 1) != 0.0 || a(3, 2) != 0.0)
        return;
    const Eigen::Matrix3d inner = a.topLeftCorner<3, 3>();
    Eigen::Vector3d scale = Eigen::Vector3d::Ones();
    for (Eigen::Index j = 1; j < 3; ++j) {
        const double out = inner(0, j);
        const double back = inner(j, 0);
        if (out > 0.0 && back > 0.0)
            scale(j) = std::sqrt(out / back);
        else if (out != 0.0 || back != 0.0)
            return;
    }
    const Eigen::Matrix3d symmetric =
        scale.asDiagonal() * inner * scale.cwiseInverse().asDiagonal();
    const Eigen::SelfAdjointEigenSolver<Eigen::Matrix3d> solver(symmetric);
    if (solver.info() != Eigen::Success)
        return;
    const Eigen::Vector3d rates = solver.eigenvalues();
    const Eigen::Matrix3d modes = scale.cwiseInverse().asDiagonal() * solver.eigenvectors();
    const Eigen::Matrix3d inverse = solver.eigenvectors().transpose() * scale.asDiagonal();

    // Within a millionth the effect-site weights grow past 1e6 and cancel.
    constexpr double ResonanceTolerance = 1e-6;
    const double mu = a(3, 3);
    Eigen::RowVector3d share;
    for (Eigen::Index i = 0; i < 3; ++i) {
        const double gap = rates(i) - mu;
        if (!(std::abs(gap) > ResonanceTolerance * std::max(std::abs(mu), std::abs(rates(i)))))
            return;
        share(i) = a(3, 0) * modes(0, i) / gap;
    }

    // P = [[modes, 0], [share, 1]], P⁻¹ = [[inverse, 0], [-share·inverse, 1]];
    // the four modes then go in increasing order of rate.
    Eigen::Matrix4d p = Eigen::Matrix4d::Zero();
    Eigen::Matrix4d pInverse = Eigen::Matrix4d::Zero();
    p.topLeftCorner<3, 3>() = modes;
    p.block<1, 3>(3, 0) = share;
    p(3, 3) = 1.0;
    pInverse.topLeftCorner<3, 3>() = inverse;
    pInverse.block<1, 3>(3, 0) = -share * inverse;
    pInverse(3, 3) = 1.0;
    Eigen::Vector4d allRates;
    allRates << rates, mu;

    std::array<Eigen::Index, 4> order{0, 1, 2, 3};
    std::sort(order.begin(), order.end(),
              [&](Eigen::Index x, Eigen::Index y) { return allRates(x) < allRates(y); });
    for (std::size_t k = 0; k < order.size(); ++k) {
        const auto to = static_cast<Eigen::Index>(k);
        m_rates(to) = allRates(order[k]);
        m_modes.col(to) = p.col(order[k]);
        m_inverse.row(to) = pInverse.row(order[k]);
    }
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
