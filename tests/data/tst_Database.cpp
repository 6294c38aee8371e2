// The schema as created, the rules the database itself keeps, First/Last, and opening files.
#include "Database.h"
#include "Engine.h"
#include "Schema.h"
#include "TestDatabase.h"

#include <QFile>
#include <QSettings>
#include <QSqlRecord>
#include <QtTest>
#include <memory>

class TstDatabase : public QObject
{
    Q_OBJECT
private slots:
    void columnsInDeclaredOrder();
    void firstAndLastPickTheGroupsEnds();
    void textComparesWithoutCase();
    void foreignKeys();
    void earlierVersionIsUpgraded();
    void checks_data();
    void checks();
    void connectionSettings();
    void missingFileIsNotCreated();
    void fileThatIsNoDatabase();
    void createdFilesAreOwnerOnly();
    void backupIsAConsistentCopy();
    void transactionRollsBackUnlessCommitted();
    void keptStatementsFollowTheirConnection();
    void locations_data();
    void locations();
    void startPathFromConfiguration();
    void startPathFromLaterSystemFolder();
    void startPathProgramFileOfLaterFolderFirst();
    void startPathFromSystemConfiguration();
    void startPathGeneralSectionAnyCase();
    void severalServersWithTheirPorts();

private:
};

void TstDatabase::columnsInDeclaredOrder()
{
    TestDatabase t;
    for (const QString table : { "CnfgPara", "Workshop", "MeterSort", "Price", "Meter", "TakeMeter", "MeterExchange",
                                "ConfirmedPass" }) {
        QStringList expected;
        for (const ColumnDef &c : Schema::columns(table))
            expected << c.name;
        // The server keeps the order in which readings were typed in a column of its own.
        if (TestDatabase::onServer() && table == u"TakeMeter")
            expected << QStringLiteral("EntryNo");
        // A server reports the names it folded to lower case.
        const QSqlRecord record = t.db().record(TestDatabase::onServer() ? table.toLower() : table);
        QStringList actual;
        for (int i = 0; i < record.count(); ++i)
            actual << record.fieldName(i).toLower();
        QCOMPARE(actual.join(u' '), expected.join(u' ').toLower());
    }
    QCOMPARE(Schema::columns(QStringLiteral("TakeMeter")).size(), 7);
    QCOMPARE(Schema::columns(QStringLiteral("Meter")).size(), 13);
}

void TstDatabase::firstAndLastPickTheGroupsEnds()
{
    TestDatabase t;
    execSql(t.db(), QStringLiteral("CREATE TEMP TABLE g (o INTEGER, k INTEGER, v TEXT, n INTEGER)"));
    const QList<QVariantList> rows = { { 1, 1, "a", 10 }, { 2, 1, "b", QVariant() }, { 3, 1, "c", 30 },
                                       { 4, 2, QVariant(QMetaType(QMetaType::QString)), 5 }, { 5, 2, "z", 6 } };
    for (const QVariantList &r : rows)
        execSql(t.db(), QStringLiteral("INSERT INTO g VALUES (?, ?, ?, ?)"), r);
    QSqlQuery q = execSql(t.db(), QStringLiteral(
        "SELECT k, First(v), Last(v), First(n), Last(n), Count(1) FROM (SELECT * FROM g ORDER BY k, o) AS s "
        "GROUP BY k ORDER BY k"));
    QVERIFY(q.next());
    QCOMPARE(q.value(1).toString(), QStringLiteral("a"));
    QCOMPARE(q.value(2).toString(), QStringLiteral("c"));
    QCOMPARE(q.value(3).toInt(), 10);
    QCOMPARE(q.value(4).toInt(), 30);
    QVERIFY(q.next());
    QVERIFY(q.value(1).isNull());            // a NULL first value is the first value
    QCOMPARE(q.value(2).toString(), QStringLiteral("z"));
    QCOMPARE(q.value(5).toInt(), 2);
    // An empty group set yields NULL, not a crash.
    QVERIFY(scalar(t.db(), QStringLiteral("SELECT First(v) FROM g WHERE k = 99")).isNull());
    // Large integers pass through unchanged.
    QCOMPARE(scalar(t.db(), QStringLiteral("SELECT Last(x) FROM (SELECT 9223372036854775807 AS x) AS s")).toLongLong(),
             Q_INT64_C(9223372036854775807));
}

