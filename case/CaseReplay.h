#pragma once
// The Eleveld model of a case read back from its data file. The rows hold the
// three Schnider models only, so Eleveld is replayed from the start, rate,
// bolus and resumed rows on the case's own 5-second steps, beside the three;
// it is trusted only where the three come out as the rows wrote them.

#include "CaseFileReading.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace sedalyn {

struct EleveldReplay {
    // Plasma and effect site after each step (the first is 1); empty when
    // the case could not be replayed.
    std::vector<EleveldConcentrations> Steps;
    bool Opioid = false;
    // The file names the opioid setting; otherwise none was assumed.
    bool OpioidKnown = false;
    // Why there is no replay, as the end of a sentence: "the file has no
    // rate rows".
    QString Missing;

    bool Replayed() const { return !Steps.empty(); }
    // The values at a row's or a bolus's time; none off the replayed steps.
    std::optional<EleveldConcentrations> At(double minutes) const;
};

EleveldReplay ReplayEleveld(const CaseFileContent& content);

} // namespace sedalyn
