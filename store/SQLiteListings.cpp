#include "store/SQLiteListings.h"

#include "store/DataProvider.h"

namespace kd {

QString SQLiteListings::query(int table, const QString& tableName)
{
    QString sql;
    switch (table) {
    case DataProvider::LoadsTable:
        sql =
            QStringLiteral("SELECT id, model, file_path, load_date, file_date FROM %1 ORDER BY id");
        break;
    case DataProvider::RunsTable:
        // The window's bounds make one column and the models another (RunsTableModel).
        sql = QStringLiteral(
            "SELECT a.id, a.name, a.format, GROUP_CONCAT(DISTINCT d.name) AS releases, "
            "GROUP_CONCAT(DISTINCT e.name) AS sites, a.window_start, a.window_end FROM %1 a JOIN "
            "releases_runs b ON a.id = "
            "b.run_id JOIN runs_sites c ON a.id = c.run_id JOIN releases d ON d.id = "
            "b.release_id JOIN sites e ON e.id = c.site_id GROUP BY a.id ORDER BY a.id");
        break;
    case DataProvider::ReleasesTable:
        sql = QStringLiteral("SELECT id, name, release_location_river_kilometer FROM %1 ORDER "
                             "BY release_location_river_kilometer DESC");
        break;
    case DataProvider::SitesTable:
        sql = QStringLiteral(
            "SELECT id, name, river_kilometer FROM %1 ORDER BY river_kilometer DESC");
        break;
    case DataProvider::ReleaseGroupsTable:
        sql = QStringLiteral("SELECT id, release_location, release_location_river_kilometer, "
                             "species_code_xlat, tag_year, release_count FROM %1 ORDER BY id");
        break;
    case DataProvider::ArraysTable:
        // The counts are kept by the load (empty for a database not loaded since they were).
        sql = QStringLiteral("SELECT id, location, river_kilometer, deploy_year, node_count, "
                             "detection_count, tag_count FROM %1 ORDER BY river_kilometer DESC");
        break;
    default:
        return QString();
    }
    return sql.arg(tableName);
}

} // namespace kd
