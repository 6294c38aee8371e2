// DemoData.h: the demonstration data set written by "kelvara-cli init --demo".
#pragma once

#include <QString>

class QDate;
class QSqlDatabase;

namespace DemoData {

// The demonstration using unit's password.
inline const QString Password = QStringLiteral("1234");

// Writes the using unit, the organisation, types, prices and meters into an empty database,
// in one transaction. Throws DatabaseError.
void writeMasterData(QSqlDatabase &db);

// Writes about three months of readings for every meter of the program's database, one every
// ten days up to lastDate, computed and stored through the reading services, in one
// transaction. The counters rise at a pace around each meter's quota, so some months exceed
// it, and the meters near their maximum count pass it. Throws DatabaseError.
void writeReadings(const QDate &lastDate);

}
