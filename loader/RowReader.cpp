#include "loader/RowReader.h"

#include "base/DateTimeText.h"
#include "loader/LineReader.h"

#include <QStringDecoder>

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstring>

namespace kd {

namespace {

// Lines and bytes per batch, and batches read ahead: enough to keep both threads busy, little
// memory even when every line is as long as a line may be.
constexpr std::size_t BatchLines = 4096;
constexpr qsizetype BatchBytes = 1024 * 1024;
constexpr std::size_t BatchesAhead = 4;

// Data lines are stored as UTF-8. A line that is valid UTF-8 (plain ASCII included) is taken as
// it is; any other is read as Latin-1, so that names with accents arrive intact from files of
// either encoding.
void toUtf8(QByteArray& line)
{
    bool ascii = true;
    for (char c : std::as_const(line)) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            ascii = false;
            break;
        }
    }
    if (ascii)
        return;
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8(line);
    if (utf8.hasError())
        line = QString::fromLatin1(line).toUtf8();
}

// Splits at every comma, empty fields kept; the views point into line.
void splitFields(const QByteArray& line, QList<QByteArrayView>& fields)
{
    fields.clear();
    const char* begin = line.constData();
    const char* end = begin + line.size();
    for (;;) {
        const char* comma = static_cast<const char*>(std::memchr(begin, ',', size_t(end - begin)));
        if (!comma) {
            fields.append(QByteArrayView(begin, end - begin));
            return;
        }
        fields.append(QByteArrayView(begin, comma - begin));
        begin = comma + 1;
    }
}

} // namespace

bool RowReader::isReadableNumber(QByteArrayView value, bool whole)
{
    value = value.trimmed();
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
        value = value.sliced(1, value.size() - 2).trimmed();
    if (value.isEmpty())
        return true;
    // Plain decimal notation only: sign, digits with at most one point, an exponent.
    qsizetype i = 0;
    const qsizetype n = value.size();
    if (value[i] == '+' || value[i] == '-')
        ++i;
    qsizetype digits = 0;
    while (i < n && value[i] >= '0' && value[i] <= '9')
        ++i, ++digits;
    if (i < n && value[i] == '.') {
        ++i;
        while (i < n && value[i] >= '0' && value[i] <= '9')
            ++i, ++digits;
    }
    if (digits == 0)
        return false;
    if (i < n && (value[i] == 'e' || value[i] == 'E')) {
        ++i;
        if (i < n && (value[i] == '+' || value[i] == '-'))
            ++i;
        qsizetype exponentDigits = 0;
        while (i < n && value[i] >= '0' && value[i] <= '9')
            ++i, ++exponentDigits;
        if (exponentDigits == 0)
            return false;
    }
    if (i != n)
        return false;
    bool ok = false;
    const double number = value.toByteArray().toDouble(&ok);
    if (!ok || !std::isfinite(number))
        return false;
    if (whole) {
        const double rounded = std::round(number);
        return rounded >= double(INT_MIN) && rounded <= double(INT_MAX);
    }
    return std::fabs(number) <= double(FLT_MAX);
}

RowReader::RowReader(LineReader* reader, Layout layout, qsizetype lineLimit)
    : reader_(reader), layout_(std::move(layout)), lineLimit_(lineLimit)
{
    thread_ = std::thread([this] { run(); });
}

RowReader::~RowReader()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

bool RowReader::next(Batch& batch)
{
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return !ready_.empty() || done_; });
    if (ready_.empty())
        return false;
    batch = std::move(ready_.front());
    ready_.pop_front();
    lock.unlock();
    changed_.notify_all();
    return true;
}

void RowReader::run()
{
    QByteArray line;
    QByteArray rebuilt;
    QList<QByteArrayView> fields;
    bool end = false;
    while (!end) {
        Batch batch;
        batch.entries.reserve(BatchLines);
        while (batch.entries.size() < BatchLines && batch.text.size() < BatchBytes) {
            const LineReader::Result result = reader_->next(line, lineLimit_);
            if (result == LineReader::Result::End) {
                end = true;
                break;
            }
            if (result == LineReader::Result::TooLong) {
                Entry entry;
                entry.lineNumber = reader_->lineNumber();
                entry.fields = reader_->fieldCount();
                entry.refused = true;
                batch.entries.push_back(entry);
                continue;
            }
            readLine(line, fields, rebuilt, batch);
        }
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this] { return ready_.size() < BatchesAhead || stop_; });
        if (stop_)
            return;
        if (!batch.entries.empty())
            ready_.push_back(std::move(batch));
        done_ = end;
        lock.unlock();
        changed_.notify_all();
    }
}

void RowReader::readLine(QByteArray& line, QList<QByteArrayView>& fields, QByteArray& rebuilt,
                         Batch& batch)
{
    Entry entry;
    entry.lineNumber = reader_->lineNumber();
    toUtf8(line);
    splitFields(line, fields);
    if (!layout_.mapping.isEmpty()) {
        // A line that lacks a mapped field, or has more fields than its header, would put
        // values under the wrong columns: it is refused instead.
        if (fields.size() <= layout_.highestIndex || fields.size() > layout_.headerFields) {
            entry.fields = fields.size();
            entry.refused = true;
            batch.entries.push_back(entry);
            return;
        }
        rebuilt.clear();
        for (int i = 0; i < layout_.mapping.size(); ++i) {
            if (i > 0)
                rebuilt.append(',');
            rebuilt.append(fields[layout_.mapping[i]]);
        }
        line.swap(rebuilt);
        splitFields(line, fields);
    } else if (fields.size() != layout_.columns) {
        entry.fields = fields.size();
        entry.refused = true;
        batch.entries.push_back(entry);
        return;
    }
    entry.fields = fields.size();
    for (int d = 0; d < layout_.dateColumns.size(); ++d) {
        const QByteArrayView value = fields[layout_.dateColumns[d]].trimmed();
        if (!value.isEmpty() && !DateTimeText::isReadable(value))
            entry.unreadableDates |= quint32(1) << d;
    }
    for (int c = 0; c < layout_.numberColumns.size(); ++c) {
        if (!isReadableNumber(fields[layout_.numberColumns[c]], layout_.wholeNumbers[c]))
            entry.unreadableNumbers |= quint32(1) << c;
    }
    const qsizetype offset = batch.text.size();
    entry.firstField = qsizetype(batch.fieldSpans.size());
    for (const QByteArrayView field : std::as_const(fields))
        batch.fieldSpans.emplace_back(offset + (field.data() - line.constData()), field.size());
    batch.text.append(line);
    batch.entries.push_back(entry);
}

} // namespace kd
