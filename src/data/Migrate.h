// Migrate.h: copies a Kelvara database into an empty one, on a PostgreSQL server or into a new
// SQLite file: every table, the same identifiers, the same figures, in one transaction that is
// committed only after the copy's row counts and sums equal the source's.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

namespace Migrate {

// One table as the check saw it on both sides: its row count and the sums of its number columns.
struct TableFigures
{
    QString table;
    qint64 rows = 0;
    QStringList sums;   // "Column=sum", for every amount and count column of the table
};

struct Result
{
    QString refused;              // why nothing was copied; empty when the copy was made
    QList<TableFigures> tables;   // the figures both databases agree on
};

// Tells how far the copy of a large table is: the table and the rows copied of it so far, every
// 500,000 rows.
using Progress = std::function<void(const QString &table, qint64 rows)>;

// Copies the database at from (a file or a server address) into to: a file that does not exist
// yet, or a server database that holds no table. A source that is no Kelvara database, a target
// that is not empty, or figures that differ after the copy are refused with nothing written.
// A database failure throws DatabaseError, and nothing is written then either.
Result copy(const QString &from, const QString &to, const Progress &progress = {});

}
