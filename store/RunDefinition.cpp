#include "store/RunDefinition.h"

namespace kd {

bool RunDefinition::validate()
{
    if (name.isEmpty())
        validationMessage = QStringLiteral("Name can't be empty");
    else if (format != Kavel && format != Standard && format != Survival)
        validationMessage = QStringLiteral("No format selected");
    else if (releaseIds.isEmpty())
        validationMessage = QStringLiteral("Must select at least 1 release.");
    else if (siteIds.size() < 2)
        validationMessage = QStringLiteral("Must select at least 2 sites.");
    else
        validationMessage.clear();
    return validationMessage.isEmpty();
}

QString RunDefinition::formatName(Format format)
{
    if (format == Standard)
        return QStringLiteral("Standard");
    if (format == Survival)
        return QStringLiteral("Survival");
    return QStringLiteral("KAVEL");
}

RunDefinition::Format RunDefinition::formatCode(const QString& name)
{
    if (name == QLatin1String("Standard"))
        return Standard;
    if (name == QLatin1String("Survival"))
        return Survival;
    return Kavel;
}

} // namespace kd
