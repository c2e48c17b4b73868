#include "CompartmentModel.h"

namespace sedalyn {

void ModelDerivative::Slopes(const ModelParameters& p, double inputSlope, ModelState& slopes,
                             const ModelState& state)
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

    // A compartment of volume exactly 0 is switched off.
    slopes[StateCompartment3] =
        p.V3 == 0.0 ? 0.0 : static_cast<double>(p.k13 * c1 * p.V1 / p.V3 - p.k31 * c3);
    slopes[StateEffectSite] =
        p.V4 == 0.0 ? 0.0 : static_cast<double>(p.k14 * c1 * p.V1 / p.V4 - p.k41 * c4);
}

} // namespace sedalyn
