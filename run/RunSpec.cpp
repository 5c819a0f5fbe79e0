#include "run/RunSpec.h"

#include "run/RunKinds.h"

namespace kd {

RunSpec RunSpec::fromDefinition(const RunDefinition& run)
{
    RunSpec spec;
    spec.name = run.name;
    spec.kind = &RunKinds::byFormat(run.format);
    spec.selection.storedRunId = run.id;
    spec.selection.windowStart = run.windowStart;
    spec.selection.windowEnd = run.windowEnd;
    spec.survivalFit.profileIntervals = run.profileIntervals;
    return spec;
}

} // namespace kd
