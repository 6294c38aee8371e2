// Storing readings without a window, and the demonstration readings written through it.
#include "Database.h"
#include "DemoData.h"
#include "ReadingStore.h"
#include "TestDatabase.h"
#include "UCommon.h"

#include <QSqlQuery>
#include <QtTest>

namespace {

QDate day(const char *iso)
{
    return QDate::fromString(QString::fromLatin1(iso), Qt::ISODate);
}

// The example meter: price 0.5, excess 0.8, base 1000, maximum 9999, quota 100, additional
// quantity 5, multiplier 10.
void addExampleMeter(TestDatabase &t, const QString &number)
{
    const qint64 sort = t.addMeterSort(QStringLiteral("水表"));
    MeterSpec m;
    m.number = number;
    m.sort = sort;
    m.price = t.addPrice(QStringLiteral("生产用水"), yuan("0.5"), yuan("0.8"), sort);
    m.multiple = 10;
    m.baseNumber = 1000;
    m.maxBound = 9999;
    m.subjoin = 5;
    m.quota = yuan("100");
    t.addMeter(m);
}

// Every TakeMeter row, one text per row: MeterID TakeTime TakeNumber CurValue Charge QuotaCharge InputDate.
QStringList storedRows(const TestDatabase &t)
{
    QStringList rows;
    QSqlQuery q = execSql(t.db(), QStringLiteral(
        "select MeterID, TakeTime, TakeNumber, CurValue, Charge, QuotaCharge, InputDate "
        "from TakeMeter order by MeterID, TakeTime"));
    while (q.next())
        rows << QStringList({ q.value(0).toString(), q.value(1).toString(), q.value(2).toString(),
                              q.value(3).toString(),
                              Currency::fromUnits(q.value(4).toLongLong()).toString(),
                              Currency::fromUnits(q.value(5).toLongLong()).toString(), q.value(6).toString() })
                    .join(u' ');
    return rows;
}

}

class TstReadingStore : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void workedExampleRows();
    void registeredSpellingIsStored();
    void unknownMeter_data();
    void unknownMeter();
    void secondReadingOfADate();
    void correctionOfTheFirstReadingOfAMonth();
    void refusedCorrectionKeepsTheStoredRow_data();
    void refusedCorrectionKeepsTheStoredRow();
    void writeJoinsTheCallersTransaction();
    void demonstrationReadings();

private:
    QStringList shown;
};

void TstReadingStore::init()
{
    shown.clear();
    SetMessageSink([this](const QString &text) { shown << text; });
}

void TstReadingStore::cleanup()
{
    SetMessageSink({});
}

void TstReadingStore::workedExampleRows()
{
    TestDatabase t;
    addExampleMeter(t, QStringLiteral("M1"));
    TKelvaraMg mg;
    ReadingStore store(mg);
    store.setInputDate(day("2005-04-01"));
    QVERIFY(store.store(QStringLiteral("M1"), 1005, day("2005-03-08")));
    QVERIFY(store.store(QStringLiteral("M1"), 1020, day("2005-03-17")));
    const auto third = store.store(QStringLiteral("M1"), 1040, day("2005-03-25"));
    QVERIFY(third);
    QCOMPARE(third->CurValue, 200);
    QCOMPARE(third->QuotaCharge, yuan("164"));
    QVERIFY(!third->replaced);
    QCOMPARE(storedRows(t), QStringList({
                                "M1 2005-03-08 1005 50 27.5000 0.0000 2005-04-01",
                                "M1 2005-03-17 1020 150 72.5000 8.0000 2005-04-01",
                                "M1 2005-03-25 1040 200 0.0000 164.0000 2005-04-01",
                            }));
    QVERIFY(shown.isEmpty());
}

void TstReadingStore::registeredSpellingIsStored()
{
    TestDatabase t;
    addExampleMeter(t, QStringLiteral("Ab'1"));
    TKelvaraMg mg;
    ReadingStore store(mg);
    const auto row = store.store(QStringLiteral("aB'1"), 1005, day("2005-03-08"));
    QVERIFY(row);
    QCOMPARE(row->MeterID, QStringLiteral("Ab'1"));
    QCOMPARE(t.scalar(QStringLiteral("select MeterID from TakeMeter")).toString(), QStringLiteral("Ab'1"));
}

void TstReadingStore::unknownMeter_data()
{
    QTest::addColumn<QString>("meter");
    QTest::newRow("unregistered") << "M2";
    QTest::newRow("only a prefix of a number") << "M";
    QTest::newRow("apostrophe") << "M1' or '1'='1";
}

void TstReadingStore::unknownMeter()
{
    QFETCH(QString, meter);
    TestDatabase t;
    addExampleMeter(t, QStringLiteral("M1"));
    TKelvaraMg mg;
    ReadingStore store(mg);
    QVERIFY(!store.store(meter, 1005, day("2005-03-08")));
    QCOMPARE(shown, QStringList({ "编号为 " + meter + " 的表不存在或没有设置执行单价！" }));
    QCOMPARE(t.count(QStringLiteral("TakeMeter")), 0);
}

void TstReadingStore::secondReadingOfADate()
{
    TestDatabase t;
    addExampleMeter(t, QStringLiteral("M1"));
    TKelvaraMg mg;
    ReadingStore store(mg);
    store.setInputDate(day("2005-03-08"));
    QVERIFY(store.store(QStringLiteral("M1"), 1005, day("2005-03-08")));
    const QStringList before = storedRows(t);
    QVERIFY(!store.store(QStringLiteral("m1"), 1010, day("2005-03-08")));
    QCOMPARE(shown, QStringList({ "该表在这一天已经抄过了！" }));
    QCOMPARE(storedRows(t), before);
}

