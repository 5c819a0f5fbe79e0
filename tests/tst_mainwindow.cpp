#include "TestSupport.h"
#include "app/CommandLine.h"
#include "base/Settings.h"
#include "survival/SurvivalResult.h"
#include "ui/Dialogs.h"
#include "ui/MainWindow.h"
#include "ui/QueryViewManager.h"
#include "ui/RunDefWizard.h"
#include "ui/SurvivalResultsView.h"
#include "ui/ViewKind.h"

#include <QAbstractItemModelTester>
#include <QSqlQuery>
#include <QtTest>
#include <QtWidgets>

#include <cstdio>
#include <memory>

using namespace kd;
using kd::test::readText;

namespace {

// Answers the window's questions as the test has planned them, and records what was asked.
struct ScriptedDialogs : Dialogs
{
    QStringList criticals, questions, folders;
    QList<bool> answers;
    void critical(QWidget*, const QString&, const QString& text) override { criticals << text; }
    bool confirm(QWidget*, const QString&, const QString& text) override
    {
        questions << text;
        return !answers.isEmpty() && answers.takeFirst();
    }
    QString existingDirectory(QWidget*, const QString&, const QString&) override
    {
        return folders.isEmpty() ? QString() : folders.takeFirst();
    }
    QString saveFileName(QWidget*, const QString&, const QString&, const QString&) override
    {
        return {};
    }
};

// Times in the test's files are written MM-DD hh:mm and stand for 2023-MM-DD hh:mm:00.
QString dated(QString text)
{
    return text.replace(QRegularExpression("\\b(\\d\\d-\\d\\d \\d\\d:\\d\\d)\\b"), "2023-\\1:00");
}

void writeFile(const QString& path, const QString& text)
{
    test::writeFile(path, dated(text));
}

// Appends the text as it is, its dates not rewritten.
void appendFile(const QString& path, const QString& text)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::Append));
    file.write(text.toUtf8());
}

// The first row of the view that shows every one of the texts, or -1.
int rowWith(QTableView* view, const QStringList& texts)
{
    QAbstractItemModel* model = view->model();
    for (int row = 0; row < model->rowCount(); ++row) {
        QStringList cells;
        for (int column = 1; column < model->columnCount(); ++column)
            cells << model->index(row, column).data().toString();
        if (std::all_of(texts.begin(), texts.end(), [&](auto& t) { return cells.contains(t); }))
            return row;
    }
    return -1;
}

// Clicks the rows, the first alone and the others with Ctrl, as a user chooses them.
void selectRows(QTableView* view, const QList<int>& rows)
{
    QCoreApplication::processEvents();
    view->clearSelection();
    for (int i = 0; i < rows.size(); ++i) {
        const QRect rect = view->visualRect(view->model()->index(rows[i], 1));
        QVERIFY2(rect.isValid(), qPrintable(view->objectName()));
        QTest::mouseClick(view->viewport(), Qt::LeftButton,
                          i == 0 ? Qt::NoModifier : Qt::ControlModifier, rect.center());
    }
}

void selectNamed(QTableView* view, const QStringList& names)
{
    QList<int> rows;
    for (const QString& name : names)
        rows << rowWith(view, {name});
    selectRows(view, rows);
}

// Two release locations, four arrays (A1 has two nodes), a removal, an unknown file and events
// of a tag that is not in the study. One detection lies in the hour that daylight saving skips.
void writeStudy(const QString& dir)
{
    const QString north =
        "ann,2,7,CHN,150.5,30,P,,04-01 08:00,04-02 09:00,NORTH,North bank,500,45,-122,0,\n";
    const QString south = ",cy,1,9,CHN,%1,%2,P,,03-19 08:00,03-20 09:00,SOUTH,South bank,420,44,"
                          "-122,0,\n";
    writeFile(dir + "/tags.csv",
              "tag_code,tagger_name_xlat,bucket,lot,species_code_xlat,length,weight,pit_code,"
              "fish_tag_date,tag_activate_date,tag_release_date,release_location,"
              "release_location_xlat,release_location_river_kilometer,release_location_latitude,"
              "release_location_longitude,mort_xlat,pri\nT1," +
                  north + "T2," + north + "T3," + north +
                  "T4,bob,3,8,STH,212,95.25,P,,04-01 08:00,04-02 09:00,NORTH,North bank,500,45,"
                  "-122,0,\nT5" +
                  south.arg("98", "12") + "T6" + south.arg("101.75", "12.5") +
                  "BAD,a line,with too few fields\n");
    writeFile(dir + "/receivers/nodes.csv",
              "node_code,latitude,longitude,river_kilometer,location,location_xlat,deploy_date,"
              "recovery_date,elev_or_depth\n"
              "N1a,45,-122,450,A1,A1a,03-01 00:00,09-01 00:00,3\n"
              "N1b,45,-122,450,A1,A1b,03-01 00:00,09-01 00:00,3\n"
              "N2,45,-122,400,A2,A2a,03-01 00:00,09-01 00:00,3\n"
              "N3,45,-122,300,A3,A3a,03-01 00:00,09-01 00:00,3\n"
              "N4,45,-122,200,A4,A4a,03-01 00:00,09-01 00:00,3\n");
    writeFile(dir + "/events.csv",
              "node_code,tag_code,first_computed_datetime,last_computed_datetime,hits\n"
              "N1a,T1,05-01 10:00,05-01 10:05,4\nN1b,T1,05-01 09:58,05-01 10:02,1\n"
              "N2,T1,05-02 08:00,05-02 08:30,6\nN3,T1,05-03 12:00,05-03 12:10,3\n"
              "N1b,T2,05-01 00:00,05-10 00:00,40\nN2,T2,05-03 00:00,05-04 00:00,9\n"
              "N4,T2,05-12 00:00,05-12 01:00,2\nN1a,T4,05-01 06:00,05-01 06:10,2\n"
              "N2,T4,05-02 06:00,05-02 06:10,2\nN3,T4,05-03 06:00,05-03 06:10,2\n"
              "N3,T5,05-05 10:00,05-05 10:01,2\nN4,T5,05-06 10:00,05-06 10:01,2\n"
              "N3,T6,03-26 02:30,03-26 02:45,5\nN2,X9,05-01 00:00,05-01 00:01,1\n");
    writeFile(dir + "/removals.csv",
              "tag_code,removal_date,removal_river_km,removal_type\nT4,05-02 12:00,350,harvest\n");
    writeFile(dir + "/notes.csv", "site,comment\nA1,flooded\n");
}

