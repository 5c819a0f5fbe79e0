#include "processing/FishProcessor.h"

#include "base/DateTimeText.h"
#include "processing/CsvField.h"

#include <cstdlib>

namespace kd {

FishProcessor::FishProcessor(const QStringList& sites, const QMap<QString, int>& siteRiverKm)
    : sites_(sites), siteRiverKm_(siteRiverKm)
{
    siteKm_.reserve(sites_.size());
    for (const QString& site : sites_)
        siteKm_.append(siteRiverKm_.value(site, 0));
}

FishProcessor::~FishProcessor() = default;

void FishProcessor::start() {}

void FishProcessor::finish() {}

QList<SiteVisit> FishProcessor::buildSiteVisits(const DetectionMap& detections) const
{
    QList<SiteVisit> visits;
    visits.reserve(sites_.size());
    for (qsizetype i = 0; i < sites_.size(); ++i) {
        SiteVisit visit;
        visit.site = sites_[i];
        visit.index = int(i);
        visit.riverKm = siteKm_[i];
        const auto found = detections.constFind(visit.site);
        if (found != detections.constEnd()) {
            visit.detected = 1;
            visit.first = found->first;
            visit.last = found->second;
        }
        visits.append(visit);
    }
    return visits;
}

QVector<int> FishProcessor::computeCaptureCodes(const QList<SiteVisit>& visits, int removalKm,
                                                int removalCode)
{
    const qsizetype n = visits.size();
    // Without sites there is no history to write, and the removal rule has no first site.
    if (n == 0)
        return {};

    QVector<int> codes(n);
    QVector<const SiteVisit*> detected;
    for (qsizetype i = 0; i < n; ++i) {
        const SiteVisit& visit = visits[i];
        codes[i] = visit.detected;
        if (visit.detected == 1 && visit.first.isValid() && visit.last.isValid())
            detected.append(&visit);
    }

    // Detection order: when the windows of two successive detected sites nest or run backwards,
    // the history ends at the later site.
    for (qsizetype k = 1; k < detected.size(); ++k) {
        const SiteVisit& prev = *detected[k - 1];
        const SiteVisit& cur = *detected[k];
        // With a removal, order is checked only while the current site lies at or below it;
        // the removal rule then decides the rest.
        if (removalKm != -1 && cur.riverKm > removalKm)
            break;
        // Sites within a kilometre of each other are never compared.
        if (std::abs(qint64(prev.riverKm) - qint64(cur.riverKm)) <= 1)
            continue;

        const qint64 pf = DateTimeText::seconds(prev.first);
        const qint64 pl = DateTimeText::seconds(prev.last);
        const qint64 cf = DateTimeText::seconds(cur.first);
        const qint64 cl = DateTimeText::seconds(cur.last);

        bool ends = false;
        if (pf < cf && cf < cl && cl < pl) {
            codes[prev.index] = 1;
            codes[cur.index] = 2;
            ends = true;
        } else if ((cf < pf && pf < pl && pl < cl) || (cf < cl && cl < pf && pf < pl)) {
            codes[prev.index] = 0;
            codes[cur.index] = 2;
            ends = true;
        }
        if (ends) {
            if (cur.index == n - 1) {
                codes[n - 1] = 1;
            } else {
                for (qsizetype j = cur.index + 1; j < n; ++j)
                    codes[j] = 0;
            }
            return codes;
        }
    }

    if (removalKm != -1) {
        if (removalKm > visits[0].riverKm)
            return {};
        qsizetype lastAtOrAbove = -1;
        for (qsizetype i = 0; i < n; ++i) {
            if (visits[i].riverKm >= removalKm)
                lastAtOrAbove = i;
        }
        for (qsizetype i = n - 1; i >= 0; --i) {
            if (i > lastAtOrAbove) {
                codes[i] = 0;
            } else if (codes[i] == 1) {
                if (i < n - 1)
                    codes[i] = removalCode;
                break;
            }
        }
    }
    return codes;
}

bool FishProcessor::cutoffExcludesVisits(const QList<SiteVisit>& visits) const
{
    if (!cutoff_.isValid() || visits.isEmpty())
        return false;
    const SiteVisit& first = visits[0];
    return first.detected == 1 && first.last.isValid() &&
           DateTimeText::seconds(cutoff_) < DateTimeText::seconds(first.last);
}

bool FishProcessor::cutoffExcludesCodes(const QVector<int>& codes,
                                        const QList<SiteVisit>& visits) const
{
    // Without a cutoff nothing is excluded, however late the detection.
    if (!cutoff_.isValid() || codes.isEmpty() || visits.isEmpty() || codes[0] != 1)
        return false;
    const QDateTime& last = visits[0].last;
    return last.isValid() && DateTimeText::seconds(last) > DateTimeText::seconds(cutoff_);
}

bool FishProcessor::acceptFish(const CaptureRow& fish, const DetectionMap& detections,
                               CutoffChecks checks, QList<SiteVisit>& visits,
                               QVector<int>& codes) const
{
    visits = buildSiteVisits(detections);
    if (cutoffExcludesVisits(visits))
        return false;
    codes = computeCaptureCodes(visits, fish.removalRiverKm, 2);
    if (codes.isEmpty())
        return false;
    if (checks == CutoffChecks::BeforeAndAfterCodes && cutoffExcludesCodes(codes, visits))
        return false;
    return true;
}

void FishProcessor::appendIdentity(QString& line, const CaptureRow& fish)
{
    line += csvField(fish.releaseName);
    line += u',';
    line += QString::number(fish.lot);
    line += u',';
    line += csvField(fish.tagCode);
    line += u',';
    line += DateTimeText::format(fish.tagActivateDate);
    line += u',';
    line += DateTimeText::format(fish.tagReleaseDate);
    line += u',';
}

} // namespace kd
