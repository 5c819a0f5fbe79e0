#include "processing/CategoryCountsProcessor.h"
#include "processing/HistDataProcessor.h"
#include "simulation/FalseEventsCounter.h"
#include "simulation/FalseEventsProcessor.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

using namespace kd;

namespace {

QDateTime at(int day, int hour)
{
    return QDateTime(QDate(2021, 4, day), QTime(hour, 0), Qt::UTC);
}

CaptureRow row(const QString& tag, const QString& site, int firstDay, int lastDay,
               const QString& release = QStringLiteral("R"))
{
    CaptureRow r;
    r.releaseName = release;
    r.tagCode = tag;
    r.lot = 3;
    r.siteName = site;
    if (!site.isEmpty()) {
        r.firstDetection = at(firstDay, 10);
        r.lastDetection = at(lastDay, 12);
    }
    return r;
}

FalseEvent falseEvent(const QString& site, const QString& tag, const QDateTime& time)
{
    FalseEvent e;
    e.valid = true;
    e.site = site;
    e.tagCode = tag;
    e.first = time;
    return e;
}

// "tag@site first-last" per row, first and last as day numbers.
QStringList describe(const QList<CaptureRow>& rows)
{
    QStringList lines;
    for (const CaptureRow& r : rows) {
        lines.append(
            QStringLiteral("%1@%2 %3-%4")
                .arg(r.tagCode, r.siteName,
                     r.firstDetection.isValid() ? r.firstDetection.toString(QStringLiteral("d.h"))
                                                : QString(),
                     r.lastDetection.isValid() ? r.lastDetection.toString(QStringLiteral("d.h"))
                                               : QString()));
    }
    return lines;
}

const QStringList Sites = {QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C"),
                           QStringLiteral("D")};
const QMap<QString, int> SiteKm = {{QStringLiteral("A"), 100},
                                   {QStringLiteral("B"), 50},
                                   {QStringLiteral("C"), 10},
                                   {QStringLiteral("D"), 5}};

} // namespace

class TestFalseEventsCounter : public QObject
{
    Q_OBJECT

private slots:
    void injection_data();
    void injection();
    void deltaCountsMatchFullRecount();
    void loadFalseEvents();
    void categoryTable_data();
    void categoryTable();
};

void TestFalseEventsCounter::injection_data()
{
    QTest::addColumn<QList<FalseEvent>>("events");
    QTest::addColumn<QStringList>("expected");

    const QString t1 = QStringLiteral("G70000001");
    const QString t2 = QStringLiteral("G70000002");
    QTest::newRow("earlier widens first")
        << QList<FalseEvent>{falseEvent(QStringLiteral("B"), t1, at(4, 1))}
        << QStringList{"G70000001@A 3.10-3.12", "G70000001@B 4.1-5.12", "G70000001@D 8.10-8.12",
                       "G70000002@ -"};
    QTest::newRow("later widens last")
        << QList<FalseEvent>{falseEvent(QStringLiteral("B"), t1, at(6, 1))}
        << QStringList{"G70000001@A 3.10-3.12", "G70000001@B 5.10-6.1", "G70000001@D 8.10-8.12",
                       "G70000002@ -"};
    QTest::newRow("inside the window changes nothing")
        << QList<FalseEvent>{falseEvent(QStringLiteral("B"), t1, at(5, 11))}
        << QStringList{"G70000001@A 3.10-3.12", "G70000001@B 5.10-5.12", "G70000001@D 8.10-8.12",
                       "G70000002@ -"};
    QTest::newRow("new site in site order")
        << QList<FalseEvent>{falseEvent(QStringLiteral("C"), t1, at(7, 1))}
        << QStringList{"G70000001@A 3.10-3.12", "G70000001@B 5.10-5.12", "G70000001@C 7.1-7.1",
                       "G70000001@D 8.10-8.12", "G70000002@ -"};
    QTest::newRow("never detected fish")
        << QList<FalseEvent>{falseEvent(QStringLiteral("D"), t2, at(9, 1)),
                             falseEvent(QStringLiteral("A"), t2, at(2, 1))}
        << QStringList{"G70000001@A 3.10-3.12", "G70000001@B 5.10-5.12", "G70000001@D 8.10-8.12",
                       "G70000002@A 2.1-2.1", "G70000002@D 9.1-9.1"};
}

