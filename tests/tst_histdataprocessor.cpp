#include "processing/FishProcessor.h"
#include "processing/HistDataProcessor.h"

#include <QTest>

using kd::CaptureRow;
using kd::DetectionMap;
using kd::FishProcessor;
using kd::HistDataProcessor;

namespace {

const QDateTime T0(QDate(2011, 5, 1), QTime(0, 0), Qt::UTC);

QString offset(const QDateTime& time)
{
    return time.isValid() ? QString::number(T0.secsTo(time)) : QStringLiteral("-");
}

// Writes each call it receives to a shared log.
class Recorder : public FishProcessor
{
public:
    Recorder(const QString& name, QStringList* log) : FishProcessor({}, {}), name_(name), log_(log)
    {
    }

    void start() override { log_->append(name_ + " start"); }
    void finish() override { log_->append(name_ + " finish"); }
    void processFish(const CaptureRow& fish, const DetectionMap& detections) override
    {
        QString entry = QStringLiteral("%1 %2/%3 lot %4")
                            .arg(name_, fish.releaseName, fish.tagCode)
                            .arg(fish.lot);
        for (auto it = detections.cbegin(); it != detections.cend(); ++it)
            entry +=
                QStringLiteral(" %1=%2..%3").arg(it.key(), offset(it->first), offset(it->second));
        log_->append(entry);
    }

private:
    QString name_;
    QStringList* log_;
};

// "release,tag,lot,site,first,last" with times in seconds after T0; empty fields stay unset.
QList<CaptureRow> rowsOf(const QStringList& lines)
{
    QList<CaptureRow> rows;
    for (const QString& line : lines) {
        const QStringList f = line.split(u',');
        CaptureRow row;
        row.releaseName = f[0];
        row.tagCode = f[1];
        row.lot = f[2].toInt();
        row.siteName = f[3];
        if (!f[4].isEmpty())
            row.firstDetection = T0.addSecs(f[4].toInt());
        if (!f[5].isEmpty())
            row.lastDetection = T0.addSecs(f[5].toInt());
        rows.append(row);
    }
    return rows;
}

} // namespace

class TestHistDataProcessor : public QObject
{
    Q_OBJECT

private slots:
    void grouping_data();
    void grouping();
    void processorsInOrder();
};

void TestHistDataProcessor::grouping_data()
{
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QStringList>("fish");

    QTest::newRow("no rows") << QStringList{} << QStringList{};
    QTest::newRow("one fish, three sites")
        << QStringList{"R1,T1,4,Up,10,20", "R1,T1,5,Mid,30,40", "R1,T1,6,Low,50,60"}
        << QStringList{"p R1/T1 lot 4 Low=50..60 Mid=30..40 Up=10..20"};
    QTest::newRow("two fish") << QStringList{"R1,T1,1,Up,10,20", "R1,T2,2,Up,30,40",
                                             "R1,T2,2,Low,50,60"}
                              << QStringList{"p R1/T1 lot 1 Up=10..20",
                                             "p R1/T2 lot 2 Low=50..60 Up=30..40"};
    QTest::newRow("never detected")
        << QStringList{"R1,T1,1,,,"} << QStringList{"p R1/T1 lot 1 =-..-"};
    QTest::newRow("same tag in next release is the same fish")
        << QStringList{"R1,T1,1,Up,10,20", "R2,T1,9,Low,30,40"}
        << QStringList{"p R1/T1 lot 1 Low=30..40 Up=10..20"};
    QTest::newRow("same tag apart is two fish")
        << QStringList{"R1,T1,1,Up,10,20", "R1,T2,2,Up,30,40", "R1,T1,3,Low,50,60"}
        << QStringList{"p R1/T1 lot 1 Up=10..20", "p R1/T2 lot 2 Up=30..40",
                       "p R1/T1 lot 3 Low=50..60"};
    QTest::newRow("tag codes are case-sensitive")
        << QStringList{"R1,T1,1,Up,10,20", "R1,t1,2,Up,30,40"}
        << QStringList{"p R1/T1 lot 1 Up=10..20", "p R1/t1 lot 2 Up=30..40"};
    QTest::newRow("later row of a site replaces it")
        << QStringList{"R1,T1,1,Up,10,20", "R1,T1,1,Up,30,40"}
        << QStringList{"p R1/T1 lot 1 Up=30..40"};
    QTest::newRow("rows without tag code are no fish")
        << QStringList{"R1,,1,Up,10,20", "R1,T1,2,Low,30,40", "R1,,3,Mid,50,60"}
        << QStringList{"p R1/T1 lot 2 Low=30..40"};
}

void TestHistDataProcessor::grouping()
{
    QFETCH(QStringList, rows);
    QFETCH(QStringList, fish);

    QStringList log;
    Recorder recorder("p", &log);
    HistDataProcessor hist(rowsOf(rows));
    hist.addProcessor(&recorder);
    QVERIFY(hist.processRows());

    const QStringList expected = QStringList{"p start"} + fish + QStringList{"p finish"};
    QCOMPARE(log, expected);
}

void TestHistDataProcessor::processorsInOrder()
{
    QStringList log;
    Recorder a("a", &log);
    Recorder b("b", &log);
    HistDataProcessor hist;
    hist.setRows(rowsOf({"R1,T1,1,Up,10,20", "R1,T2,2,,,"}));
    hist.addProcessor(&a);
    hist.addProcessor(&b);
    QVERIFY(hist.processRows());
    QCOMPARE(log, QStringList({"a start", "b start", "a R1/T1 lot 1 Up=10..20",
                               "b R1/T1 lot 1 Up=10..20", "a R1/T2 lot 2 =-..-",
                               "b R1/T2 lot 2 =-..-", "a finish", "b finish"}));

    // A second pass starts afresh.
    log.clear();
    hist.setRows({});
    QVERIFY(hist.processRows());
    QCOMPARE(log, QStringList({"a start", "b start", "a finish", "b finish"}));
}

QTEST_GUILESS_MAIN(TestHistDataProcessor)
#include "tst_histdataprocessor.moc"
