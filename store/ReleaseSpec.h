#pragma once

#include <QString>

namespace kd {

// A release as the simulation configuration defines it.
struct ReleaseSpec
{
    QString name;
    QString site;
    QString species;
    qint32 riverKm = 0;
    qint32 year = 0;
};

} // namespace kd
