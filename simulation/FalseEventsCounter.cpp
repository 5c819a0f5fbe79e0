#include "simulation/FalseEventsCounter.h"

#include "processing/FishReader.h"
#include "processing/HistDataProcessor.h"

#include <QSet>

namespace kd {

FalseEventsCounter::FalseEventsCounter(const QList<CaptureRow>& rows, const QStringList& sites,
                                       const QMap<QString, int>& siteRiverKm,
                                       const QDateTime& cutoff)
    : rows_(rows), sites_(sites), siteRiverKm_(siteRiverKm), cutoff_(cutoff)
{
    for (qsizetype i = 0; i < rows_.size();) {
        const qsizetype end = FishReader::fishEnd(rows_, i);
        if (!firstBlock_.contains(rows_[i].tagCode))
            firstBlock_.insert(rows_[i].tagCode, blocks_.size());
        blocks_.append({i, end});
        i = end;
    }
    baseline_ = count(rows_);
}

FalseEventsCounter::Counts FalseEventsCounter::count(const QList<CaptureRow>& rows) const
{
    CategoryCountsProcessor processor(sites_, siteRiverKm_);
    if (cutoff_.isValid())
        processor.setCutoff(cutoff_);
    HistDataProcessor histories(rows);
    histories.addProcessor(&processor);
    histories.processRows();
    return processor.counts();
}

bool FalseEventsCounter::allSitesKnown(const QList<FalseEvent>& events, const QStringList& sites)
{
    for (const FalseEvent& event : events) {
        if (!sites.contains(event.site))
            return false;
    }
    return true;
}

void FalseEventsCounter::applyEvent(QList<CaptureRow>& block, const FalseEvent& event, int position,
                                    const QStringList& sites, const CaptureRow& fishTemplate)
{
    if (block.size() == 1 && block.first().siteName.isEmpty()) {
        CaptureRow& row = block.first();
        row.siteName = event.site;
        row.firstDetection = event.first;
        row.lastDetection = event.first;
        return;
    }
    CaptureRow* atSite = nullptr;
    QSet<int> placedBefore;
    for (CaptureRow& row : block) {
        const int rowPosition = int(sites.indexOf(row.siteName));
        if (rowPosition < 0)
            continue;
        if (rowPosition == position)
            atSite = &row;
        else if (rowPosition < position)
            placedBefore.insert(rowPosition);
    }
    if (atSite) {
        const qint64 time = event.first.toSecsSinceEpoch();
        if (time < atSite->firstDetection.toSecsSinceEpoch())
            atSite->firstDetection = event.first;
        else if (time > atSite->lastDetection.toSecsSinceEpoch())
            atSite->lastDetection = event.first;
        return;
    }
    CaptureRow row = fishTemplate;
    row.siteName = event.site;
    row.firstDetection = event.first;
    row.lastDetection = event.first;
    block.insert(placedBefore.size(), row);
}

QHash<QString, CaptureRow> FalseEventsCounter::tagTemplates(const QList<CaptureRow>& rows)
{
    QHash<QString, CaptureRow> templates;
    for (const CaptureRow& row : rows) {
        if (!templates.contains(row.tagCode))
            templates.insert(row.tagCode, row);
    }
    return templates;
}

QList<CaptureRow> FalseEventsCounter::injectFalseEvents(const QList<CaptureRow>& rows,
                                                        const QList<FalseEvent>& events,
                                                        const QStringList& sites,
                                                        const QHash<QString, CaptureRow>& templates)
{
    if (sites.isEmpty() || !allSitesKnown(events, sites))
        return rows;
    QList<CaptureRow> result = rows;
    for (const FalseEvent& event : events) {
        qsizetype begin = 0;
        while (begin < result.size() && result[begin].tagCode != event.tagCode)
            ++begin;
        if (begin == result.size())
            continue;
        qsizetype end = begin + 1;
        while (end < result.size() && result[end].tagCode == event.tagCode)
            ++end;
        QList<CaptureRow> block = result.mid(begin, end - begin);
        applyEvent(block, event, int(sites.indexOf(event.site)), sites,
                   templates.value(event.tagCode, block.first()));
        result.remove(begin, end - begin);
        for (qsizetype i = 0; i < block.size(); ++i)
            result.insert(begin + i, block[i]);
    }
    return result;
}

FalseEventsCounter::Counts FalseEventsCounter::countsWith(const QList<FalseEvent>& events) const
{
    if (sites_.isEmpty() || !allSitesKnown(events, sites_))
        return baseline_;

    // The events of each touched fish, in the set's order.
    QHash<qsizetype, QList<const FalseEvent*>> eventsOfBlock;
    QList<qsizetype> touched;
    for (const FalseEvent& event : events) {
        const auto block = firstBlock_.constFind(event.tagCode);
        if (block == firstBlock_.constEnd())
            continue; // a tag without rows: nothing to change
        auto& list = eventsOfBlock[*block];
        if (list.isEmpty())
            touched.append(*block);
        list.append(&event);
    }
    if (touched.isEmpty())
        return baseline_;

    QList<CaptureRow> before;
    QList<CaptureRow> after;
    for (qsizetype blockIndex : touched) {
        const Block& range = blocks_[blockIndex];
        QList<CaptureRow> block = rows_.mid(range.begin, range.end - range.begin);
        before.append(block);
        // Every row of a fish's first block stems from the fish's first row as extracted.
        const CaptureRow fishTemplate = block.first();
        for (const FalseEvent* event : eventsOfBlock.value(blockIndex))
            applyEvent(block, *event, int(sites_.indexOf(event->site)), sites_, fishTemplate);
        after.append(block);
    }

    Counts counts = baseline_;
    const Counts removed = count(before);
    for (auto release = removed.cbegin(); release != removed.cend(); ++release) {
        auto& histories = counts[release.key()];
        for (auto history = release->cbegin(); history != release->cend(); ++history) {
            int& value = histories[history.key()];
            value -= history.value();
            if (value == 0)
                histories.remove(history.key());
        }
        if (histories.isEmpty())
            counts.remove(release.key());
    }
    const Counts added = count(after);
    for (auto release = added.cbegin(); release != added.cend(); ++release) {
        for (auto history = release->cbegin(); history != release->cend(); ++history)
            counts[release.key()][history.key()] += history.value();
    }
    return counts;
}

} // namespace kd
