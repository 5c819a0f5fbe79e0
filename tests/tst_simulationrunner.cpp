#include "TestSupport.h"
#include "app/CommandLine.h"

#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include <chrono>
#include <cstdio>
#include <memory>
#include <sqlite3.h>
#include <thread>

using namespace kd;
using namespace kd::test;

namespace {

struct Outcome
{
    int result = 0;
    QString out;
    QString err;
    QStringList errLines() const { return err.split(QLatin1Char('\n')); }
};

QString readAll(std::FILE* file)
{
    std::fflush(file);
    std::rewind(file);
    QByteArray bytes;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        bytes.append(buffer, qsizetype(n));
    std::fclose(file);
    return QString::fromLocal8Bit(bytes);
}

Outcome runWith(const QList<QByteArray>& args)
{
    std::vector<QByteArray> storage(args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& arg : storage)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    Outcome outcome;
    {
        CommandLine runner(int(storage.size()), argv.data(), out, err);
        outcome.result = runner.run();
    }
    outcome.out = readAll(out);
    outcome.err = readAll(err);
    return outcome;
}

const QByteArray FalseEventsHeader =
    "replicate,V1_111,V1_011,V1_101,V1_001,V1_120,V1_020,V1_110,V1_010,V1_200,V1_100,V1_000,"
    "R2_11,R2_01,R2_20,R2_10,R2_00,R3_11,R3_01,R3_20,R3_10,R3_00";

const QByteArray Study = R"({
  "dataDir": "data",
  "year": 2021,
  "runs": [
    {"title": "one", "type": "Kavel"},
    {"title": "two", "type": "no_such_type", "active": true},
    {"title": "three", "type": "kavel", "active": false}
  ]
})";

} // namespace

class TestSimulationRunner : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void refusals_data();
    void refusals();
    void successfulStartAndRepeat();
    void failedLoadIsAFailure();
    void consoleRunsWriteTheirFiles();
    void falseEventsNeedTwoReleases();
    void runOutcomes_data();
    void runOutcomes();
    void pooledSelectionsAndWindows();
    void failedStatementFailsTheRun();
    void measuresThatAreNoNumbers();
    void lockedDatabaseIsWaitedFor();

private:
    void writeStudy(const QByteArray& config = Study);
    // Two kavel runs, "first" over the release Spring and "second" over Fall, at one site.
    void writeTwoRuns();
    std::unique_ptr<QTemporaryDir> dir_;
};

void TestSimulationRunner::init()
{
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
}

void TestSimulationRunner::writeStudy(const QByteArray& config)
{
    QDir(dir_->path()).mkpath(QStringLiteral("data"));
    QFile configFile(dir_->filePath(QStringLiteral("config.txt")));
    QVERIFY(configFile.open(QIODevice::WriteOnly));
    configFile.write(config);
    QFile life(dir_->filePath(QStringLiteral("data/life.csv")));
    QVERIFY(life.open(QIODevice::WriteOnly));
    life.write("tag_code,lot,tag_life_days\nG7000001,1,30\nG7000002,1,31\n");
}

void TestSimulationRunner::writeTwoRuns()
{
    const QDir sim(dir_->path());
    writeFile(sim.filePath(QStringLiteral("config.txt")), R"({
      "dataDir": "data", "year": 2021,
      "releases": [{"name": "Spring", "config": [{"site": "REL1", "species": "CHN"}]},
                   {"name": "Fall", "config": [{"site": "REL2", "species": "CHN"}]}],
      "sites": [{"name": "A", "config": [{"location": "A"}]}],
      "runs": [{"title": "first", "type": "kavel", "releases": ["Spring"], "sites": ["A"]},
               {"title": "second", "type": "kavel", "releases": ["Fall"], "sites": ["A"]}]})");
    writeFile(sim.filePath(QStringLiteral("data/tags.csv")),
              TagsHeader + "\n" + tagLine("G70000001") + "\n" + tagLine("G70000002", "REL2") +
                  "\n");
    writeFile(sim.filePath(QStringLiteral("data/nodes.csv")),
              NodesHeader + "\nA_1,1,2,100,A,up,2021-01-01 00:00:00,,\n");
}

