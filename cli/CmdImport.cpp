#include "Commands.h"

#include "Database.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace {

const char *importUsage = "usage: kelvara-cli [--database FILE|URI] import [--replace] [--rollover] [--strict] FILE.csv\n";

// Imports of more lines than this report their progress.
constexpr int progressStep = 1000;

}

int cmdImport(CliContext &ctx)
{
    bool replace = false;
    bool rollover = false;
    bool strict = false;
    QStringList words;
    for (const QString &a : std::as_const(ctx.args)) {
        if (a == u"--replace")
            replace = true;
        else if (a == u"--rollover")
            rollover = true;
        else if (a == u"--strict")
            strict = true;
        else if (a.startsWith(u"--")) {
            ctx.err << importUsage;
            return ExitUsage;
        } else
            words << a;
    }
    if (words.size() != 1 || words.first().isEmpty()) {
        ctx.err << importUsage;
        return ExitUsage;
    }
    QFile file(words.first());
    if (!file.open(QIODevice::ReadOnly)) {
        ctx.err << "kelvara-cli: cannot read " << words.first() << ": " << file.errorString() << "\n";
        return ExitUsage;
    }
    const QByteArray content = file.readAll();
    if (!Database::exists()) {
        ctx.err << "kelvara-cli: no database at " << Database::displayName() << "\n";
        return ExitDatabase;
    }

    auto [lines, errors] = ReadingCsv::parse(content);
    if (!errors.isEmpty()) {
        for (const QString &e : std::as_const(errors))
            ctx.err << "kelvara-cli: " << e << "\n";
        ctx.err << "kelvara-cli: nothing stored\n";
        return ExitRefused;
    }

    // Each reading is measured from the one before it, so the dates go in order.
    std::stable_sort(lines.begin(), lines.end(),
                     [](const ReadingCsv::Line &a, const ReadingCsv::Line &b) { return a.date < b.date; });
    ReadingSession session(rollover);
    // The whole file is entered at once, on one day.
    session.store.setInputDate(QDate::currentDate());
    // With --replace a line may correct a reading that a later line corrects again: each is
    // checked against the file's own later lines, not against what they replace.
    QHash<QPair<QString, QDate>, int> lastLine;
    int current = 0;
    if (replace) {
        for (int i = 0; i < lines.size(); ++i)
            lastLine[{ MeterKey(lines.at(i).meterNo), lines.at(i).date }] = i;
        session.store.setPendingChanges([&](const QString &meterNo, const QDate &date) {
            return lastLine.value({ MeterKey(meterNo), date }, -1) > current;
        });
    }
    try {
        int stored = 0;
        QString refused;
        // The unusual lines, each measured from the lines before it as stored.
        QStringList unusual;
        // All lines or none; a deadlock with another writer runs the whole import again.
        const bool done = runTransaction(Database::connection(), [&] {
            stored = 0;
            unusual.clear();
            session.takeMessages();
            for (const ReadingCsv::Line &line : std::as_const(lines)) {
                current = stored;
                session.unusual.clear();
                if (!session.store.write(line.meterNo, line.counter, line.date, replace)) {
                    refused = QStringLiteral("line %1: %2").arg(QString::number(line.number), session.refusalText());
                    return false;
                }
                for (const UnusualReading &u : std::as_const(session.unusual))
                    unusual << QStringLiteral("kelvara-cli: line %1: %2").arg(line.number).arg(unusualLine(u));
                ++stored;
                if (lines.size() > progressStep && stored % progressStep == 0) {
                    ctx.err << "kelvara-cli: " << stored << " of " << lines.size() << " readings computed\n";
                    ctx.err.flush();
                }
            }
            // With --strict an unusual line refuses the whole file, after every line was looked at.
            return !(strict && !unusual.isEmpty());
        });
        if (!done && refused.isEmpty() && !unusual.isEmpty()) {
            for (const QString &warning : std::as_const(unusual))
                ctx.err << warning << "\n";
            ctx.err << "kelvara-cli: nothing stored (--strict)\n";
            return ExitRefused;
        }
        if (!done) {
            ctx.err << "kelvara-cli: " << refused << "\n";
            ctx.err << "kelvara-cli: nothing stored\n";
            return ExitRefused;
        }
        for (const QString &warning : std::as_const(unusual))
            ctx.err << warning << "\n";
        ctx.out << "stored " << stored << (stored == 1 ? " reading\n" : " readings\n");
    } catch (const DatabaseError &e) {
        ctx.err << session.failureText(e) << "\n";
        ctx.err << "kelvara-cli: nothing stored\n";
        return ExitDatabase;
    }
    return ExitDone;
}
