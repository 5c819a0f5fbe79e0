#include "app/Settings.h"
#include "simulation/SimulationRunner.h"
#include "store/DataProvider.h"
#include "ui/Dialogs.h"
#include "ui/LogWindow.h"
#include "ui/MainWindow.h"
#include "ui/QueryViewManager.h"
#include "ui/RunDefWizard.h"
#include "ui/ViewKind.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QLabel>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QSemaphore>
#include <QSplitter>
#include <QSqlQuery>
#include <QSqlQueryModel>
#include <QSqlRecord>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QTimer>
#include <QtTest>

#include <cstdio>
#include <functional>
#include <memory>

using namespace kd;

namespace {

// Answers the window's questions as the test has planned them, and records what was asked.
struct DialogScript
{
    QStringList criticals;
    QStringList questions;
    QList<bool> answers;
    QStringList folders;
    QStringList saveNames;
};

class ScriptedDialogs : public Dialogs
{
public:
    explicit ScriptedDialogs(std::shared_ptr<DialogScript> script) : script_(std::move(script)) {}

    void critical(QWidget*, const QString&, const QString& text) override
    {
        script_->criticals.append(text);
    }
    bool confirm(QWidget*, const QString&, const QString& text) override
    {
        script_->questions.append(text);
        return !script_->answers.isEmpty() && script_->answers.takeFirst();
    }
    QString existingDirectory(QWidget*, const QString&, const QString&) override
    {
        return script_->folders.isEmpty() ? QString() : script_->folders.takeFirst();
    }
    QString saveFileName(QWidget*, const QString&, const QString&, const QString&) override
    {
        return script_->saveNames.isEmpty() ? QString() : script_->saveNames.takeFirst();
    }

private:
    std::shared_ptr<DialogScript> script_;
};

void writeFile(const QString& path, const QString& text)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text.toUtf8());
}

QString readFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("<missing %1>").arg(path);
    return QString::fromUtf8(file.readAll());
}

const char* const TagsHeader =
    "tag_code,tagger_name_xlat,bucket,lot,species_code_xlat,length,weight,pit_code,fish_tag_date,"
    "tag_activate_date,tag_release_date,release_location,release_location_xlat,"
    "release_location_river_kilometer,release_location_latitude,release_location_longitude,"
    "mort_xlat,pri\n";

// Two release locations, four arrays (A1 has two nodes), a removal and events of a tag that is
// not in the study. One detection lies in the hour that daylight saving skips in Europe.
void writeStudy(const QString& dir)
{
    const QString north = QStringLiteral(
        "ann,2,7,CHN,150.5,30,P,,2023-04-01 08:00:00,2023-04-02 09:00:00,NORTH,North bank,500,45,"
        "-122,0,\n");
    const QString south = QStringLiteral(
        ",cy,1,9,CHN,%1,%2,P,,2023-03-19 08:00:00,2023-03-20 09:00:00,SOUTH,South bank,420,44,"
        "-122,0,\n");
    writeFile(dir + "/tags.csv",
              QString::fromLatin1(TagsHeader) + "T1," + north + "T2," + north + "T3," + north +
                  "T4,bob,3,8,STH,212,95.25,P,,2023-04-01 08:00:00,2023-04-02 09:00:00,NORTH,"
                  "North bank,500,45,-122,0,\n" +
                  "T5" + south.arg("98", "12") + "T6" + south.arg("101.75", "12.5") +
                  "BAD,a line,with too few fields\n");
    writeFile(dir + "/receivers/nodes.csv",
              "node_code,latitude,longitude,river_kilometer,location,location_xlat,deploy_date,"
              "recovery_date,elev_or_depth\n"
              "N1a,45,-122,450,A1,A1a,2023-03-01 00:00:00,2023-09-01 00:00:00,3\n"
              "N1b,45,-122,450,A1,A1b,2023-03-01 00:00:00,2023-09-01 00:00:00,3\n"
              "N2,45,-122,400,A2,A2a,2023-03-01 00:00:00,2023-09-01 00:00:00,3\n"
              "N3,45,-122,300,A3,A3a,2023-03-01 00:00:00,2023-09-01 00:00:00,3\n"
              "N4,45,-122,200,A4,A4a,2023-03-01 00:00:00,2023-09-01 00:00:00,3\n");
    writeFile(dir + "/events.csv",
              "node_code,tag_code,first_computed_datetime,last_computed_datetime,hits\n"
              "N1a,T1,2023-05-01 10:00:00,2023-05-01 10:05:00,4\n"
              "N1b,T1,2023-05-01 09:58:00,2023-05-01 10:02:00,1\n"
              "N2,T1,2023-05-02 08:00:00,2023-05-02 08:30:00,6\n"
              "N3,T1,2023-05-03 12:00:00,2023-05-03 12:10:00,3\n"
              "N1b,T2,2023-05-01 00:00:00,2023-05-10 00:00:00,40\n"
              "N2,T2,2023-05-03 00:00:00,2023-05-04 00:00:00,9\n"
              "N4,T2,2023-05-12 00:00:00,2023-05-12 01:00:00,2\n"
              "N1a,T4,2023-05-01 06:00:00,2023-05-01 06:10:00,2\n"
              "N2,T4,2023-05-02 06:00:00,2023-05-02 06:10:00,2\n"
              "N3,T4,2023-05-03 06:00:00,2023-05-03 06:10:00,2\n"
              "N3,T5,2023-05-05 10:00:00,2023-05-05 10:01:00,2\n"
              "N4,T5,2023-05-06 10:00:00,2023-05-06 10:01:00,2\n"
              "N3,T6,2023-03-26 02:30:00,2023-03-26 02:45:00,5\n"
              "N2,X9,2023-05-01 00:00:00,2023-05-01 00:01:00,1\n");
    writeFile(dir + "/removals.csv", "tag_code,removal_date,removal_river_km,removal_type\n"
                                     "T4,2023-05-02 12:00:00,350,harvest\n");
    writeFile(dir + "/notes.csv", "site,comment\nA1,flooded\n");
}

