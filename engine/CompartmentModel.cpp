#include "CompartmentModel.h"

#include <bit>
#include <cstdint>

namespace sedalyn {

namespace {

// With a compartment that may be off, GCC merges the two outcomes of its
// slope into one value held in an SSE register and sends the x87 result
// through the stack to get there; the record with everything on, the usual
// one, is kept apart so that its slopes are stored straight away.
template <bool MayBeOff>
void SlopesOf(const ModelParameters& p, double inputSlope, ModelState& slopes, const ModelState& state)
{
    using Wide = long double;
    const Wide c1 = state[StatePlasma];
    const Wide c2 = state[StateCompartment2];
    const Wide c3 = state[StateCompartment3];
    const Wide c4 = state[StateEffectSite];

    // The other terms are applied to the rounded input quotient left to right.
    Wide d1 = inputSlope;
    d1 = d1 - p.k10 * c1;
    d1 = d1 - p.k12 * c1;
    d1 = d1 - p.k13 * c1;
    d1 = d1 - p.k14 * c1;
    d1 = d1 + p.k31 * c3 * p.V3 / p.V1;
    d1 = d1 + p.k21 * c2 * p.V2 / p.V1;
    d1 = d1 + p.k41 * c4 * p.V4 / p.V1;
    slopes[StatePlasma] = static_cast<double>(d1);

    slopes[StateCompartment2] = static_cast<double>(p.k12 * c1 * p.V1 / p.V2 - p.k21 * c2);

    if constexpr (MayBeOff) {
        // A compartment of volume exactly 0 is switched off.
        slopes[StateCompartment3] =
            p.V3 == 0.0 ? 0.0 : static_cast<double>(p.k13 * c1 * p.V1 / p.V3 - p.k31 * c3);
        slopes[StateEffectSite] =
            p.V4 == 0.0 ? 0.0 : static_cast<double>(p.k14 * c1 * p.V1 / p.V4 - p.k41 * c4);
    } else {
        slopes[StateCompartment3] = static_cast<double>(p.k13 * c1 * p.V1 / p.V3 - p.k31 * c3);
        slopes[StateEffectSite] = static_cast<double>(p.k14 * c1 * p.V1 / p.V4 - p.k41 * c4);
    }
}

// Out of line: merged into the usual case, it brings back the detour.
[[gnu::noinline]] void SlopesWithOneOff(const ModelParameters& p, double inputSlope, ModelState& slopes,
                                        const ModelState& state)
{
    SlopesOf<true>(p, inputSlope, slopes, state);
}

// +0 or -0. Tested on the bits: integer work leaves the floating-point
// pipes, which the tick's x87 arithmetic keeps busy, alone.
bool IsZero(double value)
{
    return (std::bit_cast<std::uint64_t>(value) << 1) == 0;
}

} // namespace

void ModelDerivative::Slopes(const ModelParameters& p, double inputSlope, ModelState& slopes,
                             const ModelState& state)
{
    if (IsZero(p.V3) || IsZero(p.V4))
        SlopesWithOneOff(p, inputSlope, slopes, state);
    else
        SlopesOf<false>(p, inputSlope, slopes, state);
}

} // namespace sedalyn