void TestSimulationRunner::refusals_data()
{
    QTest::addColumn<QByteArray>("argument"); // "DIR" stands for the simulation folder
    QTest::addColumn<QByteArray>("config");   // null: no config.txt
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("out");      // start of standard output
    QTest::addColumn<QString>("errLine");  // a line of standard error
    QTest::addColumn<QString>("errLacks"); // a text standard error must not hold

    const QString usage = QStringLiteral("Usage: ./keldar <simulation dir>");
    const QString configError = QStringLiteral("Error loading config file\n");
    QTest::newRow("empty argument")
        << QByteArray("") << QByteArray() << -1 << QString() << usage << QStringLiteral("v.1.0.0");
    QTest::newRow("--help") << QByteArray("--help") << QByteArray() << 0
                            << QStringLiteral("Usage: ./keldar") << QString() << usage;
    QTest::newRow("--version") << QByteArray("--version") << QByteArray() << 0
                               << QStringLiteral("Keldar 1.0.0\n") << QString() << usage;
    QTest::newRow("no config.txt") << QByteArray("DIR") << QByteArray() << -1 << configError
                                   << QStringLiteral("Unable to open config file: ") << usage;
    // A named data folder that is missing must not turn into a load of the simulation folder.
    QTest::newRow("missing data folder")
        << QByteArray("DIR") << QByteArray(R"({"dataDir": "elsewhere"})") << -1 << QString()
        << QStringLiteral("Data folder not found: ") << QStringLiteral("Processing runs");
    // A folder in the way of keldar.db: it cannot be opened, like in a read-only folder.
    QTest::newRow("database cannot be opened")
        << QByteArray("DIR") << QByteArray(R"({"dataDir": "data"})") << -1 << QString()
        << QStringLiteral("Initializing database...") << QStringLiteral("Parsing data folder");
}

void TestSimulationRunner::refusals()
{
    QFETCH(QByteArray, argument);
    QFETCH(QByteArray, config);
    QFETCH(int, result);
    QFETCH(QString, out);
    QFETCH(QString, errLine);
    QFETCH(QString, errLacks);
    if (!config.isNull())
        writeStudy(config);
    if (QByteArray(QTest::currentDataTag()) == "database cannot be opened")
        QVERIFY(QDir(dir_->path()).mkdir(QStringLiteral("keldar.db")));
    const QString cwd = QDir::currentPath();
    QDir::setCurrent(dir_->path()); // no folder named like an option here
    const Outcome outcome =
        runWith({"./keldar", argument == "DIR" ? dir_->path().toLocal8Bit() : argument});
    QDir::setCurrent(cwd);
    QCOMPARE(outcome.result, result);
    QVERIFY2(outcome.out.startsWith(out), qPrintable(outcome.out));
    QVERIFY2(errLine.isEmpty()
                 ? outcome.err.isEmpty()
                 : outcome.errLines()
                           .filter(QRegularExpression(QLatin1Char('^') +
                                                      QRegularExpression::escape(errLine)))
                           .size() == 1,
             qPrintable(outcome.err.left(300)));
    QVERIFY(!outcome.err.contains(errLacks));
    if (result != 0 && argument == "DIR" && QByteArray(QTest::currentDataTag()).contains("config"))
        QVERIFY(!QFile::exists(dir_->filePath(QStringLiteral("keldar.db"))));
}

void TestSimulationRunner::successfulStartAndRepeat()
{
    writeStudy();
    const QByteArray folder = dir_->path().toLocal8Bit();
    const Outcome first = runWith({"./keldar", folder, "ignored"});
    QCOMPARE(first.result, 2); // the unknown types are refused runs
    const QString dataFile =
        QDir(dir_->path()).filePath(QStringLiteral("data")) + QStringLiteral("/life.csv");
    QCOMPARE(first.err, QStringLiteral("./keldar v.1.0.0\n"
                                       "Initializing database...\n"
                                       "Done.\n\n"
                                       "Parsing data folder\n"
                                       "-------------------\n"
                                       "Processing tag life data...\n"
                                       "Loading %1...\n"
                                       "Loaded 2 rows.\n"
                                       "Updating indices...\n"
                                       "Updating foreign ids...\n"
                                       "Done.\n\n"
                                       "Processing runs\n"
                                       "---------------\n"
                                       "Run: one...\n"
                                       "Run: two...\n")
                            .arg(dataFile));
    // Run types are case-sensitive; unknown ones are reported on standard output.
    QCOMPARE(first.out,
             QStringLiteral("Unknown run type: Kavel\nUnknown run type: no_such_type\n"));
    const QString db = dir_->filePath(QStringLiteral("keldar.db"));
    QCOMPARE(count(db, QStringLiteral("select count(*) from tag_life_data")), 2);

    const Outcome second = runWith({"./keldar", folder});
    QCOMPARE(second.result, 2);
    QVERIFY(!second.err.contains(QStringLiteral("Loading ")));
    QCOMPARE(count(db, QStringLiteral("select count(*) from tag_life_data")), 2);
    QCOMPARE(count(db, QStringLiteral("select count(*) from loads")), 1);
}

