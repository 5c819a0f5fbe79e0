#include "RecordingLogger.h"
#include "TestSupport.h"
#include "base/DateTimeText.h"
#include "loader/DataLoader.h"
#include "loader/RowReader.h"
#include "store/SQLiteDataProvider.h"

#include <QDir>
#include <QFile>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <unistd.h>

using namespace kd;
using namespace kd::test;

namespace {

// A store that only keeps what a load hands over: the loader needs nothing else of one.
class RecordingSink : public LoadSink
{
public:
    QStringList rows; // model:field|field|...

    bool beginLoad() override { return true; }
    bool endLoad() override { return true; }
    bool abortLoad() override { return true; }
    int sharedTagCodes(QStringList& first, int) override
    {
        first.clear();
        return 0;
    }
    bool insertFields(Model model, const QList<QByteArrayView>& fields, int) override
    {
        QStringList values;
        for (const QByteArrayView field : fields)
            values << QString::fromUtf8(field);
        rows << QString::number(model) + ':' + values.join('|');
        return true;
    }
    bool finishRows() override { return true; }
    bool clearAllData() override { return true; }
    bool isLoaded(const QFileInfo&) override { return false; }
    bool isLoadCurrent(const QFileInfo&) override { return false; }
    int addLoad(const QFileInfo&, Model) override { return 1; }
    bool deleteLoad(const QFileInfo&) override { return true; }
    QStringList loadedPaths() override { return {}; }
    qint64 deleteLoadPath(const QString&) override { return 0; }
    bool loadFailed() const override { return false; }
    QString errorText() const override { return {}; }
};

} // namespace

class TestDataLoader : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void matchModel_data();
    void matchModel();
    void scanOrderAndFilter();
    void symlinkedFolderIsNotFollowed();
    void missingFolderTouchesNothing();
    void loadsEveryRowAndDerivedTables();
    void secondLoadOfUnchangedFolderAddsNothing();
    void changedFilesAreReplaced();
    void sharedTagCodesAreWarnedOnce_data();
    void sharedTagCodesAreWarnedOnce();
    void foreignIdsAreThoseOfTheLookUp_data();
    void foreignIdsAreThoseOfTheLookUp();
    void columnMapping_data();
    void columnMapping();
    void refusedLinesAreReported_data();
    void refusedLinesAreReported();
    void encodings_data();
    void encodings();
    void mappingFailureIsNotBookedAsLoaded();
    void canceledLoadKeepsNothing();
    void databaseFailureKeepsNothing_data();
    void databaseFailureKeepsNothing();
    void filesAreBookedRelativeToTheFolder();
    void vanishedFilesLoseTheirRows();
    void linkedFileIsLoadedOnce();
    void refusedLinesAreLocated();
    void nearMissHeaderIsNamed();
    void unreadableDateTimesAreCounted();
    void dateTimeCheckReadsAsTheReader_data();
    void dateTimeCheckReadsAsTheReader();
    void undecodableNameIsReported();
    void oneFileByAnyName_data();
    void oneFileByAnyName();
    void epochTimeIsATime();
    void oddFolderEntriesAreSaid_data();
    void oddFolderEntriesAreSaid();
    void emptyFolderIsRefused();
    void fileChangedWhileReadStopsTheLoad();
    void numbersInRange_data();
    void numbersInRange();
    void rowsReachTheSinkAsFields();
    void everyKindChecksItsColumns_data();
    void everyKindChecksItsColumns();
    void loadIndexesTheCodesAndTheLinks();

private:
    QString write(const QString& name, const QByteArray& content);
    bool load();
    void touch(const QString& path);

    std::unique_ptr<QTemporaryDir> dir_;
    QString dataDir_;
    std::unique_ptr<SQLiteDataProvider> provider_;
    std::unique_ptr<DataLoader> loader_;
    RecordingLogger logger_;
};

void TestDataLoader::init()
{
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    dataDir_ = dir_->filePath(QStringLiteral("data"));
    QVERIFY(QDir().mkpath(dataDir_));
    provider_ = std::make_unique<SQLiteDataProvider>(dir_->filePath(QStringLiteral("keldar.db")));
    QVERIFY(!provider_->hasError());
    loader_ = std::make_unique<DataLoader>(provider_.get());
    loader_->setDataDir(dataDir_);
    loader_->setLogger(&logger_);
    provider_->setLogger(&logger_);
    logger_.messages.clear();
}

void TestDataLoader::cleanup()
{
    loader_.reset();
    provider_.reset();
    dir_.reset();
}

QString TestDataLoader::write(const QString& name, const QByteArray& content)
{
    const QString path = QDir(dataDir_).filePath(name);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return QString();
    file.write(content);
    return path;
}

void TestDataLoader::touch(const QString& path)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(60),
                             QFileDevice::FileModificationTime));
}

bool TestDataLoader::load()
{
    logger_.messages.clear();
    return loader_->load();
}

void TestDataLoader::matchModel_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("model");

    QTest::newRow("tags") << TagsHeader + "\n" << 0;
    QTest::newRow("nodes") << NodesHeader + "\n" << 1;
    QTest::newRow("events, not nodes") << EventsHeader + "\n" << 2;
    QTest::newRow("removals with aliases")
        << QByteArray("tag_code,removal_date,riverkm,removal_type_id\n") << 6;
    QTest::newRow("case and blanks around commas")
        << QByteArray("Tag_Code , Lot,TAG_LIFE_DAYS\n") << 4;
    QTest::newRow("blank before first name") << QByteArray(" tag_code,lot,tag_life_days\n") << 7;
    QTest::newRow("tags and tag life data columns") << TagsHeader + ",tag_life_days\n" << 0;
    QTest::newRow("tags without pri") << TagsHeader.left(TagsHeader.size() - 4) + "\n" << 7;
    QTest::newRow("title line before header") << "Study of 2021\n" + TagsHeader + "\n" << 0;
    QTest::newRow("byte order mark") << "\xEF\xBB\xBF" + EventsHeader + "\r\n" << 2;
    QTest::newRow("empty file") << QByteArray() << 7;
    QByteArray late;
    for (int i = 0; i < 100; ++i)
        late += "x,y\n";
    QTest::newRow("header on line 101") << late + EventsHeader + "\n" << 7;
    // A line beyond the header limit is passed over in pieces; the next line still counts.
    QTest::newRow("huge line before header")
        << QByteArray(3 * DataLoader::HeaderLineLimit, ',') + "\n" + EventsHeader + "\n"
        << 2;
    QTest::newRow("NUL bytes") << QByteArray("t\0a\0g\0_\0c\0o\0d\0e\0", 16) << 7;
}

void TestDataLoader::matchModel()
{
    QFETCH(QByteArray, content);
    QFETCH(int, model);
    const QString path = write(QStringLiteral("file.csv"), content);
    QCOMPARE(loader_->matchModel(QFileInfo(path)), model);
}

