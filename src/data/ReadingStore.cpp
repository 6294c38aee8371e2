#include "ReadingStore.h"

#include "Database.h"
#include "UCommon.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

ReadingStore::ReadingStore(TKelvaraMg &manager) : m_manager(manager) {}

std::optional<QString> ReadingStore::registeredNumber(const QString &meterNo) const
{
    // MeterNO compares without regard to case.
    const QVariant number = scalar(Database::connection(),
                                   QStringLiteral("Select MeterNO from Meter where MeterNO = ?"), { meterNo });
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
    const bool exists = m_manager.IsReadOnDate(*number, date);
    if (exists && !replace) {
        m_manager.ShowMessageText(QStringLiteral("该表在这一天已经抄过了！"));
        return std::nullopt;
    }
    // The stored reading of the date lies outside the month window and is never the previous
    // counter value, so correcting it computes as if it had not been there.
    if (!m_manager.PrepareReading(*number, takeNumber, date))
        return std::nullopt;
    m_manager.ComputeCharge();

    StoredReading row;
    row.MeterID = *number;
    row.TakeTime = date;
    row.TakeNumber = takeNumber;
    row.CurValue = m_manager.FCurValue;
    row.Charge = m_manager.FCharge;
    row.QuotaCharge = m_manager.FQuotaCharge;
    row.InputDate = m_inputDate.isValid() ? m_inputDate : QDate::currentDate();
    row.replaced = exists;
    return row;
}

std::optional<StoredReading> ReadingStore::write(const QString &meterNo, qint32 takeNumber, const QDate &date,
                                                 bool replace)
{
    const std::optional<StoredReading> prepared = prepare(meterNo, takeNumber, date, replace);
    if (!prepared)
        return std::nullopt;
    const StoredReading &row = *prepared;
    const bool exists = row.replaced;

    const QSqlDatabase db = Database::connection();
    const QString day = date.toString(Qt::ISODate);
    const QVariantList figures = { row.MeterID, row.TakeNumber, row.CurValue, row.Charge.units(),
                                   row.QuotaCharge.units(), row.InputDate.toString(Qt::ISODate) };
    // A batch writes row after row with the same two statements: each is parsed once.
    const QVariantList values = figures + (exists ? QVariantList{ row.MeterID, day } : QVariantList{ day });
    QSqlQuery &write = cachedQuery(
        db, exists ? QStringLiteral("Update TakeMeter set MeterID = ?, TakeNumber = ?, CurValue = ?, "
                                    "Charge = ?, QuotaCharge = ?, InputDate = ? "
                                    "where MeterID = ? and TakeTime = ?")
                   : QStringLiteral("Insert into TakeMeter (MeterID, TakeNumber, CurValue, Charge, QuotaCharge, "
                                    "InputDate, TakeTime) values (?, ?, ?, ?, ?, ?, ?)"));
    for (int i = 0; i < values.size(); ++i)
        write.bindValue(i, values.at(i));
    const bool done = write.exec();
    const QSqlError error = write.lastError();
    const int changed = write.numRowsAffected();
    write.finish();
    if (!done)
        throw DatabaseError::fromSqlError(error);
    if (exists && changed != 1)
        throw DatabaseError(QStringLiteral("表记录定位错!"));
    return row;
}

std::optional<StoredReading> ReadingStore::store(const QString &meterNo, qint32 takeNumber, const QDate &date,
                                                 bool replace)
{
    Transaction tx(Database::connection());
    std::optional<StoredReading> row = write(meterNo, takeNumber, date, replace);
    if (row)
        tx.commit();
    return row;
}
