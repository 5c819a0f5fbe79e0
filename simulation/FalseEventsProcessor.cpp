#include "simulation/FalseEventsProcessor.h"

#include "base/DateTimeText.h"
#include "processing/CsvField.h"
#include "run/RunExecution.h"
#include "simulation/FalseEventsCounter.h"
#include "simulation/SimulationConfig.h"
#include "store/DataProvider.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSaveFile>
#include <QTextStream>

namespace kd {

namespace {

struct Group
{
    const char* prefix;
    int suffixLength;
    QStringList patterns;
};

const QList<Group>& groups()
{
    static const QList<Group> all = {
        {"V1",
         3,
         {QStringLiteral("1111"), QStringLiteral("1011"), QStringLiteral("1101"),
          QStringLiteral("1001"), QStringLiteral("1120"), QStringLiteral("1020"),
          QStringLiteral("1110"), QStringLiteral("1010"), QStringLiteral("1200"),
          QStringLiteral("1100"), QStringLiteral("1000")}},
        {"R2",
         2,
         {QStringLiteral("0?11"), QStringLiteral("0?01"), QStringLiteral("0?20"),
          QStringLiteral("0?10"), QStringLiteral("0?00")}},
        {"R3",
         2,
         {QStringLiteral("0?11"), QStringLiteral("0?01"), QStringLiteral("0?20"),
          QStringLiteral("0?10"), QStringLiteral("0?00")}},
    };
    return all;
}

QStringList expansions(const QString& pattern)
{
    const qsizetype wildcard = pattern.indexOf(QLatin1Char('?'));
    if (wildcard < 0)
        return {pattern};
    QStringList result;
    for (const char digit : {'0', '1', '2'}) {
        QString expanded = pattern;
        expanded[wildcard] = QLatin1Char(digit);
        result.append(expansions(expanded));
    }
    return result;
}

// Splits and checks one false-event line; fieldCount is 6 with a leading set name, else 5.
bool parseEvent(QString line, int fieldCount, QString& setName, FalseEvent& event)
{
    static const QRegularExpression tagPattern(QStringLiteral("^G7[0-9A-Fa-fxX]{7}$"));
    if (line.endsWith(QLatin1Char('\r')))
        line.chop(1);
    const QStringList fields = line.split(QLatin1Char(','));
    if (fields.size() != fieldCount)
        return false;
    const int offset = fieldCount - 5;
    if (!tagPattern.match(fields[offset + 1]).hasMatch())
        return false;
    if (offset)
        setName = fields[0];
    event.valid = true;
    event.site = fields[offset];
    event.tagCode = fields[offset + 1];
    event.first = DateTimeText::parseStrict(fields[offset + 2]);
    return true;
}

} // namespace

QStringList FalseEventsProcessor::tableHeader()
{
    QStringList header{QStringLiteral("replicate")};
    for (const Group& group : groups()) {
        for (const QString& pattern : group.patterns)
            header.append(QLatin1String(group.prefix) + QLatin1Char('_') +
                          pattern.right(group.suffixLength));
    }
    return header;
}

FalseEventSets FalseEventsProcessor::loadFalseEventsFile(const QString& path) const
{
    FalseEventSets sets;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return sets;
    QTextStream in(&file);
    QString line;
    while (in.readLineInto(&line)) {
        QString setName;
        FalseEvent event;
        if (parseEvent(line, 6, setName, event))
            sets[setName].append(event);
    }
    return sets;
}

FalseEventSets FalseEventsProcessor::loadFalseEventsDir(const QString& path) const
{
    FalseEventSets sets;
    QDir dir(path);
    if (!dir.exists()) {
        log(QStringLiteral("Unable to open false events dir: ") + path);
        return sets;
    }
    const QFileInfoList files = dir.entryInfoList(QDir::Files, QDir::Name);
    for (const QFileInfo& info : files) {
        QList<FalseEvent>& events = sets[info.fileName()];
        QFile file(info.filePath());
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
            log(QStringLiteral("Unable to open ") + info.filePath());
            continue;
        }
        QTextStream in(&file);
        QString line;
        while (in.readLineInto(&line)) {
            QString unused;
            FalseEvent event;
            if (parseEvent(line, 5, unused, event))
                events.append(event);
        }
    }
    return sets;
}