void TstDatabase::textComparesWithoutCase()
{
    TestDatabase t;
    t.addOneMeter();
    // SQLite's texts compare without regard to ASCII case; on a server meter numbers compare
    // through MeterKey, as every statement of the program compares them.
    QCOMPARE(t.scalar(TestDatabase::onServer() ? QStringLiteral("SELECT count(*) FROM Meter WHERE MeterKey(MeterNO) = MeterKey('a1')")
                                                : QStringLiteral("SELECT count(*) FROM Meter WHERE MeterNO = 'a1'"))
                 .toInt(),
             1);
    // The key is unique without regard to case.
    QVERIFY_THROWS_EXCEPTION(DatabaseError, t.addMeter({ QStringLiteral("a1") }));
    t.addReading(QStringLiteral("A1"), QDate(2024, 3, 1), 10, 10, yuan("1"), yuan("0"));
    QVERIFY_THROWS_EXCEPTION(DatabaseError,
                             t.addReading(QStringLiteral("a1"), QDate(2024, 3, 1), 11, 1, yuan("1"), yuan("0")));
}

void TstDatabase::foreignKeys()
{
    TestDatabase t;
    t.addOneMeter();
    // A reading of an unregistered meter is refused.
    try {
        t.addReading(QStringLiteral("NOPE"), QDate(2024, 3, 1), 1, 1, yuan("0"), yuan("0"));
        QFAIL("reading of an unknown meter stored");
    } catch (const DatabaseError &e) {
        QCOMPARE(e.kind(), DatabaseError::Constraint);
    }
    t.addReading(QStringLiteral("A1"), QDate(2024, 3, 1), 10, 10, yuan("1"), yuan("0"));
    execSql(t.db(), QStringLiteral("INSERT INTO MeterExchange (MeterID, ExchangeDate, OldFinal, OldBase, OldMaxBound, "
                                   "NewInitial, NewMaxBound) VALUES ('A1', '2024-03-05', 20, 0, 9999, 0, 9999)"));
    // Renaming the meter carries its readings and exchanges along.
    execSql(t.db(), QStringLiteral("UPDATE Meter SET MeterNO = 'B7' WHERE MeterNO = 'A1'"));
    QCOMPARE(t.scalar(QStringLiteral("SELECT MeterID FROM TakeMeter")).toString(), QStringLiteral("B7"));
    QCOMPARE(t.scalar(QStringLiteral("SELECT MeterID FROM MeterExchange")).toString(), QStringLiteral("B7"));
    // A meter with readings, a price or type in use, a workshop named by a meter stay.
    QVERIFY_THROWS_EXCEPTION(DatabaseError, execSql(t.db(), QStringLiteral("DELETE FROM Meter")));
    QVERIFY_THROWS_EXCEPTION(DatabaseError, execSql(t.db(), QStringLiteral("DELETE FROM Price")));
    QVERIFY_THROWS_EXCEPTION(DatabaseError, execSql(t.db(), QStringLiteral("DELETE FROM MeterSort")));
    QVERIFY_THROWS_EXCEPTION(DatabaseError,
                             execSql(t.db(), QStringLiteral("DELETE FROM Workshop WHERE WorkShopLevel = 2")));
    // Unset references are NULL and allowed; 0 is no reference and refused.
    t.addMeter({ QStringLiteral("C3") });
    QVERIFY_THROWS_EXCEPTION(DatabaseError,
                             execSql(t.db(), QStringLiteral("UPDATE Meter SET PriceID = 0 WHERE MeterNO = 'C3'")));
    // The root's parent 0 is not a declared reference.
    QCOMPARE(t.scalar(QStringLiteral("SELECT ResideWorkShopID FROM Workshop WHERE WrokShopID = 1")).toInt(), 0);
}

