#include "ReadingStore.h"

#include "Database.h"
#include "Engine.h"
#include "UCommon.h"

#include <QDateTime>
#include <QHash>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <algorithm>
#include <climits>

namespace {

QString iso(const QDate &date)
{
    return date.toString(Qt::ISODate);
}

// Runs a kept statement with positional values and hands each row to take; throws DatabaseError.
void eachRow(const QString &sql, const QVariantList &values, const std::function<void(const QSqlQuery &)> &take)
{
    const QSqlDatabase db = Database::connection();
    QSqlQuery &query = cachedQuery(db, sql, int(values.size()));
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
    QSqlQuery &query = cachedQuery(db, sql, int(values.size()));
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

QString exchangeBelowPreviousText(const QString &meterNo, const CounterExchange &exchange, qint64 previous)
{
    return QStringLiteral("表 %1 %2 换表时的旧表止数 %3 将小于上次表数 %4，不能修改！")
        .arg(meterNo, iso(exchange.day), QString::number(exchange.OldFinal), QString::number(previous));
}

// The counter value of the latest reading dated before day that holds one.
std::optional<PreviousReading> previousReading(const QString &meterNo, const QDate &day)
{
    std::optional<PreviousReading> previous;
    eachRow(ReadingSql::previousCounter(), { meterNo, iso(day) }, [&](const QSqlQuery &q) {
        previous = PreviousReading{ StoredDay(q.value(0)), q.value(1).toLongLong() };
    });
    return previous;
}

// The meter's exchanges after the previous reading (all of them without one), in date order.
QList<CounterExchange> exchangesAfter(const QString &meterNo, const std::optional<PreviousReading> &previous)
{
    QList<CounterExchange> exchanges;
    eachRow(ReadingSql::exchangesAfter(), { meterNo, previous ? iso(previous->day) : ReadingSql::beforeAnyDate() },
            [&](const QSqlQuery &q) {
                exchanges << CounterExchange{ StoredDay(q.value(0)),      q.value(1).toLongLong(),
                                              q.value(2).toLongLong(), q.value(3).toLongLong(),
                                              q.value(4).toLongLong(), q.value(5).toLongLong() };
            });
    return exchanges;
}

// What the counter in place showed last before exchange e: the reading before it, or the first
// value of a counter put in after that reading. exchanges holds the meter's exchanges from that
// reading on.
qint64 counterBefore(const QString &meterNo, const CounterExchange &e, const QList<CounterExchange> &exchanges)
{
    const std::optional<PreviousReading> was = previousReading(meterNo, e.day);
    const std::optional<CounterStart> then = MeasureFrom(MeterInfo(), was, exchanges, e.day);
    if (then && then->exchanged)
        return then->previous;
    return was ? was->TakeNumber : e.OldBase;
}

// The meter's base and maximum count, which MeasureFrom reads; nothing for a number not registered.
std::optional<MeterInfo> counterFacts(const QString &meterNo)
{
    std::optional<MeterInfo> meter;
    eachRow(QStringLiteral("Select MeterNO, BaseNumber, MaxBound from Meter where MeterNO = ?"),
            { meterNo }, [&](const QSqlQuery &q) {
                meter = MeterInfo();
                meter->MeterNO = q.value(0).toString();
                meter->BaseNumber = q.value(1).toLongLong();
                meter->MaxBound = q.value(2).toLongLong();
            });
    return meter;
}

// The exchanges between previous and day whose old counter passed its maximum before its final
// value, each measured from the value its counter started that span from; with the value, for
// the message that names it.
QHash<QDate, qint64> wrappedExchanges(const std::optional<PreviousReading> &previous,
                                      const QList<CounterExchange> &exchanges, const QDate &day)
{
    QHash<QDate, qint64> wrapped;
    std::optional<qint64> from;
    if (previous)
        from = previous->TakeNumber;
    for (const CounterExchange &e : exchanges) {
        if ((previous && e.day <= previous->day) || e.day >= day)
            continue;
        const qint64 start = from.value_or(e.OldBase);
        if (e.OldFinal < start)
            wrapped.insert(e.day, start);
        from = e.NewInitial;
    }
    return wrapped;
}

}

struct ReadingStore::Neighbour
{
    QDate day;
    qint64 takeNumber = 0;
    bool hasCounter = false;
};

// How a reading is measured: whether its counter passed its maximum since the value it is measured
// from, and which exchanges before it saw their old counter pass its maximum before its final
// value. Each was confirmed when stored; a change may not bring about another.
struct ReadingStore::Wraps
{
    bool rollover = false;
    QSet<QDate> exchanges;
    qint64 from = 0;   // the value the reading is measured from
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
                next = Neighbour{ StoredDay(q.value(0)), q.value(1).toLongLong(), !q.value(1).isNull() };
            });
    return next;
}

