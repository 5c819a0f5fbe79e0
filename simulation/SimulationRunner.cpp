#include "simulation/SimulationRunner.h"

#include "base/ConsoleMessageLogger.h"
#include "base/Settings.h"
#include "loader/DataLoader.h"
#include "run/ResultClaims.h"
#include "run/RunKinds.h"
#include "simulation/FalseEventsProcessor.h"
#include "simulation/HistoryRunProcessor.h"
#include "simulation/SimulationConfig.h"
#include "simulation/SurvivalRunProcessor.h"
#include "store/SQLiteDataProvider.h"

#include <QDir>
#include <QFileInfo>

namespace kd {

SimulationRunner::SimulationRunner(const QString& programPath, const QString& simulationDir,
                                   std::FILE* out, std::FILE* err)
    : simulationDir_(simulationDir), programPath_(programPath), out_(out), err_(err),
      logger_(std::make_unique<ConsoleMessageLogger>(err))
{
}

SimulationRunner::~SimulationRunner()
{
    config_.reset();
    provider_.reset();
    logger_.reset();
    processors_.clear();
}

void SimulationRunner::print(const QString& text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), out_);
    std::fputc('\n', out_);
    std::fflush(out_);
}

void SimulationRunner::log(const QString& text)
{
    logger_->log(text, 0);
}

RunProcessor* SimulationRunner::processorFor(const QString& type)
{
    auto found = processors_.find(type);
    if (found != processors_.end())
        return found->second.get();
    const RunKind* kind = RunKinds::byConsoleName(type);
    if (!kind)
        return nullptr;
    std::unique_ptr<RunProcessor> processor;
    switch (kind->computation) {
    case RunKind::Histories:
        processor =
            std::make_unique<HistoryRunProcessor>(config_.get(), provider_.get(), logger_.get());
        break;
    case RunKind::Survival:
        processor =
            std::make_unique<SurvivalRunProcessor>(config_.get(), provider_.get(), logger_.get());
        break;
    case RunKind::FalseEvents:
        processor =
            std::make_unique<FalseEventsProcessor>(config_.get(), provider_.get(), logger_.get());
        break;
    }
    processor->setStreams(out_, err_);
    return processors_.emplace(type, std::move(processor)).first->second.get();
}

SimulationRunner::Outcome SimulationRunner::run()
{
    QDir simulationDir(simulationDir_);
    const QString configPath = simulationDir.filePath(QStringLiteral("config.txt"));
    config_ = std::make_unique<SimulationConfig>();
    config_->setLogger(logger_.get());
    if (!config_->load(configPath)) {
        print(QStringLiteral("Error loading config file"));
        return Stopped;
    }

    log(programPath_ + QStringLiteral(" v.") +
        Settings::instance().fixedValue(Settings::Version).toString());
    log(QStringLiteral("Initializing database..."));
    provider_ = std::make_unique<SQLiteDataProvider>(
        simulationDir.filePath(Settings::instance().fixedValue(Settings::DbName).toString()));
    provider_->setLogger(logger_.get());
    if (provider_->hasError()) {
        log(provider_->errorText());
        return Stopped;
    }
    log(QStringLiteral("Done.\n"));

    log(QStringLiteral("Parsing data folder"));
    log(QStringLiteral("-------------------"));
    DataLoader loader(provider_.get());
    QDir dataDir = simulationDir;
    const QString configuredDataDir = config_->dataDir();
    // An empty "dataDir" means the data lie in the simulation folder itself; a named folder that
    // is missing must not silently turn into a load of the simulation folder.
    if (!configuredDataDir.isEmpty() && !dataDir.cd(configuredDataDir)) {
        log(QStringLiteral("Data folder not found: ") +
            QDir::cleanPath(simulationDir.absoluteFilePath(configuredDataDir)));
        return Stopped;
    }
    loader.setDataDir(dataDir.path());
    loader.setLogger(logger_.get());
    if (!loader.load()) {
        if (!loader.failureLogged()) {
            const QString reason = provider_->errorText();
            log(reason.isEmpty()
                    ? QStringLiteral("Unable to load the data folder ") + dataDir.path()
                    : reason);
        }
        return Stopped;
    }
    log(QStringLiteral("Done.\n"));

    log(QStringLiteral("Processing runs"));
    log(QStringLiteral("---------------"));
    const int runCount = config_->runCount();
    bool failed = false;
    ResultClaims claims;
    for (int i = 0; i < runCount; ++i) {
        if (!config_->active(i))
            continue;
        log(QStringLiteral("Run: ") + config_->title(i) + QStringLiteral("..."));
        const QString type = config_->type(i);
        RunProcessor* processor = processorFor(type);
        if (!processor) {
            print(QStringLiteral("Unknown run type: ") + type);
            failed = true;
            continue;
        }
        const QString refusal = claims.claim(processor->plannedPath(i), config_->title(i));
        if (!refusal.isEmpty()) {
            log(refusal);
            failed = true;
            continue;
        }
        log(QStringLiteral("Type: ") + type + QStringLiteral("..."));
        if (!processor->prepare(i) || !processor->process(i))
            failed = true;
    }
    return failed ? SomeFailed : AllHandled;
}

} // namespace kd