// A database of the first version gets the tables of later versions when it is opened, and is marked as current.
void TstDatabase::earlierVersionIsUpgraded()
{
    TestDatabase t;
    t.addOneMeter();
    {
        const QSqlDatabase db = t.db();
        execSql(db, QStringLiteral("DROP TABLE MeterExchange"));
        execSql(db, QStringLiteral("DROP TABLE ConfirmedPass"));
        execSql(db, TestDatabase::onServer()
                        ? QStringLiteral("CREATE OR REPLACE FUNCTION KelvaraSchemaVersion() RETURNS integer "
                                         "LANGUAGE sql IMMUTABLE AS 'SELECT 1'")
                        : QStringLiteral("PRAGMA user_version = 1"));
    }
    Database::closeConnection();
    const QSqlDatabase db = t.db();
    QCOMPARE(Engine::of(db).schemaVersion(db), Schema::Version);
    QVERIFY(Engine::of(db).tables(db).contains(QStringLiteral("meterexchange")));
    QVERIFY(Engine::of(db).tables(db).contains(QStringLiteral("confirmedpass")));
    QCOMPARE(t.scalar(QStringLiteral("SELECT count(*) FROM MeterExchange")).toInt(), 0);
    QCOMPARE(t.scalar(QStringLiteral("SELECT count(*) FROM Meter")).toInt(), 1);
}

void TstDatabase::checks_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("meter number of 10") << "INSERT INTO Meter (MeterNO) VALUES ('1234567890')" << true;
    QTest::newRow("meter number of 11") << "INSERT INTO Meter (MeterNO) VALUES ('12345678901')" << false;
    QTest::newRow("empty meter number") << "INSERT INTO Meter (MeterNO) VALUES ('')" << false;
    QTest::newRow("chinese model of 20") << "INSERT INTO Meter (MeterNO, Type) VALUES ('M', '一二三四五六七八九十一二三四五六七八九十')" << true;
    QTest::newRow("model of 21") << "INSERT INTO Meter (MeterNO, Type) VALUES ('M', '123456789012345678901')" << false;
    QTest::newRow("text in an integer column") << "INSERT INTO Meter (MeterNO, Multiple) VALUES ('M', 'abc')" << false;
    QTest::newRow("digits text in an integer column") << "INSERT INTO Meter (MeterNO, Multiple) VALUES ('M', '12')" << true;
    QTest::newRow("setup date") << "INSERT INTO Meter (MeterNO, SetupDate) VALUES ('M', '2024-02-29')" << true;
    QTest::newRow("setup date and time") << "INSERT INTO Meter (MeterNO, SetupDate) VALUES ('M', '2024-02-29 08:30:00')" << true;
    QTest::newRow("impossible setup date") << "INSERT INTO Meter (MeterNO, SetupDate) VALUES ('M', '2023-02-29')" << false;
    QTest::newRow("price name of 21") << "INSERT INTO Price (PriceName) VALUES ('123456789012345678901')" << false;
}

void TstDatabase::checks()
{
    QFETCH(QString, sql);
    QFETCH(bool, accepted);
    TestDatabase t;
    bool stored = true;
    try {
        execSql(t.db(), sql);
    } catch (const DatabaseError &) {
        stored = false;
    }
    QCOMPARE(stored, accepted);
}

void TstDatabase::connectionSettings()
{
    TestDatabase t;
    if (TestDatabase::onServer()) {
        // Another clerk's row lock is waited for as long as a busy file would be.
        QCOMPARE(t.scalar(QStringLiteral("SELECT setting FROM pg_settings WHERE name = 'lock_timeout'")).toInt(),
                 Database::busyTimeout());
    } else {
        QCOMPARE(t.scalar(QStringLiteral("PRAGMA foreign_keys")).toInt(), 1);
        QCOMPARE(t.scalar(QStringLiteral("PRAGMA journal_mode")).toString(), QStringLiteral("wal"));
        QCOMPARE(t.scalar(QStringLiteral("PRAGMA synchronous")).toInt(), 2);   // FULL
        QVERIFY(t.scalar(QStringLiteral("PRAGMA busy_timeout")).toInt() >= 1000);
    }
    // Reading dates are checked dates; a file keeps them in one written form.
    t.addOneMeter();
    QVERIFY_THROWS_EXCEPTION(
        DatabaseError,
        execSql(t.db(), QStringLiteral("INSERT INTO TakeMeter (MeterID, TakeTime) VALUES ('A1', '2023-02-29')")));
    if (!TestDatabase::onServer())
        QVERIFY_THROWS_EXCEPTION(
            DatabaseError,
            execSql(t.db(), QStringLiteral("INSERT INTO TakeMeter (MeterID, TakeTime) VALUES ('A1', '2024-3-1')")));
    t.addReading(QStringLiteral("A1"), QDate(2024, 2, 29), 1, 1, yuan("0"), yuan("0"));
}

