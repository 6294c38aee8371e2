#include "DemoData.h"

#include "ChargeCalc.h"
#include "Currency.h"
#include "Database.h"
#include "Password.h"
#include "ReadingStore.h"
#include "UCommon.h"

#include <QDate>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>

#include <algorithm>
#include <random>

namespace DemoData {

namespace {

qint64 insertRow(QSqlDatabase &db, const QString &sql, const QVariantList &values)
{
    return execSql(db, sql, values).lastInsertId().toLongLong();
}

qint64 addUnit(QSqlDatabase &db, const QString &name, int level, const QString &memo, qint64 parent)
{
    return insertRow(db,
                     QStringLiteral("INSERT INTO Workshop (WrokShopName, WorkShopLevel, WrokShopMemo, "
                                    "ResideWorkShopID) VALUES (?, ?, ?, ?)"),
                     { name, level, memo, parent });
}

qint64 yuan(const char *text)
{
    return Currency::parse(QString::fromLatin1(text))->units();
}

}

void writeMasterData(QSqlDatabase &db)
{
    Transaction tx(db);
    const QString unit = QStringLiteral("宏远机械厂");
    execSql(db, QStringLiteral("INSERT INTO CnfgPara VALUES (?, ?)"), { unit, PasswordForStorage(Password) });
    execSql(db, QStringLiteral("INSERT INTO Workshop VALUES (1, ?, 0, ?, 0)"), { unit, unit });

    struct Team { const char *name, *memo; };
    struct Shop { const char *name, *memo; QList<Team> teams; };
    struct Division { const char *name, *memo; QList<Shop> shops; };
    const QList<Division> divisions = {
        { "生产部", "负责全厂生产",
          { { "机加工车间", "车削、铣削、钻孔加工", { { "车工班", "车床加工" }, { "铣工班", "铣床加工" }, { "钳工班", "钳工装配" } } },
            { "装配车间", "整机装配与调试", { { "总装一班", "主机装配" }, { "总装二班", "部件装配" } } } } },
        { "后勤部", "动力与生活保障",
          { { "动力车间", "供电、供水、空压", { { "配电班", "变配电运行" }, { "水泵班", "水泵房运行" } } },
            { "综合服务车间", "食堂、宿舍、绿化",
              { { "食堂班", "职工食堂" }, { "宿舍班", "职工宿舍" }, { "绿化班", "厂区绿化" } } } } },
    };

    QList<qint64> shopIds;
    QList<QList<qint64>> teamIds;
    for (const Division &d : divisions) {
        const qint64 division = addUnit(db, QString::fromUtf8(d.name), 1, QString::fromUtf8(d.memo), 1);
        for (const Shop &s : d.shops) {
            const qint64 shop = addUnit(db, QString::fromUtf8(s.name), 2, QString::fromUtf8(s.memo), division);
            shopIds << shop;
            QList<qint64> teams;
            for (const Team &t : s.teams)
                teams << addUnit(db, QString::fromUtf8(t.name), 3, QString::fromUtf8(t.memo), shop);
            teamIds << teams;
        }
    }

    const qint64 water = insertRow(db, QStringLiteral("INSERT INTO MeterSort (MeterSortName, MeterSortMemo) VALUES (?, ?)"),
                                   { QStringLiteral("水表"), QStringLiteral("自来水计量") });
    const qint64 power = insertRow(db, QStringLiteral("INSERT INTO MeterSort (MeterSortName, MeterSortMemo) VALUES (?, ?)"),
                                   { QStringLiteral("电表"), QStringLiteral("电能计量") });
    const QString priceSql = QStringLiteral(
        "INSERT INTO Price (PriceName, PriceNumber, ExceedPrice, MeterSortID) VALUES (?, ?, ?, ?)");
    const qint64 waterWork = insertRow(db, priceSql, { QStringLiteral("生产用水"), yuan("2.5"), yuan("3.75"), water });
    const qint64 waterLife = insertRow(db, priceSql, { QStringLiteral("生活用水"), yuan("1.8"), yuan("2.7"), water });
    const qint64 powerWork = insertRow(db, priceSql, { QStringLiteral("生产用电"), yuan("0.65"), yuan("0.98"), power });
    const qint64 powerLight = insertRow(db, priceSql, { QStringLiteral("照明用电"), yuan("0.52"), yuan("0.78"), power });

    struct MeterDef
    {
        const char *number;
        bool electric;
        bool production;
        int shop, team;          // indexes into shopIds / teamIds
        int multiple, maxBound, base, subjoin;
        const char *quota;
        const char *model, *place;
    };
    const QList<MeterDef> meters = {
        { "S101", false, true, 0, 0, 1, 99999, 1200, 0, "300", "LXS-50", "车工班北墙" },
        { "S102", false, true, 0, 1, 1, 99999, 860, 0, "300", "LXS-50", "铣工班水池" },
        { "S103", false, false, 0, 2, 1, 9999, 340, 2, "120", "LXS-25", "钳工班洗手间" },
        { "S201", false, true, 1, 0, 1, 99999, 2300, 0, "400", "LXS-50", "总装线试水台" },
        { "S202", false, false, 1, 1, 1, 9999, 150, 2, "100", "LXS-25", "部件库" },
        { "S301", false, true, 2, 1, 10, 99999, 5600, 0, "2000", "LXLC-100", "水泵房总表" },
        { "S302", false, true, 2, 0, 1, 99999, 420, 0, "200", "LXS-40", "配电室冷却水" },
        { "S401", false, false, 3, 0, 1, 99999, 9870, 5, "900", "LXS-80", "食堂后厨" },
        { "S402", false, false, 3, 1, 1, 99999, 7430, 5, "800", "LXS-50", "宿舍一号楼" },
        { "S403", false, false, 3, 1, 1, 99999, 6650, 5, "800", "LXS-50", "宿舍二号楼" },
        { "S404", false, false, 3, 2, 1, 9999, 980, 0, "300", "LXS-40", "厂区绿化喷灌" },
        { "D101", true, true, 0, 0, 40, 99999, 23000, 0, "2500", "DT862-4", "车工班配电柜" },
        { "D102", true, true, 0, 1, 40, 99999, 18500, 0, "2500", "DT862-4", "铣工班配电柜" },
        { "D103", true, true, 0, 2, 20, 99999, 9600, 0, "800", "DT862-4", "钳工班配电箱" },
        { "D104", true, false, 0, 0, 1, 99999, 4300, 10, "150", "DD862-4", "机加工车间照明" },
        { "D201", true, true, 1, 0, 80, 999999, 120000, 0, "6000", "DTSD341", "总装线主配电" },
        { "D202", true, true, 1, 1, 40, 99999, 35600, 0, "3000", "DT862-4", "部件装配线" },
        { "D203", true, false, 1, 0, 1, 99999, 8800, 10, "200", "DD862-4", "装配车间照明" },
        { "D301", true, true, 2, 0, 80, 999999, 250000, 0, "9000", "DTSD341", "总降压站" },
        { "D302", true, true, 2, 1, 40, 99999, 61000, 0, "4000", "DT862-4", "水泵房" },
        { "D303", true, true, 2, 0, 20, 99999, 15500, 0, "1500", "DT862-4", "空压机房" },
        { "D304", true, false, 2, 1, 1, 9999, 2100, 5, "100", "DD862-4", "动力车间照明" },
        { "D401", true, false, 3, 0, 10, 99999, 40200, 20, "1800", "DT862-4", "食堂厨房设备" },
        { "D402", true, false, 3, 1, 10, 99999, 38800, 20, "1500", "DT862-4", "宿舍一号楼" },
        { "D403", true, false, 3, 1, 10, 99999, 36100, 20, "1500", "DT862-4", "宿舍二号楼" },
        { "D404", true, false, 3, 2, 1, 9999, 5400, 0, "120", "DD862-4", "绿化灌溉泵" },
        { "D405", true, false, 3, 0, 1, 9999, 9500, 0, "0", "DD862-4", "食堂照明" },
        { "D105", true, true, 0, 2, 1, 9999, 9950, 0, "200", "DD862-4", "钳工班临时用电" },
        { "S104", false, true, 0, 0, 1, 9999, 9900, 0, "150", "LXS-25", "车工班冷却液" },
        { "D305", true, true, 2, 1, 20, 99999, 70500, 0, "0", "DT862-4", "备用变压器" },
    };
    const QDate installed(2024, 6, 1);
    for (const MeterDef &m : meters) {
        const qint64 sort = m.electric ? power : water;
        const qint64 price = m.electric ? (m.production ? powerWork : powerLight)
                                        : (m.production ? waterWork : waterLife);
        execSql(db,
                QStringLiteral("INSERT INTO Meter VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
                { QString::fromLatin1(m.number), m.multiple, shopIds.at(m.shop), price, m.base, sort,
                  yuan(m.quota), QString::fromLatin1(m.model), installed.toString(Qt::ISODate), m.maxBound,
                  m.subjoin, QString::fromUtf8(m.place), teamIds.at(m.shop).at(m.team) });
    }
    tx.commit();
}

void writeReadings(const QDate &lastDate)
{
    struct Counter
    {
        QString number;
        qint64 maxBound;
        qint64 value;
        qint64 stepPerReading;   // counter units between two readings, before jitter
    };

    QSqlDatabase db = Database::connection();
    // A fixed generator makes every demonstration database alike.
    std::minstd_rand random(20240601u);
    QList<Counter> counters;
    {
        QSqlQuery meters = execSql(db, QStringLiteral(
            "Select m.MeterNO, m.Multiple, m.BaseNumber, m.MaxBound, m.Quota, p.PriceNumber "
            "from Meter m join Price p on p.PriceID = m.PriceID order by m.MeterNO"));
        while (meters.next()) {
            const qint64 multiple = qMax<qint64>(1, meters.value(1).toLongLong());
            const qint64 quotaUnits = ChargeCalc::QuotaUnits(Currency::fromUnits(meters.value(4).toLongLong()),
                                                             Currency::fromUnits(meters.value(5).toLongLong()));
            // A month's use between 60 % and 150 % of the quota; meters without one use 2000 units.
            const qint64 monthly = quotaUnits > 0 ? quotaUnits * qint64(60 + random() % 91) / 100 : 2000;
            counters.append({ meters.value(0).toString(), meters.value(3).toLongLong(),
                              meters.value(2).toLongLong(), qMax<qint64>(1, monthly / 3 / multiple) });
        }
    }

    QList<QDate> dates;
    for (QDate d = lastDate; d > lastDate.addMonths(-3); d = d.addDays(-10))
        dates.prepend(d);

    TKelvaraMg manager;
    // Here a counter falls only when it has passed its maximum count.
    manager.SetRolloverConfirmation([](qint32, qint32) { return true; });
    ReadingStore store(manager);
    Transaction tx(db);
    for (const QDate &date : std::as_const(dates)) {
        store.setInputDate(date);
        for (Counter &c : counters) {
            const qint64 step = qMax<qint64>(1, c.stepPerReading * qint64(80 + random() % 41) / 100);
            qint64 next = c.value + step;
            if (next > c.maxBound)
                next -= c.maxBound;   // the rollover formula counts maxBound − value + next
            if (!store.write(c.number, qint32(next), date))
                throw DatabaseError(QStringLiteral("demonstration reading of %1 on %2 refused")
                                        .arg(c.number, date.toString(Qt::ISODate)));
            c.value = next;
        }
    }
    tx.commit();
}

}
