#include "Schema.h"

#include "Database.h"
#include "Engine.h"

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
    if (t == u"confirmedpass")
        return { { "MeterID", FieldKind::Text, 10 },
                 { "PassDate", FieldKind::Date },
                 { "PassValue", FieldKind::Integer },
                 { "PassFrom", FieldKind::Integer },
                 { "PassFromDay", FieldKind::Date } };
    return {};
}

void create(QSqlDatabase &db)
{
    const Engine &engine = Engine::of(db);
    Transaction tx(db);
    // Another program may have filled the database since its caller looked.
    if (!engine.lockSchema().isEmpty())
        execSql(db, engine.lockSchema());
    const QStringList held = engine.tables(db);
    if (!held.isEmpty())
        throw DatabaseError(QStringLiteral("the database already holds tables (%1); the tables are created in an "
                                           "empty database only")
                                .arg(held.join(QStringLiteral(", "))),
                            DatabaseError::Duplicate);
    for (const QStringList &part : { engine.tableStatements(), engine.indexStatements(), engine.versionStatements() })
        for (const QString &sql : part)
            execSql(db, sql);
    tx.commit();
}

bool upgrade(QSqlDatabase &db)
{
    const Engine &engine = Engine::of(db);
    const int version = engine.schemaVersion(db);
    if (version >= Version)
        return false;
    // An empty database is made by init, not here.
    const QStringList present = engine.tables(db);
    if (!present.contains(QStringLiteral("takemeter")))
        return false;
    Transaction tx(db);
    // What came later, except a table a database without a version may have already.
    for (const auto &[table, statements] : engine.addedSince(version))
        if (!present.contains(table.toLower()))
            for (const QString &sql : statements)
                execSql(db, sql);
    for (const QString &sql : engine.versionStatements())
        execSql(db, sql);
    tx.commit();
    return true;
}

}
