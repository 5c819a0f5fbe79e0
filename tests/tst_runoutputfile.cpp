#include "processing/FishProcessor.h"
#include "processing/HistDataProcessor.h"
#include "ui/RunOutputFile.h"
#include "ui/SlicedHistoryRun.h"

#include <QtTest>

using namespace kd;

namespace {

// Writes down every call it gets, with the fish's detections.
struct RecordingProcessor : FishProcessor
{
    RecordingProcessor() : FishProcessor({"S1"}, {{"S1", 10}}) {}
    void start() override { lines_ << "start"; }
    void processFish(const CaptureRow& fish, const DetectionMap& detections) override
    {
        lines_ << fish.releaseName + "/" + fish.tagCode + ":" + detections.keys().join('+');
    }
    void finish() override { lines_ << "finish"; }
};

// Fish A and C have three rows; C's last row comes from another release; a row has no tag.
QList<CaptureRow> rows()
{
    QList<CaptureRow> result;
    for (const char* row : {"R1 A S1", "R1 A S2", "R1 A S3", "R1 B -", "R1 - S1", "R1 - S2",
                            "R2 C S1", "R2 C S2", "R9 C S3", "R2 D S1"}) {
        const QStringList cells = QString(row).replace('-', "").split(' ');
        CaptureRow& c = result.emplace_back();
        std::tie(c.releaseName, c.tagCode, c.siteName) = std::tie(cells[0], cells[1], cells[2]);
    }
    return result;
}

} // namespace

// The steps of a desktop run after the query: histories in slices, and the output file.
class TestRunOutputFile : public QObject
{
    Q_OBJECT
private slots:
    void fileName_data()
    {
        QTest::addColumn<QString>("run");
        QTest::addColumn<int>("format"); // 1 Standard, others KAVEL
        QTest::addColumn<QString>("name");
        QTest::newRow("accents stay") << "../Früh jahr" << 1 << ".._Früh jahr_Standard.csv";
        QTest::newRow("reserved, control") << "a/\\:*?\"<>|\tb" << 2 << "a__________b_KAVEL.csv";
    }
    void fileName()
    {
        QFETCH(QString, run);
        QFETCH(int, format);
        QFETCH(QString, name);
        QCOMPARE(RunOutputFile::path("/out", run, format), "/out/" + name);
    }
    void writeReplacesOnlyWhenComplete()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("run_KAVEL.csv");
        QVERIFY(RunOutputFile::write(path, {"older and longer", "x"}, {}, nullptr, nullptr));
        QList<qint64> progress;
        const auto onProgress = [&](qint64 done, qint64 total) { progress << done << total; };
        QVERIFY(RunOutputFile::write(path, {"h", "Aué,1,"}, onProgress, nullptr, nullptr));
        QCOMPARE(progress.mid(progress.size() - 2), QList<qint64>({2, 2}));
        // A canceled or failed write leaves the earlier file, and nothing else, behind.
        std::atomic<bool> cancel{true};
        QString error;
        QVERIFY(!RunOutputFile::write(path, {"later"}, {}, &cancel, nullptr));
        QVERIFY(!RunOutputFile::write(path + "/x", {"x"}, {}, nullptr, &error) && !error.isEmpty());
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("h\nAu\xc3\xa9,1,"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList({"run_KAVEL.csv"}));
    }
    void slicesMakeTheCallsOfOnePass_data()
    {
        QTest::addColumn<QList<CaptureRow>>("input");
        QTest::addColumn<int>("sliceRows");
        QTest::addColumn<bool>("cancel"); // after the first slice: no more slices, no finish
        for (int slice : {1, 2, 3, 4, 100})
            QTest::addRow("slices of %d", slice) << rows() << slice << false;
        QTest::newRow("no rows") << QList<CaptureRow>() << 2 << false;
        QTest::newRow("starts without a tag") << rows().mid(4) << 1 << false;
        QTest::newRow("canceled") << rows() << 1 << true;
    }
    void slicesMakeTheCallsOfOnePass()
    {
        QFETCH(QList<CaptureRow>, input);
        QFETCH(int, sliceRows);
        QFETCH(bool, cancel);
        RecordingProcessor onePass, sliced;
        HistDataProcessor histories(input);
        histories.addProcessor(&onePass);
        histories.processRows();
        QList<qint64> progress = {0};
        std::atomic<bool> canceled{false};
        const auto onProgress = [&](qint64 done, qint64) { progress << done, canceled = cancel; };
        QCOMPARE(SlicedHistoryRun::run(input, sliced, onProgress, &canceled, sliceRows), !cancel);
        QVERIFY(std::is_sorted(progress.begin(), progress.end()));
        QCOMPARE(sliced.lines(),
                 cancel ? QStringList({"start", "R1/A:S1+S2+S3"}) : onePass.lines());
        QCOMPARE(cancel ? progress.size() - 1 : progress.last(), cancel ? 1 : input.size());
    }
};

QTEST_GUILESS_MAIN(TestRunOutputFile)
#include "tst_runoutputfile.moc"
