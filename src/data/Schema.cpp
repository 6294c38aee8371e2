#include "Schema.h"

#include "Database.h"

#include <QSqlDatabase>

namespace Schema {

QList<ColumnDef> columns(const QString &table)
{
    const QString t = table.toLower();
    if (t == u"cnfgpara")
        return { { "UseUnitName", FieldKind::Text, 50 }, { "PassWd", FieldKind::Text, 0 } };
    if (t == u"workshop")
        return { { "WrokShopID", FieldKind::Integer, 0, true, true },
                 { "WrokShopName", FieldKind::Text, 50 },
                 { "WorkShopLevel", FieldKind::Integer },
                 { "WrokShopMemo", FieldKind::Text, 50 },
                 { "ResideWorkShopID", FieldKind::Integer, 0, false, true } };
    if (t == u"metersort")
        return { { "MeterSortID", FieldKind::Integer, 0, true, true },
                 { "MeterSortName", FieldKind::Text, 20 },
                 { "MeterSortMemo", FieldKind::Text, 50 } };
    if (t == u"price")
        return { { "PriceID", FieldKind::Integer, 0, true, true },
                 { "PriceName", FieldKind::Text, 20 },
                 { "PriceNumber", FieldKind::Currency },
                 { "ExceedPrice", FieldKind::Currency },
                 { "MeterSortID", FieldKind::Integer, 0, false, true } };
    if (t == u"meter")
        return { { "MeterNO", FieldKind::Text, 10 },
                 { "Multiple", FieldKind::Integer },
                 { "WorkShopID", FieldKind::Integer, 0, false, true },
                 { "PriceID", FieldKind::Integer, 0, false, true },
                 { "BaseNumber", FieldKind::Integer },
                 { "MeterSort", FieldKind::Integer, 0, false, true },
                 { "Quota", FieldKind::Currency },
                 { "Type", FieldKind::Text, 20 },
                 { "SetupDate", FieldKind::DateTime },
                 { "MaxBound", FieldKind::Integer },
                 { "SubjoinNumber", FieldKind::Integer },
                 { "FitPlace", FieldKind::Text, 50 },
                 { "SubWorkShopID", FieldKind::Integer, 0, false, true } };
    if (t == u"takemeter")
        return { { "MeterID", FieldKind::Text, 10 },
                 { "TakeNumber", FieldKind::Integer },
                 { "CurValue", FieldKind::Integer },
                 { "Charge", FieldKind::Currency },
                 { "QuotaCharge", FieldKind::Currency },
                 { "TakeTime", FieldKind::Date },
                 { "InputDate", FieldKind::Date } };
    if (t == u"meterexchange")
        return { { "MeterID", FieldKind::Text, 10 },
                 { "ExchangeDate", FieldKind::Date },
                 { "OldFinal", FieldKind::Integer },
                 { "OldBase", FieldKind::Integer },
                 { "OldMaxBound", FieldKind::Integer },
                 { "NewInitial", FieldKind::Integer },
                 { "NewMaxBound", FieldKind::Integer },
                 { "OldType", FieldKind::Text, 20 },
                 { "OldSetupDate", FieldKind::DateTime },
                 { "Note", FieldKind::Text, 50 },
                 { "InputTime", FieldKind::DateTime } };
    return {};
}

// The exchanged counters of the meters: the old counter's last value, base and maximum, the new
// counter's first value and maximum, and the model and installation date the meter had, so that
// deleting the last exchange puts the meter back as it was. Renumbering a meter carries its
// exchanges along; a meter with exchanges is not deleted.
QStringList exchangeStatements()
{
    return {
        QStringLiteral(
            "CREATE TABLE MeterExchange ("
            " MeterID TEXT COLLATE NOCASE NOT NULL"
            "   REFERENCES Meter (MeterNO) ON UPDATE CASCADE ON DELETE RESTRICT,"
            " ExchangeDate TEXT NOT NULL CHECK (date(ExchangeDate, '+0 days') IS ExchangeDate),"
            " OldFinal INTEGER NOT NULL CHECK (OldFinal >= 0),"
            " OldBase INTEGER NOT NULL,"
            " OldMaxBound INTEGER NOT NULL CHECK (OldFinal <= OldMaxBound),"
            " NewInitial INTEGER NOT NULL CHECK (NewInitial >= 0),"
            " NewMaxBound INTEGER NOT NULL CHECK (NewMaxBound >= 1 AND NewInitial <= NewMaxBound),"
            " OldType TEXT COLLATE NOCASE,"
            " OldSetupDate TEXT,"
            " Note TEXT COLLATE NOCASE CHECK (length(Note) <= 50),"
            " InputTime TEXT"
            ") STRICT"),
        // One exchange per meter and date; also the path of the look-up of every save.
        QStringLiteral("CREATE UNIQUE INDEX MeterExchange_MeterDate ON MeterExchange (MeterID, ExchangeDate)"),
    };
}

QStringList createStatements()
{
    // STRICT tables refuse a value of the wrong type instead of storing it as text.
    // Dates are ISO texts; date(x, '+0 days') normalises an impossible date, so "IS" rejects it.
    return QStringList{
        QStringLiteral(
            "CREATE TABLE CnfgPara ("
            " UseUnitName TEXT COLLATE NOCASE,"
            " PassWd TEXT COLLATE NOCASE"
            ") STRICT"),
        QStringLiteral(
            "CREATE TABLE Workshop ("
            " WrokShopID INTEGER PRIMARY KEY AUTOINCREMENT,"
            " WrokShopName TEXT COLLATE NOCASE,"
            " WorkShopLevel INTEGER,"
            " WrokShopMemo TEXT COLLATE NOCASE,"
            " ResideWorkShopID INTEGER"
            ") STRICT"),
        QStringLiteral(
            "CREATE TABLE MeterSort ("
            " MeterSortID INTEGER PRIMARY KEY AUTOINCREMENT,"
            " MeterSortName TEXT COLLATE NOCASE,"
            " MeterSortMemo TEXT COLLATE NOCASE"
            ") STRICT"),
        QStringLiteral(
            "CREATE TABLE Price ("
            " PriceID INTEGER PRIMARY KEY AUTOINCREMENT,"
            " PriceName TEXT COLLATE NOCASE CHECK (length(PriceName) <= 20),"
            " PriceNumber INTEGER,"
            " ExceedPrice INTEGER,"
            " MeterSortID INTEGER REFERENCES MeterSort (MeterSortID) ON DELETE RESTRICT"
            ") STRICT"),
        QStringLiteral(
            "CREATE TABLE Meter ("
            " MeterNO TEXT COLLATE NOCASE NOT NULL PRIMARY KEY CHECK (length(MeterNO) BETWEEN 1 AND 10),"
            " Multiple INTEGER,"
            " WorkShopID INTEGER REFERENCES Workshop (WrokShopID) ON DELETE RESTRICT,"
            " PriceID INTEGER REFERENCES Price (PriceID) ON DELETE RESTRICT,"
            " BaseNumber INTEGER,"
            " MeterSort INTEGER REFERENCES MeterSort (MeterSortID) ON DELETE RESTRICT,"
            " Quota INTEGER,"
            " Type TEXT COLLATE NOCASE CHECK (length(Type) <= 20),"
            " SetupDate TEXT CHECK (SetupDate IS NULL OR date(SetupDate, '+0 days') IS SetupDate"
            "                       OR datetime(SetupDate, '+0 days') IS SetupDate),"
            " MaxBound INTEGER,"
            " SubjoinNumber INTEGER,"
            " FitPlace TEXT COLLATE NOCASE CHECK (length(FitPlace) <= 50),"
            " SubWorkShopID INTEGER REFERENCES Workshop (WrokShopID) ON DELETE RESTRICT"
            ") STRICT"),
        QStringLiteral(
            "CREATE TABLE TakeMeter ("
            " MeterID TEXT COLLATE NOCASE NOT NULL"
            "   REFERENCES Meter (MeterNO) ON UPDATE CASCADE ON DELETE RESTRICT,"
            " TakeNumber INTEGER,"
            " CurValue INTEGER,"
            " Charge INTEGER,"
            " QuotaCharge INTEGER,"
            " TakeTime TEXT NOT NULL CHECK (date(TakeTime, '+0 days') IS TakeTime),"
            " InputDate TEXT CHECK (InputDate IS NULL OR date(InputDate, '+0 days') IS InputDate)"
            ") STRICT"),
        // One reading per meter and date; also the path of every per-meter look-up.
        QStringLiteral("CREATE UNIQUE INDEX TakeMeter_MeterTime ON TakeMeter (MeterID, TakeTime)"),
        // A date's readings.
        QStringLiteral("CREATE INDEX TakeMeter_TakeTime ON TakeMeter (TakeTime)"),
        // Covers what a save and the reports read of a meter's readings: the month window,
        // the previous counter value and the period's sums come from the index alone.
        QStringLiteral("CREATE INDEX TakeMeter_MeterFigures ON TakeMeter "
                       "(MeterID, TakeTime, TakeNumber, CurValue, Charge, QuotaCharge)"),
        // Restricted deletes of master rows look for the rows that name them.
        QStringLiteral("CREATE INDEX Meter_PriceID ON Meter (PriceID)"),
        QStringLiteral("CREATE INDEX Meter_MeterSort ON Meter (MeterSort)"),
        QStringLiteral("CREATE INDEX Meter_WorkShopID ON Meter (WorkShopID)"),
        QStringLiteral("CREATE INDEX Meter_SubWorkShopID ON Meter (SubWorkShopID)"),
        QStringLiteral("CREATE INDEX Price_MeterSortID ON Price (MeterSortID)"),
        QStringLiteral("CREATE INDEX Workshop_Level ON Workshop (WorkShopLevel, ResideWorkShopID)"),
    } + exchangeStatements() + QStringList{
        QStringLiteral("PRAGMA user_version = %1").arg(Version),
        // Marks the file as Kelvara's, so that no other program's file is ever taken for it.
        QStringLiteral("PRAGMA application_id = %1").arg(SqliteFile::applicationId),
    };
}

void create(QSqlDatabase &db)
{
    Transaction tx(db);
    for (const QString &sql : createStatements())
        execSql(db, sql);
    tx.commit();
}

bool upgrade(QSqlDatabase &db)
{
    if (scalar(db, QStringLiteral("PRAGMA user_version")).toInt() >= Version)
        return false;
    Transaction tx(db);
    // Files of the first version lack the exchanges; older files of the office's own lack the
    // version as well.
    if (!scalar(db, QStringLiteral("Select 1 from sqlite_schema where type = 'table' and name = 'MeterExchange'"))
             .isValid())
        for (const QString &sql : exchangeStatements())
            execSql(db, sql);
    execSql(db, QStringLiteral("PRAGMA user_version = %1").arg(Version));
    tx.commit();
    return true;
}

}
