#include "Generator.h"

#include "ChargeCalc.h"
#include "Currency.h"
#include "Database.h"
#include "Engine.h"
#include "Password.h"
#include "Schema.h"

#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <random>
#include <vector>

namespace BenchGenerator {

namespace {

const QString connectionName = QStringLiteral("kelvara-bench-generator");

qint64 insertRow(QSqlDatabase &db, const QString &sql, const QVariantList &values)
{
    return execSql(db, sql, values).lastInsertId().toLongLong();
}

qint64 yuan(double amount)
{
    return qRound64(amount * 10000.0);
}

struct Price
{
    qint64 id;
    qint64 sort;
    qint64 price;
    qint64 exceed;
};

struct MeterState
{
    QString number;
    qint64 multiple;
    qint64 maxBound;
    qint64 subjoin;
    Currency price;
    Currency exceedPrice;
    Currency quota;
    qint64 quotaUnits;
    qint64 dailyStep;       // counter units a day, before the day's jitter
    qint64 counter;         // the last counter value read (the base before the first reading)
    qint64 monthUsed = 0;   // consumption and additional quantities of the month so far
};

}

QString meterNumber(int index)
{
    // Two meters in five measure water, the others electricity.
    return (index % 5 < 2 ? QStringLiteral("S") : QStringLiteral("D")) + QStringLiteral("%1").arg(index + 1, 5, 10, QLatin1Char('0'));
}

QDate lastDay(const Options &options)
{
    return options.firstDay.addDays(options.days - 1);
}

void generate(const QString &file, const Options &options, const std::function<void(int)> &progress)
{
    if (QFileInfo::exists(file))
        throw DatabaseError(QStringLiteral("%1 exists already").arg(file));
    std::mt19937 random(options.randomStart);
    auto between = [&](int low, int high) { return low + int(random() % quint32(high - low + 1)); };

    QSqlDatabase db = Database::open(file, connectionName, Database::OpenMode::Create);
    try {
        const Engine &engine = Engine::of(db);
        for (const QString &sql : engine.tableStatements() + engine.versionStatements())
            execSql(db, sql);
        // The readings are loaded without a journal and indexed afterwards, which sorts each
        // index once instead of inserting into it row by row.
        execSql(db, QStringLiteral("PRAGMA journal_mode = OFF"));
        execSql(db, QStringLiteral("PRAGMA synchronous = OFF"));
        execSql(db, QStringLiteral("PRAGMA cache_size = -131072"));
        QStringList readingIndexes;
        for (const QString &sql : engine.indexStatements()) {
            if (sql.contains(QStringLiteral(" ON TakeMeter ")))
                readingIndexes << sql;
            else
                execSql(db, sql);
        }

        Transaction tx(db);
        const QString unit = QStringLiteral("华北重型机械集团");
        execSql(db, QStringLiteral("INSERT INTO CnfgPara VALUES (?, ?)"), { unit, PasswordForStorage(QStringLiteral("1234")) });
        execSql(db, QStringLiteral("INSERT INTO Workshop VALUES (1, ?, 0, ?, 0)"), { unit, unit });
        const QString unitSql = QStringLiteral(
            "INSERT INTO Workshop (WrokShopName, WorkShopLevel, WrokShopMemo, ResideWorkShopID) VALUES (?, ?, ?, ?)");
        const QStringList divisions = { QStringLiteral("生产部"), QStringLiteral("动力部"), QStringLiteral("后勤部"),
                                        QStringLiteral("研发中心"), QStringLiteral("销售公司") };
        const QStringList shopKinds = { QStringLiteral("机加工"), QStringLiteral("装配"), QStringLiteral("铸造"),
                                        QStringLiteral("锻压"), QStringLiteral("热处理"), QStringLiteral("焊接"),
                                        QStringLiteral("涂装"), QStringLiteral("动力") };
        const QStringList teamKinds = { QStringLiteral("甲班"), QStringLiteral("乙班"), QStringLiteral("丙班"),
                                        QStringLiteral("维修班") };
        // About one workshop for fifty meters, four teams each; a few meters hang directly
        // below a division, where the summary report leaves them out.
        const int shops = qMax(2, options.meters / 50);
        QList<qint64> divisionIds, shopIds;
        QList<QList<qint64>> teamIds;
        for (const QString &d : divisions)
            divisionIds << insertRow(db, unitSql, { d, 1, d + QStringLiteral("管理"), 1 });
        for (int s = 0; s < shops; ++s) {
            const QString name = QStringLiteral("第%1%2车间").arg(s / shopKinds.size() + 1).arg(shopKinds.at(s % shopKinds.size()));
            const qint64 shop = insertRow(db, unitSql, { name, 2, name + QStringLiteral("生产"), divisionIds.at(s % 3) });
            shopIds << shop;
            QList<qint64> teams;
            for (const QString &t : teamKinds)
                teams << insertRow(db, unitSql, { name.chopped(2) + t, 3, t, shop });
            teamIds << teams;
        }

        const QString sortSql = QStringLiteral("INSERT INTO MeterSort (MeterSortName, MeterSortMemo) VALUES (?, ?)");
        const qint64 water = insertRow(db, sortSql, { QStringLiteral("水表"), QStringLiteral("自来水计量") });
        const qint64 power = insertRow(db, sortSql, { QStringLiteral("电表"), QStringLiteral("电能计量") });
        const QString priceSql = QStringLiteral(
            "INSERT INTO Price (PriceName, PriceNumber, ExceedPrice, MeterSortID) VALUES (?, ?, ?, ?)");
        QList<Price> waterPrices, powerPrices;
        auto addPrice = [&](QList<Price> &list, const QString &name, double p, double x, qint64 sort) {
            list.append({ insertRow(db, priceSql, { name, yuan(p), yuan(x), sort }), sort, yuan(p), yuan(x) });
        };
        addPrice(waterPrices, QStringLiteral("生产用水"), 2.5, 3.75, water);
        addPrice(waterPrices, QStringLiteral("生活用水"), 1.8, 2.7, water);
        addPrice(powerPrices, QStringLiteral("生产用电"), 0.65, 0.98, power);
        addPrice(powerPrices, QStringLiteral("照明用电"), 0.52, 0.0, power);
        addPrice(powerPrices, QStringLiteral("峰时用电"), 0.95, 1.42, power);

        const QString meterSql = QStringLiteral("INSERT INTO Meter VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
        std::vector<MeterState> meters;
        meters.reserve(size_t(options.meters));
        for (int i = 0; i < options.meters; ++i) {
            const bool isWater = i % 5 < 2;
            const Price &price = isWater ? waterPrices.at(i % 7 == 0 ? 1 : 0) : powerPrices.at(i % 3);
            const int shop = i % shops;
            const qint64 team = teamIds.at(shop).at((i / shops) % teamKinds.size());
            const qint64 owner = i % 97 == 5 ? divisionIds.at(i % divisionIds.size()) : shopIds.at(shop);
            const qint64 multiple = isWater ? (i % 11 == 0 ? 10 : 1) : QList<qint64>{ 1, 10, 20, 40, 80 }.at(i % 5);
            // One meter in eight has a small counter that passes its maximum every year or so.
            const qint64 maxBound = i % 8 == 3 ? 9999 : (isWater ? 99999 : 999999);
            const qint64 base = between(0, int(maxBound / 2));
            const qint64 subjoin = i % 6 == 0 ? between(1, 20) : 0;
            // Monthly use between 50 and 150 units of the multiplied counter, in quota units.
            const qint64 monthlyUnits = isWater ? between(300, 3000) : between(2000, 60000);
            const qint64 quota = i % 13 == 0 ? 0 : price.price * monthlyUnits * between(80, 120) / 100;
            MeterState m;
            m.number = meterNumber(i);
            m.multiple = multiple;
            m.maxBound = maxBound;
            m.subjoin = subjoin;
            m.price = Currency::fromUnits(price.price);
            m.exceedPrice = Currency::fromUnits(price.exceed);
            m.quota = Currency::fromUnits(quota);
            m.quotaUnits = ChargeCalc::QuotaUnits(m.quota, m.price);
            m.dailyStep = qMax<qint64>(1, monthlyUnits / 30 / multiple);
            if (maxBound == 9999)
                m.dailyStep = qMax<qint64>(m.dailyStep, between(20, 40));
            m.counter = base;
            execSql(db, meterSql,
                    { m.number, multiple, owner, price.id, base, price.sort, quota,
                      isWater ? QStringLiteral("LXS-%1").arg(i % 4 * 25 + 25) : QStringLiteral("DT862-%1").arg(i % 3 + 2),
                      options.firstDay.addDays(-between(30, 900)).toString(Qt::ISODate), maxBound, subjoin,
                      QStringLiteral("%1号厂房%2轴").arg(i % 40 + 1).arg(i % 26 + 1), team });
            meters.push_back(m);
        }

        QSqlQuery insert(db);
        if (!insert.prepare(QStringLiteral("INSERT INTO TakeMeter (MeterID, TakeNumber, CurValue, Charge, QuotaCharge, "
                                           "TakeTime, InputDate) VALUES (?, ?, ?, ?, ?, ?, ?)")))
            throw DatabaseError::fromSqlError(insert.lastError());
        for (int day = 0; day < options.days; ++day) {
            const QDate date = options.firstDay.addDays(day);
            const QString dateText = date.toString(Qt::ISODate);
            // Readings are typed in on the day or the day after.
            const QString inputText = date.addDays(day % 3 == 2 ? 1 : 0).toString(Qt::ISODate);
            const bool newMonth = date.day() == 1;
            for (MeterState &m : meters) {
                if (newMonth)
                    m.monthUsed = 0;
                const qint64 step = qMax<qint64>(1, m.dailyStep * between(60, 140) / 100);
                qint64 next = m.counter + step;
                const bool rollover = next > m.maxBound;
                if (rollover)
                    next -= m.maxBound;   // maxBound − previous + next is the step again
                const qint64 consumption = *ChargeCalc::Consumption(m.counter, next, m.maxBound, m.multiple, rollover);
                ChargeCalc::SplitInput in;
                in.curValue = consumption;
                in.subjoin = m.subjoin;
                in.price = m.price;
                in.exceedPrice = m.exceedPrice;
                in.quota = m.quota;
                in.quotaUnits = m.quotaUnits;
                in.usedInMonth = m.monthUsed;
                const ChargeCalc::Split split = *ChargeCalc::SplitCharge(in);
                insert.bindValue(0, m.number);
                insert.bindValue(1, next);
                insert.bindValue(2, consumption);
                insert.bindValue(3, split.charge.units());
                insert.bindValue(4, split.quotaCharge.units());
                insert.bindValue(5, dateText);
                insert.bindValue(6, inputText);
                if (!insert.exec())
                    throw DatabaseError::fromSqlError(insert.lastError());
                m.counter = next;
                m.monthUsed += consumption + m.subjoin;
            }
            if (progress)
                progress(day + 1);
        }
        insert.finish();
        for (const QString &sql : std::as_const(readingIndexes))
            execSql(db, sql);
        tx.commit();
        execSql(db, QStringLiteral("PRAGMA journal_mode = WAL"));
    } catch (...) {
        db = QSqlDatabase();
        Database::close(connectionName);
        throw;
    }
    db = QSqlDatabase();
    Database::close(connectionName);
}

}
