// NumberedReport.h: a report of n numbered rows made by the database itself, for grid and printer tests.
#pragma once

#include "Database.h"
#include "ReportModel.h"

namespace NumberedReport {

// Row x: name "row x", code "Cxxxx", value x, total x × 1.2345, part x × 0.005, price 2.5.
inline QList<ReportColumn> columns(int designedWidth = 0)
{
    auto column = [&](const char *field, const char *caption, ReportColumn::Format format, ReportColumn::Footer footer) {
        ReportColumn c;
        c.field = QString::fromLatin1(field);
        c.caption = QString::fromUtf8(caption);
        c.width = designedWidth;
        c.format = format;
        c.footer = footer;
        return c;
    };
    QList<ReportColumn> list{
        column("F_Name", "名称", ReportColumn::Text, ReportColumn::FooterText),
        column("F_Code", "编号", ReportColumn::Text, ReportColumn::NoFooter),
        column("F_Value", "数量", ReportColumn::Integer, ReportColumn::FooterSum),
        column("F_Total", "费用(元)|合计", ReportColumn::Amount, ReportColumn::FooterSum),
        column("F_Part", "费用(元)|部分", ReportColumn::Amount, ReportColumn::FooterSum),
        column("F_Price", "单价", ReportColumn::Price, ReportColumn::FooterSum),
    };
    list[0].footerText = QStringLiteral("统计");
    list[3].footerColor = QColor(Qt::red);
    return list;
}

inline QString statement()
{
    return QStringLiteral(
        "WITH RECURSIVE n(x) AS (SELECT 1 WHERE :Count > 0 UNION ALL SELECT x + 1 FROM n WHERE x < :Count) "
        "SELECT 'row ' || x AS F_Name, printf('C%04d', x) AS F_Code, x AS F_Value, x * 12345 AS F_Total, "
        "x * 50 AS F_Part, 25000 AS F_Price FROM n");
}

inline void open(ReportModel &model, int rows)
{
    model.open(statement(), { { QStringLiteral("Count"), rows } }, Database::mainConnectionName());
}

}
