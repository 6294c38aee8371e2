// Unusual.h: whether a reading's consumption per day is unlike the meter's usual consumption per
// day, the rule the reading window, the command line and the review report share.
#pragma once

#include <QDate>
#include <QList>
#include <QString>
#include <QVariantList>
#include <optional>

class QSqlDatabase;

namespace Unusual {

// An exact quotient: a consumption over a number of days.
struct Rate
{
    qint64 units = 0;
    qint64 days = 1;            // above zero
};

// A stored reading that holds a counter value: its date and consumption.
struct Past
{
    QDate day;
    qint64 CurValue = 0;
};

// The readings a check reads: the ten whose rates make the usual, and the one before them that
// the oldest is measured from.
constexpr int History = 11;

// The meter's usual consumption per day: the median of the rates of its last ten readings, each
// its consumption over the days since the reading before it. newestFirst holds up to History
// readings before the one checked, newest first; the oldest has no rate unless one is older
// still. Nothing with fewer than three rates.
std::optional<Rate> usual(const QList<Past> &newestFirst);

enum class Verdict {
    Usual,
    Zero,       // nothing consumed where the meter usually consumes
    High,       // more than three times the usual per day
    Low,        // less than a third of the usual per day
};
// consumption over days, compared with usual.
Verdict judge(qint64 consumption, qint64 days, const Rate &usual);

// A rate as shown: at most two decimals, rounded half up, no trailing zeros ("12.5", "0.33").
QString text(const Rate &rate);

// A stored reading that the rule finds unusual, for the review of a period.
struct Finding
{
    QString MeterID;
    QDate TakeTime;
    qint64 TakeNumber = 0;
    qint64 CurValue = 0;
    qint64 days = 0;            // since the previous reading; 0 when there is none
    QString perDay;             // CurValue / days as shown; empty without days
    QString usual;              // empty when unknown
    QString reason;             // "为零", "超过三倍", "不足三分之一", "归零重新计数"
};

// The stored readings dated from..to that are unusual by the rule, or stored as a rollover, each
// judged against the ten readings before it, by meter number and date. Throws DatabaseError.
QList<Finding> findings(const QSqlDatabase &db, const QDate &from, const QDate &to);

}
