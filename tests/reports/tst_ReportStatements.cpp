#include "Database.h"
#include "ReportFixture.h"
#include "ReportModel.h"
#include "ReportStatements.h"
#include "TestDatabase.h"

#include <QtTest>
#include <memory>

using ReportFixture::Table;
using ReportStatements::Kind;

Q_DECLARE_METATYPE(ReportFixture::Table)

class TstReportStatements : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void summary_data();
    void summary();
    void detail_data();
    void detail();
    void classes_data();
    void classes();
    void footersAreColumnSums_data();
    void footersAreColumnSums();
    void yearsAreNotWidened();
    void metersInTheOrderOfTheirNumbers();
    void workshopsOfTheClassReportAsOnAFile();
    void sumsBeyondTheRangeAreNotWrapped();
    void footerAtTheEdgeOfTheRange();
    void workshopListKeepsItsOrder();

private:
    void run(Kind kind, const QDate &start, const QDate &end, qint64 workshop = 0);
    void compare(const Table &expected, const QStringList &expectedFooter);

    std::unique_ptr<TestDatabase> m_db;
    ReportFixture::Ids m_ids;
    std::unique_ptr<ReportModel> m_model;
};

namespace {

const QStringList W1July = { "机加工车间", "W1", "水表", "160", "468.7500", "225.0000", "243.7500", "300.0000",
                             "2.5000", "3.7500", "260", "100", "6", "1" };
const QStringList E1July = { "机加工车间", "E1", "电表", "4000", "2538.4000", "500.0000", "2038.4000", "500.0000",
                             "0.6500", "0.9800", "5100", "5000", "0", "40" };
const QStringList A1July = { "装配车间", "A1", "水表", "20", "50.0000", "50.0000", "0.0000", "100.0000",
                             "2.5000", "3.7500", "30", "10", "1", "1" };

QStringList withName(QStringList row, const char *name)
{
    row[0] = QString::fromUtf8(name);
    return row;
}

QStringList emptyMeterFooter()
{
    return { "统计", "", "", "0", "0.0000", "0.0000", "0.0000", "0.0000", "0.0000", "0.0000", "0", "0", "0", "0" };
}

}

void TstReportStatements::init()
{
    m_db = std::make_unique<TestDatabase>();
    m_ids = ReportFixture::fill(*m_db);
}

void TstReportStatements::cleanup()
{
    m_model.reset();
    m_db.reset();
}

void TstReportStatements::run(Kind kind, const QDate &start, const QDate &end, qint64 workshop)
{
    m_model = std::make_unique<ReportModel>();
    m_model->setColumns(ReportStatements::columns(kind));
    m_model->open(ReportStatements::statement(kind), ReportStatements::params(start, end, workshop),
                  Database::mainConnectionName());
}

void TstReportStatements::compare(const Table &expected, const QStringList &expectedFooter)
{
    const Table actual = ReportFixture::rows(*m_model);
    // Rows come in the order of the first column; rows that tie on it in the engine's order.
    for (int r = 1; r < actual.size(); ++r)
        QVERIFY2(actual.at(r - 1).first() <= actual.at(r).first(), qPrintable(actual.at(r).first()));
    QCOMPARE(ReportFixture::sorted(actual), ReportFixture::sorted(expected));
    QCOMPARE(ReportFixture::footer(*m_model), expectedFooter);
    QCOMPARE(m_model->totalRows(), qint64(expected.size()));
}

void TstReportStatements::summary_data()
{
    QTest::addColumn<QDate>("start");
    QTest::addColumn<QDate>("end");
    QTest::addColumn<Table>("expected");
    QTest::addColumn<QStringList>("footer");

    QTest::newRow("July: first and last day included, other types, levels and months left out")
        << QDate(2024, 7, 1) << QDate(2024, 7, 31) << Table{ W1July, E1July, A1July }
        << QStringList{ "统计", "", "", "4180", "3057.1500", "775.0000", "2282.1500", "900.0000", "5.6500",
                        "8.4800", "5390", "5110", "7", "42" };
    QTest::newRow("same-day period")
        << QDate(2024, 7, 15) << QDate(2024, 7, 15)
        << Table{ { "机加工车间", "W1", "水表", "50", "118.7500", "100.0000", "18.7500", "300.0000", "2.5000",
                    "3.7500", "200", "100", "2", "1" },
                  E1July }
        << QStringList{ "统计", "", "", "4050", "2657.1500", "600.0000", "2057.1500", "800.0000", "3.1500",
                        "4.7300", "5300", "5100", "2", "41" };
    QTest::newRow("end before start") << QDate(2024, 7, 31) << QDate(2024, 7, 1) << Table{} << emptyMeterFooter();
    QTest::newRow("no readings") << QDate(2023, 1, 1) << QDate(2023, 12, 31) << Table{} << emptyMeterFooter();
}

