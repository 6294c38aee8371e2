// ReadingStore.h: stores, corrects and deletes meter readings and keeps the meter's later readings
// true: the one place where readings are written, for the reading window and the command line.
#pragma once

#include "Currency.h"

#include <QDate>
#include <QList>
#include <QString>
#include <functional>
#include <optional>

class TKelvaraMg;

// The TakeMeter row a reading wrote.
struct StoredReading
{
    QString MeterID;          // the registered spelling of the meter number
    QDate TakeTime;           // reading date
    qint32 TakeNumber = 0;    // counter value read
    qint32 CurValue = 0;      // consumption
    Currency Charge;          // within the quota
    Currency QuotaCharge;     // beyond the quota
    QDate InputDate;
    bool replaced = false;    // the meter's reading of that date was corrected
};

// An exchange of a meter's counter as entered.
struct ExchangeRequest
{
    QString MeterNO;
    QDate ExchangeDate;
    qint32 OldFinal = 0;                 // the old counter's last value
    qint32 NewInitial = 0;               // the new counter's first value
    std::optional<qint64> NewMaxBound;   // the old maximum count unless given
    std::optional<QString> Type;         // the meter's model stays unless given
    QString Note;

    // The part of the request a refusal concerns, so that a window can put the cursor there.
    enum class Part { Date, OldFinal, NewInitial, NewMaxBound, Type, Note };
};

// A MeterExchange row.
struct StoredExchange
{
    QString MeterID;          // the registered spelling of the meter number
    QDate ExchangeDate;
    qint64 OldFinal = 0;
    qint64 OldBase = 0;
    qint64 OldMaxBound = 0;
    qint64 NewInitial = 0;
    qint64 NewMaxBound = 0;
    QString Note;
    bool replaced = false;    // the meter's exchange of that date was corrected
};

// Every change to a meter's readings re-prices, in the same transaction, the stored readings whose
// figures depend on it, exactly as entering the meter's readings in date order would price them:
// the readings after it in its month (their quota split), the next reading after it (measured from
// the new previous counter value) and the later readings of that next reading's month. Readings of
// other months keep their figures: there is no price history, and today's prices must not rewrite
// bills already issued. A later reading stored as a rollover is measured through the maximum count
// while its counter value stays below its previous one; a change that would leave a later reading
// that was no rollover below its previous value is refused.
class ReadingStore
{
public:
    // Computes through the manager's reading services; refusals go through its ShowMessageText,
    // a lower counter value through its rollover confirmation.
    explicit ReadingStore(TKelvaraMg &manager);

    // The date written as InputDate; today unless set.
    void setInputDate(const QDate &date) { m_inputDate = date; }

    // The readings a batch is still to write, by meter and date. A change whose next reading is
    // one of them leaves the re-pricing to that reading's own write, which measures it from the
    // change: a batch that corrects several readings of a meter is checked as its final state is.
    using PendingChange = std::function<bool(const QString &meterNo, const QDate &date)>;
    void setPendingChanges(PendingChange pending) { m_pending = std::move(pending); }

    // The registered meter number that the text names: equal without regard to case, or, for
    // numbers stored with blanks at either end or differing in a non-ASCII letter's case, equal
    // in MeterKey.
    std::optional<QString> registeredNumber(const QString &meterNo) const;

    // Computes the reading of meterNo without writing it: the row a save would store. Refused,
    // with the message shown, for an unregistered meter or price, a reading of that meter on that
    // date already stored unless replace (the row being saved is that reading), or anything
    // PrepareReading refuses.
    std::optional<StoredReading> prepare(const QString &meterNo, qint32 takeNumber, const QDate &date,
                                         bool replace = false);

    // Computes the reading, writes the row and re-prices the dependent readings, within the
    // caller's transaction, holding the meter's row lock. Nothing is written when it is refused:
    // as prepare, or for a later reading (refusal() says why); a second reading of the date that
    // another writer stored first is refused as prepare refuses it, and the caller's
    // transaction is then to be rolled back. A database failure throws DatabaseError; the caller's
    // transaction is then to be rolled back.
    std::optional<StoredReading> write(const QString &meterNo, qint32 takeNumber, const QDate &date,
                                       bool replace = false);
    // Deletes the meter's reading of date and re-prices the dependent readings, within the caller's
    // transaction. False, with refusal() saying why, when it is refused for a later reading or no
    // such reading is stored (another program changed or deleted it meanwhile).
    bool remove(const QString &meterNo, const QDate &date);

    // write() and remove() in a transaction of their own, run again after a deadlock.
    std::optional<StoredReading> store(const QString &meterNo, qint32 takeNumber, const QDate &date,
                                       bool replace = false);
    bool erase(const QString &meterNo, const QDate &date);

    // Exchanges the meter's counter on the request's date, within the caller's transaction:
    // readings before the date belong to the old counter, after it to the new one, and the meter
    // then shows the new counter (BaseNumber, MaxBound, the model when given, SetupDate the date).
    // The readings after the date are re-priced as a change of a reading re-prices them. Refused,
    // with the message through the manager's ShowMessageText: an unregistered meter; a date before
    // the meter's last exchange, or on it unless replace (which corrects that exchange); a reading
    // of the meter dated that day; values outside 0..the maximum count, a maximum below 1, a model
    // or note too long; a reading after the date above the new maximum; an old final value below
    // the counter's previous value that the rollover confirmation does not call a rollover (no
    // message). Refused for a later reading as a reading change is (refusal()).
    std::optional<StoredExchange> writeExchange(const ExchangeRequest &request, bool replace = false);
    // Deletes the meter's exchange of date and puts the meter back as it was before it. Only the
    // meter's last exchange, and only while no reading is dated after it; otherwise refused with
    // the message through ShowMessageText.
    bool removeExchange(const QString &meterNo, const QDate &date);
    // The same in transactions of their own.
    std::optional<StoredExchange> storeExchange(const ExchangeRequest &request, bool replace = false);
    bool eraseExchange(const QString &meterNo, const QDate &date);
    // The meter's exchanges, oldest first.
    QList<StoredExchange> exchanges(const QString &meterNo) const;

    // The later readings the last write or remove re-priced, in date order, with their new figures.
    const QList<StoredReading> &repriced() const { return m_repriced; }
    // Why the last write or remove was refused because of a later reading, naming its date and
    // counter value; empty otherwise. It is not shown: the caller tells it as it tells its refusals.
    const QString &refusal() const { return m_refusal; }
    // The part of the exchange the last refused write concerned.
    ExchangeRequest::Part refusedPart() const { return m_refusedPart; }

    // The refusal of a second reading of a meter on one date.
    static QString alreadyReadText();

    struct Neighbour;
    struct Wraps;

private:
    // Takes the meter's row lock for the rest of the transaction where the engine locks rows:
    // writers of one meter's readings then take turns, each reading what the one before wrote.
    void lockMeter(const QString &number) const;
    std::optional<StoredReading> prepareRegistered(const QString &number, qint32 takeNumber, const QDate &date,
                                                   bool replace);
    std::optional<Neighbour> nextReading(const QString &meterNo, const QDate &date) const;
    bool repriceAfter(const QString &meterNo, const QDate &changed, const Neighbour &next, const Wraps &before,
                      bool toLastReading = false);

    TKelvaraMg &m_manager;
    QDate m_inputDate;
    QList<StoredReading> m_repriced;
    QString m_refusal;
    ExchangeRequest::Part m_refusedPart = ExchangeRequest::Part::OldFinal;
    PendingChange m_pending;
};
