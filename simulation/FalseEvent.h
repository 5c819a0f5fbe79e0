#pragma once

#include <QDateTime>
#include <QList>
#include <QMap>
#include <QString>

namespace kd {

// One false detection of a tag at a site.
struct FalseEvent
{
    bool valid = false;
    QString site;
    QString tagCode;
    // Only the first detection time counts; the file's last time and value are read past.
    QDateTime first;
};

// Sets of false events by name, in name order.
using FalseEventSets = QMap<QString, QList<FalseEvent>>;

} // namespace kd
