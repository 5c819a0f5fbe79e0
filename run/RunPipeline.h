#pragma once

#include "store/RunExtraction.h"

#include <QString>

#include <atomic>
#include <functional>
#include <memory>

namespace kd {

class FishProcessor;
class ResultFile;
class RunSource;

// One run from the store to its file, for the desktop and the console alike: the extraction
// of the run's rows, then every fish coded and its lines written as soon as its rows are read,
// so that memory stays flat whatever the size of the study.
class RunPipeline
{
public:
    explicit RunPipeline(RunSource& store) : store_(store) {}

    // The run's working tables, sites and row count; false when the store failed (errorText
    // says why).
    bool extract(int runId);
    const RunExtraction& extraction() const { return extraction_; }

    // Every row at once, for the uses that need them together; false when reading failed.
    bool readAll(QList<CaptureRow>& rows);

    // The rows also carry length and weight as stored text (for the survival files).
    void setMeasureText(bool on)
    {
        if (extraction_.rows)
            extraction_.rows->setMeasureText(on);
    }

    // Rows read so far of rowCount.
    using Progress = std::function<void(qint64 done, qint64 total)>;
    // Codes every fish into the processor; its lines go to the file when one is given. False
    // when canceled or when reading the rows failed (errorText says why).
    bool process(FishProcessor& processor, ResultFile* file, const Progress& progress = {},
                 const std::atomic<bool>* cancel = nullptr);
    QString errorText() const { return error_; }
    // Progress is reported, and the cancel flag looked at, after at least this many rows.
    void setProgressStep(qint64 rows) { progressStep_ = rows; }

private:
    RunSource& store_;
    RunExtraction extraction_;
    QString error_;
    qint64 progressStep_ = 4096;
};

} // namespace kd
