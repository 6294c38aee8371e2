// CliRun.h: runs kelvara-cli (KELVARA_CLI, set by the build) as a process of its own and keeps
// what it printed.
#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QtGlobal>

struct Run
{
    int exitCode = -1;   // -1: it crashed or was killed
    QString out;
    QString err;
};

// prefix, when given, is a program and its arguments that start kelvara-cli (setpriv, say).
inline Run runCli(const QStringList &args, const QStringList &prefix = {})
{
    QProcess p;
    if (prefix.isEmpty())
        p.start(QStringLiteral(KELVARA_CLI), args);
    else
        p.start(prefix.first(), prefix.mid(1) + QStringList{ QStringLiteral(KELVARA_CLI) } + args);
    if (!p.waitForFinished(120000))
        qFatal("kelvara-cli did not finish");
    Run r;
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}