void TestFalseEventsCounter::injection()
{
    QFETCH(QList<FalseEvent>, events);
    QFETCH(QStringList, expected);
    const QList<CaptureRow> rows = {
        row(QStringLiteral("G70000001"), QStringLiteral("A"), 3, 3),
        row(QStringLiteral("G70000001"), QStringLiteral("B"), 5, 5),
        row(QStringLiteral("G70000001"), QStringLiteral("D"), 8, 8),
        row(QStringLiteral("G70000002"), QString(), 0, 0),
    };
    const QList<CaptureRow> result = FalseEventsCounter::injectFalseEvents(
        rows, events, Sites, FalseEventsCounter::tagTemplates(rows));
    QCOMPARE(describe(result), expected);
    // New rows carry the fish's own attributes.
    for (const CaptureRow& r : result)
        QCOMPARE(r.lot, 3);
}

void TestFalseEventsCounter::deltaCountsMatchFullRecount()
{
    // Counting only the touched fish must give what a recount of the whole run gives.
    QRandomGenerator random(20211);
    QList<CaptureRow> rows;
    QStringList tags;
    for (int fish = 0; fish < 300; ++fish) {
        const QString tag = QStringLiteral("G7%1").arg(fish, 7, 16, QLatin1Char('0'));
        tags.append(tag);
        const QString release = QStringLiteral("R%1").arg(fish % 3);
        const int removal = random.bounded(6) == 0 ? int(random.bounded(120)) : -1;
        QList<CaptureRow> fishRows;
        int day = 2;
        for (const QString& site : Sites) {
            day += int(random.bounded(3));
            if (random.bounded(3) != 0) {
                CaptureRow r = row(tag, site, day, day + int(random.bounded(3)), release);
                if (random.bounded(8) == 0) // windows in the wrong order now and then
                    r.firstDetection = r.firstDetection.addDays(-4);
                r.removalRiverKm = removal;
                fishRows.append(r);
            }
        }
        if (fishRows.isEmpty()) {
            fishRows.append(row(tag, QString(), 0, 0, release));
            fishRows.first().removalRiverKm = removal;
        }
        rows.append(fishRows);
    }
    const QDateTime cutoff = at(20, 0);
    const FalseEventsCounter counter(rows, Sites, SiteKm, cutoff);
    const auto templates = FalseEventsCounter::tagTemplates(rows);

    const auto recount = [&](const QList<CaptureRow>& all) {
        CategoryCountsProcessor processor(Sites, SiteKm);
        processor.setCutoff(cutoff);
        HistDataProcessor histories(all);
        histories.addProcessor(&processor);
        histories.processRows();
        return processor.counts();
    };
    QCOMPARE(counter.baseline(), recount(rows));

    for (int set = 0; set < 40; ++set) {
        QList<FalseEvent> events;
        const int size = int(random.bounded(1, 30));
        for (int i = 0; i < size; ++i) {
            const QString site =
                set == 7 && i == 3 ? QStringLiteral("Z") : Sites[random.bounded(4)];
            const QString tag = random.bounded(20) == 0 ? QStringLiteral("G7FFFFFFF")
                                                        : tags[random.bounded(tags.size())];
            events.append(
                falseEvent(site, tag, at(int(random.bounded(1, 25)), int(random.bounded(24)))));
        }
        const auto expected =
            recount(FalseEventsCounter::injectFalseEvents(rows, events, Sites, templates));
        QCOMPARE(counter.countsWith(events), expected);
    }
}