void TestDataLoader::scanOrderAndFilter()
{
    write(QStringLiteral("b.csv"), EventsHeader + "\n");
    write(QStringLiteral("a/x.csv"), EventsHeader + "\n");
    write(QStringLiteral("Data.CSV"), TagsHeader + "\n");
    write(QStringLiteral("more.processed"), EventsHeader + "\n");
    write(QStringLiteral("notes.txt"), EventsHeader + "\n");
    write(QStringLiteral(".hidden.csv"), EventsHeader + "\n");
    write(QStringLiteral("junk.csv"), "just,some,text\n");
    write(QStringLiteral("keldar.db"), "SQLite format 3"); // the desktop keeps it here
    QVERIFY(loader_->scanFolder(dataDir_));

    QStringList order;
    for (const auto& [model, file] : loader_->matchedFiles())
        order.append(QStringLiteral("%1:%2").arg(model).arg(
            QDir(dataDir_).relativeFilePath(file.filePath())));
    // Within a model the file matched last comes first; a/x.csv is matched before b.csv.
    QCOMPARE(order, QStringList({QStringLiteral("0:Data.CSV"), QStringLiteral("2:more.processed"),
                                 QStringLiteral("2:b.csv"), QStringLiteral("2:a/x.csv")}));
    QCOMPARE(logger_.messages,
             QStringList(QStringLiteral("***Warning: file doesn't match any model ") +
                         QDir(dataDir_).filePath(QStringLiteral("junk.csv"))));
}

void TestDataLoader::symlinkedFolderIsNotFollowed()
{
    write(QStringLiteral("sub/e.csv"), EventsHeader + "\n");
    QVERIFY(QFile::link(dataDir_, QDir(dataDir_).filePath(QStringLiteral("sub/loop"))));
    QVERIFY(loader_->scanFolder(dataDir_));
    QCOMPARE(loader_->matchedFiles().size(), 1);
}

void TestDataLoader::missingFolderTouchesNothing()
{
    loader_->setDataDir(dir_->filePath(QStringLiteral("nowhere")));
    QVERIFY(!load());
    QCOMPARE(count(QStringLiteral("select count(*) from loads")), 0);
    QVERIFY(logger_.messages.isEmpty());
}

void TestDataLoader::loadsEveryRowAndDerivedTables()
{
    write(QStringLiteral("tags.csv"),
          TagsHeader + "\n" + tagLine("G7000001") + "\n" + tagLine("G7000002") + "\n" +
              tagLine("G7000003", "REL1", "1") + "\n" + tagLine("G7000004", "REL2") + "\n");
    write(QStringLiteral("nodes.csv"), NodesHeader + "\nN1_01,1,2,100,A1,up,2021-01-01 00:00:00,,\n"
                                                     "N1_02,1,2,100,A1,down,2021-01-01 00:00:00,,\n"
                                                     "N2_01,1,2,80,A2,up,2021-03-01 00:00:00,,\n");
    write(QStringLiteral("events.csv"),
          EventsHeader + "\r\nN1_01,G7000001,2021-04-03 10:00:00,2021-04-03 11:00:00,4\r\n"
                         "N2_01,G7000001,2021-04-05 10:00:00,2021-04-05 10:00:00,1\r\n"
                         "N2_01,G7UNKNOWN,2021-04-05 10:00:00,2021-04-05 10:00:00,1\r\n");
    QVERIFY(load()); // the log order is checked with the console runner
    QCOMPARE(count(QStringLiteral("select count(*) from tags")), 4);
    QCOMPARE(count(QStringLiteral("select count(*) from loads")), 3);
    QCOMPARE(text(QStringLiteral("select hits from events where tag_code='G7000001' and "
                                 "node_code='N1_01'")),
             QStringLiteral("4")); // no line end kept in the last column
    QCOMPARE(count(QStringLiteral("select count(*) from events e join tags t on e.tag_id=t.id "
                                  "join nodes n on e.node_id=n.id where e.tag_code=t.tag_code and "
                                  "e.node_code=n.node_code")),
             2);
    QCOMPARE(count(QStringLiteral("select count(*) from events where tag_id is null")), 1);
    QCOMPARE(count(QStringLiteral("select node_count from arrays where location='A1'")), 2);
    QVERIFY(provider_->hasCoreData());
}

void TestDataLoader::secondLoadOfUnchangedFolderAddsNothing()
{
    write(QStringLiteral("tags.csv"), TagsHeader + "\n" + tagLine("G7000001") + "\n");
    write(QStringLiteral("nodes.csv"),
          NodesHeader + "\nN1_01,1,2,100,A1,up,2021-01-01 00:00:00,,\n");
    QVERIFY(load());
    QVERIFY(load());
    QCOMPARE(logger_.messages, QStringList({QStringLiteral("Processing tags..."),
                                            QStringLiteral("Processing nodes..."),
                                            QStringLiteral("Updating indices..."),
                                            QStringLiteral("Updating foreign ids...")}));
    QCOMPARE(count(QStringLiteral("select count(*) from tags")), 1);
    QCOMPARE(count(QStringLiteral("select count(*) from loads")), 2);
    QCOMPARE(count(QStringLiteral("select count(*) from release_groups")), 1);
    QCOMPARE(count(QStringLiteral("select count(*) from arrays")), 1);
}

void TestDataLoader::sharedTagCodesAreWarnedOnce_data()
{
    QTest::addColumn<int>("shared"); // codes on two tag rows, G7100000 .. in file order
    QTest::addColumn<QString>("warning");
    QTest::newRow("none") << 0 << QString();
    QTest::newRow("one") << 1
                         << "***Warning: 1 tag code appears on more than one tag; its detections "
                            "all go to the first: G7100000";
    QTest::newRow("ten") << 10
                         << "***Warning: 10 tag codes appear on more than one tag; their "
                            "detections all go to the first: G7100000, G7100001, G7100002, "
                            "G7100003, G7100004, G7100005, G7100006, G7100007, G7100008, G7100009";
    QTest::newRow("twelve") << 12
                            << "***Warning: 12 tag codes appear on more than one tag; their "
                               "detections all go to the first: G7100000, G7100001, G7100002, "
                               "G7100003, G7100004, G7100005, G7100006, G7100007, G7100008, "
                               "G7100009, …";
}

void TestDataLoader::sharedTagCodesAreWarnedOnce()
{
    QFETCH(int, shared);
    QFETCH(QString, warning);
    // A code of its own first, so that the order is that of the first row, not of the codes.
    QByteArray tags = TagsHeader + "\n" + tagLine("G7999999") + "\n";
    for (int i = 0; i < shared; ++i)
        tags += tagLine(QByteArray("G71") + QByteArray::number(i).rightJustified(5, '0')) + "\n";
    for (int i = 0; i < shared; ++i)
        tags += tagLine(QByteArray("G71") + QByteArray::number(i).rightJustified(5, '0')) + "\n";
    write(QStringLiteral("tags.csv"), tags);
    write(QStringLiteral("more_tags.csv"), TagsHeader + "\n" + tagLine("G7999998") + "\n");
    QVERIFY(load());
    const QStringList warnings = logger_.messages.filter(QStringLiteral("***Warning"));
    QCOMPARE(warnings, warning.isEmpty() ? QStringList() : QStringList(warning));
}

