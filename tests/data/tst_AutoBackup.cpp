// The daily copy: when it is due, what it holds, how many are kept, that the program's own
// writes go on while it runs, that copies killed midway leave nothing for long, and that a
// damaged database is copied apart and told.
#include "AutoBackup.h"
#include "Database.h"
#include "Password.h"
#include "TestDatabase.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QtTest>

#include <csignal>
#include <random>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

class TstAutoBackup : public QObject
{
    Q_OBJECT

private slots:
    void dueAfterADay_data();
    void dueAfterADay();
    void copyIsWholeAndPrivate();
    void keepsTheLatestThirty();
    void programWritesWhileCopying();
    void stoppedCopyLeavesNothing();
    void killedCopiesAreClearedAway();
    void badCopyIsToldAndKeepsTheGoodOnes_data();
    void badCopyIsToldAndKeepsTheGoodOnes();
    void noPlainPasswordInACopy();
    void copyStaysAfterTheClockWasPutBack();

private:
    static void touch(const QString &file);
    static int readingsIn(const QString &file);
};

void TstAutoBackup::touch(const QString &file)
{
    QDir().mkpath(QFileInfo(file).absolutePath());
    QFile f(file);
    QVERIFY(f.open(QIODevice::WriteOnly));
}

int TstAutoBackup::readingsIn(const QString &file)
{
    const QString name = QStringLiteral("copy");
    int count = -1;
    {
        QSqlDatabase db = Database::open(file, name);
        if (scalar(db, QStringLiteral("PRAGMA integrity_check")).toString() == u"ok")
            count = scalar(db, QStringLiteral("SELECT count(*) FROM TakeMeter")).toInt();
    }
    Database::close(name);
    return count;
}

void TstAutoBackup::dueAfterADay_data()
{
    QTest::addColumn<QStringList>("existing");
    QTest::addColumn<bool>("due");
    const QDateTime now(QDate(2026, 3, 2), QTime(9, 0));
    auto stamp = [](const QDateTime &when) { return QStringLiteral("Kelvara-daily-") + when.toString("yyyyMMdd-HHmmss") + ".db"; };
    QTest::newRow("no copy yet") << QStringList{} << true;
    QTest::newRow("copy of this morning") << QStringList{ stamp(now.addSecs(-3600)) } << false;
    QTest::newRow("copy 23 hours old") << QStringList{ stamp(now.addSecs(-23 * 3600)) } << false;
    QTest::newRow("copy a day old") << QStringList{ stamp(now.addDays(-1)) } << true;
    QTest::newRow("newest decides") << QStringList{ stamp(now.addDays(-9)), stamp(now.addSecs(-60)) } << false;
    QTest::newRow("stamp in the future") << QStringList{ stamp(now.addDays(3)) } << true;
    QTest::newRow("stamp in the future beside this morning's copy")
        << QStringList{ stamp(now.addSecs(-3600)), stamp(now.addDays(3)) } << false;
    QTest::newRow("another database's copy") << QStringList{ QStringLiteral("Other-daily-20260302-080000.db") } << true;
    QTest::newRow("copy before clearing the data") << QStringList{ QStringLiteral("Kelvara-20260302-080000.db") } << true;
    QTest::newRow("stray file") << QStringList{ QStringLiteral("Kelvara-notes.db") } << true;
}

void TstAutoBackup::dueAfterADay()
{
    QFETCH(QStringList, existing);
    QFETCH(bool, due);
    QTemporaryDir dir;
    const QString database = dir.path() + QStringLiteral("/Kelvara.db");
    for (const QString &name : existing)
        touch(dir.path() + QStringLiteral("/backup/") + name);
    QCOMPARE(AutoBackup::due(database, QDateTime(QDate(2026, 3, 2), QTime(9, 0))), due);
}

void TstAutoBackup::copyIsWholeAndPrivate()
{
    TestDatabase t;
    t.addOneMeter(40);
    const QDateTime now(QDate(2026, 3, 2), QTime(9, 30, 5));
    const QString written = AutoBackup::run(t.path(), now).written;
    QCOMPARE(QFileInfo(written).fileName(), QFileInfo(t.path()).completeBaseName() + "-daily-20260302-093005.db");
    QCOMPARE(QFileInfo(written).absolutePath(), QFileInfo(t.path()).absolutePath() + "/backup");
    QCOMPARE(readingsIn(written), 40);
    QCOMPARE(QFile::permissions(written) & (QFileDevice::ReadGroup | QFileDevice::ReadOther), QFileDevice::Permissions());
    // The same day again: nothing more is copied.
    QCOMPARE(AutoBackup::run(t.path(), now.addSecs(3600)).written, QString());
    QCOMPARE(AutoBackup::copies(t.path()).size(), 1);
}