void TestSimulationRunner::failedLoadIsAFailure()
{
    writeStudy();
    {
        QSqlDatabase db =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("prep"));
        db.setDatabaseName(dir_->filePath(QStringLiteral("keldar.db")));
        QVERIFY(db.open());
        QSqlQuery query(db);
        QVERIFY(query.exec(QStringLiteral("create table tag_life_data (id integer primary key, "
                                          "tag_code varchar(20), lot integer, tag_life_days real, "
                                          "load_id integer)")));
        QVERIFY(
            query.exec(QStringLiteral("create table events (id integer primary key, node_code, "
                                      "tag_code, first_computed_datetime, "
                                      "last_computed_datetime, hits, load_id, tag_id, node_id)")));
        QVERIFY(query.exec(QStringLiteral("create trigger refuse before update on events begin "
                                          "select raise(abort, 'updates refused'); end")));
        QVERIFY(query.exec(QStringLiteral("insert into events (tag_code) values ('G7000001')")));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("prep"));
    const Outcome outcome = runWith({"keldar", dir_->path().toLocal8Bit()});
    QCOMPARE(outcome.result, -1);
    // Said once, by the load that stopped.
    QCOMPARE(outcome.errLines().filter(QStringLiteral("updates refused")).size(), 1);
    QVERIFY(!outcome.err.contains(QStringLiteral("Processing runs")));
    // Nothing of the failed load stays behind.
    QCOMPARE(count(dir_->filePath(QStringLiteral("keldar.db")),
                   QStringLiteral("select count(*) from tag_life_data")),
             0);
}

namespace {

const QByteArray RiverConfig = R"({
  "dataDir": "data",
  "year": 2021,
  "releases": [
    {"name": "Spring", "river_kilometer": 120, "config": [{"site": "REL1", "species": "CHN"}]},
    {"name": "Fall", "river_kilometer": 130, "config": [{"site": "REL2", "species": "CHN"}]}
  ],
  "sites": [
    {"name": "S_A", "config": [{"location": "A"}]},
    {"name": "S_B", "config": [{"location": "B"}]},
    {"name": "S_C", "config": [{"location": "C"}]},
    {"name": "S_D", "config": [{"location": "D"}]}
  ],
  "runs": [
    {"title": "r1", "type": "kavel", "releases": ["Spring", "Fall"],
     "sites": ["S_D", "S_A", "S_B", "S_C"], "outputDir": "out/kavel"},
    {"title": "r1", "type": "false_events", "releases": ["Spring", "Fall"],
     "sites": ["S_A", "S_B", "S_C", "S_D"], "falseEventsFile": "false.csv", "outputDir": "out"},
    {"title": "r1", "type": "kavel", "releases": ["Nowhere"], "sites": ["S_A"]},
    {"title": "r1", "type": "standard", "releases": ["Spring", "Fall"],
     "sites": ["S_A", "S_B", "S_C", "S_D"]}
  ]
})";

} // namespace

