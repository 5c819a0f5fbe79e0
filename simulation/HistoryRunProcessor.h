#pragma once

#include "simulation/RunProcessor.h"

#include <QMap>

#include <memory>

namespace kd {

class FishProcessor;

// A console run that writes one capture-history file; the subclass chooses the layout.
class HistoryRunProcessor : public RunProcessor
{
public:
    using RunProcessor::RunProcessor;

    bool process(int runIndex) override;

protected:
    virtual std::unique_ptr<FishProcessor>
    createDataProcessor(const QStringList& sites, const QMap<QString, int>& siteRiverKm) const = 0;
};

} // namespace kd
