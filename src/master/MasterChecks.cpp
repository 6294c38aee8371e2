#include "MasterChecks.h"

#include "DataSet.h"
#include "Database.h"
#include "UCommon.h"
#include "WorkshopTree.h"

#include <QSqlQuery>

#include <limits>

namespace MasterSql {

QString meterNumberTaken()
{
    // Numbers compare as MeterKey, case-folded for every letter; the meter's own stored number
    // does not count, so a meter may change the case of its number.
    return QStringLiteral("Select count(*) from Meter where MeterKey(MeterNO) = MeterKey(?) and (cast(? as text) is null or MeterNO <> ?)");
}

QString sortExists()
{
    return QStringLiteral("Select count(*) from MeterSort where MeterSortID = ?");
}

QString sortOfPrice()
{
    return QStringLiteral("Select MeterSortID from Price where PriceID = ?");
}

QString workshopRow()
{
    return QStringLiteral("Select WorkShopLevel, ResideWorkShopID from Workshop where WrokShopID = ?");
}

QString meterReadings()
{
    return QStringLiteral("Select count(*) from TakeMeter where MeterID = ?");
}

QString meterExchanges()
{
    return QStringLiteral("Select count(*) from MeterExchange where MeterID = ?");
}

QString sortUsers()
{
    return QStringLiteral("Select (Select count(*) from Price where MeterSortID = ?)"
                          " + (Select count(*) from Meter where MeterSort = ?)");
}

QString metersOfOtherSort()
{
    return QStringLiteral("Select count(*) from Meter where PriceID = ? and MeterSort is distinct from ?");
}

QString priceUsers()
{
    return QStringLiteral("Select count(*) from Meter where PriceID = ?");
}

}

