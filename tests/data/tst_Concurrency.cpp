// Eight clerks save readings at once, each in a process of its own, on the same meters and dates,
// back-dated ones among them; three are killed midway. Every reading a clerk was told is stored
// is stored, one reading per meter and date, and every meter's figures equal typing its stored
// readings in date order.
#include "Database.h"
#include "ReadingStore.h"
#include "TestDatabase.h"
#include "UCommon.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QSqlQuery>
#include <QtTest>

#include <cstdio>

namespace {

constexpr int clerks = 8;
constexpr int savesPerClerk = 200;
constexpr int meters = 10;
constexpr int days = 60;
const QDate firstDay(2005, 3, 1);

QString meterNo(int i)
{
    return QStringLiteral("M%1").arg(i + 1, 2, 10, QLatin1Char('0'));
}

// Counter values grow with the date, so any set of readings of a meter is a valid history
// whatever order they are saved in.
int counterOf(int meter, int day)
{
    return 1000 + day * 37 + meter * 3;
}

void addMeters(TestDatabase &t)
{
    const qint64 sort = t.addMeterSort(QStringLiteral("电表"));
    const qint64 price = t.addPrice(QStringLiteral("生产用电"), yuan("0.65"), yuan("0.98"), sort);
    for (int i = 0; i < meters; ++i) {
        MeterSpec m;
        m.number = meterNo(i);
        m.sort = sort;
        m.price = price;
        m.multiple = 1 + i % 3;
        m.baseNumber = 1000;
        m.maxBound = 99999;
        m.subjoin = i % 2 ? 5 : 0;
        m.quota = yuan("300");
        t.addMeter(m);
    }
}

QStringList figures(const TestDatabase &t)
{
    QStringList rows;
    QSqlQuery q = execSql(t.db(), QStringLiteral("select MeterID, TakeTime, TakeNumber, CurValue, Charge, QuotaCharge "
                                                 "from TakeMeter order by MeterID, TakeTime"));
    while (q.next()) {
        QStringList row;
        for (int i = 0; i < 6; ++i)
            row << q.value(i).toString();
        rows << row.join(u' ');
    }
    return rows;
}

// One clerk: saves readings of random meters and dates and prints each one stored, at once.
int clerk(const QString &database, quint32 start)
{
    Database::setPath(database);
    SetMessageSink([](const QString &) {});
    TKelvaraMg manager;
    ReadingStore store(manager);
    QRandomGenerator random(start);
    for (int n = 0; n < savesPerClerk; ++n) {
        const int meter = int(random.bounded(meters));
        const int day = int(random.bounded(days));
        try {
            if (store.store(meterNo(meter), counterOf(meter, day), firstDay.addDays(day)))
                std::printf("stored %s %d\n", qPrintable(meterNo(meter)), day);
            else
                std::printf("refused %s %d\n", qPrintable(meterNo(meter)), day);
        } catch (const DatabaseError &e) {
            std::printf("failed %s\n", qPrintable(e.text().simplified()));
        }
        std::fflush(stdout);
    }
    return 0;
}

}

class TstConcurrency : public QObject
{
    Q_OBJECT
private slots:
    void clerksSavingAtOnce();
};

void TstConcurrency::clerksSavingAtOnce()
{
    TestDatabase t;
    addMeters(t);
    QList<QProcess *> running;
    QList<QByteArray> printed(clerks);
    for (int c = 0; c < clerks; ++c) {
        auto *p = new QProcess(this);
        p->start(QCoreApplication::applicationFilePath(), { QStringLiteral("--clerk"), t.path(), QString::number(c + 1) });
        QVERIFY(p->waitForStarted());
        running << p;
    }
    // Clerks 2, 5 and 8 are killed once they have saved a few readings, whatever they are doing.
    const QList<int> killed = { 1, 4, 7 };
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        bool busy = false;
        for (int c = 0; c < clerks; ++c) {
            QProcess *p = running.at(c);
            printed[c] += p->readAllStandardOutput();
            if (p->state() == QProcess::NotRunning)
                continue;
            busy = true;
            if (killed.contains(c) && printed.at(c).count('\n') >= 15 + 10 * c)
                p->kill();
        }
        if (!busy)
            break;
        QVERIFY2(clock.elapsed() < 240000, "the clerks did not finish");
        QTest::qWait(20);
    }
    for (int c = 0; c < clerks; ++c)
        printed[c] += running.at(c)->readAllStandardOutput();

    // Every reading a clerk was told is stored, with its counter value; nothing else went wrong.
    QSet<QString> told;
    int refused = 0;
    for (int c = 0; c < clerks; ++c) {
        if (!killed.contains(c)) {
            QCOMPARE(running.at(c)->exitStatus(), QProcess::NormalExit);
            QCOMPARE(printed.at(c).count('\n'), savesPerClerk);
        }
        for (const QByteArray &line : printed.at(c).split('\n')) {
            const QList<QByteArray> words = line.split(' ');
            if (words.first() == "failed")
                QFAIL(line.constData());
            if (words.first() == "refused")
                ++refused;
            if (words.first() != "stored" || words.size() != 3)
                continue;
            const int meter = words.at(1).mid(1).toInt() - 1;
            const int day = words.at(2).toInt();
            QVERIFY2(!told.contains(QString::fromLatin1(line)), line.constData());   // one reading per meter and date
            told.insert(QString::fromLatin1(line));
            QCOMPARE(t.scalar(QStringLiteral("select TakeNumber from TakeMeter where MeterID = ? and TakeTime = ?"),
                              { meterNo(meter), firstDay.addDays(day).toString(Qt::ISODate) })
                         .toInt(),
                     counterOf(meter, day));
        }
    }
    QVERIFY(told.size() > 200);
    QVERIFY(refused > 0);   // the clerks met on the same meters and dates

    // The stored figures are those of a replay in date order.
    const QStringList stored = figures(t);
    QVERIFY(stored.size() >= told.size());
    TestDatabase fresh;
    addMeters(fresh);
    TKelvaraMg manager;
    ReadingStore store(manager);
    for (const QString &row : stored) {
        const QStringList f = row.split(u' ');
        QVERIFY(store.store(f.at(0), f.at(2).toInt(), QDate::fromString(f.at(1), Qt::ISODate)));
    }
    QCOMPARE(figures(fresh), stored);
}

int main(int argc, char *argv[])
{
    if (argc == 4 && qstrcmp(argv[1], "--clerk") == 0) {
        QCoreApplication app(argc, argv);
        return clerk(QString::fromLocal8Bit(argv[2]), quint32(QByteArray(argv[3]).toUInt()));
    }
    QCoreApplication app(argc, argv);
    TstConcurrency test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_Concurrency.moc"