void TstAutoBackup::keepsTheLatestThirty()
{
    TestDatabase t;
    t.addOneMeter(3);
    const QString folder = AutoBackup::folderFor(t.path());
    const QDateTime first(QDate(2026, 1, 1), QTime(8, 0));
    for (int day = 0; day < 34; ++day)
        touch(folder + u'/' + AutoBackup::copyName(t.path(), first.addDays(day)));
    touch(folder + QStringLiteral("/Other-daily-20200101-080000.db"));
    const QString beforeClearing = folder + u'/' + QFileInfo(t.path()).completeBaseName() + "-20200101-080000.db";
    touch(beforeClearing);

    const QString written = AutoBackup::run(t.path(), first.addDays(40)).written;
    const QStringList kept = AutoBackup::copies(t.path());
    QCOMPARE(kept.size(), AutoBackup::kept);
    QCOMPARE(kept.constLast(), QFileInfo(written).fileName());
    // The five oldest went; the newest old copies stay.
    QCOMPARE(kept.constFirst(), AutoBackup::copyName(t.path(), first.addDays(5)));
    QVERIFY(QFile::exists(folder + QStringLiteral("/Other-daily-20200101-080000.db")));
    QVERIFY(QFile::exists(beforeClearing));
}

void TstAutoBackup::programWritesWhileCopying()
{
    TestDatabase t;
    t.addOneMeter(20000);   // big enough that the copy takes many steps
    const int before = t.count(QStringLiteral("TakeMeter"));
    const QString destination = t.dir() + QStringLiteral("/backup/during.db");

    std::atomic<bool> copying{ true };
    QString failure;
    std::thread worker([&] {
        try {
            Database::backupFile(t.path(), destination);
        } catch (const DatabaseError &e) {
            failure = e.text();
        }
        copying = false;
    });
    // The program's commits go through while the copy runs, none waiting for it.
    int added = 0;
    while (copying || added == 0) {
        t.addReading(QStringLiteral("A1"), QDate(2060, 1, 1).addDays(added), added, 1, yuan("0.5"), yuan("0"));
        ++added;
    }
    worker.join();
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    const int copied = readingsIn(destination);
    // A consistent snapshot: all the readings of some moment, never a torn mixture.
    QVERIFY2(copied >= before && copied <= before + added, qPrintable(QString::number(copied)));
    QCOMPARE(t.count(QStringLiteral("TakeMeter")), before + added);
}

void TstAutoBackup::stoppedCopyLeavesNothing()
{
    TestDatabase t;
    t.addOneMeter(100);
    const QString destination = t.dir() + QStringLiteral("/backup/stopped.db");
    std::atomic<bool> stop{ true };
    QVERIFY_THROWS_EXCEPTION(DatabaseError, Database::backupFile(t.path(), destination, &stop));
    QCOMPARE(QDir(QFileInfo(destination).absolutePath()).entryList(QDir::Files), QStringList());

    // The worker makes a due copy on its own thread.
    BackupWorker worker(t.path());
    worker.wait();
    QVERIFY2(worker.failure().isEmpty(), qPrintable(worker.failure()));
    QCOMPARE(readingsIn(worker.written()), 100);
}

