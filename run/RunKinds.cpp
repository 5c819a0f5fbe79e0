#include "run/RunKinds.h"

#include "processing/KavelDataProcessor.h"
#include "processing/StandardDataProcessor.h"

namespace kd {

namespace {

template <typename Processor>
std::unique_ptr<FishProcessor> layoutOf(const QStringList& sites,
                                        const QMap<QString, int>& siteRiverKm)
{
    return std::make_unique<Processor>(sites, siteRiverKm);
}

} // namespace

const QList<RunKind>& RunKinds::all()
{
    static const QList<RunKind> kinds = {
        {QStringLiteral("kavel"), RunDefinition::Kavel, RunKind::Histories,
         layoutOf<KavelDataProcessor>},
        {QStringLiteral("standard"), RunDefinition::Standard, RunKind::Histories,
         layoutOf<StandardDataProcessor>},
        {QStringLiteral("survival"), RunDefinition::Survival, RunKind::Survival, {}},
        {QStringLiteral("false_events"), RunDefinition::NotChosen, RunKind::FalseEvents, {}},
    };
    return kinds;
}

const RunKind* RunKinds::byConsoleName(const QString& name)
{
    for (const RunKind& kind : all()) {
        if (kind.consoleName == name)
            return &kind;
    }
    return nullptr;
}

const RunKind& RunKinds::byFormat(RunDefinition::Format format)
{
    for (const RunKind& kind : all()) {
        if (kind.onDesktop() && kind.format == format)
            return kind;
    }
    return byFormat(RunDefinition::Kavel);
}

} // namespace kd