namespace MasterChecks {

namespace {

using WorkshopTree::TeamLevel;
using WorkshopTree::WorkshopLevel;

qint64 count(const QSqlDatabase &db, const QString &sql, const QVariantList &values)
{
    return scalar(db, sql, values).toLongLong();
}

bool blank(const QVariant &value)
{
    return value.isNull() || TrimBlanks(value.toString()).isEmpty();
}

// A number present and within [low, high].
bool within(const QVariant &value, qint64 low, qint64 high)
{
    if (value.isNull())
        return false;
    const qint64 n = value.toLongLong();
    return n >= low && n <= high;
}

}

QString OutOfRangeText(const QString &label)
{
    return QStringLiteral("数值超出范围：") + label;
}

QString checkMeter(const QSqlDatabase &db, const DataSet &meter, const QVariant &storedNumber)
{
    const QVariant number = meter.value(QStringLiteral("MeterNO"));
    if (blank(number))
        return QStringLiteral("表编号不能为空！");
    if (count(db, MasterSql::meterNumberTaken(), { number, storedNumber, storedNumber }) > 0)
        return QStringLiteral("表编号已存在！");

    const QVariant sort = meter.value(QStringLiteral("MeterSort"));
    if (sort.isNull() || count(db, MasterSql::sortExists(), { sort }) == 0)
        return QStringLiteral("请选择表类型！");

    const QVariant price = meter.value(QStringLiteral("PriceID"));
    const QVariant priceSort = price.isNull() ? QVariant() : scalar(db, MasterSql::sortOfPrice(), { price });
    if (priceSort.isNull() || priceSort.toLongLong() != sort.toLongLong())
        return QStringLiteral("执行单价与表类型不符！");

    const QVariant workshop = meter.value(QStringLiteral("WorkShopID"));
    bool isWorkshop = false;
    if (!workshop.isNull()) {
        QSqlQuery q = execSql(db, MasterSql::workshopRow(), { workshop });
        isWorkshop = q.next() && q.value(0).toInt() == WorkshopLevel;
    }
    if (!isWorkshop)
        return QStringLiteral("请选择所属车间！");

    const QVariant team = meter.value(QStringLiteral("SubWorkShopID"));
    if (!team.isNull()) {
        QSqlQuery q = execSql(db, MasterSql::workshopRow(), { team });
        if (!q.next() || q.value(0).toInt() != TeamLevel || q.value(1).toLongLong() != workshop.toLongLong())
            return QStringLiteral("所属班组不属于所属车间！");
    }

    constexpr qint64 most = std::numeric_limits<qint64>::max();
    const QVariant maxBound = meter.value(QStringLiteral("MaxBound"));
    if (!within(meter.value(QStringLiteral("Multiple")), 1, most))
        return OutOfRangeText(QStringLiteral("倍率"));
    if (!within(maxBound, 1, most))
        return OutOfRangeText(QStringLiteral("最大计数"));
    if (!within(meter.value(QStringLiteral("BaseNumber")), 0, maxBound.toLongLong()))
        return OutOfRangeText(QStringLiteral("安装基数"));
    if (!within(meter.value(QStringLiteral("Quota")), 0, most))
        return OutOfRangeText(QStringLiteral("费用定额"));
    if (!within(meter.value(QStringLiteral("SubjoinNumber")), 0, most))
        return OutOfRangeText(QStringLiteral("附加数量"));
    return {};
}

QString checkSort(const DataSet &sort)
{
    if (blank(sort.value(QStringLiteral("MeterSortName"))))
        return QStringLiteral("类型名称不能为空！");
    return {};
}

QString checkPrice(const QSqlDatabase &db, const DataSet &price)
{
    if (blank(price.value(QStringLiteral("PriceName"))))
        return QStringLiteral("单价名称不能为空！");
    const QVariant sort = price.value(QStringLiteral("MeterSortID"));
    if (sort.isNull() || count(db, MasterSql::sortExists(), { sort }) == 0)
        return QStringLiteral("请选择表类型！");
    // A price keeps the type of the meters that apply it.
    const QVariant id = price.value(QStringLiteral("PriceID"));
    if (!id.isNull() && count(db, MasterSql::metersOfOtherSort(), { id, sort }) > 0)
        return QStringLiteral("执行单价与表类型不符！");
    constexpr qint64 most = std::numeric_limits<qint64>::max();
    if (!within(price.value(QStringLiteral("PriceNumber")), 0, most))
        return OutOfRangeText(QStringLiteral("单价"));
    // No price beyond the quota charges that part at the unit price.
    const QVariant exceed = price.value(QStringLiteral("ExceedPrice"));
    if (!exceed.isNull() && !within(exceed, 0, most))
        return OutOfRangeText(QStringLiteral("超出部分单价"));
    return {};
}

QString checkMeterDelete(const QSqlDatabase &db, const QVariant &number)
{
    if (!number.isNull() && count(db, MasterSql::meterReadings(), { number }) > 0)
        return QStringLiteral("该表已有抄表记录，不能删除！");
    if (!number.isNull() && count(db, MasterSql::meterExchanges(), { number }) > 0)
        return QStringLiteral("该表已有换表记录，不能删除！");
    return {};
}

QString checkSortDelete(const QSqlDatabase &db, const QVariant &id)
{
    if (!id.isNull() && count(db, MasterSql::sortUsers(), { id, id }) > 0)
        return QStringLiteral("该类型已被使用，不能删除！");
    return {};
}

QString checkPriceDelete(const QSqlDatabase &db, const QVariant &id)
{
    if (!id.isNull() && count(db, MasterSql::priceUsers(), { id }) > 0)
        return QStringLiteral("该单价已被使用，不能删除！");
    return {};
}

void install(DataSet *set, Check beforePost, Check beforeDelete)
{
    const auto refuse = [](const Check &check) {
        const QString message = check();
        if (message.isEmpty())
            return;
        KelvaraMg->ShowMessageText(message);
        throw AbortError();
    };
    set->setBeforePost([refuse, check = std::move(beforePost)] { refuse(check); });
    set->setBeforeDelete([refuse, check = std::move(beforeDelete)] { refuse(check); });
}

void installSortChecks(DataSet *adoMeterSort)
{
    install(
        adoMeterSort, [adoMeterSort] { return checkSort(*adoMeterSort); },
        [adoMeterSort] {
            return checkSortDelete(adoMeterSort->database(), adoMeterSort->value(QStringLiteral("MeterSortID")));
        });
}

void installPriceChecks(DataSet *adoPrice)
{
    install(
        adoPrice, [adoPrice] { return checkPrice(adoPrice->database(), *adoPrice); },
        [adoPrice] { return checkPriceDelete(adoPrice->database(), adoPrice->value(QStringLiteral("PriceID"))); });
}

}
