#pragma once

#include "BodySize.h"
#include "Schnider.h"

namespace sedalyn::test {

inline Patient MakePatient(bool male, double age, double height, double weight)
{
    return Patient{age, height, weight,
                   [male] { return std::string(male ? MaleCaption : FemaleCaption); }};
}

} // namespace sedalyn::test
