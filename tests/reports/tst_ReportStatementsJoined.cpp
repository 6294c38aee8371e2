// The reports the program runs sum the readings per meter before the joins; on varied data they
// must give exactly the rows of the statements that join every reading first.
#include "Database.h"
#include "ReportStatements.h"
#include "TestDatabase.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QtTest>

#include <algorithm>
#include <memory>
#include <random>

using ReportStatements::Kind;

class TstReportStatementsJoined : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void sameRows_data();
    void sameRows();
    void detailOfEveryWorkshop();

private:
    using Table = QList<QStringList>;
    Table run(const QString &sql, const QDate &start, const QDate &end, qint64 workshop) const;
    void compare(Kind kind, const QDate &start, const QDate &end, qint64 workshop);

    std::unique_ptr<TestDatabase> m_db;
    QList<qint64> m_workshops;   // every unit, whatever its level
};

namespace {

QString cell(const QVariant &v)
{
    // The type is part of the value: an integer sum must not turn into a real. A server's driver
    // hands a 64-bit column's value over as unsigned when it is not negative.
    const char *type = v.metaType().id() == QMetaType::ULongLong ? "qlonglong" : v.typeName();
    return v.isNull() ? QStringLiteral("NULL") : QString::fromLatin1(type) + u':' + v.toString();
}

}

void TstReportStatementsJoined::init()
{
    m_db = std::make_unique<TestDatabase>();
    std::mt19937 random(4711);
    auto pick = [&](int n) { return int(random() % quint32(n)); };

    m_db->setUsingUnit(QStringLiteral("宏远厂"), QStringLiteral("1"));
    m_workshops.clear();
    // Units of every level; names repeat across levels and differ only by case, which the
    // grouping ignores and the ordering of the meter reports does not.
    const QList<qint64> divisions = { m_db->addWorkshop(QStringLiteral("生产部"), 1, 1),
                                      m_db->addWorkshop(QStringLiteral("Alpha"), 1, 1) };
    const QStringList shopNames = { QStringLiteral("机加工车间"), QStringLiteral("alpha"), QStringLiteral("Beta"),
                                    QStringLiteral("beta"), QStringLiteral("装配车间"), QStringLiteral("Alpha") };
    QList<qint64> shops, teams;
    for (int i = 0; i < shopNames.size(); ++i)
        shops << m_db->addWorkshop(shopNames.at(i), 2, divisions.at(i % 2));
    for (int i = 0; i < 10; ++i)
        teams << m_db->addWorkshop(i % 4 == 3 ? QStringLiteral("Beta") : QStringLiteral("班组%1").arg(i % 5), 3,
                                   shops.at(i % shops.size()));
    m_workshops << divisions << shops << teams;

    const qint64 water = m_db->addMeterSort(QStringLiteral("水表"));
    const qint64 power = m_db->addMeterSort(QStringLiteral("电表"));
    // Two classes share a name and a price, so that a class row gathers several of them.
    const QList<qint64> prices = {
        m_db->addPrice(QStringLiteral("生产用水"), yuan("2.5"), yuan("3.75"), water),
        m_db->addPrice(QStringLiteral("生活用水"), yuan("1.8"), yuan("0"), water),
        m_db->addPrice(QStringLiteral("生产用电"), yuan("0.65"), yuan("0.98"), power),
        m_db->addPrice(QStringLiteral("生产用电"), yuan("0.65"), yuan("0.98"), power),
    };

    QStringList meters;
    for (int i = 0; i < 40; ++i) {
        MeterSpec m;
        m.number = QStringLiteral("M%1").arg(i, 3, 10, QLatin1Char('0'));
        const int price = pick(prices.size());
        m.price = prices.at(price);
        // One meter in seven carries another type than its price's: it is in no report.
        m.sort = (price < 2) != (i % 7 == 6) ? water : power;
        const int owner = pick(10);
        m.workshop = owner == 0 ? QVariant(divisions.at(0)) : owner == 1 ? QVariant(teams.at(0))
                   : owner == 2 ? QVariant() : QVariant(shops.at(pick(shops.size())));
        m.team = pick(8) == 0 ? QVariant() : pick(6) == 0 ? QVariant(shops.at(1)) : QVariant(teams.at(pick(teams.size())));
        m.multiple = QList<int>{ 1, 10, 40 }.at(pick(3));
        m.baseNumber = pick(1000);
        m.maxBound = 99999;
        m.subjoin = pick(3) == 0 ? pick(20) : 0;
        m.quota = Currency::fromUnits(qint64(pick(5000)) * 10000);
        m_db->addMeter(m);
        meters << m.number;
    }
    // An unknown quota and additional quantity: sums pass over them.
    execSql(m_db->db(), QStringLiteral("Update Meter set Quota = NULL, SubjoinNumber = NULL where MeterNO = 'M005'"));

    QSqlDatabase db = m_db->db();
    Transaction tx(db);
    for (const QString &meter : std::as_const(meters)) {
        int counter = pick(1000);
        for (QDate day(2023, 12, 1); day <= QDate(2024, 3, 31); day = day.addDays(1 + pick(4))) {
            const int use = pick(500);
            counter += use;
            const bool unknown = pick(40) == 0;
            execSql(db, QStringLiteral("INSERT INTO TakeMeter VALUES (?, ?, ?, ?, ?, ?, ?)"),
                    { meter, counter, unknown ? QVariant() : QVariant(use), qint64(use) * pick(30000),
                      pick(3) == 0 ? qint64(pick(2000000)) : 0, day.toString(Qt::ISODate), day.toString(Qt::ISODate) });
        }
    }
    tx.commit();
}

