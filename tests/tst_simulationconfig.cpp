#include "RecordingLogger.h"
#include "base/DateTimeText.h"
#include "run/RunKind.h"
#include "run/RunPlan.h"
#include "simulation/SimulationConfig.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <ctime>

using kd::SimulationConfig;
namespace DateTimeText = kd::DateTimeText;

class tst_SimulationConfig : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void load_data();
    void load();
    void missingFile();
    void runs();
    void lookup();
    void window_data();
    void window();
    void runPlan_data();
    void runPlan();
    void intervals_data();
    void intervals();

private:
    bool loadText(const QByteArray& content);

    QTemporaryDir dir_;
    SimulationConfig config_;
    RecordingLogger logger_;
};

void tst_SimulationConfig::init()
{
    // A zone with a daylight-saving gap, so that any local-time conversion of dates shows.
    qputenv("TZ", "America/Los_Angeles");
    tzset();
    QVERIFY(dir_.isValid());
    config_ = SimulationConfig();
    logger_.messages.clear();
    config_.setLogger(&logger_);
}

bool tst_SimulationConfig::loadText(const QByteArray& content)
{
    QFile file(dir_.filePath("config.txt"));
    const bool written = file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
    file.close();
    return written && config_.load(file.fileName());
}

void tst_SimulationConfig::load_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("values");  // dataDir|year|run count
    QTest::addColumn<QString>("message"); // what a refusal says

    const auto row = [](const char* name, const QByteArray& content, bool ok, const char* values,
                        const char* message = "") {
        QTest::newRow(name) << content << ok << QString(values) << QString(message);
    };
    const char* notObject = "Unable to parse config file: the configuration is not a JSON object";
    row("all given", R"({"dataDir": "../data", "year": 2011, "runs": [{}, {}, {}]})", true,
        "../data|2011|3");
    row("byte-order mark", "\xEF\xBB\xBF{\"dataDir\": \"d\"}", true, "d|0|0");
    row("empty file", "", true, "|0|0");
    // A syntax error is placed by line and column, never echoed whole.
    row("blank file", " \n\t\n", false, "|0|0", "Unable to parse config file: line 3, column 1");
    row("truncated", R"({"dataDir": "data", "runs": [{"title":)", false, "|0|0",
        "Unable to parse config file: line 1, column 39");
    row("error on a later line", "{\"dataDir\": \"data\",\n  \"year\": 2011,\n  \"runs\": [}]}",
        false, "|0|0", "Unable to parse config file: line 3, column 12");
    row("deeply nested", QByteArray(100000, '['), false, "|0|0",
        "Unable to parse config file: line 1, column 513");
    // A root that is not an object is refused rather than read as an empty configuration.
    row("top level array", R"([{"dataDir": "data"}])", false, "|0|0", notObject);
    row("top level number", "42", false, "|0|0", notObject);
    row("top level null", "null", false, "|0|0", notObject);
    // Numbers in exponent form are numbers; a fraction is no year.
    row("exponent", R"({"year": 2.011e3, "runs": [{}]})", true, "|2011|1");
    row("fraction", R"({"year": 2011.5})", true, "|0|0");
    row("wrong types", R"({"dataDir": ["d"], "year": "abc", "runs": {"title": "x"},
                           "releases": {"name": "R"}, "sites": "S"})",
        true, "|0|0");
    row("year too large", R"({"year": 99999999999})", true, "|0|0");
    row("elements that are not objects", R"({"releases": [1, "R", [], null], "sites": [true, [{}]],
            "runs": [5, "run", null, [], {"releases": 1, "sites": {}}]})",
        true, "|0|5");
}

void tst_SimulationConfig::load()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, ok);
    QFETCH(QString, values);
    QFETCH(QString, message);

    QCOMPARE(loadText(content), ok);
    QCOMPARE(logger_.messages, ok ? QStringList() : QStringList{message});
    QCOMPARE(QStringLiteral("%1|%2|%3")
                 .arg(config_.dataDir())
                 .arg(config_.year())
                 .arg(config_.runCount()),
             values);
    for (int i = 0; i < config_.runCount(); ++i) {
        QVERIFY(config_.active(i));
        QCOMPARE(config_.title(i), QString());
        QVERIFY(config_.cutoffDate(i).isNull());
        QVERIFY(config_.releases(i).isEmpty());
        QVERIFY(config_.sites(i).isEmpty());
    }
}

