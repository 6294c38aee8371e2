// The charge arithmetic on generated values, many near the 32- and 64-bit limits: every result
// is exact, every refusal has a quantity beyond 64 bits behind it, and the split keeps its
// invariants. The data manager is driven the same way over a database.
#include "ChargeCalc.h"
#include "Database.h"
#include "TestDatabase.h"
#include "UCommon.h"

#include <QtTest>

#include <limits>
#include <random>

namespace {

using Wide = __int128;

// A fixed start value: every run draws the same values, so a failure can be repeated.
constexpr std::uint32_t generatorStart = 20050308;

constexpr qint64 Max64 = std::numeric_limits<qint64>::max();
constexpr qint64 Min64 = std::numeric_limits<qint64>::min();
constexpr qint64 Max32 = std::numeric_limits<qint32>::max();
constexpr qint64 Min32 = std::numeric_limits<qint32>::min();

bool fits64(Wide v)
{
    return v >= Wide(Min64) && v <= Wide(Max64);
}

// a × b exactly, or some value beyond 64 bits when not even 128 bits hold the product.
Wide times(Wide a, Wide b)
{
    Wide product = 0;
    if (__builtin_mul_overflow(a, b, &product))
        return Wide(Max64) + 1;
    return product;
}

class Generator
{
public:
    explicit Generator(std::uint32_t start) : m_engine(start) {}

    qint64 between(qint64 low, qint64 high) { return std::uniform_int_distribution<qint64>(low, high)(m_engine); }
    bool chance(int percent) { return between(0, 99) < percent; }

    // Limits and their neighbours, small values, and values of every size.
    qint64 any()
    {
        static const qint64 edges[] = { 0, 1, -1, 2, Max32, Max32 + 1, Max32 - 1, Min32, Min32 - 1, Min32 + 1,
                                        Max64, Max64 - 1, Min64, Min64 + 1, qint64(1) << 62, 10000, 9999 };
        switch (between(0, 4)) {
        case 0:
            return edges[between(0, qint64(std::size(edges)) - 1)];
        case 1:
            return between(-1000, 1000);
        case 2:
            return between(Min32, Max32);
        case 3:
            return qint64(m_engine()) >> between(0, 63);
        default:
            return qint64(m_engine());
        }
    }

    // What the program's own registers and readings hold: non-negative, at most 32 bits.
    qint64 stored() { return chance(10) ? any() : (chance(50) ? between(0, 2000) : between(0, Max32)); }

    Currency money() { return Currency::fromUnits(chance(50) ? between(0, 100000) : any()); }

    std::mt19937_64 &engine() { return m_engine; }

private:
    std::mt19937_64 m_engine;
};

struct Figures
{
    int cases = 0;
    int refusals = 0;
};

}

class TstChargeProperties : public QObject
{
    Q_OBJECT
private slots:
    void consumptionExactOrRefused();
    void splitKeepsItsInvariants();
    void quotaUnitsTruncates();
    void managerKeepsItsInvariants();
};

void TstChargeProperties::consumptionExactOrRefused()
{
    Generator g(generatorStart);
    Figures f;
    for (; f.cases < 400000; ++f.cases) {
        const qint64 previous = g.any(), counter = g.any(), maxBound = g.any(), multiple = g.any();
        const bool rollover = g.chance(50);
        const Wide difference = rollover ? Wide(maxBound) - previous + counter : Wide(counter) - previous;
        const bool partsFit = rollover ? fits64(Wide(maxBound) - previous) && fits64(difference) : fits64(difference);
        const Wide exact = times(difference, multiple);
        const std::optional<qint64> result = ChargeCalc::Consumption(previous, counter, maxBound, multiple, rollover);
        if (result) {
            QVERIFY(partsFit);
            QCOMPARE(Wide(*result), exact);
        } else {
            ++f.refusals;
            QVERIFY2(!partsFit || !fits64(exact),
                     qPrintable(QStringLiteral("refused %1 %2 %3 %4 %5")
                                    .arg(previous).arg(counter).arg(maxBound).arg(multiple).arg(rollover)));
        }
    }
    qInfo("%d consumptions, %d refused", f.cases, f.refusals);
}

