#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QVector>

#include <limits>

namespace kd {

// One fish of a survival run, as the Standard file of the same run writes it.
struct SurvivalFish
{
    QString tagCode;
    QString releaseName;
    // Length and weight as the marked file writes them: empty when unknown.
    QString length;
    QString weight;
    // Capture code per site in run order: 0 not detected, 1 detected, 2 detected and removed.
    QVector<int> codes;
    // A removed fish leaves the study right after the most downstream site at or above its
    // removal, whether or not it was detected there: that site's index, -1 when not removed.
    int removalSite = -1;
};

struct SurvivalRelease
{
    QString name;
    // The river kilometre of the release point; NaN when unknown.
    double riverKm = std::numeric_limits<double>::quiet_NaN();
};

// What a survival run hands to the analysis: its sites upstream to downstream with the river
// kilometres the capture-code rules use, its releases, and its fish in Standard-file order.
struct SurvivalStudy
{
    // The run's title, as warnings name it.
    QString title;
    QStringList sites;
    QVector<double> siteRiverKm;
    QList<SurvivalRelease> releases;
    QList<SurvivalFish> fish;
    // Fish removed above the first site: they left the river before any site and are not in
    // `fish`.
    int removedAboveFirstSite = 0;
};

} // namespace kd
