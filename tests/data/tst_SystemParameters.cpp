// One submission of the using unit's name and password: what it writes and clears, the copy it
// makes first, and that a failure leaves the database exactly as it was.
#include "Database.h"
#include "SystemParameters.h"
#include "Password.h"
#include "TestDatabase.h"

#include <QFile>
#include <QSqlRecord>
#include <QtTest>

using SystemParameters::Outcome;

class TstSystemParameters : public QObject
{
    Q_OBJECT
private slots:
    void untouchedHashIsKept();
    void submit_data();
    void submit();
    void failingStatementRollsBackEverything();
    void failedBackupChangesNothing();
    void backupNeverOverwritten();
    void extraParameterRowsGo();

private:
    // 红星厂 (password "old") with a unit, a workshop, a team, a type, a price, a meter and a reading.
    static void fill(TestDatabase &t);
    // Every row of every table but MeterSort, one text per row.
    static QStringList rows(const QSqlDatabase &db, const QString &table);
};

void TstSystemParameters::fill(TestDatabase &t)
{
    t.setUsingUnit(QStringLiteral("红星厂"), QStringLiteral("old"));
    const qint64 unit = t.addWorkshop(QStringLiteral("一分厂"), 1, 1);
    const qint64 shop = t.addWorkshop(QStringLiteral("一车间"), 2, unit);
    const qint64 team = t.addWorkshop(QStringLiteral("甲班"), 3, shop);
    const qint64 sort = t.addMeterSort(QStringLiteral("水表"));
    const qint64 price = t.addPrice(QStringLiteral("生产"), yuan("2.5"), yuan("4"), sort);
    t.addMeter({ QStringLiteral("W01"), sort, price, shop, team });
    t.addReading(QStringLiteral("W01"), QDate(2004, 5, 3), 10, 20, yuan("50"), yuan("0"));
}

QStringList TstSystemParameters::rows(const QSqlDatabase &db, const QString &table)
{
    QSqlQuery q = execSql(db, QStringLiteral("SELECT * FROM ") + table + QStringLiteral(" ORDER BY 1"));
    QStringList out;
    while (q.next()) {
        QStringList values;
        for (int i = 0; i < q.record().count(); ++i)
            values << q.value(i).toString();
        if (table == u"CnfgPara")
            values.last() = typedPassword(values.last());
        out << values.join(u'|');
    }
    return out;
}

void TstSystemParameters::submit_data()
{
    QTest::addColumn<bool>("filled");
    QTest::addColumn<bool>("rootMissing");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("clear");
    QTest::addColumn<QStringList>("workshops");
    QTest::addColumn<int>("readings");   // meters and prices go with the readings

    const QStringList kept = { "1|红星厂|0|红星厂|0", "2|一分厂|1|一分厂|1", "3|一车间|2|一车间|2", "4|甲班|3|甲班|3" };
    QTest::newRow("password only") << true << false << "红星厂" << "new" << false << kept << 1;
    QTest::newRow("name changed") << true << false << "蓝天厂" << "new" << true
                                  << QStringList{ "1|蓝天厂|0|蓝天厂|0" } << 0;
    QTest::newRow("first configuration") << false << false << "新厂" << "pw" << true
                                         << QStringList{ "1|新厂|0|新厂|0" } << 0;
    QTest::newRow("root row missing") << true << true << "红星厂" << "old" << true
                                      << QStringList{ "1|红星厂|0|红星厂|0" } << 0;
    QTest::newRow("apostrophes") << true << false << "O'Neil's 厂" << "a'b\"c" << true
                                 << QStringList{ "1|O'Neil's 厂|0|O'Neil's 厂|0" } << 0;
    // Only the root row is renamed; its memo and the other rows keep their names.
    QStringList renamed = kept;
    renamed[0] = QStringLiteral("1|红星厂'|0|红星厂|0");
    QTest::newRow("root renamed in place") << true << false << "红星厂'" << "old" << false << renamed << 1;
}

