// Survival runs through the console: the small study of fuzz/study with the input's changes,
// loaded into a new database and run as survival and, with the same settings, as standard.
//
// The input is split at lines starting with '@'. The text before the first such line is added
// to the events file; "@X" adds its lines to the study file that X names, "@X=" replaces that
// file with them (the keys of the pipeline target: t, n, e, d, r, a, l, p, x). The run's
// settings:
//   "@s"  its sites, one name a line; a name holding '+' defines a pooled site whose locations
//         are the parts ("A5+A6")
//   "@g"  its releases, one name a line; a name holding '/' or '+' defines a release whose
//         entries are the parts between '+', each "SITE/SPECIES" or "SITE/SPECIES/YEAR"
//   "@["  "@]"  the first line is windowStart, windowEnd; "@k" the first line is cutoffDate
//   "@T"  the first line is the run's title
//
// Beside not crashing, the survival run must take exactly the fish of the standard run, in
// its order, with the histories and removals that the standard file's capture codes give.
#include "fuzz/FuzzSupport.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

struct Settings
{
    QList<QByteArray> sites{"A1", "A2", "A3+A4", "A5+A6"};
    QList<QByteArray> releases{"CANYON/CHN+MILLCK/CHN", "Ferry"};
    QByteArray windowStart;
    QByteArray windowEnd;
    QByteArray cutoff;
    QByteArray title = "surv";
};

QList<QByteArray> linesOf(const QByteArray& body)
{
    QList<QByteArray> lines = body.split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    for (QByteArray& line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
    }
    return lines;
}

QByteArray firstLine(const QByteArray& body)
{
    const QList<QByteArray> lines = linesOf(body);
    // Not null, so that an empty section still sets the key (to an empty text).
    return lines.isEmpty() ? QByteArray("") : lines.first();
}

QByteArray nameList(const QList<QByteArray>& names)
{
    QByteArray list;
    for (const QByteArray& name : names)
        list += (list.isEmpty() ? "" : ", ") + kd::fuzz::jsonString(name);
    return "[" + list + "]";
}

// The definitions of the study, then one for each pooled name the run lists; a later
// definition with a study name replaces the study's.
QByteArray definitions(const Settings& settings)
{
    QByteArray pooledSites;
    for (const QByteArray& name : settings.sites) {
        if (!name.contains('+'))
            continue;
        QByteArray entries;
        for (const QByteArray& location : name.split('+'))
            entries += (entries.isEmpty() ? "" : ", ") +
                       ("{\"location\": " + kd::fuzz::jsonString(location) + "}");
        pooledSites +=
            ",\n    {\"name\": " + kd::fuzz::jsonString(name) + ", \"config\": [" + entries + "]}";
    }
    QByteArray pooledReleases;
    for (const QByteArray& name : settings.releases) {
        if (!name.contains('+') && !name.contains('/'))
            continue;
        QByteArray entries;
        for (const QByteArray& entry : name.split('+')) {
            const QList<QByteArray> parts = entry.split('/');
            QByteArray object = "{\"site\": " + kd::fuzz::jsonString(parts.value(0)) +
                                ", \"species\": " + kd::fuzz::jsonString(parts.value(1));
            if (parts.size() > 2)
                object += ", \"year\": " + QByteArray::number(parts[2].toInt());
            entries += (entries.isEmpty() ? "" : ", ") + object + "}";
        }
        pooledReleases += ",\n    {\"name\": " + kd::fuzz::jsonString(name) +
                          ", \"river_kilometer\": 450, \"config\": [" + entries + "]}";
    }
    QByteArray text = kd::fuzz::studyDefinitions();
    // The study's lists end with "\n  ],"; the pooled ones join them before that.
    const qsizetype sitesEnd = text.lastIndexOf("\n  ],");
    text.insert(sitesEnd, pooledSites);
    const qsizetype releasesEnd = text.lastIndexOf("\n  ],", text.indexOf("\"sites\""));
    text.insert(releasesEnd, pooledReleases);
    return text;
}

