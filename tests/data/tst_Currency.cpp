// Exact money: parsing, display rounding and overflow.
#include "Currency.h"

#include <QtTest>
#include <limits>

class TstCurrency : public QObject
{
    Q_OBJECT
private slots:
    void parse_data();
    void parse();
    void toString_data();
    void toString();
    void multiplyOverflow();
};

void TstCurrency::parse_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<qint64>("units");
    QTest::newRow("whole") << "27" << true << qint64(270000);
    QTest::newRow("one decimal") << "27.5" << true << qint64(275000);
    QTest::newRow("four decimals") << "0.0001" << true << qint64(1);
    QTest::newRow("negative") << "-3.75" << true << qint64(-37500);
    QTest::newRow("plus and blanks") << " +1.5 " << true << qint64(15000);
    QTest::newRow("leading point") << ".5" << true << qint64(5000);
    QTest::newRow("grouping") << "1,234.5" << true << qint64(12345000);
    QTest::newRow("five decimals") << "0.00001" << false << qint64(0);
    QTest::newRow("letters") << "12a" << false << qint64(0);
    QTest::newRow("two points") << "1.2.3" << false << qint64(0);
    QTest::newRow("empty") << "" << false << qint64(0);
    QTest::newRow("sign only") << "-" << false << qint64(0);
    QTest::newRow("exponent") << "1e5" << false << qint64(0);
    QTest::newRow("largest") << "922337203685477.5807" << true << std::numeric_limits<qint64>::max();
    QTest::newRow("smallest") << "-922337203685477.5808" << true << std::numeric_limits<qint64>::min();
    QTest::newRow("beyond 64 bits") << "922337203685477.5808" << false << qint64(0);
    QTest::newRow("far beyond") << "99999999999999999999" << false << qint64(0);
}

void TstCurrency::parse()
{
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(qint64, units);
    const auto c = Currency::parse(text);
    QCOMPARE(c.has_value(), ok);
    if (ok)
        QCOMPARE(c->units(), units);
}

void TstCurrency::toString_data()
{
    QTest::addColumn<qint64>("units");
    QTest::addColumn<int>("decimals");
    QTest::addColumn<QString>("text");
    QTest::newRow("four") << qint64(275000) << 4 << "27.5000";
    QTest::newRow("two") << qint64(275000) << 2 << "27.50";
    QTest::newRow("half rounds up") << qint64(125) << 2 << "0.01";
    QTest::newRow("below half") << qint64(124) << 2 << "0.01";
    QTest::newRow("just below half") << qint64(49) << 2 << "0.00";
    QTest::newRow("exactly half") << qint64(50) << 2 << "0.01";
    QTest::newRow("negative half away from zero") << qint64(-50) << 2 << "-0.01";
    QTest::newRow("negative rounds to zero") << qint64(-49) << 2 << "0.00";
    QTest::newRow("carry") << qint64(99995) << 2 << "10.00";
    QTest::newRow("minimum") << std::numeric_limits<qint64>::min() << 4 << "-922337203685477.5808";
    QTest::newRow("no decimals") << qint64(15000) << 0 << "2";
}

void TstCurrency::toString()
{
    QFETCH(qint64, units);
    QFETCH(int, decimals);
    QFETCH(QString, text);
    QCOMPARE(Currency::fromUnits(units).toString(decimals), text);
    // rounded() is the amount shown: at four decimals it reads as the text with zeros after it.
    const std::optional<Currency> shown = Currency::fromUnits(units).rounded(decimals);
    QVERIFY(shown);
    QCOMPARE(shown->toString(4), text + (decimals == 0 ? QStringLiteral(".") : QString()) + QString(4 - decimals, u'0'));
}

void TstCurrency::multiplyOverflow()
{
    QCOMPARE(Currency::multiply(205, Currency::fromUnits(8000))->units(), qint64(1640000));
    QVERIFY(!Currency::multiply(std::numeric_limits<qint32>::max(), Currency::fromUnits(std::numeric_limits<qint64>::max() / 1000)));
    QVERIFY(!Currency::add(Currency::fromUnits(std::numeric_limits<qint64>::max()), Currency::fromUnits(1)));
    QCOMPARE(Currency::add(Currency::fromUnits(-5), Currency::fromUnits(7))->units(), qint64(2));
}

QTEST_GUILESS_MAIN(TstCurrency)
#include "tst_Currency.moc"
