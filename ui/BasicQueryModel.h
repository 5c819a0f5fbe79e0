#pragma once

#include <QSqlQueryModel>

namespace kd {

class QueryModelDataProvider;

// A table view's rows: the result of its kind's query over the default database connection.
class BasicQueryModel : public QSqlQueryModel
{
    Q_OBJECT

public:
    // The source is not owned and must outlive the model.
    explicit BasicQueryModel(const QueryModelDataProvider* source, QObject* parent = nullptr);
    ~BasicQueryModel() override;

    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    // Runs the query again and reads all of its rows.
    virtual void refresh();
    // Drops the query and its rows, so that the model holds nothing of the connection.
    void release();

    int idColumn() const { return idColumn_; }

private:
    int idColumn_ = 0;
    const QueryModelDataProvider* source_;
};

} // namespace kd
