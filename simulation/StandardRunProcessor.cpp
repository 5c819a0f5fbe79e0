#include "simulation/StandardRunProcessor.h"

#include "processing/StandardDataProcessor.h"

namespace kd {

std::unique_ptr<FishProcessor>
StandardRunProcessor::createDataProcessor(const QStringList& sites,
                                          const QMap<QString, int>& siteRiverKm) const
{
    return std::make_unique<StandardDataProcessor>(sites, siteRiverKm);
}

} // namespace kd
