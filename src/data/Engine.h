// Engine.h: what differs between the two database engines Kelvara runs on, the embedded SQLite
// file and a PostgreSQL server: where a location points, connection settings, schema text, the few
// statements that differ, error classification and what each engine can do. Only Engine.cpp looks
// at the driver or the form of a location.
#pragma once

#include "Database.h"
#include "Schema.h"

#include <QHash>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QVariantList>

#include <memory>

class QSqlError;

// Rows written into one table in bulk, in the fastest way the engine has; each row holds the
// columns given when it was made, in the stored forms (whole numbers as qint64, dates as ISO
// texts, texts). finish() ends the batch; a failure throws DatabaseError.
class BulkWriter
{
public:
    virtual ~BulkWriter() = default;
    virtual void add(const QVariantList &row) = 0;
    virtual void finish() = 0;
};

class Engine
{
public:
    virtual ~Engine() = default;

    // A PostgreSQL location: a URI (postgresql://, postgres://) or a libpq key=value connection
    // string (service=NAME, host=... dbname=...). Anything else names an SQLite file.
    static bool isServerLocation(const QString &location);
    static const Engine &forLocation(const QString &location);
    static const Engine &of(const QSqlDatabase &db);
    // The engine of database files.
    static const Engine &file();

    virtual QString name() const = 0;

    // Capabilities.
    // The database is a file of this program: it is copied, checked for damage and made by init.
    virtual bool isFile() const = 0;
    // Statements lock rows; without row locks a transaction holds the whole database.
    virtual bool locksRows() const = 0;

    // Why the location cannot be used (empty when it can): a malformed address, or a password
    // written into it, which belongs in libpq's password file or PGPASSWORD instead.
    virtual QString locationProblem(const QString &location) const = 0;
    // The location as it may be shown: never a secret.
    virtual QString displayName(const QString &location) const = 0;
    // Whether the database is there to be opened without asking the server (a file that exists;
    // a server is asked only by connecting).
    virtual bool exists(const QString &location) const = 0;

    // Opens a named connection with the engine's settings; Create may make a new file. Throws
    // DatabaseError.
    virtual QSqlDatabase open(const QString &location, const QString &connectionName,
                              Database::OpenMode mode) const = 0;
    // Whether an open connection has lost its server, so that it must be opened again.
    virtual bool isBroken(const QSqlDatabase &db) const = 0;

    // The statements that make an empty database: tables first, then indexes (a bulk copy loads
    // the rows in between), then what marks the schema's version.
    virtual QStringList tableStatements() const = 0;
    virtual QStringList indexStatements() const = 0;
    virtual QStringList versionStatements() const = 0;
    // The tables added to the schema after version, each with the statements that make it and
    // its indexes, for a database of that version; versionStatements() then mark it as current.
    virtual QList<QPair<QString, QStringList>> addedSince(int version) const = 0;
    // The tables the database holds, lower-case (the program's and any other).
    virtual QStringList tables(const QSqlDatabase &db) const = 0;
    // The schema version stored with the tables; 0 when none.
    virtual int schemaVersion(const QSqlDatabase &db) const = 0;

    // Statements that differ.
    virtual QString beginTransaction() const = 0;
    // Locks the meter's row (one bound value, the meter number) for the rest of the transaction;
    // empty where the transaction already excludes every other writer.
    virtual QString lockMeter() const = 0;
    // A statement that makes two programs creating the schema at once take turns (in the
    // creating transaction), or none where the transaction itself does.
    virtual QString lockSchema() const = 0;
    // The column that gives the order in which a date's readings were typed.
    virtual QString typingOrder() const = 0;
    // The order of the meter register: as the meters were registered where the engine keeps that
    // order, otherwise by number, so that an edited row keeps its place.
    virtual QString registerOrder() const = 0;
    // A column that tells one row of a table from another, for a table without a key.
    virtual QString rowIdentity() const = 0;
    // "column equals the bound value", true for two nulls, comparing values of the kind as stored.
    virtual QString sameStoredValue(const QString &column, FieldKind kind) const;
    // "column names the meter that the value bound at placeholder names": the registered number
    // compared without regard to case, as the reading services compare it.
    virtual QString sameMeter(const QString &column, const QString &placeholder) const = 0;
    // An ORDER BY term that sorts texts by their bytes.
    virtual QString byteOrder(const QString &column) const = 0;
    // A GROUP BY or ORDER BY term for a name as a file's name columns compare it: ASCII letters
    // without regard to case, every other character by its code.
    virtual QString nameOrder(const QString &column) const = 0;
    // The statement with every Sum() refused, not wrapped, when it exceeds 64 bits.
    virtual QString checkedSums(const QString &sql) const = 0;
    // Sets the identity counters after rows were copied in with their own identifiers, so that
    // new rows get new ones. sequences: the source's next values by table, when it keeps them.
    virtual void resetIdentities(const QSqlDatabase &db, const QHash<QString, qint64> &next) const = 0;
    // The next identity each table would hand out, by lower-case table name.
    virtual QHash<QString, qint64> nextIdentities(const QSqlDatabase &db) const = 0;

    // A writer of rows into table (within the caller's transaction; on a server the table must
    // have been created in that transaction).
    virtual std::unique_ptr<BulkWriter> bulkWriter(const QSqlDatabase &db, const QString &table,
                                                   const QStringList &columns) const = 0;
    // Settings for a transaction that loads a whole database at once.
    virtual QStringList bulkLoadSettings() const = 0;
    // What the engine needs after a bulk load of these tables has been committed (statistics for
    // its planner). Other tables of the database are left alone: they may not be the program's.
    virtual QStringList afterBulkLoad(const QStringList &tables) const = 0;

    // The kind of a failure of this engine.
    virtual DatabaseError::Kind classify(const QSqlError &error) const = 0;
};
