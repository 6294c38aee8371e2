#include "Database.h"

#include "Schema.h"
#include "UCommon.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSqlDriver>
#include <QSqlError>
#include <QUrl>

#include <sqlite3.h>
#include <atomic>
#include <sys/stat.h>

DatabaseError::DatabaseError(const QString &text, Kind kind, int code)
    : m_text(text), m_utf8(text.toUtf8()), m_kind(kind), m_code(code)
{
}

DatabaseError DatabaseError::fromSqlError(const QSqlError &error)
{
    bool ok = false;
    const int code = error.nativeErrorCode().toInt(&ok);
    QString text = error.databaseText();
    if (text.isEmpty())
        text = error.text();
    return fromSqlite(ok ? code : 0, text);
}

DatabaseError DatabaseError::fromSqlite(int code, const QString &text)
{
    Kind kind = Other;
    switch (code & 0xff) {
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
        kind = Damaged;
        break;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        kind = Locked;
        break;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_CANTOPEN:
        kind = ReadOnly;
        break;
    case SQLITE_FULL:
        kind = Full;
        break;
    case SQLITE_CONSTRAINT:
        kind = Constraint;
        break;
    default:
        break;
    }
    return DatabaseError(text, kind, code);
}

QString DatabaseError::operatorText() const
{
    if (m_kind == Foreign)
        return m_text;
    if (m_kind == Damaged || Database::isDamaged())
        return QStringLiteral("数据库文件已损坏！");
    switch (m_kind) {
    case Locked:
        return QStringLiteral("数据库正被其他程序使用，请稍后再试！");
    case ReadOnly:
        return QStringLiteral("数据库文件是只读的，不能保存修改！");
    case Full:
        return QStringLiteral("磁盘空间不足，数据没有保存！");
    default:
        return m_text;
    }
}

bool DatabaseError::namesCause() const
{
    return m_kind == Damaged || m_kind == Locked || m_kind == ReadOnly || m_kind == Full || m_kind == Foreign
        || Database::isDamaged();
}

namespace {

// Aggregate state: the value kept so far, owned by the aggregate.
struct PickState
{
    sqlite3_value *value;
    int seen;
};

void firstStep(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    auto *state = static_cast<PickState *>(sqlite3_aggregate_context(ctx, sizeof(PickState)));
    if (!state || state->seen)
        return;
    state->seen = 1;
    state->value = sqlite3_value_dup(argv[0]);
}

void lastStep(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    auto *state = static_cast<PickState *>(sqlite3_aggregate_context(ctx, sizeof(PickState)));
    if (!state)
        return;
    sqlite3_value_free(state->value);
    state->seen = 1;
    state->value = sqlite3_value_dup(argv[0]);
}

void pickFinal(sqlite3_context *ctx)
{
    auto *state = static_cast<PickState *>(sqlite3_aggregate_context(ctx, 0));
    if (!state || !state->value) {
        sqlite3_result_null(ctx);
        return;
    }
    sqlite3_result_value(ctx, state->value);
    sqlite3_value_free(state->value);
    state->value = nullptr;
}

// MeterKey(text): the form in which meter numbers compare (UCommon's MeterKey).
void meterKeyFunction(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
        sqlite3_result_null(ctx);
        return;
    }
    const auto *text = reinterpret_cast<const char *>(sqlite3_value_text(argv[0]));
    const QByteArray key = MeterKey(QString::fromUtf8(text, sqlite3_value_bytes(argv[0]))).toUtf8();
    sqlite3_result_text(ctx, key.constData(), int(key.size()), SQLITE_TRANSIENT);
}

sqlite3 *handleOf(const QSqlDatabase &db)
{
    const QVariant v = db.driver()->handle();
    if (v.isValid() && qstrcmp(v.typeName(), "sqlite3*") == 0)
        return *static_cast<sqlite3 *const *>(v.data());
    return nullptr;
}

