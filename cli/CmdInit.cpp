#include "Commands.h"

#include "Database.h"
#include "DemoData.h"
#include "Engine.h"
#include "Schema.h"

#include <QDate>
#include <QFileInfo>

int cmdInit(CliContext &ctx)
{
    bool demo = false;
    for (const QString &a : std::as_const(ctx.args)) {
        if (a == u"--demo")
            demo = true;
        else {
            ctx.err << "usage: kelvara-cli [--database FILE|URI] init [--demo]\n";
            return ExitUsage;
        }
    }
    const Engine &engine = Engine::forLocation(ctx.database);
    const QString shown = engine.displayName(ctx.database);
    if (engine.isFile() && QFileInfo::exists(ctx.database)) {
        ctx.err << "kelvara-cli: " << ctx.database << " already exists; init never touches an existing file\n";
        return ExitRefused;
    }
    const QString connection = QStringLiteral("kelvara-init");
    try {
        {
            QSqlDatabase db = Database::open(ctx.database, connection, Database::OpenMode::Create);
            // A server's database is made by its administrator; init fills it only while it is empty.
            const QStringList tables = engine.tables(db);
            if (!tables.isEmpty()) {
                db = QSqlDatabase();
                Database::close(connection);
                ctx.err << "kelvara-cli: " << shown << " already holds tables (" << tables.join(QStringLiteral(", "))
                        << "); init only fills an empty database\n";
                return ExitRefused;
            }
            Schema::create(db);
            if (demo)
                DemoData::writeMasterData(db);
        }
        Database::close(connection);
        // The readings go through the data manager, which works on the program's database.
        if (demo) {
            Database::setPath(ctx.database);
            DemoData::writeReadings(QDate::currentDate().addDays(-1));
            Database::closeConnection();
        }
    } catch (const DatabaseError &e) {
        Database::close(connection);
        Database::closeConnection();
        ctx.err << "kelvara-cli: " << e.operatorText() << "\n";
        return ExitDatabase;
    }
    ctx.out << "created " << (engine.isFile() ? ctx.database : QStringLiteral("the tables in ") + shown) << "\n";
    if (demo)
        ctx.out << "demo password: " << DemoData::Password << "\n";
    return ExitDone;
}
