#include "Commands.h"

#include "Database.h"
#include "DemoData.h"
#include "Schema.h"
#include "SqliteFile.h"

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
    // A link, even one to nothing, is refused: init would create or replace the file it names.
    if (QFileInfo(ctx.database).isSymLink()) {
        ctx.err << "kelvara-cli: " << ctx.database << " is a symbolic link; init creates a new file only\n";
        return ExitRefused;
    }
    if (QFileInfo::exists(ctx.database)) {
        ctx.err << "kelvara-cli: " << ctx.database << " already exists; init never touches an existing file\n";
        return ExitRefused;
    }
    const QString connection = QStringLiteral("kelvara-init");
    try {
        // Written under a temporary name and renamed when complete: a failure leaves nothing.
        SqliteFile::create(ctx.database, [&](const QString &temporary) {
            try {
                {
                    QSqlDatabase db = Database::open(temporary, connection, Database::OpenMode::Create);
                    Schema::create(db);
                    if (demo)
                        DemoData::writeMasterData(db);
                }
                Database::close(connection);
                // The readings go through the data manager, which works on the program's database.
                if (demo) {
                    Database::setPath(temporary);
                    DemoData::writeReadings(QDate::currentDate().addDays(-1));
                    Database::closeConnection();
                    Database::setPath(ctx.database);
                }
            } catch (...) {
                Database::close(connection);
                Database::closeConnection();
                throw;
            }
        });
    } catch (const DatabaseError &e) {
        ctx.err << "kelvara-cli: " << (e.namesCause() ? e.operatorText() : e.text()) << "\n";
        return ExitDatabase;
    }
    ctx.out << "created " << ctx.database << "\n";
    if (demo)
        ctx.out << "demo password: " << DemoData::Password << "\n";
    return ExitDone;
}
