#include "loader/DataLoader.h"

#include "base/FileStamp.h"
#include "base/MessageLoggerI.h"
#include "base/PrintableText.h"
#include "loader/LineReader.h"
#include "loader/RowReader.h"
#include "store/LoadSink.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>

#ifdef Q_OS_UNIX
#include <dirent.h>
#endif

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

// The first line of a file, read up to the header limit; empty when it cannot be read.
QStringList firstLineFields(const QFileInfo& info)
{
    QFile file(info.filePath());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return headerFields(file.readLine(DataLoader::HeaderLineLimit), true);
}

// Counts values of one date-time or number column that cannot be read as such.
struct UnreadableDates
{
    QString column;
    qint64 count = 0;
    QList<qint64> lines;
};

QString lineList(const UnreadableDates& dates)
{
    QStringList numbers;
    for (qint64 line : dates.lines)
        numbers.append(QString::number(line));
    if (dates.count > dates.lines.size())
        numbers.append(QStringLiteral("..."));
    return numbers.join(QStringLiteral(", "));
}

// What a file's load counts for its warnings: rows, refused lines (the first ten located) and
// the values of date-time and number columns that cannot be read.
struct FileTally
{
    struct RefusedLine
    {
        qint64 line;
        qint64 fields;
    };
    int rowCount = 0;
    int refused = 0;
    qsizetype expected = 0;
    QList<RefusedLine> located;
    QList<UnreadableDates> dates;
    QList<UnreadableDates> numbers;

    void refuse(qint64 line, qint64 fields)
    {
        ++refused;
        if (located.size() < 10)
            located.append({line, fields});
    }
    void countUnreadable(const RowReader::Entry& entry)
    {
        const auto count = [&entry](quint32 flags, QList<UnreadableDates>& columns) {
            for (int c = 0; flags != 0 && c < columns.size(); ++c) {
                if ((flags & (quint32(1) << c)) == 0)
                    continue;
                UnreadableDates& column = columns[c];
                if (++column.count <= 10)
                    column.lines.append(entry.lineNumber);
            }
        };
        count(entry.unreadableDates, dates);
        count(entry.unreadableNumbers, numbers);
    }
};

// The date-time and number columns of the store's columns go into the layout and the tally.
void checkedColumns(const QStringList& columns, const QList<Schema::Check>& checks,
                    RowReader::Layout& layout, FileTally& tally)
{
    for (int i = 0; i < columns.size(); ++i) {
        const Schema::Check check = i < checks.size() ? checks[i] : Schema::Check::None;
        if (check == Schema::Check::DateTime) {
            layout.dateColumns.append(i);
            tally.dates.append({columns[i], 0, {}});
        } else if (check != Schema::Check::None) {
            layout.numberColumns.append(i);
            layout.wholeNumbers.append(check == Schema::Check::WholeNumber);
            tally.numbers.append({columns[i], 0, {}});
        }
    }
}

// Where each store column is in the file's header (by name or alias), unless the header has
// the store's columns in their order. False when a column is missing.
bool mapColumns(const QStringList& columns, const QStringList& header,
                const QMap<QString, QStringList>& aliases, RowReader::Layout& layout)
{
    layout.headerFields = header.size();
    layout.columns = columns.size();
    bool inModelOrder = header.size() == columns.size();
    for (int i = 0; inModelOrder && i < columns.size(); ++i)
        inModelOrder = header[i] == columns[i] || aliases.value(columns[i]).contains(header[i]);
    if (inModelOrder)
        return true;
    for (const QString& column : columns) {
        qsizetype index = header.indexOf(column);
        if (index < 0) {
            for (const QString& alias : aliases.value(column)) {
                index = header.indexOf(alias);
                if (index >= 0)
                    break;
            }
        }
        if (index < 0)
            return false;
        layout.mapping.append(int(index));
        layout.highestIndex = std::max(layout.highestIndex, int(index));
    }
    return true;
}