// North (NORTH Chinook) and SOUTH CHN at the four sites, Standard layout. T2's window at A2
// lies inside its window at A1, which ends its history at A2; T3 was never seen; T6's times lie
// in the skipped hour and come out unchanged.
const char* const SpringStandard =
    "release_name,lot,tag_code,tag_activate_date,tag_release_date,tagger_name_xlat,bucket,length,"
    "weight,A1,A2,A3,A4,A1_first,A1_last,A2_first,A2_last,A3_first,A3_last,A4_first,A4_last\n"
    "North,7,T1,04-01 08:00,04-02 09:00,ann,2,150.5,30,1,1,1,0,05-01 09:58,05-01 10:05,"
    "05-02 08:00,05-02 08:30,05-03 12:00,05-03 12:10,,\n"
    "North,7,T2,04-01 08:00,04-02 09:00,ann,2,150.5,30,1,2,0,0,05-01 00:00,05-10 00:00,"
    "05-03 00:00,05-04 00:00,,,,\n"
    "North,7,T3,04-01 08:00,04-02 09:00,ann,2,150.5,30,0,0,0,0,,,,,,,,\n"
    "SOUTH CHN,9,T5,03-19 08:00,03-20 09:00,cy,1,98,12,0,0,1,1,,,,,05-05 10:00,05-05 10:01,"
    "05-06 10:00,05-06 10:01\n"
    "SOUTH CHN,9,T6,03-19 08:00,03-20 09:00,cy,1,101.75,12.5,0,0,1,0,,,,,03-26 02:30,"
    "03-26 02:45,,";

// NORTH STH at A1 to A3, KAVEL layout: T4 was removed at km 350, so its history ends at A2.
const char* const FallKavel = "NORTH STH,8,T4,04-01 08:00,04-02 09:00,A1,1,05-01 06:00\n"
                              "NORTH STH,8,T4,04-01 08:00,04-02 09:00,A2,2,05-02 06:00\n"
                              "NORTH STH,8,T4,04-01 08:00,04-02 09:00,A3,0,";

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

    enum Stage { Shown, Loaded, Built, Defined };
    QTemporaryDir dir_;
    QString dataDir_, outDir_;
    ScriptedDialogs* dialogs_ = nullptr;
    std::unique_ptr<MainWindow> window_;

    template <typename T = QWidget>
    T* child(const char* name) const
    {
        T* found = window_->findChild<T*>(QString::fromLatin1(name));
        return found ? found : (qFatal("no child %s", name), nullptr);
    }
    QTableView* table(const char* name) const { return child<QTableView>(name); }
    QString suggestion(const char* form) const
    {
        const auto text = [&](QString edit) {
            return child<QLineEdit>(qPrintable(form + edit + "LineEdit_"))->text();
        };
        return text("Name") + " " + text(form == QLatin1String("site") ? "RiverKm" : "Km");
    }
    // Triggers an action or clicks a button; tells whether an action or widget is enabled.
    void click(const char* name) const
    {
        auto* action = window_->findChild<QAction*>(name);
        action ? action->trigger() : child<QAbstractButton>(name)->click();
    }
    bool enabled(const char* name) const
    {
        auto* action = window_->findChild<QAction*>(name);
        return action ? action->isEnabled() : child(name)->isEnabled();
    }
    QStringList logLines() const
    {
        return child<QTextEdit>("loggingTextEdit_")->toPlainText().split('\n');
    }
    QString logSince(qsizetype line) const { return logLines().mid(line).join('\n'); }
    void showTab(int index) { child<QTabWidget>("tabWidget")->setCurrentIndex(index); }
    QStringList column(const char* view, int column) const
    {
        QStringList texts;
        for (int row = 0; row < table(view)->model()->rowCount(); ++row)
            texts << table(view)->model()->index(row, column).data().toString();
        return texts;
    }
    // Loads or runs, and waits until the sequence and its worker have ended.
    void start(const char* name)
    {
        QSignalSpy finished(window_.get(), &MainWindow::sequenceFinished);
        click(name);
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 60000);
        QVERIFY(window_->hasData());
    }

    // A new window, or the one kept, brought to the given stage: shown, loaded, with releases
    // and sites built, with the runs Spring (Standard) and Fall (KAVEL) defined.
    void open(Stage stage, bool keep = false)
    {
        if (!keep) {
            window_ = std::make_unique<MainWindow>();
            auto dialogs = std::make_unique<ScriptedDialogs>();
            dialogs_ = dialogs.get();
            window_->setDialogs(std::move(dialogs));
            window_->show();
            QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
        }
        if (stage >= Loaded)
            STEP(start("loadDataButton_"));
        if (stage >= Built)
            STEP(buildDefinitions());
        if (stage >= Defined) {
            STEP(defineRun("Spring", 1, {"North", "SOUTH CHN"}, {"A1", "A2", "A3", "A4"}));
            defineRun("Fall", 0, {"NORTH STH"}, {"A1", "A2", "A3"});
        }
    }

    // Creates a release from each group found by its texts, named as given, and sites of the
    // arrays in the given rows with one bulk add.
    void build(const QList<QStringList>& groups, const QStringList& names, const QList<int>& sites)
    {
        showTab(1);
        for (int i = 0; i < names.size(); ++i) {
            STEP(selectRows(table("releaseGroupsTableView_"),
                            {rowWith(table("releaseGroupsTableView_"), groups[i])}));
            child<QLineEdit>("releaseNameLineEdit_")->setText(names[i]);
            click("createReleaseButton_");
        }
        showTab(2);
        STEP(selectRows(table("arraysTableView_"), sites));
        click("bulkAddArrayButton_");
        showTab(0);
    }

    // Releases North (NORTH Chinook), NORTH STH, SOUTH CHN and sites A1 to A4, as a user builds
    // them: a bulk add with the suggestion, single creates, and a create that is deleted again.
    void buildDefinitions()
    {
        QCOMPARE(column("arraysTableView_", 4), QStringList({"2", "1", "1", "1"}));
        QTableView* groups = table("releaseGroupsTableView_");
        showTab(1);
        STEP(selectRows(groups, {rowWith(groups, {"NORTH", "STH"}), rowWith(groups, {"SOUTH"})}));
        QCOMPARE(suggestion("release"), "NORTH-SOUTH 420");
        click("bulkAddReleasesButton_");
        STEP(build({{"NORTH", "CHN"}, {"SOUTH"}}, {"North", "Extra"}, {3, 0, 2, 1}));
        selectNamed(table("definedReleasesTableView_"), {"Extra"});
        click("deleteReleasesButton_");
        QStringList names = column("definedReleasesTableView_", 1);
        names.sort();
        QCOMPARE(names, QStringList({"NORTH STH", "North", "SOUTH CHN"}));
        // Sites are listed downstream, whatever the order they were made in.
        QCOMPARE(column("definedSitesTableView_", 1) + column("definedSitesTableView_", 2),
                 QStringList({"A1", "A2", "A3", "A4", "450", "400", "300", "200"}));
    }

    // Opens the run wizard with the button, fills in what is given (a null name and empty lists
    // are left as they are), finishes it when it lets us, and returns its title and review.
    QString wizard(const char* button, const QString& name, int format,
                   const QStringList& releases = {}, const QStringList& sites = {})
    {
        QString review = QStringLiteral("<not shown>");
        QTimer::singleShot(0, window_.get(), [&] {
            RunDefWizard* wizard = window_->wizard();
            if (!wizard->isVisible())
                return;
            if (!name.isNull())
                wizard->findChild<QLineEdit*>("runNameLineEdit_")->setText(name);
            auto* formats = wizard->findChild<QComboBox*>("outputTypeComboBox_");
            formats->setCurrentIndex(formats->findData(format));
            wizard->next();
            if (!releases.isEmpty())
                selectNamed(wizard->releasesView(), releases);
            wizard->next();
            if (!sites.isEmpty())
                selectNamed(wizard->sitesView(), sites);
            wizard->next();
            review = wizard->windowTitle() + '\n' +
                     wizard->findChild<QTextEdit*>("summaryTextEdit_")->toPlainText().trimmed();
            QAbstractButton* finish = wizard->button(QWizard::FinishButton);
            finish->isEnabled() ? finish->click() : wizard->reject();
        });
        click(button);
        QCoreApplication::processEvents();
        return review;
    }
    void defineRun(const QString& name, int format, const QStringList& releases,
                   const QStringList& sites)
    {
        const QString review = wizard("addRunDefButton_", name, format, releases, sites);
        QVERIFY2(review.startsWith("Add Run Definition\nRun Summary\n"), qPrintable(review));
    }

