#include "Commands.h"

#include "Database.h"
#include "ReportExport.h"
#include "ReportModel.h"
#include "ReportStatements.h"
#include "Unusual.h"

#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>

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

// Writes the document to the output file, or to standard output without one.
int writeReport(CliContext &ctx, const QString &output, ReportExport::Format format,
                const ReportExport::Document &document)
{
    // Whatever the output does not take is a failure: a full disk, a closed pipe, a device.
    if (output.isEmpty()) {
        ctx.out.flush();
        QFile out;
        QString failure;
        if (!out.open(stdout, QIODevice::WriteOnly))
            failure = out.errorString();
        else
            failure = ReportExport::write(out, format, document);
        if (!failure.isEmpty()) {
            ctx.err << "kelvara-cli: cannot write to standard output: " << failure << "\n";
            return ExitWriteFailed;
        }
        return ExitDone;
    }
    const QString failure = ReportExport::writeFile(output, format, document);
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

// The period's stored readings that are unusual by the rule a save checks, for review before billing.
int reportUnusual(CliContext &ctx, QStringList args)
{
    auto usage = [&](const QString &why) {
        ctx.err << "kelvara-cli: " << why << "\n" << reportUsage;
        return ExitUsage;
    };
    QString from, to, format = QStringLiteral("text"), output;
    while (!args.isEmpty()) {
        const QString option = args.takeFirst();
        if (args.isEmpty())
            return usage(QStringLiteral("%1 needs a value").arg(option));
        const QString value = args.takeFirst();
        if (option == u"--from")
            from = value;
        else if (option == u"--to")
            to = value;
        else if (option == u"--format")
            format = value;
        else if (option == u"--output")
            output = value;
        else
            return usage(QStringLiteral("unknown option %1").arg(option));
    }
    const QDate start = isoDate(from);
    const QDate end = isoDate(to);
    if (!start.isValid() || !end.isValid())
        return usage(QStringLiteral("--from and --to need dates written YYYY-MM-DD"));
    if (format != u"text" && format != u"csv")
        return usage(QStringLiteral("unknown format \"%1\" (the unusual readings are text or csv)").arg(format));
    if (end < start) {
        ctx.err << "kelvara-cli: the end date " << to << " is before the start date " << from << "\n";
        return ExitRefused;
    }
    ReportModel model;
    model.setColumns(ReportStatements::unusualColumns());
    try {
        QList<QVariantList> rows;
        for (const Unusual::Finding &f : Unusual::findings(Database::connection(), start, end))
            rows << QVariantList{ f.MeterID,  f.TakeTime.toString(Qt::ISODate), f.TakeNumber, f.CurValue,
                                  f.days > 0 ? QVariant(f.days) : QVariant(), f.perDay, f.usual, f.reason };
        model.setRows(rows);
    } catch (const DatabaseError &e) {
        ctx.err << "kelvara-cli: " << e.operatorText() << "\n";
        return ExitDatabase;
    }
    ReportExport::Document document;
    document.title = ReportStatements::unusualTitle();
    document.periodLine = ReportStatements::periodLine(ReportStatements::Kind::Summary, from, to);
    document.model = &model;
    const bool csv = format == u"csv";
    if (csv) {
        document.heading = false;
        document.amounts = ReportModel::Amounts::Exact;
    }
    document.byteOrderMark = csv && !output.isEmpty();
    return writeReport(ctx, output, csv ? ReportExport::Format::Csv : ReportExport::Format::Aligned, document);
}

}

std::unique_ptr<QCoreApplication> createCliApplication(int &argc, char **argv)
{
    // Only the printed report needs fonts and a paint device; everything else runs without a display.
    if (wantsPdfReport(argc, argv)) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        // Qt looks into the user's runtime folder as it starts and warns when none is named, as
        // under cron or su. The report needs none: an empty private folder for the run will do.
        if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
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
    if (which == u"unusual")
        return reportUnusual(ctx, args);
    Kind kind;
    if (which == u"summary")
        kind = Kind::Summary;
    else if (which == u"detail")
        kind = Kind::Detail;
    else if (which == u"classes")
        kind = Kind::Classes;
    else
        return usage(QStringLiteral("unknown report \"%1\"").arg(which));

    QString from, to, workshop, format = QStringLiteral("text"), output;
    bool workshopGiven = false;
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
        else if (option == u"--output")
            output = value;
        else
            return usage(QStringLiteral("unknown option %1").arg(option));
    }
    const QDate start = isoDate(from);
    const QDate end = isoDate(to);
    if (!start.isValid() || !end.isValid())
        return usage(QStringLiteral("--from and --to need dates written YYYY-MM-DD"));
    if (format != u"text" && format != u"csv" && format != u"pdf")
        return usage(QStringLiteral("unknown format \"%1\"").arg(format));
    if (format == u"pdf" && output.isEmpty())
        return usage(QStringLiteral("the pdf format needs --output"));
    if (kind == Kind::Detail && !workshopGiven)
        return usage(QStringLiteral("the detail report needs --workshop"));
    if (kind != Kind::Detail && workshopGiven)
        return usage(QStringLiteral("--workshop belongs to the detail report only"));
    if (end < start) {
        ctx.err << "kelvara-cli: the end date " << to << " is before the start date " << from << "\n";
        return ExitRefused;
    }

    ReportModel model;
    model.setColumns(ReportStatements::columns(kind));
    try {
        QSqlDatabase db = Database::connection();
        qint64 workshopId = 0;
        if (kind == Kind::Detail) {
            QSqlQuery found = execSql(
                db, QStringLiteral("SELECT WrokShopID FROM Workshop WHERE WorkShopLevel = 2 AND WrokShopName = ?"),
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
        model.open(ReportStatements::statement(kind), ReportStatements::params(start, end, workshopId),
                   Database::mainConnectionName());
    } catch (const DatabaseError &e) {
        ctx.err << "kelvara-cli: " << e.operatorText() << "\n";
        return ExitDatabase;
    }

    ReportExport::Document document;
    document.title = ReportStatements::title(kind);
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
    // A byte-order mark helps spreadsheets open a file, but not a program reading a pipe.
    document.byteOrderMark = writeAs == ReportExport::Format::Csv && !output.isEmpty();

    return writeReport(ctx, output, writeAs, document);
}
