#include "Commands.h"

#include "Database.h"
#include "DemoData.h"
#include "Schema.h"

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
        QSqlDatabase db = Database::open(ctx.database, connection, Database::OpenMode::Create);
        Schema::create(db);
        if (demo)
            DemoData::writeMasterData(db);
    } catch (const DatabaseError &e) {
        Database::close(connection);
        ctx.err << "kelvara-cli: " << e.text() << "\n";
        return ExitDatabase;
    }
    Database::close(connection);
    ctx.out << "created " << ctx.database << "\n";
    if (demo)
        ctx.out << "demo password: " << DemoData::Password << "\n";
    return ExitDone;
}
