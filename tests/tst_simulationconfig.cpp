#include "app/MessageLoggerI.h"
#include "simulation/SimulationConfig.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <ctime>

using kd::SimulationConfig;

namespace {

class RecordingLogger : public kd::MessageLoggerI
{
public:
    void log(const QString& message, int level) override
    {
        messages << message;
        levels << level;
    }
    QStringList messages;
    QList<int> levels;
};

QStringList describe(const QList<kd::ReleaseSpec>& specs)
{
    QStringList result;
    for (const kd::ReleaseSpec& spec : specs)
        result << QStringLiteral("%1|%2|%3|%4|%5")
                      .arg(spec.name, spec.site, spec.species)
                      .arg(spec.riverKm)
                      .arg(spec.year);
    return result;
}

QStringList describe(const QList<kd::SiteSpec>& specs)
{
    QStringList result;
    for (const kd::SiteSpec& spec : specs)
        result << QStringLiteral("%1|%2|%3").arg(spec.name, spec.location).arg(spec.year);
    return result;
}

} // namespace

class tst_SimulationConfig : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void loadOutcome_data();
    void loadOutcome();
    void missingFile();
    void topLevelValues_data();
    void topLevelValues();
    void runValues_data();
    void runValues();
    void cutoffDate_data();
    void cutoffDate();
    void releaseLookup_data();
    void releaseLookup();
    void siteLookup_data();
    void siteLookup();
    void failedReloadForgetsOldConfig();

private:
    QString write(const QByteArray& content);
    bool load(const QByteArray& content);

    std::unique_ptr<QTemporaryDir> dir_;
    SimulationConfig config_;
    RecordingLogger logger_;
};

void tst_SimulationConfig::initTestCase()
{
    // A zone with a daylight-saving gap, so that any local-time conversion of dates shows.
    qputenv("TZ", "America/Los_Angeles");
    tzset();
}

void tst_SimulationConfig::init()
{
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    config_ = SimulationConfig();
    logger_ = RecordingLogger();
    config_.setLogger(&logger_);
}

QString tst_SimulationConfig::write(const QByteArray& content)
{
    const QString path = dir_->filePath(QStringLiteral("config.txt"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return QString();
    file.write(content);
    return path;
}

bool tst_SimulationConfig::load(const QByteArray& content)
{
    return config_.load(write(content));
}

void tst_SimulationConfig::loadOutcome_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("ok");

    QTest::newRow("empty file") << QByteArray() << true;
    QTest::newRow("blank file") << QByteArray(" \n\t\n") << false;
    QTest::newRow("truncated") << QByteArray("{\"dataDir\": \"data\", \"runs\": [{\"title\":")
                               << false;
    QTest::newRow("ends after backslash") << QByteArray("{\"dataDir\": \"da\\") << false;
    QTest::newRow("deeply nested") << QByteArray(100000, '[') << false;
    QTest::newRow("not JSON") << QByteArray("dataDir = data") << false;
    QTest::newRow("top level array") << QByteArray("[{\"dataDir\": \"data\"}]") << true;
    QTest::newRow("wrong container types")
        << QByteArray("{\"releases\": {\"name\": \"R\"}, \"sites\": \"S\", \"runs\": 3}") << true;
    QTest::newRow("elements that are not objects")
        << QByteArray("{\"releases\": [1, \"R\", [], null], \"sites\": [true, [{}]],"
                      " \"runs\": [5, \"run\", null, []]}")
        << true;
    QTest::newRow("config that is not an array")
        << QByteArray("{\"releases\": [{\"name\": \"R\", \"config\": {\"site\": \"A\"}}],"
                      " \"sites\": [{\"name\": \"S\", \"config\": \"loc\"}]}")
        << true;
}

void tst_SimulationConfig::loadOutcome()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, ok);

    QCOMPARE(load(content), ok);
    if (ok) {
        QVERIFY(logger_.messages.isEmpty());
    } else {
        const QStringList expected{QStringLiteral("Unable to parse config file: "),
                                   QString::fromUtf8(content)};
        QCOMPARE(logger_.messages, expected);
        QCOMPARE(logger_.levels, (QList<int>{0, 0}));
    }
    // Whatever the file held, the accessors give neutral values and never crash.
    QCOMPARE(config_.dataDir(), QString());
    QCOMPARE(config_.year(), 0);
    for (int i = 0; i < config_.runCount(); ++i) {
        QVERIFY(config_.run(i).isEmpty());
        QVERIFY(config_.active(i));
        QCOMPARE(config_.title(i), QString());
        QCOMPARE(config_.type(i), QString());
        QVERIFY(config_.cutoffDate(i).isNull());
        QVERIFY(config_.releases(i).isEmpty());
        QVERIFY(config_.sites(i).isEmpty());
    }
    QCOMPARE(config_.baseDir(), QDir(dir_->path()).absolutePath());
}

