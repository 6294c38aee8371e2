// Storing readings without a window, and the demonstration readings written through it.
#include "DataSet.h"
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
    void numbersFoundByTheirKey();
    void unknownMeter_data();
    void unknownMeter();
    void secondReadingOfADate();
    void correctionOfTheFirstReadingOfAMonth();
    void refusedCorrectionKeepsTheStoredRow_data();
    void refusedCorrectionKeepsTheStoredRow();
    void writeJoinsTheCallersTransaction();
    void demonstrationReadings();
    void laterReadingsRepriced_data();
    void laterReadingsRepriced();
    void changesEqualAReplay_data();
    void changesEqualAReplay();
    void otherMonthsKeepTheirFigures();
    void dependentReadingsAcrossGapsAndOlderRows_data();
    void dependentReadingsAcrossGapsAndOlderRows();

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

// Numbers stored with blanks by older files, or differing from the typed text in the case of a
// letter beyond ASCII, are found by their key; the manager's prefix look-up finds them alike.
void TstReadingStore::numbersFoundByTheirKey()
{
    TestDatabase t;
    addExampleMeter(t, QStringLiteral(" Z1"));
    MeterSpec other;
    other.number = QStringLiteral("Äb");
    other.sort = 1;
    other.price = 1;
    t.addMeter(other);
    TKelvaraMg mg;
    ReadingStore store(mg);
    QCOMPARE(store.registeredNumber(QStringLiteral("z1")), std::optional<QString>(QStringLiteral(" Z1")));
    QCOMPARE(store.registeredNumber(QStringLiteral("äB")), std::optional<QString>(QStringLiteral("Äb")));
    QVERIFY(store.store(QStringLiteral("Z1 "), 1005, day("2005-03-08")));
    DataSet *found = mg.FindMeterNumbers(QStringLiteral("ä"));
    QCOMPARE(found->recordCount(), 1);
    QCOMPARE(found->value(0).toString(), QStringLiteral("Äb"));
    QCOMPARE(mg.FindMeterNumbers(QStringLiteral("z"))->recordCount(), 1);
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

// The stored value of the corrected reading and the later readings of the month play no part in
// its own figures; the later reading is measured again from the corrected value.
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
                                "M1 2005-03-17 1020 170 82.5000 8.0000 2005-03-20",
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

// A change re-prices the readings that depend on it; one that would push a later ordinary reading
// below its previous value is refused with nothing changed.
void TstReadingStore::laterReadingsRepriced_data()
{
    QTest::addColumn<int>("multiple");
    QTest::addColumn<QStringList>("changes");   // "date counter", "date counter replace", "date delete"
    QTest::addColumn<QStringList>("rows");      // the meter's readings afterwards: date counter consumption
    QTest::addColumn<QString>("refusal");
    QTest::addColumn<int>("repriced");
    QTest::newRow("corrected earlier reading") << 40 << QStringList{ "05-01 3000", "05-02 3100", "05-01 3050 replace" }
                                               << QStringList{ "05-01 3050 82000", "05-02 3100 2000" } << "" << 1;
    QTest::newRow("back-dated between two") << 1 << QStringList{ "05-01 1100", "05-03 1200", "05-02 1180" }
                                            << QStringList{ "05-01 1100 100", "05-02 1180 80", "05-03 1200 20" } << ""
                                            << 1;
    QTest::newRow("middle reading deleted") << 1 << QStringList{ "05-01 1100", "05-02 1150", "05-03 1200", "05-02 delete" }
                                            << QStringList{ "05-01 1100 100", "05-03 1200 100" } << "" << 1;
    QTest::newRow("next reading in a later month") << 1 << QStringList{ "04-30 1100", "05-10 1200", "04-30 1150 replace" }
                                                   << QStringList{ "04-30 1150 150", "05-10 1200 50" } << "" << 1;
    QTest::newRow("later reading would go below") << 1 << QStringList{ "05-01 1100", "05-02 1150", "05-01 1160 replace" }
                                                  << QStringList{ "05-01 1100 100", "05-02 1150 50" }
                                                  << "表 M1 2005-05-02 的抄表数 1150 将小于上次表数 1160，不能修改！" << 0;
    QTest::newRow("rollover stays a rollover") << 1 << QStringList{ "05-01 9990", "05-02 5", "05-01 9980 replace" }
                                               << QStringList{ "05-01 9980 8980", "05-02 5 24" } << "" << 1;
    QTest::newRow("rollover no longer below") << 1 << QStringList{ "05-01 9990", "05-02 5", "05-01 3 replace" }
                                              << QStringList{ "05-01 3 9002", "05-02 5 2" } << "" << 1;
}

void TstReadingStore::laterReadingsRepriced()
{
    QFETCH(int, multiple);
    QFETCH(QStringList, changes);
    QFETCH(QStringList, rows);
    QFETCH(QString, refusal);
    QFETCH(int, repriced);
    TestDatabase t;
    addExampleMeter(t, QStringLiteral("M1"));
    execSql(t.db(), QStringLiteral("update Meter set Multiple = ?, Quota = 0"), { multiple });
    TKelvaraMg mg;
    mg.SetRolloverConfirmation([](qint32, qint32) { return true; });
    ReadingStore store(mg);
    bool refused = false;
    for (const QString &change : std::as_const(changes)) {
        const QStringList w = change.split(u' ');
        const QDate date = day(("2005-" + w.at(0)).toLatin1());
        refused = w.at(1) == u"delete" ? !store.erase(QStringLiteral("M1"), date)
                                       : !store.store(QStringLiteral("M1"), w.at(1).toInt(), date, w.size() > 2);
    }
    QCOMPARE(refused, !refusal.isEmpty());
    QCOMPARE(store.refusal(), refusal);
    QCOMPARE(store.repriced().size(), repriced);
    QStringList stored;
    QSqlQuery q = execSql(t.db(), QStringLiteral("select TakeTime, TakeNumber, CurValue from TakeMeter order by TakeTime"));
    while (q.next())
        stored << q.value(0).toString().mid(5) + u' ' + q.value(1).toString() + u' ' + q.value(2).toString();
    QCOMPARE(stored, rows);
}

void TstReadingStore::changesEqualAReplay_data()
{
    QTest::addColumn<quint32>("generator");
    for (quint32 start = 1; start <= 12; ++start)
        QTest::newRow(qPrintable(QStringLiteral("run %1").arg(start))) << start;
}

// Random new, back-dated, corrected and deleted readings of two meters, rollovers included, leave
// every stored figure as typing the final readings in date order into a fresh database gives.
void TstReadingStore::changesEqualAReplay()
{
    QFETCH(quint32, generator);
    QRandomGenerator rng(generator);
    const int multiple = QList<int>{ 1, 10, 40 }.at(rng.bounded(3));
    const auto masterData = [&](TestDatabase &t) {
        addExampleMeter(t, QStringLiteral("M1"));
        MeterSpec other;
        other.number = QStringLiteral("M2");
        other.sort = 1;
        other.price = 1;
        other.multiple = 3;
        other.maxBound = 5000;
        other.quota = yuan("30");
        t.addMeter(other);
        execSql(t.db(), QStringLiteral("update Meter set Multiple = ? where MeterNO = 'M1'"), { multiple });
    };
    const QString figures = QStringLiteral("select MeterID, TakeTime, TakeNumber, CurValue, Charge, QuotaCharge "
                                           "from TakeMeter order by TakeTime, MeterID");
    QStringList changed;
    QList<QStringList> finalReadings;
    int repriced = 0;
    {
        TestDatabase t;
        masterData(t);
        TKelvaraMg mg;
        mg.SetRolloverConfirmation([&](qint32, qint32) { return rng.bounded(3) != 0; });
        ReadingStore store(mg);
        const QDate start = day("2005-03-01");
        for (int op = 0; op < 150; ++op) {
            const QString meter = rng.bounded(3) == 0 ? QStringLiteral("M2") : QStringLiteral("M1");
            const int offset = int(rng.bounded(80));
            const QDate date = start.addDays(offset);
            if (rng.bounded(6) == 0) {
                store.erase(meter, date);
            } else {
                // Counters mostly grow with the date; now and then a slip or a counter started again.
                const int max = meter == u"M1" ? 9999 : 5000;
                int counter = 1000 + offset * 60 + int(rng.bounded(120)) - 60;
                if (rng.bounded(12) == 0)
                    counter = int(rng.bounded(max + 1));
                store.store(meter, counter % (max + 1), date, true);
            }
            repriced += int(store.repriced().size());
        }
        QSqlQuery q = execSql(t.db(), figures);
        while (q.next()) {
            QStringList row;
            for (int i = 0; i < 6; ++i)
                row << q.value(i).toString();
            finalReadings << row;
            changed << row.join(u' ');
        }
    }
    QVERIFY(repriced > 0);
    QVERIFY(finalReadings.size() > 40);

    TestDatabase fresh;
    masterData(fresh);
    TKelvaraMg mg;
    mg.SetRolloverConfirmation([](qint32, qint32) { return true; });
    ReadingStore store(mg);
    for (const QStringList &r : std::as_const(finalReadings))
        QVERIFY(store.store(r.at(0), r.at(2).toInt(), day(r.at(1).toLatin1())));
    QStringList replayed;
    QSqlQuery q = execSql(fresh.db(), figures);
    while (q.next()) {
        QStringList row;
        for (int i = 0; i < 6; ++i)
            row << q.value(i).toString();
        replayed << row.join(u' ');
    }
    QCOMPARE(changed, replayed);
}

// There is no price history: a change re-prices only the readings that depend on it, at today's
// price, and the bills of other months stay as issued.
void TstReadingStore::otherMonthsKeepTheirFigures()
{
    TestDatabase t;
    addExampleMeter(t, QStringLiteral("M1"));
    TKelvaraMg mg;
    ReadingStore store(mg);
    for (const auto &[date, counter] : { std::pair{ "2005-03-10", 1010 }, std::pair{ "2005-03-20", 1020 },
                                         std::pair{ "2005-04-10", 1030 }, std::pair{ "2005-05-10", 1040 } })
        QVERIFY(store.store(QStringLiteral("M1"), counter, day(date)));
    const QStringList before = storedRows(t);
    execSql(t.db(), QStringLiteral("update Price set PriceNumber = ?"), { yuan("2").units() });
    QVERIFY(store.store(QStringLiteral("M1"), 1008, day("2005-03-10"), true));
    const QStringList after = storedRows(t);
    QCOMPARE(store.repriced().size(), 1);
    QCOMPARE(store.repriced().constFirst().TakeTime, day("2005-03-20"));
    QVERIFY(after.at(1).contains(QStringLiteral("M1 2005-03-20 1020 120 ")));
    QCOMPARE(after.mid(2), before.mid(2));
}

void TstReadingStore::dependentReadingsAcrossGapsAndOlderRows_data()
{
    QTest::addColumn<QStringList>("before");    // "date counter"; "date null": a row of an older file without a counter
    QTest::addColumn<QString>("correction");    // "date counter", stored with replace
    QTest::addColumn<QStringList>("rows");      // afterwards: date counter consumption charge excess
    QTest::addColumn<QString>("refusal");
    // The next reading lies in the same month of the following year: its quota is that month's own.
    QTest::newRow("next reading a year later, same month")
        << QStringList{ "2005-03-10 1030", "2006-03-05 1040" } << "2005-03-10 1020"
        << QStringList{ "2005-03-10 1020 200 100.0000 4.0000", "2006-03-05 1040 200 100.0000 4.0000" } << "";
    // A row without a counter is passed over when the previous value is sought, so the reading
    // after it depends on the change.
    QTest::newRow("row without counter, then a reading that would go below")
        << QStringList{ "2005-05-01 1100", "2005-05-02 null", "2005-05-03 1200" } << "2005-05-01 1250"
        << QStringList{ "2005-05-01 1100 1000 100.0000 644.0000", "2005-05-02  0 0.0000 0.0000",
                        "2005-05-03 1200 1000 0.0000 804.0000" }
        << "表 M1 2005-05-03 的抄表数 1200 将小于上次表数 1250，不能修改！";
    QTest::newRow("row without counter ends the month, next reading in the next month")
        << QStringList{ "2005-05-01 1100", "2005-05-31 null", "2005-06-03 1200" } << "2005-05-01 1150"
        << QStringList{ "2005-05-01 1150 1500 100.0000 1044.0000", "2005-05-31  0 0.0000 0.0000",
                        "2005-06-03 1200 500 100.0000 244.0000" }
        << "";
}

// The dependent readings are found as a replay finds them: months by year and month, previous
// values past rows that hold no counter.
void TstReadingStore::dependentReadingsAcrossGapsAndOlderRows()
{
    QFETCH(QStringList, before);
    QFETCH(QString, correction);
    QFETCH(QStringList, rows);
    QFETCH(QString, refusal);
    TestDatabase t;
    addExampleMeter(t, QStringLiteral("M1"));
    TKelvaraMg mg;
    ReadingStore store(mg);
    for (const QString &r : std::as_const(before)) {
        const QStringList w = r.split(u' ');
        if (w.at(1) == u"null")
            execSql(t.db(), QStringLiteral("insert into TakeMeter (MeterID, TakeNumber, CurValue, Charge, QuotaCharge, "
                                           "TakeTime) values ('M1', NULL, 0, 0, 0, ?)"), { w.at(0) });
        else
            QVERIFY(store.store(QStringLiteral("M1"), w.at(1).toInt(), day(w.at(0).toLatin1())));
    }
    const QStringList w = correction.split(u' ');
    const bool stored = store.store(QStringLiteral("M1"), w.at(1).toInt(), day(w.at(0).toLatin1()), true).has_value();
    QCOMPARE(store.refusal(), refusal);
    QCOMPARE(stored, refusal.isEmpty());
    QStringList after;
    QSqlQuery q = execSql(t.db(), QStringLiteral("select TakeTime, TakeNumber, CurValue, Charge, QuotaCharge "
                                                 "from TakeMeter order by TakeTime"));
    while (q.next())
        // A missing counter value is empty, however the engine hands over its NULL.
        after << QStringList{ q.value(0).toString(), q.isNull(1) ? QString() : q.value(1).toString(), q.value(2).toString(),
                              Currency::fromUnits(q.value(3).toLongLong()).toString(),
                              Currency::fromUnits(q.value(4).toLongLong()).toString() }
                     .join(u' ');
    QCOMPARE(after, rows);
}

QTEST_GUILESS_MAIN(TstReadingStore)
#include "tst_ReadingStore.moc"
