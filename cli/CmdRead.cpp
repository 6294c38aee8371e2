#include "Commands.h"

#include "Database.h"
#include "ReadingStore.h"
#include "UCommon.h"

#include <QFileInfo>

using ReadingCsv::badCounterText;
using ReadingCsv::badDateText;

namespace {

const char *readUsage =
    "usage: kelvara-cli [--database FILE|URI] read [--date YYYY-MM-DD] [--replace] [--rollover] [--strict] METER COUNTER\n";

}

ReadingSession::ReadingSession(bool rollover)
{
    SetMessageSink([this](const QString &text) { messages << text; });
    manager.SetRolloverConfirmation([this, rollover](qint32 typed, qint32 previous) {
        if (!rollover)
            messages << RolloverQuestionText(typed, previous) + QStringLiteral(" (--rollover stores it as a rollover)");
        return rollover;
    });
    // A rollover is unusual as well: --rollover answers for a whole file, so a slip to a low
    // value is warned of and refused by --strict like any other unusual reading.
    manager.SetUnusualConfirmation([this](const UnusualReading &reading) {
        unusual << reading;
        return true;
    });
}

QString unusualLine(const UnusualReading &reading)
{
    QString line = QStringLiteral("unusual reading %1 %2: consumption %3, ")
                       .arg(reading.MeterNO, reading.TakeTime.toString(Qt::ISODate))
                       .arg(reading.CurValue);
    if (reading.rollover)
        line += QStringLiteral("the counter passed its maximum");
    if (!reading.usual.isEmpty())
        line += (reading.rollover ? QStringLiteral(", ") : QString()) + QStringLiteral("usual %1 a day").arg(reading.usual);
    return line;
}

ReadingSession::~ReadingSession()
{
    SetMessageSink({});
}

QString ReadingSession::refusalText()
{
    QString text = takeMessages();
    if (!store.refusal().isEmpty())
        text += (text.isEmpty() ? QString() : QStringLiteral("\n")) + store.refusal();
    return text;
}

QString ReadingSession::failureText(const DatabaseError &e)
{
    const QString failure = e.operatorText();
    messages.removeAll(failure);
    QString text = takeMessages();
    return text + (text.isEmpty() ? QString() : QStringLiteral("\n")) + QStringLiteral("kelvara-cli: ") + failure;
}

QString ReadingSession::takeMessages()
{
    const QString text = messages.join(u'\n');
    messages.clear();
    return text;
}

int cmdRead(CliContext &ctx)
{
    std::optional<QDate> date = QDate::currentDate();
    bool replace = false;
    bool rollover = false;
    bool strict = false;
    QStringList words;
    bool optionsEnd = false;
    for (int i = 0; i < ctx.args.size(); ++i) {
        const QString &a = ctx.args.at(i);
        if (optionsEnd || !a.startsWith(u"--")) {
            words << a;
        } else if (a == u"--") {
            optionsEnd = true;
        } else if (a == u"--replace") {
            replace = true;
        } else if (a == u"--rollover") {
            rollover = true;
        } else if (a == u"--strict") {
            strict = true;
        } else if (a == u"--date" && i + 1 < ctx.args.size()) {
            date = ReadingCsv::parseReadingDate(ctx.args.at(++i));
            if (!date) {
                ctx.err << "kelvara-cli: " << badDateText(ctx.args.at(i)) << "\n";
                return ExitUsage;
            }
        } else {
            ctx.err << readUsage;
            return ExitUsage;
        }
    }
    if (words.size() != 2 || TrimBlanks(words.at(0)).isEmpty()) {
        ctx.err << readUsage;
        return ExitUsage;
    }
    const QString meterNo = TrimBlanks(words.at(0));
    const std::optional<qint32> counter = ReadingCsv::parseCounterValue(words.at(1));
    if (!counter) {
        ctx.err << "kelvara-cli: " << badCounterText(words.at(1)) << "\n";
        return ExitUsage;
    }
    if (!Database::exists()) {
        ctx.err << "kelvara-cli: no database at " << Database::displayName() << "\n";
        return ExitDatabase;
    }

    std::optional<StoredReading> row;
    {
        ReadingSession session(rollover);
        try {
            bool refusedAsUnusual = false;
            runTransaction(Database::connection(), [&] {
                session.unusual.clear();
                row = session.store.write(meterNo, *counter, *date, replace);
                // An unusual reading is stored with a warning; --strict refuses it.
                refusedAsUnusual = row && strict && !session.unusual.isEmpty();
                return row && !refusedAsUnusual;
            });
            if (refusedAsUnusual) {
                ctx.err << "kelvara-cli: " << unusualLine(session.unusual.constFirst()) << "\n";
                ctx.err << "kelvara-cli: not stored (--strict)\n";
                return ExitRefused;
            }
        } catch (const DatabaseError &e) {
            ctx.err << session.failureText(e) << "\n";
            return ExitDatabase;
        }
        if (!row) {
            ctx.err << session.refusalText() << "\n";
            return ExitRefused;
        }
        for (const UnusualReading &u : std::as_const(session.unusual))
            ctx.err << "kelvara-cli: " << unusualLine(u) << "\n";
    }
    ctx.out << row->MeterID << '\t' << row->TakeTime.toString(Qt::ISODate) << '\t' << row->TakeNumber << '\t'
            << row->CurValue << '\t' << row->Charge.toString(4) << '\t' << row->QuotaCharge.toString(4) << "\n";
    return ExitDone;
}
