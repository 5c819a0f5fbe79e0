#include "base/DateTimeText.h"
#include "processing/CategoryCountsProcessor.h"
#include "processing/CsvField.h"
#include "processing/HistDataProcessor.h"
#include "processing/KavelDataProcessor.h"
#include "processing/StandardDataProcessor.h"

#include <QTest>

#include <ctime>

using namespace kd;
using DateTimeText::parse;

namespace {

const QStringList Sites = {"Upper", "Middle", "Lower, east"};
const QMap<QString, int> SiteKm = {{"Upper", 300}, {"Middle", 200}, {"Lower, east", 100}};
const QString Activated = "2011-04-01 08:00:00";
const QString Released = "2011-04-02 09:30:00";

struct Detection
{
    QString site, first, last;
};

// The rows the extraction gives for one fish: one per detected site, or one without a site.
QList<CaptureRow> fishRows(const QString& release, const QString& tag, int lot,
                           const QString& activated, const QString& released, const QString& tagger,
                           int bucket, float length, float weight, int removalKm,
                           const QList<Detection>& detections = {{}})
{
    QList<CaptureRow> rows;
    for (const Detection& detection : detections) {
        CaptureRow& row = rows.emplace_back();
        row.releaseName = release;
        row.tagCode = tag;
        row.lot = lot;
        row.tagActivateDate = parse(activated);
        row.tagReleaseDate = parse(released);
        row.taggerName = tagger;
        row.bucket = bucket;
        row.length = length;
        row.weight = weight;
        row.removalRiverKm = removalKm;
        row.siteName = detection.site;
        row.firstDetection = parse(detection.first);
        row.lastDetection = parse(detection.last);
    }
    return rows;
}

QList<CaptureRow> studyRows()
{
    // In river order: 111.
    return fishRows("Spring", "G7000001", 3, Activated, Released, "Smith", 2, 150.5f, 12.0f, -1,
                    {{"Upper", "2011-04-03 10:00:00", "2011-04-03 10:05:00"},
                     {"Middle", "2011-04-04 11:00:00", "2011-04-04 11:30:00"},
                     {"Lower, east", "2011-04-05 12:00:00", "2011-04-05 12:00:30"}}) +
           // Never detected: 000. Lengths and weights keep six significant digits.
           fishRows("Spring", "G7000002", 0, "", Released, "Jones", 0, 1234567.0f, 1e-5f, -1) +
           // Middle window inside Upper's: 120.
           fishRows("Spring", "G7000003", 1, Activated, Released, "Smith", 1, 98.7f, 8.25f, -1,
                    {{"Upper", "2011-04-03 10:00:00", "2011-04-06 10:00:00"},
                     {"Middle", "2011-04-04 11:00:00", "2011-04-04 11:30:00"},
                     {"Lower, east", "2011-04-05 12:00:00", "2011-04-05 12:10:00"}}) +
           // Removed above every site: dropped.
           fishRows("Spring", "G7000004", 1, Activated, Released, "Smith", 1, 100.0f, 10.0f, 350,
                    {{"Upper", "2011-04-03 10:00:00", "2011-04-03 10:01:00"}}) +
           // Removed between Upper and Middle: 200.
           fishRows("Spring", "G7000006", 2, Activated, Released, "Smith", 3, 200.0f, 40.5f, 250,
                    {{"Upper", "2011-04-03 10:00:00", "2011-04-03 10:05:00"},
                     {"Middle", "2011-04-04 11:00:00", "2011-04-04 11:30:00"}}) +
           // Nothing known but the tag: 000.
           fishRows("Spring", "G7000007", 0, "", "", "", 0, 0.0f, 0.0f, -1) +
           // Names that need quoting, and a time in the skipped hour of Los Angeles: 101.
           fishRows("Summer, late", "G7000005", 5, "2011-03-01 00:00:00", "2011-03-10 12:00:00",
                    "Ann \"AJ\" Lee", 4, 151.0f, 13.5f, -1,
                    {{"Upper", "2011-03-12 23:00:00", "2011-03-12 23:10:00"},
                     {"Lower, east", "2011-03-13 02:30:00", "2011-03-13 03:00:00"}});
}

} // namespace

class TestOutputFormats : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void study();
    void csvField_data();
    void csvField();
};

void TestOutputFormats::initTestCase()
{
    // 02:00-03:00 on 2011-03-13 does not exist here; data times are not local times.
    qputenv("TZ", "America/Los_Angeles");
    tzset();
}

