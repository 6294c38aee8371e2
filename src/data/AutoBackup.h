// AutoBackup.h: the daily copy of the database into the backup folder beside it, made by a
// worker thread with a connection of its own so that neither the start nor the operator waits.
#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <atomic>
#include <thread>

namespace AutoBackup {

// Good copies kept in the folder; older ones are removed after each new good copy. Copies that
// failed their check are kept apart, as many again, and never count among these.
constexpr int kept = 30;

// backup/ beside the database file, where the daily copies and the copy made before the system
// parameters clear the data go.
QString folderFor(const QString &databaseFile);

// The folder's good daily copies of that database, oldest first (their names sort by time).
QStringList copies(const QString &databaseFile);
// The daily copies that failed their check (<copy name>-damaged.db), oldest first.
QStringList damagedCopies(const QString &databaseFile);

// True when the folder holds no daily copy, good or damaged, stamped within the day up to now (a
// copy stamped later than now, by a clock that ran ahead, is no copy of today's).
bool due(const QString &databaseFile, const QDateTime &now);

// The name of a copy made at now: <database name>-daily-YYYYMMDD-HHMMSS.db. Only these count and
// are trimmed; the copy made before the system parameters clear the data is never removed.
QString copyName(const QString &databaseFile, const QDateTime &now);

// Where the database is kept before a restore: backup/<name>-before-restore-YYYYMMDD-HHMMSS.db,
// with "-2", "-3", ... when the name (or its damaged form) is taken.
QString beforeRestorePath(const QString &databaseFile, const QDateTime &when);

struct Result
{
    QString written;        // the copy written; empty when none was due
    bool damaged = false;   // the copy failed its check: the database is damaged
    QString problem;        // the check's report on a damaged copy
    QString failure;        // why no copy could be written
};

// Makes a copy when one is due (for a Kelvara database file only, never of a server's database),
// checked with integrity_check, and trims the folder: kept good copies stay, and kept damaged
// ones. The copy just written always stays; copies stamped in the future go before those
// stamped up to now, which go oldest first. Throws DatabaseError.
Result run(const QString &databaseFile, const QDateTime &now, const std::atomic<bool> *stop = nullptr);

// What the operator is told after a damaged or failed copy: what happened, the latest good copy
// and how to bring it back. Empty when there is nothing to tell.
QString notice(const QString &databaseFile, const Result &result);

}

// Runs AutoBackup::run on a worker thread; the destructor stops an unfinished copy (leaving no
// partial file) and waits for the thread.
class BackupWorker
{
public:
    explicit BackupWorker(const QString &databaseFile, const QDateTime &now = QDateTime::currentDateTime());
    ~BackupWorker();
    BackupWorker(const BackupWorker &) = delete;
    BackupWorker &operator=(const BackupWorker &) = delete;

    // Waits for the copy; the copy written (empty when none was due) and the failure text, if any.
    void wait();
    // Whether the copy is over, so that result() can be read without waiting.
    bool finished() const { return m_finished; }
    AutoBackup::Result result() const { return m_result; }
    QString written() const { return m_result.written; }
    QString failure() const { return m_result.failure; }

private:
    std::atomic<bool> m_stop{ false };
    std::atomic<bool> m_finished{ false };
    AutoBackup::Result m_result;
    std::thread m_thread;
};
