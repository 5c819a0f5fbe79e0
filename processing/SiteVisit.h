#pragma once

#include <QDateTime>
#include <QString>

namespace kd {

// One site of the run as seen by one fish: where the site lies and whether (and when) the fish
// was detected there.
struct SiteVisit
{
    QString site;
    int index = 0;   // position in the run's site list
    int riverKm = 0; // 0 when the site has no known river kilometre
    int detected = 0;
    QDateTime first; // invalid unless detected
    QDateTime last;  // invalid unless detected
};

} // namespace kd
