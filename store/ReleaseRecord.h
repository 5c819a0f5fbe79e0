#pragma once

#include <QString>

namespace kd {

// One entry of a configured release: the release groups of a release location and species in
// a year, selected under the release's name. A release with several entries pools them.
struct ReleaseRecord
{
    QString name;
    QString site;
    QString species;
    qint32 riverKm = 0;
    qint32 year = 0;
};

} // namespace kd
