// kelvara-cli run as a separate program: read, import, init --demo and restore.
#include "AutoBackup.h"
#include "CliRun.h"
#include "Database.h"
#include "Engine.h"
#include "ReadingCsv.h"
#include "Schema.h"
#include "TestDatabase.h"
#include "UCommon.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSqlQuery>
#include <QtTest>

#include <sys/wait.h>
#include <unistd.h>

namespace {

Run runCli(const QString &database, const QStringList &args)
{
    return runCli(QStringList({ QStringLiteral("--database"), database }) + args);
}

QDate day(const char *iso)
{
    return QDate::fromString(QString::fromLatin1(iso), Qt::ISODate);
}

// Meters M1 (the example: price 0.5, excess 0.8, base 1000, maximum 9999, quota 100, additional
// quantity 5, multiplier 10) and O'B,1 (the same, multiplier 1).
void addMeters(TestDatabase &t)
{
    const qint64 sort = t.addMeterSort(QStringLiteral("水表"));
    const qint64 price = t.addPrice(QStringLiteral("生产用水"), yuan("0.5"), yuan("0.8"), sort);
    for (const char *number : { "M1", "O'B,1" }) {
        MeterSpec m;
        m.number = QString::fromUtf8(number);
        m.sort = sort;
        m.price = price;
        m.multiple = m.number == u"M1" ? 10 : 1;
        m.baseNumber = 1000;
        m.maxBound = 9999;
        m.subjoin = 5;
        m.quota = yuan("100");
        t.addMeter(m);
    }
}

// Every reading as "MeterID TakeTime TakeNumber CurValue Charge QuotaCharge".
QStringList storedRows(const TestDatabase &t)
{
    QStringList rows;
    QSqlQuery q = execSql(t.db(), QStringLiteral("select MeterID, TakeTime, TakeNumber, CurValue, Charge, "
                                                 "QuotaCharge from TakeMeter order by MeterID, TakeTime"));
    while (q.next())
        rows << QStringList({ q.value(0).toString(), q.value(1).toString(), q.value(2).toString(),
                              q.value(3).toString(), Currency::fromUnits(q.value(4).toLongLong()).toString(),
                              Currency::fromUnits(q.value(5).toLongLong()).toString() })
                    .join(u' ');
    return rows;
}

// Readings of meter M1 on days from first on, one transaction.
void addReadings(TestDatabase &t, const QDate &first, int days)
{
    Transaction tx(t.db());
    for (int i = 0; i < days; ++i)
        t.addReading(QStringLiteral("M1"), first.addDays(i), 1000 + i, 1, yuan("0.5"), yuan("0"));
    tx.commit();
}

// A checked copy of the test's database at backup; whether it came out sound.
bool keptCopy(TestDatabase &t, const QString &backup)
{
    QSqlDatabase db = t.db();
    return !Database::backup(db, backup).damaged;
}

// Count of readings and integrity_check of a file, as a fresh connection finds it.
QString readingsAndCheck(const QString &file)
{
    const QString name = QStringLiteral("restore-check");
    QString state;
    {
        QSqlDatabase db = Database::open(file, name);
        state = scalar(db, QStringLiteral("select count(*) from TakeMeter")).toString() + u' '
            + scalar(db, QStringLiteral("PRAGMA integrity_check")).toString();
    }
    Database::close(name);
    return state;
}

QByteArray digest(const QString &file)
{
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256) : QByteArray();
}

QString writeFile(const TestDatabase &t, const QByteArray &content)
{
    const QString path = t.dir() + QStringLiteral("/readings.csv");
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(content) != content.size())
        qFatal("cannot write the test file");
    return path;
}

}

class TstCli : public QObject
{
    Q_OBJECT
private slots:
    void readWorkedExample();
    void readDefaultsToToday();
    void readRefusals_data();
    void readRefusals();
    void readReplaceCorrects();
    void readRollover();
    void readWithoutDatabase();
    void readOnADamagedFile();
    void importStoresInDateOrder();
    void importBadLines_data();
    void importBadLines();
    void importSameDateInFileOrder();
    void importRollover();
    void importReplaceChecksTheFileAsAWhole();
    void importShowsProgress();
    void importUsage();
    void initDemoWritesReadings();
    void secondClerkOfADateIsRefused();
    void migrateRoundTrip();
    void migrateAsTheDatabaseOwnerIsQuiet();
    void migrateFromThePreviousVersionKeepsItsPasses();
    void databaseWithoutTheTablesIsNamed();
    void initRacingInitIsRefusedPlainly();
    void restoreOverAStaleLog();
    void restoreRefusals_data();
    void restoreRefusals();
    void exchange();
    void unusualReadings();
    void restoreStopsWhenTheCopyIsNotOnDisk();
    void restoreKeepsTheOwner();
    void dailyCopyDuringARestore();
};

void TstCli::readWorkedExample()
{
    TestDatabase t;
    addMeters(t);
    const struct { const char *date, *counter, *line; } steps[] = {
        { "2005-03-08", "1005", "M1\t2005-03-08\t1005\t50\t27.5000\t0.0000\n" },
        { "2005-03-17", "1020", "M1\t2005-03-17\t1020\t150\t72.5000\t8.0000\n" },
        { "2005-03-25", "1040", "M1\t2005-03-25\t1040\t200\t0.0000\t164.0000\n" },
    };
    for (const auto &s : steps) {
        const Run r = runCli(t.path(), { "read", "--date", s.date, "m1", s.counter });
        QCOMPARE(r.err, QString());
        QCOMPARE(r.out, QString::fromUtf8(s.line));
        QCOMPARE(r.exitCode, 0);
    }
    QCOMPARE(t.scalar(QStringLiteral("select InputDate from TakeMeter limit 1")).toString(),
             QDate::currentDate().toString(Qt::ISODate));
}

void TstCli::readDefaultsToToday()
{
    TestDatabase t;
    addMeters(t);
    const Run r = runCli(t.path(), { "read", "M1", "1005" });
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out.section(u'\t', 1, 1), QDate::currentDate().toString(Qt::ISODate));
}