void TestDataLoader::changedFilesAreReplaced()
{
    const QString tags = write(QStringLiteral("tags.csv"), TagsHeader + "\n" + tagLine("G7000001") +
                                                               "\n" + tagLine("G7000002") + "\n");
    const QString events = write(QStringLiteral("events.csv"),
                                 EventsHeader + "\nN1,G7000002,2021-04-03 10:00:00,2021-04-03 "
                                                "10:00:00,1\n");
    write(QStringLiteral("life.csv"), "tag_code,lot,tag_life_days\nG7000001,1,30\n");
    QVERIFY(load());

    // Tags in another order and one more event: the events must follow the new tag ids, and
    // the new rows of a kept database are linked too; the unchanged file is skipped.
    write(QStringLiteral("tags.csv"),
          TagsHeader + "\n" + tagLine("G7000002") + "\n" + tagLine("G7000001") + "\n");
    write(QStringLiteral("events.csv"),
          EventsHeader + "\nN1,G7000002,2021-04-03 10:00:00,2021-04-03 10:00:00,1\n"
                         "N1,G7000001,2021-04-04 10:00:00,2021-04-04 10:00:00,2\n");
    touch(tags);
    touch(events);
    QVERIFY(load());
    QVERIFY(logger_.messages.contains(QStringLiteral("Loading %1...").arg(events)));
    QVERIFY(!logger_.messages.contains(QStringLiteral("Loading %1/life.csv...").arg(dataDir_)));
    QCOMPARE(count(QStringLiteral("select count(*) from events")), 2);
    QCOMPARE(count(QStringLiteral("select count(*) from loads")), 3);
    QCOMPARE(count(QStringLiteral("select count(*) from events e join tags t on e.tag_id=t.id "
                                  "where e.tag_code=t.tag_code")),
             2);
}

namespace {

using Files = QMap<QString, QByteArray>;

QByteArray lines(const QByteArray& header, const QList<QByteArray>& rows)
{
    return header + "\n" + rows.join('\n') + "\n";
}

// Events in file order (hits counts up) over the codes of the tags and nodes below: duplicates,
// codes that differ only by case or a trailing space, unknown and empty codes; more rows than
// the store writes in one statement, and not a multiple of it.
QByteArray eventsFile(int rows, const QList<QByteArray>& tags, int firstHits = 1)
{
    const QList<QByteArray> nodes = {"N1", "N2", "N9", ""};
    QList<QByteArray> result;
    for (int i = 0; i < rows; ++i) {
        result.append(nodes[i % nodes.size()] + ',' + tags[i % tags.size()] +
                      ",2021-04-03 10:00:00,2021-04-03 11:00:00," +
                      QByteArray::number(firstHits + i));
    }
    return lines(EventsHeader, result);
}

} // namespace

void TestDataLoader::foreignIdsAreThoseOfTheLookUp_data()
{
    const QList<QByteArray> codes = {"G7000001",  "G7000002", "g7000001", "G7000003",
                                     "G7UNKNOWN", "",         "G7000004 "};
    const QByteArray tags = lines(
        TagsHeader, {tagLine("G7000001"), tagLine("G7000002"), tagLine("G7000001"),
                     tagLine("G7000003 "), tagLine(""), tagLine("G7000004"), tagLine("G7000002")});
    const QByteArray nodes = lines(NodesHeader, {"N1,1,2,100,A1,up,2021-01-01 00:00:00,,",
                                                 "N2,1,2,80,A2,up,2021-01-01 00:00:00,,",
                                                 "N1,1,2,100,A1,down,2021-01-01 00:00:00,,"});
    const Files first = {
        {QStringLiteral("tags.csv"), tags},
        {QStringLiteral("nodes.csv"), nodes},
        {QStringLiteral("events.csv"), eventsFile(75, codes)},
        {QStringLiteral("attributes.csv"),
         lines("tag_code,attribute,value", {"G7000001,sex,F", "G7000002,sex,M", "G7X,sex,M"})},
        {QStringLiteral("locations.csv"),
         lines("tag_code,time,northing,easting,elevation", {"G7000002,2021-05-01 00:00:00,1,2,3"})},
        {QStringLiteral("removals.csv"),
         lines("tag_code,removal_date,removal_river_km,removal_type",
               {"G7000001,2021-05-01 00:00:00,90,angler", "g7000001,2021-05-01 00:00:00,90,x"})},
    };
    QList<QByteArray> reversedTags = tags.trimmed().split('\n').mid(1);
    std::reverse(reversedTags.begin(), reversedTags.end());
    const QByteArray otherTags = lines(TagsHeader, reversedTags);
    const QByteArray otherEvents = eventsFile(40, {"G7000002", "G7000004", "G7000001"}, 100);

    QTest::addColumn<Files>("firstFiles");
    // Files written (or removed, when empty) before a second load.
    QTest::addColumn<Files>("changes");
    QTest::newRow("one load") << first << Files();
    QTest::newRow("events replaced") << first << Files{{QStringLiteral("events.csv"), otherEvents}};
    QTest::newRow("tags replaced, events kept")
        << first << Files{{QStringLiteral("tags.csv"), otherTags}};
    QTest::newRow("tags and events replaced") << first
                                              << Files{{QStringLiteral("tags.csv"), otherTags},
                                                       {QStringLiteral("events.csv"), otherEvents}};
    QTest::newRow("tags removed") << first << Files{{QStringLiteral("tags.csv"), QByteArray()}};
    QTest::newRow("nodes replaced")
        << first
        << Files{{QStringLiteral("nodes.csv"),
                  lines(NodesHeader, {"N2,1,2,80,A2,up,2021-01-01 00:00:00,,",
                                      "N9,1,2,60,A3,up,2021-01-01 00:00:00,,"})}};
    QTest::newRow("second events file")
        << first << Files{{QStringLiteral("more/events.csv"), otherEvents}};
    QTest::newRow("tags added by a second file")
        << first
        << Files{{QStringLiteral("more/tags.csv"), lines(TagsHeader, {tagLine("G7UNKNOWN")})},
                 {QStringLiteral("more/events.csv"), otherEvents}};
}

