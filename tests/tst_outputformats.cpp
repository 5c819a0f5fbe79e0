#include "app/DateTimeText.h"
#include "processing/CategoryCountsProcessor.h"
#include "processing/CsvField.h"
#include "processing/HistDataProcessor.h"
#include "processing/KavelDataProcessor.h"
#include "processing/StandardDataProcessor.h"

#include <QTest>

#include <ctime>

using kd::CaptureRow;
using kd::CategoryCountsProcessor;
using kd::FishProcessor;
using kd::HistDataProcessor;
using kd::KavelDataProcessor;
using kd::StandardDataProcessor;

namespace {

const QStringList Sites = {"Upper", "Middle", "Lower, east"};
const QMap<QString, int> SiteKm = {{"Upper", 300}, {"Middle", 200}, {"Lower, east", 100}};

struct Detection
{
    QString site;
    QString first;
    QString last;
};

// The rows the extraction gives for one fish: one per detected site, or one without a site.
QList<CaptureRow> fishRows(const QString& release, const QString& tag, int lot,
                           const QString& activated, const QString& released, const QString& tagger,
                           int bucket, float length, float weight, int removalKm,
                           const QList<Detection>& detections)
{
    CaptureRow base;
    base.releaseName = release;
    base.tagCode = tag;
    base.lot = lot;
    base.tagActivateDate = kd::DateTimeText::parse(activated);
    base.tagReleaseDate = kd::DateTimeText::parse(released);
    base.taggerName = tagger;
    base.bucket = bucket;
    base.length = length;
    base.weight = weight;
    base.removalRiverKm = removalKm;
    if (detections.isEmpty())
        return {base};
    QList<CaptureRow> rows;
    for (const Detection& detection : detections) {
        CaptureRow row = base;
        row.siteName = detection.site;
        row.firstDetection = kd::DateTimeText::parse(detection.first);
        row.lastDetection = kd::DateTimeText::parse(detection.last);
        rows.append(row);
    }
    return rows;
}

const char* const Activated = "2011-04-01 08:00:00";
const char* const Released = "2011-04-02 09:30:00";

QList<CaptureRow> studyRows()
{
    QList<CaptureRow> rows;
    // In river order: 111.
    rows += fishRows("Spring", "G7000001", 3, Activated, Released, "Smith", 2, 150.5f, 12.0f, -1,
                     {{"Upper", "2011-04-03 10:00:00", "2011-04-03 10:05:00"},
                      {"Middle", "2011-04-04 11:00:00", "2011-04-04 11:30:00"},
                      {"Lower, east", "2011-04-05 12:00:00", "2011-04-05 12:00:30"}});
    // Never detected: 000.
    rows += fishRows("Spring", "G7000002", 0, "", Released, "Jones", 0, 0.25f, 1e6f, -1, {});
    // Middle window inside Upper's: 120.
    rows += fishRows("Spring", "G7000003", 1, Activated, Released, "Smith", 1, 98.7f, 8.25f, -1,
                     {{"Upper", "2011-04-03 10:00:00", "2011-04-06 10:00:00"},
                      {"Middle", "2011-04-04 11:00:00", "2011-04-04 11:30:00"},
                      {"Lower, east", "2011-04-05 12:00:00", "2011-04-05 12:10:00"}});
    // Removed above every site: dropped.
    rows += fishRows("Spring", "G7000004", 1, Activated, Released, "Smith", 1, 100.0f, 10.0f, 350,
                     {{"Upper", "2011-04-03 10:00:00", "2011-04-03 10:01:00"}});
    // Removed between Upper and Middle: 200.
    rows += fishRows("Spring", "G7000006", 2, Activated, Released, "Smith", 3, 200.0f, 40.5f, 250,
                     {{"Upper", "2011-04-03 10:00:00", "2011-04-03 10:05:00"},
                      {"Middle", "2011-04-04 11:00:00", "2011-04-04 11:30:00"}});
    // Nothing known but the tag: 000.
    rows += fishRows("Spring", "G7000007", 0, "", "", "", 0, 0.0f, 0.0f, -1, {});
    // Names that need quoting: 101.
    rows += fishRows("Summer, late", "G7000005", 5, "2011-03-01 00:00:00", "2011-03-10 12:00:00",
                     "Ann \"AJ\" Lee", 4, 151.0f, 13.5f, -1,
                     {{"Upper", "2011-03-12 23:00:00", "2011-03-12 23:10:00"},
                      {"Lower, east", "2011-03-13 02:30:00", "2011-03-13 03:00:00"}});
    return rows;
}

QStringList run(FishProcessor& processor, const QList<CaptureRow>& rows)
{
    HistDataProcessor hist;
    hist.setRows(rows);
    hist.addProcessor(&processor);
    hist.processRows();
    return processor.lines();
}

// Splits one line of RFC 4180 text into its fields.
QStringList splitCsv(const QString& line)
{
    QStringList fields;
    QString field;
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (quoted) {
            if (c == u'"' && i + 1 < line.size() && line[i + 1] == u'"') {
                field += c;
                ++i;
            } else if (c == u'"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == u'"') {
            quoted = true;
        } else if (c == u',') {
            fields.append(field);
            field.clear();
        } else {
            field += c;
        }
    }
    fields.append(field);
    return fields;
}

// Sets the process's local zone for one test and puts the old one back.
class LocalZone
{
public:
    explicit LocalZone(const char* zone)
        : had_(qEnvironmentVariableIsSet("TZ")), old_(qgetenv("TZ"))
    {
        qputenv("TZ", zone);
        tzset();
    }
    ~LocalZone()
    {
        if (had_)
            qputenv("TZ", old_);
        else
            qunsetenv("TZ");
        tzset();
    }

private:
    bool had_;
    QByteArray old_;
};

} // namespace

