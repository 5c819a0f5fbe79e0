#include "run/RunPlan.h"

#include "run/RunKinds.h"

namespace kd {

RunPlan RunPlan::fromDefinition(const RunDefinition& run)
{
    RunPlan plan;
    plan.name = run.name;
    plan.kind = &RunKinds::byFormat(run.format);
    plan.selection.storedRunId = run.id;
    plan.selection.windowStart = run.windowStart;
    plan.selection.windowEnd = run.windowEnd;
    plan.survivalFit.profileIntervals = run.profileIntervals;
    return plan;
}

} // namespace kd