// The warnings of a loaded file: refused lines, then unreadable date-times and numbers.
QStringList fileWarnings(const QString& path, const FileTally& tally)
{
    QStringList warnings;
    if (tally.refused > 0) {
        warnings << QStringLiteral("***Warning: %1 of %2 rows of %3 were not stored")
                        .arg(tally.refused)
                        .arg(tally.rowCount)
                        .arg(path);
        for (const FileTally::RefusedLine& refusedLine : tally.located) {
            warnings << QStringLiteral("***Warning: %1 line %2: %3 fields, expected %4")
                            .arg(path)
                            .arg(refusedLine.line)
                            .arg(refusedLine.fields)
                            .arg(tally.expected);
        }
        if (tally.refused > tally.located.size())
            warnings << QStringLiteral("***Warning: %1: ... and %2 more")
                            .arg(path)
                            .arg(tally.refused - tally.located.size());
    }
    const auto unreadable = [&](const QList<UnreadableDates>& columns, const QString& what) {
        for (const UnreadableDates& column : columns) {
            if (column.count == 0)
                continue;
            warnings << QStringLiteral("***Warning: %1: %2 %3 of %4 not read as %5 (%6 %7)")
                            .arg(path)
                            .arg(column.count)
                            .arg(column.count == 1 ? QStringLiteral("value")
                                                   : QStringLiteral("values"))
                            .arg(column.column, what)
                            .arg(column.lines.size() == 1 ? QStringLiteral("line")
                                                          : QStringLiteral("lines"))
                            .arg(lineList(column));
        }
    };
    unreadable(tally.dates, QStringLiteral("a date-time"));
    unreadable(tally.numbers, QStringLiteral("a number"));
    return warnings;
}

LoadSink::Model fitModel(const LoadSink& provider, const QStringList& fields)
{
    for (int m = 0; m < LoadSink::ModelCount; ++m) {
        const auto model = LoadSink::Model(m);
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
    return LoadSink::NoModel;
}

} // namespace

DataLoader::DataLoader(LoadSink* provider) : provider_(provider) {}

void DataLoader::log(const QString& message) const
{
    // Messages name files: a control character in a name must not make a line of its own.
    if (logger_)
        logger_->log(printableText(message), 0);
}

bool DataLoader::fail(const QString& message)
{
    log(message);
    failureLogged_ = true;
    return false;
}

bool DataLoader::load()
{
    failureLogged_ = false;
    matched_.clear();
    canonical_.clear();
    unreadable_.clear();
    // Paths are booked relative to the folder, and the walk already compares them with the
    // bookings.
    provider_->setDataFolder(dataDir_);
    if (!scanFolder(dataDir_))
        return false;
    if (!replaceAll_) {
        const QString refusal = emptyFolderRefusal();
        if (provider_->loadFailed())
            return fail(provider_->errorText());
        if (!refusal.isEmpty())
            return fail(refusal);
    }
    return loadFiles();
}

QString DataLoader::checkFolder()
{
    matched_.clear();
    canonical_.clear();
    unreadable_.clear();
    provider_->setDataFolder(dataDir_);
    if (!scanFolder(dataDir_))
        return QString();
    return emptyFolderRefusal();
}

QString DataLoader::emptyFolderRefusal()
{
    if (!matched_.isEmpty() || !unreadable_.isEmpty())
        return QString();
    const QStringList booked = provider_->loadedPaths();
    if (booked.isEmpty())
        return QString();
    for (const QString& path : booked) {
        if (QFileInfo::exists(QDir(dataDir_).filePath(path)))
            return QString();
    }
    return QStringLiteral("The data folder %1 holds none of the %2 files loaded before and no "
                          "data file; nothing was changed. Is it mounted?")
        .arg(QDir::cleanPath(QDir(dataDir_).absolutePath()))
        .arg(booked.size());
}

