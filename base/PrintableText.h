#pragma once

#include <QString>

namespace kd {

// A text such as a file name as a log line may show it: control characters (a line end in a
// file name could forge a line of its own) and the Unicode line separators are written as
// \n, \r, \t or \xHH / \u{HHHH}; everything else stays as it is.
QString printableText(const QString& text);

} // namespace kd
