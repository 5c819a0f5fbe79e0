#pragma once

#include "ui/BasicQueryModel.h"

namespace kd {

// The loaded data files: the file name without its folder and readable date-times.
class LoadsTableModel : public BasicQueryModel
{
    Q_OBJECT

public:
    using BasicQueryModel::BasicQueryModel;

    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
};

} // namespace kd