private slots:
    void init()
    {
        static int count = 0;
        dataDir_ = dir_.filePath(QStringLiteral("study%1").arg(++count));
        outDir_ = dir_.filePath(QStringLiteral("out%1").arg(count));
        writeStudy(dataDir_);
        QVERIFY(QDir().mkpath(outDir_));
        Settings::instance().setValue(Settings::DataDir, dataDir_);
        Settings::instance().setValue(Settings::OutDir, outDir_);
    }
    void cleanup() { window_.reset(); }

    // The updater is started only from beside the executable: one that someone put into the
    // working folder (a study folder the program was opened from) is never started.
    void updaterBesideExecutableOnly_data()
    {
        QTest::addColumn<bool>("inWorkingFolder");
        QTest::addColumn<bool>("besideExecutable");
        QTest::newRow("none") << false << false;
        QTest::newRow("planted in the working folder") << true << false;
        QTest::newRow("beside the executable") << false << true;
        QTest::newRow("both") << true << true;
    }
    void updaterBesideExecutableOnly()
    {
        QFETCH(bool, inWorkingFolder);
        QFETCH(bool, besideExecutable);
        const QString working = dataDir_ + "/working", program = dataDir_ + "/program";
        QVERIFY(QDir().mkpath(working) && QDir().mkpath(program));
        if (inWorkingFolder)
            test::writeFile(working + "/updater.exe", "planted");
        if (besideExecutable)
            test::writeFile(program + "/updater.exe", "shipped");
        QStringList started;
        QProcess* process = nullptr;
        MainWindow::setUpdaterSeam(
            program, [&](QProcess* p, const QString& path, const QStringList& arguments) {
                process = p;
                started << (QStringList{path} + arguments).join(' ');
            });
        const QString previous = QDir::currentPath();
        const auto restore = qScopeGuard([&] {
            QDir::setCurrent(previous);
            MainWindow::setUpdaterSeam(QString(), {});
        });
        QVERIFY(QDir::setCurrent(working));
        STEP(open(Shown));

        const QString updater = QDir(program).absoluteFilePath("updater.exe");
        QCOMPARE(started, besideExecutable ? QStringList{updater + " /silent"} : QStringList());
        QCOMPARE(enabled("actionCheckForUpdates_"), besideExecutable);
        if (!besideExecutable)
            return;
        // Once the silent check has ended, the user's check starts the same program.
        emit process->finished(0, QProcess::NormalExit);
        click("actionCheckForUpdates_");
        QCOMPARE(started, QStringList({updater + " /silent", updater + " /checknow"}));
    }

    void desktopRoad()
    {
        Settings::instance().setValue(Settings::DataDir, QString());
        Settings::instance().setValue(Settings::OutDir, QString());
        STEP(open(Shown));
        click("loadDataButton_");
        QCOMPARE(dialogs_->criticals.takeFirst(), "You must select a data directory.");
        dialogs_->folders = {dataDir_, outDir_};
        click("dataDirBrowseButton_");
        click("outputDirBrowseButton_");
        STEP(start("loadDataButton_"));
        // The loader's counts and warnings arrive in the status log in order.
        const QStringList loadLog = logLines();
        QCOMPARE(loadLog.filter(QRegularExpression("Warning|oaded")).join('\n'),
                 QString("***Warning: file doesn't match any model %1/notes.csv\nLoaded 7 rows.\n"
                         "***Warning: 1 of 7 rows of %1/tags.csv were not stored\n"
                         "***Warning: %1/tags.csv line 8: 3 fields, expected 18\nLoaded 5 rows.\n"
                         "Loaded 14 rows.\nLoaded 1 rows.\nData loaded.")
                     .arg(dataDir_));
        QCOMPARE(column("loadsTableView_", 2),
                 QStringList({"tags.csv", "nodes.csv", "events.csv", "removals.csv"}));
        STEP(buildDefinitions());
        // Run wants an existing output folder and a chosen run.
        for (const QString& folder : {QString(), dir_.filePath("missing"), outDir_}) {
            Settings::instance().setValue(Settings::OutDir, folder);
            click("runAction_");
        }
        QCOMPARE(dialogs_->criticals, QStringList({"You must select an output directory.",
                                                   "Output directory doesn't exist.",
                                                   "You must select at least one run."}));
        // Spring is edited after Fall was defined: the wizard shows Spring's own choices, and
        // only the format changes.
        STEP(defineRun("Spring", 0, {"North", "SOUTH CHN"}, {"A1", "A2", "A3", "A4"}));
        STEP(defineRun("Fall", 0, {"NORTH STH"}, {"A1", "A2", "A3"}));
        STEP(selectNamed(table("runTableView_"), {"Spring"}));
        QCOMPARE(wizard("editRunDefButton_", QString(), 1),
                 "Edit Run Definition\nRun Summary\n\nName:\nSpring\nFormat:\nStandard\n"
                 "Releases:\nNorth,SOUTH CHN\nSites:\nA1,A2,A3,A4");
        QCOMPARE(column("runTableView_", 1) + column("runTableView_", 2),
                 QStringList({"Fall", "Spring", "KAVEL", "Standard"}));
        // Two runs in one go, one after the other, in the order chosen.
        STEP(selectNamed(table("runTableView_"), {"Fall", "Spring"}));
        QSignalSpy progress(window_.get(), &MainWindow::progressShown);
        STEP(start("runAction_"));
        QCOMPARE(readText(outDir_ + "/Fall_KAVEL.csv"), dated(FallKavel));
        QCOMPARE(readText(outDir_ + "/Spring_Standard.csv"), dated(SpringStandard));
        QCOMPARE(
            logLines().mid(loadLog.size()).filter(QRegularExpression("run |Wrote|Run ")).join('\n'),
            "Processing run Fall\nWrote 3 rows.\nRun complete.\nProcessing run Spring\n"
            "Wrote 6 rows.\nRun complete.");
        QCOMPARE(progress.isEmpty() ? -1 : progress.last().at(0).toInt(), 100);
        // A store that refuses the deletion: the failure is marked in red after the driver's
        // text, and the list is reloaded (which clears the selection) and still shows the run.
        QVERIFY(QSqlQuery().exec("CREATE TRIGGER keep_runs BEFORE DELETE ON runs "
                                 "BEGIN SELECT RAISE(ABORT, 'runs are locked'); END"));
        STEP(selectNamed(table("runTableView_"), {"Spring"}));
        dialogs_->answers = {true};
        click("deleteRunButton_");
        const QStringList refused = logLines().mid(logLines().size() - 2);
        QVERIFY2(refused.first().contains("runs are locked"), qPrintable(refused.first()));
        QCOMPARE(refused.last(), QStringLiteral("Unable to delete run \"Spring\"."));
        QTextCursor lastLine(child<QTextEdit>("loggingTextEdit_")->document()->lastBlock());
        lastLine.movePosition(QTextCursor::EndOfBlock);
        QCOMPARE(lastLine.charFormat().foreground().color(), QColor(Qt::red));
        QCOMPARE(column("runTableView_", 1), QStringList({"Fall", "Spring"}));
        QVERIFY(!enabled("deleteRunButton_"));
        QVERIFY(QSqlQuery().exec("DROP TRIGGER keep_runs"));
        dialogs_->questions.clear();
        STEP(selectNamed(table("runTableView_"), {"Spring"}));
        // Deleting asks first; a failure of the store shows in the status log, as text.
        dialogs_->answers = {false, true};
        click("deleteRunButton_");
        QCOMPARE(column("runTableView_", 1), QStringList({"Fall", "Spring"}));
        QVERIFY(QSqlQuery().exec("DROP TABLE runs_sites"));
        click("deleteRunButton_");
        QCOMPARE(dialogs_->questions, QStringList(2, QStringLiteral("Delete \"Spring\"?")));
        const QStringList failed = logLines().mid(logLines().size() - 2);
        QVERIFY2(failed.first().contains("runs_sites"), qPrintable(failed.first()));
        QCOMPARE(failed.last(), QStringLiteral("Unable to delete run \"Spring\"."));
        window_->log("<b>not bold</b>", 1);
        QCOMPARE(logLines().last(), QStringLiteral("<b>not bold</b>"));
    }

    void cancelThenRunTwo_data()
    {
        QTest::addColumn<int>("step");
        QTest::newRow("load") << int(LoadData);
        QTest::newRow("query") << int(QueryData);
        QTest::newRow("process") << int(ProcessData);
        QTest::newRow("write") << int(WriteResults);
    }
    void cancelThenRunTwo()
    {
        QFETCH(int, step);
        const bool load = step == LoadData;
        STEP(open(load ? Shown : Defined));
        // The worker waits at the step until the test lets it go on.
        auto entered = std::make_shared<QSemaphore>(), gate = std::make_shared<QSemaphore>();
        window_->setWorkerHook([=](ProcessingStep at) {
            if (at == step && (entered->release(), true))
                gate->tryAcquire(1, 30000);
        });
        if (!load) {
            STEP(selectNamed(table("runTableView_"), {"Spring", "Fall"}));
            QVERIFY(!enabled("editRunDefButton_"));
        }
        click(load ? "loadDataButton_" : "runAction_");
        QTRY_VERIFY_WITH_TIMEOUT(entered->available() > 0, 10000);
        window_->findChild<QProgressDialog*>()->findChild<QAbstractButton*>()->click();
        const qsizetype canceled = logLines().size();
        QCOMPARE(logLines().last(), QStringLiteral("Run canceled."));
        // While the worker still runs, nothing that starts a sequence or writes to the store works.
        QCoreApplication::processEvents();
        QVERIFY(window_->isBusy());
        for (const char* name : {"loadDataButton_", "dataDirBrowseButton_", "releasesTab_",
                                 "runAction_", "clearAllDataAction_"})
            QVERIFY2(!enabled(name), name);
        window_->setWorkerHook({});
        gate->release();
        QTRY_VERIFY_WITH_TIMEOUT(!window_->isBusy(), 60000);
        QVERIFY(enabled("loadDataButton_") && enabled("runAction_") == !load);
        // The canceled run and the runs after it stop there; a canceled load leaves no data.
        const QString after = logSince(canceled);
        QVERIFY2(!after.contains("Run complete.") && !after.contains("run Fall"),
                 qPrintable(after));
        QCOMPARE(QDir(outDir_).entryList(QDir::Files), QStringList());
        QCOMPARE(window_->hasData(), !load);
        if (load)
            STEP(open(Defined, true));
        // The next Run goes through.
        STEP(selectNamed(table("runTableView_"), {"Fall", "Spring"}));
        STEP(start("runAction_"));
        QCOMPARE(readText(outDir_ + "/Fall_KAVEL.csv"), dated(FallKavel));
        QCOMPARE(readText(outDir_ + "/Spring_Standard.csv"), dated(SpringStandard));
    }

    void runsWritingOneFile()
    {
        STEP(open(Defined));
        // A second "Fall" in the same format would overwrite the first one's file.
        STEP(defineRun("Fall", 0, {"North"}, {"A1", "A2"}));
        QTableView* runs = table("runTableView_");
        QList<int> rows;
        for (int row = 0; row < runs->model()->rowCount(); ++row) {
            if (runs->model()->index(row, 1).data().toString() == QLatin1String("Fall"))
                rows << row;
        }
        QCOMPARE(rows.size(), 2);
        STEP(selectRows(runs, rows));
        const qsizetype before = logLines().size();
        STEP(start("runAction_"));
        const QString log = logSince(before);
        QCOMPARE(log.count(QStringLiteral("Run \"Fall\" refused: run \"Fall\" writes the same "
                                          "file %1/Fall_KAVEL.csv")
                               .arg(outDir_)),
                 1);
        QCOMPARE(readText(outDir_ + "/Fall_KAVEL.csv"), dated(FallKavel));
    }

    void validation_data()
    {
        QTest::addColumn<QString>("form");      // release, site or run
        QTest::addColumn<QStringList>("input"); // name, km; or name, format, releases, sites
        QTest::addColumn<QString>("message");   // none: created; for a run, how its review begins
        QTest::addColumn<QString>("red");       // the field shown red: name, km, heading or none
        const auto row = [](const char* tag, const char* input, const char* message,
                            const char* red = "") {
            QTest::newRow(tag) << QString(tag).section(':', 0, 0) << QString(input).split('|')
                               << QString(message) << QString(red);
        };
        row("release: none selected", "R|5", "No release groups selected.");
        row("release: no name", "|5", "No name given for release", "name");
        row("release: no km", "R|", "No river kilometer given for release", "km");
        row("release: fraction", "R|12.5",
            "The river kilometer of a release must be a whole number, not \"12.5\".", "km");
        row("release: created", "R|12", "");
        row("site: no name", "|5", "No name given for site", "name");
        row("site: created", "S|7", "");
        // The review lists the releases in the order clicked and the sites downstream, as the
        // run uses them; a second Ctrl-click leaves a site out.
        row("run: in click order", "Spring|1|SOUTH CHN,North|A2,A1,A3,A3",
            "Run Summary\n\nName:\nSpring\nFormat:\nStandard\nReleases:\nSOUTH "
            "CHN,North\nSites:\nA1,A2");
        row("run: no format", "r|-1|North|A1,A2", "No format selected", "heading");
        row("run: one site", "r|0|North|A1", "Must select at least 2 sites.", "heading");
        row("run: no release", "r|0||A1", "Must select at least 1 release.", "heading");
        row("run: nothing", "|0||", "Name can't be empty", "heading");
    }
    // A builder's error is shown and its field red; an incomplete run says why in the wizard's
    // review, under a red heading, with Finish disabled. Neither is added.
    void validation()
    {
        QFETCH(QString, form);
        QFETCH(QStringList, input);
        QFETCH(QString, message);
        QFETCH(QString, red);
        if (form == "run") {
            STEP(open(Built));
            const auto list = [&](int i) { return input[i].split(',', Qt::SkipEmptyParts); };
            const QString review =
                wizard("addRunDefButton_", input[0], input[1].toInt(), list(2), list(3));
            if (red == "heading")
                message = "Error\nRun definition is not complete: " + message + '\n';
            QVERIFY2(review.startsWith("Add Run Definition\n" + message), qPrintable(review));
            QCOMPARE(window_->wizard()
                         ->findChild<QTextEdit*>("summaryTextEdit_")
                         ->toHtml()
                         .contains("color:#ff0000;"),
                     red == "heading");
            QCOMPARE(column("runTableView_", 1), red.isEmpty() ? input.mid(0, 1) : QStringList());
            return;
        }
        const bool site = form == "site", select = !message.contains("selected");
        STEP(open(Loaded));
        showTab(site ? 2 : 1);
        auto* nameEdit = child<QLineEdit>(site ? "siteNameLineEdit_" : "releaseNameLineEdit_");
        auto* kmEdit = child<QLineEdit>(site ? "siteRiverKmLineEdit_" : "releaseKmLineEdit_");
        // A field left red by an earlier attempt turns plain once it is valid.
        nameEdit->setStyleSheet("border: 1px solid red");
        kmEdit->setStyleSheet("border: 1px solid red");
        if (select)
            STEP(selectRows(table(site ? "arraysTableView_" : "releaseGroupsTableView_"), {0}));
        nameEdit->setText(input[0]);
        kmEdit->setText(input[1]);
        click(site ? "createArrayButton_" : "createReleaseButton_");
        QCOMPARE(dialogs_->criticals, message.isEmpty() ? QStringList() : QStringList({message}));
        if (select)
            QCOMPARE(nameEdit->styleSheet().contains("red"), red == "name");
        if (select && red != "name")
            QCOMPARE(kmEdit->styleSheet().contains("red"), red == "km");
        const char* defined = site ? "definedSitesTableView_" : "definedReleasesTableView_";
        QCOMPARE(column(defined, 1) + column(defined, 2),
                 message.isEmpty() ? input : QStringList());
    }

    void loadAsksFirst_data()
    {
        QTest::addColumn<int>("stage");
        QTest::addColumn<QString>("extra"); // one more definition: release or run
        QTest::addColumn<bool>("answer");
        QTest::addColumn<QString>("removes"); // as the question names it; none: no question
        QTest::newRow("nothing defined") << int(Loaded) << "" << false << "";
        QTest::newRow("a release") << int(Loaded) << "release" << true << "1 release";
        QTest::newRow("no run") << int(Built) << "" << false << "3 releases and 4 sites";
        QTest::newRow("a run") << int(Built) << "run" << true << "3 releases, 4 sites and 1 run";
        QTest::newRow("runs: no") << int(Defined) << "" << false
                                  << "3 releases, 4 sites and 2 runs";
    }
    // Load removes the definitions, so it asks first when there are any; Cancel leaves all as
    // it was and loads nothing.
    void loadAsksFirst()
    {
        QFETCH(int, stage);
        QFETCH(QString, extra);
        QFETCH(bool, answer);
        QFETCH(QString, removes);
        STEP(open(Stage(stage)));
        if (extra == "release") {
            showTab(1);
            STEP(selectRows(table("releaseGroupsTableView_"), {0}));
            click("createReleaseButton_");
        } else if (extra == "run") {
            STEP(defineRun("Fall", 0, {"NORTH STH"}, {"A1", "A2", "A3"}));
        }
        const auto definitions = [&] {
            return column("definedReleasesTableView_", 1) + column("definedSitesTableView_", 1) +
                   column("runTableView_", 1);
        };
        const QStringList before = definitions();
        const qsizetype logged = logLines().size();
        dialogs_->answers = {answer};
        QSignalSpy finished(window_.get(), &MainWindow::sequenceFinished);
        click("loadDataButton_");
        QCOMPARE(dialogs_->questions,
                 removes.isEmpty()
                     ? QStringList()
                     : QStringList({"Loading rebuilds the database from the data folder and "
                                    "removes " +
                                    removes + ". Load anyway?"}));
        if (!answer && !removes.isEmpty()) {
            QCoreApplication::processEvents();
            QVERIFY(!window_->isBusy() && finished.isEmpty());
            QCOMPARE(logSince(logged), QString());
            QCOMPARE(definitions(), before);
            return;
        }
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 60000);
        QCOMPARE(logSince(logged).split('\n').filter("oad").last(), "Data loaded.");
        QCOMPARE(definitions(), QStringList());
        QCOMPARE(column("arraysTableView_", 1), QStringList({"A1", "A2", "A3", "A4"}));
    }

    // A folder that lost every file of the study (a disk not mounted) is not loaded without a
    // question: loading it would empty the database.
    void emptyFolderAsksFirst_data()
    {
        QTest::addColumn<bool>("answer");
        QTest::newRow("no") << false;
        QTest::newRow("yes") << true;
    }
    void emptyFolderAsksFirst()
    {
        QFETCH(bool, answer);
        STEP(open(Loaded));
        // The database stays beside where the files were.
        for (const char* name : {"tags.csv", "events.csv", "removals.csv", "notes.csv"})
            QVERIFY(QFile::remove(dataDir_ + '/' + name));
        QVERIFY(QDir(dataDir_ + "/receivers").removeRecursively());
        const QStringList arrays = column("arraysTableView_", 1);
        dialogs_->answers = {answer};
        QSignalSpy finished(window_.get(), &MainWindow::sequenceFinished);
        click("loadDataButton_");
        const QString refusal =
            QString("The data folder %1 holds none of the 4 files loaded before and no data "
                    "file; nothing was changed. Is it mounted?")
                .arg(dataDir_);
        QCOMPARE(dialogs_->questions, QStringList({refusal + " Load anyway?"}));
        QCOMPARE(logLines().filter(refusal).size(), 1);
        if (!answer) {
            QCoreApplication::processEvents();
            QVERIFY(!window_->isBusy() && finished.isEmpty());
            QCOMPARE(column("arraysTableView_", 1), arrays);
            return;
        }
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 60000);
        QCOMPARE(column("arraysTableView_", 1), QStringList());
    }

    void uniqueNames_data()
    {
        QTest::addColumn<QString>("form");
        // Each step selects rows ("|" between rows, each found by its texts) and bulk-adds
        // them, or creates one definition from them with the name after ">".
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QStringList>("names"); // the defined names, sorted
        QTest::addColumn<QString>("message");   // the refusal, with the name field red
        const auto row = [](const char* tag, const QStringList& steps, const QStringList& names,
                            const char* message = "") {
            QTest::newRow(tag) << QString(tag).section(':', 0, 0) << steps << names
                               << QString(message);
        };
        row("release: blanks around", {"NORTH,CHN> North", "SOUTH>North\t"}, {" North"},
            "A release named \"North\" already exists.");
        row("release: other case", {"NORTH,CHN>North", "SOUTH>NORTH"}, {"NORTH", "North"});
        row("release: bulk-added", {"SOUTH", "NORTH,STH>SOUTH CHN "}, {"SOUTH CHN"},
            "A release named \"SOUTH CHN\" already exists.");
        row("site: taken", {"A1>Up", "A2>Up"}, {"Up"}, "A site named \"Up\" already exists.");
        row("release: years", {"NORTH,CHN,500,2023|NORTH,CHN,2022|NORTH,CHN,505"},
            {"NORTH CHN 2022", "NORTH CHN 2023", "NORTH CHN 2023 (2)"});
        row("release: taken", {"NORTH,CHN,2022", "NORTH,CHN,500,2023"},
            {"NORTH CHN", "NORTH CHN 2023"});
        row("release: four times", QStringList(4, "NORTH,STH"),
            {"NORTH STH", "NORTH STH 2023", "NORTH STH 2023 (2)", "NORTH STH 2023 (3)"});
        row("site: years and kilometres", {"A1|A2,2023|A2,2022|A3,300|A3,310|A4"},
            {"A1", "A2 2022", "A2 2023", "A3 2023", "A3 2023 (2)", "A4"});
    }
    // Release and site names are unique, compared without the blanks around them: a create
    // refuses a name that is taken; a bulk add appends the year, then a number.
    void uniqueNames()
    {
        QFETCH(QString, form);
        QFETCH(QStringList, steps);
        QFETCH(QStringList, names);
        QFETCH(QString, message);
        const bool site = form == "site";
        // A Chinook group of 2022 and one further up in 2023; A2 in 2022, A3 further up.
        appendFile(dataDir_ + "/tags.csv",
                   "T7,ann,2,7,CHN,150,30,P,,2022-04-01 08:00:00,2022-04-02 09:00:00,NORTH,North "
                   "bank,500,45,-122,0,\nT8,ann,2,7,CHN,150,30,P,,2023-04-01 08:00:00,2023-04-02 "
                   "09:00:00,NORTH,North bank,505,45,-122,0,\n");
        appendFile(dataDir_ + "/receivers/nodes.csv",
                   "N5,45,-122,400,A2,A2b,2022-03-01 00:00:00,2022-09-01 00:00:00,3\n"
                   "N6,45,-122,310,A3,A3b,2023-03-01 00:00:00,2023-09-01 00:00:00,3\n");
        STEP(open(Loaded));
        showTab(site ? 2 : 1);
        QTableView* available = table(site ? "arraysTableView_" : "releaseGroupsTableView_");
        auto* nameEdit = child<QLineEdit>(site ? "siteNameLineEdit_" : "releaseNameLineEdit_");
        for (const QString& step : steps) {
            QList<int> rows;
            for (const QString& texts : step.section('>', 0, 0).split('|'))
                rows << rowWith(available, texts.split(','));
            QVERIFY2(!rows.contains(-1), qPrintable(step));
            STEP(selectRows(available, rows));
            if (step.contains('>'))
                nameEdit->setText(step.section('>', 1));
            click(!step.contains('>') ? (site ? "bulkAddArrayButton_" : "bulkAddReleasesButton_")
                                      : (site ? "createArrayButton_" : "createReleaseButton_"));
        }
        QCOMPARE(dialogs_->criticals, message.isEmpty() ? QStringList() : QStringList({message}));
        QCOMPARE(nameEdit->styleSheet(), message.isEmpty() ? "" : "border: 1px solid red");
        QStringList defined =
            column(site ? "definedSitesTableView_" : "definedReleasesTableView_", 1);
        defined.sort();
        QCOMPARE(defined, names);
    }

    void foldersAndClearAll()
    {
        // The models let go of one database before the next opens.
        QTest::failOnWarning(QRegularExpression("still in use"));
        STEP(open(Loaded));
        const QString other = dir_.filePath("other");
        QVERIFY(QDir().mkpath(other));
        dialogs_->folders = {other};
        click("dataDirBrowseButton_");
        QVERIFY(QFile::exists(other + "/keldar.db"));
        QCOMPARE(column("arraysTableView_", 1), QStringList());
        QVERIFY(!window_->hasData() && !enabled("runAction_"));
        dialogs_->folders = {dataDir_};
        click("dataDirBrowseButton_");
        QCOMPARE(column("arraysTableView_", 1), QStringList({"A1", "A2", "A3", "A4"}));
        QVERIFY(window_->hasData() && enabled("runAction_"));
        // The reopened lists still drive the builders' suggestions, which are selected and stay
        // so on the click into their field: typing replaces them.
        showTab(2);
        window_->windowHandle()->requestActivate();
        QTRY_COMPARE(QApplication::activeWindow(), window_.get());
        STEP(selectRows(table("arraysTableView_"), {1, 3}));
        QTest::qWait(20);
        QCOMPARE(suggestion("site"), "A2-A4 200");
        auto* siteName = child<QLineEdit>("siteNameLineEdit_");
        auto* siteKm = child<QLineEdit>("siteRiverKmLineEdit_");
        QCOMPARE(siteName->selectedText() + " " + siteKm->selectedText(), "A2-A4 200");
        for (auto [edit, typed] : {std::pair(siteName, "Mid"), std::pair(siteKm, "210")}) {
            QTest::mouseClick(edit, Qt::LeftButton);
            QTest::keyClicks(edit, typed);
        }
        QCOMPARE(suggestion("site"), "Mid 210");
        // The folder in use again, or a canceled chooser, changes nothing.
        const QStringList log = logLines();
        dialogs_->folders = {dataDir_, QString()};
        click("dataDirBrowseButton_");
        click("dataDirBrowseButton_");
        QCOMPARE(logLines(), log);
        dialogs_->answers = {false, true};
        click("clearAllDataAction_");
        QCOMPARE(column("arraysTableView_", 1).size(), 4);
        click("clearAllDataAction_");
        QCOMPARE(dialogs_->questions,
                 QStringList(2, QStringLiteral("This will clear all data. Continue?")));
        QCOMPARE(logSince(log.size()), "Clearing data...\ndone.");
        for (const char* name : {"releaseGroupsTableView_", "arraysTableView_", "loadsTableView_"})
            QVERIFY2(column(name, 1).isEmpty(), name);
        QVERIFY(!enabled("runAction_") && !child<QTabWidget>("tabWidget")->isTabEnabled(1));
    }

    void defaultSize_data()
    {
        QTest::addColumn<QSize>("available");
        QTest::addColumn<QSize>("expected");
        QTest::newRow("1280 x 800") << QSize(1280, 800) << QSize(1120, 720);
        QTest::newRow("large screen") << QSize(2560, 1400) << QSize(1120, 720);
        QTest::newRow("small screen") << QSize(1024, 600) << QSize(1008, 560);
    }
    // The window opens at a size that fits the screen's free area with its frame.
    void defaultSize()
    {
        QFETCH(QSize, available);
        QFETCH(QSize, expected);
        QCOMPARE(MainWindow::defaultSize(available), expected);
    }

    // On a 1280 x 800 screen the window opens large enough for the runs table and the log; a
    // size the user chose is kept for the next start.
    void windowSize()
    {
        Settings::instance().remove("MainWindow");
        STEP(open(Defined));
        QCOMPARE(window_->screen()->size(), QSize(1280, 800));
        QCOMPARE(window_->size(), QSize(1120, 720));
        QTableView* runs = table("runTableView_");
        QCOMPARE(runs->verticalScrollBar()->maximum(), 0);
        QCOMPARE(runs->horizontalScrollBar()->maximum(), 0);
        QVERIFY(runs->viewport()->height() > 6 * runs->verticalHeader()->defaultSectionSize());
        QVERIFY(child("loggingTextEdit_")->height() > 150);
        window_->resize(900, 650);
        window_->close();
        window_.reset();
        STEP(open(Shown));
        QCOMPARE(window_->size(), QSize(900, 650));
        Settings::instance().remove("MainWindow");
    }

    // The arrays list counts each array's detections and distinct tags (a tag not in the study
    // counts too); the sites list heads its names "Site"; beside each list of sites or releases
    // stand the arrays or release groups they are made of, of the selected ones or of all.
    void partsAndCounts()
    {
        STEP(open(Built));
        QCOMPARE(column("arraysTableView_", 1), QStringList({"A1", "A2", "A3", "A4"}));
        QCOMPARE(column("arraysTableView_", 5), QStringList({"4", "4", "4", "2"}));
        QCOMPARE(column("arraysTableView_", 6), QStringList({"3", "4", "4", "2"}));
        QAbstractItemModel* arrays = table("arraysTableView_")->model();
        QCOMPARE(arrays->headerData(5, Qt::Horizontal).toString(), "Detections");
        QCOMPARE(arrays->headerData(6, Qt::Horizontal).toString(), "Tags");
        QCOMPARE(table("definedSitesTableView_")->model()->headerData(1, Qt::Horizontal), "Site");

        const auto parts = [&](const char* view) {
            QAbstractItemModel* model = table(view)->model();
            QStringList rows;
            for (int row = 0; row < model->rowCount(); ++row) {
                QStringList cells;
                for (int column = 0; column < model->columnCount(); ++column)
                    cells << model->index(row, column).data().toString();
                rows << cells.join('|');
            }
            return rows;
        };
        QAbstractItemModelTester tester(table("sitePartsTableView_")->model(),
                                        QAbstractItemModelTester::FailureReportingMode::QtTest);
        showTab(2);
        QCOMPARE(parts("sitePartsTableView_"), QStringList({"A1|A1|450|2023", "A2|A2|400|2023",
                                                            "A3|A3|300|2023", "A4|A4|200|2023"}));
        STEP(selectNamed(table("definedSitesTableView_"), {"A3", "A1"}));
        QCOMPARE(parts("sitePartsTableView_"), QStringList({"A1|A1|450|2023", "A3|A3|300|2023"}));
        // A site of two arrays shows both; deleting the sites empties the list.
        STEP(selectRows(table("arraysTableView_"), {0, 1}));
        child<QLineEdit>("siteNameLineEdit_")->setText("Upper");
        click("createArrayButton_");
        STEP(selectNamed(table("definedSitesTableView_"), {"Upper"}));
        QCOMPARE(parts("sitePartsTableView_"),
                 QStringList({"Upper|A1|450|2023", "Upper|A2|400|2023"}));
        table("definedSitesTableView_")->selectAll();
        click("deleteSitesButton_");
        QCOMPARE(parts("sitePartsTableView_"), QStringList());

        showTab(1);
        QAbstractItemModelTester releaseTester(
            table("releasePartsTableView_")->model(),
            QAbstractItemModelTester::FailureReportingMode::QtTest);
        STEP(selectNamed(table("definedReleasesTableView_"), {"North"}));
        QCOMPARE(parts("releasePartsTableView_"), QStringList({"North|NORTH|500|CHN|2023|3"}));
        table("definedReleasesTableView_")->clearSelection();
        QCOMPARE(parts("releasePartsTableView_").size(), 3);
    }

    // The wizard's lists select as the builders' tables do: a click selects one row, Ctrl-click
    // adds one, Shift-click a range. Add Run says whose settings it starts from, and Clear
    // empties the pages.
    void wizardSelectionAndStart()
    {
        STEP(open(Built));
        RunDefWizard* wizard = window_->wizard();
        QCOMPARE(wizard->page(RunDefWizard::ReleasesPage)->subTitle().contains("groups appear in"),
                 true);
        auto* startingFrom = wizard->findChild<QLabel*>("startingFromLabel_");
        auto* clear = wizard->findChild<QPushButton*>("clearSettingsButton_");
        QStringList seen;
        QList<int> selected;
        const auto inWizard = [&](std::function<void()> work) {
            QTimer::singleShot(0, window_.get(), [&, work] {
                if (!wizard->isVisible())
                    return;
                work();
                wizard->reject();
            });
            click("addRunDefButton_");
            QCoreApplication::processEvents();
        };
        inWizard([&] {
            seen << (startingFrom->isVisible() ? startingFrom->text() : "hidden");
            wizard->next();
            wizard->next();
            QTableView* sites = wizard->sitesView();
            const auto clickRow = [&](int row, Qt::KeyboardModifiers modifiers) {
                const QRect rect = sites->visualRect(sites->model()->index(row, 1));
                QTest::mouseClick(sites->viewport(), Qt::LeftButton, modifiers, rect.center());
            };
            clickRow(0, Qt::NoModifier);
            clickRow(2, Qt::ShiftModifier);
            selected << window_->viewManager()->selectedRows(WizardSitesView).size();
            clickRow(3, Qt::ControlModifier);
            selected << window_->viewManager()->selectedRows(WizardSitesView).size();
            clickRow(1, Qt::NoModifier);
            selected << window_->viewManager()->selectedRows(WizardSitesView).size();
        });
        QCOMPARE(seen, QStringList({"hidden"}));
        QCOMPARE(selected, QList<int>({3, 4, 1}));

        STEP(defineRun("Spring", 1, {"North", "SOUTH CHN"}, {"A1", "A2", "A3", "A4"}));
        QString name;
        int releases = -1;
        inWizard([&] {
            seen << (startingFrom->isVisible() ? startingFrom->text() : "hidden");
            QVERIFY(clear->isVisible());
            clear->click();
            seen << (startingFrom->isVisible() ? startingFrom->text() : "hidden");
            name = wizard->findChild<QLineEdit*>("runNameLineEdit_")->text();
            releases = int(window_->viewManager()->selectedRows(WizardReleasesView).size());
        });
        QCOMPARE(seen,
                 QStringList({"hidden", "Starting from the settings of run Spring", "hidden"}));
        QCOMPARE(name, QString());
        QCOMPARE(releases, 0);
        // Editing shows no such line: the pages hold the run being edited.
        STEP(selectNamed(table("runTableView_"), {"Spring"}));
        QTimer::singleShot(0, window_.get(), [&] {
            seen << (startingFrom->isVisible() ? startingFrom->text() : "hidden");
            wizard->reject();
        });
        click("editRunDefButton_");
        QCOMPARE(seen.last(), "hidden");
    }

    // A run built through the builders and the wizard writes the console's file of the example.
    void sameFileAsConsole()
    {
        const QString simulation = dir_.filePath("simulation");
        const QDir example(KD_EXAMPLES_DIR "/study");
        QDirIterator files(example.filePath("data"), QDir::Files, QDirIterator::Subdirectories);
        while (files.hasNext()) {
            const QString target = simulation + "/" + example.relativeFilePath(files.next());
            QDir().mkpath(QFileInfo(target).path());
            QVERIFY(QFile::copy(files.filePath(), target));
        }
        QVERIFY(QFile::copy(example.filePath("config.txt"), simulation + "/config.txt"));
        QByteArray program("keldar"), folder = simulation.toLocal8Bit();
        char* argv[] = {program.data(), folder.data(), nullptr};
        std::FILE* console = std::tmpfile();
        CommandLine(2, argv, console, console).run();
        std::fclose(console);
        // The same with "intervals": "profile", in a folder of its own (the console replaces the
        // definitions of its database), before the window opens its own database.
        const QString profiledSimulation = dir_.filePath("profiled");
        QDirIterator again(example.filePath("data"), QDir::Files, QDirIterator::Subdirectories);
        while (again.hasNext()) {
            const QString target =
                profiledSimulation + "/" + example.relativeFilePath(again.next());
            QDir().mkpath(QFileInfo(target).path());
            QVERIFY(QFile::copy(again.filePath(), target));
        }
        QFile config(example.filePath("config.txt"));
        QVERIFY(config.open(QIODevice::ReadOnly));
        QByteArray text = config.readAll();
        QVERIFY(text.contains(R"("type": "survival",)"));
        text.replace(R"("type": "survival",)", R"("type": "survival", "intervals": "profile",)");
        QFile profiledConfig(profiledSimulation + "/config.txt");
        QVERIFY(profiledConfig.open(QIODevice::WriteOnly));
        profiledConfig.write(text);
        profiledConfig.close();
        QByteArray profiledFolder = profiledSimulation.toLocal8Bit();
        char* profiledArgv[] = {program.data(), profiledFolder.data(), nullptr};
        console = std::tmpfile();
        CommandLine(2, profiledArgv, console, console).run();
        std::fclose(console);
        const QString kavel = readText(simulation + "/results/all_sites_kavel.csv");
        const QString standard = readText(simulation + "/results/all_sites_standard.csv");
        QVERIFY(kavel != "<missing>" && standard != "<missing>");
        Settings::instance().setValue(Settings::DataDir, simulation + "/data");
        STEP(open(Loaded));
        QList<int> rows;
        const QStringList years = column("arraysTableView_", 3);
        for (int row = years.indexOf("2023"); row >= 0; row = years.indexOf("2023", row + 1))
            rows << row;
        QCOMPARE(rows.size(), 6);
        const QStringList releases = {"Canyon", "MillCreek", "Ferry"};
        STEP(build({{"CANYON", "CHN", "2023"}, {"MILLCK", "CHN", "2023"}, {"FERRY", "STH", "2023"}},
                   releases, rows));
        STEP(defineRun("all_sites", 0, releases, {"A1", "A2", "A3", "A4", "A5", "A6"}));
        STEP(start("runAction_"));
        QCOMPARE(readText(outDir_ + "/all_sites_KAVEL.csv"), kavel);
        wizard("editRunDefButton_", QString(), 1);
        STEP(start("runAction_"));
        QCOMPARE(readText(outDir_ + "/all_sites_Standard.csv"), standard);
        // A survival run writes the console's estimates, fit, marked and MARK files and shows
        // them in the results view.
        STEP(selectNamed(table("runTableView_"), {}));
        STEP(defineRun("lower_river", RunDefinition::Survival, releases, {"A3", "A4", "A5", "A6"}));
        STEP(selectNamed(table("runTableView_"), {"lower_river"}));
        STEP(start("runAction_"));
        for (const char* file : {"survival.csv", "fit.csv", "marked.csv", "mark.inp"}) {
            const QString console = readText(simulation + "/results/lower_river_" + file);
            QVERIFY2(console != "<missing>", file);
            const QString desktop = QString(file) == "survival.csv" ? "Survival.csv" : file;
            QCOMPARE(readText(outDir_ + "/lower_river_" + desktop), console);
        }
        QVERIFY(QImage(outDir_ + "/lower_river_survival.png").size() == QSize(1000, 600));
        QVERIFY(window_->survivalView() && window_->survivalView()->isVisible());
        QCOMPARE(window_->survivalView()->runName(), "lower_river");
        QCOMPARE(window_->survivalView()->result().releases.size(), 3);

        // With profile-likelihood intervals chosen, in a run of its own: the estimates file does
        // not name its run.
        window_->wizard()->findChild<QCheckBox*>("profileIntervalsCheckBox_")->setChecked(true);
        STEP(selectNamed(table("runTableView_"), {}));
        STEP(defineRun("profiled", RunDefinition::Survival, releases, {"A3", "A4", "A5", "A6"}));
        STEP(selectNamed(table("runTableView_"), {"profiled"}));
        STEP(start("runAction_"));
        const QString profiled = readText(profiledSimulation + "/results/lower_river_survival.csv");
        // Every row with an interval now has a profile interval, so the intervals changed.
        QVERIFY(profiled != "<missing>" && !profiled.contains(",,,"));
        QCOMPARE(readText(outDir_ + "/profiled_Survival.csv"), profiled);

        // The kilometre typed on Create places the release, as the configured one does on the
        // console, before the kilometre its tags record (477).
        QTableView* groups = table("releaseGroupsTableView_");
        showTab(1);
        STEP(selectRows(groups, {rowWith(groups, {"CANYON", "CHN", "2023"})}));
        child<QLineEdit>("releaseNameLineEdit_")->setText("CanyonTyped");
        child<QLineEdit>("releaseKmLineEdit_")->setText("490");
        click("createReleaseButton_");
        showTab(0);
        STEP(selectNamed(table("runTableView_"), {}));
        STEP(defineRun("typed_km", RunDefinition::Survival, {"CanyonTyped"},
                       {"A3", "A4", "A5", "A6"}));
        STEP(selectNamed(table("runTableView_"), {"typed_km"}));
        STEP(start("runAction_"));
        QCOMPARE(window_->survivalView()->runName(), "typed_km");
        QCOMPARE(window_->survivalView()->result().releases.value(0).riverKm, 490.0);
    }
};

int main(int argc, char** argv)
{
    // The user's own settings stay untouched; the zone has a daylight-saving gap.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    qputenv("TZ", "Europe/Berlin");
    kd::test::useOffscreenScreen(config.path(), 1280, 800);
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Vantor"));
    QCoreApplication::setApplicationName(QStringLiteral("Keldar"));
    Q_INIT_RESOURCE(icons);
    TestMainWindow test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_mainwindow.moc"
