#include "app/DateTimeText.h"



namespace kd::DateTimeText {

namespace {

bool digits(QStringView text, qsizetype from, qsizetype count, int& value)
{
    value = 0;
    for (qsizetype i = from; i < from + count; ++i) {
        const QChar c = text[i];
        if (c < u'0' || c > u'9')
            return false;
        value = value * 10 + (c.unicode() - u'0');
    }
    return true;
}

// "yyyy-MM-dd?hh:mm:ss" at the start of text; rest gets what follows.
QDateTime parseCore(QStringView text, QStringView& rest)
{
    if (text.size() < 19 || text[4] != u'-' || text[7] != u'-' || text[13] != u':' ||
        text[16] != u':')
        return {};
    int y, mo, d, h, mi, s;
    if (!digits(text, 0, 4, y) || !digits(text, 5, 2, mo) || !digits(text, 8, 2, d) ||
        !digits(text, 11, 2, h) || !digits(text, 14, 2, mi) || !digits(text, 17, 2, s))
        return {};
    const QDate date(y, mo, d);
    const QTime time(h, mi, s);
    if (!date.isValid() || !time.isValid())
        return {};
    rest = text.mid(19);
    return QDateTime(date, time, Qt::UTC);
}

} // namespace

QDateTime parseStrict(QStringView text)
{
    if (text.size() != 19 || text[10] != u' ')
        return {};
    QStringView rest;
    return parseCore(text, rest);
}

QDateTime parse(QStringView text)
{
    text = text.trimmed();
    if (text.size() < 19 || (text[10] != u' ' && text[10] != u'T'))
        return {};
    QStringView rest;
    QDateTime result = parseCore(text, rest);
    if (!result.isValid())
        return {};
    if (rest.startsWith(u'.')) {
        qsizetype i = 1;
        while (i < rest.size() && rest[i].isDigit())
            ++i;
        rest = rest.mid(i);
    }
    if (rest == u"Z" || rest.isEmpty())
        return result;
    return {};
}

QString format(const QDateTime& dateTime)
{
    if (!dateTime.isValid())
        return QString();
    return dateTime.toUTC().toString(QString::fromLatin1(Format));
}

qint64 seconds(const QDateTime& dateTime)
{
    return dateTime.toSecsSinceEpoch();
}

} // namespace kd::DateTimeText
