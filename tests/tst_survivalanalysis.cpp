#include "SurvivalTestStudy.h"
#include "survival/SurvivalAnalysis.h"

#include <QTest>

using namespace kd;

class TestSurvivalAnalysis : public QObject
{
    Q_OBJECT

private slots:
    void history_data();
    void history();
    void releasesAndWarnings();
    void fitWarnings_data();
    void fitWarnings();
    void deadSiteAndSharedCodes();
};

void TestSurvivalAnalysis::history_data()
{
    QTest::addColumn<QVector<int>>("codes");
    QTest::addColumn<int>("sites");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<bool>("removed");

    QTest::newRow("never detected") << QVector<int>{0, 0, 0} << 3 << "1000" << false;
    QTest::newRow("a 2 is a detection and a removal")
        << QVector<int>{1, 2, 0} << 3 << "1110" << true;
    QTest::newRow("nothing after a removal") << QVector<int>{2, 1, 1} << 3 << "1100" << true;
    QTest::newRow("removed at the last site") << QVector<int>{0, 0, 2} << 3 << "1001" << true;
    QTest::newRow("missing codes read 0") << QVector<int>{1} << 3 << "1100" << false;
    QTest::newRow("other codes read 0") << QVector<int>{3, -1, 1} << 3 << "1001" << false;
    QTest::newRow("no sites") << QVector<int>{1} << 0 << "1" << false;
}

void TestSurvivalAnalysis::history()
{
    QFETCH(QVector<int>, codes);
    QFETCH(int, sites);
    QFETCH(QString, expected);
    QFETCH(bool, removed);

    bool gotRemoved = !removed;
    QCOMPARE(SurvivalAnalysis::history(codes, sites, &gotRemoved), expected);
    QCOMPARE(gotRemoved, removed);
}

void TestSurvivalAnalysis::releasesAndWarnings()
{
    const SurvivalResult result = SurvivalAnalysis::analyse(survivalTestStudy());

    QStringList order;
    for (const SurvivalReleaseResult& release : result.releases)
        order.append(QStringLiteral("%1@%2:%3/%4/%5")
                         .arg(release.name)
                         .arg(release.riverKm)
                         .arg(release.fish)
                         .arg(release.removed)
                         .arg(release.estimated));
    QCOMPARE(order, QStringList({"Spring@350:8/1/1", "Summer, late@250:4/0/1", "Dry@400:2/0/0"}));
    QCOMPARE(result.releases[0].detected, QVector<int>({6, 4, 2}));
    QCOMPARE(result.releases[1].detected, QVector<int>({4, 3, 2}));
    QCOMPARE(result.histories.size(), 14);
    QCOMPARE(result.histories[4].history, QStringLiteral("1110"));
    QVERIFY(result.histories[4].removed);

    QCOMPARE(result.warnings,
             QStringList(
                 // Four of four seen at Upper: the profile interval of a binomial at its
                 // bound, from exp(-3.8415 / 8) = 0.618667 to 1.
                 {"***Warning: Survival \"\", release Spring: p Upper (1.000000, 95% interval "
                  "0.618667 to 1.000000), p Middle (1.000000, 95% interval 0.470057 to "
                  "1.000000) are at a bound of 0 or 1: the data cannot place them inside, so "
                  "they have no standard error; each interval is the set of values the profile "
                  "likelihood does not reject.",
                  "***Warning: Survival \"\", release Summer, late: site Upper (river kilometre "
                  "300) lies above the release point (river kilometre 250); its fish cannot pass "
                  "it on their way down.",
                  "***Warning: Survival \"\", release Summer, late: only 4 of its fish were "
                  "detected at any site; the estimates rest on too few fish to be trusted.",
                  "***Warning: Survival \"\", release Summer, late: phi Summer, late to Upper "
                  "(1.000000, 95% interval 0.618667 to 1.000000), p Upper (1.000000, 95% "
                  "interval 0.618667 to 1.000000), p Middle (1.000000, 95% interval 0.392003 to "
                  "1.000000) are at a bound of 0 or 1: the data cannot place them inside, so "
                  "they have no standard error; each interval is the set of values the profile "
                  "likelihood does not reject.",
                  "***Warning: release \"Dry\": no fish was detected at any site; it has no "
                  "estimates."}));
    const CjsFit& spring = result.releases[0].fit;
    QVERIFY(spring.hasIntervals());
    QCOMPARE(spring.cumulativeSurvival.size(), size_t(2));
    QVERIFY(std::abs(spring.cumulativeSurvival[1].value - 0.75 * 4 / 6.0) < 1e-9);
}

