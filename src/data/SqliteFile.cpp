#include "SqliteFile.h"

#include "Database.h"
#include "Password.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QThread>
#include <QUrl>

#include <sqlite3.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace SqliteFile {

namespace {

QByteArray nameOf(const QString &file)
{
    return QFile::encodeName(file);
}

DatabaseError errorOf(sqlite3 *handle, int rc)
{
    const QString text = handle ? QString::fromUtf8(sqlite3_errmsg(handle)) : QString::fromUtf8(sqlite3_errstr(rc));
    return DatabaseError::fromSqlite(rc, text);
}

// A file named in a URI: path characters such as '?', '#' and '%' are escaped.
QByteArray uriOf(const QString &file, const char *query)
{
    QUrl uri = QUrl::fromLocalFile(QFileInfo(file).absoluteFilePath());
    uri.setQuery(QString::fromLatin1(query));
    return uri.toString(QUrl::FullyEncoded).toUtf8();
}

// A connection that reads the file as it lies on disk: no lock, no log, nothing created beside
// it. A copy or a file whose log is absent reads completely this way.
sqlite3 *openImmutable(const QString &file, int *rc)
{
    sqlite3 *handle = nullptr;
    *rc = sqlite3_open_v2(uriOf(file, "immutable=1").constData(), &handle, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI,
                          nullptr);
    if (*rc != SQLITE_OK) {
        sqlite3_close(handle);
        return nullptr;
    }
    return handle;
}

// For copying a file: immutable when no log lies beside it, otherwise a reader that sees the log.
sqlite3 *openForCopying(const QString &file, int *rc)
{
    if (!QFileInfo::exists(file + QStringLiteral("-wal")))
        return openImmutable(file, rc);
    sqlite3 *handle = nullptr;
    *rc = sqlite3_open_v2(nameOf(file).constData(), &handle, SQLITE_OPEN_READONLY, nullptr);
    if (*rc != SQLITE_OK) {
        sqlite3_close(handle);
        return nullptr;
    }
    return handle;
}

const QStringList &kelvaraTables()
{
    static const QStringList tables = { QStringLiteral("cnfgpara"), QStringLiteral("workshop"),
                                        QStringLiteral("metersort"), QStringLiteral("price"),
                                        QStringLiteral("meter"),     QStringLiteral("takemeter") };
    return tables;
}

// The tables of an SQLite file without application id; Damaged when they cannot be read.
Kind kindByTables(sqlite3 *handle)
{
    sqlite3_stmt *statement = nullptr;
    int rc = sqlite3_prepare_v2(handle, "SELECT name FROM sqlite_schema WHERE type = 'table'", -1, &statement,
                                nullptr);
    QSet<QString> names;
    if (rc == SQLITE_OK)
        while ((rc = sqlite3_step(statement)) == SQLITE_ROW)
            names.insert(QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(statement, 0))).toLower());
    sqlite3_finalize(statement);
    if (rc != SQLITE_DONE)
        return (rc & 0xff) == SQLITE_NOTADB ? Kind::Foreign : Kind::Damaged;
    for (const QString &table : kelvaraTables())
        if (!names.contains(table))
            return Kind::Foreign;
    return Kind::Kelvara;
}

Kind inspectOnce(const QString &file)
{
    int rc = SQLITE_OK;
    sqlite3 *handle = openImmutable(file, &rc);
    if (!handle)
        return Kind::Unreadable;
    // The header through SQLite's own file handle: a descriptor of our own closed afterwards
    // would drop the locks this process's connections hold on the file.
    sqlite3_file *fileHandle = nullptr;
    unsigned char header[100] = {};
    rc = sqlite3_file_control(handle, "main", SQLITE_FCNTL_FILE_POINTER, &fileHandle);
    if (rc == SQLITE_OK && fileHandle && fileHandle->pMethods)
        rc = fileHandle->pMethods->xRead(fileHandle, header, sizeof header, 0);
    else
        rc = SQLITE_ERROR;
    Kind kind = Kind::Foreign;
    if (rc == SQLITE_OK && std::memcmp(header, "SQLite format 3", 16) == 0) {
        const quint32 id = (quint32(header[68]) << 24) | (quint32(header[69]) << 16) | (quint32(header[70]) << 8)
            | quint32(header[71]);
        if (id == quint32(applicationId))
            kind = Kind::Kelvara;
        else if (id == 0)
            kind = kindByTables(handle);   // an older Kelvara file has no application id
    }
    sqlite3_close(handle);
    return kind;
}

