// TestDatabase.h: a fresh database with the schema for each test, and domain helpers that fill it.
// With KELVARA_TEST_ENGINE=postgresql the database is a schema of its own on the test server
// (KELVARA_TEST_SERVER names a file holding its address), dropped again at the end; otherwise an
// SQLite file in a temporary folder.
#pragma once

#include "Currency.h"

#include <QDate>
#include <QSqlDatabase>
#include <QTemporaryDir>
#include <QVariant>

struct MeterSpec
{
    QString number;
    QVariant sort;            // MeterSortID
    QVariant price;           // PriceID
    QVariant workshop;        // level-2 WrokShopID
    QVariant team;            // level-3 WrokShopID
    int multiple = 1;
    int baseNumber = 0;
    int maxBound = 9999;
    int subjoin = 0;
    Currency quota;
    QString model;
    QString place;
    QVariant setupDate;
};

class TestDatabase
{
public:
    // Creates the file, or the schema on the server, and makes it the program's database.
    TestDatabase();
    ~TestDatabase();

    // Whether the tests run on a PostgreSQL server rather than on SQLite files.
    static bool onServer();
    // The server's address without a schema of the tests' (empty on SQLite).
    static QString serverAddress();

    // The program's database: the file, or the server address that reaches this test's schema.
    QString path() const { return m_path; }
    // Another database without any table: a file name not yet used, or a further empty schema on
    // the server (dropped with this one).
    QString emptyDatabase();
    QString dir() const { return m_dir.path(); }
    QSqlDatabase db() const;

    void setUsingUnit(const QString &name, const QString &password);   // CnfgPara and root row
    qint64 addWorkshop(const QString &name, int level, qint64 parent, const QString &memo = {});
    qint64 addMeterSort(const QString &name, const QString &memo = {});
    qint64 addPrice(const QString &name, Currency price, Currency exceed, const QVariant &sort);
    void addMeter(const MeterSpec &meter);
    void addReading(const QString &meter, const QDate &date, int takeNumber, int curValue,
                    Currency charge, Currency quotaCharge, const QDate &inputDate = {});

    // The smallest site: using unit "厂" (password "pw"), workshop "一车间", type "水表", price "生产"
    // (0.5 / 0.8) and meter A1, with dailyReadings readings of A1 from 2000-01-01 (counter value
    // the day's number, consumption 1, charge 0.5) in one transaction.
    void addOneMeter(int dailyReadings = 0);

    // Leaves the database as the previous version of the program wrote it: without the confirmed
    // passes, marked as version 2. The program's connection is closed, so the next use opens it again.
    void makePreviousVersion();

    int count(const QString &table) const;
    QVariant scalar(const QString &sql, const QVariantList &values = {}) const;

private:
    QTemporaryDir m_dir;
    QString m_path;
    QStringList m_schemas;   // on the server: the schemas this test made
};

// A stored password as the operator typed it: the hash is verified against the passwords the
// tests use and shown as the one it matches; plain text stays as it is; an unknown hash shows
// as "?hash".
QString typedPassword(const QString &stored);

// Currency from decimal text, for readable test tables: yuan("27.5").
Currency yuan(const char *text);