void TestDataLoader::foreignIdsAreThoseOfTheLookUp()
{
    QFETCH(Files, firstFiles);
    QFETCH(Files, changes);
    const auto apply = [this](const Files& files) {
        for (auto it = files.cbegin(); it != files.cend(); ++it) {
            const QString path = QDir(dataDir_).filePath(it.key());
            if (it.value().isEmpty()) {
                QVERIFY(QFile::remove(path));
                continue;
            }
            const bool existed = QFile::exists(path);
            write(it.key(), it.value());
            if (existed)
                touch(path);
        }
    };
    // Each row's id is the lowest id of its code in the source table, or none, whatever was
    // loaded when; and the rows of a file keep the file's order.
    const auto check = [](const char* when) {
        const struct
        {
            const char* table;
            const char* idColumn;
            const char* source;
            const char* code;
        } links[] = {{"events", "node_id", "nodes", "node_code"},
                     {"events", "tag_id", "tags", "tag_code"},
                     {"tag_attributes", "tag_id", "tags", "tag_code"},
                     {"tag_locations", "tag_id", "tags", "tag_code"},
                     {"removals", "tag_id", "tags", "tag_code"}};
        for (const auto& link : links) {
            const QString wrong =
                QStringLiteral("select count(*) from %1 where %2 is not (select min(s.id) from %3 "
                               "s where s.%4 = %1.%4)")
                    .arg(QLatin1String(link.table), QLatin1String(link.idColumn),
                         QLatin1String(link.source), QLatin1String(link.code));
            QVERIFY2(count(wrong) == 0,
                     qPrintable(QStringLiteral("%1: %2.%3")
                                    .arg(QLatin1String(when), QLatin1String(link.table),
                                         QLatin1String(link.idColumn))));
        }
        QCOMPARE(count(QStringLiteral("select count(*) from events a join events b on "
                                      "a.load_id = b.load_id and a.id < b.id and a.hits > b.hits")),
                 0);
    };
    apply(firstFiles);
    QVERIFY(load());
    QCOMPARE(count(QStringLiteral("select count(*) from events")), 75);
    QCOMPARE(count(QStringLiteral("select count(*) from events where tag_id is not null")), 32);
    check("first load");
    if (changes.isEmpty())
        return;
    apply(changes);
    QVERIFY(load());
    check("second load");
}

void TestDataLoader::columnMapping_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("expected"); // removals row as stored, '|' between columns

    QTest::newRow("model order with aliases")
        << QByteArray("tag_code,removal_date,riverkm,removal_type_id\nG7000001,2021-05-01 "
                      "00:00:00,55,bird\n")
        << QStringLiteral("G7000001|2021-05-01 00:00:00|55|bird");
    QTest::newRow("other order with extra column")
        << QByteArray(
               "note,removal_type,riverkm,tag_code,removal_date\nx,bird,55,G7000001,2021-05-01 "
               "00:00:00\n")
        << QStringLiteral("G7000001|2021-05-01 00:00:00|55|bird");
    QTest::newRow("empty first mapped field keeps columns")
        << QByteArray("removal_date,tag_code,removal_river_km,removal_type\n2021-05-01 "
                      "00:00:00,,55,bird\n")
        << QStringLiteral("|2021-05-01 00:00:00|55|bird");
    QTest::newRow("quotes are plain characters")
        << QByteArray("tag_code,removal_date,removal_river_km,removal_type\n\"G7000001\",d,55,\"a "
                      "b\"\n")
        << QStringLiteral("\"G7000001\"|d|55|\"a b\"");
}

void TestDataLoader::columnMapping()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, expected);
    write(QStringLiteral("removals.csv"), content);
    QVERIFY(load());
    QCOMPARE(text(QStringLiteral("select tag_code || '|' || removal_date || '|' || "
                                 "removal_river_km || '|' || removal_type from removals")),
             expected);
}

void TestDataLoader::refusedLinesAreReported_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("stored");
    QTest::addColumn<int>("refused");

    const QByteArray header = "tag_code,lot,tag_life_days\n";
    QTest::newRow("all good") << header + "G7000001,1,30\nG7000002,1,31\n" << 2 << 0;
    QTest::newRow("short line after a good one") << header + "G7000001,1,30\nG7000002,1\n"
                                                 << 1 << 1;
    QTest::newRow("long line") << header + "G7000001,1,30,extra\nG7000002,1,31\n" << 1 << 1;
    QTest::newRow("blank line") << header + "G7000001,1,30\n\nG7000002,1,31\n" << 2 << 1;
    const QByteArray mapped = "lot,tag_code,tag_life_days\n";
    QTest::newRow("mapped line lacking a field") << mapped + "1,G7000001\n1,G7000002,31\n"
                                                 << 1 << 1;
    QTest::newRow("mapped line with extra field") << mapped + "1,G7000001,30,9\n" << 0 << 1;
}

void TestDataLoader::refusedLinesAreReported()
{
    QFETCH(QByteArray, content);
    QFETCH(int, stored);
    QFETCH(int, refused);
    const QString path = write(QStringLiteral("life.csv"), content);
    QVERIFY(load());
    QCOMPARE(count(QStringLiteral("select count(*) from tag_life_data")), stored);
    const int lines = stored + refused;
    QVERIFY(logger_.messages.contains(QStringLiteral("Loaded %1 rows.").arg(lines)));
    const QString warning = QStringLiteral("***Warning: %1 of %2 rows of %3 were not stored")
                                .arg(refused)
                                .arg(lines)
                                .arg(path);
    QCOMPARE(logger_.messages.contains(warning), refused > 0);
    // A short line must never be completed with the previous line's values.
    QCOMPARE(count(QStringLiteral("select count(*) from tag_life_data where tag_code='G7000002' "
                                  "and tag_life_days is null")),
             0);
}

void TestDataLoader::encodings_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QString>("expected");
    QTest::newRow("ascii") << QByteArray("plain") << QStringLiteral("plain");
    QTest::newRow("utf-8") << QByteArray("Rivi\xC3\xA8re") << QStringLiteral("Rivi\u00E8re");
    QTest::newRow("latin-1") << QByteArray("Rivi\xE8re") << QStringLiteral("Rivi\u00E8re");
    // The longest line that is stored: 1 MiB in all.
    const int longest = (1 << 20) - int(sizeof("G7000001,river,")) + 1;
    QTest::newRow("megabyte") << QByteArray(longest, 'x') << QString(longest, QLatin1Char('x'));
}

void TestDataLoader::encodings()
{
    QFETCH(QByteArray, value);
    QFETCH(QString, expected);
    write(QStringLiteral("attributes.csv"),
          "tag_code,attribute,value\nG7000001,river," + value + "\n");
    QVERIFY(load());
    QCOMPARE(text(QStringLiteral("select value from tag_attributes")), expected);
}

void TestDataLoader::mappingFailureIsNotBookedAsLoaded()
{
    // Matched on its second line, but loading takes the first line as the header.
    const QString path = write(QStringLiteral("life.csv"),
                               "title line\ntag_code,lot,tag_life_days\nG7000001,1,30\n");
    QVERIFY(load());
    QVERIFY(logger_.messages.contains(
        QStringLiteral("***Column mapping failed- cannot proceed with load of ") + path));
    QVERIFY(logger_.messages.contains(QStringLiteral("Loaded 0 rows.")));
    QCOMPARE(count(QStringLiteral("select count(*) from loads")), 0);
    QVERIFY(load());
    QVERIFY(logger_.messages.contains(
        QStringLiteral("***Column mapping failed- cannot proceed with load of ") + path));
}

