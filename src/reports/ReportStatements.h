// ReportStatements.h: the three report statements, their parameters and the columns of their
// grids; window-free, shared by the report window, the command line and the tests.
#pragma once

#include "ReportModel.h"

#include <QDate>
#include <QList>
#include <QString>
#include <QVariantMap>

namespace ReportStatements {

enum class Kind { Summary, Detail, Classes };

// Select list shared by the summary and the detail report.
QString SqlMeterSelect();
// Tail of the summary report: meters of level-2 workshops; binds :StartDate and :EndDate.
QString SqlMeterTailAll();
// Tail of the detail report: the meters of one workshop by team; also binds :WorkShopID.
QString SqlMeterTailWorkshop();
// The workshop summary table by workshop, type and price class; binds :StartDate and :EndDate.
QString SqlClassSummary();

// The report as its select list and tail above spell it: every reading joined, then grouped.
QString joinedStatement(Kind kind);
// The same rows, readings summed per meter before the joins; what the program runs.
QString SqlMeterByMeter(Kind kind);   // Summary or Detail
QString SqlClassByMeter();
QString statement(Kind kind);
// The period as ISO dates and the workshop's identifier; a statement binds the ones it names.
QVariantMap params(const QDate &start, const QDate &end, qint64 workshopId = 0);

// Level-2 workshops with their identifiers, for the workshop chooser.
QString SqlWorkshopList();

// Caption of the report's page: "汇总报表", "车间明细报表", "车间汇总表".
QString title(Kind kind);
// "报表时间：自 … 至 …", preceded by "车间：<name>   " for the detail report.
QString periodLine(Kind kind, const QString &startText, const QString &endText, const QString &workshop = {});
QList<ReportColumn> columns(Kind kind);

// The review of a period's unusual readings (Unusual::findings): its title "异常读数" and columns.
QString unusualTitle();
QList<ReportColumn> unusualColumns();

}