void TstDatabase::missingFileIsNotCreated()
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("none.db"));
    try {
        Database::open(file, QStringLiteral("probe"));
        QFAIL("a missing file was opened");
    } catch (const DatabaseError &e) {
        QCOMPARE(e.kind(), DatabaseError::Missing);
    }
    QVERIFY(!QFile::exists(file));
}

void TstDatabase::fileThatIsNoDatabase()
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("junk.db"));
    QFile f(file);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(8192, 'x'));
    f.close();
    try {
        Database::open(file, QStringLiteral("probe"));
        QFAIL("a file of junk was opened");
    } catch (const DatabaseError &e) {
        QCOMPARE(e.kind(), DatabaseError::Foreign);
        QCOMPARE(e.operatorText(), QStringLiteral("不是 Kelvara 的数据库文件：") + file);
    }
    QVERIFY(!QSqlDatabase::contains(QStringLiteral("probe")));
}

void TstDatabase::createdFilesAreOwnerOnly()
{
    if (TestDatabase::onServer())
        QSKIP("the server keeps its own files");
    TestDatabase t;
    t.addOneMeter();   // writes, so the WAL exists
    for (const QString &file : { t.path(), t.path() + QStringLiteral("-wal") }) {
        QVERIFY2(QFile::exists(file), qPrintable(file));
        const auto perms = QFile::permissions(file);
        QVERIFY(!(perms & (QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ReadOther
                           | QFileDevice::WriteOther)));
    }
}

void TstDatabase::backupIsAConsistentCopy()
{
    TestDatabase t;
    if (TestDatabase::onServer()) {
        // A server's database is backed up with its own tools; the program writes no copy of it.
        QSqlDatabase db = t.db();
        const QString copy = t.dir() + QStringLiteral("/backup/copy.db");
        QVERIFY_THROWS_EXCEPTION(DatabaseError, Database::backup(db, copy));
        QVERIFY(!QFile::exists(copy));
        return;
    }
    t.addOneMeter();
    t.addReading(QStringLiteral("A1"), QDate(2024, 3, 1), 10, 10, yuan("1"), yuan("0"));
    const QString copy = t.dir() + QStringLiteral("/backup/copy.db");
    QSqlDatabase db = t.db();
    Database::backup(db, copy);
    QVERIFY(!QFile::exists(copy + QStringLiteral(".part")));
    QSqlDatabase opened = Database::open(copy, QStringLiteral("copy"));
    QCOMPARE(scalar(opened, QStringLiteral("SELECT count(*) FROM TakeMeter")).toInt(), 1);
    QCOMPARE(scalar(opened, QStringLiteral("PRAGMA integrity_check")).toString(), QStringLiteral("ok"));
    opened = QSqlDatabase();
    Database::close(QStringLiteral("copy"));
    QVERIFY(!(QFile::permissions(copy) & (QFileDevice::ReadOther | QFileDevice::ReadGroup)));
}

void TstDatabase::transactionRollsBackUnlessCommitted()
{
    TestDatabase t;
    {
        Transaction tx(t.db());
        t.addMeterSort(QStringLiteral("水表"));
    }
    QCOMPARE(t.count(QStringLiteral("MeterSort")), 0);
    {
        Transaction tx(t.db());
        t.addMeterSort(QStringLiteral("水表"));
        tx.commit();
    }
    QCOMPARE(t.count(QStringLiteral("MeterSort")), 1);
}

