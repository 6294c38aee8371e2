// kelvara-bench-gen: writes a database of N meters and D days of readings for kelvara-bench.
#include "Generator.h"

#include "Database.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTextStream>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    const QStringList args = QCoreApplication::arguments();
    BenchGenerator::Options options;
    QString file;
    bool quiet = false;
    for (int i = 1; i < args.size(); ++i) {
        const QString &a = args.at(i);
        bool ok = true;
        if (a == u"--meters" && i + 1 < args.size())
            options.meters = args.at(++i).toInt(&ok);
        else if (a == u"--days" && i + 1 < args.size())
            options.days = args.at(++i).toInt(&ok);
        else if (a == u"--first-day" && i + 1 < args.size()) {
            options.firstDay = QDate::fromString(args.at(++i), Qt::ISODate);
            ok = options.firstDay.isValid();
        } else if (a == u"--quiet")
            quiet = true;
        else if (!a.startsWith(u"--") && file.isEmpty())
            file = a;
        else
            ok = false;
        if (!ok || options.meters < 1 || options.meters > 99999 || options.days < 1) {
            err << "usage: kelvara-bench-gen [--meters N] [--days D] [--first-day YYYY-MM-DD] [--quiet] FILE\n";
            return 2;
        }
    }
    if (file.isEmpty()) {
        err << "usage: kelvara-bench-gen [--meters N] [--days D] [--first-day YYYY-MM-DD] [--quiet] FILE\n";
        return 2;
    }
    QElapsedTimer clock;
    clock.start();
    try {
        BenchGenerator::generate(file, options, [&](int day) {
            if (!quiet && (day % 100 == 0 || day == options.days)) {
                err << day << " of " << options.days << " days\n";
                err.flush();
            }
        });
    } catch (const DatabaseError &e) {
        err << "kelvara-bench-gen: " << e.text() << "\n";
        return 3;
    }
    out << "wrote " << qint64(options.meters) * options.days << " readings of " << options.meters << " meters, "
        << options.firstDay.toString(Qt::ISODate) << " to " << BenchGenerator::lastDay(options).toString(Qt::ISODate)
        << ", in " << QString::number(clock.elapsed() / 1000.0, 'f', 1) << " s\n";
    return 0;
}
