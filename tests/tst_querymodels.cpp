#include "store/SQLiteDataProvider.h"
#include "ui/BasicQueryModel.h"
#include "ui/QueryModelCache.h"
#include "ui/QueryViewManager.h"
#include "ui/ViewKind.h"

#include <QHeaderView>
#include <QSqlError>
#include <QSqlQuery>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace kd;

class TestQueryModels : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void titles_data();
    void titles();
    void loadsShowFileNamesAndStoredTimes_data();
    void loadsShowFileNamesAndStoredTimes();
    void runsNeedReleasesAndSites();
    void rowOrder_data();
    void rowOrder();
    void selectionsFollowTheirOrder();
    void refreshSeesChanges();
    void modelsSurviveAChangeOfDatabase();

private:
    void exec(const QString& sql);
    QList<int> ids(int kind) const;
    QTableView* bind(int kind);

    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<SQLiteDataProvider> provider_;
    std::unique_ptr<QueryModelCache> cache_;
    std::unique_ptr<QueryViewManager> views_;
    std::vector<std::unique_ptr<QTableView>> tables_;
};

void TestQueryModels::init()
{
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    provider_ = std::make_unique<SQLiteDataProvider>(dir_->filePath(QStringLiteral("keldar.db")));
    QVERIFY(!provider_->hasError());
    cache_ = std::make_unique<QueryModelCache>();
    views_ = std::make_unique<QueryViewManager>(provider_.get(), cache_.get());
}

void TestQueryModels::cleanup()
{
    views_.reset();
    tables_.clear();
    cache_.reset();
    provider_.reset();
    dir_.reset();
}

void TestQueryModels::exec(const QString& sql)
{
    QSqlQuery query;
    QVERIFY2(query.exec(sql), qPrintable(query.lastError().text()));
}

QTableView* TestQueryModels::bind(int kind)
{
    tables_.push_back(std::make_unique<QTableView>());
    views_->bind(kind, tables_.back().get());
    return tables_.back().get();
}

QList<int> TestQueryModels::ids(int kind) const
{
    QList<int> result;
    QAbstractItemModel* model = views_->view(kind)->model();
    for (int row = 0; row < model->rowCount(); ++row)
        result.append(model->index(row, 0).data().toInt());
    return result;
}

void TestQueryModels::titles_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QStringList>("titles");
    QTest::newRow("loads") << int(LoadsView)
                           << QStringList{"#", "Data Type", "File", "Load Date",
                                          "File Modified Date"};
    QTest::newRow("runs") << int(RunsView)
                          << QStringList{"#", "Name", "Format", "Releases", "Sites"};
    QTest::newRow("release groups")
        << int(ReleaseGroupsView) << QStringList{"#",       "Release Location", "Release River KM",
                                                 "Species", "Tag Year",         "Release Count"};
}

void TestQueryModels::titles()
{
    QFETCH(int, kind);
    QFETCH(QStringList, titles);
    QTableView* view = bind(kind);
    QAbstractItemModel* model = view->model();
    QCOMPARE(model->columnCount(), titles.size());
    for (int column = 0; column < titles.size(); ++column)
        QCOMPARE(model->headerData(column, Qt::Horizontal).toString(), titles.at(column));
    QVERIFY(view->isColumnHidden(0));
    QVERIFY(view->horizontalHeader()->stretchLastSection());
    QCOMPARE(view->selectionBehavior(), QAbstractItemView::SelectRows);
}