void TstReportStatements::summary()
{
    QFETCH(QDate, start);
    QFETCH(QDate, end);
    QFETCH(Table, expected);
    QFETCH(QStringList, footer);
    run(Kind::Summary, start, end);
    compare(expected, footer);
}

void TstReportStatements::detail_data()
{
    QTest::addColumn<QString>("workshop");
    QTest::addColumn<Table>("expected");
    QTest::addColumn<QStringList>("footer");

    QTest::newRow("machining: its meters by team, not the meter registered under a team")
        << QStringLiteral("machining") << Table{ withName(W1July, "车工班"), withName(E1July, "钳工班") }
        << QStringList{ "统计", "", "", "4160", "3007.1500", "725.0000", "2282.1500", "800.0000", "3.1500",
                        "4.7300", "5360", "5100", "6", "41" };
    QTest::newRow("assembly") << QStringLiteral("assembly") << Table{ withName(A1July, "总装班") }
                              << QStringList{ "统计", "", "", "20", "50.0000", "50.0000", "0.0000", "100.0000",
                                              "2.5000", "3.7500", "30", "10", "1", "1" };
    QTest::newRow("any identifier: the meter registered under a level-1 unit")
        << QStringLiteral("production")
        << Table{ { "车工班", "U1", "水表", "10", "25.0000", "25.0000", "0.0000", "50.0000", "2.5000", "3.7500", "10",
                    "0", "0", "1" } }
        << QStringList{ "统计", "", "", "10", "25.0000", "25.0000", "0.0000", "50.0000", "2.5000", "3.7500", "10", "0",
                        "0", "1" };
    QTest::newRow("a workshop without readings") << QStringLiteral("empty") << Table{} << emptyMeterFooter();
}

void TstReportStatements::detail()
{
    QFETCH(QString, workshop);
    QFETCH(Table, expected);
    QFETCH(QStringList, footer);
    const qint64 id = workshop == u"machining" ? m_ids.machining
        : workshop == u"assembly"              ? m_ids.assembly
        : workshop == u"production"            ? m_ids.production
                                               : m_db->addWorkshop(QStringLiteral("新车间"), 2, m_ids.production);
    run(Kind::Detail, QDate(2024, 7, 1), QDate(2024, 7, 31), id);
    QVERIFY(m_model->columns().first().caption == u"班组名称");
    compare(expected, footer);
}

void TstReportStatements::classes_data()
{
    QTest::addColumn<QDate>("start");
    QTest::addColumn<QDate>("end");
    QTest::addColumn<Table>("expected");
    QTest::addColumn<QStringList>("footer");

    QTest::newRow("July: every level counted, the foreign price left out")
        << QDate(2024, 7, 1) << QDate(2024, 7, 31)
        << Table{ { "机加工车间", "水表", "160", "6", "生产用水", "2.5000", "3.7500", "468.7500", "225.0000",
                    "243.7500", "900.0000" },
                  { "机加工车间", "电表", "4000", "0", "生产用电", "0.6500", "0.9800", "2538.4000", "500.0000",
                    "2038.4000", "500.0000" },
                  { "生产部", "水表", "10", "0", "生产用水", "2.5000", "3.7500", "25.0000", "25.0000", "0.0000",
                    "50.0000" },
                  { "装配车间", "水表", "20", "1", "生产用水", "2.5000", "3.7500", "50.0000", "50.0000", "0.0000",
                    "100.0000" },
                  { "车工班", "水表", "5", "0", "生产用水", "2.5000", "3.7500", "12.5000", "12.5000", "0.0000",
                    "20.0000" } }
        << QStringList{ "统计", "", "4195", "7", "", "10.6500", "15.9800", "3094.6500", "812.5000", "2282.1500",
                        "1570.0000" };
    QTest::newRow("August")
        << QDate(2024, 8, 1) << QDate(2024, 8, 31)
        << Table{ { "装配车间", "水表", "10", "1", "生产用水", "2.5000", "3.7500", "25.0000", "25.0000", "0.0000",
                    "100.0000" } }
        << QStringList{ "统计", "", "10", "1", "", "2.5000", "3.7500", "25.0000", "25.0000", "0.0000", "100.0000" };
    QTest::newRow("no readings") << QDate(2024, 9, 1) << QDate(2024, 9, 30) << Table{}
                                 << QStringList{ "统计", "", "0", "0", "", "0.0000", "0.0000", "0.0000", "0.0000",
                                                 "0.0000", "0.0000" };
}