void TestDataLoader::canceledLoadKeepsNothing()
{
    write(QStringLiteral("life.csv"), "tag_code,lot,tag_life_days\nG7000001,1,30\n");
    std::atomic<bool> cancel{true};
    loader_->setCancelFlag(&cancel);
    QVERIFY(!load());
    QCOMPARE(logger_.messages.last(), QStringLiteral("Load canceled."));
    QCOMPARE(count(QStringLiteral("select count(*) from loads")), 0);
    cancel = false;
    QVERIFY(load());
    QCOMPARE(count(QStringLiteral("select count(*) from tag_life_data")), 1);

    // A canceled reload that starts by emptying the database keeps the earlier contents.
    provider_->addSite(QStringLiteral("S1"), 10, {});
    loader_->setReplaceAll(true);
    cancel = true;
    QVERIFY(!load());
    QCOMPARE(count(QStringLiteral("select count(*) from tag_life_data")), 1);
    QCOMPARE(count(QStringLiteral("select count(*) from sites")), 1);
    cancel = false;
    QVERIFY(load());
    QCOMPARE(count(QStringLiteral("select count(*) from sites")), 0);
    QCOMPARE(count(QStringLiteral("select count(*) from tag_life_data")), 1);
}

void TestDataLoader::databaseFailureKeepsNothing_data()
{
    QTest::addColumn<QString>("failure");
    QTest::addColumn<QString>("cause");
    // SQLite runs out of pages in the middle of the inserts.
    QTest::newRow("disk full") << QStringLiteral("full")
                               << QStringLiteral("database or disk is full");
    // The summaries at the end of the load fail.
    QTest::newRow("end of load") << QStringLiteral("trigger") << QStringLiteral("no summaries");
}

void TestDataLoader::databaseFailureKeepsNothing()
{
    QFETCH(QString, failure);
    QFETCH(QString, cause);
    QByteArray tags = TagsHeader + "\n" + tagLine("G7000001") + "\n";
    const QString tagsPath = write(QStringLiteral("tags.csv"), tags);
    write(QStringLiteral("life.csv"), "tag_code,lot,tag_life_days\nG7000001,1,30\n");
    QVERIFY(load());
    const auto snapshot = [] {
        return text(QStringLiteral("select group_concat(tag_code || '/' || load_id) from tags")) +
               text(QStringLiteral("select group_concat(id || file_path) from loads")) +
               QString::number(count(QStringLiteral("select count(*) from tag_life_data"))) +
               QString::number(count(QStringLiteral("select count(*) from release_groups")));
    };
    const QString before = snapshot();

    QSqlQuery query;
    if (failure == QLatin1String("full")) {
        QVERIFY(query.exec(QStringLiteral("pragma page_count")) && query.next());
        const int pages = query.value(0).toInt();
        QVERIFY(query.exec(QStringLiteral("pragma max_page_count = %1").arg(pages + 4)));
        for (int i = 2; i < 20000; ++i)
            tags += tagLine("G7" + QByteArray::number(1000000 + i)) + "\n";
    } else {
        QVERIFY(query.exec(QStringLiteral("create trigger refuse before insert on release_groups "
                                          "begin select raise(abort, 'no summaries'); end")));
        tags += tagLine("G7000002") + "\n";
    }
    write(QStringLiteral("tags.csv"), tags);
    touch(tagsPath);
    write(QStringLiteral("more_life.csv"), "tag_code,lot,tag_life_days\nG7000003,1,30\n");
    QVERIFY(!load());
    QVERIFY2(logger_.messages.filter(cause).size() >= 1, qPrintable(logger_.messages.join('\n')));
    QVERIFY(provider_->errorText().contains(cause));
    QCOMPARE(snapshot(), before);
}

void TestDataLoader::filesAreBookedRelativeToTheFolder()
{
    write(QStringLiteral("sub/life.csv"), "tag_code,lot,tag_life_days\nG7000001,1,30\n");
    QVERIFY(load());
    QCOMPARE(text(QStringLiteral("select file_path from loads")), QStringLiteral("sub/life.csv"));

    // The same folder named another way, and the whole study moved: nothing is loaded again.
    const QString cwd = QDir::currentPath();
    QDir::setCurrent(dir_->path());
    loader_->setDataDir(QStringLiteral("data/../data"));
    QVERIFY(load());
    QDir::setCurrent(cwd);
    QVERIFY(QDir().rename(dataDir_, dir_->filePath(QStringLiteral("moved"))));
    loader_->setDataDir(dir_->filePath(QStringLiteral("moved")));
    QVERIFY(load());
    QVERIFY(logger_.messages.filter(QStringLiteral("Loading")).isEmpty());
    QCOMPARE(count(QStringLiteral("select count(*) from tag_life_data")), 1);

    // Bookings of earlier versions: an absolute path inside the folder is rewritten, one that
    // matches no file counts as gone.
    QSqlQuery query;
    QVERIFY(query.exec(QStringLiteral("update loads set file_path = '%1/sub/life.csv', "
                                      "file_size = null")
                           .arg(dir_->filePath(QStringLiteral("moved")))));
    QVERIFY(query.exec(QStringLiteral("insert into loads (model, file_path) values "
                                      "('tag_life_data', '/elsewhere/old.csv')")));
    QVERIFY(query.exec(QStringLiteral("insert into tag_life_data (tag_code, load_id) values "
                                      "('G7000009', last_insert_rowid())")));
    QVERIFY(load());
    QVERIFY(logger_.messages.filter(QStringLiteral("Loading")).isEmpty());
    QCOMPARE(text(QStringLiteral("select group_concat(file_path) from loads")),
             QStringLiteral("sub/life.csv"));
    QCOMPARE(count(QStringLiteral("select count(*) from loads where file_size > 0")), 1);
    QCOMPARE(text(QStringLiteral("select group_concat(tag_code) from tag_life_data")),
             QStringLiteral("G7000001"));
    QVERIFY(logger_.messages.contains(
        QStringLiteral("Removed the 1 rows of /elsewhere/old.csv: the file is gone.")));
}

void TestDataLoader::vanishedFilesLoseTheirRows()
{
    const QString life =
        write(QStringLiteral("life.csv"), "tag_code,lot,tag_life_days\nG7000001,1,30\n");
    const QString other =
        write(QStringLiteral("other.csv"), "tag_code,lot,tag_life_days\nG7000002,1,30\n");
    const QString attributes =
        write(QStringLiteral("attributes.csv"), "tag_code,attribute,value\nG7000001,a,b\n");
    QVERIFY(load());
    // Renamed, deleted, and changed so that it matches no kind any more.
    QVERIFY(QFile::rename(life, QDir(dataDir_).filePath(QStringLiteral("renamed.csv"))));
    QVERIFY(QFile::remove(other));
    write(QStringLiteral("attributes.csv"), "notes\nnothing here\n");
    QVERIFY(load());
    QCOMPARE(text(QStringLiteral("select group_concat(tag_code) from tag_life_data")),
             QStringLiteral("G7000001"));
    QCOMPARE(count(QStringLiteral("select count(*) from tag_attributes")), 0);
    QCOMPARE(text(QStringLiteral("select group_concat(file_path) from loads")),
             QStringLiteral("renamed.csv"));
    QVERIFY(logger_.messages.contains(
        QStringLiteral("Removed the 1 rows of %1: the file is gone.").arg(other)));
    QVERIFY(logger_.messages.contains(
        QStringLiteral("Removed the 1 rows of %1: the file no longer matches a data kind.")
            .arg(attributes)));
}

