#include "ui/DefinitionBuilder.h"

#include "store/DefinitionStore.h"
#include "ui/BasicQueryModel.h"
#include "ui/Dialogs.h"
#include "ui/QueryViewManager.h"
#include "ui/SuggestionField.h"
#include "ui/ViewKind.h"

#include <QHash>
#include <QLineEdit>
#include <QStringList>

#include <limits>

namespace kd {

namespace {

// The names of a bulk add, made unique among themselves and against the taken ones (trimmed);
// years[i] is the year of names[i].
QStringList uniqueNames(const QStringList& names, const QStringList& years, QSet<QString> taken)
{
    QHash<QString, int> uses;
    for (const QString& name : names)
        ++uses[name.trimmed()];
    QStringList unique;
    for (qsizetype i = 0; i < names.size(); ++i) {
        QString name = names[i];
        const QString key = name.trimmed();
        if ((uses.value(key) > 1 || taken.contains(key)) && !years[i].isEmpty())
            name = QStringLiteral("%1 %2").arg(name, years[i]);
        const QString stem = name;
        for (int n = 2; taken.contains(name.trimmed()); ++n)
            name = QStringLiteral("%1 (%2)").arg(stem).arg(n);
        taken.insert(name.trimmed());
        unique.append(name);
    }
    return unique;
}

} // namespace

DefinitionBuilder::DefinitionBuilder(Kind kind, QLineEdit* nameEdit, QLineEdit* riverKmEdit)
    : kind_(kind), nameEdit_(nameEdit), riverKmEdit_(riverKmEdit),
      nameField_(new SuggestionField(nameEdit)), riverKmField_(new SuggestionField(riverKmEdit))
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

QString DefinitionBuilder::yearColumn() const
{
    return kind_ == Releases ? QStringLiteral("tag_year") : QStringLiteral("deploy_year");
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
    nameField_->suggest(suggestion.name);
    riverKmField_->suggest(suggestion.riverKm);
}

bool DefinitionBuilder::create(QueryViewManager& views, DefinitionStore& store, Dialogs& dialogs,
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
    if (takenNames(views).contains(name.trimmed())) {
        nameEdit_->setStyleSheet(invalidStyle());
        dialogs.critical(
            parent, caption,
            QStringLiteral("A %1 named \"%2\" already exists.").arg(what, name.trimmed()));
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

int DefinitionBuilder::bulkAdd(QueryViewManager& views, DefinitionStore& store) const
{
    const QList<int> rows = views.selectedRows(availableKind());
    QList<QSqlRecord> records;
    QStringList names, years;
    for (int row : rows) {
        const QSqlRecord record = views.record(availableKind(), row);
        const QString location = record.value(locationColumn()).toString();
        names.append(
            kind_ == Releases
                ? QStringLiteral("%1 %2").arg(
                      location, record.value(QStringLiteral("species_code_xlat")).toString())
                : location);
        years.append(record.value(yearColumn()).toString());
        records.append(record);
    }
    names = uniqueNames(names, years, takenNames(views));
    for (qsizetype i = 0; i < records.size(); ++i)
        add(store, names[i], records[i].value(riverKmColumn()).toInt(),
            {records[i].value(QStringLiteral("id")).toInt()});
    if (!rows.isEmpty())
        refreshDefined(views);
    return int(rows.size());
}

int DefinitionBuilder::deleteSelected(QueryViewManager& views, DefinitionStore& store) const
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

void DefinitionBuilder::add(DefinitionStore& store, const QString& name, int riverKm,
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

QSet<QString> DefinitionBuilder::takenNames(const QueryViewManager& views) const
{
    QSet<QString> names;
    const BasicQueryModel* defined = views.model(definedKind());
    for (int row = 0; defined && row < defined->rowCount(); ++row)
        names.insert(defined->record(row).value(QStringLiteral("name")).toString().trimmed());
    return names;
}

} // namespace kd
