#include "RecordingLogger.h"
#include "TestSupport.h"
#include "store/SQLiteDataProvider.h"
#include "store/SQLiteRunExtractor.h"

#include <QFile>
#include <QSqlDriver>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <sqlite3.h>
#include <thread>

using namespace kd;
using namespace kd::test;

class TestSQLiteDataProvider : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void schemaIsCompletedOnOpening();
    void insertRowChecksFieldCount_data();
    void insertRowChecksFieldCount();
    void insertFieldsStoresEachAsGiven();
    void loadBookkeeping();
    void failedEndLoadRollsBack();
    void rowsOfTagsAddedLateAreLinked();
    void manyCodesAreLinked();
    void endLoadTwiceDoesNotDouble();
    void definitions();
    void definitionWritesAreWhole_data();
    void definitionWritesAreWhole();
    void intervalsAreStoredWithTheRun();
    void arrayCountsAndParts();
    void extraction();
    void extractionPlansAgree_data();
    void extractionPlansAgree();
    void busyDatabaseIsWaitedFor();

private:
    void reopen();
    void loadStudy();

    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<SQLiteDataProvider> provider_;
    RecordingLogger logger_;
};

void TestSQLiteDataProvider::init()
{
    dir_ = std::make_unique<QTemporaryDir>();
    reopen();
}

void TestSQLiteDataProvider::cleanup()
{
    provider_.reset();
    dir_.reset();
}

void TestSQLiteDataProvider::reopen()
{
    provider_.reset();
    provider_ = std::make_unique<SQLiteDataProvider>(dir_->filePath(QStringLiteral("keldar.db")));
    provider_->setLogger(&logger_);
    logger_.messages.clear();
    QVERIFY(!provider_->hasError());
}

void TestSQLiteDataProvider::schemaIsCompletedOnOpening()
{
    const QString tables = QStringLiteral("select count(*) from sqlite_master where type='table'");
    QCOMPARE(count(tables), 17);
    QVERIFY(provider_->execStatement(QStringLiteral("insert into runs (name) values ('kept')")));
    QVERIFY(provider_->execStatement(QStringLiteral("drop table arrays")));
    reopen();
    QCOMPARE(count(tables), 17);
    QCOMPARE(count(QStringLiteral("select count(*) from runs")), 1);
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
    QTest::newRow("empty line") << 0 << false;
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
    QVERIFY(provider_->insertRow(DataProvider::TagsModel, tagLine("G7000001", "R"), 5));
    QCOMPARE(provider_->insertRow(DataProvider::TagsModel, values.join(QLatin1Char(',')), 5),
             stored);
    QCOMPARE(provider_->hasError(), !stored);
    QVERIFY(provider_->endLoad());
    QCOMPARE(count(QStringLiteral("select count(*) from tags")), stored ? 2 : 1);
    if (stored)
        QCOMPARE(count(QStringLiteral("select load_id from tags where tag_code='0'")), 5);
}

void TestSQLiteDataProvider::insertFieldsStoresEachAsGiven()
{
    // The loader hands each row over as its fields: each is stored as it is, spaces and all.
    QList<QByteArray> values = tagLine("G7000009").split(',');
    values[1] = " an owner ";
    values[5] = "";
    values[12] = "caf\xc3\xa9";
    const QList<QByteArrayView> fields(values.cbegin(), values.cend());
    QVERIFY(provider_->beginLoad());
    QVERIFY(provider_->insertFields(DataProvider::TagsModel, fields, 5));
    QVERIFY(provider_->endLoad());
    const QStringList columns = provider_->modelColumns(DataProvider::TagsModel);
    QCOMPARE(count(QStringLiteral("select count(*) from tags where tag_code='G7000009' and "
                                  "%1=' an owner ' and %2='' and %3='caf\u00e9' and load_id=5")
                       .arg(columns[1], columns[5], columns[12])),
             1);
}

