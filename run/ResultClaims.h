#pragma once

#include <QMap>
#include <QString>

namespace kd {

// The result files claimed by the runs of one sequence, on the desktop as on the console: a
// later run must not overwrite an earlier one's file. Two names of one folder (a link) lead to
// one file.
class ResultClaims
{
public:
    // Claims path for run; empty when it was free, otherwise the refusal to report.
    QString claim(const QString& path, const QString& run);
    void clear() { claimed_.clear(); }

private:
    // Run by the file it writes, the folder named canonically.
    QMap<QString, QString> claimed_;
};

} // namespace kd
