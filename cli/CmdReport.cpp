#include "Commands.h"

#include "Database.h"
#include "Engine.h"
#include "ReportExport.h"
#include "ReportModel.h"
#include "ReportStatements.h"
#include "Unusual.h"

#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char *reportUsage =
    "usage: kelvara-cli [--database FILE|URI] report summary|detail|classes --from YYYY-MM-DD --to YYYY-MM-DD\n"
    "                   [--workshop NAME] [--format text|csv|pdf] [--output FILE]\n"
    "       kelvara-cli [--database FILE|URI] report unusual --from YYYY-MM-DD --to YYYY-MM-DD\n"
    "                   [--format text|csv] [--output FILE]\n";

bool wantsPdfReport(int argc, char **argv)
{
    bool report = false;
    for (int i = 1; i < argc; ++i) {
        const QByteArray a(argv[i]);
        if (a == "report")
            report = true;
        else if (report && a == "--format" && i + 1 < argc && QByteArray(argv[i + 1]) == "pdf")
            return true;
    }
    return false;
}

// A file or stream that does not take the report fails the command like the database would.
constexpr int ExitWriteFailed = ExitDatabase;

QDate isoDate(const QString &text)
{
    return QDate::fromString(text, QStringLiteral("yyyy-MM-dd"));
}

// A runtime folder Qt accepts without a warning: a folder of this user's, open to no one else.
bool usableRuntimeFolder(const QByteArray &path)
{
    struct stat info{};
    return !path.isEmpty() && ::stat(path.constData(), &info) == 0 && S_ISDIR(info.st_mode)
        && info.st_uid == ::geteuid() && (info.st_mode & 0777) == 0700;
}

// Whether path leads to the very file standard output already is (/dev/stdout, /proc/self/fd/1,
// or the file the shell redirected it to).
bool isStandardOutput(const QString &path)
{
    struct stat named{};
    struct stat out{};
    return ::stat(QFile::encodeName(path).constData(), &named) == 0 && ::fstat(STDOUT_FILENO, &out) == 0
        && named.st_dev == out.st_dev && named.st_ino == out.st_ino;
}

// Writes the report to the output file, or to standard output without one; every report is
// written here.
int writeReport(CliContext &ctx, const QString &output, ReportExport::Format writeAs, ReportExport::Document &document)
{
    // Named as the file standard output already is, the output is written there as it is open:
    // a log appended to keeps its lines.
    const bool toStandardOutput = output.isEmpty() || isStandardOutput(output);
    // A byte-order mark helps spreadsheets open a file, but not a program reading a pipe.
    document.byteOrderMark = writeAs == ReportExport::Format::Csv && !toStandardOutput;

    // Whatever the output does not take is a failure: a full disk, a closed pipe, a device.
    if (toStandardOutput) {
        ctx.out.flush();
        QFile out;
        QString failure;
        if (!out.open(stdout, QIODevice::WriteOnly))
            failure = out.errorString();
        else
            failure = ReportExport::write(out, writeAs, document);
        if (!failure.isEmpty()) {
            ctx.err << "kelvara-cli: cannot write to standard output: " << failure << "\n";
            return ExitWriteFailed;
        }
        return ExitDone;
    }
    const QString failure = ReportExport::writeFile(output, writeAs, document);
    if (!failure.isEmpty()) {
        ctx.err << "kelvara-cli: cannot write " << output << ": " << failure << "\n";
        return ExitWriteFailed;
    }
    ctx.out << "wrote " << output << "\n";
    ctx.out.flush();
    if (ctx.out.status() != QTextStream::Ok) {
        ctx.err << "kelvara-cli: wrote " << output << " but cannot write to standard output\n";
        return ExitWriteFailed;
    }
    return ExitDone;
}

}

std::unique_ptr<QCoreApplication> createCliApplication(int &argc, char **argv)
{
    // Only the printed report needs fonts and a paint device; everything else runs without a display.
    if (wantsPdfReport(argc, argv)) {
        // Pages are painted without any window: a window system inherited from a desktop would
        // be connected to, and abort the run where there is no display (cron, ssh).
        qputenv("QT_QPA_PLATFORM", "offscreen");
        // Qt looks into the user's runtime folder as it starts and warns when none is named or
        // the one named is not the user's own (su without a login shell). The report needs none:
        // an empty private folder for the run will do.
        if (!usableRuntimeFolder(qgetenv("XDG_RUNTIME_DIR"))) {
            static QTemporaryDir runtime;
            if (runtime.isValid())
                qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
        }
        return std::make_unique<QGuiApplication>(argc, argv);
    }
    return std::make_unique<QCoreApplication>(argc, argv);
}

