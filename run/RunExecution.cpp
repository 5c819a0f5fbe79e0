#include "run/RunExecution.h"

#include "base/MessageLoggerI.h"
#include "processing/FishProcessor.h"
#include "processing/SafeFileName.h"
#include "run/RunKind.h"
#include "survival/SurvivalAnalysis.h"
#include "survival/SurvivalDataProcessor.h"
#include "survival/SurvivalResult.h"
#include "survival/SurvivalWriter.h"

namespace kd {

RunExecution::RunExecution(RunSource& source, RunSpec spec, MessageLoggerI* logger)
    : spec_(std::move(spec)), logger_(logger), pipeline_(source)
{
}

RunExecution::~RunExecution() = default;

void RunExecution::log(const QString& message) const
{
    if (logger_)
        logger_->log(message, 0);
}

bool RunExecution::extract()
{
    return pipeline_.extract(spec_.selection.storedRunId);
}

bool RunExecution::compute(ResultFile* file, const RunPipeline::Progress& progress,
                           const std::atomic<bool>* cancel)
{
    survival_.reset();
    if (kind().computation == RunKind::Survival)
        return computeSurvival(progress, cancel);
    const RunExtraction& extraction = pipeline_.extraction();
    processor_ = kind().layout(extraction.sites, extraction.siteRiverKm);
    if (spec_.cutoff.isValid())
        processor_->setCutoff(spec_.cutoff);
    return pipeline_.process(*processor_, file, progress, cancel);
}

bool RunExecution::computeSurvival(const RunPipeline::Progress& progress,
                                   const std::atomic<bool>* cancel)
{
    const RunExtraction& extraction = pipeline_.extraction();
    auto fish = std::make_unique<SurvivalDataProcessor>(extraction.sites, extraction.siteRiverKm);
    // A configured release gives its kilometre; a stored one carries it in the extraction.
    if (spec_.selection.releases.isEmpty()) {
        fish->setGivenReleaseKm(extraction.releaseRiverKm);
    } else {
        QMap<QString, int> given;
        for (const ReleaseRecord& entry : spec_.selection.releases)
            given.insert(entry.name, entry.riverKm);
        fish->setGivenReleaseKm(given);
    }
    pipeline_.setMeasureText(true);
    if (spec_.cutoff.isValid())
        fish->setCutoff(spec_.cutoff);
    if (!pipeline_.process(*fish, nullptr, progress, cancel))
        return false;
    SurvivalStudy study = fish->study();
    study.title = spec_.name;
    log(QStringLiteral("Fitting survival of %1 fish in %2 releases...")
            .arg(study.fish.size())
            .arg(study.releases.size()));
    survival_ =
        std::make_unique<SurvivalResult>(SurvivalAnalysis::analyse(study, spec_.survivalFit));
    for (const QString& note : std::as_const(survival_->notes))
        log(note);
    for (const QString& warning : std::as_const(survival_->warnings))
        log(warning);
    processor_ = std::move(fish);
    return true;
}

bool RunExecution::writeSurvival(const QString& folder, const QString& suffix, QString* error) const
{
    if (!survival_)
        return false;
    return SurvivalWriter::write(folder, safeFileName(spec_.name), suffix, *survival_, error);
}

} // namespace kd
