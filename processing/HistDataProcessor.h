#pragma once

#include "store/CaptureRow.h"

#include <QList>

namespace kd {

class FishProcessor;

// Groups a run's capture rows into fish (runs of consecutive rows with the same tag code) and
// hands each fish, with its detections per site, to every processor.
class HistDataProcessor
{
public:
    HistDataProcessor() = default;
    explicit HistDataProcessor(const QList<CaptureRow>& rows);
    virtual ~HistDataProcessor();

    // The list is shared, not copied.
    void setRows(const QList<CaptureRow>& rows) { rows_ = rows; }
    // Not owned; called in the order added.
    void addProcessor(FishProcessor* processor);

    // One pass over the rows: start, every fish, finish.
    void processRows();

private:
    QList<CaptureRow> rows_;
    QList<FishProcessor*> processors_;
};

} // namespace kd
