#pragma once

#include <cstdint>
#include <vector>

namespace kd {

// One animal's encounter history: 1 where it was caught, 0 elsewhere, one entry per occasion.
// An animal removed at its last capture (a loss on capture) is never released again.
struct CaptureHistory
{
    std::vector<std::uint8_t> occasions;
    bool removedAtLastCapture = false;
    // An animal removed from the study whether or not it was caught there: known alive at this
    // occasion and gone right after it. -1 when it was not removed so.
    int removalOccasion = -1;
};

} // namespace kd
