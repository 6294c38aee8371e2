// The main window: menus, task windows one per kind, tool and status bar toggles, status panels,
// the scrolling welcome text, the exit question and the two modal dialogs.
#include "Database.h"
#include "MessageRecorder.h"
#include "TestDatabase.h"
#include "UCommon.h"
#include "ufrmAbout.h"
#include "ufrmCnfgPara.h"
#include "ufrmMaim.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QtTest>

// Two window kinds that stand in for the task windows in these tests.
template <int Kind>
class ProbeTask : public QWidget
{
public:
    ProbeTask();
    ~ProbeTask() override;
};

ProbeTask<1> *probe1 = nullptr;
ProbeTask<2> *probe2 = nullptr;

template <int Kind>
ProbeTask<Kind>::ProbeTask()
{
    setObjectName(QStringLiteral("probe%1").arg(Kind));
}

template <int Kind>
ProbeTask<Kind>::~ProbeTask()
{
    if constexpr (Kind == 1)
        probe1 = nullptr;
    else
        probe2 = nullptr;
}

class TstufrmMaim : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void menusAndToolBars();
    void usingUnitPanel_data();
    void usingUnitPanel();
    void commandsNameTheTask_data();
    void commandsNameTheTask();
    void oneWindowPerKindBroughtForward();
    void closedWindowReopensFresh();
    void closeChildAndCloseAll();
    void toolBarAndStatusBarToggles();
    void exitQuestion_data();
    void exitQuestion();
    void welcomeTextScrolls();
    void dialogsNameTheTaskAfterClosing_data();
    void dialogsNameTheTaskAfterClosing();

private:
    static void settle();
    static QAction *action(TfrmMaim &main, const char *name)
    {
        return main.findChild<QAction *>(QString::fromLatin1(name));
    }
};

void TstufrmMaim::initTestCase()
{
    QApplication::setApplicationName(QStringLiteral("Kelvara"));
}

void TstufrmMaim::init()
{
    ClearTerminateRequest();
}

void TstufrmMaim::cleanup()
{
    ClearTerminateRequest();
}

