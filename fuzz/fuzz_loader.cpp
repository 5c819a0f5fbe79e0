// One data file in an otherwise empty data folder: header recognition and line loading into a
// fresh store.
//
// The first byte picks the file's header: its low three bits name a data file kind (7: no
// header, the rest of the input is the whole file), the next bits vary the header's form
// (columns in reverse order, a byte-order mark with upper case and blanks around the commas, an
// extra column, Windows line ends). The rest of the input follows as the file's lines.
#include "base/ConsoleMessageLogger.h"
#include "fuzz/FuzzSupport.h"
#include "loader/DataLoader.h"
#include "store/SQLiteDataProvider.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

QByteArray headerLine(const kd::DataProvider& provider, int model, uint8_t form)
{
    QStringList columns = provider.modelColumns(kd::DataProvider::Model(model));
    if (form & 0x08)
        std::reverse(columns.begin(), columns.end());
    if (form & 0x20)
        columns.append(QStringLiteral("extra"));
    QByteArray line;
    if (form & 0x10)
        line = "\xEF\xBB\xBF" + columns.join(QStringLiteral(" , ")).toUpper().toLatin1();
    else
        line = columns.join(QLatin1Char(',')).toLatin1();
    return line + ((form & 0x40) ? "\r\n" : "\n");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    static const QDir work(kd::fuzz::workDir());
    static const QString dataDir = work.filePath(QStringLiteral("data"));
    static const QString dataFile = work.filePath(QStringLiteral("data/input.csv"));
    static const QString database = work.filePath(QStringLiteral("keldar.db"));
    static kd::ConsoleMessageLogger logger(kd::fuzz::nullStream());

    // A new store each time: the outcome must depend on this input alone.
    kd::fuzz::removePath(database);
    kd::SQLiteDataProvider provider(database);
    if (provider.hasError())
        std::abort();
    provider.setLogger(&logger);

    const uint8_t form = data[0];
    const int model = form & 0x07;
    const QByteArrayView body(data + 1, qsizetype(size - 1));
    QByteArray file;
    if (model < kd::DataProvider::ModelCount)
        file = headerLine(provider, model, form);
    kd::fuzz::writeFile(dataFile, file.append(body));

    kd::DataLoader loader(&provider);
    loader.setDataDir(dataDir);
    loader.setLogger(&logger);
    // Every kind's header on the first line is recognised, whatever follows it.
    const kd::DataProvider::Model matched = loader.matchModel(QFileInfo(dataFile));
    if (model < kd::DataProvider::ModelCount && matched != model)
        std::abort();
    if (loader.load() && matched != kd::DataProvider::NoModel)
        provider.isModelLoaded(matched);
    return 0;
}
