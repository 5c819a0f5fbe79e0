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

RunExecution::RunExecution(RunSource& source, RunPlan plan, MessageLoggerI* logger)
    : plan_(std::move(plan)), logger_(logger), pipeline_(source)
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
    return pipeline_.extract(plan_.selection.storedRunId);
}

bool RunExecution::compute(ResultFile* file, const RunPipeline::Progress& progress,
                           const std::atomic<bool>* cancel)
{
    survival_.reset();
    if (kind().computation == RunKind::Survival)
        return computeSurvival(progress, cancel);
    const RunExtraction& extraction = pipeline_.extraction();
    processor_ = kind().layout(extraction.sites, extraction.siteRiverKm);
    if (plan_.cutoff.isValid())
        processor_->setCutoff(plan_.cutoff);
    return pipeline_.process(*processor_, file, progress, cancel);
}

bool RunExecution::computeSurvival(const RunPipeline::Progress& progress,
                                   const std::atomic<bool>* cancel)
{
    const RunExtraction& extraction = pipeline_.extraction();
    auto fish = std::make_unique<SurvivalDataProcessor>(extraction.sites, extraction.siteRiverKm);
    // A configured release gives its kilometre; a stored one carries it in the extraction.
    if (plan_.selection.releases.isEmpty()) {
        fish->setGivenReleaseKm(extraction.releaseRiverKm);
    } else {
        QMap<QString, int> given;
        for (const ReleaseRecord& entry : plan_.selection.releases)
            given.insert(entry.name, entry.riverKm);
        fish->setGivenReleaseKm(given);
    }
    pipeline_.setMeasureText(true);
    if (plan_.cutoff.isValid())
        fish->setCutoff(plan_.cutoff);
    if (!pipeline_.process(*fish, nullptr, progress, cancel))
        return false;
    SurvivalStudy study = fish->study();
    study.title = plan_.name;
    log(QStringLiteral("Fitting survival of %1 fish in %2 releases...")
            .arg(study.fish.size())
            .arg(study.releases.size()));
    survival_ =
        std::make_unique<SurvivalResult>(SurvivalAnalysis::analyse(study, plan_.survivalFit));
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
    return SurvivalWriter::write(folder, safeFileName(plan_.name), suffix, *survival_, error);
}

} // namespace kd
