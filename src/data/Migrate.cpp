#include "Migrate.h"

#include "Database.h"
#include "Engine.h"
#include "Schema.h"
#include "SqliteFile.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSqlError>
#include <QSqlQuery>

namespace Migrate {

namespace {

const QString sourceName = QStringLiteral("kelvara-migrate-from");
const QString targetName = QStringLiteral("kelvara-migrate-to");

// Parents before the rows that name them.
const char *const tables[] = { "CnfgPara", "Workshop", "MeterSort", "Price", "Meter", "TakeMeter", "MeterExchange", "ConfirmedPass" };

// A table of a later version, which a database of an earlier one lacks: it is left empty.
bool addedLater(const QString &table)
{
    return table == u"MeterExchange" || table == u"ConfirmedPass";
}

// The tables that name a meter by its number.
bool namesMeter(const QString &table)
{
    return table == u"TakeMeter" || table == u"MeterExchange" || table == u"ConfirmedPass";
}

QStringList copiedTables()
{
    QStringList names;
    for (const char *name : tables)
        names << QString::fromLatin1(name);
    return names;
}

// The column that orders a table's rows as they were added.
QString keyOrder(const QString &table, const Engine &engine)
{
    for (const ColumnDef &c : Schema::columns(table))
        if (c.autoIncrement)
            return c.name;
    if (table == u"Meter")
        return QStringLiteral("MeterNO");
    if (table == u"TakeMeter")
        return engine.typingOrder();
    if (table == u"MeterExchange")
        return QStringLiteral("MeterID, t.ExchangeDate");
    if (table == u"ConfirmedPass")
        return QStringLiteral("MeterID, t.PassDate");
    return engine.rowIdentity();
}

// A value as the target stores it: whole numbers as such, dates as ISO texts (a date and time at
// midnight as the date alone), texts as they are.
QVariant storedForm(FieldKind kind, const QVariant &value)
{
    if (value.isNull())
        return QVariant(QMetaType(QMetaType::QString));
    switch (kind) {
    case FieldKind::Integer:
    case FieldKind::Currency:
        return value.toLongLong();
    case FieldKind::Date:
        if (value.metaType().id() == QMetaType::QDate)
            return value.toDate().toString(Qt::ISODate);
        return value.toString();
    case FieldKind::DateTime: {
        if (value.metaType().id() != QMetaType::QDateTime)
            return value.toString();
        // A server's date and time without zone may come back read as UTC: its fields are kept.
        const QDateTime read = value.toDateTime();
        const QDateTime dt = read.timeSpec() == Qt::UTC ? QDateTime(read.date(), read.time()) : read;
        return dt.time() == QTime(0, 0) ? dt.date().toString(Qt::ISODate)
                                        : dt.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    }
    default:
        return value.toString();
    }
}

// Row count and the sums of the number columns, computed by the database itself.
TableFigures figures(const QSqlDatabase &db, const QString &table)
{
    QStringList columns;
    QStringList parts{ QStringLiteral("CAST(count(*) AS TEXT)") };
    for (const ColumnDef &c : Schema::columns(table))
        if ((c.kind == FieldKind::Currency || c.kind == FieldKind::Integer) && !c.autoIncrement) {
            columns << c.name;
            parts << QStringLiteral("CAST(coalesce(sum(%1), 0) AS TEXT)").arg(c.name);
        }
    QSqlQuery q = execSql(db, QStringLiteral("SELECT %1 FROM %2").arg(parts.join(u','), table));
    q.next();
    TableFigures f;
    f.table = table;
    f.rows = q.value(0).toLongLong();
    for (int i = 0; i < columns.size(); ++i)
        f.sums << columns.at(i) + u'=' + q.value(i + 1).toString();
    return f;
}

// The form in which SQLite's NOCASE compares: A to Z as a to z, every other character as it is.
QString asciiLower(QString text)
{
    for (QChar &c : text)
        if (c >= u'A' && c <= u'Z')
            c = QChar(c.unicode() + 32);
    return text;
}

void closeBoth()
{
    Database::close(sourceName);
    Database::close(targetName);
}

// A refusal found inside the making of a new file: the file is not kept.
struct Refusal
{
};

Result copyInto(const QString &from, const QString &to, const Progress &progress)
{
    Result result;
    const Engine &targetEngine = Engine::forLocation(to);
    try {
        QSqlDatabase source = Database::open(from, sourceName);
        const Engine &sourceEngine = Engine::of(source);
        const QStringList present = sourceEngine.tables(source);
        for (const char *table : tables)
            if (!present.contains(QString::fromLatin1(table).toLower()) && !addedLater(QString::fromLatin1(table))) {
                closeBoth();
                result.refused = QStringLiteral("%1 is no Kelvara database: it has no table %2")
                                     .arg(sourceEngine.displayName(from), QLatin1String(table));
                return result;
            }
        if (sourceEngine.schemaVersion(source) > Schema::Version) {
            closeBoth();
            result.refused = QStringLiteral("%1 was written by a newer Kelvara").arg(sourceEngine.displayName(from));
            return result;
        }

        QSqlDatabase target = Database::open(to, targetName, Database::OpenMode::Create);
        const QStringList held = targetEngine.tables(target);
        if (!held.isEmpty()) {
            target = QSqlDatabase();
            closeBoth();
            result.refused = QStringLiteral("%1 already holds tables (%2); migrate fills only an empty database")
                                 .arg(targetEngine.displayName(to), held.join(QStringLiteral(", ")));
            return result;
        }

        // One consistent state of the source, whatever its users do meanwhile.
        execSql(source, sourceEngine.isFile() ? QStringLiteral("BEGIN")
                                              : QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY"));
        Transaction tx(target);
        for (const QString &sql : targetEngine.bulkLoadSettings() + targetEngine.tableStatements())
            execSql(target, sql);

        QHash<QString, QString> registered;   // meter numbers by their ASCII lower case
        {
            QSqlQuery numbers = execSql(source, QStringLiteral("SELECT MeterNO FROM Meter"));
            while (numbers.next())
                registered.insert(asciiLower(numbers.value(0).toString()), numbers.value(0).toString());
        }
        for (const char *name : tables) {
            const QString table = QString::fromLatin1(name);
            if (!present.contains(table.toLower()))
                continue;
            const QList<ColumnDef> columns = Schema::columns(table);
            QStringList selected, written;
            QList<FieldKind> kinds;
            int meterColumn = -1;
            for (const ColumnDef &c : columns) {
                if (namesMeter(table) && c.name == u"MeterID")
                    meterColumn = int(selected.size());
                selected << QStringLiteral("t.") + c.name;
                written << c.name;
                kinds << c.kind;
            }
            // The order in which readings were typed goes along.
            if (table == u"TakeMeter") {
                selected << QStringLiteral("t.") + sourceEngine.typingOrder();
                written << targetEngine.typingOrder();
                kinds << FieldKind::Integer;
            }
            QSqlQuery rows = execSql(source, QStringLiteral("SELECT %1 FROM %2 t ORDER BY t.%3")
                                                 .arg(selected.join(u','), table, keyOrder(table, sourceEngine)));
            const std::unique_ptr<BulkWriter> writer = targetEngine.bulkWriter(target, table, written);
            qint64 count = 0;
            QVariantList row;
            row.reserve(kinds.size());
            while (rows.next()) {
                row.clear();
                for (int i = 0; i < kinds.size(); ++i)
                    row << storedForm(kinds.at(i), rows.value(i));
                // A reading names its meter as registered: a file compares the numbers without
                // regard to ASCII case, a server exactly.
                if (meterColumn >= 0) {
                    const auto it = registered.constFind(asciiLower(row.at(meterColumn).toString()));
                    if (it != registered.constEnd())
                        row[meterColumn] = *it;
                }
                writer->add(row);
                if (++count % 500000 == 0 && progress)
                    progress(table, count);
            }
            if (rows.lastError().isValid())
                throw DatabaseError::fromSqlError(rows.lastError(), source);
            writer->finish();
            if (progress && count >= 500000)
                progress(table, count);
        }

        for (const QString &sql : targetEngine.indexStatements() + targetEngine.versionStatements())
            execSql(target, sql);
        targetEngine.resetIdentities(target, sourceEngine.nextIdentities(source));

        // The copy is committed only when it holds what the source holds.
        for (const char *name : tables) {
            if (!present.contains(QString::fromLatin1(name).toLower()))
                continue;
            const TableFigures was = figures(source, QString::fromLatin1(name));
            const TableFigures is = figures(target, QString::fromLatin1(name));
            if (was.rows != is.rows || was.sums != is.sums) {
                result.refused = QStringLiteral("the copy of %1 differs: %2 rows, %3 in the source; %4 rows, %5 in the copy")
                                     .arg(QLatin1String(name))
                                     .arg(was.rows)
                                     .arg(was.sums.join(u' '))
                                     .arg(is.rows)
                                     .arg(is.sums.join(u' '));
                result.tables.clear();
                break;
            }
            result.tables << was;
        }
        if (result.refused.isEmpty())
            tx.commit();
        execSql(source, QStringLiteral("ROLLBACK"));
        if (result.refused.isEmpty())
            for (const QString &sql : targetEngine.afterBulkLoad(copiedTables()))
                execSql(target, sql);
    } catch (...) {
        closeBoth();
        throw;
    }
    closeBoth();
    return result;
}

}

Result copy(const QString &from, const QString &to, const Progress &progress)
{
    Result result;
    if (!Engine::forLocation(to).isFile())
        return copyInto(from, to, progress);
    if (QFileInfo::exists(to) || QFileInfo(to).isSymLink()) {
        result.refused = QStringLiteral("%1 already exists; migrate writes only a new file").arg(to);
        return result;
    }
    // A new file is written under a temporary name and takes its own only when the copy is whole.
    try {
        if (!SqliteFile::create(to, [&](const QString &temporary) {
                result = copyInto(from, temporary, progress);
                if (!result.refused.isEmpty())
                    throw Refusal();
            }))
            result.refused = QStringLiteral("%1 already exists; migrate writes only a new file").arg(to);
    } catch (const Refusal &) {
    }
    return result;
}

}
