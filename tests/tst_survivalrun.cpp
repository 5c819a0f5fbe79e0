#include "app/CommandLine.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdio>

using namespace kd;

namespace {

struct Outcome
{
    int result = 0;
    QString log;
};

// The runner in this process; its standard output and error go to one log.
Outcome runKeldar(const QString& folder)
{
    QByteArray program("keldar");
    QByteArray argument = folder.toLocal8Bit();
    char* argv[] = {program.data(), argument.data(), nullptr};
    std::FILE* log = std::tmpfile();
    Outcome outcome;
    outcome.result = CommandLine(2, argv, log, log).run();
    std::rewind(log);
    QFile file;
    if (file.open(log, QIODevice::ReadOnly))
        outcome.log = QString::fromUtf8(file.readAll());
    file.close();
    std::fclose(log);
    return outcome;
}

void writeFile(const QString& path, const QByteArray& content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

QByteArray tag(const char* code, const char* location, const char* length, const char* weight)
{
    return QByteArray(code) + ",ann,2,7,CHN," + length + ',' + weight +
           ",P,,2021-04-01 08:00:00,2021-04-02 09:00:00," + location + ",x,120,1,2,0,\n";
}

// Three sites, listed against river order; "Spring" has a configured kilometre, "Fall" none.
// G2 is removed between S_B and S_C (a 2 at S_B), G4 above every site (dropped), G6 stays at
// S_A past the cutoff (dropped), G5 of Fall is detected nowhere.
void writeStudy(const QString& folder, const QByteArray& survivalRun)
{
    const QDir sim(folder);
    const QByteArray selection =
        R"("releases": ["Spring", "Fall"], "sites": ["S_C", "S_A", "S_B"],
           "cutoffDate": "2021-04-10 00:00:00")";
    writeFile(sim.filePath("config.txt"), R"({"dataDir": "data", "year": 2021,
      "releases": [
        {"name": "Spring", "river_kilometer": 120, "config": [{"site": "REL1", "species": "CHN"}]},
        {"name": "Fall", "config": [{"site": "REL2", "species": "CHN"}]}],
      "sites": [{"name": "S_A", "config": [{"location": "A"}]},
                {"name": "S_B", "config": [{"location": "B"}]},
                {"name": "S_C", "config": [{"location": "C"}]}],
      "runs": [{"title": "r", "type": "standard", "outputDir": "out", )" +
                                              selection + "},\n{" + survivalRun + ", " + selection +
                                              "}]}");
    writeFile(sim.filePath("data/tags.csv"),
              "tag_code,tagger_name_xlat,bucket,lot,species_code_xlat,length,weight,pit_code,"
              "fish_tag_date,tag_activate_date,tag_release_date,release_location,"
              "release_location_xlat,release_location_river_kilometer,release_location_latitude,"
              "release_location_longitude,mort_xlat,pri\n" +
                  tag("G1", "REL1", "150.5", "30") + tag("G2", "REL1", "", "12.25") +
                  tag("G3", "REL1", "98", "") + tag("G4", "REL1", "110", "9") +
                  tag("G5", "REL2", "120", "15") + tag("G6", "REL1", "130", "18"));
    writeFile(sim.filePath("data/nodes.csv"),
              "node_code,latitude,longitude,river_kilometer,location,location_xlat,deploy_date,"
              "recovery_date,elev_or_depth\n"
              "A_1,1,2,100,A,up,2021-01-01 00:00:00,,\n"
              "B_1,1,2,50,B,up,2021-01-01 00:00:00,,\n"
              "C_1,1,2,10,C,up,2021-01-01 00:00:00,,\n");
    writeFile(sim.filePath("data/events.csv"),
              "node_code,tag_code,first_computed_datetime,last_computed_datetime,hits\n"
              "A_1,G1,2021-04-03 10:00:00,2021-04-03 11:00:00,3\n"
              "B_1,G1,2021-04-05 10:00:00,2021-04-05 10:30:00,3\n"
              "C_1,G1,2021-04-07 09:00:00,2021-04-07 09:00:00,1\n"
              "A_1,G2,2021-04-03 10:00:00,2021-04-03 10:05:00,2\n"
              "B_1,G2,2021-04-06 10:00:00,2021-04-06 12:00:00,2\n"
              "A_1,G4,2021-04-03 10:00:00,2021-04-03 10:00:00,1\n"
              "A_1,G6,2021-04-09 10:00:00,2021-04-11 10:00:00,9\n");
    writeFile(sim.filePath("data/removals.csv"), "tag_code,removal_date,riverkm,removal_type_id\n"
                                                 "G2,2021-05-01 00:00:00,30,bird\n"
                                                 "G4,2021-05-01 00:00:00,120,trap\n");
}

} // namespace

class TestSurvivalRun : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void files_data();
    void files();
    void sameFishAsTheStandardFile();
    void chartAndLog();
    void outcomes_data();
    void outcomes();

private:
    QTemporaryDir study_;
    Outcome outcome_;
};

