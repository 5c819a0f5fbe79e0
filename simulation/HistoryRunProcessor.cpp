#include "simulation/HistoryRunProcessor.h"

#include "processing/FishProcessor.h"
#include "processing/HistDataProcessor.h"
#include "simulation/SimulationConfig.h"
#include "store/DataProvider.h"

namespace kd {

bool HistoryRunProcessor::process(int runIndex)
{
    QList<CaptureRow> rows;
    if (!extractConfiguredRows(runIndex, rows))
        return false;
    log(QStringLiteral("Processing ") + QString::number(rows.size()) +
        QStringLiteral(" events..."));

    std::unique_ptr<FishProcessor> processor =
        createDataProcessor(provider_->runSiteNames(), provider_->runSiteRiverKm());
    processor->setLogger(logger_);
    const QDateTime cutoff = config_->cutoffDate(runIndex);
    if (cutoff.isValid())
        processor->setCutoff(cutoff);
    HistDataProcessor histories(rows);
    histories.addProcessor(processor.get());
    histories.setLogger(logger_);
    histories.processRows();
    rows.clear();

    const QString path = resultPath(runIndex);
    if (path.isEmpty())
        return false;
    log(QStringLiteral("Writing results to ") + path + QStringLiteral("..."));
    if (!writeLines(path, processor->lines()))
        return false;
    log(QStringLiteral("Done.\n"));
    return true;
}

} // namespace kd
