#include "ChargeCalc.h"

#include <algorithm>
#include <limits>

namespace ChargeCalc {

qint64 QuotaUnits(Currency quota, Currency price)
{
    if (price.isZero())
        return 0;
    // The one quotient that leaves 64 bits; C++ division truncates toward zero.
    if (quota.units() == std::numeric_limits<qint64>::min() && price.units() == -1)
        return std::numeric_limits<qint64>::max();
    return quota.units() / price.units();
}

std::optional<qint64> Consumption(qint64 previous, qint64 counter, qint64 maxBound, qint64 multiple,
                                  bool rollover)
{
    qint64 difference = 0;
    if (rollover) {
        qint64 toMaximum = 0;
        if (__builtin_sub_overflow(maxBound, previous, &toMaximum)
            || __builtin_add_overflow(toMaximum, counter, &difference))
            return std::nullopt;
    } else if (__builtin_sub_overflow(counter, previous, &difference)) {
        return std::nullopt;
    }
    qint64 result = 0;
    if (__builtin_mul_overflow(difference, multiple, &result))
        return std::nullopt;
    return result;
}

std::optional<Split> SplitCharge(const SplitInput &in)
{
    const Currency excessPrice = in.exceedPrice > Currency() ? in.exceedPrice : in.price;
    qint64 quantity = 0;
    if (__builtin_add_overflow(in.curValue, in.subjoin, &quantity))
        return std::nullopt;

    // Earlier readings with a negative additional quantity never give back more than the quota.
    const qint64 used = std::max(in.usedInMonth, qint64(0));
    Split split;
    if (in.quota <= Currency() || in.price.isZero()) {
        split.withinQuota = quantity;
    } else if (used >= in.quotaUnits) {
        split.beyondQuota = quantity;
    } else {
        const qint64 remaining = in.quotaUnits - used;   // 0 ≤ used < quotaUnits
        if (remaining >= quantity) {
            split.withinQuota = quantity;
        } else {
            split.withinQuota = remaining;
            if (__builtin_sub_overflow(quantity, remaining, &split.beyondQuota))
                return std::nullopt;
        }
    }
    const auto charge = Currency::multiply(split.withinQuota, in.price);
    const auto quotaCharge = Currency::multiply(split.beyondQuota, excessPrice);
    if (!charge || !quotaCharge)
        return std::nullopt;
    split.charge = *charge;
    split.quotaCharge = *quotaCharge;
    return split;
}

}