// North (NORTH Chinook) and SOUTH CHN at the four sites, Standard layout. T2's window at A2
// lies inside its window at A1, which ends its history at A2; T3 was never seen.
const char* const SpringStandard =
    "release_name,lot,tag_code,tag_activate_date,tag_release_date,tagger_name_xlat,bucket,length,"
    "weight,A1,A2,A3,A4,A1_first,A1_last,A2_first,A2_last,A3_first,A3_last,A4_first,A4_last\n"
    "North,7,T1,2023-04-01 08:00:00,2023-04-02 09:00:00,ann,2,150.5,30,1,1,1,0,"
    "2023-05-01 09:58:00,2023-05-01 10:05:00,2023-05-02 08:00:00,2023-05-02 08:30:00,"
    "2023-05-03 12:00:00,2023-05-03 12:10:00,,\n"
    "North,7,T2,2023-04-01 08:00:00,2023-04-02 09:00:00,ann,2,150.5,30,1,2,0,0,"
    "2023-05-01 00:00:00,2023-05-10 00:00:00,2023-05-03 00:00:00,2023-05-04 00:00:00,,,,\n"
    "North,7,T3,2023-04-01 08:00:00,2023-04-02 09:00:00,ann,2,150.5,30,0,0,0,0,,,,,,,,\n"
    "SOUTH CHN,9,T5,2023-03-19 08:00:00,2023-03-20 09:00:00,cy,1,98,12,0,0,1,1,,,,,"
    "2023-05-05 10:00:00,2023-05-05 10:01:00,2023-05-06 10:00:00,2023-05-06 10:01:00\n"
    "SOUTH CHN,9,T6,2023-03-19 08:00:00,2023-03-20 09:00:00,cy,1,101.75,12.5,0,0,1,0,,,,,"
    "2023-03-26 02:30:00,2023-03-26 02:45:00,,";

// NORTH STH at A1 to A3, KAVEL layout: T4 was removed at km 350, so its history ends at A2.
const char* const FallKavel =
    "NORTH STH,8,T4,2023-04-01 08:00:00,2023-04-02 09:00:00,A1,1,2023-05-01 06:00:00\n"
    "NORTH STH,8,T4,2023-04-01 08:00:00,2023-04-02 09:00:00,A2,2,2023-05-02 06:00:00\n"
    "NORTH STH,8,T4,2023-04-01 08:00:00,2023-04-02 09:00:00,A3,0,";

// Runs an action on the next modal widget of type W once it is shown.
template <typename W>
void onModal(std::function<void(W*)> action)
{
    auto* timer = new QTimer(qApp);
    timer->setInterval(5);
    const QDeadlineTimer deadline(20000);
    QObject::connect(timer, &QTimer::timeout, [timer, action, deadline] {
        auto* widget = qobject_cast<W*>(QApplication::activeModalWidget());
        if (!widget && !deadline.hasExpired())
            return;
        timer->stop();
        timer->deleteLater();
        if (widget)
            action(widget);
    });
    timer->start();
}

struct WizardScript
{
    QString name;    // null: leave the field
    int format = -1; // -1: leave the combo box
    QStringList releases;
    QStringList sites;
    bool accept = true;
    // Filled by the script.
    bool shown = false;
    QString title;
    QString summary;
    bool finishEnabled = false;
};

// Clicks the rows whose column 1 reads the given texts, in that order.
void clickNamedRows(QTableView* view, const QStringList& names)
{
    for (const QString& name : names) {
        for (int row = 0; row < view->model()->rowCount(); ++row) {
            const QModelIndex index = view->model()->index(row, 1);
            if (index.data().toString() == name) {
                QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                                  view->visualRect(index).center());
                break;
            }
        }
    }
}

void driveWizard(WizardScript* script)
{
    onModal<RunDefWizard>([script](RunDefWizard* wizard) {
        script->shown = true;
        script->title = wizard->windowTitle();
        if (!script->name.isNull())
            wizard->findChild<QLineEdit*>("runNameLineEdit_")->setText(script->name);
        if (script->format >= 0)
            wizard->findChild<QComboBox*>("outputTypeComboBox_")->setCurrentIndex(script->format);
        wizard->next();
        QCoreApplication::processEvents();
        if (!script->releases.isEmpty()) {
            wizard->releasesView()->clearSelection();
            clickNamedRows(wizard->releasesView(), script->releases);
        }
        wizard->next();
        QCoreApplication::processEvents();
        if (!script->sites.isEmpty()) {
            wizard->sitesView()->clearSelection();
            clickNamedRows(wizard->sitesView(), script->sites);
        }
        wizard->next();
        script->summary = wizard->findChild<QTextEdit*>("summaryTextEdit_")->toPlainText();
        QAbstractButton* finish = wizard->button(QWizard::FinishButton);
        script->finishEnabled = finish->isEnabled();
        if (script->accept && script->finishEnabled)
            finish->click();
        else
            wizard->reject();
    });
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void startsWithoutDatabase();
    void desktopRoad();
    void twoRunsInOneGo();
    void cancelDuringLoad();
    void cancelDuringRunStopsLaterRuns();
    void runValidation_data();
    void runValidation();
    void builderValidation_data();
    void builderValidation();
    void editAndDeleteNeedOneRun();
    void clearAll();
    void switchingDataFolders();
    void aboutShowsVersion();
    void updaterStartsOnce();
    void remembersLayoutAndSavesLog();
    void sameFileAsConsole();

private:
    std::unique_ptr<MainWindow> makeWindow();
    template <typename T>
    T* child(const char* name) const
    {
        T* found = window_->findChild<T*>(QString::fromLatin1(name));
        if (!found)
            qWarning("no child %s", name);
        return found;
    }
    QStringList logLines() const;
    void load();
    void waitForSequence();
    void showTab(int index);
    void selectRows(QTableView* view, const QList<int>& rows);
    int rowWhere(QTableView* view, const QMap<QString, QVariant>& values) const;
    QStringList column(QTableView* view, int column) const;
    void buildDefinitions();
    void defineRun(const QString& name, int format, const QStringList& releases,
                   const QStringList& sites);
    void selectRuns(const QStringList& names);
    void clickRun();

    std::unique_ptr<QTemporaryDir> dir_;
    QString dataDir_;
    QString outDir_;
    std::shared_ptr<DialogScript> dialogs_;
    std::unique_ptr<MainWindow> window_;
};

