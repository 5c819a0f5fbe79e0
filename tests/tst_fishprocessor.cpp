#include "processing/FishProcessor.h"

#include <QTest>

using kd::CaptureRow;
using kd::DetectionMap;
using kd::FishProcessor;
using kd::SiteVisit;

namespace {

const QDateTime T0(QDate(2011, 5, 1), QTime(0, 0), Qt::UTC);

// Exposes the filter steps; writes nothing.
class Probe : public FishProcessor
{
public:
    using FishProcessor::FishProcessor;
    void processFish(const CaptureRow&, const DetectionMap&) override {}

    bool keeps(const CaptureRow& fish, const DetectionMap& detections, bool withCodeCheck)
    {
        QList<SiteVisit> visits;
        QVector<int> codes;
        return acceptFish(fish, detections,
                          withCodeCheck ? CutoffChecks::BeforeAndAfterCodes
                                        : CutoffChecks::BeforeCodes,
                          visits, codes);
    }
    using FishProcessor::cutoffExcludesCodes;
};

QStringList siteNames(qsizetype count)
{
    QStringList names;
    for (qsizetype i = 0; i < count; ++i)
        names.append(QStringLiteral("S%1").arg(i));
    return names;
}

QMap<QString, int> kmMap(const QList<int>& kms)
{
    QMap<QString, int> map;
    for (qsizetype i = 0; i < kms.size(); ++i)
        map.insert(QStringLiteral("S%1").arg(i), kms[i]);
    return map;
}

// One window per site, in seconds after T0: "100-200"; "100-" has no last time; "" not seen.
DetectionMap detectionsOf(const QStringList& windows)
{
    DetectionMap detections;
    for (qsizetype i = 0; i < windows.size(); ++i) {
        if (windows[i].isEmpty())
            continue;
        const QStringList ends = windows[i].split(u'-');
        const QDateTime first = T0.addSecs(ends[0].toLongLong());
        const QDateTime last = ends[1].isEmpty() ? QDateTime() : T0.addSecs(ends[1].toLongLong());
        detections.insert(QStringLiteral("S%1").arg(i), qMakePair(first, last));
    }
    return detections;
}

QString digits(const QVector<int>& codes)
{
    QString text;
    for (const int code : codes)
        text += QString::number(code);
    return text;
}

const QList<int> FourSites = {400, 300, 200, 100};
const QStringList InOrder = {"100-200", "300-400", "500-600", "700-800"};

} // namespace

class TestFishProcessor : public QObject
{
    Q_OBJECT

private slots:
    void buildSiteVisits();
    void captureCodes_data();
    void captureCodes();
    void firstSiteCutoff_data();
    void firstSiteCutoff();
    void codeCutoff_data();
    void codeCutoff();
};

void TestFishProcessor::buildSiteVisits()
{
    // B has no kilometre; "Z" is in the map but not in the run; "" and "X" are not run sites.
    const Probe probe({"A", "B", "C"}, {{"A", 300}, {"C", 100}, {"Z", 5}});
    DetectionMap detections;
    detections.insert("B", qMakePair(T0, T0.addSecs(60)));
    detections.insert("", qMakePair(QDateTime(), QDateTime()));
    detections.insert("X", qMakePair(T0, T0));

    const QList<SiteVisit> visits = probe.buildSiteVisits(detections);
    QCOMPARE(visits.size(), 3);
    QCOMPARE(visits[0].site, QString("A"));
    QCOMPARE(visits[0].index, 0);
    QCOMPARE(visits[0].riverKm, 300);
    QCOMPARE(visits[0].detected, 0);
    QVERIFY(!visits[0].first.isValid());
    QVERIFY(!visits[0].last.isValid());
    QCOMPARE(visits[1].site, QString("B"));
    QCOMPARE(visits[1].index, 1);
    QCOMPARE(visits[1].riverKm, 0);
    QCOMPARE(visits[1].detected, 1);
    QCOMPARE(visits[1].first, T0);
    QCOMPARE(visits[1].last, T0.addSecs(60));
    QCOMPARE(visits[2].index, 2);
    QCOMPARE(visits[2].riverKm, 100);
    QCOMPARE(visits[2].detected, 0);

    QVERIFY(Probe({}, {}).buildSiteVisits(detections).isEmpty());
}

