#pragma once

#include "store/RunDefinition.h"
#include "store/RunSelection.h"
#include "survival/CjsFitter.h"

#include <QDateTime>
#include <QString>

namespace kd {

struct RunKind;

// Everything about one run, whichever face asked for it: the console builds it from
// config.txt, the desktop from a stored run.
struct RunPlan
{
    QString name;
    // Never null once built.
    const RunKind* kind = nullptr;
    RunSelection selection;
    // Events after it are not counted; null for none.
    QDateTime cutoff;
    // A survival run's fit: profile-likelihood intervals on every row or not.
    CjsFitter::Options survivalFit;

    // The stored run's plan: its kind, name, window, id and options.
    static RunPlan fromDefinition(const RunDefinition& run);
};

} // namespace kd
