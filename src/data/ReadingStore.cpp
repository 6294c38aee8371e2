#include "ReadingStore.h"

#include "Database.h"
#include "Engine.h"
#include "UCommon.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace {

QString iso(const QDate &date)
{
    return date.toString(Qt::ISODate);
}

// Runs a kept statement with positional values and hands each row to take; throws DatabaseError.
void eachRow(const QString &sql, const QVariantList &values, const std::function<void(const QSqlQuery &)> &take)
{
    const QSqlDatabase db = Database::connection();
    QSqlQuery &query = cachedQuery(db, sql);
    for (int i = 0; i < values.size(); ++i)
        query.bindValue(i, values.at(i));
    bool ok = query.exec();
    while (ok && query.next())
        take(query);
    const QSqlError error = query.lastError();
    query.finish();
    if (!ok || error.isValid())
        throw DatabaseError::fromSqlError(error, db);
}

// Runs a kept statement that returns no rows; returns the number of rows it changed.
int change(const QString &sql, const QVariantList &values)
{
    const QSqlDatabase db = Database::connection();
    QSqlQuery &query = cachedQuery(db, sql);
    for (int i = 0; i < values.size(); ++i)
        query.bindValue(i, values.at(i));
    const bool done = query.exec();
    const QSqlError error = query.lastError();
    const int changed = query.numRowsAffected();
    query.finish();
    if (!done)
        throw DatabaseError::fromSqlError(error, db);
    return changed;
}

// One stored reading as the re-pricing walks it.
struct Reading
{
    QDate day;
    QVariant takeNumber;      // null in rows of older files that hold no counter value
    qint64 curValue = 0;
    Currency charge;
    Currency quotaCharge;
};

QString laterBelowPreviousText(const QString &meterNo, const Reading &later, qint64 previous)
{
    return QStringLiteral("表 %1 %2 的抄表数 %3 将小于上次表数 %4，不能修改！")
        .arg(meterNo, iso(later.day), later.takeNumber.toString(), QString::number(previous));
}

QString laterOutOfRangeText(const QString &meterNo, const Reading &later)
{
    return QStringLiteral("表 %1 %2 的使用数量将超出范围，不能修改！").arg(meterNo, iso(later.day));
}

}

struct ReadingStore::Neighbour
{
    QDate day;
    qint64 takeNumber = 0;
    bool hasCounter = false;
};

ReadingStore::ReadingStore(TKelvaraMg &manager) : m_manager(manager) {}

std::optional<QString> ReadingStore::registeredNumber(const QString &meterNo) const
{
    const QSqlDatabase db = Database::connection();
    // The primary key compares without regard to ASCII case: the usual look-up is one index read.
    QVariant number = scalar(db, QStringLiteral("Select MeterNO from Meter where MeterNO = ?"), { meterNo });
    if (!number.isValid())
        number = scalar(db, QStringLiteral("Select MeterNO from Meter where MeterKey(MeterNO) = MeterKey(?) order by MeterNO"),
                        { meterNo });
    if (!number.isValid())
        return std::nullopt;
    return number.toString();
}

std::optional<StoredReading> ReadingStore::prepare(const QString &meterNo, qint32 takeNumber, const QDate &date,
                                                   bool replace)
{
    const std::optional<QString> number = registeredNumber(meterNo);
    if (!number) {
        m_manager.ShowMessageText(MeterNotFoundText(meterNo));
        return std::nullopt;
    }
    return prepareRegistered(*number, takeNumber, date, replace);
}

void ReadingStore::lockMeter(const QString &number) const
{
    const QSqlDatabase db = Database::connection();
    const QString lock = Engine::of(db).lockMeter();
    if (!lock.isEmpty())
        scalar(db, lock, { number });
}

std::optional<StoredReading> ReadingStore::prepareRegistered(const QString &number, qint32 takeNumber,
                                                             const QDate &date, bool replace)
{
    const bool exists = m_manager.IsReadOnDate(number, date);
    if (exists && !replace) {
        m_manager.ShowMessageText(alreadyReadText());
        return std::nullopt;
    }
    // The stored reading of the date lies outside the month window and is never the previous
    // counter value, so correcting it computes as if it had not been there.
    if (!m_manager.PrepareReading(number, takeNumber, date))
        return std::nullopt;
    m_manager.ComputeCharge();

    StoredReading row;
    row.MeterID = number;
    row.TakeTime = date;
    row.TakeNumber = takeNumber;
    row.CurValue = m_manager.FCurValue;
    row.Charge = m_manager.FCharge;
    row.QuotaCharge = m_manager.FQuotaCharge;
    row.InputDate = m_inputDate.isValid() ? m_inputDate : QDate::currentDate();
    row.replaced = exists;
    return row;
}

