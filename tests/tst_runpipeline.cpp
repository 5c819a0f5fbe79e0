#include "processing/FishProcessor.h"
#include "processing/HistDataProcessor.h"
#include "run/ResultFile.h"
#include "run/RunPipeline.h"
#include "store/RunSource.h"

#include <QtTest>

using namespace kd;

namespace {

// Writes down every call it gets, with the fish's detections.
struct RecordingProcessor : FishProcessor
{
    RecordingProcessor() : FishProcessor({"S1"}, {{"S1", 10}}) {}
    void start() override { addLine("start"); }
    void processFish(const CaptureRow& fish, const DetectionMap& detections) override
    {
        addLine(fish.releaseName + "/" + fish.tagCode + ":" + detections.keys().join('+'));
    }
    void finish() override { addLine("finish"); }
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

// A run source whose every run extracts the given rows: all that the pipeline needs.
struct RowsStore : RunSource
{
    QList<CaptureRow> rows;
    RunExtraction extractRun(int) override
    {
        RunExtraction extraction;
        extraction.ok = true;
        extraction.sites = {"S1"};
        extraction.rowCount = rows.size();
        extraction.rows = std::make_unique<ListCaptureCursor>(rows);
        return extraction;
    }
};

} // namespace

// The run pipeline after the extraction: fish coded as their rows arrive, lines written to the
// result file, progress and cancel between fish.
class TestRunPipeline : public QObject
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
        QCOMPARE(ResultFile::path("/out", run, RunDefinition::Format(format)), "/out/" + name);
    }
    void fileReplacesOnlyWhenComplete()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("run_KAVEL.csv");
        const auto write = [&](const QStringList& lines, bool commit) {
            ResultFile file(path);
            if (!file.open())
                return false;
            for (const QString& line : lines)
                file.writeLine(line);
            if (commit)
                return file.commit();
            file.discard();
            return false;
        };
        QVERIFY(write({"older and longer", "x"}, true));
        QVERIFY(write({"h", "Aué,1,"}, true));
        // A discarded or failed write leaves the earlier file, and nothing else, behind.
        QVERIFY(!write({"later"}, false));
        ResultFile blocked(path + "/x");
        QVERIFY(!blocked.open() && !blocked.errorString().isEmpty());
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("h\nAu\xc3\xa9,1,"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList({"run_KAVEL.csv"}));
    }
    void streamingMakesTheCallsOfOnePass_data()
    {
        QTest::addColumn<QList<CaptureRow>>("input");
        QTest::addColumn<int>("step");
        QTest::addColumn<bool>("cancel"); // at the first progress report: no more fish, no finish
        for (int step : {1, 2, 3, 4, 100})
            QTest::addRow("progress every %d rows", step) << rows() << step << false;
        QTest::newRow("no rows") << QList<CaptureRow>() << 2 << false;
        QTest::newRow("starts without a tag") << rows().mid(4) << 1 << false;
        QTest::newRow("canceled") << rows() << 1 << true;
    }
    void streamingMakesTheCallsOfOnePass()
    {
        QFETCH(QList<CaptureRow>, input);
        QFETCH(int, step);
        QFETCH(bool, cancel);
        RecordingProcessor onePass, streamed;
        HistDataProcessor histories(input);
        histories.addProcessor(&onePass);
        histories.processRows();

        RowsStore store;
        store.rows = input;
        RunPipeline pipeline(store);
        QVERIFY(pipeline.extract(1));
        QCOMPARE(pipeline.extraction().rowCount, input.size());
        pipeline.setProgressStep(step);
        QList<qint64> progress = {0};
        std::atomic<bool> canceled{false};
        const auto onProgress = [&](qint64 done, qint64) { progress << done, canceled = cancel; };
        QTemporaryDir dir;
        ResultFile file(dir.filePath("out.csv"));
        QVERIFY(file.open());
        QCOMPARE(pipeline.process(streamed, &file, onProgress, &canceled), !cancel);
        QVERIFY(std::is_sorted(progress.begin(), progress.end()));
        // The lines went to the file, none was kept.
        QVERIFY(streamed.lines().isEmpty());
        QVERIFY(file.commit());
        QFile written(dir.filePath("out.csv"));
        QVERIFY(written.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(written.readAll());
        QCOMPARE(text.split('\n'),
                 cancel ? QStringList({"start", "R1/A:S1+S2+S3"}) : onePass.lines());
        QCOMPARE(cancel ? progress.size() - 1 : progress.last(), cancel ? 1 : input.size());
    }
};

QTEST_GUILESS_MAIN(TestRunPipeline)
#include "tst_runpipeline.moc"
