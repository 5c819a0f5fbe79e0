#include "app/DateTimeText.h"

#include <QtTest>

#include <ctime>

using namespace kd;

class TestDateTimeText : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void roundTrip_data();
    void roundTrip();
};

void TestDateTimeText::initTestCase()
{
    // 2011-03-13 02:30 does not exist in this zone; data times must not care.
    qputenv("TZ", "America/Los_Angeles");
    tzset();
}

void TestDateTimeText::roundTrip_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("strict");
    QTest::addColumn<QString>("written");

    QTest::newRow("plain") << "2021-04-03 10:00:00" << true << "2021-04-03 10:00:00";
    QTest::newRow("skipped local hour") << "2011-03-13 02:30:00" << true << "2011-03-13 02:30:00";
    QTest::newRow("T separator") << "2021-04-03T10:00:00" << false << "2021-04-03 10:00:00";
    QTest::newRow("fraction and Z") << "2021-04-03T10:00:00.250Z" << false << "2021-04-03 10:00:00";
    QTest::newRow("date only") << "2021-04-03" << false << "";
    QTest::newRow("impossible day") << "2021-02-30 10:00:00" << false << "";
    QTest::newRow("offset") << "2021-04-03 10:00:00+02:00" << false << "";
    QTest::newRow("empty") << "" << false << "";
}

void TestDateTimeText::roundTrip()
{
    QFETCH(QString, text);
    QFETCH(bool, strict);
    QFETCH(QString, written);
    QCOMPARE(DateTimeText::format(DateTimeText::parse(text)), written);
    QCOMPARE(DateTimeText::parseStrict(text).isValid(), strict);
    if (strict)
        QCOMPARE(DateTimeText::format(DateTimeText::parseStrict(text)), written);
}

QTEST_GUILESS_MAIN(TestDateTimeText)
#include "tst_datetimetext.moc"
