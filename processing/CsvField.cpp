#include "processing/CsvField.h"

namespace kd {

QString csvField(const QString& text)
{
    bool needsQuotes = false;
    for (const QChar c : text) {
        if (c == u',' || c == u'"' || c == u'\r' || c == u'\n') {
            needsQuotes = true;
            break;
        }
    }
    if (!needsQuotes)
        return text;

    QString quoted;
    quoted.reserve(text.size() + 8);
    quoted += u'"';
    for (const QChar c : text) {
        if (c == u'"')
            quoted += u'"';
        quoted += c;
    }
    quoted += u'"';
    return quoted;
}

} // namespace kd
