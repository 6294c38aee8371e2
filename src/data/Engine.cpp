#include "Engine.h"

#include "SqliteFile.h"
#include "UCommon.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>

#include <libpq-fe.h>
#include <sqlite3.h>
#include <sys/stat.h>

namespace {

// The identity columns: assigned by the database when a row is added without one.
struct Identity
{
    const char *table;
    const char *column;
    qint64 first;   // the value a new table hands out first
};

// The using unit's root row is written with identifier 1, so the others begin at 2.
const Identity identities[] = {
    { "Workshop", "WrokShopID", 2 },
    { "MeterSort", "MeterSortID", 1 },
    { "Price", "PriceID", 1 },
};

// ---------------------------------------------------------------------------------------------
// SQLite: the file beside the program.

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

sqlite3 *sqliteHandle(const QSqlDatabase &db)
{
    const QVariant v = db.driver()->handle();
    if (v.isValid() && qstrcmp(v.typeName(), "sqlite3*") == 0)
        return *static_cast<sqlite3 *const *>(v.data());
    return nullptr;
}

PGconn *postgresHandle(const QSqlDatabase &db)
{
    const QVariant v = db.driver()->handle();
    // The driver declares the handle under libpq's name for the struct behind PGconn.
    if (v.isValid() && (qstrcmp(v.typeName(), "PGconn*") == 0 || qstrcmp(v.typeName(), "pg_conn*") == 0))
        return *static_cast<PGconn *const *>(v.data());
    return nullptr;
}

bool sameFile(const struct stat &a, const struct stat &b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

void dropConnection(QSqlDatabase &db, const QString &connectionName)
{
    db.close();
    db = QSqlDatabase();
    QSqlDatabase::removeDatabase(connectionName);
}

// Rows added one prepared INSERT at a time: within one transaction SQLite needs no more.
class InsertWriter final : public BulkWriter
{
public:
    InsertWriter(const QSqlDatabase &db, const QString &table, const QStringList &columns) : m_query(db), m_db(db)
    {
        const QString marks = QStringList(columns.size(), QStringLiteral("?")).join(u',');
        if (!m_query.prepare(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)").arg(table, columns.join(u','), marks)))
            throw DatabaseError::fromSqlError(m_query.lastError(), db);
    }
    void add(const QVariantList &row) override
    {
        for (int i = 0; i < row.size(); ++i)
            m_query.bindValue(i, row.at(i));
        if (!m_query.exec())
            throw DatabaseError::fromSqlError(m_query.lastError(), m_db);
    }
    void finish() override { m_query.finish(); }

private:
    QSqlQuery m_query;
    QSqlDatabase m_db;
};

// Rows sent with COPY in its text form, a megabyte at a time. FREEZE writes them as visible to
// everyone at once, so that the indexes serve reads without a VACUUM first.
class CopyWriter final : public BulkWriter
{
public:
    CopyWriter(const QSqlDatabase &db, const QString &table, const QStringList &columns)
        : m_db(db), m_handle(postgresHandle(db))
    {
        if (!m_handle)
            throw DatabaseError(QStringLiteral("not a PostgreSQL connection"));
        const QByteArray sql = QStringLiteral("COPY %1 (%2) FROM STDIN WITH (FREEZE)").arg(table, columns.join(u',')).toUtf8();
        PGresult *result = PQexec(m_handle, sql.constData());
        const bool ready = PQresultStatus(result) == PGRES_COPY_IN;
        PQclear(result);
        if (!ready)
            fail();
        m_buffer.reserve(chunk + 4096);
    }
    ~CopyWriter() override
    {
        if (m_open) {
            PQputCopyEnd(m_handle, "abandoned");
            while (PGresult *result = PQgetResult(m_handle))
                PQclear(result);
        }
    }
    void add(const QVariantList &row) override
    {
        for (int i = 0; i < row.size(); ++i) {
            if (i > 0)
                m_buffer += '\t';
            const QVariant &v = row.at(i);
            if (v.isNull()) {
                m_buffer += "\\N";
                continue;
            }
            const QByteArray text = v.toString().toUtf8();
            for (const char c : text) {
                switch (c) {
                case '\\': m_buffer += "\\\\"; break;
                case '\n': m_buffer += "\\n"; break;
                case '\r': m_buffer += "\\r"; break;
                case '\t': m_buffer += "\\t"; break;
                default: m_buffer += c;
                }
            }
        }
        m_buffer += '\n';
        if (m_buffer.size() >= chunk)
            send();
    }
    void finish() override
    {
        send();
        m_open = false;
        if (PQputCopyEnd(m_handle, nullptr) != 1)
            fail();
        bool ok = true;
        QString text;
        while (PGresult *result = PQgetResult(m_handle)) {
            if (PQresultStatus(result) != PGRES_COMMAND_OK) {
                ok = false;
                text = QString::fromUtf8(PQresultErrorMessage(result)).trimmed();
            }
            PQclear(result);
        }
        if (!ok)
            throw DatabaseError(text);
    }

private:
    static constexpr qsizetype chunk = 1 << 20;
    void send()
    {
        if (!m_buffer.isEmpty() && PQputCopyData(m_handle, m_buffer.constData(), int(m_buffer.size())) != 1)
            fail();
        m_buffer.clear();
    }
    [[noreturn]] void fail()
    {
        throw DatabaseError(QString::fromUtf8(PQerrorMessage(m_handle)).trimmed(),
                            PQstatus(m_handle) == CONNECTION_OK ? DatabaseError::Other : DatabaseError::Connection);
    }

    QSqlDatabase m_db;
    PGconn *m_handle;
    QByteArray m_buffer;
    bool m_open = true;
};

class SqliteEngine final : public Engine
{
public:
    QString name() const override { return QStringLiteral("SQLite"); }
    bool isFile() const override { return true; }
    bool locksRows() const override { return false; }

    QString locationProblem(const QString &location) const override
    {
        // An existing folder is a file that is no database: opening it says so.
        if (location.isEmpty() || (location.endsWith(u'/') && !QFileInfo(location).isDir()))
            return QStringLiteral("\"%1\" names no database file").arg(location);
        return {};
    }

    QString displayName(const QString &location) const override { return location; }
    bool exists(const QString &location) const override { return QFileInfo::exists(location); }

    QSqlDatabase open(const QString &file, const QString &connectionName, Database::OpenMode mode) const override
    {
        // What the file is decides before anything is written to it.
        switch (SqliteFile::inspect(file)) {
        case SqliteFile::Kind::Missing:
            if (mode == Database::OpenMode::Existing)
                throw DatabaseError(QStringLiteral("unable to open database file: %1").arg(file),
                                    DatabaseError::Missing);
            QDir().mkpath(QFileInfo(file).absolutePath());
            break;
        case SqliteFile::Kind::Foreign:
            throw DatabaseError(SqliteFile::foreignText(file), DatabaseError::Foreign);
        case SqliteFile::Kind::Damaged:
            throw DatabaseError(QStringLiteral("database disk image is malformed: %1").arg(file),
                                DatabaseError::Damaged, SQLITE_CORRUPT);
        case SqliteFile::Kind::Kelvara:
        case SqliteFile::Kind::Unreadable:
            break;
        }
        SqliteFile::repairLeftovers(file);

        for (int attempt = 1;; ++attempt) {
            Database::close(connectionName);
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName);
            // A URI with mode=rw never creates a file that is not there.
            QUrl uri = QUrl::fromLocalFile(QFileInfo(file).absoluteFilePath());
            uri.setQuery(mode == Database::OpenMode::Create ? QStringLiteral("mode=rwc") : QStringLiteral("mode=rw"));
            db.setDatabaseName(uri.toString(QUrl::FullyEncoded));
            db.setConnectOptions(
                QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=%1").arg(Database::busyTimeout()));
            struct stat before {};
            const bool existed = ::stat(QFile::encodeName(file).constData(), &before) == 0;
            const mode_t previous = ::umask(077);   // the file and its WAL are the owner's alone
            if (!db.open()) {
                ::umask(previous);
                const DatabaseError error = DatabaseError::fromSqlError(db.lastError(), db);
                dropConnection(db, connectionName);
                throw error;
            }
            try {
                // The first statement reads the header: a file that is no database fails here,
                // and it waits while a restore holds the file. A file replaced meanwhile is
                // another file.
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
                // Deleted and replaced values are overwritten where the page is written anyway, so
                // an old password does not linger in the file or its copies.
                execSql(db, QStringLiteral("PRAGMA secure_delete = FAST"));
                // Room for the upper index pages of years of readings and for the pages a batch
                // of readings changes, so that neither is read again from the file nor spilled
                // mid-way.
                execSql(db, QStringLiteral("PRAGMA cache_size = -32768"));
                registerFunctions(db);
                if (mode == Database::OpenMode::Create)
                    QFile::setPermissions(file, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
            } catch (...) {
                ::umask(previous);
                dropConnection(db, connectionName);
                throw;
            }
            ::umask(previous);
            return db;
        }
    }

    bool isBroken(const QSqlDatabase &) const override { return false; }

    static void registerFunctions(const QSqlDatabase &db)
    {
        sqlite3 *handle = sqliteHandle(db);
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

    QStringList tableStatements() const override
    {
        // STRICT tables refuse a value of the wrong type instead of storing it as text.
        // Dates are ISO texts; date(x, '+0 days') normalises an impossible date, so "IS" rejects it.
        return {
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
            exchangeTable(),
            passTable(),
        };
    }

    // The exchanged counters of the meters: the old counter's last value, base and maximum, the
    // new counter's first value and maximum, and the model and installation date the meter had,
    // so that deleting the last exchange puts the meter back as it was.
    static QString exchangeTable()
    {
        return QStringLiteral(
            "CREATE TABLE MeterExchange ("
            " MeterID TEXT COLLATE NOCASE NOT NULL"
            "   REFERENCES Meter (MeterNO) ON UPDATE CASCADE ON DELETE RESTRICT,"
            " ExchangeDate TEXT NOT NULL CHECK (date(ExchangeDate, '+0 days') IS ExchangeDate),"
            " OldFinal INTEGER NOT NULL CHECK (OldFinal >= 0),"
            " OldBase INTEGER NOT NULL,"
            " OldMaxBound INTEGER NOT NULL CHECK (OldFinal <= OldMaxBound),"
            " NewInitial INTEGER NOT NULL CHECK (NewInitial >= 0),"
            " NewMaxBound INTEGER NOT NULL CHECK (NewMaxBound >= 1 AND NewInitial <= NewMaxBound),"
            " OldType TEXT COLLATE NOCASE CHECK (length(OldType) <= 20),"
            " OldSetupDate TEXT CHECK (OldSetupDate IS NULL OR date(OldSetupDate, '+0 days') IS OldSetupDate"
            "                          OR datetime(OldSetupDate, '+0 days') IS OldSetupDate),"
            " Note TEXT COLLATE NOCASE CHECK (length(Note) <= 50),"
            " InputTime TEXT CHECK (InputTime IS NULL OR date(InputTime, '+0 days') IS InputTime"
            "                       OR datetime(InputTime, '+0 days') IS InputTime)"
            ") STRICT");
    }
    // One exchange per meter and date; also the path of the look-up of every save.
    static QString exchangeIndex()
    {
        return QStringLiteral("CREATE UNIQUE INDEX MeterExchange_MeterDate ON MeterExchange (MeterID, ExchangeDate)");
    }

    // The passes over the counter's maximum confirmed for a reading or exchange (PassDate): its
    // counter value (PassValue) from the value before (PassFrom, shown by the reading or exchange of
    // PassFromDay), kept while a reading typed before it takes the pass over; one row per pass.
    static QString passTable()
    {
        return QStringLiteral(
            "CREATE TABLE ConfirmedPass ("
            " MeterID TEXT COLLATE NOCASE NOT NULL"
            "   REFERENCES Meter (MeterNO) ON UPDATE CASCADE ON DELETE CASCADE,"
            " PassDate TEXT NOT NULL CHECK (date(PassDate, '+0 days') IS PassDate),"
            " PassValue INTEGER NOT NULL,"
            " PassFrom INTEGER NOT NULL,"
            " PassFromDay TEXT NOT NULL CHECK (date(PassFromDay, '+0 days') IS PassFromDay)"
            ") STRICT");
    }
    static QString passIndex()
    {
        return QStringLiteral("CREATE INDEX ConfirmedPass_MeterDate ON ConfirmedPass (MeterID, PassDate)");
    }

    QList<QPair<QString, QStringList>> addedSince(int version) const override
    {
        QList<QPair<QString, QStringList>> added;
        if (version < 2)
            added.append({ QStringLiteral("MeterExchange"), { exchangeTable(), exchangeIndex() } });
        if (version < 3)
            added.append({ QStringLiteral("ConfirmedPass"), { passTable(), passIndex() } });
        return added;
    }

    QStringList indexStatements() const override
    {
        return {
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
            exchangeIndex(),
            passIndex(),
        };
    }

    QStringList versionStatements() const override
    {
        return { QStringLiteral("PRAGMA user_version = %1").arg(Schema::Version),
                 // Marks the file as Kelvara's, so that no other program's file is ever taken for it.
                 QStringLiteral("PRAGMA application_id = %1").arg(SqliteFile::applicationId) };
    }

    QStringList tables(const QSqlDatabase &db) const override
    {
        QStringList names;
        QSqlQuery q = execSql(db, QStringLiteral("SELECT lower(name) FROM sqlite_schema WHERE type = 'table' "
                                                 "AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\' ORDER BY 1"));
        while (q.next())
            names << q.value(0).toString();
        return names;
    }

    int schemaVersion(const QSqlDatabase &db) const override
    {
        return scalar(db, QStringLiteral("PRAGMA user_version")).toInt();
    }

    // BEGIN IMMEDIATE takes the write lock at once, so a busy database waits for the busy
    // timeout here instead of failing halfway through the transaction.
    QString beginTransaction() const override { return QStringLiteral("BEGIN IMMEDIATE"); }
    QString lockMeter() const override { return {}; }
    QString lockSchema() const override { return {}; }
    QString typingOrder() const override { return QStringLiteral("rowid"); }
    QString registerOrder() const override { return QStringLiteral("rowid"); }
    QString rowIdentity() const override { return QStringLiteral("rowid"); }

    QString sameStoredValue(const QString &column, FieldKind kind) const override
    {
        // A date and time is stored as a date alone at midnight, or with its time.
        if (kind == FieldKind::DateTime)
            return QStringLiteral("datetime(%1) IS datetime(?)").arg(column);
        // A change of case alone is a change: texts compare by their bytes here.
        if (kind == FieldKind::Text)
            return QStringLiteral("%1 COLLATE BINARY IS ?").arg(column);
        return QStringLiteral("%1 IS ?").arg(column);
    }

    // The meter number columns compare without regard to ASCII case.
    QString sameMeter(const QString &column, const QString &placeholder) const override
    {
        return column + QStringLiteral(" = ") + placeholder;
    }
    QString byteOrder(const QString &column) const override { return column + QStringLiteral(" COLLATE BINARY"); }
    QString nameOrder(const QString &column) const override { return column + QStringLiteral(" COLLATE NOCASE"); }
    // A sum of integers beyond 64 bits is an error ("integer overflow") here already.
    QString checkedSums(const QString &sql) const override { return sql; }

    QHash<QString, qint64> nextIdentities(const QSqlDatabase &db) const override
    {
        QHash<QString, qint64> next;
        QSqlQuery q = execSql(db, QStringLiteral("SELECT lower(name), seq + 1 FROM sqlite_sequence"));
        while (q.next())
            next.insert(q.value(0).toString(), q.value(1).toLongLong());
        return next;
    }

    void resetIdentities(const QSqlDatabase &db, const QHash<QString, qint64> &next) const override
    {
        // Rows added with their identifiers have moved the counters to the highest one; a
        // source that had handed out higher ones before their rows were deleted keeps them used.
        for (const Identity &id : identities) {
            const QString table = QString::fromLatin1(id.table);
            const qint64 wanted = next.value(table.toLower(), 0) - 1;
            const qint64 kept = scalar(db, QStringLiteral("SELECT seq FROM sqlite_sequence WHERE name = ?"), { table })
                                    .toLongLong();
            if (wanted <= kept)
                continue;
            if (execSql(db, QStringLiteral("UPDATE sqlite_sequence SET seq = ? WHERE name = ?"), { wanted, table })
                    .numRowsAffected()
                == 0)
                execSql(db, QStringLiteral("INSERT INTO sqlite_sequence (name, seq) VALUES (?, ?)"), { table, wanted });
        }
    }

    std::unique_ptr<BulkWriter> bulkWriter(const QSqlDatabase &db, const QString &table,
                                           const QStringList &columns) const override
    {
        return std::make_unique<InsertWriter>(db, table, columns);
    }
    QStringList bulkLoadSettings() const override { return {}; }
    // The program's statements are written for SQLite's plans without statistics.
    QStringList afterBulkLoad(const QStringList &) const override { return {}; }

    DatabaseError::Kind classify(const QSqlError &error) const override
    {
        bool ok = false;
        const int code = error.nativeErrorCode().toInt(&ok);
        if (!ok)
            return DatabaseError::Other;
        switch (code) {
        case SQLITE_CONSTRAINT_UNIQUE:
        case SQLITE_CONSTRAINT_PRIMARYKEY:
            return DatabaseError::Duplicate;
        default:
            break;
        }
        switch (code & 0xff) {
        case SQLITE_CORRUPT:
        case SQLITE_NOTADB:
            return DatabaseError::Damaged;
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            return DatabaseError::Locked;
        case SQLITE_READONLY:
        case SQLITE_PERM:
        case SQLITE_CANTOPEN:
            return DatabaseError::ReadOnly;
        case SQLITE_FULL:
            return DatabaseError::Full;
        case SQLITE_CONSTRAINT:
            return DatabaseError::Constraint;
        default:
            return DatabaseError::Other;
        }
    }
};

// ---------------------------------------------------------------------------------------------
// PostgreSQL: a server several clerks share.

// The settings of a location as libpq reads them; empty when it cannot read it.
struct ConnSettings
{
    QList<QPair<QString, QString>> values;   // keyword and value of every setting given
    QString problem;                         // libpq's complaint when it cannot read the location

    QString value(const char *keyword) const
    {
        for (const auto &[key, value] : values)
            if (key == QLatin1String(keyword))
                return value;
        return {};
    }
    bool has(const char *keyword) const
    {
        for (const auto &kv : values)
            if (kv.first == QLatin1String(keyword))
                return true;
        return false;
    }
};

ConnSettings readSettings(const QString &location)
{
    ConnSettings settings;
    char *message = nullptr;
    PQconninfoOption *options = PQconninfoParse(location.toUtf8().constData(), &message);
    if (!options) {
        settings.problem = message ? QString::fromUtf8(message).trimmed() : QStringLiteral("out of memory");
        PQfreemem(message);
        return settings;
    }
    for (PQconninfoOption *o = options; o->keyword; ++o)
        if (o->val)
            settings.values.append({ QString::fromUtf8(o->keyword), QString::fromUtf8(o->val) });
    PQconninfoFree(options);
    return settings;
}

// One port for every server; a list (a port per server) goes to libpq as it stands.
bool isPortNumber(const QString &value)
{
    bool ok = false;
    const int port = value.toInt(&ok);
    return ok && port > 0 && port < 65536;
}

// A value in a libpq key=value string.
QString quoted(const QString &value)
{
    QString v = value;
    v.replace(u'\\', QStringLiteral("\\\\"));
    v.replace(u'\'', QStringLiteral("\\'"));
    return u'\'' + v + u'\'';
}

class PostgresEngine final : public Engine
{
public:
    QString name() const override { return QStringLiteral("PostgreSQL"); }
    bool isFile() const override { return false; }
    bool locksRows() const override { return true; }

    QString locationProblem(const QString &location) const override
    {
        const ConnSettings settings = readSettings(location);
        if (!settings.problem.isEmpty()) {
            // libpq quotes the part it could not read: a part the address shows masked stays so.
            QString problem = settings.problem;
            const QString shown = displayName(location);
            static const QRegularExpression quotedPart(QStringLiteral("\"([^\"]*)\""));
            for (auto it = quotedPart.globalMatch(settings.problem); it.hasNext();) {
                const QString part = it.next().captured(1);
                if (!part.isEmpty() && !shown.contains(part))
                    problem.replace(u'"' + part + u'"', QStringLiteral("\"***\""));
            }
            return problem;
        }
        if (settings.has("password"))
            return QStringLiteral("the address holds a password; give it in ~/.pgpass, the service file or "
                                  "PGPASSWORD instead");
        // The driver joins the settings it does not know by itself with blanks for semicolons.
        for (const auto &[key, value] : settings.values)
            if (value.contains(u';'))
                return QStringLiteral("the setting %1 holds a semicolon").arg(key);
        return {};
    }

    QString displayName(const QString &location) const override
    {
        // A location with a password is refused before it is used; should one reach a message
        // all the same, the password does not.
        QString shown = location;
        shown.replace(QRegularExpression(QStringLiteral("(://[^/@:]*):[^/@]*@")), QStringLiteral("\\1:***@"));
        // libpq decodes the names of a URI's settings as it decodes their values.
        static const QRegularExpression setting(QStringLiteral("([?&])([^=&#]*)=([^&#]*)"));
        QList<QRegularExpressionMatch> passwords;
        for (auto it = setting.globalMatch(shown); it.hasNext();) {
            const QRegularExpressionMatch m = it.next();
            if (QUrl::fromPercentEncoding(m.captured(2).toUtf8()).trimmed().compare(u"password", Qt::CaseInsensitive) == 0)
                passwords.prepend(m);
        }
        for (const QRegularExpressionMatch &m : std::as_const(passwords))   // from the end: earlier offsets hold
            shown.replace(m.capturedStart(3), m.capturedLength(3), QStringLiteral("***"));
        shown.replace(QRegularExpression(QStringLiteral("(password\\s*=\\s*)('([^'\\\\]|\\\\.)*'|(\\\\.|[^\\s\\\\])*)"),
                                         QRegularExpression::CaseInsensitiveOption),
                      QStringLiteral("\\1***"));
        return shown;
    }

    bool exists(const QString &) const override { return true; }

    QSqlDatabase open(const QString &location, const QString &connectionName, Database::OpenMode mode) const override
    {
        const QString problem = locationProblem(location);
        if (!problem.isEmpty())
            throw DatabaseError(problem, DatabaseError::Connection);
        const ConnSettings settings = readSettings(location);
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), connectionName);
        QStringList options;
        for (const auto &[key, value] : settings.values) {
            if (key == u"host")
                db.setHostName(value);
            else if (key == u"port" && isPortNumber(value))
                db.setPort(value.toInt());
            else if (key == u"dbname")
                db.setDatabaseName(value);
            else if (key == u"user")
                db.setUserName(value);
            else
                options << key + u'=' + quoted(value);
        }
        // A server that does not answer is reported after a while instead of hanging the window.
        if (!settings.has("connect_timeout"))
            options << QStringLiteral("connect_timeout=10");
        options << QStringLiteral("fallback_application_name=kelvara");
        db.setConnectOptions(options.join(u';'));
        if (!db.open()) {
            const DatabaseError error = DatabaseError::fromSqlError(db.lastError(), db);
            dropConnection(db, connectionName);
            throw DatabaseError(error.text(), DatabaseError::Connection);
        }
        try {
            // Sums of 64-bit columns come back as numeric; they hold whole numbers.
            db.setNumericalPrecisionPolicy(QSql::LowPrecisionInt64);
            // A row another clerk holds is waited for as long as a busy SQLite file is.
            execSql(db, QStringLiteral("SET lock_timeout = %1").arg(Database::busyTimeout()));
            // A database without the program's tables (a misspelt name, one init has not filled)
            // is told as such before any statement meets a missing table.
            if (mode == Database::OpenMode::Existing
                && !scalar(db, QStringLiteral("SELECT to_regclass('meter') IS NOT NULL AND to_regclass('takemeter') IS NOT NULL"))
                        .toBool())
                throw DatabaseError(QStringLiteral("不是 Kelvara 的数据库：") + displayName(location), DatabaseError::Foreign);
        } catch (...) {
            dropConnection(db, connectionName);
            throw;
        }
        return db;
    }

    bool isBroken(const QSqlDatabase &db) const override
    {
        PGconn *handle = postgresHandle(db);
        return !handle || PQstatus(handle) != CONNECTION_OK;
    }

    QStringList tableStatements() const override
    {
        // Names compare, group and sort without regard to case, as SQLite's NOCASE columns do,
        // whatever the server's locale; meter numbers are exact (their key is MeterKey) and sort
        // by their bytes. Amounts are 64-bit ten-thousandths, dates are dates.
        const QString text = QStringLiteral("text COLLATE NoCase");
        const QString number = QStringLiteral("text COLLATE \"C\"");
        QStringList statements{ QStringLiteral(
            "CREATE COLLATION NoCase (provider = icu, locale = 'und-u-ks-level2', deterministic = false)") };
        // MeterKey(x): blanks and control characters trimmed at both ends, every letter
        // lower-cased by Unicode's rules whatever the database's locale, and the letters whose
        // case folding differs from their lower case (final sigma, the Greek symbol forms, the
        // long s) folded as the program folds them.
        QString blanks;
        for (int c = 1; c <= 32; ++c)
            blanks += QStringLiteral("\\%1").arg(c, 3, 8, QLatin1Char('0'));
        statements << QStringLiteral(
                          "CREATE FUNCTION MeterKey(number text) RETURNS text LANGUAGE sql IMMUTABLE STRICT "
                          "PARALLEL SAFE AS $$SELECT translate(lower(btrim(number, E'%1') COLLATE \"und-x-icu\"), "
                          "'ςϐϑϕϖϰϱϵſẛͅ', 'σβθφπκρεsṡι')$$")
                          .arg(blanks);
        // First() and Last(): the value of the first and the last row of a group, nulls included.
        statements << QStringLiteral("CREATE FUNCTION FirstStep(kept anyarray, value anyelement) RETURNS anyarray "
                                     "LANGUAGE sql IMMUTABLE PARALLEL SAFE AS 'SELECT coalesce(kept, ARRAY[value])'")
                   << QStringLiteral("CREATE FUNCTION LastStep(kept anyarray, value anyelement) RETURNS anyarray "
                                     "LANGUAGE sql IMMUTABLE PARALLEL SAFE AS 'SELECT ARRAY[value]'")
                   << QStringLiteral("CREATE FUNCTION PickFinal(kept anyarray) RETURNS anyelement "
                                     "LANGUAGE sql IMMUTABLE PARALLEL SAFE AS 'SELECT kept[1]'")
                   << QStringLiteral("CREATE AGGREGATE First(anyelement) (SFUNC = FirstStep, STYPE = anyarray, "
                                     "FINALFUNC = PickFinal)")
                   << QStringLiteral("CREATE AGGREGATE Last(anyelement) (SFUNC = LastStep, STYPE = anyarray, "
                                     "FINALFUNC = PickFinal)");
        statements << QStringLiteral("CREATE TABLE CnfgPara (UseUnitName %1, PassWd %1)").arg(text)
                   << QStringLiteral(
                          "CREATE TABLE Workshop ("
                          " WrokShopID bigint GENERATED BY DEFAULT AS IDENTITY (START WITH 2) PRIMARY KEY,"
                          " WrokShopName %1,"
                          " WorkShopLevel bigint,"
                          " WrokShopMemo %1,"
                          " ResideWorkShopID bigint)")
                          .arg(text)
                   << QStringLiteral(
                          "CREATE TABLE MeterSort ("
                          " MeterSortID bigint GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY,"
                          " MeterSortName %1,"
                          " MeterSortMemo %1)")
                          .arg(text)
                   << QStringLiteral(
                          "CREATE TABLE Price ("
                          " PriceID bigint GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY,"
                          " PriceName %1 CHECK (length(PriceName) <= 20),"
                          " PriceNumber bigint,"
                          " ExceedPrice bigint,"
                          " MeterSortID bigint REFERENCES MeterSort (MeterSortID) ON DELETE RESTRICT)")
                          .arg(text)
                   << QStringLiteral(
                          "CREATE TABLE Meter ("
                          " MeterNO %2 NOT NULL PRIMARY KEY CHECK (length(MeterNO) BETWEEN 1 AND 10),"
                          " Multiple bigint,"
                          " WorkShopID bigint REFERENCES Workshop (WrokShopID) ON DELETE RESTRICT,"
                          " PriceID bigint REFERENCES Price (PriceID) ON DELETE RESTRICT,"
                          " BaseNumber bigint,"
                          " MeterSort bigint REFERENCES MeterSort (MeterSortID) ON DELETE RESTRICT,"
                          " Quota bigint,"
                          " Type %1 CHECK (length(Type) <= 20),"
                          " SetupDate timestamp(0),"
                          " MaxBound bigint,"
                          " SubjoinNumber bigint,"
                          " FitPlace %1 CHECK (length(FitPlace) <= 50),"
                          " SubWorkShopID bigint REFERENCES Workshop (WrokShopID) ON DELETE RESTRICT)")
                          .arg(text, number)
                   // EntryNo keeps the order in which the readings were typed, which SQLite keeps
                   // in its row numbers; the program never shows it.
                   << QStringLiteral(
                          "CREATE TABLE TakeMeter ("
                          " MeterID %1 NOT NULL REFERENCES Meter (MeterNO) ON UPDATE CASCADE ON DELETE RESTRICT,"
                          " TakeNumber bigint,"
                          " CurValue bigint,"
                          " Charge bigint,"
                          " QuotaCharge bigint,"
                          " TakeTime date NOT NULL,"
                          " InputDate date,"
                          " EntryNo bigint GENERATED BY DEFAULT AS IDENTITY)")
                          .arg(number)
                   << exchangeTable() << passTable();
        return statements;
    }

    // The exchanged counters of the meters, as on a file.
    static QString exchangeTable()
    {
        return QStringLiteral(
            "CREATE TABLE MeterExchange ("
            " MeterID text COLLATE \"C\" NOT NULL"
            "   REFERENCES Meter (MeterNO) ON UPDATE CASCADE ON DELETE RESTRICT,"
            " ExchangeDate date NOT NULL,"
            " OldFinal bigint NOT NULL CHECK (OldFinal >= 0),"
            " OldBase bigint NOT NULL,"
            " OldMaxBound bigint NOT NULL CHECK (OldFinal <= OldMaxBound),"
            " NewInitial bigint NOT NULL CHECK (NewInitial >= 0),"
            " NewMaxBound bigint NOT NULL CHECK (NewMaxBound >= 1 AND NewInitial <= NewMaxBound),"
            " OldType text COLLATE NoCase CHECK (length(OldType) <= 20),"
            " OldSetupDate timestamp(0),"
            " Note text COLLATE NoCase CHECK (length(Note) <= 50),"
            " InputTime timestamp(0))");
    }
    static QString exchangeIndex()
    {
        return QStringLiteral("CREATE UNIQUE INDEX MeterExchange_MeterDate ON MeterExchange (MeterID, ExchangeDate)");
    }

    // The confirmed passes over a counter's maximum, as on a file.
    static QString passTable()
    {
        return QStringLiteral(
            "CREATE TABLE ConfirmedPass ("
            " MeterID text COLLATE \"C\" NOT NULL"
            "   REFERENCES Meter (MeterNO) ON UPDATE CASCADE ON DELETE CASCADE,"
            " PassDate date NOT NULL,"
            " PassValue bigint NOT NULL,"
            " PassFrom bigint NOT NULL,"
            " PassFromDay date NOT NULL)");
    }
    static QString passIndex()
    {
        return QStringLiteral("CREATE INDEX ConfirmedPass_MeterDate ON ConfirmedPass (MeterID, PassDate)");
    }

    QList<QPair<QString, QStringList>> addedSince(int version) const override
    {
        QList<QPair<QString, QStringList>> added;
        if (version < 2)
            added.append({ QStringLiteral("MeterExchange"), { exchangeTable(), exchangeIndex() } });
        if (version < 3)
            added.append({ QStringLiteral("ConfirmedPass"), { passTable(), passIndex() } });
        return added;
    }

    QStringList indexStatements() const override
    {
        return {
            // A meter number is one meter however it is written.
            QStringLiteral("CREATE UNIQUE INDEX Meter_MeterKey ON Meter (MeterKey(MeterNO))"),
            // One reading per meter and date; it also covers what a save and the reports read of
            // a meter's readings, so the month window and the period's sums come from the index.
            QStringLiteral("CREATE UNIQUE INDEX TakeMeter_MeterTime ON TakeMeter (MeterID, TakeTime) "
                           "INCLUDE (TakeNumber, CurValue, Charge, QuotaCharge)"),
            // A date's readings in the order they were typed.
            QStringLiteral("CREATE INDEX TakeMeter_TakeTime ON TakeMeter (TakeTime, EntryNo)"),
            QStringLiteral("CREATE INDEX Meter_PriceID ON Meter (PriceID)"),
            QStringLiteral("CREATE INDEX Meter_MeterSort ON Meter (MeterSort)"),
            QStringLiteral("CREATE INDEX Meter_WorkShopID ON Meter (WorkShopID)"),
            QStringLiteral("CREATE INDEX Meter_SubWorkShopID ON Meter (SubWorkShopID)"),
            QStringLiteral("CREATE INDEX Price_MeterSortID ON Price (MeterSortID)"),
            QStringLiteral("CREATE INDEX Workshop_Level ON Workshop (WorkShopLevel, ResideWorkShopID)"),
            exchangeIndex(),
            passIndex(),
        };
    }

    QStringList versionStatements() const override
    {
        // Replaced when a database of an earlier version is brought up to this one.
        return { QStringLiteral("CREATE OR REPLACE FUNCTION KelvaraSchemaVersion() RETURNS integer LANGUAGE sql IMMUTABLE "
                                "AS 'SELECT %1'")
                     .arg(Schema::Version) };
    }

    QStringList tables(const QSqlDatabase &db) const override
    {
        QStringList names;
        QSqlQuery q = execSql(db, QStringLiteral("SELECT lower(table_name) FROM information_schema.tables "
                                                 "WHERE table_schema = current_schema() ORDER BY 1"));
        while (q.next())
            names << q.value(0).toString();
        return names;
    }

    int schemaVersion(const QSqlDatabase &db) const override
    {
        if (scalar(db, QStringLiteral("SELECT to_regprocedure('kelvaraschemaversion()') IS NOT NULL")).toBool())
            return scalar(db, QStringLiteral("SELECT KelvaraSchemaVersion()")).toInt();
        return 0;
    }

    // Read committed: every statement sees what was committed before it began. Writers of one
    // meter's readings take its row lock first, so each sees the others' finished work.
    QString beginTransaction() const override { return QStringLiteral("BEGIN"); }
    QString lockMeter() const override
    {
        return QStringLiteral("Select MeterNO from Meter where MeterNO = ? for update");
    }
    QString lockSchema() const override
    {
        return QStringLiteral("SELECT pg_advisory_xact_lock(hashtext('Kelvara schema'))");
    }
    QString typingOrder() const override { return QStringLiteral("EntryNo"); }
    QString registerOrder() const override { return nameOrder(QStringLiteral("MeterNO")) + QStringLiteral(", MeterNO"); }
    QString rowIdentity() const override { return QStringLiteral("ctid"); }
    QString sameStoredValue(const QString &column, FieldKind kind) const override
    {
        // A change of case alone is a change: texts compare by their bytes here.
        if (kind == FieldKind::Text)
            return QStringLiteral("%1 COLLATE \"C\" IS NOT DISTINCT FROM ?").arg(column);
        return QStringLiteral("%1 IS NOT DISTINCT FROM ?").arg(column);
    }
    // Numbers are stored as registered; the registered one is found by its key, so that the
    // readings are still read along their (MeterID, TakeTime) index.
    QString sameMeter(const QString &column, const QString &placeholder) const override
    {
        return QStringLiteral("%1 = (Select MeterNO from Meter where MeterKey(MeterNO) = MeterKey(%2))")
            .arg(column, placeholder);
    }
    QString byteOrder(const QString &column) const override { return column + QStringLiteral(" COLLATE \"C\""); }
    // lower() under the C collation folds ASCII letters alone, as SQLite's NOCASE does.
    QString nameOrder(const QString &column) const override
    {
        return QStringLiteral("lower(%1 COLLATE \"C\")").arg(column);
    }
    // Sum() of 64-bit integers is a numeric here, which the driver would wrap into 64 bits: cast
    // back on the server, a sum beyond the range fails there ("bigint out of range").
    QString checkedSums(const QString &sql) const override
    {
        static const QRegularExpression sum(QStringLiteral("\\bSum\\("), QRegularExpression::CaseInsensitiveOption);
        QString checked = sql;
        for (qsizetype from = 0;;) {
            const QRegularExpressionMatch m = sum.match(checked, from);
            if (!m.hasMatch())
                return checked;
            const auto closing = [&](qsizetype end) {
                for (int depth = 1; end < checked.size() && depth > 0; ++end)
                    depth += checked.at(end) == u'(' ? 1 : checked.at(end) == u')' ? -1 : 0;
                return end;
            };
            qsizetype end = closing(m.capturedEnd());
            // A window sum is cast with its window.
            static const QRegularExpression over(QStringLiteral("\\s*OVER\\s*\\("), QRegularExpression::CaseInsensitiveOption);
            const QRegularExpressionMatch window = over.match(checked, end, QRegularExpression::NormalMatch,
                                                              QRegularExpression::AnchorAtOffsetMatchOption);
            if (window.hasMatch())
                end = closing(window.capturedEnd());
            checked.insert(end, QStringLiteral(" AS bigint)"));
            checked.insert(m.capturedStart(), QStringLiteral("CAST("));
            from = m.capturedEnd() + 5;   // inner sums are cast as well
        }
    }

    QHash<QString, qint64> nextIdentities(const QSqlDatabase &db) const override
    {
        QHash<QString, qint64> next;
        for (const Identity &id : identities) {
            const QVariant last = scalar(db, QStringLiteral("SELECT pg_sequence_last_value(CAST(pg_get_serial_sequence(?, ?) "
                                                            "AS regclass))"),
                                         { QString::fromLatin1(id.table).toLower(), QString::fromLatin1(id.column).toLower() });
            next.insert(QString::fromLatin1(id.table).toLower(), last.isNull() ? id.first : last.toLongLong() + 1);
        }
        return next;
    }

    void resetIdentities(const QSqlDatabase &db, const QHash<QString, qint64> &next) const override
    {
        QList<Identity> all(std::begin(identities), std::end(identities));
        all.append({ "TakeMeter", "EntryNo", 1 });
        for (const Identity &id : std::as_const(all)) {
            const QString table = QString::fromLatin1(id.table);
            const QString column = QString::fromLatin1(id.column);
            const qint64 highest = scalar(db, QStringLiteral("SELECT max(%1) FROM %2").arg(column, table)).toLongLong();
            const qint64 wanted = qMax(qMax(highest + 1, next.value(table.toLower(), 0)), id.first);
            execSql(db, QStringLiteral("SELECT setval(CAST(pg_get_serial_sequence(?, ?) AS regclass), ?, false)"),
                    { table.toLower(), column.toLower(), wanted });
        }
    }

    std::unique_ptr<BulkWriter> bulkWriter(const QSqlDatabase &db, const QString &table,
                                           const QStringList &columns) const override
    {
        return std::make_unique<CopyWriter>(db, table, columns);
    }
    // Room to sort the readings' indexes in memory while they are built.
    QStringList bulkLoadSettings() const override
    {
        return { QStringLiteral("SET LOCAL maintenance_work_mem = '512MB'") };
    }
    QStringList afterBulkLoad(const QStringList &tables) const override
    {
        return { QStringLiteral("ANALYZE ") + tables.join(QStringLiteral(", ")) };
    }

    DatabaseError::Kind classify(const QSqlError &error) const override
    {
        const QString state = error.nativeErrorCode();
        if (error.type() == QSqlError::ConnectionError)
            return DatabaseError::Connection;
        if (state == u"23505")
            return DatabaseError::Duplicate;
        if (state.startsWith(u"23"))
            return DatabaseError::Constraint;
        if (state == u"40001" || state == u"40P01")
            return DatabaseError::Retry;
        if (state == u"55P03")
            return DatabaseError::Locked;
        if (state == u"53100")
            return DatabaseError::Full;
        if (state.startsWith(u"08") || state == u"57P01" || state == u"57P02" || state == u"57P03"
            || state == u"53300")
            return DatabaseError::Connection;
        // A lost connection mostly comes without a state, with libpq's own words.
        if (state.isEmpty()) {
            const QString text = error.databaseText();
            if (text.contains(QStringLiteral("server closed the connection"))
                || text.contains(QStringLiteral("no connection to the server"))
                || text.contains(QStringLiteral("could not receive data from server"))
                || text.contains(QStringLiteral("could not send data to server"))
                || text.contains(QStringLiteral("terminating connection")))
                return DatabaseError::Connection;
        }
        return DatabaseError::Other;
    }
};

const SqliteEngine sqliteEngine;
const PostgresEngine postgresEngine;

}

bool Engine::isServerLocation(const QString &location)
{
    const QString text = location.trimmed();
    if (text.startsWith(QStringLiteral("postgresql://"), Qt::CaseInsensitive)
        || text.startsWith(QStringLiteral("postgres://"), Qt::CaseInsensitive))
        return true;
    // key=value settings, as libpq reads them (a setting it does not know is its complaint to
    // tell); a file's name does not begin with a word and '='.
    static const QRegularExpression setting(QStringLiteral("^\\s*[A-Za-z_]+\\s*="));
    return setting.match(text).hasMatch();
}

const Engine &Engine::forLocation(const QString &location)
{
    if (isServerLocation(location))
        return postgresEngine;
    return sqliteEngine;
}

const Engine &Engine::file()
{
    return sqliteEngine;
}

const Engine &Engine::of(const QSqlDatabase &db)
{
    if (db.driver() && db.driver()->dbmsType() == QSqlDriver::PostgreSQL)
        return postgresEngine;
    return sqliteEngine;
}

QString Engine::sameStoredValue(const QString &column, FieldKind) const
{
    return QStringLiteral("%1 IS ?").arg(column);
}

namespace Database {

void registerFunctions(QSqlDatabase &db)
{
    SqliteEngine::registerFunctions(db);
}

}
