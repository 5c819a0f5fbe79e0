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

// The console face: loads a simulation folder's data into its database and handles each
// configured run with the processor of its type.
class SimulationRunner
{
public:
    // Messages are logged to err; the few printed lines go to out.
    SimulationRunner(int argc, char** argv, std::FILE* out = stdout, std::FILE* err = stderr);
    ~SimulationRunner();

    SimulationRunner(const SimulationRunner&) = delete;
    SimulationRunner& operator=(const SimulationRunner&) = delete;

    // 1 after all runs were handled; 2 when all were handled but at least one failed or was
    // refused; -1 on usage, configuration, database or load failure; 0 for --help and
    // --version.
    int run();

    // Number of processor objects created so far (one per run type in use).
    int processorCount() const { return int(processors_.size()); }

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
