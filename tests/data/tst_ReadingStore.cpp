// Storing readings without a window, and the demonstration readings written through it.
#include "DataSet.h"
#include "Database.h"
#include "DemoData.h"
#include "ChargeCalc.h"
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

QString iso(const QDate &date)
{
    return date.toString(Qt::ISODate);
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
    void exchangesEqualTheCountersSpans_data();
    void exchangesEqualTheCountersSpans();
    void exchangeRules_data();
    void exchangeRules();
    void passesStayConfirmed_data();
    void passesStayConfirmed();

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

void TstReadingStore::exchangesEqualTheCountersSpans_data()
{
    QTest::addColumn<quint32>("generator");
    for (quint32 start = 1; start <= 150; ++start)
        QTest::newRow(qPrintable(QStringLiteral("run %1").arg(start))) << start;
}

// A meter's counters exchanged now and then over three months, their readings typed in any order
// (also before their exchange is entered), some first mistyped or deleted, exchanges first entered
// wrong and corrected: every stored consumption is the sum of the spans the counters ran since the
// previous reading, through a counter's maximum where it passed it, and every charge the month's
// quota split of it.
void TstReadingStore::exchangesEqualTheCountersSpans()
{
    QFETCH(quint32, generator);
    QRandomGenerator rng(generator);
    TestDatabase t;
    addExampleMeter(t, QStringLiteral("M1"));
    const qint64 multiple = QList<int>{ 1, 10, 40 }.at(rng.bounded(3));
    execSql(t.db(), QStringLiteral("update Meter set Multiple = ?"), { multiple });
    const QDate start = day("2005-03-01");

    // What the counters showed: counter k, in place after day from, runs from its first value up to
    // its maximum and on from 0; last is its final value.
    struct Counter { int from = 0; int first = 0; int max = 0; int last = 0; };
    QList<Counter> counters{ { 0, 1000, 9999, 0 } };
    QList<int> exchangeDays;
    for (int d = int(rng.bounded(8, 20)); d < 85; d += int(rng.bounded(12, 40)))
        exchangeDays << d;
    QHash<int, int> value;   // the counter value on each day that is no exchange day
    QSet<int> passedMaximum; // days by which the counter in place had passed its maximum
    int v = 1000;
    for (int d = 0; d < 90; ++d) {
        Counter &c = counters.last();
        v += int(rng.bounded(4) == 0 ? 0 : rng.bounded(15, 120));
        if (v > c.max) {
            v -= c.max;
            passedMaximum << d;
        } else if (passedMaximum.contains(d - 1) && !exchangeDays.contains(d - 1)) {
            passedMaximum << d;
        }
        if (exchangeDays.contains(d)) {
            c.last = v;
            const int max = QList<int>{ 9999, 1500, 800 }.at(rng.bounded(3));
            v = int(rng.bounded(0, 300));
            counters << Counter{ d, v, max, 0 };
        } else {
            value.insert(d, v);
        }
    }
    QList<int> readingDays;
    for (int d = 0; d < 90; ++d)
        if (value.contains(d) && rng.bounded(5) < 2)
            readingDays << d;

    TKelvaraMg mg;
    mg.SetRolloverConfirmation([](qint32, qint32) { return true; });
    ReadingStore store(mg);
    const auto exchange = [&](int k, int slip, bool replace) {
        ExchangeRequest r;
        r.MeterNO = QStringLiteral("M1");
        r.ExchangeDate = start.addDays(counters.at(k + 1).from);
        r.OldFinal = qMax(0, counters.at(k).last - slip);
        r.NewInitial = counters.at(k + 1).first;
        r.NewMaxBound = counters.at(k + 1).max;
        return store.storeExchange(r, replace).has_value();
    };
    const auto segmentOf = [&](int d) {
        int k = 0;
        while (k + 1 < counters.size() && counters.at(k + 1).from < d)
            ++k;
        return k;
    };
    // Readings typed in random order, at most one exchange ahead of the exchanges entered, which
    // follow one another in time; slips corrected later. A new counter's reading typed before its
    // exchange is measured from the old counter; one that has already passed the new counter's
    // maximum would then pass for an ordinary reading, which the exchange may not turn into a
    // rollover: such readings wait for their exchange.
    QList<int> pending = readingDays;
    int nextExchange = 0;
    bool lastWrong = false;
    while (!pending.isEmpty() || nextExchange < exchangeDays.size()) {
        QList<int> typable;
        for (int i = 0; i < pending.size(); ++i) {
            const int segment = segmentOf(pending.at(i));
            if (segment <= nextExchange || (segment == nextExchange + 1 && !passedMaximum.contains(pending.at(i))))
                typable << i;
        }
        if (nextExchange < exchangeDays.size() && (typable.isEmpty() || rng.bounded(6) == 0)) {
            if (lastWrong)
                QVERIFY2(exchange(nextExchange - 1, 0, true), qPrintable(shown.join(u'\n') + store.refusal()));
            lastWrong = rng.bounded(3) == 0;
            QVERIFY2(exchange(nextExchange, lastWrong ? int(rng.bounded(1, 40)) : 0, false),
                     qPrintable(shown.join(u'\n') + store.refusal()));
            ++nextExchange;
            continue;
        }
        const int d = pending.takeAt(typable.at(int(rng.bounded(int(typable.size())))));
        // A slip typed ahead of its exchange could lie below the new counter's first value.
        const int slip = rng.bounded(5) == 0 && segmentOf(d) <= nextExchange ? int(rng.bounded(1, 30)) : 0;
        store.store(QStringLiteral("M1"), qMax(0, value.value(d) - slip), start.addDays(d), true);
        if (rng.bounded(8) == 0)
            store.erase(QStringLiteral("M1"), start.addDays(d));
    }
    if (lastWrong)
        QVERIFY2(exchange(nextExchange - 1, 0, true), qPrintable(shown.join(u'\n') + store.refusal()));
    // The true values, later readings first, so that a reading corrected upwards meets no slip
    // after it. A reading added between two whose counter passed its maximum in between is refused
    // where the one after it was stored as no rollover, and stays as it was.
    for (auto d = readingDays.crbegin(); d != readingDays.crend(); ++d)
        if (!store.store(QStringLiteral("M1"), value.value(*d), start.addDays(*d), true))
            QVERIFY2(store.refusal().contains(QStringLiteral("将小于上次表数")), qPrintable(shown.join(u'\n')));

    // The spans each stored reading's counters ran, added up independently of the program.
    const auto spanOf = [](int from, int to, int max) { return to >= from ? to - from : max - from + to; };
    QList<QPair<int, int>> kept;   // day, counter value as stored
    QSqlQuery q = execSql(t.db(), QStringLiteral("select TakeTime, TakeNumber from TakeMeter order by TakeTime"));
    while (q.next())
        kept.append({ int(start.daysTo(day(q.value(0).toString().toLatin1()))), q.value(1).toInt() });
    QVERIFY(kept.size() > readingDays.size() / 2);
    QStringList expected;
    int previousDay = -1;
    int previousValue = 1000;
    qint64 monthUsed = 0;
    int month = -1;
    for (const auto &[d, counter] : std::as_const(kept)) {
        const int k = segmentOf(d);
        const int j = previousDay < 0 ? 0 : segmentOf(previousDay);
        int from = previousValue;
        qint64 units = 0;
        for (int segment = j; segment < k; ++segment) {
            units += spanOf(from, counters.at(segment).last, counters.at(segment).max);
            from = counters.at(segment + 1).first;
        }
        units += spanOf(from, counter, counters.at(k).max);
        const QDate date = start.addDays(d);
        if (date.month() != month) {
            month = date.month();
            monthUsed = 0;
        }
        ChargeCalc::SplitInput in;
        in.curValue = units * multiple;
        in.subjoin = 5;
        in.price = yuan("0.5");
        in.exceedPrice = yuan("0.8");
        in.quota = yuan("100");
        in.quotaUnits = 200;
        in.usedInMonth = monthUsed;
        const auto split = ChargeCalc::SplitCharge(in);
        expected << QStringLiteral("M1 %1 %2 %3 %4 %5").arg(iso(date)).arg(counter).arg(in.curValue)
                        .arg(split->charge.toString(), split->quotaCharge.toString());
        monthUsed += in.curValue + 5;
        previousDay = d;
        previousValue = counter;
    }
    QStringList stored;
    for (const QString &row : storedRows(t))
        stored << row.section(u' ', 0, 5);
    QCOMPARE(stored, expected);
    // The register shows the counter in place now.
    QCOMPARE(t.scalar(QStringLiteral("select BaseNumber || ' ' || MaxBound || ' ' || substr(CAST(SetupDate AS TEXT), 1, 10) from Meter")).toString(),
             QStringLiteral("%1 %2 %3").arg(counters.last().first).arg(counters.last().max)
                 .arg(iso(start.addDays(counters.last().from))));
}

void TstReadingStore::exchangeRules_data()
{
    QTest::addColumn<QStringList>("steps");     // "read date counter", "exchange date final initial [max]",
                                                // "correct …" (the exchange of the date), "delete date",
                                                // "erase date" (the reading of the date),
                                                // "fix date counter" (corrects the reading of the date)
    QTest::addColumn<QString>("message");       // of the last step; empty when it was done
    QTest::addColumn<QStringList>("rows");      // the readings afterwards: date counter consumption
    QTest::newRow("exchange entered later re-prices the next reading")
        << QStringList{ "read 03-01 1100", "read 03-20 130", "exchange 03-10 1150 100" } << ""
        << QStringList{ "03-01 1100 1000", "03-20 130 800" };
    QTest::newRow("old counter passed its maximum before the exchange")
        << QStringList{ "read 03-01 9990", "exchange 03-10 4 0", "read 03-20 6" } << ""
        << QStringList{ "03-01 9990 89900", "03-20 6 190" };
    QTest::newRow("corrected exchange re-prices")
        << QStringList{ "read 03-01 1100", "exchange 03-10 1150 100", "read 03-20 130", "correct 03-10 1160 90" }
        << "" << QStringList{ "03-01 1100 1000", "03-20 130 1000" };
    QTest::newRow("new initial above the next reading")
        << QStringList{ "read 03-01 1100", "read 03-20 1130", "exchange 03-10 1110 1200" }
        << "表 M1 2005-03-20 的抄表数 1130 将小于上次表数 1200，不能修改！"
        << QStringList{ "03-01 1100 1000", "03-20 1130 300" };
    QTest::newRow("reading on the exchange day")
        << QStringList{ "exchange 03-10 1150 100", "read 03-10 120" } << "表 M1 于 2005-03-10 换表，不能录入换表当天的抄表数！"
        << QStringList();
    QTest::newRow("exchange on a reading day")
        << QStringList{ "read 03-10 1100", "exchange 03-10 1150 100" } << "表 M1 在 2005-03-10 已有抄表记录，不能在抄表当天换表！"
        << QStringList{ "03-10 1100 1000" };
    QTest::newRow("before the last exchange")
        << QStringList{ "exchange 03-10 1150 100", "exchange 03-05 1150 100" } << "换表日期不能早于该表上次换表日期 2005-03-10！"
        << QStringList();
    QTest::newRow("old final above the maximum") << QStringList{ "exchange 03-10 10000 0" }
                                                 << "旧表止数必须在 0 到 9999 之间！" << QStringList();
    QTest::newRow("new initial above the new maximum") << QStringList{ "exchange 03-10 1100 600 500" }
                                                       << "新表起数必须在 0 到 500 之间！" << QStringList();
    QTest::newRow("a later reading above the new maximum")
        << QStringList{ "read 03-20 1900", "exchange 03-10 1100 0 1500" } << "表 M1 2005-03-20 的抄表数 1900 大于新表的最大计数 1500！"
        << QStringList{ "03-20 1900 9000" };
    QTest::newRow("reading before the exchange above its old final value")
        << QStringList{ "read 03-01 1100", "exchange 03-10 1150 100", "read 03-05 1160", "read 03-20 130" } << ""
        << QStringList{ "03-01 1100 1000", "03-20 130 800" };
    QTest::newRow("reading between two exchanges above the later one's old final value")
        << QStringList{ "read 03-01 1100", "exchange 03-10 1150 100", "exchange 04-10 300 0", "read 03-20 400",
                        "read 04-20 50" } << ""
        << QStringList{ "03-01 1100 1000", "04-20 50 3000" };
    QTest::newRow("exchange entered late: a later month's rollover passes the new counter's maximum")
        << QStringList{ "read 03-01 1100", "read 03-20 200", "read 04-10 4900", "read 05-05 100",
                        "exchange 03-10 1150 0 5000" } << ""
        << QStringList{ "03-01 1100 1000", "03-20 200 2500", "04-10 4900 47000", "05-05 100 2000" };
    QTest::newRow("deleted while no reading follows")
        << QStringList{ "read 03-01 1100", "exchange 03-10 1150 100", "delete 03-10", "read 03-20 1200" } << ""
        << QStringList{ "03-01 1100 1000", "03-20 1200 1000" };
    QTest::newRow("reading deleted before an exchange no reading follows: the old final value becomes a pass")
        << QStringList{ "read 03-01 1100", "read 03-05 1050", "exchange 03-10 1080 100", "erase 03-05" }
        << "表 M1 2005-03-10 换表时的旧表止数 1080 将小于上次表数 1100，不能修改！"
        << QStringList{ "03-01 1100 1000", "03-05 1050 99490" };
    QTest::newRow("reading past the maximum before a reading confirmed as a pass: that reading a second pass")
        << QStringList{ "read 03-01 9990", "read 03-20 4", "read 03-10 5" }
        << "表 M1 2005-03-20 的抄表数 4 将小于上次表数 5，不能修改！" << QStringList{ "03-01 9990 89900", "03-20 4 130" };
    QTest::newRow("reading past the maximum before an exchange confirmed as a pass: its old final value a second pass")
        << QStringList{ "read 03-01 9990", "exchange 03-10 4 0", "read 03-05 5" }
        << "表 M1 2005-03-10 换表时的旧表止数 4 将小于上次表数 5，不能修改！" << QStringList{ "03-01 9990 89900" };
    QTest::newRow("exchange past the maximum before a reading confirmed as a pass: that reading a pass of the new counter")
        << QStringList{ "read 03-01 9990", "read 03-20 4", "exchange 03-10 2 6" }
        << "表 M1 2005-03-20 的抄表数 4 将小于上次表数 6，不能修改！" << QStringList{ "03-01 9990 89900", "03-20 4 130" };
    QTest::newRow("exchange before a reading confirmed as a pass: its new initial above that reading a pass of the new counter")
        << QStringList{ "read 03-01 9990", "read 03-20 4", "exchange 03-10 9995 10" }
        << "表 M1 2005-03-20 的抄表数 4 将小于上次表数 10，不能修改！" << QStringList{ "03-01 9990 89900", "03-20 4 130" };
    QTest::newRow("reading deleted after an exchange confirmed as a pass: the next reading takes that same pass")
        << QStringList{ "read 03-01 9990", "exchange 03-05 2 0", "read 03-10 50", "read 03-20 60", "erase 03-10" }
        << "" << QStringList{ "03-01 9990 89900", "03-20 60 710" };
    QTest::newRow("reading past the maximum before an exchange: the next reading keeps its confirmed pass of the new counter")
        << QStringList{ "read 03-01 9990", "exchange 03-15 8 990 999", "read 03-20 5", "read 03-10 3" }
        << "" << QStringList{ "03-01 9990 89900", "03-10 3 120", "03-20 5 190" };
    QTest::newRow("reading past the maximum of a new counter deleted between two exchanges: the later old final value becomes a pass")
        << QStringList{ "read 03-01 1100", "exchange 03-05 1150 100", "read 03-10 50", "exchange 03-15 60 0",
                        "read 03-20 10", "erase 03-10" }
        << "表 M1 2005-03-15 换表时的旧表止数 60 将小于上次表数 100，不能修改！"
        << QStringList{ "03-01 1100 1000", "03-10 50 99990", "03-20 10 200" };
    QTest::newRow("reading between two exchanges, the later one confirmed as a pass of the new counter: the pass stays one")
        << QStringList{ "read 03-01 1100", "exchange 03-05 1150 100", "exchange 03-15 50 0", "read 03-20 10",
                        "read 03-10 120" } << ""
        << QStringList{ "03-01 1100 1000", "03-10 120 700", "03-20 10 99390" };
    QTest::newRow("reading that took over a later reading's confirmed pass deleted: that reading's pass returns")
        << QStringList{ "read 03-01 9990", "read 03-20 4", "read 03-10 3", "erase 03-10" } << ""
        << QStringList{ "03-01 9990 89900", "03-20 4 130" };
    QTest::newRow("reading that took over an exchange's confirmed pass deleted, no reading after: the exchange's pass returns")
        << QStringList{ "read 03-01 9990", "exchange 03-10 2 0", "read 03-05 1", "erase 03-05" } << ""
        << QStringList{ "03-01 9990 89900" };
    QTest::newRow("reading that took over an exchange's confirmed pass deleted, a reading after: the exchange's pass returns")
        << QStringList{ "read 03-01 9990", "exchange 03-10 2 0", "read 03-20 50", "read 03-05 1", "erase 03-05" } << ""
        << QStringList{ "03-01 9990 89900", "03-20 50 610" };
    QTest::newRow("reading that took over a later reading's confirmed pass corrected to no pass: that reading's pass returns")
        << QStringList{ "read 03-01 9990", "read 03-20 4", "read 03-10 3", "fix 03-10 9995" } << ""
        << QStringList{ "03-01 9990 89900", "03-10 9995 50", "03-20 4 80" };
    QTest::newRow("reading that took over an exchange's confirmed pass corrected to no pass: the exchange's pass returns")
        << QStringList{ "read 03-01 9990", "exchange 03-10 2 0", "read 03-05 1", "fix 03-05 9995" } << ""
        << QStringList{ "03-01 9990 89900", "03-05 9995 50" };
    QTest::newRow("reading whose pass was taken over saved again unchanged: deleting the reading that took it")
        << QStringList{ "read 03-01 9990", "read 03-20 4", "read 03-10 3", "fix 03-20 4", "erase 03-10" } << ""
        << QStringList{ "03-01 9990 89900", "03-20 4 130" };
    QTest::newRow("exchange whose pass was taken over saved again unchanged: deleting the reading that took it")
        << QStringList{ "read 03-01 9990", "exchange 03-10 2 0", "read 03-05 1", "correct 03-10 2 0", "erase 03-05" } << ""
        << QStringList{ "03-01 9990 89900" };
    QTest::newRow("pass stored by the previous version, taken over after the upgrade: deleting the reading that took it")
        << QStringList{ "read 03-01 9990", "read 03-20 4", "upgrade", "read 03-10 3", "erase 03-10" } << ""
        << QStringList{ "03-01 9990 89900", "03-20 4 130" };
    QTest::newRow("reading whose pass was taken over corrected away and back: deleting the reading that took it")
        << QStringList{ "read 03-01 9990", "read 03-20 4", "read 03-10 3", "fix 03-20 5", "fix 03-20 4", "erase 03-10" }
        << "" << QStringList{ "03-01 9990 89900", "03-20 4 130" };
    QTest::newRow("slip on the reading before a confirmed pass undone: the pass is the one confirmed")
        << QStringList{ "exchange 02-20 1100 0", "read 03-05 9990", "read 03-20 4", "fix 03-05 3", "fix 03-05 9990" }
        << "" << QStringList{ "03-05 9990 100900", "03-20 4 130" };
    QTest::newRow("a reading typed between a reading that took over a confirmed pass and that pass's reading, at the value it passed from: a second pass")
        << QStringList{ "read 03-01 9990", "read 03-20 4", "read 03-10 3", "read 03-15 9990" }
        << "表 M1 2005-03-20 的抄表数 4 将小于上次表数 9990，不能修改！"
        << QStringList{ "03-01 9990 89900", "03-10 3 120", "03-20 4 10" };
    QTest::newRow("slip on the reading before an exchange confirmed as a pass undone: the pass is the one confirmed")
        << QStringList{ "exchange 02-20 1100 0", "read 03-01 9990", "exchange 03-10 2 0", "read 03-20 50", "fix 03-01 1",
                        "fix 03-01 9990" }
        << "" << QStringList{ "03-01 9990 100900", "03-20 50 610" };
    QTest::newRow("pass stored by the previous version, slip on the reading before it undone after the upgrade")
        << QStringList{ "exchange 02-20 1100 0", "read 03-05 9990", "read 03-20 4", "upgrade", "fix 03-05 3", "fix 03-05 9990" }
        << "" << QStringList{ "03-05 9990 100900", "03-20 4 130" };
    QTest::newRow("pass stored by the previous version, slip on the exchange's new initial value undone after the upgrade")
        << QStringList{ "read 03-01 1100", "exchange 03-10 1150 100", "read 03-20 50", "upgrade", "correct 03-10 1150 40",
                        "correct 03-10 1150 100" }
        << "" << QStringList{ "03-01 1100 1000", "03-20 50 99990" };
    QTest::newRow("reading before a confirmed pass corrected with the pass kept, then a slip on it undone: the pass is the one kept")
        << QStringList{ "exchange 02-20 1100 0", "read 03-05 9990", "read 03-20 4", "fix 03-05 9000", "fix 03-05 3",
                        "fix 03-05 9000" }
        << "" << QStringList{ "03-05 9000 91000", "03-20 4 10030" };
    QTest::newRow("exchange corrected with the next reading's pass kept, then a slip on its new initial value undone")
        << QStringList{ "read 03-01 1100", "exchange 03-10 1150 100", "read 03-20 50", "correct 03-10 1150 90",
                        "correct 03-10 1150 30", "correct 03-10 1150 90" }
        << "" << QStringList{ "03-01 1100 1000", "03-20 50 100090" };
    QTest::newRow("reading before an exchange's confirmed pass corrected with the pass kept, then a slip on it undone")
        << QStringList{ "exchange 02-20 1100 0", "read 03-01 9990", "exchange 03-10 4 0", "read 03-20 50", "fix 03-01 9000",
                        "fix 03-01 3", "fix 03-01 9000" }
        << "" << QStringList{ "03-01 9000 91000", "03-20 50 10530" };
    QTest::newRow("reading before an exchange's pass corrected with the pass kept, then deleted by mistake and typed back")
        << QStringList{ "exchange 02-20 1100 0", "read 03-01 3", "read 03-05 9995", "exchange 03-10 4 0", "read 03-20 50",
                        "fix 03-05 9000", "erase 03-05", "read 03-05 9000" }
        << "" << QStringList{ "03-01 3 1030", "03-05 9000 89970", "03-20 50 10530" };
    QTest::newRow("reading that passes before a confirmed pass corrected twice with the pass kept, then typed back as confirmed")
        << QStringList{ "read 03-01 9990", "read 03-05 5", "read 03-10 4", "fix 03-05 9995", "fix 03-05 9997", "fix 03-05 5" }
        << "" << QStringList{ "03-01 9990 89900", "03-05 5 140", "03-10 4 99980" };
    QTest::newRow("not deleted with a reading after it")
        << QStringList{ "exchange 03-10 1150 100", "read 03-20 130", "delete 03-10" }
        << "表 M1 在 2005-03-10 换表以后已有抄表记录，不能删除这次换表！" << QStringList{ "03-20 130 1800" };
}

void TstReadingStore::exchangeRules()
{
    QFETCH(QStringList, steps);
    QFETCH(QString, message);
    QFETCH(QStringList, rows);
    TestDatabase t;
    addExampleMeter(t, QStringLiteral("M1"));
    TKelvaraMg mg;
    mg.SetRolloverConfirmation([](qint32, qint32) { return true; });
    ReadingStore store(mg);
    bool done = true;
    for (const QString &step : std::as_const(steps)) {
        shown.clear();
        const QStringList w = step.split(u' ');
        // The database as the previous version left it, opened again.
        if (w.at(0) == u"upgrade") {
            t.makePreviousVersion();
            continue;
        }
        const QDate date = day(("2005-" + w.at(1)).toLatin1());
        if (w.at(0) == u"read" || w.at(0) == u"fix") {
            done = store.store(QStringLiteral("M1"), w.at(2).toInt(), date, w.at(0) == u"fix").has_value();
        } else if (w.at(0) == u"erase") {
            done = store.erase(QStringLiteral("M1"), date);
        } else if (w.at(0) == u"delete") {
            done = store.eraseExchange(QStringLiteral("M1"), date);
        } else {
            ExchangeRequest r{ QStringLiteral("M1"), date, w.at(2).toInt(), w.at(3).toInt(), std::nullopt, std::nullopt, {} };
            if (w.size() > 4)
                r.NewMaxBound = w.at(4).toLongLong();
            done = store.storeExchange(r, w.at(0) == u"correct").has_value();
        }
    }
    QCOMPARE(done, message.isEmpty());
    QCOMPARE(shown.join(u'\n') + store.refusal(), message);
    QStringList stored;
    QSqlQuery q = execSql(t.db(), QStringLiteral("select TakeTime, TakeNumber, CurValue from TakeMeter order by TakeTime"));
    while (q.next())
        stored << q.value(0).toString().mid(5) + u' ' + q.value(1).toString() + u' ' + q.value(2).toString();
    QCOMPARE(stored, rows);
}

void TstReadingStore::passesStayConfirmed_data()
{
    QTest::addColumn<quint32>("generator");
    for (quint32 start = 1; start <= 60; ++start)
        QTest::newRow(qPrintable(QStringLiteral("run %1").arg(start))) << start;
}

// Random readings, corrections, deletions and exchanges of a meter whose counters pass their
// maximum now and then, each question about a pass answered at random. After every change each
// stored pass (a reading, or an exchange's old final value, below what its counter showed before)
// is a value the operator confirmed as a pass for that reading or exchange, and there are no more
// passes than before unless the change itself was confirmed as one, or brought back a pass exactly
// as it was confirmed (that value from that value of that reading or exchange): a pass moves, none
// is made twice.
// A reading typed and deleted at once leaves every figure as it was.
void TstReadingStore::passesStayConfirmed()
{
    QFETCH(quint32, generator);
    QRandomGenerator rng(generator);
    TestDatabase t;
    addExampleMeter(t, QStringLiteral("M1"));
    TKelvaraMg mg;
    // A pass as confirmed: the value, the value it passed from and the reading or exchange that showed it.
    using Span = std::tuple<qint64, qint64, QDate>;
    bool asked = false;
    Span span;
    QList<QDate> days;   // of the readings and exchanges stored
    QDate date;
    mg.SetRolloverConfirmation([&](qint32 counter, qint32 from) {
        QDate origin;
        for (const QDate &d : std::as_const(days))
            if (d < date)
                origin = d;
        span = { counter, from, origin };
        return asked = rng.bounded(4) != 0;
    });
    ReadingStore store(mg);
    const QDate start = day("2005-03-01");
    QHash<QDate, Span> confirmed;   // of the readings and exchanges, the pass last confirmed
    const auto figures = [&] {
        QStringList rows;
        QSqlQuery q = execSql(t.db(), QStringLiteral("select TakeTime, TakeNumber, CurValue, Charge, QuotaCharge "
                                                     "from TakeMeter order by TakeTime"));
        while (q.next())
            rows << QStringList{ q.value(0).toString(), q.value(1).toString(), q.value(2).toString(),
                                 q.value(3).toString(), q.value(4).toString() }.join(u' ');
        return rows;
    };
    int passes = 0;            // stored now
    QSet<QDate> passed;        // their dates
    int confirmedPasses = 0;   // in all
    int undone = 0;
    for (int op = 0; op < 150; ++op) {
        const int offset = int(rng.bounded(70));
        date = start.addDays(offset);
        const int kind = int(rng.bounded(12));
        const int counter = rng.bounded(4) == 0 ? int(rng.bounded(10000)) : (9000 + offset * 40 + int(rng.bounded(60))) % 10000;
        const QStringList before = figures();
        const bool isNew = t.scalar(QStringLiteral("select count(*) from TakeMeter where TakeTime = ?"), { iso(date) }).toInt() == 0;
        asked = false;
        bool done = false;
        if (kind < 7) {
            done = store.store(QStringLiteral("M1"), counter, date, true).has_value();
        } else if (kind < 9) {
            done = store.erase(QStringLiteral("M1"), date);
        } else if (kind < 11) {
            ExchangeRequest r{ QStringLiteral("M1"), date, counter, int(rng.bounded(300)), rng.bounded(2) ? 9999 : 1500,
                               std::nullopt, {} };
            done = store.storeExchange(r, true).has_value();
        } else {
            done = store.eraseExchange(QStringLiteral("M1"), date);
        }
        if (done && asked)
            confirmed.insert(date, span);
        else if (done && (kind == 7 || kind == 8 || kind == 11))
            confirmed.remove(date);
        // A reading typed by mistake and deleted at once.
        if (done && kind < 7 && isNew && rng.bounded(3) == 0) {
            QVERIFY2(store.erase(QStringLiteral("M1"), date), qPrintable(iso(date) + u' ' + store.refusal()));
            QCOMPARE(figures(), before);
            confirmed.remove(date);
            ++undone;
        }

        // The passes of the stored readings and exchanges, walked in date order.
        struct Element { QDate day; qint64 value; std::optional<qint64> newInitial; };
        QList<Element> elements;
        qint64 shown = t.scalar(QStringLiteral("select BaseNumber from Meter")).toLongLong();
        QSqlQuery q = execSql(t.db(), QStringLiteral("select TakeTime, TakeNumber from TakeMeter"));
        while (q.next())
            elements.append({ day(q.value(0).toString().toLatin1()), q.value(1).toLongLong(), std::nullopt });
        q = execSql(t.db(), QStringLiteral("select ExchangeDate, OldFinal, NewInitial, OldBase from MeterExchange "
                                           "order by ExchangeDate"));
        for (bool first = true; q.next(); first = false) {
            elements.append({ day(q.value(0).toString().toLatin1()), q.value(1).toLongLong(), q.value(2).toLongLong() });
            if (first)
                shown = q.value(3).toLongLong();
        }
        std::sort(elements.begin(), elements.end(), [](const Element &a, const Element &b) { return a.day < b.day; });
        int now = 0;
        int restored = 0;   // passes again exactly as once confirmed
        QSet<QDate> passing;
        QDate origin;
        days.clear();
        for (const Element &e : std::as_const(elements)) {
            if (e.value < shown) {
                ++now;
                passing.insert(e.day);
                QVERIFY2(confirmed.contains(e.day) && std::get<0>(confirmed.value(e.day)) == e.value,
                         qPrintable(iso(e.day) + QStringLiteral(" passes unconfirmed")));
                restored += !passed.contains(e.day) && confirmed.value(e.day) == Span{ e.value, shown, origin };
            }
            shown = e.newInitial.value_or(e.value);
            origin = e.day;
            days << e.day;
        }
        QVERIFY2(now <= passes + restored + (done && asked ? 1 : 0),
                 qPrintable(QStringLiteral("%1 passes after %2").arg(now).arg(passes)));
        passes = now;
        passed = passing;
        confirmedPasses += done && asked;
    }
    QVERIFY(confirmedPasses > 0);
    QVERIFY(undone > 0);
}

QTEST_GUILESS_MAIN(TstReadingStore)
#include "tst_ReadingStore.moc"
