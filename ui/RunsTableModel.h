#pragma once

#include "ui/BasicQueryModel.h"

namespace kd {

// The defined runs with their releases and sites; always five columns.
class RunsTableModel : public BasicQueryModel
{
    Q_OBJECT

public:
    using BasicQueryModel::BasicQueryModel;

    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
};

} // namespace kd
