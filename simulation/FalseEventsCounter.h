#pragma once

#include "processing/CategoryCountsProcessor.h"
#include "simulation/FalseEvent.h"
#include "store/CaptureRow.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QMap>
#include <QStringList>
#include <QVector>

namespace kd {

// Counts capture-history categories of a run's rows with and without a set of false events.
// The rows are indexed by fish once, so a set costs work in proportion to the fish it touches,
// not to the whole run: the counts of the touched fish are taken out of the baseline and their
// counts with the events put in.
class FalseEventsCounter
{
public:
    using Counts = CategoryCountsProcessor::Counts;

    FalseEventsCounter(const QList<CaptureRow>& rows, const QStringList& sites,
                       const QMap<QString, int>& siteRiverKm, const QDateTime& cutoff);

    const Counts& baseline() const { return baseline_; }
    Counts countsWith(const QList<FalseEvent>& events) const;

    // The run's rows with the events added: each event widens the fish's detection at its
    // site, or adds one there. An event at a site outside the run leaves the whole set without
    // effect, and so does, for itself alone, an event for a tag without rows.
    static QList<CaptureRow> injectFalseEvents(const QList<CaptureRow>& rows,
                                               const QList<FalseEvent>& events,
                                               const QStringList& sites,
                                               const QHash<QString, CaptureRow>& templates);
    // The first row of each tag code, which new rows of that fish are made from.
    static QHash<QString, CaptureRow> tagTemplates(const QList<CaptureRow>& rows);

private:
    Counts count(const QList<CaptureRow>& rows) const;
    static bool allSitesKnown(const QList<FalseEvent>& events, const QStringList& sites);
    static void applyEvent(QList<CaptureRow>& block, const FalseEvent& event, int position,
                           const QStringList& sites, const CaptureRow& fishTemplate);

    struct Block
    {
        qsizetype begin;
        qsizetype end;
    };

    QList<CaptureRow> rows_;
    QStringList sites_;
    QMap<QString, int> siteRiverKm_;
    QDateTime cutoff_;
    QVector<Block> blocks_;
    QHash<QString, qsizetype> firstBlock_;
    Counts baseline_;
};

} // namespace kd
