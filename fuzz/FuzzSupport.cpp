#include "fuzz/FuzzSupport.h"

#include "simulation/SimulationRunner.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <clocale>
#include <cstdlib>

namespace kd::fuzz {

QString workDir()
{
    // In memory where the system offers it: the store syncs its file on every commit, and
    // waiting for the disk would cost more than the rest of an execution.
    static const QString base = QFileInfo(QStringLiteral("/dev/shm")).isWritable()
                                    ? QStringLiteral("/dev/shm")
                                    : QDir::tempPath();
    static QTemporaryDir dir(base + QStringLiteral("/keldar-fuzz-XXXXXX"));
    if (!dir.isValid())
        std::abort();
    return dir.path();
}

std::FILE* nullStream()
{
    // KELDAR_FUZZ_LOG shows what a reproducer makes the program say.
    static std::FILE* stream =
        std::getenv("KELDAR_FUZZ_LOG") ? stderr : std::fopen("/dev/null", "w");
    if (!stream)
        std::abort();
    return stream;
}

bool writeFile(const QString& path, QByteArrayView bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return file.write(bytes.data(), bytes.size()) == bytes.size();
}

void removePath(const QString& path)
{
    const QFileInfo info(path);
    if (info.isDir() && !info.isSymLink())
        QDir(path).removeRecursively();
    else
        QFile::remove(path);
}

QMap<QString, QByteArray> studyFiles()
{
    QMap<QString, QByteArray> files;
    const QDir study(QStringLiteral(KD_FUZZ_STUDY_DIR));
    QDirIterator it(study.path(), QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            std::abort();
        files.insert(study.relativeFilePath(path), file.readAll());
    }
    if (files.isEmpty())
        std::abort();
    return files;
}

QByteArray studyDefinitions()
{
    return R"(
  "dataDir": "data",
  "year": 2023,
  "releases": [
    {"name": "Canyon", "river_kilometer": 477, "config": [{"site": "CANYON", "species": "CHN"}]},
    {"name": "MillCreek", "river_kilometer": 431, "config": [{"site": "MILLCK", "species": "CHN"}]},
    {"name": "Ferry", "river_kilometer": 352, "config": [{"site": "FERRY", "species": "STH"}]}
  ],
  "sites": [
    {"name": "A1", "config": [{"location": "A1"}]},
    {"name": "A2", "config": [{"location": "A2"}]},
    {"name": "A3", "config": [{"location": "A3"}]},
    {"name": "A4", "config": [{"location": "A4"}]},
    {"name": "A5", "config": [{"location": "A5"}]},
    {"name": "A6", "config": [{"location": "A6"}]}
  ],
)";
}

void writeTree(const QString& folder, const QMap<QString, QByteArray>& files)
{
    removePath(folder);
    const QDir dir(folder);
    for (auto it = files.cbegin(); it != files.cend(); ++it) {
        if (!writeFile(dir.filePath(it.key()), it.value()))
            std::abort();
    }
}

QByteArray jsonString(QByteArrayView text)
{
    QByteArray result = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\')
            result.append('\\').append(c);
        else if (byte < 0x20)
            result.append(QByteArray("\\u00") +
                          QByteArray::number(byte, 16).rightJustified(2, '0'));
        else
            result.append(c);
    }
    return result + '"';
}

int runConsole(const QString& simulationDir)
{
    kd::SimulationRunner runner(QStringLiteral("keldar"), simulationDir, nullStream(),
                                nullStream());
    return int(runner.run());
}

QString studyFileOf(char key)
{
    switch (key) {
    case 't':
        return QStringLiteral("data/tags.csv");
    case 'n':
        return QStringLiteral("data/receivers/nodes.csv");
    case 'e':
        return QStringLiteral("data/events.csv");
    case 'd':
        return QStringLiteral("data/downloads/A6_events.csv");
    case 'r':
        return QStringLiteral("data/removals.csv");
    case 'a':
        return QStringLiteral("data/tag_attributes.csv");
    case 'l':
        return QStringLiteral("data/tag_life_data.csv");
    case 'p':
        return QStringLiteral("data/tag_locations.csv");
    case 'f':
        return QStringLiteral("false_events.csv");
    case 'x':
        return QStringLiteral("data/extra.csv");
    default:
        return QString();
    }
}

namespace {

void quietMessages(QtMsgType, const QMessageLogContext&, const QString& message)
{
    if (std::getenv("KELDAR_FUZZ_LOG"))
        std::fprintf(stderr, "%s\n", qUtf8Printable(message));
}

} // namespace

// Fontconfig, which the offscreen platform loads for the chart's text, keeps a few blocks it never
// frees; they are not the program's.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n";
}

void ensureGuiApplication()
{
    // Made once and kept: a survival run would otherwise start and end an application of its
    // own in every execution, which costs more than the run.
    static int argc = 3;
    static char name[] = "keldar-fuzz";
    static char option[] = "-platform";
    static char platform[] = "offscreen";
    static char* argv[] = {name, option, platform, nullptr};
    static const bool started = [] {
        qInstallMessageHandler(quietMessages);
        // The console reads and writes numbers through the C library in the "C" form, which
        // starting the application would change.
        const QByteArray numeric = std::setlocale(LC_NUMERIC, nullptr);
        new QGuiApplication(argc, argv);
        std::setlocale(LC_NUMERIC, numeric.constData());
        return true;
    }();
    (void)started;
}

QList<Section> sections(QByteArrayView input)
{
    QList<Section> result{Section()};
    qsizetype pos = 0;
    while (pos < input.size()) {
        qsizetype end = input.indexOf('\n', pos);
        end = end < 0 ? input.size() : end + 1;
        const QByteArrayView line = input.sliced(pos, end - pos);
        if (line.startsWith('@')) {
            Section section;
            section.header = line.sliced(1).toByteArray().trimmed();
            result.append(section);
        } else {
            result.last().body.append(line);
        }
        pos = end;
    }
    return result;
}

} // namespace kd::fuzz
