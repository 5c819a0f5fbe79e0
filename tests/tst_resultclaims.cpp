#include "run/ResultClaims.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace kd;

// The one check, for the desktop and the console, that two runs of a sequence do not write one
// file.
class TestResultClaims : public QObject
{
    Q_OBJECT

private slots:
    void claims_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QTest::addColumn<bool>("refused");
        QTest::newRow("same file") << "real/t_kavel.csv"
                                   << "real/t_kavel.csv" << true;
        QTest::newRow("other file") << "real/t_kavel.csv"
                                    << "real/t_standard.csv" << false;
        QTest::newRow("through a linked folder") << "real/t_kavel.csv"
                                                 << "link/t_kavel.csv" << true;
        QTest::newRow("folder named twice") << "real/t_kavel.csv"
                                            << "real/../real/t_kavel.csv" << true;
        QTest::newRow("missing folder named twice") << "none/t_kavel.csv"
                                                    << "none/./t_kavel.csv" << true;
        QTest::newRow("other folder") << "real/t_kavel.csv"
                                      << "none/t_kavel.csv" << false;
    }

    void claims()
    {
        QFETCH(QString, first);
        QFETCH(QString, second);
        QFETCH(bool, refused);
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("real")));
        QVERIFY(QFile::link(dir.filePath(QStringLiteral("real")),
                            dir.filePath(QStringLiteral("link"))));
        ResultClaims claims;
        QCOMPARE(claims.claim(dir.filePath(first), QStringLiteral("a")), QString());
        const QString refusal = claims.claim(dir.filePath(second), QStringLiteral("b"));
        QCOMPARE(refusal, refused ? QStringLiteral("Run \"b\" refused: run \"a\" writes the same "
                                                   "file ") +
                                        dir.filePath(second)
                                  : QString());
        // A new sequence starts with nothing claimed.
        claims.clear();
        QCOMPARE(claims.claim(dir.filePath(second), QStringLiteral("b")), QString());
    }
};

QTEST_GUILESS_MAIN(TestResultClaims)

#include "tst_resultclaims.moc"
