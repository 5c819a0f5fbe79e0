// A simulation configuration file of any content, read through every accessor of every run.
#include "base/ConsoleMessageLogger.h"
#include "fuzz/FuzzSupport.h"
#include "simulation/SimulationConfig.h"

#include <QDir>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const QString path = QDir(kd::fuzz::workDir()).filePath(QStringLiteral("config.txt"));
    static kd::ConsoleMessageLogger logger(kd::fuzz::nullStream());
    kd::fuzz::writeFile(path, QByteArrayView(data, qsizetype(size)));

    kd::SimulationConfig config;
    config.setLogger(&logger);
    if (!config.load(path))
        return 0;
    // Summed so that no accessor call can be left out as unused.
    qsizetype sink = config.baseDir().size() + config.dataDir().size() + config.year();
    // One index on either side of the runs: accessors must take any index.
    for (int i = -1; i <= config.runCount(); ++i) {
        sink += config.run(i).size() + config.active(i) + config.title(i).size() +
                config.type(i).size() + config.outputDir(i).size() +
                config.falseEventsDir(i).size() + config.falseEventsFile(i).size() +
                config.cutoffDate(i).isValid() + config.releaseNames(i).size() +
                config.siteNames(i).size();
        QDateTime start;
        QDateTime end;
        QString error;
        sink +=
            config.window(i, start, end, error) + start.isValid() + end.isValid() + error.size();
        for (const kd::ReleaseRecord& release : config.releases(i))
            sink += release.name.size() + release.site.size() + release.species.size() +
                    qsizetype(release.riverKm) + release.year;
        for (const kd::SiteRecord& site : config.sites(i))
            sink += site.name.size() + site.location.size() + site.year;
    }
    static volatile size_t total = 0;
    total = total + size_t(sink);
    return 0;
}
