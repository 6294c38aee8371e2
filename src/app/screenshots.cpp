// screenshots.cpp: renders the program's windows on the demonstration data into PNG files.
#include "Database.h"
#include "DemoData.h"
#include "Messages.h"
#include "Schema.h"
#include "PrintPreview.h"
#include "UCommon.h"
#include "uLogin.h"
#include "ufrmAbout.h"
#include "ufrmCnfgPara.h"
#include "ufrmMaim.h"
#include "MeterRegister.h"
#include "ufrmMeter.h"
#include "ufrmMeterExchange.h"
#include "ufrmMeterSort.h"
#include "ufrmPrice.h"
#include "ufrmReport.h"
#include "ufrmTakeMeter.h"
#include "TakeMeterEntry.h"
#include "DataSet.h"
#include "ufrmWorkshop.h"

#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QPrintPreviewWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTreeWidget>

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

// Types text into a widget key by key, then Enter.
void typeKeys(QWidget *w, const QString &text)
{
    w->setFocus();
    for (const QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(w, &press);
    }
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(w, &enter);
}

// Two readings of every demonstration meter in July 2024, priced within and beyond the quota.
void writeReadings(QSqlDatabase &db)
{
    for (const char *sql : {
             "INSERT INTO TakeMeter SELECT MeterNO, BaseNumber + (Meter.rowid % 7 + 3) * 10, (Meter.rowid % 7 + 3) * 10 * Multiple,"
             " (Meter.rowid % 7 + 3) * 10 * Multiple * PriceNumber, 0, '2024-07-10', '2024-07-10'"
             " FROM Meter JOIN Price USING (PriceID)",
             "INSERT INTO TakeMeter SELECT MeterNO, BaseNumber + (Meter.rowid % 5 + 8) * 20, (Meter.rowid % 5 + 2) * 10 * Multiple,"
             " (Meter.rowid % 5 + 2) * 5 * Multiple * PriceNumber, (Meter.rowid % 5 + 2) * 5 * Multiple * ExceedPrice,"
             " '2024-07-25', '2024-07-26' FROM Meter JOIN Price USING (PriceID)" })
        execSql(db, QString::fromLatin1(sql));
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
        writeReadings(db);
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

    // The workshop tree opened out, then with the edit panel over it.
    main.N16Click();
    settle();
    auto *tree = frmWorkshop->findChild<QTreeWidget *>(QStringLiteral("TVWorkShop"));
    tree->expandAll();
    tree->setCurrentItem(tree->findItems(QStringLiteral("机加工车间"), Qt::MatchExactly | Qt::MatchRecursive).value(0));
    tree->setFocus();
    save(&main, out, QStringLiteral("workshop.png"));
    frmWorkshop->N3Click();
    save(&main, out, QStringLiteral("workshop-panel.png"));
    frmWorkshop->parentWidget()->close();
    settle();

    // The office's locale writes short dates as 2024/7/1.
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));

    // The meter register on its third meter, then the meter types and the unit prices.
    main.SpeedButton4Click();
    settle();
    auto *meters = frmMeter->findChild<QTableView *>(QStringLiteral("DBGridEh3"));
    meters->selectRow(2);
    meters->setFocus();
    save(&main, out, QStringLiteral("meter.png"));
    // The exchange of the first meter's counter, filled in as the operator types it.
    meters->selectRow(0);
    {
        TfrmMeterExchange exchange(frmMeter->core()->storedNumber().toString(), frmMeter);
        exchange.findChild<QDateEdit *>(QStringLiteral("DTExchange"))->setDate(QDate(2024, 7, 18));
        for (const auto &[box, text] : { std::pair{ "edtOldFinal", "1342" }, std::pair{ "edtNewInitial", "0" },
                                         std::pair{ "edtType", "LXS-50C" }, std::pair{ "edtNote", "表盘破裂，更换新表" } })
            exchange.findChild<QLineEdit *>(QString::fromLatin1(box))->setText(QString::fromUtf8(text));
        exchange.show();
        save(&exchange, out, QStringLiteral("meter-exchange.png"));
    }
    frmMeter->parentWidget()->close();
    main.N17Click();
    save(&main, out, QStringLiteral("metersort.png"));
    frmMeterSort->parentWidget()->close();
    main.N18Click();
    save(&main, out, QStringLiteral("price.png"));
    frmPrice->parentWidget()->close();
    settle();

    // The report window at its designed size, 762 x 480.
    main.resize(1100, 680);
    main.N13Click();
    settle();
    auto *reportFrame = qobject_cast<QMdiSubWindow *>(frmReport->parentWidget());
    reportFrame->showNormal();
    reportFrame->resize(reportFrame->size() - frmReport->size() + QSize(762, 480));
    settle();
    frmReport->findChild<QDateEdit *>(QStringLiteral("DateTimePicker1"))->setDate(QDate(2024, 7, 1));
    frmReport->findChild<QDateEdit *>(QStringLiteral("DateTimePicker2"))->setDate(QDate(2024, 7, 31));
    frmReport->findChild<QPushButton *>(QStringLiteral("BitBtn1"))->click();
    frmReport->findChild<QComboBox *>(QStringLiteral("ComboBox1"))->setCurrentIndex(0);
    frmReport->findChild<QPushButton *>(QStringLiteral("BitBtn5"))->click();
    auto *pages = frmReport->findChild<QTabWidget *>(QStringLiteral("PageControl1"));
    const char *names[] = { "report-summary.png", "report-detail.png", "report-classes.png" };
    for (int page = 0; page < 3; ++page) {
        pages->setCurrentIndex(page);
        pages->currentWidget()->findChild<QTableView *>()->setFocus();
        save(frmReport, out, QString::fromLatin1(names[page]));
    }

    // Scrolled sideways and down to the last row: the first two columns stay beside their rows.
    pages->setCurrentIndex(0);
    settle();
    auto *grid = frmReport->findChild<QTableView *>(QStringLiteral("DBGDWorkshop"));
    grid->setFocus();
    grid->selectRow(grid->model()->rowCount() - 1);
    settle();
    grid->horizontalScrollBar()->setValue(grid->horizontalScrollBar()->maximum());
    save(frmReport, out, QStringLiteral("report-frozen.png"));

    // The print preview at the same size: the whole page, then the page's width at the top.
    frmReport->findChild<QPushButton *>(QStringLiteral("BitBtn2"))->click();
    if (auto *preview = frmReport->findChild<TPrintPreview *>()) {
        preview->resize(762, 480);
        preview->setCurrentPage(1);
        if (auto *pageView = preview->findChild<QPrintPreviewWidget *>()) {
            settle();
            pageView->fitInView();
            save(preview, out, QStringLiteral("report-preview.png"));
            pageView->fitToWidth();
            settle();
            for (QScrollBar *bar : pageView->findChildren<QScrollBar *>())
                bar->setValue(bar->minimum());
            save(preview, out, QStringLiteral("report-preview-zoomed.png"));
        }
        preview->close();
    }
    reportFrame->close();
    settle();

    // Four readings typed on 31 July, then the chooser for the beginning of a number.
    main.resize(1024, 640);
    main.N19Click();
    settle();
    frmTakeMeter->findChild<QDateEdit *>(QStringLiteral("DTMeter"))->setDate(QDate(2024, 7, 31));
    frmTakeMeter->findChild<QPushButton *>(QStringLiteral("BitBtn1"))->click();
    auto *meterEdit = frmTakeMeter->findChild<QLineEdit *>(QStringLiteral("DBEditEh3"));
    auto *counterEdit = frmTakeMeter->findChild<QLineEdit *>(QStringLiteral("DBEditEh4"));
    for (const auto &[meter, counter] : { std::pair{ "S101", "1530" }, std::pair{ "D101", "23460" },
                                          std::pair{ "D203", "9350" }, std::pair{ "S401", "10400" } }) {
        typeKeys(meterEdit, QString::fromLatin1(meter));
        typeKeys(counterEdit, QString::fromLatin1(counter));
    }
    typeKeys(meterEdit, QStringLiteral("S301"));
    save(&main, out, QStringLiteral("reading.png"));
    frmTakeMeter->entry()->adoTakeMeter()->cancel();
    typeKeys(meterEdit, QStringLiteral("S1"));
    save(&main, out, QStringLiteral("reading-chooser.png"));

    // The question for a reading unlike the meter's usual consumption, No the default.
    {
        const UnusualReading odd{ QStringLiteral("S101"), QDate(2024, 7, 31), 4200, QStringLiteral("12.5"), false };
        QMessageBox question(QMessageBox::Question, QStringLiteral("操作提示"), UnusualQuestionText(odd),
                             QMessageBox::Yes | QMessageBox::No, frmTakeMeter);
        question.setDefaultButton(QMessageBox::No);
        question.show();
        save(&question, out, QStringLiteral("reading-unusual.png"));
    }
    return 0;
}
