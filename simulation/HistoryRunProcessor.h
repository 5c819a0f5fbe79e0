#pragma once

#include "simulation/RunProcessor.h"

namespace kd {

// A console run that writes one capture-history file, in the layout of its kind.
class HistoryRunProcessor : public RunProcessor
{
public:
    using RunProcessor::RunProcessor;

    bool process(int runIndex) override;
};

} // namespace kd
