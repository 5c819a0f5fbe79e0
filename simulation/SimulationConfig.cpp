#include "simulation/SimulationConfig.h"

#include "app/DateTimeText.h"
#include "app/MessageLoggerI.h"
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
        for (const QVariant& entry : config) {
            const QVariantMap location = asMap(entry);
            ReleaseSpec release;
            release.name = name;
            release.site = asText(location.value(QStringLiteral("site")));
            release.species = asText(location.value(QStringLiteral("species")));
            release.riverKm = riverKm;
            release.year = configYear;
            releases_.insert(name, release);
        }
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
        for (const QVariant& entry : config) {
            SiteSpec site;
            site.name = name;
            site.location = asText(asMap(entry).value(QStringLiteral("location")));
            site.year = configYear;
            sites_.insert(name, site);
        }
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

QList<ReleaseSpec> SimulationConfig::releases(int index) const
{
    QList<ReleaseSpec> result;
    const QVariantList names = asList(run(index).value(QStringLiteral("releases")));
    for (const QVariant& name : names)
        result.append(releases_.value(asText(name)));
    return result;
}

QList<SiteSpec> SimulationConfig::sites(int index) const
{
    QList<SiteSpec> result;
    const QVariantList names = asList(run(index).value(QStringLiteral("sites")));
    for (const QVariant& name : names)
        result.append(sites_.value(asText(name)));
    return result;
}

} // namespace kd
