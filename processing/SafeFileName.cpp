#include "processing/SafeFileName.h"

namespace kd {

QString safeFileName(const QString& name)
{
    QString safe = name;
    for (QChar& c : safe) {
        if (c.unicode() < 0x20 || QStringLiteral("/\\:*?\"<>|").contains(c))
            c = QLatin1Char('_');
    }
    return safe;
}

} // namespace kd
