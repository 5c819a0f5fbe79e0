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
    removedAboveFirstSite_ = 0;
}

void SurvivalDataProcessor::processFish(const CaptureRow& fish, const DetectionMap& detections)
{
    // The same filter as the Standard layout, so both files hold the same fish.
    QList<SiteVisit> visits;
    QVector<int> codes;
    if (!acceptFish(fish, detections, CutoffChecks::BeforeAndAfterCodes, visits, codes)) {
        if (fish.removalRiverKm != -1 && !visits.isEmpty() && !cutoffExcludesVisits(visits) &&
            fish.removalRiverKm > visits[0].riverKm)
            ++removedAboveFirstSite_;
        return;
    }

    fish_.append({fish.tagCode, fish.releaseName, SurvivalWriter::measureText(fish.lengthText),
                  SurvivalWriter::measureText(fish.weightText), codes,
                  removalSite(visits, fish.removalRiverKm)});

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

int SurvivalDataProcessor::removalSite(const QList<SiteVisit>& visits, int removalKm)
{
    if (removalKm == -1 || visits.isEmpty())
        return -1;
    // A history the detection order ended keeps that end: the removal rule never saw it.
    // (The removal rule marks its end with the code given here, the order rule with a 2.)
    const QVector<int> codes = computeCaptureCodes(visits, removalKm, 3);
    if (codes.isEmpty() || codes.contains(2))
        return -1;
    int site = -1;
    for (qsizetype i = 0; i < visits.size(); ++i)
        if (visits[i].riverKm >= removalKm)
            site = int(i);
    for (qsizetype i = site + 1; i < codes.size(); ++i)
        if (codes[i] != 0)
            return -1;
    return site;
}

SurvivalStudy SurvivalDataProcessor::study() const
{
    SurvivalStudy study;
    study.removedAboveFirstSite = removedAboveFirstSite_;
    study.sites = sites();
    for (const QString& site : sites())
        study.siteRiverKm.append(siteRiverKm().value(site, 0));
    for (const ReleaseKm& release : releases_) {
        const int given = givenReleaseKm_.value(release.name, 0);
        const bool known = release.agreed && release.riverKm >= 0;
        study.releases.append({release.name, given != 0 ? double(given)
                                             : known    ? double(release.riverKm)
                                                     : std::numeric_limits<double>::quiet_NaN()});
    }
    study.fish = fish_;
    return study;
}

} // namespace kd
