#include "processing/FishProcessor.h"
#include "processing/HistDataProcessor.h"
#include "ui/SlicedHistoryRun.h"

#include <QtTest>

using namespace kd;

namespace {

// Writes down every call it gets, with the fish's detections.
class RecordingProcessor : public FishProcessor
{
public:
    RecordingProcessor() : FishProcessor({QStringLiteral("S1")}, {{QStringLiteral("S1"), 10}}) {}

    void start() override { lines_.append(QStringLiteral("start")); }
    void processFish(const CaptureRow& fish, const DetectionMap& detections) override
    {
        QStringList sites = detections.keys();
        lines_.append(QStringLiteral("%1/%2:%3")
                          .arg(fish.releaseName, fish.tagCode, sites.join(QLatin1Char('+'))));
    }
    void finish() override { lines_.append(QStringLiteral("finish")); }
};

CaptureRow row(const QString& release, const QString& tag, const QString& site)
{
    CaptureRow result;
    result.releaseName = release;
    result.tagCode = tag;
    result.siteName = site;
    return result;
}

QList<CaptureRow> rows()
{
    return {row("R1", "A", "S1"), row("R1", "A", "S2"), row("R1", "A", "S3"), row("R1", "B", ""),
            row("R1", "", "S1"),  row("R1", "", "S2"),  row("R2", "C", "S1"), row("R2", "C", "S2"),
            row("R9", "C", "S3"), row("R2", "D", "S1")};
}

QStringList singlePass(const QList<CaptureRow>& input)
{
    RecordingProcessor processor;
    HistDataProcessor histories(input);
    histories.addProcessor(&processor);
    histories.processRows();
    return processor.lines();
}

} // namespace

class TestSlicedHistoryRun : public QObject
{
    Q_OBJECT

private slots:
    void sameCallsAsOnePass_data();
    void sameCallsAsOnePass();
    void cancelStopsBeforeFinish();
};

void TestSlicedHistoryRun::sameCallsAsOnePass_data()
{
    QTest::addColumn<QList<CaptureRow>>("input");
    QTest::addColumn<int>("sliceRows");
    for (int slice : {1, 2, 3, 4, 100}) {
        QTest::addRow("slices of %d", slice) << rows() << slice;
    }
    QTest::newRow("no rows") << QList<CaptureRow>() << 2;
    QTest::newRow("starts without a tag") << rows().mid(4) << 1;
}

void TestSlicedHistoryRun::sameCallsAsOnePass()
{
    QFETCH(QList<CaptureRow>, input);
    QFETCH(int, sliceRows);
    RecordingProcessor processor;
    QList<qint64> progress;
    QVERIFY(SlicedHistoryRun::run(
        input, processor, [&](qint64 done, qint64) { progress.append(done); }, nullptr, sliceRows));
    QCOMPARE(processor.lines(), singlePass(input));
    if (!input.isEmpty()) {
        QCOMPARE(progress.last(), input.size());
        QVERIFY(std::is_sorted(progress.begin(), progress.end()));
    }
}

void TestSlicedHistoryRun::cancelStopsBeforeFinish()
{
    RecordingProcessor processor;
    std::atomic<bool> cancel{false};
    int calls = 0;
    QVERIFY(!SlicedHistoryRun::run(
        rows(), processor,
        [&](qint64, qint64) {
            if (++calls == 1)
                cancel = true;
        },
        &cancel, 1));
    QCOMPARE(calls, 1);
    QCOMPARE(processor.lines(), QStringList({"start", "R1/A:S1+S2+S3"}));
}

QTEST_GUILESS_MAIN(TestSlicedHistoryRun)
#include "tst_slicedhistoryrun.moc"
