#include "ReportStatements.h"

#include "Database.h"
#include "Engine.h"

namespace ReportStatements {

namespace {

// First() keeps no collation on SQLite, so its names sort by their bytes there; a server's
// First() keeps the column's, which compares without regard to case: the bytes are asked for.
QString byteOrder(const QString &term)
{
    return Database::engine().byteOrder(term);
}

// Names group and sort as a file's name columns compare them, on either engine.
QString nameOrder(const QString &term)
{
    return Database::engine().nameOrder(term);
}

// A group of names differing in case alone is named by the least of them, character by
// character, whichever row the engine meets first.
QString classNames(const QString &workshop, const QString &sort, const QString &price)
{
    return QStringLiteral("Min(%1) AS WrokShopName, Min(%2) AS MeterSortName, Min(%3) AS PriceName")
        .arg(byteOrder(workshop + QStringLiteral(".WrokShopName")), byteOrder(sort + QStringLiteral(".MeterSortName")),
             byteOrder(price + QStringLiteral(".PriceName")));
}

QString classGroups(const QString &workshop, const QString &sort, const QString &price)
{
    return QStringList{ nameOrder(workshop + QStringLiteral(".WrokShopName")),
                        nameOrder(sort + QStringLiteral(".MeterSortName")),
                        nameOrder(price + QStringLiteral(".PriceName")) }
        .join(QStringLiteral(", "));
}

}

QString SqlMeterSelect()
{
    return QStringLiteral(
        "SELECT First(WorkShop.WrokShopName) AS F_WrokShopName,TakeMeter.MeterID AS F_MeterID,     "
        "First(MeterSort.MeterSortName) AS F_MeterSortNameSum, Sum(TakeMeter.CurValue) AS F_CurValue,      "
        "Sum(TakeMeter.Charge) AS F_Charge,      Sum(TakeMeter.QuotaCharge) AS F_QuotaCharge, "
        "First(Price.PriceNumber) AS F_PriceNumber,   First(Price.ExceedPrice) AS F_ExceedPrice,   "
        "Max(TakeMeter.TakeNumber) AS F_TakeNumber,  First(Meter.Quota) AS F_Quota,              "
        "First(Meter.BaseNumber) AS F_BaseNumber,   Sum(Meter.SubjoinNumber) AS F_SubjoinNumber,"
        "First(Meter.Multiple) AS F_Multiple,           "
        "sum(TakeMeter.Charge + TakeMeter.QuotaCharge) as F_ChargeTotal ");
}

QString SqlMeterTailAll()
{
    return QStringLiteral(
        "FROM WorkShop INNER JOIN (((MeterSort INNER JOIN Price ON MeterSort.MeterSortID = Price.MeterSortID) "
        "INNER JOIN Meter ON (Price.PriceID = Meter.PriceID) AND (MeterSort.MeterSortID = Meter.MeterSort)) "
        "INNER JOIN TakeMeter ON Meter.MeterNO = TakeMeter.MeterID) ON WorkShop.WrokShopID = Meter.WorkShopID "
        "WHERE  (((TakeMeter.TakeTime)>=:StartDate And (TakeMeter.TakeTime)<=:EndDate)) "
        "GROUP BY   TakeMeter.MeterID HAVING (((Last(WorkShop.WorkShopLevel))=2))    "
        "ORDER BY ") + byteOrder(QStringLiteral("First(WorkShop.WrokShopName)"));
}

QString SqlMeterTailWorkshop()
{
    return QStringLiteral(
        " FROM (((MeterSort INNER JOIN Price ON MeterSort.MeterSortID = Price.MeterSortID) "
        "INNER JOIN Meter ON (Price.PriceID = Meter.PriceID) AND (MeterSort.MeterSortID = Meter.MeterSort)) "
        "INNER JOIN TakeMeter ON Meter.MeterNO = TakeMeter.MeterID) "
        "INNER JOIN WorkShop ON Meter.SubWorkShopID = WorkShop.WrokShopID "
        "WHERE (((TakeMeter.TakeTime)>=:StartDate And (TakeMeter.TakeTime)<=:EndDate)) "
        "GROUP BY TakeMeter.MeterID           "
        "HAVING (((Last(WorkShop.WorkShopLevel))<>1) AND ((First(Meter.WorkShopID))=:WorkShopID))  "
        "ORDER BY ") + byteOrder(QStringLiteral("First(WorkShop.WrokShopName)"));
}

QString SqlClassSummary()
{
    return QStringLiteral(
        " SELECT ") + classNames(QStringLiteral("WorkShop"), QStringLiteral("MeterSort"), QStringLiteral("Price"))
        + QStringLiteral(", "
        "First(Price.PriceNumber) AS F_PriceNumber,     First(Price.ExceedPrice) AS F_ExceedPrice,     "
        "Sum(TakeMeter.CurValue) AS F_CurValue,         Sum(TakeMeter.Charge) AS F_Charge,             "
        "Sum(TakeMeter.QuotaCharge) AS F_QuotaCharge,   Sum(Meter.Quota) AS F_Quota ,                  "
        "sum(TakeMeter.Charge + TakeMeter.QuotaCharge) as F_ChargeTotal, "
        "Sum(Meter.SubjoinNumber) AS F_SubjoinNumber "
        "FROM WorkShop INNER JOIN (((Price INNER JOIN MeterSort ON Price.MeterSortID = MeterSort.MeterSortID) \t"
        "INNER JOIN Meter ON (Price.PriceID = Meter.PriceID) AND                       \t"
        "(MeterSort.MeterSortID = Meter.MeterSort)) INNER JOIN TakeMeter ON             \t"
        "Meter.MeterNO = TakeMeter.MeterID) ON WorkShop.WrokShopID = Meter.WorkShopID "
        "WHERE  (((TakeMeter.TakeTime)>=:StartDate And (TakeMeter.TakeTime)<=:EndDate))              "
        "GROUP BY ") + classGroups(QStringLiteral("WorkShop"), QStringLiteral("MeterSort"), QStringLiteral("Price"))
        + QStringLiteral(" ORDER BY ") + nameOrder(QStringLiteral("WorkShop.WrokShopName"));
}

QString joinedStatement(Kind kind)
{
    switch (kind) {
    case Kind::Summary:
        return Database::engine().checkedSums(SqlMeterSelect() + SqlMeterTailAll());
    case Kind::Detail:
        return Database::engine().checkedSums(SqlMeterSelect() + SqlMeterTailWorkshop());
    case Kind::Classes:
        return Database::engine().checkedSums(SqlClassSummary());
    }
    return {};
}

namespace {

// The meters in MeterNO order, each with its readings of the period read from the covering
// index (MeterID, TakeTime, ...): one seek per meter, no reading table row touched, and groups
// that arrive already in order, so nothing but the finished rows is sorted.
const char *const meterReadings =
    "FROM Meter m CROSS JOIN TakeMeter t "
    "WHERE t.MeterID = m.MeterNO AND t.TakeTime >= :StartDate AND t.TakeTime <= :EndDate ";

}

QString SqlMeterByMeter(Kind kind)
{
    // Meter, price, type and workshop are one row each per meter, so their First() and Last()
    // are the joined row's own values and the level condition can be tested before grouping.
    // A meter's readings carry its number as registered: grouping by it as well splits no group.
    // First() of the joined statement has no collation: its order compares names as bytes.
    const bool detail = kind == Kind::Detail;
    return QStringLiteral(
               "SELECT w.WrokShopName AS F_WrokShopName, r.MeterID AS F_MeterID, "
               "s.MeterSortName AS F_MeterSortNameSum, r.CurValue AS F_CurValue, r.Charge AS F_Charge, "
               "r.QuotaCharge AS F_QuotaCharge, p.PriceNumber AS F_PriceNumber, p.ExceedPrice AS F_ExceedPrice, "
               "r.TakeNumber AS F_TakeNumber, m.Quota AS F_Quota, m.BaseNumber AS F_BaseNumber, "
               "m.SubjoinNumber * r.Readings AS F_SubjoinNumber, m.Multiple AS F_Multiple, "
               "r.ChargeTotal AS F_ChargeTotal "
               "FROM (SELECT m.MeterNO, t.MeterID, count(*) AS Readings, Sum(t.CurValue) AS CurValue, "
               "Sum(t.Charge) AS Charge, Sum(t.QuotaCharge) AS QuotaCharge, Max(t.TakeNumber) AS TakeNumber, "
               "Sum(t.Charge + t.QuotaCharge) AS ChargeTotal ")
        + QLatin1String(meterReadings)
        + (detail ? QStringLiteral("AND m.WorkShopID = :WorkShopID ") : QString())
        + QStringLiteral(
               "GROUP BY m.MeterNO, t.MeterID) r "
               "JOIN Meter m ON m.MeterNO = r.MeterNO "
               "JOIN Price p ON p.PriceID = m.PriceID "
               "JOIN MeterSort s ON s.MeterSortID = p.MeterSortID AND s.MeterSortID = m.MeterSort ")
        + (detail ? QStringLiteral("JOIN Workshop w ON w.WrokShopID = m.SubWorkShopID WHERE w.WorkShopLevel <> 1 ")
                  : QStringLiteral("JOIN Workshop w ON w.WrokShopID = m.WorkShopID WHERE w.WorkShopLevel = 2 "))
        // A workshop's meters in the order of their numbers, as grouping by meter leaves them.
        + QStringLiteral("ORDER BY ") + byteOrder(QStringLiteral("w.WrokShopName")) + QStringLiteral(", ")
        + nameOrder(QStringLiteral("r.MeterNO"));
}

QString SqlClassByMeter()
{
    // Sums of per-meter sums are the sums of the readings; a meter's quota and additional
    // quantity count once per reading.
    return QStringLiteral(
               "SELECT ") + classNames(QStringLiteral("w"), QStringLiteral("s"), QStringLiteral("p"))
        + QStringLiteral(", "
               "First(p.PriceNumber) AS F_PriceNumber, First(p.ExceedPrice) AS F_ExceedPrice, "
               "Sum(r.CurValue) AS F_CurValue, Sum(r.Charge) AS F_Charge, Sum(r.QuotaCharge) AS F_QuotaCharge, "
               "Sum(m.Quota * r.Readings) AS F_Quota, Sum(r.ChargeTotal) AS F_ChargeTotal, "
               "Sum(m.SubjoinNumber * r.Readings) AS F_SubjoinNumber "
               "FROM (SELECT m.MeterNO, count(*) AS Readings, Sum(t.CurValue) AS CurValue, "
               "Sum(t.Charge) AS Charge, Sum(t.QuotaCharge) AS QuotaCharge, "
               "Sum(t.Charge + t.QuotaCharge) AS ChargeTotal ")
        + QLatin1String(meterReadings)
        + QStringLiteral(
               "GROUP BY m.MeterNO) r "
               "JOIN Meter m ON m.MeterNO = r.MeterNO "
               "JOIN Price p ON p.PriceID = m.PriceID "
               "JOIN MeterSort s ON s.MeterSortID = p.MeterSortID AND s.MeterSortID = m.MeterSort "
               "JOIN Workshop w ON w.WrokShopID = m.WorkShopID "
               "GROUP BY ") + classGroups(QStringLiteral("w"), QStringLiteral("s"), QStringLiteral("p"))
        + QStringLiteral(" ORDER BY ") + classGroups(QStringLiteral("w"), QStringLiteral("s"), QStringLiteral("p"));
}

QString statement(Kind kind)
{
    return Database::engine().checkedSums(kind == Kind::Classes ? SqlClassByMeter() : SqlMeterByMeter(kind));
}

QVariantMap params(const QDate &start, const QDate &end, qint64 workshopId)
{
    return { { QStringLiteral("StartDate"), start.toString(Qt::ISODate) },
             { QStringLiteral("EndDate"), end.toString(Qt::ISODate) },
             { QStringLiteral("WorkShopID"), workshopId } };
}

QString SqlWorkshopList()
{
    // In the order of entry on either engine: a server keeps no order of its own.
    return QStringLiteral("Select WrokShopID, WrokShopName from WorkShop Where WorkShopLevel = 2 order by WrokShopID");
}

QString title(Kind kind)
{
    switch (kind) {
    case Kind::Summary:
        return QStringLiteral("汇总报表");
    case Kind::Detail:
        return QStringLiteral("车间明细报表");
    case Kind::Classes:
        return QStringLiteral("车间汇总表");
    }
    return {};
}

QString periodLine(Kind kind, const QString &startText, const QString &endText, const QString &workshop)
{
    const QString period = QStringLiteral("报表时间：自 ") + startText + QStringLiteral(" 至 ") + endText;
    if (kind == Kind::Detail)
        return QStringLiteral("车间：") + workshop + QStringLiteral("   ") + period;
    return period;
}

namespace {

ReportColumn column(const char *field, const QString &caption, int width, ReportColumn::Format format,
                    ReportColumn::Footer footer = ReportColumn::FooterSum)
{
    ReportColumn c;
    c.field = QString::fromLatin1(field);
    c.caption = caption;
    c.width = width;
    c.format = format;
    c.footer = footer;
    return c;
}

}

QList<ReportColumn> columns(Kind kind)
{
    using C = ReportColumn;
    if (kind == Kind::Classes) {
        QList<ReportColumn> list{
            column("WrokShopName", QStringLiteral("车间名称"), 100, C::Text, C::FooterText),
            column("MeterSortName", QStringLiteral("类型"), 60, C::Text, C::NoFooter),
            column("F_CurValue", QStringLiteral("使用数量|实用数量"), 65, C::Integer),
            column("F_SubjoinNumber", QStringLiteral("使用数量|附加数量"), 65, C::Integer),
            column("PriceName", QStringLiteral("单价(元)|单价名称"), 70, C::Text, C::NoFooter),
            column("F_PriceNumber", QStringLiteral("单价(元)|单价"), 65, C::Price),
            column("F_ExceedPrice", QStringLiteral("单价(元)|超出部分单价"), 80, C::Price),
            column("F_ChargeTotal", QStringLiteral("费用(元)|费用合计"), 70, C::Amount),
            column("F_Charge", QStringLiteral("费用(元)|计划内费用"), 70, C::Amount),
            column("F_QuotaCharge", QStringLiteral("费用(元)|超支费用"), 60, C::Amount),
            column("F_Quota", QStringLiteral("费用(元)|限额费用"), 65, C::Amount),
        };
        list[0].footerText = QStringLiteral("统计");
        return list;
    }
    const bool detail = kind == Kind::Detail;
    QList<ReportColumn> list{
        column("F_WrokShopName", detail ? QStringLiteral("班组名称") : QStringLiteral("车间名称"), detail ? 80 : 100,
               C::Text, C::FooterText),
        column("F_MeterID", QStringLiteral("表编号"), 0, C::Text, C::NoFooter),
        column("F_MeterSortNameSum", QStringLiteral("表类别"), 65, C::Text, C::NoFooter),
        column("F_CurValue", QStringLiteral("使用数量"), 65, C::Integer),
        column("F_ChargeTotal", QStringLiteral("费用统计(元)|总费用"), 90, C::Amount),
        column("F_Charge", QStringLiteral("费用统计(元)|计划内费用"), 80, C::Amount),
        column("F_QuotaCharge", QStringLiteral("费用统计(元)|超支费用"), 65, C::Amount),
        column("F_Quota", QStringLiteral("费用统计(元)|限额费用"), 0, C::Amount),
        column("F_PriceNumber", QStringLiteral("单价(元)|单价"), 60, C::Price),
        column("F_ExceedPrice", QStringLiteral("单价(元)|超出部分单价"), 80, C::Price),
        column("F_TakeNumber", QStringLiteral("最后抄表数"), 60, C::Integer),
        column("F_BaseNumber", QStringLiteral("安装基数"), 65, C::Integer),
        column("F_SubjoinNumber", QStringLiteral("附加数量"), 40, C::Integer),
        column("F_Multiple", QStringLiteral("倍率"), 30, C::Integer),
    };
    list[0].footerText = QStringLiteral("统计");
    list[4].footerColor = QColor(Qt::red);
    return list;
}

QString unusualTitle()
{
    return QStringLiteral("异常读数");
}

QList<ReportColumn> unusualColumns()
{
    using C = ReportColumn;
    return {
        column("MeterID", QStringLiteral("表编号"), 0, C::Text, C::NoFooter),
        column("TakeTime", QStringLiteral("抄表时间"), 85, C::Text, C::NoFooter),
        column("TakeNumber", QStringLiteral("当前表数"), 80, C::Integer, C::NoFooter),
        column("CurValue", QStringLiteral("使用数量"), 75, C::Integer, C::NoFooter),
        column("Days", QStringLiteral("间隔天数"), 60, C::Integer, C::NoFooter),
        column("PerDay", QStringLiteral("日均"), 70, C::Text, C::NoFooter),
        column("Usual", QStringLiteral("近期日均"), 70, C::Text, C::NoFooter),
        column("Reason", QStringLiteral("说明"), 90, C::Text, C::NoFooter),
    };
}

}