// Copies killed (SIGKILL) at random moments leave their partial files; the next copy removes
// them (the copies are named after the database, as the program's are), and a copy whose
// process still runs is left alone.
void TstAutoBackup::killedCopiesAreClearedAway()
{
    TestDatabase t;
    t.addOneMeter(60000);
    Database::closeConnection();
    const QString folder = AutoBackup::folderFor(t.path());
    auto startCopy = [&](const QString &name) {
        const pid_t child = ::fork();
        if (child == 0) {
            try {
                Database::backupFile(t.path(), folder + u'/' + name);
            } catch (...) {
                ::_exit(1);
            }
            ::_exit(0);
        }
        return child;
    };
    auto waitFor = [](pid_t child) {
        int status = 0;
        ::waitpid(child, &status, 0);
        return status;
    };
    QElapsedTimer timer;
    timer.start();
    const int whole = waitFor(startCopy(QStringLiteral("whole.db")));
    const qint64 wholeUs = std::max<qint64>(timer.nsecsElapsed() / 1000, 1000);
    QCOMPARE(whole, 0);
    QCOMPARE(readingsIn(folder + QStringLiteral("/whole.db")), 60000);

    std::mt19937 g(20260302);
    int killed = 0;
    pid_t child = 0;
    QStringList expected{ QStringLiteral("whole.db") };
    for (int i = 0; i < 6; ++i) {
        child = startCopy(QStringLiteral("Kelvara-killed-%1.db").arg(i));
        std::this_thread::sleep_for(std::chrono::microseconds(
            std::uniform_int_distribution<qint64>(wholeUs / 10, wholeUs * 8 / 10)(g)));
        ::kill(child, SIGKILL);
        if (WIFSIGNALED(waitFor(child)))
            ++killed;
    }
    // A copy that got its name before the kill came is whole.
    for (const QString &name : QDir(folder).entryList({ QStringLiteral("Kelvara-killed-*.db") }, QDir::Files)) {
        QCOMPARE(readingsIn(folder + u'/' + name), 60000);
        expected << name;
    }
    QStringList left = QDir(folder).entryList({ QStringLiteral("*.kelvara-part*") }, QDir::Files);
    qint64 leftBytes = 0;
    for (const QString &name : std::as_const(left))
        leftBytes += QFileInfo(folder + u'/' + name).size();
    qInfo("a whole copy of %lld KiB took %lld ms; after %d copies killed %lld files of %lld KiB were left",
          QFileInfo(t.path()).size() / 1024, wholeUs / 1000, killed, qint64(left.size()), leftBytes / 1024);
    QVERIFY(killed > 0);
    QVERIFY(!left.isEmpty());

    // A partial file of a process that still runs (this one) stays; a killed restore's part
    // beside the database goes too.
    const QString running = folder + QStringLiteral("/other.db.%1.kelvara-part").arg(::getpid());
    touch(running);
    const QString restorePart = t.path() + QStringLiteral(".%1.kelvara-part").arg(child);
    touch(restorePart);
    const AutoBackup::Result next = AutoBackup::run(t.path(), QDateTime(QDate(2026, 3, 2), QTime(9, 0)));
    QCOMPARE(readingsIn(next.written), 60000);
    QVERIFY(!QFile::exists(restorePart));
    left = QDir(folder).entryList(QDir::Files);
    left.sort();
    expected << QFileInfo(next.written).fileName() << QFileInfo(running).fileName();
    expected.sort();
    QCOMPARE(left, expected);
}

void TstAutoBackup::badCopyIsToldAndKeepsTheGoodOnes_data()
{
    QTest::addColumn<bool>("damaged");   // otherwise the copy cannot be written
    QTest::addColumn<bool>("rowOnly");   // a table row changed behind its indexes, every page whole
    QTest::newRow("index page of the database damaged") << true << false;
    QTest::newRow("copy cannot be written") << false << false;
    QTest::newRow("reading changed behind its indexes") << true << true;
}