// Closed windows go away when control is back in the event loop.
void TstufrmMaim::settle()
{
    QCoreApplication::sendPostedEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void TstufrmMaim::menusAndToolBars()
{
    TestDatabase t;
    MessageRecorder rec;
    TfrmMaim main;
    QStringList menus;
    for (QAction *top : main.menuBar()->actions()) {
        QStringList items;
        for (QAction *item : top->menu()->actions())
            items << (item->isSeparator() ? QStringLiteral("-") : item->objectName() + u'=' + item->text());
        menus << top->menu()->objectName() + u'=' + top->text() + u':' + items.join(u',');
    }
    QCOMPARE(menus, QStringList({
                        "N1=系统:N24=系统参数配置,-,N2=退出",
                        "N14=字典维护:N15=编号维护,N16=车间维护,N17=类型维护,N18=单价维护",
                        "N11=抄表:N19=连续式抄表",
                        "N12=报表管理:N13=报表生成",
                        "N5=窗口:N6=工具栏,N7=状态栏,-,N9=关闭子窗体,N10=关闭所有子窗体",
                        "N3=帮助:N22=帮助,-,N4=关于...",
                    }));
    QVERIFY(!main.findChild<QAction *>(QStringLiteral("N23"))->isEnabled());
    QVERIFY(action(main, "N6")->isChecked());
    QVERIFY(action(main, "N7")->isChecked());

    QStringList buttons;
    for (const char *bar : { "ToolBar2", "ToolBar1" }) {
        auto *toolBar = main.findChild<QToolBar *>(QString::fromLatin1(bar));
        QCOMPARE(toolBar->size(), QSize(150, 48));
        for (QToolButton *b : toolBar->findChildren<QToolButton *>(Qt::FindDirectChildrenOnly)) {
            if (b->objectName().startsWith(QStringLiteral("SpeedButton"))) {
                QCOMPARE(b->size(), QSize(49, 43));
                QVERIFY(b->text().isEmpty() && b->toolTip().isEmpty());
                buttons << b->objectName();
            }
        }
    }
    QCOMPARE(buttons, QStringList({ "SpeedButton4", "SpeedButton5", "SpeedButton6", "SpeedButton2",
                                    "SpeedButton3", "SpeedButton1" }));
    QCOMPARE(main.findChild<QToolBar *>(QStringLiteral("ToolBar2"))->x(), 11);
    QCOMPARE(main.findChild<QToolBar *>(QStringLiteral("ToolBar1"))->x(), 174);
    QCOMPARE(main.windowTitle(), QStringLiteral("frmMaim"));
    QVERIFY(rec.boxes().isEmpty());
}

void TstufrmMaim::usingUnitPanel_data()
{
    QTest::addColumn<QString>("unit");
    QTest::addColumn<QString>("panel");
    QTest::newRow("using unit") << "红星'厂" << "使用单位：红星'厂";
    QTest::newRow("empty Workshop table") << "" << "使用单位：";
}

void TstufrmMaim::usingUnitPanel()
{
    QFETCH(QString, unit);
    TestDatabase t;
    if (!unit.isEmpty())
        t.setUsingUnit(unit, QStringLiteral("pw"));
    MessageRecorder rec;
    TfrmMaim main;
    QTEST(main.panelText(1), "panel");
    QCOMPARE(main.panelText(0), QString());
    QVERIFY(KelvaraMg);
    QVERIFY(rec.boxes().isEmpty());

    // The panel keeps the name the window started with.
    execSql(t.db(), QStringLiteral("UPDATE Workshop SET WrokShopName = 'x'"));
    main.ShowTaskName(QStringLiteral("编号维护"));
    QTEST(main.panelText(1), "panel");
}

void TstufrmMaim::commandsNameTheTask_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("panel");
    QTest::newRow("N15") << "N15" << "编号维护";
    QTest::newRow("N16") << "N16" << "车间班组信息维护";
    QTest::newRow("N17") << "N17" << "类型维护";
    QTest::newRow("N18") << "N18" << "单价维护";
    QTest::newRow("N19") << "N19" << "连续式抄表";
    QTest::newRow("N13") << "N13" << "报表管理";
    QTest::newRow("SpeedButton4") << "SpeedButton4" << "编号维护";
    QTest::newRow("SpeedButton5") << "SpeedButton5" << "连续式抄表";
    QTest::newRow("SpeedButton6") << "SpeedButton6" << "报表管理";
}

void TstufrmMaim::commandsNameTheTask()
{
    QFETCH(QString, command);
    TestDatabase t;
    MessageRecorder rec;
    TfrmMaim main;
    main.show();
    if (auto *button = main.findChild<QToolButton *>(command))
        button->click();
    else
        main.findChild<QAction *>(command)->trigger();
    QTEST(main.panelText(0), "panel");
}

void TstufrmMaim::oneWindowPerKindBroughtForward()
{
    TestDatabase t;
    MessageRecorder rec;
    TfrmMaim main;
    main.show();
    main.OpenChild(probe1, QStringLiteral("一"));
    ProbeTask<1> *first = probe1;
    QVERIFY(first);
    QCOMPARE(main.panelText(0), QStringLiteral("一"));
    main.OpenChild(probe2, QStringLiteral("二"));
    QCOMPARE(main.clientArea()->subWindowList().size(), 2);
    QCOMPARE(main.clientArea()->currentSubWindow()->widget(), probe2);
    QVERIFY(main.clientArea()->currentSubWindow()->isMaximized());

    main.OpenChild(probe1, QStringLiteral("一"));
    QCOMPARE(probe1, first);
    QCOMPARE(main.clientArea()->subWindowList().size(), 2);
    QCOMPARE(main.clientArea()->currentSubWindow()->widget(), first);
    QCOMPARE(main.clientArea()->subWindowList(QMdiArea::StackingOrder).constLast()->widget(), first);
    QCOMPARE(main.panelText(0), QStringLiteral("一"));
}