void TestFalseEventsCounter::loadFalseEvents()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("false.csv"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("set,site,tag_code,first,last,value\r\n"
               "b,S1,G70000001,2021-04-08 10:00:00,2021-04-08 10:00:00,5\r\n"
               "a,S2,G7xX0000a,2021-04-08,2021-04-08 10:00:00,x\r\n"
               "\r\n"
               "b,S1,G7000000,2021-04-08 10:00:00,2021-04-08 10:00:00,5\r\n"
               "b,S3,G70000002,2021-04-09 10:00:00,2021-04-09 11:00:00,1\r\n"
               "c,S3,G70000002,2021-04-09 10:00:00,2021-04-09 11:00:00\r\n");
    file.close();
    FalseEventsProcessor processor(nullptr, nullptr, nullptr);
    const FalseEventSets sets = processor.loadFalseEventsFile(path);
    QCOMPARE(sets.keys(), QStringList({QStringLiteral("a"), QStringLiteral("b")}));
    QCOMPARE(sets[QStringLiteral("b")].size(), 2);
    QCOMPARE(sets[QStringLiteral("b")][1].site, QStringLiteral("S3"));
    QCOMPARE(sets[QStringLiteral("b")][1].first,
             QDateTime(QDate(2021, 4, 9), QTime(10, 0), Qt::UTC));
    const FalseEvent odd = sets.value(QStringLiteral("a")).first();
    QVERIFY(odd.valid);
    QVERIFY(!odd.first.isValid()); // kept, with an unreadable time
    QVERIFY(processor.loadFalseEventsFile(dir.filePath(QStringLiteral("none.csv"))).isEmpty());

    // A folder gives one set per plain file, named by the file, with lines of five fields.
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("sub")));
    QFile(path).rename(dir.filePath(QStringLiteral("sub/rep2.txt")));
    QFile five(dir.filePath(QStringLiteral("sub/rep1.txt")));
    QVERIFY(five.open(QIODevice::WriteOnly));
    five.write("S1,G70000001,2021-04-08 10:00:00,2021-04-08 10:00:00,1\n");
    five.close();
    const FalseEventSets fromDir =
        processor.loadFalseEventsDir(dir.filePath(QStringLiteral("sub")));
    QCOMPARE(fromDir.keys(), QStringList({QStringLiteral("rep1.txt"), QStringLiteral("rep2.txt")}));
    QCOMPARE(fromDir.value(QStringLiteral("rep1.txt")).first().site, QStringLiteral("S1"));
    QVERIFY(fromDir.value(QStringLiteral("rep2.txt")).isEmpty()); // six fields are not five
    QVERIFY(processor.loadFalseEventsDir(dir.filePath(QStringLiteral("missing"))).isEmpty());
}

void TestFalseEventsCounter::categoryTable_data()
{
    QTest::addColumn<QStringList>("releases");
    QTest::addColumn<QString>("line");
    // First 1111 for every release, 0101 / 0201 ("0?01") for some.
    QTest::newRow("three releases")
        << QStringList{"A", "B", "C"}
        << QStringLiteral("Baseline,1,0,0,0,0,0,0,0,0,0,0,0,5,0,0,0,0,7,0,0,0");
    QTest::newRow("five releases")
        << QStringList{"A", "B", "X", "C", "A"}
        << QStringLiteral("Baseline,1,0,0,0,0,0,0,0,0,0,0,0,7,0,0,0,0,0,0,0,0");
}

void TestFalseEventsCounter::categoryTable()
{
    QFETCH(QStringList, releases);
    QFETCH(QString, line);
    FalseEventsProcessor::Counts counts;
    counts[QStringLiteral("A")][QStringLiteral("1111")] = 1;
    counts[QStringLiteral("B")][QStringLiteral("0101")] = 2;
    counts[QStringLiteral("B")][QStringLiteral("0201")] = 3;
    counts[QStringLiteral("C")][QStringLiteral("0001")] = 7;
    counts[QStringLiteral("C")][QStringLiteral("00001")] = 9; // five sites: matches nothing
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("t.csv"));
    FalseEventsProcessor processor(nullptr, nullptr, nullptr);
    processor.writeCategoryTable(path, {{QStringLiteral("Baseline"), counts}}, releases);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(file.readAll()),
             QStringLiteral("replicate,V1_111,V1_011,V1_101,V1_001,V1_120,V1_020,V1_110,V1_010,"
                            "V1_200,V1_100,V1_000,R2_11,R2_01,R2_20,R2_10,R2_00,R3_11,R3_01,R3_20,"
                            "R3_10,R3_00\n") +
                 line + QLatin1Char('\n'));
}

QTEST_GUILESS_MAIN(TestFalseEventsCounter)
#include "tst_falseeventscounter.moc"
