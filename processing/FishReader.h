#pragma once

#include "processing/DetectionMap.h"
#include "store/CaptureCursor.h"
#include "store/CaptureRow.h"

#include <QList>

namespace kd {

// Reads a run's capture rows fish by fish. A fish is a run of consecutive rows with one tag
// code, described by its first row, with its first and last detection per site; rows without
// a tag code form no fish. This is the one place that says so.
class FishReader
{
public:
    explicit FishReader(CaptureCursor& rows) : rows_(rows) {}

    // Moves to the next fish; false when none is left.
    bool next();
    const CaptureRow& fish() const { return fish_; }
    const DetectionMap& detections() const { return detections_; }
    // Rows read so far, including the first row of the fish that follows.
    qint64 rowsRead() const { return rowsRead_; }

    // For rows held in memory: the end of the fish whose first row is rows[begin].
    static qsizetype fishEnd(const QList<CaptureRow>& rows, qsizetype begin);

private:
    bool read(CaptureRow& row);

    CaptureCursor& rows_;
    CaptureRow fish_;
    CaptureRow ahead_;
    bool haveAhead_ = false;
    bool ended_ = false;
    DetectionMap detections_;
    qint64 rowsRead_ = 0;
};

} // namespace kd