void TestSimulationRunner::consoleRunsWriteTheirFiles()
{
    const QDir sim(dir_->path());
    writeFile(sim.filePath(QStringLiteral("config.txt")), RiverConfig);
    writeFile(sim.filePath(QStringLiteral("data/tags.csv")),
              TagsHeader + "\n" + tagLine("G70000001") + "\n" + tagLine("G70000002") + "\n" +
                  tagLine("G70000003") + "\n" + tagLine("G70000004") + "\n" +
                  tagLine("G70000005", "REL2") + "\n");
    writeFile(sim.filePath(QStringLiteral("data/nodes.csv")),
              "node_code,latitude,longitude,river_kilometer,location,location_xlat,deploy_date,"
              "recovery_date,elev_or_depth\n"
              "A_1,1,2,100,A,up,2021-01-01 00:00:00,,\n"
              "B_1,1,2,50,B,up,2021-01-01 00:00:00,,\n"
              "C_1,1,2,10,C,up,2021-01-01 00:00:00,,\n"
              "D_1,1,2,5,D,up,2021-01-01 00:00:00,,\n");
    writeFile(sim.filePath(QStringLiteral("data/events.csv")),
              "node_code,tag_code,first_computed_datetime,last_computed_datetime,hits\n"
              "A_1,G70000001,2021-04-03 10:00:00,2021-04-03 11:00:00,3\n"
              "B_1,G70000001,2021-04-05 10:00:00,2021-04-05 10:30:00,3\n"
              "C_1,G70000001,2021-04-07 09:00:00,2021-04-07 09:00:00,1\n"
              "D_1,G70000001,2021-04-09 09:00:00,2021-04-09 09:00:00,1\n"
              "A_1,G70000002,2021-04-03 10:00:00,2021-04-06 10:00:00,9\n"
              "B_1,G70000002,2021-04-04 10:00:00,2021-04-04 12:00:00,2\n"
              "A_1,G70000004,2021-04-03 10:00:00,2021-04-03 10:00:00,1\n"
              "B_1,G70000005,2021-04-05 10:00:00,2021-04-05 10:00:00,1\n");
    writeFile(sim.filePath(QStringLiteral("data/removals.csv")),
              "tag_code,removal_date,riverkm,removal_type_id\n"
              "G70000003,2021-05-01 00:00:00,30,bird\n"
              "G70000004,2021-05-01 00:00:00,120,trap\n");
    writeFile(sim.filePath(QStringLiteral("false.csv")),
              "set,site,tag_code,first,last,value\n"
              "s3,S_X,G70000005,2021-04-08 10:00:00,2021-04-08 10:00:00,1\n"
              "s1,S_C,G70000005,2021-04-08 10:00:00,2021-04-08 10:00:00,1\n"
              "s2,S_A,G7FFFFFFF,2021-04-08 10:00:00,2021-04-08 10:00:00,1\n"
              "s3,S_C,G70000005,2021-04-08 10:00:00,2021-04-08 10:00:00,1\n");

    const Outcome outcome = runWith({"keldar", dir_->path().toLocal8Bit()});
    QCOMPARE(outcome.result, 1);

    // Hand-worked: fish 2 sits at B inside its window at A (history ends at B), fish 3 was
    // removed between B and C, fish 4 above every site (dropped); rows by release name.
    const QByteArray tagPart = ",7,%1,2021-04-01 08:00:00,2021-04-02 09:00:00,";
    QByteArrayList kavel;
    const auto fish = [&](const char* release, const char* code, QList<QByteArray> sites) {
        const QByteArray prefix = release + tagPart;
        const char* names[] = {"S_A", "S_B", "S_C", "S_D"};
        for (int i = 0; i < 4; ++i)
            kavel.append(QByteArray(prefix).replace("%1", code) + names[i] + "," + sites[i]);
    };
    fish("Fall", "G70000005", {"0,", "1,2021-04-05 10:00:00", "0,", "0,"});
    fish("Spring", "G70000001",
         {"1,2021-04-03 10:00:00", "1,2021-04-05 10:00:00", "1,2021-04-07 09:00:00",
          "1,2021-04-09 09:00:00"});
    fish("Spring", "G70000002", {"1,2021-04-03 10:00:00", "2,2021-04-04 10:00:00", "0,", "0,"});
    fish("Spring", "G70000003", {"0,", "0,", "0,", "0,"});
    QCOMPARE(readFile(sim.filePath(QStringLiteral("out/kavel/r1_kavel.csv"))), kavel.join('\n'));
    QVERIFY(outcome.errLines().contains(QStringLiteral("Wrote 16 rows.")));

    const QByteArray header = FalseEventsHeader;
    QCOMPARE(readFile(sim.filePath(QStringLiteral("out/r1_false_events.csv"))),
             header + "\n"
                      "Baseline,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,1,0,0,0,0,1\n"
                      "s1,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,1,0,0,0,1,0\n"
                      "s2,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,1,0,0,0,0,1\n"
                      "s3,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,1,0,0,0,0,1\n");
    QVERIFY(outcome.err.contains(QStringLiteral("Processing 1/3...")));

    // A release that the configuration does not define selects nothing; the file is
    // overwritten with no lines.
    QVERIFY(outcome.errLines().contains(QStringLiteral("Wrote 0 rows.")));
    QCOMPARE(readFile(sim.filePath(QStringLiteral("r1_kavel.csv"))), QByteArray());

    const QByteArray standard = readFile(sim.filePath(QStringLiteral("r1_standard.csv")));
    QCOMPARE(standard.count('\n'), 4);
    QVERIFY(standard.startsWith("release_name,lot,tag_code,tag_activate_date,tag_release_date,"
                                "tagger_name_xlat,bucket,length,weight,S_A,S_B,S_C,S_D,S_A_first,"
                                "S_A_last,S_B_first,S_B_last,S_C_first,S_C_last,S_D_first,"
                                "S_D_last\nFall,7,G70000005,"));
    QVERIFY(standard.contains("\nSpring,7,G70000002,2021-04-01 08:00:00,2021-04-02 09:00:00,ann,2,"
                              "150.5,30,1,2,0,0,2021-04-03 10:00:00,2021-04-06 10:00:00,"
                              "2021-04-04 10:00:00,2021-04-04 12:00:00,,,,\n"));
}