QString &configuredPath()
{
    static QString p;
    return p;
}

const QString mainConnection = QStringLiteral("kelvara");

QString damagedFile;
int busyMilliseconds = 5000;

// Prepared statements by connection name and text.
QHash<QString, QHash<QString, QSqlQuery>> &statementCache()
{
    static QHash<QString, QHash<QString, QSqlQuery>> cache;
    return cache;
}

void makeQueryOnly(const QSqlDatabase &db)
{
    QSqlQuery pragma(db);
    pragma.exec(QStringLiteral("PRAGMA query_only = ON"));
}

void makeOwnerOnly(const QString &file)
{
    QFile::setPermissions(file, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

}

namespace Database {

QString defaultPath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/MDB/Kelvara.db");
}

QString path()
{
    return configuredPath().isEmpty() ? defaultPath() : configuredPath();
}

void setPath(const QString &p)
{
    if (p != configuredPath())
        closeConnection();
    configuredPath() = p;
}

QString mainConnectionName()
{
    return mainConnection;
}

QSqlDatabase connection()
{
    if (QSqlDatabase::contains(mainConnection)) {
        QSqlDatabase db = QSqlDatabase::database(mainConnection, false);
        if (db.isOpen())
            return db;
    }
    QSqlDatabase db = open(path(), mainConnection, OpenMode::Existing);
    if (isDamaged()) {
        makeQueryOnly(db);
        return db;
    }
    // A file of an earlier version gets the tables it lacks. One that cannot be written now
    // (read-only, locked) stays as it is and is upgraded when it next can be.
    try {
        Schema::upgrade(db);
    } catch (const DatabaseError &) {
    }
    return db;
}

void markDamaged()
{
    damagedFile = QFileInfo(path()).absoluteFilePath();
    if (QSqlDatabase::contains(mainConnection)) {
        const QSqlDatabase db = QSqlDatabase::database(mainConnection, false);
        if (db.isOpen())
            makeQueryOnly(db);
    }
}

bool isDamaged()
{
    return !damagedFile.isEmpty() && damagedFile == QFileInfo(path()).absoluteFilePath();
}

void setBusyTimeout(int milliseconds)
{
    busyMilliseconds = milliseconds;
}

int busyTimeout()
{
    return busyMilliseconds;
}

QSqlDatabase connectionNamed(const QString &name)
{
    if (name == mainConnection)
        return connection();
    if (!QSqlDatabase::contains(name))
        throw DatabaseError(QStringLiteral("数据集没有连接到数据库！"));
    QSqlDatabase db = QSqlDatabase::database(name, false);
    if (!db.isOpen())
        throw DatabaseError(QStringLiteral("数据库连接已关闭！"));
    return db;
}

void closeConnection()
{
    close(mainConnection);
}

namespace {

bool sameFile(const struct stat &a, const struct stat &b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}

QSqlDatabase open(const QString &file, const QString &connectionName, OpenMode mode)
{
    // What the file is decides before anything is written to it.
    switch (SqliteFile::inspect(file)) {
    case SqliteFile::Kind::Missing:
        if (mode == OpenMode::Existing)
            throw DatabaseError(QStringLiteral("unable to open database file: %1").arg(file), DatabaseError::Missing);
        QDir().mkpath(QFileInfo(file).absolutePath());
        break;
    case SqliteFile::Kind::Foreign:
        throw DatabaseError(SqliteFile::foreignText(file), DatabaseError::Foreign);
    case SqliteFile::Kind::Damaged:
        throw DatabaseError(QStringLiteral("database disk image is malformed: %1").arg(file), DatabaseError::Damaged,
                            SQLITE_CORRUPT);
    case SqliteFile::Kind::Kelvara:
    case SqliteFile::Kind::Unreadable:
        break;
    }
    SqliteFile::repairLeftovers(file);

    for (int attempt = 1;; ++attempt) {
        close(connectionName);
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName);
        // A URI with mode=rw never creates a file that is not there.
        QUrl uri = QUrl::fromLocalFile(QFileInfo(file).absoluteFilePath());
        uri.setQuery(mode == OpenMode::Create ? QStringLiteral("mode=rwc") : QStringLiteral("mode=rw"));
        db.setDatabaseName(uri.toString(QUrl::FullyEncoded));
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=%1").arg(busyMilliseconds));
        struct stat before {};
        const bool existed = ::stat(QFile::encodeName(file).constData(), &before) == 0;
        const mode_t previous = ::umask(077);   // the file and its WAL are the owner's alone
        const bool opened = db.open();
        if (!opened) {
            ::umask(previous);
            const DatabaseError error = DatabaseError::fromSqlError(db.lastError());
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(connectionName);
            throw error;
        }
        try {
            // The first statement reads the header: a file that is no database fails here, and
            // it waits while a restore holds the file. A file replaced meanwhile is another file.
            execSql(db, QStringLiteral("PRAGMA application_id"));
            struct stat after {};
            if (existed && attempt < 4
                && (::stat(QFile::encodeName(file).constData(), &after) != 0 || !sameFile(before, after))) {
                ::umask(previous);
                continue;
            }
            execSql(db, QStringLiteral("PRAGMA foreign_keys = ON"));
            execSql(db, QStringLiteral("PRAGMA journal_mode = WAL"));
            execSql(db, QStringLiteral("PRAGMA synchronous = FULL"));
            // Deleted and replaced values are overwritten where the page is written anyway, so an
            // old password does not linger in the file or its copies.
            execSql(db, QStringLiteral("PRAGMA secure_delete = FAST"));
            // Room for the upper index pages of years of readings and for the pages a batch of
            // readings changes, so that neither is read again from the file nor spilled mid-way.
            execSql(db, QStringLiteral("PRAGMA cache_size = -32768"));
            registerFunctions(db);
            if (mode == OpenMode::Create)
                makeOwnerOnly(file);
        } catch (...) {
            ::umask(previous);
            db.close();
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(connectionName);
            throw;
        }
        ::umask(previous);
        return db;
    }
}

void close(const QString &connectionName)
{
    statementCache().remove(connectionName);
    if (!QSqlDatabase::contains(connectionName))
        return;
    {
        QSqlDatabase db = QSqlDatabase::database(connectionName, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(connectionName);
}

void registerFunctions(QSqlDatabase &db)
{
    sqlite3 *handle = handleOf(db);
    if (!handle)
        throw DatabaseError(QStringLiteral("not an SQLite connection"));
    const int flags = SQLITE_UTF8;
    if (sqlite3_create_function_v2(handle, "First", 1, flags, nullptr, nullptr, firstStep, pickFinal, nullptr)
            != SQLITE_OK
        || sqlite3_create_function_v2(handle, "Last", 1, flags, nullptr, nullptr, lastStep, pickFinal, nullptr)
            != SQLITE_OK
        || sqlite3_create_function_v2(handle, "MeterKey", 1, flags | SQLITE_DETERMINISTIC, nullptr,
                                      meterKeyFunction, nullptr, nullptr, nullptr)
            != SQLITE_OK)
        throw DatabaseError(QString::fromUtf8(sqlite3_errmsg(handle)));
}

SqliteFile::Copy backup(QSqlDatabase &db, const QString &destination)
{
    sqlite3 *source = handleOf(db);
    if (!source)
        throw DatabaseError(QStringLiteral("not an SQLite connection"));
    return SqliteFile::copy(source, destination);
}

SqliteFile::Copy backupFile(const QString &source, const QString &destination, const std::atomic<bool> *stop)
{
    if (SqliteFile::inspect(source) == SqliteFile::Kind::Foreign)
        throw DatabaseError(SqliteFile::foreignText(source), DatabaseError::Foreign);
    // Opened for writing though it only reads: the last connection to close removes the log.
    sqlite3 *handle = nullptr;
    int rc = sqlite3_open_v2(QFile::encodeName(source).constData(), &handle, SQLITE_OPEN_READWRITE, nullptr);
    struct Closer
    {
        sqlite3 *&handle;
        ~Closer()
        {
            sqlite3_exec(handle, "ROLLBACK", nullptr, nullptr, nullptr);
            sqlite3_close(handle);
        }
    } closer{ handle };
    if (rc != SQLITE_OK)
        throw DatabaseError::fromSqlite(rc, QString::fromUtf8(sqlite3_errmsg(handle)));
    sqlite3_busy_timeout(handle, busyTimeout());
    sqlite3_exec(handle, "PRAGMA query_only = ON", nullptr, nullptr, nullptr);
    // One read transaction over the whole copy: every step reads the same snapshot, so the
    // program's commits meanwhile neither restart the copy nor wait for it (WAL readers never
    // block the writer).
    rc = sqlite3_exec(handle, "BEGIN; SELECT count(*) FROM sqlite_schema;", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        throw DatabaseError::fromSqlite(rc, QString::fromUtf8(sqlite3_errmsg(handle)));
    return SqliteFile::copy(handle, destination, SqliteFile::Check::Quick, stop);
}

}

QSqlQuery execSql(const QSqlDatabase &db, const QString &sql, const QVariantList &values)
{
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.prepare(sql))
        throw DatabaseError::fromSqlError(query.lastError());
    for (int i = 0; i < values.size(); ++i)
        query.bindValue(i, values.at(i));
    if (!query.exec())
        throw DatabaseError::fromSqlError(query.lastError());
    return query;
}

QVariant scalar(const QSqlDatabase &db, const QString &sql, const QVariantList &values)
{
    QSqlQuery &query = cachedQuery(db, sql);
    for (int i = 0; i < values.size(); ++i)
        query.bindValue(i, values.at(i));
    QVariant value;
    const bool ok = query.exec() && (query.next() || !query.lastError().isValid());
    if (ok && query.isValid())
        value = query.value(0);
    const QSqlError error = query.lastError();
    query.finish();
    if (!ok)
        throw DatabaseError::fromSqlError(error);
    return value;
}

QSqlQuery &cachedQuery(const QSqlDatabase &db, const QString &sql)
{
    QHash<QString, QSqlQuery> &statements = statementCache()[db.connectionName()];
    auto it = statements.find(sql);
    if (it == statements.end()) {
        // The program's statements are a few dozen fixed texts; should many texts turn up, the
        // kept ones are dropped rather than gathered without end. None is in use between calls.
        if (statements.size() >= 200)
            statements.clear();
        QSqlQuery query(db);
        query.setForwardOnly(true);
        if (!query.prepare(sql))
            throw DatabaseError::fromSqlError(query.lastError());
        it = statements.insert(sql, query);
    }
    QSqlQuery &query = it.value();
    for (int i = 0; i < query.boundValues().size(); ++i)
        query.bindValue(i, QVariant());
    return query;
}

// BEGIN IMMEDIATE takes the write lock at once, so a busy database waits for the busy
// timeout here instead of failing halfway through the transaction.
Transaction::Transaction(QSqlDatabase db) : m_db(std::move(db))
{
    if (Database::isDamaged() && m_db.connectionName() == Database::mainConnectionName())
        throw DatabaseError(QStringLiteral("数据库文件已损坏！"), DatabaseError::Damaged);
    execSql(m_db, QStringLiteral("BEGIN IMMEDIATE"));
}

Transaction::~Transaction()
{
    if (!m_done) {
        QSqlQuery rollback(m_db);
        rollback.exec(QStringLiteral("ROLLBACK"));
    }
}

void Transaction::commit()
{
    execSql(m_db, QStringLiteral("COMMIT"));
    m_done = true;
}
