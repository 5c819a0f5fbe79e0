#include "ui/BasicQueryModel.h"

#include "ui/QueryModelDataProvider.h"

#include <QSqlQuery>

namespace kd {

BasicQueryModel::BasicQueryModel(const QueryModelDataProvider* source, QObject* parent)
    : QSqlQueryModel(parent), source_(source)
{
}

BasicQueryModel::~BasicQueryModel() = default;

QVariant BasicQueryModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
        section < source_->titles().size())
        return source_->titles().at(section);
    return QSqlQueryModel::headerData(section, orientation, role);
}

void BasicQueryModel::refresh()
{
    setQuery(source_->query());
    // Every row is read now: a query left half-read would later be stepped on the GUI thread
    // while a worker uses the same connection.
    while (canFetchMore())
        fetchMore();
}

void BasicQueryModel::release()
{
    clear();
}

} // namespace kd
