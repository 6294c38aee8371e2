#include "ReportFixture.h"

#include "ReportModel.h"

#include <algorithm>

namespace ReportFixture {

Ids fill(TestDatabase &db)
{
    Ids ids;
    db.setUsingUnit(QStringLiteral("宏远厂"), QStringLiteral("1"));
    ids.production = db.addWorkshop(QStringLiteral("生产部"), 1, 1);
    ids.machining = db.addWorkshop(QStringLiteral("机加工车间"), 2, ids.production);
    ids.turning = db.addWorkshop(QStringLiteral("车工班"), 3, ids.machining);
    ids.fitting = db.addWorkshop(QStringLiteral("钳工班"), 3, ids.machining);
    ids.assembly = db.addWorkshop(QStringLiteral("装配车间"), 2, ids.production);
    ids.assemblyTeam = db.addWorkshop(QStringLiteral("总装班"), 3, ids.assembly);
    const qint64 water = db.addMeterSort(QStringLiteral("水表"));
    const qint64 power = db.addMeterSort(QStringLiteral("电表"));
    const qint64 waterPrice = db.addPrice(QStringLiteral("生产用水"), yuan("2.5"), yuan("3.75"), water);
    const qint64 powerPrice = db.addPrice(QStringLiteral("生产用电"), yuan("0.65"), yuan("0.98"), power);

    auto meter = [&](const char *number, qint64 sort, qint64 price, qint64 workshop, qint64 team, int multiple,
                     int base, int subjoin, const char *quota) {
        MeterSpec m;
        m.number = QString::fromLatin1(number);
        m.sort = sort;
        m.price = price;
        m.workshop = workshop;
        m.team = team;
        m.multiple = multiple;
        m.baseNumber = base;
        m.subjoin = subjoin;
        m.maxBound = 999999;
        m.quota = yuan(quota);
        db.addMeter(m);
    };
    meter("W1", water, waterPrice, ids.machining, ids.turning, 1, 100, 2, "300");
    meter("E1", power, powerPrice, ids.machining, ids.fitting, 40, 5000, 0, "500");
    meter("A1", water, waterPrice, ids.assembly, ids.assemblyTeam, 1, 10, 1, "100");
    meter("U1", water, waterPrice, ids.production, ids.turning, 1, 0, 0, "50");
    meter("T1", water, waterPrice, ids.turning, ids.turning, 1, 0, 0, "20");
    meter("X1", power, waterPrice, ids.machining, ids.fitting, 1, 0, 0, "10");

    const auto d = [](int month, int day) { return QDate(2024, month, day); };
    db.addReading(QStringLiteral("W1"), d(7, 1), 150, 50, yuan("125"), yuan("0"));
    db.addReading(QStringLiteral("W1"), d(7, 15), 200, 50, yuan("100"), yuan("18.75"));
    db.addReading(QStringLiteral("W1"), d(7, 31), 260, 60, yuan("0"), yuan("225"));
    db.addReading(QStringLiteral("E1"), d(7, 15), 5100, 4000, yuan("500"), yuan("2038.4"));
    db.addReading(QStringLiteral("A1"), d(7, 20), 30, 20, yuan("50"), yuan("0"));
    db.addReading(QStringLiteral("A1"), d(8, 1), 40, 10, yuan("25"), yuan("0"));
    db.addReading(QStringLiteral("U1"), d(7, 10), 10, 10, yuan("25"), yuan("0"));
    db.addReading(QStringLiteral("T1"), d(7, 10), 5, 5, yuan("12.5"), yuan("0"));
    db.addReading(QStringLiteral("X1"), d(7, 10), 7, 7, yuan("4.55"), yuan("0"));
    return ids;
}

Table rows(const ReportModel &model)
{
    Table table;
    model.forEachRow([&](const QStringList &cells) {
        table << cells;
        return true;
    }, ReportModel::Amounts::Exact);
    return table;
}

QStringList footer(const ReportModel &model)
{
    QStringList cells;
    for (int c = 0; c < model.columnCount(); ++c)
        cells << model.footerText(c, ReportModel::Amounts::Exact);
    return cells;
}

Table sorted(Table table)
{
    std::sort(table.begin(), table.end(), [](const QStringList &a, const QStringList &b) {
        return a.join(u'\x1f') < b.join(u'\x1f');
    });
    return table;
}

}
