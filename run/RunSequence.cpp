#include "run/RunSequence.h"

#include "base/MessageLoggerI.h"
#include "loader/DataLoader.h"
#include "run/ResultFile.h"
#include "run/RunExecution.h"
#include "run/RunKind.h"
#include "store/DataProvider.h"
#include "survival/SurvivalResult.h"

#include <QDir>
#include <QFileInfo>
#include <QtConcurrent/QtConcurrentRun>

namespace kd {

RunSequence::RunSequence(MessageLoggerI* logger, QObject* parent) : QObject(parent), logger_(logger)
{
    connect(&watcher_, &QFutureWatcher<StepResult>::finished, this, &RunSequence::onStepFinished);
}

RunSequence::~RunSequence()
{
    // The worker uses the store and these members until it ends.
    cancelRequested_ = true;
    waitForWorker();
}

void RunSequence::waitForWorker()
{
    watcher_.waitForFinished();
}

void RunSequence::setStore(DataProvider* store, DataLoader* loader)
{
    store_ = store;
    loader_ = loader;
    if (!loader_)
        return;
    loader_->setCancelFlag(&cancelRequested_);
    loader_->setProgress([this](int done, int total, const QString& path) {
        if (path.isEmpty()) {
            reportProgress(0, 0, QStringLiteral("Finishing the load..."));
            return;
        }
        reportProgress(done, total,
                       QStringLiteral("Loading %1 (file %2 of %3)...")
                           .arg(QFileInfo(path).fileName())
                           .arg(done + 1)
                           .arg(total));
    });
}

void RunSequence::log(const QString& message, int level) const
{
    if (logger_)
        logger_->log(message, level);
}

void RunSequence::begin()
{
    step_ = Idle;
    steps_.clear();
    pendingRuns_.clear();
    claims_.clear();
    cancelRequested_ = false;
    busy_ = true;
}

void RunSequence::end()
{
    // A canceled run leaves its extraction behind; its working tables go with it.
    resultFile_.reset();
    execution_.reset();
    step_ = Idle;
    steps_.clear();
    pendingRuns_.clear();
    busy_ = false;
    emit progressHidden();
    emit finished();
}

void RunSequence::startLoad(const QString& dataDir)
{
    if (busy_ || !store_)
        return;
    begin();
    dataDir_ = dataDir;
    steps_ = {LoadData};
    nextStep();
}

void RunSequence::startRuns(const QList<int>& runIds, const QString& outputDir,
                            const QString& dataDir, bool loadFirst)
{
    if (busy_ || !store_)
        return;
    begin();
    pendingRuns_ = runIds;
    outputDir_ = outputDir;
    dataDir_ = dataDir;
    loadFirst_ = loadFirst;
    if (!nextRun())
        end();
}

bool RunSequence::nextRun()
{
    while (!pendingRuns_.isEmpty()) {
        const int id = pendingRuns_.takeFirst();
        currentRun_ = store_->runDefinition(id);
        if (currentRun_.id < 0) {
            log(QStringLiteral("Run #%1 has no releases or sites any more; skipped.").arg(id), 1);
            continue;
        }
        // Two selected runs that would write one file: the later would silently overwrite
        // the earlier's result.
        const QString path =
            QDir::cleanPath(ResultFile::path(outputDir_, currentRun_.name, currentRun_.format));
        const QString refusal = claims_.claim(path, currentRun_.name);
        if (!refusal.isEmpty()) {
            log(refusal, 1);
            continue;
        }
        log(QStringLiteral("Processing run ") + currentRun_.name, 0);
        steps_.clear();
        if (loadFirst_)
            steps_.append(LoadData);
        steps_ << QueryData << ProcessData << WriteResults;
        step_ = Idle;
        nextStep();
        return true;
    }
    return false;
}

void RunSequence::nextStep()
{
    if (step_ == Canceled) {
        end();
        return;
    }
    if (steps_.isEmpty()) {
        emit progressHidden();
        step_ = Idle;
        log(QStringLiteral("Run complete."), 0);
        if (!nextRun())
            end();
        return;
    }
    step_ = steps_.takeFirst();
    switch (step_) {
    case LoadData:
        startStep(QStringLiteral("Loading data..."), true, [this] { return load(); });
        break;
    case QueryData:
        startStep(QStringLiteral("Querying data..."), true, [this] { return query(); });
        break;
    case ProcessData:
        outputPath_ = ResultFile::path(outputDir_, currentRun_.name, currentRun_.format);
        startStep(QStringLiteral("Processing data..."), true, [this] { return process(); });
        break;
    case WriteResults:
        // The progress dialog keeps the label of the step before.
        startStep(QStringLiteral("Writing results to ") + outputPath_ + QStringLiteral("..."),
                  false, [this] { return write(); });
        break;
    default:
        break;
    }
}

void RunSequence::startStep(const QString& message, bool labelled, std::function<StepResult()> work)
{
    log(message, 0);
    emit stepStarted(labelled ? message : QString());
    runStep(std::move(work));
}

void RunSequence::runStep(std::function<StepResult()> work)
{
    workerActive_ = true;
    lastPercent_ = -1;
    lastLabel_.clear();
    const WorkerHook hook = workerHook_;
    const ProcessingStep step = step_;
    watcher_.setFuture(QtConcurrent::run([hook, step, work = std::move(work)] {
        if (hook)
            hook(step);
        StepResult result = work();
        result.step = step;
        return result;
    }));
}

void RunSequence::onStepFinished()
{
    if (!workerActive_)
        return;
    workerActive_ = false;
    const StepResult result = watcher_.result();
    if (result.step == LoadData) {
        // The store has changed whether or not the load was canceled.
        loadFirst_ = !(result.ok || store_->hasCoreData());
        emit loadFinished(result.ok);
        if (step_ != Canceled) {
            if (result.ok)
                log(QStringLiteral("Data loaded."), 0);
            else
                log(result.error.isEmpty()
                        ? QStringLiteral("The data folder could not be loaded.")
                        : QStringLiteral("The data folder could not be loaded: ") + result.error,
                    1);
        }
    }
    switch (step_) {
    case QueryData:
        if (!result.ok) {
            step_ = Canceled;
            emit progressHidden();
            log(QStringLiteral("Run canceled."), 0);
            break;
        }
        emit labelChanged(QStringLiteral("Query complete."));
        log(QStringLiteral("Query complete."), 0);
        emit labelChanged(QStringLiteral("Found %1 rows").arg(result.count));
        log(QStringLiteral("Found %1 rows").arg(result.count), 0);
        break;
    case ProcessData:
        emit labelChanged(QStringLiteral("Processing complete."));
        log(QStringLiteral("Processing complete."), 0);
        break;
    case WriteResults:
        emit labelChanged(QStringLiteral("Writing complete."));
        break;
    default:
        break;
    }
    nextStep();
}

void RunSequence::cancel()
{
    if (!busy_ || step_ == Canceled)
        return;
    cancelRequested_ = true;
    step_ = Canceled;
    steps_.clear();
    pendingRuns_.clear();
    emit progressHidden();
    log(QStringLiteral("Run canceled."), 0);
    // With a worker still running, the sequence ends when it does.
    if (!workerActive_)
        end();
}

void RunSequence::reportProgress(qint64 done, qint64 total, const QString& label)
{
    const int percent = total > 0 ? int(done * 100 / total) : -1;
    if (percent == lastPercent_ && label == lastLabel_)
        return;
    lastPercent_ = percent;
    lastLabel_ = label;
    QMetaObject::invokeMethod(
        this,
        [this, percent, label] {
            if (busy_ && step_ != Canceled)
                emit progressChanged(percent, label);
        },
        Qt::QueuedConnection);
}

// ---------------------------------------------------------------------------------------------
// Steps (worker thread)

RunSequence::StepResult RunSequence::load()
{
    StepResult result;
    loader_->setDataDir(dataDir_);
    // The loader empties the database inside its own transaction: a canceled or failed load
    // keeps the earlier data and definitions.
    loader_->setReplaceAll(true);
    const QString errorBefore = store_->errorText();
    result.ok = loader_->load();
    // A reason the loader has logged already is not repeated.
    if (!result.ok && !loader_->failureLogged() && store_->errorText() != errorBefore)
        result.error = store_->errorText();
    return result;
}

RunSequence::StepResult RunSequence::query()
{
    StepResult result;
    resultFile_.reset();
    fileError_.clear();
    execution_ =
        std::make_unique<RunExecution>(*store_, RunPlan::fromDefinition(currentRun_), logger_);
    result.ok = execution_->extract();
    if (!result.ok) {
        log(QStringLiteral("Unable to retrieve data rows."), 1);
        if (!execution_->errorText().isEmpty())
            log(execution_->errorText(), 1);
        return result;
    }
    result.count = execution_->extraction().rowCount;
    return result;
}

bool RunSequence::compute(ResultFile* file)
{
    const bool ok = execution_->compute(
        file, [this](qint64 done, qint64 total) { reportProgress(done, total, QString()); },
        &cancelRequested_);
    if (!ok && !execution_->errorText().isEmpty() && !cancelRequested_)
        log(execution_->errorText(), 1);
    return ok;
}

RunSequence::StepResult RunSequence::process()
{
    log(QStringLiteral("Processing events..."), 0);
    StepResult result;
    resultFile_.reset();
    if (execution_->kind().computation == RunKind::Survival) {
        result.ok = compute(nullptr);
        return result;
    }
    // The lines go straight to the file, which replaces an earlier one only when the write
    // step commits it. A file that cannot be opened is reported by that step.
    resultFile_ = std::make_unique<ResultFile>(outputPath_);
    const bool opened = resultFile_->open();
    result.ok = compute(opened ? resultFile_.get() : nullptr);
    if (!result.ok) {
        resultFile_.reset();
    } else if (!opened) {
        fileError_ = resultFile_->errorString();
        resultFile_.reset();
    }
    return result;
}

RunSequence::StepResult RunSequence::writeSurvival()
{
    StepResult result;
    if (cancelRequested_ || !execution_->survival()) {
        execution_.reset();
        return result;
    }
    // The seven files of a survival run, replacing the earlier set only when all are complete.
    QString error;
    result.ok = execution_->writeSurvival(outputDir_, execution_->kind().desktopLabel(), &error);
    if (!result.ok) {
        log(QStringLiteral("Unable to write the output file %1: %2").arg(outputPath_, error), 1);
    } else {
        result.count = execution_->survival()->histories.size();
        log(QStringLiteral("Wrote %1 fish.").arg(result.count), 0);
        const SurvivalResult shown = *execution_->survival();
        const QString name = currentRun_.name;
        QMetaObject::invokeMethod(
            this, [this, name, shown] { emit survivalResult(name, shown); }, Qt::QueuedConnection);
    }
    execution_.reset();
    return result;
}

RunSequence::StepResult RunSequence::write()
{
    if (execution_->kind().computation == RunKind::Survival)
        return writeSurvival();
    StepResult result;
    // A cancel before the file is put in place leaves any earlier file as it was.
    if (cancelRequested_ && resultFile_)
        resultFile_->discard();
    result.ok = !cancelRequested_ && resultFile_ && resultFile_->commit();
    if (result.ok) {
        result.count = resultFile_->lineCount();
        log(QStringLiteral("Wrote ") + QString::number(result.count) + QStringLiteral(" rows."), 0);
    } else if (!cancelRequested_) {
        log(QStringLiteral("Unable to write the output file %1: %2")
                .arg(outputPath_, resultFile_ ? resultFile_->errorString() : fileError_),
            1);
    }
    resultFile_.reset();
    execution_.reset();
    return result;
}

} // namespace kd
