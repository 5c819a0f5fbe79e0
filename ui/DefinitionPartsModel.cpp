#include "ui/DefinitionPartsModel.h"

#include <QStringList>

namespace kd {

namespace {

const QStringList SiteTitles = {QStringLiteral("Site"), QStringLiteral("Location"),
                                QStringLiteral("River KM"), QStringLiteral("Deploy Year")};
const QStringList ReleaseTitles = {
    QStringLiteral("Release"),          QStringLiteral("Release Location"),
    QStringLiteral("Release River KM"), QStringLiteral("Species"),
    QStringLiteral("Tag Year"),         QStringLiteral("Release Count")};

} // namespace

DefinitionPartsModel::DefinitionPartsModel(Kind kind, QObject* parent)
    : QAbstractTableModel(parent), kind_(kind)
{
}

int DefinitionPartsModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(shown_.size());
}

int DefinitionPartsModel::columnCount(const QModelIndex& parent) const
{
    if (parent.isValid())
        return 0;
    return int(kind_ == SiteArrays ? SiteTitles.size() : ReleaseTitles.size());
}

QVariant DefinitionPartsModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid))
        return QVariant();
    const DefinitionPart& part = shown_.at(index.row());
    const int column = index.column();
    if (role != Qt::DisplayRole)
        return QVariant();
    switch (column) {
    case 0:
        return part.ownerName;
    case 1:
        return part.location;
    case 2:
        return part.riverKm;
    default:
        break;
    }
    if (kind_ == SiteArrays)
        return part.year;
    switch (column) {
    case 3:
        return part.species;
    case 4:
        return part.year;
    default:
        return part.count;
    }
}

QVariant DefinitionPartsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    const QStringList& titles = kind_ == SiteArrays ? SiteTitles : ReleaseTitles;
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
        section < titles.size())
        return titles.at(section);
    return QAbstractTableModel::headerData(section, orientation, role);
}

void DefinitionPartsModel::setParts(const QList<DefinitionPart>& parts)
{
    parts_ = parts;
    rebuild();
}

void DefinitionPartsModel::showOwners(const QList<int>& ownerIds)
{
    if (ownerIds == owners_)
        return;
    owners_ = ownerIds;
    rebuild();
}

void DefinitionPartsModel::rebuild()
{
    beginResetModel();
    shown_.clear();
    for (const DefinitionPart& part : std::as_const(parts_)) {
        if (owners_.isEmpty() || owners_.contains(part.ownerId))
            shown_.append(part);
    }
    endResetModel();
}

} // namespace kd
