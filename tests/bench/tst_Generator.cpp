// The generated readings are the ones the program itself stores for the same counter values.
#include "Database.h"
#include "Generator.h"
#include "ReadingStore.h"
#include "UCommon.h"

#include <QFile>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

class TstGenerator : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void readingsAsTheProgramStoresThem();
    void refusesAnExistingFile();
};

void TstGenerator::cleanup()
{
    Database::closeConnection();
}

void TstGenerator::readingsAsTheProgramStoresThem()
{
    QTemporaryDir dir;
    const QString generated = dir.filePath(QStringLiteral("generated.db"));
    const QString replayed = dir.filePath(QStringLiteral("replayed.db"));
    BenchGenerator::Options options;
    options.meters = 16;
    options.days = 400;   // long enough for the small counters to pass their maximum
    options.firstDay = QDate(2023, 11, 20);
    BenchGenerator::generate(generated, options);

    // The same master data without readings, filled again through the reading store.
    QVERIFY(QFile::copy(generated, replayed));
    Database::setPath(replayed);
    execSql(Database::connection(), QStringLiteral("Delete from TakeMeter"));
    struct Reading { QString meter; QDate day; qint32 counter, curValue; qint64 charge, quotaCharge; };
    QList<Reading> readings;
    {
        QSqlDatabase source = Database::open(generated, QStringLiteral("generated"));
        QSqlQuery q = execSql(source, QStringLiteral(
            "Select MeterID, TakeTime, TakeNumber, CurValue, Charge, QuotaCharge from TakeMeter order by TakeTime, MeterID"));
        while (q.next())
            readings.append({ q.value(0).toString(), QDate::fromString(q.value(1).toString(), Qt::ISODate),
                              q.value(2).toInt(), q.value(3).toInt(), q.value(4).toLongLong(), q.value(5).toLongLong() });
    }
    Database::close(QStringLiteral("generated"));
    QCOMPARE(readings.size(), options.meters * options.days);

    TKelvaraMg manager;
    int rollovers = 0;
    manager.SetRolloverConfirmation([&](qint32, qint32) {
        ++rollovers;
        return true;
    });
    ReadingStore store(manager);
    int split = 0, excessOnly = 0;
    Transaction tx(Database::connection());
    for (const Reading &r : std::as_const(readings)) {
        const std::optional<StoredReading> stored = store.write(r.meter, r.counter, r.day);
        QVERIFY2(stored, qPrintable(r.meter + u' ' + r.day.toString(Qt::ISODate)));
        QCOMPARE(stored->CurValue, r.curValue);
        QCOMPARE(stored->Charge.units(), r.charge);
        QCOMPARE(stored->QuotaCharge.units(), r.quotaCharge);
        split += r.charge > 0 && r.quotaCharge > 0;
        excessOnly += r.charge == 0 && r.quotaCharge > 0;
    }
    tx.commit();
    // The data exercise what makes the arithmetic interesting.
    QVERIFY(rollovers > 0);
    QVERIFY(split > 0);
    QVERIFY(excessOnly > 0);
}

void TstGenerator::refusesAnExistingFile()
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("kept.db"));
    QFile f(file);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("keep");
    f.close();
    BenchGenerator::Options options;
    options.meters = 2;
    options.days = 2;
    QVERIFY_THROWS_EXCEPTION(DatabaseError, BenchGenerator::generate(file, options));
    QFile kept(file);
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), QByteArray("keep"));
}

QTEST_GUILESS_MAIN(TstGenerator)
#include "tst_Generator.moc"
