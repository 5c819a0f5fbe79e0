#include "base/DateTimeText.h"

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

bool isReadable(QByteArrayView text)
{
    text = text.trimmed();
    if (text.size() < 19 || (text[10] != ' ' && text[10] != 'T') || text[4] != '-' ||
        text[7] != '-' || text[13] != ':' || text[16] != ':')
        return false;
    const auto number = [&text](qsizetype from, qsizetype count, int& value) {
        value = 0;
        for (qsizetype i = from; i < from + count; ++i) {
            if (text[i] < '0' || text[i] > '9')
                return false;
            value = value * 10 + (text[i] - '0');
        }
        return true;
    };
    int y, mo, d, h, mi, sec;
    if (!number(0, 4, y) || !number(5, 2, mo) || !number(8, 2, d) || !number(11, 2, h) ||
        !number(14, 2, mi) || !number(17, 2, sec))
        return false;
    if (!QDate::isValid(y, mo, d) || !QTime::isValid(h, mi, sec))
        return false;
    qsizetype at = 19;
    if (at < text.size() && text[at] == '.') {
        ++at;
        while (at < text.size() && text[at] >= '0' && text[at] <= '9')
            ++at;
    }
    return at == text.size() || (at + 1 == text.size() && text[at] == 'Z');
}

QString format(const QDateTime& dateTime)
{
    if (!dateTime.isValid())
        return QString();
    // Written by hand: output files hold millions of these, and the general formatter is slow.
    const QDateTime utc = dateTime.timeSpec() == Qt::UTC ? dateTime : dateTime.toUTC();
    const QDate date = utc.date();
    const QTime time = utc.time();
    const int year = date.year();
    if (year < 0 || year > 9999)
        return utc.toString(QString::fromLatin1(Format));
    char16_t text[19];
    const auto put = [&text](int at, int value, int width) {
        for (int i = width - 1; i >= 0; --i) {
            text[at + i] = char16_t(u'0' + value % 10);
            value /= 10;
        }
    };
    put(0, year, 4);
    text[4] = u'-';
    put(5, date.month(), 2);
    text[7] = u'-';
    put(8, date.day(), 2);
    text[10] = u' ';
    put(11, time.hour(), 2);
    text[13] = u':';
    put(14, time.minute(), 2);
    text[16] = u':';
    put(17, time.second(), 2);
    return QString(reinterpret_cast<const QChar*>(text), 19);
}

qint64 seconds(const QDateTime& dateTime)
{
    return dateTime.toSecsSinceEpoch();
}

} // namespace kd::DateTimeText
