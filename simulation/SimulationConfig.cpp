#include "simulation/SimulationConfig.h"

#include "base/DateTimeText.h"
#include "base/MessageLoggerI.h"
#include "run/RunKinds.h"
#include "run/RunPlan.h"
#include "simulation/JsonReader.h"

#include <QFile>
#include <QFileInfo>
#include <QTextStream>
#include <QVariantList>

#include <cmath>
#include <limits>

namespace kd {

namespace {

// The conversions below give neutral values for values of the wrong JSON type instead of
// whatever Qt's generic conversions would make of a container.

bool isContainer(const QVariant& value)
{
    const int type = value.typeId();
    return type == QMetaType::QVariantMap || type == QMetaType::QVariantList;
}

QVariantMap asMap(const QVariant& value)
{
    return value.typeId() == QMetaType::QVariantMap ? value.toMap() : QVariantMap();
}

QVariantList asList(const QVariant& value)
{
    return value.typeId() == QMetaType::QVariantList ? value.toList() : QVariantList();
}

QString asText(const QVariant& value)
{
    return isContainer(value) ? QString() : value.toString();
}

int asInt(const QVariant& value)
{
    if (isContainer(value))
        return 0;
    // A number written with a fraction or an exponent counts only when it is a whole number
    // within range; anything else is no number.
    if (value.typeId() == QMetaType::Double) {
        const double number = value.toDouble();
        if (!std::isfinite(number) || number != std::floor(number) ||
            number < double(std::numeric_limits<int>::min()) ||
            number > double(std::numeric_limits<int>::max()))
            return 0;
        return int(number);
    }
    bool ok = false;
    const qlonglong number = value.toLongLong(&ok);
    if (!ok || number < std::numeric_limits<int>::min() || number > std::numeric_limits<int>::max())
        return 0;
    return int(number);
}

// An entry's own "year" replaces the configuration's for that entry only.
int entryYear(const QVariantMap& entry, int configYear)
{
    const auto year = entry.constFind(QStringLiteral("year"));
    return year == entry.constEnd() ? configYear : asInt(*year);
}

// A configuration value as a message shows it: text in double quotes.
QString shown(const QVariant& value)
{
    if (value.typeId() == QMetaType::QString)
        return QLatin1Char('"') + value.toString() + QLatin1Char('"');
    if (isContainer(value))
        return value.typeId() == QMetaType::QVariantMap ? QStringLiteral("{...}")
                                                        : QStringLiteral("[...]");
    return value.toString();
}

} // namespace

void SimulationConfig::log(const QString& message) const
{
    if (logger_)
        logger_->log(message, 0);
}

bool SimulationConfig::load(const QString& path)
{
    baseDir_ = QFileInfo(path).absolutePath();
    root_.clear();
    releases_.clear();
    sites_.clear();

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        log(QStringLiteral("Unable to open config file: ") + path);
        return false;
    }
    // The stream also drops a byte-order mark that some editors write.
    QTextStream stream(&file);
    const QString text = stream.readAll();
    file.close();

    bool ok = false;
    JsonReader reader;
    const QVariant parsed = reader.parse(text, ok);
    if (!ok) {
        // The place, not the whole text: a long configuration would bury it.
        log(QStringLiteral("Unable to parse config file: line %1, column %2")
                .arg(reader.errorLine())
                .arg(reader.errorColumn()));
        return false;
    }
    if (!text.isEmpty() && parsed.typeId() != QMetaType::QVariantMap) {
        log(QStringLiteral("Unable to parse config file: the configuration is not a JSON object"));
        return false;
    }
    root_ = asMap(parsed);
    warnUnknownKeys();
    buildReleases();
    buildSites();
    return true;
}

void SimulationConfig::buildReleases()
{
    const qint32 configYear = year();
    const QVariantList list = asList(root_.value(QStringLiteral("releases")));
    for (const QVariant& element : list) {
        const QVariantMap object = asMap(element);
        const QString name = asText(object.value(QStringLiteral("name")));
        const qint32 riverKm = asInt(object.value(QStringLiteral("river_kilometer")));
        const QVariantList config = asList(object.value(QStringLiteral("config")));
        if (config.isEmpty())
            continue;
        // Every entry of the object counts: a release pools the release groups of all.
        QList<ReleaseRecord> entries;
        for (const QVariant& entry : config) {
            const QVariantMap location = asMap(entry);
            ReleaseRecord release;
            release.name = name;
            release.site = asText(location.value(QStringLiteral("site")));
            release.species = asText(location.value(QStringLiteral("species")));
            release.riverKm = riverKm;
            release.year = entryYear(location, configYear);
            entries.append(release);
        }
        if (releases_.contains(name))
            log(QStringLiteral("***Warning: Release \"%1\" is defined again; the later definition "
                               "replaces the earlier one")
                    .arg(name));
        releases_.insert(name, entries);
    }
}

