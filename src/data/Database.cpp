#include "Database.h"

#include "Engine.h"
#include "Schema.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSettings>
#include <QSqlDriver>
#include <QSqlError>
#include <QUrl>

#include <sqlite3.h>
#include <atomic>
#include <optional>
#include <sys/stat.h>

DatabaseError::DatabaseError(const QString &text, Kind kind, int code)
    : m_text(text), m_utf8(text.toUtf8()), m_kind(kind), m_code(code)
{
}

namespace {

DatabaseError classified(const QSqlError &error, const Engine &engine)
{
    bool ok = false;
    const int code = error.nativeErrorCode().toInt(&ok);
    QString text = error.databaseText();
    if (text.isEmpty())
        text = error.text();
    const DatabaseError::Kind kind = engine.classify(error);
    // libpq's messages run over several lines; the operator reads one.
    if (kind == DatabaseError::Connection)
        text = text.simplified();
    return DatabaseError(text, kind, ok && engine.isFile() ? code : 0);
}

}

DatabaseError DatabaseError::fromSqlError(const QSqlError &error, const QSqlDatabase &db)
{
    return classified(error, Engine::of(db));
}

DatabaseError DatabaseError::fromSqlError(const QSqlError &error)
{
    return classified(error, Database::engine());
}

DatabaseError DatabaseError::fromSqlite(int code, const QString &text)
{
    const QSqlError error(QString(), text, QSqlError::StatementError, QString::number(code));
    return DatabaseError(text, Engine::file().classify(error), code);
}

