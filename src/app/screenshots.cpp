// screenshots.cpp: renders the program's windows on the demonstration data into PNG files.
#include "Database.h"
#include "DemoData.h"
#include "Messages.h"
#include "Schema.h"
#include "UCommon.h"
#include "uLogin.h"
#include "ufrmAbout.h"
#include "ufrmCnfgPara.h"
#include "ufrmMaim.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTextStream>

namespace {

void settle()
{
    for (int i = 0; i < 5; ++i)
        QApplication::processEvents();
}

void save(QWidget *w, const QString &dir, const QString &name)
{
    settle();
    w->grab().save(dir + u'/' + name);
    QTextStream(stdout) << dir << '/' << name << '\n';
}

}

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kelvara"));
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("docs/screenshots");
    QDir().mkpath(out);

    QTemporaryDir tmp;
    const QString file = tmp.filePath(QStringLiteral("MDB/Kelvara.db"));
    {
        QSqlDatabase db = Database::open(file, QStringLiteral("demo"), Database::OpenMode::Create);
        Schema::create(db);
        DemoData::writeMasterData(db);
    }
    Database::close(QStringLiteral("demo"));
    Database::setPath(file);
    SetMessageBoxHandler([](const MessageBoxRequest &) { return QMessageBox::Ok; });

    {
        TfrmLogin login;
        login.show();
        save(&login, out, QStringLiteral("login.png"));
    }

    TfrmMaim main;
    main.resize(1024, 640);
    main.show();
    for (int i = 0; i < 12; ++i)
        main.Timer1Timer();
    save(&main, out, QStringLiteral("main.png"));

    // The dialogs are shown without their modal loop so that they can be drawn.
    frmCnfgPara = new TfrmCnfgPara(&main);
    frmCnfgPara->show();
    save(frmCnfgPara, out, QStringLiteral("cnfgpara.png"));
    frmCnfgPara->close();

    frmAbout = new TfrmAbout(&main);
    frmAbout->show();
    save(frmAbout, out, QStringLiteral("about.png"));
    frmAbout->close();
    settle();
    return 0;
}
