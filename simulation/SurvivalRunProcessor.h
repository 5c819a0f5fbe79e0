#pragma once

#include "simulation/RunProcessor.h"

#include <memory>

class QGuiApplication;

namespace kd {

// Console runs of type "survival": the fish of the Standard file with the same settings, a
// phi(t) p(t) fit per release and its files NAME_survival.csv, NAME_fit.csv, NAME_marked.csv,
// NAME_mark.inp and NAME_survival.png in the run's output folder.
class SurvivalRunProcessor : public RunProcessor
{
public:
    SurvivalRunProcessor(SimulationConfig* config, DataProvider* provider, MessageLoggerI* logger);
    ~SurvivalRunProcessor() override;

    bool process(int runIndex) override;

private:
    // The chart needs a QGuiApplication for its fonts. False (after logging why) when the
    // program runs with an application object that is not one.
    bool ensureGuiApplication();

    // Arguments of the application started here; they must outlive it.
    int argc_ = 0;
    char* argv_[4] = {};
    std::unique_ptr<QGuiApplication> application_;
};

} // namespace kd
