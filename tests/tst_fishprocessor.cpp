#include "processing/FishProcessor.h"

#include <QTest>

using namespace kd;

namespace {

const QDateTime T0(QDate(2011, 5, 1), QTime(0, 0), Qt::UTC);
const QList<int> Km4 = {400, 300, 200, 100};

// Sites S0, S1, ... at the given river kilometres; exposes the filter steps and writes nothing.
class Probe : public FishProcessor
{
public:
    explicit Probe(const QList<int>& kms) : FishProcessor(kmMap(kms).keys(), kmMap(kms)) {}
    void processFish(const CaptureRow&, const DetectionMap&) override {}

    bool keeps(int removalKm, const DetectionMap& detections, CutoffChecks checks) const
    {
        CaptureRow fish;
        fish.removalRiverKm = removalKm;
        QList<SiteVisit> visits;
        QVector<int> codes;
        return acceptFish(fish, detections, checks, visits, codes);
    }
    using Checks = CutoffChecks;
    using FishProcessor::cutoffExcludesCodes;

private:
    static QMap<QString, int> kmMap(const QList<int>& kms)
    {
        QMap<QString, int> map; // S0..S9 sort in site order
        for (qsizetype i = 0; i < kms.size(); ++i)
            map.insert(QStringLiteral("S%1").arg(i), kms[i]);
        return map;
    }
};

// One window per site in seconds after T0, blank-separated: "100-200"; "100-" has no last time;
// "." and sites past the end of the text are not seen.
DetectionMap detectionsOf(const QString& windows)
{
    DetectionMap detections;
    const QStringList list = windows.split(u' ', Qt::SkipEmptyParts);
    for (qsizetype i = 0; i < list.size(); ++i) {
        if (list[i] == u".")
            continue;
        const QStringList ends = list[i].split(u'-');
        const QDateTime last =
            ends.value(1).isEmpty() ? QDateTime() : T0.addSecs(ends[1].toLongLong());
        detections.insert(QStringLiteral("S%1").arg(i),
                          qMakePair(T0.addSecs(ends[0].toLongLong()), last));
    }
    return detections;
}

} // namespace

class TestFishProcessor : public QObject
{
    Q_OBJECT

private slots:
    void captureCodes_data();
    void captureCodes();
    void cutoff_data();
    void cutoff();
};

void TestFishProcessor::captureCodes_data()
{
    QTest::addColumn<QList<int>>("kms");
    QTest::addColumn<QString>("windows");
    QTest::addColumn<int>("removalKm");
    QTest::addColumn<QString>("codes"); // empty: the fish is dropped

    const auto row = [](const char* name, const QList<int>& kms, const char* windows, int removalKm,
                        const char* codes) {
        QTest::newRow(name) << kms << QString(windows) << removalKm << QString(codes);
    };
    const char* inOrder = "100-200 300-400 500-600 700-800";
    row("river order", Km4, inOrder, -1, "1111");
    row("overlapping, not nested", Km4, "100-500 300-700 800-900", -1, "1110");

    // Detection order: the history ends at the later of two successive detected sites.
    row("A: current inside previous", Km4, "100-900 300-400 500-600 700-800", -1, "1200");
    row("B: previous inside current", Km4, "300-400 100-900 1000-1100 1200-1300", -1, "0200");
    row("C: current before previous", Km4, "500-600 100-200 1000-1100 1200-1300", -1, "0200");
    row("undetected site between", Km4, "100-900 . 300-400 1000-1100", -1, "1020");
    row("no last time: kept, not compared", Km4, "100-900 300- 400-500", -1, "1120");
    // Every comparison is strict.
    row("single detection never nests", Km4, "100-900 300-300", -1, "1100");
    row("shared start is not nested", Km4, "100-900 100-400", -1, "1100");
    row("shared start, current longer", Km4, "100-400 100-900", -1, "1100");
    row("shared end is not nested", Km4, "100-900 300-900", -1, "1100");
    row("current ends as previous starts", Km4, "500-600 100-500", -1, "1100");

    // A pattern at the last site codes it 1.
    row("A at last site", Km4, "100-200 300-400 500-600 520-580", -1, "1111");
    row("B at last site", Km4, "100-200 300-400 500-600 400-700", -1, "1101");

    // Sites within 1 km of each other are not compared.
    row("1 km apart", {400, 399, 300, 200}, "100-900 300-400", -1, "1100");
    row("2 km apart", {400, 398, 300, 200}, "100-900 300-400", -1, "1200");
    row("2 km the other way", {398, 400, 300, 200}, "100-900 300-400", -1, "1200");

    // Removal.
    row("removal above first site", Km4, inOrder, 401, "");
    row("removal at first site", Km4, inOrder, 400, "2000");
    row("removal between sites", Km4, inOrder, 250, "1200");
    row("removal between, seen further up", Km4, "100-200 . 500-600", 250, "2000");
    row("removal at last site", Km4, inOrder, 100, "1111");
    row("removal at last site, not seen there", Km4, "100-200 300-400 500-600", 100, "1120");
    row("removed, never detected", Km4, "", 250, "0000");
    // Removal stops the detection-order rule at the first site above the removal.
    row("removal stops order rule (B)", Km4, "300-400 100-900", 250, "1200");
    row("pattern at or below removal wins", Km4, "100-200 300-400 350-360", 300, "1120");

    // No sites: nothing to write, and no first site to look at.
    row("no sites, removed", {}, "", 250, "");
}

