#include "ui/QueryModelDataProvider.h"

#include "store/DataProvider.h"
#include "store/SQLiteListings.h"
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
    switch (kind) {
    case LoadsView:
        titles = {QStringLiteral("#"), QStringLiteral("Data Type"), QStringLiteral("File"),
                  QStringLiteral("Load Date"), QStringLiteral("File Modified Date")};
        break;
    case RunsView:
        titles = {QStringLiteral("#"),        QStringLiteral("Name"),  QStringLiteral("Format"),
                  QStringLiteral("Releases"), QStringLiteral("Sites"), QStringLiteral("Window"),
                  QStringLiteral("Models")};
        break;
    case ReleasesView:
    case WizardReleasesView:
        titles = {QStringLiteral("#"), QStringLiteral("Release Site"), QStringLiteral("River KM")};
        break;
    case SitesView:
    case WizardSitesView:
        titles = {QStringLiteral("#"), QStringLiteral("Site"), QStringLiteral("River KM")};
        break;
    case ReleaseGroupsView:
        titles = {QStringLiteral("#"),
                  QStringLiteral("Release Location"),
                  QStringLiteral("Release River KM"),
                  QStringLiteral("Species"),
                  QStringLiteral("Tag Year"),
                  QStringLiteral("Release Count")};
        break;
    case ArraysView:
        titles = {QStringLiteral("#"),          QStringLiteral("Location"),
                  QStringLiteral("River KM"),   QStringLiteral("Deploy Year"),
                  QStringLiteral("Node Count"), QStringLiteral("Detections"),
                  QStringLiteral("Tags")};
        break;
    default:
        return nullptr;
    }
    return std::make_unique<QueryModelDataProvider>(
        titles, SQLiteListings::query(tableOfKind(kind), tableName));
}

} // namespace kd
