#include "ui/QueryViewManager.h"

#include "store/DataProvider.h"
#include "ui/BasicQueryModel.h"
#include "ui/QueryModelCache.h"
#include "ui/QueryModelDataProvider.h"
#include "ui/ViewKind.h"

#include <QHeaderView>
#include <QItemSelectionModel>

namespace kd {

QueryViewManager::QueryViewManager(DataProvider* provider, QueryModelCache* cache)
    : provider_(provider), cache_(cache)
{
    for (int kind = 0; kind < ViewKindCount; ++kind)
        tables_.insert(kind, QueryModelDataProvider::tableOfKind(kind));
}

void QueryViewManager::bind(int kind, QTableView* view)
{
    if (!view || views_.contains(kind) || !tables_.contains(kind))
        return;
    BasicQueryModel* model = cache_->model(kind, provider_->tableName(tables_.value(kind)));
    if (!model)
        return;
    if (view->model() != model) {
        QItemSelectionModel* previous = view->selectionModel();
        view->setModel(model);
        // A view does not delete the selection model of its previous model.
        if (previous && previous != view->selectionModel())
            previous->deleteLater();
    }
    views_.insert(kind, view);
    refresh(kind);
}

QTableView* QueryViewManager::view(int kind) const
{
    return views_.value(kind);
}

BasicQueryModel* QueryViewManager::model(int kind) const
{
    QTableView* bound = view(kind);
    return bound ? qobject_cast<BasicQueryModel*>(bound->model()) : nullptr;
}

void QueryViewManager::refresh(int kind)
{
    QTableView* bound = view(kind);
    BasicQueryModel* boundModel = model(kind);
    if (!bound || !boundModel)
        return;
    boundModel->refresh();
    bound->hideColumn(boundModel->idColumn());
    bound->setSelectionBehavior(QAbstractItemView::SelectRows);
    bound->horizontalHeader()->setStretchLastSection(true);
    bound->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // Compact rows: the lists are long and the window is small.
    bound->verticalHeader()->setDefaultSectionSize(bound->fontMetrics().height() + 8);
    bound->resizeColumnsToContents();
}

void QueryViewManager::refreshAll()
{
    for (auto it = views_.cbegin(); it != views_.cend(); ++it)
        refresh(it.key());
}

QList<int> QueryViewManager::selectedRows(int kind) const
{
    QList<int> rows;
    QTableView* bound = view(kind);
    if (!bound || !bound->selectionModel())
        return rows;
    const QItemSelection selection = bound->selectionModel()->selection();
    for (const QItemSelectionRange& range : selection) {
        for (int row = range.top(); row <= range.bottom(); ++row) {
            if (!rows.contains(row))
                rows.append(row);
        }
    }
    return rows;
}

QList<int> QueryViewManager::selectedIds(int kind) const
{
    QList<int> ids;
    BasicQueryModel* boundModel = model(kind);
    if (!boundModel)
        return ids;
    const QList<int> rows = selectedRows(kind);
    for (int row : rows)
        ids.append(boundModel->index(row, boundModel->idColumn()).data().toInt());
    return ids;
}

QSqlRecord QueryViewManager::record(int kind, int row) const
{
    BasicQueryModel* boundModel = model(kind);
    return boundModel ? boundModel->record(row) : QSqlRecord();
}

void QueryViewManager::selectById(int kind, int id)
{
    QTableView* bound = view(kind);
    BasicQueryModel* boundModel = model(kind);
    if (!bound || !boundModel)
        return;
    for (int row = 0; row < boundModel->rowCount(); ++row) {
        if (boundModel->record(row).value(QStringLiteral("id")).toInt() == id) {
            const QModelIndex index = boundModel->index(row, boundModel->idColumn());
            bound->selectionModel()->select(index, QItemSelectionModel::Select |
                                                       QItemSelectionModel::Rows);
            bound->scrollTo(boundModel->index(row, 1));
            return;
        }
    }
}

void QueryViewManager::selectAll(int kind, bool select)
{
    QTableView* bound = view(kind);
    BasicQueryModel* boundModel = model(kind);
    if (!bound || !boundModel)
        return;
    if (!select) {
        bound->clearSelection();
        return;
    }
    const int rows = boundModel->rowCount();
    const int columns = boundModel->columnCount();
    if (rows == 0 || columns == 0)
        return;
    bound->selectionModel()->select(
        QItemSelection(boundModel->index(0, 0), boundModel->index(rows - 1, columns - 1)),
        QItemSelectionModel::Select);
}

} // namespace kd
