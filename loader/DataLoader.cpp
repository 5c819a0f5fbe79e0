#include "loader/DataLoader.h"

#include "app/MessageLoggerI.h"
#include "store/DataProvider.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QStringDecoder>

#include <cstring>

namespace kd {

namespace {

const QRegularExpression& fieldSeparator()
{
    static const QRegularExpression separator(QStringLiteral("\\s*,\\s*"));
    return separator;
}

void stripLineEnd(QByteArray& line)
{
    while (!line.isEmpty() && (line.endsWith('\n') || line.endsWith('\r')))
        line.chop(1);
}

// Header lines are plain ASCII; a byte-order mark that spreadsheet programs put in front of the
// first name must not hide it.
QStringList headerFields(QByteArray line, bool firstLine)
{
    if (firstLine && line.startsWith("\xEF\xBB\xBF"))
        line.remove(0, 3);
    stripLineEnd(line);
    return QString::fromLatin1(line).toLower().split(fieldSeparator());
}

// Data lines are stored as UTF-8. A line that is valid UTF-8 (plain ASCII included) is taken as
// it is; any other is read as Latin-1, so that names with accents arrive intact from files of
// either encoding.
void toUtf8(QByteArray& line)
{
    bool ascii = true;
    for (char c : std::as_const(line)) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            ascii = false;
            break;
        }
    }
    if (ascii)
        return;
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8(line);
    if (utf8.hasError())
        line = QString::fromLatin1(line).toUtf8();
}

// Splits at every comma, empty fields kept; the views point into line.
void splitFields(const QByteArray& line, QList<QByteArrayView>& fields)
{
    fields.clear();
    const char* begin = line.constData();
    const char* end = begin + line.size();
    for (;;) {
        const char* comma = static_cast<const char*>(std::memchr(begin, ',', size_t(end - begin)));
        if (!comma) {
            fields.append(QByteArrayView(begin, end - begin));
            return;
        }
        fields.append(QByteArrayView(begin, comma - begin));
        begin = comma + 1;
    }
}

int fitModel(const DataProvider& provider, const QStringList& fields)
{
    for (int model = 0; model < DataProvider::ModelCount; ++model) {
        const QStringList columns = provider.modelColumns(model);
        if (columns.size() > fields.size())
            continue;
        const QMap<QString, QStringList> aliases = provider.columnAliases(model);
        bool fits = true;
        for (const QString& column : columns) {
            if (fields.contains(column))
                continue;
            bool aliased = false;
            for (const QString& alias : aliases.value(column)) {
                if (fields.contains(alias)) {
                    aliased = true;
                    break;
                }
            }
            if (!aliased) {
                fits = false;
                break;
            }
        }
        if (fits)
            return model;
    }
    return DataProvider::NoModel;
}

} // namespace

DataLoader::DataLoader(DataProvider* provider) : provider_(provider) {}

void DataLoader::log(const QString& message) const
{
    if (logger_)
        logger_->log(message, 0);
}

bool DataLoader::load()
{
    matched_.clear();
    if (!scanFolder(dataDir_))
        return false;
    return loadFiles();
}

bool DataLoader::scanFolder(const QString& path)
{
    QDir dir(path);
    if (path.isEmpty() || !dir.exists())
        return false;

    // Links to folders are not followed: a link loop would never end, and a linked folder could
    // load the same files twice.
    const QFileInfoList folders = dir.entryInfoList(
        QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks, QDir::Name | QDir::IgnoreCase);
    for (const QFileInfo& folder : folders)
        scanFolder(folder.filePath());

    const QFileInfoList files =
        dir.entryInfoList({QStringLiteral("*.csv"), QStringLiteral("*.processed")}, QDir::Files,
                          QDir::Name | QDir::IgnoreCase);
    for (const QFileInfo& file : files) {
        const int model = matchModel(file);
        if (model == DataProvider::NoModel)
            log(QStringLiteral("***Warning: file doesn't match any model ") + file.filePath());
        else
            matched_.insert(model, file);
    }
    return true;
}

int DataLoader::matchModel(const QFileInfo& info) const
{
    QFile file(info.filePath());
    if (!file.open(QIODevice::ReadOnly))
        return DataProvider::NoModel;
    for (int lineNo = 0; lineNo < 100 && !file.atEnd(); ++lineNo) {
        const QStringList fields = headerFields(file.readLine(), lineNo == 0);
        if (!fields.contains(QLatin1String("tag_code")) &&
            !fields.contains(QLatin1String("node_code")))
            continue;
        const int model = fitModel(*provider_, fields);
        if (model != DataProvider::NoModel)
            return model;
    }
    return DataProvider::NoModel;
}