void TstCli::readRefusals_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("err");

    QTest::newRow("already read") << QStringList({ "read", "--date", "2005-03-08", "M1", "1006" }) << 1
                                  << "该表在这一天已经抄过了！\n";
    QTest::newRow("unknown meter") << QStringList({ "read", "--date", "2005-03-09", "M1'", "1006" }) << 1
                                   << "编号为 M1' 的表不存在或没有设置执行单价！\n";
    QTest::newRow("prefix is not a number") << QStringList({ "read", "--date", "2005-03-09", "M", "1006" }) << 1
                                            << "编号为 M 的表不存在或没有设置执行单价！\n";
    QTest::newRow("above the maximum") << QStringList({ "read", "--date", "2005-03-09", "M1", "10000" }) << 1
                                       << "抄表数大于表的最大计数范围：9999\n";
    QTest::newRow("negative") << QStringList({ "read", "--date", "2005-03-09", "M1", "-1" }) << 1
                              << "抄表数不能小于零！\n";
    QTest::newRow("lower without --rollover")
        << QStringList({ "read", "--date", "2005-03-09", "M1", "1004" }) << 1
        << "当前表数 1004 小于上次表数 1005，表计数是否已归零重新计数？ (--rollover stores it as a rollover)\n";
    QTest::newRow("back-dated above the later reading")
        << QStringList({ "read", "--date", "2005-03-07", "M1", "1010" }) << 1
        << "表 M1 2005-03-08 的抄表数 1005 将小于上次表数 1010，不能修改！\n";
    const QString badCounter = QStringLiteral(
        "kelvara-cli: counter value \"%1\" is not a whole number from -2147483648 to 2147483647\n");
    QTest::newRow("letters") << QStringList({ "read", "M1", "12a" }) << 2 << badCounter.arg("12a");
    QTest::newRow("beyond 32 bits") << QStringList({ "read", "M1", "2147483648" }) << 2 << badCounter.arg("2147483648");
    QTest::newRow("plus sign") << QStringList({ "read", "M1", "+5" }) << 2 << badCounter.arg("+5");
    QTest::newRow("decimal") << QStringList({ "read", "M1", "5.0" }) << 2 << badCounter.arg("5.0");
    const QString badDate = QStringLiteral("kelvara-cli: reading date \"%1\" is not a date written YYYY-MM-DD\n");
    QTest::newRow("impossible date") << QStringList({ "read", "--date", "2005-02-29", "M1", "1" }) << 2
                                     << badDate.arg("2005-02-29");
    QTest::newRow("short date") << QStringList({ "read", "--date", "2005-3-8", "M1", "1" }) << 2
                                << badDate.arg("2005-3-8");
    const QString usage = QStringLiteral(
        "usage: kelvara-cli [--database FILE|URI] read [--date YYYY-MM-DD] [--replace] [--rollover] [--strict] METER COUNTER\n");
    QTest::newRow("no counter") << QStringList({ "read", "M1" }) << 2 << usage;
    QTest::newRow("extra word") << QStringList({ "read", "M1", "1", "2" }) << 2 << usage;
    QTest::newRow("unknown option") << QStringList({ "read", "--force", "M1", "1" }) << 2 << usage;
    QTest::newRow("date without value") << QStringList({ "read", "M1", "1", "--date" }) << 2 << usage;
    QTest::newRow("blank meter") << QStringList({ "read", " ", "1" }) << 2 << usage;
}

// One reading stored on 2005-03-08 at 1005; a refusal changes nothing.
void TstCli::readRefusals()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QString, err);
    TestDatabase t;
    addMeters(t);
    QCOMPARE(runCli(t.path(), { "read", "--date", "2005-03-08", "M1", "1005" }).exitCode, 0);
    const QStringList before = storedRows(t);
    const Run r = runCli(t.path(), args);
    QCOMPARE(r.err, err);
    QCOMPARE(r.out, QString());
    QCOMPARE(r.exitCode, exitCode);
    QCOMPARE(storedRows(t), before);
}

void TstCli::readReplaceCorrects()
{
    TestDatabase t;
    addMeters(t);
    QCOMPARE(runCli(t.path(), { "read", "--date", "2005-03-08", "M1", "1005" }).exitCode, 0);
    QCOMPARE(runCli(t.path(), { "read", "--date", "2005-03-17", "M1", "1020" }).exitCode, 0);
    const Run r = runCli(t.path(), { "read", "--replace", "--date", "2005-03-08", "M1", "1003" });
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out, QStringLiteral("M1\t2005-03-08\t1003\t30\t17.5000\t0.0000\n"));
    QCOMPARE(storedRows(t), QStringList({ "M1 2005-03-08 1003 30 17.5000 0.0000",
                                          "M1 2005-03-17 1020 170 82.5000 8.0000" }));
}

void TstCli::readRollover()
{
    TestDatabase t;
    addMeters(t);
    t.addReading(QStringLiteral("M1"), day("2005-03-05"), 9990, 0, Currency(), Currency());
    const Run r = runCli(t.path(), { "read", "--rollover", "--date", "2005-03-12", "M1", "5" });
    // Stored as asked, and warned of as every rollover is.
    QCOMPARE(r.err, QStringLiteral("kelvara-cli: unusual reading M1 2005-03-12: consumption 140, the counter passed its maximum\n"));
    QCOMPARE(r.out, QStringLiteral("M1\t2005-03-12\t5\t140\t72.5000\t0.0000\n"));
    QCOMPARE(r.exitCode, 0);
}

void TstCli::readWithoutDatabase()
{
    TestDatabase t;
    const QString missing = t.dir() + QStringLiteral("/none.db");
    const Run r = runCli(missing, { "read", "M1", "5" });
    QCOMPARE(r.exitCode, 3);
    QCOMPARE(r.err, "kelvara-cli: no database at " + missing + "\n");
    QVERIFY(!QFile::exists(missing));
}

// The damage is told once, not by the data manager and again by the command.
void TstCli::readOnADamagedFile()
{
    if (TestDatabase::onServer())
        QSKIP("pages of a file");
    TestDatabase t;
    addMeters(t);
    const int page = t.scalar(QStringLiteral("select rootpage from sqlite_schema where name = 'Meter'")).toInt();
    const int pageSize = t.scalar(QStringLiteral("PRAGMA page_size")).toInt();
    Database::closeConnection();
    QFile f(t.path());
    QVERIFY(f.open(QIODevice::ReadWrite) && f.seek(qint64(page - 1) * pageSize));
    QVERIFY(f.write(QByteArray(pageSize, '\x5a')) == pageSize);
    f.close();
    const Run r = runCli(t.path(), { "read", "M1", "1005" });
    QCOMPARE(r.err, QStringLiteral("kelvara-cli: 数据库文件已损坏！\n"));
    QCOMPARE(r.exitCode, 3);
}