bool DataLoader::scanFolder(const QString& path)
{
    QDir dir(path);
    if (path.isEmpty() || !dir.exists())
        return false;
    warnUndecodableNames(path);

    // Links to folders are not followed: a link loop would never end, and a linked folder could
    // load the same files twice.
    const QFileInfoList folders = dir.entryInfoList(
        QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks, QDir::Name | QDir::IgnoreCase);
    for (const QFileInfo& folder : folders)
        scanFolder(folder.filePath());

    const QFileInfoList files =
        dir.entryInfoList({QStringLiteral("*.csv"), QStringLiteral("*.processed")}, QDir::Files,
                          QDir::Name | QDir::IgnoreCase);
    // Links that lead nowhere (dangling or in a loop) are no files; they are said once each.
    const QFileInfoList links =
        dir.entryInfoList({QStringLiteral("*.csv"), QStringLiteral("*.processed")},
                          QDir::System | QDir::Hidden, QDir::Name | QDir::IgnoreCase);
    for (const QFileInfo& link : links) {
        if (link.isSymLink() && !link.exists())
            log(QStringLiteral("***Warning: %1 is a link that leads to no file; not loaded")
                    .arg(link.filePath()));
    }
    for (const QFileInfo& file : files) {
        if (!file.isReadable()) {
            log(QStringLiteral("***Warning: %1 cannot be read; its earlier rows are kept")
                    .arg(file.filePath()));
            unreadable_.append(provider_->loadPath(QFileInfo(file)));
            continue;
        }
        const LoadSink::Model model = matchModel(file);
        if (model == LoadSink::NoModel) {
            log(QStringLiteral("***Warning: file doesn't match any model ") + file.filePath());
            warnNearMiss(file);
        } else {
            addMatch(model, file);
        }
    }
    return true;
}

void DataLoader::addMatch(LoadSink::Model model, const QFileInfo& file)
{
    // Hard links share no path but one device and inode: they are one file too.
    const FileStamp stamp = FileStamp::of(file.filePath());
    const QString key = stamp.valid && stamp.inode != 0
                            ? QStringLiteral("%1:%2").arg(stamp.device).arg(stamp.inode)
                            : file.canonicalFilePath();
    const auto seen = canonical_.constFind(key);
    if (seen == canonical_.cend()) {
        canonical_.insert(key, {model, file});
        matched_.insert(model, file);
        return;
    }
    // The same file reached twice, through a link: loaded once, under its own name rather than
    // the link's when the walk meets both.
    const QFileInfo kept = seen->second;
    // Of two names that are both links or both not, the one the database already holds keeps
    // its rows rather than being reported gone.
    const bool preferNew = kept.isSymLink() != file.isSymLink()
                               ? kept.isSymLink()
                               : !provider_->isLoaded(kept) && provider_->isLoaded(file);
    if (preferNew) {
        matched_.remove(seen->first, kept);
        canonical_.insert(key, {model, file});
        matched_.insert(model, file);
        log(QStringLiteral("%1 is the same file as %2; loaded once")
                .arg(kept.filePath(), file.filePath()));
    } else {
        log(QStringLiteral("%1 is the same file as %2; loaded once")
                .arg(file.filePath(), kept.filePath()));
    }
}

void DataLoader::warnNearMiss(const QFileInfo& file) const
{
    const QStringList fields = firstLineFields(file);
    LoadSink::Model bestModel = LoadSink::NoModel;
    QStringList bestMissing;
    qsizetype bestPresent = 0;
    for (int m = 0; m < LoadSink::ModelCount; ++m) {
        const auto model = LoadSink::Model(m);
        const QStringList columns = provider_->modelColumns(model);
        const QMap<QString, QStringList> aliases = provider_->columnAliases(model);
        QStringList missing;
        for (const QString& column : columns) {
            bool present = fields.contains(column);
            for (const QString& alias : aliases.value(column))
                present = present || fields.contains(alias);
            if (!present)
                missing.append(column);
        }
        const qsizetype present = columns.size() - missing.size();
        if (2 * present >= columns.size() && present > bestPresent) {
            bestModel = model;
            bestPresent = present;
            bestMissing = missing;
        }
    }
    if (bestModel == LoadSink::NoModel || bestMissing.isEmpty())
        return;
    log(QStringLiteral("***Warning: %1 looks like %2 but lacks %3")
            .arg(file.filePath(), provider_->modelDisplayName(bestModel),
                 bestMissing.join(QStringLiteral(", "))));
}

void DataLoader::warnUndecodableNames(const QString& folder) const
{
#ifdef Q_OS_UNIX
    // Names that are not valid in the file-name encoding cannot be opened through the decoded
    // name, so the folder listing leaves them out without a word.
    DIR* dir = ::opendir(QFile::encodeName(folder).constData());
    if (!dir)
        return;
    while (const dirent* entry = ::readdir(dir)) {
        const QByteArray raw(entry->d_name);
        if (QFile::encodeName(QFile::decodeName(raw)) == raw)
            continue;
        log(QStringLiteral("***Warning: the name of %1 is not valid text; not loaded")
                .arg(QDir(folder).filePath(QFile::decodeName(raw))));
    }
    ::closedir(dir);
#else
    Q_UNUSED(folder);
#endif
}

