// main.cpp: start-up: title, login, main window, message loop.
#include "AutoBackup.h"
#include "Database.h"
#include "Engine.h"
#include "Messages.h"
#include "UCommon.h"
#include "uLogin.h"
#include "ufrmMaim.h"

#include <QApplication>
#include <QTextStream>
#include <QTimer>

#include <memory>

namespace {

// The one option: --database FILE|URI. Anything else is a usage error.
bool parseArguments(const QStringList &args, QString &database)
{
    for (int i = 1; i < args.size(); ++i) {
        if (args.at(i) == u"--database" && i + 1 < args.size())
            database = args.at(++i);
        else
            return false;
    }
    return true;
}

}

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kelvara"));

    QString database;
    if (!parseArguments(QApplication::arguments(), database)) {
        QTextStream(stderr) << "usage: kelvara [--database FILE|URI]\n";
        return 2;
    }
    // A desktop launcher gives no argument: the user's configuration file may name the database,
    // a shared server's address typically.
    database = Database::startPath(database);
    const QString problem = Engine::forLocation(database).locationProblem(database);
    if (!problem.isEmpty()) {
        QTextStream(stderr) << "kelvara: " << Engine::forLocation(database).displayName(database) << ": " << problem
                            << "\n";
        return 2;
    }
    Database::setPath(database);

    InstallStandardMessageSink();
    // The request takes effect when control is back in the event loop: the modal login ends,
    // then the loop itself.
    SetTerminateHandler([] {
        QMetaObject::invokeMethod(
            qApp,
            [] {
                if (frmLogin)
                    frmLogin->reject();
                QApplication::quit();
            },
            Qt::QueuedConnection);
    });

    // The daily copy runs beside the login and the operator's work, on a connection of its own.
    // Leaving at the login stops it, leaving no partial file.
    BackupWorker backup(Database::path());

    {
        TfrmLogin login;
        if (!TerminateRequested())
            login.exec();
        if (!login.loginOk() || TerminateRequested())
            return 0;
    }

    auto mainWindow = std::make_unique<TfrmMaim>();
    if (TerminateRequested())
        return 0;
    mainWindow->show();
    // What the daily copy found is told once it is over: a damaged database (written no more
    // from then on) or a copy that failed, with the latest good copy.
    QTimer backupWatch;
    backupWatch.setInterval(250);
    QObject::connect(&backupWatch, &QTimer::timeout, [&] {
        if (!backup.finished())
            return;
        backupWatch.stop();
        const AutoBackup::Result result = backup.result();
        if (result.damaged)
            Database::markDamaged();
        const QString text = AutoBackup::notice(Database::path(), result);
        if (!text.isEmpty())
            ShowMessageBox(mainWindow.get(), text, QStringLiteral("警告"), QMessageBox::Warning);
    });
    backupWatch.start();
    const int code = QApplication::exec();
    backup.wait();   // a copy that is under way is finished, not cut short, when the operator quits
    if (!backup.failure().isEmpty())
        QTextStream(stderr) << "kelvara: automatic backup failed: " << backup.failure() << '\n';
    Database::closeConnection();
    return code;
}
