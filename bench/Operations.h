// Operations.h: the operations kelvara-bench measures, each as the program runs it, and the
// figures it reports.
#pragma once

#include "ReportStatements.h"

#include <QDate>
#include <QSqlDatabase>
#include <QList>
#include <QString>
#include <functional>

class DataSet;
class DataSetModel;
class TakeMeterEntry;

namespace BenchOps {

// Milliseconds of repeated runs of one operation.
struct Figures
{
    QList<double> ms;
    QList<double> cpuMs;   // processor time of this thread in each run
    double median() const;
    double min() const;
    double max() const;
    double percentile(double p) const;   // p from 0 to 100, the nearest-rank value
};

// Runs op repeats times after warmup unmeasured runs.
Figures measure(int warmup, int repeats, const std::function<void()> &op);

// Opens a date's readings as the reading window does (its core's statement and query object) and
// formats the first screen of the window's columns through a grid model.
void openDateReadings(TakeMeterEntry &entry, DataSetModel &model, const QDate &date);

// The first and last reading date stored, and the number of readings.
struct Extent
{
    QDate first;
    QDate last;
    qint64 readings = 0;
};
Extent extent();

// A counter value the meter accepts as its next reading: a few units above the last one, past
// the maximum count when it is near. The meter's MaxBound and latest TakeNumber.
struct MeterCounter
{
    QString meterNo;
    qint64 last = 0;
    qint64 maxBound = 0;
    qint32 next(qint64 step) const;
};
QList<MeterCounter> meterCounters();

// Removes the readings dated after day, which the measurements added.
void removeReadingsAfter(const QDate &day);

// One reading inserted and committed on the program's own connection (so with its settings, and
// without making its page cache stale as a second connection would): the floor under any save.
// On SQLite through its C interface directly; on a server one prepared statement, committed by
// itself.
class BareInsert
{
public:
    explicit BareInsert(const QSqlDatabase &db);
    ~BareInsert();
    BareInsert(const BareInsert &) = delete;
    BareInsert &operator=(const BareInsert &) = delete;
    void insert(const QString &meterNo, qint32 counter, const QDate &date);

private:
    struct Handles;
    Handles *m_handles;
};

// The engine of the program's database, as kelvara-bench names it in its table.
QString engineName();

// The statement with its named parameters written as literals, for the sqlite3 shell.
QString withLiterals(QString sql, const QDate &start, const QDate &end, qint64 workshopId);

// Seconds the sqlite3 shell reports for the statement (".timer on"), First and Last loaded from
// the extension; negative when the shell cannot be run.
double shellSeconds(const QString &shell, const QString &extension, const QString &file, const QString &sql);

// Writes count readings as "meter,date,counter" lines: every meter on each day after after.
void writeImportFile(const QString &path, const QList<MeterCounter> &meters, const QDate &after, int count);

}
