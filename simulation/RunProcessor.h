#pragma once

namespace kd {

class DataProvider;
class MessageLoggerI;
class SimulationConfig;

// Base of the console run processors: handles one configured run by its index.
class RunProcessor
{
public:
    RunProcessor(SimulationConfig* config, DataProvider* provider, MessageLoggerI* logger)
        : config_(config), provider_(provider), logger_(logger)
    {
    }
    virtual ~RunProcessor() = default;

    RunProcessor(const RunProcessor&) = delete;
    RunProcessor& operator=(const RunProcessor&) = delete;

    virtual void process(int runIndex) = 0;

protected:
    SimulationConfig* config_;
    DataProvider* provider_;
    MessageLoggerI* logger_;
};

} // namespace kd
