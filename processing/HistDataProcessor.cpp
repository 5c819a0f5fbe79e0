#include "processing/HistDataProcessor.h"

#include "processing/FishProcessor.h"
#include "processing/FishReader.h"

namespace kd {

HistDataProcessor::HistDataProcessor(const QList<CaptureRow>& rows) : rows_(rows) {}

HistDataProcessor::~HistDataProcessor() = default;

void HistDataProcessor::addProcessor(FishProcessor* processor)
{
    processors_.append(processor);
}

void HistDataProcessor::processRows()
{
    for (FishProcessor* processor : std::as_const(processors_))
        processor->start();
    ListCaptureCursor rows(rows_);
    FishReader fish(rows);
    while (fish.next()) {
        for (FishProcessor* processor : std::as_const(processors_))
            processor->processFish(fish.fish(), fish.detections());
    }
    for (FishProcessor* processor : std::as_const(processors_))
        processor->finish();
}

} // namespace kd
