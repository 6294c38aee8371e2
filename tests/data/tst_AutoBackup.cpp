// The daily copy: when it is due, what it holds, how many are kept, and that the program's own
// writes go on while it runs.
#include "AutoBackup.h"
#include "Database.h"
#include "TestDatabase.h"

#include <QDir>
#include <QFile>
#include <QtTest>

#include <thread>

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
    const QString written = AutoBackup::run(t.path(), now);
    QCOMPARE(QFileInfo(written).fileName(), QFileInfo(t.path()).completeBaseName() + "-daily-20260302-093005.db");
    QCOMPARE(QFileInfo(written).absolutePath(), QFileInfo(t.path()).absolutePath() + "/backup");
    QCOMPARE(readingsIn(written), 40);
    QCOMPARE(QFile::permissions(written) & (QFileDevice::ReadGroup | QFileDevice::ReadOther), QFileDevice::Permissions());
    // The same day again: nothing more is copied.
    QCOMPARE(AutoBackup::run(t.path(), now.addSecs(3600)), QString());
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

    const QString written = AutoBackup::run(t.path(), first.addDays(40));
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
    QVERIFY(!QFile::exists(destination));
    QVERIFY(!QFile::exists(destination + QStringLiteral(".part")));

    // The worker makes a due copy on its own thread.
    BackupWorker worker(t.path());
    worker.wait();
    QVERIFY2(worker.failure().isEmpty(), qPrintable(worker.failure()));
    QCOMPARE(readingsIn(worker.written()), 100);
}

QTEST_GUILESS_MAIN(TstAutoBackup)
#include "tst_AutoBackup.moc"
