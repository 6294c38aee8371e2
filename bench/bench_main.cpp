// kelvara-bench: measures the program's operations on a database made by kelvara-bench-gen and
// prints median, minimum and maximum of repeated runs against their targets.
#include "Operations.h"

#include "DataSet.h"
#include "DataSetModel.h"
#include "TakeMeterEntry.h"
#include "Database.h"
#include "Engine.h"
#include "ReadingStore.h"
#include "ReportModel.h"
#include "ReportStatements.h"
#include "UCommon.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextStream>

#include <optional>
#include <sys/resource.h>
#include <time.h>

using namespace BenchOps;
using ReportStatements::Kind;

namespace {

struct Settings
{
    QString database;
    QString smallDatabase;
    int repeats = 7;          // runs of each report, date opening and start
    int saves = 100;          // readings saved per database
    int imports = 1;          // runs of the import
    int importCount = 100000;
    QString shell = QStringLiteral("sqlite3");
    QString server;           // a PostgreSQL database measured beside the file
    int clerks = 8;           // processes saving at once
};

struct Row
{
    QString operation;
    Figures figures;
    QString unit = QStringLiteral("ms");
    QString target;
    QString verdict;          // "yes", "NO" or empty when the row has no target of its own
};

// The rows of the engine being measured.
QList<Row> rows;
QTextStream out(stdout);
QTextStream err(stderr);

void progress(const QString &text)
{
    err << "kelvara-bench: " << text << "\n";
    err.flush();
}

QString number(double value)
{
    return QString::number(value, 'f', value < 10 ? 2 : value < 100 ? 1 : 0);
}

QString verdict(bool met)
{
    return met ? QStringLiteral("yes") : QStringLiteral("NO");
}

qint64 monotonicNanoseconds()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

QString sibling(const QString &program)
{
    return QCoreApplication::applicationDirPath() + u'/' + program;
}

Figures cpuFigures(const Figures &f)
{
    Figures cpu;
    cpu.ms = f.cpuMs;
    return cpu;
}

struct SaveFigures
{
    Figures large;
    Figures small;
    Figures bare;
};

// Saves readings as the reading window's Enter does, each in its own durable transaction, on the
// day after the last stored one, then removes them again. The two databases take turns in
// blocks, so that a noisy neighbour weighs on both alike; the first save of a block, which opens
// the connection, is not counted.
SaveFigures measureSaves(const Settings &s, const QString &database, const QString &smallDatabase)
{
    struct Target
    {
        QString file;
        Figures *figures;
        Extent extent;
        QList<MeterCounter> meters;
    };
    SaveFigures result;
    QList<Target> targets{ { database, &result.large, {}, {} } };
    if (!smallDatabase.isEmpty())
        targets.append({ smallDatabase, &result.small, {}, {} });
    for (Target &t : targets) {
        Database::setPath(t.file);
        t.extent = extent();
        t.meters = meterCounters();
    }
    // A bare insert follows each save of the large database, so that both meet the disk alike.
    const int rounds = 5;
    const int perBlock = qMax(2, s.saves / rounds);
    int next = 0;
    int nextBare = 0;
    for (int round = 0; round < rounds; ++round) {
        const int first = next;
        for (Target &t : targets) {
            Database::setPath(t.file);
            TKelvaraMg manager;
            manager.SetRolloverConfirmation([](qint32, qint32) { return true; });
            // The check the reading window makes before every save, the question answered Yes.
            manager.SetUnusualConfirmation([](const UnusualReading &) { return true; });
            ReadingStore store(manager);
            const QDate day = t.extent.last.addDays(1);
            const bool large = t.file == database;
            std::optional<BareInsert> bare;
            if (large)
                bare.emplace(Database::connection());
            int i = first;
            for (int k = 0; k < perBlock; ++k) {
                const MeterCounter &m = t.meters.at(i++ % t.meters.size());
                const Figures one = measure(0, 1, [&] {
                    if (!store.store(m.meterNo, m.next(7), day))
                        throw DatabaseError(QStringLiteral("reading of %1 refused").arg(m.meterNo));
                });
                if (k > 0) {
                    t.figures->ms << one.ms;
                    t.figures->cpuMs << one.cpuMs;
                }
                if (large && k > 0) {
                    const MeterCounter &b = t.meters.at(nextBare++ % t.meters.size());
                    const Figures inserted = measure(0, 1, [&] { bare->insert(b.meterNo, b.next(9), day.addDays(1)); });
                    result.bare.ms << inserted.ms;
                    result.bare.cpuMs << inserted.cpuMs;
                }
            }
            next = i;
        }
    }
    for (const Target &t : std::as_const(targets)) {
        Database::setPath(t.file);
        removeReadingsAfter(t.extent.last);
    }
    Database::setPath(database);
    return result;
}

// Corrects the first reading of the last whole month of one meter, which re-prices the rest of the
// month, as a clerk's correction in the reading window or "read --replace" does: each run is one
// durable transaction. The runs take turns between the stored value less one and the stored value,
// so the database ends as it began.
void measureCorrections(const Settings &s, const QDate &last)
{
    const QDate monthEnd = last.addDays(1).day() == 1 ? last : QDate(last.year(), last.month(), 1).addDays(-1);
    const QDate first(monthEnd.year(), monthEnd.month(), 1);
    TKelvaraMg manager;
    manager.SetRolloverConfirmation([](qint32, qint32) { return false; });
    ReadingStore store(manager);
    QSqlQuery candidates = execSql(Database::connection(), QStringLiteral(
        "Select MeterID, TakeNumber from TakeMeter where TakeTime = ? and TakeNumber > 0 order by MeterID limit 50"),
        { first.toString(Qt::ISODate) });
    QList<QPair<QString, qint32>> meters;
    while (candidates.next())
        meters.append({ candidates.value(0).toString(), candidates.value(1).toInt() });
    for (const auto &[meter, stored] : std::as_const(meters)) {
        // A meter whose value less one would pass below its previous one is left for the next.
        if (!store.store(meter, stored - 1, first, true)) {
            continue;
        }
        // Every later reading of the month is priced again; only those whose figures change are written.
        const int repriced = scalar(Database::connection(), QStringLiteral(
            "Select count(*) from TakeMeter where MeterID = ? and TakeTime > ? and TakeTime <= ?"),
            { meter, first.toString(Qt::ISODate), monthEnd.toString(Qt::ISODate) }).toInt();
        int run = 0;
        const Figures f = measure(1, s.repeats * 4, [&] {
            const qint32 value = (run++ % 2 == 0) ? stored : stored - 1;
            if (!store.store(meter, value, first, true))
                throw DatabaseError(QStringLiteral("correction of %1 refused").arg(meter));
        });
        store.store(meter, stored, first, true);
        rows << Row{ QStringLiteral("correct the first reading of a month (%1 later readings priced again)").arg(repriced),
                     f, QStringLiteral("ms"), QStringLiteral("≤ 20 ms"), verdict(f.median() <= 20) };
        return;
    }
}

void reports(const Settings &s, const QDate &last)
{
    // The last whole month and the twelve months that end with it.
    const QDate monthEnd = last.addDays(1).day() == 1 ? last : QDate(last.year(), last.month(), 1).addDays(-1);
    const QDate monthStart(monthEnd.year(), monthEnd.month(), 1);
    const QDate yearStart = monthStart.addMonths(-11);
    const qint64 workshop = scalar(Database::connection(), QStringLiteral(
        "Select Min(WrokShopID) from Workshop where WorkShopLevel = 2")).toLongLong();
    const QString extension = QCoreApplication::applicationDirPath() + QStringLiteral("/firstlast");
    const bool haveShell = Database::isFile()
        && (!QStandardPaths::findExecutable(s.shell).isEmpty() || QFileInfo(s.shell).isExecutable());

    struct Period { QString name; QDate start; QDate end; };
    for (const Period &p : { Period{ QStringLiteral("month"), monthStart, monthEnd },
                             Period{ QStringLiteral("year"), yearStart, monthEnd } }) {
        for (Kind kind : { Kind::Summary, Kind::Detail, Kind::Classes }) {
            const QString name = (kind == Kind::Summary  ? QStringLiteral("summary report")
                                  : kind == Kind::Detail ? QStringLiteral("workshop detail report")
                                                         : QStringLiteral("workshop summary table"))
                + QStringLiteral(", ") + p.name;
            progress(QStringLiteral("report ") + name);
            ReportModel model;
            model.setColumns(ReportStatements::columns(kind));
            const QVariantMap params = ReportStatements::params(p.start, p.end, workshop);
            const Figures app = measure(1, s.repeats, [&] {
                model.open(ReportStatements::statement(kind), params, Database::mainConnectionName());
            });
            const bool year = p.name == u"year";
            Row appRow{ QStringLiteral("%1, app (%2 rows)").arg(name).arg(model.totalRows()), app };
            if (year) {
                appRow.target = QStringLiteral("≤ 500 ms");
                appRow.verdict = verdict(app.median() <= 500);
            }
            rows << appRow;
            if (!haveShell)
                continue;
            const QString sql = withLiterals(ReportStatements::joinedStatement(kind), p.start, p.end, workshop);
            Figures shell;
            for (int i = 0; i < qMax(3, s.repeats / 2); ++i) {
                const double seconds = shellSeconds(s.shell, extension, Database::path(), sql);
                if (seconds < 0)
                    break;
                shell.ms << seconds * 1000;
            }
            if (shell.ms.isEmpty())
                continue;
            rows << Row{ name + QStringLiteral(", sqlite3 shell, joined statement"), shell };
            Figures ratio;
            ratio.ms << app.median() / shell.median();
            rows << Row{ name + QStringLiteral(", app / shell"), ratio, QStringLiteral("×"), QStringLiteral("< 1"),
                         verdict(ratio.median() < 1) };
        }
    }
}

QString cell(const Row &r)
{
    if (r.figures.ms.isEmpty())
        return {};
    const bool single = r.figures.ms.size() == 1;
    return number(r.figures.median()) + u' ' + r.unit
        + (single ? QString()
                  : QStringLiteral(" (%1–%2, %3)").arg(number(r.figures.min()), number(r.figures.max()))
                        .arg(r.figures.ms.size()));
}

void printLines(const QList<QStringList> &lines)
{
    QList<int> widths(lines.first().size(), 0);
    for (const QStringList &l : lines)
        for (int i = 0; i < l.size(); ++i)
            widths[i] = qMax(widths[i], int(l.at(i).size()));
    for (int n = 0; n < lines.size(); ++n) {
        const QStringList &l = lines.at(n);
        out << "| ";
        for (int i = 0; i < l.size(); ++i)
            out << (i == 0 ? l.at(i).leftJustified(widths[i]) : l.at(i).rightJustified(widths[i])) << " | ";
        out << "\n";
        if (n == 0) {
            out << "|";
            for (int w : widths)
                out << QString(w + 2, u'-') << "|";
            out << "\n";
        }
    }
    out.flush();
}

void printTable(const QList<Row> &table)
{
    QList<QStringList> lines{ { QStringLiteral("operation"), QStringLiteral("median"), QStringLiteral("min"),
                                QStringLiteral("max"), QStringLiteral("runs"), QStringLiteral("target"),
                                QStringLiteral("met") } };
    for (const Row &r : table) {
        const bool single = r.figures.ms.size() == 1;
        lines << QStringList{ r.operation, number(r.figures.median()) + u' ' + r.unit,
                              single ? QString() : number(r.figures.min()), single ? QString() : number(r.figures.max()),
                              QString::number(r.figures.ms.size()), r.target, r.verdict };
    }
    printLines(lines);
}

// The engines side by side: each operation's median (minimum–maximum, runs) on each, by name.
void printTables(const QList<QPair<QString, QList<Row>>> &engines)
{
    if (engines.size() == 1) {
        printTable(engines.first().second);
        return;
    }
    QStringList header{ QStringLiteral("operation") };
    for (const auto &e : engines)
        header << e.first;
    header << QStringLiteral("target");
    for (const auto &e : engines)
        header << QStringLiteral("met, ") + e.first;
    QStringList names;
    for (const auto &e : engines)
        for (const Row &r : e.second)
            if (!names.contains(r.operation))
                names << r.operation;
    QList<QStringList> lines{ header };
    for (const QString &name : std::as_const(names)) {
        QStringList line{ name };
        QStringList met;
        QString target;
        for (const auto &e : engines) {
            const auto it = std::find_if(e.second.begin(), e.second.end(), [&](const Row &r) { return r.operation == name; });
            line << (it == e.second.end() ? QString() : cell(*it));
            met << (it == e.second.end() ? QString() : it->verdict);
            if (it != e.second.end() && !it->target.isEmpty())
                target = it->target;
        }
        lines << line + QStringList{ target } + met;
    }
    printLines(lines);
}

// One clerk of several saving at once: every meter whose position modulo clerks is index gets a
// reading of the day, up to count; each save's milliseconds printed on a line.
int clerk(const QString &database, int index, int clerks, int count, const QDate &day)
{
    Database::setPath(database);
    TKelvaraMg manager;
    manager.SetRolloverConfirmation([](qint32, qint32) { return true; });
    ReadingStore store(manager);
    const QList<MeterCounter> meters = meterCounters();
    int saved = 0;
    for (int i = index; i < meters.size() && saved < count; i += clerks, ++saved) {
        const MeterCounter &m = meters.at(i);
        const Figures one = measure(0, 1, [&] {
            if (!store.store(m.meterNo, m.next(5), day))
                throw DatabaseError(QStringLiteral("reading of %1 refused").arg(m.meterNo));
        });
        out << one.ms.first() << "\n";
    }
    out.flush();
    Database::closeConnection();
    return 0;
}

// Clerks saving at once, each a process of its own: every save's time, from all of them.
Figures measureClerks(const Settings &s, const QString &database, const QDate &last)
{
    Figures all;
    Database::closeConnection();
    QList<QProcess *> processes;
    const int each = qMax(2, s.saves);
    for (int k = 0; k < s.clerks; ++k) {
        auto *p = new QProcess;
        p->start(QCoreApplication::applicationFilePath(),
                 { QStringLiteral("--clerk"), database, QString::number(k), QString::number(s.clerks),
                   QString::number(each), last.addDays(1).toString(Qt::ISODate) });
        processes << p;
    }
    for (QProcess *p : std::as_const(processes)) {
        p->waitForFinished(-1);
        if (p->exitCode() != 0)
            progress(QStringLiteral("a clerk failed: ") + QString::fromUtf8(p->readAllStandardError().right(400)));
        // The first save of each clerk opens its connection and is not counted.
        const QList<QByteArray> lines = p->readAllStandardOutput().split('\n');
        for (int i = 1; i < lines.size(); ++i)
            if (!lines.at(i).isEmpty())
                all.ms << lines.at(i).toDouble();
        delete p;
    }
    Database::setPath(database);
    removeReadingsAfter(last);
    return all;
}

// Measures every operation on one database (and its small companion, when given).
QList<Row> run(const Settings &s, const QString &database, const QString &smallDatabase)
{
    rows.clear();
    Database::setPath(database);
    progress(QStringLiteral("%1: %2").arg(engineName(), Database::displayName()));
    const Extent e = extent();
    progress(QStringLiteral("%1 readings from %2 to %3").arg(e.readings).arg(e.first.toString(Qt::ISODate),
                                                                          e.last.toString(Qt::ISODate)));

    progress(QStringLiteral("saving readings"));
    const SaveFigures saves = measureSaves(s, database, smallDatabase);
    rows << Row{ QStringLiteral("save one reading (look-ups, charges, durable commit)"), saves.large,
                 QStringLiteral("ms"), QStringLiteral("≤ 5 ms"), verdict(saves.large.median() <= 5) };
    rows << Row{ QStringLiteral("bare single-row INSERT and commit, same settings"), saves.bare };
    rows << Row{ QStringLiteral("save one reading, processor time"), cpuFigures(saves.large) };
    rows << Row{ QStringLiteral("bare INSERT and commit, processor time"), cpuFigures(saves.bare) };
    Figures saveRatio;
    saveRatio.ms << saves.large.median() / saves.bare.median();
    rows << Row{ QStringLiteral("save / bare INSERT"), saveRatio, QStringLiteral("×"), QStringLiteral("≤ 2"),
                 verdict(saveRatio.median() <= 2) };
    if (!saves.small.ms.isEmpty()) {
        Database::setPath(smallDatabase);
        rows << Row{ QStringLiteral("save one reading, small database (%1 readings)").arg(extent().readings),
                     saves.small };
        Database::setPath(database);
        Figures growth;
        growth.ms << saves.large.median() / saves.small.median();
        rows << Row{ QStringLiteral("save: large / small database"), growth, QStringLiteral("×"),
                     QStringLiteral("≤ 1.2"), verdict(growth.median() <= 1.2) };
    }

    progress(QStringLiteral("%1 clerks saving at once").arg(s.clerks));
    {
        const Figures clerks = measureClerks(s, database, e.last);
        Figures p99;
        p99.ms << clerks.percentile(99);
        rows << Row{ QStringLiteral("%1 clerks saving at once, median save").arg(s.clerks), clerks };
        rows << Row{ QStringLiteral("%1 clerks saving at once, 99th percentile save (%2 saves)").arg(s.clerks).arg(clerks.ms.size()),
                     p99, QStringLiteral("ms"), QStringLiteral("≤ 50 ms"), verdict(p99.median() <= 50) };
    }

    progress(QStringLiteral("correcting readings"));
    measureCorrections(s, e.last);

    progress(QStringLiteral("opening a date's readings"));
    {
        TKelvaraMg manager;
        TakeMeterEntry entry(manager, nullptr);
        DataSetModel model;
        const Figures open = measure(1, s.repeats, [&] { openDateReadings(entry, model, e.last); });
        rows << Row{ QStringLiteral("open a date's readings (%1 rows)").arg(entry.adoTakeMeter()->recordCount()), open,
                     QStringLiteral("ms"), QStringLiteral("≤ 50 ms"), verdict(open.median() <= 50) };
    }

    reports(s, e.last);

    progress(QStringLiteral("starting the program"));
    {
        Figures start;
        for (int i = 0; i < s.repeats; ++i) {
            QProcess probe;
            const qint64 begin = monotonicNanoseconds();
            probe.start(sibling(QStringLiteral("kelvara-bench-probe")), { QStringLiteral("start"), database });
            if (!probe.waitForFinished(60000) || probe.exitCode() != 0)
                break;
            const qint64 shown = probe.readAllStandardOutput().trimmed().toLongLong();
            start.ms << (shown - begin) / 1e6;
        }
        if (!start.ms.isEmpty())
            rows << Row{ QStringLiteral("start of the program to the login window shown"), start, QStringLiteral("ms"),
                         QStringLiteral("≤ 500 ms"), verdict(start.median() <= 500) };
    }

    if (s.imports > 0) {
        progress(QStringLiteral("importing %1 readings").arg(s.importCount));
        QTemporaryDir dir;
        const QString csv = dir.filePath(QStringLiteral("readings.csv"));
        writeImportFile(csv, meterCounters(), e.last, s.importCount);
        Database::closeConnection();
        Figures import;
        for (int i = 0; i < s.imports; ++i) {
            QProcess cli;
            QElapsedTimer clock;
            clock.start();
            cli.start(sibling(QStringLiteral("kelvara-cli")),
                      { QStringLiteral("--database"), database, QStringLiteral("import"), QStringLiteral("--rollover"), csv });
            if (!cli.waitForFinished(-1) || cli.exitCode() != 0) {
                progress(QStringLiteral("import failed: ") + QString::fromUtf8(cli.readAllStandardError().right(400)));
                break;
            }
            import.ms << clock.nsecsElapsed() / 1e9;
            removeReadingsAfter(e.last);
        }
        if (!import.ms.isEmpty())
            rows << Row{ QStringLiteral("kelvara-cli import of %1 readings").arg(s.importCount), import,
                         QStringLiteral("s"), QStringLiteral("≤ 10 s"), verdict(import.median() <= 10) };
    }

    progress(QStringLiteral("peak memory with a year's reports shown"));
    {
        const QDate end = e.last;
        QProcess probe;
        probe.start(sibling(QStringLiteral("kelvara-bench-probe")),
                    { QStringLiteral("report"), database, end.addDays(-364).toString(Qt::ISODate), end.toString(Qt::ISODate) });
        if (probe.waitForFinished(600000) && probe.exitCode() == 0) {
            const QList<QByteArray> words = probe.readAllStandardOutput().trimmed().split(' ');
            Figures memory;
            memory.ms << words.value(0).toDouble() / 1024;
            rows << Row{ QStringLiteral("peak memory, report window with a year's reports (%1 rows scrolled)")
                             .arg(QString::fromLatin1(words.value(1))),
                         memory, QStringLiteral("MB"), QStringLiteral("≤ 150 MB"), verdict(memory.median() <= 150) };
        }
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    Figures self;
    self.ms << usage.ru_maxrss / 1024.0;
    rows << Row{ QStringLiteral("peak memory of kelvara-bench itself"), self, QStringLiteral("MB") };
    Database::closeConnection();
    return rows;
}

// Copies the file into the server's database when that holds nothing yet: the row of the time
// it took, or none when the server already holds a database.
QList<Row> migrateToServer(const Settings &s)
{
    QList<Row> timed;
    QStringList held;
    {
        QSqlDatabase db = Database::open(s.server, QStringLiteral("bench-check"), Database::OpenMode::Create);
        held = Engine::of(db).tables(db);
    }
    Database::close(QStringLiteral("bench-check"));
    if (!held.isEmpty()) {
        progress(QStringLiteral("the server holds a database already: migrate not timed"));
        return timed;
    }
    Database::setPath(s.database);
    const qint64 readings = extent().readings;
    Database::closeConnection();
    progress(QStringLiteral("migrating %1 readings to the server").arg(readings));
    QProcess cli;
    cli.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer clock;
    clock.start();
    cli.start(sibling(QStringLiteral("kelvara-cli")),
              { QStringLiteral("--database"), s.database, QStringLiteral("migrate"), QStringLiteral("--to"), s.server });
    if (!cli.waitForFinished(-1) || cli.exitCode() != 0)
        throw DatabaseError(QStringLiteral("kelvara-cli migrate failed"));
    Figures f;
    f.ms << clock.nsecsElapsed() / 1e9;
    timed << Row{ QStringLiteral("kelvara-cli migrate of the database to the server (%1 readings)").arg(readings), f,
                  QStringLiteral("s"), QStringLiteral("≤ 300 s"), verdict(f.median() <= 300) };
    return timed;
}

int usage()
{
    err << "usage: kelvara-bench --database FILE|URI [--small-database FILE] [--server URI] [--repeats N]\n"
           "                     [--saves N] [--imports N] [--import-count N] [--clerks N] [--shell PROGRAM]\n";
    return 2;
}

}

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kelvara"));
    SetMessageSink([](const QString &text) { progress(QStringLiteral("message: ") + text); });
    Settings s;
    const QStringList args = QApplication::arguments();
    if (args.size() == 7 && args.at(1) == u"--clerk") {
        try {
            return clerk(args.at(2), args.at(3).toInt(), args.at(4).toInt(), args.at(5).toInt(),
                         QDate::fromString(args.at(6), Qt::ISODate));
        } catch (const DatabaseError &e) {
            err << "kelvara-bench: " << e.text() << "\n";
            return 3;
        }
    }
    for (int i = 1; i < args.size(); ++i) {
        const QString &a = args.at(i);
        const bool hasValue = i + 1 < args.size();
        bool ok = hasValue;
        if (a == u"--database" && hasValue)
            s.database = args.at(++i);
        else if (a == u"--small-database" && hasValue)
            s.smallDatabase = args.at(++i);
        else if (a == u"--repeats" && hasValue)
            s.repeats = args.at(++i).toInt(&ok);
        else if (a == u"--saves" && hasValue)
            s.saves = args.at(++i).toInt(&ok);
        else if (a == u"--imports" && hasValue)
            s.imports = args.at(++i).toInt(&ok);
        else if (a == u"--import-count" && hasValue)
            s.importCount = args.at(++i).toInt(&ok);
        else if (a == u"--shell" && hasValue)
            s.shell = args.at(++i);
        else if (a == u"--server" && hasValue)
            s.server = args.at(++i);
        else if (a == u"--clerks" && hasValue)
            s.clerks = args.at(++i).toInt(&ok);
        else
            ok = false;
        if (!ok)
            return usage();
    }
    if (s.database.isEmpty() || s.repeats < 1 || s.saves < 2 || s.clerks < 1)
        return usage();
    try {
        QList<QPair<QString, QList<Row>>> engines;
        const QList<Row> migrated = s.server.isEmpty() ? QList<Row>() : migrateToServer(s);
        Database::setPath(s.database);
        engines.append({ engineName(), run(s, s.database, s.smallDatabase) });
        if (!s.server.isEmpty()) {
            Database::setPath(s.server);
            engines.append({ engineName(), migrated + run(s, s.server, QString()) });
        }
        printTables(engines);
        return 0;
    } catch (const DatabaseError &e) {
        err << "kelvara-bench: " << e.text() << "\n";
        return 3;
    }
}
