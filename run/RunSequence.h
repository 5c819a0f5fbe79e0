#pragma once

#include "run/ProcessingStep.h"
#include "run/ResultClaims.h"
#include "store/RunDefinition.h"

#include <QFutureWatcher>
#include <QList>
#include <QObject>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>

namespace kd {

class DataLoader;
class DataProvider;
class MessageLoggerI;
class ResultFile;
class RunExecution;
struct SurvivalResult;

// The desktop's processing sequence: a load of the data folder, or the selected runs one after
// the other, each as the steps Query, Process and Write (with a Load first when no data is
// loaded). Every step runs on the global thread pool and returns a typed result; one step at a
// time, and the store is used by that step only while it runs. Messages go to the logger (from
// any thread); what the progress dialog should show is signalled on this object's thread.
class RunSequence : public QObject
{
    Q_OBJECT

public:
    // What a step returns: whether it succeeded, what failed, and its count (rows found, lines
    // written).
    struct StepResult
    {
        ProcessingStep step = Idle;
        bool ok = false;
        QString error;
        qint64 count = 0;
    };

    explicit RunSequence(MessageLoggerI* logger, QObject* parent = nullptr);
    ~RunSequence() override;

    // The store and loader of the open database; neither owned. Only while idle.
    void setStore(DataProvider* store, DataLoader* loader);

    bool isBusy() const { return busy_; }

    // Loads the data folder, replacing the whole database.
    void startLoad(const QString& dataDir);
    // Handles the runs in order, writing into outputDir; loads dataDir first when asked.
    void startRuns(const QList<int>& runIds, const QString& outputDir, const QString& dataDir,
                   bool loadFirst);
    // Stops the sequence; a step that runs ends soon and nothing of it is kept.
    void cancel();
    // Waits for a running step (the window closes).
    void waitForWorker();

    // Called on the worker thread before the work of every step (a seam for tests).
    using WorkerHook = std::function<void(ProcessingStep)>;
    void setWorkerHook(WorkerHook hook) { workerHook_ = std::move(hook); }

signals:
    // A step began: show the progress dialog as a busy bar, with the label unless empty.
    void stepStarted(const QString& label);
    void labelChanged(const QString& label);
    // percent -1: a busy bar; the label only when not empty.
    void progressChanged(int percent, const QString& label);
    void progressHidden();
    // A load ended (or was canceled): the store has changed either way.
    void loadFinished(bool ok);
    // The sequence has ended, its worker included.
    void finished();
    // A Survival run wrote its files; the result is what the results view shows.
    void survivalResult(const QString& runName, const kd::SurvivalResult& result);

private:
    void begin();
    void end();
    bool nextRun();
    void nextStep();
    void onStepFinished();
    // Logs the step's message, shows it in the progress dialog when labelled, and runs it.
    void startStep(const QString& message, bool labelled, std::function<StepResult()> work);
    void runStep(std::function<StepResult()> work);
    void reportProgress(qint64 done, qint64 total, const QString& label);
    void log(const QString& message, int level) const;

    StepResult load();
    StepResult query();
    // Computes the extracted run (lines to the file when there is one), with progress and
    // cancel; a failure to read the rows is logged.
    bool compute(ResultFile* file);
    StepResult process();
    StepResult write();
    StepResult writeSurvival();

    MessageLoggerI* logger_;
    DataProvider* store_ = nullptr;
    DataLoader* loader_ = nullptr;
    QFutureWatcher<StepResult> watcher_;
    WorkerHook workerHook_;

    bool busy_ = false;
    bool workerActive_ = false;
    ProcessingStep step_ = Idle;
    QList<ProcessingStep> steps_;
    QList<int> pendingRuns_;
    // Result files of the runs started in this sequence.
    ResultClaims claims_;
    QString outputDir_;
    QString dataDir_;
    std::atomic<bool> cancelRequested_{false};
    int lastPercent_ = -1;
    QString lastLabel_;
    // Whether the next run loads the data folder first: until a load has brought data.
    bool loadFirst_ = false;

    // The run in progress, used by the running step only while it runs: its execution and the
    // file its lines go to.
    RunDefinition currentRun_;
    std::unique_ptr<RunExecution> execution_;
    std::unique_ptr<ResultFile> resultFile_;
    QString outputPath_;
    QString fileError_;
};

} // namespace kd
