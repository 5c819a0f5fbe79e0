#pragma once

#include <QObject>
#include <QString>

class QTableView;

namespace kd {

// Copies a table as tab-separated text with its header line, so that the numbers paste into a
// spreadsheet: the selected rows, or every row when none is selected. Installed on a table it
// adds Copy to the table's context menu and to Ctrl+C.
class TableCopier : public QObject
{
    Q_OBJECT

public:
    // Parented to the table; the table's menu offers Copy from now on.
    static TableCopier* install(QTableView* table);

    // The text Copy puts on the clipboard; visible columns only.
    static QString text(const QTableView* table);

public slots:
    void copy();

private:
    explicit TableCopier(QTableView* table);

    QTableView* table_;
};

} // namespace kd
