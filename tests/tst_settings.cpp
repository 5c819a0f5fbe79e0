#include "app/ConsoleMessageLogger.h"
#include "app/Settings.h"

#include <QTemporaryDir>
#include <QtTest>

#include <cstdio>

using namespace kd;

class TestSettings : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void values_data();
    void values();
    void storedValuesAndFixedKeys();
    void consoleLoggerWritesLines();

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
    QTest::newRow("OutDir") << 2 << QVariant() << QVariant();
    QTest::newRow("OutputType") << 3 << QVariant(0) << QVariant();
    QTest::newRow("ProgramName") << 4 << QVariant() << QVariant(QStringLiteral("Keldar"));
    QTest::newRow("Version") << 5 << QVariant() << QVariant(QStringLiteral("1.0.0"));
    QTest::newRow("6") << 6 << QVariant() << QVariant();
    QTest::newRow("-1") << -1 << QVariant() << QVariant();
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

void TestSettings::consoleLoggerWritesLines()
{
    std::FILE* stream = std::tmpfile();
    ConsoleMessageLogger logger(stream);
    logger.log(QStringLiteral("<b>Done.</b>\n"), 0);
    logger.log(QStringLiteral("failed"), 1);
    std::rewind(stream);
    char buffer[64] = {};
    const size_t n = std::fread(buffer, 1, sizeof buffer - 1, stream);
    std::fclose(stream);
    QCOMPARE(QByteArray(buffer, qsizetype(n)), QByteArray("<b>Done.</b>\n\nfailed\n"));
}

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
