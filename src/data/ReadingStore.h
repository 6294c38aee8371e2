// ReadingStore.h: stores one meter reading as the reading window does, for work without a window
// (the command line, the demonstration data).
#pragma once

#include "Currency.h"

#include <QDate>
#include <QString>
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

class ReadingStore
{
public:
    // Computes through the manager's reading services; refusals go through its ShowMessageText,
    // a lower counter value through its rollover confirmation.
    explicit ReadingStore(TKelvaraMg &manager);

    // The date written as InputDate; today unless set.
    void setInputDate(const QDate &date) { m_inputDate = date; }

    // The registered meter number equal to the text without regard to case.
    std::optional<QString> registeredNumber(const QString &meterNo) const;

    // Computes the reading of meterNo (its exact number, any case) without writing it: the row a
    // save would store. Refused, with the message shown, for an unregistered meter or price, a
    // reading of that meter on that date already stored unless replace (the row being saved is
    // that reading), or anything PrepareReading refuses.
    std::optional<StoredReading> prepare(const QString &meterNo, qint32 takeNumber, const QDate &date,
                                         bool replace = false);

    // Computes the reading of meterNo (its exact number, any case) and writes the row, within the
    // caller's transaction. Nothing is written when it is refused: an unregistered meter or
    // price, a reading of that meter on that date already stored (unless replace, which corrects
    // that row), or anything PrepareReading refuses. A database failure throws DatabaseError.
    std::optional<StoredReading> write(const QString &meterNo, qint32 takeNumber, const QDate &date,
                                       bool replace = false);

    // write() in a transaction of its own.
    std::optional<StoredReading> store(const QString &meterNo, qint32 takeNumber, const QDate &date,
                                       bool replace = false);

private:
    TKelvaraMg &m_manager;
    QDate m_inputDate;
};
