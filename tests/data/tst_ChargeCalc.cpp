// The charge arithmetic: consumption, quota units and the split between quota and excess.
#include "ChargeCalc.h"
#include "TestDatabase.h"

#include <QtTest>

#include <limits>

using namespace ChargeCalc;

namespace {
constexpr qint64 Max64 = std::numeric_limits<qint64>::max();
constexpr qint64 Min64 = std::numeric_limits<qint64>::min();
}

class TstChargeCalc : public QObject
{
    Q_OBJECT
private slots:
    void quotaUnits_data();
    void quotaUnits();
    void consumption_data();
    void consumption();
    void split_data();
    void split();
    void splitOutOfRange_data();
    void splitOutOfRange();
    void splitInvariants();
};

void TstChargeCalc::quotaUnits_data()
{
    QTest::addColumn<Currency>("quota");
    QTest::addColumn<Currency>("price");
    QTest::addColumn<qint64>("units");
    QTest::newRow("100 at 0.5") << yuan("100") << yuan("0.5") << qint64(200);
    QTest::newRow("truncated: 100 at 0.3") << yuan("100") << yuan("0.3") << qint64(333);
    QTest::newRow("below one unit's price") << yuan("0.4") << yuan("0.5") << qint64(0);
    QTest::newRow("price 0") << yuan("100") << yuan("0") << qint64(0);
    QTest::newRow("toward zero when negative") << yuan("-100") << yuan("0.3") << qint64(-333);
    QTest::newRow("smallest price") << yuan("1") << yuan("0.0001") << qint64(10000);
    QTest::newRow("minimum over -1 stays in range") << Currency::fromUnits(Min64) << Currency::fromUnits(-1) << Max64;
}

void TstChargeCalc::quotaUnits()
{
    QFETCH(Currency, quota);
    QFETCH(Currency, price);
    QFETCH(qint64, units);
    QCOMPARE(QuotaUnits(quota, price), units);
}

void TstChargeCalc::consumption_data()
{
    QTest::addColumn<qint64>("previous");
    QTest::addColumn<qint64>("counter");
    QTest::addColumn<qint64>("maxBound");
    QTest::addColumn<qint64>("multiple");
    QTest::addColumn<bool>("rollover");
    QTest::addColumn<bool>("inRange");
    QTest::addColumn<qint64>("expected");
    QTest::newRow("difference times multiple") << qint64(1005) << qint64(1020) << qint64(9999) << qint64(10) << false << true << qint64(150);
    QTest::newRow("same value") << qint64(1020) << qint64(1020) << qint64(9999) << qint64(10) << false << true << qint64(0);
    QTest::newRow("rollover, no unit added") << qint64(9990) << qint64(5) << qint64(9999) << qint64(10) << true << true << qint64(140);
    QTest::newRow("rollover to 0") << qint64(9990) << qint64(0) << qint64(9999) << qint64(1) << true << true << qint64(9);
    QTest::newRow("rollover from the maximum") << qint64(9999) << qint64(3) << qint64(9999) << qint64(1) << true << true << qint64(3);
    QTest::newRow("32-bit values, 64-bit product") << qint64(0) << qint64(2147483647) << qint64(2147483647) << qint64(1000) << false << true << qint64(2147483647000);
    QTest::newRow("product beyond 64 bits") << qint64(0) << qint64(2147483647) << qint64(2147483647) << Max64 << false << false << qint64(0);
    QTest::newRow("difference beyond 64 bits") << Min64 << qint64(1) << qint64(9999) << qint64(1) << false << false << qint64(0);
    QTest::newRow("rollover sum beyond 64 bits") << qint64(-1) << Max64 << Max64 << qint64(1) << true << false << qint64(0);
}

void TstChargeCalc::consumption()
{
    QFETCH(qint64, previous);
    QFETCH(qint64, counter);
    QFETCH(qint64, maxBound);
    QFETCH(qint64, multiple);
    QFETCH(bool, rollover);
    QFETCH(bool, inRange);
    QFETCH(qint64, expected);
    const auto result = Consumption(previous, counter, maxBound, multiple, rollover);
    QCOMPARE(result.has_value(), inRange);
    if (inRange)
        QCOMPARE(*result, expected);
}

