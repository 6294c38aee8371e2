// SqliteFile.h: the database file itself: what a file is before anything writes to it, checked
// copies, creation under a temporary name and the restore of a copy. Nothing here leaves a
// half-made file under a name that counts.
#pragma once

#include <QString>

#include <atomic>
#include <functional>

struct sqlite3;
struct stat;

namespace SqliteFile {

// Stamped into the header of every database Kelvara creates (PRAGMA application_id).
constexpr int applicationId = 0x4B6C7661;

enum class Kind {
    Missing,        // nothing at that path (or a symbolic link to nothing)
    Kelvara,        // Kelvara's application id, or an older Kelvara file recognised by its tables
    Foreign,        // empty, a folder, no SQLite file, or another program's SQLite file
    Damaged,        // an SQLite file without application id whose tables cannot be read
    Unreadable,     // the file cannot be opened for reading (permissions); SQLite says why
};

// Reads the header (and, for a file without application id, the table names) through a
// connection that neither locks nor writes nor creates anything beside the file.
Kind inspect(const QString &file);

// What the operator is told about a file that is no Kelvara database.
QString foreignText(const QString &file);

// A -wal or -shm file left read-only by a refused write keeps SQLite from writing even after the
// database file was made writable again: when the database file is writable, they are made
// writable too (given the database file's permissions). Run before a connection opens the file.
void repairLeftovers(const QString &file);

// Whether writing to path would write over the database file or one of the files SQLite keeps
// beside it (-wal, -shm, -journal): the same file reached by any name or link, or the name
// SQLite would give such a file.
bool isPartOf(const QString &path, const QString &database);

// Whether the file at path is still the one whose identity (device and inode) was taken.
bool stillAt(const QString &path, const struct stat &identity);

enum class Check { Quick, Full };   // quick_check or integrity_check

// A copy as written: its file, and whether the check found it damaged, with the check's report.
struct Copy
{
    QString file;
    bool damaged = false;
    QString problem;
};

// destination with "-damaged" before its ".db": where a copy that fails its check is kept.
QString damagedName(const QString &destination);

// Copies the main database of source (with what its log holds) page by page into a new
// owner-only file, written under a name unique to the process beside destination and renamed
// into place once synced. A plain-text password in the copy is replaced by its hash, with the
// old text overwritten, before the copy is checked. A copy that fails the check is renamed to
// damagedName(destination) instead. Leftovers of copies of the same database whose process has
// ended are removed first. A new folder and the copy belong to the database file's owner (when
// root makes them). The source stays readable and writable by the program meanwhile. Throws
// DatabaseError (and leaves no file) when the copy cannot be written or synced, or *stop turns
// true.
Copy copy(sqlite3 *source, const QString &destination, Check check = Check::Full,
          const std::atomic<bool> *stop = nullptr);

// Removes what processes that have ended left while writing files for databaseFile, and
// nothing else: <file name>.<pid>.kelvara-part beside it (a new database, a restore), and in
// copiesFolder the parts of its copies, <name>-….db.<pid>.kelvara-part, and the
// <name>-[daily-]YYYYMMDD-HHMMSS.db.part an earlier version wrote; each with the files SQLite
// keeps beside it. Returns how many files went.
int removeLeftovers(const QString &databaseFile, const QString &copiesFolder = QString());

// Creates a new database: fill writes it under a temporary name beside file (and must close
// every connection to it); the result is synced and renamed to file only when fill succeeded.
// False, leaving nothing, when a file is at file or appears there meanwhile. Nothing is left
// after a failure either. A symbolic link at file is refused. Throws DatabaseError.
bool create(const QString &file, const std::function<void(const QString &temporary)> &fill);

struct Restored
{
    enum Outcome {
        Done,
        InUse,              // a program has the database open
        BadBackup,          // the backup cannot be read, is damaged or is no Kelvara database
        ForeignDatabase,    // the file at the database's place is no Kelvara database
        Failed,             // a file could not be written; the database is as it was
    };
    Outcome outcome = Failed;
    QString text;           // what went wrong, for the operator
    Copy kept;              // the database as it was (empty when there was none)
};

// Replaces databaseFile by a checked copy of backupFile. Refused while any program has the
// database open (a lock on the file, also on a file its user may only read). The current
// database is first copied, with what its log holds, to keepAs (damagedName(keepAs) when it
// fails its check; a file SQLite cannot copy is copied byte for byte as far as it reads). Its old
// -wal and -shm are removed, and the backup is installed by a copy to a temporary owner-only file
// of the database's owner that is checked (integrity_check, Kelvara's tables), synced and renamed
// into place. A backup that cannot be read whole is refused as damaged.
Restored restore(const QString &databaseFile, const QString &backupFile, const QString &keepAs);

}
