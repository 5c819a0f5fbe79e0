#include "store/RunDefinition.h"

#include <QTest>

using namespace kd;

class TestRunDefinition : public QObject
{
    Q_OBJECT

private slots:
    void formats_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("readBack"); // the code of the name
        QTest::newRow("KAVEL") << 0 << "KAVEL" << 0;
        QTest::newRow("Standard") << 1 << "Standard" << 1;
        QTest::newRow("Survival") << 3 << "Survival" << 3;
        QTest::newRow("not chosen reads as KAVEL") << 2 << "KAVEL" << 0;
        QTest::newRow("unknown code reads as KAVEL") << 4 << "KAVEL" << 0;
    }
    // The codes are fixed and stored as names; a name reads back as its code, and any text
    // but the exact names of Standard and Survival reads as KAVEL, as a stored run always did.
    void formats()
    {
        QFETCH(int, code);
        QFETCH(QString, name);
        QFETCH(int, readBack);
        QCOMPARE(RunDefinition::formatName(RunDefinition::Format(code)), name);
        QCOMPARE(int(RunDefinition::formatCode(name)), readBack);
        QCOMPARE(RunDefinition::formatCode(name.toLower() + QLatin1Char(0x20)),
                 RunDefinition::Kavel);
    }

    void validate_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<QString>("message");
        QTest::newRow("KAVEL") << int(RunDefinition::Kavel) << "";
        QTest::newRow("Standard") << int(RunDefinition::Standard) << "";
        QTest::newRow("Survival") << int(RunDefinition::Survival) << "";
        QTest::newRow("not chosen") << int(RunDefinition::NotChosen) << "No format selected";
        QTest::newRow("no item chosen") << -1 << "No format selected";
        QTest::newRow("unknown") << 4 << "No format selected";
    }
    void validate()
    {
        QFETCH(int, format);
        QFETCH(QString, message);
        RunDefinition run;
        run.name = "Run";
        run.format = RunDefinition::Format(format);
        run.releaseIds = {1};
        run.siteIds = {1, 2};
        QCOMPARE(run.validate(), message.isEmpty());
        QCOMPARE(run.validationMessage, message);
    }
};

QTEST_APPLESS_MAIN(TestRunDefinition)
#include "tst_rundefinition.moc"
