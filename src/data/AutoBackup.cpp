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

QRegularExpression copyPattern(const QString &databaseFile)
{
    return QRegularExpression(QStringLiteral("^%1-daily-(\\d{8}-\\d{6})\\.db$")
                                  .arg(QRegularExpression::escape(QFileInfo(databaseFile).completeBaseName())));
}

}

QString folderFor(const QString &databaseFile)
{
    return QFileInfo(databaseFile).absolutePath() + QStringLiteral("/backup");
}

QStringList copies(const QString &databaseFile)
{
    const QRegularExpression pattern = copyPattern(databaseFile);
    QStringList names;
    const QStringList entries = QDir(folderFor(databaseFile)).entryList(QDir::Files, QDir::Name);
    for (const QString &name : entries) {
        if (pattern.match(name).hasMatch())
            names << name;
    }
    return names;
}

bool due(const QString &databaseFile, const QDateTime &now)
{
    const QStringList names = copies(databaseFile);
    if (names.isEmpty())
        return true;
    const QString stamp = copyPattern(databaseFile).match(names.constLast()).captured(1);
    const QDateTime newest = QDateTime::fromString(stamp, stampFormat);
    // A copy stamped in the future (the clock was put back) counts as old, so copies go on.
    return !newest.isValid() || newest > now || newest.secsTo(now) >= 24 * 60 * 60;
}

QString copyName(const QString &databaseFile, const QDateTime &now)
{
    return QFileInfo(databaseFile).completeBaseName() + QStringLiteral("-daily-") + now.toString(stampFormat)
        + QStringLiteral(".db");
}

QString run(const QString &databaseFile, const QDateTime &now, const std::atomic<bool> *stop)
{
    // A server's database is backed up with the server's own tools; the program copies files only.
    if (!Engine::forLocation(databaseFile).isFile())
        return {};
    if (!QFileInfo::exists(databaseFile) || !due(databaseFile, now))
        return {};
    const QString destination = folderFor(databaseFile) + u'/' + copyName(databaseFile, now);
    Database::backupFile(databaseFile, destination, stop);
    QStringList names = copies(databaseFile);
    while (names.size() > kept)
        QFile::remove(folderFor(databaseFile) + u'/' + names.takeFirst());
    return destination;
}

}

BackupWorker::BackupWorker(const QString &databaseFile)
{
    const QDateTime now = QDateTime::currentDateTime();
    m_thread = std::thread([this, databaseFile, now] {
        try {
            m_written = AutoBackup::run(databaseFile, now, &m_stop);
        } catch (const DatabaseError &e) {
            m_failure = e.text();
        } catch (const std::exception &e) {
            m_failure = QString::fromUtf8(e.what());
        }
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
