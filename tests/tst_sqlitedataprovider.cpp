#include "RecordingLogger.h"
#include "store/SQLiteDataProvider.h"

#include <QFile>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace kd;

namespace {

qint64 count(const QString& sql)
{
    QSqlQuery query;
    if (!query.exec(sql) || !query.next())
        return -1;
    return query.value(0).toLongLong();
}

QString tagLine(const QString& code, const QString& location, const QString& date,
                const QString& mort = QStringLiteral("0"))
{
    return QStringLiteral("%1,ann,2,7,CHN,150.5,30,P,,2021-04-01 08:00:00,%3,%2,x,120,1,2,%4,")
        .arg(code, location, date, mort);
}

} // namespace

class TestSQLiteDataProvider : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void createsAllTablesOnce();
    void recreatesOnlyMissingTables();
    void tableNames_data();
    void tableNames();
    void unopenableDatabase();
    void insertRowChecksFieldCount_data();
    void insertRowChecksFieldCount();
    void loadBookkeeping();
    void deleteLoadRemovesEveryLoadOfPath();
    void clearAllDataSkipsMissingTables();
    void failedEndLoadRollsBack();
    void endLoadTwiceDoesNotDouble();
    void namesAreStoredVerbatim();
    void deletingDefinitionsDropsRunLinks();
    void clearingDefinitionsEmptiesLinks();
    void runDefinitionRoundTrip();
    void extraction();
    void extractionsInOneSecond();

private:
    void loadStudy();

    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<SQLiteDataProvider> provider_;
    RecordingLogger logger_;
};

void TestSQLiteDataProvider::init()
{
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    provider_ = std::make_unique<SQLiteDataProvider>(dir_->filePath(QStringLiteral("keldar.db")));
    provider_->setLogger(&logger_);
    logger_.messages.clear();
    QVERIFY(!provider_->hasError());
}

void TestSQLiteDataProvider::cleanup()
{
    provider_.reset();
    dir_.reset();
}

void TestSQLiteDataProvider::createsAllTablesOnce()
{
    QCOMPARE(count(QStringLiteral("select count(*) from sqlite_master where type='table'")), 17);
    provider_.reset();
    provider_ = std::make_unique<SQLiteDataProvider>(dir_->filePath(QStringLiteral("keldar.db")));
    QVERIFY(!provider_->hasError());
    QCOMPARE(count(QStringLiteral("select count(*) from sqlite_master where type='table'")), 17);
}

void TestSQLiteDataProvider::recreatesOnlyMissingTables()
{
    QVERIFY(provider_->execStatement(QStringLiteral("insert into runs (name) values ('kept')")));
    QVERIFY(provider_->execStatement(QStringLiteral("drop table arrays")));
    QVERIFY(provider_->execStatement(QStringLiteral("drop table releases_runs")));
    provider_.reset();
    provider_ = std::make_unique<SQLiteDataProvider>(dir_->filePath(QStringLiteral("keldar.db")));
    QVERIFY(!provider_->hasError());
    QCOMPARE(count(QStringLiteral("select count(*) from sqlite_master where type='table'")), 17);
    QCOMPARE(count(QStringLiteral("select count(*) from runs")), 1);
}

void TestSQLiteDataProvider::tableNames_data()
{
    QTest::addColumn<int>("table");
    QTest::addColumn<QString>("name");
    QTest::newRow("tags") << 0 << QStringLiteral("tags");
    QTest::newRow("tag life data") << 4 << QStringLiteral("tag_life_data");
    QTest::newRow("loads") << 7 << QStringLiteral("loads");
    QTest::newRow("release groups") << 11 << QStringLiteral("release_groups");
    QTest::newRow("releases_runs") << 16 << QStringLiteral("releases_runs");
    QTest::newRow("17") << 17 << QString();
    QTest::newRow("negative") << -1 << QString();
}

