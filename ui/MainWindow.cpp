#include "ui/MainWindow.h"

#include "base/Settings.h"
#include "loader/DataLoader.h"
#include "run/RunSequence.h"
#include "store/SQLiteDataProvider.h"
#include "ui/BasicQueryModel.h"
#include "ui/DefinitionBuilder.h"
#include "ui/DefinitionPartsModel.h"
#include "ui/InfoDialog.h"
#include "ui/LogWindow.h"
#include "ui/QueryModelCache.h"
#include "ui/QueryViewManager.h"
#include "ui/RunDefWizard.h"
#include "ui/SurvivalResultsView.h"
#include "ui/ViewKind.h"
#include "ui/WidgetDialogs.h"
#include "ui_MainWindow.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMutexLocker>
#include <QProgressDialog>
#include <QScreen>
#include <QThread>

namespace kd {

namespace {

const QString UpdaterProgram = QStringLiteral("updater.exe");

QString& updaterFolder()
{
    static QString folder;
    return folder;
}

MainWindow::UpdaterStart& updaterStart()
{
    static MainWindow::UpdaterStart start;
    return start;
}

// The updater that ships with the program. Never one of the working folder: a study folder that
// the program is opened from could hold any file of that name.
QString updaterPath()
{
    const QString folder =
        updaterFolder().isEmpty() ? QCoreApplication::applicationDirPath() : updaterFolder();
    return QDir(folder).absoluteFilePath(UpdaterProgram);
}

enum Tab { DataTab = 0, ReleasesTab = 1, SitesTab = 2, FilesTab = 3 };

QString settingText(int key)
{
    return Settings::instance().value(key).toString();
}

// Window layout entries of the settings store, next to the numbered settings.
QSettings& layoutSettings()
{
    return Settings::instance();
}

} // namespace

MainWindow::MainWindow(QWidget* parent)
    : QMainWindow(parent), ui_(std::make_unique<Ui::MainWindow>()),
      dialogs_(std::make_unique<WidgetDialogs>()), modelCache_(new QueryModelCache(this))
{
    ui_->setupUi(this);
    ui_->tabWidget->setCurrentIndex(DataTab);

    logWindow_ = new LogWindow(this);
    logWindow_->setDialogs(dialogs_.get());
    const QString name = programName();
    log(name, 0);
    log(QString(name.size(), QLatin1Char('-')), 0);
    log(QStringLiteral("Initializing..."), 0);

    ui_->dataDirLineEdit_->setText(settingText(Settings::DataDir));
    ui_->outputDirLineEdit_->setText(settingText(Settings::OutDir));

    progress_ = new QProgressDialog(this);
    progress_->setWindowTitle(name);
    progress_->setAutoClose(false);
    progress_->setAutoReset(false);
    progress_->setMinimumDuration(0);
    progress_->setRange(0, 0);
    // A new progress dialog shows itself after a few seconds unless it is reset.
    progress_->reset();
    progress_->hide();
    connect(progress_, &QProgressDialog::canceled, this, &MainWindow::onProcessingCanceled);
    connect(progress_, &QDialog::rejected, this, &MainWindow::onProcessingCanceled);
    sequence_ = std::make_unique<RunSequence>(this);
    connect(sequence_.get(), &RunSequence::stepStarted, this, &MainWindow::showStep);
    connect(sequence_.get(), &RunSequence::labelChanged, progress_, &QProgressDialog::setLabelText);
    connect(sequence_.get(), &RunSequence::progressChanged, this, &MainWindow::showProgress);
    connect(sequence_.get(), &RunSequence::progressHidden, progress_, &QWidget::hide);
    connect(sequence_.get(), &RunSequence::loadFinished, this, &MainWindow::onLoadFinished);
    connect(sequence_.get(), &RunSequence::finished, this, &MainWindow::onSequenceFinished);
    connect(sequence_.get(), &RunSequence::survivalResult, this, &MainWindow::showSurvivalResult);

    releaseBuilder_ = std::make_unique<DefinitionBuilder>(
        DefinitionBuilder::Releases, ui_->releaseNameLineEdit_, ui_->releaseKmLineEdit_);
    siteBuilder_ = std::make_unique<DefinitionBuilder>(
        DefinitionBuilder::Sites, ui_->siteNameLineEdit_, ui_->siteRiverKmLineEdit_);
    releaseParts_ = new DefinitionPartsModel(DefinitionPartsModel::ReleaseGroups, this);
    siteParts_ = new DefinitionPartsModel(DefinitionPartsModel::SiteArrays, this);
    ui_->releasePartsTableView_->setModel(releaseParts_);
    ui_->sitePartsTableView_->setModel(siteParts_);
    for (QTableView* view : {ui_->releasePartsTableView_, ui_->sitePartsTableView_}) {
        view->horizontalHeader()->setStretchLastSection(true);
        view->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        view->verticalHeader()->setDefaultSectionSize(view->fontMetrics().height() + 8);
    }

    connect(ui_->runAction_, &QAction::triggered, this, &MainWindow::onRunActionTriggered);
    connect(ui_->exitAction_, &QAction::triggered, this, &QWidget::close);
    connect(ui_->clearAllDataAction_, &QAction::triggered, this,
            &MainWindow::onClearAllDataActionTriggered);
    connect(ui_->actionAbout_, &QAction::triggered, this, &MainWindow::onActionAbout);
    connect(ui_->showLogWindowAction_, &QAction::triggered, this,
            &MainWindow::onShowLogWindowActionTriggered);
    connect(ui_->dataDirBrowseButton_, &QPushButton::clicked, this,
            &MainWindow::onDataDirBrowseButtonClicked);
    connect(ui_->outputDirBrowseButton_, &QPushButton::clicked, this,
            &MainWindow::onOutputDirBrowseButtonClicked);
    connect(ui_->loadDataButton_, &QPushButton::clicked, this,
            &MainWindow::onLoadDataButtonClicked);
    connect(ui_->createReleaseButton_, &QPushButton::clicked, this,
            &MainWindow::onCreateReleaseButtonClicked);
    connect(ui_->bulkAddReleasesButton_, &QPushButton::clicked, this,
            &MainWindow::onBulkAddReleaseButtonClicked);
    connect(ui_->createArrayButton_, &QPushButton::clicked, this,
            &MainWindow::onCreateArrayButtonClicked);
    connect(ui_->bulkAddArrayButton_, &QPushButton::clicked, this,
            &MainWindow::onBulkAddArrayButtonClicked);
    connect(ui_->deleteReleasesButton_, &QPushButton::clicked, this,
            &MainWindow::onDeleteReleasesButtonClicked);
    connect(ui_->deleteSitesButton_, &QPushButton::clicked, this,
            &MainWindow::onDeleteSitesButtonClicked);
    connect(ui_->addRunDefButton_, &QPushButton::clicked, this,
            &MainWindow::onAddRunDefButtonClicked);
    connect(ui_->editRunDefButton_, &QPushButton::clicked, this,
            &MainWindow::onEditRunDefButtonClicked);
    connect(ui_->deleteRunButton_, &QPushButton::clicked, this,
            &MainWindow::onDeleteRunDefButtonClicked);
    ui_->editRunDefButton_->setEnabled(false);
    ui_->deleteRunButton_->setEnabled(false);

    if (QFileInfo(updaterPath()).isFile()) {
        ui_->actionCheckForUpdates_->setEnabled(true);
        connect(ui_->actionCheckForUpdates_, &QAction::triggered, this,
                &MainWindow::onCheckForUpdates);
        startUpdater({QStringLiteral("/silent")});
    }

    connectToDatabase(false);
    updateActions();
    restoreWindowState();
    log(QStringLiteral("Ready."), 0);
}

MainWindow::~MainWindow()
{
    // The worker uses the store until it ends.
    sequence_.reset();
    if (updater_) {
        updater_->disconnect(this);
        delete updater_;
        updater_ = nullptr;
    }
    disconnectFromDatabase();
}

void MainWindow::setUpdaterSeam(const QString& folder, UpdaterStart start)
{
    updaterFolder() = folder;
    updaterStart() = std::move(start);
}

void MainWindow::setWorkerHook(WorkerHook hook)
{
    sequence_->setWorkerHook(std::move(hook));
}

DataProvider* MainWindow::dataProvider() const
{
    return provider_.get();
}

void MainWindow::setDialogs(std::unique_ptr<Dialogs> dialogs)
{
    dialogs_ = std::move(dialogs);
    logWindow_->setDialogs(dialogs_.get());
    if (survivalView_)
        survivalView_->setDialogs(dialogs_.get());
}

void MainWindow::showSurvivalResult(const QString& runName, const SurvivalResult& result)
{
    if (!survivalView_) {
        survivalView_ = new SurvivalResultsView(this);
        survivalView_->setDialogs(dialogs_.get());
    }
    survivalView_->setResult(runName, result);
    survivalView_->show();
    survivalView_->raise();
}

QString MainWindow::programName() const
{
    return Settings::instance().fixedValue(Settings::ProgramName).toString();
}

void MainWindow::critical(const QString& text)
{
    dialogs_->critical(this, programName(), text);
}

// ---------------------------------------------------------------------------------------------
// Log

void MainWindow::log(const QString& message, int level)
{
    {
        QMutexLocker lock(&logMutex_);
        pendingLog_.append({message, level});
        if (QThread::currentThread() != thread()) {
            if (!flushQueued_) {
                flushQueued_ = true;
                QMetaObject::invokeMethod(this, &MainWindow::flushLog, Qt::QueuedConnection);
            }
            return;
        }
    }
    // Earlier messages of a worker that still wait go first.
    flushLog();
}

void MainWindow::flushLog()
{
    QList<QPair<QString, int>> messages;
    {
        QMutexLocker lock(&logMutex_);
        messages.swap(pendingLog_);
        flushQueued_ = false;
    }
    for (const auto& message : std::as_const(messages))
        appendLog(message.first, message.second);
}

void MainWindow::appendLog(const QString& message, int level)
{
    // Messages carry file paths and driver texts; they are shown as text, never as markup.
    QString html = message.toHtmlEscaped();
    html.replace(QLatin1Char('\n'), QStringLiteral("<br>"));
    if (level == 1)
        html = QStringLiteral("<font color=\"red\">%1</font>").arg(html);
    ui_->loggingTextEdit_->append(html);
    logWindow_->appendParagraph(html);
}

// ---------------------------------------------------------------------------------------------
// Database

bool MainWindow::connectToDatabase(bool createAllowed)
{
    if (provider_)
        return true;
    const QString dataDir = settingText(Settings::DataDir);
    // Without a data folder there is no place for the database; the working folder is none.
    if (dataDir.isEmpty())
        return false;
    const QString path =
        QDir(dataDir).filePath(Settings::instance().fixedValue(Settings::DbName).toString());
    if (!createAllowed && !QFileInfo::exists(path))
        return false;

    log(QStringLiteral("Connecting to database."), 0);
    auto provider = std::make_unique<SQLiteDataProvider>(path);
    if (provider->hasError()) {
        log(provider->errorText(), 1);
        return false;
    }
    provider_ = std::move(provider);
    provider_->setLogger(this);
    hasData_ = provider_->hasCoreData();

    views_ = std::make_unique<QueryViewManager>(provider_.get(), modelCache_);
    views_->bind(LoadsView, ui_->loadsTableView_);
    views_->bind(ReleaseGroupsView, ui_->releaseGroupsTableView_);
    views_->bind(ArraysView, ui_->arraysTableView_);
    views_->bind(ReleasesView, ui_->definedReleasesTableView_);
    views_->bind(SitesView, ui_->definedSitesTableView_);
    views_->bind(RunsView, ui_->runTableView_);

    wizard_ = std::make_unique<RunDefWizard>(views_.get(), this);
    views_->bind(WizardReleasesView, wizard_->releasesView());
    views_->bind(WizardSitesView, wizard_->sitesView());

    connect(ui_->releaseGroupsTableView_->selectionModel(), &QItemSelectionModel::selectionChanged,
            this, &MainWindow::onReleaseGroupsSelectionChanged, Qt::UniqueConnection);
    connect(ui_->arraysTableView_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &MainWindow::onArraysSelectionChanged, Qt::UniqueConnection);
    connect(ui_->runTableView_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &MainWindow::onRunTableSelectionChanged, Qt::UniqueConnection);
    // The defined lists keep their models across data folders; a refresh resets them.
    for (int kind : {ReleasesView, SitesView}) {
        if (!views_->model(kind))
            continue;
        connect(views_->model(kind), &QAbstractItemModel::modelReset, this,
                &MainWindow::onDefinitionsChanged, Qt::UniqueConnection);
        connect(views_->view(kind)->selectionModel(), &QItemSelectionModel::selectionChanged, this,
                &MainWindow::onDefinedSelectionChanged, Qt::UniqueConnection);
    }
    onDefinitionsChanged();

    loader_ = std::make_unique<DataLoader>(provider_.get());
    loader_->setLogger(this);
    sequence_->setStore(provider_.get(), loader_.get());
    return true;
}

void MainWindow::disconnectFromDatabase()
{
    if (sequence_)
        sequence_->setStore(nullptr, nullptr);
    loader_.reset();
    wizard_.reset();
    views_.reset();
    // The models must let go of the connection before it closes.
    modelCache_->releaseQueries();
    provider_.reset();
    hasData_ = false;
    onDefinitionsChanged();
}

void MainWindow::onDefinitionsChanged()
{
    releaseParts_->setParts(provider_ ? provider_->releaseGroupsOfReleases()
                                      : QList<DefinitionPart>());
    siteParts_->setParts(provider_ ? provider_->siteArrays() : QList<DefinitionPart>());
    onDefinedSelectionChanged();
    ui_->releasePartsTableView_->resizeColumnsToContents();
    ui_->sitePartsTableView_->resizeColumnsToContents();
}

void MainWindow::onDefinedSelectionChanged()
{
    releaseParts_->showOwners(views_ ? views_->selectedIds(ReleasesView) : QList<int>());
    siteParts_->showOwners(views_ ? views_->selectedIds(SitesView) : QList<int>());
}

void MainWindow::refreshRuns()
{
    if (!views_)
        return;
    views_->refresh(RunsView);
    // A model reset clears the selection without telling anyone.
    updateActions();
}

void MainWindow::updateActions()
{
    const bool idle = !busy_;
    const bool dataReady = hasData_ && provider_;
    ui_->runAction_->setEnabled(idle && dataReady);
    for (int tab : {ReleasesTab, SitesTab, FilesTab})
        ui_->tabWidget->setTabEnabled(tab, dataReady);
    // The builders write to the store, which a worker may be using.
    ui_->releasesTab_->setEnabled(dataReady && idle);
    ui_->sitesTab_->setEnabled(dataReady && idle);
    ui_->addRunDefButton_->setEnabled(idle && dataReady);
    const bool oneRun = views_ && views_->selectedRows(RunsView).size() == 1;
    ui_->editRunDefButton_->setEnabled(idle && oneRun);
    ui_->deleteRunButton_->setEnabled(idle && oneRun);
    ui_->loadDataButton_->setEnabled(idle);
    ui_->dataDirBrowseButton_->setEnabled(idle);
    ui_->clearAllDataAction_->setEnabled(idle && provider_);
}

// ---------------------------------------------------------------------------------------------
// Folders, load and clear

void MainWindow::onDataDirBrowseButtonClicked()
{
    if (busy_)
        return;
    const QString current = settingText(Settings::DataDir);
    const QString chosen = dialogs_->existingDirectory(this, programName(), current);
    if (chosen.isEmpty() || chosen == current)
        return;
    ui_->dataDirLineEdit_->setText(chosen);
    Settings::instance().setValue(Settings::DataDir, chosen);
    disconnectFromDatabase();
    connectToDatabase(true);
    if (views_)
        views_->refreshAll();
    updateActions();
}

void MainWindow::onOutputDirBrowseButtonClicked()
{
    const QString chosen =
        dialogs_->existingDirectory(this, programName(), settingText(Settings::OutDir));
    if (chosen.isEmpty())
        return;
    ui_->outputDirLineEdit_->setText(chosen);
    Settings::instance().setValue(Settings::OutDir, chosen);
}

void MainWindow::onLoadDataButtonClicked()
{
    if (busy_)
        return;
    const QString dataDir = settingText(Settings::DataDir);
    if (dataDir.isEmpty()) {
        critical(QStringLiteral("You must select a data directory."));
        return;
    }
    if (!QFileInfo(dataDir).isDir()) {
        critical(QStringLiteral("Data directory doesn't exist."));
        return;
    }
    if (!connectToDatabase(true))
        return;
    // A folder that lost every file the database knows, and holds none, is most likely a disk
    // that is not mounted: loading it would empty the study.
    DataLoader probe(provider_.get());
    probe.setDataDir(dataDir);
    const QString emptyFolder = probe.checkFolder();
    if (!emptyFolder.isEmpty()) {
        log(emptyFolder, 1);
        if (!dialogs_->confirm(this, programName(), emptyFolder + QStringLiteral(" Load anyway?")))
            return;
    }
    const QString question = loadQuestion();
    if (!question.isEmpty() && !dialogs_->confirm(this, programName(), question))
        return;
    beginSequence();
    sequence_->startLoad(dataDir);
}

QString MainWindow::loadQuestion() const
{
    // The lists as the user sees them: a run that lost its releases or sites is no longer
    // shown, and its removal is no loss.
    const struct
    {
        int view;
        const char* one;
        const char* many;
    } kinds[] = {{ReleasesView, "release", "releases"},
                 {SitesView, "site", "sites"},
                 {RunsView, "run", "runs"}};
    QStringList counts;
    for (const auto& kind : kinds) {
        const BasicQueryModel* model = views_ ? views_->model(kind.view) : nullptr;
        const int count = model ? model->rowCount() : 0;
        if (count > 0)
            counts.append(QStringLiteral("%1 %2").arg(count).arg(
                QLatin1String(count == 1 ? kind.one : kind.many)));
    }
    if (counts.isEmpty())
        return {};
    const QString last = counts.takeLast();
    const QString listed = counts.isEmpty()
                               ? last
                               : counts.join(QStringLiteral(", ")) + QStringLiteral(" and ") + last;
    return QStringLiteral("Loading rebuilds the database from the data folder and removes %1. "
                          "Load anyway?")
        .arg(listed);
}

void MainWindow::onClearAllDataActionTriggered()
{
    if (busy_ || !provider_)
        return;
    if (!dialogs_->confirm(this, programName(),
                           QStringLiteral("This will clear all data. Continue?")))
        return;
    log(QStringLiteral("Clearing data..."), 0);
    if (!provider_->clearAllData())
        log(QStringLiteral("Unable to clear all data."), 1);
    views_->refreshAll();
    // Nothing is loaded any more: the builders and runs wait for the next load.
    hasData_ = provider_->hasCoreData();
    updateActions();
    log(QStringLiteral("done."), 0);
}

// ---------------------------------------------------------------------------------------------
// Sequence driver

void MainWindow::beginSequence()
{
    busy_ = true;
    progress_->reset();
    updateActions();
}

void MainWindow::onSequenceFinished()
{
    progress_->hide();
    busy_ = false;
    updateActions();
    emit sequenceFinished();
}

void MainWindow::onRunActionTriggered()
{
    if (busy_ || !provider_)
        return;
    const QString outputDir = settingText(Settings::OutDir);
    if (outputDir.isEmpty()) {
        critical(QStringLiteral("You must select an output directory."));
        return;
    }
    if (!QFileInfo(outputDir).isDir()) {
        critical(QStringLiteral("Output directory doesn't exist."));
        return;
    }
    const QList<int> ids = views_ ? views_->selectedIds(RunsView) : QList<int>();
    if (ids.isEmpty()) {
        critical(QStringLiteral("You must select at least one run."));
        return;
    }
    beginSequence();
    sequence_->startRuns(ids, outputDir, settingText(Settings::DataDir), !hasData_);
}

void MainWindow::showStep(const QString& label)
{
    if (!label.isEmpty())
        progress_->setLabelText(label);
    progress_->setRange(0, 0);
    progress_->show();
}

void MainWindow::onLoadFinished(bool ok)
{
    hasData_ = ok || provider_->hasCoreData();
    views_->refreshAll();
}

void MainWindow::onProcessingCanceled()
{
    if (busy_)
        sequence_->cancel();
}

void MainWindow::showProgress(int percent, const QString& label)
{
    if (percent < 0) {
        progress_->setRange(0, 0);
    } else {
        progress_->setRange(0, 100);
        progress_->setValue(percent);
    }
    if (!label.isEmpty())
        progress_->setLabelText(label);
    emit progressShown(percent, label);
}

// ---------------------------------------------------------------------------------------------
// Builders

void MainWindow::onCreateReleaseButtonClicked()
{
    if (!busy_ && views_)
        releaseBuilder_->create(*views_, *provider_, *dialogs_, this, programName());
}

void MainWindow::onBulkAddReleaseButtonClicked()
{
    if (!busy_ && views_)
        releaseBuilder_->bulkAdd(*views_, *provider_);
}

void MainWindow::onCreateArrayButtonClicked()
{
    if (!busy_ && views_)
        siteBuilder_->create(*views_, *provider_, *dialogs_, this, programName());
}

void MainWindow::onBulkAddArrayButtonClicked()
{
    if (!busy_ && views_)
        siteBuilder_->bulkAdd(*views_, *provider_);
}

void MainWindow::onReleaseGroupsSelectionChanged()
{
    if (views_)
        releaseBuilder_->suggest(*views_);
}

void MainWindow::onArraysSelectionChanged()
{
    if (views_)
        siteBuilder_->suggest(*views_);
}

void MainWindow::onDeleteReleasesButtonClicked()
{
    if (busy_ || !views_)
        return;
    releaseBuilder_->deleteSelected(*views_, *provider_);
    updateActions();
}

void MainWindow::onDeleteSitesButtonClicked()
{
    if (busy_ || !views_)
        return;
    siteBuilder_->deleteSelected(*views_, *provider_);
    updateActions();
}

// ---------------------------------------------------------------------------------------------
// Runs

void MainWindow::onRunTableSelectionChanged(const QItemSelection&, const QItemSelection&)
{
    updateActions();
}

void MainWindow::onAddRunDefButtonClicked()
{
    if (busy_ || !wizard_)
        return;
    wizard_->setMode(RunDefWizard::AddMode);
    wizard_->restart();
    if (wizard_->exec() != QDialog::Accepted)
        return;
    wizard_->restart();
    const int id = provider_->addRun(wizard_->run());
    refreshRuns();
    views_->selectById(RunsView, id);
}

void MainWindow::onEditRunDefButtonClicked()
{
    if (busy_ || !wizard_)
        return;
    const QList<int> ids = views_->selectedIds(RunsView);
    if (ids.isEmpty())
        return;
    const RunDefinition run = provider_->runDefinition(ids.first());
    if (run.id < 0)
        return;
    wizard_->setRun(run);
    wizard_->restart();
    wizard_->setMode(RunDefWizard::EditMode);
    if (wizard_->exec() != QDialog::Accepted)
        return;
    // The replaced run may come back under another id; the new one is selected.
    const int id = provider_->updateRun(wizard_->run());
    refreshRuns();
    views_->selectById(RunsView, id);
}

void MainWindow::onDeleteRunDefButtonClicked()
{
    if (busy_ || !views_)
        return;
    const QList<int> rows = views_->selectedRows(RunsView);
    if (rows.isEmpty())
        return;
    const QSqlRecord record = views_->record(RunsView, rows.first());
    const int id = record.value(QStringLiteral("id")).toInt();
    const QString name = record.value(QStringLiteral("name")).toString();
    if (!dialogs_->confirm(this, programName(), QStringLiteral("Delete \"%1\"?").arg(name)))
        return;
    // The store has logged the driver's text; the list is reloaded either way, since a failed
    // statement may have left part of the run deleted.
    if (!provider_->deleteRun(id))
        log(QStringLiteral("Unable to delete run \"%1\".").arg(name), 1);
    refreshRuns();
}

// ---------------------------------------------------------------------------------------------
// About, updater, log window, window state

void MainWindow::onActionAbout()
{
    InfoDialog dialog;
    dialog.setProgramName(programName());
    dialog.setVersion(Settings::instance().fixedValue(Settings::Version).toString());
    dialog.exec();
}

void MainWindow::startUpdater(const QStringList& arguments)
{
    if (updater_)
        return;
    updater_ = new QProcess(this);
    connect(updater_, &QProcess::finished, this, &MainWindow::onSysProcComplete);
    // A program that cannot start reports no end; it must not block later checks.
    connect(updater_, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            onSysProcComplete(-1, QProcess::CrashExit);
    });
    if (updaterStart())
        updaterStart()(updater_, updaterPath(), arguments);
    else
        updater_->start(updaterPath(), arguments);
}

