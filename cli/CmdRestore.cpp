#include "Commands.h"

#include "AutoBackup.h"
#include "Engine.h"
#include "SqliteFile.h"

#include <QDateTime>
#include <QFileInfo>

int cmdRestore(CliContext &ctx)
{
    if (ctx.args.size() != 1 || ctx.args.first().isEmpty() || ctx.args.first().startsWith(u"--")) {
        ctx.err << "usage: kelvara-cli [--database FILE] restore BACKUP\n";
        return ExitUsage;
    }
    const QString backup = ctx.args.first();
    // A server's database is restored with the server's tools (pg_restore).
    if (!Engine::forLocation(ctx.database).isFile()) {
        ctx.err << "kelvara-cli: restore puts a copy back into a database file; a server's database is "
                   "restored with pg_restore\n";
        return ExitRefused;
    }
    // Only a file is read: a pipe or a device would block or never end.
    const QFileInfo given(backup);
    if (!given.isFile()) {
        ctx.err << "kelvara-cli: cannot read " << backup << ": "
                << (given.exists() ? (given.isDir() ? "a folder, not a backup file" : "not a file but a device or a pipe")
                                   : (given.isSymLink() ? "a symbolic link to nothing" : "no such file"))
                << "\n";
        return ExitUsage;
    }
    const SqliteFile::Restored r =
        SqliteFile::restore(ctx.database, backup, AutoBackup::beforeRestorePath(ctx.database, QDateTime::currentDateTime()));
    switch (r.outcome) {
    case SqliteFile::Restored::Done:
        ctx.out << "restored " << ctx.database << " from " << backup << "\n";
        if (!r.kept.file.isEmpty())
            ctx.out << "the database as it was: " << r.kept.file
                    << (r.kept.damaged ? QStringLiteral(" (damaged: %1)").arg(r.kept.problem) : QString()) << "\n";
        return ExitDone;
    case SqliteFile::Restored::InUse:
    case SqliteFile::Restored::BadBackup:
        ctx.err << "kelvara-cli: " << r.text << "\n";
        return ExitRefused;
    case SqliteFile::Restored::ForeignDatabase:
    case SqliteFile::Restored::Failed:
        break;
    }
    ctx.err << "kelvara-cli: " << r.text << "\n";
    return ExitDatabase;
}
