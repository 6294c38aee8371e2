// SqliteFile.h: the database file itself: checked copies. Nothing here leaves a half-made file
// under a name that counts.
#pragma once

#include <QString>

#include <atomic>

struct sqlite3;

namespace SqliteFile {

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
// damagedName(destination) instead. Leftovers of copies whose process has ended are removed
// first. The source stays readable and writable by the program meanwhile. Throws DatabaseError
// (and leaves no file) when the copy cannot be written or *stop turns true.
Copy copy(sqlite3 *source, const QString &destination, Check check = Check::Quick,
          const std::atomic<bool> *stop = nullptr);

// Removes what copies of ended processes left in folder: <name>.<pid>.kelvara-part and the
// files SQLite keeps beside it.
// Returns how many files went.
int removeLeftovers(const QString &folder);

}
