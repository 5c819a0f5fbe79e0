#pragma once

#include "store/RunDefinition.h"

#include <QMap>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

namespace kd {

class FishProcessor;

// One kind of run: how each face names it and how it computes and writes.
struct RunKind
{
    enum Computation {
        Histories,  // every fish coded into one capture-history file in a layout
        Survival,   // the fish fitted per release, written as the survival files
        FalseEvents // console only: false events counted against the run's rows
    };
    using Layout = std::function<std::unique_ptr<FishProcessor>(
        const QStringList& sites, const QMap<QString, int>& siteRiverKm)>;

    // The run's "type" in config.txt, and the suffix of the console's result files.
    QString consoleName;
    // The stored code of the kind; NotChosen for a kind the desktop does not offer.
    RunDefinition::Format format = RunDefinition::NotChosen;
    Computation computation = Histories;
    // The layout of a Histories kind.
    Layout layout;

    bool onDesktop() const { return format != RunDefinition::NotChosen; }
    // The wizard's label, also the stored name and the suffix of the desktop's files.
    QString desktopLabel() const { return RunDefinition::formatName(format); }
};

} // namespace kd
