#include "store/DataProvider.h"

#include "base/MessageLoggerI.h"
#include "store/Schema.h"

namespace kd {

DataProvider::DataProvider() = default;

DataProvider::~DataProvider() = default;

bool DataProvider::beginLoad()
{
    return true;
}

bool DataProvider::endLoad()
{
    return true;
}

bool DataProvider::abortLoad()
{
    return true;
}

int DataProvider::sharedTagCodes(QStringList& first, int)
{
    first.clear();
    return 0;
}

bool DataProvider::insertRow(Model model, const QString& line, int loadId)
{
    const QByteArray text = line.toUtf8();
    // Every comma separates, empty fields kept: an empty line is one empty field.
    QList<QByteArrayView> fields;
    qsizetype begin = 0;
    for (;;) {
        const qsizetype comma = text.indexOf(',', begin);
        fields.append(
            QByteArrayView(text).sliced(begin, (comma < 0 ? text.size() : comma) - begin));
        if (comma < 0)
            break;
        begin = comma + 1;
    }
    return insertFields(model, fields, loadId);
}

QString DataProvider::tableName(int table) const
{
    return Schema::tableName(table);
}

void DataProvider::setError(const QString& text)
{
    hasError_ = true;
    errorText_ = text;
}

void DataProvider::failLoad(const QString& text)
{
    loadFailed_ = true;
    setError(text);
}

void DataProvider::logMessage(const QString& text) const
{
    if (logger_)
        logger_->log(text, 0);
}

} // namespace kd
