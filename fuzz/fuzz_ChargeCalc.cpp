// libFuzzer target: the charge arithmetic on any 64-bit values. A result is exact, a refusal has
// a quantity beyond 64 bits behind it, and the split keeps its invariants.
#include "ChargeCalc.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>

namespace {

using Wide = __int128;

bool fits64(Wide v)
{
    return v >= Wide(std::numeric_limits<qint64>::min()) && v <= Wide(std::numeric_limits<qint64>::max());
}

Wide times(Wide a, Wide b)
{
    Wide product = 0;
    if (__builtin_mul_overflow(a, b, &product))
        return Wide(std::numeric_limits<qint64>::max()) + 1;
    return product;
}

void check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    qint64 v[10] = {};
    std::memcpy(v, data, std::min(size, sizeof v));
    const bool rollover = size > sizeof v && (data[sizeof v] & 1);

    const qint64 previous = v[0], counter = v[1], maxBound = v[2], multiple = v[3];
    const Wide difference = rollover ? Wide(maxBound) - previous + counter : Wide(counter) - previous;
    const bool partsFit = rollover ? fits64(Wide(maxBound) - previous) && fits64(difference) : fits64(difference);
    const std::optional<qint64> consumption = ChargeCalc::Consumption(previous, counter, maxBound, multiple, rollover);
    if (consumption)
        check(partsFit && Wide(*consumption) == times(difference, multiple));
    else
        check(!partsFit || !fits64(times(difference, multiple)));

    ChargeCalc::SplitInput in;
    in.curValue = v[4];
    in.subjoin = v[5];
    in.price = Currency::fromUnits(v[6]);
    in.exceedPrice = Currency::fromUnits(v[7]);
    in.quota = Currency::fromUnits(v[8]);
    in.quotaUnits = ChargeCalc::QuotaUnits(in.quota, in.price);
    in.usedInMonth = v[9];
    const Currency x = in.exceedPrice > Currency() ? in.exceedPrice : in.price;
    const bool quotaApplies = in.quota > Currency() && !in.price.isZero();
    const Wide quantity = Wide(in.curValue) + in.subjoin;
    const Wide remaining = Wide(in.quotaUnits) - std::max(in.usedInMonth, qint64(0));
    const std::optional<ChargeCalc::Split> split = ChargeCalc::SplitCharge(in);
    if (!split) {
        Wide within = quantity;
        if (quotaApplies)
            within = remaining <= 0 ? 0 : std::min(remaining, quantity);
        check(!fits64(quantity) || !fits64(times(within, in.price.units()))
              || !fits64(times(quantity - within, x.units())));
        return 0;
    }
    check(Wide(split->withinQuota) + split->beyondQuota == quantity);
    check(Wide(split->charge.units()) == Wide(split->withinQuota) * in.price.units());
    check(Wide(split->quotaCharge.units()) == Wide(split->beyondQuota) * x.units());
    if (quotaApplies) {
        check(Wide(split->withinQuota) <= std::max(remaining, Wide(0)));
        check(split->withinQuota <= std::max(in.quotaUnits, qint64(0)));
    } else {
        check(split->beyondQuota == 0);
    }
    return 0;
}
