#include "store/RunDefinition.h"
#include "ui/RunOutputFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace kd;

namespace {

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

} // namespace

class TestRunOutputFile : public QObject
{
    Q_OBJECT

private slots:
    void fileName_data();
    void fileName();
    void write_data();
    void write();
    void canceledWriteKeepsEarlierFile();
    void unwritableFolder();
};

void TestRunOutputFile::fileName_data()
{
    QTest::addColumn<QString>("run");
    QTest::addColumn<int>("format");
    QTest::addColumn<QString>("name");
    QTest::newRow("standard") << "Spring2011" << 1 << "Spring2011_Standard.csv";
    QTest::newRow("kavel") << "a" << 0 << "a_KAVEL.csv";
    QTest::newRow("no format is kavel") << "a" << 2 << "a_KAVEL.csv";
    QTest::newRow("blanks and accents stay") << "Früh jahr" << 1 << "Früh jahr_Standard.csv";
    QTest::newRow("no way out of the folder") << "../up" << 1 << ".._up_Standard.csv";
    QTest::newRow("no reserved characters")
        << "a/b\\c:d*e?f\"g<h>i|j" << 0 << "a_b_c_d_e_f_g_h_i_j_KAVEL.csv";
}

void TestRunOutputFile::fileName()
{
    QFETCH(QString, run);
    QFETCH(int, format);
    QFETCH(QString, name);
    QCOMPARE(RunOutputFile::fileName(run, format), name);
    QCOMPARE(RunOutputFile::path(QStringLiteral("/out"), run, format),
             QStringLiteral("/out/") + name);
}

void TestRunOutputFile::write_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("no lines") << QStringList() << QByteArray();
    QTest::newRow("header only") << QStringList{"a,b"} << QByteArray("a,b");
    QTest::newRow("no line end after the last")
        << QStringList{"h", "x,1,", "y,0,"} << QByteArray("h\nx,1,\ny,0,");
    QTest::newRow("utf-8") << QStringList{"Aué"} << QByteArray("Au\xc3\xa9");
}

void TestRunOutputFile::write()
{
    QFETCH(QStringList, lines);
    QFETCH(QByteArray, bytes);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("run_KAVEL.csv"));
    QFile old(path);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("an older and longer file\n");
    old.close();

    qint64 lastDone = -1;
    qint64 lastTotal = -1;
    QString error;
    QVERIFY(RunOutputFile::write(
        path, lines,
        [&](qint64 done, qint64 total) {
            QVERIFY(done > lastDone);
            lastDone = done;
            lastTotal = total;
        },
        nullptr, &error));
    QCOMPARE(contents(path), bytes);
    if (!lines.isEmpty()) {
        QCOMPARE(lastDone, lines.size());
        QCOMPARE(lastTotal, lines.size());
    }
}

void TestRunOutputFile::canceledWriteKeepsEarlierFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("run_KAVEL.csv"));
    QVERIFY(RunOutputFile::write(path, {"earlier"}, {}, nullptr, nullptr));
    std::atomic<bool> cancel{true};
    QString error;
    QVERIFY(!RunOutputFile::write(path, {"later"}, {}, &cancel, &error));
    QCOMPARE(contents(path), QByteArray("earlier"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList({"run_KAVEL.csv"}));
}

void TestRunOutputFile::unwritableFolder()
{
    QTemporaryDir dir;
    QString error;
    QVERIFY(!RunOutputFile::write(dir.filePath(QStringLiteral("missing/run_KAVEL.csv")), {"x"}, {},
                                  nullptr, &error));
    QVERIFY(!error.isEmpty());
}

QTEST_GUILESS_MAIN(TestRunOutputFile)
#include "tst_runoutputfile.moc"