QByteArray config(const Settings& settings)
{
    QByteArray keys = "\"releases\": " + nameList(settings.releases) +
                      ", \"sites\": " + nameList(settings.sites) + ", \"outputDir\": \"results\"";
    if (!settings.windowStart.isNull())
        keys += ", \"windowStart\": " + kd::fuzz::jsonString(settings.windowStart);
    if (!settings.windowEnd.isNull())
        keys += ", \"windowEnd\": " + kd::fuzz::jsonString(settings.windowEnd);
    if (!settings.cutoff.isNull())
        keys += ", \"cutoffDate\": " + kd::fuzz::jsonString(settings.cutoff);
    const QByteArray title = kd::fuzz::jsonString(settings.title);
    return "{" + definitions(settings) + "\n  \"runs\": [\n    {\"title\": " + title +
           ", \"type\": \"survival\", " + keys + "},\n    {\"title\": " + title +
           ", \"type\": \"standard\", " + keys + "}]}";
}

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QList<QByteArray> linesOfFile(const QByteArray& text)
{
    QList<QByteArray> lines = text.split('\n');
    if (lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

// What the survival run must have made of the standard file's fish: for each, in the same
// order, the marked file's line "history,frequency,release,tag_code" (the history the release
// and a 1 for each site whose code is 1 or 2, the frequency -1 when a code is 2). False when
// the file cannot be read that way.
bool expectedMarked(const QByteArray& standard, QList<QByteArray>& expected)
{
    const QList<QByteArray> lines = linesOfFile(standard);
    // release_name, lot, tag_code, four more, length, weight, then three columns per site.
    const qsizetype sites = (lines.value(0).count(',') + 1 - 9) / 3;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QList<QByteArray> fields = lines[i].split(',');
        if (fields.size() != 9 + 3 * sites)
            return false;
        QByteArray history = "1";
        bool removed = false;
        for (qsizetype site = 0; site < sites; ++site) {
            const QByteArray& code = fields[9 + site];
            history += code == "0" ? '0' : '1';
            removed = removed || code == "2";
        }
        expected.append(history + (removed ? ",-1," : ",1,") + fields[0] + ',' + fields[2]);
    }
    return true;
}

// The marked file's lines without their length and weight.
QList<QByteArray> markedFish(const QByteArray& marked)
{
    QList<QByteArray> fish;
    const QList<QByteArray> lines = linesOfFile(marked);
    for (qsizetype i = 1; i < lines.size(); ++i)
        fish.append(lines[i].split(',').mid(0, 4).join(','));
    return fish;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const QMap<QString, QByteArray> study = kd::fuzz::studyFiles();
    static const QString simulationDir =
        QDir(kd::fuzz::workDir()).filePath(QStringLiteral("simulation"));
    kd::fuzz::ensureGuiApplication();

    QMap<QString, QByteArray> files = study;
    files.remove(QStringLiteral("false_events.csv"));
    Settings settings;
    for (const kd::fuzz::Section& section :
         kd::fuzz::sections(QByteArrayView(data, qsizetype(size)))) {
        const char key = section.header.isEmpty() ? 'e' : section.header[0];
        switch (key) {
        case 's':
            settings.sites = linesOf(section.body);
            continue;
        case 'g':
            settings.releases = linesOf(section.body);
            continue;
        case '[':
            settings.windowStart = firstLine(section.body);
            continue;
        case ']':
            settings.windowEnd = firstLine(section.body);
            continue;
        case 'k':
            settings.cutoff = firstLine(section.body);
            continue;
        case 'T':
            settings.title = firstLine(section.body).left(64);
            continue;
        default:
            break;
        }
        const QString file = kd::fuzz::studyFileOf(key);
        if (file.isEmpty() || key == 'f')
            continue;
        if (section.header.size() > 1 && section.header[1] == '=')
            files[file] = section.body;
        else
            files[file].append(section.body);
    }
    files.insert(QStringLiteral("config.txt"), config(settings));
    // A new folder and database each time: the outcome must depend on this input alone.
    kd::fuzz::writeTree(simulationDir, files);
    kd::fuzz::runConsole(simulationDir);

    // A title the file names cannot hold as it is would need the program's own escaping.
    const QString title = QString::fromUtf8(settings.title);
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_]+$"));
    if (!plain.match(title).hasMatch())
        return 0;
    const QDir results(QDir(simulationDir).filePath(QStringLiteral("results")));
    const QByteArray marked = contents(results.filePath(title + QStringLiteral("_marked.csv")));
    const QByteArray standard = contents(results.filePath(title + QStringLiteral("_standard.csv")));
    // Both written, and no field quoted (a quoted comma or line break would not split here).
    if (marked.isEmpty() || standard.isEmpty() || marked.contains('"') || standard.contains('"'))
        return 0;
    QList<QByteArray> expected;
    if (!expectedMarked(standard, expected))
        return 0;
    const QList<QByteArray> found = markedFish(marked);
    if (found != expected) {
        std::fprintf(stderr, "survival run's fish differ from the standard run's:\n%s\n--\n%s\n",
                     found.join('\n').constData(), expected.join('\n').constData());
        std::abort();
    }
    return 0;
}