void TestSimulationRunner::falseEventsNeedTwoReleases()
{
    writeStudy(R"({"dataDir": "data", "runs": [
        {"title": "f", "type": "false_events", "releases": ["One"], "sites": ["A"]}]})");
    const Outcome outcome = runWith({"keldar", dir_->path().toLocal8Bit()});
    QCOMPARE(outcome.result, 1);
    QVERIFY(
        outcome.errLines().contains(QStringLiteral("False events run needs at least 2 releases.")));
    QVERIFY(!QFile::exists(dir_->filePath(QStringLiteral("f_false_events.csv"))));
}

void TestSimulationRunner::runOutcomes_data()
{
    QTest::addColumn<QByteArray>("runs");
    QTest::addColumn<QString>("blocker"); // a file made in the simulation folder first
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("errLine"); // start of a line of standard error
    QTest::addColumn<QString>("written"); // a file that must exist afterwards

    const auto row = [](const char* name, const char* runs, const char* blocker, int result,
                        const char* errLine, const char* written) {
        QTest::newRow(name) << QByteArray(runs) << QString(blocker) << result << QString(errLine)
                            << QString(written);
    };
    // A run that selects no fish still writes its (empty) file: that is no failure.
    row("no fish", R"({"title": "t", "type": "kavel"})", "", 1, "Wrote 0 rows.", "t_kavel.csv");
    // Titles never lead out of the output folder.
    row("title with separators", R"({"title": "../up/x", "type": "kavel", "outputDir": "o"})", "",
        1, "Wrote 0 rows.", "o/.._up_x_kavel.csv");
    row("root title", R"({"title": "/", "type": "standard"})", "", 1, "Wrote 1 rows.",
        "__standard.csv");
    row("title with NUL", R"({"title": "a\u0000b", "type": "kavel"})", "", 1, "Wrote 0 rows.",
        "a_b_kavel.csv");
    row("output folder is a file", R"({"title": "t", "type": "kavel", "outputDir": "out"})", "out",
        2, "Output folder is not a folder: ", "");
    row("output folder cannot be made",
        R"({"title": "t", "type": "kavel", "outputDir": "out/sub"})", "out", 2,
        "Unable to create output folder: ", "");
    // The message names the file and the system's reason.
    row("file cannot be written", R"({"title": "t", "type": "kavel"})", "t_kavel.csv/x", 2,
        "Unable to open output file for writing: DIR/t_kavel.csv: ", "");
    row("missing false events file",
        R"({"title": "f", "type": "false_events", "releases": ["A", "B"],
            "falseEventsFile": "none.csv"})",
        "", 2, "Error loading false events.", "");
    row("unknown type", R"({"title": "t", "type": "kavl"})", "", 2, "Run: t...", "");
    row("same file twice",
        R"({"title": "t", "type": "kavel"}, {"title": "t", "type": "kavel", "outputDir": "."})", "",
        2, "Run \"t\" refused: run \"t\" writes the same file ", "t_kavel.csv");
    // "->" makes the folder "real" and a link "link" to it.
    row("same file through a linked folder",
        R"({"title": "t", "type": "kavel", "outputDir": "real"},
           {"title": "t", "type": "kavel", "outputDir": "link"})",
        "->", 2, "Run \"t\" refused: run \"t\" writes the same file ", "real/t_kavel.csv");
    // A cutoff that is no date-time refuses the run, as a bad window does; null means none.
    row("cutoff without time", R"({"title": "t", "type": "kavel", "cutoffDate": "2021-06-01"})", "",
        2, "Run \"t\" refused: cutoffDate \"2021-06-01\" is not a date-time (yyyy-MM-dd hh:mm:ss)",
        "");
    row("cutoff as a number", R"({"title": "t", "type": "survival", "cutoffDate": 20210601})", "",
        2, "Run \"t\" refused: cutoffDate 20210601 is not a date-time (yyyy-MM-dd hh:mm:ss)", "");
    row("cutoff null", R"({"title": "t", "type": "standard", "cutoffDate": null})", "", 1,
        "Wrote 1 rows.", "t_standard.csv");
    row("same title, other type",
        R"({"title": "t", "type": "kavel"}, {"title": "t", "type": "standard"})", "", 1,
        "Wrote 1 rows.", "t_standard.csv");
    // Only a survival run reads its intervals: another kind runs with a value it would refuse.
    row("survival intervals refused", R"({"title": "t", "type": "survival", "intervals": 1})", "",
        2, "Run \"t\" refused: intervals 1 is neither \"wald\" nor \"profile\"", "");
    row("intervals of a history run", R"({"title": "t", "type": "standard", "intervals": 1})", "",
        1, "Wrote 1 rows.", "t_standard.csv");
}

