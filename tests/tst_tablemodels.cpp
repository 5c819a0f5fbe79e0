#include "TestSupport.h"
#include "loader/DataLoader.h"
#include "store/SQLiteDataProvider.h"
#include "ui/BasicQueryModel.h"
#include "ui/QueryModelCache.h"
#include "ui/QueryModelDataProvider.h"
#include "ui/ViewKind.h"

#include <QAbstractItemModelTester>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace kd;
using namespace kd::test;

namespace {

QList<int> ids(const QString& table)
{
    QList<int> result;
    QSqlQuery query(QStringLiteral("SELECT id FROM %1 ORDER BY id").arg(table));
    while (query.next())
        result.append(query.value(0).toInt());
    return result;
}

// The display texts of a row from the second column on, joined by '|'.
QString rowText(const QAbstractItemModel& model, int row)
{
    QStringList cells;
    for (int column = 1; column < model.columnCount(); ++column)
        cells << model.index(row, column).data().toString();
    return cells.join(QLatin1Char('|'));
}

} // namespace

// The models of the window's table views, on a loaded study, under the model tester: through
// the first query, a requery after the store changed, and the release before the connection
// closes.
class TestTableModels : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void modelsPassTheTester_data();
    void modelsPassTheTester();

private:
    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<SQLiteDataProvider> provider_;
    std::unique_ptr<QueryModelCache> cache_;
};

void TestTableModels::init()
{
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    const QString data = dir_->filePath(QStringLiteral("data"));
    writeFile(data + QStringLiteral("/tags.csv"),
              TagsHeader + "\n" + tagLine("T1") + "\n" + tagLine("T2", "REL2") + "\n");
    const QByteArray nodes = "N1,1,2,100,A1,up,2021-01-01 00:00:00,,\n"
                             "N2,1,2,50,A2,up,2021-01-01 00:00:00,,\n";
    const QByteArray events = "N1,T1,2021-04-03 10:00:00,2021-04-03 11:00:00,4\n"
                              "N2,T1,2021-04-04 10:00:00,2021-04-04 10:30:00,2\n";
    writeFile(data + QStringLiteral("/nodes.csv"), NodesHeader + "\n" + nodes);
    writeFile(data + QStringLiteral("/events.csv"), EventsHeader + "\n" + events);
    provider_ = std::make_unique<SQLiteDataProvider>(dir_->filePath(QStringLiteral("keldar.db")));
    QVERIFY(!provider_->hasError());
    DataLoader loader(provider_.get());
    loader.setDataDir(data);
    QVERIFY(loader.load());
    const QList<int> groups = ids(QStringLiteral("release_groups"));
    const QList<int> arrays = ids(QStringLiteral("arrays"));
    QCOMPARE(groups.size(), 2);
    QCOMPARE(arrays.size(), 2);
    provider_->addRelease(QStringLiteral("Upper"), 120, {groups[0]});
    provider_->addSite(QStringLiteral("A1"), 100, {arrays[0]});
    provider_->addSite(QStringLiteral("A2"), 50, {arrays[1]});
    RunDefinition run;
    run.name = QStringLiteral("Spring");
    run.format = RunDefinition::Standard;
    run.releaseIds = ids(QStringLiteral("releases"));
    run.siteIds = ids(QStringLiteral("sites"));
    QVERIFY(provider_->addRun(run) > 0);
    cache_ = std::make_unique<QueryModelCache>();
}

void TestTableModels::cleanup()
{
    // The models let go of the connection before the store closes it.
    if (cache_)
        cache_->releaseQueries();
    cache_.reset();
    provider_.reset();
    dir_.reset();
}

void TestTableModels::modelsPassTheTester_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("rows");
    QTest::addColumn<QString>("firstRow"); // the first row's texts (see rowText); loads: a prefix
    QTest::addColumn<int>("rowsAfter");    // after the store has changed

    QTest::newRow("loads") << int(LoadsView) << 3 << QStringLiteral("tags|tags.csv|") << 3;
    QTest::newRow("runs") << int(RunsView) << 1 << QStringLiteral("Spring|Standard|Upper|A1,A2||")
                          << 2;
    QTest::newRow("releases") << int(ReleasesView) << 1 << QStringLiteral("Upper|120") << 2;
    QTest::newRow("sites") << int(SitesView) << 2 << QStringLiteral("A1|100") << 2;
    QTest::newRow("release groups")
        << int(ReleaseGroupsView) << 2 << QStringLiteral("REL1|120|CHN|2021|1") << 2;
    QTest::newRow("arrays") << int(ArraysView) << 2 << QStringLiteral("A1|100|2021|1|1|1") << 2;
    QTest::newRow("wizard releases")
        << int(WizardReleasesView) << 1 << QStringLiteral("Upper|120") << 2;
    QTest::newRow("wizard sites") << int(WizardSitesView) << 2 << QStringLiteral("A1|100") << 2;
}

void TestTableModels::modelsPassTheTester()
{
    QFETCH(int, kind);
    QFETCH(int, rows);
    QFETCH(QString, firstRow);
    QFETCH(int, rowsAfter);

    BasicQueryModel* model =
        cache_->model(kind, provider_->tableName(QueryModelDataProvider::tableOfKind(kind)));
    QVERIFY(model);
    // Watches every signal of the model from before its first query.
    QAbstractItemModelTester tester(model, QAbstractItemModelTester::FailureReportingMode::QtTest);

    model->refresh();
    QCOMPARE(model->rowCount(), rows);
    const QString first = rowText(*model, 0);
    QVERIFY2(kind == LoadsView ? first.startsWith(firstRow) : first == firstRow, qPrintable(first));

    // A second release and run: the requery resets the model with the new rows.
    provider_->addRelease(QStringLiteral("Lower"), 110, {ids(QStringLiteral("release_groups"))[1]});
    RunDefinition run;
    run.name = QStringLiteral("Fall");
    run.format = RunDefinition::Kavel;
    run.releaseIds = ids(QStringLiteral("releases"));
    run.siteIds = ids(QStringLiteral("sites")).mid(0, 1);
    QVERIFY(provider_->addRun(run) > 0);
    model->refresh();
    QCOMPARE(model->rowCount(), rowsAfter);

    // A query that fails leaves an empty model, not a broken one.
    QVERIFY(QSqlQuery().exec(QStringLiteral("DROP TABLE runs_sites")));
    model->refresh();
    QCOMPARE(model->rowCount(), kind == RunsView ? 0 : rowsAfter);

    model->release();
    QCOMPARE(model->rowCount(), 0);
}

QTEST_MAIN(TestTableModels)

#include "tst_tablemodels.moc"