void TestOutputFormats::study()
{
    StandardDataProcessor standard(Sites, SiteKm);
    KavelDataProcessor kavel(Sites, SiteKm);
    CategoryCountsProcessor counts(Sites, SiteKm);
    HistDataProcessor hist(studyRows());
    const QList<FishProcessor*> all = {&standard, &kavel, &counts};
    for (FishProcessor* processor : all)
        hist.addProcessor(processor);
    hist.processRows();

    const QStringList standardLines = {
        "release_name,lot,tag_code,tag_activate_date,tag_release_date,tagger_name_xlat,bucket,"
        "length,weight,Upper,Middle,\"Lower, east\",Upper_first,Upper_last,Middle_first,"
        "Middle_last,\"Lower, east_first\",\"Lower, east_last\"",
        "Spring,3,G7000001,2011-04-01 08:00:00,2011-04-02 09:30:00,Smith,2,150.5,12,1,1,1,"
        "2011-04-03 10:00:00,2011-04-03 10:05:00,2011-04-04 11:00:00,2011-04-04 11:30:00,"
        "2011-04-05 12:00:00,2011-04-05 12:00:30",
        "Spring,0,G7000002,,2011-04-02 09:30:00,Jones,0,1.23457e+06,1e-05,0,0,0,,,,,,",
        "Spring,1,G7000003,2011-04-01 08:00:00,2011-04-02 09:30:00,Smith,1,98.7,8.25,1,2,0,"
        "2011-04-03 10:00:00,2011-04-06 10:00:00,2011-04-04 11:00:00,2011-04-04 11:30:00,,",
        "Spring,2,G7000006,2011-04-01 08:00:00,2011-04-02 09:30:00,Smith,3,200,40.5,2,0,0,"
        "2011-04-03 10:00:00,2011-04-03 10:05:00,,,,",
        "Spring,0,G7000007,,,,0,0,0,0,0,0,,,,,,",
        "\"Summer, late\",5,G7000005,2011-03-01 00:00:00,2011-03-10 12:00:00,"
        "\"Ann \"\"AJ\"\" Lee\",4,151,13.5,1,0,1,2011-03-12 23:00:00,2011-03-12 23:10:00,,,"
        "2011-03-13 02:30:00,2011-03-13 03:00:00",
    };
    QCOMPARE(standard.lines(), standardLines);

    // One line per site: the fish, the site, its code and first detection.
    const auto fish = [](const char* prefix, const char* upper, const char* middle,
                         const char* lower) {
        return QStringList{QString(prefix) + "Upper," + upper, QString(prefix) + "Middle," + middle,
                           QString(prefix) + "\"Lower, east\"," + lower};
    };
    const QStringList kavelLines =
        fish("Spring,3,G7000001,2011-04-01 08:00:00,2011-04-02 09:30:00,", "1,2011-04-03 10:00:00",
             "1,2011-04-04 11:00:00", "1,2011-04-05 12:00:00") +
        fish("Spring,0,G7000002,,2011-04-02 09:30:00,", "0,", "0,", "0,") +
        fish("Spring,1,G7000003,2011-04-01 08:00:00,2011-04-02 09:30:00,", "1,2011-04-03 10:00:00",
             "2,2011-04-04 11:00:00", "0,") +
        fish("Spring,2,G7000006,2011-04-01 08:00:00,2011-04-02 09:30:00,", "2,2011-04-03 10:00:00",
             "0,", "0,") +
        fish("Spring,0,G7000007,,,", "0,", "0,", "0,") +
        fish("\"Summer, late\",5,G7000005,2011-03-01 00:00:00,2011-03-10 12:00:00,",
             "1,2011-03-12 23:00:00", "0,", "1,2011-03-13 02:30:00");
    QCOMPARE(kavel.lines(), kavelLines);

    CategoryCountsProcessor::Counts expected;
    expected["Spring"] = {{"000", 2}, {"111", 1}, {"120", 1}, {"200", 1}};
    expected["Summer, late"] = {{"101", 1}};
    QCOMPARE(counts.counts(), expected);

    // Again with a cutoff: fish still at the first site after it are left out of every output,
    // and each pass starts afresh.
    for (FishProcessor* processor : all)
        processor->setCutoff(parse(u"2011-04-03 10:03:00"));
    hist.processRows();
    QCOMPARE(standard.lines(),
             QStringList({standardLines[0], standardLines[2], standardLines[5], standardLines[6]}));
    QCOMPARE(kavel.lines(), kavelLines.mid(3, 3) + kavelLines.mid(12));
    expected["Spring"] = {{"000", 2}};
    QCOMPARE(counts.counts(), expected);

    // No rows: the Standard header alone, nothing else.
    hist.setRows({});
    hist.processRows();
    QCOMPARE(standard.lines(), QStringList{standardLines[0]});
    QCOMPARE(kavel.lines(), QStringList());
    QCOMPARE(counts.counts(), CategoryCountsProcessor::Counts());
}

void TestOutputFormats::csvField_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("field"); // quoted as RFC 4180 asks

    const auto row = [](const char* name, const char* text, const char* field) {
        QTest::newRow(name) << QString(text) << QString(field);
    };
    row("plain stays verbatim", "O'Brien at Lower Granite", "O'Brien at Lower Granite");
    row("comma", "Lower, east", "\"Lower, east\"");
    row("double quote", "Ann \"AJ\" Lee", "\"Ann \"\"AJ\"\" Lee\"");
    row("carriage return", "a\rb", "\"a\rb\"");
    row("line feed", "a\nb", "\"a\nb\"");
}

void TestOutputFormats::csvField()
{
    QFETCH(QString, text);
    QFETCH(QString, field);
    QCOMPARE(kd::csvField(text), field);
}

QTEST_GUILESS_MAIN(TestOutputFormats)
#include "tst_outputformats.moc"
