#pragma once

#include "processing/DetectionMap.h"
#include "processing/SiteVisit.h"
#include "store/CaptureRow.h"

#include <QDateTime>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>

namespace kd {

// Base of the processors that turn one fish at a time into output. It holds the run's sites
// (highest river kilometre first) and provides the capture-code rules that every output shares.
//
// Capture codes, one per site in site order: 0 not detected (or detection discarded),
// 1 detected, 2 detected and the history ends here. An empty code vector drops the fish.
class FishProcessor
{
public:
    FishProcessor(const QStringList& sites, const QMap<QString, int>& siteRiverKm);
    virtual ~FishProcessor();

    FishProcessor(const FishProcessor&) = delete;
    FishProcessor& operator=(const FishProcessor&) = delete;

    // Called once before the first fish of a pass.
    virtual void start();
    // One fish: its first capture row and its detections per site.
    virtual void processFish(const CaptureRow& fish, const DetectionMap& detections) = 0;
    // Called once after the last fish of a pass.
    virtual void finish();

    QList<SiteVisit> buildSiteVisits(const DetectionMap& detections) const;
    static QVector<int> computeCaptureCodes(const QList<SiteVisit>& visits, int removalKm,
                                            int removalCode);

    // The lines written so far, unless they go to a sink.
    const QStringList& lines() const { return lines_; }
    // Hands every line to the sink as it is made instead of keeping it, so that a run of any
    // size can be written without being held.
    using LineSink = std::function<void(const QString& line)>;
    void setLineSink(LineSink sink) { sink_ = std::move(sink); }
    const QStringList& sites() const { return sites_; }
    const QMap<QString, int>& siteRiverKm() const { return siteRiverKm_; }

    // An invalid date-time means no cutoff.
    void setCutoff(const QDateTime& cutoff) { cutoff_ = cutoff; }
    QDateTime cutoff() const { return cutoff_; }

protected:
    enum class CutoffChecks {
        BeforeCodes,         // only the check on the detections at the first site
        BeforeAndAfterCodes, // also the check on the first site's capture code
    };

    // The filter every processor applies before it writes or counts a fish. Fills visits and
    // codes and returns true when the fish is kept.
    bool acceptFish(const CaptureRow& fish, const DetectionMap& detections, CutoffChecks checks,
                    QList<SiteVisit>& visits, QVector<int>& codes) const;
    // Appends the fields that name a fish in every layout: release name, lot, tag code, tag
    // activate date and tag release date, each followed by a comma.
    static void appendIdentity(QString& line, const CaptureRow& fish);
    // True when the fish was still at the first site after the cutoff.
    bool cutoffExcludesVisits(const QList<SiteVisit>& visits) const;
    // True when the first site keeps a detection that ends after the cutoff.
    bool cutoffExcludesCodes(const QVector<int>& codes, const QList<SiteVisit>& visits) const;

    void addLine(const QString& line)
    {
        if (sink_)
            sink_(line);
        else
            lines_.append(line);
    }

    QStringList lines_;

private:
    LineSink sink_;
    QStringList sites_;
    QMap<QString, int> siteRiverKm_;
    // River kilometre of each site, in site order, so that no fish looks the map up again.
    QVector<int> siteKm_;
    QDateTime cutoff_;
};

} // namespace kd
