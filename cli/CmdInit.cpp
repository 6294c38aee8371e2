#include "Commands.h"

#include "Database.h"
#include "DemoData.h"
#include "Engine.h"
#include "Schema.h"
#include "SqliteFile.h"

#include <QDate>
#include <QFileInfo>

namespace {

// The tables, the demonstration data when asked, and the demonstration readings through the data
// manager, which works on the program's database.
void fill(const QString &database, const QString &connection, bool demo)
{
    try {
        {
            QSqlDatabase db = Database::open(database, connection, Database::OpenMode::Create);
            Schema::create(db);
            if (demo)
                DemoData::writeMasterData(db);
        }
        Database::close(connection);
        if (demo) {
            const QString program = Database::path();
            Database::setPath(database);
            DemoData::writeReadings(QDate::currentDate().addDays(-1));
            Database::closeConnection();
            Database::setPath(program);
        }
    } catch (...) {
        Database::close(connection);
        Database::closeConnection();
        throw;
    }
}

}

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
    const QString connection = QStringLiteral("kelvara-init");
    const auto exists = [&] {
        ctx.err << "kelvara-cli: " << ctx.database << " already exists; init never touches an existing file\n";
        return ExitRefused;
    };
    if (engine.isFile()) {
        // A link, even one to nothing, is refused: init would create or replace the file it names.
        if (QFileInfo(ctx.database).isSymLink()) {
            ctx.err << "kelvara-cli: " << ctx.database << " is a symbolic link; init creates a new file only\n";
            return ExitRefused;
        }
        if (QFileInfo(ctx.database).isDir()) {
            ctx.err << "kelvara-cli: " << SqliteFile::foreignText(ctx.database) << "\n";
            return ExitDatabase;
        }
        if (QFileInfo::exists(ctx.database))
            return exists();
    }
    try {
        if (engine.isFile()) {
            // Written under a temporary name and renamed when complete: a failure leaves nothing,
            // and a file another program created meanwhile stays as it is.
            if (!SqliteFile::create(ctx.database, [&](const QString &temporary) { fill(temporary, connection, demo); }))
                return exists();
        } else {
            // A server's database is made by its administrator; init fills it only while it is
            // empty, in one transaction for the tables.
            QStringList tables;
            {
                const QSqlDatabase db = Database::open(ctx.database, connection, Database::OpenMode::Create);
                tables = engine.tables(db);
            }
            Database::close(connection);
            if (!tables.isEmpty()) {
                ctx.err << "kelvara-cli: " << shown << " already holds tables (" << tables.join(QStringLiteral(", "))
                        << "); init only fills an empty database\n";
                return ExitRefused;
            }
            fill(ctx.database, connection, demo);
        }
    } catch (const DatabaseError &e) {
        ctx.err << "kelvara-cli: " << (e.namesCause() ? e.operatorText() : e.text()) << "\n";
        // Another init filled the database meanwhile: refused as a database holding tables is.
        if (!engine.isFile() && e.kind() == DatabaseError::Duplicate)
            return ExitRefused;
        return ExitDatabase;
    }
    ctx.out << "created " << (engine.isFile() ? ctx.database : QStringLiteral("the tables in ") + shown) << "\n";
    if (demo)
        ctx.out << "demo password: " << DemoData::Password << "\n";
    return ExitDone;
}