QList<QPair<int, QFileInfo>> DataLoader::matchedFiles() const
{
    QList<QPair<int, QFileInfo>> files;
    for (auto it = matched_.cbegin(); it != matched_.cend(); ++it)
        files.append({it.key(), it.value()});
    return files;
}

bool DataLoader::loadFiles()
{
    if (!provider_->beginLoad()) {
        log(provider_->errorText());
        return false;
    }
    if (replaceAll_ && !provider_->clearAllData()) {
        provider_->abortLoad();
        log(QStringLiteral("Unable to empty the database before the load."));
        return false;
    }
    const int total = int(matched_.size());
    int done = 0;
    const QList<int> models = matched_.uniqueKeys();
    for (int model : models) {
        log(QStringLiteral("Processing ") + provider_->modelDisplayName(model) +
            QStringLiteral("..."));
        const QStringList columns = provider_->modelColumns(model);
        for (auto it = matched_.constFind(model); it != matched_.cend() && it.key() == model;
             ++it) {
            if (progress_)
                progress_(done, total, it.value().filePath());
            loadFile(model, it.value(), columns);
            ++done;
            if (canceled()) {
                provider_->abortLoad();
                log(QStringLiteral("Load canceled."));
                return false;
            }
        }
    }
    if (progress_)
        progress_(done, total, QString());
    return provider_->endLoad();
}

void DataLoader::loadFile(int model, const QFileInfo& info, const QStringList& columns)
{
    const QString path = info.filePath();
    if (provider_->isLoadCurrent(info))
        return;

    // Opened before anything is recorded: an unreadable file must not be booked as loaded, or
    // later loads would skip it as current and its rows would never arrive.
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        log(QStringLiteral("Unable to open ") + path);
        return;
    }
    if (provider_->isLoaded(info) && !provider_->deleteLoad(info)) {
        log(QStringLiteral("***Warning: the earlier rows of %1 could not be removed; file skipped")
                .arg(path));
        return;
    }
    const int loadId = provider_->addLoad(info, model);
    if (loadId < 0) {
        log(QStringLiteral("***Warning: the load of %1 could not be recorded; file skipped")
                .arg(path));
        return;
    }

    log(QStringLiteral("Loading ") + path + QStringLiteral("..."));
    int rowCount = 0;
    int refused = 0;
    if (!file.atEnd()) {
        const QStringList header = headerFields(file.readLine(), true);
        const QMap<QString, QStringList> aliases = provider_->columnAliases(model);

        bool inModelOrder = header.size() == columns.size();
        for (int i = 0; inModelOrder && i < columns.size(); ++i) {
            inModelOrder = header[i] == columns[i] || aliases.value(columns[i]).contains(header[i]);
        }

        QList<int> mapping;
        bool mappingFailed = false;
        int highestIndex = -1;
        if (!inModelOrder) {
            for (const QString& column : columns) {
                qsizetype index = header.indexOf(column);
                if (index < 0) {
                    for (const QString& alias : aliases.value(column)) {
                        index = header.indexOf(alias);
                        if (index >= 0)
                            break;
                    }
                }
                if (index < 0) {
                    mappingFailed = true;
                    break;
                }
                mapping.append(int(index));
                highestIndex = std::max(highestIndex, int(index));
            }
        }

        if (mappingFailed) {
            log(QStringLiteral("***Column mapping failed- cannot proceed with load of ") + path);
            // Not booked as loaded, so the file is reported again until its header is fixed.
            provider_->deleteLoad(info);
        } else {
            QList<QByteArrayView> fields;
            QByteArray rebuilt;
            while (!file.atEnd()) {
                if ((rowCount & 0xFFF) == 0 && canceled())
                    break;
                QByteArray line = file.readLine();
                ++rowCount;
                stripLineEnd(line);
                toUtf8(line);
                if (!mapping.isEmpty()) {
                    splitFields(line, fields);
                    // A line that lacks a mapped field, or has more fields than its header,
                    // would put values under the wrong columns: it is refused instead.
                    if (fields.size() <= highestIndex || fields.size() > header.size()) {
                        ++refused;
                        continue;
                    }
                    rebuilt.clear();
                    for (int i = 0; i < mapping.size(); ++i) {
                        if (i > 0)
                            rebuilt.append(',');
                        rebuilt.append(fields[mapping[i]]);
                    }
                    line.swap(rebuilt);
                }
                if (!provider_->insertRowUtf8(model, line, loadId))
                    ++refused;
            }
        }
    }
    log(QStringLiteral("Loaded ") + QString::number(rowCount) + QStringLiteral(" rows."));
    if (refused > 0) {
        log(QStringLiteral("***Warning: %1 of %2 rows of %3 were not stored")
                .arg(refused)
                .arg(rowCount)
                .arg(path));
    }
}

} // namespace kd