void TstufrmMaim::closedWindowReopensFresh()
{
    TestDatabase t;
    MessageRecorder rec;
    TfrmMaim main;
    main.show();
    main.OpenChild(probe1, QStringLiteral("一"));
    QPointer<ProbeTask<1>> first = probe1;
    probe1->parentWidget()->close();
    settle();
    QVERIFY(!first);
    QVERIFY(!probe1);
    main.OpenChild(probe1, QStringLiteral("一"));
    QVERIFY(probe1);
    QCOMPARE(main.clientArea()->subWindowList().size(), 1);
}

void TstufrmMaim::closeChildAndCloseAll()
{
    TestDatabase t;
    MessageRecorder rec;
    TfrmMaim main;
    main.show();
    // With no child window both commands do nothing.
    action(main, "N9")->trigger();
    action(main, "N10")->trigger();
    main.findChild<QToolButton *>(QStringLiteral("SpeedButton2"))->click();
    main.findChild<QToolButton *>(QStringLiteral("SpeedButton3"))->click();
    settle();
    QVERIFY(main.isVisible());
    QVERIFY(rec.boxes().isEmpty());

    main.OpenChild(probe1, QStringLiteral("一"));
    main.OpenChild(probe2, QStringLiteral("二"));
    main.findChild<QToolButton *>(QStringLiteral("SpeedButton2"))->click();
    settle();
    QVERIFY(probe1);
    QVERIFY(!probe2);

    main.OpenChild(probe2, QStringLiteral("二"));
    action(main, "N10")->trigger();
    settle();
    QVERIFY(!probe1);
    QVERIFY(!probe2);
    QVERIFY(main.clientArea()->subWindowList().isEmpty());
    QVERIFY(main.isVisible());
    QVERIFY(rec.boxes().isEmpty());
}

void TstufrmMaim::toolBarAndStatusBarToggles()
{
    TestDatabase t;
    MessageRecorder rec;
    TfrmMaim main;
    main.show();
    QWidget *bands = main.findChild<QWidget *>(QStringLiteral("ControlBar1"));
    QWidget *status = main.statusBar();
    QAction *N6 = action(main, "N6");
    QAction *N7 = action(main, "N7");

    N6->trigger();
    QVERIFY(!N6->isChecked());
    QVERIFY(!bands->isVisible());
    QVERIFY(status->isVisible());
    N7->trigger();
    QVERIFY(!N7->isChecked());
    QVERIFY(!status->isVisible());
    QVERIFY(N6->isChecked() == bands->isVisible());

    N6->trigger();
    N7->trigger();
    QVERIFY(N6->isChecked());
    QVERIFY(N7->isChecked());
    QVERIFY(bands->isVisible());
    QVERIFY(status->isVisible());
    // The tool bars come back with their buttons.
    QVERIFY(main.findChild<QToolButton *>(QStringLiteral("SpeedButton1"))->isVisible());
}

void TstufrmMaim::exitQuestion_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("answer");
    QTest::newRow("menu, No") << "N2" << int(QMessageBox::No);
    QTest::newRow("menu, Yes") << "N2" << int(QMessageBox::Yes);
    QTest::newRow("tool bar, No") << "SpeedButton1" << int(QMessageBox::No);
    QTest::newRow("close box, Yes") << "" << int(QMessageBox::Yes);
}

