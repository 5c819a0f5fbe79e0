#pragma once

#include "simulation/HistoryRunProcessor.h"

namespace kd {

// Console runs of type "standard": the capture histories in the Standard layout.
class StandardRunProcessor : public HistoryRunProcessor
{
public:
    using HistoryRunProcessor::HistoryRunProcessor;

protected:
    std::unique_ptr<FishProcessor>
    createDataProcessor(const QStringList& sites,
                        const QMap<QString, int>& siteRiverKm) const override;
};

} // namespace kd
