// Database.h: connections to the program's database (an SQLite file or a PostgreSQL server, see
// Engine.h) with its settings, errors carrying the engine's text, statements with bound values and
// transactions.
#pragma once

#include "SqliteFile.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QVariant>
#include <atomic>
#include <exception>
#include <functional>

class Engine;
class QSqlError;

// A failure of the database engine; text() is the engine's own message.
class DatabaseError : public std::exception
{
public:
    enum Kind {
        Other,
        Missing,
        Damaged,
        Locked,
        ReadOnly,
        Full,
        Constraint,
        Foreign,        // the file is no Kelvara database; text() says so with the file's name
        Duplicate,      // a second row with the key of a stored one
        Retry,          // a deadlock or serialization failure: the transaction may run again
        Connection,     // the server cannot be reached or the connection was lost
        Changed,        // the row was changed by someone else since it was read
    };

    explicit DatabaseError(const QString &text, Kind kind = Other, int code = 0);
    // The failure as the engine of db classifies it.
    static DatabaseError fromSqlError(const QSqlError &error, const QSqlDatabase &db);
    // The same for a failure of the program's database.
    static DatabaseError fromSqlError(const QSqlError &error);
    // From an SQLite result code and its message.
    static DatabaseError fromSqlite(int code, const QString &text);

    const QString &text() const { return m_text; }
    // What the operator is told: the cause in words for a damaged, locked, read-only or full
    // database (a damaged one stays damaged for every later failure), a file that is no Kelvara
    // database, an unreachable server or a row changed by someone else, the engine's text
    // otherwise.
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

// The program's database: the file MDB/Kelvara.db beside the executable unless set otherwise to
// another file or to a PostgreSQL server's address.
QString path();
void setPath(const QString &path);
QString defaultPath();
// The database the desktop program opens: the one given on its command line, else the one the
// user's configuration file names (the key "database" in ~/.config/Kelvara/Kelvara.conf), so
// that a launcher needs no argument, else the file beside the program.
QString startPath(const QString &commandLine);
// Whether the program's database is a file (copies, damage checks) rather than a server.
bool isFile();
// Whether the program's database is there to be opened: a file that exists, or any server address
// (the server is asked only by connecting).
bool exists();
// path() as it may be shown: no secret in it.
QString displayName();
// The engine of path().
const Engine &engine();

// The program's connection to path(), opened on first use and again after its server was lost.
// Throws DatabaseError.
QSqlDatabase connection();
// Brings the main connection's database up to this version when it was locked or read-only as it
// was opened; nothing for another connection or once done. Failures leave it for the next call.
// Every Transaction calls it before it begins.
void finishUpgrade(const QSqlDatabase &db);
// The connection of that name; the program's connection is opened on first use.
QSqlDatabase connectionNamed(const QString &name);
QString mainConnectionName();
// Closes the program's connection (the next connection() opens it again).
void closeConnection();

// Opens a named connection to a file or server with the engine's settings: on SQLite WAL, full
// synchronous commits, enforced foreign keys, a busy timeout and the First/Last aggregates.
// Existing refuses a missing file. A file that is no Kelvara database (SqliteFile::inspect) is
// refused before any statement, so nothing is written to it; so is one whose tables cannot be
// read. A file replaced by a restore while the connection waited for it is opened again. On a
// server, Existing refuses a database without the program's tables; Create (init, migrate, the
// administrator's work) takes an empty one.
QSqlDatabase open(const QString &location, const QString &connectionName, OpenMode mode = OpenMode::Existing);
void close(const QString &connectionName);

// A damaged file is written no more: the program's connection turns query-only, now and
// whenever it is opened again, and every later failure is reported as damage. Nothing repairs
// the file silently. The state belongs to the file: another path() starts clean.
void markDamaged();
bool isDamaged();

// How long a statement waits for another program's lock, or another clerk's row, before it fails
// (milliseconds).
void setBusyTimeout(int milliseconds);
int busyTimeout();

// Registers First() and Last() on a connection, the value of the first and of the last row of a
// group, and MeterKey(), the form in which meter numbers compare.
void registerFunctions(QSqlDatabase &db);

// Copies an SQLite database consistently (SQLite's online backup) into a new owner-only file,
// checked as SqliteFile::copy does: a damaged copy goes to SqliteFile::damagedName(destination).
// A server's database is backed up by the server's own tools: no copy is made of it.
SqliteFile::Copy backup(QSqlDatabase &db, const QString &destination);
// The same from a connection of its own to the file source, for a worker thread; stops early,
// leaving no file, when *stop turns true.
SqliteFile::Copy backupFile(const QString &source, const QString &destination,
                            const std::atomic<bool> *stop = nullptr);

}

// Prepares, binds positional values and executes; throws DatabaseError. The query is positioned
// before its first row. A statement without values is run as it stands, so that it may be one
// the server does not prepare (BEGIN, SET, CREATE ...).
QSqlQuery execSql(const QSqlDatabase &db, const QString &sql, const QVariantList &values = {});

// One value from the first row, or an invalid QVariant when there is no row.
QVariant scalar(const QSqlDatabase &db, const QString &sql, const QVariantList &values = {});

// The connection's prepared statement of this text, parsed once and kept until the connection
// closes, every value from position bound on unbound (NULL): the caller binds the first bound
// values itself, executes, reads all it needs and calls finish() before anything else can ask
// for the same text. Throws DatabaseError.
QSqlQuery &cachedQuery(const QSqlDatabase &db, const QString &sql, int bound = 0);

// Runs work in a transaction of its own on db; commits when it returns true and rolls back when
// it returns false or throws. A deadlock or serialization failure rolls back and runs work
// again with fresh reads, at most five times in all; work must leave nothing behind outside the
// database when it fails.
bool runTransaction(const QSqlDatabase &db, const std::function<bool()> &work);

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
