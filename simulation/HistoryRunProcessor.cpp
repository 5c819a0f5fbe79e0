#include "simulation/HistoryRunProcessor.h"

#include "run/ResultFile.h"
#include "run/RunExecution.h"
#include "store/DataProvider.h"

namespace kd {

bool HistoryRunProcessor::process(int runIndex)
{
    RunExecution execution(*provider_, plan_, logger_);
    if (!extractForCoding(execution))
        return false;

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
    if (!execution.compute(&file)) {
        file.discard();
        log(execution.errorText());
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
