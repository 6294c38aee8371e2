// ReadingFixture.h: a database with the meters the reading tests type, and readers of the
// stored readings.
#pragma once

#include "MessageRecorder.h"
#include "TestDatabase.h"
#include "UCommon.h"

#include <QStringList>

// Meter W is the worked example: 0.5000 within a quota of 100.0000, 0.8000 beyond, base 1000,
// maximum 9999, additional quantity 5, multiplier 10. The others are plain: 1.0000 a unit, no
// quota, base 0, maximum 9999; their numbers share beginnings (10, 101, 10A; 2001 alone under 20)
// or hold quotes and semicolons.
struct ReadingFixture
{
    TestDatabase t;
    TKelvaraMg mg;
    MessageRecorder rec;

    ReadingFixture();
    ~ReadingFixture();

    // Every stored reading as "MeterID TakeTime TakeNumber CurValue Charge QuotaCharge InputDate?",
    // ordered by date and meter; InputDate shows as "today" when it is today.
    QStringList stored() const;
};

QStringList plainMeters();
