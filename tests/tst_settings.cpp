#include "base/Settings.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace kd;

class TestSettings : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void values_data();
    void values();
    void storedValuesAndFixedKeys();

private:
    QTemporaryDir configHome_;
};

void TestSettings::initTestCase()
{
    // Keep the user's own settings out of reach.
    QVERIFY(configHome_.isValid());
    qputenv("XDG_CONFIG_HOME", configHome_.path().toLocal8Bit());
    QCoreApplication::setOrganizationName(QStringLiteral("Vantor"));
    QCoreApplication::setApplicationName(QStringLiteral("Keldar"));
}

void TestSettings::values_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QVariant>("fixed");
    QTest::newRow("DbName") << 0 << QVariant() << QVariant(QStringLiteral("keldar.db"));
    QTest::newRow("DataDir") << 1 << QVariant() << QVariant();
    QTest::newRow("3, no longer a key") << 3 << QVariant() << QVariant();
    QTest::newRow("Version") << 5 << QVariant() << QVariant(QStringLiteral("1.0.0"));
    QTest::newRow("6") << 6 << QVariant() << QVariant();
}

void TestSettings::values()
{
    QFETCH(int, key);
    QFETCH(QVariant, value);
    QFETCH(QVariant, fixed);
    Settings& settings = Settings::instance();
    QCOMPARE(settings.value(key), value);
    QCOMPARE(settings.fixedValue(key), fixed);
}

void TestSettings::storedValuesAndFixedKeys()
{
    Settings& settings = Settings::instance();
    settings.setValue(Settings::DataDir, QStringLiteral("/data/study"));
    settings.setValue(Settings::Version, QStringLiteral("9.9"));
    settings.setValue(Settings::DbName, QStringLiteral("other.db"));
    settings.setValue(17, QStringLiteral("x"));
    settings.sync();
    QCOMPARE(settings.value(Settings::DataDir).toString(), QStringLiteral("/data/study"));
    QCOMPARE(settings.fixedValue(Settings::Version).toString(), QStringLiteral("1.0.0"));
    QCOMPARE(settings.fixedValue(Settings::DbName).toString(), QStringLiteral("keldar.db"));
    QVERIFY(!settings.value(Settings::Version).isValid());
    QVERIFY(settings.fileName().startsWith(configHome_.path()));
}

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