// A kept statement starts unbound every time and never outlives the connection it was made on.
void TstDatabase::keptStatementsFollowTheirConnection()
{
    const QString sql = QStringLiteral("Select count(*) from Workshop where WrokShopName = ?");
    auto first = std::make_unique<TestDatabase>();
    first->setUsingUnit(QStringLiteral("甲厂"), QStringLiteral("pw"));
    QCOMPARE(scalar(Database::connection(), sql, { QStringLiteral("甲厂") }).toInt(), 1);
    // Nothing bound: NULL matches no name, whatever was bound before.
    QCOMPARE(scalar(Database::connection(), sql).toInt(), 0);
    first.reset();

    TestDatabase second;
    second.setUsingUnit(QStringLiteral("乙厂"), QStringLiteral("pw"));
    QCOMPARE(scalar(Database::connection(), sql, { QStringLiteral("甲厂") }).toInt(), 0);
    QCOMPARE(scalar(Database::connection(), sql, { QStringLiteral("乙厂") }).toInt(), 1);
    // Still usable after a failure of the same text.
    QVERIFY_THROWS_EXCEPTION(DatabaseError, scalar(Database::connection(), QStringLiteral("Select nothing from nowhere")));
    QCOMPARE(scalar(Database::connection(), sql, { QStringLiteral("乙厂") }).toInt(), 1);
}

void TstDatabase::locations_data()
{
    QTest::addColumn<QString>("location");
    QTest::addColumn<bool>("server");
    QTest::addColumn<QString>("problem");   // a prefix; empty when the location is usable
    QTest::addColumn<QString>("shown");
    QTest::newRow("file") << "MDB/Kelvara.db" << false << "" << "MDB/Kelvara.db";
    QTest::newRow("file with = in its folder") << "/srv/a=b/Kelvara.db" << false << "" << "/srv/a=b/Kelvara.db";
    QTest::newRow("empty") << "" << false << "\"\" names no database file" << "";
    QTest::newRow("URI") << "postgresql://clerk@db.example:5433/kelvara?sslmode=require" << true << ""
                         << "postgresql://clerk@db.example:5433/kelvara?sslmode=require";
    QTest::newRow("short URI") << "postgres:///kelvara" << true << "" << "postgres:///kelvara";
    QTest::newRow("service") << "service=kelvara" << true << "" << "service=kelvara";
    QTest::newRow("settings") << "host=10.0.0.5 dbname=kelvara user=clerk" << true << ""
                              << "host=10.0.0.5 dbname=kelvara user=clerk";
    QTest::newRow("password in a URI") << "postgresql://clerk:s3cret@db/kelvara" << true
                                       << "the address holds a password" << "postgresql://clerk:***@db/kelvara";
    QTest::newRow("password in the URI's query") << "postgresql://db/kelvara?password=s3cret" << true
                                                 << "the address holds a password" << "postgresql://db/kelvara?password=***";
    QTest::newRow("password setting") << "host=db password = 's3 cret'" << true << "the address holds a password"
                                      << "host=db password = ***";
    QTest::newRow("password under a percent-encoded name") << "postgresql://db/kelvara?pass%77ord=s3cret" << true
                                                           << "the address holds a password"
                                                           << "postgresql://db/kelvara?pass%77ord=***";
    QTest::newRow("password with a stray percent") << "postgresql://clerk:s3cret%off@db/kelvara" << true
                                                   << "invalid percent-encoded token"
                                                   << "postgresql://clerk:***@db/kelvara";
    QTest::newRow("password with an escaped blank") << "host=db password=s3\\ cret" << true
                                                    << "the address holds a password" << "host=db password=***";
    QTest::newRow("unknown setting") << "host=db colour=blue" << true << "invalid connection option \"colour\""
                                     << "host=db colour=blue";
}

// Which engine a location names, what is wrong with it, and how it is shown: never a password.
void TstDatabase::locations()
{
    QFETCH(QString, location);
    QFETCH(bool, server);
    QFETCH(QString, problem);
    QFETCH(QString, shown);
    const Engine &engine = Engine::forLocation(location);
    QCOMPARE(engine.isFile(), !server);
    QCOMPARE(engine.displayName(location), shown);
    const QString found = engine.locationProblem(location);
    if (problem.isEmpty())
        QCOMPARE(found, QString());
    else
        QVERIFY2(found.startsWith(problem), qPrintable(found));
    QVERIFY(!found.contains(QStringLiteral("s3")));
}

