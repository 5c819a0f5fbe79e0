#pragma once

#include <QString>
#include <QStringList>

#include <memory>

namespace kd {

// The column titles of one view kind and the store's listing behind it.
class QueryModelDataProvider
{
public:
    QueryModelDataProvider(const QStringList& titles, const QString& query);
    virtual ~QueryModelDataProvider();

    const QStringList& titles() const { return titles_; }
    const QString& query() const { return query_; }

    // Null for a number that is no view kind.
    static std::unique_ptr<QueryModelDataProvider> forKind(int kind, const QString& tableName);
    // The store table that a view kind lists (a table number of the store), or -1.
    static int tableOfKind(int kind);

private:
    QStringList titles_;
    QString query_;
};

} // namespace kd
