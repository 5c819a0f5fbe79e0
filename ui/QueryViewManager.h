#pragma once

#include <QList>
#include <QMap>
#include <QPointer>
#include <QSqlRecord>
#include <QTableView>

namespace kd {

class BasicQueryModel;
class QueryModelCache;
class DataProvider;

// Binds the table views of one database to their query models, refreshes them and reads their
// selections. Views are addressed by view kind (ViewKind).
class QueryViewManager
{
public:
    // Neither the store nor the cache is owned.
    QueryViewManager(DataProvider* provider, QueryModelCache* cache);

    QueryViewManager(const QueryViewManager&) = delete;
    QueryViewManager& operator=(const QueryViewManager&) = delete;

    // Gives the view its kind's model and fills it; only the first binding of a kind counts.
    void bind(int kind, QTableView* view);
    QTableView* view(int kind) const;
    // The store the views list; not owned.
    DataProvider* provider() const { return provider_; }
    BasicQueryModel* model(int kind) const;

    void refresh(int kind);
    void refreshAll();

    // Ids (first column) and row numbers of the selected rows, in the order of the selection.
    QList<int> selectedIds(int kind) const;
    QList<int> selectedRows(int kind) const;
    QSqlRecord record(int kind, int row) const;

    // Adds the first row with that id to the selection.
    void selectById(int kind, int id);
    void selectAll(int kind, bool select);

private:
    DataProvider* provider_;
    QueryModelCache* cache_;
    QMap<int, QPointer<QTableView>> views_;
    QMap<int, int> tables_;
};

} // namespace kd