bool processAlive(qint64 pid)
{
    return pid > 0 && (::kill(pid_t(pid), 0) == 0 || errno != ESRCH);
}

QString partName(const QString &file)
{
    return file + QStringLiteral(".%1.kelvara-part").arg(::getpid());
}

void removeWithSidecars(const QString &file)
{
    for (const char *suffix : { "", "-journal", "-wal", "-shm" })
        QFile::remove(file + QLatin1String(suffix));
}

void syncPath(const QString &path, int flags)
{
    const int fd = ::open(nameOf(path).constData(), flags | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

void syncFile(const QString &file)
{
    syncPath(file, O_RDONLY);
}

void syncFolder(const QString &folder)
{
    syncPath(folder, O_RDONLY | O_DIRECTORY);
}

void makeFolder(const QString &folder)
{
    const mode_t previous = ::umask(077);   // a new backup folder is the owner's alone
    QDir().mkpath(folder);
    ::umask(previous);
}

void exec(sqlite3 *handle, const char *sql)
{
    const int rc = sqlite3_exec(handle, sql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        throw errorOf(handle, rc);
}

// Replaces plain-text passwords (kept by older databases) by their hash; secure_delete overwrites
// the old text in the page instead of leaving it in free space. A copy whose table cannot be
// read keeps what it has.
void hashPlainPasswords(sqlite3 *handle)
{
    sqlite3_exec(handle, "PRAGMA secure_delete = ON", nullptr, nullptr, nullptr);
    sqlite3_stmt *select = nullptr;
    if (sqlite3_prepare_v2(handle, "SELECT rowid, PassWd FROM CnfgPara", -1, &select, nullptr) != SQLITE_OK) {
        sqlite3_finalize(select);
        return;
    }
    QList<QPair<qint64, QString>> plain;
    while (sqlite3_step(select) == SQLITE_ROW) {
        if (sqlite3_column_type(select, 1) == SQLITE_NULL)
            continue;
        const QString stored = QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(select, 1)));
        if (!IsPasswordHash(stored))
            plain.append({ sqlite3_column_int64(select, 0), stored });
    }
    sqlite3_finalize(select);
    for (const auto &row : std::as_const(plain)) {
        const QByteArray hash = PasswordForStorage(row.second).toLatin1();
        sqlite3_stmt *update = nullptr;
        int rc = sqlite3_prepare_v2(handle, "UPDATE CnfgPara SET PassWd = ? WHERE rowid = ?", -1, &update, nullptr);
        if (rc == SQLITE_OK) {
            sqlite3_bind_text(update, 1, hash.constData(), int(hash.size()), SQLITE_TRANSIENT);
            sqlite3_bind_int64(update, 2, row.first);
            rc = sqlite3_step(update);
        }
        sqlite3_finalize(update);
        if (rc != SQLITE_DONE && rc != SQLITE_OK)
            throw errorOf(handle, rc);
    }
}

// The check's report: empty when it says "ok".
QString checkReport(sqlite3 *handle, Check check)
{
    sqlite3_stmt *statement = nullptr;
    int rc = sqlite3_prepare_v2(handle, check == Check::Full ? "PRAGMA integrity_check(5)" : "PRAGMA quick_check(5)",
                                -1, &statement, nullptr);
    QStringList lines;
    if (rc == SQLITE_OK)
        while ((rc = sqlite3_step(statement)) == SQLITE_ROW)
            lines << QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(statement, 0)));
    sqlite3_finalize(statement);
    if (rc != SQLITE_DONE)
        return QString::fromUtf8(sqlite3_errmsg(handle));
    if (lines == QStringList{ QStringLiteral("ok") })
        return {};
    return lines.join(QStringLiteral("; "));
}