void TestMainWindow::init()
{
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    dataDir_ = dir_->filePath("study");
    outDir_ = dir_->filePath("out");
    writeStudy(dataDir_);
    QVERIFY(QDir().mkpath(outDir_));
    Settings::instance().setValue(Settings::DataDir, dataDir_);
    Settings::instance().setValue(Settings::OutDir, outDir_);
    dialogs_ = std::make_shared<DialogScript>();
}

void TestMainWindow::cleanup()
{
    window_.reset();
    dir_.reset();
}

std::unique_ptr<MainWindow> TestMainWindow::makeWindow()
{
    auto window = std::make_unique<MainWindow>();
    window->setDialogs(std::make_unique<ScriptedDialogs>(dialogs_));
    window->show();
    if (!QTest::qWaitForWindowExposed(window.get()))
        qWarning("window not exposed");
    return window;
}

QStringList TestMainWindow::logLines() const
{
    return child<QTextEdit>("loggingTextEdit_")->toPlainText().split('\n');
}

void TestMainWindow::waitForSequence()
{
    QTRY_VERIFY_WITH_TIMEOUT(!window_->isBusy(), 60000);
}

void TestMainWindow::load()
{
    QSignalSpy finished(window_.get(), &MainWindow::sequenceFinished);
    child<QPushButton>("loadDataButton_")->click();
    QVERIFY(window_->isBusy());
    QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 60000);
    QVERIFY(!window_->isBusy());
}

void TestMainWindow::showTab(int index)
{
    child<QTabWidget>("tabWidget")->setCurrentIndex(index);
    QCoreApplication::processEvents();
}

void TestMainWindow::selectRows(QTableView* view, const QList<int>& rows)
{
    view->clearSelection();
    for (int i = 0; i < rows.size(); ++i) {
        const QRect rect = view->visualRect(view->model()->index(rows[i], 1));
        QVERIFY2(rect.isValid(), "row not visible");
        QTest::mouseClick(view->viewport(), Qt::LeftButton,
                          i == 0 ? Qt::NoModifier : Qt::ControlModifier, rect.center());
    }
}

int TestMainWindow::rowWhere(QTableView* view, const QMap<QString, QVariant>& values) const
{
    auto* model = qobject_cast<QSqlQueryModel*>(view->model());
    for (int row = 0; row < model->rowCount(); ++row) {
        const QSqlRecord record = model->record(row);
        bool match = true;
        for (auto it = values.cbegin(); it != values.cend(); ++it)
            match = match && record.value(it.key()).toString() == it.value().toString();
        if (match)
            return row;
    }
    return -1;
}

QStringList TestMainWindow::column(QTableView* view, int column) const
{
    QStringList texts;
    for (int row = 0; row < view->model()->rowCount(); ++row)
        texts.append(view->model()->index(row, column).data().toString());
    return texts;
}

// Releases North (NORTH Chinook), NORTH STH, SOUTH CHN and sites A1 to A4, as a user builds
// them: a single create with the suggestion, bulk adds, and a create that is deleted again.
void TestMainWindow::buildDefinitions()
{
    auto* groups = child<QTableView>("releaseGroupsTableView_");
    auto* releases = child<QTableView>("definedReleasesTableView_");
    auto* name = child<QLineEdit>("releaseNameLineEdit_");
    auto* km = child<QLineEdit>("releaseKmLineEdit_");
    showTab(1);
    QCOMPARE(groups->model()->rowCount(), 3);
    const int northChinook =
        rowWhere(groups, {{"release_location", "NORTH"}, {"species_code_xlat", "CHN"}});
    const int northSteelhead =
        rowWhere(groups, {{"release_location", "NORTH"}, {"species_code_xlat", "STH"}});
    const int southChinook = rowWhere(groups, {{"release_location", "SOUTH"}});
    selectRows(groups, {northChinook});
    QCOMPARE(name->text(), QStringLiteral("NORTH"));
    QCOMPARE(km->text(), QStringLiteral("500"));
    name->setText("North");
    child<QPushButton>("createReleaseButton_")->click();
    QCOMPARE(column(releases, 1), QStringList({"North"}));

    selectRows(groups, {northSteelhead, southChinook});
    QCOMPARE(name->text(), QStringLiteral("NORTH-SOUTH"));
    QCOMPARE(km->text(), QStringLiteral("420"));
    child<QPushButton>("bulkAddReleasesButton_")->click();
    QCOMPARE(releases->model()->rowCount(), 3);

    selectRows(groups, {southChinook});
    name->setText("Extra");
    child<QPushButton>("createReleaseButton_")->click();
    QCOMPARE(releases->model()->rowCount(), 4);
    selectRows(releases, {rowWhere(releases, {{"name", "Extra"}})});
    child<QPushButton>("deleteReleasesButton_")->click();
    QStringList names = column(releases, 1);
    names.sort();
    QCOMPARE(names, QStringList({"NORTH STH", "North", "SOUTH CHN"}));
    QVERIFY(window_->viewManager()->selectedIds(ReleasesView).isEmpty());

    auto* arrays = child<QTableView>("arraysTableView_");
    auto* sites = child<QTableView>("definedSitesTableView_");
    showTab(2);
    QCOMPARE(column(arrays, 1), QStringList({"A1", "A2", "A3", "A4"}));
    QCOMPARE(column(arrays, 4), QStringList({"2", "1", "1", "1"}));
    selectRows(arrays, {0});
    QCOMPARE(child<QLineEdit>("siteNameLineEdit_")->text(), QStringLiteral("A1"));
    QCOMPARE(child<QLineEdit>("siteRiverKmLineEdit_")->text(), QStringLiteral("450"));
    child<QPushButton>("createArrayButton_")->click();
    selectRows(arrays, {1, 2, 3});
    child<QPushButton>("bulkAddArrayButton_")->click();
    selectRows(arrays, {1, 3});
    QCOMPARE(child<QLineEdit>("siteNameLineEdit_")->text(), QStringLiteral("A2-A4"));
    QCOMPARE(child<QLineEdit>("siteRiverKmLineEdit_")->text(), QStringLiteral("200"));
    child<QPushButton>("createArrayButton_")->click();
    QCOMPARE(column(sites, 2), QStringList({"450", "400", "300", "200", "200"}));
    selectRows(sites, {rowWhere(sites, {{"name", "A2-A4"}})});
    child<QPushButton>("deleteSitesButton_")->click();
    QCOMPARE(column(sites, 1), QStringList({"A1", "A2", "A3", "A4"}));
    QVERIFY(dialogs_->criticals.isEmpty());
    showTab(0);
}

