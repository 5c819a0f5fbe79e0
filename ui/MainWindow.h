#pragma once

#include "base/MessageLoggerI.h"
#include "run/ProcessingStep.h"
#include "store/RunDefinition.h"

#include <QItemSelection>
#include <QList>
#include <QMainWindow>
#include <QMutex>
#include <QPair>
#include <QProcess>

#include <functional>
#include <memory>

class QProgressDialog;

namespace Ui {
class MainWindow;
}

namespace kd {

class DataLoader;
class DataProvider;
class DefinitionBuilder;
class DefinitionPartsModel;
class Dialogs;
class LogWindow;
class QueryModelCache;
class QueryViewManager;
class RunDefWizard;
class RunSequence;
class SurvivalResultsView;
struct SurvivalResult;

// The desktop window: chooses the data and output folders, loads the data folder, hosts the
// release and site builders and the run list, and writes the capture-history file of each
// selected run. Loading and the steps of a run work on a worker thread, one sequence at a time.
class MainWindow : public QMainWindow, public MessageLoggerI
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    // Appends to the status log, in red for level 1. Safe from any thread: messages of worker
    // threads reach the log on the GUI thread in the order of the calls.
    void log(const QString& message, int level) override;

    // Replaces the message boxes and folder choosers (tests answer them).
    void setDialogs(std::unique_ptr<Dialogs> dialogs);

    // The results of the last Survival run, once one ran.
    SurvivalResultsView* survivalView() const { return survivalView_; }

    // Opens the database of the data folder unless one is open; a missing database file is
    // created only when allowed. True when a database is open afterwards.
    bool connectToDatabase(bool createAllowed);

    bool isBusy() const { return busy_; }
    bool hasData() const { return hasData_; }
    DataProvider* dataProvider() const;
    QueryViewManager* viewManager() const { return views_.get(); }
    RunDefWizard* wizard() const { return wizard_.get(); }

    // Where windows made from now on look for the updater (empty: the executable's folder) and
    // what starts it (empty: the process itself); a seam for tests, which see what would be
    // started without starting anything.
    using UpdaterStart = std::function<void(QProcess* process, const QString& program,
                                            const QStringList& arguments)>;
    static void setUpdaterSeam(const QString& folder, UpdaterStart start);

    // Called on the worker thread before the work of every step (a seam for tests).
    using WorkerHook = std::function<void(ProcessingStep)>;
    void setWorkerHook(WorkerHook hook);

    // The size the window opens at when no size was saved: room for the runs table and the
    // log, within the screen's free area.
    static QSize defaultSize(const QSize& available);

signals:
    // A Load or Run sequence has ended, its worker included.
    void sequenceFinished();
    // The progress dialog now shows percent (-1: busy bar) and, when not empty, label.
    void progressShown(int percent, const QString& label);

private slots:
    void onRunActionTriggered();
    void onClearAllDataActionTriggered();
    void onActionAbout();
    void onDataDirBrowseButtonClicked();
    void onOutputDirBrowseButtonClicked();
    void onLoadDataButtonClicked();
    void onCreateReleaseButtonClicked();
    void onBulkAddReleaseButtonClicked();
    void onCreateArrayButtonClicked();
    void onBulkAddArrayButtonClicked();
    void onReleaseGroupsSelectionChanged();
    void onArraysSelectionChanged();
    void onDeleteReleasesButtonClicked();
    void onDeleteSitesButtonClicked();
    void onAddRunDefButtonClicked();
    void onEditRunDefButtonClicked();
    void onDeleteRunDefButtonClicked();
    void onProcessingCanceled();
    void onLoadFinished(bool ok);
    void onSequenceFinished();
    void showStep(const QString& label);
    void showProgress(int percent, const QString& label);
    void showSurvivalResult(const QString& runName, const kd::SurvivalResult& result);
    // The builders' lists changed or their selection did: the parts beside them follow.
    void onDefinitionsChanged();
    void onDefinedSelectionChanged();
    void onRunTableSelectionChanged(const QItemSelection& selected,
                                    const QItemSelection& deselected);
    void onCheckForUpdates();
    void onSysProcComplete(int exitCode, QProcess::ExitStatus exitStatus);
    void onShowLogWindowActionTriggered();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void beginSequence();

    void disconnectFromDatabase();
    // The question Load asks before it removes the releases, sites and runs; empty when there
    // are none.
    QString loadQuestion() const;
    void refreshRuns();
    void updateActions();
    void startUpdater(const QStringList& arguments);
    void flushLog();
    void appendLog(const QString& message, int level);
    void critical(const QString& text);
    QString programName() const;
    void restoreWindowState();
    void saveWindowState();

    std::unique_ptr<Ui::MainWindow> ui_;
    std::unique_ptr<Dialogs> dialogs_;
    QueryModelCache* modelCache_;
    std::unique_ptr<DataProvider> provider_;
    std::unique_ptr<QueryViewManager> views_;
    std::unique_ptr<RunDefWizard> wizard_;
    std::unique_ptr<DataLoader> loader_;
    std::unique_ptr<DefinitionBuilder> releaseBuilder_;
    std::unique_ptr<DefinitionBuilder> siteBuilder_;
    DefinitionPartsModel* releaseParts_;
    DefinitionPartsModel* siteParts_;
    LogWindow* logWindow_;
    SurvivalResultsView* survivalView_ = nullptr;
    QProcess* updater_ = nullptr;
    bool hasData_ = false;

    // The sequence of the Load or Run in progress; the window shows its progress.
    QProgressDialog* progress_;
    std::unique_ptr<RunSequence> sequence_;
    bool busy_ = false;

    // Messages waiting for the GUI thread.
    QMutex logMutex_;
    QList<QPair<QString, int>> pendingLog_;
    bool flushQueued_ = false;
};

} // namespace kd