void TestDataLoader::linkedFileIsLoadedOnce()
{
    const QString life =
        write(QStringLiteral("z/life.csv"), "tag_code,lot,tag_life_days\nG7000001,1,30\n");
    QVERIFY(QFile::link(life, QDir(dataDir_).filePath(QStringLiteral("a_link.csv"))));
    QVERIFY(load());
    QCOMPARE(count(QStringLiteral("select count(*) from tag_life_data")), 1);
    QCOMPARE(text(QStringLiteral("select file_path from loads")), QStringLiteral("z/life.csv"));
}

void TestDataLoader::oneFileByAnyName_data()
{
    QTest::addColumn<QString>("second"); // how the second name reaches the file
    QTest::newRow("hard link") << QStringLiteral("hard");
    QTest::newRow("symbolic link") << QStringLiteral("symbolic");
    QTest::newRow("hard link made after the first load") << QStringLiteral("hard later");
}

void TestDataLoader::oneFileByAnyName()
{
    QFETCH(QString, second);
    const QString life = write(QStringLiteral("life.csv"),
                               "tag_code,lot,tag_life_days\nG7000001,1,30\nG7000002,1,30\n");
    const QString other = QDir(dataDir_).filePath(QStringLiteral("downloads/x.csv"));
    QVERIFY(QDir().mkpath(QFileInfo(other).absolutePath()));
    const auto linkIt = [&] {
        QVERIFY(second.startsWith(QLatin1String("hard"))
                    ? ::link(QFile::encodeName(life).constData(),
                             QFile::encodeName(other).constData()) == 0
                    : QFile::link(life, other));
    };
    if (second == QLatin1String("hard later")) {
        QVERIFY(load());
        linkIt();
    } else {
        linkIt();
    }
    QVERIFY(load());
    QCOMPARE(count(QStringLiteral("select count(*) from tag_life_data")), 2);
    QVERIFY2(logger_.messages.filter(QStringLiteral("is the same file as")).size() == 1,
             qPrintable(logger_.messages.join('\n')));
    // The name booked first keeps its rows; nothing is said gone.
    QVERIFY(logger_.messages.filter(QStringLiteral("Removed")).isEmpty());
    // A link gives way to the file; of two hard links, the one booked before stays booked.
    if (second != QLatin1String("hard"))
        QCOMPARE(text(QStringLiteral("select file_path from loads")), QStringLiteral("life.csv"));
}

void TestDataLoader::epochTimeIsATime()
{
    const QString life =
        write(QStringLiteral("life.csv"), "tag_code,lot,tag_life_days\nG7000001,1,30\n");
    QFile file(life);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.setFileTime(QDateTime::fromMSecsSinceEpoch(0, Qt::UTC),
                             QFileDevice::FileModificationTime));
    file.close();
    QVERIFY(load());
    QVERIFY(!text(QStringLiteral("select file_date from loads")).isEmpty());
    QVERIFY(load());
    QVERIFY2(logger_.messages.filter(QStringLiteral("Loading")).isEmpty(),
             qPrintable(logger_.messages.join('\n')));
}

void TestDataLoader::oddFolderEntriesAreSaid_data()
{
    QTest::addColumn<QByteArray>("name");    // a data file's name (raw bytes)
    QTest::addColumn<QString>("link");       // a link's target, or empty
    QTest::addColumn<QByteArray>("content"); // the data file's content
    QTest::addColumn<QString>("message");    // a logged line, %1 the data folder
    QTest::addColumn<int>("lifeRows");       // tag life rows stored

    const QByteArray life = "tag_code,lot,tag_life_days\nG7000001,1,30\n";
    QTest::newRow("dangling link")
        << QByteArray("gone.csv") << QStringLiteral("nothing_here.csv") << QByteArray()
        << QStringLiteral("***Warning: %1/gone.csv is a link that "
                          "leads to no file; not loaded")
        << 0;
    QTest::newRow("looping link") << QByteArray("loop.csv") << QStringLiteral("loop.csv")
                                  << QByteArray()
                                  << QStringLiteral("***Warning: %1/loop.csv is a link that leads "
                                                    "to no file; not loaded")
                                  << 0;
    // A line end in a name must not forge a log line.
    QTest::newRow("line end in a name")
        << QByteArray("a\nRemoved the 999 rows of tags.csv: the file is gone.\n.csv") << QString()
        << life
        << QStringLiteral("Loading %1/a\\nRemoved the 999 rows of tags.csv: the file is "
                          "gone.\\n.csv...")
        << 1;
    QTest::newRow("escape in a name") << QByteArray("b\x1b[2J.csv") << QString() << life
                                      << QStringLiteral("Loading %1/b\\x1b[2J.csv...") << 1;
    // A header of 12,000 columns cannot be mapped: say why.
    QByteArray wide = "tag_code,lot,tag_life_days";
    for (int i = 0; i < 12000; ++i)
        wide += ",extra_column_" + QByteArray::number(i);
    QTest::newRow("header too long")
        << QByteArray("wide.csv") << QString() << wide + "\nG7000001,1,30\n"
        << QStringLiteral("***Warning: the header of %1/wide.csv is longer than 65536 bytes "
                          "(12003 columns); not loaded")
        << 0;
}

void TestDataLoader::oddFolderEntriesAreSaid()
{
    QFETCH(QByteArray, name);
    QFETCH(QString, link);
    QFETCH(QByteArray, content);
    QFETCH(QString, message);
    QFETCH(int, lifeRows);
    const QByteArray path = QFile::encodeName(dataDir_) + '/' + name;
    if (!link.isEmpty()) {
        QVERIFY(::symlink(QFile::encodeName(QDir(dataDir_).filePath(link)).constData(),
                          path.constData()) == 0);
    } else {
        std::FILE* file = std::fopen(path.constData(), "wb");
        QVERIFY(file);
        std::fwrite(content.constData(), 1, size_t(content.size()), file);
        std::fclose(file);
    }
    QVERIFY(load());
    // Said once, on a line of its own.
    QVERIFY2(logger_.messages.count(message.arg(dataDir_)) == 1,
             qPrintable(logger_.messages.join('\n')));
    for (const QString& line : std::as_const(logger_.messages))
        QVERIFY(!line.contains(QLatin1Char('\n')));
    QCOMPARE(count(QStringLiteral("select count(*) from tag_life_data")), lifeRows);
}

