#include "SystemParameters.h"

#include "AutoBackup.h"
#include "Database.h"
#include "Engine.h"
#include "Password.h"

#include <QFileInfo>

namespace SystemParameters {

namespace {

const QString rootCondition = QStringLiteral("WorkShopLevel = 0 AND ResideWorkShopID = 0");

void writeParameterRow(const QSqlDatabase &db, const Submission &s)
{
    const int rows = scalar(db, QStringLiteral("SELECT count(*) FROM CnfgPara")).toInt();
    // The window shows the stored hash in the masked box; sent back untouched it stays as it is,
    // instead of becoming the hash of the hash.
    const QString current = rows == 1 ? scalar(db, QStringLiteral("SELECT PassWd FROM CnfgPara")).toString() : QString();
    const QString stored = IsPasswordHash(current) && s.password == current ? current : PasswordForStorage(s.password);
    // The table holds one row: extra rows, whose passwords the login might read instead, go.
    if (rows > 1)
        execSql(db, QStringLiteral("DELETE FROM CnfgPara WHERE %1 <> (SELECT min(%1) FROM CnfgPara)")
                        .arg(Engine::of(db).rowIdentity()));
    if (rows >= 1)
        execSql(db, QStringLiteral("UPDATE CnfgPara SET UseUnitName = ?, PassWd = ?"), { s.unitName, stored });
    else
        execSql(db, QStringLiteral("INSERT INTO CnfgPara (UseUnitName, PassWd) VALUES (?, ?)"),
                { s.unitName, stored });
}

// Children before the rows they name, so the foreign keys never object.
void ClearAllData(const QSqlDatabase &db)
{
    for (const char *table : { "TakeMeter", "Meter", "Price", "Workshop" })
        execSql(db, QStringLiteral("DELETE FROM ") + QLatin1String(table));
}

void WriteRootWorkShop(const QSqlDatabase &db, const QString &name)
{
    const int roots = scalar(db, QStringLiteral("SELECT count(*) FROM Workshop WHERE ") + rootCondition).toInt();
    if (roots == 0)
        execSql(db,
                QStringLiteral("INSERT INTO Workshop (WrokShopID, WrokShopName, WorkShopLevel, WrokShopMemo, "
                               "ResideWorkShopID) VALUES (1, ?, 0, ?, 0)"),
                { name, name });
    else
        execSql(db, QStringLiteral("UPDATE Workshop SET WrokShopName = ? WHERE ") + rootCondition, { name });
}

}

QString selectSql()
{
    return QStringLiteral("select UseUnitName, PassWd from CnfgPara");
}

QString backupPath(const QString &databaseFile, const QDateTime &when)
{
    const QString dir = AutoBackup::folderFor(databaseFile) + u'/';
    const QString stem = QStringLiteral("Kelvara-") + when.toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString candidate = dir + stem + QStringLiteral(".db");
    for (int n = 2; QFileInfo::exists(candidate) || QFileInfo::exists(SqliteFile::damagedName(candidate)); ++n)
        candidate = dir + stem + QStringLiteral("-%1.db").arg(n);
    return candidate;
}

Result submit(QSqlDatabase db, const QString &databaseFile, const Submission &s, const QDateTime &when)
{
    Result result;
    // A server's database is backed up by the server's tools, not copied by the program.
    if (s.clearData && Engine::of(db).isFile()) {
        try {
            const SqliteFile::Copy copy = Database::backup(db, backupPath(databaseFile, when));
            // A damaged database is not cleared: its copy is kept apart and nothing changes.
            if (copy.damaged) {
                result.outcome = Outcome::BackupFailed;
                result.reason = QStringLiteral("数据库文件已损坏！（") + copy.problem + QStringLiteral("）副本：") + copy.file;
                return result;
            }
            result.backupFile = copy.file;
        } catch (const DatabaseError &e) {
            result.outcome = Outcome::BackupFailed;
            result.reason = e.text();
            return result;
        }
    }
    try {
        Transaction tx(db);
        writeParameterRow(db, s);
        if (s.clearData)
            ClearAllData(db);
        WriteRootWorkShop(db, s.unitName);
        tx.commit();
        result.outcome = Outcome::Done;
    } catch (const DatabaseError &e) {
        result.outcome = Outcome::Failed;
        result.reason = e.text();
    }
    return result;
}

}
