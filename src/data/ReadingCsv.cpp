#include "ReadingCsv.h"

#include "UCommon.h"

#include <QRegularExpression>
#include <QStringDecoder>

#include <algorithm>
#include <limits>

namespace ReadingCsv {

std::optional<QDate> parseReadingDate(const QString &text)
{
    static const QRegularExpression iso(QStringLiteral("^[0-9]{4}-[0-9]{2}-[0-9]{2}$"));
    if (!iso.match(text).hasMatch())
        return std::nullopt;
    const QDate date = QDate::fromString(text, QStringLiteral("yyyy-MM-dd"));
    if (!date.isValid())
        return std::nullopt;
    return date;
}

std::optional<qint32> parseCounterValue(const QString &text)
{
    static const QRegularExpression whole(QStringLiteral("^-?[0-9]+$"));
    if (!whole.match(text).hasMatch())
        return std::nullopt;
    bool ok = false;
    const qint64 value = text.toLongLong(&ok);
    if (!ok || value < std::numeric_limits<qint32>::min() || value > std::numeric_limits<qint32>::max())
        return std::nullopt;
    return qint32(value);
}

QString badCounterText(const QString &text)
{
    return QStringLiteral("counter value \"%1\" is not a whole number from -2147483648 to 2147483647").arg(text);
}

QString badDateText(const QString &text)
{
    return QStringLiteral("reading date \"%1\" is not a date written YYYY-MM-DD").arg(text);
}

std::optional<QStringList> splitFields(const QString &line)
{
    QStringList fields;
    QString field;
    bool quoted = false;
    bool afterQuote = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line.at(i);
        if (quoted) {
            if (c != u'"') {
                field += c;
            } else if (i + 1 < line.size() && line.at(i + 1) == u'"') {
                field += c;
                ++i;
            } else {
                quoted = false;
                afterQuote = true;
            }
        } else if (c == u',') {
            fields << field;
            field.clear();
            afterQuote = false;
        } else if (c == u'"' && TrimBlanks(field).isEmpty() && !afterQuote) {
            field.clear();
            quoted = true;
        } else if (afterQuote && c.unicode() > u' ') {
            return std::nullopt;
        } else if (!afterQuote) {
            field += c;
        }
    }
    if (quoted)
        return std::nullopt;
    fields << field;
    for (QString &f : fields)
        f = TrimBlanks(f);
    return fields;
}

Parsed parse(const QByteArray &content)
{
    Parsed parsed;
    bool firstLine = true;
    const QList<QByteArray> rawLines = content.split('\n');
    for (int i = 0; i < rawLines.size(); ++i) {
        const int number = i + 1;
        QByteArray raw = rawLines.at(i);
        if (raw.endsWith('\r'))
            raw.chop(1);
        // Files joined from several exports carry a byte order mark at the start of each part.
        if (raw.startsWith("\xEF\xBB\xBF"))
            raw.remove(0, 3);
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString text = utf8.decode(raw);
        auto bad = [&](const QString &reason) {
            parsed.errors << QStringLiteral("line %1: %2").arg(number).arg(reason);
        };
        if (utf8.hasError()) {
            bad(QStringLiteral("not UTF-8 text"));
            continue;
        }
        if (TrimBlanks(text).isEmpty())
            continue;
        const bool header = firstLine;
        firstLine = false;
        const std::optional<QStringList> fields = splitFields(text);
        if (!fields) {
            bad(QStringLiteral("unbalanced double quote"));
            continue;
        }
        if (fields->size() != 3) {
            bad(QStringLiteral("%1 fields where 3 are expected: meter number,YYYY-MM-DD,counter value")
                    .arg(fields->size()));
            continue;
        }
        const std::optional<QDate> date = parseReadingDate(fields->at(1));
        const std::optional<qint32> counter = parseCounterValue(fields->at(2));
        // A first line with neither a date nor a number in its places names the columns.
        if (header && !date && std::none_of(fields->at(2).cbegin(), fields->at(2).cend(), [](QChar c) {
                return c >= u'0' && c <= u'9';
            }))
            continue;
        if (fields->at(0).isEmpty())
            bad(QStringLiteral("no meter number"));
        else if (!date)
            bad(badDateText(fields->at(1)));
        else if (!counter)
            bad(badCounterText(fields->at(2)));
        else
            parsed.lines.append({ number, fields->at(0), *date, *counter });
    }
    return parsed;
}

}