void TestSQLiteDataProvider::tableNames()
{
    QFETCH(int, table);
    QFETCH(QString, name);
    QCOMPARE(provider_->tableName(table), name);
    QCOMPARE(provider_->createTableStatement(table).isEmpty(), name.isEmpty());
    if (table >= 0 && table < DataProvider::ModelCount)
        QCOMPARE(provider_->modelTableName(table), name);
}

void TestSQLiteDataProvider::unopenableDatabase()
{
    provider_.reset();
    SQLiteDataProvider broken(dir_->filePath(QStringLiteral("missing/folder/keldar.db")));
    QVERIFY(broken.hasError());
    QVERIFY(!broken.errorText().isEmpty());
    QVERIFY(!broken.beginLoad());
}

void TestSQLiteDataProvider::insertRowChecksFieldCount_data()
{
    QTest::addColumn<int>("fields");
    QTest::addColumn<bool>("stored");
    QTest::newRow("17 fields") << 17 << false;
    QTest::newRow("18 fields") << 18 << true;
    QTest::newRow("19 fields") << 19 << false;
}

void TestSQLiteDataProvider::insertRowChecksFieldCount()
{
    QFETCH(int, fields);
    QFETCH(bool, stored);
    QStringList values;
    for (int i = 0; i < fields; ++i)
        values.append(QString::number(i));
    QVERIFY(provider_->beginLoad());
    // A good line first: a short line must not inherit its values.
    QVERIFY(provider_->insertRow(0,
                                 tagLine(QStringLiteral("G7000001"), QStringLiteral("R"),
                                         QStringLiteral("2021-04-02 00:00:00")),
                                 5));
    QCOMPARE(provider_->insertRow(0, values.join(QLatin1Char(',')), 5), stored);
    QCOMPARE(provider_->hasError(), !stored);
    QVERIFY(provider_->endLoad());
    QCOMPARE(count(QStringLiteral("select count(*) from tags")), stored ? 2 : 1);
    if (stored)
        QCOMPARE(count(QStringLiteral("select load_id from tags where tag_code='0'")), 5);
}

