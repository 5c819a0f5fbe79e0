#pragma once

#include "run/RunKind.h"

#include <QList>

namespace kd {

// The one list of run kinds, read by the wizard, the console and the pipeline: a new kind is
// added here.
class RunKinds
{
public:
    // In the order the wizard offers them.
    static const QList<RunKind>& all();
    // Null for a type no kind has.
    static const RunKind* byConsoleName(const QString& name);
    // The kind stored under the code; a code of no desktop kind reads as KAVEL, as a stored
    // format name that is not known does.
    static const RunKind& byFormat(RunDefinition::Format format);
};

} // namespace kd