void SimulationConfig::buildSites()
{
    const qint32 configYear = year();
    const QVariantList list = asList(root_.value(QStringLiteral("sites")));
    for (const QVariant& element : list) {
        const QVariantMap object = asMap(element);
        const QString name = asText(object.value(QStringLiteral("name")));
        const QVariantList config = asList(object.value(QStringLiteral("config")));
        if (config.isEmpty())
            continue;
        // Every entry counts: a site pools the arrays of all its locations.
        QList<SiteRecord> entries;
        for (const QVariant& entry : config) {
            const QVariantMap location = asMap(entry);
            SiteRecord site;
            site.name = name;
            site.location = asText(location.value(QStringLiteral("location")));
            site.year = entryYear(location, configYear);
            entries.append(site);
        }
        if (sites_.contains(name))
            log(QStringLiteral("***Warning: Site \"%1\" is defined again; the later definition "
                               "replaces the earlier one")
                    .arg(name));
        sites_.insert(name, entries);
    }
}

void SimulationConfig::warnUnknownKeys() const
{
    static const QStringList rootKeys = {"dataDir", "year", "releases", "sites", "runs"};
    static const QStringList releaseKeys = {"name", "river_kilometer", "config"};
    static const QStringList releaseEntryKeys = {"site", "species", "year"};
    static const QStringList siteKeys = {"name", "config"};
    static const QStringList siteEntryKeys = {"location", "year"};
    static const QStringList runKeys = {
        "title",  "type",           "releases",        "sites",       "outputDir", "cutoffDate",
        "active", "falseEventsDir", "falseEventsFile", "windowStart", "windowEnd", "intervals"};
    const auto check = [this](const QVariantMap& object, const QStringList& known,
                              const QString& where) {
        for (auto it = object.cbegin(); it != object.cend(); ++it) {
            if (!known.contains(it.key()))
                log(QStringLiteral("***Warning: unknown key \"%1\" in %2").arg(it.key(), where));
        }
    };
    check(root_, rootKeys, QStringLiteral("the configuration"));
    const auto named = [](const QString& list, qsizetype i, const QVariantMap& object,
                          const char* nameKey) {
        const QString name = asText(object.value(QLatin1String(nameKey)));
        return name.isEmpty() ? QStringLiteral("%1[%2]").arg(list).arg(i)
                              : QStringLiteral("%1[%2] (\"%3\")").arg(list).arg(i).arg(name);
    };
    const auto checkDefinitions = [&](const QString& list, const QStringList& keys,
                                      const QStringList& entryKeys) {
        const QVariantList objects = asList(root_.value(list));
        for (qsizetype i = 0; i < objects.size(); ++i) {
            const QVariantMap object = asMap(objects[i]);
            const QString where = named(list, i, object, "name");
            check(object, keys, where);
            const QVariantList entries = asList(object.value(QStringLiteral("config")));
            for (qsizetype e = 0; e < entries.size(); ++e)
                check(asMap(entries[e]), entryKeys,
                      QStringLiteral("%1 config[%2]").arg(where).arg(e));
        }
    };
    checkDefinitions(QStringLiteral("releases"), releaseKeys, releaseEntryKeys);
    checkDefinitions(QStringLiteral("sites"), siteKeys, siteEntryKeys);
    const QVariantList runs = asList(root_.value(QStringLiteral("runs")));
    for (qsizetype i = 0; i < runs.size(); ++i) {
        const QVariantMap object = asMap(runs[i]);
        check(object, runKeys, named(QStringLiteral("runs"), i, object, "title"));
    }
}

QString SimulationConfig::dataDir() const
{
    return asText(root_.value(QStringLiteral("dataDir")));
}

int SimulationConfig::year() const
{
    return asInt(root_.value(QStringLiteral("year")));
}

int SimulationConfig::runCount() const
{
    return int(asList(root_.value(QStringLiteral("runs"))).size());
}

QVariantMap SimulationConfig::run(int index) const
{
    const QVariantList runs = asList(root_.value(QStringLiteral("runs")));
    if (index < 0 || index >= runs.size())
        return QVariantMap();
    return asMap(runs.at(index));
}

bool SimulationConfig::active(int index) const
{
    const QVariantMap object = run(index);
    const auto it = object.constFind(QStringLiteral("active"));
    if (it == object.constEnd())
        return true;
    return isContainer(*it) ? false : it->toBool();
}

