#include "simulation/KavelRunProcessor.h"

#include "processing/KavelDataProcessor.h"

namespace kd {

std::unique_ptr<FishProcessor>
KavelRunProcessor::createDataProcessor(const QStringList& sites,
                                       const QMap<QString, int>& siteRiverKm) const
{
    return std::make_unique<KavelDataProcessor>(sites, siteRiverKm);
}

} // namespace kd