std::optional<ReadingStore::Neighbour> ReadingStore::nextReading(const QString &meterNo, const QDate &date) const
{
    std::optional<Neighbour> next;
    // A row of an older file without a counter value is passed over, as the previous value passes it.
    eachRow(QStringLiteral("Select TakeTime, TakeNumber from TakeMeter where MeterID = ? and TakeTime > ? "
                           "and TakeNumber is not null order by TakeTime limit 1"),
            { meterNo, iso(date) }, [&](const QSqlQuery &q) {
                next = Neighbour{ QDate::fromString(q.value(0).toString(), Qt::ISODate), q.value(1).toLongLong(),
                                  !q.value(1).isNull() };
            });
    return next;
}

// The counter value a reading dated day is measured from: the latest earlier one, else the
// meter's base.
static qint64 previousCounter(const QString &meterNo, const QDate &day)
{
    const QSqlDatabase db = Database::connection();
    const QVariant previous = scalar(db, ReadingSql::previousCounter(), { meterNo, iso(day) });
    if (previous.isValid())
        return previous.toLongLong();
    return scalar(db, QStringLiteral("Select BaseNumber from Meter where MeterNO = ?"), { meterNo }).toLongLong();
}

// Whether the next reading is stored as a rollover: below the value it is measured from now.
static bool storedAsRollover(const QString &meterNo, const std::optional<ReadingStore::Neighbour> &next)
{
    return next && next->hasCounter && next->takeNumber < previousCounter(meterNo, next->day);
}

// Walks the readings from the first of the changed reading's month to the end of the next
// reading's month in date order, as the computation of each would have seen them when typed in
// that order, and rewrites the figures that differ. The change itself is already written.
bool ReadingStore::repriceAfter(const QString &meterNo, const QDate &changed, const Neighbour &next,
                                bool nextWasRollover)
{
    std::optional<MeterInfo> meter;
    eachRow(ReadingSql::meterInfo(), { meterNo }, [&](const QSqlQuery &q) {
        meter = ReadMeterInfo([&q](int column) { return q.value(column); });
    });
    if (!meter)
        return true;   // a meter without its price keeps its readings' figures

    const QDate firstDay(changed.year(), changed.month(), 1);
    const QDate lastDay(next.day.year(), next.day.month(), next.day.daysInMonth());
    // The changed reading itself is already stored as it now is; its month's earlier readings and
    // the next reading's month come from the same index range.
    QList<Reading> readings;
    eachRow(QStringLiteral("Select TakeTime, TakeNumber, CurValue, Charge, QuotaCharge from TakeMeter "
                           "where MeterID = ? and TakeTime >= ? and TakeTime <= ? order by TakeTime"),
            { meterNo, iso(firstDay), iso(lastDay) }, [&](const QSqlQuery &q) {
                readings.append(Reading{ QDate::fromString(q.value(0).toString(), Qt::ISODate), q.value(1),
                                         q.value(2).toLongLong(), Currency::fromUnits(q.value(3).toLongLong()),
                                         Currency::fromUnits(q.value(4).toLongLong()) });
            });

    qint64 previous = previousCounter(meterNo, firstDay);
    int month = -1;   // year × 12 + month: the same month of another year is another month
    qint64 monthCurValue = 0;
    qint64 monthCount = 0;
    QList<StoredReading> repriced;
    for (const Reading &r : std::as_const(readings)) {
        if (r.day.year() * 12 + r.day.month() != month) {
            month = r.day.year() * 12 + r.day.month();
            monthCurValue = 0;
            monthCount = 0;
        }
        qint64 curValue = r.curValue;
        if (r.day > changed && !r.takeNumber.isNull()) {
            const qint64 counter = r.takeNumber.toLongLong();
            const bool rollover = counter < previous;
            if (r.day == next.day && rollover && !nextWasRollover) {
                m_refusal = laterBelowPreviousText(meterNo, r, previous);
                return false;
            }
            const auto figures = PriceReading(*meter, previous, counter, rollover, monthCurValue, monthCount);
            if (!figures) {
                m_refusal = laterOutOfRangeText(meterNo, r);
                return false;
            }
            curValue = figures->CurValue;
            if (figures->CurValue != r.curValue || figures->Charge != r.charge
                || figures->QuotaCharge != r.quotaCharge) {
                StoredReading row;
                row.MeterID = meterNo;
                row.TakeTime = r.day;
                row.TakeNumber = qint32(counter);
                row.CurValue = figures->CurValue;
                row.Charge = figures->Charge;
                row.QuotaCharge = figures->QuotaCharge;
                repriced.append(row);
            }
        }
        monthCurValue += curValue;
        ++monthCount;
        if (!r.takeNumber.isNull())
            previous = r.takeNumber.toLongLong();
    }
    for (const StoredReading &row : std::as_const(repriced))
        change(QStringLiteral("Update TakeMeter set CurValue = ?, Charge = ?, QuotaCharge = ? "
                              "where MeterID = ? and TakeTime = ?"),
               { row.CurValue, row.Charge.units(), row.QuotaCharge.units(), row.MeterID, iso(row.TakeTime) });
    m_repriced = repriced;
    return true;
}

