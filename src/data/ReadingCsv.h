// ReadingCsv.h: the text forms of readings brought in from outside: a date, a counter value and
// the lines "meter number,YYYY-MM-DD,counter value" of a CSV file.
#pragma once

#include <QByteArray>
#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace ReadingCsv {

// YYYY-MM-DD exactly, a date that exists.
std::optional<QDate> parseReadingDate(const QString &text);
// An optional minus sign with decimal digits, within 32 bits.
std::optional<qint32> parseCounterValue(const QString &text);
QString badDateText(const QString &text);
QString badCounterText(const QString &text);

// Splits one line: fields separated by commas; a field in double quotes may hold commas and
// doubled quotes. Fields are trimmed of blanks. Nothing when a quote is left open or text
// follows a closing quote.
std::optional<QStringList> splitFields(const QString &line);

struct Line
{
    int number = 0;           // line number in the file, from 1
    QString meterNo;
    QDate date;
    qint32 counter = 0;
};

struct Parsed
{
    QList<Line> lines;        // in file order
    QStringList errors;       // "line N: reason", in file order
};

// Reads a whole file: UTF-8, lines ending in LF or CRLF, a byte order mark at the start of any
// line dropped.
// Blank lines are passed over, and so is a first line that names the columns (neither a date
// nor a digit in their places). Every other line is a reading or an error with its reason.
Parsed parse(const QByteArray &content);

}