void TestSimulationRunner::runOutcomes()
{
    QFETCH(QByteArray, runs);
    QFETCH(QString, blocker);
    QFETCH(int, result);
    QFETCH(QString, errLine);
    QFETCH(QString, written);
    writeStudy(R"({"dataDir": "data", "runs": [)" + runs + "]}");
    if (blocker == QLatin1String("->")) {
        QVERIFY(QDir(dir_->path()).mkdir(QStringLiteral("real")));
        QVERIFY(QFile::link(dir_->filePath(QStringLiteral("real")),
                            dir_->filePath(QStringLiteral("link"))));
    } else if (!blocker.isEmpty()) {
        writeFile(dir_->filePath(blocker), "x");
    }
    const Outcome outcome = runWith({"keldar", dir_->path().toLocal8Bit()});
    QCOMPARE(outcome.result, result);
    errLine.replace(QLatin1String("DIR"), dir_->path());
    QVERIFY2(
        outcome.errLines()
                .filter(QRegularExpression('^' + QRegularExpression::escape(errLine) +
                                           (errLine.endsWith(QLatin1String(": ")) ? ".+" : "")))
                .size() >= 1,
        qPrintable(outcome.err));
    if (!written.isEmpty())
        QVERIFY(QFile::exists(dir_->filePath(written)));
}

