#include "processing/KavelDataProcessor.h"

#include "base/DateTimeText.h"
#include "processing/CsvField.h"

namespace kd {

KavelDataProcessor::KavelDataProcessor(const QStringList& sites,
                                       const QMap<QString, int>& siteRiverKm)
    : FishProcessor(sites, siteRiverKm)
{
    siteFields_.reserve(sites.size());
    for (const QString& site : sites)
        siteFields_.append(csvField(site));
}

void KavelDataProcessor::start()
{
    lines_.clear();
}

void KavelDataProcessor::processFish(const CaptureRow& fish, const DetectionMap& detections)
{
    QList<SiteVisit> visits;
    QVector<int> codes;
    if (!acceptFish(fish, detections, CutoffChecks::BeforeAndAfterCodes, visits, codes))
        return;

    QString prefix;
    appendIdentity(prefix, fish);

    for (qsizetype i = 0; i < visits.size(); ++i) {
        QString line;
        line.reserve(prefix.size() + siteFields_[i].size() + 24);
        line += prefix;
        line += siteFields_[i];
        line += u',';
        line += QString::number(codes[i]);
        line += u',';
        if (codes[i] > 0)
            line += DateTimeText::format(visits[i].first);
        addLine(line);
    }
}

} // namespace kd
