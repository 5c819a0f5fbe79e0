#pragma once

#include "survival/SurvivalResult.h"

#include <QImage>
#include <QString>
#include <QStringList>

namespace kd {

// The files of a survival run, written into one folder under a base name:
//   NAME_<suffix>.csv  estimates per release (suffix "survival" in the console, "Survival" in
//                      the desktop)
//   NAME_fit.csv       one line per release: fish, removals, -2 ln L, parameters, convergence
//   NAME_marked.csv    the histories as R's marked and RMark read them
//   NAME_mark.inp      the same in MARK's input form, one group per release
//   NAME_cumulative.csv cumulative survival from each release to each site
//   NAME_vcv.csv       the covariance of the estimates' rows per release
//   NAME_survival.png  the chart of cumulative survival
// Every file is written aside and all are renamed into place only when all are complete, so a
// failure leaves the earlier set whole.
class SurvivalWriter
{
public:
    // Writes the seven files; on failure stops, sets `error` (naming the file) and returns false.
    // The chart needs a QGuiApplication.
    static bool write(const QString& folder, const QString& name, const QString& suffix,
                      const SurvivalResult& result, QString* error);

    static QStringList estimateLines(const SurvivalResult& result);
    // One release's rows of the estimates file as cells (release, parameter, from, to,
    // estimate, se, lcl, ucl; the last three empty without an interval); none without
    // estimates.
    static QList<QStringList> estimateRows(const SurvivalResult& result,
                                           const SurvivalReleaseResult& release);
    static QStringList fitLines(const SurvivalResult& result);
    static QStringList cumulativeLines(const SurvivalResult& result);
    // The rows of the cumulative file as cells (release, site, river_kilometer, estimate, se,
    // lcl, ucl).
    static QList<QStringList> cumulativeRows(const SurvivalResult& result);
    static QStringList covarianceLines(const SurvivalResult& result);
    static QStringList markedLines(const SurvivalResult& result);
    static QStringList markInputLines(const SurvivalResult& result);

    // Six decimals, as every number of these files.
    static QString number(double value);
    // A stored length or weight as the Standard layout writes it (six significant digits of
    // the single-precision value), or empty when the text is empty or not a finite number.
    static QString measureText(const QString& stored);

    // Lines joined by "\n"; with `finalLineEnd` the last line is ended too.
    static bool writeLines(const QString& path, const QStringList& lines, bool finalLineEnd,
                           QString* error);
    static bool writeImage(const QString& path, const QImage& image, QString* error);
};

} // namespace kd
