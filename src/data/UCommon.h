// UCommon.h: the data manager: binds query objects to the database, runs the shared look-ups,
// shows the standard message and carries the result of the last reading computation.
#pragma once

#include "Currency.h"

#include <QDate>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>
#include <functional>
#include <optional>

class DataSet;

// Removes leading and trailing characters at or below the blank (spaces and control characters).
QString TrimBlanks(const QString &text);

// Where ShowMessageText's texts go: the application shows them in the standard box
// ("错误提示", information icon); a test records them.
void SetMessageSink(std::function<void(const QString &text)> sink);

// A request to end the program takes effect when control returns to the event loop;
// from the request on no message is shown.
void RequestTerminate();
bool TerminateRequested();
void SetTerminateHandler(std::function<void()> handler);
void ClearTerminateRequest();

// The meter facts PrepareReading loads. Integers are kept as stored, in 64 bits, so that the
// arithmetic on them can check its range before anything is stored.
struct MeterInfo
{
    QString MeterNO;            // the registered spelling of the number
    Currency PriceNumber;       // unit price within the quota
    Currency ExceedPrice;       // unit price beyond the quota; 0 means PriceNumber
    qint64 BaseNumber = 0;      // counter value at installation
    qint64 MaxBound = 0;        // highest value the counter shows
    Currency Quota;             // monthly quota as money; 0 or less means none
    qint64 SubjoinNumber = 0;   // additional quantity charged with every reading
    qint64 Multiple = 0;        // multiplier of counter differences
    qint64 WorkShopID = 0;
    qint64 SubWorkShopID = 0;
    qint64 QuotaNumber = 0;     // Quota / PriceNumber truncated toward zero; 0 at price 0
};

// The reading being computed and the meter's earlier readings of its month.
struct ReadingInfo
{
    qint64 ReadCount = 0;       // readings from the first of the month up to the day before
    Currency MonthCharge;
    Currency MonthQuotaCharge;
    qint64 MonthCurValue = 0;   // their consumption
    qint64 MonthSubjoin = 0;    // ReadCount × the meter's present SubjoinNumber
    qint32 LastTakeNumber = 0;  // the counter value this reading is measured from
    qint32 TakeNumber = 0;      // the counter value read
    qint32 CurValue = 0;        // consumption, the additional quantity not included
    QDate TakeTime;
};

// The figures a reading stores.
struct ReadingFigures
{
    qint32 CurValue = 0;        // consumption, the additional quantity not included
    Currency Charge;            // within the quota
    Currency QuotaCharge;       // beyond the quota
};

// The meter facts of one row of ReadingSql::meterInfo(), given its columns by position.
MeterInfo ReadMeterInfo(const std::function<QVariant(int column)> &column);

// One exchange of a meter's counter, as the computation sees it. Readings dated before the day
// belong to the old counter, readings after it to the new one.
struct CounterExchange
{
    QDate day;
    qint64 OldFinal = 0;        // the old counter's last value
    qint64 OldBase = 0;         // the meter's base count before the exchange
    qint64 OldMaxBound = 0;     // the old counter's maximum count
    qint64 NewInitial = 0;      // the new counter's first value
    qint64 NewMaxBound = 0;
};

// The counter value of the latest earlier reading that holds one.
struct PreviousReading
{
    QDate day;
    qint64 TakeNumber = 0;
};

// What a reading is measured from.
struct CounterStart
{
    qint64 previous = 0;        // the value its own counter last showed, or started from
    qint64 maxBound = 0;        // the maximum count of the counter in place on its date
    qint64 exchangedUnits = 0;  // counter units run on the counters exchanged since the previous reading
    bool exchanged = false;     // an exchange lies between the previous reading and this one
    bool exchangeWrapped = false;   // the first of those old counters passed its maximum
};

// Where a reading dated day starts: exchanges holds the meter's exchanges in date order, at least
// those after previous. With no exchange between the previous reading and day, the reading is
// measured from the previous reading, else from the meter's base (the base before the first
// exchange after day, if any). Otherwise the old counter's span up to its final value (through
// its maximum when the final value is lower), the spans of any further exchanged counters, and
// the new counter's span from its initial value are added. The maximum count is that of the
// counter in place on day: the old maximum of the next exchange after day, else the meter's.
// Nothing when a sum leaves 64 bits.
std::optional<CounterStart> MeasureFrom(const MeterInfo &meter, const std::optional<PreviousReading> &previous,
                                        const QList<CounterExchange> &exchanges, const QDate &day);