void TestSurvivalAnalysis::fitWarnings_data()
{
    QTest::addColumn<int>("maxIterations");
    QTest::addColumn<QVector<int>>("extraCodes");
    QTest::addColumn<QString>("expected");

    // Every p of Spring sits at 1, which takes Newton's method a few steps.
    QTest::newRow("no convergence") << 1 << QVector<int>()
                                    << "***Warning: release \"Spring\": the fit did not converge; "
                                       "no standard errors or intervals.";
    // A third release seen only at the first site: its survival to that site cannot be told
    // from the detection there.
    QTest::newRow("seen at the first site only")
        << 100 << QVector<int>{1, 0, 0}
        << "***Warning: Survival \"\", release Autumn: phi Autumn to Upper cannot be estimated "
           "from these data; it is left empty.";
}

void TestSurvivalAnalysis::fitWarnings()
{
    QFETCH(int, maxIterations);
    QFETCH(QVector<int>, extraCodes);
    QFETCH(QString, expected);

    SurvivalStudy study = survivalTestStudy();
    if (!extraCodes.isEmpty()) {
        study.fish.append({"A1", "Autumn", "", "", extraCodes});
        study.fish.append({"A2", "Autumn", "", "", {0, 0, 0}});
    }
    CjsFitter::Options options;
    options.maxIterations = maxIterations;
    const SurvivalResult result = SurvivalAnalysis::analyse(study, options);
    QVERIFY2(result.warnings.contains(expected), qPrintable(result.warnings.join(u'\n')));
    const CjsFit& fit = result.releases[extraCodes.isEmpty() ? 0 : 3].fit;
    QVERIFY(!fit.hasIntervals() || !fit.phi[0].identifiable);
}

void TestSurvivalAnalysis::deadSiteAndSharedCodes()
{
    // A5 detects nothing: survival A4 to A5 and A5 to A6 are reported as one product. X1 is a
    // code in both releases: its fish are left out, where they used to count in both.
    SurvivalStudy study;
    study.title = QStringLiteral("T");
    study.sites = {"A4", "A5", "A6", "A7"};
    study.siteRiverKm = {400, 300, 200, 100};
    study.releases = {{"R", 500}, {"S", 150}};
    const auto add = [&study](const QString& release, int count, QVector<int> codes) {
        for (int i = 0; i < count; ++i)
            study.fish.append({QStringLiteral("%1%2").arg(release).arg(study.fish.size()), release,
                               "", "", codes});
    };
    add("R", 40, {1, 0, 1, 1});
    add("R", 10, {1, 0, 1, 0});
    add("R", 10, {1, 0, 0, 1});
    add("R", 10, {0, 0, 1, 1});
    add("R", 20, {1, 0, 0, 0});
    add("R", 30, {0, 0, 0, 0});
    add("S", 3, {0, 0, 0, 1});
    study.fish.append({"X1", "R", "", "", {1, 0, 1, 1}});
    study.fish.append({"X1", "S", "", "", {0, 0, 0, 1}});

    const SurvivalResult result = SurvivalAnalysis::analyse(study);
    const QStringList expected = {
        "***Warning: Survival \"T\": 1 tag codes are in more than one release; their fish are "
        "left out of the fit and the exports: X1",
        "***Warning: Survival \"T\", release R: no fish was detected at A5.",
        "***Warning: Survival \"T\", release R: phi A4 to A5 and phi A5 to A6 cannot be told "
        "apart (no fish was detected at A5); only their product is estimated",
        "***Warning: Survival \"T\", release S: site A4 (river kilometre 400) lies above the "
        "release point (river kilometre 150); its fish cannot pass it on their way down.",
        "***Warning: Survival \"T\", release S: only 3 of its fish were detected at any site; "
        "the estimates rest on too few fish to be trusted."};
    for (const QString& warning : expected)
        QVERIFY2(result.warnings.contains(warning), qPrintable(result.warnings.join(u'\n')));
    QCOMPARE(result.histories.size(), 123);
    for (const SurvivalHistory& fish : result.histories)
        QVERIFY(fish.tagCode != "X1");
    const CjsFit& fit = result.releases[0].fit;
    QCOMPARE(fit.rows[1].from, 1);
    QCOMPARE(fit.rows[1].to, 3);
    QVERIFY(fit.rows[1].estimate.hasSe() && fit.rows[1].estimate.se < 0.1);
    QVERIFY(!fit.phi[1].identifiable);
}

QTEST_APPLESS_MAIN(TestSurvivalAnalysis)
#include "tst_survivalanalysis.moc"
