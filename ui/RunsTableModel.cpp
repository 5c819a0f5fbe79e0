#include "ui/RunsTableModel.h"

namespace kd {

int RunsTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : 5;
}

} // namespace kd
