#pragma once

#include "survival/CjsFit.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QVector>

namespace kd {

// One release of a survival run and its own phi(t) p(t) fit.
struct SurvivalReleaseResult
{
    QString name;
    double riverKm = 0.0;
    int fish = 0;
    // Fish removed on capture (a code 2).
    int removed = 0;
    // Fish detected at each site (code 1 or 2, and not after a removal).
    QVector<int> detected;
    // False when no fish of the release was detected anywhere: then there is no fit.
    bool estimated = false;
    // Occasions: the release, then one per site.
    CjsFit fit;
};

// One fish as the marked and MARK input files write it.
struct SurvivalHistory
{
    QString tagCode;
    // Index into SurvivalResult::releases.
    int release = 0;
    // "1" for the release, then 0 or 1 per site.
    QString history;
    // Removed at its last capture.
    bool removed = false;
    // Removed from the study: the 1-based position in `history` of the occasion after which it
    // left, detected there or not; 0 when not removed.
    int removedAt = 0;
    QString length;
    QString weight;
};

struct SurvivalResult
{
    QString title;
    QStringList sites;
    QVector<double> siteRiverKm;
    // In the order in which their fish first appear.
    QList<SurvivalReleaseResult> releases;
    // In the order of the fish given.
    QList<SurvivalHistory> histories;
    // Each starts with "***Warning: ".
    QStringList warnings;
    // Lines for the log that are not warnings.
    QStringList notes;
};

} // namespace kd
