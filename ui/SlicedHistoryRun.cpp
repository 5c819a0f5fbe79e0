#include "ui/SlicedHistoryRun.h"

#include "processing/FishProcessor.h"
#include "processing/HistDataProcessor.h"

namespace kd {

namespace {

// Hands the fish of one slice on to the real processor; the real processor's start and finish
// are called once for the whole run, not per slice.
class FishForwarder : public FishProcessor
{
public:
    explicit FishForwarder(FishProcessor& target) : FishProcessor({}, {}), target_(target) {}

    void start() override {}
    void processFish(const CaptureRow& fish, const DetectionMap& detections) override
    {
        target_.processFish(fish, detections);
    }
    void finish() override {}

private:
    FishProcessor& target_;
};

} // namespace

bool SlicedHistoryRun::run(const QList<CaptureRow>& rows, FishProcessor& processor,
                           const Progress& progress, const std::atomic<bool>* cancel,
                           qsizetype sliceRows)
{
    const qsizetype total = rows.size();
    sliceRows = std::max<qsizetype>(1, sliceRows);
    FishForwarder forwarder(processor);
    processor.start();
    qsizetype first = 0;
    while (first < total) {
        if (cancel && cancel->load())
            return false;
        qsizetype end = std::min(total, first + sliceRows);
        // A fish is a run of rows with one tag code; it must not be split between slices.
        while (end < total && rows.at(end).tagCode == rows.at(end - 1).tagCode)
            ++end;
        HistDataProcessor slice(rows.mid(first, end - first));
        slice.addProcessor(&forwarder);
        slice.processRows();
        first = end;
        if (progress)
            progress(first, total);
    }
    processor.finish();
    return true;
}

} // namespace kd
