#include "Unusual.h"

#include "Database.h"
#include "UCommon.h"

#include <QSqlError>
#include <QSqlQuery>

#include <algorithm>
#include <functional>

namespace Unusual {

namespace {

using Wide = __int128;

// a < b for quotients with positive divisors.
bool less(const Rate &a, const Rate &b)
{
    return Wide(a.units) * b.days < Wide(b.units) * a.days;
}

// Runs a kept statement with positional values and hands each row to take; throws DatabaseError.
void eachRow(const QSqlDatabase &db, const QString &sql, const QVariantList &values,
             const std::function<void(const QSqlQuery &)> &take)
{
    QSqlQuery &query = cachedQuery(db, sql, int(values.size()));
    for (int i = 0; i < values.size(); ++i)
        query.bindValue(i, values.at(i));
    bool ok = query.exec();
    while (ok && query.next())
        take(query);
    const QSqlError error = query.lastError();
    query.finish();
    if (!ok || error.isValid())
        throw DatabaseError::fromSqlError(error);
}

}

std::optional<Rate> usual(const QList<Past> &newestFirst)
{
    QList<Rate> rates;
    for (int i = 0; i + 1 < newestFirst.size() && rates.size() < History - 1; ++i) {
        const qint64 days = newestFirst.at(i + 1).day.daysTo(newestFirst.at(i).day);
        if (days > 0)
            rates << Rate{ newestFirst.at(i).CurValue, days };
    }
    if (rates.size() < 3)
        return std::nullopt;
    std::sort(rates.begin(), rates.end(), less);
    const qsizetype middle = rates.size() / 2;
    if (rates.size() % 2 == 1)
        return rates.at(middle);
    // The mean of the two middle rates: consumption below 2^31 over days below 2^17 leaves room.
    const Rate &a = rates.at(middle - 1);
    const Rate &b = rates.at(middle);
    return Rate{ a.units * b.days + b.units * a.days, 2 * a.days * b.days };
}

Verdict judge(qint64 consumption, qint64 days, const Rate &usual)
{
    if (days <= 0)
        return Verdict::Usual;
    const Wide now = Wide(consumption) * usual.days;    // compared over days × usual.days
    const Wide normal = Wide(usual.units) * days;
    if (consumption == 0 && usual.units > 0)
        return Verdict::Zero;
    if (now > 3 * normal)
        return Verdict::High;
    if (3 * now < normal)
        return Verdict::Low;
    return Verdict::Usual;
}

QString text(const Rate &rate)
{
    const bool negative = rate.units < 0;
    const Wide units = negative ? -Wide(rate.units) : Wide(rate.units);
    const Wide hundredths = (units * 200 + rate.days) / (2 * Wide(rate.days));
    QString whole = QString::number(qint64(hundredths / 100));
    const int fraction = int(hundredths % 100);
    if (fraction != 0) {
        whole += u'.' + QStringLiteral("%1").arg(fraction, 2, 10, QChar(u'0'));
        while (whole.endsWith(u'0'))
            whole.chop(1);
    }
    return negative ? u'-' + whole : whole;
}

QList<Finding> findings(const QSqlDatabase &db, const QDate &from, const QDate &to)
{
    const QString first = from.toString(Qt::ISODate);
    const QString last = to.toString(Qt::ISODate);
    QList<MeterInfo> meters;
    {
        QSqlQuery q = execSql(db, QStringLiteral("Select MeterNO, BaseNumber, MaxBound from Meter order by MeterNO"));
        while (q.next()) {
            MeterInfo m;
            m.MeterNO = q.value(0).toString();
            m.BaseNumber = q.value(1).toLongLong();
            m.MaxBound = q.value(2).toLongLong();
            meters << m;
        }
    }
    QList<Finding> found;
    for (const MeterInfo &meter : std::as_const(meters)) {
        // The period's readings, then the history before it: both from the (MeterID, TakeTime) order.
        QList<Past> period;
        QList<qint64> counters;
        eachRow(db,
                QStringLiteral("Select TakeTime, TakeNumber, CurValue from TakeMeter where MeterID = ? "
                               "and TakeTime >= ? and TakeTime <= ? and TakeNumber is not null order by TakeTime"),
                { meter.MeterNO, first, last }, [&](const QSqlQuery &q) {
                    period << Past{ StoredDay(q.value(0)), q.value(2).toLongLong() };
                    counters << q.value(1).toLongLong();
                });
        if (period.isEmpty())
            continue;
        QList<Past> history;   // newest first
        std::optional<PreviousReading> previous;
        eachRow(db, ReadingSql::recentReadings(), { meter.MeterNO, first }, [&](const QSqlQuery &q) {
            if (!previous)
                previous = PreviousReading{ StoredDay(q.value(0)), q.value(1).toLongLong() };
            history << Past{ StoredDay(q.value(0)), q.value(2).toLongLong() };
        });
        QList<CounterExchange> exchanges;
        eachRow(db, ReadingSql::exchangesAfter(), { meter.MeterNO, ReadingSql::beforeAnyDate() }, [&](const QSqlQuery &q) {
            exchanges << CounterExchange{ StoredDay(q.value(0)),      q.value(1).toLongLong(), q.value(2).toLongLong(),
                                          q.value(3).toLongLong(), q.value(4).toLongLong(), q.value(5).toLongLong() };
        });
        for (int i = 0; i < period.size(); ++i) {
            const Past &r = period.at(i);
            const std::optional<CounterStart> start = MeasureFrom(meter, previous, exchanges, r.day);
            const bool rollover = start && counters.at(i) < start->previous;
            const std::optional<Rate> normal = usual(history);
            const qint64 days = previous ? previous->day.daysTo(r.day) : 0;
            Finding f{ meter.MeterNO, r.day, counters.at(i), r.CurValue, days, QString(), QString(), QString() };
            if (days > 0)
                f.perDay = text(Rate{ r.CurValue, days });
            if (normal)
                f.usual = text(*normal);
            if (rollover) {
                f.reason = QStringLiteral("归零重新计数");
            } else if (normal) {
                switch (judge(r.CurValue, days, *normal)) {
                case Verdict::Zero:
                    f.reason = QStringLiteral("为零");
                    break;
                case Verdict::High:
                    f.reason = QStringLiteral("超过三倍");
                    break;
                case Verdict::Low:
                    f.reason = QStringLiteral("不足三分之一");
                    break;
                case Verdict::Usual:
                    break;
                }
            }
            if (!f.reason.isEmpty())
                found << f;
            history.prepend(r);
            if (history.size() > History)
                history.removeLast();
            previous = PreviousReading{ r.day, counters.at(i) };
        }
    }
    return found;
}

}
