#include "ui/DefinitionBuilder.h"

#include "store/DataProvider.h"
#include "ui/Dialogs.h"
#include "ui/QueryViewManager.h"
#include "ui/ViewKind.h"

#include <QLineEdit>

#include <limits>

namespace kd {

DefinitionBuilder::DefinitionBuilder(Kind kind, QLineEdit* nameEdit, QLineEdit* riverKmEdit)
    : kind_(kind), nameEdit_(nameEdit), riverKmEdit_(riverKmEdit)
{
}

QString DefinitionBuilder::invalidStyle()
{
    return QStringLiteral("border: 1px solid red");
}

int DefinitionBuilder::availableKind() const
{
    return kind_ == Releases ? ReleaseGroupsView : ArraysView;
}

int DefinitionBuilder::definedKind() const
{
    return kind_ == Releases ? ReleasesView : SitesView;
}

int DefinitionBuilder::wizardKind() const
{
    return kind_ == Releases ? WizardReleasesView : WizardSitesView;
}

QString DefinitionBuilder::locationColumn() const
{
    return kind_ == Releases ? QStringLiteral("release_location") : QStringLiteral("location");
}

QString DefinitionBuilder::riverKmColumn() const
{
    return kind_ == Releases ? QStringLiteral("release_location_river_kilometer")
                             : QStringLiteral("river_kilometer");
}

bool DefinitionBuilder::suggest(const QList<QSqlRecord>& rows, const QString& locationColumn,
                                const QString& riverKmColumn, Suggestion& suggestion)
{
    if (rows.isEmpty())
        return false;
    float lowest = std::numeric_limits<float>::max();
    for (const QSqlRecord& row : rows)
        lowest = std::min(lowest, row.value(riverKmColumn).toFloat());
    suggestion.riverKm = QString::number(double(lowest), 'g', 6);
    const QString first = rows.first().value(locationColumn).toString();
    suggestion.name =
        rows.size() == 1
            ? first
            : QStringLiteral("%1-%2").arg(first, rows.last().value(locationColumn).toString());
    return true;
}

void DefinitionBuilder::suggest(const QueryViewManager& views) const
{
    QList<QSqlRecord> records;
    const QList<int> rows = views.selectedRows(availableKind());
    for (int row : rows)
        records.append(views.record(availableKind(), row));
    Suggestion suggestion;
    if (!suggest(records, locationColumn(), riverKmColumn(), suggestion))
        return;
    nameEdit_->setText(suggestion.name);
    riverKmEdit_->setText(suggestion.riverKm);
}

bool DefinitionBuilder::create(QueryViewManager& views, DataProvider& store, Dialogs& dialogs,
                               QWidget* parent, const QString& caption) const
{
    const QString what = kind_ == Releases ? QStringLiteral("release") : QStringLiteral("site");
    const QList<int> ids = views.selectedIds(availableKind());
    if (ids.isEmpty()) {
        dialogs.critical(parent, caption,
                         kind_ == Releases ? QStringLiteral("No release groups selected.")
                                           : QStringLiteral("No arrays selected."));
        return false;
    }
    const QString name = nameEdit_->text();
    if (name.isEmpty()) {
        nameEdit_->setStyleSheet(invalidStyle());
        dialogs.critical(parent, caption, QStringLiteral("No name given for %1").arg(what));
        return false;
    }
    nameEdit_->setStyleSheet(QString());

    const QString riverKmText = riverKmEdit_->text();
    if (riverKmText.isEmpty()) {
        riverKmEdit_->setStyleSheet(invalidStyle());
        dialogs.critical(parent, caption,
                         QStringLiteral("No river kilometer given for %1").arg(what));
        return false;
    }
    // A kilometre such as 12.5 would be stored as 0: the user has to choose the whole number.
    bool isNumber = false;
    const int riverKm = riverKmText.trimmed().toInt(&isNumber, 10);
    if (!isNumber) {
        riverKmEdit_->setStyleSheet(invalidStyle());
        dialogs.critical(parent, caption,
                         QStringLiteral("The river kilometer of a %1 must be a whole number, "
                                        "not \"%2\".")
                             .arg(what, riverKmText));
        return false;
    }
    riverKmEdit_->setStyleSheet(QString());

    add(store, name, riverKm, ids);
    refreshDefined(views);
    return true;
}

int DefinitionBuilder::bulkAdd(QueryViewManager& views, DataProvider& store) const
{
    const QList<int> rows = views.selectedRows(availableKind());
    for (int row : rows) {
        const QSqlRecord record = views.record(availableKind(), row);
        const QString location = record.value(locationColumn()).toString();
        const QString name =
            kind_ == Releases
                ? QStringLiteral("%1 %2").arg(
                      location, record.value(QStringLiteral("species_code_xlat")).toString())
                : location;
        add(store, name, record.value(riverKmColumn()).toInt(),
            {record.value(QStringLiteral("id")).toInt()});
    }
    if (!rows.isEmpty())
        refreshDefined(views);
    return int(rows.size());
}

int DefinitionBuilder::deleteSelected(QueryViewManager& views, DataProvider& store) const
{
    const QList<int> ids = views.selectedIds(definedKind());
    views.selectAll(definedKind(), false);
    if (ids.isEmpty())
        return 0;
    if (kind_ == Releases)
        store.deleteReleases(ids);
    else
        store.deleteSites(ids);
    refreshDefined(views);
    // A run without releases or sites drops out of the run list.
    views.refresh(RunsView);
    return int(ids.size());
}

void DefinitionBuilder::add(DataProvider& store, const QString& name, int riverKm,
                            const QList<int>& ids) const
{
    if (kind_ == Releases)
        store.addRelease(name, riverKm, ids);
    else
        store.addSite(name, riverKm, ids);
}

void DefinitionBuilder::refreshDefined(QueryViewManager& views) const
{
    views.refresh(definedKind());
    views.refresh(wizardKind());
}

} // namespace kd
