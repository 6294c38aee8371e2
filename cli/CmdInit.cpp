#include "Commands.h"

#include "Database.h"
#include "DemoData.h"
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
            ctx.err << "usage: kelvara-cli [--database FILE] init [--demo]\n";
            return ExitUsage;
        }
    }
    if (QFileInfo::exists(ctx.database)) {
        ctx.err << "kelvara-cli: " << ctx.database << " already exists; init never touches an existing file\n";
        return ExitRefused;
    }
    const QString connection = QStringLiteral("kelvara-init");
    try {
        {
            QSqlDatabase db = Database::open(ctx.database, connection, Database::OpenMode::Create);
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
    ctx.out << "created " << ctx.database << "\n";
    if (demo)
        ctx.out << "demo password: " << DemoData::Password << "\n";
    return ExitDone;
}