void MainWindow::onCheckForUpdates()
{
    startUpdater({QStringLiteral("/checknow")});
}

void MainWindow::onSysProcComplete(int, QProcess::ExitStatus)
{
    if (!updater_)
        return;
    updater_->disconnect(this);
    updater_->deleteLater();
    updater_ = nullptr;
}

void MainWindow::onShowLogWindowActionTriggered()
{
    logWindow_->show();
    logWindow_->raise();
    logWindow_->activateWindow();
}

void MainWindow::restoreWindowState()
{
    // Until the user has moved them, the lists to choose from get the larger part.
    ui_->releasesSplitter_->setSizes({2, 1});
    ui_->sitesSplitter_->setSizes({2, 1});
    QSettings& settings = layoutSettings();
    // The form's own size is too small for the tables; a saved size still wins.
    if (const QScreen* shown = screen())
        resize(defaultSize(shown->availableGeometry().size()));
    restoreGeometry(settings.value(QStringLiteral("MainWindow/geometry")).toByteArray());
    ui_->dataSplitter_->restoreState(
        settings.value(QStringLiteral("MainWindow/dataSplitter")).toByteArray());
    ui_->releasesSplitter_->restoreState(
        settings.value(QStringLiteral("MainWindow/releasesSplitter")).toByteArray());
    ui_->sitesSplitter_->restoreState(
        settings.value(QStringLiteral("MainWindow/sitesSplitter")).toByteArray());
}

QSize MainWindow::defaultSize(const QSize& available)
{
    // Leaves room for the frame and the title bar that the free area does not count.
    const QSize wanted(1120, 720);
    const QSize frame(16, 40);
    return wanted.boundedTo(available - frame).expandedTo(QSize(400, 300));
}

void MainWindow::saveWindowState()
{
    QSettings& settings = layoutSettings();
    settings.setValue(QStringLiteral("MainWindow/geometry"), saveGeometry());
    settings.setValue(QStringLiteral("MainWindow/dataSplitter"), ui_->dataSplitter_->saveState());
    settings.setValue(QStringLiteral("MainWindow/releasesSplitter"),
                      ui_->releasesSplitter_->saveState());
    settings.setValue(QStringLiteral("MainWindow/sitesSplitter"), ui_->sitesSplitter_->saveState());
    settings.sync();
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    saveWindowState();
    if (busy_)
        onProcessingCanceled();
    logWindow_->close();
    event->accept();
}

} // namespace kd