void TstCli::importStoresInDateOrder()
{
    TestDatabase t;
    addMeters(t);
    // BOM, header, CRLF, a blank line, a quoted number with comma and apostrophe, dates out of order.
    const QString file = writeFile(t, "\xEF\xBB\xBF表编号,抄表时间,当前表数\r\n"
                                      "M1,2005-03-25,1040\r\n"
                                      "M1,2005-03-08,1005\r\n"
                                      "\r\n"
                                      "\"O'B,1\" , 2005-03-08 , 1100\r\n"
                                      "m1,2005-03-17,1020\r\n");
    const Run r = runCli(t.path(), { "import", file });
    QCOMPARE(r.err, QString());
    QCOMPARE(r.out, QStringLiteral("stored 4 readings\n"));
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(storedRows(t), QStringList({ "M1 2005-03-08 1005 50 27.5000 0.0000",
                                          "M1 2005-03-17 1020 150 72.5000 8.0000",
                                          "M1 2005-03-25 1040 200 0.0000 164.0000",
                                          "O'B,1 2005-03-08 1100 100 52.5000 0.0000" }));
}

void TstCli::importBadLines_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("err");
    const QByteArray good = "M1,2005-03-08,1005\nM1,2005-03-17,1020\n";
    QTest::newRow("bad date") << good + "M1,2005-02-30,1\n"
                              << "kelvara-cli: line 3: reading date \"2005-02-30\" is not a date written YYYY-MM-DD\n";
    QTest::newRow("letters in the counter") << good + "M1,2005-03-20,1o20\n"
                                            << "kelvara-cli: line 3: counter value \"1o20\" is not a whole number "
                                               "from -2147483648 to 2147483647\n";
    QTest::newRow("two fields") << good + "M1,2005-03-20\n"
                                << "kelvara-cli: line 3: 2 fields where 3 are expected: meter number,YYYY-MM-DD,counter value\n";
    QTest::newRow("no meter number") << good + ",2005-03-20,5\n" << "kelvara-cli: line 3: no meter number\n";
    QTest::newRow("open quote") << good + "\"M1,2005-03-20,5\n" << "kelvara-cli: line 3: unbalanced double quote\n";
    QTest::newRow("not UTF-8") << good + "M\xff,2005-03-20,5\n" << "kelvara-cli: line 3: not UTF-8 text\n";
    QTest::newRow("header that is a bad line") << "M1,2005-13-08,1005\n" + good
                                               << "kelvara-cli: line 1: reading date \"2005-13-08\" is not a date written YYYY-MM-DD\n";
    QTest::newRow("unknown meter") << good + "M9,2005-03-20,5\n"
                                   << "kelvara-cli: line 3: 编号为 M9 的表不存在或没有设置执行单价！\n";
    QTest::newRow("above the maximum, reported by its line") << "M1,2005-03-20,10000\n" + good
                                                             << "kelvara-cli: line 1: 抄表数大于表的最大计数范围：9999\n";
    QTest::newRow("negative") << good + "M1,2005-03-20,-4\n" << "kelvara-cli: line 3: 抄表数不能小于零！\n";
    QTest::newRow("already read in the database") << good + "M1,2005-03-01,900\n"
                                                  << "kelvara-cli: line 3: 该表在这一天已经抄过了！\n";
    QTest::newRow("lower than the previous") << good + "M1,2005-03-09,1004\n"
                                             << "kelvara-cli: line 3: 当前表数 1004 小于上次表数 1005，"
                                                "表计数是否已归零重新计数？ (--rollover stores it as a rollover)\n";
}

// A bad line stores nothing, not even the good lines before it.
void TstCli::importBadLines()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, err);
    TestDatabase t;
    addMeters(t);
    t.addReading(QStringLiteral("M1"), day("2005-03-01"), 1000, 0, Currency(), Currency());
    const Run r = runCli(t.path(), { "import", writeFile(t, content) });
    QCOMPARE(r.err, err + "kelvara-cli: nothing stored\n");
    QCOMPARE(r.out, QString());
    QCOMPARE(r.exitCode, 1);
    QCOMPARE(t.count(QStringLiteral("TakeMeter")), 1);
}

void TstCli::importSameDateInFileOrder()
{
    TestDatabase t;
    addMeters(t);
    const QString file = writeFile(t, "M1,2005-03-17,1020\nM1,2005-03-08,1010\nM1,2005-03-08,1005\n");
    Run r = runCli(t.path(), { "import", file });
    QCOMPARE(r.err, QStringLiteral("kelvara-cli: line 3: 该表在这一天已经抄过了！\nkelvara-cli: nothing stored\n"));
    QCOMPARE(r.exitCode, 1);
    QCOMPARE(t.count(QStringLiteral("TakeMeter")), 0);

    // With --replace the later line of the date corrects the earlier one before 03-17 is computed.
    r = runCli(t.path(), { "import", "--replace", file });
    QCOMPARE(r.out, QStringLiteral("stored 3 readings\n"));
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(storedRows(t), QStringList({ "M1 2005-03-08 1005 50 27.5000 0.0000",
                                          "M1 2005-03-17 1020 150 72.5000 8.0000" }));
}

// A corrected month whose first reading now lies above the old second one is consistent as a whole.
void TstCli::importReplaceChecksTheFileAsAWhole()
{
    TestDatabase t;
    addMeters(t);
    QCOMPARE(runCli(t.path(), { "import", writeFile(t, "M1,2005-03-08,1005\nM1,2005-03-17,1020\n") }).exitCode, 0);
    const QString file = writeFile(t, "M1,2005-03-17,1040\nM1,2005-03-08,1030\n");
    const Run r = runCli(t.path(), { "import", "--replace", file });
    QCOMPARE(r.err, QString());
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(storedRows(t), QStringList({ "M1 2005-03-08 1030 300 100.0000 84.0000",
                                          "M1 2005-03-17 1040 100 0.0000 84.0000" }));
}

void TstCli::importRollover()
{
    TestDatabase t;
    addMeters(t);
    const QString file = writeFile(t, "M1,2005-03-12,5\nM1,2005-03-05,9990\nM1,2005-03-20,30\n");
    const Run r = runCli(t.path(), { "import", "--rollover", file });
    QCOMPARE(r.err, QStringLiteral("kelvara-cli: line 1: unusual reading M1 2005-03-12: consumption 140, the counter passed its maximum\n"));
    QCOMPARE(r.exitCode, 0);
    // 9990 from 1000: 89900 units, the quota used up; then 140 and 250 units beyond it.
    QCOMPARE(storedRows(t), QStringList({ "M1 2005-03-05 9990 89900 100.0000 71764.0000",
                                          "M1 2005-03-12 5 140 0.0000 116.0000",
                                          "M1 2005-03-20 30 250 0.0000 204.0000" }));
}

