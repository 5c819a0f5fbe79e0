#pragma once

#include <QString>

namespace kd {

// One array of a site, or one release group of a release, as the builders' lists show it.
struct DefinitionPart
{
    // The site or release it belongs to.
    int ownerId = -1;
    QString ownerName;
    QString location;
    qint64 riverKm = 0;
    // Release groups only.
    QString species;
    // The deploy year of an array, the tag year of a release group.
    int year = 0;
    // The fish released in a release group; 0 for an array.
    qint64 count = 0;
};

} // namespace kd
