#pragma once

#include "store/CaptureCursor.h"

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include <memory>

namespace kd {

// What the store extracts for a run, as one value: the run's sites, the kilometre of each for
// the capture-code rules, the number of capture rows and a cursor over them.
struct RunExtraction
{
    bool ok = false;
    // Why the extraction failed.
    QString error;
    // Sites from the highest river kilometre down.
    QStringList sites;
    // The lowest node river kilometre of each site.
    QMap<QString, int> siteRiverKm;
    // The river kilometre given to each of the run's releases by name (0: none given).
    QMap<QString, int> releaseRiverKm;
    qint64 rowCount = 0;
    std::unique_ptr<CaptureCursor> rows;

    // Every remaining row, for the few uses that need them all at once.
    QList<CaptureRow> readAll();
};

} // namespace kd