void TstChargeCalc::split_data()
{
    QTest::addColumn<qint64>("v");
    QTest::addColumn<qint64>("a");
    QTest::addColumn<Currency>("price");
    QTest::addColumn<Currency>("exceed");
    QTest::addColumn<Currency>("quota");
    QTest::addColumn<qint64>("n");
    QTest::addColumn<qint64>("u");
    QTest::addColumn<qint64>("within");
    QTest::addColumn<qint64>("beyond");
    QTest::addColumn<Currency>("charge");
    QTest::addColumn<Currency>("excess");

    // The example meter: P 0.5, excess 0.8, quota 100 = 200 units, additional quantity 5.
    const Currency p = yuan("0.5"), x = yuan("0.8"), q = yuan("100");
    QTest::newRow("example 1: all within") << qint64(50) << qint64(5) << p << x << q << qint64(200) << qint64(0)
                                           << qint64(55) << qint64(0) << yuan("27.5") << yuan("0");
    QTest::newRow("example 2: crosses the quota") << qint64(150) << qint64(5) << p << x << q << qint64(200) << qint64(55)
                                                  << qint64(145) << qint64(10) << yuan("72.5") << yuan("8");
    QTest::newRow("example 3: used up, additional charged") << qint64(200) << qint64(5) << p << x << q << qint64(200) << qint64(210)
                                                            << qint64(0) << qint64(205) << yuan("0") << yuan("164");
    QTest::newRow("used up exactly, U = N") << qint64(50) << qint64(5) << p << x << q << qint64(200) << qint64(200)
                                            << qint64(0) << qint64(55) << yuan("0") << yuan("44");
    QTest::newRow("remaining exactly V + A") << qint64(50) << qint64(5) << p << x << q << qint64(200) << qint64(145)
                                             << qint64(55) << qint64(0) << yuan("27.5") << yuan("0");
    QTest::newRow("one unit beyond") << qint64(51) << qint64(5) << p << x << q << qint64(200) << qint64(145)
                                     << qint64(55) << qint64(1) << yuan("27.5") << yuan("0.8");
    QTest::newRow("no quota") << qint64(150) << qint64(5) << p << x << yuan("0") << qint64(0) << qint64(55)
                              << qint64(155) << qint64(0) << yuan("77.5") << yuan("0");
    QTest::newRow("negative quota is none") << qint64(150) << qint64(5) << p << x << yuan("-1") << qint64(-2) << qint64(55)
                                            << qint64(155) << qint64(0) << yuan("77.5") << yuan("0");
    QTest::newRow("excess price 0 charges at P") << qint64(150) << qint64(5) << p << yuan("0") << q << qint64(200) << qint64(55)
                                                 << qint64(145) << qint64(10) << yuan("72.5") << yuan("5");
    QTest::newRow("quota below one unit's price") << qint64(10) << qint64(0) << p << x << yuan("0.4") << qint64(0) << qint64(0)
                                                  << qint64(0) << qint64(10) << yuan("0") << yuan("8");
    QTest::newRow("price 0 with a quota: unlimited") << qint64(150) << qint64(5) << yuan("0") << x << q << qint64(0) << qint64(1000)
                                                     << qint64(155) << qint64(0) << yuan("0") << yuan("0");
    QTest::newRow("use below 0 leaves the quota whole, no more") << qint64(250) << qint64(5) << p << x << q << qint64(200) << qint64(-100)
                                                                 << qint64(200) << qint64(55) << yuan("100") << yuan("44");
    QTest::newRow("no consumption, additional only") << qint64(0) << qint64(5) << p << x << q << qint64(200) << qint64(0)
                                                     << qint64(5) << qint64(0) << yuan("2.5") << yuan("0");
    QTest::newRow("smallest price, large quantity") << qint64(123456789) << qint64(0) << yuan("0.0001") << x << yuan("0")
                                                    << qint64(0) << qint64(0) << qint64(123456789) << qint64(0)
                                                    << yuan("12345.6789") << yuan("0");
    QTest::newRow("largest 32-bit consumption") << qint64(2147483647) << qint64(2147483647) << yuan("0.6543") << yuan("0.9876")
                                                << yuan("1000") << qint64(1528) << qint64(0) << qint64(1528)
                                                << qint64(4294965766) << yuan("999.7704") << yuan("4241708190.5016");
}

