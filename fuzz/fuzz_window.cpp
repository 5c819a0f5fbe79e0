// The detection window bounds of a console run on the small study of fuzz/study.
//
// The input's first three lines are the values of windowStart and windowEnd of a standard and
// a kavel run, and of the standard run's cutoffDate: a line "-" (or a missing line) leaves the key
// out, a line starting with '=' gives the rest as a JSON value as it is ("=null", "=2023", "={}"),
// any other line is the text of a JSON string. A third run, without any of the keys, must always be
// written.
//
// When every value is a text or absent, the bounds are judged here, apart from the program: a
// run with a bound or a cutoff that is not a date-time "yyyy-MM-dd hh:mm:ss", or with a start
// after its end, must be refused (no file, the console's outcome "some failed"); any other run must
// be written, and every first detection time of its standard file must lie within the bounds.
#include "fuzz/FuzzSupport.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QTime>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

enum Outcome { AllHandled = 0, SomeFailed = 1 };

struct Value
{
    bool present = false;
    bool raw = false; // a JSON value given as it is: not judged here
    QByteArray text;
};

Value valueOf(const QList<QByteArray>& lines, qsizetype index)
{
    Value value;
    if (index >= lines.size() || lines[index] == "-")
        return value;
    value.present = true;
    const QByteArray& line = lines[index];
    if (line.startsWith('=')) {
        value.raw = true;
        value.text = line.mid(1);
    } else {
        value.text = line;
    }
    return value;
}

QByteArray member(const char* key, const Value& value)
{
    if (!value.present)
        return QByteArray();
    return QByteArray(", \"") + key +
           "\": " + (value.raw ? value.text : kd::fuzz::jsonString(value.text));
}

bool digits(const QByteArray& text, qsizetype from, qsizetype count, int& number)
{
    number = 0;
    for (qsizetype i = from; i < from + count; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        number = number * 10 + (text[i] - '0');
    }
    return true;
}

// A date-time in exactly the form yyyy-MM-dd hh:mm:ss, of a day and time that exist.
bool isDateTime(const QByteArray& text)
{
    if (text.size() != 19 || text[4] != '-' || text[7] != '-' || text[10] != ' ' ||
        text[13] != ':' || text[16] != ':')
        return false;
    int year, month, day, hour, minute, second;
    if (!digits(text, 0, 4, year) || !digits(text, 5, 2, month) || !digits(text, 8, 2, day) ||
        !digits(text, 11, 2, hour) || !digits(text, 14, 2, minute) || !digits(text, 17, 2, second))
        return false;
    return QDate(year, month, day).isValid() && QTime(hour, minute, second).isValid();
}

QByteArray config(const Value& start, const Value& end, const Value& cutoff)
{
    const QByteArray run = R"("releases": ["Canyon", "MillCreek", "Ferry"], )"
                           R"("sites": ["A1", "A2", "A3", "A4", "A5", "A6"], )"
                           R"("outputDir": "results")";
    const QByteArray window = member("windowStart", start) + member("windowEnd", end);
    return "{" + kd::fuzz::studyDefinitions() + R"("runs": [
    {"title": "w", "type": "standard", )" +
           run + window + member("cutoffDate", cutoff) + R"(},
    {"title": "k", "type": "kavel", )" +
           run + window + R"(},
    {"title": "c", "type": "kavel", )" +
           run + "}]}";
}

// Whether every first detection of the standard file lies within the bounds, which are
// included; a file with quoted fields is not read.
bool firstDetectionsWithin(const QString& path, const Value& start, const Value& end)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray text = file.readAll();
    if (text.contains('"'))
        return true;
    const QList<QByteArray> lines = text.split('\n');
    const QList<QByteArray> header = lines.first().split(',');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QList<QByteArray> fields = lines[i].split(',');
        for (qsizetype column = 0; column < header.size() && column < fields.size(); ++column) {
            const QByteArray& first = fields[column];
            if (!header[column].endsWith("_first") || first.isEmpty())
                continue;
            // The fixed form orders as its text does.
            if ((start.present && first < start.text) || (end.present && first > end.text))
                return false;
        }
    }
    return true;
}

[[noreturn]] void fail(const char* what)
{
    std::fprintf(stderr, "window: %s\n", what);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const QDir simulationDir(
        QDir(kd::fuzz::workDir()).filePath(QStringLiteral("simulation")));
    // The study is written once and loaded by the first execution; later ones find every data
    // file current, so that an execution costs the runs only.
    static const bool written = [] {
        kd::fuzz::writeTree(simulationDir.path(), kd::fuzz::studyFiles());
        return true;
    }();
    (void)written;

    const QList<QByteArray> lines =
        QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)).split('\n');
    const Value start = valueOf(lines, 0);
    const Value end = valueOf(lines, 1);
    const Value cutoff = valueOf(lines, 2);
    kd::fuzz::writeFile(simulationDir.filePath(QStringLiteral("config.txt")),
                        config(start, end, cutoff));
    const QString results = simulationDir.filePath(QStringLiteral("results"));
    kd::fuzz::removePath(results);
    const int outcome = kd::fuzz::runConsole(simulationDir.path());

    if (start.raw || end.raw || cutoff.raw)
        return 0;
    const QDir resultDir(results);
    const bool windowed = resultDir.exists(QStringLiteral("w_standard.csv"));
    const bool windowedKavel = resultDir.exists(QStringLiteral("k_kavel.csv"));
    if (!resultDir.exists(QStringLiteral("c_kavel.csv")))
        fail("the run without a window was not written");
    const bool valid = (!start.present || isDateTime(start.text)) &&
                       (!end.present || isDateTime(end.text)) &&
                       (!start.present || !end.present || start.text <= end.text);
    // A cutoff that is not a date-time refuses its run (the standard one) like a bad bound.
    const bool validCutoff = !cutoff.present || isDateTime(cutoff.text);
    if (valid != windowedKavel)
        fail(valid ? "a run with a valid window was not written"
                   : "a run with an invalid window was not refused");
    if ((valid && validCutoff) != windowed)
        fail(valid && validCutoff ? "a run with a valid window and cutoff was not written"
                                  : "a run with an invalid window or cutoff was not refused");
    if (outcome != (valid && validCutoff ? AllHandled : SomeFailed))
        fail("the exit status does not say whether a run was refused");
    if (windowed &&
        !firstDetectionsWithin(resultDir.filePath(QStringLiteral("w_standard.csv")), start, end))
        fail("a detection outside the window was counted");
    return 0;
}
