#pragma once

#include "processing/FishProcessor.h"

namespace kd {

// The "KAVEL" layout: no header, one line per fish and site, in site order.
class KavelDataProcessor : public FishProcessor
{
public:
    KavelDataProcessor(const QStringList& sites, const QMap<QString, int>& siteRiverKm);

    void start() override;
    void processFish(const CaptureRow& fish, const DetectionMap& detections) override;

private:
    // Site fields as written, prepared once for the many lines that repeat them.
    QStringList siteFields_;
};

} // namespace kd
