// The main window: menus, task windows one per kind, tool and status bar toggles, status panels,
// the scrolling welcome text, the exit question and the two modal dialogs.
#include "Database.h"
#include "MessageRecorder.h"
#include "TestDatabase.h"
#include "UCommon.h"
#include "ufrmAbout.h"
#include "ufrmCnfgPara.h"
#include "ufrmMaim.h"
#include "ufrmTakeMeter.h"

#include <QAction>
#include <QApplication>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QtTest>

// Two window kinds that stand in for the task windows; each clears its reference when destroyed.
template <int Kind>
struct Probe : QWidget
{
    static inline Probe *ref = nullptr;
    ~Probe() override { ref = nullptr; }
};
auto &probe1 = Probe<1>::ref;
auto &probe2 = Probe<2>::ref;

class TstufrmMaim : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QApplication::setApplicationName(QStringLiteral("Kelvara")); }
    void init() { ClearTerminateRequest(); }
    void toolBarsAndTitle();
    void usingUnitPanel_data();
    void usingUnitPanel();
    void commandsNameTheTask_data();
    void commandsNameTheTask();
    void taskWindowRegistry();
    void readingCommandsOpenOneReadingWindow();
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

// Closed windows go away when control is back in the event loop.
void TstufrmMaim::settle()
{
    QCoreApplication::sendPostedEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void TstufrmMaim::toolBarsAndTitle()
{
    TestDatabase t;
    MessageRecorder rec;
    TfrmMaim main;
    QVERIFY(action(main, "N6")->isChecked() && action(main, "N7")->isChecked());
    // Each bar at its place, its picture buttons left to right.
    QStringList bars;
    for (QToolBar *bar : main.findChildren<QToolBar *>()) {
        QStringList buttons;
        for (QToolButton *b : bar->findChildren<QToolButton *>(QRegularExpression(QStringLiteral("^SpeedButton"))))
            buttons << QStringLiteral("%1 %2x%3%4").arg(b->objectName()).arg(b->width()).arg(b->height()).arg(b->text());
        bars << QStringLiteral("%1 at %2: %3").arg(bar->objectName()).arg(bar->x()).arg(buttons.join(u','));
    }
    QCOMPARE(bars, QStringList({ "ToolBar2 at 11: SpeedButton4 49x43,SpeedButton5 49x43,SpeedButton6 49x43",
                                 "ToolBar1 at 174: SpeedButton2 49x43,SpeedButton3 49x43,SpeedButton1 49x43" }));
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

void TstufrmMaim::taskWindowRegistry()
{
    TestDatabase t;
    MessageRecorder rec;
    TfrmMaim main;
    main.show();
    QMdiArea *area = main.clientArea();
    // With no child window, close child and close all do nothing.
    for (const char *command : { "N9", "N10" })
        action(main, command)->trigger();
    main.findChild<QToolButton *>(QStringLiteral("SpeedButton2"))->click();
    main.findChild<QToolButton *>(QStringLiteral("SpeedButton3"))->click();

    main.OpenChild(probe1, QStringLiteral("一"));
    QPointer<Probe<1>> first = probe1;
    main.OpenChild(probe2, QStringLiteral("二"));
    QCOMPARE(area->currentSubWindow()->widget(), probe2);
    QVERIFY(area->currentSubWindow()->isMaximized());
    // Choosing an open kind brings it forward; no second copy.
    main.OpenChild(probe1, QStringLiteral("一"));
    QCOMPARE(probe1, first.data());
    QCOMPARE(area->subWindowList().size(), 2);
    QCOMPARE(area->subWindowList(QMdiArea::StackingOrder).constLast()->widget(), first.data());
    QCOMPARE(main.panelText(0), QStringLiteral("一"));

    // Close child closes the one in front; choosing it again makes a fresh window.
    main.findChild<QToolButton *>(QStringLiteral("SpeedButton2"))->click();
    settle();
    QVERIFY(!first && !probe1 && probe2);
    main.OpenChild(probe1, QStringLiteral("一"));
    QVERIFY(probe1);
    action(main, "N10")->trigger();
    settle();
    QVERIFY(!probe1 && !probe2);
    QVERIFY(area->subWindowList().isEmpty());
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
    QAction *N6 = action(main, "N6");
    QAction *N7 = action(main, "N7");
    auto state = [&] {
        return QList<bool>{ N6->isChecked(), bands->isVisible(), N7->isChecked(), main.statusBar()->isVisible() };
    };
    N6->trigger();
    QCOMPARE(state(), QList<bool>({ false, false, true, true }));
    N7->trigger();
    QCOMPARE(state(), QList<bool>({ false, false, false, false }));
    N6->trigger();
    QCOMPARE(state(), QList<bool>({ true, true, false, false }));
    N7->trigger();
    QCOMPARE(state(), QList<bool>({ true, true, true, true }));
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

    QCOMPARE(rec.summaries(), QStringList{ QStringLiteral("退出提示|确定要退出本系统吗？|information|Yes+No") });
    QCOMPARE(rec.last().owner, &main);
    const bool leaves = answer == QMessageBox::Yes;
    QCOMPARE(main.isVisible(), !leaves);
    settle();
    QVERIFY(probe1);
    QCOMPARE(probe1->isVisible(), !leaves);
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
void TstufrmMaim::readingCommandsOpenOneReadingWindow()
{
    TestDatabase t;
    MessageRecorder rec;
    TfrmMaim main;
    main.show();
    main.findChild<QToolButton *>(QStringLiteral("SpeedButton5"))->click();
    QPointer<TfrmTakeMeter> first = frmTakeMeter;
    QVERIFY(first);
    action(main, "N19")->trigger();
    QCOMPARE(frmTakeMeter, first.data());
    QCOMPARE(main.clientArea()->currentSubWindow()->widget(), first.data());
    main.clientArea()->closeAllSubWindows();
    settle();
    QVERIFY(!first && !frmTakeMeter);
    QVERIFY(rec.boxes().isEmpty());
}

#include "tst_ufrmMaim.moc"