void TstufrmMaim::exitQuestion()
{
    QFETCH(QString, command);
    QFETCH(int, answer);
    TestDatabase t;
    MessageRecorder rec;
    TfrmMaim main;
    main.show();
    main.OpenChild(probe1, QStringLiteral("一"));
    rec.answer(QMessageBox::StandardButton(answer));
    if (command.isEmpty())
        main.close();
    else if (auto *button = main.findChild<QToolButton *>(command))
        button->click();
    else
        action(main, command.toLatin1().constData())->trigger();

    QCOMPARE(rec.boxes().size(), 1);
    QCOMPARE(rec.last().text, QStringLiteral("确定要退出本系统吗？"));
    QCOMPARE(rec.last().caption, QStringLiteral("退出提示"));
    QCOMPARE(rec.last().icon, QMessageBox::Information);
    QCOMPARE(rec.last().buttons, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(rec.last().owner, &main);
    const bool leaves = answer == QMessageBox::Yes;
    QCOMPARE(main.isVisible(), !leaves);
    if (!leaves) {
        settle();
        QVERIFY(probe1);
        QVERIFY(probe1->isVisible());
    }
    main.OpenChild(probe1, QString());   // leaves nothing behind for the next row
    probe1->parentWidget()->close();
    settle();
}

void TstufrmMaim::welcomeTextScrolls()
{
    TestDatabase t;
    MessageRecorder rec;
    TfrmMaim main;
    const QString blanks(20, u' ');
    const QString text = QStringLiteral("欢迎使用《Kelvara》  版本：V0.0.1 Beta");
    QCOMPARE(main.welcomeText(), blanks + text + blanks);
    QCOMPARE(main.findChild<QTimer *>(QStringLiteral("Timer1"))->interval(), 400);

    QStringList frames;
    for (int i = 0; i < 41; ++i) {
        main.Timer1Timer();
        frames << main.panelText(2);
    }
    // Two blanks per tick, then one Chinese character per tick.
    QCOMPARE(frames.at(0), blanks + text + blanks);
    QCOMPARE(frames.at(1), QString(18, u' ') + text + blanks);
    QCOMPARE(frames.at(10), text + blanks);
    QCOMPARE(frames.at(11), text.mid(1) + blanks);
    QCOMPARE(frames.at(14), text.mid(4) + blanks);        // 《Kelvara》…
    QCOMPARE(frames.at(15), text.mid(5) + blanks);        // Kelvara》…
    QCOMPARE(frames.at(16), text.mid(7) + blanks);        // lvara》…
    QCOMPARE(frames.at(18), text.mid(11) + blanks);       // a》…
    // 78 bytes in all: the last frame holds the last two blanks, then it starts again.
    QCOMPARE(frames.at(38), QStringLiteral("  "));
    QCOMPARE(frames.at(39), blanks + text + blanks);
    QCOMPARE(frames.at(40), frames.at(1));
}

void TstufrmMaim::dialogsNameTheTaskAfterClosing_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("panel");
    QTest::newRow("system parameters") << "N24" << "系统参数配置！";
    QTest::newRow("about box") << "N4" << "关于...";
}

void TstufrmMaim::dialogsNameTheTaskAfterClosing()
{
    QFETCH(QString, command);
    QFETCH(QString, panel);
    TestDatabase t;
    t.setUsingUnit(QStringLiteral("厂"), QStringLiteral("pw"));
    MessageRecorder rec;
    TfrmMaim main;
    main.show();
    main.ShowTaskName(QStringLiteral("编号维护"));

    bool modal = false;
    QString panelWhileOpen;
    QTimer::singleShot(0, this, [&] {
        QDialog *dialog = frmCnfgPara ? static_cast<QDialog *>(frmCnfgPara) : static_cast<QDialog *>(frmAbout);
        modal = dialog && dialog->isModal() && dialog->isVisible() && dialog->parentWidget() == &main;
        panelWhileOpen = main.panelText(0);
        dialog->findChild<QPushButton *>(command == u"N24" ? QStringLiteral("BitBtn2") : QStringLiteral("BitBtn1"))
            ->click();
    });
    main.findChild<QAction *>(command)->trigger();

    QVERIFY(modal);
    QCOMPARE(panelWhileOpen, QStringLiteral("编号维护"));
    QCOMPARE(main.panelText(0), panel);
    QVERIFY(!frmCnfgPara);
    QVERIFY(!frmAbout);
    QVERIFY(rec.boxes().isEmpty());
}

QTEST_MAIN(TstufrmMaim)
#include "tst_ufrmMaim.moc"