void tst_SimulationConfig::missingFile()
{
    // A failed load also forgets what the previous one read.
    QVERIFY(loadText("{\"dataDir\": \"d\", \"runs\": [{}]}"));
    const QString path = dir_.filePath("absent.txt");
    QVERIFY(!config_.load(path));
    QCOMPARE(logger_.messages, QStringList{"Unable to open config file: " + path});
    QCOMPARE(config_.baseDir(), dir_.path());
    QCOMPARE(config_.runCount(), 0);
}

void tst_SimulationConfig::runs()
{
    QVERIFY(loadText(R"({"runs": [
        {"title": "Spring", "type": "false_events", "active": true, "outputDir": "out",
         "falseEventsDir": "fe", "falseEventsFile": "f", "cutoffDate": "2011-03-13 02:30:00"},
        {},
        {"active": false, "cutoffDate": null},
        {"active": 0, "title": 12, "type": -1, "outputDir": 1.5, "cutoffDate": "2011-06-01"},
        {"active": [true], "title": ["a"], "type": {"a": 1}, "cutoffDate": "2011-02-30 00:00:00"},
        {"cutoffDate": 20110601}]})"));
    QStringList actual;
    for (int i = 0; i < config_.runCount(); ++i) {
        const QDateTime cutoff = config_.cutoffDate(i);
        actual << QStringLiteral("%1|%2|%3|%4|%5|%6|%7")
                      .arg(config_.active(i) ? "active" : "inactive", config_.title(i),
                           config_.type(i), config_.outputDir(i), config_.falseEventsDir(i),
                           config_.falseEventsFile(i),
                           cutoff.isValid() ? cutoff.toString(Qt::ISODate) : "-");
    }
    // The cutoff is read strictly and kept as written, whatever the local zone.
    QCOMPARE(actual, QStringList({"active|Spring|false_events|out|fe|f|2011-03-13T02:30:00Z",
                                  "active||||||-", "inactive||||||-", "inactive|12|-1|1.5|||-",
                                  "inactive||||||-", "active||||||-"}));
    // A cutoff that is there but no date-time refuses the run, named as written.
    QStringList refusals;
    for (int i = 0; i < config_.runCount(); ++i) {
        QDateTime cutoff;
        QString error;
        refusals << (config_.cutoff(i, cutoff, error) ? QStringLiteral("ok") : error);
    }
    const QString notADateTime = QStringLiteral(" is not a date-time (yyyy-MM-dd hh:mm:ss)");
    QCOMPARE(refusals,
             QStringList({"ok", "ok", "ok",
                          R"(Run "12" refused: cutoffDate "2011-06-01")" + notADateTime,
                          R"(Run "" refused: cutoffDate "2011-02-30 00:00:00")" + notADateTime,
                          R"(Run "" refused: cutoffDate 20110601)" + notADateTime}));
}

void tst_SimulationConfig::lookup()
{
    QVERIFY(loadText(R"({"year": 2011, "releases": [
        {"name": "R1", "river_kilometer": 234,
         "config": [{"site": "A", "species": "1"}, {"site": "B", "species": "2"}]},
        {"name": "R2", "river_kilometer": "75", "config": [{"site": "C", "species": 3}]},
        {"name": "R3", "river_kilometer": 10, "config": []},
        {"name": "R4", "river_kilometer": 10, "config": {"site": "A"}},
        {"name": "R5", "config": ["A"]},
        {"name": "R5", "river_kilometer": 1, "config": [{"site": "Z"}]},
        {"name": "R6", "config": [{"site": "D", "species": "1", "year": 2019},
                                  {"site": "D", "species": "1", "year": "x", "specis": "2"}]}],
      "sites": [
        {"name": "S1", "config": [{"location": "L1"}, {"location": "L2", "year": 2.019e3}]},
        {"name": "S2", "config": [{"location": 7}]},
        {"name": "S3", "config": "L3"}],
      "runs": [{"releases": ["R2", "R1", "R2", "X", "R3", "R4", "R5", "R6"],
                "sites": ["S2", "S1", "S2", "S3", "nope"], "windowend": null}],
      "Year": 2012})"));

    // In the run's order, duplicates kept; every entry of a release or site counts, with its
    // own year when it has one; an unknown or unbuilt name gives nothing, and a later object
    // of a name replaces the earlier one as a whole.
    QStringList releases;
    for (const auto& r : config_.releases(0))
        releases << QStringList{r.name, r.site, r.species, QString::number(r.riverKm),
                                QString::number(r.year)}
                        .join(u'|');
    QCOMPARE(releases,
             QStringList({"R2|C|3|75|2011", "R1|A|1|234|2011", "R1|B|2|234|2011", "R2|C|3|75|2011",
                          "R5|Z||1|2011", "R6|D|1|0|2019", "R6|D|1|0|0"}));
    QStringList sites;
    for (const auto& s : config_.sites(0))
        sites << QStringLiteral("%1|%2|%3").arg(s.name, s.location).arg(s.year);
    QCOMPARE(sites, QStringList({"S2|7|2011", "S1|L1|2011", "S1|L2|2019", "S2|7|2011"}));
    QCOMPARE(config_.releaseNames(0).size(), 8);
    QVERIFY(config_.definesRelease(QStringLiteral("R1")));
    QVERIFY(!config_.definesRelease(QStringLiteral("R3")));
    QCOMPARE(logger_.messages,
             QStringList({R"(***Warning: unknown key "Year" in the configuration)",
                          R"(***Warning: unknown key "specis" in releases[6] ("R6") config[1])",
                          R"(***Warning: unknown key "windowend" in runs[0])",
                          R"(***Warning: Release "R5" is defined again; the later definition )"
                          "replaces the earlier one"}));
}

