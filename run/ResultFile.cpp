#include "run/ResultFile.h"

#include "processing/SafeFileName.h"
#include "store/RunDefinition.h"

#include <QDir>

namespace kd {

namespace {

// Written in pieces of about this size: few system calls, little memory.
constexpr qsizetype FlushSize = 1 << 20;

} // namespace

ResultFile::ResultFile(const QString& path) : file_(path) {}

QString ResultFile::path(const QString& outputDir, const QString& runName,
                         RunDefinition::Format format)
{
    return QDir(outputDir).filePath(
        QStringLiteral("%1_%2.csv").arg(safeFileName(runName), RunDefinition::formatName(format)));
}

bool ResultFile::open()
{
    return file_.open(QIODevice::WriteOnly | QIODevice::Text);
}

void ResultFile::writeLine(const QString& line)
{
    if (lines_ > 0)
        pending_.append('\n');
    pending_.append(line.toUtf8());
    ++lines_;
    if (pending_.size() >= FlushSize)
        flush();
}

bool ResultFile::flush()
{
    if (!pending_.isEmpty() && !failed_ && file_.write(pending_) != pending_.size()) {
        failed_ = true;
        error_ = file_.errorString();
    }
    pending_.clear();
    return !failed_;
}

bool ResultFile::commit()
{
    if (!flush()) {
        file_.cancelWriting();
        file_.commit();
        return false;
    }
    if (!file_.commit()) {
        error_ = file_.errorString();
        return false;
    }
    return true;
}

void ResultFile::discard()
{
    pending_.clear();
    if (file_.isOpen()) {
        file_.cancelWriting();
        file_.commit();
    }
}

QString ResultFile::errorString() const
{
    return error_.isEmpty() ? file_.errorString() : error_;
}

} // namespace kd
