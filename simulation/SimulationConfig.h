#pragma once

#include "store/ReleaseRecord.h"
#include "store/SiteRecord.h"

#include <QDateTime>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QVariantMap>

namespace kd {

struct RunPlan;

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

    // The entries of the run's releases and sites in the order it names them; a release or
    // site with several entries pools them (one record per entry, all with its name). An
    // unknown name gives nothing.
    QList<ReleaseRecord> releases(int index) const;
    QList<SiteRecord> sites(int index) const;
    // The names the run lists, as listed.
    QStringList releaseNames(int index) const;
    QStringList siteNames(int index) const;
    bool definesRelease(const QString& name) const { return releases_.contains(name); }
    bool definesSite(const QString& name) const { return sites_.contains(name); }
    // The run's detection window ("windowStart", "windowEnd"; absent or null: open). False,
    // with the reason in error, when a bound is not a date-time or the start is after the end.
    bool window(int index, QDateTime& start, QDateTime& end, QString& error) const;
    // The run's cutoff ("cutoffDate"; absent or null: none). False, with the reason in error,
    // when it is not a date-time: a cutoff mistyped must not silently mean none.
    bool cutoff(int index, QDateTime& cutoff, QString& error) const;
    // The run as the faces share it: its title, kind (null for a type no kind has), releases,
    // sites, window and cutoff. False, with the refusal in error, when the window or cutoff
    // is refused.
    bool runPlan(int index, RunPlan& plan, QString& error) const;
    // The survival run's intervals ("intervals": "wald", the default, or "profile"). False,
    // with the reason in error, for any other value.
    bool profileIntervals(int index, bool& profile, QString& error) const;
    // The options of the run's kind (a survival run's intervals) into plan. False, with the
    // refusal in error, for a value the kind does not take.
    bool runOptions(int index, RunPlan& plan, QString& error) const;

private:
    void log(const QString& message) const;
    // The date-time under key in the run (absent or null: invalid, and true); false with the
    // refusal in error when it is there but no date-time.
    bool dateTime(int index, const char* key, QDateTime& value, QString& error) const;
    void buildReleases();
    void buildSites();
    void warnUnknownKeys() const;
    QString runText(int index, const QString& key) const;

    QString baseDir_;
    MessageLoggerI* logger_ = nullptr;
    QVariantMap root_;
    QMap<QString, QList<ReleaseRecord>> releases_;
    QMap<QString, QList<SiteRecord>> sites_;
};

} // namespace kd
