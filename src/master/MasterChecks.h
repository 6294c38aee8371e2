// MasterChecks.h: the rules a meter, a meter type and a unit price keep before they are stored
// or deleted, window-free, so that no reading drops out of the reports through master data.
#pragma once

#include <QSqlDatabase>
#include <QString>
#include <QVariant>

#include <functional>

class DataSet;

// The statements of the checks; every value is a positional parameter.
namespace MasterSql {
QString meterNumberTaken();   // ? number, ? stored number, ? stored number (NULL for a new meter)
QString sortExists();         // ? MeterSortID
QString sortOfPrice();        // ? PriceID → MeterSortID
QString workshopRow();        // ? WrokShopID → WorkShopLevel, ResideWorkShopID
QString meterReadings();      // ? MeterNO → count of its readings
QString meterExchanges();     // ? MeterNO → count of its exchanges
QString sortUsers();          // ? MeterSortID, ? MeterSortID → prices and meters naming the type
QString metersOfOtherSort();  // ? PriceID, ? MeterSortID → meters applying the price to another type
QString priceUsers();         // ? PriceID → meters naming the price
}

namespace MasterChecks {

// "数值超出范围：" + the name of the field's box.
QString OutOfRangeText(const QString &label);

// The first rule the current row breaks, as the operator's message; empty when it keeps them all.
// The row is the current row of a set on Meter, MeterSort or Price; storedNumber is the meter's
// number as stored (null for a new meter). Throws DatabaseError when a statement fails.
//
// Meter, in this order: number not blank, unique as MeterKey (case-folded, without blanks at the ends); a type that exists; a
// price of that type; a workshop of level 2; a team, when set, of level 3 below that workshop;
// multiplier and maximum count at least 1; base count from 0 to the maximum count; quota and
// additional quantity not negative. Missing numbers are out of range.
QString checkMeter(const QSqlDatabase &db, const DataSet &meter, const QVariant &storedNumber);
// Type: a name that is not blank.
QString checkSort(const DataSet &sort);
// Price: a name that is not blank, a type that exists and that the meters applying the price have,
// a unit price (and a price beyond the quota when set) not negative. Amounts carry four decimals
// by their kind.
QString checkPrice(const QSqlDatabase &db, const DataSet &price);

// Deleting: a meter with readings or exchanges, a type that prices or meters name, a price that meters name.
QString checkMeterDelete(const QSqlDatabase &db, const QVariant &number);
QString checkSortDelete(const QSqlDatabase &db, const QVariant &id);
QString checkPriceDelete(const QSqlDatabase &db, const QVariant &id);

using Check = std::function<QString()>;

// Runs the checks before the set posts and before it deletes: a broken rule shows its message
// through the data manager's ShowMessageText and abandons the operation (AbortError), so the
// row stays as it was, in editing when it was being edited.
void install(DataSet *set, Check beforePost, Check beforeDelete);

// Installs the type's and the price's checks on sets opened on MeterSort and Price.
void installSortChecks(DataSet *adoMeterSort);
void installPriceChecks(DataSet *adoPrice);

}