void TestMainWindow::defineRun(const QString& name, int format, const QStringList& releases,
                               const QStringList& sites)
{
    if (QTest::currentTestFailed())
        return;
    WizardScript script;
    script.name = name;
    script.format = format;
    script.releases = releases;
    script.sites = sites;
    driveWizard(&script);
    child<QPushButton>("addRunDefButton_")->click();
    QVERIFY(script.shown);
    QCOMPARE(script.title, QStringLiteral("Add Run Definition"));
    QVERIFY2(script.finishEnabled, qPrintable(script.summary));
}

void TestMainWindow::selectRuns(const QStringList& names)
{
    auto* runs = child<QTableView>("runTableView_");
    QList<int> rows;
    for (const QString& name : names)
        rows.append(rowWhere(runs, {{"name", name}}));
    selectRows(runs, rows);
}

void TestMainWindow::clickRun()
{
    child<QAction>("runAction_")->trigger();
}

void TestMainWindow::startsWithoutDatabase()
{
    window_ = makeWindow();
    QVERIFY(!QFile::exists(dataDir_ + "/keldar.db"));
    QCOMPARE(logLines(), QStringList({"Keldar", "------", "Initializing...", "Ready."}));
    auto* tabs = child<QTabWidget>("tabWidget");
    QCOMPARE(tabs->currentIndex(), 0);
    for (int tab = 1; tab < 4; ++tab)
        QVERIFY(!tabs->isTabEnabled(tab));
    QVERIFY(!child<QAction>("runAction_")->isEnabled());
    QVERIFY(!child<QPushButton>("addRunDefButton_")->isEnabled());
    QVERIFY(!child<QPushButton>("editRunDefButton_")->isEnabled());
    QCOMPARE(child<QLineEdit>("dataDirLineEdit_")->text(), dataDir_);
    QCOMPARE(child<QLineEdit>("outputDirLineEdit_")->text(), outDir_);

    // No data folder: nothing is loaded and no database lands in the working folder.
    Settings::instance().setValue(Settings::DataDir, QString());
    child<QPushButton>("loadDataButton_")->click();
    QCOMPARE(dialogs_->criticals, QStringList({"You must select a data directory."}));
    QVERIFY(!window_->isBusy());
}

void TestMainWindow::desktopRoad()
{
    Settings::instance().setValue(Settings::DataDir, QString());
    Settings::instance().setValue(Settings::OutDir, QString());
    window_ = makeWindow();
    dialogs_->folders = {dataDir_, outDir_};
    child<QPushButton>("dataDirBrowseButton_")->click();
    child<QPushButton>("outputDirBrowseButton_")->click();
    QCOMPARE(Settings::instance().value(Settings::DataDir).toString(), dataDir_);
    QCOMPARE(child<QLineEdit>("outputDirLineEdit_")->text(), outDir_);

    QSignalSpy progress(window_.get(), &MainWindow::progressShown);
    load();
    if (QTest::currentTestFailed())
        return;
    QVERIFY(window_->hasData());
    QVERIFY(child<QAction>("runAction_")->isEnabled());
    QVERIFY(child<QTabWidget>("tabWidget")->isTabEnabled(1));

    // The loader's and the store's messages arrive in the status log, in order.
    const QStringList lines = logLines();
    const QString text = lines.join('\n');
    const QStringList expected = {"Loading data...",
                                  "Processing tags...",
                                  "Loading " + dataDir_ + "/tags.csv...",
                                  "Loaded 7 rows.",
                                  "***Warning: 1 of 7 rows of " + dataDir_ +
                                      "/tags.csv were not stored",
                                  "Updating indices...",
                                  "Data loaded.",
                                  "Run complete."};
    qsizetype at = 0;
    for (const QString& line : expected) {
        const qsizetype found = lines.indexOf(line, at);
        QVERIFY2(found >= 0, qPrintable("missing or out of order: " + line + "\n" + text));
        at = found + 1;
    }
    QVERIFY(text.contains("***Warning: file doesn't match any model " + dataDir_ + "/notes.csv"));
    QCOMPARE(child<QTableView>("loadsTableView_")->model()->rowCount(), 4);

    // The progress dialog named the files and counted them.
    bool namedTags = false;
    int highest = -1;
    for (const QList<QVariant>& shown : std::as_const(progress)) {
        namedTags = namedTags || shown.at(1).toString().contains("tags.csv");
        highest = std::max(highest, shown.at(0).toInt());
    }
    QVERIFY(namedTags);
    QVERIFY(highest > 0 && highest <= 100);

    buildDefinitions();
    if (QTest::currentTestFailed())
        return;
    defineRun("Spring", 0, {"North", "SOUTH CHN"}, {"A1", "A2", "A3", "A4"});
    auto* runs = child<QTableView>("runTableView_");
    QCOMPARE(column(runs, 1), QStringList({"Spring"}));
    QCOMPARE(column(runs, 2), QStringList({"KAVEL"}));
    QCOMPARE(window_->viewManager()->selectedRows(RunsView), QList<int>({0}));
    QVERIFY(child<QPushButton>("editRunDefButton_")->isEnabled());

    // Edit: the wizard opens with the run's values; only the format changes.
    WizardScript edit;
    edit.format = 1;
    driveWizard(&edit);
    child<QPushButton>("editRunDefButton_")->click();
    QCOMPARE(edit.title, QStringLiteral("Edit Run Definition"));
    QVERIFY2(edit.summary.contains("Name:\nSpring\nFormat:\nStandard\nReleases:\n"),
             qPrintable(edit.summary));
    QCOMPARE(column(runs, 2), QStringList({"Standard"}));
    QCOMPARE(window_->viewManager()->selectedRows(RunsView), QList<int>({0}));

    progress.clear();
    QSignalSpy finished(window_.get(), &MainWindow::sequenceFinished);
    clickRun();
    QVERIFY(window_->isBusy());
    QVERIFY(!child<QPushButton>("loadDataButton_")->isEnabled());
    QVERIFY(!child<QAction>("runAction_")->isEnabled());
    QVERIFY(!child<QAction>("clearAllDataAction_")->isEnabled());
    QVERIFY(!child<QPushButton>("dataDirBrowseButton_")->isEnabled());
    QVERIFY(!child<QPushButton>("addRunDefButton_")->isEnabled());
    QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 60000);

    const QString output = outDir_ + "/Spring_Standard.csv";
    QCOMPARE(window_->outputPath(), output);
    QCOMPARE(readFile(output), QString::fromLatin1(SpringStandard));
    const QStringList runLog = logLines().mid(lines.size());
    QCOMPARE(runLog, QStringList({"Processing run Spring", "Querying data...", "Query complete.",
                                  "Found 10 rows", "Processing data...", "Processing events...",
                                  "Processing complete.", "Writing results to " + output + "...",
                                  "Wrote 6 rows.", "Run complete."}));
    QVERIFY(!progress.isEmpty());
    QCOMPARE(progress.last().at(0).toInt(), 100);
    QVERIFY(child<QAction>("runAction_")->isEnabled());
    QVERIFY(child<QPushButton>("loadDataButton_")->isEnabled());
    QVERIFY(dialogs_->criticals.isEmpty());
}

