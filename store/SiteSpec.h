#pragma once

#include <QString>

namespace kd {

// A detection site as the simulation configuration defines it.
struct SiteSpec
{
    QString name;
    QString location;
    qint32 year = 0;
};

} // namespace kd
