// False-event files for the false_events runs of the small study of fuzz/study, once as one
// file of sets and once as a folder of one file per set.
//
// The whole input is the file of sets ("set,site,tag_code,first,last,value" lines). For the
// folder, the input is split at lines starting with '@': each section is one set's file
// ("site,tag_code,first,last,value" lines), named by its '@' line.
#include "fuzz/FuzzSupport.h"

#include <QDir>

#include <cstddef>
#include <cstdint>

namespace {

QByteArray config()
{
    const QByteArray run =
        R"("type": "false_events", "releases": ["Canyon", "MillCreek", "Ferry"], )"
        R"("sites": ["A1", "A3", "A4", "A5"], "outputDir": "results", )";
    return "{" + kd::fuzz::studyDefinitions() + R"("runs": [
    {"title": "file", )" +
           run + R"("falseEventsFile": "false_events.csv"},
    {"title": "folder", )" +
           run + R"("falseEventsDir": "false_events"}]})";
}

// A file name inside the folder whatever the '@' line holds: the index keeps names apart and
// from starting with a dot.
QString setFileName(int index, const QByteArray& header)
{
    QByteArray name = QByteArray::number(index) + '_' + header.left(64);
    name.replace('/', '_');
    name.replace('\0', '_');
    return QString::fromUtf8(name);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const QDir simulationDir(
        QDir(kd::fuzz::workDir()).filePath(QStringLiteral("simulation")));
    // The study is written and loaded once: later runs find every data file current, so that
    // an execution costs the false-event runs only.
    static const bool written = [] {
        QMap<QString, QByteArray> files = kd::fuzz::studyFiles();
        files.insert(QStringLiteral("config.txt"), config());
        kd::fuzz::writeTree(simulationDir.path(), files);
        return true;
    }();
    (void)written;

    const QByteArrayView input(data, qsizetype(size));
    kd::fuzz::writeFile(simulationDir.filePath(QStringLiteral("false_events.csv")), input);
    const QString folder = simulationDir.filePath(QStringLiteral("false_events"));
    kd::fuzz::removePath(folder);
    QDir().mkpath(folder);
    const QList<kd::fuzz::Section> sets = kd::fuzz::sections(input);
    for (int i = 0; i < sets.size(); ++i) {
        kd::fuzz::writeFile(QDir(folder).filePath(setFileName(i, sets[i].header)), sets[i].body);
    }
    kd::fuzz::removePath(simulationDir.filePath(QStringLiteral("results")));
    kd::fuzz::runConsole(simulationDir.path());
    return 0;
}
