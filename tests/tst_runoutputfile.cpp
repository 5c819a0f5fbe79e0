#include "processing/FishProcessor.h"
#include "processing/HistDataProcessor.h"
#include "ui/RunOutputFile.h"
#include "ui/SlicedHistoryRun.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace kd;

namespace {

// Writes down every call it gets, with the fish's detections.
class RecordingProcessor : public FishProcessor
{
public:
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
        CaptureRow capture;
        capture.releaseName = cells[0];
        capture.tagCode = cells[1];
        capture.siteName = cells[2];
        result << capture;
    }
    return result;
}

} // namespace

// The steps of a desktop run after the query: histories in slices, and the output file.
class TestRunOutputFile : public QObject
{
    Q_OBJECT

private slots:
    void fileName_data();
    void fileName();
    void writeReplacesOnlyWhenComplete();
    void slicesMakeTheCallsOfOnePass_data();
    void slicesMakeTheCallsOfOnePass();
    void cancelStopsSlicesBeforeFinish();
};

void TestRunOutputFile::fileName_data()
{
    QTest::addColumn<QString>("run");
    QTest::addColumn<int>("format");
    QTest::addColumn<QString>("name");
    QTest::newRow("standard") << "Spring2011" << 1 << "Spring2011_Standard.csv";
    QTest::newRow("no format is kavel") << "a" << 2 << "a_KAVEL.csv";
    QTest::newRow("blanks and accents stay") << "Früh jahr" << 1 << "Früh jahr_Standard.csv";
    QTest::newRow("no way out of the folder") << "../up" << 1 << ".._up_Standard.csv";
    QTest::newRow("no reserved characters")
        << "a/b\\c:d*e?f\"g<h>i|j\tk" << 0 << "a_b_c_d_e_f_g_h_i_j_k_KAVEL.csv";
}

void TestRunOutputFile::fileName()
{
    QFETCH(QString, run);
    QFETCH(int, format);
    QFETCH(QString, name);
    QCOMPARE(RunOutputFile::path("/out", run, format), "/out/" + name);
}

void TestRunOutputFile::writeReplacesOnlyWhenComplete()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("run_KAVEL.csv");
    const auto contents = [](const QString& name) {
        QFile file(name);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    };
    QVERIFY(RunOutputFile::write(path, {"an older and longer file", "x"}, {}, nullptr, nullptr));
    QList<qint64> progress;
    QVERIFY(RunOutputFile::write(
        path, {"h", "Aué,1,"}, [&](qint64 done, qint64 total) { progress << done << total; },
        nullptr, nullptr));
    QCOMPARE(contents(path), QByteArray("h\nAu\xc3\xa9,1,"));
    QCOMPARE(progress.mid(progress.size() - 2), QList<qint64>({2, 2}));

    // A canceled or failed write leaves the earlier file, and nothing else, behind.
    std::atomic<bool> cancel{true};
    QString error;
    QVERIFY(!RunOutputFile::write(path, {"later"}, {}, &cancel, &error));
    QCOMPARE(contents(path), QByteArray("h\nAu\xc3\xa9,1,"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList({"run_KAVEL.csv"}));
    error.clear();
    QVERIFY(!RunOutputFile::write(dir.filePath("missing/run.csv"), {"x"}, {}, nullptr, &error));
    QVERIFY(!error.isEmpty());
}

void TestRunOutputFile::slicesMakeTheCallsOfOnePass_data()
{
    QTest::addColumn<QList<CaptureRow>>("input");
    QTest::addColumn<int>("sliceRows");
    for (int slice : {1, 2, 3, 4, 100})
        QTest::addRow("slices of %d", slice) << rows() << slice;
    QTest::newRow("no rows") << QList<CaptureRow>() << 2;
    QTest::newRow("starts without a tag") << rows().mid(4) << 1;
}

void TestRunOutputFile::slicesMakeTheCallsOfOnePass()
{
    QFETCH(QList<CaptureRow>, input);
    QFETCH(int, sliceRows);
    RecordingProcessor onePass;
    HistDataProcessor histories(input);
    histories.addProcessor(&onePass);
    histories.processRows();

    RecordingProcessor sliced;
    QList<qint64> progress = {0};
    QVERIFY(SlicedHistoryRun::run(
        input, sliced, [&](qint64 done, qint64) { progress << done; }, nullptr, sliceRows));
    QCOMPARE(sliced.lines(), onePass.lines());
    QVERIFY(std::is_sorted(progress.begin(), progress.end()));
    QCOMPARE(progress.last(), input.size());
}

void TestRunOutputFile::cancelStopsSlicesBeforeFinish()
{
    RecordingProcessor processor;
    std::atomic<bool> cancel{false};
    int calls = 0;
    QVERIFY(!SlicedHistoryRun::run(
        rows(), processor, [&](qint64, qint64) { cancel = ++calls == 1; }, &cancel, 1));
    QCOMPARE(calls, 1);
    QCOMPARE(processor.lines(), QStringList({"start", "R1/A:S1+S2+S3"}));
}

QTEST_GUILESS_MAIN(TestRunOutputFile)
#include "tst_runoutputfile.moc"