void TestQueryModels::loadsShowFileNamesAndStoredTimes_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("loadDate");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("shownDate");

    QTest::newRow("windows path") << "C:/data/tags.csv"
                                  << "2023-05-01T10:20:30.123"
                                  << "tags.csv"
                                  << "2023-05-01 10:20:30";
    // 02:30 on that day does not exist in the zone of this test: it must not be shifted.
    QTest::newRow("skipped hour") << "/study/a/events.csv"
                                  << "2023-03-26T02:30:00.000"
                                  << "events.csv"
                                  << "2023-03-26 02:30:00";
    QTest::newRow("utc") << "nodes.csv"
                         << "2023-03-26T01:15:00.000Z"
                         << "nodes.csv"
                         << "2023-03-26 01:15:00";
    QTest::newRow("unreadable") << "x.csv"
                                << "yesterday"
                                << "x.csv"
                                << "yesterday";
}

void TestQueryModels::loadsShowFileNamesAndStoredTimes()
{
    QFETCH(QString, path);
    QFETCH(QString, loadDate);
    QFETCH(QString, file);
    QFETCH(QString, shownDate);
    exec(QStringLiteral("insert into loads (model, file_path, load_date, file_date) values "
                        "('tags', '%1', '%2', '%2')")
             .arg(path, loadDate));
    QTableView* view = bind(LoadsView);
    QAbstractItemModel* model = view->model();
    QCOMPARE(model->rowCount(), 1);
    QCOMPARE(model->index(0, 1).data().toString(), QStringLiteral("tags"));
    QCOMPARE(model->index(0, 2).data().toString(), file);
    QCOMPARE(model->index(0, 3).data().toString(), shownDate);
    QCOMPARE(model->index(0, 4).data().toString(), shownDate);
    // Only the display is changed; the stored path stays available to other roles' users.
    QCOMPARE(views_->record(LoadsView, 0).value("file_path").toString(), path);
}

void TestQueryModels::runsNeedReleasesAndSites()
{
    exec("insert into releases (id, name) values (1, 'North'), (2, 'South')");
    exec("insert into sites (id, name) values (1, 'A1'), (2, 'A2')");
    exec("insert into runs (id, name, format) values (1, 'both', 'Standard'), "
         "(2, 'no sites', 'KAVEL')");
    exec("insert into releases_runs (release_id, run_id) values (1, 1), (2, 1), (1, 2)");
    exec("insert into runs_sites (site_id, run_id) values (1, 1), (2, 1)");

    QTableView* view = bind(RunsView);
    QAbstractItemModel* model = view->model();
    QCOMPARE(model->columnCount(), 5);
    QCOMPARE(model->rowCount(), 1);
    QCOMPARE(model->index(0, 1).data().toString(), QStringLiteral("both"));
    QCOMPARE(model->index(0, 2).data().toString(), QStringLiteral("Standard"));
    QStringList releases = model->index(0, 3).data().toString().split(',');
    releases.sort();
    QCOMPARE(releases, QStringList({"North", "South"}));
}

void TestQueryModels::rowOrder_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QList<int>>("order");
    QTest::newRow("arrays by km, highest first") << int(ArraysView) << QList<int>{2, 3, 1};
    QTest::newRow("release groups by id") << int(ReleaseGroupsView) << QList<int>{1, 2, 3};
    QTest::newRow("sites by km, highest first") << int(SitesView) << QList<int>{3, 1, 2};
    QTest::newRow("releases by km, highest first") << int(ReleasesView) << QList<int>{2, 1, 3};
}

void TestQueryModels::rowOrder()
{
    QFETCH(int, kind);
    QFETCH(QList<int>, order);
    exec("insert into arrays (id, location, river_kilometer) values (1, 'C', 100), "
         "(2, 'A', 300), (3, 'B', 250)");
    exec("insert into release_groups (id, release_location, release_location_river_kilometer) "
         "values (1, 'Z', 10), (2, 'Y', 30), (3, 'X', 20)");
    exec("insert into sites (id, name, river_kilometer) values (1, 'S1', 200), (2, 'S2', 50), "
         "(3, 'S3', 400)");
    exec("insert into releases (id, name, release_location_river_kilometer) values "
         "(1, 'R1', 20), (2, 'R2', 90), (3, 'R3', 5)");
    bind(kind);
    QCOMPARE(ids(kind), order);
}

