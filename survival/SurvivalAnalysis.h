#pragma once

#include "survival/CjsFitter.h"
#include "survival/SurvivalResult.h"
#include "survival/SurvivalStudy.h"

namespace kd {

// The survival of a run: each fish's capture codes become a history (the release, then 1 per
// site where the code is 1 or 2), a 2 is a removal at that capture, and each release is fitted
// on its own with phi(t) p(t).
class SurvivalAnalysis
{
public:
    static SurvivalResult analyse(const SurvivalStudy& study,
                                  const CjsFitter::Options& options = CjsFitter::Options());

    // The history of a fish over `sites` sites: "1", then per site '1' for a code of 1 or 2
    // and '0' otherwise. The first 2 ends it: `removed` is set and later sites read 0, since a
    // removed fish is never released again. Codes missing at the end read 0.
    static QString history(const QVector<int>& codes, int sites, bool* removed);
};

} // namespace kd
