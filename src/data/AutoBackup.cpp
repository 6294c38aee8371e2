#include "AutoBackup.h"

#include "Database.h"
#include "Engine.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>

namespace AutoBackup {

namespace {

const QString stampFormat = QStringLiteral("yyyyMMdd-HHmmss");

QRegularExpression copyPattern(const QString &databaseFile, bool damaged = false)
{
    return QRegularExpression(QStringLiteral("^%1-daily-(\\d{8}-\\d{6})%2\\.db$")
                                  .arg(QRegularExpression::escape(QFileInfo(databaseFile).completeBaseName()),
                                       damaged ? QStringLiteral("-damaged") : QString()));
}

QStringList matching(const QString &databaseFile, bool damaged)
{
    const QRegularExpression pattern = copyPattern(databaseFile, damaged);
    QStringList names;
    const QStringList entries = QDir(folderFor(databaseFile)).entryList(QDir::Files, QDir::Name);
    for (const QString &name : entries) {
        if (pattern.match(name).hasMatch())
            names << name;
    }
    return names;
}

QDateTime stampOf(const QString &databaseFile, const QString &name)
{
    const QString stamp = QRegularExpression(QStringLiteral("-daily-(\\d{8}-\\d{6})"))
                              .match(name.mid(QFileInfo(databaseFile).completeBaseName().size()))
                              .captured(1);
    return QDateTime::fromString(stamp, stampFormat);
}

// Removes all but the latest kept copies of names, never keep (the copy just written). A copy
// stamped later than now was made while the clock ran ahead, at some time before now: whether
// it is older or newer than the copies stamped up to now cannot be told, so such copies go
// first (the earliest stamp first) and never push out a copy stamped by the clock as it is; then
// the copies stamped up to now go, the oldest first.
void trim(const QString &databaseFile, const QStringList &names, const QString &keep, const QDateTime &now)
{
    QStringList future;
    QStringList current;
    for (const QString &name : names)
        (stampOf(databaseFile, name) > now ? future : current) << name;   // both sorted by stamp
    QStringList order = future + current;
    order.removeAll(QFileInfo(keep).fileName());
    for (int excess = int(names.size()) - kept; excess > 0 && !order.isEmpty(); --excess)
        QFile::remove(folderFor(databaseFile) + u'/' + order.takeFirst());
}
}

QString folderFor(const QString &databaseFile)
{
    return QFileInfo(databaseFile).absolutePath() + QStringLiteral("/backup");
}

QStringList copies(const QString &databaseFile)
{
    return matching(databaseFile, false);
}

QStringList damagedCopies(const QString &databaseFile)
{
    return matching(databaseFile, true);
}

bool due(const QString &databaseFile, const QDateTime &now)
{
    // A damaged copy counts here, so that a damaged database is copied once a day, not at every
    // start. A copy stamped in the future (the clock was put back) is no copy of today's.
    for (const QStringList &names : { copies(databaseFile), damagedCopies(databaseFile) }) {
        for (const QString &name : names) {
            const QDateTime stamp = stampOf(databaseFile, name);
            if (stamp.isValid() && stamp <= now && stamp.secsTo(now) < 24 * 60 * 60)
                return false;
        }
    }
    return true;
}

QString copyName(const QString &databaseFile, const QDateTime &now)
{
    return QFileInfo(databaseFile).completeBaseName() + QStringLiteral("-daily-") + now.toString(stampFormat)
        + QStringLiteral(".db");
}

QString beforeRestorePath(const QString &databaseFile, const QDateTime &when)
{
    const QString stem = folderFor(databaseFile) + u'/' + QFileInfo(databaseFile).completeBaseName()
        + QStringLiteral("-before-restore-") + when.toString(stampFormat);
    QString candidate = stem + QStringLiteral(".db");
    for (int n = 2; QFileInfo::exists(candidate) || QFileInfo::exists(SqliteFile::damagedName(candidate)); ++n)
        candidate = stem + QStringLiteral("-%1.db").arg(n);
    return candidate;
}

Result run(const QString &databaseFile, const QDateTime &now, const std::atomic<bool> *stop)
{
    Result result;
    // A server's database is backed up with the server's own tools; the program copies files only.
    if (!Engine::forLocation(databaseFile).isFile())
        return result;
    // Another program's file gets no copy; the login tells the operator what it is.
    if (SqliteFile::inspect(databaseFile) != SqliteFile::Kind::Kelvara || !due(databaseFile, now))
        return result;
    const QString destination = folderFor(databaseFile) + u'/' + copyName(databaseFile, now);
    const SqliteFile::Copy copy = Database::backupFile(databaseFile, destination, stop);
    result.written = copy.file;
    result.damaged = copy.damaged;
    result.problem = copy.problem;
    // A damaged copy is never the reason a good one goes.
    trim(databaseFile, copy.damaged ? damagedCopies(databaseFile) : copies(databaseFile), copy.file, now);
    return result;
}

QString notice(const QString &databaseFile, const Result &result)
{
    QString text;
    if (result.damaged)
        text = QStringLiteral("数据库文件已损坏！本程序不再向它写入。\n今天的自动备份没有通过检查，已另外保存为：\n")
            + result.written;
    else if (!result.failure.isEmpty())
        text = QStringLiteral("今天的自动备份失败：") + result.failure;
    else
        return {};
    const QStringList good = copies(databaseFile);
    if (good.isEmpty())
        return text + QStringLiteral("\n\n备份文件夹中没有完好的备份。");
    const QString latest = QDir::toNativeSeparators(folderFor(databaseFile) + u'/' + good.constLast());
    return text + QStringLiteral("\n\n最近一份完好的备份：\n") + latest
        + QStringLiteral("\n\n需要时，退出本程序后执行\nkelvara-cli restore \"") + latest
        + QStringLiteral("\"\n可将数据库恢复为这份备份。");
}

}

BackupWorker::BackupWorker(const QString &databaseFile, const QDateTime &now)
{
    m_thread = std::thread([this, databaseFile, now] {
        try {
            m_result = AutoBackup::run(databaseFile, now, &m_stop);
        } catch (const DatabaseError &e) {
            m_result.failure = e.text();
        } catch (const std::exception &e) {
            m_result.failure = QString::fromUtf8(e.what());
        }
        m_finished = true;
    });
}

BackupWorker::~BackupWorker()
{
    m_stop = true;
    wait();
}

void BackupWorker::wait()
{
    if (m_thread.joinable())
        m_thread.join();
}
