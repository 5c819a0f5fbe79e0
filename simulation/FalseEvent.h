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
    QDateTime first;
    QDateTime last;   // read, not used
    qint32 value = 0; // read, not used
};

// Sets of false events by name, in name order.
using FalseEventSets = QMap<QString, QList<FalseEvent>>;

} // namespace kd
