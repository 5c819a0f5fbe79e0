#include "TestSupport.h"
#include "base/DateTimeText.h"
#include "base/Settings.h"
#include "store/DataProvider.h"
#include "ui/Dialogs.h"
#include "ui/MainWindow.h"
#include "ui/QueryViewManager.h"
#include "ui/RunDefWizard.h"
#include "ui/ViewKind.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QtTest>
#include <QtWidgets>

#include <memory>

using namespace kd;
using namespace kd::test;

namespace {

struct SilentDialogs : Dialogs
{
    QStringList criticals;
    void critical(QWidget*, const QString&, const QString& text) override { criticals << text; }
    bool confirm(QWidget*, const QString&, const QString&) override { return true; }
    QString existingDirectory(QWidget*, const QString&, const QString&) override { return {}; }
    QString saveFileName(QWidget*, const QString&, const QString&, const QString&) override
    {
        return {};
    }
};

// Three fish of one release seen at A1 (km 450) and A2 (km 400). The first detections lie a
// second before, at, or after the bounds of May 2023; T3 comes back as an adult two years later.
void writeStudy(const QString& dir)
{
    QString tags = "tag_code,tagger_name_xlat,bucket,lot,species_code_xlat,length,weight,pit_code,"
                   "fish_tag_date,tag_activate_date,tag_release_date,release_location,"
                   "release_location_xlat,release_location_river_kilometer,"
                   "release_location_latitude,release_location_longitude,mort_xlat,pri\n";
    for (const char* tag : {"T1", "T2", "T3"})
        tags += QString(tag) + ",ann,2,7,CHN,150,30,P,,2023-04-01 08:00:00,2023-04-02 09:00:00,"
                               "NORTH,North bank,500,45,-122,0,\n";
    writeFile(dir + "/tags.csv", tags);
    writeFile(dir + "/nodes.csv",
              "node_code,latitude,longitude,river_kilometer,location,location_xlat,deploy_date,"
              "recovery_date,elev_or_depth\n"
              "N1,45,-122,450,A1,A1a,2023-03-01 00:00:00,2023-09-01 00:00:00,3\n"
              "N2,45,-122,400,A2,A2a,2023-03-01 00:00:00,2023-09-01 00:00:00,3\n");
    writeFile(dir + "/events.csv",
              "node_code,tag_code,first_computed_datetime,last_computed_datetime,hits\n"
              "N1,T1,2023-04-30 23:59:59,2023-04-30 23:59:59,3\n"
              "N2,T1,2023-05-01 00:00:00,2023-05-01 00:05:00,2\n"
              "N1,T2,2023-05-31 23:59:59,2023-05-31 23:59:59,4\n"
              "N2,T2,2023-06-01 00:00:00,2023-06-01 00:01:00,1\n"
              "N1,T3,2025-05-10 12:00:00,2025-05-10 12:01:00,2\n");
}

const char* const MayStart = "2023-05-01 00:00:00";
const char* const MayEnd = "2023-05-31 23:59:59";

} // namespace

class TestRunDefWizard : public QObject
{
    Q_OBJECT

    QTemporaryDir dir_;
    QString dataDir_, outDir_;
    std::unique_ptr<MainWindow> window_;
    // What the wizard said under the window's fields once they were typed.
    QString typedProblem_;

    template <typename T = QWidget>
    T* child(QObject* parent, const char* name) const
    {
        T* found = parent->findChild<T*>(QString::fromLatin1(name));
        return found ? found : (qFatal("no child %s", name), nullptr);
    }
    QLineEdit* windowEdit(const char* bound) const
    {
        return child<QLineEdit>(window_->wizard(), bound == QLatin1String("start")
                                                       ? "windowStartLineEdit_"
                                                       : "windowEndLineEdit_");
    }
    QStringList runNames() const
    {
        QStringList names;
        QAbstractItemModel* model = child<QTableView>(window_.get(), "runTableView_")->model();
        for (int row = 0; row < model->rowCount(); ++row)
            names << model->index(row, 1).data().toString();
        return names;
    }
    void selectRun(const QString& name)
    {
        const int row = runNames().indexOf(name);
        QVERIFY2(row >= 0, qPrintable(name));
        auto* view = child<QTableView>(window_.get(), "runTableView_");
        view->clearSelection();
        view->selectRow(row);
    }
    int selectedRun() const
    {
        const QList<int> ids = window_->viewManager()->selectedIds(RunsView);
        return ids.isEmpty() ? -1 : ids.first();
    }
    // The stored bounds of a run, as "start|end".
    QString storedWindow(int id) const
    {
        const RunDefinition run = window_->dataProvider()->runDefinition(id);
        return DateTimeText::format(run.windowStart) + '|' + DateTimeText::format(run.windowEnd);
    }

