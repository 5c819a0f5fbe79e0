#pragma once

#include <QObject>

#include <map>
#include <memory>

namespace kd {

class BasicQueryModel;
class QueryModelDataProvider;

// The query models of the window's views, one per view kind, created on first use. They outlive
// a change of data folder, so that each view keeps its model and selection model.
class QueryModelCache : public QObject
{
    Q_OBJECT

public:
    explicit QueryModelCache(QObject* parent = nullptr);
    ~QueryModelCache() override;

    // The model of a kind, created with the given table name on first use; null for a number
    // that is no view kind.
    BasicQueryModel* model(int kind, const QString& tableName);
    // The model of a kind if it exists.
    BasicQueryModel* existingModel(int kind) const;

    // Makes every model let go of the database connection, before the connection is closed.
    void releaseQueries();

private:
    std::map<int, std::unique_ptr<QueryModelDataProvider>> sources_;
    std::map<int, std::unique_ptr<BasicQueryModel>> models_;
};

} // namespace kd
