#pragma once

#include <QMap>
#include <QSettings>
#include <QString>
#include <QVariant>

namespace kd {

// The program's settings by key number, over the per-user settings store. Some keys are fixed
// values that read like settings but are never stored.
class Settings : public QSettings
{
public:
    // Number 3 named an output type that nothing read; it stays free.
    enum Key { DbName = 0, DataDir = 1, OutDir = 2, ProgramName = 4, Version = 5 };

    static Settings& instance();

    QVariant value(int key) const;
    QVariant fixedValue(int key) const;
    void setValue(int key, const QVariant& value);

    Settings();

private:
    QMap<int, QString> names_;
    QMap<int, QVariant> defaults_;
    QMap<int, QVariant> fixed_;
};

} // namespace kd