void TestFishProcessor::captureCodes_data()
{
    QTest::addColumn<QList<int>>("kms");
    QTest::addColumn<QStringList>("windows");
    QTest::addColumn<int>("removalKm");
    QTest::addColumn<QString>("codes"); // empty: the fish is dropped

    const QStringList none = {"", "", "", ""};

    QTest::newRow("never detected") << FourSites << none << -1 << "0000";
    QTest::newRow("river order") << FourSites << InOrder << -1 << "1111";
    QTest::newRow("overlapping, not nested")
        << FourSites << QStringList{"100-500", "300-700", "800-900", ""} << -1 << "1110";

    // Detection order.
    QTest::newRow("A: current inside previous")
        << FourSites << QStringList{"100-900", "300-400", "500-600", "700-800"} << -1 << "1200";
    QTest::newRow("B: previous inside current")
        << FourSites << QStringList{"300-400", "100-900", "1000-1100", "1200-1300"} << -1 << "0200";
    QTest::newRow("C: current before previous")
        << FourSites << QStringList{"500-600", "100-200", "1000-1100", "1200-1300"} << -1 << "0200";
    QTest::newRow("A further down")
        << FourSites << QStringList{"100-200", "300-900", "400-500", "1000-1100"} << -1 << "1120";
    QTest::newRow("undetected site between")
        << FourSites << QStringList{"100-900", "", "300-400", "1000-1100"} << -1 << "1020";
    QTest::newRow("no last time: kept, not compared")
        << FourSites << QStringList{"100-900", "300-", "400-500", ""} << -1 << "1120";
    QTest::newRow("single detection never nests")
        << FourSites << QStringList{"100-900", "300-300", "", ""} << -1 << "1100";
    QTest::newRow("shared start is not nested")
        << FourSites << QStringList{"100-900", "100-400", "", ""} << -1 << "1100";
    QTest::newRow("shared start, current longer")
        << FourSites << QStringList{"100-400", "100-900", "", ""} << -1 << "1100";
    QTest::newRow("current ends as previous starts")
        << FourSites << QStringList{"500-600", "100-500", "", ""} << -1 << "1100";
    QTest::newRow("shared end is not nested")
        << FourSites << QStringList{"100-900", "300-900", "", ""} << -1 << "1100";

    // A pattern at the last site codes it 1.
    QTest::newRow("A at last site")
        << FourSites << QStringList{"100-200", "300-400", "500-600", "520-580"} << -1 << "1111";
    QTest::newRow("B at last site")
        << FourSites << QStringList{"100-200", "300-400", "500-600", "400-700"} << -1 << "1101";
    QTest::newRow("C at last site")
        << FourSites << QStringList{"100-200", "300-400", "500-600", "420-450"} << -1 << "1101";
    QTest::newRow("B at last site, gap before")
        << FourSites << QStringList{"300-400", "", "", "100-900"} << -1 << "0001";

    // Sites within 1 km of each other are not compared.
    const QStringList nested = {"100-900", "300-400", "", ""};
    QTest::newRow("1 km apart") << QList<int>{400, 399, 300, 200} << nested << -1 << "1100";
    QTest::newRow("same km") << QList<int>{400, 400, 300, 200} << nested << -1 << "1100";
    QTest::newRow("2 km apart") << QList<int>{400, 398, 300, 200} << nested << -1 << "1200";
    QTest::newRow("2 km the other way") << QList<int>{398, 400, 300, 200} << nested << -1 << "1200";

    // Removal.
    QTest::newRow("removal above first site") << FourSites << InOrder << 401 << "";
    QTest::newRow("removal above first site, never detected") << FourSites << none << 450 << "";
    QTest::newRow("removal at first site") << FourSites << InOrder << 400 << "2000";
    QTest::newRow("removal between sites") << FourSites << InOrder << 250 << "1200";
    QTest::newRow("removal between, seen further up")
        << FourSites << QStringList{"100-200", "", "500-600", ""} << 250 << "2000";
    QTest::newRow("removal at last site") << FourSites << InOrder << 100 << "1111";
    QTest::newRow("removal below last site") << FourSites << InOrder << 50 << "1111";
    QTest::newRow("removal at last site, not seen there")
        << FourSites << QStringList{"100-200", "300-400", "500-600", ""} << 100 << "1120";
    QTest::newRow("removed, never detected") << FourSites << none << 250 << "0000";

    // Removal stops the detection-order rule at the first site above the removal.
    QTest::newRow("removal stops order rule (B)")
        << FourSites << QStringList{"300-400", "100-900", "", ""} << 250 << "1200";
    QTest::newRow("removal stops order rule before later pattern")
        << FourSites << QStringList{"100-200", "300-400", "500-600", "520-580"} << 250 << "1200";
    QTest::newRow("pattern at or below removal wins")
        << FourSites << QStringList{"100-200", "300-400", "350-360", ""} << 300 << "1120";

    // No sites: nothing to write, and no first site to look at.
    QTest::newRow("no sites") << QList<int>{} << QStringList{} << -1 << "";
    QTest::newRow("no sites, removed") << QList<int>{} << QStringList{} << 250 << "";
}