// Writes the copy into part (a name of this process) and closes and syncs it; returns the
// check's report. With walHeader the copy is marked as a WAL database, as the program's own
// database file is. Throws DatabaseError, leaving nothing, when the copy cannot be written.
QString writeCopy(sqlite3 *source, const QString &part, Check check, bool walHeader, const std::atomic<bool> *stop)
{
    removeWithSidecars(part);
    sqlite3 *target = nullptr;
    const mode_t previous = ::umask(077);
    int rc = sqlite3_open_v2(nameOf(part).constData(), &target, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    ::umask(previous);
    try {
        if (rc != SQLITE_OK)
            throw errorOf(target, rc);
        // No journal: a copy cut short is thrown away, never rolled back.
        exec(target, "PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF");
        sqlite3_backup *job = sqlite3_backup_init(target, "main", source, "main");
        if (!job)
            throw errorOf(target, sqlite3_errcode(target));
        // Small steps let a busy writer of another program in between.
        do {
            if (stop && stop->load()) {
                sqlite3_backup_finish(job);
                throw DatabaseError(QStringLiteral("backup stopped"), DatabaseError::Other, SQLITE_INTERRUPT);
            }
            rc = sqlite3_backup_step(job, 256);
            if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED)
                sqlite3_sleep(20);
        } while (rc == SQLITE_OK || rc == SQLITE_BUSY || rc == SQLITE_LOCKED);
        sqlite3_backup_finish(job);
        if (rc != SQLITE_DONE)
            throw DatabaseError::fromSqlite(rc, QString::fromUtf8(sqlite3_errstr(rc)));
        // The pages carry the source's WAL mark; a copy at rest is a plain file that a reader
        // opens without creating anything beside it.
        exec(target, "PRAGMA journal_mode = DELETE; PRAGMA journal_mode = OFF");
        hashPlainPasswords(target);
        const QString report = checkReport(target, check);
        if (walHeader)
            exec(target, "PRAGMA journal_mode = WAL");
        rc = sqlite3_close(target);
        target = nullptr;
        if (rc != SQLITE_OK)
            throw DatabaseError::fromSqlite(rc, QString::fromUtf8(sqlite3_errstr(rc)));
        syncFile(part);
        return report;
    } catch (...) {
        sqlite3_close(target);
        removeWithSidecars(part);
        throw;
    }
}

// The file and its log byte for byte, for a database SQLite cannot read at all.
Copy copyBytes(const QString &file, const QString &destination)
{
    Copy result;
    result.file = destination;
    result.damaged = true;
    result.problem = QStringLiteral("unreadable; copied byte for byte");
    makeFolder(QFileInfo(destination).absolutePath());
    for (const char *suffix : { "", "-wal" }) {
        const QString from = file + QLatin1String(suffix);
        if (*suffix && !QFileInfo::exists(from))
            continue;
        const QString part = partName(destination + QLatin1String(suffix));
        QFile::remove(part);
        if (!QFile::copy(from, part)) {
            QFile::remove(part);
            throw DatabaseError(QStringLiteral("cannot copy %1 to %2").arg(from, destination));
        }
        QFile::setPermissions(part, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        syncFile(part);
        if (::rename(nameOf(part).constData(), nameOf(destination + QLatin1String(suffix)).constData()) != 0) {
            QFile::remove(part);
            throw DatabaseError(QStringLiteral("cannot write %1").arg(destination));
        }
    }
    syncFolder(QFileInfo(destination).absolutePath());
    return result;
}

// A connection holding the database file exclusively (so that no program opens it meanwhile)
// until it is closed; its closing never checkpoints into nor deletes a log by name. Null with
// *inUse when another connection has the file open, null alone when SQLite cannot read it.
sqlite3 *holdExclusively(const QString &file, bool *inUse)
{
    *inUse = false;
    sqlite3 *handle = nullptr;
    int rc = sqlite3_open_v2(nameOf(file).constData(), &handle, SQLITE_OPEN_READWRITE, nullptr);
    if (rc == SQLITE_OK) {
        sqlite3_db_config(handle, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
        // In WAL mode every open connection holds a shared lock on the file, so the exclusive
        // lock this first read asks for is refused while any program has the database open.
        rc = sqlite3_exec(handle, "PRAGMA locking_mode = EXCLUSIVE; SELECT count(*) FROM sqlite_schema", nullptr,
                          nullptr, nullptr);
    }
    if (rc == SQLITE_OK)
        return handle;
    *inUse = (rc & 0xff) == SQLITE_BUSY || (rc & 0xff) == SQLITE_LOCKED;
    sqlite3_close(handle);
    return nullptr;
}

}

Kind inspect(const QString &file)
{
    const QFileInfo info(file);
    if (!info.exists())
        return Kind::Missing;
    if (!info.isFile() || info.size() < 100)
        return Kind::Foreign;
    Kind kind = inspectOnce(file);
    // The table pages of an older file may be read just while another program's checkpoint
    // writes them.
    if (kind == Kind::Damaged) {
        QThread::msleep(20);
        kind = inspectOnce(file);
    }
    return kind;
}

QString foreignText(const QString &file)
{
    return QStringLiteral("不是 Kelvara 的数据库文件：") + file;
}

void repairLeftovers(const QString &file)
{
    struct stat database{};
    if (::stat(nameOf(file).constData(), &database) != 0 || ::access(nameOf(file).constData(), W_OK) != 0)
        return;
    for (const char *suffix : { "-wal", "-shm" }) {
        const QByteArray side = nameOf(file + QLatin1String(suffix));
        if (::access(side.constData(), F_OK) == 0 && ::access(side.constData(), W_OK) != 0)
            ::chmod(side.constData(), database.st_mode & 07777);
    }
}

QString damagedName(const QString &destination)
{
    QString stem = destination;
    if (stem.endsWith(QStringLiteral(".db")))
        stem.chop(3);
    return stem + QStringLiteral("-damaged.db");
}

int removeLeftovers(const QString &folder)
{
    // This version's parts carry the writer's process id; earlier versions wrote <copy>.db.part
    // (and its journal) for the stamped copies of the backup folder.
    static const QRegularExpression ours(QStringLiteral("^.+\\.(\\d+)\\.kelvara-part(-journal|-wal|-shm)?$"));
    static const QRegularExpression earlier(QStringLiteral("^.+-\\d{8}-\\d{6}(-\\d+)?\\.db\\.part(-journal)?$"));
    int removed = 0;
    const QStringList names = QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &name : names) {
        const QRegularExpressionMatch match = ours.match(name);
        const bool gone = match.hasMatch()
            ? match.captured(1).toLongLong() != ::getpid() && !processAlive(match.captured(1).toLongLong())
            : earlier.match(name).hasMatch();
        if (gone && QFile::remove(folder + u'/' + name))
            ++removed;
    }
    return removed;
}

