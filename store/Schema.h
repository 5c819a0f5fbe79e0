#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

namespace kd {

// The database schema, written once: every table as a list of its columns with their declared
// types (storage in SQLite follows the declared type, so they stay exactly as they are) and,
// for the columns that come from data files, their header names and accepted aliases. Table
// numbers are those of DataProvider::Table; the first seven tables are the data file models,
// each with the checks its columns' values get and the key that marks its header line.
namespace Schema {

// What the loader checks in a data column's values; runs read these columns as such.
enum class Check { None, DateTime, RealNumber, WholeNumber };

struct Column
{
    const char* name;
    // Declared type; empty for a column declared without one.
    const char* type;
    // True for a column read from the data files, in header order.
    bool fromFile = false;
    QStringList aliases = {};
    Check check = Check::None;
};

int tableCount();
QString tableName(int table);
const QList<Column>& columns(int table);
// "create table NAME (...)" with every column.
QString createStatement(int table);
// The columns a data file of the model must have, in header order.
QStringList fileColumns(int model);
QMap<QString, QStringList> aliases(int model);
// The check of each of fileColumns(model), in the same order.
QList<Check> fileChecks(int model);
// A foreign id stored with a data row: the row's id column, the kind whose rows it points at,
// and the code column the two share. The store fills it while rows go in and at the end of a
// load, which then indexes the id column.
struct Link
{
    int target;
    int source;
    const char* idColumn;
    const char* codeColumn;
    // The code's position among the target's file columns, which the insert binds in order.
    int codeField;
};
// Every kind's links, in load order.
const QList<Link>& links();
// The columns of a kind indexed at the end of a load before the ids are filled: the codes the
// links look up, and the location the summaries group by.
QStringList indexedColumns(int model);
// The key columns of the data kinds, each once: a line is taken for a header only when it
// names one of them.
QStringList keyColumns();
// "insert into NAME (file columns, load_id, extra columns) values (?, ...)[, (?, ...)...]" for
// the loader, with rows sets of values.
QByteArray insertStatement(int model, const QStringList& extraColumns = {}, int rows = 1);

} // namespace Schema
} // namespace kd
