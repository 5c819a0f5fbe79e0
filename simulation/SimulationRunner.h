#pragma once

#include <QString>

#include <cstdio>
#include <map>
#include <memory>

namespace kd {

class ConsoleMessageLogger;
class RunProcessor;
class SimulationConfig;
class SQLiteDataProvider;

// The batch mode: loads a simulation folder's data into its database and handles each
// configured run with the processor of its type. The command line and exit statuses are the
// entry point's business.
class SimulationRunner
{
public:
    enum Outcome {
        AllHandled, // every active run was handled
        SomeFailed, // every run was handled, but at least one failed or was refused
        Stopped     // nothing was run: configuration, database or data folder error
    };

    // Messages are logged to err; the few printed lines go to out. The program path starts
    // the log.
    SimulationRunner(const QString& programPath, const QString& simulationDir,
                     std::FILE* out = stdout, std::FILE* err = stderr);
    ~SimulationRunner();

    SimulationRunner(const SimulationRunner&) = delete;
    SimulationRunner& operator=(const SimulationRunner&) = delete;

    Outcome run();

private:
    void print(const QString& text);
    void log(const QString& text);
    RunProcessor* processorFor(const QString& type);

    QString simulationDir_;
    QString programPath_;
    std::FILE* out_;
    std::FILE* err_;
    std::unique_ptr<ConsoleMessageLogger> logger_;
    std::unique_ptr<SimulationConfig> config_;
    std::unique_ptr<SQLiteDataProvider> provider_;
    std::map<QString, std::unique_ptr<RunProcessor>> processors_;
};

} // namespace kd
