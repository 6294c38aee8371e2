// Commands.h: the commands of kelvara-cli; each takes the words after its name.
#pragma once

#include <QCoreApplication>
#include <QStringList>
#include <QTextStream>
#include <memory>

enum ExitCode { ExitDone = 0, ExitRefused = 1, ExitUsage = 2, ExitDatabase = 3 };

struct CliContext
{
    QString database;        // the file named by --database, or the default beside the program
    QStringList args;        // words after the command's name
    QTextStream &out;
    QTextStream &err;
};

int cmdInit(CliContext &ctx);
int cmdReport(CliContext &ctx);

// A QGuiApplication for a report printed to PDF, a QCoreApplication for everything else.
std::unique_ptr<QCoreApplication> createCliApplication(int &argc, char **argv);
