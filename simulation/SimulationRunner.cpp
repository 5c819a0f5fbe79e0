#include "simulation/SimulationRunner.h"

#include "app/ConsoleMessageLogger.h"
#include "app/Settings.h"
#include "loader/DataLoader.h"
#include "simulation/FalseEventsProcessor.h"
#include "simulation/KavelRunProcessor.h"
#include "simulation/SimulationConfig.h"
#include "simulation/StandardRunProcessor.h"
#include "simulation/SurvivalRunProcessor.h"
#include "store/SQLiteDataProvider.h"

#include <QDir>
#include <QFileInfo>
#include <QMap>

namespace kd {

SimulationRunner::SimulationRunner(int argc, char** argv, std::FILE* out, std::FILE* err)
    : out_(out), err_(err), logger_(std::make_unique<ConsoleMessageLogger>(err))
{
    if (argc >= 1 && argv[0])
        programPath_ = QString::fromLocal8Bit(argv[0]);
    if (argc >= 2 && argv[1])
        simulationDir_ = QString::fromLocal8Bit(argv[1]);
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
    std::unique_ptr<RunProcessor> processor;
    if (type == QLatin1String("false_events"))
        processor =
            std::make_unique<FalseEventsProcessor>(config_.get(), provider_.get(), logger_.get());
    else if (type == QLatin1String("kavel"))
        processor =
            std::make_unique<KavelRunProcessor>(config_.get(), provider_.get(), logger_.get());
    else if (type == QLatin1String("standard"))
        processor =
            std::make_unique<StandardRunProcessor>(config_.get(), provider_.get(), logger_.get());
    else if (type == QLatin1String("survival"))
        processor =
            std::make_unique<SurvivalRunProcessor>(config_.get(), provider_.get(), logger_.get());
    if (!processor)
        return nullptr;
    processor->setStreams(out_, err_);
    return processors_.emplace(type, std::move(processor)).first->second.get();
}

int SimulationRunner::run()
{
    if (simulationDir_.isEmpty()) {
        log(QStringLiteral("Usage: ") + programPath_ + QStringLiteral(" <simulation dir>"));
        return -1;
    }
    const QString version = Settings::instance().fixedValue(Settings::Version).toString();
    if (!QFileInfo(simulationDir_).isDir()) {
        if (simulationDir_ == QLatin1String("--help") || simulationDir_ == QLatin1String("-h")) {
            print(QStringLiteral("Usage: %1 [<simulation dir>]\n\n"
                                 "Without an argument Keldar opens its desktop window.\n"
                                 "With a simulation folder it runs in batch mode: it reads the\n"
                                 "folder's config.txt, loads the configured data folder into\n"
                                 "keldar.db in the simulation folder and writes the result file\n"
                                 "of every active run. Progress goes to standard error.\n\n"
                                 "Options:\n"
                                 "  -h, --help     show this text\n"
                                 "  --version      show the version\n\n"
                                 "Exit status in batch mode:\n"
                                 "  1    every active run was handled\n"
                                 "  2    every run was handled, but at least one failed or\n"
                                 "       was refused (no file written)\n"
                                 "  255  nothing was run: usage, configuration, database or\n"
                                 "       data folder error")
                      .arg(programPath_));
            return 0;
        }
        if (simulationDir_ == QLatin1String("--version")) {
            print(QStringLiteral("Keldar ") + version);
            return 0;
        }
    }

    QDir simulationDir(simulationDir_);
    const QString configPath = simulationDir.filePath(QStringLiteral("config.txt"));
    config_ = std::make_unique<SimulationConfig>();
    config_->setLogger(logger_.get());
    if (!config_->load(configPath)) {
        print(QStringLiteral("Error loading config file"));
        return -1;
    }

    log(programPath_ + QStringLiteral(" v.") + version);
    log(QStringLiteral("Initializing database..."));
    provider_ = std::make_unique<SQLiteDataProvider>(
        simulationDir.filePath(Settings::instance().fixedValue(Settings::DbName).toString()));
    provider_->setLogger(logger_.get());
    if (provider_->hasError()) {
        log(provider_->errorText());
        return -1;
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
        return -1;
    }
    loader.setDataDir(dataDir.path());
    loader.setLogger(logger_.get());
    if (!loader.load()) {
        const QString reason = provider_->errorText();
        log(reason.isEmpty() ? QStringLiteral("Unable to load the data folder ") + dataDir.path()
                             : reason);
        return -1;
    }
    log(QStringLiteral("Done.\n"));

    log(QStringLiteral("Processing runs"));
    log(QStringLiteral("---------------"));
    const int runCount = config_->runCount();
    bool failed = false;
    // Result files claimed by the runs so far: a later run must not overwrite an earlier one's.
    QMap<QString, QString> claimed;
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
        const QString path = processor->plannedPath(i);
        const auto earlier = claimed.constFind(path);
        if (earlier != claimed.cend()) {
            log(QStringLiteral("Run \"%1\" refused: run \"%2\" writes the same file %3")
                    .arg(config_->title(i), *earlier, path));
            failed = true;
            continue;
        }
        claimed.insert(path, config_->title(i));
        log(QStringLiteral("Type: ") + type + QStringLiteral("..."));
        if (!processor->prepare(i) || !processor->process(i))
            failed = true;
    }
    return failed ? 2 : 1;
}

} // namespace kd