LoadSink::Model DataLoader::matchModel(const QFileInfo& info) const
{
    QFile file(info.filePath());
    if (!file.open(QIODevice::ReadOnly))
        return LoadSink::NoModel;
    const QStringList keys = provider_->keyColumns();
    for (int lineNo = 0; lineNo < 100 && !file.atEnd(); ++lineNo) {
        QByteArray line = file.readLine(HeaderLineLimit);
        // The rest of a longer line is skipped in pieces, never held whole.
        while (!line.endsWith('\n') && !file.atEnd()) {
            const QByteArray rest = file.readLine(HeaderLineLimit);
            if (rest.isEmpty() || rest.endsWith('\n'))
                break;
        }
        const QStringList fields = headerFields(line, lineNo == 0);
        if (std::none_of(keys.cbegin(), keys.cend(),
                         [&fields](const QString& key) { return fields.contains(key); }))
            continue;
        const LoadSink::Model model = fitModel(*provider_, fields);
        if (model != LoadSink::NoModel)
            return model;
    }
    return LoadSink::NoModel;
}

QList<QPair<LoadSink::Model, QFileInfo>> DataLoader::matchedFiles() const
{
    QList<QPair<LoadSink::Model, QFileInfo>> files;
    for (auto it = matched_.cbegin(); it != matched_.cend(); ++it)
        files.append({it.key(), it.value()});
    return files;
}

bool DataLoader::removeVanishedFiles()
{
    QSet<QString> present;
    for (const QFileInfo& file : std::as_const(matched_))
        present.insert(provider_->loadPath(file));
    for (const QString& path : std::as_const(unreadable_))
        present.insert(path);
    const QStringList booked = provider_->loadedPaths();
    if (provider_->loadFailed())
        return false;
    for (const QString& path : booked) {
        if (present.contains(path))
            continue;
        const QString shown = QDir::isAbsolutePath(path) ? path : QDir(dataDir_).filePath(path);
        const qint64 removed = provider_->deleteLoadPath(path);
        if (removed < 0)
            return false;
        const QString why = QFileInfo::exists(shown)
                                ? QStringLiteral("the file no longer matches a data kind")
                                : QStringLiteral("the file is gone");
        log(QStringLiteral("Removed the %1 rows of %2: %3.").arg(removed).arg(shown, why));
    }
    return true;
}

bool DataLoader::loadFiles()
{
    if (!provider_->beginLoad())
        return fail(provider_->errorText());
    failure_.clear();
    const auto stop = [this](const QString& where) {
        provider_->abortLoad();
        return fail(QStringLiteral("The load stopped %1: %2. Nothing of this load was kept.")
                        .arg(where, failure_.isEmpty() ? provider_->errorText() : failure_));
    };
    if (replaceAll_ && !provider_->clearAllData()) {
        provider_->abortLoad();
        return fail(QStringLiteral("Unable to empty the database before the load."));
    }
    if (!replaceAll_ && !removeVanishedFiles())
        return stop(QStringLiteral("while removing the rows of files that are gone"));
    const int total = int(matched_.size());
    int done = 0;
    const QList<LoadSink::Model> models = matched_.uniqueKeys();
    for (LoadSink::Model model : models) {
        log(QStringLiteral("Processing ") + provider_->modelDisplayName(model) +
            QStringLiteral("..."));
        const QStringList columns = provider_->modelColumns(model);
        for (auto it = matched_.constFind(model); it != matched_.cend() && it.key() == model;
             ++it) {
            if (progress_)
                progress_(done, total, it.value().filePath());
            if (!loadFile(model, it.value(), columns))
                return stop(QStringLiteral("in ") + it.value().filePath());
            ++done;
            if (canceled()) {
                provider_->abortLoad();
                return fail(QStringLiteral("Load canceled."));
            }
        }
    }
    if (progress_)
        progress_(done, total, QString());
    if (!provider_->endLoad())
        return fail(
            QStringLiteral("The load stopped at its end: %1. Nothing of this load was kept.")
                .arg(provider_->errorText()));
    warnSharedTagCodes();
    return true;
}

