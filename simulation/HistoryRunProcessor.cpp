#include "simulation/HistoryRunProcessor.h"

#include "processing/FishProcessor.h"
#include "processing/HistDataProcessor.h"
#include "simulation/SimulationConfig.h"
#include "store/DataProvider.h"

namespace kd {

void HistoryRunProcessor::process(int runIndex)
{
    QList<CaptureRow> rows;
    if (!extractConfiguredRows(runIndex, rows))
        return;
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
        return;
    log(QStringLiteral("Writing results to ") + path + QStringLiteral("..."));
    writeLines(path, processor->lines());
    log(QStringLiteral("Done.\n"));
}

} // namespace kd