void TestDataLoader::emptyFolderIsRefused()
{
    write(QStringLiteral("life.csv"), "tag_code,lot,tag_life_days\nG7000001,1,30\n");
    write(QStringLiteral("sub/more.csv"), "tag_code,lot,tag_life_days\nG7000002,1,30\n");
    QVERIFY(load());
    QVERIFY(loader_->checkFolder().isEmpty());

    // The folder is there but holds nothing: an unmounted disk, not a study deleted.
    const QString moved = dir_->filePath(QStringLiteral("data_real"));
    QVERIFY(QDir().rename(dataDir_, moved));
    QVERIFY(QDir().mkpath(dataDir_));
    write(QStringLiteral("readme.txt"), "not data\n");
    const QString refusal = QStringLiteral("The data folder %1 holds none of the 2 files loaded "
                                           "before and no data file; nothing was changed. Is it "
                                           "mounted?")
                                .arg(dataDir_);
    QVERIFY(!load());
    QVERIFY(loader_->failureLogged());
    QCOMPARE(logger_.messages, QStringList{refusal});
    QCOMPARE(count(QStringLiteral("select count(*) from tag_life_data")), 2);
    QCOMPARE(count(QStringLiteral("select count(*) from loads")), 2);
    // The desktop's rebuild asks first with the same words.
    QCOMPARE(loader_->checkFolder(), refusal);

    // One file of the study is enough to take the folder as the study's.
    write(QStringLiteral("life.csv"), "tag_code,lot,tag_life_days\nG7000001,1,30\n");
    QVERIFY(loader_->checkFolder().isEmpty());
    QVERIFY(load());
    QCOMPARE(count(QStringLiteral("select count(*) from tag_life_data")), 1);
}

namespace {

// Rewrites a file when the loader starts reading it, as another program might.
class RewritingLogger : public RecordingLogger
{
public:
    void log(const QString& message, int level) override
    {
        RecordingLogger::log(message, level);
        if (!rewrite.isEmpty() && message.startsWith(QLatin1String("Loading ")) &&
            message.contains(rewrite)) {
            QFile file(rewrite);
            if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
                file.write("tag_code,lot,tag_life_days\nG7000009,1,30\n");
            file.close();
            rewrite.clear();
        }
    }
    QString rewrite;
};

} // namespace

void TestDataLoader::fileChangedWhileReadStopsTheLoad()
{
    QByteArray content = "tag_code,lot,tag_life_days\n";
    for (int i = 0; i < 20000; ++i)
        content += "G7" + QByteArray::number(1000000 + i) + ",1,30\n";
    const QString life = write(QStringLiteral("life.csv"), content);
    RewritingLogger rewriting;
    rewriting.rewrite = life;
    loader_->setLogger(&rewriting);
    QVERIFY(!loader_->load());
    QVERIFY2(rewriting.messages.contains(
                 QStringLiteral(
                     "The load stopped in %1: the file changed while it was read. Nothing of this "
                     "load was kept.")
                     .arg(life)),
             qPrintable(rewriting.messages.join('\n')));
    QCOMPARE(count(QStringLiteral("select count(*) from tag_life_data")), 0);
    QCOMPARE(count(QStringLiteral("select count(*) from loads")), 0);
    // The next load takes the file as it is now.
    loader_->setLogger(&logger_);
    QVERIFY(load());
    QCOMPARE(text(QStringLiteral("select group_concat(tag_code) from tag_life_data")),
             QStringLiteral("G7000009"));
}

void TestDataLoader::numbersInRange_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<bool>("real");  // read as a real number (float range)
    QTest::addColumn<bool>("whole"); // read as a whole number (int range)
    const auto row = [](const char* value, bool real, bool whole) {
        QTest::newRow(value[0] ? value : "empty") << QByteArray(value) << real << whole;
    };
    row("", true, true); // missing, not unreadable
    row("5", true, true);
    row(" -3.5e2 ", true, true);
    row("\"12\"", true, true);
    row(".5", true, true);
    row("3.4e38", true, false);
    row("1e39", false, false);
    row("1e999", false, false);
    row("2147483647", true, true);
    row("2147483648", true, false);
    row("-2147483648", true, true);
    for (const char* text :
         {"nan", "NaN", "inf", "-inf", "Infinity", "0x10", "1e", "e5", ".", "12abc", "1,5", "--1"})
        row(text, false, false);
}

void TestDataLoader::numbersInRange()
{
    QFETCH(QByteArray, value);
    QFETCH(bool, real);
    QFETCH(bool, whole);
    QCOMPARE(RowReader::isReadableNumber(value, false), real);
    QCOMPARE(RowReader::isReadableNumber(value, true), whole);
}

void TestDataLoader::refusedLinesAreLocated()
{
    // Twelve refused lines among good ones, one of them longer than the line limit.
    QByteArray content = "tag_code,lot,tag_life_days\r\n";
    for (int i = 0; i < 14; ++i) {
        if (i == 3)
            content += "G7000003,1," + QByteArray(DataLoader::DataLineLimit, '9') + ",5\n";
        else
            content += i % 7 == 0 ? "G7000001,1,30\n" : "G7000002,1\n";
    }
    const QString path = write(QStringLiteral("life.csv"), content);
    QVERIFY(load());
    QCOMPARE(count(QStringLiteral("select count(*) from tag_life_data")), 2);
    QStringList expected{
        QStringLiteral("***Warning: 12 of 14 rows of %1 were not stored").arg(path)};
    for (int line : {3, 4, 5, 6, 7, 8, 10, 11, 12, 13})
        expected.append(QStringLiteral("***Warning: %1 line %2: %3 fields, expected 3")
                            .arg(path)
                            .arg(line)
                            .arg(line == 5 ? 4 : 2));
    expected.append(QStringLiteral("***Warning: %1: ... and 2 more").arg(path));
    QCOMPARE(logger_.messages.filter(QStringLiteral("***Warning")), expected);
}

void TestDataLoader::nearMissHeaderIsNamed()
{
    const QString nodes = write(QStringLiteral("nodes.csv"),
                                "node_code,latitude,longitude,location,location_xlat,deploy_date,"
                                "recovery_date,elev_or_depth\nN1,1,2,A1,up,,,\n");
    const QString notes = write(QStringLiteral("notes.csv"), "tag_code,comment\nG7000001,x\n");
    QVERIFY(load());
    QCOMPARE(logger_.messages.filter(QStringLiteral("***Warning")),
             QStringList({QStringLiteral("***Warning: file doesn't match any model ") + nodes,
                          QStringLiteral("***Warning: %1 looks like nodes but lacks "
                                         "river_kilometer")
                              .arg(nodes),
                          QStringLiteral("***Warning: file doesn't match any model ") + notes}));
}

void TestDataLoader::unreadableDateTimesAreCounted()
{
    QByteArray content = EventsHeader + "\n";
    for (int i = 0; i < 12; ++i)
        content += "N1,G7000001,26/04/2022 17:15:00,2022-04-26 17:15:00,1\n";
    content += "N1,G7000001,,2022-02-30 10:00:00,1\n";
    const QString path = write(QStringLiteral("events.csv"), content);
    QVERIFY(load());
    QCOMPARE(count(QStringLiteral("select count(*) from events")), 13); // stored as they are
    QCOMPARE(logger_.messages.filter(QStringLiteral("date-time")),
             QStringList({QStringLiteral("***Warning: %1: 12 values of first_computed_datetime "
                                         "not read as a date-time (lines 2, 3, 4, 5, 6, 7, 8, "
                                         "9, 10, 11, ...)")
                              .arg(path),
                          QStringLiteral("***Warning: %1: 1 value of last_computed_datetime "
                                         "not read as a date-time (line 14)")
                              .arg(path)}));
}

