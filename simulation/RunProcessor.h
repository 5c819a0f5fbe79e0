#pragma once

#include "run/RunPlan.h"
#include "store/CaptureRow.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <cstdio>

namespace kd {

class DataProvider;
class MessageLoggerI;
class RunExecution;
class SimulationConfig;

// Base of the console run processors: handles one configured run by its index.
class RunProcessor
{
public:
    RunProcessor(SimulationConfig* config, DataProvider* provider, MessageLoggerI* logger);
    virtual ~RunProcessor();

    RunProcessor(const RunProcessor&) = delete;
    RunProcessor& operator=(const RunProcessor&) = delete;

    // False when the run failed: its file could not be written or its settings were refused.
    // A run that by design writes nothing (such as a false-events run without two releases)
    // has not failed.
    virtual bool process(int runIndex) = 0;

    // Checks the run before it is processed and takes its plan: false (after logging why) when
    // its settings are refused. Warns about every configured entry and name that selects
    // nothing.
    bool prepare(int runIndex);

    // The result file the run would write, made from its output folder, title and type;
    // nothing is created.
    QString plannedPath(int runIndex) const;

    // Streams for the few texts written directly instead of through the logger.
    void setStreams(std::FILE* out, std::FILE* err);

protected:
    // Stores the prepared run's releases and sites, links them to the release groups and arrays
    // they describe and extracts the run. False (after logging why) when the extraction failed.
    bool extractConfigured(RunExecution& execution);
    // The same for the runs that code fish one by one, which also say how many rows are coming.
    bool extractForCoding(RunExecution& execution);
    // Path of the run's result file "<title>_<type>.csv" in its output folder, which is made
    // when missing; empty (after logging why) when the folder cannot be made or is a file.
    QString resultPath(int runIndex);
    void log(const QString& message) const;

    // The run prepared last.
    RunPlan plan_;
    SimulationConfig* config_;
    DataProvider* provider_;
    MessageLoggerI* logger_;
    std::FILE* out_ = stdout;
    std::FILE* err_ = stderr;
};

} // namespace kd
