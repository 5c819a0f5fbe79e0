#include "survival/SurvivalWriter.h"

#include "processing/CsvField.h"
#include "survival/SurvivalChart.h"

#include <QDir>
#include <QSaveFile>

#include <cmath>

namespace kd {

namespace {

void setError(QString* error, const QString& text)
{
    if (error)
        *error = text;
}

// Estimate, se, lcl and ucl; the last three empty without an interval.
void appendEstimate(QStringList& cells, const CjsEstimate& estimate)
{
    cells.append(SurvivalWriter::number(estimate.value));
    for (double value : {estimate.se, estimate.lcl, estimate.ucl})
        cells.append(estimate.hasInterval ? SurvivalWriter::number(value) : QString());
}

} // namespace

QString SurvivalWriter::number(double value)
{
    return QString::number(value, 'f', 6);
}

QString SurvivalWriter::measureText(const QString& stored)
{
    bool ok = false;
    const double value = stored.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(value) || !std::isfinite(float(value)))
        return QString();
    return QString::number(double(float(value)), 'g', 6);
}

QList<QStringList> SurvivalWriter::estimateRows(const SurvivalResult& result,
                                                const SurvivalReleaseResult& release)
{
    QList<QStringList> rows;
    const qsizetype n = result.sites.size();
    if (!release.estimated || n == 0)
        return rows;
    const auto row = [&](const char* parameter, const QString& from, const QString& to,
                         const CjsEstimate& estimate) {
        QStringList cells = {release.name, QLatin1String(parameter), from, to};
        appendEstimate(cells, estimate);
        rows.append(cells);
    };
    // Reach i runs from the release (i = 0) or site i - 1 to site i.
    for (qsizetype i = 0; i + 1 < n; ++i)
        row("phi", i == 0 ? release.name : result.sites[i - 1], result.sites[i],
            release.fit.phi[size_t(i)]);
    for (qsizetype i = 0; i + 1 < n; ++i)
        row("p", result.sites[i], QString(), release.fit.p[size_t(i)]);
    row("beta", n >= 2 ? result.sites[n - 2] : release.name, result.sites[n - 1], release.fit.beta);
    return rows;
}

QStringList SurvivalWriter::estimateLines(const SurvivalResult& result)
{
    QStringList lines = {QStringLiteral("release,parameter,from,to,estimate,se,lcl,ucl")};
    for (const SurvivalReleaseResult& release : result.releases) {
        for (const QStringList& cells : estimateRows(result, release)) {
            QStringList fields;
            for (const QString& cell : cells)
                fields.append(csvField(cell));
            lines.append(fields.join(u','));
        }
    }
    return lines;
}

QStringList SurvivalWriter::fitLines(const SurvivalResult& result)
{
    QStringList lines = {QStringLiteral("release,fish,removed,minus2lnl,parameters,converged")};
    for (const SurvivalReleaseResult& release : result.releases) {
        // A release without detections has no fit: no -2 ln L, no parameters.
        const bool fitted = release.estimated;
        lines.append(
            csvField(release.name) + u',' + QString::number(release.fish) + u',' +
            QString::number(release.removed) + u',' +
            (fitted ? number(release.fit.minus2LnL) : QString()) + u',' +
            QString::number(fitted ? release.fit.parameters : 0) + u',' +
            (fitted && release.fit.converged ? QStringLiteral("true") : QStringLiteral("false")));
    }
    return lines;
}

QStringList SurvivalWriter::markedLines(const SurvivalResult& result)
{
    QStringList lines = {QStringLiteral("ch,freq,release,tag_code,length,weight")};
    for (const SurvivalHistory& fish : result.histories)
        lines.append(fish.history +
                     (fish.removed ? QStringLiteral(",-1,") : QStringLiteral(",1,")) +
                     csvField(result.releases[fish.release].name) + u',' + csvField(fish.tagCode) +
                     u',' + csvField(fish.length) + u',' + csvField(fish.weight));
    return lines;
}

QStringList SurvivalWriter::markInputLines(const SurvivalResult& result)
{
    QStringList lines;
    const qsizetype groups = result.releases.size();
    for (const SurvivalHistory& fish : result.histories) {
        // A tag code cannot close the comment early.
        QString tag = fish.tagCode;
        tag.replace(QStringLiteral("*/"), QStringLiteral("* /"));
        QString line = QStringLiteral("/* ") + tag + QStringLiteral(" */ ") + fish.history;
        for (qsizetype g = 0; g < groups; ++g) {
            line += u' ';
            line += g != fish.release ? QStringLiteral("0")
                    : fish.removed    ? QStringLiteral("-1")
                                      : QStringLiteral("1");
        }
        line += u';';
        lines.append(line);
    }
    return lines;
}

bool SurvivalWriter::writeLines(const QString& path, const QStringList& lines, bool finalLineEnd,
                                QString* error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        setError(error, QStringLiteral("Unable to open %1 for writing: %2")
                            .arg(QDir::toNativeSeparators(path), file.errorString()));
        return false;
    }
    QByteArray text = lines.join(u'\n').toUtf8();
    if (finalLineEnd && !lines.isEmpty())
        text += '\n';
    if (file.write(text) != text.size() || !file.commit()) {
        setError(error, QStringLiteral("Unable to write %1: %2")
                            .arg(QDir::toNativeSeparators(path), file.errorString()));
        return false;
    }
    return true;
}

bool SurvivalWriter::writeImage(const QString& path, const QImage& image, QString* error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        setError(error, QStringLiteral("Unable to open %1 for writing: %2")
                            .arg(QDir::toNativeSeparators(path), file.errorString()));
        return false;
    }
    if (!image.save(&file, "PNG") || !file.commit()) {
        setError(error, QStringLiteral("Unable to write %1: %2")
                            .arg(QDir::toNativeSeparators(path), file.errorString()));
        return false;
    }
    return true;
}

bool SurvivalWriter::write(const QString& folder, const QString& name, const QString& suffix,
                           const SurvivalResult& result, QString* error)
{
    const QDir dir(folder);
    const auto path = [&](const QString& tail) { return dir.filePath(name + u'_' + tail); };
    // The tables end without a line end after their last line, as the other outputs do; MARK
    // reads its input line by line, so every line of the .inp file is ended.
    return writeLines(path(suffix + QStringLiteral(".csv")), estimateLines(result), false, error) &&
           writeLines(path(QStringLiteral("fit.csv")), fitLines(result), false, error) &&
           writeLines(path(QStringLiteral("marked.csv")), markedLines(result), false, error) &&
           writeLines(path(QStringLiteral("mark.inp")), markInputLines(result), true, error) &&
           writeImage(path(QStringLiteral("survival.png")), SurvivalChart::render(result), error);
}

} // namespace kd
