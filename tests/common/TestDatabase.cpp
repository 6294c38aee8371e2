#include "TestDatabase.h"

#include "Database.h"
#include "Password.h"
#include "Schema.h"
#include "UCommon.h"

#include <QtTest>

namespace {

const QString adminConnection = QStringLiteral("test-admin");

// Runs statements on the server outside any test's schema.
void onServer(const QStringList &statements)
{
    QSqlDatabase admin = Database::open(TestDatabase::serverAddress(), adminConnection, Database::OpenMode::Create);
    for (const QString &sql : statements)
        execSql(admin, sql);
    admin = QSqlDatabase();
    Database::close(adminConnection);
}

// A schema of its own for each test database: search_path makes it the connection's.
QString newSchema(QStringList &made)
{
    static int count = 0;
    const QString schema = QStringLiteral("kt_%1_%2").arg(QCoreApplication::applicationPid()).arg(++count);
    onServer({ QStringLiteral("CREATE SCHEMA ") + schema });
    made << schema;
    return TestDatabase::serverAddress() + QStringLiteral(" options='-c search_path=%1'").arg(schema);
}

}

bool TestDatabase::onServer()
{
    return qEnvironmentVariable("KELVARA_TEST_ENGINE") == u"postgresql";
}

QString TestDatabase::serverAddress()
{
    if (!onServer())
        return {};
    static QString address;
    if (address.isEmpty()) {
        QFile file(qEnvironmentVariable("KELVARA_TEST_SERVER"));
        if (!file.open(QIODevice::ReadOnly))
            qFatal("KELVARA_TEST_SERVER names no readable file with the test server's address");
        address = QString::fromUtf8(file.readAll()).trimmed();
    }
    return address;
}

TestDatabase::TestDatabase()
{
    ClearTerminateRequest();
    m_path = onServer() ? newSchema(m_schemas) : m_dir.filePath(QStringLiteral("MDB/Kelvara.db"));
    {
        QSqlDatabase created = Database::open(m_path, QStringLiteral("test-create"), Database::OpenMode::Create);
        Schema::create(created);
    }
    Database::close(QStringLiteral("test-create"));
    Database::setPath(m_path);
    Database::connection();
}

TestDatabase::~TestDatabase()
{
    Database::closeConnection();
    Database::setPath(QString());
    if (!m_schemas.isEmpty()) {
        QStringList drops;
        for (const QString &schema : std::as_const(m_schemas))
            drops << QStringLiteral("DROP SCHEMA IF EXISTS %1 CASCADE").arg(schema);
        try {
            ::onServer(drops);
        } catch (const DatabaseError &e) {
            qWarning("test schema left behind: %s", qPrintable(e.text()));
        }
    }
}

QString TestDatabase::emptyDatabase()
{
    if (onServer())
        return newSchema(m_schemas);
    static int count = 0;
    return m_dir.filePath(QStringLiteral("empty-%1/Kelvara.db").arg(++count));
}

QSqlDatabase TestDatabase::db() const
{
    return Database::connection();
}

void TestDatabase::setUsingUnit(const QString &name, const QString &password)
{
    execSql(db(), QStringLiteral("INSERT INTO CnfgPara VALUES (?, ?)"), { name, password });
    execSql(db(), QStringLiteral("INSERT INTO Workshop VALUES (1, ?, 0, ?, 0)"), { name, name });
}

qint64 TestDatabase::addWorkshop(const QString &name, int level, qint64 parent, const QString &memo)
{
    return execSql(db(),
                   QStringLiteral("INSERT INTO Workshop (WrokShopName, WorkShopLevel, WrokShopMemo, ResideWorkShopID) "
                                  "VALUES (?, ?, ?, ?)"),
                   { name, level, memo.isNull() ? name : memo, parent })
        .lastInsertId()
        .toLongLong();
}

qint64 TestDatabase::addMeterSort(const QString &name, const QString &memo)
{
    return execSql(db(), QStringLiteral("INSERT INTO MeterSort (MeterSortName, MeterSortMemo) VALUES (?, ?)"),
                   { name, memo })
        .lastInsertId()
        .toLongLong();
}

qint64 TestDatabase::addPrice(const QString &name, Currency price, Currency exceed, const QVariant &sort)
{
    return execSql(db(),
                   QStringLiteral("INSERT INTO Price (PriceName, PriceNumber, ExceedPrice, MeterSortID) "
                                  "VALUES (?, ?, ?, ?)"),
                   { name, price.units(), exceed.units(), sort })
        .lastInsertId()
        .toLongLong();
}

void TestDatabase::addMeter(const MeterSpec &m)
{
    execSql(db(), QStringLiteral("INSERT INTO Meter VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
            { m.number, m.multiple, m.workshop, m.price, m.baseNumber, m.sort, m.quota.units(),
              m.model.isEmpty() ? QVariant(QMetaType(QMetaType::QString)) : QVariant(m.model),
              m.setupDate, m.maxBound, m.subjoin,
              m.place.isEmpty() ? QVariant(QMetaType(QMetaType::QString)) : QVariant(m.place), m.team });
}

void TestDatabase::addReading(const QString &meter, const QDate &date, int takeNumber, int curValue,
                              Currency charge, Currency quotaCharge, const QDate &inputDate)
{
    execSql(db(), QStringLiteral("INSERT INTO TakeMeter VALUES (?, ?, ?, ?, ?, ?, ?)"),
            { meter, takeNumber, curValue, charge.units(), quotaCharge.units(), date.toString(Qt::ISODate),
              (inputDate.isValid() ? inputDate : date).toString(Qt::ISODate) });
}

void TestDatabase::makePreviousVersion()
{
    execSql(db(), QStringLiteral("DROP TABLE ConfirmedPass"));
    execSql(db(), onServer() ? QStringLiteral("CREATE OR REPLACE FUNCTION KelvaraSchemaVersion() RETURNS integer "
                                              "LANGUAGE sql IMMUTABLE AS 'SELECT 2'")
                             : QStringLiteral("PRAGMA user_version = 2"));
    Database::closeConnection();
}

void TestDatabase::addOneMeter(int dailyReadings)
{
    setUsingUnit(QStringLiteral("厂"), QStringLiteral("pw"));
    const qint64 shop = addWorkshop(QStringLiteral("一车间"), 2, 1);
    const qint64 sort = addMeterSort(QStringLiteral("水表"));
    const qint64 price = addPrice(QStringLiteral("生产"), yuan("0.5"), yuan("0.8"), sort);
    addMeter({ QStringLiteral("A1"), sort, price, shop });
    Transaction tx(db());
    for (int i = 0; i < dailyReadings; ++i)
        addReading(QStringLiteral("A1"), QDate(2000, 1, 1).addDays(i), i, 1, yuan("0.5"), yuan("0"));
    tx.commit();
}

int TestDatabase::count(const QString &table) const
{
    return scalar(QStringLiteral("SELECT count(*) FROM ") + table).toInt();
}

QVariant TestDatabase::scalar(const QString &sql, const QVariantList &values) const
{
    return ::scalar(db(), sql, values);
}

QString typedPassword(const QString &stored)
{
    if (!IsPasswordHash(stored))
        return stored;
    for (const QString candidate : { "pw", "new", "old", "1234", "a'b\"c", "" })
        if (PasswordMatches(candidate, stored))
            return candidate;
    return QStringLiteral("?hash");
}

Currency yuan(const char *text)
{
    const auto c = Currency::parse(QString::fromUtf8(text));
    if (!c)
        qFatal("bad amount in a test: %s", text);
    return *c;
}
