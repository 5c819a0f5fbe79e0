#include "processing/HistDataProcessor.h"

#include "processing/DetectionMap.h"
#include "processing/FishProcessor.h"

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

    // The pending fish is described by its first row; pointing at it avoids a copy per fish.
    const CaptureRow noFish;
    const CaptureRow* pending = &noFish;
    DetectionMap detections;

    const auto deliver = [&]() {
        if (pending->tagCode.isEmpty())
            return;
        for (FishProcessor* processor : std::as_const(processors_))
            processor->processFish(*pending, detections);
    };

    for (const CaptureRow& row : std::as_const(rows_)) {
        if (row.tagCode != pending->tagCode) {
            deliver();
            pending = &row;
            detections.clear();
        }
        detections.insert(row.siteName, qMakePair(row.firstDetection, row.lastDetection));
    }
    deliver();

    for (FishProcessor* processor : std::as_const(processors_))
        processor->finish();
}

} // namespace kd