void tst_SimulationConfig::missingFile()
{
    const QString path = dir_->filePath(QStringLiteral("config.txt"));
    QVERIFY(!config_.load(path));
    QCOMPARE(logger_.messages, QStringList{QStringLiteral("Unable to open config file: ") + path});
    QCOMPARE(config_.baseDir(), QDir(dir_->path()).absolutePath());

    // A folder in place of the file cannot be read either.
    logger_ = RecordingLogger();
    QVERIFY(QDir(dir_->path()).mkdir(QStringLiteral("config.txt")));
    QVERIFY(!config_.load(path));
    QCOMPARE(logger_.messages, QStringList{QStringLiteral("Unable to open config file: ") + path});

    // Without a logger the failure is still reported by the result.
    SimulationConfig silent;
    QVERIFY(!silent.load(dir_->filePath(QStringLiteral("absent.txt"))));
}

void tst_SimulationConfig::topLevelValues_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("dataDir");
    QTest::addColumn<int>("year");
    QTest::addColumn<int>("runCount");

    QTest::newRow("all given") << QByteArray("{\"dataDir\": \"../data\", \"year\": 2011,"
                                             " \"runs\": [{}, {}, {}]}")
                               << "../data" << 2011 << 3;
    QTest::newRow("none given") << QByteArray("{}") << "" << 0 << 0;
    QTest::newRow("byte-order mark")
        << QByteArray("\xEF\xBB\xBF{\"dataDir\": \"d\"}") << "d" << 0 << 0;
    QTest::newRow("number as folder") << QByteArray("{\"dataDir\": 5}") << "5" << 0 << 0;
    QTest::newRow("list as folder") << QByteArray("{\"dataDir\": [\"d\"]}") << "" << 0 << 0;
    QTest::newRow("numeric string year") << QByteArray("{\"year\": \"2012\"}") << "" << 2012 << 0;
    QTest::newRow("text year") << QByteArray("{\"year\": \"abc\"}") << "" << 0 << 0;
    QTest::newRow("exponent year") << QByteArray("{\"year\": 2e3}") << "" << 0 << 0;
    QTest::newRow("year too large") << QByteArray("{\"year\": 99999999999}") << "" << 0 << 0;
    QTest::newRow("runs as object") << QByteArray("{\"runs\": {\"title\": \"x\"}}") << "" << 0 << 0;
    QTest::newRow("runs of any kind")
        << QByteArray("{\"runs\": [1, \"x\", null, [], {}]}") << "" << 0 << 5;
}

void tst_SimulationConfig::topLevelValues()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, dataDir);
    QFETCH(int, year);
    QFETCH(int, runCount);

    QVERIFY(load(content));
    QCOMPARE(config_.dataDir(), dataDir);
    QCOMPARE(config_.year(), year);
    QCOMPARE(config_.runCount(), runCount);
}

void tst_SimulationConfig::runValues_data()
{
    QTest::addColumn<QByteArray>("run");
    QTest::addColumn<bool>("active");
    // title, type, outputDir, falseEventsDir, falseEventsFile
    QTest::addColumn<QStringList>("texts");

    const QStringList empty{"", "", "", "", ""};
    QTest::newRow("all given") << QByteArray("{\"title\": \"Spring\", \"type\": \"false_events\","
                                             " \"active\": true, \"outputDir\": \"out\","
                                             " \"falseEventsDir\": \"fe\","
                                             " \"falseEventsFile\": \"fe.csv\"}")
                               << true
                               << QStringList{"Spring", "false_events", "out", "fe", "fe.csv"};
    QTest::newRow("none given") << QByteArray("{}") << true << empty;
    QTest::newRow("inactive") << QByteArray("{\"active\": false}") << false << empty;
    QTest::newRow("active as zero") << QByteArray("{\"active\": 0}") << false << empty;
    QTest::newRow("active as list") << QByteArray("{\"active\": [true]}") << false << empty;
    QTest::newRow("numbers as text")
        << QByteArray("{\"title\": 12, \"type\": -1, \"outputDir\": 1.5}") << true
        << QStringList{"12", "-1", "1.5", "", ""};
    QTest::newRow("containers as text")
        << QByteArray("{\"title\": [\"a\"], \"type\": {\"a\": 1}, \"falseEventsFile\": null}")
        << true << empty;
}

