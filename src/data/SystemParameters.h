// SystemParameters.h: one submission of the using unit's name and password: the parameter row,
// the clearing of the data a new name brings and the organisation's root row, all or nothing.
#pragma once

#include <QDateTime>
#include <QSqlDatabase>
#include <QString>

namespace SystemParameters {

struct Submission
{
    QString unitName;           // trimmed
    QString password;           // trimmed, as typed; stored through PasswordForStorage
    bool clearData = false;     // the name differs from the root row's: the data start afresh
};

enum class Outcome {
    Done,                       // every statement written and committed
    BackupFailed,               // the copy could not be written or found the database damaged;
                                // nothing was changed
    Failed,                     // a statement failed; the whole submission was rolled back
};

struct Result
{
    Outcome outcome = Outcome::Failed;
    QString reason;             // the engine's text when not Done
    QString backupFile;         // the copy written before the data were cleared
};

// The statement that reads the parameter row.
QString selectSql();

// Where the copy made before a clearing goes: backup/Kelvara-YYYYMMDD-HHMMSS.db beside the
// database file. A copy is never overwritten: "-2", "-3", ... follow when the name is taken.
QString backupPath(const QString &databaseFile, const QDateTime &when);

// Writes the one parameter row: the first row is updated (any further rows deleted), or the row
// is inserted into an empty table. With clearData it first copies a database file (a copy that
// fails its check stops the submission; a server's database is not copied), then deletes every
// reading, meter, price and
// workshop; meter types and the parameter row stay. Last it writes the root row: the using
// unit's row is renamed, or made again (identifier 1, level 0, parent 0) when there is none.
Result submit(QSqlDatabase db, const QString &databaseFile, const Submission &submission,
              const QDateTime &when = QDateTime::currentDateTime());

}
