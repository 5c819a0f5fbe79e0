#include "loader/LineReader.h"

#include <QIODevice>

#include <algorithm>

namespace kd {

namespace {

void stripLineEnd(QByteArray& line)
{
    while (!line.isEmpty() && (line.endsWith('\n') || line.endsWith('\r')))
        line.chop(1);
}

} // namespace

LineReader::Result LineReader::next(QByteArray& line, qsizetype limit)
{
    line.clear();
    if (device_->atEnd())
        return Result::End;
    ++lineNumber_;
    // One byte more than the limit, and room for "\r\n": a longer read means a longer line.
    line = device_->readLine(limit + 3);
    const bool complete = line.endsWith('\n') || device_->atEnd();
    if (complete) {
        stripLineEnd(line);
        if (line.size() <= limit) {
            fieldCount_ = std::count(line.cbegin(), line.cend(), ',') + 1;
            return Result::Line;
        }
    }
    fieldCount_ = std::count(line.cbegin(), line.cend(), ',') + 1;
    bool ended = complete;
    while (!ended) {
        const QByteArray piece = device_->readLine(64 * 1024);
        fieldCount_ += std::count(piece.cbegin(), piece.cend(), ',');
        ended = piece.isEmpty() || piece.endsWith('\n') || device_->atEnd();
    }
    line.clear();
    return Result::TooLong;
}

} // namespace kd