Copy copy(sqlite3 *source, const QString &destination, Check check, const std::atomic<bool> *stop)
{
    const QString folder = QFileInfo(destination).absolutePath();
    makeFolder(folder);
    removeLeftovers(folder);
    const QString part = partName(destination);
    Copy result;
    result.problem = writeCopy(source, part, check, false, stop);
    result.damaged = !result.problem.isEmpty();
    result.file = result.damaged ? damagedName(destination) : destination;
    if (::rename(nameOf(part).constData(), nameOf(result.file).constData()) != 0) {
        const int error = errno;
        removeWithSidecars(part);
        throw DatabaseError(QStringLiteral("cannot write %1: %2").arg(result.file, QString::fromLocal8Bit(std::strerror(error))));
    }
    syncFolder(folder);
    return result;
}

void create(const QString &file, const std::function<void(const QString &temporary)> &fill)
{
    const QFileInfo info(file);
    if (info.isSymLink())
        throw DatabaseError(QStringLiteral("%1 is a symbolic link; a new database is never created through one").arg(file));
    if (info.exists())
        throw DatabaseError(QStringLiteral("%1 already exists").arg(file));
    const QString folder = info.absolutePath();
    QDir().mkpath(folder);
    removeLeftovers(folder);
    const QString part = partName(file);
    removeWithSidecars(part);
    try {
        fill(part);
        if (QFileInfo::exists(part + QStringLiteral("-wal")))
            throw DatabaseError(QStringLiteral("%1 is still open").arg(part));
        syncFile(part);
        // Never over a file that appeared meanwhile.
        if (::renameat2(AT_FDCWD, nameOf(part).constData(), AT_FDCWD, nameOf(file).constData(), RENAME_NOREPLACE) != 0) {
            const int error = errno;
            if (error == EEXIST)
                throw DatabaseError(QStringLiteral("%1 already exists").arg(file));
            throw DatabaseError(QStringLiteral("cannot create %1: %2").arg(file, QString::fromLocal8Bit(std::strerror(error))));
        }
    } catch (...) {
        removeWithSidecars(part);
        throw;
    }
    syncFolder(folder);
}

