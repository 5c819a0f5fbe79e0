#pragma once

#include "simulation/HistoryRunProcessor.h"

namespace kd {

// Console runs of type "kavel": the capture histories in the KAVEL layout.
class KavelRunProcessor : public HistoryRunProcessor
{
public:
    using HistoryRunProcessor::HistoryRunProcessor;

protected:
    std::unique_ptr<FishProcessor>
    createDataProcessor(const QStringList& sites,
                        const QMap<QString, int>& siteRiverKm) const override;
};

} // namespace kd
