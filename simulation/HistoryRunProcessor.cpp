#include "simulation/HistoryRunProcessor.h"

#include "processing/FishProcessor.h"
#include "run/ResultFile.h"
#include "run/RunPipeline.h"
#include "simulation/SimulationConfig.h"
#include "store/DataProvider.h"

namespace kd {

bool HistoryRunProcessor::process(int runIndex)
{
    RunPipeline pipeline(*provider_);
    if (!extractForCoding(runIndex, pipeline))
        return false;
    const RunExtraction& extraction = pipeline.extraction();
    std::unique_ptr<FishProcessor> processor =
        createDataProcessor(extraction.sites, extraction.siteRiverKm);
    applyCutoff(*processor, runIndex);

    // The lines go to the file as the fish are coded; it replaces an earlier file only once
    // complete.
    const QString path = resultPath(runIndex);
    if (path.isEmpty())
        return false;
    ResultFile file(path);
    if (!file.open()) {
        log(QStringLiteral("Unable to open output file for writing: %1: %2")
                .arg(path, file.errorString()));
        return false;
    }
    if (!pipeline.process(*processor, &file)) {
        file.discard();
        log(pipeline.errorText());
        return false;
    }
    log(QStringLiteral("Writing results to ") + path + QStringLiteral("..."));
    if (!file.commit()) {
        log(QStringLiteral("Unable to write %1: %2").arg(path, file.errorString()));
        return false;
    }
    log(QStringLiteral("Wrote ") + QString::number(file.lineCount()) + QStringLiteral(" rows."));
    log(QStringLiteral("Done.\n"));
    return true;
}

} // namespace kd