// 30 good copies are there; a bad copy neither counts among them nor makes one of them go, and
// the operator is told where the latest good one is.
void TstAutoBackup::badCopyIsToldAndKeepsTheGoodOnes()
{
    QFETCH(bool, damaged);
    QFETCH(bool, rowOnly);
    TestDatabase t;
    t.addOneMeter(3000);
    const QString folder = AutoBackup::folderFor(t.path());
    const QDateTime first(QDate(2026, 1, 1), QTime(8, 0));
    for (int day = 0; day < AutoBackup::kept; ++day)
        touch(folder + u'/' + AutoBackup::copyName(t.path(), first.addDays(day)));
    const QStringList good = AutoBackup::copies(t.path());
    const QDateTime now = first.addDays(40);
    if (rowOnly) {
        // The reading of 2000-01-06 says 1000-01-06 in its row while every index still says
        // 2000-01-06: each page is well formed, but the indexes no longer match the table.
        Database::closeConnection();
        QFile f(t.path());
        QVERIFY(f.open(QIODevice::ReadWrite));
        QByteArray bytes = f.readAll();
        const int at = bytes.indexOf("2000-01-062000-01-06");   // TakeTime then InputDate: the row
        QVERIFY(at > 0);
        bytes[at] = '1';
        f.seek(0);
        f.write(bytes);
        f.close();
        {
            QSqlDatabase check = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("check"));
            check.setDatabaseName(t.path());
            QVERIFY(check.open());
            QCOMPARE(scalar(check, QStringLiteral("PRAGMA quick_check")).toString(), QStringLiteral("ok"));
            QVERIFY(scalar(check, QStringLiteral("PRAGMA integrity_check")).toString() != u"ok");
            check.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("check"));
    } else if (damaged) {
        const int page = t.scalar(QStringLiteral("select rootpage from sqlite_schema where name = 'TakeMeter_TakeTime'")).toInt();
        const int pageSize = t.scalar(QStringLiteral("PRAGMA page_size")).toInt();
        Database::closeConnection();
        QFile f(t.path());
        QVERIFY(f.open(QIODevice::ReadWrite));
        f.seek(qint64(page - 1) * pageSize);
        f.write(QByteArray(pageSize, '\x5a'));
        f.close();
    } else {
        QVERIFY(QDir().mkpath(folder + u'/' + AutoBackup::copyName(t.path(), now) + QStringLiteral("/in-the-way")));
    }

    BackupWorker worker(t.path(), now);
    worker.wait();
    const AutoBackup::Result result = worker.result();
    QCOMPARE(result.damaged, damaged);
    QCOMPARE(AutoBackup::copies(t.path()), good);
    const QString latest = QDir::toNativeSeparators(folder + u'/' + good.constLast());
    const QString remedy = QStringLiteral("\n\n最近一份完好的备份：\n") + latest
        + QStringLiteral("\n\n需要时，退出本程序后执行\nkelvara-cli restore \"") + latest + QStringLiteral("\"\n可将数据库恢复为这份备份。");
    if (damaged) {
        const QString kept = folder + u'/' + QFileInfo(t.path()).completeBaseName() + "-daily-20260210-080000-damaged.db";
        QCOMPARE(result.written, kept);
        QVERIFY(!result.problem.isEmpty());
        QCOMPARE(AutoBackup::damagedCopies(t.path()), QStringList{ QFileInfo(kept).fileName() });
        QCOMPARE(AutoBackup::notice(t.path(), result),
                 QStringLiteral("数据库文件已损坏！本程序不再向它写入。\n今天的自动备份没有通过检查，已另外保存为：\n") + kept
                     + remedy);
        // Once a day, not at every start.
        QCOMPARE(AutoBackup::run(t.path(), now.addSecs(600)).written, QString());
    } else {
        QVERIFY(result.written.isEmpty());
        QVERIFY2(result.failure.startsWith(QStringLiteral("cannot write ")), qPrintable(result.failure));
        QCOMPARE(AutoBackup::notice(t.path(), result), QStringLiteral("今天的自动备份失败：") + result.failure + remedy);
    }
    QCOMPARE(QDir(folder).entryList({ QStringLiteral("*.kelvara-part*") }, QDir::Files), QStringList());
}

// An older database keeps its password as plain text until the first login; no copy holds it.
void TstAutoBackup::noPlainPasswordInACopy()
{
    TestDatabase t;
    t.setUsingUnit(QStringLiteral("厂"), QStringLiteral("Sup3rS3cret!"));
    const QString written = AutoBackup::run(t.path(), QDateTime(QDate(2026, 3, 2), QTime(9, 0))).written;
    QFile copy(written);
    QVERIFY(copy.open(QIODevice::ReadOnly));
    QVERIFY(!copy.readAll().contains("Sup3rS3cret!"));
    copy.close();
    const QString name = QStringLiteral("copy");
    {
        QSqlDatabase db = Database::open(written, name);
        QVERIFY(PasswordMatches(QStringLiteral("Sup3rS3cret!"), scalar(db, QStringLiteral("SELECT PassWd FROM CnfgPara")).toString()));
    }
    Database::close(name);
}

// A clock that ran ahead for a while (or was put back) leaves copies stamped in the future; the
// copies made afterwards are the newest all the same and must not be the ones trimmed away.
void TstAutoBackup::copyStaysAfterTheClockWasPutBack()
{
    TestDatabase t;
    t.addOneMeter(3);
    const QString folder = AutoBackup::folderFor(t.path());
    const QDateTime ahead(QDate(2026, 9, 1), QTime(8, 0));
    for (int day = 0; day < AutoBackup::kept; ++day)
        touch(folder + u'/' + AutoBackup::copyName(t.path(), ahead.addDays(day)));
    const AutoBackup::Result result = AutoBackup::run(t.path(), QDateTime(QDate(2026, 3, 2), QTime(9, 0)));
    QVERIFY(!result.written.isEmpty());
    QVERIFY2(QFile::exists(result.written), "today's copy was removed right after it was written");
    QCOMPARE(readingsIn(result.written), 3);
}

QTEST_GUILESS_MAIN(TstAutoBackup)
#include "tst_AutoBackup.moc"
