#pragma once

#include "run/RunPipeline.h"
#include "run/RunPlan.h"

#include <QString>

#include <atomic>
#include <memory>

namespace kd {

class FishProcessor;
class MessageLoggerI;
class ResultFile;
class RunSource;
struct SurvivalResult;

// One run executed the same way by both faces, in the phases each face reports between:
// extract the selection, compute (code every fish, and fit for a survival run), write. The
// faces keep only their messages and where the files go.
class RunExecution
{
public:
    // The logger takes the computation's own notes (the survival fit's); not owned.
    RunExecution(RunSource& source, RunPlan plan, MessageLoggerI* logger);
    ~RunExecution();

    RunExecution(const RunExecution&) = delete;
    RunExecution& operator=(const RunExecution&) = delete;

    const RunPlan& plan() const { return plan_; }
    const RunKind& kind() const { return *plan_.kind; }

    // The selection's rows; false when the store failed (errorText says why).
    bool extract();
    // The stored run the selection is extracted for, while the console stores its own.
    void setStoredRunId(int id) { plan_.selection.storedRunId = id; }
    const RunExtraction& extraction() const { return pipeline_.extraction(); }

    // Every row at once, for a computation that needs them together; false when reading failed.
    bool readAll(QList<CaptureRow>& rows) { return pipeline_.readAll(rows); }

    // Codes every fish: a history run's lines go to the file when one is given, a survival
    // run's fish are fitted afterwards. False when canceled or when reading the rows failed
    // (errorText says why).
    bool compute(ResultFile* file, const RunPipeline::Progress& progress = {},
                 const std::atomic<bool>* cancel = nullptr);
    QString errorText() const { return pipeline_.errorText(); }

    // A survival run's fit, once computed; null otherwise.
    const SurvivalResult* survival() const { return survival_.get(); }
    // The survival files of the fit into folder, named after the run and suffix. False with
    // the reason in error.
    bool writeSurvival(const QString& folder, const QString& suffix, QString* error) const;

private:
    bool computeSurvival(const RunPipeline::Progress& progress, const std::atomic<bool>* cancel);
    void log(const QString& message) const;

    RunPlan plan_;
    MessageLoggerI* logger_;
    RunPipeline pipeline_;
    std::unique_ptr<FishProcessor> processor_;
    std::unique_ptr<SurvivalResult> survival_;
};

} // namespace kd
