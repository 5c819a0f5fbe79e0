#include "ui/TableCopier.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QTableView>

#include <algorithm>

namespace kd {

namespace {

// Tabs and line ends inside a cell would shift the cells after it.
QString cell(const QVariant& value)
{
    QString text = value.toString();
    text.replace(QLatin1Char('\t'), QLatin1Char(' '));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return text;
}

} // namespace

TableCopier::TableCopier(QTableView* table) : QObject(table), table_(table) {}

TableCopier* TableCopier::install(QTableView* table)
{
    auto* copier = new TableCopier(table);
    auto* action = new QAction(QStringLiteral("Copy"), table);
    action->setObjectName(QStringLiteral("copyAction_"));
    action->setShortcut(QKeySequence::Copy);
    action->setShortcutContext(Qt::WidgetShortcut);
    connect(action, &QAction::triggered, copier, &TableCopier::copy);
    table->addAction(action);
    table->setContextMenuPolicy(Qt::ActionsContextMenu);
    return copier;
}

QString TableCopier::text(const QTableView* table)
{
    const QAbstractItemModel* model = table->model();
    if (!model)
        return QString();
    QList<int> columns;
    for (int column = 0; column < model->columnCount(); ++column) {
        if (!table->isColumnHidden(column))
            columns.append(column);
    }
    QList<int> rows;
    if (const QItemSelectionModel* selection = table->selectionModel()) {
        for (const QModelIndex& index : selection->selectedIndexes()) {
            if (!rows.contains(index.row()))
                rows.append(index.row());
        }
    }
    std::sort(rows.begin(), rows.end());
    if (rows.isEmpty()) {
        for (int row = 0; row < model->rowCount(); ++row)
            rows.append(row);
    }
    QStringList lines;
    QStringList cells;
    for (int column : std::as_const(columns))
        cells.append(cell(model->headerData(column, Qt::Horizontal)));
    lines.append(cells.join(QLatin1Char('\t')));
    for (int row : std::as_const(rows)) {
        cells.clear();
        for (int column : std::as_const(columns))
            cells.append(cell(model->index(row, column).data()));
        lines.append(cells.join(QLatin1Char('\t')));
    }
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

void TableCopier::copy()
{
    QGuiApplication::clipboard()->setText(text(table_));
}

} // namespace kd
