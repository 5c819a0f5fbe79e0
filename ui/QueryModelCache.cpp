#include "ui/QueryModelCache.h"

#include "ui/BasicQueryModel.h"
#include "ui/LoadsTableModel.h"
#include "ui/QueryModelDataProvider.h"
#include "ui/RunsTableModel.h"
#include "ui/ViewKind.h"

namespace kd {

QueryModelCache::QueryModelCache(QObject* parent) : QObject(parent) {}

QueryModelCache::~QueryModelCache()
{
    // The models refer to their sources.
    models_.clear();
    sources_.clear();
}

BasicQueryModel* QueryModelCache::model(int kind, const QString& tableName)
{
    if (BasicQueryModel* existing = existingModel(kind))
        return existing;
    auto source = QueryModelDataProvider::forKind(kind, tableName);
    if (!source)
        return nullptr;
    std::unique_ptr<BasicQueryModel> model;
    if (kind == LoadsView)
        model = std::make_unique<LoadsTableModel>(source.get());
    else if (kind == RunsView)
        model = std::make_unique<RunsTableModel>(source.get());
    else
        model = std::make_unique<BasicQueryModel>(source.get());
    sources_[kind] = std::move(source);
    BasicQueryModel* result = model.get();
    models_[kind] = std::move(model);
    return result;
}

BasicQueryModel* QueryModelCache::existingModel(int kind) const
{
    const auto found = models_.find(kind);
    return found == models_.end() ? nullptr : found->second.get();
}

void QueryModelCache::releaseQueries()
{
    for (auto& entry : models_)
        entry.second->release();
}

} // namespace kd
