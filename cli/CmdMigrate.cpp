#include "Commands.h"

#include "Database.h"
#include "Engine.h"
#include "Migrate.h"

#include <QElapsedTimer>

namespace {

const char *migrateUsage =
    "usage: kelvara-cli [--database FILE|URI] migrate [--from FILE|URI] --to FILE|URI\n";

}

int cmdMigrate(CliContext &ctx)
{
    QString from = ctx.database;
    QString to;
    for (int i = 0; i < ctx.args.size(); ++i) {
        const QString &a = ctx.args.at(i);
        if ((a == u"--from" || a == u"--to") && i + 1 < ctx.args.size() && !ctx.args.at(i + 1).isEmpty())
            (a == u"--from" ? from : to) = ctx.args.at(++i);
        else {
            ctx.err << migrateUsage;
            return ExitUsage;
        }
    }
    if (to.isEmpty()) {
        ctx.err << migrateUsage;
        return ExitUsage;
    }
    for (const QString &location : { from, to }) {
        const QString problem = Engine::forLocation(location).locationProblem(location);
        if (!problem.isEmpty()) {
            ctx.err << "kelvara-cli: " << Engine::forLocation(location).displayName(location) << ": " << problem << "\n";
            return ExitUsage;
        }
    }
    const QString shownFrom = Engine::forLocation(from).displayName(from);
    const QString shownTo = Engine::forLocation(to).displayName(to);
    if (Engine::forLocation(from).isFile() && !Engine::forLocation(from).exists(from)) {
        ctx.err << "kelvara-cli: no database at " << shownFrom << "\n";
        return ExitDatabase;
    }
    QElapsedTimer clock;
    clock.start();
    Migrate::Result result;
    try {
        result = Migrate::copy(from, to, [&](const QString &table, qint64 rows) {
            ctx.err << "kelvara-cli: " << table << ": " << rows << " rows copied\n";
            ctx.err.flush();
        });
    } catch (const DatabaseError &e) {
        ctx.err << "kelvara-cli: " << e.operatorText() << "\n";
        ctx.err << "kelvara-cli: nothing copied\n";
        return ExitDatabase;
    }
    if (!result.refused.isEmpty()) {
        ctx.err << "kelvara-cli: " << result.refused << "\n";
        ctx.err << "kelvara-cli: nothing copied\n";
        return ExitRefused;
    }
    ctx.out << "copied " << shownFrom << " to " << shownTo << " in " << QString::number(clock.elapsed() / 1000.0, 'f', 1)
            << " s; rows and sums checked:\n";
    for (const Migrate::TableFigures &t : std::as_const(result.tables))
        ctx.out << "  " << t.table << ": " << t.rows << (t.rows == 1 ? " row" : " rows")
                << (t.sums.isEmpty() ? QString() : QStringLiteral(", ") + t.sums.join(QStringLiteral(", "))) << "\n";
    return ExitDone;
}
