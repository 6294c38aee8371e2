// One submission of the using unit's name and password: what it writes, what it clears, the copy
// it makes first, and that a failure leaves the database exactly as it was.
#include "Database.h"
#include "SystemParameters.h"
#include "TestDatabase.h"

#include <QDir>
#include <QFile>
#include <QSqlRecord>
#include <QtTest>

using SystemParameters::Outcome;
using SystemParameters::Submission;

class TstSystemParameters : public QObject
{
    Q_OBJECT
private slots:
    void submit_data();
    void submit();
    void failingStatementRollsBackEverything();
    void backupHoldsTheRowsBeforeTheClearing();
    void failedBackupChangesNothing();
    void backupPathNamesAndNeverOverwrites();

private:
    // The using unit 红星厂 (password "old") with a unit, a workshop, a team, one type, price,
    // meter and reading.
    void fill(TestDatabase &t);
    static QStringList rows(TestDatabase &t, const QString &sql);
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

QStringList TstSystemParameters::rows(TestDatabase &t, const QString &sql)
{
    QSqlQuery q = execSql(t.db(), sql);
    QStringList out;
    while (q.next()) {
        QStringList values;
        for (int i = 0; i < q.record().count(); ++i)
            values << q.value(i).toString();
        out << values.join(u'|');
    }
    return out;
}

void TstSystemParameters::submit_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("clear");
    QTest::addColumn<QStringList>("workshops");   // every Workshop row afterwards
    QTest::addColumn<int>("readings");
    QTest::addColumn<int>("meters");
    QTest::addColumn<int>("prices");

    const QStringList kept = { "1|红星厂|0|红星厂|0", "2|一分厂|1|一分厂|1", "3|一车间|2|一车间|2", "4|甲班|3|甲班|3" };
    QTest::newRow("password only") << "filled" << "红星厂" << "new" << false << kept << 1 << 1 << 1;
    QTest::newRow("name changed") << "filled" << "蓝天厂" << "new" << true
                                  << QStringList{ "1|蓝天厂|0|蓝天厂|0" } << 0 << 0 << 0;
    QTest::newRow("first configuration") << "empty" << "新厂" << "pw" << true
                                         << QStringList{ "1|新厂|0|新厂|0" } << 0 << 0 << 0;
    QTest::newRow("root row missing") << "no root" << "红星厂" << "old" << true
                                      << QStringList{ "1|红星厂|0|红星厂|0" } << 0 << 0 << 0;
    QTest::newRow("apostrophes") << "filled" << "O'Neil's 厂" << "a'b\"c" << true
                                 << QStringList{ "1|O'Neil's 厂|0|O'Neil's 厂|0" } << 0 << 0 << 0;
    QTest::newRow("renamed root only") << "filled" << "红星厂'" << "old" << false
                                       << QStringList{ "1|红星厂'|0|红星厂|0", "2|一分厂|1|一分厂|1",
                                                       "3|一车间|2|一车间|2", "4|甲班|3|甲班|3" }
                                       << 1 << 1 << 1;
}

void TstSystemParameters::submit()
{
    QFETCH(QString, setup);
    QFETCH(QString, name);
    QFETCH(QString, password);
    QFETCH(bool, clear);
    QFETCH(QStringList, workshops);
    TestDatabase t;
    if (setup != u"empty")
        fill(t);
    if (setup == u"no root")
        execSql(t.db(), QStringLiteral("DELETE FROM Workshop WHERE WrokShopID = 1"));

    const auto result = SystemParameters::submit(t.db(), t.path(), { name, password, clear });

    QCOMPARE(int(result.outcome), int(Outcome::Done));
    QCOMPARE(rows(t, QStringLiteral("SELECT UseUnitName, PassWd FROM CnfgPara")),
             QStringList{ name + u'|' + password });
    QCOMPARE(rows(t, QStringLiteral("SELECT * FROM Workshop ORDER BY WrokShopID")), workshops);
    QTEST(t.count(QStringLiteral("TakeMeter")), "readings");
    QTEST(t.count(QStringLiteral("Meter")), "meters");
    QTEST(t.count(QStringLiteral("Price")), "prices");
    QCOMPARE(t.count(QStringLiteral("MeterSort")), setup == u"empty" ? 0 : 1);
    QCOMPARE(!result.backupFile.isEmpty(), clear);
    QCOMPARE(QFile::exists(result.backupFile), clear);
}

