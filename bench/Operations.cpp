#include "Operations.h"

#include "DataSet.h"
#include "DataSetModel.h"
#include "TakeMeterEntry.h"
#include "Database.h"
#include "Engine.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSqlDriver>
#include <QSqlError>
#include <QTextStream>

#include <algorithm>
#include <cmath>
#include <optional>
#include <sqlite3.h>
#include <time.h>

namespace BenchOps {

namespace {

qint64 threadCpuNanoseconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

}

double Figures::median() const
{
    if (ms.isEmpty())
        return 0;
    QList<double> sorted = ms;
    std::sort(sorted.begin(), sorted.end());
    const qsizetype n = sorted.size();
    return n % 2 ? sorted.at(n / 2) : (sorted.at(n / 2 - 1) + sorted.at(n / 2)) / 2;
}

double Figures::percentile(double p) const
{
    if (ms.isEmpty())
        return 0;
    QList<double> sorted = ms;
    std::sort(sorted.begin(), sorted.end());
    const qsizetype rank = qBound<qsizetype>(1, qsizetype(std::ceil(p / 100 * sorted.size())), sorted.size());
    return sorted.at(rank - 1);
}

double Figures::min() const
{
    return ms.isEmpty() ? 0 : *std::min_element(ms.begin(), ms.end());
}

double Figures::max() const
{
    return ms.isEmpty() ? 0 : *std::max_element(ms.begin(), ms.end());
}

Figures measure(int warmup, int repeats, const std::function<void()> &op)
{
    for (int i = 0; i < warmup; ++i)
        op();
    Figures f;
    QElapsedTimer clock;
    for (int i = 0; i < repeats; ++i) {
        const qint64 cpu = threadCpuNanoseconds();
        clock.start();
        op();
        f.ms << clock.nsecsElapsed() / 1e6;
        f.cpuMs << (threadCpuNanoseconds() - cpu) / 1e6;
    }
    return f;
}

void openDateReadings(TakeMeterEntry &entry, DataSetModel &model, const QDate &date)
{
    // The reading window's own rows: its statement, its query object.
    if (date != entry.ReadingDate())
        entry.setReadingDate(date);
    else
        entry.OpenReadings();
    DataSet &readings = *entry.adoTakeMeter();
    if (model.columnCount() == 0) {
        model.addColumn(QStringLiteral("MeterID"), QStringLiteral("表编号"));
        model.addColumn(QStringLiteral("TakeNumber"), QStringLiteral("当前表数"));
        model.addColumn(QStringLiteral("CurValue"), QStringLiteral("使用数量"));
        model.addColumn(QStringLiteral("Charge"), QStringLiteral("计划费用"));
        model.addColumn(QStringLiteral("QuotaCharge"), QStringLiteral("超出费用"));
        model.addColumn(QStringLiteral("TakeTime"), QStringLiteral("抄表时间"));
        model.addColumn(QStringLiteral("InputDate"), QStringLiteral("录入时间"));
    }
    model.setDataSet(&readings);
    // What a grid asks for its first screen.
    const int rows = qMin(model.rowCount(), 40);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < model.columnCount(); ++c)
            (void)model.data(model.index(r, c));
}

Extent extent()
{
    QSqlQuery q = execSql(Database::connection(),
                          QStringLiteral("Select Min(TakeTime), Max(TakeTime), count(*) from TakeMeter"));
    q.next();
    return { QDate::fromString(q.value(0).toString(), Qt::ISODate), QDate::fromString(q.value(1).toString(), Qt::ISODate),
             q.value(2).toLongLong() };
}

qint32 MeterCounter::next(qint64 step) const
{
    qint64 value = last + step;
    if (value > maxBound)
        value -= maxBound;
    return qint32(value);
}

QList<MeterCounter> meterCounters()
{
    // The latest reading of each meter, one index seek per meter.
    QSqlQuery q = execSql(Database::connection(), QStringLiteral(
        "Select m.MeterNO, m.MaxBound, (Select t.TakeNumber from TakeMeter t where t.MeterID = m.MeterNO "
        "order by t.TakeTime desc limit 1), m.BaseNumber from Meter m order by m.MeterNO"));
    QList<MeterCounter> list;
    while (q.next())
        list.append({ q.value(0).toString(), q.value(2).isNull() ? q.value(3).toLongLong() : q.value(2).toLongLong(),
                      q.value(1).toLongLong() });
    return list;
}