// Prices a counter value measured from start (through the maximum count when rollover), after
// monthCount earlier readings of its month that consumed monthCurValue. Nothing when the
// consumption leaves 0..2^31−1 or an amount leaves 64 bits.
std::optional<ReadingFigures> PriceReading(const MeterInfo &meter, const CounterStart &start, qint64 counter,
                                           bool rollover, qint64 monthCurValue, qint64 monthCount);

// The form in which meter numbers are compared: without the blanks and control characters at
// either end, case-folded for every letter ("Ä1" and "ä1" are one number). The statements compare
// both sides through MeterKey(), a function of every connection, so the engine folds them alike.
QString MeterKey(const QString &number);

// Asks whether a counter value below the previous one means the counter passed its maximum and
// started again; false refuses the reading without a message.
using RolloverConfirmation = std::function<bool(qint32 typed, qint32 previous)>;

// A reading whose consumption per day since the previous reading is unlike the meter's usual.
struct UnusualReading
{
    QString MeterNO;
    QDate TakeTime;
    qint32 CurValue = 0;        // consumption of the reading
    QString usual;              // the usual consumption per day as shown; empty when unknown
    bool rollover = false;      // the counter passed its maximum (always unusual)
};
// Asked by PrepareReading for an unusual reading; false refuses it without a message.
using UnusualConfirmation = std::function<bool(const UnusualReading &reading)>;

// "表 " + number + " 本次使用数量 " + consumption + "，近期日均 " + usual + "，是否保存？"
QString UnusualQuestionText(const UnusualReading &reading);

// The refusal of a reading whose meter, or the meter's price, is not registered.
// A stored date as a date: a date from the server, a text beginning "yyyy-MM-dd" from a file.
QDate StoredDay(const QVariant &value);
QString MeterNotFoundText(const QString &meterNo);

// The question a window asks for a counter value below the previous one.
QString RolloverQuestionText(qint32 typed, qint32 previous);

// The refusal of a reading dated on a day the meter's counter was exchanged.
QString ExchangeDayText(const QString &meterNo, const QDate &date);

// The statements of the reading services; every value is a named parameter.
namespace ReadingSql {
QString meterNumbers();      // :Pattern, a prefixPattern (LIKE, backslash escapes), compared as MeterKey
QString readOnDate();        // :MeterNO, :TakeTime
QString meterInfo();         // :MeterNO
QString monthWindow();       // :MeterNO, :FirstDay, :TakeTime (the window excludes :TakeTime)
QString previousCounter();   // :MeterNO, :TakeTime → TakeTime, TakeNumber of the latest earlier reading
// The latest readings before :TakeTime that hold a counter value, newest first: the previous
// counter value and the history the unusual check compares with.
QString recentReadings();    // :MeterNO, :TakeTime
// The meter's exchanges on or after :From (an ISO date; beforeAnyDate() for all), in date order.
QString exchangesAfter();    // :MeterNO, :From
// A date text not after any date stored (a NULL would compare as unknown).
QString beforeAnyDate();
// The typed text as a LIKE pattern matching the numbers that begin with it.
QString prefixPattern(const QString &typed);
}

class TKelvaraMg : public QObject
{
    Q_OBJECT
public:
    explicit TKelvaraMg(QObject *parent = nullptr);
    ~TKelvaraMg() override;

    // Connects a query object to the program's database. A missing file shows the
    // connection message and requests the end of the program; returns false then.
    bool BindQuery(DataSet *query);
    // Runs a SELECT on FQuery with named parameters; a failure shows "数据集打开错误！" and leaves
    // FQuery closed, so that reading it fails.
    void RunQuery(const QString &sql, const QVariantMap &params = {});
    // The rows of a SELECT of the reading services, which run several times for every reading:
    // the statement is prepared once per connection and read straight into values, without the
    // query object's bookkeeping. A failure is told as RunQuery tells it, and thrown.
    QList<QVariantList> LookUp(const QString &sql, const QVariantMap &params);
    QString GetUsingUnitName();
    static QString FormatMonth(const QDate &date);
    static QString GetAppDir();
    void ShowMessageText(const QString &text) const;

