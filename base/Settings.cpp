#include "base/Settings.h"

namespace kd {

Settings::Settings()
{
    names_ = {{DbName, QStringLiteral("DbName")},
              {DataDir, QStringLiteral("DataDir")},
              {OutDir, QStringLiteral("OutDir")},
              {ProgramName, QStringLiteral("ProgramName")},
              {Version, QStringLiteral("Version")}};
    fixed_ = {{DbName, QStringLiteral("keldar.db")},
              {ProgramName, QStringLiteral("Keldar")},
              {Version, QStringLiteral(KELDAR_VERSION)}};
}

Settings& Settings::instance()
{
    static Settings settings;
    return settings;
}

QVariant Settings::value(int key) const
{
    const auto name = names_.constFind(key);
    if (name == names_.constEnd())
        return {};
    if (contains(*name))
        return QSettings::value(*name, QVariant());
    return defaults_.value(key);
}

QVariant Settings::fixedValue(int key) const
{
    return fixed_.value(key);
}

void Settings::setValue(int key, const QVariant& value)
{
    if (fixed_.contains(key))
        return;
    const auto name = names_.constFind(key);
    if (name == names_.constEnd())
        return;
    QSettings::setValue(*name, value);
}

} // namespace kd