class TestOutputFormats : public QObject
{
    Q_OBJECT

private slots:
    void standard();
    void kavel();
    void categoryCounts();
    void noRows();
    void noSites();
    void cutoff();
    void wallClockTimes();
    void measures_data();
    void measures();
    void csvField_data();
    void csvField();
    void quotedFieldsKeepColumns();
};

void TestOutputFormats::standard()
{
    StandardDataProcessor processor(Sites, SiteKm);
    const QStringList expected = {
        "release_name,lot,tag_code,tag_activate_date,tag_release_date,tagger_name_xlat,bucket,"
        "length,weight,Upper,Middle,\"Lower, east\",Upper_first,Upper_last,Middle_first,"
        "Middle_last,\"Lower, east_first\",\"Lower, east_last\"",
        "Spring,3,G7000001,2011-04-01 08:00:00,2011-04-02 09:30:00,Smith,2,150.5,12,1,1,1,"
        "2011-04-03 10:00:00,2011-04-03 10:05:00,2011-04-04 11:00:00,2011-04-04 11:30:00,"
        "2011-04-05 12:00:00,2011-04-05 12:00:30",
        "Spring,0,G7000002,,2011-04-02 09:30:00,Jones,0,0.25,1e+06,0,0,0,,,,,,",
        "Spring,1,G7000003,2011-04-01 08:00:00,2011-04-02 09:30:00,Smith,1,98.7,8.25,1,2,0,"
        "2011-04-03 10:00:00,2011-04-06 10:00:00,2011-04-04 11:00:00,2011-04-04 11:30:00,,",
        "Spring,2,G7000006,2011-04-01 08:00:00,2011-04-02 09:30:00,Smith,3,200,40.5,2,0,0,"
        "2011-04-03 10:00:00,2011-04-03 10:05:00,,,,",
        "Spring,0,G7000007,,,,0,0,0,0,0,0,,,,,,",
        "\"Summer, late\",5,G7000005,2011-03-01 00:00:00,2011-03-10 12:00:00,"
        "\"Ann \"\"AJ\"\" Lee\",4,151,13.5,1,0,1,2011-03-12 23:00:00,2011-03-12 23:10:00,,,"
        "2011-03-13 02:30:00,2011-03-13 03:00:00",
    };
    QCOMPARE(run(processor, studyRows()), expected);
}

void TestOutputFormats::kavel()
{
    KavelDataProcessor processor(Sites, SiteKm);
    const QString g1 = "Spring,3,G7000001,2011-04-01 08:00:00,2011-04-02 09:30:00,";
    const QString g2 = "Spring,0,G7000002,,2011-04-02 09:30:00,";
    const QString g3 = "Spring,1,G7000003,2011-04-01 08:00:00,2011-04-02 09:30:00,";
    const QString g6 = "Spring,2,G7000006,2011-04-01 08:00:00,2011-04-02 09:30:00,";
    const QString g7 = "Spring,0,G7000007,,,";
    const QString g5 = "\"Summer, late\",5,G7000005,2011-03-01 00:00:00,2011-03-10 12:00:00,";
    const QStringList expected = {
        g1 + "Upper,1,2011-04-03 10:00:00",
        g1 + "Middle,1,2011-04-04 11:00:00",
        g1 + "\"Lower, east\",1,2011-04-05 12:00:00",
        g2 + "Upper,0,",
        g2 + "Middle,0,",
        g2 + "\"Lower, east\",0,",
        g3 + "Upper,1,2011-04-03 10:00:00",
        g3 + "Middle,2,2011-04-04 11:00:00",
        g3 + "\"Lower, east\",0,",
        g6 + "Upper,2,2011-04-03 10:00:00",
        g6 + "Middle,0,",
        g6 + "\"Lower, east\",0,",
        g7 + "Upper,0,",
        g7 + "Middle,0,",
        g7 + "\"Lower, east\",0,",
        g5 + "Upper,1,2011-03-12 23:00:00",
        g5 + "Middle,0,",
        g5 + "\"Lower, east\",1,2011-03-13 02:30:00",
    };
    QCOMPARE(run(processor, studyRows()), expected);
}

