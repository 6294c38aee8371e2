#include "SystemInfo.h"

#include <QFile>
#include <QRegularExpression>

#include <sys/utsname.h>
#include <unistd.h>

namespace {

QString unquote(QString value)
{
    if (value.size() >= 2 && value.front() == u'\'' && value.back() == u'\'')
        return value.mid(1, value.size() - 2);
    if (value.size() >= 2 && value.front() == u'"' && value.back() == u'"') {
        value = value.mid(1, value.size() - 2);
        QString out;
        for (qsizetype i = 0; i < value.size(); ++i) {
            if (value.at(i) == u'\\' && i + 1 < value.size())
                ++i;
            out += value.at(i);
        }
        return out;
    }
    return value;
}

QByteArray readOsRelease()
{
    for (const char *path : { "/etc/os-release", "/usr/lib/os-release" }) {
        QFile file(QString::fromLatin1(path));
        if (file.open(QIODevice::ReadOnly))
            return file.readAll();
    }
    return {};
}

}

QString OsPrettyName(const QByteArray &osRelease)
{
    const QStringList lines = QString::fromUtf8(osRelease).split(u'\n');
    for (const QString &raw : lines) {
        const QString line = raw.trimmed();
        if (line.startsWith(QStringLiteral("PRETTY_NAME=")))
            return unquote(line.mid(12).trimmed());
    }
    return {};
}

bool ParseKernelVersion(const QString &release, int *major, int *minor)
{
    static const QRegularExpression pattern(QStringLiteral("^(\\d+)\\.(\\d+)"));
    const QRegularExpressionMatch m = pattern.match(release);
    if (!m.hasMatch())
        return false;
    *major = m.captured(1).toInt();
    *minor = m.captured(2).toInt();
    return true;
}

SystemFacts ReadSystemFacts()
{
    SystemFacts facts;
    struct utsname names;
    if (::uname(&names) == 0) {
        facts.osName = OsPrettyName(readOsRelease());
        if (facts.osName.isEmpty())
            facts.osName = QString::fromLocal8Bit(names.sysname);
        if (!ParseKernelVersion(QString::fromLocal8Bit(names.release), &facts.major, &facts.minor))
            facts.osName.clear();
    }
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long pageSize = ::sysconf(_SC_PAGESIZE);
    if (pages > 0 && pageSize > 0)
        facts.memoryBytes = quint64(pages) * quint64(pageSize);
    return facts;
}

QString ComposeSystemLine(const QString &systemName, int major, int minor)
{
    return systemName + QChar(13) + QString(10, u' ') + QString::number(major) + u'.' + QString::number(minor);
}

QString ComposeMemoryLine(quint64 totalBytes, const QLocale &locale)
{
    QLocale grouped = locale;
    grouped.setNumberOptions(locale.numberOptions() & ~QLocale::OmitGroupSeparator);
    const quint64 kilobytes = totalBytes >> 10;
    // The pattern's digits are all optional: nothing stands before " KB" for zero.
    return (kilobytes == 0 ? QString() : grouped.toString(kilobytes)) + QStringLiteral(" KB");
}

AboutLines ComposeAboutLines(const SystemFacts &facts, const QLocale &locale)
{
    AboutLines lines{ QStringLiteral("当前操作系统："), QStringLiteral("系统资源："), false };
    if (facts.osName.isEmpty() || facts.major < 0 || facts.minor < 0)
        return lines;
    lines.system += ComposeSystemLine(facts.osName, facts.major, facts.minor);
    if (facts.memoryBytes == 0)
        return lines;
    lines.memory += ComposeMemoryLine(facts.memoryBytes, locale);
    lines.complete = true;
    return lines;
}