void TestMainWindow::twoRunsInOneGo()
{
    window_ = makeWindow();
    load();
    if (QTest::currentTestFailed())
        return;
    buildDefinitions();
    if (QTest::currentTestFailed())
        return;
    defineRun("Spring", 1, {"North", "SOUTH CHN"}, {"A1", "A2", "A3", "A4"});
    defineRun("Fall", 0, {"NORTH STH"}, {"A1", "A2", "A3"});
    selectRuns({"Fall", "Spring"});
    QVERIFY(!child<QPushButton>("editRunDefButton_")->isEnabled());
    const qsizetype before = logLines().size();
    clickRun();
    waitForSequence();

    QCOMPARE(readFile(outDir_ + "/Fall_KAVEL.csv"), QString::fromLatin1(FallKavel));
    QCOMPARE(readFile(outDir_ + "/Spring_Standard.csv"), QString::fromLatin1(SpringStandard));
    const QStringList lines = logLines().mid(before);
    const qsizetype fall = lines.indexOf("Processing run Fall");
    const qsizetype firstDone = lines.indexOf("Run complete.");
    const qsizetype spring = lines.indexOf("Processing run Spring");
    QVERIFY(fall == 0);
    QVERIFY(fall < firstDone && firstDone < spring);
    QCOMPARE(lines.indexOf("Wrote 3 rows."), firstDone - 1);
    QCOMPARE(lines.count("Run complete."), 2);
    QCOMPARE(lines.last(), QStringLiteral("Run complete."));
    QVERIFY(!lines.contains("Loading data..."));
}

void TestMainWindow::cancelDuringLoad()
{
    window_ = makeWindow();
    QSemaphore entered;
    QSemaphore gate;
    window_->setWorkerHook([&](ProcessingStep step) {
        if (step == LoadData) {
            entered.release();
            gate.acquire();
        }
    });
    child<QPushButton>("loadDataButton_")->click();
    QVERIFY(entered.tryAcquire(1, 10000));
    auto* progress = window_->findChild<QProgressDialog*>();
    QVERIFY(progress->isVisible());
    QCOMPARE(progress->labelText(), QStringLiteral("Loading data..."));

    progress->findChild<QPushButton*>()->click();
    QVERIFY(!progress->isVisible());
    QCOMPARE(logLines().last(), QStringLiteral("Run canceled."));
    // The worker still runs: nothing that starts another sequence may be enabled.
    for (int i = 0; i < 20; ++i)
        QCoreApplication::processEvents();
    QVERIFY(window_->isBusy());
    QVERIFY(!child<QPushButton>("loadDataButton_")->isEnabled());
    QVERIFY(!child<QPushButton>("dataDirBrowseButton_")->isEnabled());
    QVERIFY(!child<QAction>("clearAllDataAction_")->isEnabled());

    window_->setWorkerHook({});
    gate.release();
    waitForSequence();
    QVERIFY(child<QPushButton>("loadDataButton_")->isEnabled());
    QCOMPARE(logLines().count("Run canceled."), 1);
    QVERIFY(!logLines().contains("Data loaded."));
    // The canceled load left nothing behind.
    QVERIFY(!window_->hasData());
    QVERIFY(!child<QTabWidget>("tabWidget")->isTabEnabled(1));

    // The next load starts afresh.
    load();
    if (QTest::currentTestFailed())
        return;
    QVERIFY(window_->hasData());
    QCOMPARE(logLines().last(), QStringLiteral("Run complete."));
    QVERIFY(logLines().contains("Data loaded."));
    QCOMPARE(child<QTableView>("arraysTableView_")->model()->rowCount(), 4);
}