int cmdReport(CliContext &ctx)
{
    using ReportStatements::Kind;
    QStringList args = ctx.args;
    auto usage = [&](const QString &why) {
        if (!why.isEmpty())
            ctx.err << "kelvara-cli: " << why << "\n";
        ctx.err << reportUsage;
        return ExitUsage;
    };
    if (args.isEmpty())
        return usage({});
    const QString which = args.takeFirst();
    // The unusual readings are readings to review, not sums: text or csv, the whole factory, under
    // the summary's period line.
    const bool unusual = which == u"unusual";
    Kind kind = Kind::Summary;
    if (which == u"detail")
        kind = Kind::Detail;
    else if (which == u"classes")
        kind = Kind::Classes;
    else if (which != u"summary" && !unusual)
        return usage(QStringLiteral("unknown report \"%1\"").arg(which));

    QString from, to, workshop, format = QStringLiteral("text"), output;
    bool workshopGiven = false;
    bool outputGiven = false;
    while (!args.isEmpty()) {
        const QString option = args.takeFirst();
        if (args.isEmpty())
            return usage(QStringLiteral("%1 needs a value").arg(option));
        const QString value = args.takeFirst();
        if (option == u"--from")
            from = value;
        else if (option == u"--to")
            to = value;
        else if (option == u"--workshop") {
            workshop = value;
            workshopGiven = true;
        } else if (option == u"--format")
            format = value;
        else if (option == u"--output") {
            output = value;
            outputGiven = true;
        }
        else
            return usage(QStringLiteral("unknown option %1").arg(option));
    }
    const QDate start = isoDate(from);
    const QDate end = isoDate(to);
    if (!start.isValid() || !end.isValid())
        return usage(QStringLiteral("--from and --to need dates written YYYY-MM-DD"));
    if (unusual && format != u"text" && format != u"csv")
        return usage(QStringLiteral("unknown format \"%1\" (the unusual readings are text or csv)").arg(format));
    if (format != u"text" && format != u"csv" && format != u"pdf")
        return usage(QStringLiteral("unknown format \"%1\"").arg(format));
    // An empty name (an unset variable in a script) must not send the report elsewhere.
    if (outputGiven && output.isEmpty())
        return usage(QStringLiteral("--output needs the name of a file"));
    if (format == u"pdf" && output.isEmpty())
        return usage(QStringLiteral("the pdf format needs --output"));
    // The report written over the database it reads would end every reading stored there.
    if (Engine::forLocation(ctx.database).isFile() && SqliteFile::isPartOf(output, ctx.database)) {
        ctx.err << "kelvara-cli: --output " << output << " is the database the report reads (or a file SQLite keeps "
                << "beside it); choose another file\n";
        return ExitUsage;
    }
    if (kind == Kind::Detail && !workshopGiven)
        return usage(QStringLiteral("the detail report needs --workshop"));
    if (kind != Kind::Detail && workshopGiven)
        return usage(QStringLiteral("--workshop belongs to the detail report only"));
    if (end < start) {
        ctx.err << "kelvara-cli: the end date " << to << " is before the start date " << from << "\n";
        return ExitRefused;
    }

    ReportModel model;
    model.setColumns(unusual ? ReportStatements::unusualColumns() : ReportStatements::columns(kind));
    try {
        QSqlDatabase db = Database::connection();
        qint64 workshopId = 0;
        if (kind == Kind::Detail) {
            // The name compares as on a file on either engine: ASCII letters without regard to case.
            const Engine &engine = Engine::of(db);
            QSqlQuery found = execSql(db,
                                      QStringLiteral("SELECT WrokShopID FROM Workshop WHERE WorkShopLevel = 2 AND %1 = %2")
                                          .arg(engine.nameOrder(QStringLiteral("WrokShopName")),
                                               engine.nameOrder(QStringLiteral("CAST(? AS text)"))),
                                      { workshop });
            QList<qint64> ids;
            while (found.next())
                ids << found.value(0).toLongLong();
            if (ids.isEmpty()) {
                ctx.err << "kelvara-cli: no workshop (level 2) is named \"" << workshop << "\"\n";
                return ExitRefused;
            }
            if (ids.size() > 1) {
                ctx.err << "kelvara-cli: " << ids.size() << " workshops (level 2) are named \"" << workshop
                        << "\"; rename all but one to report on it\n";
                return ExitRefused;
            }
            workshopId = ids.first();
        }
        if (unusual) {
            // The period's stored readings that are unusual by the rule a save checks.
            QList<QVariantList> rows;
            for (const Unusual::Finding &f : Unusual::findings(db, start, end))
                rows << QVariantList{ f.MeterID,  f.TakeTime.toString(Qt::ISODate), f.TakeNumber, f.CurValue,
                                      f.days > 0 ? QVariant(f.days) : QVariant(), f.perDay, f.usual, f.reason };
            model.setRows(rows);
        } else {
            model.open(ReportStatements::statement(kind), ReportStatements::params(start, end, workshopId),
                       Database::mainConnectionName());
        }
    } catch (const DatabaseError &e) {
        ctx.err << "kelvara-cli: " << e.operatorText() << "\n";
        return ExitDatabase;
    }

    ReportExport::Document document;
    document.title = unusual ? ReportStatements::unusualTitle() : ReportStatements::title(kind);
    document.periodLine = ReportStatements::periodLine(kind, from, to, workshop);
    document.model = &model;
    ReportExport::Format writeAs = ReportExport::Format::Aligned;
    if (format == u"csv") {
        writeAs = ReportExport::Format::Csv;
        document.heading = false;
        document.amounts = ReportModel::Amounts::Exact;
    } else if (format == u"pdf") {
        writeAs = ReportExport::Format::Pdf;
    }
    return writeReport(ctx, output, writeAs, document);
}
