// ChargeCalc.h: the arithmetic of one reading: consumption from counter values and the split of
// the quantity between the monthly quota and the excess, exact in 64-bit integers.
#pragma once

#include "Currency.h"

#include <QtGlobal>
#include <optional>

namespace ChargeCalc {

// The monthly quota in units: quota / price truncated toward zero (100.0000 at 0.3000 gives 333).
// 0 when the price is 0; the split treats a positive quota at price 0 as unlimited.
qint64 QuotaUnits(Currency quota, Currency price);

// Counter difference times the multiplier. A rollover runs from the previous value up to the
// maximum count and on from 0, with no unit for the step from the maximum to 0:
// (maxBound − previous + counter) × multiple. Nothing when an intermediate leaves 64 bits.
std::optional<qint64> Consumption(qint64 previous, qint64 counter, qint64 maxBound, qint64 multiple,
                                  bool rollover);

struct SplitInput
{
    qint64 curValue = 0;      // V: consumption of this reading
    qint64 subjoin = 0;       // A: the meter's additional quantity, charged with every reading
    Currency price;           // P: unit price within the quota
    Currency exceedPrice;     // unit price beyond the quota; 0 or less means P
    Currency quota;           // the monthly quota as money; 0 or less means no quota
    qint64 quotaUnits = 0;    // N: QuotaUnits(quota, price)
    qint64 usedInMonth = 0;   // U: quantity of the month's earlier readings, additional ones included
};

struct Split
{
    qint64 withinQuota = 0;   // units charged at P
    qint64 beyondQuota = 0;   // units charged at the excess price
    Currency charge;          // withinQuota × P
    Currency quotaCharge;     // beyondQuota × X
};

// Splits V + A: within the remaining quota N − U at P, the rest at X = exceedPrice > 0 ? exceedPrice : P.
// With the quota used up (U ≥ N) all of V + A is excess; without a quota, or at price 0, all of it
// is within. A U below 0 counts as 0, so the part within never exceeds N. Nothing when a quantity
// or an amount leaves the 64-bit range.
std::optional<Split> SplitCharge(const SplitInput &in);

}