void tst_SimulationConfig::runValues()
{
    QFETCH(QByteArray, run);
    QFETCH(bool, active);
    QFETCH(QStringList, texts);

    // The run under test sits between two others, so that indexing is checked too.
    QVERIFY(load("{\"runs\": [{\"title\": \"first\", \"active\": false}, " + run +
                 ", {\"title\": \"last\", \"type\": \"kavel\"}]}"));
    QCOMPARE(config_.runCount(), 3);
    QCOMPARE(config_.active(1), active);
    const QStringList actual{config_.title(1), config_.type(1), config_.outputDir(1),
                             config_.falseEventsDir(1), config_.falseEventsFile(1)};
    QCOMPARE(actual, texts);

    QVERIFY(!config_.active(0));
    QCOMPARE(config_.title(0), QStringLiteral("first"));
    QVERIFY(config_.active(2));
    QCOMPARE(config_.type(2), QStringLiteral("kavel"));
}

void tst_SimulationConfig::cutoffDate_data()
{
    QTest::addColumn<QByteArray>("member");
    QTest::addColumn<QDateTime>("expected");

    const QDateTime none;
    QTest::newRow("absent") << QByteArray() << none;
    QTest::newRow("null") << QByteArray("\"cutoffDate\": null,") << none;
    QTest::newRow("midnight") << QByteArray("\"cutoffDate\": \"2011-06-01 00:00:00\",")
                              << QDateTime(QDate(2011, 6, 1), QTime(0, 0), Qt::UTC);
    QTest::newRow("in a daylight-saving gap")
        << QByteArray("\"cutoffDate\": \"2011-03-13 02:30:00\",")
        << QDateTime(QDate(2011, 3, 13), QTime(2, 30), Qt::UTC);
    QTest::newRow("date only") << QByteArray("\"cutoffDate\": \"2011-06-01\",") << none;
    QTest::newRow("impossible date")
        << QByteArray("\"cutoffDate\": \"2011-02-30 00:00:00\",") << none;
    QTest::newRow("number") << QByteArray("\"cutoffDate\": 20110601,") << none;
}

void tst_SimulationConfig::cutoffDate()
{
    QFETCH(QByteArray, member);
    QFETCH(QDateTime, expected);

    QVERIFY(load("{\"runs\": [{" + member + " \"title\": \"t\"}]}"));
    const QDateTime cutoff = config_.cutoffDate(0);
    QCOMPARE(cutoff.isValid(), expected.isValid());
    if (expected.isValid()) {
        QCOMPARE(cutoff.timeSpec(), Qt::UTC);
        QCOMPARE(cutoff.date(), expected.date());
        QCOMPARE(cutoff.time(), expected.time());
    }
}

