#include "simulation/SimulationRunner.h"

#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdio>
#include <memory>

using namespace kd;

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
        SimulationRunner runner(int(storage.size()), argv.data(), out, err);
        outcome.result = runner.run();
    }
    outcome.out = readAll(out);
    outcome.err = readAll(err);
    return outcome;
}

qint64 count(const QString& databasePath, const QString& sql)
{
    qint64 result = -1;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("check"));
        db.setDatabaseName(databasePath);
        if (db.open()) {
            QSqlQuery query(db);
            if (query.exec(sql) && query.next())
                result = query.value(0).toLongLong();
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("check"));
    return result;
}

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
    void usage_data();
    void usage();
    void helpAndVersion_data();
    void helpAndVersion();
    void folderNamedLikeAnOption();
    void configProblems_data();
    void configProblems();
    void successfulStartAndRepeat();
    void missingDataFolder();
    void emptyDataDirMeansSimulationFolder();
    void unusableDatabase();
    void failedLoadIsAFailure();

private:
    void writeStudy(const QByteArray& config = Study);
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

void TestSimulationRunner::usage_data()
{
    QTest::addColumn<QList<QByteArray>>("args");
    QTest::newRow("empty folder argument") << QList<QByteArray>{"./prog", ""};
    QTest::newRow("empty first of two") << QList<QByteArray>{"./prog", "", "other"};
}

void TestSimulationRunner::usage()
{
    QFETCH(QList<QByteArray>, args);
    const Outcome outcome = runWith(args);
    QCOMPARE(outcome.result, -1);
    QCOMPARE(outcome.err, QStringLiteral("Usage: ./prog <simulation dir>\n"));
    QVERIFY(outcome.out.isEmpty());
}

void TestSimulationRunner::helpAndVersion_data()
{
    QTest::addColumn<QByteArray>("option");
    QTest::addColumn<QString>("startOfOutput");
    QTest::newRow("--help") << QByteArray("--help") << QStringLiteral("Usage: keldar");
    QTest::newRow("-h") << QByteArray("-h") << QStringLiteral("Usage: keldar");
    QTest::newRow("--version") << QByteArray("--version") << QStringLiteral("Keldar 1.0.0\n");
}

void TestSimulationRunner::helpAndVersion()
{
    QFETCH(QByteArray, option);
    QFETCH(QString, startOfOutput);
    const QString cwd = QDir::currentPath();
    QDir::setCurrent(dir_->path());
    const Outcome outcome = runWith({"keldar", option});
    QDir::setCurrent(cwd);
    QCOMPARE(outcome.result, 0);
    QVERIFY2(outcome.out.startsWith(startOfOutput), qPrintable(outcome.out));
    QVERIFY(outcome.err.isEmpty());
}

void TestSimulationRunner::folderNamedLikeAnOption()
{
    QVERIFY(QDir(dir_->path()).mkdir(QStringLiteral("--version")));
    const QString cwd = QDir::currentPath();
    QDir::setCurrent(dir_->path());
    const Outcome outcome = runWith({"keldar", "--version"});
    QDir::setCurrent(cwd);
    QCOMPARE(outcome.result, -1);
    QCOMPARE(outcome.out, QStringLiteral("Error loading config file\n"));
}

void TestSimulationRunner::configProblems_data()
{
    QTest::addColumn<QByteArray>("config");
    QTest::addColumn<bool>("present");
    QTest::addColumn<QString>("firstError");
    QTest::newRow("missing") << QByteArray() << false
                             << QStringLiteral("Unable to open config file: ");
    QTest::newRow("blank") << QByteArray("   \n") << true
                           << QStringLiteral("Unable to parse config file: ");
    QTest::newRow("truncated") << QByteArray("{\"dataDir\": \"data\", \"runs\": [") << true
                               << QStringLiteral("Unable to parse config file: ");
    QTest::newRow("deeply nested") << QByteArray(100000, '[') << true
                                   << QStringLiteral("Unable to parse config file: ");
}