QString DatabaseError::operatorText() const
{
    if (m_kind == Foreign)
        return m_text;
    if (m_kind == Damaged || Database::isDamaged())
        return QStringLiteral("数据库文件已损坏！");
    switch (m_kind) {
    case Connection:
        return QStringLiteral("无法连接数据库服务器：") + m_text;
    case Changed:
        return QStringLiteral("该记录已被其他用户修改，请刷新后重试！");
    case Retry:
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
        || m_kind == Connection || m_kind == Changed || m_kind == Retry || Database::isDamaged();
}

namespace {

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

}

namespace Database {

QString defaultPath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/MDB/Kelvara.db");
}

namespace {

// The database line of a settings file's general section as written, when the file has one.
std::optional<QString> writtenDatabaseLine(const QString &fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return std::nullopt;
    static const QRegularExpression line(QStringLiteral("^\\s*database\\s*=(.*)$"));
    std::optional<QString> written;
    bool general = true;
    for (const QString &text : QString::fromUtf8(file.readAll()).split(u'\n')) {
        const QString trimmed = text.trimmed();
        // A section's name runs to its closing bracket; whatever follows on the line is not read.
        if (trimmed.startsWith(u'[')) {
            const qsizetype close = trimmed.indexOf(u']');
            general = trimmed.mid(1, close < 0 ? -1 : close - 1).trimmed().compare(u"General", Qt::CaseInsensitive) == 0;
        }
        const QRegularExpressionMatch m = line.match(text);
        if (general && m.hasMatch()) {
            // A semicolon after a blank begins a comment; one inside a name is part of it.
            static const QRegularExpression comment(QStringLiteral("\\s;"));
            QString value = m.captured(1);
            const qsizetype cut = value.indexOf(comment);
            written = (cut >= 0 ? value.left(cut) : value).trimmed();
        }
    }
    return written;
}

}

QString startPath(const QString &commandLine)
{
    if (!commandLine.isEmpty())
        return commandLine;
    const QString organisation = QStringLiteral("Kelvara");
    const QSettings settings(organisation, QStringLiteral("Kelvara"));
    const QVariant value = settings.value(QStringLiteral("database"));
    QString configured = value.typeId() == QMetaType::QStringList ? value.toStringList().join(u',')
                                                                  : value.toString().trimmed();
    // An unquoted value with commas (an address naming several servers, a folder's name) is
    // read back as a list that has lost the blanks after them, and one with a semicolon is cut
    // there as if a comment began: such a line is taken as written, from the file the value
    // came from (the user's own, or the one an administrator wrote for every desktop).
    if (value.isValid()) {
        // The files in the order the settings reader takes them: the user's, then every system
        // folder's, the program's file before the organisation's.
        QStringList folders = qEnvironmentVariable("XDG_CONFIG_DIRS").split(u':', Qt::SkipEmptyParts);
        if (folders.isEmpty())
            folders << QStringLiteral("/etc/xdg");
        QStringList files{ settings.fileName(), QSettings(QSettings::UserScope, organisation).fileName(),
                           QSettings(QSettings::SystemScope, organisation, QStringLiteral("Kelvara")).fileName() };
        for (const QString &folder : std::as_const(folders))
            files << folder + QStringLiteral("/Kelvara/Kelvara.conf");
        files << QSettings(QSettings::SystemScope, organisation).fileName();
        for (const QString &folder : std::as_const(folders))
            files << folder + QStringLiteral("/Kelvara.conf");
        for (const QString &fileName : std::as_const(files)) {
            const std::optional<QString> written = writtenDatabaseLine(fileName);
            if (!written)
                continue;
            if (!written->startsWith(u'"') && (written->contains(u',') || written->contains(u';')))
                configured = *written;
            break;
        }
    }
    return configured.isEmpty() ? defaultPath() : configured;
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

namespace {

// Whether the main connection's database may still be of an earlier version.
bool &upgradeOwed()
{
    static bool owed = false;
    return owed;
}

void tryUpgrade(QSqlDatabase &db)
{
    // The upgrade's own transaction does not try again.
    upgradeOwed() = false;
    try {
        Schema::upgrade(db);
    } catch (const DatabaseError &) {
        upgradeOwed() = true;
    }
}

}

void finishUpgrade(const QSqlDatabase &db)
{
    if (upgradeOwed() && db.connectionName() == mainConnection && !isDamaged()) {
        QSqlDatabase main = db;
        tryUpgrade(main);
    }
}

QSqlDatabase connection()
{
    if (QSqlDatabase::contains(mainConnection)) {
        QSqlDatabase db = QSqlDatabase::database(mainConnection, false);
        // A connection whose server went away is opened again: the failure was told when it
        // was met, and the next action goes on.
        if (db.isOpen() && !Engine::of(db).isBroken(db))
            return db;
    }
    QSqlDatabase db = open(path(), mainConnection, OpenMode::Existing);
    if (isDamaged()) {
        makeQueryOnly(db);
        return db;
    }
    // A file of an earlier version gets the tables it lacks. One that cannot be written now
    // (read-only, locked) stays as it is and is upgraded before the next change is written.
    tryUpgrade(db);
    return db;
}

const Engine &engine()
{
    // The statements ask at every run; the answer changes only with the location.
    static QString location;
    static const Engine *kept = nullptr;
    if (!kept || location != path()) {
        location = path();
        kept = &Engine::forLocation(location);
    }
    return *kept;
}

bool isFile()
{
    return engine().isFile();
}

bool exists()
{
    return engine().exists(path());
}

QString displayName()
{
    return engine().displayName(path());
}

void markDamaged()
{
    if (!isFile())
        return;
    damagedFile = QFileInfo(path()).absoluteFilePath();
    if (QSqlDatabase::contains(mainConnection)) {
        const QSqlDatabase db = QSqlDatabase::database(mainConnection, false);
        if (db.isOpen())
            makeQueryOnly(db);
    }
}

bool isDamaged()
{
    return !damagedFile.isEmpty() && isFile() && damagedFile == QFileInfo(path()).absoluteFilePath();
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

QSqlDatabase open(const QString &location, const QString &connectionName, OpenMode mode)
{
    close(connectionName);
    return Engine::forLocation(location).open(location, connectionName, mode);
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
    const QByteArray name = QFile::encodeName(source);
    // A restore may put another file at the path while this connection waits for its lock; the
    // copy is of the file at the path once the read transaction is open, never of one replaced.
    for (int attempt = 1;; ++attempt) {
        struct stat identity {};
        if (::stat(name.constData(), &identity) != 0)
            throw DatabaseError(QStringLiteral("unable to open database file: %1").arg(source), DatabaseError::Missing);
        // Opened for writing though it only reads: the last connection to close removes the log.
        sqlite3 *handle = nullptr;
        int rc = sqlite3_open_v2(name.constData(), &handle, SQLITE_OPEN_READWRITE, nullptr);
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
        if (SqliteFile::stillAt(source, identity))
            return SqliteFile::copy(handle, destination, SqliteFile::Check::Full, stop);
        if (attempt == 3)
            throw DatabaseError(QStringLiteral("%1 was replaced while it was being copied; the copy is made at the next start")
                                    .arg(source));
    }
}

}

QSqlQuery execSql(const QSqlDatabase &db, const QString &sql, const QVariantList &values)
{
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (values.isEmpty()) {
        if (!query.exec(sql))
            throw DatabaseError::fromSqlError(query.lastError(), db);
        return query;
    }
    if (!query.prepare(sql))
        throw DatabaseError::fromSqlError(query.lastError(), db);
    for (int i = 0; i < values.size(); ++i)
        query.bindValue(i, values.at(i));
    if (!query.exec())
        throw DatabaseError::fromSqlError(query.lastError(), db);
    return query;
}

QVariant scalar(const QSqlDatabase &db, const QString &sql, const QVariantList &values)
{
    QSqlQuery &query = cachedQuery(db, sql, int(values.size()));
    for (int i = 0; i < values.size(); ++i)
        query.bindValue(i, values.at(i));
    QVariant value;
    const bool ok = query.exec() && (query.next() || !query.lastError().isValid());
    if (ok && query.isValid())
        value = query.value(0);
    const QSqlError error = query.lastError();
    query.finish();
    if (!ok)
        throw DatabaseError::fromSqlError(error, db);
    return value;
}

QSqlQuery &cachedQuery(const QSqlDatabase &db, const QString &sql, int bound)
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
            throw DatabaseError::fromSqlError(query.lastError(), db);
        it = statements.insert(sql, query);
    }
    QSqlQuery &query = it.value();
    // Every bind builds a name inside the driver's layer: the caller's values are not bound twice.
    const qsizetype count = query.boundValues().size();
    for (qsizetype i = bound; i < count; ++i)
        query.bindValue(int(i), QVariant());
    return query;
}

Transaction::Transaction(QSqlDatabase db) : m_db(std::move(db))
{
    if (Database::isDamaged() && m_db.connectionName() == Database::mainConnectionName())
        throw DatabaseError(QStringLiteral("数据库文件已损坏！"), DatabaseError::Damaged);
    // A database that was locked when it was opened gets the tables of this version before a
    // change needs them.
    Database::finishUpgrade(m_db);
    execSql(m_db, Engine::of(m_db).beginTransaction());
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

bool runTransaction(const QSqlDatabase &db, const std::function<bool()> &work)
{
    constexpr int attempts = 5;
    for (int attempt = 1;; ++attempt) {
        try {
            Transaction tx(db);
            if (!work())
                return false;
            tx.commit();
            return true;
        } catch (const DatabaseError &e) {
            if (e.kind() != DatabaseError::Retry || attempt == attempts)
                throw;
        }
    }
}
