#pragma once

#include "processing/FishProcessor.h"

namespace kd {

// The "Standard" layout: a header, then one line per fish with its release and tag attributes,
// one capture code per site and the first and last detection per site.
class StandardDataProcessor : public FishProcessor
{
public:
    using FishProcessor::FishProcessor;

    void start() override;
    void processFish(const CaptureRow& fish, const DetectionMap& detections) override;
};

} // namespace kd
