#pragma once

#include <QString>

namespace kd {

// A run's name made fit to be part of a file name: path separators, characters that cannot
// stand in a file name on common systems and control characters (NUL included) become '_', so
// the result file always lies inside its output folder.
QString safeFileName(const QString& name);

} // namespace kd