void TstChargeCalc::split()
{
    QFETCH(qint64, v);
    QFETCH(qint64, a);
    QFETCH(Currency, price);
    QFETCH(Currency, exceed);
    QFETCH(Currency, quota);
    QFETCH(qint64, n);
    QFETCH(qint64, u);
    QFETCH(qint64, within);
    QFETCH(qint64, beyond);
    QFETCH(Currency, charge);
    QFETCH(Currency, excess);
    const auto s = SplitCharge({ v, a, price, exceed, quota, n, u });
    QVERIFY(s.has_value());
    QCOMPARE(s->withinQuota, within);
    QCOMPARE(s->beyondQuota, beyond);
    QCOMPARE(s->charge.toString(), charge.toString());
    QCOMPARE(s->quotaCharge.toString(), excess.toString());
}

void TstChargeCalc::splitOutOfRange_data()
{
    QTest::addColumn<qint64>("v");
    QTest::addColumn<qint64>("a");
    QTest::addColumn<Currency>("price");
    QTest::addColumn<Currency>("exceed");
    QTest::addColumn<Currency>("quota");
    QTest::addColumn<qint64>("n");
    QTest::addColumn<qint64>("u");
    const Currency big = Currency::fromUnits(Max64 / 2);
    QTest::newRow("V + A beyond 64 bits") << Max64 << qint64(1) << yuan("0.5") << yuan("0.8") << yuan("0") << qint64(0) << qint64(0);
    QTest::newRow("charge beyond 64 bits") << qint64(3) << qint64(0) << big << big << yuan("0") << qint64(0) << qint64(0);
    QTest::newRow("excess beyond 64 bits") << qint64(3) << qint64(0) << yuan("1") << big << yuan("1") << qint64(1) << qint64(5);
}

void TstChargeCalc::splitOutOfRange()
{
    QFETCH(qint64, v);
    QFETCH(qint64, a);
    QFETCH(Currency, price);
    QFETCH(Currency, exceed);
    QFETCH(Currency, quota);
    QFETCH(qint64, n);
    QFETCH(qint64, u);
    QVERIFY(!SplitCharge({ v, a, price, exceed, quota, n, u }).has_value());
}

// Over a grid of inputs: the parts add up to V + A priced at P up to the remaining quota and at
// the excess price beyond, within never exceeds what remains, and nothing is negative.
void TstChargeCalc::splitInvariants()
{
    const QList<Currency> prices = { yuan("0"), yuan("0.0001"), yuan("0.5"), yuan("2.75") };
    const QList<Currency> exceeds = { yuan("0"), yuan("0.8"), yuan("3.3333") };
    const QList<Currency> quotas = { yuan("0"), yuan("0.3"), yuan("100"), yuan("12345.6789") };
    const QList<qint64> quantities = { 0, 1, 54, 55, 56, 145, 2147483647 };
    const QList<qint64> additions = { 0, 5 };
    const QList<qint64> used = { 0, 1, 145, 200, 210, 1000000 };
    int checked = 0;
    for (Currency p : prices)
        for (Currency x : exceeds)
            for (Currency q : quotas)
                for (qint64 v : quantities)
                    for (qint64 a : additions)
                        for (qint64 u : used) {
                            const qint64 n = QuotaUnits(q, p);
                            const auto s = SplitCharge({ v, a, p, x, q, n, u });
                            QVERIFY(s.has_value());
                            const Currency excessPrice = x > Currency() ? x : p;
                            QCOMPARE(s->withinQuota + s->beyondQuota, v + a);
                            QVERIFY(s->withinQuota >= 0 && s->beyondQuota >= 0);
                            QCOMPARE(s->charge.units(), s->withinQuota * p.units());
                            QCOMPARE(s->quotaCharge.units(), s->beyondQuota * excessPrice.units());
                            if (q > Currency() && !p.isZero())
                                QVERIFY(s->withinQuota <= qMax<qint64>(0, n - u));
                            else
                                QCOMPARE(s->beyondQuota, qint64(0));
                            ++checked;
                        }
    QCOMPARE(checked, 4 * 3 * 4 * 7 * 2 * 6);
}

QTEST_GUILESS_MAIN(TstChargeCalc)
#include "tst_ChargeCalc.moc"