bool FalseEventsProcessor::writeCategoryTable(const QString& path, const Results& results,
                                              const QStringList& releases) const
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        log(QStringLiteral("Unable to open file for writing! %1: %2")
                .arg(path, file.errorString()));
        return false;
    }
    // Group 1 sums every release but the last two; groups 2 and 3 are the last two.
    const qsizetype n = releases.size();
    QList<QStringList> groupReleases(3);
    for (qsizetype i = 0; i < n; ++i)
        groupReleases[i < n - 2 ? 0 : (i == n - 2 ? 1 : 2)].append(releases[i]);

    QByteArray text = tableHeader().join(QLatin1Char(',')).toUtf8() + '\n';
    for (const auto& [name, counts] : results) {
        QString line = csvField(name);
        for (int g = 0; g < groups().size(); ++g) {
            for (const QString& pattern : groups()[g].patterns) {
                int sum = 0;
                for (const QString& release : groupReleases[g]) {
                    const auto histories = counts.constFind(release);
                    if (histories == counts.constEnd())
                        continue;
                    for (const QString& history : expansions(pattern))
                        sum += histories->value(history);
                }
                line += QLatin1Char(',') + QString::number(sum);
            }
        }
        text += line.toUtf8() + '\n';
    }
    file.write(text);
    if (!file.commit()) {
        log(QStringLiteral("Unable to write %1: %2").arg(path, file.errorString()));
        return false;
    }
    return true;
}

bool FalseEventsProcessor::process(int runIndex)
{
    const QStringList releases = config_->releaseNames(runIndex);
    // The table's last two columns groups are the last two releases.
    if (releases.size() < 2) {
        log(QStringLiteral("False events run needs at least 2 releases."));
        return true;
    }
    RunExecution execution(*provider_, plan_, logger_);
    if (!extractConfigured(execution))
        return false;
    // The counts of every set start from the same rows, so these are held.
    QList<CaptureRow> rows;
    if (!execution.readAll(rows)) {
        log(execution.errorText());
        return false;
    }
    const FalseEventsCounter counter(rows, execution.extraction().sites,
                                     execution.extraction().siteRiverKm, plan_.cutoff);
    rows.clear();
    Results results;
    results.append({QStringLiteral("Baseline"), counter.baseline()});
    log(QStringLiteral("Done.\n"));

    log(QStringLiteral("Processing false events"));
    log(QStringLiteral("-----------------------"));
    const QDir base(config_->baseDir());
    FalseEventSets sets;
    bool sourceNamed = true;
    if (!config_->falseEventsFile(runIndex).isEmpty())
        sets = loadFalseEventsFile(base.filePath(config_->falseEventsFile(runIndex)));
    else if (!config_->falseEventsDir(runIndex).isEmpty())
        sets = loadFalseEventsDir(base.filePath(config_->falseEventsDir(runIndex)));
    else
        sourceNamed = false;
    if (sourceNamed && sets.isEmpty()) {
        log(QStringLiteral("Error loading false events."));
        return false;
    }

    const qsizetype total = sets.size();
    const int width = int(QString::number(total).size());
    qsizetype k = 0;
    for (auto set = sets.cbegin(); set != sets.cend(); ++set) {
        ++k;
        const QByteArray progress = QStringLiteral("Processing %1/%2...")
                                        .arg(k, width, 10, QLatin1Char(' '))
                                        .arg(total)
                                        .toLocal8Bit();
        std::fputs(progress.constData(), err_);
        std::fflush(err_);
        results.append({set.key(), counter.countsWith(set.value())});
        std::fputc('\r', err_);
        std::fflush(err_);
    }
    if (total > 0) {
        std::fputc('\n', out_);
        std::fflush(out_);
    }

    const QString path = resultPath(runIndex);
    if (path.isEmpty())
        return false;
    log(QStringLiteral("Writing results to ") + path + QStringLiteral("..."));
    if (!writeCategoryTable(path, results, releases))
        return false;
    log(QStringLiteral("Done.\n"));
    return true;
}

} // namespace kd
