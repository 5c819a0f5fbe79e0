#pragma once

namespace kd {

// The steps of the window's processing sequence; Idle when none runs.
enum ProcessingStep {
    Idle = 0,
    LoadData = 1,
    QueryData = 2,
    ProcessData = 3,
    WriteResults = 4,
    Canceled = 5
};

} // namespace kd
