// AutoBackup.h: the daily copy of the database into the backup folder beside it, made by a
// worker thread with a connection of its own so that neither the start nor the operator waits.
#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <atomic>
#include <thread>

namespace AutoBackup {

// Copies kept in the folder; older ones are removed after each new copy.
constexpr int kept = 30;

// backup/ beside the database file, where the daily copies and the copy made before the system
// parameters clear the data go.
QString folderFor(const QString &databaseFile);

// The folder's copies of that database, oldest first (their names sort by time).
QStringList copies(const QString &databaseFile);

// True when the folder holds no copy made less than a day before now.
bool due(const QString &databaseFile, const QDateTime &now);

// The name of a copy made at now: <database name>-daily-YYYYMMDD-HHMMSS.db. Only these count and
// are trimmed; the copy made before the system parameters clear the data is never removed.
QString copyName(const QString &databaseFile, const QDateTime &now);

// Makes a copy when one is due and trims the folder to the latest kept copies; none of a server's
// database.
// Returns the copy written, or an empty string when none was due. Throws DatabaseError.
QString run(const QString &databaseFile, const QDateTime &now, const std::atomic<bool> *stop = nullptr);

}

// Runs AutoBackup::run on a worker thread; the destructor stops an unfinished copy (leaving no
// partial file) and waits for the thread.
class BackupWorker
{
public:
    explicit BackupWorker(const QString &databaseFile);
    ~BackupWorker();
    BackupWorker(const BackupWorker &) = delete;
    BackupWorker &operator=(const BackupWorker &) = delete;

    // Waits for the copy; the copy written (empty when none was due) and the failure text, if any.
    void wait();
    QString written() const { return m_written; }
    QString failure() const { return m_failure; }

private:
    std::atomic<bool> m_stop{ false };
    QString m_written;
    QString m_failure;
    std::thread m_thread;
};