void TstReportStatements::classes()
{
    QFETCH(QDate, start);
    QFETCH(QDate, end);
    QFETCH(Table, expected);
    QFETCH(QStringList, footer);
    run(Kind::Classes, start, end);
    compare(expected, footer);
}

void TstReportStatements::footersAreColumnSums_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QDate>("start");
    QTest::addColumn<QDate>("end");
    for (int k = 0; k < 3; ++k) {
        QTest::addRow("%s, July", qPrintable(ReportStatements::title(Kind(k))))
            << k << QDate(2024, 7, 1) << QDate(2024, 7, 31);
        QTest::addRow("%s, summer", qPrintable(ReportStatements::title(Kind(k))))
            << k << QDate(2024, 6, 1) << QDate(2024, 8, 31);
    }
}

void TstReportStatements::footersAreColumnSums()
{
    QFETCH(int, kind);
    QFETCH(QDate, start);
    QFETCH(QDate, end);
    run(Kind(kind), start, end, m_ids.machining);
    const Table table = ReportFixture::rows(*m_model);
    QVERIFY(!table.isEmpty());
    const QList<ReportColumn> &columns = m_model->columns();
    for (int c = 0; c < columns.size(); ++c) {
        if (columns.at(c).footer != ReportColumn::FooterSum)
            continue;
        qint64 sum = 0;
        for (const QStringList &row : table) {
            if (columns.at(c).format == ReportColumn::Integer)
                sum += row.at(c).toLongLong();
            else
                sum += Currency::parse(row.at(c))->units();
        }
        const QString expected = columns.at(c).format == ReportColumn::Integer
            ? QString::number(sum)
            : Currency::fromUnits(sum).toString(4);
        QCOMPARE(m_model->footerText(c, ReportModel::Amounts::Exact), expected);
    }
}

void TstReportStatements::yearsAreNotWidened()
{
    // Years far from today reach the engine as written: a year 24 is not widened to 2024.
    run(Kind::Summary, QDate(1924, 7, 1), QDate(2124, 7, 31));
    QCOMPARE(ReportFixture::rows(*m_model).size(), 3);
    run(Kind::Summary, QDate(24, 7, 1), QDate(24, 7, 31));
    QCOMPARE(ReportFixture::rows(*m_model).size(), 0);
}

namespace {

// The first two columns of a report's rows.
QStringList namesAndNumbers(const ReportFixture::Table &table, int columns)
{
    QStringList keys;
    for (const QStringList &row : table)
        keys << QStringList(row.mid(0, columns)).join(u'/');
    return keys;
}

}

void TstReportStatements::metersInTheOrderOfTheirNumbers()
{
    // Meter numbers compare without regard to case: "a2" comes before "B1" in every report.
    const qint64 sort = m_db->scalar(QStringLiteral("Select MeterSortID from MeterSort where MeterSortName = '水表'")).toLongLong();
    const qint64 price = m_db->scalar(QStringLiteral("Select PriceID from Price where PriceName = '生产用水'")).toLongLong();
    for (const char *number : { "B1", "a2" }) {
        MeterSpec m;
        m.number = QString::fromLatin1(number);
        m.sort = sort;
        m.price = price;
        m.workshop = m_ids.assembly;
        m.team = m_ids.assemblyTeam;
        m_db->addMeter(m);
        m_db->addReading(m.number, QDate(2024, 9, 2), 5, 5, yuan("12.5"), yuan("0"));
    }
    run(Kind::Summary, QDate(2024, 9, 1), QDate(2024, 9, 30));
    QCOMPARE(namesAndNumbers(ReportFixture::rows(*m_model), 2), QStringList({ "装配车间/a2", "装配车间/B1" }));
    run(Kind::Detail, QDate(2024, 9, 1), QDate(2024, 9, 30), m_ids.assembly);
    QCOMPARE(namesAndNumbers(ReportFixture::rows(*m_model), 2), QStringList({ "总装班/a2", "总装班/B1" }));
}

