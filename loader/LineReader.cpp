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
    // One byte more than the limit, and room for "\r\n": a longer read means a longer line. The
    // buffer is made once; a fresh one per line would cost an allocation of the limit each.
    const qsizetype room = limit + 4;
    if (buffer_.size() < room)
        buffer_.resize(room);
    const qint64 read = device_->readLine(buffer_.data(), room);
    if (read <= 0)
        return Result::End;
    line = QByteArray(buffer_.constData(), qsizetype(read));
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
        const qint64 piece = device_->readLine(buffer_.data(), qMin<qint64>(room, 64 * 1024));
        if (piece <= 0)
            break;
        fieldCount_ += std::count(buffer_.constData(), buffer_.constData() + piece, ',');
        ended = buffer_[piece - 1] == '\n' || device_->atEnd();
    }
    line.clear();
    return Result::TooLong;
}

} // namespace kd
