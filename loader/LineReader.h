#pragma once

#include <QByteArray>

class QIODevice;

namespace kd {

// Reads a device line by line with a bound on what is held: a line longer than the bound is
// skipped to its end in small pieces instead of being read whole, so that one huge line (a
// file that is not text, a file without line ends) cannot exhaust memory.
class LineReader
{
public:
    enum class Result { Line, TooLong, End };

    explicit LineReader(QIODevice* device) : device_(device) {}

    // Next line, without its line end, in line. TooLong: the line had more than limit bytes;
    // line is then empty and fieldCount() tells how many comma-separated fields it had.
    Result next(QByteArray& line, qsizetype limit);
    // Physical number of the line last read, the first being 1.
    qint64 lineNumber() const { return lineNumber_; }
    qint64 fieldCount() const { return fieldCount_; }

private:
    QIODevice* device_;
    QByteArray buffer_;
    qint64 lineNumber_ = 0;
    qint64 fieldCount_ = 0;
};

} // namespace kd