void TstReportStatements::workshopsOfTheClassReportAsOnAFile()
{
    // Workshops typed with full-width characters: each is its own row, in the order of the names'
    // characters, as the summary orders them.
    const qint64 sort = m_db->scalar(QStringLiteral("Select MeterSortID from MeterSort where MeterSortName = '水表'")).toLongLong();
    const qint64 price = m_db->scalar(QStringLiteral("Select PriceID from Price where PriceName = '生产用水'")).toLongLong();
    int n = 0;
    for (const char *name : { "二号车间", "１号车间", "a车间", "Ａ车间" }) {
        MeterSpec m;
        m.number = QStringLiteral("F%1").arg(++n);
        m.sort = sort;
        m.price = price;
        m.workshop = m_db->addWorkshop(QString::fromUtf8(name), 2, m_ids.production);
        m.team = m.workshop;
        m_db->addMeter(m);
        m_db->addReading(m.number, QDate(2024, 9, 2), 5, 5, yuan("12.5"), yuan("0"));
    }
    run(Kind::Summary, QDate(2024, 9, 1), QDate(2024, 9, 30));
    const QStringList summary = namesAndNumbers(ReportFixture::rows(*m_model), 1);
    QCOMPARE(summary, QStringList({ "a车间", "二号车间", "１号车间", "Ａ车间" }));
    run(Kind::Classes, QDate(2024, 9, 1), QDate(2024, 9, 30));
    QCOMPARE(namesAndNumbers(ReportFixture::rows(*m_model), 1), summary);

    // Workshops whose names differ in case alone make one row, named alike on every engine and
    // at every run: by the least of the names, character by character.
    for (const char *name : { "AB", "ab", "Ab", "aB" }) {
        const qint64 workshop = m_db->addWorkshop(QString::fromUtf8(name), 2, m_ids.production);
        for (int i = 0; i < 3; ++i) {
            MeterSpec m;
            m.number = QStringLiteral("G%1").arg(++n);
            m.sort = sort;
            m.price = price;
            m.workshop = m.team = workshop;
            m_db->addMeter(m);
            m_db->addReading(m.number, QDate(2024, 10, 2), 5, 5, yuan("12.5"), yuan("0"));
        }
    }
    run(Kind::Classes, QDate(2024, 10, 1), QDate(2024, 10, 31));
    QCOMPARE(namesAndNumbers(ReportFixture::rows(*m_model), 1), QStringList({ "AB" }));
}

void TstReportStatements::sumsBeyondTheRangeAreNotWrapped()
{
    // Two charges whose sum exceeds what an amount holds: the report is refused, never printed
    // with a wrapped, negative figure.
    const Currency huge = Currency::fromUnits(5000000000000000000LL);
    m_db->addReading(QStringLiteral("W1"), QDate(2024, 9, 2), 300, 40, huge, yuan("0"));
    m_db->addReading(QStringLiteral("W1"), QDate(2024, 9, 3), 340, 40, huge, yuan("0"));
    for (const Kind kind : { Kind::Summary, Kind::Classes }) {
        try {
            run(kind, QDate(2024, 9, 1), QDate(2024, 9, 30));
        } catch (const DatabaseError &) {
            continue;
        }
        for (const QStringList &row : ReportFixture::rows(*m_model) + Table{ ReportFixture::footer(*m_model) })
            for (const QString &figure : row)
                QVERIFY2(!figure.startsWith(u'-'), qPrintable(row.join(u',')));
    }
}

void TstReportStatements::footerAtTheEdgeOfTheRange()
{
    // Two meters whose charges add up to the largest amount: the footer shows it; one unit more
    // and the report is refused, never footed with a wrapped, negative figure.
    m_db->addReading(QStringLiteral("W1"), QDate(2024, 9, 2), 300, 40, Currency::fromUnits(4611686018427387904LL), yuan("0"));
    m_db->addReading(QStringLiteral("E1"), QDate(2024, 9, 2), 5200, 40, Currency::fromUnits(4611686018427387903LL), yuan("0"));
    run(Kind::Summary, QDate(2024, 9, 1), QDate(2024, 9, 30));
    QCOMPARE(m_model->footerText(5, ReportModel::Amounts::Exact), QStringLiteral("922337203685477.5807"));

    m_db->addReading(QStringLiteral("A1"), QDate(2024, 9, 2), 50, 10, Currency::fromUnits(1), yuan("0"));
    QVERIFY_THROWS_EXCEPTION(DatabaseError, run(Kind::Summary, QDate(2024, 9, 1), QDate(2024, 9, 30)));
}

// The report window's list of workshops stays in the order they were added when one is renamed.
void TstReportStatements::workshopListKeepsItsOrder()
{
    execSql(m_db->db(), QStringLiteral("UPDATE Workshop SET WrokShopName = '机加车间' WHERE WrokShopID = ?"),
            { m_ids.machining });
    execSql(m_db->db(), QStringLiteral("ANALYZE Workshop"));   // as a server's statistics stand after a while
    QSqlQuery q = execSql(m_db->db(), ReportStatements::SqlWorkshopList());
    QList<qint64> ids;
    while (q.next())
        ids << q.value(0).toLongLong();
    QCOMPARE(ids, (QList<qint64>{ m_ids.machining, m_ids.assembly }));
}

QTEST_GUILESS_MAIN(TstReportStatements)
#include "tst_ReportStatements.moc"
