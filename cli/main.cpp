// main.cpp: kelvara-cli, the command-line tool: database creation and batch work.
#include "Commands.h"

#include "Database.h"
#include "Engine.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTextStream>
#include <csignal>

namespace {

const char *usageText =
    "usage: kelvara-cli [--database FILE|URI] COMMAND [ARGS]\n"
    "commands:\n"
    "  init [--demo]        create a new database (with --demo: a demonstration data set\n"
    "                       and three months of readings)\n"
    "  read [--date YYYY-MM-DD] [--replace] [--rollover] [--strict] METER COUNTER\n"
    "                       compute and store one reading (date: today); an unusual reading is\n"
    "                       stored with a warning, or refused with --strict\n"
    "  import [--replace] [--rollover] [--strict] FILE.csv\n"
    "                       store the readings of lines 'meter number,YYYY-MM-DD,counter value'\n"
    "  exchange [--date YYYY-MM-DD] [--max-bound N] [--type TEXT] [--note TEXT] [--replace]\n"
    "           [--rollover] METER OLD_FINAL NEW_INITIAL\n"
    "                       exchange the meter's counter (date: today); --replace corrects the\n"
    "                       exchange of the date, exchange --delete [--date D] METER deletes it\n"
    "  report summary|detail|classes --from YYYY-MM-DD --to YYYY-MM-DD [--workshop NAME]\n"
    "         [--format text|csv|pdf] [--output FILE]\n"
    "                       the period's report; detail needs --workshop (a workshop's name)\n"
    "  report unusual --from YYYY-MM-DD --to YYYY-MM-DD [--format text|csv] [--output FILE]\n"
    "                       the period's readings unlike their meter's usual consumption\n"
    "  restore BACKUP       replace the database file by a backup (with no program using it); the\n"
    "                       database as it was is kept in backup/ beside it first\n"
    "  migrate [--from FILE|URI] --to FILE|URI\n"
    "                       copy the database (--from, else --database) into an empty PostgreSQL\n"
    "                       database or a new file, in one transaction, checking rows and sums\n"
    "a URI is a PostgreSQL address: postgresql://USER@HOST:PORT/DBNAME, or settings such as\n"
    "service=NAME; its password comes from ~/.pgpass, the service file or PGPASSWORD\n";

}

int main(int argc, char *argv[])
{
    // A reader that goes away (report | head -1) is a failed write, reported with its cause and
    // status 3, not a silent death.
    std::signal(SIGPIPE, SIG_IGN);
    const std::unique_ptr<QCoreApplication> app = createCliApplication(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Kelvara"));
    QTextStream out(stdout);
    QTextStream err(stderr);

    QStringList args = QCoreApplication::arguments().mid(1);
    QString database = Database::defaultPath();
    if (!args.isEmpty() && args.first() == u"--database") {
        if (args.size() < 2) {
            err << usageText;
            return ExitUsage;
        }
        database = args.at(1);
        args = args.mid(2);
        // An empty name would open the default file, or create one named after the URI's options.
        const Engine &engine = Engine::forLocation(database);
        const QString problem = engine.locationProblem(database);
        if (!problem.isEmpty()) {
            if (engine.isFile())
                err << "kelvara-cli: --database needs the name of a database file or a PostgreSQL address, not \""
                    << database << "\"\n";
            else
                err << "kelvara-cli: --database " << engine.displayName(database) << ": " << problem << "\n";
            return ExitUsage;
        }
    }
    if (args.isEmpty()) {
        err << usageText;
        return ExitUsage;
    }
    Database::setPath(database);
    const QString command = args.takeFirst();
    CliContext ctx{ database, args, out, err };
    if (command == u"init")
        return cmdInit(ctx);
    if (command == u"read")
        return cmdRead(ctx);
    if (command == u"import")
        return cmdImport(ctx);
    if (command == u"report")
        return cmdReport(ctx);
    if (command == u"migrate")
        return cmdMigrate(ctx);
    if (command == u"restore")
        return cmdRestore(ctx);
    if (command == u"exchange")
        return cmdExchange(ctx);
    err << usageText;
    return ExitUsage;
}
