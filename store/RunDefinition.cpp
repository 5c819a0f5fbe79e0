#include "store/RunDefinition.h"

namespace kd {

QString RunDefinition::formatName(int format)
{
    return format == Standard ? QStringLiteral("Standard") : QStringLiteral("KAVEL");
}

int RunDefinition::formatCode(const QString& name)
{
    return name == QLatin1String("Standard") ? Standard : Kavel;
}

} // namespace kd