void TstReportStatementsJoined::cleanup()
{
    m_db.reset();
}

TstReportStatementsJoined::Table TstReportStatementsJoined::run(const QString &sql, const QDate &start,
                                                               const QDate &end, qint64 workshop) const
{
    QSqlQuery query(m_db->db());
    query.setForwardOnly(true);
    if (!query.prepare(sql))
        throw DatabaseError::fromSqlError(query.lastError());
    const QVariantMap params = ReportStatements::params(start, end, workshop);
    for (auto it = params.constBegin(); it != params.constEnd(); ++it)
        if (sql.contains(u':' + it.key()))
            query.bindValue(u':' + it.key(), it.value());
    if (!query.exec())
        throw DatabaseError::fromSqlError(query.lastError());
    Table table;
    while (query.next()) {
        QStringList row;
        for (int i = 0; i < query.record().count(); ++i)
            row << query.record().fieldName(i) + u'=' + cell(query.value(i));
        table << row;
    }
    return table;
}

void TstReportStatementsJoined::compare(Kind kind, const QDate &start, const QDate &end, qint64 workshop)
{
    const Table joined = run(ReportStatements::joinedStatement(kind), start, end, workshop);
    const Table byMeter = run(ReportStatements::statement(kind), start, end, workshop);
    QCOMPARE(byMeter.size(), joined.size());
    // The order key is the first column; rows that tie on it come in the engine's order.
    auto key = [&](const QStringList &row) {
        return kind == Kind::Classes ? row.first().toCaseFolded() : row.first();
    };
    for (int i = 1; i < byMeter.size(); ++i) {
        QVERIFY2(key(byMeter.at(i - 1)) <= key(byMeter.at(i)), qPrintable(byMeter.at(i).join(u' ')));
        QCOMPARE(key(byMeter.at(i)), key(joined.at(i)));
    }
    Table a = joined, b = byMeter;
    // Workshops whose names differ only in case make one class row, under either spelling.
    if (kind == Kind::Classes)
        for (Table *t : { &a, &b })
            for (QStringList &row : *t)
                row.first() = row.first().toCaseFolded();
    std::sort(a.begin(), a.end());
    std::sort(b.begin(), b.end());
    for (int i = 0; i < a.size(); ++i)
        QCOMPARE(b.at(i), a.at(i));
}

void TstReportStatementsJoined::sameRows_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QDate>("start");
    QTest::addColumn<QDate>("end");
    const QList<std::pair<const char *, Kind>> kinds = {
        { "summary", Kind::Summary }, { "classes", Kind::Classes } };
    for (const auto &[name, kind] : kinds) {
        QTest::addRow("%s, one day", name) << int(kind) << QDate(2024, 1, 15) << QDate(2024, 1, 15);
        QTest::addRow("%s, a month", name) << int(kind) << QDate(2024, 2, 1) << QDate(2024, 2, 29);
        QTest::addRow("%s, everything", name) << int(kind) << QDate(2023, 1, 1) << QDate(2024, 12, 31);
        QTest::addRow("%s, before any reading", name) << int(kind) << QDate(2020, 1, 1) << QDate(2020, 12, 31);
        QTest::addRow("%s, end before start", name) << int(kind) << QDate(2024, 3, 1) << QDate(2024, 2, 1);
    }
}

void TstReportStatementsJoined::sameRows()
{
    QFETCH(int, kind);
    QFETCH(QDate, start);
    QFETCH(QDate, end);
    compare(Kind(kind), start, end, 0);
}

void TstReportStatementsJoined::detailOfEveryWorkshop()
{
    // Units of every level and an identifier no unit has.
    for (const qint64 workshop : m_workshops + QList<qint64>{ 9999 })
        for (const auto &[start, end] : { std::pair{ QDate(2024, 1, 1), QDate(2024, 1, 31) },
                                          std::pair{ QDate(2023, 1, 1), QDate(2024, 12, 31) } })
            compare(Kind::Detail, start, end, workshop);
}

QTEST_GUILESS_MAIN(TstReportStatementsJoined)
#include "tst_ReportStatementsJoined.moc"