void TstCli::importShowsProgress()
{
    TestDatabase t;
    addMeters(t);
    QByteArray content = "meter,date,counter\n";
    const QDate start = day("2001-01-01");
    for (int i = 0; i < 1200; ++i)
        content += "M1," + start.addDays(i).toString(Qt::ISODate).toLatin1() + ',' + QByteArray::number(1000 + i) + '\n';
    const Run r = runCli(t.path(), { "import", writeFile(t, content) });
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out, QStringLiteral("stored 1200 readings\n"));
    QCOMPARE(r.err, QStringLiteral("kelvara-cli: 1000 of 1200 readings computed\n"));
    QCOMPARE(t.scalar(QStringLiteral("select sum(CurValue) from TakeMeter")).toLongLong(), 11990);
}

void TstCli::importUsage()
{
    TestDatabase t;
    const Run none = runCli(t.path(), { "import" });
    QCOMPARE(none.exitCode, 2);
    QVERIFY(none.err.startsWith("usage: kelvara-cli [--database FILE|URI] import"));
    const Run missing = runCli(t.path(), { "import", t.dir() + "/none.csv" });
    QCOMPARE(missing.exitCode, 2);
    QVERIFY2(missing.err.startsWith("kelvara-cli: cannot read " + t.dir() + "/none.csv: "), qPrintable(missing.err));
    const Run option = runCli(t.path(), { "import", "--all", writeFile(t, "") });
    QCOMPARE(option.exitCode, 2);
    const Run empty = runCli(t.path(), { "import", writeFile(t, "") });
    QCOMPARE(empty.out, QStringLiteral("stored 0 readings\n"));
    QCOMPARE(empty.exitCode, 0);
}

void TstCli::initDemoWritesReadings()
{
    TestDatabase t;
    const QString path = t.emptyDatabase();
    const Run r = runCli(path, { "init", "--demo" });
    QCOMPARE(r.err, QString());
    QCOMPARE(r.exitCode, 0);
    // A database that holds tables is left alone.
    const Run again = runCli(path, { "init" });
    QCOMPARE(again.exitCode, 1);
    QCOMPARE(again.out, QString());
    {
        QSqlDatabase db = Database::open(path, QStringLiteral("demo-check"));
        QVERIFY(scalar(db, QStringLiteral("select count(*) from TakeMeter")).toInt() >= 30 * 9);
        QCOMPARE(scalar(db, QStringLiteral("select max(TakeTime) from TakeMeter")).toString(),
                 QDate::currentDate().addDays(-1).toString(Qt::ISODate));
        QVERIFY(scalar(db, QStringLiteral("select min(TakeTime) from TakeMeter")).toString()
                > QDate::currentDate().addDays(-1).addMonths(-3).toString(Qt::ISODate));
    }
    Database::close(QStringLiteral("demo-check"));
}

// Two clerks save the same meter and date at once: the one who comes second, whose check ran
// while the first was still writing, is refused as if the first had finished long before, and one
// reading is stored.
void TstCli::secondClerkOfADateIsRefused()
{
    TestDatabase t;
    addMeters(t);
    // The first clerk has locked the meter (the database, on SQLite) and written its reading.
    QSqlDatabase first = Database::open(t.path(), QStringLiteral("first clerk"));
    execSql(first, Engine::of(first).beginTransaction());
    const QString lock = Engine::of(first).lockMeter();
    if (!lock.isEmpty())
        execSql(first, lock, { QStringLiteral("M1") });
    execSql(first, QStringLiteral("INSERT INTO TakeMeter (MeterID, TakeNumber, CurValue, Charge, QuotaCharge, TakeTime) "
                                  "VALUES ('M1', 1005, 50, 275000, 0, '2005-03-08')"));
    QProcess second;
    second.start(QStringLiteral(KELVARA_CLI), { "--database", t.path(), "read", "--date", "2005-03-08", "M1", "1006" });
    QVERIFY(second.waitForStarted());
    QVERIFY(!second.waitForFinished(700));   // it waits for the first clerk
    execSql(first, QStringLiteral("COMMIT"));
    QVERIFY(second.waitForFinished(30000));
    QCOMPARE(QString::fromUtf8(second.readAllStandardError()), QStringLiteral("该表在这一天已经抄过了！\n"));
    QCOMPARE(second.exitCode(), 1);
    first = QSqlDatabase();
    Database::close(QStringLiteral("first clerk"));
    QCOMPARE(storedRows(t), QStringList({ "M1 2005-03-08 1005 50 27.5000 0.0000" }));
}

namespace {

// Every row of every table, in key order, and the readings in the order they were typed.
QStringList everything(const QString &database)
{
    const QString name = QStringLiteral("everything");
    QStringList lines;
    {
        QSqlDatabase db = Database::open(database, name);
        const Engine &engine = Engine::of(db);
        const QList<QPair<QString, QString>> tables = {
            { "CnfgPara", "UseUnitName" }, { "Workshop", "WrokShopID" }, { "MeterSort", "MeterSortID" },
            { "Price", "PriceID" }, { "Meter", "MeterNO" }, { "TakeMeter", engine.typingOrder() },
            { "MeterExchange", "MeterID, ExchangeDate" }, { "ConfirmedPass", "MeterID, PassDate" } };
        for (const auto &[table, order] : tables) {
            QStringList columns;
            for (const ColumnDef &c : Schema::columns(table))
                columns << c.name;
            QSqlQuery q = execSql(db, QStringLiteral("select %1 from %2 order by %3").arg(columns.join(u','), table, order));
            while (q.next()) {
                QStringList values{ table };
                for (int i = 0; i < columns.size(); ++i) {
                    const QVariant v = q.value(i);
                    // A date and time, however the engine hands it over; midnight as the date alone.
                    QString shown = v.isNull() ? QStringLiteral("NULL") : v.toString();
                    if (!v.isNull() && v.metaType().id() == QMetaType::QDateTime)
                        shown = v.toDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
                    values << (shown.endsWith(QStringLiteral(" 00:00:00")) ? shown.chopped(9) : shown);
                }
                lines << values.join(u'|');
            }
        }
    }
    Database::close(name);
    return lines;
}

}