// The stored value of the corrected reading and the later readings of the month play no part.
void TstReadingStore::correctionOfTheFirstReadingOfAMonth()
{
    TestDatabase t;
    addExampleMeter(t, QStringLiteral("M1"));
    TKelvaraMg mg;
    int asked = 0;
    mg.SetRolloverConfirmation([&](qint32, qint32) { ++asked; return true; });
    ReadingStore store(mg);
    store.setInputDate(day("2005-03-20"));
    QVERIFY(store.store(QStringLiteral("M1"), 1005, day("2005-03-08")));
    QVERIFY(store.store(QStringLiteral("M1"), 1020, day("2005-03-17")));
    store.setInputDate(day("2005-03-21"));
    const auto row = store.store(QStringLiteral("M1"), 1003, day("2005-03-08"), true);
    QVERIFY(row);
    QVERIFY(row->replaced);
    QCOMPARE(asked, 0);
    QCOMPARE(storedRows(t), QStringList({
                                "M1 2005-03-08 1003 30 17.5000 0.0000 2005-03-21",
                                "M1 2005-03-17 1020 150 72.5000 8.0000 2005-03-20",
                            }));
    QVERIFY(shown.isEmpty());
}

void TstReadingStore::refusedCorrectionKeepsTheStoredRow_data()
{
    QTest::addColumn<int>("counter");
    QTest::addColumn<QStringList>("messages");
    QTest::newRow("above the maximum") << 10000 << QStringList({ "抄表数大于表的最大计数范围：9999" });
    QTest::newRow("below zero") << -1 << QStringList({ "抄表数不能小于零！" });
    QTest::newRow("lower, rollover declined") << 999 << QStringList();
}

void TstReadingStore::refusedCorrectionKeepsTheStoredRow()
{
    QFETCH(int, counter);
    QFETCH(QStringList, messages);
    TestDatabase t;
    addExampleMeter(t, QStringLiteral("M1"));
    TKelvaraMg mg;
    mg.SetRolloverConfirmation([](qint32, qint32) { return false; });
    ReadingStore store(mg);
    QVERIFY(store.store(QStringLiteral("M1"), 1005, day("2005-03-08")));
    const QStringList before = storedRows(t);
    QVERIFY(!store.store(QStringLiteral("M1"), counter, day("2005-03-08"), true));
    QCOMPARE(shown, messages);
    QCOMPARE(storedRows(t), before);
}

void TstReadingStore::writeJoinsTheCallersTransaction()
{
    TestDatabase t;
    addExampleMeter(t, QStringLiteral("M1"));
    TKelvaraMg mg;
    ReadingStore store(mg);
    {
        Transaction tx(t.db());
        QVERIFY(store.write(QStringLiteral("M1"), 1005, day("2005-03-08")));
        // The second reading sees the first one, not yet committed.
        const auto second = store.write(QStringLiteral("M1"), 1020, day("2005-03-17"));
        QVERIFY(second);
        QCOMPARE(second->QuotaCharge, yuan("8"));
    }
    QCOMPARE(t.count(QStringLiteral("TakeMeter")), 0);
}

void TstReadingStore::demonstrationReadings()
{
    TestDatabase t;
    QSqlDatabase db = t.db();
    DemoData::writeMasterData(db);
    DemoData::writeReadings(day("2024-09-30"));
    QVERIFY(shown.isEmpty());

    QSqlQuery dates = execSql(db, QStringLiteral("select distinct TakeTime from TakeMeter order by TakeTime"));
    QStringList readingDates;
    while (dates.next())
        readingDates << dates.value(0).toString();
    QCOMPARE(readingDates, QStringList({ "2024-07-02", "2024-07-12", "2024-07-22", "2024-08-01", "2024-08-11",
                                         "2024-08-21", "2024-08-31", "2024-09-10", "2024-09-20", "2024-09-30" }));
    QCOMPARE(t.count(QStringLiteral("TakeMeter")), t.count(QStringLiteral("Meter")) * 10);
    QCOMPARE(t.scalar(QStringLiteral("select count(*) from TakeMeter where InputDate <> TakeTime")).toInt(), 0);

    // Each consumption follows from the counters: a difference, or a pass over the maximum.
    QSqlQuery rows = execSql(db, QStringLiteral(
        "select t.MeterID, t.TakeNumber, t.CurValue, m.BaseNumber, m.MaxBound, m.Multiple "
        "from TakeMeter t join Meter m on m.MeterNO = t.MeterID order by t.MeterID, t.TakeTime"));
    QString meter;
    qint64 previous = 0;
    QSet<QString> passedMaximum;
    while (rows.next()) {
        if (rows.value(0).toString() != meter) {
            meter = rows.value(0).toString();
            previous = rows.value(3).toLongLong();
        }
        const qint64 counter = rows.value(1).toLongLong();
        const qint64 difference = counter >= previous ? counter - previous : rows.value(4).toLongLong() - previous + counter;
        if (counter < previous)
            passedMaximum << meter;
        QCOMPARE(rows.value(2).toLongLong(), difference * rows.value(5).toLongLong());
        QVERIFY(difference > 0);
        previous = counter;
    }
    QVERIFY(passedMaximum.contains(QStringLiteral("S104")));
    QVERIFY(passedMaximum.contains(QStringLiteral("D105")));
    // Some months go beyond the quota, others stay within it.
    QVERIFY(t.scalar(QStringLiteral("select count(*) from TakeMeter where QuotaCharge > 0")).toInt() > 10);
    QVERIFY(t.scalar(QStringLiteral("select count(*) from TakeMeter t join Meter m on m.MeterNO = t.MeterID "
                                    "where m.Quota > 0 and t.QuotaCharge = 0")).toInt() > 100);
}

QTEST_GUILESS_MAIN(TstReadingStore)
#include "tst_ReadingStore.moc"
