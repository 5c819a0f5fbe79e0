#pragma once

#include <QString>

namespace kd {

// One field of an output line. Text holding a comma, a double quote, a carriage return or a line
// feed is enclosed in double quotes with its inner quotes doubled, so that names like
// "Lower Granite, north" keep every later column in place; any other text is returned as it is.
QString csvField(const QString& text);

} // namespace kd
