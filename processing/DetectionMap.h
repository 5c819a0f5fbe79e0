#pragma once

#include <QDateTime>
#include <QMap>
#include <QPair>
#include <QString>

namespace kd {

// One fish's detections: site name -> (first detection, last detection).
using DetectionMap = QMap<QString, QPair<QDateTime, QDateTime>>;

} // namespace kd
