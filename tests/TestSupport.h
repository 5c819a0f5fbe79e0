#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QTest>

// Runs a call that checks as it goes, and ends the test at its first failure.
#define STEP(call)                                                                                 \
    if ((call), QTest::currentTestFailed())                                                        \
    return

// What the tests share: study files, files on disk and the database.
namespace kd::test {

// The header lines of the tags, nodes and events files, without their line ends.
inline const QByteArray TagsHeader =
    "tag_code,tagger_name_xlat,bucket,lot,species_code_xlat,length,weight,pit_code,fish_tag_date,"
    "tag_activate_date,tag_release_date,release_location,release_location_xlat,"
    "release_location_river_kilometer,release_location_latitude,release_location_longitude,"
    "mort_xlat,pri";
inline const QByteArray NodesHeader = "node_code,latitude,longitude,river_kilometer,location,"
                                      "location_xlat,deploy_date,recovery_date,elev_or_depth";
inline const QByteArray EventsHeader =
    "node_code,tag_code,first_computed_datetime,last_computed_datetime,hits";

// One line of a tags file, without its line end: a Chinook of lot 7, activated on
// 2021-04-01 08:00:00 and released on 2021-04-02 09:00:00 at the location (km 120).
inline QByteArray tagLine(const QByteArray& code, const QByteArray& location = "REL1",
                          const QByteArray& mort = "0")
{
    return code + ",ann,2,7,CHN,150.5,30,P,,2021-04-01 08:00:00,2021-04-02 09:00:00," + location +
           ",x,120,1,2," + mort + ",";
}

// Writes the file, creating its folder; the test fails when it cannot be opened.
inline void writeFile(const QString& path, const QByteArray& content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(path));
    file.write(content);
}
inline void writeFile(const QString& path, const QString& text)
{
    writeFile(path, text.toUtf8());
}
inline void writeFile(const QString& path, const char* text)
{
    writeFile(path, QByteArray(text));
}

// The file's bytes, or "<missing>".
inline QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}
// The file's text, read as UTF-8, or "<missing>".
inline QString readText(const QString& path)
{
    return QString::fromUtf8(readFile(path));
}

// The first value of a query on the default connection as a number, -1 when there is none.
inline qint64 count(const QString& sql)
{
    QSqlQuery query;
    if (!query.exec(sql) || !query.next())
        return -1;
    return query.value(0).toLongLong();
}

// The same on the database file, through a connection of its own, for databases that the
// code under test has already closed.
inline qint64 count(const QString& databasePath, const QString& sql)
{
    const QString connection = QStringLiteral("kd_test_count");
    qint64 result = -1;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(databasePath);
        if (db.open()) {
            QSqlQuery query(db);
            if (query.exec(sql) && query.next())
                result = query.value(0).toLongLong();
        }
    }
    QSqlDatabase::removeDatabase(connection);
    return result;
}

// The first value of a query on the default connection as text, "<none>" when there is none.
inline QString text(const QString& sql)
{
    QSqlQuery query;
    if (!query.exec(sql) || !query.next())
        return QStringLiteral("<none>");
    return query.value(0).toString();
}

// Makes the offscreen platform show one screen of this size (its default is 800 × 600); call
// before the application object is made. The configuration file goes into the folder.
inline void useOffscreenScreen(const QString& folder, int width, int height)
{
    const QString path = QDir(folder).filePath(QStringLiteral("screen.json"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return;
    file.write(QStringLiteral("{ \"screens\": [ { \"name\": \"screen\", \"x\": 0, \"y\": 0, "
                              "\"width\": %1, \"height\": %2, \"logicalDpi\": 96, "
                              "\"logicalBaseDpi\": 96, \"dpr\": 1 } ] }")
                   .arg(width)
                   .arg(height)
                   .toUtf8());
    file.close();
    if (qgetenv("QT_QPA_PLATFORM") == "offscreen")
        qputenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + path).toLocal8Bit());
}

} // namespace kd::test
