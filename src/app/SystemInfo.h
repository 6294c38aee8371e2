// SystemInfo.h: the machine facts the about box shows and the caption lines made from them.
#pragma once

#include <QByteArray>
#include <QLocale>
#include <QString>

struct SystemFacts
{
    QString osName;            // the operating system's pretty name; empty when unknown
    int major = -1;            // the kernel's version; -1 when unknown
    int minor = -1;
    quint64 memoryBytes = 0;   // total physical memory; 0 when unknown
};

struct AboutLines
{
    QString system;            // "当前操作系统：" and what could be added to it
    QString memory;            // "系统资源：" and what could be added to it
    bool complete = false;     // false: some fact was missing, the operator is told
};

// Reads the facts from the operating system: os-release, uname and sysconf.
SystemFacts ReadSystemFacts();

// PRETTY_NAME of an os-release file's text, unquoted; empty when it has none.
QString OsPrettyName(const QByteArray &osRelease);

// The leading major.minor of a kernel release such as 6.1.0-13-amd64; false when there is none.
bool ParseKernelVersion(const QString &release, int *major, int *minor);

// The system's name, a carriage return, ten blanks and major.minor.
QString ComposeSystemLine(const QString &systemName, int major, int minor);

// Whole kilobytes with the locale's thousands separator and " KB".
QString ComposeMemoryLine(quint64 totalBytes, const QLocale &locale);

// Completes the captions in order, system line first; the first missing fact stops there.
AboutLines ComposeAboutLines(const SystemFacts &facts, const QLocale &locale);
