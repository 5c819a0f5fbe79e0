#pragma once

#include <QByteArrayView>
#include <QDateTime>
#include <QString>
#include <QStringView>

namespace kd {

// Date-times of the study data are wall-clock values without a zone. They are parsed, compared
// and written as UTC so that no local time-zone rule (such as a skipped daylight-saving hour)
// can shift or invalidate them.
namespace DateTimeText {

inline constexpr const char* Format = "yyyy-MM-dd hh:mm:ss";

// Parses "yyyy-MM-dd hh:mm:ss" (also with a 'T' separator, fractional seconds or a trailing
// 'Z'); anything else gives an invalid date-time.
QDateTime parse(QStringView text);
// True when parse would read the text (Latin-1 or UTF-8 bytes) as a valid date-time; no
// allocation, for checking millions of values.
bool isReadable(QByteArrayView text);
// Parses strictly in the form "yyyy-MM-dd hh:mm:ss".
QDateTime parseStrict(QStringView text);
// Writes "yyyy-MM-dd hh:mm:ss", or the empty string for an invalid date-time.
QString format(const QDateTime& dateTime);
// Seconds since 1970-01-01 00:00:00 of a wall-clock value.
qint64 seconds(const QDateTime& dateTime);

} // namespace DateTimeText
} // namespace kd
