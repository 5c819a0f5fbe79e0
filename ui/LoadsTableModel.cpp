#include "ui/LoadsTableModel.h"

#include "base/DateTimeText.h"

#include <QFileInfo>

namespace kd {

namespace {

enum Column { FilePathColumn = 2, LoadDateColumn = 3, FileDateColumn = 4 };

} // namespace

QVariant LoadsTableModel::data(const QModelIndex& index, int role) const
{
    const QVariant value = BasicQueryModel::data(index, role);
    if (role != Qt::DisplayRole || !index.isValid() || value.isNull())
        return value;
    switch (index.column()) {
    case FilePathColumn:
        return QFileInfo(value.toString()).fileName();
    case LoadDateColumn:
    case FileDateColumn: {
        // Shown as stored: read through the local zone, a wall-clock time in a skipped
        // daylight-saving hour would be shifted or lost. Unreadable text is shown as it is.
        const QDateTime dateTime = DateTimeText::parse(value.toString());
        return dateTime.isValid() ? QVariant(DateTimeText::format(dateTime)) : value;
    }
    default:
        return value;
    }
}

} // namespace kd