// The database goes to another engine's empty database and back: every row the same, the readings
// in their typing order, and new rows get identifiers never handed out before.
void TstCli::migrateRoundTrip()
{
    TestDatabase t;
    t.setUsingUnit(QStringLiteral("O'Neil 厂"), QStringLiteral("pw"));
    const qint64 shop = t.addWorkshop(QStringLiteral("一车间"), 2, 1);
    t.addWorkshop(QStringLiteral("甲班"), 3, shop);
    addMeters(t);
    const qint64 unused = t.addMeterSort(QStringLiteral("气表"));
    execSql(t.db(), QStringLiteral("delete from MeterSort where MeterSortID = ?"), { unused });
    // Texts with the characters a bulk copy must escape.
    execSql(t.db(), QStringLiteral("update Meter set SetupDate = '2024-06-01 08:30:00', FitPlace = ?, Type = ? "
                                   "where MeterNO = 'M1'"),
            { QStringLiteral("北墙\n第二行\r"), QStringLiteral("型\\N\t号") });
    // Typed out of date order: the copy keeps the order in which they were typed.
    for (const char *line : { "2005-03-17 M1 1020", "2005-03-08 M1 1005", "2005-03-08 O'B,1 1100", "2005-04-01 M1 1090" }) {
        const QStringList w = QString::fromUtf8(line).split(u' ');
        QCOMPARE(runCli(t.path(), { "read", "--date", w.at(0), w.at(1), w.at(2) }).exitCode, 0);
    }
    // An exchange, with the meter number typed in another case than registered.
    QCOMPARE(runCli(t.path(), { "exchange", "--date", "2005-04-05", "--note", "换表", "m1", "1100", "7" }).exitCode, 0);
    execSql(t.db(), QStringLiteral("insert into ConfirmedPass (MeterID, PassDate, PassValue, PassFrom, PassFromDay) "
                                   "values ('M1', '2005-03-17', 5, 9990, '2005-03-08')"));
    const QStringList original = everything(t.path());
    QCOMPARE(original.filter(QStringLiteral("MeterExchange|M1|2005-04-05|1100|")).size(), 1);
    QCOMPARE(original.filter(QStringLiteral("ConfirmedPass|M1|2005-03-17|5|9990|2005-03-08")).size(), 1);
    QCOMPARE(original.filter(QStringLiteral("TakeMeter|")).size(), 4);
    QVERIFY(original.filter(QStringLiteral("TakeMeter|")).first().startsWith(QStringLiteral("TakeMeter|M1|1020|")));

    // Into a new file, and from there into an empty database of the test's engine.
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("copy.db"));
    Run r = runCli(QStringList{ "--database", t.path(), "migrate", "--to", file });
    QCOMPARE(r.err, QString());
    QCOMPARE(r.exitCode, 0);
    QVERIFY2(r.out.contains(QStringLiteral("  TakeMeter: 4 rows, TakeNumber=4215, CurValue=1000, Charge=2525000, "
                                           "QuotaCharge=4120000\n")),
             qPrintable(r.out));
    QCOMPARE(everything(file), original);
    const QString back = t.emptyDatabase();
    r = runCli(QStringList{ "migrate", "--from", file, "--to", back });
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(everything(back), original);

    // A database that holds tables, or a file that exists, is not written to.
    r = runCli(QStringList{ "migrate", "--from", file, "--to", back });
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.endsWith(QStringLiteral("kelvara-cli: nothing copied\n")), qPrintable(r.err));
    r = runCli(QStringList{ "migrate", "--from", back, "--to", file });
    QCOMPARE(r.exitCode, 1);
    QCOMPARE(everything(back), original);

    // The copy goes on from the identifiers the original handed out, the deleted one included,
    // and stores readings as the original does.
    Database::setPath(back);
    QCOMPARE(t.addMeterSort(QStringLiteral("水表二")), unused + 1);
    QCOMPARE(t.addWorkshop(QStringLiteral("二车间"), 2, 1), shop + 2);
    r = runCli(back, { "read", "--date", "2005-03-20", "M1", "1030" });
    QCOMPARE(r.out, QStringLiteral("M1\t2005-03-20\t1030\t100\t0.0000\t84.0000\n"));
    Database::setPath(t.path());
}

// A database of the previous version moved to a new file: a pass stored there goes back to its
// reading when a reading typed before it by mistake is corrected, as in the database it came from.
void TstCli::migrateFromThePreviousVersionKeepsItsPasses()
{
    TestDatabase t;
    addMeters(t);
    QCOMPARE(runCli(t.path(), { "read", "--date", "2005-03-01", "M1", "9990" }).exitCode, 0);
    QCOMPARE(runCli(t.path(), { "read", "--rollover", "--date", "2005-03-20", "M1", "4" }).exitCode, 0);
    t.makePreviousVersion();
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("copy.db"));
    QCOMPARE(runCli(QStringList{ "--database", t.path(), "migrate", "--to", file }).exitCode, 0);

    QCOMPARE(runCli(file, { "read", "--rollover", "--date", "2005-03-10", "M1", "3" }).exitCode, 0);
    const Run r = runCli(file, { "read", "--replace", "--date", "2005-03-10", "M1", "9995" });
    QCOMPARE(r.err, QString());
    QCOMPARE(r.exitCode, 0);
}

// Set up as the README shows, the database belongs to a role of its own that is no superuser:
// moving a file there says what was copied and nothing about tables that are not Kelvara's.
void TstCli::migrateAsTheDatabaseOwnerIsQuiet()
{
    if (!TestDatabase::onServer())
        QSKIP("a server's roles");
    TestDatabase t;
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("office.db"));
    QCOMPARE(runCli(file, { "init", "--demo" }).exitCode, 0);
    const QString target = t.emptyDatabase();
    const QString schema = QRegularExpression(QStringLiteral("search_path=(\\w+)")).match(target).captured(1);
    QVERIFY(!schema.isEmpty());
    execSql(t.db(), QStringLiteral("CREATE ROLE kelvara_owner LOGIN"));
    execSql(t.db(), QStringLiteral("GRANT USAGE, CREATE ON SCHEMA %1 TO kelvara_owner").arg(schema));
    QString asOwner = target;
    asOwner.replace(QRegularExpression(QStringLiteral("user=\\S+")), QStringLiteral("user=kelvara_owner"));
    const Run r = runCli({ "--database", file, "migrate", "--to", asOwner });
    execSql(t.db(), QStringLiteral("DROP OWNED BY kelvara_owner CASCADE"));
    execSql(t.db(), QStringLiteral("DROP ROLE kelvara_owner"));
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.err, QString());
}

