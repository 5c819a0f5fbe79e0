#pragma once

#include "processing/FishProcessor.h"

#include <QMap>
#include <QString>

namespace kd {

// Counts fish per release and capture-history string (one digit per site, e.g. "1101").
// Writes no lines.
class CategoryCountsProcessor : public FishProcessor
{
public:
    using Counts = QMap<QString, QMap<QString, int>>;

    using FishProcessor::FishProcessor;

    void start() override;
    void processFish(const CaptureRow& fish, const DetectionMap& detections) override;

    // Release name -> history string -> number of fish, for the last pass.
    const Counts& counts() const { return counts_; }

private:
    Counts counts_;
};

} // namespace kd
