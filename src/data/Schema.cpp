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

}