void tst_SimulationConfig::window_data()
{
    QTest::addColumn<QByteArray>("keys");
    QTest::addColumn<QString>("bounds"); // start|end, or the refusal
    const auto row = [](const char* name, const char* keys, const char* bounds) {
        QTest::newRow(name) << QByteArray(keys) << QString(bounds);
    };
    row("none", "", "|");
    row("both", R"("windowStart": "2021-03-01 00:00:00", "windowEnd": "2021-07-31 23:59:59")",
        "2021-03-01 00:00:00|2021-07-31 23:59:59");
    row("start only", R"("windowStart": "2021-03-01 00:00:00")", "2021-03-01 00:00:00|");
    row("null end", R"("windowStart": null, "windowEnd": "2021-07-31 23:59:59")",
        "|2021-07-31 23:59:59");
    row("equal bounds",
        R"("windowStart": "2021-03-01 00:00:00", "windowEnd": "2021-03-01 00:00:00")",
        "2021-03-01 00:00:00|2021-03-01 00:00:00");
    row("not a date-time", R"("windowStart": "26/04/2022 17:15:00")",
        R"(Run "w" refused: windowStart "26/04/2022 17:15:00" is not a date-time )"
        "(yyyy-MM-dd hh:mm:ss)");
    row("impossible day", R"("windowEnd": "2022-02-30 10:00:00")",
        R"(Run "w" refused: windowEnd "2022-02-30 10:00:00" is not a date-time )"
        "(yyyy-MM-dd hh:mm:ss)");
    row("a number", R"("windowEnd": 2022)",
        R"(Run "w" refused: windowEnd 2022 is not a date-time (yyyy-MM-dd hh:mm:ss))");
    row("start after end",
        R"("windowStart": "2021-08-01 00:00:00", "windowEnd": "2021-07-31 23:59:59")",
        R"(Run "w" refused: windowStart 2021-08-01 00:00:00 is after windowEnd 2021-07-31 23:59:59)");
}

void tst_SimulationConfig::window()
{
    QFETCH(QByteArray, keys);
    QFETCH(QString, bounds);
    QVERIFY(loadText(R"({"runs": [{"title": "w")" + (keys.isEmpty() ? "" : ", " + keys) + "}]}"));
    QDateTime start;
    QDateTime end;
    QString error;
    const bool ok = config_.window(0, start, end, error);
    QCOMPARE(ok ? DateTimeText::format(start) + '|' + DateTimeText::format(end) : error, bounds);
    QVERIFY(logger_.messages.isEmpty());
}

