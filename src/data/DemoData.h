// DemoData.h: the demonstration data set written by "kelvara-cli init --demo".
#pragma once

#include <QString>

class QSqlDatabase;

namespace DemoData {

// The demonstration using unit's password.
inline const QString Password = QStringLiteral("1234");

// Writes the using unit, the organisation, types, prices and meters into an empty database,
// in one transaction. Throws DatabaseError.
void writeMasterData(QSqlDatabase &db);

}
