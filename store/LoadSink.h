#pragma once

#include "store/Schema.h"

#include <QByteArrayView>
#include <QFileInfo>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

namespace kd {

// What a load needs of the store: the data file models, the rows as fields, and the
// bookkeeping of the files loaded. The loader depends on this alone.
class LoadSink
{
public:
    enum Model {
        TagsModel = 0,
        NodesModel = 1,
        EventsModel = 2,
        TagAttributesModel = 3,
        TagLifeDataModel = 4,
        TagLocationsModel = 5,
        RemovalsModel = 6,
        NoModel = 7
    };
    static constexpr int ModelCount = 7;

    LoadSink() = default;
    virtual ~LoadSink() = default;

    LoadSink(const LoadSink&) = delete;
    LoadSink& operator=(const LoadSink&) = delete;

    virtual bool beginLoad() = 0;
    virtual bool endLoad() = 0;
    // Discards everything written since beginLoad (a canceled load).
    virtual bool abortLoad() = 0;
    // The number of tag codes on more than one tag row, with the first `limit` of them in the
    // order of their first row; -1 when it cannot be read.
    virtual int sharedTagCodes(QStringList& first, int limit) = 0;
    // Inserts one data row, its UTF-8 fields in the order of the model's columns; false when
    // the store refused it (errorText says why).
    virtual bool insertFields(Model model, const QList<QByteArrayView>& fields, int loadId) = 0;
    // Stores may hold inserted rows to write several at once: this writes any held rows. False
    // when writing them failed (loadFailed() then tells so). Ending the load writes them too.
    virtual bool finishRows() = 0;
    virtual bool clearAllData() = 0;
    virtual bool isLoaded(const QFileInfo& file) = 0;
    virtual bool isLoadCurrent(const QFileInfo& file) = 0;
    virtual int addLoad(const QFileInfo& file, Model model) = 0;
    virtual bool deleteLoad(const QFileInfo& file) = 0;
    // Every booked path, once each. Paths booked absolute by earlier versions that lie inside
    // the data folder are rewritten relative first.
    virtual QStringList loadedPaths() = 0;
    // Removes the rows of a booked path and its booking; the number of rows removed, -1 on
    // failure.
    virtual qint64 deleteLoadPath(const QString& path) = 0;
    // True once a database error broke the load that is open: the caller must abort it.
    virtual bool loadFailed() const = 0;
    // Why the last call that answers only true or false failed.
    virtual QString errorText() const = 0;

    // Files are booked by their path relative to this folder, so that a study keeps its
    // bookkeeping however its folder is named on the command line, or when it is moved whole.
    // Without a folder, paths are booked as given.
    void setDataFolder(const QString& folder);
    QString dataFolder() const { return dataFolder_; }
    // The booked path of a file: relative to the data folder when it lies inside it.
    QString loadPath(const QFileInfo& file) const;

    // Data file models.
    QString modelTableName(Model model) const;
    QStringList modelColumns(Model model) const;
    QMap<QString, QStringList> columnAliases(Model model) const;
    // The check of each of modelColumns(model), in the same order.
    QList<Schema::Check> columnChecks(Model model) const;
    // A header line names at least one of these.
    QStringList keyColumns() const;
    QString modelDisplayName(Model model) const;

private:
    QString dataFolder_;
};

} // namespace kd