void TstSystemParameters::failingStatementRollsBackEverything()
{
    TestDatabase t;
    fill(t);
    // The root row is the last statement of a clearing submission.
    execSql(t.db(), QStringLiteral("CREATE TRIGGER refuse_root BEFORE INSERT ON Workshop "
                                   "BEGIN SELECT RAISE(ABORT, 'root refused'); END"));
    const QStringList before = rows(t, QStringLiteral("SELECT * FROM Workshop ORDER BY WrokShopID"));

    auto result = SystemParameters::submit(t.db(), t.path(), { QStringLiteral("蓝天厂"), QStringLiteral("new"), true });
    QCOMPARE(int(result.outcome), int(Outcome::Failed));
    QVERIFY2(result.reason.contains(QStringLiteral("root refused")), qPrintable(result.reason));
    QCOMPARE(rows(t, QStringLiteral("SELECT UseUnitName, PassWd FROM CnfgPara")), QStringList{ "红星厂|old" });
    QCOMPARE(rows(t, QStringLiteral("SELECT * FROM Workshop ORDER BY WrokShopID")), before);
    QCOMPARE(t.count(QStringLiteral("TakeMeter")), 1);
    QCOMPARE(t.count(QStringLiteral("Meter")), 1);
    QCOMPARE(t.count(QStringLiteral("Price")), 1);

    // No transaction is left open: the same submission goes through once the cause is gone.
    execSql(t.db(), QStringLiteral("DROP TRIGGER refuse_root"));
    result = SystemParameters::submit(t.db(), t.path(), { QStringLiteral("蓝天厂"), QStringLiteral("new"), true });
    QCOMPARE(int(result.outcome), int(Outcome::Done));
    QCOMPARE(rows(t, QStringLiteral("SELECT * FROM Workshop")), QStringList{ "1|蓝天厂|0|蓝天厂|0" });
    QCOMPARE(t.count(QStringLiteral("TakeMeter")), 0);
}

void TstSystemParameters::backupHoldsTheRowsBeforeTheClearing()
{
    TestDatabase t;
    fill(t);
    const QDateTime when(QDate(2024, 3, 9), QTime(14, 5, 7));
    const auto result = SystemParameters::submit(t.db(), t.path(), { QStringLiteral("蓝天厂"), QStringLiteral("new"), true },
                                                 when);
    QCOMPARE(int(result.outcome), int(Outcome::Done));
    QCOMPARE(result.backupFile, t.dir() + QStringLiteral("/MDB/backup/Kelvara-20240309-140507.db"));

    QSqlDatabase copy = Database::open(result.backupFile, QStringLiteral("copy"));
    QCOMPARE(::scalar(copy, QStringLiteral("SELECT UseUnitName || '|' || PassWd FROM CnfgPara")).toString(),
             QStringLiteral("红星厂|old"));
    QCOMPARE(::scalar(copy, QStringLiteral("SELECT count(*) FROM Workshop")).toInt(), 4);
    QCOMPARE(::scalar(copy, QStringLiteral("SELECT MeterID FROM TakeMeter")).toString(), QStringLiteral("W01"));
    QCOMPARE(::scalar(copy, QStringLiteral("SELECT count(*) FROM Meter")).toInt(), 1);
    QCOMPARE(::scalar(copy, QStringLiteral("SELECT count(*) FROM Price")).toInt(), 1);
    copy = QSqlDatabase();
    Database::close(QStringLiteral("copy"));
}

void TstSystemParameters::failedBackupChangesNothing()
{
    TestDatabase t;
    fill(t);
    // A file where the backup folder belongs: the copy cannot be written.
    QFile blocker(t.dir() + QStringLiteral("/MDB/backup"));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();

    const auto result = SystemParameters::submit(t.db(), t.path(), { QStringLiteral("蓝天厂"), QStringLiteral("new"), true });
    QCOMPARE(int(result.outcome), int(Outcome::BackupFailed));
    QVERIFY(!result.reason.isEmpty());
    QVERIFY(result.backupFile.isEmpty());
    QCOMPARE(rows(t, QStringLiteral("SELECT UseUnitName, PassWd FROM CnfgPara")), QStringList{ "红星厂|old" });
    QCOMPARE(t.count(QStringLiteral("Workshop")), 4);
    QCOMPARE(t.count(QStringLiteral("TakeMeter")), 1);

    // A submission that clears nothing needs no copy.
    const auto kept = SystemParameters::submit(t.db(), t.path(), { QStringLiteral("红星厂"), QStringLiteral("new"), false });
    QCOMPARE(int(kept.outcome), int(Outcome::Done));
    QCOMPARE(rows(t, QStringLiteral("SELECT UseUnitName, PassWd FROM CnfgPara")), QStringList{ "红星厂|new" });
}

void TstSystemParameters::backupPathNamesAndNeverOverwrites()
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
    const QString second = SystemParameters::backupPath(db, when);
    QCOMPARE(second, dir.path() + QStringLiteral("/MDB/backup/Kelvara-20041231-235958-2.db"));
}

QTEST_GUILESS_MAIN(TstSystemParameters)
#include "tst_SystemParameters.moc"
