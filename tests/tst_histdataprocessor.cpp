#include "processing/FishProcessor.h"
#include "processing/HistDataProcessor.h"

#include <QTest>

using namespace kd;

namespace {

const QDateTime T0(QDate(2011, 5, 1), QTime(0, 0), Qt::UTC);

// Writes each call it receives to a log: "release/tag lot N site=first..last ...".
class Recorder : public FishProcessor
{
public:
    Recorder() : FishProcessor({}, {}) {}
    void start() override { log.append("start"); }
    void finish() override { log.append("finish"); }
    void processFish(const CaptureRow& fish, const DetectionMap& detections) override
    {
        const auto at = [](const QDateTime& t) {
            return t.isValid() ? QString::number(T0.secsTo(t)) : "-";
        };
        QString entry =
            QStringLiteral("%1/%2 lot %3").arg(fish.releaseName, fish.tagCode).arg(fish.lot);
        for (auto it = detections.cbegin(); it != detections.cend(); ++it)
            entry += QStringLiteral(" %1=%2..%3").arg(it.key(), at(it->first), at(it->second));
        log.append(entry);
    }
    QStringList log;
};

} // namespace

class TestHistDataProcessor : public QObject
{
    Q_OBJECT

private slots:
    void grouping_data();
    void grouping();
};

void TestHistDataProcessor::grouping_data()
{
    // Rows "release,tag,lot,site,first,last" with times in seconds after T0 (empty: unset),
    // and the fish the processors get; both separated by ';'.
    QTest::addColumn<QString>("rows");
    QTest::addColumn<QString>("fish");

    const auto row = [](const char* name, const char* rows, const char* fish) {
        QTest::newRow(name) << QString(rows) << QString(fish);
    };
    row("no rows", "", "");
    row("one fish, described by its first row",
        "R1,T1,4,Up,10,20;R1,T1,5,Mid,30,40;R1,T1,6,Low,50,",
        "R1/T1 lot 4 Low=50..- Mid=30..40 Up=10..20");
    row("same tag in next release is the same fish", "R1,T1,1,Up,10,20;R2,T1,9,Low,30,40",
        "R1/T1 lot 1 Low=30..40 Up=10..20");
    row("same tag apart, or in other case, is another fish",
        "R1,T1,1,Up,10,20;R1,t1,2,Up,30,40;R1,T1,3,Low,50,60",
        "R1/T1 lot 1 Up=10..20;R1/t1 lot 2 Up=30..40;R1/T1 lot 3 Low=50..60");
    row("later row of a site replaces it", "R1,T1,1,Up,10,20;R1,T1,1,Up,30,40",
        "R1/T1 lot 1 Up=30..40");
    row("rows without tag code are no fish", "R1,,1,Up,10,20;R1,T1,2,Low,30,40;R1,,3,Mid,50,60",
        "R1/T1 lot 2 Low=30..40");
}

void TestHistDataProcessor::grouping()
{
    QFETCH(QString, rows);
    QFETCH(QString, fish);

    const auto time = [](const QString& secs) {
        return secs.isEmpty() ? QDateTime() : T0.addSecs(secs.toInt());
    };
    QList<CaptureRow> captureRows;
    for (const QString& line : rows.split(u';', Qt::SkipEmptyParts)) {
        const QStringList f = line.split(u',');
        CaptureRow& row = captureRows.emplace_back();
        row.releaseName = f[0];
        row.tagCode = f[1];
        row.lot = f[2].toInt();
        row.siteName = f[3];
        row.firstDetection = time(f[4]);
        row.lastDetection = time(f[5]);
    }
    Recorder recorder;
    HistDataProcessor hist(captureRows);
    hist.addProcessor(&recorder);
    hist.processRows();
    QCOMPARE(recorder.log,
             QStringList{"start"} + fish.split(u';', Qt::SkipEmptyParts) + QStringList{"finish"});
}

QTEST_GUILESS_MAIN(TestHistDataProcessor)
#include "tst_histdataprocessor.moc"
