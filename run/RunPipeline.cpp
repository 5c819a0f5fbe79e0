#include "run/RunPipeline.h"

#include "processing/FishProcessor.h"
#include "processing/FishReader.h"
#include "run/ResultFile.h"
#include "store/RunSource.h"

namespace kd {

bool RunPipeline::extract(int runId)
{
    error_.clear();
    extraction_ = store_.extractRun(runId);
    if (!extraction_.ok)
        error_ = extraction_.error;
    return extraction_.ok;
}

bool RunPipeline::readAll(QList<CaptureRow>& rows)
{
    rows = extraction_.readAll();
    error_ = extraction_.rows ? extraction_.rows->errorText() : QString();
    return error_.isEmpty();
}

bool RunPipeline::process(FishProcessor& processor, ResultFile* file, const Progress& progress,
                          const std::atomic<bool>* cancel)
{
    error_.clear();
    if (file)
        processor.setLineSink([file](const QString& line) { file->writeLine(line); });
    processor.start();
    bool complete = true;
    if (extraction_.rows) {
        FishReader fish(*extraction_.rows);
        // Progress and cancel are looked at between fish.
        qint64 reported = 0;
        while (fish.next()) {
            processor.processFish(fish.fish(), fish.detections());
            if (fish.rowsRead() - reported >= progressStep_) {
                reported = fish.rowsRead();
                if (progress)
                    progress(reported, extraction_.rowCount);
                if (cancel && cancel->load()) {
                    complete = false;
                    break;
                }
            }
        }
        error_ = extraction_.rows->errorText();
        if (complete && progress)
            progress(fish.rowsRead(), extraction_.rowCount);
    }
    if (complete && error_.isEmpty())
        processor.finish();
    processor.setLineSink({});
    return complete && error_.isEmpty();
}

} // namespace kd