void TestSurvivalRun::initTestCase()
{
    QVERIFY(study_.isValid());
    writeStudy(study_.path(), R"("title": "r", "type": "survival", "outputDir": "out")");
    outcome_ = runKeldar(study_.path());
    QCOMPARE(outcome_.result, 1);
}

void TestSurvivalRun::files_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("expected");

    // Hand-worked: of Spring's three fish two reach S_A and both are seen at S_B, so every p
    // is 1 and phi from the release is 2/3; -2 ln L = -2 (2 ln 2/3 + ln 1/3). The rows at 1
    // rest on two fish (beta on one): their profile intervals start at exp(-3.8415 / 4) =
    // 0.382749 (exp(-3.8415 / 2) = 0.146497). Fall comes first
    // (the Standard file's order) and has no estimates.
    QTest::newRow("estimates") << "r_survival.csv"
                               << QByteArray(
                                      "release,parameter,from,to,estimate,se,lcl,ucl\n"
                                      "Spring,phi,Spring,S_A,0.666667,0.272166,0.153513,0.956628\n"
                                      "Spring,phi,S_A,S_B,1.000000,,0.382749,1.000000\n"
                                      "Spring,p,S_A,,1.000000,,0.382749,1.000000\n"
                                      "Spring,p,S_B,,1.000000,,0.382749,1.000000\n"
                                      "Spring,beta,S_B,S_C,1.000000,,0.146497,1.000000\n");
    QTest::newRow("fit") << "r_fit.csv"
                         << QByteArray("release,fish,removed,minus2lnl,parameters,converged\n"
                                       "Fall,1,0,,0,false\n"
                                       "Spring,3,1,3.819085,1,true\n");
    // A missing length or weight stays empty, where the Standard file writes 0.
    QTest::newRow("marked") << "r_marked.csv"
                            << QByteArray("ch,freq,release,tag_code,length,weight,removed_at\n"
                                          "1000,1,Fall,G5,120,15,\n"
                                          "1111,1,Spring,G1,150.5,30,\n"
                                          "1110,-1,Spring,G2,,12.25,3\n"
                                          "1000,1,Spring,G3,98,,\n");
}

void TestSurvivalRun::files()
{
    QFETCH(QString, file);
    QFETCH(QByteArray, expected);
    QCOMPARE(readFile(QDir(study_.path()).filePath("out/" + file)), expected);
}