void TestMainWindow::cancelDuringRunStopsLaterRuns()
{
    window_ = makeWindow();
    load();
    if (QTest::currentTestFailed())
        return;
    buildDefinitions();
    if (QTest::currentTestFailed())
        return;
    defineRun("Spring", 1, {"North", "SOUTH CHN"}, {"A1", "A2", "A3", "A4"});
    defineRun("Fall", 0, {"NORTH STH"}, {"A1", "A2", "A3"});

    QSemaphore entered;
    QSemaphore gate;
    window_->setWorkerHook([&](ProcessingStep step) {
        if (step == QueryData) {
            entered.release();
            gate.acquire();
        }
    });
    selectRuns({"Spring", "Fall"});
    clickRun();
    QVERIFY(entered.tryAcquire(1, 10000));
    window_->findChild<QProgressDialog*>()->findChild<QPushButton*>()->click();
    QVERIFY(window_->isBusy());
    QVERIFY(!child<QAction>("runAction_")->isEnabled());
    window_->setWorkerHook({});
    gate.release();
    waitForSequence();

    QVERIFY(!QFile::exists(outDir_ + "/Spring_Standard.csv"));
    QVERIFY(!QFile::exists(outDir_ + "/Fall_KAVEL.csv"));
    QVERIFY(!logLines().contains("Processing run Fall"));
    QVERIFY(logLines().lastIndexOf("Run complete.") < logLines().indexOf("Processing run Spring"));
    QCOMPARE(logLines().last(), QStringLiteral("Run canceled."));

    // After a cancel the next run goes through.
    selectRuns({"Fall"});
    clickRun();
    waitForSequence();
    QCOMPARE(readFile(outDir_ + "/Fall_KAVEL.csv"), QString::fromLatin1(FallKavel));
    QCOMPARE(logLines().last(), QStringLiteral("Run complete."));
}

void TestMainWindow::runValidation_data()
{
    QTest::addColumn<QString>("outDir");
    QTest::addColumn<bool>("selectRun");
    QTest::addColumn<QString>("message");
    QTest::newRow("no output folder") << "" << true << "You must select an output directory.";
    QTest::newRow("missing output folder")
        << "missing" << true << "Output directory doesn't exist.";
    QTest::newRow("no run selected") << "out" << false << "You must select at least one run.";
}

void TestMainWindow::runValidation()
{
    QFETCH(QString, outDir);
    QFETCH(bool, selectRun);
    QFETCH(QString, message);
    window_ = makeWindow();
    load();
    if (QTest::currentTestFailed())
        return;
    buildDefinitions();
    if (QTest::currentTestFailed())
        return;
    defineRun("Spring", 1, {"North"}, {"A1", "A2"});
    Settings::instance().setValue(Settings::OutDir,
                                  outDir.isEmpty() ? QString() : dir_->filePath(outDir));
    if (!selectRun)
        child<QTableView>("runTableView_")->clearSelection();
    const QStringList before = logLines();
    clickRun();
    QCOMPARE(dialogs_->criticals, QStringList({message}));
    QVERIFY(!window_->isBusy());
    QCOMPARE(logLines(), before);
    QCOMPARE(QDir(outDir_).entryList(QDir::Files), QStringList());
}

void TestMainWindow::builderValidation_data()
{
    QTest::addColumn<bool>("sites");
    QTest::addColumn<bool>("select");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("km");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("nameRed");
    QTest::addColumn<bool>("kmRed");

    QTest::newRow("release: nothing selected") << false << false << "R"
                                               << "5"
                                               << "No release groups selected." << false << false;
    QTest::newRow("release: no name") << false << true << ""
                                      << "5"
                                      << "No name given for release" << true << false;
    QTest::newRow("release: no km") << false << true << "R"
                                    << ""
                                    << "No river kilometer given for release" << false << true;
    QTest::newRow("release: fractional km")
        << false << true << "R"
        << "12.5"
        << "The river kilometer of a release must be a whole number, not \"12.5\"." << false
        << true;
    QTest::newRow("release: created") << false << true << "R"
                                      << "12"
                                      << "" << false << false;
    QTest::newRow("site: nothing selected") << true << false << "S"
                                            << "5"
                                            << "No arrays selected." << false << false;
    QTest::newRow("site: no name") << true << true << ""
                                   << "5"
                                   << "No name given for site" << true << false;
    QTest::newRow("site: no km") << true << true << "S"
                                 << ""
                                 << "No river kilometer given for site" << false << true;
    QTest::newRow("site: created") << true << true << "S"
                                   << "7"
                                   << "" << false << false;
}

void TestMainWindow::builderValidation()
{
    QFETCH(bool, sites);
    QFETCH(bool, select);
    QFETCH(QString, name);
    QFETCH(QString, km);
    QFETCH(QString, message);
    QFETCH(bool, nameRed);
    QFETCH(bool, kmRed);
    window_ = makeWindow();
    load();
    if (QTest::currentTestFailed())
        return;
    showTab(sites ? 2 : 1);
    auto* available = child<QTableView>(sites ? "arraysTableView_" : "releaseGroupsTableView_");
    auto* defined =
        child<QTableView>(sites ? "definedSitesTableView_" : "definedReleasesTableView_");
    auto* nameEdit = child<QLineEdit>(sites ? "siteNameLineEdit_" : "releaseNameLineEdit_");
    auto* kmEdit = child<QLineEdit>(sites ? "siteRiverKmLineEdit_" : "releaseKmLineEdit_");
    auto* create = child<QPushButton>(sites ? "createArrayButton_" : "createReleaseButton_");

    // A field left red by an earlier attempt turns plain once it is valid.
    nameEdit->setStyleSheet("border: 1px solid red");
    kmEdit->setStyleSheet("border: 1px solid red");
    if (select)
        selectRows(available, {0});
    nameEdit->setText(name);
    kmEdit->setText(km);
    create->click();

    QCOMPARE(dialogs_->criticals, message.isEmpty() ? QStringList() : QStringList({message}));
    QCOMPARE(defined->model()->rowCount(), message.isEmpty() ? 1 : 0);
    if (select) {
        QCOMPARE(nameEdit->styleSheet().contains("red"), nameRed);
        if (!nameRed)
            QCOMPARE(kmEdit->styleSheet().contains("red"), kmRed);
    }
    if (message.isEmpty()) {
        QCOMPARE(defined->model()->index(0, 1).data().toString(), name);
        QCOMPARE(defined->model()->index(0, 2).data().toInt(), km.toInt());
        // The wizard's list follows.
        QCOMPARE(window_->wizard()
                     ->findChild<QTableView*>(sites ? "definedSitesTableView_"
                                                    : "definedReleasesTableView_")
                     ->model()
                     ->rowCount(),
                 1);
    }
}