// An address that reaches a database without Kelvara's tables (a misspelt name, a database not
// yet filled by init) is told as such, as a file of another program is, not with the server's
// words about a missing relation.
void TstCli::databaseWithoutTheTablesIsNamed()
{
    if (!TestDatabase::onServer())
        QSKIP("a server's database");
    TestDatabase t;
    const QString empty = t.emptyDatabase();
    for (const QStringList &args : { QStringList{ "read", "--date", "2024-01-02", "M1", "5" },
                                     QStringList{ "report", "summary", "--from", "2024-01-01", "--to", "2024-01-31" } }) {
        const Run r = runCli(empty, args);
        QCOMPARE(r.exitCode, 3);
        QVERIFY2(!r.err.contains(QStringLiteral("ERROR:")) && !r.err.contains(QStringLiteral("relation")), qPrintable(r.err));
    }
}

// A program killed while it wrote left its log beside the database. Copied over the database, a
// backup would get that log replayed onto it; restore keeps the database with its log first and
// installs exactly the backup.
void TstCli::restoreOverAStaleLog()
{
    if (TestDatabase::onServer())
        QSKIP("a file's log and copies");
    TestDatabase t;
    addMeters(t);
    addReadings(t, QDate(2001, 1, 1), 20);
    const QString backup = t.dir() + QStringLiteral("/MDB/backup/Kelvara-daily-20010121-080000.db");
    QVERIFY(keptCopy(t, backup));
    addReadings(t, QDate(2002, 1, 1), 3000);
    Database::closeConnection();
    const pid_t child = ::fork();
    if (child == 0) {
        try {
            QSqlDatabase killed = Database::open(t.path(), QStringLiteral("killed"));
            execSql(killed, QStringLiteral("PRAGMA wal_autocheckpoint = 0"));
            execSql(killed, QStringLiteral("BEGIN"));
            for (int i = 0; i < 2000; ++i)
                execSql(killed, QStringLiteral("INSERT INTO TakeMeter VALUES ('O''B,1', 1, 1, 0, 0, ?, NULL)"),
                        { QDate(2010, 1, 1).addDays(i).toString(Qt::ISODate) });
            execSql(killed, QStringLiteral("COMMIT"));
        } catch (...) {
            ::_exit(1);
        }
        ::_exit(0);   // as if killed: neither checkpoint nor close
    }
    int status = 0;
    QVERIFY(::waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0);
    QVERIFY(QFile(t.path() + QStringLiteral("-wal")).size() > 0);

    const Run r = runCli(t.path(), { "restore", backup });
    QCOMPARE(r.err, QString());
    QCOMPARE(r.exitCode, 0);
    const QStringList lines = r.out.split(u'\n');
    QCOMPARE(lines.value(0), "restored " + t.path() + " from " + backup);
    const QString kept = lines.value(1).section(QStringLiteral("the database as it was: "), 1);
    QVERIFY2(QFileInfo(kept).fileName().startsWith(QStringLiteral("Kelvara-before-restore-")), qPrintable(r.out));
    QVERIFY(!QFile::exists(t.path() + QStringLiteral("-wal")));
    QVERIFY(!QFile::exists(t.path() + QStringLiteral("-shm")));
    QCOMPARE(QFile::permissions(t.path()) & ~(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser
                                               | QFileDevice::WriteUser),
             QFileDevice::Permissions());
    QCOMPARE(readingsAndCheck(t.path()), QStringLiteral("20 ok"));
    // The database as it was, with the killed program's readings from its log.
    QCOMPARE(readingsAndCheck(kept), QStringLiteral("5020 ok"));
}

void TstCli::restoreRefusals_data()
{
    QTest::addColumn<QString>("setting");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("err");   // @db: the database, @backup: the backup; ending in "…": a prefix
    QTest::newRow("database open in a program") << "open" << 1
        << "kelvara-cli: @db is open in another program; close every Kelvara program and try again. Nothing was changed\n";
    QTest::newRow("damaged backup") << "damaged" << 1 << "kelvara-cli: @backup is damaged (…";
    QTest::newRow("backup cut short") << "truncated" << 1 << "kelvara-cli: @backup is damaged (…";
    QTest::newRow("another program's file as backup") << "foreign backup" << 1
                                                      << "kelvara-cli: 不是 Kelvara 的数据库文件：@backup\n";
    QTest::newRow("no such backup") << "missing" << 2 << "kelvara-cli: cannot read @backup: no such file\n";
    QTest::newRow("backup not named") << "unnamed" << 2 << "usage: kelvara-cli [--database FILE] restore BACKUP\n";
    QTest::newRow("another program's file at the database's place") << "foreign database" << 3
                                                                    << "kelvara-cli: 不是 Kelvara 的数据库文件：@db\n";
}