void removeReadingsAfter(const QDate &day)
{
    QSqlDatabase db = Database::connection();
    Transaction tx(db);
    execSql(db, QStringLiteral("Delete from TakeMeter where TakeTime > ?"), { day.toString(Qt::ISODate) });
    tx.commit();
    if (Engine::of(db).isFile())
        execSql(db, QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
}

QString engineName()
{
    return Database::engine().name();
}

struct BareInsert::Handles
{
    sqlite3 *db = nullptr;
    sqlite3_stmt *insert = nullptr;
    std::optional<QSqlQuery> query;   // on a server
    QSqlDatabase connection;
};

BareInsert::BareInsert(const QSqlDatabase &db) : m_handles(new Handles)
{
    const QVariant handle = db.driver()->handle();
    if (!Engine::of(db).isFile()) {
        m_handles->connection = db;
        m_handles->query.emplace(db);
        if (!m_handles->query->prepare(QStringLiteral(
                "INSERT INTO TakeMeter (MeterID, TakeNumber, CurValue, Charge, QuotaCharge, TakeTime, InputDate) "
                "VALUES (?, ?, 0, 0, 0, ?, ?)")))
            throw DatabaseError::fromSqlError(m_handles->query->lastError(), db);
        return;
    }
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        throw DatabaseError(QStringLiteral("not an SQLite connection"));
    m_handles->db = *static_cast<sqlite3 *const *>(handle.data());
    if (sqlite3_prepare_v2(m_handles->db,
                           "INSERT INTO TakeMeter (MeterID, TakeNumber, CurValue, Charge, QuotaCharge, TakeTime, "
                           "InputDate) VALUES (?, ?, 0, 0, 0, ?, ?)",
                           -1, &m_handles->insert, nullptr)
        != SQLITE_OK)
        throw DatabaseError(QString::fromUtf8(sqlite3_errmsg(m_handles->db)));
}

BareInsert::~BareInsert()
{
    if (m_handles->insert)
        sqlite3_finalize(m_handles->insert);
    delete m_handles;
}

void BareInsert::insert(const QString &meterNo, qint32 counter, const QDate &date)
{
    if (m_handles->query) {
        QSqlQuery &q = *m_handles->query;
        const QString day = date.toString(Qt::ISODate);
        q.bindValue(0, meterNo);
        q.bindValue(1, counter);
        q.bindValue(2, day);
        q.bindValue(3, day);
        if (!q.exec())
            throw DatabaseError::fromSqlError(q.lastError(), m_handles->connection);
        return;
    }
    const QByteArray meter = meterNo.toUtf8();
    const QByteArray day = date.toString(Qt::ISODate).toUtf8();
    sqlite3_stmt *s = m_handles->insert;
    sqlite3_bind_text(s, 1, meter.constData(), int(meter.size()), SQLITE_TRANSIENT);
    sqlite3_bind_int(s, 2, counter);
    sqlite3_bind_text(s, 3, day.constData(), int(day.size()), SQLITE_TRANSIENT);
    sqlite3_bind_text(s, 4, day.constData(), int(day.size()), SQLITE_TRANSIENT);
    const int rc = sqlite3_step(s);
    sqlite3_reset(s);
    if (rc != SQLITE_DONE)
        throw DatabaseError(QString::fromUtf8(sqlite3_errmsg(m_handles->db)));
}

QString withLiterals(QString sql, const QDate &start, const QDate &end, qint64 workshopId)
{
    // The values are dates and a number made here, never typed text.
    sql.replace(QStringLiteral(":StartDate"), u'\'' + start.toString(Qt::ISODate) + u'\'');
    sql.replace(QStringLiteral(":EndDate"), u'\'' + end.toString(Qt::ISODate) + u'\'');
    sql.replace(QStringLiteral(":WorkShopID"), QString::number(workshopId));
    return sql;
}

double shellSeconds(const QString &shell, const QString &extension, const QString &file, const QString &sql)
{
    QProcess process;
    process.start(shell, { QStringLiteral("-batch"), file });
    if (!process.waitForStarted())
        return -1;
    const QString script = QStringLiteral(".load ") + extension + QStringLiteral("\n.output /dev/null\n.timer on\n")
        + sql + QStringLiteral(";\n");
    process.write(script.toUtf8());
    process.closeWriteChannel();
    if (!process.waitForFinished(600000) || process.exitCode() != 0)
        return -1;
    const QString output = QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError());
    const QRegularExpressionMatch m = QRegularExpression(QStringLiteral("Run Time: real ([0-9.]+)")).match(output);
    return m.hasMatch() ? m.captured(1).toDouble() : -1;
}

void writeImportFile(const QString &path, const QList<MeterCounter> &meters, const QDate &after, int count)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw DatabaseError(QStringLiteral("cannot write %1").arg(path));
    QTextStream out(&file);
    out << "meter,date,counter\n";
    QList<MeterCounter> state = meters;
    int written = 0;
    for (int day = 1; written < count; ++day) {
        const QString date = after.addDays(day).toString(Qt::ISODate);
        for (MeterCounter &m : state) {
            if (written == count)
                break;
            const qint32 next = m.next(3);
            out << m.meterNo << ',' << date << ',' << next << '\n';
            m.last = next;
            ++written;
        }
    }
    out.flush();
    file.commit();
}

}