void TestFishProcessor::captureCodes()
{
    QFETCH(QList<int>, kms);
    QFETCH(QString, windows);
    QFETCH(int, removalKm);
    QFETCH(QString, codes);

    const QList<SiteVisit> visits = Probe(kms).buildSiteVisits(detectionsOf(windows));
    QString digits;
    for (const int code : FishProcessor::computeCaptureCodes(visits, removalKm, 2))
        digits += QString::number(code);
    QCOMPARE(digits, codes);
}

void TestFishProcessor::cutoff_data()
{
    QTest::addColumn<int>("cutoff"); // seconds after T0; -1: no cutoff
    QTest::addColumn<QString>("windows");
    QTest::addColumn<int>("removalKm");
    QTest::addColumn<int>("firstCode"); // -1: the filter on the detections, before the codes
    QTest::addColumn<bool>("kept");

    const auto row = [](const char* name, int cutoff, const char* windows, int removalKm,
                        int firstCode, bool kept) {
        QTest::newRow(name) << cutoff << QString(windows) << removalKm << firstCode << kept;
    };
    // First step, on the first site's detections, with the removal drop; every processor.
    row("no cutoff", -1, "100-200 300-400", -1, -1, true);
    row("left first site after cutoff", 199, "100-200", -1, -1, false);
    row("left first site at cutoff", 200, "100-200", -1, -1, true);
    row("first site not seen, later ones after cutoff", 50, ". 300-400 500-600", -1, -1, true);
    row("first site without last time", 50, "100-", -1, -1, true);
    row("removed above first site", -1, "100-200", 401, -1, false);
    // Second step, on the first site's capture code; the writers only.
    row("code 1, later than cutoff", 150, "100-200", -1, 1, false);
    row("code 1, at cutoff", 200, "100-200", -1, 1, true);
    row("code 2 is not checked", 150, "100-200", -1, 2, true);
    row("code 0 is not checked", 150, "100-200", -1, 0, true);
    row("code 1, no last time", 150, "100-", -1, 1, true);
    row("no cutoff, detection in 2200", -1, "6000000000-6000000100", -1, 1, true);
}

void TestFishProcessor::cutoff()
{
    QFETCH(int, cutoff);
    QFETCH(QString, windows);
    QFETCH(int, removalKm);
    QFETCH(int, firstCode);
    QFETCH(bool, kept);

    Probe probe(Km4);
    probe.setCutoff(cutoff < 0 ? QDateTime() : T0.addSecs(cutoff));
    const DetectionMap detections = detectionsOf(windows);
    if (firstCode < 0) {
        QCOMPARE(probe.keeps(removalKm, detections, Probe::Checks::BeforeCodes), kept);
        QCOMPARE(probe.keeps(removalKm, detections, Probe::Checks::BeforeAndAfterCodes), kept);
    } else {
        const QVector<int> codes = {firstCode, 1, 0, 0};
        QCOMPARE(probe.cutoffExcludesCodes(codes, probe.buildSiteVisits(detections)), !kept);
    }
}

QTEST_GUILESS_MAIN(TestFishProcessor)
#include "tst_fishprocessor.moc"