QString SimulationConfig::runText(int index, const QString& key) const
{
    return asText(run(index).value(key));
}

QString SimulationConfig::title(int index) const
{
    return runText(index, QStringLiteral("title"));
}

QString SimulationConfig::type(int index) const
{
    return runText(index, QStringLiteral("type"));
}

QString SimulationConfig::outputDir(int index) const
{
    return runText(index, QStringLiteral("outputDir"));
}

QString SimulationConfig::falseEventsDir(int index) const
{
    return runText(index, QStringLiteral("falseEventsDir"));
}

QString SimulationConfig::falseEventsFile(int index) const
{
    return runText(index, QStringLiteral("falseEventsFile"));
}

QDateTime SimulationConfig::cutoffDate(int index) const
{
    const QVariant value = run(index).value(QStringLiteral("cutoffDate"));
    if (!value.isValid())
        return QDateTime();
    return DateTimeText::parseStrict(asText(value));
}

bool SimulationConfig::runPlan(int index, RunPlan& plan, QString& error) const
{
    plan = RunPlan();
    if (!window(index, plan.selection.windowStart, plan.selection.windowEnd, error) ||
        !cutoff(index, plan.cutoff, error))
        return false;
    plan.name = title(index);
    plan.kind = RunKinds::byConsoleName(type(index));
    plan.selection.releases = releases(index);
    plan.selection.sites = sites(index);
    return true;
}

bool SimulationConfig::runOptions(int index, RunPlan& plan, QString& error) const
{
    // Only a survival run reads its intervals, so only it refuses them.
    if (!plan.kind || plan.kind->computation != RunKind::Survival)
        return true;
    return profileIntervals(index, plan.survivalFit.profileIntervals, error);
}

QList<ReleaseRecord> SimulationConfig::releases(int index) const
{
    QList<ReleaseRecord> result;
    for (const QString& name : releaseNames(index))
        result.append(releases_.value(name));
    return result;
}

QList<SiteRecord> SimulationConfig::sites(int index) const
{
    QList<SiteRecord> result;
    for (const QString& name : siteNames(index))
        result.append(sites_.value(name));
    return result;
}

QStringList SimulationConfig::releaseNames(int index) const
{
    QStringList result;
    for (const QVariant& name : asList(run(index).value(QStringLiteral("releases"))))
        result.append(asText(name));
    return result;
}

QStringList SimulationConfig::siteNames(int index) const
{
    QStringList result;
    for (const QVariant& name : asList(run(index).value(QStringLiteral("sites"))))
        result.append(asText(name));
    return result;
}

bool SimulationConfig::dateTime(int index, const char* key, QDateTime& value, QString& error) const
{
    value = QDateTime();
    const QVariant text = run(index).value(QLatin1String(key));
    if (!text.isValid())
        return true; // absent or JSON null
    value = text.typeId() == QMetaType::QString ? DateTimeText::parseStrict(text.toString())
                                                : QDateTime();
    if (value.isValid())
        return true;
    error = QStringLiteral("Run \"%1\" refused: %2 %3 is not a date-time "
                           "(yyyy-MM-dd hh:mm:ss)")
                .arg(title(index), QLatin1String(key), shown(text));
    return false;
}

bool SimulationConfig::cutoff(int index, QDateTime& cutoff, QString& error) const
{
    return dateTime(index, "cutoffDate", cutoff, error);
}

bool SimulationConfig::window(int index, QDateTime& start, QDateTime& end, QString& error) const
{
    end = QDateTime();
    if (!dateTime(index, "windowStart", start, error) || !dateTime(index, "windowEnd", end, error))
        return false;
    if (start.isValid() && end.isValid() && start > end) {
        error = QStringLiteral("Run \"%1\" refused: windowStart %2 is after windowEnd %3")
                    .arg(title(index), DateTimeText::format(start), DateTimeText::format(end));
        return false;
    }
    return true;
}

bool SimulationConfig::profileIntervals(int index, bool& profile, QString& error) const
{
    profile = false;
    const QVariant value = run(index).value(QStringLiteral("intervals"));
    if (!value.isValid())
        return true; // absent or JSON null
    if (value.typeId() == QMetaType::QString) {
        if (value.toString() == QLatin1String("wald"))
            return true;
        if (value.toString() == QLatin1String("profile")) {
            profile = true;
            return true;
        }
    }
    error = QStringLiteral("Run \"%1\" refused: intervals %2 is neither \"wald\" nor \"profile\"")
                .arg(title(index), shown(value));
    return false;
}

} // namespace kd
