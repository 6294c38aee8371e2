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

// Asks the disk to hold what was written to path; throws when the disk reports that it could not
// (EIO, a full disk at write-back): a file that is not known to be on the disk never takes a name
// that counts. Only for files no SQLite connection of this process has open: closing the
// descriptor would drop that connection's locks.
void syncPath(const QString &path, int flags)
{
    const int fd = ::open(nameOf(path).constData(), flags | O_CLOEXEC);
    int error = fd < 0 ? errno : 0;
    if (fd >= 0) {
        if (::fsync(fd) != 0)
            error = errno;
        ::close(fd);
    }
    if (error != 0)
        throw DatabaseError(QStringLiteral("cannot write %1 to the disk: %2").arg(path, QString::fromLocal8Bit(std::strerror(error))),
                            error == ENOSPC ? DatabaseError::Full : DatabaseError::Other, SQLITE_IOERR);
}

void syncFile(const QString &file)
{
    syncPath(file, O_RDONLY);
}

void syncFolder(const QString &folder)
{
    syncPath(folder, O_RDONLY | O_DIRECTORY);
}

// The owner of a file whose copies or replacement are made: they stay that user's when the
// administrator (root) makes them, or the user's own programs could no longer open them.
struct Owner
{
    bool known = false;
    uid_t user = 0;
    gid_t group = 0;
};

Owner ownerOf(const QString &file)
{
    Owner owner;
    struct stat info{};
    if (!file.isEmpty() && ::stat(nameOf(file).constData(), &info) == 0) {
        owner.known = true;
        owner.user = info.st_uid;
        owner.group = info.st_gid;
    }
    return owner;
}

void giveTo(const QString &path, const Owner &owner)
{
    if (!owner.known || ::geteuid() != 0)
        return;
    struct stat info{};
    if (::lstat(nameOf(path).constData(), &info) == 0 && (info.st_uid != owner.user || info.st_gid != owner.group)
        && ::lchown(nameOf(path).constData(), owner.user, owner.group) != 0)
        throw DatabaseError(QStringLiteral("cannot give %1 to the database's owner: %2")
                                .arg(path, QString::fromLocal8Bit(std::strerror(errno))));
}

// A new backup folder is the owner's alone (and the database owner's).
void makeFolder(const QString &folder, const Owner &owner)
{
    if (QFileInfo(folder).isDir())
        return;
    const mode_t previous = ::umask(077);
    QDir().mkpath(folder);
    ::umask(previous);
    giveTo(folder, owner);
}

// Whether a process other than this one holds a lock on the file: every SQLite connection to a
// database in WAL mode holds one for as long as it is open. F_GETLK needs no write permission, so
// this sees a program that has a read-only database open. Only before this process opens the
// file through SQLite: closing the descriptor drops this process's own locks on it.
bool lockedByAnother(const QString &file)
{
    const int fd = ::open(nameOf(file).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return false;
    struct flock lock{};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = 0;
    lock.l_len = 0;   // the whole file and beyond, where SQLite's lock bytes are
    const bool locked = ::fcntl(fd, F_GETLK, &lock) == 0 && lock.l_type != F_UNLCK;
    ::close(fd);
    return locked;
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

// Writes the copy into part (a name of this process), gives it to owner and closes and syncs it;
// returns the check's report. With walHeader the copy is marked as a WAL database, as the
// program's own database file is. Throws DatabaseError, leaving nothing, when the copy cannot be
// written or synced.
QString writeCopy(sqlite3 *source, const QString &part, Check check, bool walHeader, const std::atomic<bool> *stop,
                  const Owner &owner)
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
        // integrity_check looks every row up in every index: with the upper index pages in
        // memory it reads the file about once.
        exec(target, "PRAGMA cache_size = -65536");
        const QString report = checkReport(target, check);
        if (walHeader)
            exec(target, "PRAGMA journal_mode = WAL");
        rc = sqlite3_close(target);
        target = nullptr;
        if (rc != SQLITE_OK)
            throw DatabaseError::fromSqlite(rc, QString::fromUtf8(sqlite3_errstr(rc)));
        giveTo(part, owner);
        syncFile(part);
        return report;
    } catch (...) {
        sqlite3_close(target);
        removeWithSidecars(part);
        throw;
    }
}