// How the next reading is measured now, before a change.
static ReadingStore::Wraps wrapsOf(const QString &meterNo, const std::optional<ReadingStore::Neighbour> &next)
{
    if (!next || !next->hasCounter)
        return {};
    const std::optional<MeterInfo> meter = counterFacts(meterNo);
    if (!meter)
        return {};
    const std::optional<PreviousReading> previous = previousReading(meterNo, next->day);
    const std::optional<CounterStart> start = MeasureFrom(*meter, previous, exchangesAfter(meterNo, previous), next->day);
    if (!start)
        return {};
    const QList<QDate> wrapped = wrappedExchanges(previous, exchangesAfter(meterNo, previous), next->day).keys();
    return { next->takeNumber < start->previous, QSet<QDate>(wrapped.cbegin(), wrapped.cend()), start->previous };
}

// Whether the meter's stored reading of day was measured through its counter's maximum.
static bool storedAsPass(const QString &meterNo, const QDate &day)
{
    const QVariant counter = scalar(Database::connection(),
                                    QStringLiteral("Select TakeNumber from TakeMeter where MeterID = ? and TakeTime = ?"),
                                    { meterNo, iso(day) });
    const std::optional<MeterInfo> meter = counterFacts(meterNo);
    if (counter.isNull() || !meter)
        return false;
    const std::optional<PreviousReading> previous = previousReading(meterNo, day);
    const std::optional<CounterStart> start = MeasureFrom(*meter, previous, exchangesAfter(meterNo, previous), day);
    return start && counter.toLongLong() < start->previous;
}

static void forgetPass(const QString &meterNo, const QDate &day)
{
    change(QStringLiteral("Delete from ConfirmedPass where MeterID = ? and PassDate = ?"), { meterNo, iso(day) });
}

// Where a pass started: the reading or exchange the counter value was measured from (its date,
// beforeAnyDate for the meter's base) and the value it showed there.
struct PassOrigin
{
    QString day;
    qint64 value = 0;
};

// The origin of a counter value of the meter's reading or exchange of day that is measured from
// value: the later of the reading and the exchange before day.
static PassOrigin originOf(const QString &meterNo, const QDate &day, qint64 value)
{
    const std::optional<PreviousReading> previous = previousReading(meterNo, day);
    QDate from = previous ? previous->day : QDate();
    const QDate exchanged = StoredDay(scalar(Database::connection(),
                                             QStringLiteral("Select max(ExchangeDate) from MeterExchange "
                                                            "where MeterID = ? and ExchangeDate < ?"),
                                             { meterNo, iso(day) }));
    if (exchanged.isValid() && (!from.isValid() || exchanged > from))
        from = exchanged;
    return { from.isValid() ? iso(from) : ReadingSql::beforeAnyDate(), value };
}

static bool passConfirmed(const QString &meterNo, const QDate &day, qint64 value, const PassOrigin &origin);

