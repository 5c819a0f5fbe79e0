#include "processing/StandardDataProcessor.h"

#include "base/DateTimeText.h"
#include "processing/CsvField.h"

namespace kd {

namespace {

QString measure(float value)
{
    return QString::number(double(value), 'g', 6);
}

} // namespace

void StandardDataProcessor::start()
{
    lines_.clear();
    QStringList header = {QStringLiteral("release_name"),
                          QStringLiteral("lot"),
                          QStringLiteral("tag_code"),
                          QStringLiteral("tag_activate_date"),
                          QStringLiteral("tag_release_date"),
                          QStringLiteral("tagger_name_xlat"),
                          QStringLiteral("bucket"),
                          QStringLiteral("length"),
                          QStringLiteral("weight")};
    for (const QString& site : sites())
        header.append(csvField(site));
    for (const QString& site : sites()) {
        header.append(csvField(site + QStringLiteral("_first")));
        header.append(csvField(site + QStringLiteral("_last")));
    }
    addLine(header.join(u','));
}

void StandardDataProcessor::processFish(const CaptureRow& fish, const DetectionMap& detections)
{
    QList<SiteVisit> visits;
    QVector<int> codes;
    if (!acceptFish(fish, detections, CutoffChecks::BeforeAndAfterCodes, visits, codes))
        return;

    QString line;
    line.reserve(96 + visits.size() * 42);
    appendIdentity(line, fish);
    line += csvField(fish.taggerName);
    line += u',';
    line += QString::number(fish.bucket);
    line += u',';
    line += measure(fish.length);
    line += u',';
    line += measure(fish.weight);
    for (const int code : std::as_const(codes)) {
        line += u',';
        line += QString::number(code);
    }
    for (qsizetype i = 0; i < visits.size(); ++i) {
        line += u',';
        if (codes[i] > 0) {
            line += DateTimeText::format(visits[i].first);
            line += u',';
            line += DateTimeText::format(visits[i].last);
        } else {
            line += u',';
        }
    }
    addLine(line);
}

} // namespace kd