// The file and its log byte for byte, for a database SQLite cannot read at all.
Copy copyBytes(const QString &file, const QString &destination, const Owner &owner)
{
    Copy result;
    result.file = destination;
    result.damaged = true;
    result.problem = QStringLiteral("unreadable; copied byte for byte");
    const QString folder = QFileInfo(destination).absolutePath();
    makeFolder(folder, owner);
    QString part;
    QStringList written;
    try {
        for (const char *suffix : { "", "-wal" }) {
            const QString from = file + QLatin1String(suffix);
            if (*suffix && !QFileInfo::exists(from))
                continue;
            part = partName(destination + QLatin1String(suffix));
            QFile::remove(part);
            if (!QFile::copy(from, part))
                throw DatabaseError(QStringLiteral("cannot copy %1 to %2").arg(from, destination));
            QFile::setPermissions(part, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
            giveTo(part, owner);
            syncFile(part);
            if (::rename(nameOf(part).constData(), nameOf(destination + QLatin1String(suffix)).constData()) != 0)
                throw DatabaseError(QStringLiteral("cannot write %1").arg(destination));
            written << destination + QLatin1String(suffix);
        }
        syncFolder(folder);
    } catch (...) {
        QFile::remove(part);
        for (const QString &name : std::as_const(written))
            QFile::remove(name);
        throw;
    }
    return result;
}

// The quick_check report of a file, or why it cannot be read; empty when it reads whole.
QString problemOf(const QString &file)
{
    int rc = SQLITE_OK;
    sqlite3 *handle = openForCopying(file, &rc);
    if (!handle)
        return QString::fromUtf8(sqlite3_errstr(rc));
    const QString report = checkReport(handle, Check::Quick);
    sqlite3_close(handle);
    return report;
}

// A connection holding the database file exclusively (so that no program opens it meanwhile)
// until it is closed; its closing never checkpoints into nor deletes a log by name. Null with
// *inUse when another connection has the file open or another restore put a new file at the
// path while this one waited; null alone when the file cannot be held (read-only) or read.
sqlite3 *holdExclusively(const QString &file, bool *inUse)
{
    *inUse = false;
    struct stat identity{};
    if (::stat(nameOf(file).constData(), &identity) != 0)
        return nullptr;
    sqlite3 *handle = nullptr;
    int rc = sqlite3_open_v2(nameOf(file).constData(), &handle, SQLITE_OPEN_READWRITE, nullptr);
    if (rc == SQLITE_OK && sqlite3_db_readonly(handle, "main") == 1)
        rc = SQLITE_READONLY;
    if (rc == SQLITE_OK) {
        sqlite3_db_config(handle, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
        // In WAL mode every open connection holds a shared lock on the file, so the exclusive
        // lock this first read asks for is refused while any program has the database open.
        rc = sqlite3_exec(handle, "PRAGMA locking_mode = EXCLUSIVE; SELECT count(*) FROM sqlite_schema", nullptr,
                          nullptr, nullptr);
    }
    if (rc == SQLITE_OK) {
        if (stillAt(file, identity))
            return handle;
        rc = SQLITE_BUSY;
    }
    *inUse = (rc & 0xff) == SQLITE_BUSY || (rc & 0xff) == SQLITE_LOCKED;
    sqlite3_close(handle);
    return nullptr;
}

// The folders in which parts of this database's files are looked for, each with its patterns.
struct LeftoverPatterns
{
    QString folder;
    QRegularExpression ours;             // captured("pid"): the writer's process id
    QList<QRegularExpression> earlier;   // parts of an earlier version, without process id
};

}

bool stillAt(const QString &path, const struct stat &identity)
{
    struct stat now{};
    return ::stat(nameOf(path).constData(), &now) == 0 && now.st_dev == identity.st_dev && now.st_ino == identity.st_ino;
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

bool isPartOf(const QString &path, const QString &database)
{
    if (path.isEmpty() || database.isEmpty())
        return false;
    struct stat target{};
    const bool exists = ::stat(nameOf(path).constData(), &target) == 0;
    // The database by the name it was given, and by the name without links SQLite derives
    // the names of its companions from.
    QStringList names{ QFileInfo(database).absoluteFilePath() };
    const QString canonical = QFileInfo(database).canonicalFilePath();
    if (!canonical.isEmpty() && canonical != names.first())
        names << canonical;
    // The names path stands for: itself, the file it leads to, and where a link to nothing points.
    const QFileInfo info(path);
    QStringList targets{ QDir::cleanPath(info.absoluteFilePath()) };
    if (!info.canonicalFilePath().isEmpty())
        targets << info.canonicalFilePath();
    if (info.isSymLink())
        targets << QDir::cleanPath(info.symLinkTarget());
    for (const QString &name : std::as_const(names)) {
        for (const char *suffix : { "", "-wal", "-shm", "-journal" }) {
            const QString part = QDir::cleanPath(name + QLatin1String(suffix));
            if (targets.contains(part))
                return true;
            struct stat file{};
            if (exists && ::stat(nameOf(part).constData(), &file) == 0 && file.st_dev == target.st_dev
                && file.st_ino == target.st_ino)
                return true;
        }
    }
    return false;
}

QString damagedName(const QString &destination)
{
    QString stem = destination;
    if (stem.endsWith(QStringLiteral(".db")))
        stem.chop(3);
    return stem + QStringLiteral("-damaged.db");
}

int removeLeftovers(const QString &databaseFile, const QString &copiesFolder)
{
    const QFileInfo database(databaseFile);
    const QString name = QRegularExpression::escape(database.fileName());
    const QString base = QRegularExpression::escape(database.completeBaseName());
    const QString sidecar = QStringLiteral("(-journal|-wal|-shm)?$");
    QList<LeftoverPatterns> places;
    // A new database or a restore: <file name>.<pid>.kelvara-part beside the database.
    places.append({ database.absolutePath(),
                    QRegularExpression(QStringLiteral("^%1\\.(?<pid>\\d+)\\.kelvara-part").arg(name) + sidecar),
                    {} });
    // Its copies: <name>-<kind and stamp>.db.<pid>.kelvara-part (a byte-for-byte copy's log
    // too), and the <name>-[daily-]YYYYMMDD-HHMMSS.db.part an earlier version wrote.
    if (!copiesFolder.isEmpty())
        places.append({ QFileInfo(copiesFolder).absoluteFilePath(),
                        QRegularExpression(QStringLiteral("^%1-.+\\.db(-wal)?\\.(?<pid>\\d+)\\.kelvara-part").arg(base) + sidecar),
                        { QRegularExpression(QStringLiteral("^%1-(daily-)?\\d{8}-\\d{6}(-\\d+)?\\.db\\.part(-journal)?$").arg(base)) } });
    int removed = 0;
    for (const LeftoverPatterns &place : std::as_const(places)) {
        const QStringList names = QDir(place.folder).entryList(QDir::Files | QDir::Hidden | QDir::System);
        for (const QString &entry : names) {
            const QRegularExpressionMatch match = place.ours.match(entry);
            const qint64 pid = match.hasMatch() ? match.captured(QStringLiteral("pid")).toLongLong() : 0;
            bool gone = match.hasMatch() && pid != ::getpid() && !processAlive(pid);
            for (const QRegularExpression &pattern : place.earlier)
                gone = gone || pattern.match(entry).hasMatch();
            if (gone && QFile::remove(place.folder + u'/' + entry))
                ++removed;
        }
    }
    return removed;
}

Copy copy(sqlite3 *source, const QString &destination, Check check, const std::atomic<bool> *stop)
{
    const char *sourceName = sqlite3_db_filename(source, "main");
    const QString database = sourceName ? QFile::decodeName(sourceName) : QString();
    const Owner owner = ownerOf(database);
    const QString folder = QFileInfo(destination).absolutePath();
    makeFolder(folder, owner);
    if (!database.isEmpty())
        removeLeftovers(database, folder);
    const QString part = partName(destination);
    Copy result;
    result.problem = writeCopy(source, part, check, false, stop, owner);
    result.damaged = !result.problem.isEmpty();
    result.file = result.damaged ? damagedName(destination) : destination;
    if (::rename(nameOf(part).constData(), nameOf(result.file).constData()) != 0) {
        const int error = errno;
        removeWithSidecars(part);
        throw DatabaseError(QStringLiteral("cannot write %1: %2").arg(result.file, QString::fromLocal8Bit(std::strerror(error))));
    }
    try {
        syncFolder(folder);
    } catch (...) {
        QFile::remove(result.file);
        throw;
    }
    return result;
}

bool create(const QString &file, const std::function<void(const QString &temporary)> &fill)
{
    const QFileInfo info(file);
    if (info.isSymLink())
        throw DatabaseError(QStringLiteral("%1 is a symbolic link; a new database is never created through one").arg(file));
    if (info.exists())
        return false;
    const QString folder = info.absolutePath();
    QDir().mkpath(folder);
    removeLeftovers(file);
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
            if (error != EEXIST)
                throw DatabaseError(QStringLiteral("cannot create %1: %2").arg(file, QString::fromLocal8Bit(std::strerror(error))));
            removeWithSidecars(part);
            return false;
        }
    } catch (...) {
        removeWithSidecars(part);
        throw;
    }
    try {
        syncFolder(folder);
    } catch (...) {
        QFile::remove(file);   // the new file, not known to be on the disk
        throw;
    }
    return true;
}

