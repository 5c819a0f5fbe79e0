#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

namespace kd {

// A run: a named selection of releases and sites with an output format.
struct RunDefinition
{
    enum Format { Kavel = 0, Standard = 1, NotChosen = 2 };

    int id = -1;
    QString name;
    int format = NotChosen;
    QList<int> releaseIds;
    QList<int> siteIds;
    // Optional detection window: only events whose first detection lies within it (bounds
    // included) count for the run. A null bound is open.
    QDateTime windowStart;
    QDateTime windowEnd;
    QString validationMessage;

    // True when the run can be processed. Otherwise false, with the first problem found stored
    // in validationMessage; a valid run leaves the message empty.
    bool validate();

    // "Standard" for the Standard code, "KAVEL" for every other.
    static QString formatName(int format);
    // 1 for the exact text "Standard", 0 for any other.
    static int formatCode(const QString& name);
};

} // namespace kd
