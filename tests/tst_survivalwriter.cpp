#include "SurvivalTestStudy.h"
#include "TestSupport.h"
#include "survival/SurvivalAnalysis.h"
#include "survival/SurvivalChart.h"
#include "survival/SurvivalWriter.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstring>
#include <sys/resource.h>

using namespace kd;
using namespace kd::test;

namespace {

// Pixels that are not white, and pixels of exactly the given colour.
QPair<int, int> countPixels(const QImage& image, QRgb colour)
{
    int painted = 0;
    int matching = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = image.pixel(x, y) & 0xffffff;
            painted += pixel != 0xffffff;
            matching += pixel == (colour & 0xffffff);
        }
    return {painted, matching};
}

} // namespace

class TestSurvivalWriter : public QObject
{
    Q_OBJECT

private slots:
    void filesOfASmallStudy();
    void failureNamesTheFile_data();
    void failureNamesTheFile();
    void failureKeepsTheEarlierSet_data();
    void failureKeepsTheEarlierSet();
    void measureText_data();
    void measureText();
    void chart_data();
    void chart();
    void siteLabels_data();
    void siteLabels();
};

void TestSurvivalWriter::filesOfASmallStudy()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const SurvivalResult result = SurvivalAnalysis::analyse(survivalTestStudy());
    QString error;
    QVERIFY2(SurvivalWriter::write(dir.path(), "Study", "Survival", result, &error),
             qPrintable(error));
    QVERIFY(error.isEmpty());

    // p at its bound: estimate and profile interval, no standard error. Dry has no rows here, and
    // no -2 ln L in the fit file.
    QCOMPARE(readFile(dir.filePath("Study_Survival.csv")),
             "release,parameter,from,to,estimate,se,lcl,ucl\n"
             "Spring,phi,Spring,Upper,0.750000,0.153093,0.377143,0.936963\n"
             "Spring,phi,Upper,Middle,0.666667,0.192450,0.268110,0.916102\n"
             "Spring,p,Upper,,1.000000,,0.618667,1.000000\n"
             "Spring,p,Middle,,1.000000,,0.470057,1.000000\n"
             "Spring,beta,Middle,\"Lower, east\",0.666667,0.272166,0.153513,0.956628\n"
             "\"Summer, late\",phi,\"Summer, late\",Upper,1.000000,,0.618667,1.000000\n"
             "\"Summer, late\",phi,Upper,Middle,0.750000,0.216506,0.237840,0.966489\n"
             "\"Summer, late\",p,Upper,,1.000000,,0.618667,1.000000\n"
             "\"Summer, late\",p,Middle,,1.000000,,0.392003,1.000000\n"
             "\"Summer, late\",beta,Middle,\"Lower, east\",0.666667,0.272166,0.153513,0.956628\n");
    QCOMPARE(readFile(dir.filePath("Study_fit.csv")),
             "release,fish,removed,minus2lnl,parameters,converged\n"
             "Spring,8,1,20.454617,3,true\n"
             "\"Summer, late\",4,0,8.317766,2,true\n"
             "Dry,2,0,,0,false\n");
    QCOMPARE(readFile(dir.filePath("Study_marked.csv")),
             "ch,freq,release,tag_code,length,weight,removed_at\n"
             "1111,1,Spring,G1,150.5,12,\n"
             "1111,1,\"Summer, late\",G6,,,\n"
             "1000,1,Spring,G2,200,40.5,\n"
             "1000,1,Dry,G9,,7,\n"
             "1110,-1,Spring,G3,98.7,8.25,\n"
             "1110,1,Spring,G4,,,\n"
             "1110,1,\"Summer, late\",G7,,,\n"
             "1100,1,Spring,G5,,,\n"
             "1111,1,Spring,G10,,,\n"
             "1100,1,\"Summer, late\",G8,,,\n"
             "1100,1,Spring,G11,,,\n"
             "1111,1,\"Summer, late\",G14,,,\n"
             "1000,1,Spring,G12,,,\n"
             "1000,1,Dry,G13,,,\n");
    QCOMPARE(readFile(dir.filePath("Study_mark.inp")), "/* G1 */ 1111 1 0 0;\n"
                                                       "/* G6 */ 1111 0 1 0;\n"
                                                       "/* G2 */ 1000 1 0 0;\n"
                                                       "/* G9 */ 1000 0 0 1;\n"
                                                       "/* G3 */ 1110 -1 0 0;\n"
                                                       "/* G4 */ 1110 1 0 0;\n"
                                                       "/* G7 */ 1110 0 1 0;\n"
                                                       "/* G5 */ 1100 1 0 0;\n"
                                                       "/* G10 */ 1111 1 0 0;\n"
                                                       "/* G8 */ 1100 0 1 0;\n"
                                                       "/* G11 */ 1100 1 0 0;\n"
                                                       "/* G14 */ 1111 0 1 0;\n"
                                                       "/* G12 */ 1000 1 0 0;\n"
                                                       "/* G13 */ 1000 0 0 1;\n");
    const QImage chart(dir.filePath("Study_survival.png"));
    QCOMPARE(chart.size(), QSize(1000, 600));
    // Cumulative survival to each site whose survival from the release is identifiable; the
    // covariance of the rows with a standard error.
    QCOMPARE(readFile(dir.filePath("Study_cumulative.csv")),
             "release,site,river_kilometer,estimate,se,lcl,ucl\n"
             "Spring,Upper,300,0.750000,0.153093,0.377143,0.936963\n"
             "Spring,Middle,200,0.500000,0.176777,0.200062,0.799938\n"
             "\"Summer, late\",Upper,300,1.000000,,0.618667,1.000000\n"
             "\"Summer, late\",Middle,200,0.750000,0.216506,0.237840,0.966489\n");
    const QList<QByteArray> vcv = readFile(dir.filePath("Study_vcv.csv")).split('\n');
    QCOMPARE(vcv.first(), "release,row,column,covariance");
    // Spring: phi, phi and beta (the p are at 1); Summer: its second phi and beta.
    QCOMPARE(vcv.size(), 1 + 9 + 4 + 1);
    const auto cell = [&vcv](int line, const char* start, double expected) {
        return vcv[line].startsWith(start) &&
               std::abs(vcv[line].mid(vcv[line].lastIndexOf(',') + 1).toDouble() - expected) < 1e-9;
    };
    QVERIFY(cell(1, "Spring,phi:Spring:Upper,phi:Spring:Upper,", 0.75 * 0.25 / 8));
    QVERIFY(cell(2, "Spring,phi:Spring:Upper,phi:Upper:Middle,", 0.0));
    QVERIFY(cell(13, "\"Summer, late\",\"beta:Middle:Lower, east\",\"beta:Middle:Lower, east\",",
                 2.0 / 27));
    // Nothing but the seven files, and no temporary file left behind.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 7);
}

