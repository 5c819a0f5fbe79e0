#pragma once

#include "store/ReleaseRecord.h"
#include "store/SiteRecord.h"

#include <QDateTime>
#include <QList>

namespace kd {

// What a run selects of the study: its releases and sites, and the detection window. The
// desktop's runs are stored and named by id; the console's come from its configuration.
struct RunSelection
{
    // The stored run the rows are extracted for; -1 until one is stored.
    int storedRunId = -1;
    // The configured releases and sites; empty for a stored run, whose definitions are stored.
    QList<ReleaseRecord> releases;
    QList<SiteRecord> sites;
    // Only events whose first detection lies within the window count; a null bound is open.
    QDateTime windowStart;
    QDateTime windowEnd;
};

} // namespace kd