void DataLoader::warnSharedTagCodes()
{
    // Every detection of such a code links to one of its tags; the others look undetected.
    QStringList first;
    const int shared = provider_->sharedTagCodes(first, 10);
    if (shared <= 0)
        return;
    if (shared > first.size())
        first.append(QStringLiteral("…"));
    log(shared == 1 ? QStringLiteral("***Warning: 1 tag code appears on more than one tag; its "
                                     "detections all go to the first: %1")
                          .arg(first.join(QStringLiteral(", ")))
                    : QStringLiteral("***Warning: %1 tag codes appear on more than one tag; their "
                                     "detections all go to the first: %2")
                          .arg(shared)
                          .arg(first.join(QStringLiteral(", "))));
}

bool DataLoader::loadFile(LoadSink::Model model, const QFileInfo& info, const QStringList& columns)
{
    const QString path = info.filePath();
    if (provider_->isLoadCurrent(info))
        return true;

    // Opened before anything is recorded: an unreadable file must not be booked as loaded, or
    // later loads would skip it as current and its rows would never arrive.
    const FileStamp before = FileStamp::of(path);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        log(QStringLiteral("Unable to open ") + path);
        return true;
    }
    if (provider_->isLoaded(info) && !provider_->deleteLoad(info))
        return false;
    const int loadId = provider_->addLoad(info, model);
    if (loadId < 0)
        return false;

    log(QStringLiteral("Loading ") + path + QStringLiteral("..."));
    FileTally tally;
    tally.expected = columns.size();
    RowReader::Layout layout;
    checkedColumns(columns, provider_->columnChecks(model), layout, tally);

    LineReader reader(&file);
    QByteArray line;
    LineReader::Result result = reader.next(line, HeaderLineLimit);
    if (result != LineReader::Result::End) {
        const QStringList header = headerFields(line, true);
        tally.expected = header.size();
        const bool mapped = mapColumns(columns, header, provider_->columnAliases(model), layout);
        if (result == LineReader::Result::TooLong) {
            log(QStringLiteral("***Warning: the header of %1 is longer than %2 bytes (%3 "
                               "columns); not loaded")
                    .arg(path)
                    .arg(HeaderLineLimit)
                    .arg(reader.fieldCount()));
            if (!provider_->deleteLoad(info))
                return false;
        } else if (!mapped) {
            log(QStringLiteral("***Column mapping failed- cannot proceed with load of ") + path);
            // Not booked as loaded, so the file is reported again until its header is fixed.
            if (!provider_->deleteLoad(info))
                return false;
        } else {
            RowReader rows(&reader, layout, DataLineLimit);
            RowReader::Batch batch;
            QList<QByteArrayView> fields;
            bool stopped = false;
            while (!stopped && rows.next(batch)) {
                for (const RowReader::Entry& entry : batch.entries) {
                    if ((tally.rowCount & 0xFFF) == 0 && canceled()) {
                        stopped = true;
                        break;
                    }
                    ++tally.rowCount;
                    if (entry.refused) {
                        tally.refuse(entry.lineNumber, entry.fields);
                        continue;
                    }
                    fields.resize(0);
                    for (qsizetype f = 0; f < entry.fields; ++f) {
                        const auto& [offset, size] =
                            batch.fieldSpans[std::size_t(entry.firstField + f)];
                        fields.append(QByteArrayView(batch.text.constData() + offset, size));
                    }
                    if (!provider_->insertFields(model, fields, loadId)) {
                        if (provider_->loadFailed())
                            return false;
                        tally.refuse(entry.lineNumber, entry.fields);
                        continue;
                    }
                    tally.countUnreadable(entry);
                }
            }
            if (!provider_->finishRows())
                return false;
            // A file rewritten while it was read gives rows of neither version.
            const FileStamp after = FileStamp::of(path);
            if (!stopped && (!before.sameFile(after) || !before.sameContent(after))) {
                failure_ = QStringLiteral("the file changed while it was read");
                return false;
            }
        }
    }
    log(QStringLiteral("Loaded ") + QString::number(tally.rowCount) + QStringLiteral(" rows."));
    for (const QString& warning : fileWarnings(path, tally))
        log(warning);
    return true;
}

} // namespace kd
