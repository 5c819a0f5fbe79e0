#pragma once

#include "processing/FishProcessor.h"
#include "survival/SurvivalStudy.h"

namespace kd {

// Collects the fish of a survival run: exactly those the Standard layout writes for the same
// rows, in the same order, each with its capture codes, length and weight. It writes no lines.
class SurvivalDataProcessor : public FishProcessor
{
public:
    using FishProcessor::FishProcessor;

    void start() override;
    void processFish(const CaptureRow& fish, const DetectionMap& detections) override;

    // The run's sites with their kilometres, its releases in the order their fish first appear
    // and its fish. A release's kilometre is the one given to it (setGivenReleaseKm), else the
    // one its tags record when all of them agree, otherwise unknown.
    SurvivalStudy study() const;
    // The kilometres given to releases by name, on the desktop as on the console; 0 gives none.
    void setGivenReleaseKm(const QMap<QString, int>& riverKm) { givenReleaseKm_ = riverKm; }

    // The index of the most downstream site at or above a removal, or -1 when the fish was not
    // removed or its history ended by the detection order before the removal rule applied.
    static int removalSite(const QList<SiteVisit>& visits, int removalKm);

private:
    struct ReleaseKm
    {
        QString name;
        int riverKm = -1;
        bool agreed = true;
    };

    QList<SurvivalFish> fish_;
    QList<ReleaseKm> releases_;
    int removedAboveFirstSite_ = 0;
    QMap<QString, int> givenReleaseKm_;
};

} // namespace kd