void TestSimulationRunner::pooledSelectionsAndWindows()
{
    const QDir sim(dir_->path());
    writeFile(sim.filePath(QStringLiteral("config.txt")), R"({
      "dataDir": "data", "year": 2021,
      "releases": [
        {"name": "Both", "config": [{"site": "REL1", "species": "CHN"},
                                    {"site": "REL2", "species": "CHN"}]},
        {"name": "Late", "config": [{"site": "REL1", "species": "CHN", "year": 2022}]},
        {"name": "Typo_loc", "config": [{"site": "MILLCRK", "species": "CHN"}]}],
      "sites": [
        {"name": "A", "config": [{"location": "A"}]},
        {"name": "Dam", "config": [{"location": "B1"}, {"location": "B2"}]},
        {"name": "C", "config": [{"location": "C"}, {"location": "C", "year": 2022}]},
        {"name": "Nowhere", "config": [{"location": "ZZ"}]}],
      "runs": [
        {"title": "window", "type": "standard", "releases": ["Both", "Late"],
         "sites": ["A", "Dam", "C"], "windowStart": "2021-01-01 00:00:00",
         "windowEnd": "2022-12-31 23:59:59"},
        {"title": "open", "type": "standard", "releases": ["Both"], "sites": ["A", "Dam", "C"],
         "windowStart": null},
        {"title": "typos", "type": "kavel", "releases": ["Typo_loc", "Ghost"],
         "sites": ["Nowhere", "Dam"]},
        {"title": "idle", "type": "kavel", "releases": ["Ghost"], "active": false},
        {"title": "bad", "type": "kavel", "releases": ["Both"], "sites": ["A"],
         "windowStart": "2021-13-01 00:00:00"}]})");
    writeFile(sim.filePath(QStringLiteral("data/tags.csv")),
              TagsHeader + "\n" + tagLine("G70000001") + "\n" + tagLine("G70000002") + "\n" +
                  tagLine("G70000003") + "\n" + tagLine("G70000004", "REL2") + "\n" +
                  tagLine("G70000005").replace("2021-04-02", "2022-04-02") + "\n");
    writeFile(sim.filePath(QStringLiteral("data/nodes.csv")),
              "node_code,latitude,longitude,river_kilometer,location,location_xlat,deploy_date,"
              "recovery_date,elev_or_depth\n"
              "A_1,1,2,100,A,up,2021-01-01 00:00:00,,\n"
              "B1_1,1,2,50,B1,up,2021-01-01 00:00:00,,\n"
              "B2_1,1,2,45,B2,up,2021-01-01 00:00:00,,\n"
              "C_1,1,2,10,C,up,2021-01-01 00:00:00,,\n"
              "C_2,1,2,10,C,up,2022-01-01 00:00:00,,\n");
    // Fish 2 comes back as an adult in 2023, upstream of where it was last seen.
    writeFile(sim.filePath(QStringLiteral("data/events.csv")),
              "node_code,tag_code,first_computed_datetime,last_computed_datetime,hits\n"
              "A_1,G70000001,2021-04-03 10:00:00,2021-04-03 11:00:00,3\n"
              "B2_1,G70000001,2021-04-05 10:00:00,2021-04-05 10:30:00,3\n"
              "C_1,G70000001,2021-04-07 09:00:00,2021-04-07 09:00:00,1\n"
              "B1_1,G70000002,2021-04-04 10:00:00,2021-04-04 12:00:00,2\n"
              "A_1,G70000002,2023-05-01 10:00:00,2023-05-01 10:00:00,2\n"
              "A_1,G70000004,2021-04-03 10:00:00,2021-04-03 10:00:00,1\n"
              "C_2,G70000005,2022-04-07 09:00:00,2022-04-07 09:00:00,1\n");

    const Outcome outcome = runWith({"keldar", dir_->path().toLocal8Bit()});
    QCOMPARE(outcome.result, 2); // the run with a bad window is refused
    const auto codes = [&](const char* file) {
        QStringList result;
        const QList<QByteArray> lines = readFile(sim.filePath(QLatin1String(file))).split('\n');
        for (const QByteArray& line : lines.mid(1)) {
            const QList<QByteArray> fields = line.split(',');
            result.append(QString::fromLatin1(fields[0] + ' ' + fields[2] + ' ' + fields[9] +
                                              fields[10] + fields[11]));
        }
        return result;
    };
    // The pooled dam sees fish 1 at B2 and fish 2 at B1; the pooled release holds REL1 and REL2;
    // the entry year brings fish 5 and the array of C deployed in 2022.
    QCOMPARE(codes("window_standard.csv"),
             QStringList({"Both G70000001 111", "Both G70000002 010", "Both G70000003 000",
                          "Both G70000004 100", "Late G70000005 001"}));
    // Without a window (a null bound is none) the adult return counts at A.
    QCOMPARE(codes("open_standard.csv"), QStringList({"Both G70000001 111", "Both G70000002 110",
                                                      "Both G70000003 000", "Both G70000004 100"}));

    const QStringList warnings = outcome.errLines().filter(QStringLiteral("***Warning"));
    QCOMPARE(warnings,
             QStringList({R"(***Warning: Run "typos": no release named "Ghost")",
                          R"(***Warning: Release "Typo_loc": no release group at location )"
                          "MILLCRK, species CHN, year 2021",
                          R"(***Warning: Site "Nowhere": no array at location ZZ, year 2021)",
                          R"(***Warning: Run "typos" selects no fish)"}));
    QVERIFY(outcome.errLines().contains(
        R"(Run "bad" refused: windowStart "2021-13-01 00:00:00" is not a date-time )"
        "(yyyy-MM-dd hh:mm:ss)"));
    QVERIFY(!QFile::exists(sim.filePath(QStringLiteral("bad_kavel.csv"))));
}

void TestSimulationRunner::failedStatementFailsTheRun()
{
    const QDir sim(dir_->path());
    writeTwoRuns();
    writeFile(sim.filePath(QStringLiteral("data/events.csv")),
              EventsHeader + "\nA_1,G70000001,2021-04-03 10:00:00,2021-04-03 11:00:00,3\n");
    // The second run cannot remove the first run's release: a failed statement, as when
    // another program holds the database longer than the wait.
    {
        QSqlDatabase db =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("prep"));
        db.setDatabaseName(sim.filePath(QStringLiteral("keldar.db")));
        QVERIFY(db.open());
        QSqlQuery query(db);
        QVERIFY(query.exec(QStringLiteral("create table releases (id integer primary key, name)")));
        QVERIFY(query.exec(QStringLiteral("create trigger refuse before delete on releases begin "
                                          "select raise(abort, 'planted failure'); end")));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("prep"));

    const Outcome outcome = runWith({"keldar", dir_->path().toLocal8Bit()});
    QCOMPARE(outcome.result, 2);
    QCOMPARE(readFile(sim.filePath(QStringLiteral("first_kavel.csv"))).count('\n'), 0);
    QVERIFY(readFile(sim.filePath(QStringLiteral("first_kavel.csv"))).startsWith("Spring,"));
    // No file rather than one holding the first run's fish.
    QVERIFY(!QFile::exists(sim.filePath(QStringLiteral("second_kavel.csv"))));
    QCOMPARE(outcome.errLines().filter(QStringLiteral("planted failure")),
             QStringList({R"(Run "second" failed: planted failure Unable to fetch row)"}));
}

