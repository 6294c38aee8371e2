// Texts of field values: amounts rounded for display only, exact for editing, dates by locale.
#include "Currency.h"
#include "FieldText.h"

#include <QDate>
#include <QDateTime>
#include <QLocale>
#include <QtTest>

class TstFieldText : public QObject
{
    Q_OBJECT
private slots:
    void cleanup();
    void display_data();
    void display();
    void edit_data();
    void edit();
    void datesReadBackExactly_data();
    void datesReadBackExactly();
    void decimalCommaIsReadAsPoint();
};

namespace {

QVariant units(qint64 n)
{
    return QVariant::fromValue<qlonglong>(n);
}

QLocale locale(const QString &name)
{
    return name == u"C" ? QLocale::c() : QLocale(name);
}

}

void TstFieldText::cleanup()
{
    QLocale::setDefault(QLocale::c());
}

void TstFieldText::display_data()
{
    QTest::addColumn<QString>("localeName");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<int>("decimals");
    QTest::addColumn<QString>("text");
    const int money = int(FieldKind::Currency);
    QTest::newRow("charge 27.5") << "C" << money << units(275000) << 2 << "27.50";
    QTest::newRow("half rounds up") << "C" << money << units(1250) << 2 << "0.13";
    QTest::newRow("price four decimals") << "C" << money << units(8525) << 4 << "0.8525";
    QTest::newRow("null amount") << "C" << money << QVariant() << 2 << "";
    QTest::newRow("integer plain") << "zh_CN" << int(FieldKind::Integer) << units(1234567) << 2 << "1234567";
    QTest::newRow("date zh_CN") << "zh_CN" << int(FieldKind::Date) << QVariant(QDate(2024, 3, 5)) << 2 << "2024/3/5";
    QTest::newRow("date en_US") << "en_US" << int(FieldKind::Date) << QVariant(QDate(2024, 3, 5)) << 2 << "3/5/24";
    QTest::newRow("datetime at midnight") << "zh_CN" << int(FieldKind::DateTime)
                                         << QVariant(QDateTime(QDate(2024, 3, 5), QTime(0, 0))) << 2 << "2024/3/5";
    QTest::newRow("text as is") << "C" << int(FieldKind::Text) << QVariant(QStringLiteral("水表 1")) << 2 << "水表 1";
}

void TstFieldText::display()
{
    QFETCH(QString, localeName);
    QFETCH(int, kind);
    QFETCH(QVariant, value);
    QFETCH(int, decimals);
    QFETCH(QString, text);
    QLocale::setDefault(locale(localeName));
    QCOMPARE(FieldText::display(FieldKind(kind), value, decimals), text);
}

void TstFieldText::edit_data()
{
    QTest::addColumn<QString>("localeName");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QString>("text");
    const int money = int(FieldKind::Currency);
    QTest::newRow("amount exact") << "C" << money << units(275000) << "27.5";
    QTest::newRow("amount not rounded") << "C" << money << units(1250) << "0.125";
    QTest::newRow("whole amount") << "C" << money << units(1000000) << "100";
    QTest::newRow("smallest amount") << "C" << money << units(-1) << "-0.0001";
    QTest::newRow("zero") << "C" << money << units(0) << "0";
    QTest::newRow("two-digit year widened") << "en_US" << int(FieldKind::Date) << QVariant(QDate(2024, 3, 5))
                                            << "3/5/2024";
}

void TstFieldText::edit()
{
    QFETCH(QString, localeName);
    QFETCH(int, kind);
    QFETCH(QVariant, value);
    QFETCH(QString, text);
    QLocale::setDefault(locale(localeName));
    QCOMPARE(FieldText::edit(FieldKind(kind), value), text);
}

void TstFieldText::datesReadBackExactly_data()
{
    QTest::addColumn<QString>("localeName");
    QTest::newRow("C") << "C";
    QTest::newRow("zh_CN") << "zh_CN";
    QTest::newRow("en_US") << "en_US";
    QTest::newRow("de_DE") << "de_DE";
}

void TstFieldText::datesReadBackExactly()
{
    QFETCH(QString, localeName);
    QLocale::setDefault(locale(localeName));
    for (const QDate d : { QDate(2024, 3, 5), QDate(1999, 12, 31), QDate(2050, 1, 1) }) {
        const QString text = FieldText::edit(FieldKind::Date, d);
        QCOMPARE(FieldText::parse(FieldKind::Date, text).toDate(), d);
        QCOMPARE(FieldText::parse(FieldKind::DateTime, text).toDateTime(), QDateTime(d, QTime(0, 0)));
    }
}

void TstFieldText::decimalCommaIsReadAsPoint()
{
    QLocale::setDefault(QLocale(QStringLiteral("de_DE")));
    QCOMPARE(FieldText::parse(FieldKind::Currency, QStringLiteral(" 2,5 ")).toString(), QStringLiteral("2.5"));
    QLocale::setDefault(QLocale::c());
    QCOMPARE(FieldText::parse(FieldKind::Currency, QStringLiteral("2.5")).toString(), QStringLiteral("2.5"));
}

QTEST_GUILESS_MAIN(TstFieldText)
#include "tst_FieldText.moc"
