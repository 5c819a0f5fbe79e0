#pragma once

#include "store/DefinitionPart.h"

#include <QAbstractTableModel>
#include <QList>

namespace kd {

// The arrays that make up the sites, or the release groups that make up the releases, one row
// each with the site or release it belongs to. It shows the parts of the chosen sites or
// releases, or of all of them while none is chosen.
class DefinitionPartsModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Kind { SiteArrays, ReleaseGroups };

    explicit DefinitionPartsModel(Kind kind, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    // Every part, in the order given.
    void setParts(const QList<DefinitionPart>& parts);
    // Shows only the parts of these sites or releases; an empty list shows all.
    void showOwners(const QList<int>& ownerIds);

private:
    void rebuild();

    Kind kind_;
    QList<DefinitionPart> parts_;
    QList<int> owners_;
    QList<DefinitionPart> shown_;
};

} // namespace kd
