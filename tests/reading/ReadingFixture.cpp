#include "ReadingFixture.h"

#include "Database.h"

#include <QSqlQuery>

QStringList plainMeters()
{
    return { QStringLiteral("10"),     QStringLiteral("101"),   QStringLiteral("10A"),
             QStringLiteral("2001"),   QStringLiteral("O'Neil"), QStringLiteral("Q\"1;--"),
             QStringLiteral("ABCDEFGHIJ") };
}

ReadingFixture::ReadingFixture()
{
    KelvaraMg = &mg;
    t.setUsingUnit(QStringLiteral("红星厂"), QStringLiteral("pw"));
    const qint64 shop = t.addWorkshop(QStringLiteral("一车间"), 2, t.addWorkshop(QStringLiteral("生产部"), 1, 1));
    const qint64 team = t.addWorkshop(QStringLiteral("车工班"), 3, shop);
    const qint64 water = t.addMeterSort(QStringLiteral("水表"));
    const qint64 example = t.addPrice(QStringLiteral("工业水"), yuan("0.5"), yuan("0.8"), water);
    const qint64 unit = t.addPrice(QStringLiteral("生活水"), yuan("1"), yuan("1"), water);

    MeterSpec w;
    w.number = QStringLiteral("W");
    w.sort = water;
    w.price = example;
    w.workshop = shop;
    w.team = team;
    w.multiple = 10;
    w.baseNumber = 1000;
    w.maxBound = 9999;
    w.subjoin = 5;
    w.quota = yuan("100");
    t.addMeter(w);
    for (const QString &number : plainMeters()) {
        MeterSpec m = w;
        m.number = number;
        m.price = unit;
        m.multiple = 1;
        m.baseNumber = 0;
        m.subjoin = 0;
        m.quota = Currency();
        t.addMeter(m);
    }
}

ReadingFixture::~ReadingFixture()
{
    if (KelvaraMg == &mg)
        KelvaraMg = nullptr;
}

QStringList ReadingFixture::stored() const
{
    QSqlQuery q = execSql(t.db(), QStringLiteral("SELECT MeterID, TakeTime, TakeNumber, CurValue, Charge, QuotaCharge, "
                                                 "InputDate FROM TakeMeter ORDER BY TakeTime, MeterID"));
    QStringList rows;
    while (q.next()) {
        const QString input = q.value(6).toString() == QDate::currentDate().toString(Qt::ISODate)
            ? QStringLiteral("today")
            : q.value(6).toString();
        rows << QStringList{ q.value(0).toString(), q.value(1).toString(), q.value(2).toString(),
                             q.value(3).toString(),
                             Currency::fromUnits(q.value(4).toLongLong()).toString(),
                             Currency::fromUnits(q.value(5).toLongLong()).toString(), input }
                    .join(u' ');
    }
    return rows;
}