// Records that the operator confirmed value, the counter value of the meter's reading or exchange
// of day, as a pass over the maximum from origin, beside what was confirmed of it before. The
// records outlive the pass while a reading typed before it takes the pass over, so that the pass
// returns when that reading goes, and while the value is corrected away, so that it holds again
// when the value is typed back. They go with their reading or exchange.
static void recordPass(const QString &meterNo, const QDate &day, qint64 value, const PassOrigin &origin)
{
    if (!passConfirmed(meterNo, day, value, origin))
        change(QStringLiteral("Insert into ConfirmedPass (MeterID, PassDate, PassValue, PassFrom, PassFromDay) "
                              "values (?, ?, ?, ?, ?)"),
               { meterNo, iso(day), value, origin.value, origin.day });
}

// Whether value, as the meter's reading or exchange of day now holds it, was confirmed as a pass.
static bool passConfirmed(const QString &meterNo, const QDate &day, qint64 value)
{
    return scalar(Database::connection(),
                  QStringLiteral("Select count(*) from ConfirmedPass where MeterID = ? and PassDate = ? and PassValue = ?"),
                  { meterNo, iso(day), value })
               .toInt()
        > 0;
}

// Whether that very pass was confirmed: value from the same reading or exchange showing the same value.
static bool passConfirmed(const QString &meterNo, const QDate &day, qint64 value, const PassOrigin &origin)
{
    return scalar(Database::connection(),
                  QStringLiteral("Select count(*) from ConfirmedPass where MeterID = ? and PassDate = ? "
                                 "and PassValue = ? and PassFrom = ? and PassFromDay = ?"),
                  { meterNo, iso(day), value, origin.value, origin.day })
               .toInt()
        > 0;
}

// Records the next reading's pass as it stands before a change that may end it: every stored
// pass was confirmed (or kept through a change that was), so typing back what the change altered
// brings it back. The same is done for the pass of the next exchange.
static void keepOnRecord(const QString &meterNo, const std::optional<ReadingStore::Neighbour> &next,
                         const ReadingStore::Wraps &nextWas)
{
    if (next && nextWas.rollover)
        recordPass(meterNo, next->day, next->takeNumber, originOf(meterNo, next->day, nextWas.from));
}

// A reading that passed its counter's maximum and is deleted, or corrected to no pass, gives its
// pass back to what follows it, the first exchange after it or else the next reading, when the
// operator confirmed that one's pass before this reading took it over: it may then pass the
// maximum again, measured from where the reading was. Returns the date of the exchange that takes
// the pass, if one does.
static QDate passOn(const QString &meterNo, ReadingStore::Wraps &next, const QList<CounterExchange> &exchanges,
                    const QDate &day, const std::optional<ReadingStore::Neighbour> &nextReading)
{
    for (const CounterExchange &e : exchanges) {
        if (e.day > day && (!nextReading || e.day < nextReading->day)) {
            if (!passConfirmed(meterNo, e.day, e.OldFinal))
                return {};
            next.exchanges.insert(e.day);
            return e.day;
        }
    }
    if (nextReading && passConfirmed(meterNo, nextReading->day, nextReading->takeNumber))
        next.rollover = true;
    return {};
}

