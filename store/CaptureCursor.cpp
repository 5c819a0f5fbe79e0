#include "store/CaptureCursor.h"

namespace kd {

CaptureCursor::~CaptureCursor() = default;

bool ListCaptureCursor::next(CaptureRow& row)
{
    if (at_ >= rows_.size())
        return false;
    row = rows_.at(at_++);
    return true;
}

} // namespace kd
