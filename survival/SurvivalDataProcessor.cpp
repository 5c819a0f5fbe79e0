#include "survival/SurvivalDataProcessor.h"

#include "survival/SurvivalWriter.h"

#include <algorithm>
#include <limits>

namespace kd {

void SurvivalDataProcessor::start()
{
    lines_.clear();
    fish_.clear();
    releases_.clear();
}

void SurvivalDataProcessor::processFish(const CaptureRow& fish, const DetectionMap& detections)
{
    // The same filter as the Standard layout, so both files hold the same fish.
    QList<SiteVisit> visits;
    QVector<int> codes;
    if (!acceptFish(fish, detections, CutoffChecks::BeforeAndAfterCodes, visits, codes))
        return;

    fish_.append({fish.tagCode, fish.releaseName, SurvivalWriter::measureText(fish.lengthText),
                  SurvivalWriter::measureText(fish.weightText), codes});

    const auto release =
        std::find_if(releases_.begin(), releases_.end(),
                     [&](const ReleaseKm& known) { return known.name == fish.releaseName; });
    if (release == releases_.end()) {
        releases_.append({fish.releaseName, fish.releaseRiverKm, true});
        return;
    }
    if (release->riverKm != fish.releaseRiverKm)
        release->agreed = false;
}

SurvivalStudy SurvivalDataProcessor::study() const
{
    SurvivalStudy study;
    study.sites = sites();
    for (const QString& site : sites())
        study.siteRiverKm.append(siteRiverKm().value(site, 0));
    for (const ReleaseKm& release : releases_) {
        const bool known = release.agreed && release.riverKm >= 0;
        study.releases.append({release.name, known ? double(release.riverKm)
                                                   : std::numeric_limits<double>::quiet_NaN()});
    }
    study.fish = fish_;
    return study;
}

} // namespace kd