Restored restore(const QString &databaseFile, const QString &backupFile, const QString &keepAs)
{
    Restored r;
    auto refuse = [&r](Restored::Outcome outcome, const QString &text) {
        r.outcome = outcome;
        r.text = text;
        return r;
    };
    QString file = databaseFile;
    const QFileInfo link(databaseFile);
    if (link.isSymLink()) {
        if (!link.exists())
            return refuse(Restored::Failed, QStringLiteral("%1 is a symbolic link to nothing").arg(databaseFile));
        file = link.canonicalFilePath();   // the link stays; the file it names is replaced
    }
    const Kind current = inspect(file);
    if (current == Kind::Foreign)
        return refuse(Restored::ForeignDatabase, foreignText(file));
    switch (inspect(backupFile)) {
    case Kind::Kelvara:
        break;
    case Kind::Foreign:
        return refuse(Restored::BadBackup, foreignText(backupFile));
    case Kind::Damaged:
        return refuse(Restored::BadBackup, QStringLiteral("%1 is damaged; nothing was changed").arg(backupFile));
    case Kind::Missing:
    case Kind::Unreadable:
        return refuse(Restored::BadBackup, QStringLiteral("cannot read %1").arg(backupFile));
    }

    // The backup, checked, in a temporary file beside the database.
    const QString folder = QFileInfo(file).absolutePath();
    QDir().mkpath(folder);
    removeLeftovers(folder);
    const QString part = partName(file);
    QString report;
    {
        int rc = SQLITE_OK;
        sqlite3 *source = openForCopying(backupFile, &rc);
        if (!source)
            return refuse(Restored::BadBackup, QStringLiteral("cannot read %1: %2").arg(backupFile, QString::fromUtf8(sqlite3_errstr(rc))));
        try {
            report = writeCopy(source, part, Check::Full, true, nullptr);
        } catch (const DatabaseError &e) {
            sqlite3_close(source);
            // A backup whose pages cannot even be copied is damaged, not the restore failed.
            if (e.kind() == DatabaseError::Damaged)
                return refuse(Restored::BadBackup,
                              QStringLiteral("%1 is damaged (%2); nothing was changed").arg(backupFile, e.text()));
            return refuse(Restored::Failed, e.text());
        }
        sqlite3_close(source);
    }
    if (!report.isEmpty()) {
        removeWithSidecars(part);
        return refuse(Restored::BadBackup, QStringLiteral("%1 is damaged (%2); nothing was changed").arg(backupFile, report));
    }

    // The current database, held so that no program opens it until the backup is in its place,
    // and kept with what its log holds.
    sqlite3 *held = nullptr;
    if (current != Kind::Missing) {
        bool inUse = false;
        held = holdExclusively(file, &inUse);
        if (inUse) {
            removeWithSidecars(part);
            return refuse(Restored::InUse, QStringLiteral("%1 is open in another program; close every Kelvara program "
                                                          "and try again. Nothing was changed").arg(file));
        }
        try {
            r.kept = held ? copy(held, keepAs) : copyBytes(file, damagedName(keepAs));
        } catch (const DatabaseError &e) {
            sqlite3_close(held);
            removeWithSidecars(part);
            return refuse(Restored::Failed, QStringLiteral("the database could not be kept before the restore: %1. "
                                                           "Nothing was changed").arg(e.text()));
        }
        // The log goes into the old file and the file leaves WAL mode: a program that waits for
        // the lock meanwhile reads it without opening a log under the database's name.
        if (held)
            sqlite3_exec(held, "PRAGMA journal_mode = DELETE", nullptr, nullptr, nullptr);
    }
    // An old log beside the new file would be replayed onto it.
    for (const char *suffix : { "-wal", "-shm", "-journal" })
        QFile::remove(file + QLatin1String(suffix));
    const bool installed = ::rename(nameOf(part).constData(), nameOf(file).constData()) == 0;
    const int error = errno;
    if (installed)
        syncFolder(folder);
    sqlite3_close(held);
    if (!installed) {
        removeWithSidecars(part);
        return refuse(Restored::Failed, QStringLiteral("cannot replace %1: %2").arg(file, QString::fromLocal8Bit(std::strerror(error))));
    }
    r.outcome = Restored::Done;
    return r;
}

}
