// Schema.h: the tables and their columns in declaration order; each engine (Engine.h) writes the
// statements that create them.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

class QSqlDatabase;

enum class FieldKind { Text, Integer, Currency, Date, DateTime, Unknown };

struct ColumnDef
{
    QString name;
    FieldKind kind = FieldKind::Unknown;
    int size = 0;              // maximum length of a text column, 0 when unlimited
    bool autoIncrement = false;
    bool wide = false;         // a 64-bit integer (identifiers); other integers hold 32 bits
};

namespace Schema {

// 2: the meter exchanges; 3: the confirmed passes over a counter's maximum.
constexpr int Version = 3;

// Columns of a table in declaration order; empty for a name that is not one of the tables.
QList<ColumnDef> columns(const QString &table);

// Creates every table, index and function of the schema in one transaction, with the statements
// of the connection's engine, in a database that holds no tables; throws DatabaseError.
void create(QSqlDatabase &db);

// Brings a database of an earlier version up to this one (the tables it lacks, then the version),
// in one transaction; true when it changed anything. Throws DatabaseError.
bool upgrade(QSqlDatabase &db);

}