void TstSystemParameters::submit()
{
    QFETCH(bool, filled);
    QFETCH(bool, rootMissing);
    QFETCH(QString, name);
    QFETCH(QString, password);
    QFETCH(bool, clear);
    QFETCH(int, readings);
    TestDatabase t;
    if (filled)
        fill(t);
    if (rootMissing)
        execSql(t.db(), QStringLiteral("DELETE FROM Workshop WHERE WrokShopID = 1"));
    const QStringList before = rows(t.db(), QStringLiteral("CnfgPara")) + rows(t.db(), QStringLiteral("Workshop"))
        + rows(t.db(), QStringLiteral("TakeMeter"));
    const QDateTime when(QDate(2024, 3, 9), QTime(14, 5, 7));

    const auto result = SystemParameters::submit(t.db(), t.path(), { name, password, clear }, when);

    QCOMPARE(int(result.outcome), int(Outcome::Done));
    QCOMPARE(rows(t.db(), QStringLiteral("CnfgPara")), QStringList{ name + u'|' + password });
    QTEST(rows(t.db(), QStringLiteral("Workshop")), "workshops");
    QCOMPARE(t.count(QStringLiteral("TakeMeter")), readings);
    QCOMPARE(t.count(QStringLiteral("Meter")), filled ? readings : 0);
    QCOMPARE(t.count(QStringLiteral("Price")), filled ? readings : 0);
    QCOMPARE(t.count(QStringLiteral("MeterSort")), filled ? 1 : 0);
    // A server's database is backed up by the server's tools: the program writes no copy.
    if (!clear || TestDatabase::onServer()) {
        QVERIFY(result.backupFile.isEmpty());
        return;
    }
    // The copy made first holds the rows as they were.
    QCOMPARE(result.backupFile, t.dir() + QStringLiteral("/MDB/backup/Kelvara-20240309-140507.db"));
    {
        const QSqlDatabase copy = Database::open(result.backupFile, QStringLiteral("copy"));
        QCOMPARE(rows(copy, QStringLiteral("CnfgPara")) + rows(copy, QStringLiteral("Workshop"))
                     + rows(copy, QStringLiteral("TakeMeter")),
                 before);
    }
    Database::close(QStringLiteral("copy"));
}

void TstSystemParameters::failingStatementRollsBackEverything()
{
    TestDatabase t;
    fill(t);
    // The root row is the last statement of a clearing submission.
    if (TestDatabase::onServer()) {
        execSql(t.db(), QStringLiteral("CREATE FUNCTION refuse_root() RETURNS trigger LANGUAGE plpgsql "
                                       "AS $$BEGIN RAISE EXCEPTION 'root refused'; END$$"));
        execSql(t.db(), QStringLiteral("CREATE TRIGGER refuse_root BEFORE INSERT ON Workshop "
                                       "FOR EACH ROW EXECUTE FUNCTION refuse_root()"));
    } else {
        execSql(t.db(), QStringLiteral("CREATE TRIGGER refuse_root BEFORE INSERT ON Workshop "
                                       "BEGIN SELECT RAISE(ABORT, 'root refused'); END"));
    }
    const QStringList before = rows(t.db(), QStringLiteral("CnfgPara")) + rows(t.db(), QStringLiteral("Workshop"))
        + rows(t.db(), QStringLiteral("Meter")) + rows(t.db(), QStringLiteral("TakeMeter"));
    const SystemParameters::Submission change{ QStringLiteral("蓝天厂"), QStringLiteral("new"), true };

    auto result = SystemParameters::submit(t.db(), t.path(), change);
    QCOMPARE(int(result.outcome), int(Outcome::Failed));
    QVERIFY2(result.reason.contains(QStringLiteral("root refused")), qPrintable(result.reason));
    QCOMPARE(rows(t.db(), QStringLiteral("CnfgPara")) + rows(t.db(), QStringLiteral("Workshop"))
                 + rows(t.db(), QStringLiteral("Meter")) + rows(t.db(), QStringLiteral("TakeMeter")),
             before);

    // No transaction is left open: the same submission goes through once the cause is gone.
    execSql(t.db(), TestDatabase::onServer() ? QStringLiteral("DROP TRIGGER refuse_root ON Workshop")
                                             : QStringLiteral("DROP TRIGGER refuse_root"));
    result = SystemParameters::submit(t.db(), t.path(), change);
    QCOMPARE(int(result.outcome), int(Outcome::Done));
    QCOMPARE(rows(t.db(), QStringLiteral("Workshop")), QStringList{ "1|蓝天厂|0|蓝天厂|0" });
}