void TestOutputFormats::categoryCounts()
{
    CategoryCountsProcessor processor(Sites, SiteKm);
    QCOMPARE(run(processor, studyRows()), QStringList());
    CategoryCountsProcessor::Counts expected;
    expected["Spring"] = {{"000", 2}, {"111", 1}, {"120", 1}, {"200", 1}};
    expected["Summer, late"] = {{"101", 1}};
    QCOMPARE(processor.counts(), expected);

    // Each pass counts afresh.
    run(processor, studyRows().mid(0, 3)); // the first fish alone
    expected.clear();
    expected["Spring"] = {{"111", 1}};
    QCOMPARE(processor.counts(), expected);
}

void TestOutputFormats::noRows()
{
    StandardDataProcessor standard(Sites, SiteKm);
    KavelDataProcessor kavel(Sites, SiteKm);
    CategoryCountsProcessor counts(Sites, SiteKm);
    HistDataProcessor hist;
    hist.addProcessor(&standard);
    hist.addProcessor(&kavel);
    hist.addProcessor(&counts);
    QVERIFY(hist.processRows());
    QCOMPARE(standard.lines().size(), 1);
    QVERIFY(standard.lines().first().startsWith("release_name,lot,"));
    QCOMPARE(kavel.lines(), QStringList());
    QVERIFY(counts.counts().isEmpty());
}

void TestOutputFormats::noSites()
{
    StandardDataProcessor standard({}, {});
    KavelDataProcessor kavel({}, {});
    CategoryCountsProcessor counts({}, {});
    HistDataProcessor hist(studyRows());
    hist.addProcessor(&standard);
    hist.addProcessor(&kavel);
    hist.addProcessor(&counts);
    QVERIFY(hist.processRows());
    QCOMPARE(standard.lines(),
             QStringList{"release_name,lot,tag_code,tag_activate_date,tag_release_date,"
                         "tagger_name_xlat,bucket,length,weight"});
    QCOMPARE(kavel.lines(), QStringList());
    QVERIFY(counts.counts().isEmpty());
}

// Fish still at the first site after the cutoff are left out of every output.
void TestOutputFormats::cutoff()
{
    const QDateTime cutoff = kd::DateTimeText::parse(u"2011-04-03 10:03:00");
    StandardDataProcessor standard(Sites, SiteKm);
    KavelDataProcessor kavel(Sites, SiteKm);
    CategoryCountsProcessor counts(Sites, SiteKm);
    HistDataProcessor hist(studyRows());
    for (FishProcessor* processor :
         {static_cast<FishProcessor*>(&standard), static_cast<FishProcessor*>(&kavel),
          static_cast<FishProcessor*>(&counts)}) {
        processor->setCutoff(cutoff);
        hist.addProcessor(processor);
    }
    hist.processRows();

    QStringList tags;
    for (const QString& line : standard.lines().mid(1))
        tags.append(splitCsv(line).at(2));
    QCOMPARE(tags, QStringList({"G7000002", "G7000007", "G7000005"}));
    QCOMPARE(kavel.lines().size(), 9);
    CategoryCountsProcessor::Counts expected;
    expected["Spring"] = {{"000", 2}};
    expected["Summer, late"] = {{"101", 1}};
    QCOMPARE(counts.counts(), expected);
}