    // Keeps the manager's messages from the moment it is made and shows them, in order, when it
    // ends: a box never waits for the operator while a transaction holds the database.
    class HeldMessages
    {
    public:
        explicit HeldMessages(TKelvaraMg &manager);
        ~HeldMessages();
        HeldMessages(const HeldMessages &) = delete;
        HeldMessages &operator=(const HeldMessages &) = delete;

    private:
        TKelvaraMg &m_manager;
        QStringList *m_outer;
        QStringList m_texts;
    };

    void SetCurValue(qint32 value) { FCurValue = value; }
    void SetCharge(Currency value) { FCharge = value; }
    void SetQuotaCharge(Currency value) { FQuotaCharge = value; }
    void SetTakeNumber(qint32 value) { FTakeNumber = value; }

    // Reading services. Dates are calendar dates; texts are compared without regard to case.
    //
    // The meter numbers beginning with the typed text, in order: FQuery itself, on its first
    // row, one column MeterNO. % and _ in the text match only themselves. Valid until the next
    // service runs a statement.
    DataSet *FindMeterNumbers(const QString &meterNo);
    // Whether the meter has a reading dated date.
    bool IsReadOnDate(const QString &meterNo, const QDate &date);
    // Loads the meter with its prices, its readings of date's month before date and its previous
    // counter value (the latest reading dated before date, else BaseNumber), checks the counter
    // value and computes consumption and charges. meterNo is the registered number of the row
    // being saved. True: ComputeCharge may follow and cannot fail. False: refused and nothing
    // may be stored; the reasons, in the order they are tested, with their message through
    // ShowMessageText:
    //   meter or its price not registered   MeterNotFoundText(meterNo)
    //   takeNumber < 0                      "抄表数不能小于零！"
    //   takeNumber > MaxBound               "抄表数大于表的最大计数范围：" + MaxBound
    //   an exchange of the meter dated date ExchangeDayText(meterNo, date)
    //   takeNumber < previous, and the rollover confirmation does not say yes: no message
    //   consumption outside 0..2^31−1, or a charge beyond 64 bits
    //                                       "使用数量超出范围，请检查抄表数！"
    //   an unusual reading (a rollover included) that the unusual confirmation, when set,
    //   does not accept: no message
    // The previous counter value and the maximum count follow the meter's exchanges (MeasureFrom).
    // A failed statement shows "数据集打开错误！" and throws DatabaseError.
    bool PrepareReading(const QString &meterNo, qint32 takeNumber, const QDate &date);
    // Publishes the prepared reading in FCurValue, FCharge, FQuotaCharge and FTakeNumber and
    // releases the working records. Throws std::logic_error without a successful PrepareReading.
    void ComputeCharge();
    // The meter's exchanges from its previous reading on, every one after the reading date
    // among them, as the last successful PrepareReading found them.
    const QList<CounterExchange> &PreparedExchanges() const { return FExchanges; }

    // Asked by PrepareReading for a counter value below the previous one; unset refuses. A window
    // asks RolloverQuestionText (caption "提示", question icon, Yes and No).
    void SetRolloverConfirmation(RolloverConfirmation confirm) { FConfirmRollover = std::move(confirm); }
    // Asked by PrepareReading for a reading unusual by Unusual::check; unset, nothing is checked.
    void SetUnusualConfirmation(UnusualConfirmation confirm) { FConfirmUnusual = std::move(confirm); }

    DataSet *FQuery = nullptr;
    qint32 FCurValue = 0;
    Currency FCharge;
    Currency FQuotaCharge;
    qint32 FTakeNumber = 0;
    RolloverConfirmation FConfirmRollover;
    UnusualConfirmation FConfirmUnusual;

private:
    QStringList *m_heldMessages = nullptr;
    std::optional<MeterInfo> FMeterInfo;
    std::optional<ReadingInfo> FReadingInfo;
    ReadingFigures FFigures;
    QList<CounterExchange> FExchanges;
};

extern TKelvaraMg *KelvaraMg;
