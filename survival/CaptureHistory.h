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
};

} // namespace kd