// A refused restore changes nothing: neither the database nor the backup folder.
void TstCli::restoreRefusals()
{
    QFETCH(QString, setting);
    QFETCH(int, exitCode);
    QFETCH(QString, err);
    if (TestDatabase::onServer())
        QSKIP("a file's log and copies");
    TestDatabase t;
    addMeters(t);
    addReadings(t, QDate(2001, 1, 1), 3000);
    const QString backup = t.dir() + QStringLiteral("/MDB/backup/Kelvara-daily-20010121-080000.db");
    QVERIFY(keptCopy(t, backup));
    Database::closeConnection();
    if (setting == u"damaged" || setting == u"foreign backup" || setting == u"foreign database") {
        QFile f(setting == u"foreign database" ? t.path() : backup);
        QVERIFY(f.open(QIODevice::ReadWrite));
        if (setting == u"damaged")
            f.seek(8 * 4096);
        else
            f.resize(0);
        f.write(QByteArray(20 * 4096, '\x5a'));
        f.close();
    } else if (setting == u"truncated") {
        // A copy cut short, as by a full disk or an interrupted transfer: its first pages only.
        QFile f(backup);
        QVERIFY(f.resize(4 * 4096));
    } else if (setting == u"missing") {
        QVERIFY(QFile::remove(backup));
    }
    const QByteArray before = digest(t.path());
    const QStringList folder = QDir(t.dir() + QStringLiteral("/MDB")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    const QStringList backups = QDir(t.dir() + QStringLiteral("/MDB/backup")).entryList(QDir::Files);
    // Opened after the checksum: reading the file through a descriptor of its own would drop
    // this process's locks on it.
    if (setting == u"open")
        QCOMPARE(t.count(QStringLiteral("Meter")), 2);

    const Run r = runCli(t.path(), setting == u"unnamed" ? QStringList{ "restore" } : QStringList{ "restore", backup });
    Database::closeConnection();
    err.replace(QStringLiteral("@db"), t.path()).replace(QStringLiteral("@backup"), backup);
    if (err.endsWith(u'…'))
        QVERIFY2(r.err.startsWith(err.chopped(1)), qPrintable(r.err));
    else
        QCOMPARE(r.err, err);
    QCOMPARE(r.exitCode, exitCode);
    QCOMPARE(r.out, QString());
    QCOMPARE(digest(t.path()), before);
    QCOMPARE(QDir(t.dir() + QStringLiteral("/MDB")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), folder);
    QCOMPARE(QDir(t.dir() + QStringLiteral("/MDB/backup")).entryList(QDir::Files), backups);
}

// An exchange entered after the reading that followed it, corrected, refused and deleted.
void TstCli::exchange()
{
    TestDatabase t;
    addMeters(t);
    const auto run = [&](const QStringList &args, int exitCode, const QString &out, const QString &err = {}) {
        const Run r = runCli(t.path(), args);
        QCOMPARE(r.err, err);
        QCOMPARE(r.out, out);
        QCOMPARE(r.exitCode, exitCode);
    };
    run({ "read", "--date", "2005-03-01", "M1", "1100" }, 0, "M1\t2005-03-01\t1100\t1000\t100.0000\t644.0000\n");
    // The new counter's first reading, typed before the exchange: a rollover of the old counter.
    run({ "read", "--rollover", "--date", "2005-03-20", "M1", "130" }, 0,
        "M1\t2005-03-20\t130\t90290\t0.0000\t72236.0000\n",
        "kelvara-cli: unusual reading M1 2005-03-20: consumption 90290, the counter passed its maximum\n");
    // Entered now, the exchange re-prices it: 50 units on the old counter, 30 on the new one.
    run({ "exchange", "--date", "2005-03-10", "--max-bound", "5000", "--type", "LXS-20", "--note", "表盘破裂", "m1",
          "1150", "100" },
        0, "M1\t2005-03-10\t1150\t100\t5000\nM1\t2005-03-20\t130\t800\t0.0000\t644.0000\n");
    QCOMPARE(t.scalar(QStringLiteral("select BaseNumber || ' ' || MaxBound || ' ' || Type || ' ' || substr(CAST(SetupDate AS TEXT), 1, 10) "
                                     "from Meter where MeterNO = 'M1'")).toString(),
             QStringLiteral("100 5000 LXS-20 2005-03-10"));
    run({ "read", "--date", "2005-03-10", "M1", "1120" }, 1, {},
        QStringLiteral("表 M1 于 2005-03-10 换表，不能录入换表当天的抄表数！\n"));
    run({ "exchange", "--date", "2005-03-10", "M1", "1160", "90" }, 1, {}, QStringLiteral("表 M1 在 2005-03-10 已换过表！\n"));
    run({ "exchange", "--date", "2005-03-10", "--replace", "M1", "1160", "90" }, 0,
        "M1\t2005-03-10\t1160\t90\t5000\nM1\t2005-03-20\t130\t1000\t0.0000\t804.0000\n");
    run({ "exchange", "--delete", "--date", "2005-03-10", "M1" }, 1, {},
        QStringLiteral("表 M1 在 2005-03-10 换表以后已有抄表记录，不能删除这次换表！\n"));
    run({ "exchange", "--date", "2005-03-25", "M1", "120", "0" }, 1, {},
        QStringLiteral("当前表数 120 小于上次表数 130，表计数是否已归零重新计数？ (--rollover stores it as a rollover)\n"));
    run({ "exchange", "--date", "2005-03-25", "M1", "12a", "0" }, 2, {},
        QStringLiteral("kelvara-cli: ") + ReadingCsv::badCounterText(QStringLiteral("12a")) + u'\n');
    run({ "exchange", "--max-bound", "0", "M1", "1", "0" }, 2, {},
        QStringLiteral("kelvara-cli: --max-bound needs a whole number above 0, not \"0\"\n"));
    run({ "exchange", "--date", "2005-03-25", "M1", "140", "0" }, 0, "M1\t2005-03-25\t140\t0\t5000\n");
    run({ "exchange", "--delete", "--date", "2005-03-25", "M1" }, 0, "deleted the exchange of M1 on 2005-03-25\n");
    QCOMPARE(t.scalar(QStringLiteral("select BaseNumber || ' ' || MaxBound || ' ' || Type from Meter where MeterNO = 'M1'"))
                 .toString(),
             QStringLiteral("90 5000 LXS-20"));
}

// Readings unlike the meter's usual consumption: warned of, refused with --strict, listed by the report.
void TstCli::unusualReadings()
{
    TestDatabase t;
    addMeters(t);
    execSql(t.db(), QStringLiteral("update Meter set Multiple = 1"));
    // 100 units every ten days: 10 a day.
    const Run history = runCli(t.path(), { "import", writeFile(t, "M1,2005-01-01,1000\nM1,2005-01-11,1100\n"
                                                                   "M1,2005-01-21,1200\nM1,2005-01-31,1300\n") });
    QCOMPARE(history.err, QString());
    const QString high = QStringLiteral("unusual reading M1 2005-02-10: consumption 400, usual 10 a day");
    Run r = runCli(t.path(), { "read", "--strict", "--date", "2005-02-10", "M1", "1700" });
    QCOMPARE(r.err, "kelvara-cli: " + high + "\nkelvara-cli: not stored (--strict)\n");
    QCOMPARE(r.exitCode, 1);
    QCOMPARE(t.count(QStringLiteral("TakeMeter")), 4);
    r = runCli(t.path(), { "read", "--date", "2005-02-10", "M1", "1700" });
    QCOMPARE(r.err, "kelvara-cli: " + high + "\n");
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(t.count(QStringLiteral("TakeMeter")), 5);

    // Every unusual line of the file is listed, each measured from the lines before it.
    const QString file = writeFile(t, "M1,2005-02-20,1800\nM1,2005-03-02,1800\nM1,2005-03-12,1900\n");
    r = runCli(t.path(), { "import", "--strict", file });
    QCOMPARE(r.err, QStringLiteral("kelvara-cli: line 2: unusual reading M1 2005-03-02: consumption 0, usual 10 a day\n"
                                   "kelvara-cli: nothing stored (--strict)\n"));
    QCOMPARE(r.exitCode, 1);
    QCOMPARE(t.count(QStringLiteral("TakeMeter")), 5);
    r = runCli(t.path(), { "import", file });
    QCOMPARE(r.out, QStringLiteral("stored 3 readings\n"));
    QCOMPARE(r.err, QStringLiteral("kelvara-cli: line 2: unusual reading M1 2005-03-02: consumption 0, usual 10 a day\n"));

    // A counter that passed its maximum is unusual too: --rollover, which answers for the whole
    // file, does not let a slip to a low value past --strict.
    r = runCli(t.path(), { "import", "--strict", "--rollover", writeFile(t, "M1,2005-03-22,5\n") });
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.startsWith(QStringLiteral("kelvara-cli: line 1: ")), qPrintable(r.err));
    QVERIFY2(r.err.endsWith(QStringLiteral("kelvara-cli: nothing stored (--strict)\n")), qPrintable(r.err));
    QCOMPARE(t.count(QStringLiteral("TakeMeter")), 8);

    // A meter number a spreadsheet would take as a formula is written as text.
    execSql(t.db(), QStringLiteral("update Meter set MeterNO = '=M1' where MeterNO = 'M1'"));
    r = runCli(t.path(), { "report", "unusual", "--from", "2005-02-01", "--to", "2005-03-31", "--format", "csv" });
    QCOMPARE(r.err, QString());
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out, QStringLiteral("表编号,抄表时间,当前表数,使用数量,间隔天数,日均,近期日均,说明\r\n"
                                   "'=M1,2005-02-10,1700,400,10,40,10,超过三倍\r\n"
                                   "'=M1,2005-03-02,1800,0,10,0,10,为零\r\n"));
    r = runCli(t.path(), { "report", "unusual", "--from", "2005-02-01", "--to", "2005-03-31", "--format", "pdf" });
    QCOMPARE(r.exitCode, 2);
}

