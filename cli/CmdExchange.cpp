#include "Commands.h"

#include "Database.h"
#include "ReadingStore.h"
#include "UCommon.h"


using ReadingCsv::badCounterText;
using ReadingCsv::badDateText;

namespace {

const char *exchangeUsage =
    "usage: kelvara-cli [--database FILE|URI] exchange [--date YYYY-MM-DD] [--max-bound N] [--type TEXT] [--note TEXT]\n"
    "                   [--replace] [--rollover] METER OLD_FINAL NEW_INITIAL\n"
    "       kelvara-cli [--database FILE|URI] exchange --delete [--date YYYY-MM-DD] METER\n";

}

int cmdExchange(CliContext &ctx)
{
    std::optional<QDate> date = QDate::currentDate();
    ExchangeRequest request;
    bool replace = false;
    bool rollover = false;
    bool remove = false;
    QStringList words;
    bool optionsEnd = false;
    for (int i = 0; i < ctx.args.size(); ++i) {
        const QString &a = ctx.args.at(i);
        const bool valued = i + 1 < ctx.args.size();
        if (optionsEnd || !a.startsWith(u"--")) {
            words << a;
        } else if (a == u"--") {
            optionsEnd = true;
        } else if (a == u"--replace") {
            replace = true;
        } else if (a == u"--rollover") {
            rollover = true;
        } else if (a == u"--delete") {
            remove = true;
        } else if (a == u"--date" && valued) {
            date = ReadingCsv::parseReadingDate(ctx.args.at(++i));
            if (!date) {
                ctx.err << "kelvara-cli: " << badDateText(ctx.args.at(i)) << "\n";
                return ExitUsage;
            }
        } else if (a == u"--max-bound" && valued) {
            const QString text = ctx.args.at(++i);
            bool ok = false;
            const qint64 maxBound = text.toLongLong(&ok);
            if (!ok || maxBound < 1 || !text.at(0).isDigit()) {
                ctx.err << "kelvara-cli: --max-bound needs a whole number above 0, not \"" << text << "\"\n";
                return ExitUsage;
            }
            request.NewMaxBound = maxBound;
        } else if (a == u"--type" && valued) {
            request.Type = TrimBlanks(ctx.args.at(++i));
        } else if (a == u"--note" && valued) {
            request.Note = TrimBlanks(ctx.args.at(++i));
        } else {
            ctx.err << exchangeUsage;
            return ExitUsage;
        }
    }
    if (words.size() != (remove ? 1 : 3) || TrimBlanks(words.at(0)).isEmpty()
        || (remove && (replace || rollover || request.NewMaxBound || request.Type || !request.Note.isEmpty()))) {
        ctx.err << exchangeUsage;
        return ExitUsage;
    }
    request.MeterNO = TrimBlanks(words.at(0));
    request.ExchangeDate = *date;
    if (!remove) {
        const std::optional<qint32> oldFinal = ReadingCsv::parseCounterValue(words.at(1));
        const std::optional<qint32> newInitial = ReadingCsv::parseCounterValue(words.at(2));
        for (const auto &[value, text] : { std::pair{ oldFinal, words.at(1) }, std::pair{ newInitial, words.at(2) } })
            if (!value) {
                ctx.err << "kelvara-cli: " << badCounterText(text) << "\n";
                return ExitUsage;
            }
        request.OldFinal = *oldFinal;
        request.NewInitial = *newInitial;
    }
    if (!Database::exists()) {
        ctx.err << "kelvara-cli: no database at " << Database::displayName() << "\n";
        return ExitDatabase;
    }

    ReadingSession session(rollover);
    std::optional<StoredExchange> row;
    try {
        if (remove) {
            if (!session.store.eraseExchange(request.MeterNO, request.ExchangeDate)) {
                ctx.err << session.refusalText() << "\n";
                return ExitRefused;
            }
            ctx.out << "deleted the exchange of " << request.MeterNO << " on "
                    << request.ExchangeDate.toString(Qt::ISODate) << "\n";
            return ExitDone;
        }
        row = session.store.storeExchange(request, replace);
    } catch (const DatabaseError &e) {
        ctx.err << session.failureText(e) << "\n";
        return ExitDatabase;
    }
    if (!row) {
        ctx.err << session.refusalText() << "\n";
        return ExitRefused;
    }
    ctx.out << row->MeterID << '\t' << row->ExchangeDate.toString(Qt::ISODate) << '\t' << row->OldFinal << '\t'
            << row->NewInitial << '\t' << row->NewMaxBound << "\n";
    // The later readings measured anew, as read prints a reading.
    for (const StoredReading &r : session.store.repriced())
        ctx.out << r.MeterID << '\t' << r.TakeTime.toString(Qt::ISODate) << '\t' << r.TakeNumber << '\t' << r.CurValue
                << '\t' << r.Charge.toString(4) << '\t' << r.QuotaCharge.toString(4) << "\n";
    return ExitDone;
}