Restored restore(const QString &databaseFile, const QString &backupFile, const QString &keepAs)
{
    Restored r;
    auto refuse = [&r](Restored::Outcome outcome, const QString &text) {
        r.outcome = outcome;
        r.text = text;
        return r;
    };
    const QString inUse = QStringLiteral("%1 is open in another program; close every Kelvara program and try again. "
                                         "Nothing was changed").arg(databaseFile);
    QString file = databaseFile;
    const QFileInfo link(databaseFile);
    if (link.isSymLink()) {
        if (!link.exists())
            return refuse(Restored::Failed, QStringLiteral("%1 is a symbolic link to nothing").arg(databaseFile));
        file = link.canonicalFilePath();   // the link stays; the file it names is replaced
    }
    const Kind current = inspect(file);
    if (current == Kind::Foreign)
        return refuse(Restored::ForeignDatabase, foreignText(databaseFile));
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
    // A program that has the database open holds a lock on it, even when the file is read-only
    // to its user; asked before this process opens the file itself.
    if (current != Kind::Missing && lockedByAnother(file))
        return refuse(Restored::InUse, inUse);

    // The backup, checked, in a temporary file beside the database, given to the database's owner.
    const QString folder = QFileInfo(file).absolutePath();
    const Owner owner = ownerOf(file);
    QDir().mkpath(folder);
    removeLeftovers(file, QFileInfo(keepAs).absolutePath());
    const QString part = partName(file);
    QString report;
    {
        int rc = SQLITE_OK;
        sqlite3 *source = openForCopying(backupFile, &rc);
        if (!source)
            return refuse(Restored::BadBackup, QStringLiteral("cannot read %1: %2").arg(backupFile, QString::fromUtf8(sqlite3_errstr(rc))));
        try {
            report = writeCopy(source, part, Check::Full, true, nullptr, owner);
        } catch (const DatabaseError &e) {
            sqlite3_close(source);
            // What failed may be the backup itself: cut short, or pages that cannot be read. A
            // backup whose pages cannot even be copied is damaged too, not the restore failed.
            const QString problem = problemOf(backupFile);
            if (!problem.isEmpty() || e.kind() == DatabaseError::Damaged)
                return refuse(Restored::BadBackup, QStringLiteral("%1 is damaged (%2); nothing was changed")
                                                       .arg(backupFile, problem.isEmpty() ? e.text() : problem));
            return refuse(Restored::Failed, e.text());
        }
        sqlite3_close(source);
    }
    if (!report.isEmpty()) {
        removeWithSidecars(part);
        return refuse(Restored::BadBackup, QStringLiteral("%1 is damaged (%2); nothing was changed").arg(backupFile, report));
    }

    // The current database, held so that no program opens it until the backup is in its place,
    // and kept with what its log holds. A file its user may only read cannot be held; no program
    // had it open above, and one that opens it now can only read it.
    sqlite3 *held = nullptr;
    if (current != Kind::Missing) {
        const bool hadLog = QFileInfo::exists(file + QStringLiteral("-wal"));
        const bool hadIndex = QFileInfo::exists(file + QStringLiteral("-shm"));
        bool busy = false;
        held = holdExclusively(file, &busy);
        if (busy) {
            removeWithSidecars(part);
            return refuse(Restored::InUse, inUse);
        }
        int rc = SQLITE_OK;
        sqlite3 *reader = held ? held : openForCopying(file, &rc);
        try {
            try {
                if (!reader)
                    throw DatabaseError(QString::fromUtf8(sqlite3_errstr(rc)), DatabaseError::Damaged, rc);
                r.kept = copy(reader, keepAs);
            } catch (const DatabaseError &e) {
                // As far as it reads: a file SQLite cannot copy is kept byte for byte with its log.
                if (e.kind() != DatabaseError::Damaged)
                    throw;
                r.kept = copyBytes(file, damagedName(keepAs), owner);
            }
        } catch (const DatabaseError &e) {
            // Nothing this restore's connection made beside the database stays: the lock is still
            // held, so no other program has opened them meanwhile.
            if (held) {
                if (!hadLog && QFileInfo(file + QStringLiteral("-wal")).size() == 0)
                    QFile::remove(file + QStringLiteral("-wal"));
                if (!hadIndex)
                    QFile::remove(file + QStringLiteral("-shm"));
            }
            if (reader != held)
                sqlite3_close(reader);
            sqlite3_close(held);
            removeWithSidecars(part);
            return refuse(Restored::Failed, QStringLiteral("the database could not be kept before the restore: %1. "
                                                           "Nothing was changed").arg(e.text()));
        }
        if (reader != held)
            sqlite3_close(reader);
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
    QString unsynced;
    if (installed) {
        try {
            syncFolder(folder);
        } catch (const DatabaseError &e) {
            unsynced = e.text();
        }
    }
    sqlite3_close(held);
    if (!installed) {
        removeWithSidecars(part);
        return refuse(Restored::Failed, QStringLiteral("cannot replace %1: %2").arg(databaseFile, QString::fromLocal8Bit(std::strerror(error))));
    }
    if (!unsynced.isEmpty())
        return refuse(Restored::Failed, QStringLiteral("the backup was put in place of %1, but %2; check the disk and "
                                                       "restore again").arg(databaseFile, unsynced));
    r.outcome = Restored::Done;
    return r;
}

}
