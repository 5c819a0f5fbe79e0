#pragma once

#include <QDateTime>
#include <QString>

namespace kd {

// One row of a run's capture query: a fish with its release data and its detections at one site.
struct CaptureRow
{
    QString releaseName;
    QString tagCode;
    int lot = 0;
    QDateTime tagActivateDate;
    QDateTime tagReleaseDate;
    QString taggerName;
    int bucket = 0;
    float length = 0.0f;
    float weight = 0.0f;
    // Length and weight as stored, so that a missing or unreadable value stays apart from 0.
    QString lengthText;
    QString weightText;
    int releaseRiverKm = -1;
    QString siteName;
    QDateTime firstDetection;
    QDateTime lastDetection;
    int removalRiverKm = -1;
};

} // namespace kd
