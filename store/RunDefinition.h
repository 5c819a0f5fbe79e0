#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

namespace kd {

// A run: a named selection of releases and sites with an output format.
struct RunDefinition
{
    // Codes never change; a new format takes the next free number.
    enum Format : int { Kavel = 0, Standard = 1, NotChosen = 2, Survival = 3 };

    int id = -1;
    QString name;
    Format format = NotChosen;
    QList<int> releaseIds;
    QList<int> siteIds;
    // Optional detection window: only events whose first detection lies within it (bounds
    // included) count for the run. A null bound is open.
    QDateTime windowStart;
    QDateTime windowEnd;
    // Survival: profile-likelihood intervals on every row, not only at a bound.
    bool profileIntervals = false;
    QString validationMessage;

    // True when the run can be processed. Otherwise false, with the first problem found stored
    // in validationMessage; a valid run leaves the message empty.
    bool validate();

    // "Standard" or "Survival" for their codes, "KAVEL" for every other.
    static QString formatName(Format format);
    // Standard or Survival for their exact names, Kavel for any other text.
    static Format formatCode(const QString& name);
};

} // namespace kd
