#include "store/RunDefinition.h"

namespace kd {

bool RunDefinition::validate()
{
    if (name.isEmpty())
        validationMessage = QStringLiteral("Name can't be empty");
    else if (format != Kavel && format != Standard)
        validationMessage = QStringLiteral("No format selected");
    else if (releaseIds.isEmpty())
        validationMessage = QStringLiteral("Must select at least 1 release.");
    else if (siteIds.size() < 2)
        validationMessage = QStringLiteral("Must select at least 2 sites.");
    else
        validationMessage.clear();
    return validationMessage.isEmpty();
}

QString RunDefinition::formatName(int format)
{
    return format == Standard ? QStringLiteral("Standard") : QStringLiteral("KAVEL");
}

int RunDefinition::formatCode(const QString& name)
{
    return name == QLatin1String("Standard") ? Standard : Kavel;
}

} // namespace kd
