// ReportFixture.h: a small organisation with readings that exercise every rule of the reports,
// and the tables the reports must make of it.
#pragma once

#include "TestDatabase.h"

#include <QList>
#include <QStringList>

class ReportModel;

namespace ReportFixture {

struct Ids
{
    qint64 production = 0;   // level 1
    qint64 machining = 0;    // level 2
    qint64 turning = 0;      // level 3 under machining
    qint64 fitting = 0;      // level 3 under machining
    qint64 assembly = 0;     // level 2
    qint64 assemblyTeam = 0; // level 3 under assembly
};

// W1 read three times in July, E1 once, A1 in July and August, U1 under a level-1 unit, T1 under a
// team, X1 priced with another type's price.
Ids fill(TestDatabase &db);

using Table = QList<QStringList>;

// Rows of an open model with exact amounts, and its footer.
Table rows(const ReportModel &model);
QStringList footer(const ReportModel &model);

// Rows whose order key ties may come in either order: compare them sorted.
Table sorted(Table table);

}