// The backup's copy is synced before it replaces the database; when the disk reports that it
// could not write the copy (fsync fails), the database stays as it was and the restore says so.
// strace makes the first fsync fail.
void TstCli::restoreStopsWhenTheCopyIsNotOnDisk()
{
    if (TestDatabase::onServer())
        QSKIP("a file's copies and restore");
    const QStringList strace{ "strace", "-f", "-o", "/dev/null", "-e", "trace=fsync", "-e",
                              "inject=fsync:error=EIO:when=1" };
    if (QProcess::execute(strace.first(), strace.mid(1) + QStringList{ "true" }) != 0)
        QSKIP("strace cannot inject faults here");
    TestDatabase t;
    addMeters(t);
    addReadings(t, QDate(2001, 1, 1), 20);
    const QString backup = t.dir() + QStringLiteral("/MDB/backup/Kelvara-daily-20010121-080000.db");
    QVERIFY(keptCopy(t, backup));
    addReadings(t, QDate(2002, 1, 1), 30);
    Database::closeConnection();
    const QByteArray before = digest(t.path());

    const Run r = runCli({ "--database", t.path(), "restore", backup }, strace);
    QCOMPARE(r.exitCode, 3);
    QCOMPARE(digest(t.path()), before);
}

// Restore run by the administrator (root) on a clerk's database: the restored file and the
// backup folder stay the clerk's, or the clerk's program can no longer open its database.
void TstCli::restoreKeepsTheOwner()
{
    if (TestDatabase::onServer())
        QSKIP("a file's copies and restore");
    if (::geteuid() != 0)
        QSKIP("only root can give files to another user");
    TestDatabase t;
    addMeters(t);
    addReadings(t, QDate(2001, 1, 1), 20);
    const QString backup = t.dir() + QStringLiteral("/copy.db");
    QVERIFY(keptCopy(t, backup));
    Database::closeConnection();
    const QString folder = QFileInfo(t.path()).absolutePath();
    for (const QString &file : { folder, t.path() })
        QCOMPARE(::chown(QFile::encodeName(file).constData(), 65534, 65534), 0);

    const Run r = runCli({ "--database", t.path(), "restore", backup });
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(QFileInfo(t.path()).ownerId(), 65534u);
    QCOMPARE(QFileInfo(folder + QStringLiteral("/backup")).ownerId(), 65534u);
}

// A program started while a restore runs waits for the database; its daily copy must then be of
// the restored database, not of the file the restore has just replaced (which a damaged copy
// would even get the restored database marked damaged for).
void TstCli::dailyCopyDuringARestore()
{
    if (TestDatabase::onServer())
        QSKIP("a file's copies and restore");
    TestDatabase t;
    addMeters(t);
    addReadings(t, QDate(2001, 1, 1), 20);
    const QString backup = t.dir() + QStringLiteral("/copy.db");
    QVERIFY(keptCopy(t, backup));
    addReadings(t, QDate(1800, 1, 1), 70000);   // the database as it is takes a moment to keep
    Database::closeConnection();

    QProcess restore;
    restore.start(QStringLiteral(KELVARA_CLI), { "--database", t.path(), "restore", backup });
    // The restore holds the database while it keeps it in the backup folder.
    const QString folder = AutoBackup::folderFor(t.path());
    QElapsedTimer timer;
    timer.start();
    while (QDir(folder).entryList({ QStringLiteral("*-before-restore-*kelvara-part") }, QDir::Files).isEmpty()
           && restore.state() != QProcess::NotRunning && timer.elapsed() < 30000)
        QThread::usleep(200);
    const AutoBackup::Result copy = AutoBackup::run(t.path(), QDateTime(QDate(2026, 3, 2), QTime(9, 0)));
    QVERIFY(restore.waitForFinished(60000));
    QCOMPARE(restore.exitCode(), 0);
    QCOMPARE(readingsAndCheck(t.path()), QStringLiteral("20 ok"));
    QCOMPARE(readingsAndCheck(copy.written), QStringLiteral("20 ok"));
}

// Two administrators filling the same empty database at once: one creates the tables, the other
// is told the database holds them, never with the server's words about a duplicate key.
void TstCli::initRacingInitIsRefusedPlainly()
{
    if (!TestDatabase::onServer())
        QSKIP("a server's database");
    TestDatabase t;
    const QString empty = t.emptyDatabase();
    QList<QProcess *> inits;
    for (int i = 0; i < 4; ++i) {
        inits << new QProcess(this);
        inits.last()->start(QStringLiteral(KELVARA_CLI), { "--database", empty, "init" });
    }
    int created = 0;
    for (QProcess *init : std::as_const(inits)) {
        QVERIFY(init->waitForFinished(60000));
        const QString err = QString::fromUtf8(init->readAllStandardError());
        created += init->exitCode() == 0;
        // Refused as an init of a database that held the tables already is.
        QVERIFY2(init->exitCode() == 0 || (init->exitCode() == 1 && err.contains(QStringLiteral("holds tables"))),
                 qPrintable(err));
    }
    QCOMPARE(created, 1);
}

QTEST_GUILESS_MAIN(TstCli)
#include "tst_cli.moc"
