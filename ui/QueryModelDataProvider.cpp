#include "ui/QueryModelDataProvider.h"

#include "store/DataProvider.h"
#include "ui/ViewKind.h"

namespace kd {

QueryModelDataProvider::QueryModelDataProvider(const QStringList& titles, const QString& query)
    : titles_(titles), query_(query)
{
}

QueryModelDataProvider::~QueryModelDataProvider() = default;

int QueryModelDataProvider::tableOfKind(int kind)
{
    switch (kind) {
    case LoadsView:
        return DataProvider::LoadsTable;
    case RunsView:
        return DataProvider::RunsTable;
    case ReleasesView:
    case WizardReleasesView:
        return DataProvider::ReleasesTable;
    case SitesView:
    case WizardSitesView:
        return DataProvider::SitesTable;
    case ReleaseGroupsView:
        return DataProvider::ReleaseGroupsTable;
    case ArraysView:
        return DataProvider::ArraysTable;
    default:
        return -1;
    }
}

std::unique_ptr<QueryModelDataProvider> QueryModelDataProvider::forKind(int kind,
                                                                        const QString& tableName)
{
    QStringList titles;
    QString query;
    switch (kind) {
    case LoadsView:
        titles = {QStringLiteral("#"), QStringLiteral("Data Type"), QStringLiteral("File"),
                  QStringLiteral("Load Date"), QStringLiteral("File Modified Date")};
        query =
            QStringLiteral("SELECT id, model, file_path, load_date, file_date FROM %1 ORDER BY id");
        break;
    case RunsView:
        // The window's bounds make one column and the models another (RunsTableModel).
        titles = {QStringLiteral("#"),        QStringLiteral("Name"),  QStringLiteral("Format"),
                  QStringLiteral("Releases"), QStringLiteral("Sites"), QStringLiteral("Window"),
                  QStringLiteral("Models")};
        query = QStringLiteral(
            "SELECT a.id, a.name, a.format, GROUP_CONCAT(DISTINCT d.name) AS releases, "
            "GROUP_CONCAT(DISTINCT e.name) AS sites, a.window_start, a.window_end FROM %1 a JOIN "
            "releases_runs b ON a.id = "
            "b.run_id JOIN runs_sites c ON a.id = c.run_id JOIN releases d ON d.id = "
            "b.release_id JOIN sites e ON e.id = c.site_id GROUP BY a.id ORDER BY a.id");
        break;
    case ReleasesView:
    case WizardReleasesView:
        titles = {QStringLiteral("#"), QStringLiteral("Release Site"), QStringLiteral("River KM")};
        query = QStringLiteral("SELECT id, name, release_location_river_kilometer FROM %1 ORDER "
                               "BY release_location_river_kilometer DESC");
        break;
    case SitesView:
    case WizardSitesView:
        titles = {QStringLiteral("#"), QStringLiteral("Site"), QStringLiteral("River KM")};
        query = QStringLiteral(
            "SELECT id, name, river_kilometer FROM %1 ORDER BY river_kilometer DESC");
        break;
    case ReleaseGroupsView:
        titles = {QStringLiteral("#"),
                  QStringLiteral("Release Location"),
                  QStringLiteral("Release River KM"),
                  QStringLiteral("Species"),
                  QStringLiteral("Tag Year"),
                  QStringLiteral("Release Count")};
        query = QStringLiteral("SELECT id, release_location, release_location_river_kilometer, "
                               "species_code_xlat, tag_year, release_count FROM %1 ORDER BY id");
        break;
    case ArraysView:
        // The counts are kept by the load (empty for a database not loaded since they were).
        titles = {QStringLiteral("#"),          QStringLiteral("Location"),
                  QStringLiteral("River KM"),   QStringLiteral("Deploy Year"),
                  QStringLiteral("Node Count"), QStringLiteral("Detections"),
                  QStringLiteral("Tags")};
        query = QStringLiteral("SELECT id, location, river_kilometer, deploy_year, node_count, "
                               "detection_count, tag_count FROM %1 ORDER BY river_kilometer DESC");
        break;
    default:
        return nullptr;
    }
    return std::make_unique<QueryModelDataProvider>(titles, query.arg(tableName));
}

} // namespace kd
