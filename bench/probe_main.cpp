// kelvara-bench-probe: runs one window of the program in a process of its own, so that
// kelvara-bench can time the start and read the peak memory.
//   start FILE        builds the login window as the program starts it and prints, once it is
//                     shown, the monotonic clock in nanoseconds
//   report FILE FROM TO
//                     opens the report window, generates the summary reports of the period,
//                     scrolls the summary grid to its last row and prints the peak resident
//                     memory in KB
#include "Database.h"
#include "Messages.h"
#include "ReportGrid.h"
#include "UCommon.h"
#include "uLogin.h"
#include "ufrmReport.h"

#include <QApplication>
#include <QDateEdit>
#include <QTextStream>
#include <QTimer>

#include <memory>
#include <sys/resource.h>
#include <time.h>

namespace {

qint64 monotonicNanoseconds()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

int usage()
{
    QTextStream(stderr) << "usage: kelvara-bench-probe start FILE | report FILE FROM TO\n";
    return 2;
}

}

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kelvara"));
    const QStringList args = QApplication::arguments();
    if (args.size() < 3)
        return usage();
    Database::setPath(args.at(2));
    InstallStandardMessageSink();
    QTextStream out(stdout);

    if (args.at(1) == u"start" && args.size() == 3) {
        TfrmLogin login;
        login.show();
        // Queued behind the show and its first paint.
        QTimer::singleShot(0, &login, [&] {
            out << monotonicNanoseconds() << "\n";
            out.flush();
            login.reject();
            QApplication::quit();
        });
        return QApplication::exec();
    }

    if (args.at(1) == u"report" && args.size() == 5) {
        const QDate from = QDate::fromString(args.at(3), Qt::ISODate);
        const QDate to = QDate::fromString(args.at(4), Qt::ISODate);
        if (!from.isValid() || !to.isValid())
            return usage();
        SetMessageBoxHandler([](const MessageBoxRequest &) { return QMessageBox::Ok; });
        TKelvaraMg manager;
        KelvaraMg = &manager;
        auto window = std::make_unique<TfrmReport>();
        window->resize(1280, 800);
        window->show();
        QApplication::processEvents();
        window->findChild<QDateEdit *>(QStringLiteral("DateTimePicker1"))->setDate(from);
        window->findChild<QDateEdit *>(QStringLiteral("DateTimePicker2"))->setDate(to);
        window->BitBtn1Click();
        QApplication::processEvents();
        auto *grid = window->findChild<ReportGrid *>(QStringLiteral("DBGDWorkshop"));
        grid->scrollToBottom();
        QApplication::processEvents();
        grid->scrollToBottom();
        QApplication::processEvents();
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        out << usage.ru_maxrss << " " << grid->model()->rowCount() << "\n";
        window.reset();
        KelvaraMg = nullptr;
        return 0;
    }
    return usage();
}
