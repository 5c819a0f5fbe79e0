#pragma once

#include "store/ReleaseSpec.h"
#include "store/SiteSpec.h"

#include <QDateTime>
#include <QList>
#include <QMap>
#include <QString>
#include <QVariantMap>

namespace kd {

class MessageLoggerI;

// The "config.txt" of a simulation folder: the data folder, the release and site definitions
// and the list of runs. Keys of the wrong JSON type read as the neutral value of the expected
// type, so a sloppy file never stops the batch.
class SimulationConfig
{
public:
    // The logger is not owned and may be null.
    void setLogger(MessageLoggerI* logger) { logger_ = logger; }

    // Reads and parses the file and builds the release and site tables. A file with no
    // characters at all is an empty configuration.
    bool load(const QString& path);

    // Absolute path of the folder holding the configuration file.
    QString baseDir() const { return baseDir_; }

    QString dataDir() const;
    int year() const;

    int runCount() const;
    // Run number index as an object; empty when it is not an object or out of range.
    QVariantMap run(int index) const;
    bool active(int index) const;
    QString title(int index) const;
    QString type(int index) const;
    QString outputDir(int index) const;
    QString falseEventsDir(int index) const;
    QString falseEventsFile(int index) const;
    // Null without a "cutoffDate" (or with JSON null); invalid unless "yyyy-MM-dd hh:mm:ss".
    QDateTime cutoffDate(int index) const;

    // The run's releases and sites in the order it names them; an unknown name gives a default
    // entry in its place.
    QList<ReleaseSpec> releases(int index) const;
    QList<SiteSpec> sites(int index) const;

private:
    void log(const QString& message) const;
    void buildReleases();
    void buildSites();
    QString runText(int index, const QString& key) const;

    QString baseDir_;
    MessageLoggerI* logger_ = nullptr;
    QVariantMap root_;
    QMap<QString, ReleaseSpec> releases_;
    QMap<QString, SiteSpec> sites_;
};

} // namespace kd