// Walks the readings from the first of the changed reading's month to the end of the next
// reading's month in date order, as the computation of each would have seen them when typed in
// that order, and rewrites the figures that differ. The change itself is already written. A new
// maximum count changes every later pass over it: then the walk goes on to the last reading.
bool ReadingStore::repriceAfter(const QString &meterNo, const QDate &changed, const Neighbour &next,
                                const Wraps &before, bool toLastReading)
{
    std::optional<MeterInfo> meter;
    eachRow(ReadingSql::meterInfo(), { meterNo }, [&](const QSqlQuery &q) {
        meter = ReadMeterInfo([&q](int column) { return q.value(column); });
    });
    if (!meter)
        return true;   // a meter without its price keeps its readings' figures

    const QDate firstDay(changed.year(), changed.month(), 1);
    QDate lastDay(next.day.year(), next.day.month(), next.day.daysInMonth());
    if (toLastReading) {
        const QVariant last = scalar(Database::connection(),
                                     QStringLiteral("Select max(TakeTime) from TakeMeter where MeterID = ?"), { meterNo });
        const QDate day = StoredDay(last);
        if (day.isValid() && day > lastDay)
            lastDay = QDate(day.year(), day.month(), day.daysInMonth());
    }
    // The changed reading itself is already stored as it now is; its month's earlier readings and
    // the next reading's month come from the same index range.
    QList<Reading> readings;
    eachRow(QStringLiteral("Select TakeTime, TakeNumber, CurValue, Charge, QuotaCharge from TakeMeter "
                           "where MeterID = ? and TakeTime >= ? and TakeTime <= ? order by TakeTime"),
            { meterNo, iso(firstDay), iso(lastDay) }, [&](const QSqlQuery &q) {
                readings.append(Reading{ StoredDay(q.value(0)), q.value(1), q.value(2).toLongLong(),
                                         Currency::fromUnits(q.value(3).toLongLong()),
                                         Currency::fromUnits(q.value(4).toLongLong()) });
            });

    std::optional<PreviousReading> previous = previousReading(meterNo, firstDay);
    // Every exchange the walk passes, and those after it that name the maximum of its counters.
    const QList<CounterExchange> exchanges = exchangesAfter(meterNo, previous);
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
            const std::optional<CounterStart> start = MeasureFrom(*meter, previous, exchanges, r.day);
            if (!start) {
                m_refusal = laterOutOfRangeText(meterNo, r);
                return false;
            }
            const bool rollover = counter < start->previous;
            // Unless the operator confirmed this very pass: that value from that value.
            if (r.day == next.day && rollover && !before.rollover
                && !passConfirmed(meterNo, r.day, counter, originOf(meterNo, r.day, start->previous))) {
                // Below the value it is measured from: after an exchange, the new counter's first value.
                m_refusedPart = ExchangeRequest::Part::NewInitial;
                m_refusal = laterBelowPreviousText(meterNo, r, start->previous);
                return false;
            }
            if (r.day == next.day && start->exchanged) {
                const QHash<QDate, qint64> wrapped = wrappedExchanges(previous, exchanges, r.day);
                for (const CounterExchange &e : exchanges) {
                    if (wrapped.contains(e.day) && !before.exchanges.contains(e.day)
                        && !passConfirmed(meterNo, e.day, e.OldFinal, originOf(meterNo, e.day, wrapped.value(e.day)))) {
                        m_refusal = exchangeBelowPreviousText(meterNo, e, wrapped.value(e.day));
                        return false;
                    }
                }
            }
            const auto figures = PriceReading(*meter, *start, counter, rollover, monthCurValue, monthCount);
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
            previous = PreviousReading{ r.day, r.takeNumber.toLongLong() };
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
    Wraps nextWas = wrapsOf(row.MeterID, next);
    // A reading that passes the maximum itself (the operator said so) takes the place of a pass
    // that came after it: a pass measured from it again would be a second one, which nobody was
    // asked about. A correction that was already such a pass changes nothing in that.
    const qint64 previousValue = m_manager.FTakeNumber;
    QVariant stored;   // the counter value a correction replaces
    if (row.replaced)
        stored = scalar(Database::connection(),
                        QStringLiteral("Select TakeNumber from TakeMeter where MeterID = ? and TakeTime = ?"),
                        { row.MeterID, iso(date) });
    const bool storedPass = !stored.isNull() && stored.toLongLong() < previousValue;
    const bool readingPass = row.TakeNumber < previousValue && !storedPass;
    // An exchange between them starts a counter of its own: the next reading is measured on it,
    // and the exchange's old final value is checked below.
    const QList<CounterExchange> &exchanges = m_manager.PreparedExchanges();
    const bool exchangeBetween = next && std::any_of(exchanges.cbegin(), exchanges.cend(), [&](const CounterExchange &e) {
        return e.day > date && e.day < next->day;
    });
    // A pass after this reading that the change may end stays on record as confirmed, as every
    // stored pass was (one stored before the record was kept has none yet).
    keepOnRecord(row.MeterID, next, nextWas);
    if (readingPass && !exchangeBetween)
        nextWas = Wraps();
    const QDate passedTo = storedPass && row.TakeNumber >= previousValue
                               ? passOn(row.MeterID, nextWas, exchanges, date, next)
                               : QDate();

    // The next exchange with no reading between: the old counter's final value entered there
    // may not become a pass of the old counter because of this reading, as it may not because
    // of a reading after it.
    for (const CounterExchange &e : exchanges) {
        if (e.day <= date || (next && next->day < e.day))
            continue;
        const qint64 lastBefore = counterBefore(row.MeterID, e, exchanges);
        const bool passBefore = e.OldFinal < lastBefore;
        if (row.TakeNumber > e.OldFinal && (!passBefore || readingPass) && e.day != passedTo
            && !passConfirmed(row.MeterID, e.day, e.OldFinal, PassOrigin{ iso(date), row.TakeNumber })) {
            m_refusal = exchangeBelowPreviousText(row.MeterID, e, row.TakeNumber);
            return std::nullopt;
        }
        if (passBefore)
            recordPass(row.MeterID, e.day, e.OldFinal, originOf(row.MeterID, e.day, lastBefore));
        break;
    }

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
    // A value below the one it is measured from was confirmed as a pass when it was prepared.
    if (row.TakeNumber < previousValue)
        recordPass(row.MeterID, date, row.TakeNumber, originOf(row.MeterID, date, previousValue));
    if (next && !(m_pending && m_pending(row.MeterID, next->day))
        && !repriceAfter(row.MeterID, date, *next, nextWas))
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
    Wraps nextWas = wrapsOf(meter, next);
    keepOnRecord(meter, next, nextWas);
    // The first exchange after the reading with no reading between is measured from it: its pass,
    // if it passes, is kept on record too.
    const QList<CounterExchange> exchanges = number ? exchangesAfter(meter, std::nullopt) : QList<CounterExchange>();
    const auto later = std::find_if(exchanges.cbegin(), exchanges.cend(),
                                    [&](const CounterExchange &e) { return e.day > date; });
    const bool measuredFromIt = later != exchanges.cend() && (!next || later->day < next->day);
    const qint64 lastBefore = measuredFromIt ? counterBefore(meter, *later, exchanges) : 0;
    if (measuredFromIt && later->OldFinal < lastBefore)
        recordPass(meter, later->day, later->OldFinal, originOf(meter, later->day, lastBefore));
    // A pass of an exchange before the deleted reading was confirmed when that reading was
    // measured through it; the next reading now measured through it takes the same pass.
    if (next)
        nextWas.exchanges.unite(wrapsOf(meter, Neighbour{ date, 0, true }).exchanges);
    QDate passedTo;
    if (number && storedAsPass(meter, date))
        passedTo = passOn(meter, nextWas, exchanges, date, next);
    // With no reading after it, the next exchange is what the deleted reading measured: its old
    // final value may not become a pass of the old counter because the reading is gone.
    const bool checkLater = measuredFromIt && !next;

    Savepoint savepoint(next.has_value() || checkLater);
    if (change(QStringLiteral("Delete from TakeMeter where MeterID = ? and TakeTime = ?"), { meter, iso(date) }) == 0) {
        m_refusal = QStringLiteral("表 %1 %2 的抄表记录已不存在，请刷新后重试！").arg(meter, iso(date));
        return false;
    }
    forgetPass(meter, date);
    if (checkLater) {
        const qint64 lastAfter = counterBefore(meter, *later, exchanges);
        if (later->OldFinal < lastAfter && later->OldFinal >= lastBefore && later->day != passedTo
            && !passConfirmed(meter, later->day, later->OldFinal, originOf(meter, later->day, lastAfter))) {
            m_refusal = exchangeBelowPreviousText(meter, *later, lastAfter);
            return false;
        }
    }
    if (next && !(m_pending && m_pending(meter, next->day)) && !repriceAfter(meter, date, *next, nextWas))
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

namespace {

QString meterMissingText(const QString &meterNo)
{
    return QStringLiteral("编号为 %1 的表不存在！").arg(meterNo);
}

StoredExchange exchangeRow(const QSqlQuery &q)
{
    StoredExchange e;
    e.MeterID = q.value(0).toString();
    e.ExchangeDate = StoredDay(q.value(1));
    e.OldFinal = q.value(2).toLongLong();
    e.OldBase = q.value(3).toLongLong();
    e.OldMaxBound = q.value(4).toLongLong();
    e.NewInitial = q.value(5).toLongLong();
    e.NewMaxBound = q.value(6).toLongLong();
    e.Note = q.value(7).toString();
    return e;
}

// A date and time as both engines take it back: its fields as text (a server's value without zone
// may be read as UTC, and would move if written back as such), a date alone at midnight.
QVariant storedDateTime(const QVariant &value)
{
    if (value.isNull() || value.metaType().id() != QMetaType::QDateTime)
        return value;
    const QDateTime dt = value.toDateTime();
    return dt.time() == QTime(0, 0) ? dt.date().toString(Qt::ISODate)
                                    : dt.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

CounterExchange counterExchange(const StoredExchange &e)
{
    return { e.ExchangeDate, e.OldFinal, e.OldBase, e.OldMaxBound, e.NewInitial, e.NewMaxBound };
}

}

QList<StoredExchange> ReadingStore::exchanges(const QString &meterNo) const
{
    QList<StoredExchange> rows;
    eachRow(QStringLiteral("Select MeterID, ExchangeDate, OldFinal, OldBase, OldMaxBound, NewInitial, NewMaxBound, "
                           "Note from MeterExchange where MeterID = ? order by ExchangeDate"),
            { meterNo }, [&](const QSqlQuery &q) { rows << exchangeRow(q); });
    return rows;
}

std::optional<StoredExchange> ReadingStore::writeExchange(const ExchangeRequest &request, bool replace)
{
    m_repriced.clear();
    m_refusal.clear();
    using Part = ExchangeRequest::Part;
    // Most refusals concern a counter value; the others say which part they concern.
    m_refusedPart = Part::OldFinal;
    const auto refuse = [&](Part part, const QString &text) {
        m_refusedPart = part;
        m_manager.ShowMessageText(text);
        return std::nullopt;
    };
    const std::optional<QString> number = registeredNumber(request.MeterNO);
    if (!number) {
        m_manager.ShowMessageText(meterMissingText(request.MeterNO));
        return std::nullopt;
    }
    // Another clerk's change to this meter's readings or exchanges finishes before this one reads them.
    lockMeter(*number);
    const QDate date = request.ExchangeDate;
    const QString day = iso(date);
    QVariant type;
    QVariant setupDate;
    std::optional<MeterInfo> meter;
    eachRow(QStringLiteral("Select MeterNO, BaseNumber, MaxBound, Type, SetupDate from Meter where MeterNO = ?"),
            { *number }, [&](const QSqlQuery &q) {
                meter = MeterInfo();
                meter->MeterNO = q.value(0).toString();
                meter->BaseNumber = q.value(1).toLongLong();
                meter->MaxBound = q.value(2).toLongLong();
                type = q.value(3);
                setupDate = storedDateTime(q.value(4));
            });

    // Exchanges follow one another in time: only the last one may be corrected.
    QList<StoredExchange> earlier = exchanges(*number);
    const bool correcting = !earlier.isEmpty() && earlier.constLast().ExchangeDate == date;
    if (!earlier.isEmpty() && earlier.constLast().ExchangeDate > date)
        return refuse(Part::Date, QStringLiteral("换表日期不能早于该表上次换表日期 %1！")
                                      .arg(iso(earlier.constLast().ExchangeDate)));
    if (correcting && !replace)
        return refuse(Part::Date, QStringLiteral("表 %1 在 %2 已换过表！").arg(*number, day));
    if (m_manager.IsReadOnDate(*number, date))
        return refuse(Part::Date, QStringLiteral("表 %1 在 %2 已有抄表记录，不能在抄表当天换表！").arg(*number, day));

    // The meter as it was before this exchange: a correction keeps what the exchange found.
    StoredExchange row;
    row.MeterID = *number;
    row.ExchangeDate = date;
    row.OldFinal = request.OldFinal;
    row.NewInitial = request.NewInitial;
    row.Note = request.Note;
    row.replaced = correcting;
    qint64 earlierMaximum = 0;
    if (correcting) {
        const StoredExchange stored = earlier.takeLast();
        earlierMaximum = stored.NewMaxBound;
        row.OldBase = stored.OldBase;
        row.OldMaxBound = stored.OldMaxBound;
        row.NewMaxBound = request.NewMaxBound.value_or(stored.NewMaxBound);
    } else {
        row.OldBase = meter->BaseNumber;
        row.OldMaxBound = meter->MaxBound;
        row.NewMaxBound = request.NewMaxBound.value_or(meter->MaxBound);
    }
    if (row.NewMaxBound < 1)
        return refuse(Part::NewMaxBound, QStringLiteral("新表最大计数必须大于零！"));
    if (row.OldFinal < 0 || row.OldFinal > row.OldMaxBound)
        return refuse(Part::OldFinal, QStringLiteral("旧表止数必须在 0 到 %1 之间！").arg(row.OldMaxBound));
    if (row.NewInitial < 0 || row.NewInitial > row.NewMaxBound)
        return refuse(Part::NewInitial, QStringLiteral("新表起数必须在 0 到 %1 之间！").arg(row.NewMaxBound));
    if (request.Type && request.Type->size() > 20)
        return refuse(Part::Type, QStringLiteral("型号不能超过 20 个字符！"));
    if (request.Note.size() > 50)
        return refuse(Part::Note, QStringLiteral("备注不能超过 50 个字符！"));
    QString tooHigh;
    eachRow(QStringLiteral("Select TakeTime, TakeNumber from TakeMeter where MeterID = ? and TakeTime > ? "
                           "and TakeNumber > ? order by TakeTime limit 1"),
            { *number, day, row.NewMaxBound }, [&](const QSqlQuery &q) {
                tooHigh = QStringLiteral("表 %1 %2 的抄表数 %3 大于新表的最大计数 %4！")
                              .arg(*number, q.value(0).toString(), q.value(1).toString(), QString::number(row.NewMaxBound));
            });
    if (!tooHigh.isEmpty())
        return refuse(Part::NewMaxBound, tooHigh);

    // The old counter's final value is read like a counter value: below the value it last showed
    // it passed its maximum, which only the operator can tell.
    MeterInfo before = *meter;
    before.BaseNumber = row.OldBase;
    before.MaxBound = row.OldMaxBound;
    QList<CounterExchange> counters;
    for (const StoredExchange &e : std::as_const(earlier))
        counters << counterExchange(e);
    const std::optional<PreviousReading> previous = previousReading(*number, date);
    const std::optional<CounterStart> start = MeasureFrom(before, previous, counters, date);
    if (!start) {
        m_manager.ShowMessageText(QStringLiteral("使用数量超出范围，请检查抄表数！"));
        return std::nullopt;
    }
    const bool passedMaximum = row.OldFinal < start->previous;
    if (passedMaximum
        && (!m_manager.FConfirmRollover
            || !m_manager.FConfirmRollover(qint32(row.OldFinal), qint32(std::clamp<qint64>(start->previous, 0, INT_MAX)))))
        return std::nullopt;

    const std::optional<Neighbour> next = nextReading(*number, date);
    Wraps nextWas = wrapsOf(*number, next);
    keepOnRecord(*number, next, nextWas);
    // The operator has just called the old counter's pass over its maximum a rollover.
    if (passedMaximum)
        nextWas.exchanges.insert(date);
    // A pass the next reading was confirmed as was the old counter's: measured on the new counter
    // now, a value below the new counter's first one would be a pass nobody confirmed.
    if (!correcting)
        nextWas.rollover = false;

    Savepoint savepoint(next.has_value());
    const QString entered = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    if (correcting) {
        change(QStringLiteral("Update MeterExchange set OldFinal = ?, NewInitial = ?, NewMaxBound = ?, Note = ?, "
                              "InputTime = ? where MeterID = ? and ExchangeDate = ?"),
               { row.OldFinal, row.NewInitial, row.NewMaxBound, row.Note, entered, *number, day });
    } else {
        change(QStringLiteral("Insert into MeterExchange (MeterID, ExchangeDate, OldFinal, OldBase, OldMaxBound, "
                              "NewInitial, NewMaxBound, OldType, OldSetupDate, Note, InputTime) "
                              "values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
               { *number, day, row.OldFinal, row.OldBase, row.OldMaxBound, row.NewInitial, row.NewMaxBound, type,
                 setupDate, row.Note, entered });
    }
    if (passedMaximum)
        recordPass(*number, date, row.OldFinal, originOf(*number, date, start->previous));
    // The register shows the counter in place now.
    change(QStringLiteral("Update Meter set BaseNumber = ?, MaxBound = ?, Type = ?, SetupDate = ? where MeterNO = ?"),
           { row.NewInitial, row.NewMaxBound, request.Type ? QVariant(*request.Type) : type, day, *number });
    // The readings after the exchange were measured through the maximum in place before it.
    const qint64 maximumBefore = correcting ? earlierMaximum : meter->MaxBound;
    if (next && !repriceAfter(*number, date, *next, nextWas, row.NewMaxBound != maximumBefore))
        return std::nullopt;
    savepoint.release();
    return row;
}

bool ReadingStore::removeExchange(const QString &meterNo, const QDate &date)
{
    m_repriced.clear();
    m_refusal.clear();
    const std::optional<QString> number = registeredNumber(meterNo);
    if (!number) {
        m_manager.ShowMessageText(meterMissingText(meterNo));
        return false;
    }
    lockMeter(*number);
    const QList<StoredExchange> all = exchanges(*number);
    const auto found = std::find_if(all.cbegin(), all.cend(),
                                    [&](const StoredExchange &e) { return e.ExchangeDate == date; });
    if (found == all.cend()) {
        m_manager.ShowMessageText(QStringLiteral("表 %1 在 %2 没有换表记录！").arg(*number, iso(date)));
        return false;
    }
    if (found != all.cend() - 1) {
        m_manager.ShowMessageText(QStringLiteral("只能删除该表最后一次换表记录！"));
        return false;
    }
    if (nextReading(*number, date)) {
        m_manager.ShowMessageText(
            QStringLiteral("表 %1 在 %2 换表以后已有抄表记录，不能删除这次换表！").arg(*number, iso(date)));
        return false;
    }
    // With no reading after it, nothing was measured through it.
    QVariantList restored;
    eachRow(QStringLiteral("Select OldBase, OldMaxBound, OldType, OldSetupDate from MeterExchange "
                           "where MeterID = ? and ExchangeDate = ?"),
            { *number, iso(date) }, [&](const QSqlQuery &q) {
                restored = { q.value(0), q.value(1), q.value(2), storedDateTime(q.value(3)) };
            });
    change(QStringLiteral("Update Meter set BaseNumber = ?, MaxBound = ?, Type = ?, SetupDate = ? where MeterNO = ?"),
           restored + QVariantList{ *number });
    change(QStringLiteral("Delete from MeterExchange where MeterID = ? and ExchangeDate = ?"), { *number, iso(date) });
    forgetPass(*number, date);
    return true;
}

std::optional<StoredExchange> ReadingStore::storeExchange(const ExchangeRequest &request, bool replace)
{
    std::optional<StoredExchange> row;
    runTransaction(Database::connection(), [&] {
        row = writeExchange(request, replace);
        return row.has_value();
    });
    return row;
}

bool ReadingStore::eraseExchange(const QString &meterNo, const QDate &date)
{
    return runTransaction(Database::connection(), [&] { return removeExchange(meterNo, date); });
}