void tst_SimulationConfig::releaseLookup_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("expected");

    const QByteArray releases =
        "{\"year\": 2011, \"releases\": ["
        "{\"name\": \"R1\", \"river_kilometer\": 234, \"config\": ["
        "  {\"site\": \"A\", \"species\": \"1\"}, {\"site\": \"B\", \"species\": \"2\"}]},"
        "{\"name\": \"R2\", \"river_kilometer\": \"75\", \"config\": ["
        "  {\"site\": \"C\", \"species\": 3}]},"
        "{\"name\": \"R3\", \"river_kilometer\": 10, \"config\": []},"
        "{\"name\": \"R4\", \"river_kilometer\": 10}],";

    QTest::newRow("order and duplicates kept")
        << releases + "\"runs\": [{\"releases\": [\"R2\", \"R1\", \"R2\"]}]}"
        << QStringList{"R2|C|3|75|2011", "R1|B|2|234|2011", "R2|C|3|75|2011"};
    QTest::newRow("unknown names give defaults in place")
        << releases + "\"runs\": [{\"releases\": [\"X\", \"R1\", \"R3\", \"R4\"]}]}"
        << QStringList{"|||0|0", "R1|B|2|234|2011", "|||0|0", "|||0|0"};
    QTest::newRow("later release replaces earlier")
        << QByteArray("{\"year\": 2011, \"releases\": ["
                      "{\"name\": \"R1\", \"river_kilometer\": 2,"
                      " \"config\": [{\"site\": \"A\", \"species\": \"1\"}]},"
                      "{\"name\": \"R1\", \"river_kilometer\": 1,"
                      " \"config\": [{\"site\": \"Z\", \"species\": \"9\"}]}],"
                      " \"runs\": [{\"releases\": [\"R1\"]}]}")
        << QStringList{"R1|Z|9|1|2011"};
    QTest::newRow("no year") << QByteArray("{\"releases\": [{\"name\": \"R\", \"config\": [{}]}],"
                                           " \"runs\": [{\"releases\": [\"R\"]}]}")
                             << QStringList{"R|||0|0"};
    QTest::newRow("config element not an object")
        << QByteArray("{\"releases\": [{\"name\": \"R\", \"river_kilometer\": 5,"
                      " \"config\": [\"A\"]}], \"runs\": [{\"releases\": [\"R\"]}]}")
        << QStringList{"R|||5|0"};
    QTest::newRow("config not an array")
        << QByteArray("{\"releases\": [{\"name\": \"R\", \"config\": {\"site\": \"A\"}}],"
                      " \"runs\": [{\"releases\": [\"R\"]}]}")
        << QStringList{"|||0|0"};
    QTest::newRow("run releases not an array")
        << releases + "\"runs\": [{\"releases\": \"R1\"}]}" << QStringList();
}

void tst_SimulationConfig::releaseLookup()
{
    QFETCH(QByteArray, content);
    QFETCH(QStringList, expected);

    QVERIFY(load(content));
    QCOMPARE(describe(config_.releases(0)), expected);
}

void tst_SimulationConfig::siteLookup_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("expected");

    const QByteArray sites = "{\"year\": 2012, \"sites\": ["
                             "{\"name\": \"S1\", \"config\": [{\"location\": \"L1\"},"
                             " {\"location\": \"L2\"}]},"
                             "{\"name\": \"S2\", \"config\": [{\"location\": 7}]},"
                             "{\"name\": \"S3\", \"config\": \"L3\"}],";

    QTest::newRow("order and duplicates kept")
        << sites + "\"runs\": [{\"sites\": [\"S2\", \"S1\", \"S2\"]}]}"
        << QStringList{"S2|7|2012", "S1|L2|2012", "S2|7|2012"};
    QTest::newRow("unknown and unbuilt names give defaults")
        << sites + "\"runs\": [{\"sites\": [\"S3\", \"nope\", \"S1\"]}]}"
        << QStringList{"||0", "||0", "S1|L2|2012"};
    QTest::newRow("sites not an array")
        << QByteArray("{\"sites\": {\"name\": \"S1\"}, \"runs\": [{\"sites\": [\"S1\"]}]}")
        << QStringList{"||0"};
}

void tst_SimulationConfig::siteLookup()
{
    QFETCH(QByteArray, content);
    QFETCH(QStringList, expected);

    QVERIFY(load(content));
    QCOMPARE(describe(config_.sites(0)), expected);
}

void tst_SimulationConfig::failedReloadForgetsOldConfig()
{
    QVERIFY(load("{\"dataDir\": \"d\", \"sites\": [{\"name\": \"S\", \"config\": [{}]}],"
                 " \"runs\": [{\"sites\": [\"S\"]}]}"));
    QCOMPARE(config_.runCount(), 1);
    QVERIFY(!load("{\"dataDir\": \"d\""));
    QCOMPARE(config_.runCount(), 0);
    QCOMPARE(config_.dataDir(), QString());
}

QTEST_GUILESS_MAIN(tst_SimulationConfig)
#include "tst_simulationconfig.moc"
