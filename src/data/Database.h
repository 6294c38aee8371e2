// Database.h: SQLite connections with the program's settings, errors carrying the engine's text,
// statements with bound values and transactions.
#pragma once

#include "SqliteFile.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QVariant>
#include <atomic>
#include <exception>

class QSqlError;

// A failure of the database engine; text() is the engine's own message.
class DatabaseError : public std::exception
{
public:
    // Foreign: the file is no Kelvara database; text() says so with the file's name.
    enum Kind { Other, Missing, Damaged, Locked, ReadOnly, Full, Constraint, Foreign };

    explicit DatabaseError(const QString &text, Kind kind = Other, int code = 0);
    static DatabaseError fromSqlError(const QSqlError &error);
    // From an SQLite result code and its message.
    static DatabaseError fromSqlite(int code, const QString &text);

    const QString &text() const { return m_text; }
    // What the operator is told: the cause in words for a damaged, locked, read-only or full
    // database (a damaged one stays damaged for every later failure) and for a file that is no
    // Kelvara database, the engine's text otherwise.
    QString operatorText() const;
    // Whether operatorText() names a cause rather than passing on the engine's text.
    bool namesCause() const;
    Kind kind() const { return m_kind; }
    int code() const { return m_code; }
    const char *what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_text;
    QByteArray m_utf8;
    Kind m_kind;
    int m_code;
};

// Abandons an operation silently; the message, if any, has already been shown.
class AbortError : public std::exception
{
public:
    const char *what() const noexcept override { return "aborted"; }
};

namespace Database {

enum class OpenMode { Existing, Create };

// The program's database file: MDB/Kelvara.db beside the executable unless set otherwise.
QString path();
void setPath(const QString &path);
QString defaultPath();

// The program's connection to path(), opened on first use. Throws DatabaseError.
QSqlDatabase connection();
// The connection of that name; the program's connection is opened on first use.
QSqlDatabase connectionNamed(const QString &name);
QString mainConnectionName();
// Closes the program's connection (the next connection() opens it again).
void closeConnection();

// Opens a named connection with WAL, full synchronous commits, enforced foreign keys,
// a busy timeout and the First/Last aggregates. Existing refuses a missing file. A file that is
// no Kelvara database (SqliteFile::inspect) is refused before any statement, so nothing is
// written to it; so is one whose tables cannot be read. A file replaced by a restore while the
// connection waited for it is opened again.
QSqlDatabase open(const QString &file, const QString &connectionName, OpenMode mode = OpenMode::Existing);
void close(const QString &connectionName);

// A damaged file is written no more: the program's connection turns query-only, now and
// whenever it is opened again, and every later failure is reported as damage. Nothing repairs
// the file silently. The state belongs to the file: another path() starts clean.
void markDamaged();
bool isDamaged();

// How long a statement waits for another program's lock before it fails (milliseconds).
void setBusyTimeout(int milliseconds);
int busyTimeout();

// Registers First() and Last() on a connection, the value of the first and of the last row of a
// group, and MeterKey(), the form in which meter numbers compare.
void registerFunctions(QSqlDatabase &db);

// Copies the database consistently (SQLite's online backup) into a new owner-only file, checked
// as SqliteFile::copy does: a damaged copy goes to SqliteFile::damagedName(destination).
SqliteFile::Copy backup(QSqlDatabase &db, const QString &destination);
// The same from a connection of its own to the file source, for a worker thread; stops early,
// leaving no file, when *stop turns true.
SqliteFile::Copy backupFile(const QString &source, const QString &destination,
                            const std::atomic<bool> *stop = nullptr);

}

// Prepares, binds positional values and executes; throws DatabaseError. The query is positioned
// before its first row.
QSqlQuery execSql(const QSqlDatabase &db, const QString &sql, const QVariantList &values = {});

// One value from the first row, or an invalid QVariant when there is no row.
QVariant scalar(const QSqlDatabase &db, const QString &sql, const QVariantList &values = {});

// The connection's prepared statement of this text, parsed once and kept until the connection
// closes, every value unbound (NULL). The caller binds, executes, reads all it needs and calls
// finish() before anything else can ask for the same text. Throws DatabaseError.
QSqlQuery &cachedQuery(const QSqlDatabase &db, const QString &sql);

// Rolls back unless commit() was called.
class Transaction
{
public:
    explicit Transaction(QSqlDatabase db);
    ~Transaction();
    Transaction(const Transaction &) = delete;
    Transaction &operator=(const Transaction &) = delete;
    void commit();

private:
    QSqlDatabase m_db;
    bool m_done = false;
};