void TstChargeProperties::splitKeepsItsInvariants()
{
    Generator g(generatorStart + 1);
    Figures f;
    for (; f.cases < 400000; ++f.cases) {
        ChargeCalc::SplitInput in;
        const bool realistic = g.chance(50);
        in.curValue = realistic ? g.stored() : g.any();
        in.subjoin = realistic ? g.stored() : g.any();
        in.price = g.money();
        in.exceedPrice = g.money();
        in.quota = g.money();
        in.quotaUnits = ChargeCalc::QuotaUnits(in.quota, in.price);
        in.usedInMonth = realistic ? g.stored() : g.any();
        const Currency x = in.exceedPrice > Currency() ? in.exceedPrice : in.price;
        const bool quotaApplies = in.quota > Currency() && !in.price.isZero();
        const Wide quantity = Wide(in.curValue) + in.subjoin;
        // Use below zero (earlier negative additional quantities) leaves the quota whole, no more.
        const Wide remaining = Wide(in.quotaUnits) - std::max(in.usedInMonth, qint64(0));

        const std::optional<ChargeCalc::Split> split = ChargeCalc::SplitCharge(in);
        if (!split) {
            ++f.refusals;
            // Only a quantity or an amount beyond 64 bits is a reason to refuse.
            Wide within = quantity;
            if (quotaApplies)
                within = remaining <= 0 ? 0 : std::min(remaining, quantity);
            const Wide beyond = quantity - within;
            QVERIFY2(!fits64(quantity) || !fits64(times(within, in.price.units())) || !fits64(times(beyond, x.units())),
                     qPrintable(QStringLiteral("refused V %1 A %2 P %3 X %4 Q %5 U %6")
                                    .arg(in.curValue).arg(in.subjoin).arg(in.price.units())
                                    .arg(in.exceedPrice.units()).arg(in.quota.units()).arg(in.usedInMonth)));
            continue;
        }
        // The whole priced quantity is charged, each part at its price, exactly.
        QCOMPARE(Wide(split->withinQuota) + split->beyondQuota, quantity);
        QCOMPARE(Wide(split->charge.units()), Wide(split->withinQuota) * in.price.units());
        QCOMPARE(Wide(split->quotaCharge.units()), Wide(split->beyondQuota) * x.units());
        if (!quotaApplies) {
            QCOMPARE(split->beyondQuota, qint64(0));
            continue;
        }
        // Never more within the quota than what is left of it; nothing beyond it while some is left.
        QVERIFY(Wide(split->withinQuota) <= std::max(remaining, Wide(0)));
        QVERIFY2(split->withinQuota <= std::max(in.quotaUnits, qint64(0)),
                 qPrintable(QStringLiteral("V %1 A %2 N %3 U %4 within %5").arg(in.curValue).arg(in.subjoin)
                                .arg(in.quotaUnits).arg(in.usedInMonth).arg(split->withinQuota)));
        if (quantity >= 0 && remaining >= quantity)
            QCOMPARE(split->beyondQuota, qint64(0));
        if (in.curValue >= 0 && in.subjoin >= 0 && in.usedInMonth >= 0)
            QVERIFY(split->withinQuota >= 0 && split->beyondQuota >= 0);
    }
    qInfo("%d splits, %d refused", f.cases, f.refusals);
}

void TstChargeProperties::quotaUnitsTruncates()
{
    Generator g(generatorStart + 2);
    int cases = 0;
    for (; cases < 200000; ++cases) {
        const Currency quota = g.money(), price = g.money();
        const qint64 units = ChargeCalc::QuotaUnits(quota, price);
        if (price.isZero()) {
            QCOMPARE(units, qint64(0));
            continue;
        }
        // The whole units the quota pays for, rounded toward zero.
        const Wide exact = Wide(quota.units()) / price.units();
        QCOMPARE(Wide(units), std::min(exact, Wide(Max64)));
    }
    qInfo("%d quotas in units", cases);
}