void TstDatabase::startPathFromConfiguration()
{
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", home.path().toUtf8());
    QCOMPARE(Database::startPath(QString()), Database::defaultPath());
    QVERIFY(QDir().mkpath(home.filePath(QStringLiteral("Kelvara"))));
    QFile conf(home.filePath(QStringLiteral("Kelvara/Kelvara.conf")));
    QVERIFY(conf.open(QIODevice::WriteOnly));
    conf.write("[General]\ndatabase=\"postgresql://clerk@db.example/kelvara\"\n");
    conf.close();
    QCOMPARE(Database::startPath(QString()), QStringLiteral("postgresql://clerk@db.example/kelvara"));
    // The command line wins.
    QCOMPARE(Database::startPath(QStringLiteral("other.db")), QStringLiteral("other.db"));
    // An address naming two servers, written without quotes as the set-up shows it, is the
    // address, not a list that leaves the file beside the program.
    QVERIFY(conf.open(QIODevice::WriteOnly | QIODevice::Truncate));
    conf.write("[General]\ndatabase=postgresql://clerk@db1.example,db2.example/kelvara\n");
    conf.close();
    QCOMPARE(Database::startPath(QString()), QStringLiteral("postgresql://clerk@db1.example,db2.example/kelvara"));
    // A folder whose name has a comma and a blank is that folder.
    QVERIFY(conf.open(QIODevice::WriteOnly | QIODevice::Truncate));
    conf.write("[General]\ndatabase=/srv/water, power/Kelvara.db\n");
    conf.close();
    QCOMPARE(Database::startPath(QString()), QStringLiteral("/srv/water, power/Kelvara.db"));
    // So is one with a semicolon, which would otherwise start a comment.
    QVERIFY(conf.open(QIODevice::WriteOnly | QIODevice::Truncate));
    conf.write("[General]\ndatabase=/srv/water;power/Kelvara.db\n");
    conf.close();
    QCOMPARE(Database::startPath(QString()), QStringLiteral("/srv/water;power/Kelvara.db"));
    // A semicolon after a blank begins a comment, as ever.
    QVERIFY(conf.open(QIODevice::WriteOnly | QIODevice::Truncate));
    conf.write("[General]\ndatabase=/srv/Kelvara.db ; the shared one\n");
    conf.close();
    QCOMPARE(Database::startPath(QString()), QStringLiteral("/srv/Kelvara.db"));
}

// Desktops list several system folders (XDG_CONFIG_DIRS, e.g. the desktop's own before /etc/xdg);
// QSettings reads the value from a later one too, and so must the path taken as written. Runs
// before any test sets a fixed system folder.
void TstDatabase::startPathFromLaterSystemFolder()
{
    QTemporaryDir home, first, second;
    qputenv("XDG_CONFIG_HOME", home.path().toUtf8());
    qputenv("XDG_CONFIG_DIRS", (first.path() + u':' + second.path()).toUtf8());
    QVERIFY(QDir().mkpath(second.filePath(QStringLiteral("Kelvara"))));
    QFile conf(second.filePath(QStringLiteral("Kelvara/Kelvara.conf")));
    QVERIFY(conf.open(QIODevice::WriteOnly));
    conf.write("[General]\ndatabase=/srv/water;power/Kelvara.db\n");
    conf.close();
    const QString found = Database::startPath(QString());
    qunsetenv("XDG_CONFIG_DIRS");
    QCOMPARE(found, QStringLiteral("/srv/water;power/Kelvara.db"));
}

// QSettings takes the program's file of every system folder before any organisation's file: a
// later folder's program file wins over an earlier folder's organisation file.
void TstDatabase::startPathProgramFileOfLaterFolderFirst()
{
    QTemporaryDir home, first, second;
    qputenv("XDG_CONFIG_HOME", home.path().toUtf8());
    qputenv("XDG_CONFIG_DIRS", (first.path() + u':' + second.path()).toUtf8());
    QFile organisation(first.filePath(QStringLiteral("Kelvara.conf")));
    QVERIFY(organisation.open(QIODevice::WriteOnly));
    organisation.write("[General]\ndatabase=/srv/old;site/Kelvara.db\n");
    organisation.close();
    QVERIFY(QDir().mkpath(second.filePath(QStringLiteral("Kelvara"))));
    QFile program(second.filePath(QStringLiteral("Kelvara/Kelvara.conf")));
    QVERIFY(program.open(QIODevice::WriteOnly));
    program.write("[General]\ndatabase=/srv/water;power/Kelvara.db\n");
    program.close();
    const QString read = QSettings(QStringLiteral("Kelvara"), QStringLiteral("Kelvara")).value(QStringLiteral("database")).toString();
    const QString found = Database::startPath(QString());
    qunsetenv("XDG_CONFIG_DIRS");
    QCOMPARE(read, QStringLiteral("/srv/water"));
    QCOMPARE(found, QStringLiteral("/srv/water;power/Kelvara.db"));
}