namespace {

// A change and its re-pricing either happen together or not at all, inside whatever transaction
// the caller holds.
class Savepoint
{
public:
    // A change with no later reading cannot be refused after it is written: no savepoint then.
    explicit Savepoint(bool needed) : m_done(!needed)
    {
        if (needed)
            execSql(Database::connection(), QStringLiteral("SAVEPOINT reading_change"));
    }
    ~Savepoint()
    {
        if (!m_done) {
            QSqlQuery undo(Database::connection());
            undo.exec(QStringLiteral("ROLLBACK TO reading_change"));
            undo.exec(QStringLiteral("RELEASE reading_change"));
        }
    }
    void release()
    {
        if (!m_done)
            execSql(Database::connection(), QStringLiteral("RELEASE reading_change"));
        m_done = true;
    }

private:
    bool m_done;
};

}

std::optional<StoredReading> ReadingStore::write(const QString &meterNo, qint32 takeNumber, const QDate &date,
                                                 bool replace)
{
    m_repriced.clear();
    m_refusal.clear();
    const std::optional<QString> number = registeredNumber(meterNo);
    if (!number) {
        m_manager.ShowMessageText(MeterNotFoundText(meterNo));
        return std::nullopt;
    }
    // Another clerk's change to this meter's readings finishes before this one reads them.
    lockMeter(*number);
    const std::optional<StoredReading> prepared = prepareRegistered(*number, takeNumber, date, replace);
    if (!prepared)
        return std::nullopt;
    const StoredReading &row = *prepared;

    // Whether the next reading was a rollover is read before the change moves its previous value.
    const std::optional<Neighbour> next = nextReading(row.MeterID, date);
    const bool nextWasRollover = storedAsRollover(row.MeterID, next);

    Savepoint savepoint(next.has_value());
    const QString day = iso(date);
    // A correction changes the figures of the meter's reading of that date, never its meter or date.
    if (row.replaced) {
        if (change(QStringLiteral("Update TakeMeter set TakeNumber = ?, CurValue = ?, Charge = ?, QuotaCharge = ?, "
                                  "InputDate = ? where MeterID = ? and TakeTime = ?"),
                   { row.TakeNumber, row.CurValue, row.Charge.units(), row.QuotaCharge.units(), iso(row.InputDate),
                     row.MeterID, day })
            != 1)
            throw DatabaseError(QStringLiteral("表记录定位错!"));
    } else {
        try {
            change(QStringLiteral("Insert into TakeMeter (MeterID, TakeNumber, CurValue, Charge, QuotaCharge, "
                                  "InputDate, TakeTime) values (?, ?, ?, ?, ?, ?, ?)"),
                   { row.MeterID, row.TakeNumber, row.CurValue, row.Charge.units(), row.QuotaCharge.units(),
                     iso(row.InputDate), day });
        } catch (const DatabaseError &e) {
            // The key holds even where the look-up above was passed by another writer: the
            // reading refused, the caller's transaction is to be rolled back.
            if (e.kind() != DatabaseError::Duplicate)
                throw;
            m_manager.ShowMessageText(alreadyReadText());
            return std::nullopt;
        }
    }
    if (next && !(m_pending && m_pending(row.MeterID, next->day))
        && !repriceAfter(row.MeterID, date, *next, nextWasRollover))
        return std::nullopt;
    savepoint.release();
    return row;
}

bool ReadingStore::remove(const QString &meterNo, const QDate &date)
{
    m_repriced.clear();
    m_refusal.clear();
    const std::optional<QString> number = registeredNumber(meterNo);
    // The reading of a meter no longer registered has nothing depending on it.
    const QString meter = number.value_or(meterNo);
    if (number)
        lockMeter(*number);
    const std::optional<Neighbour> next = number ? nextReading(meter, date) : std::nullopt;
    const bool nextWasRollover = storedAsRollover(meter, next);

    Savepoint savepoint(next.has_value());
    if (change(QStringLiteral("Delete from TakeMeter where MeterID = ? and TakeTime = ?"), { meter, iso(date) }) == 0) {
        m_refusal = QStringLiteral("表 %1 %2 的抄表记录已不存在，请刷新后重试！").arg(meter, iso(date));
        return false;
    }
    if (next && !(m_pending && m_pending(meter, next->day)) && !repriceAfter(meter, date, *next, nextWasRollover))
        return false;
    savepoint.release();
    return true;
}

std::optional<StoredReading> ReadingStore::store(const QString &meterNo, qint32 takeNumber, const QDate &date,
                                                 bool replace)
{
    std::optional<StoredReading> row;
    runTransaction(Database::connection(), [&] {
        row = write(meterNo, takeNumber, date, replace);
        return row.has_value();
    });
    return row;
}

bool ReadingStore::erase(const QString &meterNo, const QDate &date)
{
    return runTransaction(Database::connection(), [&] { return remove(meterNo, date); });
}

QString ReadingStore::alreadyReadText()
{
    return QStringLiteral("该表在这一天已经抄过了！");
}
