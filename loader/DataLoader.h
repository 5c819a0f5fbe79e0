#pragma once

#include "store/LoadSink.h"

#include <QFileInfo>
#include <QHash>
#include <QList>
#include <QMultiMap>
#include <QString>

#include <atomic>
#include <functional>

namespace kd {

class MessageLoggerI;

// Walks a data folder, recognises every data file by its header line and loads the matched
// files into the store in one transaction.
class DataLoader
{
public:
    explicit DataLoader(LoadSink* provider);

    void setDataDir(const QString& path) { dataDir_ = path; }
    QString dataDir() const { return dataDir_; }
    void setLogger(MessageLoggerI* logger) { logger_ = logger; }

    // Optional progress report, called before each file and once at the end with
    // (files done, files to load, path of the file about to be loaded or empty at the end).
    using Progress = std::function<void(int done, int total, const QString& path)>;
    void setProgress(Progress progress) { progress_ = std::move(progress); }
    // Makes every load start by emptying the whole database inside the load's transaction, so
    // that a canceled or failed load leaves the earlier contents as they were.
    void setReplaceAll(bool replaceAll) { replaceAll_ = replaceAll; }
    // When the flag turns true (from any thread) the load stops soon and nothing of it is kept.
    void setCancelFlag(const std::atomic<bool>* flag) { cancel_ = flag; }

    bool load();
    // Whether the last failed load already said why in the log, so that callers do not say it
    // again.
    bool failureLogged() const { return failureLogged_; }
    // Why a load of the folder must not go on: empty when it may. A folder that holds no data
    // file while the database knows files that are all gone is a folder that is not mounted, not
    // a study whose files were all deleted; loading it would empty the database.
    QString checkFolder();
    bool scanFolder(const QString& path);
    LoadSink::Model matchModel(const QFileInfo& file) const;

    // A header line is read up to this many bytes; a data line longer than the other limit is
    // refused without being held in memory.
    static constexpr qsizetype HeaderLineLimit = 64 * 1024;
    static constexpr qsizetype DataLineLimit = 1024 * 1024;

    // Files of the last scan in loading order (by model, the file matched last first).
    QList<QPair<LoadSink::Model, QFileInfo>> matchedFiles() const;

private:
    bool loadFiles();
    // Warns once per load about tag codes that several tag rows carry.
    void warnSharedTagCodes();
    bool removeVanishedFiles();
    // False when the database failed: the load must then stop.
    bool loadFile(LoadSink::Model model, const QFileInfo& file, const QStringList& columns);
    void addMatch(LoadSink::Model model, const QFileInfo& file);
    void warnNearMiss(const QFileInfo& file) const;
    void warnUndecodableNames(const QString& folder) const;
    void log(const QString& message) const;
    // Logs why the load failed; returns false.
    bool fail(const QString& message);
    QString emptyFolderRefusal();
    bool canceled() const { return cancel_ && cancel_->load(std::memory_order_relaxed); }

    QString dataDir_;
    LoadSink* provider_;
    QMultiMap<LoadSink::Model, QFileInfo> matched_;
    // Matched files by their canonical path, so that a file reached through a link is loaded once.
    QHash<QString, QPair<LoadSink::Model, QFileInfo>> canonical_;
    // Files that could not be read: their earlier rows are kept.
    QStringList unreadable_;
    MessageLoggerI* logger_ = nullptr;
    Progress progress_;
    const std::atomic<bool>* cancel_ = nullptr;
    bool replaceAll_ = false;
    bool failureLogged_ = false;
    // Why the file being loaded stopped the load, when the store did not fail.
    QString failure_;
};

} // namespace kd