// A configuration the administrator wrote for every desktop (the system-wide file QSettings falls
// back to) names a folder with a comma and a blank: that folder, not one without the blank.
void TstDatabase::startPathFromSystemConfiguration()
{
    QTemporaryDir home, system;
    // The folders are read once a process: set them as QSettings keeps them.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, home.path());
    QSettings::setPath(QSettings::NativeFormat, QSettings::SystemScope, system.path());
    QVERIFY(QDir().mkpath(system.filePath(QStringLiteral("Kelvara"))));
    QFile conf(system.filePath(QStringLiteral("Kelvara/Kelvara.conf")));
    QVERIFY(conf.open(QIODevice::WriteOnly));
    conf.write("[General]\ndatabase=/srv/water, power/Kelvara.db\n");
    conf.close();
    QCOMPARE(Database::startPath(QString()), QStringLiteral("/srv/water, power/Kelvara.db"));
}

// QSettings reads a section "[general]" as the general one: its semicolon is kept there too.
void TstDatabase::startPathGeneralSectionAnyCase()
{
    QTemporaryDir home;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, home.path());
    QVERIFY(QDir().mkpath(home.filePath(QStringLiteral("Kelvara"))));
    QFile conf(home.filePath(QStringLiteral("Kelvara/Kelvara.conf")));
    QVERIFY(conf.open(QIODevice::WriteOnly));
    conf.write("[general]\ndatabase=/srv/water;power/Kelvara.db\n");
    conf.close();
    QCOMPARE(Database::startPath(QString()), QStringLiteral("/srv/water;power/Kelvara.db"));
    // Nor do blanks inside the brackets make it another section.
    QVERIFY(conf.open(QIODevice::WriteOnly | QIODevice::Truncate));
    conf.write("[ General ]\ndatabase=/srv/water;power/Kelvara.db\n");
    conf.close();
    QCOMPARE(QSettings(QStringLiteral("Kelvara"), QStringLiteral("Kelvara")).value(QStringLiteral("database")).toString(),
             QStringLiteral("/srv/water"));
    QCOMPARE(Database::startPath(QString()), QStringLiteral("/srv/water;power/Kelvara.db"));
    // A section with a comment after its bracket is another section: its line is not the database.
    QVERIFY(conf.open(QIODevice::WriteOnly | QIODevice::Truncate));
    conf.write("[General]\ndatabase=/srv/Kelvara.db\n[Recent] ; last opened\ndatabase=/srv/old;copy.db\n");
    conf.close();
    QCOMPARE(Database::startPath(QString()), QStringLiteral("/srv/Kelvara.db"));
}

// An address naming the servers to try in turn, each with its port, as libpq reads it.
void TstDatabase::severalServersWithTheirPorts()
{
    if (!TestDatabase::onServer())
        QSKIP("an address of a server");
    QString address = TestDatabase::serverAddress();
    const QRegularExpressionMatch host = QRegularExpression(QStringLiteral("host=(\\S+)")).match(address);
    const QRegularExpressionMatch port = QRegularExpression(QStringLiteral("port=(\\d+)")).match(address);
    QVERIFY(host.hasMatch() && port.hasMatch());
    address.replace(host.captured(0), QStringLiteral("host=%1,%1").arg(host.captured(1)));
    address.replace(port.captured(0), QStringLiteral("port=%1,%1").arg(port.captured(1)));
    try {
        const QSqlDatabase db = Database::open(address, QStringLiteral("two-servers"), Database::OpenMode::Create);
        QCOMPARE(scalar(db, QStringLiteral("SELECT 1")).toInt(), 1);
    } catch (const DatabaseError &e) {
        QFAIL(qPrintable(e.text()));
    }
    Database::close(QStringLiteral("two-servers"));
}

QTEST_GUILESS_MAIN(TstDatabase)
#include "tst_Database.moc"
