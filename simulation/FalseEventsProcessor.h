#pragma once

#include "processing/CategoryCountsProcessor.h"
#include "simulation/FalseEvent.h"
#include "simulation/RunProcessor.h"
#include "store/ReleaseRecord.h"

#include <QPair>

namespace kd {

// Console runs of type "false_events": capture-history category counts of the run's real
// detections ("Baseline") and of the run with each set of false events added.
class FalseEventsProcessor : public RunProcessor
{
public:
    using Counts = CategoryCountsProcessor::Counts;
    using Results = QList<QPair<QString, Counts>>;

    using RunProcessor::RunProcessor;

    bool process(int runIndex) override;

    // Lines "set,site,tag,first,last,value"; an unreadable file gives no sets.
    FalseEventSets loadFalseEventsFile(const QString& path) const;
    // One set per plain file of the folder, named by the file, lines "site,tag,first,last,value".
    FalseEventSets loadFalseEventsDir(const QString& path) const;
    bool writeCategoryTable(const QString& path, const Results& results,
                            const QStringList& releases) const;

    // "replicate" and the 21 category columns.
    static QStringList tableHeader();
};

} // namespace kd
