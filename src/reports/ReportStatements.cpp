#include "ReportStatements.h"

namespace ReportStatements {

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
        "ORDER BY First(WorkShop.WrokShopName)");
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
        "ORDER BY First(WorkShop.WrokShopName)");
}

QString SqlClassSummary()
{
    return QStringLiteral(
        " SELECT  WorkShop.WrokShopName,    MeterSort.MeterSortName,  Price.PriceName,          "
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
        "GROUP BY WorkShop.WrokShopName, MeterSort.MeterSortName, Price.PriceName             "
        "ORDER BY WorkShop.WrokShopName");
}

QString statement(Kind kind)
{
    switch (kind) {
    case Kind::Summary:
        return SqlMeterSelect() + SqlMeterTailAll();
    case Kind::Detail:
        return SqlMeterSelect() + SqlMeterTailWorkshop();
    case Kind::Classes:
        return SqlClassSummary();
    }
    return {};
}

QVariantMap params(const QDate &start, const QDate &end, qint64 workshopId)
{
    return { { QStringLiteral("StartDate"), start.toString(Qt::ISODate) },
             { QStringLiteral("EndDate"), end.toString(Qt::ISODate) },
             { QStringLiteral("WorkShopID"), workshopId } };
}

QString SqlWorkshopList()
{
    return QStringLiteral("Select WrokShopID, WrokShopName from WorkShop Where WorkShopLevel = 2");
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

}