// 02:00-03:00 on 2011-03-13 does not exist in Los Angeles; data times are not local times.
void TestOutputFormats::wallClockTimes()
{
    const LocalZone zone("America/Los_Angeles");
    const QList<CaptureRow> rows =
        fishRows("Spring", "G7000010", 1, "2011-03-13 02:15:00", "2011-03-13 02:20:00", "Smith", 1,
                 1.0f, 1.0f, -1,
                 {{"Upper", "2011-03-13 01:30:00", "2011-03-13 02:50:00"},
                  {"Middle", "2011-03-13 02:30:00", "2011-03-13 02:45:00"}});

    StandardDataProcessor standard(Sites, SiteKm);
    KavelDataProcessor kavel(Sites, SiteKm);
    HistDataProcessor hist(rows);
    hist.addProcessor(&standard);
    hist.addProcessor(&kavel);
    hist.processRows();

    QCOMPARE(standard.lines().value(1),
             QString("Spring,1,G7000010,2011-03-13 02:15:00,2011-03-13 02:20:00,Smith,1,1,1,1,2,0,"
                     "2011-03-13 01:30:00,2011-03-13 02:50:00,2011-03-13 02:30:00,"
                     "2011-03-13 02:45:00,,"));
    const QString prefix = "Spring,1,G7000010,2011-03-13 02:15:00,2011-03-13 02:20:00,";
    QCOMPARE(kavel.lines(),
             QStringList({prefix + "Upper,1,2011-03-13 01:30:00",
                          prefix + "Middle,2,2011-03-13 02:30:00", prefix + "\"Lower, east\",0,"}));
}

void TestOutputFormats::measures_data()
{
    QTest::addColumn<float>("value");
    QTest::addColumn<QString>("text");

    QTest::newRow("whole") << 12.0f << "12";
    QTest::newRow("fraction") << 0.25f << "0.25";
    QTest::newRow("not exact in binary") << 98.7f << "98.7";
    QTest::newRow("seven digits") << 1234567.0f << "1.23457e+06";
    QTest::newRow("million") << 1e6f << "1e+06";
    QTest::newRow("smaller") << 0.00001f << "1e-05";
}

void TestOutputFormats::measures()
{
    QFETCH(float, value);
    QFETCH(QString, text);

    StandardDataProcessor processor(Sites, SiteKm);
    const QStringList lines =
        run(processor, fishRows("Spring", "G7000001", 0, "", "", "", 0, value, value, -1, {}));
    const QStringList fields = splitCsv(lines.value(1));
    QCOMPARE(fields.value(7), text);
    QCOMPARE(fields.value(8), text);
}

void TestOutputFormats::csvField_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("field");

    QTest::newRow("plain") << "Lower Granite"
                           << "Lower Granite";
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("single quotes") << "O'Brien"
                                   << "O'Brien";
    QTest::newRow("comma") << "Lower, east"
                           << "\"Lower, east\"";
    QTest::newRow("double quote") << "Ann \"AJ\" Lee"
                                  << "\"Ann \"\"AJ\"\" Lee\"";
    QTest::newRow("only a quote") << "\""
                                  << "\"\"\"\"";
    QTest::newRow("carriage return") << "a\rb"
                                     << "\"a\rb\"";
    QTest::newRow("line feed") << "a\nb"
                               << "\"a\nb\"";
}

void TestOutputFormats::csvField()
{
    QFETCH(QString, text);
    QFETCH(QString, field);
    QCOMPARE(kd::csvField(text), field);
}

// Every field reads back whole, whatever it holds.
void TestOutputFormats::quotedFieldsKeepColumns()
{
    const QStringList sites = {"A,1", "B \"2\""};
    const QMap<QString, int> km = {{"A,1", 20}, {"B \"2\"", 10}};
    const QList<CaptureRow> rows =
        fishRows("Rel, \"x\"", "G7,1", 1, "", "", "Smith,\nJones", 2, 1.0f, 2.0f, -1,
                 {{"A,1", "2011-04-03 10:00:00", "2011-04-03 10:05:00"}});

    StandardDataProcessor standard(sites, km);
    KavelDataProcessor kavel(sites, km);
    HistDataProcessor hist(rows);
    hist.addProcessor(&standard);
    hist.addProcessor(&kavel);
    hist.processRows();

    QCOMPARE(
        splitCsv(standard.lines().value(0)).mid(9),
        QStringList({"A,1", "B \"2\"", "A,1_first", "A,1_last", "B \"2\"_first", "B \"2\"_last"}));
    QCOMPARE(splitCsv(standard.lines().value(1)),
             QStringList({"Rel, \"x\"", "1", "G7,1", "", "", "Smith,\nJones", "2", "1", "2", "1",
                          "0", "2011-04-03 10:00:00", "2011-04-03 10:05:00", "", ""}));
    QCOMPARE(splitCsv(kavel.lines().value(1)),
             QStringList({"Rel, \"x\"", "1", "G7,1", "", "", "B \"2\"", "0", ""}));
}

QTEST_GUILESS_MAIN(TestOutputFormats)
#include "tst_outputformats.moc"