void TestSurvivalWriter::failureNamesTheFile_data()
{
    // A folder where a file should go makes that file fail.
    QTest::addColumn<QString>("blocked");
    QTest::newRow("first file") << "Study_survival.csv";
    QTest::newRow("a later file") << "Study_mark.inp";
}

void TestSurvivalWriter::failureNamesTheFile()
{
    QFETCH(QString, blocked);
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir(blocked));
    QString error;
    QVERIFY(!SurvivalWriter::write(dir.path(), "Study", "survival",
                                   SurvivalAnalysis::analyse(survivalTestStudy()), &error));
    QVERIFY2(error.contains(blocked), qPrintable(error));
}

void TestSurvivalWriter::failureKeepsTheEarlierSet_data()
{
    QTest::addColumn<QString>("blocked");
    QTest::addColumn<bool>("diskFull"); // else a folder stands in the file's place
    QTest::newRow("the chart, written last") << "Study_survival.png" << false;
    QTest::newRow("a table in the middle") << "Study_cumulative.csv" << false;
    QTest::newRow("no room for the chart") << "Study_survival.png" << true;
}

void TestSurvivalWriter::failureKeepsTheEarlierSet()
{
    // A set written, then a second run over other fish fails on one of its files: every file of
    // the first set must stay as it was, not be replaced one by one up to the failure.
    QFETCH(QString, blocked);
    QTemporaryDir dir;
    QString error;
    QVERIFY2(SurvivalWriter::write(dir.path(), "Study", "survival",
                                   SurvivalAnalysis::analyse(survivalTestStudy()), &error),
             qPrintable(error));
    const QStringList kept = {"Study_survival.csv", "Study_fit.csv",        "Study_marked.csv",
                              "Study_mark.inp",     "Study_cumulative.csv", "Study_vcv.csv",
                              "Study_survival.png"};
    QHash<QString, QByteArray> before;
    for (const QString& name : kept)
        before.insert(name, readFile(dir.filePath(name)));
    QFETCH(bool, diskFull);
    if (!diskFull) {
        QVERIFY(QFile::remove(dir.filePath(blocked)));
        QVERIFY(QDir(dir.path()).mkdir(blocked));
    }

    SurvivalStudy other = survivalTestStudy();
    other.fish.removeLast();
    other.fish[0].codes = {1, 0, 1};
    const SurvivalResult otherResult = SurvivalAnalysis::analyse(other);
    bool written = true;
    if (diskFull) {
        // Files may grow to just past the largest table: the chart finds the disk full.
        qint64 largest = 0;
        for (const QString& name : kept)
            if (name != blocked)
                largest = std::max(largest, qint64(before.value(name).size()) + 4096);
        QVERIFY(largest < before.value(blocked).size());
        QTest::failOnWarning(QRegularExpression(QStringLiteral("libpng")));
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit saved{};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
        rlimit limited = saved;
        limited.rlim_cur = rlim_t(largest);
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &limited), 0);
        written = SurvivalWriter::write(dir.path(), "Study", "survival", otherResult, &error);
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, SIG_DFL);
        // The system's reason, not "Unknown error".
        QVERIFY2(error.contains(QString::fromLocal8Bit(std::strerror(EFBIG))), qPrintable(error));
    } else {
        written = SurvivalWriter::write(dir.path(), "Study", "survival", otherResult, &error);
    }
    QVERIFY(!written);
    QVERIFY2(error.contains(blocked), qPrintable(error));
    for (const QString& name : kept)
        if (name != blocked || diskFull)
            QVERIFY2(readFile(dir.filePath(name)) == before.value(name), qPrintable(name));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), kept.size() - (diskFull ? 0 : 1));
}