void TestSurvivalRun::sameFishAsTheStandardFile()
{
    const auto fish = [&](const char* file, int releaseField, int tagField) {
        QStringList result;
        const QList<QByteArray> lines =
            readFile(QDir(study_.path()).filePath(QLatin1String(file))).split('\n');
        for (const QByteArray& line : lines.mid(1)) {
            if (line.isEmpty())
                continue;
            const QList<QByteArray> fields = line.split(',');
            result.append(
                QString::fromLatin1(fields.value(releaseField) + ' ' + fields.value(tagField)));
        }
        return result;
    };
    const QStringList standard = fish("out/r_standard.csv", 0, 2);
    QCOMPARE(fish("out/r_marked.csv", 2, 3), standard);
    QCOMPARE(standard, QStringList({"Fall G5", "Spring G1", "Spring G2", "Spring G3"}));
    // The removal gives the 2 that makes G2's frequency -1.
    QVERIFY(readFile(QDir(study_.path()).filePath("out/r_standard.csv"))
                .contains("\nSpring,7,G2,2021-04-01 08:00:00,2021-04-02 09:00:00,ann,2,0,12.25,1,"
                          "2,0,"));
}

void TestSurvivalRun::chartAndLog()
{
    const QImage chart(QDir(study_.path()).filePath("out/r_survival.png"));
    QCOMPARE(chart.size(), QSize(1000, 600));
    // Spring, the only release with estimates, is drawn in the first series colour.
    int drawn = 0;
    for (int y = 0; y < chart.height(); ++y)
        for (int x = 0; x < chart.width(); ++x)
            drawn += (chart.pixel(x, y) & 0xffffff) == 0x1f77b4;
    QVERIFY2(drawn > 100, qPrintable(QString::number(drawn)));

    const QString path = QDir(study_.path()).filePath("out/r_survival.csv");
    const QStringList lines = outcome_.log.split('\n');
    const qsizetype writing = lines.indexOf("Writing results to " + path + "...");
    QVERIFY2(writing > 0, qPrintable(outcome_.log));
    QCOMPARE(lines.mid(writing + 1, 2), QStringList({"Wrote 4 fish.", "Done."}));
    QVERIFY(lines.contains(R"(***Warning: release "Fall": no fish was detected at any site; it )"
                           "has no estimates."));
}

void TestSurvivalRun::outcomes_data()
{
    QTest::addColumn<QByteArray>("run");
    QTest::addColumn<QString>("blocker"); // made first; a trailing '/' makes a folder
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("logLine"); // start of a line of the log
    QTest::addColumn<QStringList>("written");

    const QStringList unnamed = {"_survival.csv", "_fit.csv", "_marked.csv", "_mark.inp",
                                 "_survival.png"};
    QTest::newRow("empty title") << QByteArray(R"("type": "survival")") << QString() << 1
                                 << "Wrote 4 fish." << unnamed;
    QTest::newRow("output folder is a file")
        << QByteArray(R"("title": "t", "type": "survival", "outputDir": "res")") << "res" << 2
        << "Output folder is not a folder: " << QStringList();
    QTest::newRow("chart cannot be written")
        << QByteArray(R"("title": "t", "type": "survival")") << "t_survival.png/" << 2
        << "Unable to open " << QStringList();
}

void TestSurvivalRun::outcomes()
{
    QFETCH(QByteArray, run);
    QFETCH(QString, blocker);
    QFETCH(int, result);
    QFETCH(QString, logLine);
    QFETCH(QStringList, written);
    QTemporaryDir dir;
    writeStudy(dir.path(), run);
    if (blocker.endsWith('/'))
        QVERIFY(QDir(dir.path()).mkpath(blocker));
    else if (!blocker.isEmpty())
        writeFile(dir.filePath(blocker), "x");
    const Outcome outcome = runKeldar(dir.path());
    QCOMPARE(outcome.result, result);
    QVERIFY2(outcome.log.split('\n')
                     .filter(QRegularExpression('^' + QRegularExpression::escape(logLine)))
                     .size() == 1,
             qPrintable(outcome.log));
    for (const QString& file : written)
        QVERIFY2(QFile::exists(dir.filePath(file)), qPrintable(file));
}

QTEST_MAIN(TestSurvivalRun)
#include "tst_survivalrun.moc"