void TestFishProcessor::captureCodes()
{
    QFETCH(QList<int>, kms);
    QFETCH(QStringList, windows);
    QFETCH(int, removalKm);
    QFETCH(QString, codes);

    const Probe probe(siteNames(kms.size()), kmMap(kms));
    const QList<SiteVisit> visits = probe.buildSiteVisits(detectionsOf(windows));
    QCOMPARE(digits(FishProcessor::computeCaptureCodes(visits, removalKm, 2)), codes);
}

void TestFishProcessor::firstSiteCutoff_data()
{
    QTest::addColumn<QDateTime>("cutoff");
    QTest::addColumn<QStringList>("windows");
    QTest::addColumn<int>("removalKm");
    QTest::addColumn<bool>("kept");

    const QStringList seenFirst = {"100-200", "300-400", "", ""};
    QTest::newRow("no cutoff") << QDateTime() << seenFirst << -1 << true;
    QTest::newRow("left first site after cutoff") << T0.addSecs(199) << seenFirst << -1 << false;
    QTest::newRow("left first site at cutoff") << T0.addSecs(200) << seenFirst << -1 << true;
    QTest::newRow("left first site before cutoff") << T0.addSecs(300) << seenFirst << -1 << true;
    QTest::newRow("first site not seen, later ones after cutoff")
        << T0.addSecs(50) << QStringList{"", "300-400", "500-600", ""} << -1 << true;
    QTest::newRow("first site without last time")
        << T0.addSecs(50) << QStringList{"100-", "", "", ""} << -1 << true;
    QTest::newRow("first site after cutoff, nested below")
        << T0.addSecs(150) << QStringList{"100-900", "300-400", "", ""} << -1 << false;
    QTest::newRow("removed above first site") << QDateTime() << seenFirst << 401 << false;
}

// The cutoff test on the first site's detections and the removal drop, as every processor
// applies them; the check on the capture code comes on top for the writers.
void TestFishProcessor::firstSiteCutoff()
{
    QFETCH(QDateTime, cutoff);
    QFETCH(QStringList, windows);
    QFETCH(int, removalKm);
    QFETCH(bool, kept);

    Probe probe(siteNames(4), kmMap(FourSites));
    probe.setCutoff(cutoff);
    CaptureRow fish;
    fish.tagCode = "G7000001";
    fish.removalRiverKm = removalKm;
    const DetectionMap detections = detectionsOf(windows);
    QCOMPARE(probe.keeps(fish, detections, false), kept);
    QCOMPARE(probe.keeps(fish, detections, true), kept);
}

void TestFishProcessor::codeCutoff_data()
{
    QTest::addColumn<QDateTime>("cutoff");
    QTest::addColumn<QString>("codes");
    QTest::addColumn<QString>("firstWindow");
    QTest::addColumn<bool>("excluded");

    QTest::newRow("code 1, later than cutoff") << T0.addSecs(150) << "1100"
                                               << "100-200" << true;
    QTest::newRow("code 1, at cutoff") << T0.addSecs(200) << "1100"
                                       << "100-200" << false;
    QTest::newRow("code 2 is not checked") << T0.addSecs(150) << "2000"
                                           << "100-200" << false;
    QTest::newRow("code 0 is not checked") << T0.addSecs(150) << "0100"
                                           << "100-200" << false;
    QTest::newRow("no last time") << T0.addSecs(150) << "1100"
                                  << "100-" << false;
    // Without a cutoff nothing is excluded, even far in the future.
    QTest::newRow("no cutoff, detection in 2200") << QDateTime() << "1100"
                                                  << "6000000000-6000000100" << false;
}

void TestFishProcessor::codeCutoff()
{
    QFETCH(QDateTime, cutoff);
    QFETCH(QString, codes);
    QFETCH(QString, firstWindow);
    QFETCH(bool, excluded);

    Probe probe(siteNames(4), kmMap(FourSites));
    probe.setCutoff(cutoff);
    QVector<int> codeVector;
    for (const QChar c : codes)
        codeVector.append(c.digitValue());
    const QList<SiteVisit> visits =
        probe.buildSiteVisits(detectionsOf({firstWindow, "300-400", "", ""}));
    QCOMPARE(probe.cutoffExcludesCodes(codeVector, visits), excluded);
}

QTEST_GUILESS_MAIN(TestFishProcessor)
#include "tst_fishprocessor.moc"
