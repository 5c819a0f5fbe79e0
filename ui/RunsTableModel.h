#pragma once

#include "ui/BasicQueryModel.h"

namespace kd {

// The defined runs with their releases, sites, detection window and models. The query gives
// the window's bounds in two columns; the model shows them as one "start to end" text and puts
// the models in the column after it.
class RunsTableModel : public BasicQueryModel
{
    Q_OBJECT

public:
    enum Column { WindowColumn = 5, ModelsColumn = 6 };

    using BasicQueryModel::BasicQueryModel;

    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    // "start to end", "open" for an open bound; empty for a run without a window.
    static QString windowText(const QString& start, const QString& end);
};

} // namespace kd
