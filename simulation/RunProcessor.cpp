#include "simulation/RunProcessor.h"

#include "base/MessageLoggerI.h"
#include "processing/SafeFileName.h"
#include "run/RunExecution.h"
#include "simulation/SimulationConfig.h"
#include "store/DataProvider.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

namespace kd {

RunProcessor::RunProcessor(SimulationConfig* config, DataProvider* provider, MessageLoggerI* logger)
    : config_(config), provider_(provider), logger_(logger)
{
}

RunProcessor::~RunProcessor() = default;

void RunProcessor::setStreams(std::FILE* out, std::FILE* err)
{
    out_ = out;
    err_ = err;
}

void RunProcessor::log(const QString& message) const
{
    if (logger_)
        logger_->log(message, 0);
}

bool RunProcessor::prepare(int runIndex)
{
    QString error;
    if (!config_->runPlan(runIndex, plan_, error)) {
        log(error);
        return false;
    }
    const QString title = plan_.name;
    const QString warning = QStringLiteral("***Warning: ");
    QStringList warned;
    const auto warnOnce = [&](const QString& text) {
        if (!warned.contains(text)) {
            warned.append(text);
            log(warning + text);
        }
    };
    for (const QString& name : config_->releaseNames(runIndex)) {
        if (!config_->definesRelease(name))
            warnOnce(QStringLiteral("Run \"%1\": no release named \"%2\"").arg(title, name));
    }
    for (const QString& name : config_->siteNames(runIndex)) {
        if (!config_->definesSite(name))
            warnOnce(QStringLiteral("Run \"%1\": no site named \"%2\"").arg(title, name));
    }
    for (const ReleaseRecord& release : std::as_const(plan_.selection.releases)) {
        if (!provider_->hasReleaseGroup(release.site, release.species, release.year))
            warnOnce(QStringLiteral("Release \"%1\": no release group at location %2, species "
                                    "%3, year %4")
                         .arg(release.name, release.site, release.species)
                         .arg(release.year));
    }
    for (const SiteRecord& site : std::as_const(plan_.selection.sites)) {
        if (!provider_->hasArray(site.location, site.year))
            warnOnce(QStringLiteral("Site \"%1\": no array at location %2, year %3")
                         .arg(site.name, site.location)
                         .arg(site.year));
    }
    // The kind's options are refused after the selection's warnings, as they always were.
    if (!config_->runOptions(runIndex, plan_, error)) {
        log(error);
        return false;
    }
    return true;
}

bool RunProcessor::extractConfigured(RunExecution& execution)
{
    const RunSelection& selection = execution.plan().selection;
    const QList<ReleaseRecord>& releases = selection.releases;
    const QList<SiteRecord>& sites = selection.sites;
    const QString title = execution.plan().name;
    // Any statement that fails here fails the run: a definition left over from the run before
    // would otherwise select that run's fish into this run's file.
    const auto failed = [&]() {
        log(QStringLiteral("Run \"%1\" failed: %2").arg(title, provider_->errorText()));
        return false;
    };

    log(QStringLiteral("Loading releases..."));
    if (!provider_->clearReleases())
        return failed();
    for (const ReleaseRecord& release : releases) {
        if (!provider_->addReleaseRecord(release))
            return failed();
    }

    log(QStringLiteral("Loading detection sites..."));
    if (!provider_->clearSites() || !provider_->clearTable(DataProvider::SitesTable))
        return failed();
    for (const SiteRecord& site : sites) {
        if (!provider_->addSiteRecord(site))
            return failed();
    }

    log(QStringLiteral("Loading detection histories..."));
    // The configured releases and sites select the rows through a run made for this extraction
    // only; the database keeps the last run's releases and sites, but no run.
    if (!provider_->clearTable(DataProvider::RunsTable))
        return failed();
    const int runId = provider_->addRecordRun(title);
    if (runId < 0)
        return failed();
    if (!provider_->setRunWindow(runId, selection.windowStart, selection.windowEnd)) {
        provider_->deleteRun(runId);
        return failed();
    }
    execution.setStoredRunId(runId);
    const bool extracted = execution.extract();
    execution.setStoredRunId(-1);
    const QString extractionError = execution.errorText();
    if (!provider_->deleteRun(runId)) {
        log(QStringLiteral("Run \"%1\" failed: its working run could not be removed").arg(title));
        return false;
    }
    if (!extracted) {
        log(QStringLiteral("No hist rows found"));
        log(QStringLiteral("Run \"%1\" failed: %2").arg(title, extractionError));
        return false;
    }
    if (execution.extraction().rowCount == 0)
        log(QStringLiteral("***Warning: Run \"%1\" selects no fish").arg(title));
    return true;
}

bool RunProcessor::extractForCoding(RunExecution& execution)
{
    if (!extractConfigured(execution))
        return false;
    log(QStringLiteral("Processing ") + QString::number(execution.extraction().rowCount) +
        QStringLiteral(" events..."));
    return true;
}

QString RunProcessor::plannedPath(int runIndex) const
{
    QDir dir(config_->baseDir());
    const QString outputDir = config_->outputDir(runIndex);
    const QString folder = outputDir.isEmpty() ? dir.path() : dir.absoluteFilePath(outputDir);
    return QDir::cleanPath(QDir(folder).filePath(
        QStringLiteral("%1_%2.csv")
            .arg(safeFileName(config_->title(runIndex)), config_->type(runIndex))));
}

QString RunProcessor::resultPath(int runIndex)
{
    QDir dir(config_->baseDir());
    const QString outputDir = config_->outputDir(runIndex);
    if (!outputDir.isEmpty()) {
        const QString folder = QDir::cleanPath(dir.absoluteFilePath(outputDir));
        const QFileInfo info(folder);
        if (info.exists() && !info.isDir()) {
            log(QStringLiteral("Output folder is not a folder: ") + folder);
            return QString();
        }
        // A missing output folder is made rather than letting the file land somewhere else.
        if (!info.exists() && !dir.mkpath(outputDir)) {
            log(QStringLiteral("Unable to create output folder: ") + folder);
            return QString();
        }
    }
    return plannedPath(runIndex);
}

} // namespace kd