void TestDataLoader::dateTimeCheckReadsAsTheReader_data()
{
    QTest::addColumn<QByteArray>("value");
    for (const char* value :
         {"2022-04-26 17:15:00", " 2022-04-26 17:15:00 ", "2022-04-26T17:15:00",
          "2022-04-26 17:15:00Z", "2022-04-26 17:15:00.123", "2022-04-26 17:15:00.5Z",
          "2022-04-26 17:15:00X", "2022-04-26 17:15:00.1x", "2022-02-30 10:00:00",
          "2024-02-29 10:00:00", "2022-04-26 24:00:00", "2022-04-26 17:60:00",
          "26/04/2022 17:15:00", "2022-04-26", "2022-4-26 17:15:00", "2022-04-26 17:15",
          "abcd-ef-gh ij:kl:mn", ""})
        QTest::newRow(value) << QByteArray(value);
}

// The loader counts unreadable date-times without making strings: it must agree with the
// reader that the runs use.
void TestDataLoader::dateTimeCheckReadsAsTheReader()
{
    QFETCH(QByteArray, value);
    QCOMPARE(DateTimeText::isReadable(value),
             DateTimeText::parse(QString::fromLatin1(value)).isValid());
}

void TestDataLoader::undecodableNameIsReported()
{
    const QByteArray name = QFile::encodeName(dataDir_) + "/life_\xff.csv";
    QFile file;
    FILE* raw = std::fopen(name.constData(), "w");
    QVERIFY(raw);
    std::fputs("tag_code,lot,tag_life_days\nG7000001,1,30\n", raw);
    std::fclose(raw);
    QVERIFY(load());
    QCOMPARE(logger_.messages.filter(QStringLiteral("not valid text")).size(), 1);
    QVERIFY(logger_.messages.filter(QStringLiteral("not valid text")).first().contains("life_"));
}

void TestDataLoader::rowsReachTheSinkAsFields()
{
    // Columns in the file's own order, an empty value and one with spaces: the sink gets each
    // row's fields in its columns' order, as written.
    QTemporaryDir dir;
    writeFile(QDir(dir.path()).filePath(QStringLiteral("life.csv")),
              "tag_life_days,lot,tag_code\n30, 1 ,G7000001\n,2,G7000002\n");
    RecordingSink sink;
    DataLoader loader(&sink);
    RecordingLogger logger;
    loader.setLogger(&logger);
    loader.setDataDir(dir.path());
    QVERIFY(loader.load());
    const QString life = QString::number(LoadSink::TagLifeDataModel) + ':';
    QCOMPARE(sink.rows, QStringList({life + "G7000001| 1 |30", life + "G7000002|2|"}));
}

void TestDataLoader::everyKindChecksItsColumns_data()
{
    QTest::addColumn<int>("model");
    QTest::addColumn<QStringList>("dates");
    QTest::addColumn<QStringList>("reals");
    QTest::addColumn<QStringList>("wholes");
    QTest::newRow("tags") << int(LoadSink::TagsModel)
                          << QStringList{"fish_tag_date", "tag_activate_date", "tag_release_date"}
                          << QStringList{"length", "weight"}
                          << QStringList{"bucket", "lot", "release_location_river_kilometer"};
    QTest::newRow("nodes") << int(LoadSink::NodesModel)
                           << QStringList{"deploy_date", "recovery_date"} << QStringList{}
                           << QStringList{"river_kilometer"};
    QTest::newRow("events") << int(LoadSink::EventsModel)
                            << QStringList{"first_computed_datetime", "last_computed_datetime"}
                            << QStringList{} << QStringList{};
    QTest::newRow("tag attributes")
        << int(LoadSink::TagAttributesModel) << QStringList{} << QStringList{} << QStringList{};
    QTest::newRow("tag life data")
        << int(LoadSink::TagLifeDataModel) << QStringList{} << QStringList{} << QStringList{"lot"};
    QTest::newRow("tag locations") << int(LoadSink::TagLocationsModel) << QStringList{"time"}
                                   << QStringList{} << QStringList{};
    QTest::newRow("removals") << int(LoadSink::RemovalsModel) << QStringList{"removal_date"}
                              << QStringList{} << QStringList{"removal_river_km"};
}

void TestDataLoader::everyKindChecksItsColumns()
{
    // Runs read these columns as date-times and numbers: a value they cannot read is said, and
    // a number beyond the whole ones in a whole-number column too. Other columns are stored
    // unchecked.
    QFETCH(int, model);
    QFETCH(QStringList, dates);
    QFETCH(QStringList, reals);
    QFETCH(QStringList, wholes);
    RecordingSink sink;
    const QStringList columns = sink.modelColumns(LoadSink::Model(model));
    QStringList unreadable, beyondWhole;
    for (qsizetype i = 0; i < columns.size(); ++i) {
        unreadable << QStringLiteral("x");
        beyondWhole << QStringLiteral("3e9");
    }
    QTemporaryDir dir;
    const QString path = QDir(dir.path()).filePath(QStringLiteral("kind.csv"));
    writeFile(path, (columns.join(',') + '\n' + unreadable.join(',') + '\n' +
                     beyondWhole.join(',') + '\n')
                        .toUtf8());
    DataLoader loader(&sink);
    RecordingLogger logger;
    loader.setLogger(&logger);
    loader.setDataDir(dir.path());
    QVERIFY(loader.load());
    QCOMPARE(sink.rows.size(), 2);
    QStringList expected;
    for (const QString& column : columns) {
        if (dates.contains(column))
            expected << QStringLiteral("***Warning: %1: 2 values of %2 not read as a date-time "
                                       "(lines 2, 3)")
                            .arg(path, column);
    }
    for (const QString& column : columns) {
        if (reals.contains(column))
            expected << QStringLiteral("***Warning: %1: 1 value of %2 not read as a number "
                                       "(line 2)")
                            .arg(path, column);
        else if (wholes.contains(column))
            expected << QStringLiteral("***Warning: %1: 2 values of %2 not read as a number "
                                       "(lines 2, 3)")
                            .arg(path, column);
    }
    QCOMPARE(logger.messages.filter(QStringLiteral("not read as")), expected);
}

void TestDataLoader::loadIndexesTheCodesAndTheLinks()
{
    // The look-ups of the foreign ids and the runs' joins need these indices; an index missed
    // makes a large study's load or run take hours. The order is that of the schema a database
    // has always had.
    write(QStringLiteral("life.csv"), "tag_code,lot,tag_life_days\nG7000001,1,30\n");
    QVERIFY(load());
    QCOMPARE(text(QStringLiteral("select group_concat(name, ' ') from (select name from "
                                 "sqlite_master where type = 'index' order by rowid)")),
             QStringLiteral("idx_tags_tag_code idx_nodes_node_code idx_nodes_location "
                            "idx_events_tag_id idx_events_node_id idx_tag_attributes_tag_id "
                            "idx_tag_locations_tag_id idx_removals_tag_id"));
}

QTEST_GUILESS_MAIN(TestDataLoader)
#include "tst_dataloader.moc"