void TestSimulationRunner::configProblems()
{
    QFETCH(QByteArray, config);
    QFETCH(bool, present);
    QFETCH(QString, firstError);
    if (present) {
        QFile file(dir_->filePath(QStringLiteral("config.txt")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(config);
    }
    const Outcome outcome = runWith({"keldar", dir_->path().toLocal8Bit()});
    QCOMPARE(outcome.result, -1);
    QCOMPARE(outcome.out, QStringLiteral("Error loading config file\n"));
    QVERIFY2(outcome.err.startsWith(firstError), qPrintable(outcome.err.left(200)));
    QVERIFY(!QFile::exists(dir_->filePath(QStringLiteral("keldar.db"))));
}

void TestSimulationRunner::successfulStartAndRepeat()
{
    writeStudy();
    const QByteArray folder = dir_->path().toLocal8Bit();
    const Outcome first = runWith({"./keldar", folder, "ignored"});
    QCOMPARE(first.result, 1);
    const QString dataFile = QDir(dir_->path()).filePath(QStringLiteral("data")) +
                             QStringLiteral("/life.csv");
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
    QCOMPARE(first.out, QStringLiteral("Unknown run type: Kavel\nUnknown run type: no_such_type\n"));
    const QString db = dir_->filePath(QStringLiteral("keldar.db"));
    QCOMPARE(count(db, QStringLiteral("select count(*) from tag_life_data")), 2);

    const Outcome second = runWith({"./keldar", folder});
    QCOMPARE(second.result, 1);
    QVERIFY(!second.err.contains(QStringLiteral("Loading ")));
    QCOMPARE(count(db, QStringLiteral("select count(*) from tag_life_data")), 2);
    QCOMPARE(count(db, QStringLiteral("select count(*) from loads")), 1);
}

void TestSimulationRunner::missingDataFolder()
{
    writeStudy(R"({"dataDir": "elsewhere", "runs": []})");
    const Outcome outcome = runWith({"keldar", dir_->path().toLocal8Bit()});
    QCOMPARE(outcome.result, -1);
    QVERIFY(outcome.errLines().contains(QStringLiteral("Data folder not found: ") +
                                        QDir(dir_->path()).filePath(QStringLiteral("elsewhere"))));
    QVERIFY(!outcome.err.contains(QStringLiteral("Processing runs")));
}

void TestSimulationRunner::emptyDataDirMeansSimulationFolder()
{
    writeStudy(R"({"runs": []})");
    QVERIFY(QFile::rename(dir_->filePath(QStringLiteral("data/life.csv")),
                          dir_->filePath(QStringLiteral("life.csv"))));
    const Outcome outcome = runWith({"keldar", dir_->path().toLocal8Bit()});
    QCOMPARE(outcome.result, 1);
    QCOMPARE(count(dir_->filePath(QStringLiteral("keldar.db")),
                   QStringLiteral("select count(*) from tag_life_data")),
             2);
}

void TestSimulationRunner::unusableDatabase()
{
    writeStudy();
    // A folder in the way of the database file: it cannot be opened, like in a read-only folder.
    QVERIFY(QDir(dir_->path()).mkdir(QStringLiteral("keldar.db")));
    const Outcome outcome = runWith({"keldar", dir_->path().toLocal8Bit()});
    QCOMPARE(outcome.result, -1);
    QVERIFY(!outcome.err.contains(QStringLiteral("Parsing data folder")));
}

void TestSimulationRunner::failedLoadIsAFailure()
{
    writeStudy();
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("prep"));
        db.setDatabaseName(dir_->filePath(QStringLiteral("keldar.db")));
        QVERIFY(db.open());
        QSqlQuery query(db);
        QVERIFY(query.exec(QStringLiteral("create table tag_life_data (id integer primary key, "
                                          "tag_code varchar(20), lot integer, tag_life_days real, "
                                          "load_id integer)")));
        QVERIFY(query.exec(QStringLiteral("create table events (id integer primary key, node_code, "
                                          "tag_code, first_computed_datetime, "
                                          "last_computed_datetime, hits, load_id, tag_id, node_id)")));
        QVERIFY(query.exec(QStringLiteral("create trigger refuse before update on events begin "
                                          "select raise(abort, 'updates refused'); end")));
        QVERIFY(query.exec(QStringLiteral("insert into events (tag_code) values ('G7000001')")));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("prep"));
    const Outcome outcome = runWith({"keldar", dir_->path().toLocal8Bit()});
    QCOMPARE(outcome.result, -1);
    QVERIFY2(outcome.err.contains(QStringLiteral("updates refused")), qPrintable(outcome.err));
    QVERIFY(!outcome.err.contains(QStringLiteral("Processing runs")));
    // Nothing of the failed load stays behind.
    QCOMPARE(count(dir_->filePath(QStringLiteral("keldar.db")),
                   QStringLiteral("select count(*) from tag_life_data")),
             0);
}

QTEST_GUILESS_MAIN(TestSimulationRunner)
#include "tst_simulationrunner.moc"