void TestMainWindow::editAndDeleteNeedOneRun()
{
    window_ = makeWindow();
    load();
    if (QTest::currentTestFailed())
        return;
    buildDefinitions();
    if (QTest::currentTestFailed())
        return;
    defineRun("Spring", 1, {"North"}, {"A1", "A2"});
    defineRun("Fall", 0, {"NORTH STH"}, {"A1", "A2", "A3"});
    auto* edit = child<QPushButton>("editRunDefButton_");
    auto* remove = child<QPushButton>("deleteRunButton_");
    selectRuns({"Spring", "Fall"});
    QVERIFY(!edit->isEnabled());
    QVERIFY(!remove->isEnabled());
    selectRuns({"Fall"});
    QVERIFY(edit->isEnabled());
    QVERIFY(remove->isEnabled());

    // A canceled edit changes nothing.
    WizardScript canceled;
    canceled.name = "Renamed";
    canceled.accept = false;
    driveWizard(&canceled);
    edit->click();
    QVERIFY(canceled.shown);
    auto* runs = child<QTableView>("runTableView_");
    QCOMPARE(column(runs, 1), QStringList({"Spring", "Fall"}));

    dialogs_->answers = {false};
    remove->click();
    QCOMPARE(dialogs_->questions, QStringList({"Delete \"Fall\"?"}));
    QCOMPARE(runs->model()->rowCount(), 2);
    dialogs_->answers = {true};
    remove->click();
    QCOMPARE(column(runs, 1), QStringList({"Spring"}));
    QVERIFY(!edit->isEnabled());

    // A failure of the store shows in the status log.
    selectRuns({"Spring"});
    QSqlQuery drop;
    QVERIFY(drop.exec("DROP TABLE runs_sites"));
    dialogs_->answers = {true};
    remove->click();
    QVERIFY2(logLines().last().contains("runs_sites"), qPrintable(logLines().last()));
}

void TestMainWindow::clearAll()
{
    window_ = makeWindow();
    load();
    if (QTest::currentTestFailed())
        return;
    buildDefinitions();
    if (QTest::currentTestFailed())
        return;
    auto* groups = child<QTableView>("releaseGroupsTableView_");
    const qsizetype before = logLines().size();
    dialogs_->answers = {false};
    child<QAction>("clearAllDataAction_")->trigger();
    QCOMPARE(dialogs_->questions, QStringList({"This will clear all data. Continue?"}));
    QCOMPARE(groups->model()->rowCount(), 3);
    QCOMPARE(logLines().size(), before);

    dialogs_->answers = {true};
    child<QAction>("clearAllDataAction_")->trigger();
    QCOMPARE(logLines().mid(before), QStringList({"Clearing data...", "done."}));
    for (const char* name :
         {"releaseGroupsTableView_", "arraysTableView_", "definedReleasesTableView_",
          "definedSitesTableView_", "loadsTableView_", "runTableView_"})
        QCOMPARE(child<QTableView>(name)->model()->rowCount(), 0);
    QVERIFY(!child<QAction>("runAction_")->isEnabled());
    QVERIFY(!child<QTabWidget>("tabWidget")->isTabEnabled(1));
}

void TestMainWindow::switchingDataFolders()
{
    window_ = makeWindow();
    load();
    if (QTest::currentTestFailed())
        return;
    const QString other = dir_->filePath("other");
    QVERIFY(QDir().mkpath(other));

    dialogs_->folders = {other};
    child<QPushButton>("dataDirBrowseButton_")->click();
    QVERIFY(QFile::exists(other + "/keldar.db"));
    QCOMPARE(child<QLineEdit>("dataDirLineEdit_")->text(), other);
    QCOMPARE(child<QTableView>("arraysTableView_")->model()->rowCount(), 0);
    QVERIFY(!window_->hasData());
    QVERIFY(!child<QAction>("runAction_")->isEnabled());

    dialogs_->folders = {dataDir_};
    child<QPushButton>("dataDirBrowseButton_")->click();
    QCOMPARE(child<QTableView>("arraysTableView_")->model()->rowCount(), 4);
    QVERIFY(window_->hasData());
    QVERIFY(child<QTabWidget>("tabWidget")->isTabEnabled(1));

    // The folder in use again, or a canceled chooser, changes nothing.
    const qsizetype before = logLines().size();
    dialogs_->folders = {dataDir_, QString()};
    child<QPushButton>("dataDirBrowseButton_")->click();
    child<QPushButton>("dataDirBrowseButton_")->click();
    QCOMPARE(logLines().size(), before);
    QCOMPARE(Settings::instance().value(Settings::DataDir).toString(), dataDir_);
}

void TestMainWindow::aboutShowsVersion()
{
    window_ = makeWindow();
    QString program;
    QString version;
    onModal<QDialog>([&](QDialog* dialog) {
        program = dialog->findChild<QLabel*>("programNameLabel_")->text();
        version = dialog->findChild<QLabel*>("versionLabel_")->text();
        dialog->findChild<QPushButton*>("okButton_")->click();
    });
    child<QAction>("actionAbout_")->trigger();
    QCOMPARE(program, QStringLiteral("Keldar"));
    QCOMPARE(version, QStringLiteral("v1.0.0"));
}

