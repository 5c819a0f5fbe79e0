#include "base/PrintableText.h"

namespace kd {

QString printableText(const QString& text)
{
    const auto needsEscape = [](QChar c) {
        const char16_t u = c.unicode();
        return u < 0x20 || u == 0x7F || (u >= 0x80 && u < 0xA0) || u == 0x2028 || u == 0x2029;
    };
    bool any = false;
    for (QChar c : text)
        any = any || needsEscape(c);
    if (!any)
        return text;
    QString shown;
    shown.reserve(text.size() + 8);
    for (QChar c : text) {
        if (!needsEscape(c)) {
            shown.append(c);
            continue;
        }
        switch (c.unicode()) {
        case u'\n':
            shown.append(QLatin1String("\\n"));
            break;
        case u'\r':
            shown.append(QLatin1String("\\r"));
            break;
        case u'\t':
            shown.append(QLatin1String("\\t"));
            break;
        default:
            shown.append(c.unicode() < 0x100
                             ? QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'))
                             : QStringLiteral("\\u{%1}").arg(c.unicode(), 4, 16, QLatin1Char('0')));
        }
    }
    return shown;
}

} // namespace kd