void TestSQLiteDataProvider::loadBookkeeping()
{
    const QString path = dir_->filePath(QStringLiteral("it's.csv"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("x");
    file.close();
    const QFileInfo info(path);

    QVERIFY(!provider_->isLoaded(info));
    QVERIFY(!provider_->isLoadCurrent(info));
    QVERIFY(!provider_->hasError()); // nothing failed
    QVERIFY(provider_->beginLoad());
    const int id = provider_->addLoad(info, DataProvider::TagLifeDataModel);
    QVERIFY(id > 0);
    QVERIFY(provider_->insertRow(DataProvider::TagLifeDataModel, QStringLiteral("G7,1,2"), id));
    QVERIFY(provider_->endLoad());
    QVERIFY(provider_->isLoaded(info));
    QVERIFY(provider_->isLoadCurrent(info));
    QVERIFY(provider_->isModelLoaded(DataProvider::TagLifeDataModel));
    QVERIFY(!provider_->hasCoreData());
    QCOMPARE(count(QStringLiteral("select count(*) from loads where model='tag_life_data'")), 1);

    // Less than a second later is still current; a minute later is not.
    QVERIFY(QFile(path).open(QIODevice::ReadWrite));
    QFile touch(path);
    QVERIFY(touch.open(QIODevice::ReadWrite));
    const QDateTime stored = info.lastModified();
    QVERIFY(touch.setFileTime(stored.addMSecs(stored.time().msec() < 500 ? 400 : -400),
                              QFileDevice::FileModificationTime));
    QVERIFY(provider_->isLoadCurrent(QFileInfo(path)));
    QVERIFY(touch.setFileTime(stored.addSecs(60), QFileDevice::FileModificationTime));
    QVERIFY(!provider_->isLoadCurrent(QFileInfo(path)));

    QVERIFY(provider_->deleteLoad(QFileInfo(path)));
    QVERIFY(!provider_->isLoaded(info));
    QCOMPARE(count(QStringLiteral("select count(*) from tag_life_data")), 0);
}

void TestSQLiteDataProvider::deleteLoadRemovesEveryLoadOfPath()
{
    const QFileInfo info(dir_->filePath(QStringLiteral("events.csv")));
    QVERIFY(provider_->beginLoad());
    const int first = provider_->addLoad(info, DataProvider::EventsModel);
    const int second = provider_->addLoad(info, DataProvider::EventsModel);
    QVERIFY(provider_->insertRow(2, QStringLiteral("N,G7,a,b,1"), first));
    QVERIFY(provider_->insertRow(2, QStringLiteral("N,G7,a,b,1"), second));
    QVERIFY(provider_->deleteLoad(info));
    QVERIFY(provider_->endLoad());
    QCOMPARE(count(QStringLiteral("select count(*) from loads")), 0);
    QCOMPARE(count(QStringLiteral("select count(*) from events")), 0);
}

void TestSQLiteDataProvider::clearAllDataSkipsMissingTables()
{
    QVERIFY(provider_->execStatement(QStringLiteral("insert into runs (name) values ('r')")));
    QVERIFY(provider_->execStatement(QStringLiteral("create table mine (x)")));
    QVERIFY(provider_->execStatement(QStringLiteral("insert into mine values (1)")));
    QVERIFY(provider_->execStatement(QStringLiteral("drop table sites")));
    QVERIFY(provider_->clearAllData());
    QCOMPARE(count(QStringLiteral("select count(*) from runs")), 0);
    QCOMPARE(count(QStringLiteral("select count(*) from mine")), 1);
}

void TestSQLiteDataProvider::failedEndLoadRollsBack()
{
    QVERIFY(provider_->beginLoad());
    const int id = provider_->addLoad(QFileInfo(dir_->filePath(QStringLiteral("t.csv"))), 0);
    QVERIFY(provider_->insertRow(0,
                                 tagLine(QStringLiteral("G7000001"), QStringLiteral("R"),
                                         QStringLiteral("2021-04-02 00:00:00")),
                                 id));
    // Makes the index step fail inside the load transaction.
    QVERIFY(provider_->execStatement(QStringLiteral("drop table events")));
    QVERIFY(!provider_->endLoad());
    QVERIFY(provider_->hasError());
    QCOMPARE(count(QStringLiteral("select count(*) from tags")), 0);
    QCOMPARE(count(QStringLiteral("select count(*) from loads")), 0);
    QCOMPARE(count(QStringLiteral("select count(*) from events")), 0); // the table is back
    // The connection is usable for the next load.
    QVERIFY(provider_->beginLoad());
    QVERIFY(provider_->endLoad());
}

void TestSQLiteDataProvider::endLoadTwiceDoesNotDouble()
{
    QVERIFY(provider_->beginLoad());
    QVERIFY(provider_->insertRow(0,
                                 tagLine(QStringLiteral("G7000001"), QStringLiteral("R"),
                                         QStringLiteral("2021-04-02 00:00:00")),
                                 1));
    QVERIFY(
        provider_->insertRow(0,
                             tagLine(QStringLiteral("G7000002"), QStringLiteral("R"),
                                     QStringLiteral("2021-04-02 00:00:00"), QStringLiteral("1")),
                             1));
    QVERIFY(
        provider_->insertRow(0,
                             tagLine(QStringLiteral("G7000003"), QStringLiteral("M"),
                                     QStringLiteral("2021-04-02 00:00:00"), QStringLiteral("1")),
                             1));
    QVERIFY(provider_->insertRow(1, QStringLiteral("N1,1,2,100,A1,up,2021-01-01 00:00:00,,"), 1));
    QVERIFY(provider_->insertRow(1, QStringLiteral("N2,1,2,100,A1,up,bad date,,"), 1));
    QVERIFY(provider_->endLoad());
    QVERIFY(provider_->beginLoad());
    QVERIFY(provider_->endLoad());
    // Mortalities are not counted; a group of mortalities only has no row.
    QCOMPARE(count(QStringLiteral("select count(*) from release_groups")), 1);
    QCOMPARE(count(QStringLiteral("select release_count from release_groups")), 1);
    // An unreadable deploy date forms its own array with an empty year.
    QCOMPARE(count(QStringLiteral("select count(*) from arrays")), 2);
    QCOMPARE(count(QStringLiteral("select count(*) from arrays where deploy_year is null")), 1);
}

void TestSQLiteDataProvider::namesAreStoredVerbatim()
{
    const QString name = QStringLiteral("Lower \"weir\", east 'bank'");
    provider_->addRelease(name, 12, {1, 2});
    provider_->addSite(name, 40, {3});
    RunDefinition run;
    run.name = name;
    run.format = RunDefinition::Standard;
    run.releaseIds = {1};
    run.siteIds = {1};
    const int runId = provider_->addRun(run);
    QVERIFY(runId > 0);
    QVERIFY(logger_.messages.isEmpty());
    QSqlQuery query;
    QVERIFY(query.exec(QStringLiteral("select r.name, s.name, u.name, u.format from releases r, "
                                      "sites s, runs u")));
    QVERIFY(query.next());
    QCOMPARE(query.value(0).toString(), name);
    QCOMPARE(query.value(1).toString(), name);
    QCOMPARE(query.value(2).toString(), name);
    QCOMPARE(query.value(3).toString(), QStringLiteral("Standard"));
    QCOMPARE(count(QStringLiteral("select count(*) from releases_release_groups")), 2);
    QCOMPARE(count(QStringLiteral("select count(*) from arrays_sites")), 1);
}

void TestSQLiteDataProvider::deletingDefinitionsDropsRunLinks()
{
    provider_->addRelease(QStringLiteral("R1"), 1, {1});
    provider_->addRelease(QStringLiteral("R2"), 1, {2});
    provider_->addSite(QStringLiteral("S1"), 1, {1});
    provider_->addSite(QStringLiteral("S2"), 1, {2});
    RunDefinition run;
    run.name = QStringLiteral("run");
    run.releaseIds = {1, 2};
    run.siteIds = {1, 2};
    const int runId = provider_->addRun(run);
    provider_->deleteReleases({2});
    provider_->deleteSites({2});
    provider_->deleteReleases({});
    QCOMPARE(count(QStringLiteral("select count(*) from releases_runs")), 1);
    QCOMPARE(count(QStringLiteral("select count(*) from runs_sites")), 1);
    // SQLite hands the freed id to the next release; it must not join the old run.
    provider_->addRelease(QStringLiteral("R3"), 1, {3});
    const RunDefinition read = provider_->runDefinition(runId);
    QCOMPARE(read.releaseIds, QList<int>({1}));
    QCOMPARE(read.siteIds, QList<int>({1}));
}

void TestSQLiteDataProvider::clearingDefinitionsEmptiesLinks()
{
    provider_->addRelease(QStringLiteral("R1"), 1, {1});
    provider_->addSite(QStringLiteral("S1"), 1, {1});
    RunDefinition run;
    run.releaseIds = {1};
    run.siteIds = {1};
    provider_->addRun(run);
    QVERIFY(provider_->clearReleases());
    QVERIFY(provider_->clearSites());
    for (const char* table : {"releases", "sites", "releases_release_groups", "arrays_sites",
                              "releases_runs", "runs_sites"})
        QCOMPARE(count(QStringLiteral("select count(*) from %1").arg(QLatin1String(table))), 0);
    QCOMPARE(count(QStringLiteral("select count(*) from runs")), 1);
}

void TestSQLiteDataProvider::runDefinitionRoundTrip()
{
    provider_->addRelease(QStringLiteral("R1"), 1, {});
    provider_->addRelease(QStringLiteral("R2"), 1, {});
    provider_->addSite(QStringLiteral("S1"), 1, {});
    RunDefinition run;
    run.name = QStringLiteral("first");
    run.format = RunDefinition::Kavel;
    run.releaseIds = {2, 1};
    run.siteIds = {1};
    const int id = provider_->addRun(run);
    RunDefinition read = provider_->runDefinition(id);
    QCOMPARE(read.id, id);
    QCOMPARE(read.name, QStringLiteral("first"));
    QCOMPARE(read.format, int(RunDefinition::Kavel));
    QCOMPARE(read.siteIds, QList<int>({1}));
    std::sort(read.releaseIds.begin(), read.releaseIds.end());
    QCOMPARE(read.releaseIds, QList<int>({1, 2}));

    read.format = RunDefinition::Standard;
    const int newId = provider_->updateRun(read);
    QVERIFY(newId > 0);
    QCOMPARE(count(QStringLiteral("select count(*) from runs")), 1);
    QCOMPARE(provider_->runDefinition(newId).format, int(RunDefinition::Standard));

    const RunDefinition none = provider_->runDefinition(999);
    QCOMPARE(none.id, -1);
    QCOMPARE(none.format, int(RunDefinition::NotChosen));
    QVERIFY(none.releaseIds.isEmpty());

    QVERIFY(provider_->execStatement(QStringLiteral("update runs set format='standard'")));
    QCOMPARE(provider_->runDefinition(newId).format, int(RunDefinition::Kavel));

    // A failed first insert gives -1.
    QVERIFY(provider_->execStatement(QStringLiteral("drop table runs")));
    QCOMPARE(provider_->addRun(run), -1);
    QCOMPARE(logger_.messages.size(), 1);
}

void TestSQLiteDataProvider::loadStudy()
{
    QVERIFY(provider_->beginLoad());
    const QString date = QStringLiteral("2021-04-02 09:00:00");
    for (const QString& code :
         {QStringLiteral("G7000001"), QStringLiteral("G7000002"), QStringLiteral("G7000003")})
        QVERIFY(provider_->insertRow(0, tagLine(code, QStringLiteral("REL"), date), 1));
    QVERIFY(provider_->insertRow(
        0, tagLine(QStringLiteral("G7000009"), QStringLiteral("OTHER"), date), 1));
    const QStringList nodes = {
        QStringLiteral("U1,1,2,100,UP,a,2021-01-01 00:00:00,,"),
        QStringLiteral("U2,1,2,101,UP,b,2021-01-01 00:00:00,,"),
        QStringLiteral("M1,1,2,60,MID,a,2021-01-01 00:00:00,,"),
        QStringLiteral("L1,1,2,20,LOW,a,2021-01-01 00:00:00,,"),
        QStringLiteral("L9,1,2,20,LOW,a,2020-01-01 00:00:00,,"), // other deploy year
    };
    for (const QString& node : nodes)
        QVERIFY(provider_->insertRow(1, node, 2));
    const QStringList events = {
        QStringLiteral("U1,G7000001,2021-04-03 10:00:00,2021-04-03 11:00:00,2"),
        QStringLiteral("U2,G7000001,2021-04-03 09:00:00,2021-04-03 10:30:00,2"),
        QStringLiteral("L1,G7000001,2021-04-09 10:00:00,2021-04-09 10:00:00,1"),
        QStringLiteral("M1,G7000001,2021-04-06 10:00:00,2021-04-06 12:00:00,1"),
        QStringLiteral("L9,G7000002,2021-04-09 10:00:00,2021-04-09 10:00:00,1"),
        QStringLiteral("M1,G7000003,2021-04-06 10:00:00,2021-04-06 10:00:00,1"),
        QStringLiteral("M1,G7000009,2021-04-06 10:00:00,2021-04-06 10:00:00,1"),
    };
    for (const QString& event : events)
        QVERIFY(provider_->insertRow(2, event, 3));
    QVERIFY(provider_->insertRow(6, QStringLiteral("G7000003,2021-05-01 00:00:00,55,bird"), 4));
    QVERIFY(provider_->endLoad());

    QSqlQuery query;
    QVERIFY(
        query.exec(QStringLiteral("select id from release_groups where release_location='REL'")));
    QVERIFY(query.next());
    const int group = query.value(0).toInt();
    const auto arrays = [&](const char* location) {
        QList<int> ids;
        query.exec(QStringLiteral("select id from arrays where deploy_year=2021 and location='%1'")
                       .arg(QLatin1String(location)));
        while (query.next())
            ids.append(query.value(0).toInt());
        return ids;
    };
    QCOMPARE(arrays("UP").size(), 2); // nodes at two kilometres
    provider_->addRelease(QStringLiteral("Spring"), 120, {group});
    provider_->addSite(QStringLiteral("Upper"), 100, arrays("UP"));
    provider_->addSite(QStringLiteral("Middle"), 60, arrays("MID"));
    provider_->addSite(QStringLiteral("Lower"), 20, arrays("LOW"));
}

void TestSQLiteDataProvider::extraction()
{
    loadStudy();
    RunDefinition run;
    run.name = QStringLiteral("run");
    run.releaseIds = {1};
    run.siteIds = {1, 2, 3};
    const int runId = provider_->addRun(run);

    QList<CaptureRow> rows;
    QVERIFY(provider_->extractRunRows(rows, runId));
    QCOMPARE(
        provider_->runSiteNames(),
        QStringList({QStringLiteral("Upper"), QStringLiteral("Middle"), QStringLiteral("Lower")}));
    // A site whose nodes lie at two kilometres keeps the lowest.
    QCOMPARE(provider_->runSiteRiverKm().value(QStringLiteral("Upper")), 100);
    QCOMPARE(provider_->runSiteRiverKm().value(QStringLiteral("Lower")), 20);

    QStringList seen;
    for (const CaptureRow& row : rows) {
        seen.append(QStringLiteral("%1 %2 %3 %4 %5 %6")
                        .arg(row.tagCode, row.siteName,
                             row.firstDetection.toString(QStringLiteral("dd hh:mm")),
                             row.lastDetection.toString(QStringLiteral("dd hh:mm")))
                        .arg(row.removalRiverKm)
                        .arg(row.releaseName));
    }
    QCOMPARE(seen, QStringList({
                       QStringLiteral("G7000001 Upper 03 09:00 03 11:00 -1 Spring"),
                       QStringLiteral("G7000001 Middle 06 10:00 06 12:00 -1 Spring"),
                       QStringLiteral("G7000001 Lower 09 10:00 09 10:00 -1 Spring"),
                       QStringLiteral("G7000002    -1 Spring"), // only seen at a node of 2020
                       QStringLiteral("G7000003 Middle 06 10:00 06 10:00 55 Spring"),
                   }));
    const CaptureRow& first = rows.first();
    QCOMPARE(first.lot, 7);
    QCOMPARE(first.bucket, 2);
    QCOMPARE(first.length, 150.5f);
    QCOMPARE(first.releaseRiverKm, 120);
    QCOMPARE(first.tagReleaseDate, QDateTime(QDate(2021, 4, 2), QTime(9, 0), Qt::UTC));
    QVERIFY(!rows[3].firstDetection.isValid());

    // The working tables do not stay behind in the database file.
    QCOMPARE(count(QStringLiteral(
                 "select count(*) from sqlite_master where name like "
                 "'%sites_%' or name like 'detections%' or name like 'releases_tags%'")),
             0);
}

void TestSQLiteDataProvider::extractionsInOneSecond()
{
    loadStudy();
    RunDefinition run;
    run.releaseIds = {1};
    run.siteIds = {1};
    const int runId = provider_->addRun(run);
    QList<CaptureRow> first;
    QList<CaptureRow> second;
    QVERIFY(provider_->extractRunRows(first, runId));
    QVERIFY(provider_->extractRunRows(second, runId));
    QCOMPARE(first.size(), second.size());
    QVERIFY(!provider_->hasError());

    QList<CaptureRow> none;
    QVERIFY(provider_->extractRunRows(none, -1));
    QVERIFY(none.isEmpty());
    QVERIFY(provider_->runSiteNames().isEmpty());
}

QTEST_GUILESS_MAIN(TestSQLiteDataProvider)
#include "tst_sqlitedataprovider.moc"
