#include "Commands.h"

#include "Database.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <algorithm>

namespace {

const char *importUsage = "usage: kelvara-cli [--database FILE] import [--replace] [--rollover] FILE.csv\n";

// Imports of more lines than this report their progress.
constexpr int progressStep = 1000;

struct Line
{
    int number = 0;           // line number in the file, from 1
    QString meterNo;
    QDate date;
    qint32 counter = 0;
};

// Splits one CSV line: fields separated by commas, a field in double quotes may hold commas and
// doubled quotes. Nothing when a quote is left open or text follows a closing quote.
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

}

int cmdImport(CliContext &ctx)
{
    bool replace = false;
    bool rollover = false;
    QStringList words;
    for (const QString &a : std::as_const(ctx.args)) {
        if (a == u"--replace")
            replace = true;
        else if (a == u"--rollover")
            rollover = true;
        else if (a.startsWith(u"--")) {
            ctx.err << importUsage;
            return ExitUsage;
        } else
            words << a;
    }
    if (words.size() != 1) {
        ctx.err << importUsage;
        return ExitUsage;
    }
    QFile file(words.first());
    if (!file.open(QIODevice::ReadOnly)) {
        ctx.err << "kelvara-cli: cannot read " << words.first() << ": " << file.errorString() << "\n";
        return ExitUsage;
    }
    QByteArray content = file.readAll();
    if (content.startsWith("\xEF\xBB\xBF"))
        content.remove(0, 3);
    if (!QFileInfo::exists(ctx.database)) {
        ctx.err << "kelvara-cli: no database at " << ctx.database << "\n";
        return ExitDatabase;
    }

    QList<Line> lines;
    QStringList errors;
    bool firstLine = true;
    const QList<QByteArray> rawLines = content.split('\n');
    for (int i = 0; i < rawLines.size(); ++i) {
        const int number = i + 1;
        QByteArray raw = rawLines.at(i);
        if (raw.endsWith('\r'))
            raw.chop(1);
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString text = utf8.decode(raw);
        auto bad = [&](const QString &reason) {
            errors << QStringLiteral("line %1: %2").arg(number).arg(reason);
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
            lines.append({ number, fields->at(0), *date, *counter });
    }
    if (!errors.isEmpty()) {
        for (const QString &e : std::as_const(errors))
            ctx.err << "kelvara-cli: " << e << "\n";
        ctx.err << "kelvara-cli: nothing stored\n";
        return ExitRefused;
    }

    // Each reading is measured from the one before it, so the dates go in order.
    std::stable_sort(lines.begin(), lines.end(), [](const Line &a, const Line &b) { return a.date < b.date; });
    ReadingSession session(rollover);
    try {
        Transaction tx(Database::connection());
        int stored = 0;
        for (const Line &line : std::as_const(lines)) {
            if (!session.store.write(line.meterNo, line.counter, line.date, replace)) {
                ctx.err << "kelvara-cli: line " << line.number << ": " << session.takeMessages() << "\n";
                ctx.err << "kelvara-cli: nothing stored\n";
                return ExitRefused;
            }
            ++stored;
            if (lines.size() > progressStep && stored % progressStep == 0) {
                ctx.err << "kelvara-cli: " << stored << " of " << lines.size() << " readings computed\n";
                ctx.err.flush();
            }
        }
        tx.commit();
        ctx.out << "stored " << stored << " readings\n";
    } catch (const DatabaseError &e) {
        const QString shown = session.takeMessages();
        if (!shown.isEmpty())
            ctx.err << shown << "\n";
        ctx.err << "kelvara-cli: " << e.operatorText() << "\n";
        ctx.err << "kelvara-cli: nothing stored\n";
        return ExitDatabase;
    }
    return ExitDone;
}