void TestMainWindow::updaterStartsOnce()
{
    // The updater is looked for in the working folder.
    struct WorkingFolder
    {
        QString previous = QDir::currentPath();
        ~WorkingFolder() { QDir::setCurrent(previous); }
    } workingFolder;
    const QString plain = dir_->filePath("plain");
    QVERIFY(QDir().mkpath(plain));
    QVERIFY(QDir::setCurrent(plain));
    window_ = makeWindow();
    QVERIFY(!child<QAction>("actionCheckForUpdates_")->isEnabled());
    QVERIFY(window_->updaterProcess() == nullptr);
    window_.reset();

    const QString withUpdater = dir_->filePath("updater");
    QVERIFY(QDir().mkpath(withUpdater));
    const QString calls = withUpdater + "/calls.txt";
    writeFile(withUpdater + "/updater.exe",
              QStringLiteral("#!/bin/sh\necho \"$@\" >> '%1'\n").arg(calls));
    QFile::setPermissions(withUpdater + "/updater.exe",
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QVERIFY(QDir::setCurrent(withUpdater));
    window_ = makeWindow();
    QVERIFY(child<QAction>("actionCheckForUpdates_")->isEnabled());
    QTRY_VERIFY(window_->updaterProcess() == nullptr);
    QCOMPARE(readFile(calls), QStringLiteral("/silent\n"));

    // Two requests in quick succession start one updater.
    child<QAction>("actionCheckForUpdates_")->trigger();
    child<QAction>("actionCheckForUpdates_")->trigger();
    QVERIFY(window_->updaterProcess() != nullptr);
    QTRY_VERIFY(window_->updaterProcess() == nullptr);
    QCOMPARE(readFile(calls), QStringLiteral("/silent\n/checknow\n"));
}

void TestMainWindow::remembersLayoutAndSavesLog()
{
    window_ = makeWindow();
    window_->resize(731, 622);
    showTab(1);
    auto* splitter = child<QSplitter>("releasesSplitter_");
    splitter->setSizes({150, 350});
    const QList<int> sizes = splitter->sizes();
    window_->close();
    window_.reset();

    window_ = makeWindow();
    QCOMPARE(window_->size(), QSize(731, 622));
    showTab(1);
    QCOMPARE(child<QSplitter>("releasesSplitter_")->sizes(), sizes);

    // The log window repeats the status log and saves it.
    const QString path = dir_->filePath("log.txt");
    dialogs_->saveNames = {path};
    window_->logWindow()->findChild<QAction*>("actionSave_")->trigger();
    const QString saved = readFile(path);
    QVERIFY2(saved.startsWith("Keldar\n------\nInitializing...\nReady."), qPrintable(saved));
    child<QAction>("showLogWindowAction_")->trigger();
    QVERIFY(window_->logWindow()->isVisible());
    window_->log("<b>not bold</b>", 1);
    QCOMPARE(logLines().last(), QStringLiteral("<b>not bold</b>"));
    QVERIFY(child<QTextEdit>("loggingTextEdit_")->toHtml().contains("#ff0000"));
    QVERIFY(window_->logWindow()->plainText().endsWith("<b>not bold</b>"));
}

void TestMainWindow::sameFileAsConsole()
{
    // The console run of the example study writes all_sites of type kavel and standard.
    const QString simulation = dir_->filePath("simulation");
    const QDir example(KD_EXAMPLES_DIR "/study");
    QVERIFY(QDir().mkpath(simulation + "/results"));
    QVERIFY(QFile::copy(example.filePath("config.txt"), simulation + "/config.txt"));
    QDirIterator files(example.filePath("data"), QDir::Files, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QString file = files.next();
        const QString target = simulation + "/data/" + example.relativeFilePath(file).mid(5);
        QDir().mkpath(QFileInfo(target).path());
        QVERIFY(QFile::copy(file, target));
    }
    {
        std::FILE* out = std::tmpfile();
        std::FILE* err = std::tmpfile();
        QByteArray program("keldar");
        QByteArray folder = simulation.toLocal8Bit();
        char* argv[] = {program.data(), folder.data(), nullptr};
        SimulationRunner runner(2, argv, out, err);
        runner.run();
        std::fclose(out);
        std::fclose(err);
    }
    const QString consoleKavel = readFile(simulation + "/results/all_sites_kavel.csv");
    const QString consoleStandard = readFile(simulation + "/results/all_sites_standard.csv");
    if (consoleKavel.startsWith("<missing") || consoleStandard.startsWith("<missing"))
        QSKIP("The console does not write the kavel and standard runs of the example.");

    Settings::instance().setValue(Settings::DataDir, simulation + "/data");
    window_ = makeWindow();
    load();
    if (QTest::currentTestFailed())
        return;
    showTab(1);
    auto* groups = child<QTableView>("releaseGroupsTableView_");
    const struct
    {
        const char* name;
        const char* location;
        const char* species;
    } releases[] = {
        {"Canyon", "CANYON", "CHN"}, {"MillCreek", "MILLCK", "CHN"}, {"Ferry", "FERRY", "STH"}};
    for (const auto& release : releases) {
        const int row = rowWhere(groups, {{"release_location", release.location},
                                          {"species_code_xlat", release.species},
                                          {"tag_year", 2023}});
        QVERIFY(row >= 0);
        selectRows(groups, {row});
        child<QLineEdit>("releaseNameLineEdit_")->setText(release.name);
        child<QPushButton>("createReleaseButton_")->click();
    }
    showTab(2);
    auto* arrays = child<QTableView>("arraysTableView_");
    QList<int> rows;
    for (int row = 0; row < arrays->model()->rowCount(); ++row) {
        if (qobject_cast<QSqlQueryModel*>(arrays->model())->record(row).value("deploy_year") ==
            2023)
            rows.append(row);
    }
    QCOMPARE(rows.size(), 6);
    selectRows(arrays, rows);
    child<QPushButton>("bulkAddArrayButton_")->click();
    showTab(0);
    const QStringList sites = {"A1", "A2", "A3", "A4", "A5", "A6"};
    defineRun("all_sites", 0, {"Canyon", "MillCreek", "Ferry"}, sites);
    clickRun();
    waitForSequence();
    QCOMPARE(readFile(outDir_ + "/all_sites_KAVEL.csv"), consoleKavel);

    WizardScript edit;
    edit.format = 1;
    driveWizard(&edit);
    child<QPushButton>("editRunDefButton_")->click();
    clickRun();
    waitForSequence();
    QCOMPARE(readFile(outDir_ + "/all_sites_Standard.csv"), consoleStandard);
}

int main(int argc, char** argv)
{
    // The user's own settings stay untouched; the zone has a daylight-saving gap.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    qputenv("TZ", "Europe/Berlin");
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Vantor"));
    QCoreApplication::setApplicationName(QStringLiteral("Keldar"));
    Q_INIT_RESOURCE(icons);
    TestMainWindow test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_mainwindow.moc"