void TestSimulationRunner::measuresThatAreNoNumbers()
{
    const QDir sim(dir_->path());
    writeFile(sim.filePath(QStringLiteral("config.txt")), R"({
      "dataDir": "data", "year": 2021,
      "releases": [{"name": "Spring", "config": [{"site": "REL1", "species": "CHN"}]}],
      "sites": [{"name": "A", "config": [{"location": "A"}]}],
      "runs": [{"title": "m", "type": "standard", "releases": ["Spring"], "sites": ["A"]}]})");
    const QList<QByteArray> lengths = {"",      "nan",  "inf",  "NaN",  "1e39",
                                       "1e999", "-inf", "0x10", "12.5", "Infinity"};
    QByteArray tags = TagsHeader + "\n";
    for (int i = 0; i < lengths.size(); ++i)
        tags += "G700000" + QByteArray::number(i) + ",ann,2,7,CHN," + lengths[i] +
                ",30,P,,2021-04-01 08:00:00,2021-04-02 09:00:00,REL1,x,120,1,2,0,\n";
    writeFile(sim.filePath(QStringLiteral("data/tags.csv")), tags);
    writeFile(sim.filePath(QStringLiteral("data/nodes.csv")),
              NodesHeader + "\nA_1,1,2,100,A,up,2021-01-01 00:00:00,,\n");

    const Outcome outcome = runWith({"keldar", dir_->path().toLocal8Bit()});
    QCOMPARE(outcome.result, 1);
    QVERIFY2(outcome.errLines().contains(
                 QStringLiteral("***Warning: %1: 8 values of length not read as a number (lines "
                                "3, 4, 5, 6, 7, 8, 9, 11)")
                     .arg(sim.filePath(QStringLiteral("data/tags.csv")))),
             qPrintable(outcome.err));
    // Each is written as the missing length is.
    QStringList written;
    const QList<QByteArray> lines =
        readFile(sim.filePath(QStringLiteral("m_standard.csv"))).split('\n');
    for (const QByteArray& line : lines.mid(1))
        written.append(QString::fromLatin1(line.split(',').value(7)));
    QStringList expected(lengths.size(), written.value(0));
    expected[8] = QStringLiteral("12.5");
    QCOMPARE(written, expected);
}

void TestSimulationRunner::lockedDatabaseIsWaitedFor()
{
    const QDir sim(dir_->path());
    writeTwoRuns();
    // Another program writes to the database for longer than the driver's own wait of 5 s.
    sqlite3* other = nullptr;
    QCOMPARE(sqlite3_open(sim.filePath(QStringLiteral("keldar.db")).toUtf8().constData(), &other),
             SQLITE_OK);
    QCOMPARE(sqlite3_exec(other, "BEGIN IMMEDIATE; CREATE TABLE elsewhere (x);", nullptr, nullptr,
                          nullptr),
             SQLITE_OK);
    std::thread release([other] {
        std::this_thread::sleep_for(std::chrono::milliseconds(6000));
        sqlite3_exec(other, "ROLLBACK;", nullptr, nullptr, nullptr);
    });
    const Outcome outcome = runWith({"keldar", dir_->path().toLocal8Bit()});
    release.join();
    sqlite3_close(other);
    QCOMPARE(outcome.result, 1);
    QVERIFY2(!outcome.err.contains(QStringLiteral("locked")), qPrintable(outcome.err));
    QVERIFY(readFile(sim.filePath(QStringLiteral("first_kavel.csv"))).startsWith("Spring,"));
    QVERIFY(readFile(sim.filePath(QStringLiteral("second_kavel.csv"))).startsWith("Fall,"));
}

QTEST_GUILESS_MAIN(TestSimulationRunner)
#include "tst_simulationrunner.moc"
