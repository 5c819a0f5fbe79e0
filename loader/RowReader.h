#pragma once

#include <QByteArray>
#include <QList>

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace kd {

class LineReader;

// Reads the data lines of a file on a thread of its own and hands them over in order, in
// batches: reading a line, making it UTF-8, checking its fields and its date-times cost about
// as much as the database's insert of it, so the two run side by side.
class RowReader
{
public:
    // How the lines of the file map to the store's columns.
    struct Layout
    {
        // Store column i is the file's field mapping[i]; empty when the file has the store's
        // columns in their order.
        QList<int> mapping;
        int highestIndex = -1;
        qsizetype headerFields = 0;
        qsizetype columns = 0;
        // Store columns whose values are checked as date-times (at most 32).
        QList<int> dateColumns;
        // Store columns whose values are checked as numbers (at most 32), and whether each
        // holds a whole number (in the int range) rather than a real one (in the float range).
        QList<int> numberColumns;
        QList<bool> wholeNumbers;
    };

    // Whether a value reads as a finite decimal number in the column's range; an empty value
    // is a missing one, not an unreadable one. "nan", "inf" and hexadecimal forms are no numbers.
    static bool isReadableNumber(QByteArrayView value, bool whole);

    struct Entry
    {
        // The entry's first field in the batch's fieldSpans; there are `fields` of them.
        qsizetype firstField = 0;
        qint64 lineNumber = 0;
        qint64 fields = 0;
        // Refused lines (too long, fields missing or too many) carry no text.
        bool refused = false;
        // Bit d: the value of date column d is there but cannot be read as a date-time.
        quint32 unreadableDates = 0;
        // Bit n: the value of number column n is there but is not a number in range.
        quint32 unreadableNumbers = 0;
    };

    struct Batch
    {
        QByteArray text;
        // Each field the store takes, in the store's column order, as (offset in text, size):
        // split once here, never again by the store.
        std::vector<std::pair<qsizetype, qsizetype>> fieldSpans;
        std::vector<Entry> entries;
    };

    // Reads from reader (past the header) until the end of its device.
    RowReader(LineReader* reader, Layout layout, qsizetype lineLimit);
    // Stops the reading if it still runs; the lines not taken are dropped.
    ~RowReader();

    RowReader(const RowReader&) = delete;
    RowReader& operator=(const RowReader&) = delete;

    // The next batch; false when every line was handed over.
    bool next(Batch& batch);

private:
    void run();
    void readLine(QByteArray& line, QList<QByteArrayView>& fields, QByteArray& rebuilt,
                  Batch& batch);

    LineReader* reader_;
    const Layout layout_;
    const qsizetype lineLimit_;

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Batch> ready_;
    bool done_ = false;
    bool stop_ = false;
    // A thread of its own rather than the shared pool's: the load itself may hold the pool's
    // only other thread, and the reader must never wait for a free one.
    std::thread thread_;
};

} // namespace kd
