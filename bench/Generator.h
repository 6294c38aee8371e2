// Generator.h: a database of many meters and years of daily readings for measurements: master
// data shaped like a real site's, counters that rise and sometimes pass their maximum, and
// charges computed by the program's own arithmetic.
#pragma once

#include <QDate>
#include <QString>
#include <functional>

namespace BenchGenerator {

struct Options
{
    int meters = 2000;
    int days = 3650;
    QDate firstDay = QDate(2015, 1, 1);
    quint32 randomStart = 20150101u;
};

// Creates file (which must not exist) with the schema, the master data and one reading per
// meter and day, stored date after date as the office types them. progress, when set, hears the
// number of days written. Throws DatabaseError.
void generate(const QString &file, const Options &options, const std::function<void(int)> &progress = {});

// The number of meter i (0-based) as the generator registers it: water meters "S" and
// electricity meters "D" followed by five digits.
QString meterNumber(int index);

// The last reading date of a database made with these options.
QDate lastDay(const Options &options);

}