    // A window on the study's database, loaded, with the release and both sites built.
    void open(bool load = true)
    {
        window_ = std::make_unique<MainWindow>();
        window_->setDialogs(std::make_unique<SilentDialogs>());
        window_->show();
        QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
        if (!load)
            return;
        QSignalSpy finished(window_.get(), &MainWindow::sequenceFinished);
        child<QAbstractButton>(window_.get(), "loadDataButton_")->click();
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 60000);
        QVERIFY(window_->hasData());
        window_->viewManager()->selectAll(ReleaseGroupsView, true);
        child<QAbstractButton>(window_.get(), "bulkAddReleasesButton_")->click();
        window_->viewManager()->selectAll(ArraysView, true);
        child<QAbstractButton>(window_.get(), "bulkAddArrayButton_")->click();
    }

    // Opens the wizard with the button, chooses the format (a null one is left as shown),
    // types the bounds given (null ones are left as they are; each typed over a bad value
    // first, so that a stale red border would show), selects every release and site, and
    // finishes when Finish is enabled. Returns the title and review.
    QString wizard(const char* button, const QString& name, const QString& start = QString(),
                   const QString& end = QString(),
                   const QString& format = QStringLiteral("Standard"))
    {
        QString review = QStringLiteral("<not shown>");
        QTimer::singleShot(0, window_.get(), [&] {
            RunDefWizard* wizard = window_->wizard();
            if (!wizard->isVisible())
                return;
            if (!name.isNull())
                child<QLineEdit>(wizard, "runNameLineEdit_")->setText(name);
            auto* formats = child<QComboBox>(wizard, "outputTypeComboBox_");
            if (!format.isNull())
                formats->setCurrentIndex(formats->findText(format));
            for (const auto& [bound, text] : {std::pair("start", start), std::pair("end", end)}) {
                if (!text.isNull()) {
                    windowEdit(bound)->setText("x");
                    windowEdit(bound)->setText(text);
                }
            }
            auto* problem = child<QLabel>(wizard, "windowProblemLabel_");
            typedProblem_ = problem->isVisible() ? problem->text() : QString();
            wizard->next();
            wizard->releasesView()->selectAll();
            wizard->next();
            wizard->sitesView()->selectAll();
            wizard->next();
            review = wizard->windowTitle() + '\n' +
                     child<QTextEdit>(wizard, "summaryTextEdit_")->toPlainText().trimmed();
            QAbstractButton* finish = wizard->button(QWizard::FinishButton);
            finish->isEnabled() ? finish->click() : wizard->reject();
        });
        child<QAbstractButton>(window_.get(), button)->click();
        QCoreApplication::processEvents();
        return review;
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

    void boundsAreChecked_data()
    {
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("end");
        QTest::addColumn<QString>("shown");   // the review's window row; empty: no row
        QTest::addColumn<QString>("message"); // empty: the run is added with its bounds
        QTest::addColumn<QString>("red");     // start, end or both
        const QString notDate = "%1 is not a date-time (yyyy-MM-dd hh:mm:ss).";
        QTest::newRow("open") << ""
                              << ""
                              << ""
                              << ""
                              << "";
        QTest::newRow("blanks only") << "  "
                                     << " "
                                     << ""
                                     << ""
                                     << "";
        QTest::newRow("both bounds")
            << MayStart << MayEnd << "2023-05-01 00:00:00 to 2023-05-31 23:59:59"
            << ""
            << "";
        QTest::newRow("start only") << MayStart << ""
                                    << "2023-05-01 00:00:00 to open"
                                    << ""
                                    << "";
        QTest::newRow("end only") << "" << MayEnd << "open to 2023-05-31 23:59:59"
                                  << ""
                                  << "";
        QTest::newRow("equal bounds") << MayEnd << " 2023-05-31 23:59:59 "
                                      << "2023-05-31 23:59:59 to 2023-05-31 23:59:59"
                                      << ""
                                      << "";
        QTest::newRow("start without time")
            << "2023-05-01" << MayEnd << "2023-05-01 to 2023-05-31 23:59:59"
            << notDate.arg("Window start") << "start";
        QTest::newRow("start on 31 April")
            << "2023-04-31 00:00:00"
            << ""
            << "2023-04-31 00:00:00 to open" << notDate.arg("Window start") << "start";
        QTest::newRow("end with T")
            << ""
            << "2023-05-31T23:59:59"
            << "open to 2023-05-31T23:59:59" << notDate.arg("Window end") << "end";
        QTest::newRow("end in words")
            << MayStart << "June"
            << "2023-05-01 00:00:00 to June" << notDate.arg("Window end") << "end";
        QTest::newRow("start a second after end")
            << "2023-06-01 00:00:00" << MayEnd << "2023-06-01 00:00:00 to 2023-05-31 23:59:59"
            << "The window starts after it ends."
            << "both";
    }
    // A bound that cannot be read or a window that ends before it starts is shown red and
    // refused in the review, under its red heading; any other window is stored with the run.
    void boundsAreChecked()
    {
        QFETCH(QString, start);
        QFETCH(QString, end);
        QFETCH(QString, shown);
        QFETCH(QString, message);
        QFETCH(QString, red);
        STEP(open());
        const QString review = wizard("addRunDefButton_", "W", start, end);
        QString expected = "Add Run Definition\n";
        if (!message.isEmpty())
            expected += "Error\nRun definition is not complete: " + message + "\n";
        expected +=
            "Run Summary\n\nName:\nW\nFormat:\nStandard\nReleases:\nNORTH CHN\nSites:\nA1,A2";
        if (!shown.isEmpty())
            expected += "\nDetection window:\n" + shown;
        QCOMPARE(review, expected);
        QCOMPARE(windowEdit("start")->styleSheet(),
                 red == "start" || red == "both" ? "border: 1px solid red" : "");
        QCOMPARE(windowEdit("end")->styleSheet(),
                 red == "end" || red == "both" ? "border: 1px solid red" : "");
        // The reason shows under the fields as they are typed, before the review.
        QCOMPARE(typedProblem_, message);
        QCOMPARE(runNames(), message.isEmpty() ? QStringList("W") : QStringList());
        if (message.isEmpty()) {
            QCOMPARE(storedWindow(selectedRun()), start.trimmed() + '|' + end.trimmed());
            // The runs table shows the window as the review did.
            auto* runs = child<QTableView>(window_.get(), "runTableView_");
            QCOMPARE(runs->model()->headerData(5, Qt::Horizontal).toString(), "Window");
            QCOMPARE(runs->model()->index(0, 5).data().toString(), shown);
        }
    }

    void editShowsStoredWindow_data()
    {
        QTest::addColumn<QString>("origin"); // wizard, store or older database
        QTest::newRow("added in the wizard") << "wizard";
        QTest::newRow("added to the store") << "store";
        QTest::newRow("older database") << "older";
    }
    // Edit Run opens with the run's stored bounds, also after another run's window was typed,
    // and hands them back; Add Run opens with what was typed last. A database of the version
    // before windows keeps its runs and data and takes windows.
    void editShowsStoredWindow()
    {
        QFETCH(QString, origin);
        STEP(open());
        RunDefinition plain;
        plain.name = "Plain";
        plain.format = RunDefinition::Standard;
        {
            QSqlQuery ids;
            QVERIFY(ids.exec("SELECT (SELECT id FROM releases), (SELECT group_concat(id) FROM "
                             "sites)") &&
                    ids.next());
            plain.releaseIds = {ids.value(0).toInt()};
            for (const QString& id : ids.value(1).toString().split(','))
                plain.siteIds << id.toInt();
        }
        QVERIFY(window_->dataProvider()->addRun(plain) > 0);
        if (origin == "older") {
            // The window columns go, as in a database of the earlier version.
            window_.reset();
            {
                QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "older");
                db.setDatabaseName(dataDir_ + "/keldar.db");
                QVERIFY(db.open());
                QSqlQuery query(db);
                QVERIFY(query.exec("ALTER TABLE runs DROP COLUMN window_start"));
                QVERIFY(query.exec("ALTER TABLE runs DROP COLUMN window_end"));
                QVERIFY(!db.record("runs").contains("window_end"));
            }
            QSqlDatabase::removeDatabase("older");
            STEP(open(false));
            QVERIFY(window_->hasData());
            QCOMPARE(runNames(), QStringList("Plain"));
            STEP(selectRun("Plain"));
            wizard("editRunDefButton_", "Windowed", MayStart, MayEnd);
        } else if (origin == "store") {
            RunDefinition windowed = plain;
            windowed.name = "Windowed";
            windowed.windowStart = DateTimeText::parseStrict(QString(MayStart));
            windowed.windowEnd = DateTimeText::parseStrict(QString(MayEnd));
            QVERIFY(window_->dataProvider()->addRun(windowed) > 0);
            window_->viewManager()->refresh(RunsView);
        } else {
            wizard("addRunDefButton_", "Windowed", MayStart, MayEnd);
        }
        QCOMPARE(runNames().filter("Windowed"), QStringList("Windowed"));

        const QString window = QString(MayStart) + '|' + MayEnd;
        if (origin != "older") {
            // Plain's empty bounds replace the ones typed for Windowed.
            STEP(selectRun("Plain"));
            QVERIFY(wizard("editRunDefButton_", QString()).endsWith("Sites:\nA1,A2"));
            QCOMPARE(windowEdit("start")->text() + '|' + windowEdit("end")->text(), "|");
            QCOMPARE(storedWindow(selectedRun()), "|");
        }
        STEP(selectRun("Windowed"));
        QVERIFY(wizard("editRunDefButton_", QString())
                    .endsWith("\nDetection window:\n2023-05-01 00:00:00 to 2023-05-31 23:59:59"));
        QCOMPARE(windowEdit("start")->text() + '|' + windowEdit("end")->text(), window);
        QCOMPARE(storedWindow(selectedRun()), window);
        QVERIFY(wizard("addRunDefButton_", "Copy").endsWith(" to 2023-05-31 23:59:59"));
        QCOMPARE(storedWindow(selectedRun()), window);
    }

    void formatRoundTrip_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<int>("code");
        QTest::newRow("KAVEL") << "KAVEL" << int(RunDefinition::Kavel);
        QTest::newRow("Standard") << "Standard" << int(RunDefinition::Standard);
        QTest::newRow("Survival") << "Survival" << int(RunDefinition::Survival);
    }
    // The wizard offers the three formats; the one chosen is reviewed, stored with its code,
    // shown in the runs table and shown again by Edit Run, which keeps it.
    void formatRoundTrip()
    {
        QFETCH(QString, format);
        QFETCH(int, code);
        STEP(open());
        QStringList offered;
        auto* formats = child<QComboBox>(window_->wizard(), "outputTypeComboBox_");
        for (int i = 0; i < formats->count(); ++i)
            offered << formats->itemText(i);
        QCOMPARE(offered, QStringList({"KAVEL", "Standard", "Survival"}));

        const QString shown = "\nFormat:\n" + format + "\nReleases:";
        QString review = wizard("addRunDefButton_", "F", {}, {}, format);
        QVERIFY2(review.contains(shown), qPrintable(review));
        QCOMPARE(runNames(), QStringList("F"));
        const int id = selectedRun();
        QCOMPARE(window_->dataProvider()->runDefinition(id).format, code);
        QAbstractItemModel* runs = child<QTableView>(window_.get(), "runTableView_")->model();
        QCOMPARE(runs->index(0, 2).data().toString(), format);

        // Shown in another format first, so that Edit Run must set it.
        formats->setCurrentIndex(formats->findText(format == "KAVEL" ? "Survival" : "KAVEL"));
        STEP(selectRun("F"));
        review = wizard("editRunDefButton_", QString(), {}, {}, QString());
        QVERIFY2(review.contains(shown), qPrintable(review));
        QCOMPARE(formats->currentText(), format);
        QCOMPARE(window_->dataProvider()->runDefinition(selectedRun()).format, code);
    }

    // The intervals box is for survival runs: stored with the run, reviewed, shown again by
    // Edit Run; for another format it is off and nothing is stored.
    void profileIntervalsRoundTrip()
    {
        STEP(open());
        auto* box = child<QCheckBox>(window_->wizard(), "profileIntervalsCheckBox_");
        box->setChecked(true);
        QString review = wizard("addRunDefButton_", "P", {}, {}, "Survival");
        QVERIFY2(review.contains("\nFormat:\nSurvival, profile-likelihood intervals\nReleases:"),
                 qPrintable(review));
        QVERIFY(box->isEnabled());
        QVERIFY(window_->dataProvider()->runDefinition(selectedRun()).profileIntervals);

        review = wizard("addRunDefButton_", "S", {}, {}, "Standard");
        QVERIFY2(review.contains("\nFormat:\nStandard\nReleases:"), qPrintable(review));
        QVERIFY(!box->isEnabled());
        QVERIFY(!window_->dataProvider()->runDefinition(selectedRun()).profileIntervals);

        box->setChecked(false);
        STEP(selectRun("P"));
        review = wizard("editRunDefButton_", QString(), {}, {}, QString());
        QVERIFY(box->isChecked());
        QVERIFY(window_->dataProvider()->runDefinition(selectedRun()).profileIntervals);
    }

    void windowedFile_data()
    {
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("end");
        QTest::addColumn<QStringList>("fish"); // per fish, its columns from A1 on
        // The codes at A1 and A2, then the first and last times at each.
        const auto fish = [](const QString& a1, const QString& a2) {
            return QStringLiteral("%1,%2,%3,%4")
                .arg(a1.isEmpty() ? "0" : "1", a2.isEmpty() ? "0" : "1", a1.isEmpty() ? "," : a1,
                     a2.isEmpty() ? "," : a2);
        };
        const QString t1a1 = "2023-04-30 23:59:59,2023-04-30 23:59:59",
                      t1a2 = "2023-05-01 00:00:00,2023-05-01 00:05:00",
                      t2a1 = "2023-05-31 23:59:59,2023-05-31 23:59:59",
                      t2a2 = "2023-06-01 00:00:00,2023-06-01 00:01:00",
                      t3a1 = "2025-05-10 12:00:00,2025-05-10 12:01:00";
        QTest::newRow("no window")
            << ""
            << "" << QStringList({fish(t1a1, t1a2), fish(t2a1, t2a2), fish(t3a1, "")});
        QTest::newRow("May") << MayStart << MayEnd
                             << QStringList({fish("", t1a2), fish(t2a1, ""), fish("", "")});
        QTest::newRow("from May") << MayStart << ""
                                  << QStringList(
                                         {fish("", t1a2), fish(t2a1, t2a2), fish(t3a1, "")});
        QTest::newRow("until May")
            << "" << MayEnd << QStringList({fish(t1a1, t1a2), fish(t2a1, ""), fish("", "")});
    }
    // A run keeps only the events whose first detection lies within its window, bounds
    // included; its fish stay in the file.
    void windowedFile()
    {
        QFETCH(QString, start);
        QFETCH(QString, end);
        QFETCH(QStringList, fish);
        STEP(open());
        wizard("addRunDefButton_", "Juvenile", start, end);
        STEP(selectRun("Juvenile"));
        QSignalSpy finished(window_.get(), &MainWindow::sequenceFinished);
        window_->findChild<QAction*>("runAction_")->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 60000);
        QString expected = "release_name,lot,tag_code,tag_activate_date,tag_release_date,"
                           "tagger_name_xlat,bucket,length,weight,A1,A2,A1_first,A1_last,"
                           "A2_first,A2_last";
        for (int i = 0; i < fish.size(); ++i)
            expected += QStringLiteral("\nNORTH CHN,7,T%1,2023-04-01 08:00:00,2023-04-02 09:00:00,"
                                       "ann,2,150,30,")
                            .arg(i + 1) +
                        fish[i];
        QCOMPARE(readText(outDir_ + "/Juvenile_Standard.csv"), expected);
    }
};

int main(int argc, char** argv)
{
    // The user's own settings stay untouched; the zone has a daylight-saving gap.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    qputenv("TZ", "Europe/Berlin");
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Vantor"));
    QCoreApplication::setApplicationName(QStringLiteral("Keldar"));
    TestRunDefWizard test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_rundefwizard.moc"