void tst_SimulationConfig::runPlan_data()
{
    QTest::addColumn<QByteArray>("run");
    // name|kind|releases|sites|start|end|cutoff|intervals, or the refusal
    QTest::addColumn<QString>("plan");
    const auto row = [](const char* name, const char* run, const char* plan) {
        QTest::newRow(name) << QByteArray(run) << QString(plan);
    };
    row("kavel", R"("title": "k", "type": "kavel", "releases": ["R1"], "sites": ["S1", "S2"])",
        "k|kavel|R1 at 234|S1 L1,S2 L2||||wald");
    row("survival with window and cutoff",
        R"("title": "s", "type": "survival", "releases": ["R1", "R1"], "sites": ["S2"],
           "windowStart": "2021-03-01 00:00:00", "cutoffDate": "2021-07-01 12:00:00")",
        "s|survival|R1 at 234,R1 at 234|S2 L2|2021-03-01 00:00:00||2021-07-01 12:00:00|wald");
    row("unknown type", R"("title": "u", "type": "Kavel", "releases": ["X"])", "u|-||||||wald");
    row("profile intervals", R"("title": "p", "type": "survival", "intervals": "profile")",
        "p|survival||||||profile");
    row("intervals of a survival run refused",
        R"("title": "p", "type": "survival", "intervals": "Profile")",
        R"(Run "p" refused: intervals "Profile" is neither "wald" nor "profile")");
    row("intervals of another kind not read",
        R"("title": "p", "type": "standard", "intervals": "Profile")", "p|standard||||||wald");
    row("cutoff refused", R"("title": "c", "type": "kavel", "cutoffDate": "2021-07-01")",
        R"(Run "c" refused: cutoffDate "2021-07-01" is not a date-time (yyyy-MM-dd hh:mm:ss))");
    row("window refused", R"("title": "w", "type": "kavel", "windowEnd": "x")",
        R"(Run "w" refused: windowEnd "x" is not a date-time (yyyy-MM-dd hh:mm:ss))");
}

// The console's run as both faces take it: everything config.txt says of it, or its refusal.
void tst_SimulationConfig::runPlan()
{
    QFETCH(QByteArray, run);
    QFETCH(QString, plan);
    QVERIFY(loadText(R"({"year": 2011,
        "releases": [{"name": "R1", "river_kilometer": 234, "config": [{"site": "A"}]}],
        "sites": [{"name": "S1", "config": [{"location": "L1"}]},
                  {"name": "S2", "config": [{"location": "L2"}]}],
        "runs": [{)" +
                     run + "}]}"));
    kd::RunPlan value;
    QString error;
    QString actual;
    if (config_.runPlan(0, value, error) && config_.runOptions(0, value, error)) {
        QStringList releases;
        for (const kd::ReleaseRecord& release : std::as_const(value.selection.releases))
            releases << QStringLiteral("%1 at %2").arg(release.name).arg(release.riverKm);
        QStringList sites;
        for (const kd::SiteRecord& site : std::as_const(value.selection.sites))
            sites << site.name + ' ' + site.location;
        actual =
            QStringList({value.name, value.kind ? value.kind->consoleName : "-", releases.join(','),
                         sites.join(','), DateTimeText::format(value.selection.windowStart),
                         DateTimeText::format(value.selection.windowEnd),
                         DateTimeText::format(value.cutoff),
                         value.survivalFit.profileIntervals ? "profile" : "wald"})
                .join('|');
        QCOMPARE(value.selection.storedRunId, -1);
    } else {
        actual = error;
    }
    QCOMPARE(actual, plan);
}

void tst_SimulationConfig::intervals_data()
{
    QTest::addColumn<QByteArray>("keys");
    QTest::addColumn<QString>("intervals"); // "profile", "wald", or the refusal
    const auto row = [](const char* name, const char* keys, const char* intervals) {
        QTest::newRow(name) << QByteArray(keys) << QString(intervals);
    };
    row("absent", "", "wald");
    row("null", R"("intervals": null)", "wald");
    row("wald", R"("intervals": "wald")", "wald");
    row("profile", R"("intervals": "profile")", "profile");
    row("another word", R"("intervals": "Profile")",
        R"(Run "w" refused: intervals "Profile" is neither "wald" nor "profile")");
    row("a truth value", R"("intervals": true)",
        R"(Run "w" refused: intervals true is neither "wald" nor "profile")");
}

void tst_SimulationConfig::intervals()
{
    QFETCH(QByteArray, keys);
    QFETCH(QString, intervals);
    QVERIFY(loadText(R"({"runs": [{"title": "w")" + (keys.isEmpty() ? "" : ", " + keys) + "}]}"));
    bool profile = true;
    QString error;
    const bool ok = config_.profileIntervals(0, profile, error);
    QCOMPARE(ok ? QString(profile ? "profile" : "wald") : error, intervals);
    // The key is known: no warning about it.
    QVERIFY(logger_.messages.isEmpty());
}

QTEST_GUILESS_MAIN(tst_SimulationConfig)
#include "tst_simulationconfig.moc"
