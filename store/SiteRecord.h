#pragma once

#include <QString>

namespace kd {

// One entry of a configured detection site: the arrays of a location deployed in a year, under
// the site's name. A site with several entries pools them.
struct SiteRecord
{
    QString name;
    QString location;
    qint32 year = 0;
};

} // namespace kd
