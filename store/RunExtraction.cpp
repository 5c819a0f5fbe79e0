#include "store/RunExtraction.h"

namespace kd {

QList<CaptureRow> RunExtraction::readAll()
{
    QList<CaptureRow> all;
    if (!rows)
        return all;
    all.reserve(qsizetype(rowCount));
    CaptureRow row;
    while (rows->next(row))
        all.append(std::move(row));
    return all;
}

} // namespace kd
