#include "ui/RunsTableModel.h"

namespace kd {

int RunsTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ModelsColumn + 1;
}

QVariant RunsTableModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.column() < WindowColumn)
        return BasicQueryModel::data(index, role);
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return QVariant();
    if (index.column() == WindowColumn) {
        const QModelIndex start = index.siblingAtColumn(WindowColumn);
        const QModelIndex end = index.siblingAtColumn(WindowColumn + 1);
        return windowText(BasicQueryModel::data(start).toString(),
                          BasicQueryModel::data(end).toString());
    }
    // No run keeps a list of survival models yet: the column waits for it.
    return QString();
}

QString RunsTableModel::windowText(const QString& start, const QString& end)
{
    if (start.isEmpty() && end.isEmpty())
        return QString();
    const QString open = QStringLiteral("open");
    return QStringLiteral("%1 to %2")
        .arg(start.isEmpty() ? open : start, end.isEmpty() ? open : end);
}

} // namespace kd
