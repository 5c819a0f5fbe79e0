#pragma once

#include "store/RunExtraction.h"

namespace kd {

// What a run needs of the store: its extraction. The pipeline depends on this alone, so that a
// test or another store feeds it without implementing the loading or the definitions.
class RunSource
{
public:
    virtual ~RunSource() = default;

    // The run's sites, kilometres, row count and a cursor over its capture rows, as one value;
    // on failure ok is false and error says why.
    virtual RunExtraction extractRun(int runId) = 0;
};

} // namespace kd