// The data manager on random meters and months: a reading is either refused with its message or
// computed with a consumption from 0 to 2^31 − 1 and charges that keep the split's invariants.
void TstChargeProperties::managerKeepsItsInvariants()
{
    TestDatabase t;
    execSql(t.db(), QStringLiteral("PRAGMA synchronous = OFF"));   // speed only; nothing here is durable
    const qint64 sort = t.addMeterSort(QStringLiteral("水表"));
    const qint64 price = t.addPrice(QStringLiteral("生产用水"), yuan("0.5"), yuan("0.8"), sort);
    MeterSpec meter;
    meter.number = QStringLiteral("P1");
    meter.sort = sort;
    meter.price = price;
    t.addMeter(meter);

    QStringList shown;
    SetMessageSink([&](const QString &text) { shown << text; });
    TKelvaraMg mg;
    Generator g(generatorStart + 3);
    bool confirm = false;
    mg.SetRolloverConfirmation([&](qint32, qint32) { return confirm; });
    const QDate date(2005, 3, 20);
    const QString range = QStringLiteral("使用数量超出范围，请检查抄表数！");
    Figures f;
    int computed = 0;
    for (; f.cases < 5000; ++f.cases) {
        const Currency p = g.chance(10) ? Currency() : g.money();
        const Currency x = g.money();
        const qint64 base = g.stored(), subjoin = g.stored();
        const qint64 maxBound = g.chance(50) ? 9999 : g.stored();
        const qint64 multiple = g.chance(70) ? g.between(1, 100) : g.stored();
        const Currency quota = g.money();
        Transaction tx(t.db());
        execSql(t.db(), QStringLiteral("delete from TakeMeter"));
        execSql(t.db(), QStringLiteral("update Price set PriceNumber = ?, ExceedPrice = ?"), { p.units(), x.units() });
        execSql(t.db(), QStringLiteral("update Meter set BaseNumber = ?, MaxBound = ?, SubjoinNumber = ?, "
                                       "Multiple = ?, Quota = ?"),
                { base, maxBound, subjoin, multiple, quota.units() });
        // Earlier readings: some in the previous month, some in this one before the date.
        const int earlier = int(g.between(0, 4));
        qint64 monthCount = 0;
        Wide monthCurValue = 0;
        qint64 previous = base;
        for (int i = 0; i < earlier; ++i) {
            const QDate day = date.addDays(-30 + 7 * i);
            const qint64 takeNumber = g.stored(), curValue = g.stored();
            execSql(t.db(), QStringLiteral("insert into TakeMeter (MeterID, TakeTime, TakeNumber, CurValue, Charge, "
                                           "QuotaCharge) values ('P1', ?, ?, ?, 0, 0)"),
                    { day.toString(Qt::ISODate), takeNumber, curValue });
            if (day >= QDate(2005, 3, 1)) {
                ++monthCount;
                monthCurValue += curValue;
            }
            previous = takeNumber;
        }
        tx.commit();
        const Wide counter = g.chance(60) ? Wide(previous) + g.between(-5, 1000) : Wide(g.stored());
        if (counter < Min32 || counter > Max32)
            continue;
        confirm = g.chance(50);
        shown.clear();

        bool prepared = false;
        try {
            prepared = mg.PrepareReading(QStringLiteral("P1"), qint32(counter), date);
        } catch (const DatabaseError &) {
            // The month's stored consumption sums beyond 64 bits: the statement fails, and says so.
            QCOMPARE(shown, QStringList{ QStringLiteral("数据集打开错误！") });
            QVERIFY(!fits64(monthCurValue));
            ++f.refusals;
            continue;
        }
        const bool rollover = counter < previous;
        const Wide difference = rollover ? Wide(maxBound) - previous + counter : Wide(counter) - previous;
        const Wide v = times(difference, multiple);
        const Wide used = monthCurValue + Wide(monthCount) * subjoin;
        if (!prepared) {
            ++f.refusals;
            if (counter < 0)
                QCOMPARE(shown, QStringList{ QStringLiteral("抄表数不能小于零！") });
            else if (counter > maxBound)
                QCOMPARE(shown, QStringList{ QStringLiteral("抄表数大于表的最大计数范围：") + QString::number(maxBound) });
            else if (previous < Min32 || previous > Max32)
                QCOMPARE(shown, QStringList{ range });
            else if (rollover && !confirm)
                QCOMPARE(shown, QStringList());
            else {
                QCOMPARE(shown, QStringList{ range });
                // The consumption left 0 .. 2^31 − 1, or an amount left 64 bits.
                const Wide quantity = v + subjoin;
                const Wide perUnit = std::max({ Wide(p.units()), -Wide(p.units()), Wide(x.units()), -Wide(x.units()) });
                QVERIFY(previous < Min32 || previous > Max32 || v < 0 || v > Max32 || !fits64(used)
                        || !fits64(times(quantity, perUnit)));
            }
            continue;
        }
        QVERIFY(shown.isEmpty());
        mg.ComputeCharge();
        ++computed;
        // Consumption is never negative and is exactly the counter difference times the multiplier.
        QVERIFY(mg.FCurValue >= 0);
        QCOMPARE(Wide(mg.FCurValue), v);
        QCOMPARE(qint64(mg.FTakeNumber), previous);
        const Wide quantity = Wide(mg.FCurValue) + subjoin;
        const Currency excess = x > Currency() ? x : p;
        if (p.isZero()) {
            QCOMPARE(mg.FCharge, Currency());
            QCOMPARE(mg.FQuotaCharge, Currency());
            continue;
        }
        QCOMPARE(mg.FCharge.units() % p.units(), qint64(0));
        const Wide within = mg.FCharge.units() / p.units();
        QCOMPARE(Wide(mg.FQuotaCharge.units()), (quantity - within) * excess.units());
        if (quota > Currency()) {
            const qint64 units = ChargeCalc::QuotaUnits(quota, p);
            QVERIFY(within <= std::max(Wide(units) - std::max(used, Wide(0)), Wide(0)));
        } else {
            QCOMPARE(within, quantity);
        }
    }
    SetMessageSink({});
    qInfo("%d readings on random meters: %d computed, %d refused", f.cases, computed, f.refusals);
}

QTEST_GUILESS_MAIN(TstChargeProperties)
#include "tst_ChargeProperties.moc"
