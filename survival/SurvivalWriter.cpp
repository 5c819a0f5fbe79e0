#include "survival/SurvivalWriter.h"

#include "processing/CsvField.h"
#include "survival/SurvivalChart.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace kd {

namespace {

void setError(QString* error, const QString& text)
{
    if (error)
        *error = text;
}

// Estimate, se, lcl and ucl; all four empty for a quantity the data cannot determine, se
// empty for a profile interval, the last three empty without an interval.
void appendEstimate(QStringList& cells, const CjsEstimate& estimate)
{
    cells.append(estimate.identifiable ? SurvivalWriter::number(estimate.value) : QString());
    cells.append(estimate.hasSe() ? SurvivalWriter::number(estimate.se) : QString());
    for (double value : {estimate.lcl, estimate.ucl})
        cells.append(estimate.hasInterval ? SurvivalWriter::number(value) : QString());
}

QString occasionName(const SurvivalResult& result, const SurvivalReleaseResult& release, int o)
{
    return o == 0 ? release.name : result.sites.value(o - 1);
}

QString parameterName(CjsRow::Kind kind)
{
    switch (kind) {
    case CjsRow::Kind::Phi:
        return QStringLiteral("phi");
    case CjsRow::Kind::P:
        return QStringLiteral("p");
    case CjsRow::Kind::Beta:
        break;
    }
    return QStringLiteral("beta");
}

QString joined(const QStringList& cells)
{
    QStringList fields;
    for (const QString& cell : cells)
        fields.append(csvField(cell));
    return fields.join(u',');
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
    if (!release.estimated || result.sites.isEmpty())
        return rows;
    for (const CjsRow& row : release.fit.rows) {
        QStringList cells = {
            release.name, parameterName(row.kind), occasionName(result, release, row.from),
            row.kind == CjsRow::Kind::P ? QString() : occasionName(result, release, row.to)};
        appendEstimate(cells, row.estimate);
        rows.append(cells);
    }
    return rows;
}

QStringList SurvivalWriter::cumulativeLines(const SurvivalResult& result)
{
    QStringList lines = {QStringLiteral("release,site,river_kilometer,estimate,se,lcl,ucl")};
    for (const QStringList& cells : cumulativeRows(result))
        lines.append(joined(cells));
    return lines;
}

QList<QStringList> SurvivalWriter::cumulativeRows(const SurvivalResult& result)
{
    QList<QStringList> rows;
    for (const SurvivalReleaseResult& release : result.releases) {
        if (!release.estimated)
            continue;
        const auto& cumulative = release.fit.cumulativeSurvival;
        for (size_t i = 0; i < cumulative.size() && qsizetype(i) < result.sites.size(); ++i) {
            if (!cumulative[i].identifiable)
                continue;
            const double km = result.siteRiverKm.value(qsizetype(i), std::nan(""));
            QStringList cells = {release.name, result.sites[qsizetype(i)],
                                 std::isfinite(km) ? QString::number(km) : QString()};
            appendEstimate(cells, cumulative[i]);
            rows.append(cells);
        }
    }
    return rows;
}

QStringList SurvivalWriter::covarianceLines(const SurvivalResult& result)
{
    QStringList lines = {QStringLiteral("release,row,column,covariance")};
    for (const SurvivalReleaseResult& release : result.releases) {
        const CjsFit& fit = release.fit;
        if (!release.estimated || fit.covariance.empty())
            continue;
        const size_t n = fit.rows.size();
        const auto label = [&](const CjsRow& row) {
            return parameterName(row.kind) + u':' + occasionName(result, release, row.from) + u':' +
                   (row.kind == CjsRow::Kind::P ? QString()
                                                : occasionName(result, release, row.to));
        };
        for (size_t a = 0; a < n; ++a) {
            if (!fit.rows[a].estimate.hasSe())
                continue;
            for (size_t b = 0; b < n; ++b) {
                if (!fit.rows[b].estimate.hasSe())
                    continue;
                // Covariances are small; ten significant digits keep them.
                lines.append(joined({release.name, label(fit.rows[a]), label(fit.rows[b]),
                                     QString::number(fit.covariance[a * n + b], 'g', 10)}));
            }
        }
    }
    return lines;
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
    QStringList lines = {QStringLiteral("ch,freq,release,tag_code,length,weight,removed_at")};
    for (const SurvivalHistory& fish : result.histories)
        lines.append(fish.history +
                     (fish.removed ? QStringLiteral(",-1,") : QStringLiteral(",1,")) +
                     csvField(result.releases[fish.release].name) + u',' + csvField(fish.tagCode) +
                     u',' + csvField(fish.length) + u',' + csvField(fish.weight) + u',' +
                     (fish.removedAt > 0 ? QString::number(fish.removedAt) : QString()));
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

namespace {

// Hands the written bytes to the disk, so that a full disk shows before anything is renamed.
bool flushed(QSaveFile& file)
{
    if (!file.flush())
        return false;
#ifdef Q_OS_UNIX
    if (file.handle() >= 0 && ::fsync(file.handle()) != 0 && errno != EINVAL)
        return false;
#endif
    return true;
}

bool opened(QSaveFile& file, QString* error)
{
    // A folder in a file's place would only fail at the rename, after others were replaced.
    const bool folder = QFileInfo(file.fileName()).isDir();
    if (folder || !file.open(QIODevice::WriteOnly)) {
        setError(error, QStringLiteral("Unable to open %1 for writing: %2")
                            .arg(QDir::toNativeSeparators(file.fileName()),
                                 folder ? QStringLiteral("it is a folder") : file.errorString()));
        return false;
    }
    return true;
}

bool failed(QSaveFile& file, QString* error, int systemError = 0)
{
    // The file reports a failed write as "Unknown error"; the system's own reason (a full
    // disk, a file size limit) is what the user can act on.
    const QString reason =
        systemError != 0 ? QString::fromLocal8Bit(std::strerror(systemError)) : file.errorString();
    setError(error, QStringLiteral("Unable to write %1: %2")
                        .arg(QDir::toNativeSeparators(file.fileName()), reason));
    file.cancelWriting();
    return false;
}

// Writes the bytes and hands them to the disk; 0 when done, else the system's error number
// (-1 when it gave none).
int writeAll(QSaveFile& file, const QByteArray& bytes)
{
    errno = 0;
    if (file.write(bytes) == bytes.size() && flushed(file))
        return 0;
    return errno != 0 ? errno : -1;
}

QByteArray text(const QStringList& lines, bool finalLineEnd)
{
    QByteArray bytes = lines.join(u'\n').toUtf8();
    if (finalLineEnd && !lines.isEmpty())
        bytes += '\n';
    return bytes;
}

// The image is encoded in memory and written like any other bytes: an encoder writing straight
// to a full disk reports only its own "Write Error", and the file's reason is lost.
bool pngBytes(const QImage& image, QByteArray* bytes, const QString& path, QString* error)
{
    QBuffer buffer(bytes);
    if (buffer.open(QIODevice::WriteOnly) && image.save(&buffer, "PNG"))
        return true;
    setError(error, QStringLiteral("Unable to write %1: the image could not be encoded")
                        .arg(QDir::toNativeSeparators(path)));
    return false;
}

} // namespace

bool SurvivalWriter::writeLines(const QString& path, const QStringList& lines, bool finalLineEnd,
                                QString* error)
{
    QSaveFile file(path);
    if (!opened(file, error))
        return false;
    if (const int failure = writeAll(file, text(lines, finalLineEnd)))
        return failed(file, error, failure > 0 ? failure : 0);
    if (!file.commit())
        return failed(file, error);
    return true;
}

bool SurvivalWriter::writeImage(const QString& path, const QImage& image, QString* error)
{
    QByteArray bytes;
    if (!pngBytes(image, &bytes, path, error))
        return false;
    QSaveFile file(path);
    if (!opened(file, error))
        return false;
    if (const int failure = writeAll(file, bytes))
        return failed(file, error, failure > 0 ? failure : 0);
    if (!file.commit())
        return failed(file, error);
    return true;
}

bool SurvivalWriter::write(const QString& folder, const QString& name, const QString& suffix,
                           const SurvivalResult& result, QString* error)
{
    const QDir dir(folder);
    const auto path = [&](const QString& tail) { return dir.filePath(name + u'_' + tail); };
    // Every file is written aside first; only when all of them are complete are they renamed
    // into place, so that a failure (a full disk) leaves the earlier set whole.
    struct Pending
    {
        QString tail;
        QByteArray bytes;
    };
    const QList<Pending> tables = {
        {suffix + QStringLiteral(".csv"), text(estimateLines(result), true)},
        {QStringLiteral("fit.csv"), text(fitLines(result), true)},
        {QStringLiteral("marked.csv"), text(markedLines(result), true)},
        {QStringLiteral("mark.inp"), text(markInputLines(result), true)},
        {QStringLiteral("cumulative.csv"), text(cumulativeLines(result), true)},
        {QStringLiteral("vcv.csv"), text(covarianceLines(result), true)},
    };
    std::vector<std::unique_ptr<QSaveFile>> files;
    for (const Pending& table : tables) {
        auto& file = files.emplace_back(std::make_unique<QSaveFile>(path(table.tail)));
        if (!opened(*file, error))
            return false;
        if (const int failure = writeAll(*file, table.bytes))
            return failed(*file, error, failure > 0 ? failure : 0);
    }
    const QString chartPath = path(QStringLiteral("survival.png"));
    QByteArray png;
    if (!pngBytes(SurvivalChart::render(result), &png, chartPath, error))
        return false;
    auto& chart = files.emplace_back(std::make_unique<QSaveFile>(chartPath));
    if (!opened(*chart, error))
        return false;
    if (const int failure = writeAll(*chart, png))
        return failed(*chart, error, failure > 0 ? failure : 0);
    for (auto& file : files)
        if (!file->commit())
            return failed(*file, error);
    return true;
}

} // namespace kd