void TestSurvivalWriter::measureText_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("expected");
    QTest::newRow("decimal") << "150.5"
                             << "150.5";
    QTest::newRow("spaces") << " 12 "
                            << "12";
    QTest::newRow("zero stays") << "0"
                                << "0";
    QTest::newRow("six significant digits") << "1234567"
                                            << "1.23457e+06";
    QTest::newRow("single precision, as stored") << "98.7"
                                                 << "98.7";
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("not a number") << "n/a"
                                  << "";
    QTest::newRow("infinite") << "inf"
                              << "";
    QTest::newRow("beyond single precision") << "1e300"
                                             << "";
}

void TestSurvivalWriter::measureText()
{
    QFETCH(QString, stored);
    QFETCH(QString, expected);
    QCOMPARE(SurvivalWriter::measureText(stored), expected);
}

void TestSurvivalWriter::chart_data()
{
    QTest::addColumn<bool>("withEstimates");
    QTest::newRow("releases with intervals") << true;
    QTest::newRow("no estimates: axes only") << false;
}

void TestSurvivalWriter::chart()
{
    QFETCH(bool, withEstimates);
    SurvivalStudy study = survivalTestStudy();
    if (!withEstimates)
        study.fish.clear();
    const QImage image = SurvivalChart::render(SurvivalAnalysis::analyse(study));
    QCOMPARE(image.size(), QSize(SurvivalChart::Width, SurvivalChart::Height));
    const auto [painted, firstRelease] = countPixels(image, 0x1f77b4);
    QVERIFY2(painted > 5000, qPrintable(QString::number(painted)));
    // The first release's colour shows only when it is drawn.
    QCOMPARE(firstRelease > 100, withEstimates);
}

void TestSurvivalWriter::siteLabels_data()
{
    QTest::addColumn<QList<double>>("x");
    QTest::addColumn<QString>("labels"); // first index:text, joined by " | "
    QTest::newRow("apart") << QList<double>{0, 30, 60, 90} << "0:A | 1:B | 2:C | 3:D";
    // A juvenile bypass and an adult ladder at one dam share a kilometre.
    QTest::newRow("one place") << QList<double>{0, 100, 100, 200} << "0:A | 1:B, C | 3:D";
    // A group is measured from its first site, so a row of close sites is cut into groups.
    QTest::newRow("a row of close sites") << QList<double>{0, 15, 30, 45} << "0:A, B | 2:C, D";
}

void TestSurvivalWriter::siteLabels()
{
    QFETCH(QList<double>, x);
    QFETCH(QString, labels);
    QStringList got;
    for (const auto& [first, text] : SurvivalChart::siteLabels(x, {"A", "B", "C", "D"}, 20.0))
        got.append(QStringLiteral("%1:%2").arg(first).arg(text));
    QCOMPARE(got.join(QStringLiteral(" | ")), labels);
}

QTEST_MAIN(TestSurvivalWriter)
#include "tst_survivalwriter.moc"
