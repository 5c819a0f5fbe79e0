#include "processing/CategoryCountsProcessor.h"

namespace kd {

void CategoryCountsProcessor::start()
{
    counts_.clear();
}

void CategoryCountsProcessor::processFish(const CaptureRow& fish, const DetectionMap& detections)
{
    // The check of the first site's code against the cutoff is left out on purpose: counting
    // keeps every fish that the detections at the first site do not exclude.
    QList<SiteVisit> visits;
    QVector<int> codes;
    if (!acceptFish(fish, detections, CutoffChecks::BeforeCodes, visits, codes))
        return;

    QString history;
    history.reserve(codes.size());
    for (const int code : std::as_const(codes))
        history += QChar(u'0' + code);
    ++counts_[fish.releaseName][history];
}

} // namespace kd
