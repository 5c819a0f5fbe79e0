#pragma once

#include "store/CaptureRow.h"

#include <QList>

#include <atomic>
#include <functional>

namespace kd {

class FishProcessor;

// Runs a run's capture rows through an output processor like one HistDataProcessor pass, but in
// slices that end at a change of fish, so that progress can be reported and a cancel honoured
// between slices. The processor sees exactly the calls of a single pass.
class SlicedHistoryRun
{
public:
    using Progress = std::function<void(qint64 rowsDone, qint64 rowCount)>;

    // False when canceled; the processor's lines are then incomplete.
    static bool run(const QList<CaptureRow>& rows, FishProcessor& processor,
                    const Progress& progress, const std::atomic<bool>* cancel,
                    qsizetype sliceRows = 5000);
};

} // namespace kd