void TstSystemParameters::untouchedHashIsKept()
{
    TestDatabase t;
    fill(t);
    SystemParameters::submit(t.db(), t.path(), { QStringLiteral("红星厂"), QStringLiteral("new"), false });
    const QString hash = t.scalar(QStringLiteral("SELECT PassWd FROM CnfgPara")).toString();
    QVERIFY(IsPasswordHash(hash));
    // The window shows the stored value masked; sent back as it was, the password stays "new".
    SystemParameters::submit(t.db(), t.path(), { QStringLiteral("红星厂"), hash, false });
    QCOMPARE(t.scalar(QStringLiteral("SELECT PassWd FROM CnfgPara")).toString(), hash);
    QVERIFY(PasswordMatches(QStringLiteral("new"), hash));
}

void TstSystemParameters::failedBackupChangesNothing()
{
    if (TestDatabase::onServer())
        QSKIP("no copy is made of a server's database");
    TestDatabase t;
    fill(t);
    // A file where the backup folder belongs: the copy cannot be written.
    QFile blocker(t.dir() + QStringLiteral("/MDB/backup"));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();

    const auto result = SystemParameters::submit(t.db(), t.path(), { QStringLiteral("蓝天厂"), QStringLiteral("new"), true });
    QCOMPARE(int(result.outcome), int(Outcome::BackupFailed));
    QVERIFY(!result.reason.isEmpty());
    QCOMPARE(rows(t.db(), QStringLiteral("CnfgPara")), QStringList{ "红星厂|old" });
    QCOMPARE(t.count(QStringLiteral("Workshop")), 4);
    QCOMPARE(t.count(QStringLiteral("TakeMeter")), 1);

    // A submission that clears nothing needs no copy.
    const auto kept = SystemParameters::submit(t.db(), t.path(), { QStringLiteral("红星厂"), QStringLiteral("new"), false });
    QCOMPARE(int(kept.outcome), int(Outcome::Done));
}

void TstSystemParameters::backupNeverOverwritten()
{
    QTemporaryDir dir;
    const QString db = dir.filePath(QStringLiteral("MDB/Kelvara.db"));
    const QDateTime when(QDate(2004, 12, 31), QTime(23, 59, 58));
    const QString first = SystemParameters::backupPath(db, when);
    QCOMPARE(first, dir.path() + QStringLiteral("/MDB/backup/Kelvara-20041231-235958.db"));
    QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("MDB/backup"))));
    QFile taken(first);
    QVERIFY(taken.open(QIODevice::WriteOnly));
    taken.close();
    QCOMPARE(SystemParameters::backupPath(db, when),
             dir.path() + QStringLiteral("/MDB/backup/Kelvara-20041231-235958-2.db"));
}

// The login reads the first row: with the extra rows gone in the same transaction, the password
// just saved is the one it accepts, and neither of the old ones.
void TstSystemParameters::extraParameterRowsGo()
{
    TestDatabase t;
    fill(t);
    execSql(t.db(), QStringLiteral("INSERT INTO CnfgPara VALUES ('红星厂', 'second')"));
    const auto result = SystemParameters::submit(t.db(), t.path(), { QStringLiteral("红星厂"), QStringLiteral("new"), false });
    QCOMPARE(int(result.outcome), int(Outcome::Done));
    QCOMPARE(rows(t.db(), QStringLiteral("CnfgPara")), QStringList{ "红星厂|new" });
    const QString stored = t.scalar(QStringLiteral("select Passwd from CnfgPara")).toString();
    QVERIFY(PasswordMatches(QStringLiteral("new"), stored));
    QVERIFY(!PasswordMatches(QStringLiteral("old"), stored) && !PasswordMatches(QStringLiteral("second"), stored));
}

QTEST_GUILESS_MAIN(TstSystemParameters)
#include "tst_SystemParameters.moc"
