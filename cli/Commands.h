// Commands.h: the commands of kelvara-cli; each takes the words after its name.
#pragma once

#include "Database.h"
#include "ReadingCsv.h"
#include "ReadingStore.h"
#include "UCommon.h"

#include <QCoreApplication>
#include <QDate>
#include <QStringList>
#include <QTextStream>
#include <memory>
#include <optional>

enum ExitCode { ExitDone = 0, ExitRefused = 1, ExitUsage = 2, ExitDatabase = 3 };

struct CliContext
{
    QString database;        // the file or server named by --database, or the file beside the program
    QStringList args;        // words after the command's name
    QTextStream &out;
    QTextStream &err;
};

int cmdInit(CliContext &ctx);
int cmdRead(CliContext &ctx);
int cmdImport(CliContext &ctx);
int cmdRestore(CliContext &ctx);
int cmdExchange(CliContext &ctx);

// The data manager and reading store of a batch command. The manager's messages are collected
// for the command to print; a lower counter value is a rollover only when asked for. Unusual
// readings are stored and collected, for the command to warn of or, with --strict, to refuse; a
// rollover has its answer from --rollover.
struct ReadingSession
{
    explicit ReadingSession(bool rollover);
    ~ReadingSession();
    ReadingSession(const ReadingSession &) = delete;
    ReadingSession &operator=(const ReadingSession &) = delete;
    QString takeMessages();     // the messages since the last call, one a line
    QString refusalText();      // takeMessages() and the store's refusal for a later reading
    // takeMessages() but those that say what the failure says, then "kelvara-cli: " and the
    // failure: a damaged file is told once, not by the manager and again by the command.
    QString failureText(const DatabaseError &e);

    TKelvaraMg manager;
    ReadingStore store{ manager };
    QStringList messages;
    QList<UnusualReading> unusual;
};

// The warning line of an unusual reading: meter, date, consumption and the usual per day.
QString unusualLine(const UnusualReading &reading);
int cmdReport(CliContext &ctx);
int cmdMigrate(CliContext &ctx);

// A QGuiApplication for a report printed to PDF, a QCoreApplication for everything else.
std::unique_ptr<QCoreApplication> createCliApplication(int &argc, char **argv);
