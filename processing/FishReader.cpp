#include "processing/FishReader.h"

namespace kd {

qsizetype FishReader::fishEnd(const QList<CaptureRow>& rows, qsizetype begin)
{
    qsizetype end = begin + 1;
    while (end < rows.size() && rows[end].tagCode == rows[begin].tagCode)
        ++end;
    return end;
}

bool FishReader::read(CaptureRow& row)
{
    if (ended_)
        return false;
    if (!rows_.next(row)) {
        ended_ = true;
        return false;
    }
    ++rowsRead_;
    return true;
}

bool FishReader::next()
{
    for (;;) {
        if (!haveAhead_ && !read(ahead_))
            return false;
        fish_ = std::move(ahead_);
        haveAhead_ = false;
        detections_.clear();
        detections_.insert(fish_.siteName, qMakePair(fish_.firstDetection, fish_.lastDetection));
        while (read(ahead_)) {
            if (ahead_.tagCode != fish_.tagCode) {
                haveAhead_ = true;
                break;
            }
            detections_.insert(ahead_.siteName,
                               qMakePair(ahead_.firstDetection, ahead_.lastDetection));
        }
        if (!fish_.tagCode.isEmpty())
            return true;
    }
}

} // namespace kd