void TestSQLiteDataProvider::loadBookkeeping()
{
    // A quote in the path is bound, never pasted into the SQL.
    const QString path = dir_->filePath(QStringLiteral("it's.csv"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    const QFileInfo info(path);

    QVERIFY(!provider_->isLoaded(info));
    QVERIFY(!provider_->isLoadCurrent(info));
    QVERIFY(!provider_->hasError()); // a path never loaded is no failure
    QVERIFY(provider_->beginLoad());
    const int first = provider_->addLoad(info, DataProvider::TagLifeDataModel);
    QVERIFY(provider_->insertRow(DataProvider::TagLifeDataModel, QStringLiteral("G7,1,2"), first));
    QVERIFY(provider_->endLoad());
    QVERIFY(provider_->isLoaded(info));
    QVERIFY(provider_->isLoadCurrent(info));
    QVERIFY(provider_->isModelLoaded(DataProvider::TagLifeDataModel));
    QVERIFY(!provider_->hasCoreData());

    // A change within the same second shows, through the time or the size alone.
    const QDateTime stored = info.lastModified();
    QVERIFY(file.setFileTime(stored.addMSecs(stored.time().msec() < 500 ? 1 : -1),
                             QFileDevice::FileModificationTime));
    QVERIFY(!provider_->isLoadCurrent(QFileInfo(path)));
    QVERIFY(file.setFileTime(stored, QFileDevice::FileModificationTime));
    QVERIFY(provider_->isLoadCurrent(QFileInfo(path)));
    QVERIFY(file.write("x") == 1);
    file.flush();
    QVERIFY(file.setFileTime(stored, QFileDevice::FileModificationTime));
    QVERIFY(!provider_->isLoadCurrent(QFileInfo(path)));

    // A path booked twice (as earlier versions could) is never current.
    QVERIFY(provider_->beginLoad());
    const int second = provider_->addLoad(info, DataProvider::TagLifeDataModel);
    QVERIFY(provider_->insertRow(DataProvider::TagLifeDataModel, QStringLiteral("G7,1,2"), second));
    QVERIFY(provider_->endLoad());
    QVERIFY(!provider_->isLoadCurrent(QFileInfo(path)));

    // Every earlier load of the path goes, with its rows.
    QVERIFY(provider_->deleteLoad(info));
    QVERIFY(!provider_->isLoaded(info));
    QCOMPARE(count(QStringLiteral("select count(*) from tag_life_data")), 0);
}

void TestSQLiteDataProvider::rowsOfTagsAddedLateAreLinked()
{
    // Tags that arrive after rows that refer to them (not the loader's order, but a caller's)
    // still link every row, as do rows held when an earlier load's rows are removed.
    QVERIFY(provider_->beginLoad());
    const QFileInfo tags(dir_->filePath(QStringLiteral("t.csv")));
    const int tagLoad = provider_->addLoad(tags, DataProvider::TagsModel);
    QVERIFY(provider_->insertRow(DataProvider::TagsModel, tagLine("G7000001"), tagLoad));
    QVERIFY(provider_->insertRow(DataProvider::RemovalsModel,
                                 QStringLiteral("G7000002,2021-05-01,90,x"), 9));
    QVERIFY(provider_->insertRow(DataProvider::TagsModel, tagLine("G7000002"), tagLoad));
    QVERIFY(provider_->insertRow(DataProvider::RemovalsModel,
                                 QStringLiteral("G7000001,2021-05-01,90,x"), 9));
    QVERIFY(provider_->endLoad());
    QCOMPARE(text(QStringLiteral("select group_concat(tag_id) from (select tag_id from removals "
                                 "order by id)")),
             QStringLiteral("2,1"));

    QVERIFY(provider_->beginLoad());
    QVERIFY(provider_->deleteLoad(tags));
    QVERIFY(provider_->insertRow(DataProvider::TagsModel, tagLine("G7000002"), tagLoad + 1));
    QVERIFY(provider_->endLoad());
    QCOMPARE(text(QStringLiteral("select group_concat(ifnull(tag_id, '-')) from (select tag_id "
                                 "from removals order by id)")),
             QStringLiteral("1,-"));
}

void TestSQLiteDataProvider::manyCodesAreLinked()
{
    // Enough codes that the look-up table grows several times; every tenth code twice.
    QVERIFY(provider_->beginLoad());
    for (int i = 0; i < 1000; ++i) {
        const QByteArray code = "T" + QByteArray::number(i * 7919 % 1000);
        QVERIFY(provider_->insertRow(DataProvider::TagsModel, tagLine(code), 1));
        if (i % 10 == 0)
            QVERIFY(provider_->insertRow(DataProvider::TagsModel, tagLine(code), 1));
    }
    for (int i = 0; i < 1100; ++i) {
        QVERIFY(provider_->insertRow(DataProvider::EventsModel,
                                     QStringLiteral("N1,T%1,2021-04-03 10:00:00,,1").arg(i), 3));
    }
    QVERIFY(provider_->endLoad());
    QCOMPARE(count(QStringLiteral("select count(*) from events where tag_id is not (select "
                                  "min(id) from tags where tags.tag_code = events.tag_code)")),
             0);
    QCOMPARE(count(QStringLiteral("select count(*) from events where tag_id is not null")), 1000);
}

void TestSQLiteDataProvider::failedEndLoadRollsBack()
{
    QVERIFY(provider_->beginLoad());
    const int id = provider_->addLoad(QFileInfo(dir_->filePath(QStringLiteral("t.csv"))),
                                      DataProvider::TagsModel);
    QVERIFY(provider_->insertRow(DataProvider::TagsModel, tagLine("G7000001", "R"), id));
    // Makes the index step fail inside the load transaction.
    QVERIFY(provider_->execStatement(QStringLiteral("drop table events")));
    QVERIFY(!provider_->endLoad());
    QVERIFY(provider_->hasError());
    QCOMPARE(count(QStringLiteral("select count(*) from tags")), 0);
    QCOMPARE(count(QStringLiteral("select count(*) from loads")), 0);
    QCOMPARE(count(QStringLiteral("select count(*) from events")), 0); // the table is back
    QVERIFY(provider_->beginLoad());
    QVERIFY(provider_->endLoad());
}

void TestSQLiteDataProvider::endLoadTwiceDoesNotDouble()
{
    QVERIFY(provider_->beginLoad());
    QVERIFY(provider_->insertRow(DataProvider::TagsModel, tagLine("G7000001", "R"), 1));
    QVERIFY(provider_->insertRow(DataProvider::TagsModel, tagLine("G7000002", "R", "1"), 1));
    QVERIFY(provider_->insertRow(DataProvider::TagsModel, tagLine("G7000003", "M", "1"), 1));
    QVERIFY(provider_->insertRow(DataProvider::NodesModel,
                                 QStringLiteral("N1,1,2,100,A1,up,2021-01-01 00:00:00,,"), 1));
    QVERIFY(provider_->insertRow(DataProvider::NodesModel,
                                 QStringLiteral("N2,1,2,100,A1,up,bad date,,"), 1));
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

void TestSQLiteDataProvider::definitions()
{
    // Names are bound: quotes and commas are stored verbatim.
    const QString name = QStringLiteral("Lower \"weir\", east 'bank'");
    provider_->addRelease(name, 12, {1, 2});
    provider_->addRelease(QStringLiteral("R2"), 1, {3});
    provider_->addSite(name, 40, {3});
    provider_->addSite(QStringLiteral("S2"), 1, {4});
    RunDefinition run;
    run.name = name;
    run.format = RunDefinition::Standard;
    run.releaseIds = {2, 1};
    run.siteIds = {1, 2};
    const int runId = provider_->addRun(run);
    QVERIFY(runId > 0);
    QVERIFY(logger_.messages.isEmpty());
    RunDefinition read = provider_->runDefinition(runId);
    QCOMPARE(read.name, name);
    QCOMPARE(read.format, int(RunDefinition::Standard));
    std::sort(read.releaseIds.begin(), read.releaseIds.end());
    QCOMPARE(read.releaseIds, QList<int>({1, 2}));
    QCOMPARE(count(QStringLiteral("select count(*) from releases_release_groups")), 3);

    // Deleting a release or site drops its run links: SQLite hands the freed id to the next new
    // one, which a stale link would silently attach to the old run.
    provider_->deleteReleases({2});
    provider_->deleteSites({2});
    provider_->deleteReleases({});
    provider_->addRelease(QStringLiteral("R3"), 1, {3});
    read = provider_->runDefinition(runId);
    QCOMPARE(read.releaseIds, QList<int>({1}));
    QCOMPARE(read.siteIds, QList<int>({1}));

    read.format = RunDefinition::Kavel;
    const int newId = provider_->updateRun(read);
    QCOMPARE(provider_->runDefinition(newId).format, int(RunDefinition::Kavel));
    QCOMPARE(count(QStringLiteral("select count(*) from runs")), 1);
    QCOMPARE(provider_->runDefinition(999).id, -1);
    QCOMPARE(provider_->runDefinition(999).format, int(RunDefinition::NotChosen));

    QVERIFY(provider_->clearReleases());
    QVERIFY(provider_->clearSites());
    for (const char* table : {"releases", "sites", "releases_release_groups", "arrays_sites",
                              "releases_runs", "runs_sites"})
        QCOMPARE(count(QStringLiteral("select count(*) from %1").arg(QLatin1String(table))), 0);

    // A failed first insert gives -1.
    QVERIFY(provider_->execStatement(QStringLiteral("drop table runs")));
    QCOMPARE(provider_->addRun(run), -1);
    QCOMPARE(logger_.messages.size(), 1);
}

void TestSQLiteDataProvider::definitionWritesAreWhole_data()
{
    QTest::addColumn<QString>("write");
    QTest::addColumn<QString>("refused"); // the statement a trigger makes fail
    QTest::newRow("delete run") << "deleteRun"
                                << "delete on releases_runs";
    QTest::newRow("update run") << "updateRun"
                                << "insert on runs_sites";
    QTest::newRow("add run") << "addRun"
                             << "insert on runs_sites";
    QTest::newRow("delete releases") << "deleteReleases"
                                     << "delete on releases_runs";
    QTest::newRow("delete sites") << "deleteSites"
                                  << "delete on runs_sites";
    QTest::newRow("add release") << "addRelease"
                                 << "insert on releases_release_groups";
    QTest::newRow("add site") << "addSite"
                              << "insert on arrays_sites";
}

// A write of several statements whose last one fails leaves every definition as it was, and
// says it failed.
void TestSQLiteDataProvider::definitionWritesAreWhole()
{
    QFETCH(QString, write);
    QFETCH(QString, refused);
    QVERIFY(provider_->addRelease(QStringLiteral("R1"), 5, {1, 2}));
    QVERIFY(provider_->addSite(QStringLiteral("S1"), 3, {1, 2}));
    RunDefinition run;
    run.name = QStringLiteral("Run");
    run.format = RunDefinition::Standard;
    run.releaseIds = {1};
    run.siteIds = {1};
    run.id = provider_->addRun(run);
    QVERIFY(run.id > 0);
    const auto snapshot = [&] {
        QStringList counts;
        for (const char* table : {"runs", "releases", "sites", "releases_runs", "runs_sites",
                                  "releases_release_groups", "arrays_sites"})
            counts << QString::number(
                count(QStringLiteral("select count(*) from %1").arg(QLatin1String(table))));
        return counts.join(QLatin1Char(' '));
    };
    const QString before = snapshot();
    QVERIFY(provider_->execStatement(
        QStringLiteral("create trigger refuse before %1 begin select raise(abort, 'refused'); end")
            .arg(refused)));
    bool ok = true;
    if (write == QLatin1String("deleteRun"))
        ok = provider_->deleteRun(run.id);
    else if (write == QLatin1String("updateRun"))
        ok = provider_->updateRun(run) >= 0;
    else if (write == QLatin1String("addRun"))
        ok = provider_->addRun(run) >= 0;
    else if (write == QLatin1String("deleteReleases"))
        ok = provider_->deleteReleases({1});
    else if (write == QLatin1String("deleteSites"))
        ok = provider_->deleteSites({1});
    else if (write == QLatin1String("addRelease"))
        ok = provider_->addRelease(QStringLiteral("R2"), 1, {3});
    else
        ok = provider_->addSite(QStringLiteral("S2"), 1, {3});
    QVERIFY(!ok);
    QCOMPARE(snapshot(), before);
    QCOMPARE(provider_->runDefinition(run.id).name, QStringLiteral("Run"));
    QCOMPARE(logger_.messages.size(), 1);
    QVERIFY(logger_.messages.first().contains(QStringLiteral("refused")));
}

// A survival run's choice of intervals comes back, also through Edit Run; a database of the
// version before the column gains it in place and its runs keep the logit-scale intervals.
void TestSQLiteDataProvider::intervalsAreStoredWithTheRun()
{
    provider_->addRelease(QStringLiteral("R1"), 12, {1});
    provider_->addSite(QStringLiteral("S1"), 40, {3});
    RunDefinition run;
    run.name = QStringLiteral("Profiled");
    run.format = RunDefinition::Survival;
    run.releaseIds = {1};
    run.siteIds = {1};
    run.profileIntervals = true;
    const int profiled = provider_->addRun(run);
    run.name = QStringLiteral("Plain");
    run.profileIntervals = false;
    const int plain = provider_->addRun(run);
    QVERIFY(provider_->runDefinition(profiled).profileIntervals);
    QVERIFY(!provider_->runDefinition(plain).profileIntervals);
    RunDefinition edited = provider_->runDefinition(plain);
    edited.profileIntervals = true;
    QVERIFY(provider_->runDefinition(provider_->updateRun(edited)).profileIntervals);

    QVERIFY(provider_->execStatement(QStringLiteral("alter table runs drop column intervals")));
    reopen();
    QCOMPARE(count(QStringLiteral("select count(*) from runs where intervals is null")), 2);
    for (const int id : {profiled, plain})
        QCOMPARE(provider_->runDefinition(id).profileIntervals, false);
    QCOMPARE(count(QStringLiteral("select count(*) from runs")), 2);
    QVERIFY(logger_.messages.isEmpty());
}

// Each array counts the detections at its own nodes and their distinct tags, once per load;
// the builders' lists get each site's arrays and each release's groups, and a run's sites come
// in the order its extraction lists them.
void TestSQLiteDataProvider::arrayCountsAndParts()
{
    loadStudy();
    QSqlQuery query;
    const auto rows = [&](const QString& sql) {
        QStringList result;
        query.exec(sql);
        while (query.next()) {
            QStringList cells;
            for (int i = 0; i < query.record().count(); ++i)
                cells << query.value(i).toString();
            result << cells.join('|');
        }
        return result;
    };
    QCOMPARE(rows("select location, river_kilometer, deploy_year, detection_count, tag_count "
                  "from arrays order by location, river_kilometer, deploy_year"),
             QStringList({"LOW|20|2020|1|1", "LOW|20|2021|1|1", "MID|60|2021|3|3",
                          "UP|100|2021|1|1", "UP|101|2021|1|1"}));

    const auto parts = [](const QList<DefinitionPart>& list) {
        QStringList result;
        for (const DefinitionPart& part : list)
            result << QStringLiteral("%1|%2|%3|%4|%5|%6")
                          .arg(part.ownerName, part.location)
                          .arg(part.riverKm)
                          .arg(part.species)
                          .arg(part.year)
                          .arg(part.count);
        return result;
    };
    provider_->addSite(QStringLiteral("Nowhere"), 500, {});
    QCOMPARE(parts(provider_->siteArrays()),
             QStringList({"Upper|UP|101||2021|0", "Upper|UP|100||2021|0", "Middle|MID|60||2021|0",
                          "Lower|LOW|20||2021|0"}));
    QCOMPARE(parts(provider_->releaseGroupsOfReleases()),
             QStringList({"Spring|REL|120|CHN|2021|3"}));
    // Upper 1, Middle 2, Lower 3; Nowhere (4) has no nodes and comes last.
    QCOMPARE(provider_->sitesInRiverOrder({3, 4, 1, 2}), QList<int>({1, 2, 3, 4}));
    QCOMPARE(provider_->sitesInRiverOrder({}), QList<int>());
}

void TestSQLiteDataProvider::loadStudy()
{
    QVERIFY(provider_->beginLoad());
    for (const char* code : {"G7000001", "G7000002", "G7000003"})
        QVERIFY(provider_->insertRow(DataProvider::TagsModel, tagLine(code, "REL"), 1));
    QVERIFY(provider_->insertRow(DataProvider::TagsModel, tagLine("G7000009", "OTHER"), 1));
    for (const char* node :
         {"U1,1,2,100,UP,a,2021-01-01 00:00:00,,", "U2,1,2,101,UP,b,2021-01-01 00:00:00,,",
          "M1,1,2,60,MID,a,2021-01-01 00:00:00,,", "L1,1,2,20,LOW,a,2021-01-01 00:00:00,,",
          "L9,1,2,20,LOW,a,2020-01-01 00:00:00,,"}) // L9: another deploy year
        QVERIFY(provider_->insertRow(DataProvider::NodesModel, QLatin1String(node), 2));
    for (const char* event : {"U1,G7000001,2021-04-03 10:00:00,2021-04-03 11:00:00,2",
                              "U2,G7000001,2021-04-03 09:00:00,2021-04-03 10:30:00,2",
                              "L1,G7000001,2021-04-09 10:00:00,2021-04-09 10:00:00,1",
                              "M1,G7000001,2021-04-06 10:00:00,2021-04-06 12:00:00,1",
                              "L9,G7000002,2021-04-09 10:00:00,2021-04-09 10:00:00,1",
                              "M1,G7000003,2021-04-06 10:00:00,2021-04-06 10:00:00,1",
                              "M1,G7000009,2021-04-06 10:00:00,2021-04-06 10:00:00,1"})
        QVERIFY(provider_->insertRow(DataProvider::EventsModel, QLatin1String(event), 3));
    QVERIFY(provider_->insertRow(DataProvider::RemovalsModel,
                                 QStringLiteral("G7000003,2021-05-01 00:00:00,55,bird"), 4));
    QVERIFY(provider_->endLoad());

    QSqlQuery query;
    const auto ids = [&](const QString& sql) {
        QList<int> result;
        query.exec(sql);
        while (query.next())
            result.append(query.value(0).toInt());
        return result;
    };
    const auto arrays = [&](const char* location) {
        return ids(QStringLiteral("select id from arrays where deploy_year=2021 and location='%1'")
                       .arg(QLatin1String(location)));
    };
    provider_->addRelease(
        QStringLiteral("Spring"), 120,
        ids(QStringLiteral("select id from release_groups where release_location='REL'")));
    provider_->addSite(QStringLiteral("Upper"), 100,
                       arrays("UP")); // two arrays: two kilometres
    provider_->addSite(QStringLiteral("Middle"), 60, arrays("MID"));
    provider_->addSite(QStringLiteral("Lower"), 20, arrays("LOW"));
}

void TestSQLiteDataProvider::extraction()
{
    loadStudy();
    RunDefinition run;
    run.releaseIds = {1};
    run.siteIds = {1, 2, 3};
    const int runId = provider_->addRun(run);

    RunExtraction extraction = provider_->extractRun(runId);
    QVERIFY(extraction.ok);
    QCOMPARE(extraction.sites, QStringList({QStringLiteral("Upper"), QStringLiteral("Middle"),
                                            QStringLiteral("Lower")}));
    // A site whose nodes lie at two kilometres keeps the lowest.
    QCOMPARE(extraction.siteRiverKm.value(QStringLiteral("Upper")), 100);
    const QList<CaptureRow> rows = extraction.readAll();
    // Counted before any row is read.
    QCOMPARE(extraction.rowCount, rows.size());

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
    QCOMPARE(first.length, 150.5f);
    QCOMPARE(first.releaseRiverKm, 120);
    QCOMPARE(first.tagReleaseDate, QDateTime(QDate(2021, 4, 2), QTime(9, 0), Qt::UTC));

    // A second extraction within the same second works, and no working table outlives its
    // extraction.
    {
        RunExtraction again = provider_->extractRun(runId);
        QVERIFY(again.ok);
        QCOMPARE(again.readAll().size(), rows.size());
        QVERIFY(count(QStringLiteral("select count(*) from sqlite_temp_master")) > 0);
    }
    extraction = RunExtraction();
    QCOMPARE(count(QStringLiteral("select count(*) from sqlite_temp_master")), 0);
    QCOMPARE(count(QStringLiteral("select count(*) from sqlite_master where name like "
                                  "'nodes_sites%' or name like 'detections%' or name like "
                                  "'releases_tags%'")),
             0);
    // Values beyond the int range count as no number: no wrapped lot, no bogus kilometre that
    // would cut a fish.
    QVERIFY(provider_->execStatement(QStringLiteral(
        "update tags set lot = 9e99, bucket = 4294967297, release_location_river_kilometer = "
        "-9e99")));
    QVERIFY(
        provider_->execStatement(QStringLiteral("update removals set removal_river_km = 9e99")));
    QVERIFY(provider_->execStatement(QStringLiteral("update nodes set river_kilometer = 1e300 "
                                                    "where location = 'LOW'")));
    RunExtraction hugeValues = provider_->extractRun(runId);
    QCOMPARE(hugeValues.siteRiverKm.value(QStringLiteral("Lower")), 0);
    const QList<CaptureRow> huge = hugeValues.readAll();
    QCOMPARE(huge.size(), rows.size());
    for (const CaptureRow& row : std::as_const(huge)) {
        QCOMPARE(row.lot, 0);
        QCOMPARE(row.bucket, 0);
        QCOMPARE(row.releaseRiverKm, -1);
        QCOMPARE(row.removalRiverKm, -1);
    }
    RunExtraction none = provider_->extractRun(-1);
    QVERIFY(none.ok);
    QCOMPARE(none.rowCount, 0);
    QVERIFY(none.readAll().isEmpty());
    QVERIFY(none.sites.isEmpty());
}

void TestSQLiteDataProvider::extractionPlansAgree_data()
{
    QTest::addColumn<QStringList>("changes");
    QTest::addColumn<bool>("windowed");
    QTest::addColumn<QList<int>>("sites");
    QTest::addColumn<bool>("direct");

    const QList<int> all = {1, 2, 3};
    const QString oneKm =
        QStringLiteral("update nodes set river_kilometer = 100 where location='UP'");
    QTest::newRow("a site at two kilometres") << QStringList() << false << all << false;
    QTest::newRow("one kilometre a site") << QStringList{oneKm} << false << all << true;
    QTest::newRow("with a window") << QStringList{oneKm} << true << all << true;
    QTest::newRow("few of the nodes") << QStringList{oneKm} << false << QList<int>{3} << true;
    QTest::newRow("few of the nodes, with a window")
        << QStringList{oneKm} << true << QList<int>{2} << true;
    QTest::newRow("two sites at one kilometre")
        << QStringList{oneKm, QStringLiteral(
                                  "update nodes set river_kilometer = 100 where location='MID'")}
        << false << all << true;
    QTest::newRow("kilometres as text and missing")
        << QStringList{QStringLiteral("update nodes set river_kilometer = 'x' where location='UP'"),
                       QStringLiteral("update nodes set river_kilometer = null where "
                                      "location='MID'")}
        << false << all << true;
    QTest::newRow("two removals at one kilometre")
        << QStringList{oneKm, QStringLiteral("insert into removals (tag_code, removal_river_km, "
                                             "tag_id) select tag_code, 55, tag_id from removals")}
        << false << all << true;
    QTest::newRow("two removal kilometres")
        << QStringList{oneKm, QStringLiteral("insert into removals (tag_code, removal_river_km, "
                                             "tag_id) select tag_code, 56, tag_id from removals")}
        << false << all << false;
    QTest::newRow("a removal kilometre as text beside the number")
        << QStringList{oneKm,
                       QStringLiteral("insert into removals (tag_code, removal_river_km, "
                                      "tag_id) select tag_code, '55 km', tag_id from removals")}
        << false << all << false;
    QTest::newRow("a code twice in the release")
        << QStringList{oneKm, QStringLiteral("insert into tags (tag_code, release_location, "
                                             "species_code_xlat, tag_release_date, mort_xlat, lot) "
                                             "select tag_code, release_location, "
                                             "species_code_xlat, tag_release_date, 0, 8 from tags "
                                             "where tag_code = 'G7000003'")}
        << false << all << false;
    QTest::newRow("date-times empty, numeric and unreadable")
        << QStringList{oneKm,
                       QStringLiteral("update events set first_computed_datetime = '' where "
                                      "node_code = 'U1'"),
                       QStringLiteral("update events set last_computed_datetime = 20210409 where "
                                      "node_code = 'L1'"),
                       QStringLiteral("update events set first_computed_datetime = 'soon' where "
                                      "node_code = 'M1'")}
        << false << all << true;
    QTest::newRow("detections without a fish or a node")
        << QStringList{oneKm,
                       QStringLiteral("update events set tag_id = null where node_code = "
                                      "'U2'"),
                       QStringLiteral("update events set node_id = null where node_code = 'L1'")}
        << false << all << true;
}

void TestSQLiteDataProvider::extractionPlansAgree()
{
    QFETCH(QStringList, changes);
    QFETCH(bool, windowed);
    QFETCH(QList<int>, sites);
    QFETCH(bool, direct);
    loadStudy();
    for (const QString& change : std::as_const(changes))
        QVERIFY2(provider_->execStatement(change), qPrintable(change));
    RunDefinition run;
    run.releaseIds = {1};
    run.siteIds = sites;
    const int runId = provider_->addRun(run);
    if (windowed) {
        QVERIFY(provider_->setRunWindow(runId, QDateTime(QDate(2021, 4, 3), QTime(9, 30), Qt::UTC),
                                        QDateTime(QDate(2021, 4, 7), QTime(0, 0), Qt::UTC)));
    }

    const QSqlDatabase db = QSqlDatabase::database();
    sqlite3* handle = *static_cast<sqlite3* const*>(db.driver()->handle().constData());
    const auto rowsOf = [&](bool general, bool& usedDirect) {
        SQLiteRunExtractor extractor(db, handle);
        extractor.setGeneralPlan(general);
        QString error;
        RunExtraction extraction = extractor.extract(runId, error);
        usedDirect = count(QStringLiteral(
                         "select count(*) from sqlite_temp_master where name like 'visits%'")) > 0;
        QStringList rows;
        CaptureRow row;
        extraction.rows->setMeasureText(true);
        while (extraction.rows->next(row)) {
            rows.append(QStringList{
                row.releaseName, row.tagCode, QString::number(row.lot),
                row.tagActivateDate.toString(Qt::ISODate), row.tagReleaseDate.toString(Qt::ISODate),
                row.taggerName, QString::number(row.bucket), QString::number(row.length),
                QString::number(row.weight), row.lengthText, row.weightText,
                QString::number(row.releaseRiverKm), row.siteName,
                row.firstDetection.toString(Qt::ISODate), row.lastDetection.toString(Qt::ISODate),
                QString::number(row.removalRiverKm)}
                            .join(u'|'));
        }
        rows.append(QStringLiteral("%1 rows counted").arg(extraction.rowCount));
        return rows;
    };
    bool generalUsedDirect = true;
    bool usedDirect = false;
    const QStringList expected = rowsOf(true, generalUsedDirect);
    const QStringList rows = rowsOf(false, usedDirect);
    QVERIFY(!generalUsedDirect);
    QCOMPARE(usedDirect, direct);
    QCOMPARE(rows, expected);
    QCOMPARE(rows.last(), QStringLiteral("%1 rows counted").arg(rows.size() - 1));
}

void TestSQLiteDataProvider::busyDatabaseIsWaitedFor()
{
    QCOMPARE(count(QStringLiteral("pragma busy_timeout")),
             qint64(SQLiteDataProvider::BusyTimeoutMs));
    QVERIFY(SQLiteDataProvider::BusyTimeoutMs >= 30000);
    QVERIFY(provider_->execStatement(QStringLiteral("insert into releases (name) values ('old')")));

    // Another program holds a write transaction.
    sqlite3* other = nullptr;
    QCOMPARE(sqlite3_open(dir_->filePath(QStringLiteral("keldar.db")).toUtf8().constData(), &other),
             SQLITE_OK);
    QCOMPARE(sqlite3_exec(other, "BEGIN IMMEDIATE; INSERT INTO loads (file_path) VALUES ('zz');",
                          nullptr, nullptr, nullptr),
             SQLITE_OK);

    // With a short wait the statement fails, and says why: it is never taken as done.
    QVERIFY(provider_->setBusyTimeout(50));
    QVERIFY(!provider_->clearReleases());
    QVERIFY2(provider_->errorText().contains(QStringLiteral("locked")),
             qPrintable(provider_->errorText()));
    QVERIFY(!provider_->addReleaseRecord(
        ReleaseRecord{QStringLiteral("new"), QStringLiteral("R"), QStringLiteral("CHN"), 0, 2021}));

    // With the usual wait it goes through once the other program is done.
    QVERIFY(provider_->setBusyTimeout(SQLiteDataProvider::BusyTimeoutMs));
    std::thread release([other] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        sqlite3_exec(other, "ROLLBACK;", nullptr, nullptr, nullptr);
    });
    const bool cleared = provider_->clearReleases();
    release.join();
    sqlite3_close(other);
    QVERIFY2(cleared, qPrintable(provider_->errorText()));
    QCOMPARE(count(QStringLiteral("select count(*) from releases")), 0);
}

QTEST_GUILESS_MAIN(TestSQLiteDataProvider)
#include "tst_sqlitedataprovider.moc"