void TestQueryModels::selectionsFollowTheirOrder()
{
    exec("insert into arrays (id, location, river_kilometer) values (1, 'C', 100), "
         "(2, 'A', 300), (3, 'B', 250)");
    QTableView* view = bind(ArraysView);
    QVERIFY(views_->selectedIds(ArraysView).isEmpty());
    QVERIFY(views_->selectedRows(ArraysView).isEmpty());

    // Rows by km: 0 = id 2, 1 = id 3, 2 = id 1. Selected last row first.
    const auto selectRow = [view](int row) {
        view->selectionModel()->select(view->model()->index(row, 1),
                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
    };
    selectRow(2);
    selectRow(0);
    QCOMPARE(views_->selectedRows(ArraysView), QList<int>({2, 0}));
    QCOMPARE(views_->selectedIds(ArraysView), QList<int>({1, 2}));
    QCOMPARE(views_->record(ArraysView, 2).value("location").toString(), QStringLiteral("C"));

    views_->selectById(ArraysView, 3);
    QCOMPARE(views_->selectedIds(ArraysView), QList<int>({1, 2, 3}));
    views_->selectById(ArraysView, 99);
    QCOMPARE(views_->selectedIds(ArraysView).size(), 3);

    views_->selectAll(ArraysView, false);
    QVERIFY(views_->selectedIds(ArraysView).isEmpty());
    views_->selectAll(ArraysView, true);
    QCOMPARE(views_->selectedIds(ArraysView), QList<int>({2, 3, 1}));

    // An unbound kind has no selection and no record.
    QVERIFY(views_->selectedIds(SitesView).isEmpty());
    QVERIFY(views_->record(SitesView, 0).isEmpty());
}

void TestQueryModels::refreshSeesChanges()
{
    QTableView* view = bind(SitesView);
    QCOMPARE(view->model()->rowCount(), 0);
    exec("insert into sites (name, river_kilometer) values ('S1', 10)");
    QCOMPARE(view->model()->rowCount(), 0);
    views_->refresh(SitesView);
    QCOMPARE(view->model()->rowCount(), 1);

    // A second binding of a kind does not take the model away from the first view.
    QTableView other;
    views_->bind(SitesView, &other);
    QCOMPARE(views_->view(SitesView), view);
    QVERIFY(other.model() == nullptr);
}

void TestQueryModels::modelsSurviveAChangeOfDatabase()
{
    QTest::failOnWarning(QRegularExpression(QStringLiteral("still in use")));
    exec("insert into sites (name, river_kilometer) values ('old', 10)");
    QTableView* view = bind(SitesView);
    QCOMPARE(view->model()->rowCount(), 1);
    QAbstractItemModel* model = view->model();
    QItemSelectionModel* selection = view->selectionModel();

    views_.reset();
    cache_->releaseQueries();
    provider_.reset();
    QTemporaryDir other;
    provider_ = std::make_unique<SQLiteDataProvider>(other.filePath(QStringLiteral("keldar.db")));
    QVERIFY(!provider_->hasError());
    exec("insert into sites (name, river_kilometer) values ('new', 1), ('newer', 2)");
    views_ = std::make_unique<QueryViewManager>(provider_.get(), cache_.get());
    views_->bind(SitesView, view);

    QCOMPARE(view->model(), model);
    QCOMPARE(view->selectionModel(), selection);
    QCOMPARE(model->rowCount(), 2);
    QCOMPARE(model->index(0, 1).data().toString(), QStringLiteral("newer"));
    views_.reset();
    cache_->releaseQueries();
    provider_.reset();
}

int main(int argc, char** argv)
{
    // A zone with daylight saving, so that a shift of wall-clock times would show.
    qputenv("TZ", "Europe/Berlin");
    QApplication app(argc, argv);
    TestQueryModels test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_querymodels.moc"
