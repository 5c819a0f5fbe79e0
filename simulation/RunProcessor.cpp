#include "simulation/RunProcessor.h"

#include "base/MessageLoggerI.h"
#include "processing/FishProcessor.h"
#include "processing/SafeFileName.h"
#include "run/RunPipeline.h"
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
    QDateTime start;
    QDateTime end;
    QString error;
    QDateTime cutoff;
    if (!config_->window(runIndex, start, end, error) ||
        !config_->cutoff(runIndex, cutoff, error)) {
        log(error);
        return false;
    }
    const QString title = config_->title(runIndex);
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
    for (const ReleaseRecord& release : config_->releases(runIndex)) {
        if (!provider_->hasReleaseGroup(release.site, release.species, release.year))
            warnOnce(QStringLiteral("Release \"%1\": no release group at location %2, species "
                                    "%3, year %4")
                         .arg(release.name, release.site, release.species)
                         .arg(release.year));
    }
    for (const SiteRecord& site : config_->sites(runIndex)) {
        if (!provider_->hasArray(site.location, site.year))
            warnOnce(QStringLiteral("Site \"%1\": no array at location %2, year %3")
                         .arg(site.name, site.location)
                         .arg(site.year));
    }
    return true;
}

bool RunProcessor::extractConfigured(int runIndex, RunPipeline& pipeline)
{
    const QList<ReleaseRecord> releases = config_->releases(runIndex);
    const QList<SiteRecord> sites = config_->sites(runIndex);
    const QString title = config_->title(runIndex);
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
    QDateTime start;
    QDateTime end;
    QString error;
    config_->window(runIndex, start, end, error);
    if (!provider_->setRunWindow(runId, start, end)) {
        provider_->deleteRun(runId);
        return failed();
    }
    const bool extracted = pipeline.extract(runId);
    const QString extractionError = pipeline.errorText();
    if (!provider_->deleteRun(runId)) {
        log(QStringLiteral("Run \"%1\" failed: its working run could not be removed").arg(title));
        return false;
    }
    if (!extracted) {
        log(QStringLiteral("No hist rows found"));
        log(QStringLiteral("Run \"%1\" failed: %2").arg(title, extractionError));
        return false;
    }
    if (pipeline.extraction().rowCount == 0)
        log(QStringLiteral("***Warning: Run \"%1\" selects no fish").arg(title));
    return true;
}

bool RunProcessor::extractForCoding(int runIndex, RunPipeline& pipeline)
{
    if (!extractConfigured(runIndex, pipeline))
        return false;
    log(QStringLiteral("Processing ") + QString::number(pipeline.extraction().rowCount) +
        QStringLiteral(" events..."));
    return true;
}

void RunProcessor::applyCutoff(FishProcessor& processor, int runIndex) const
{
    const QDateTime cutoff = config_->cutoffDate(runIndex);
    if (cutoff.isValid())
        processor.setCutoff(cutoff);
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
