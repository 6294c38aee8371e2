// The workshop tree window driven through its menu, panel and keyboard: what it shows and asks,
// where new units go, and that the tree follows the table only when a statement succeeded.
#include "BadInput.h"
#include "Database.h"
#include "MessageRecorder.h"
#include "TestDatabase.h"
#include "UCommon.h"
#include "ufrmWorkshop.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QApplication>
#include <QFrame>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTreeWidget>
#include <QtTest>

namespace {

const QString question =
    QStringLiteral("删除提示|你确认要删除该车间(班组)吗? 这样将会删除该车间所有的下属班组！|question|Yes+No");
const QStringList initialTree{ "红星厂", " 生产部", "  一车间", "   车工班", " 后勤部", "  动力车间" };

// The window over 红星厂 with two units, their workshops and a team.
struct Fixture
{
    TestDatabase t;
    TKelvaraMg mg;
    MessageRecorder rec;
    QPointer<TfrmWorkshop> w;

    explicit Fixture(bool withUnit = true)
    {
        KelvaraMg = &mg;
        if (!withUnit)
            return;
        t.setUsingUnit(QStringLiteral("红星厂"), QStringLiteral("pw"));
        const qint64 prod = t.addWorkshop(QStringLiteral("生产部"), 1, 1);
        t.addWorkshop(QStringLiteral("车工班"), 3, t.addWorkshop(QStringLiteral("一车间"), 2, prod));
        t.addWorkshop(QStringLiteral("动力车间"), 2, t.addWorkshop(QStringLiteral("后勤部"), 1, 1));
    }
    ~Fixture() { delete w; }
    void open()
    {
        w = new TfrmWorkshop;
        w->show();
        QApplication::setActiveWindow(w);
        QVERIFY(QTest::qWaitForWindowActive(w));
    }
    template <typename T>
    T *child(const char *name) const { return w->findChild<T *>(QString::fromLatin1(name)); }
    QTreeWidget *tree() const { return child<QTreeWidget>("TVWorkShop"); }
    QTreeWidgetItem *node(const QString &caption) const
    {
        return tree()->findItems(caption, Qt::MatchExactly | Qt::MatchRecursive).value(0);
    }
    void select(const QString &caption) const { tree()->setCurrentItem(node(caption)); }
    void command(const QString &action) const { child<QAction>(action.toLatin1().constData())->trigger(); }
    // Types key by key, then presses OK; Chinese characters arrive as key events with text.
    void enter(const QString &name, const QString &memo) const
    {
        for (const auto &[box, text] : { std::pair{ "edtWorkShopName", name }, std::pair{ "edtWorkShopMemo", memo } }) {
            auto *e = child<QLineEdit>(box);
            e->clear();
            for (const QChar c : text)
                QTest::sendKeyEvent(QTest::Click, e, Qt::Key_unknown, QString(c), Qt::NoModifier);
        }
        QTest::mouseClick(child<QPushButton>("BitBtn2"), Qt::LeftButton);
    }
    QStringList outline() const
    {
        QStringList out;
        for (QTreeWidgetItemIterator it(tree()); *it; ++it) {
            int depth = 0;
            for (auto *p = (*it)->parent(); p; p = p->parent())
                ++depth;
            out << QString(depth, u' ') + (*it)->text(0);
        }
        return out;
    }
    // Every stored row as "name/memo level parent-name".
    QStringList stored() const
    {
        QSqlQuery q = execSql(t.db(), QStringLiteral(
            "SELECT w.WrokShopName || '/' || w.WrokShopMemo || ' ' || w.WorkShopLevel || ' ' || coalesce(p.WrokShopName, '-') "
            "FROM Workshop w LEFT JOIN Workshop p ON p.WrokShopID = w.ResideWorkShopID ORDER BY w.WrokShopID"));
        QStringList rows;
        while (q.next())
            rows << q.value(0).toString();
        return rows;
    }
};

}

class TstufrmWorkshop : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QApplication::setApplicationName(QStringLiteral("Kelvara")); }
    void cleanup() { ClearTerminateRequest(); }
    void controls();
    void noUsingUnitClosesWindow();
    void add_data();
    void add();
    void addGoesBelowRememberedNode();
    void modify_data();
    void modify();
    void remove_data();
    void remove();
    void failedStatementLeavesTree_data();
    void failedStatementLeavesTree();
    void rightClickKeepsSelection();
    void badInput_data();
    void badInput();
    void keyboardOnly();
};

void TstufrmWorkshop::controls()
{
    Fixture f;
    f.t.addWorkshop(QStringLiteral("孤班"), 3, 999);
    f.open();
    QCOMPARE(frmWorkshop, f.w.data());
    QCOMPARE(f.w->windowTitle(), QStringLiteral("frmWorkshop"));
    QCOMPARE(f.tree()->toolTip(), QStringLiteral("右键菜单进行车间（班组）维护"));
    QCOMPARE(f.tree()->editTriggers(), QAbstractItemView::NoEditTriggers);
    QStringList menu;
    for (QAction *a : f.child<QMenu>("PopupMenu1")->actions())
        menu << (a->isSeparator() ? QStringLiteral("-") : a->objectName() + u' ' + a->text());
    QCOMPARE(menu, QStringList({ "N2 添加车间(班组)", "-", "N3 修改车间(班组)", "-", "N4 删除车间(班组)" }));

    // Collapsed, every unit under its own parent, the parentless row after the root.
    QVERIFY(!f.tree()->topLevelItem(0)->isExpanded());
    QCOMPARE(f.outline(), initialTree + QStringList{ "孤班" });
    QCOMPARE(TfrmWorkshop::recordOf(f.node(QStringLiteral("红星厂"))),
             (TWorkShop{ 1, QStringLiteral("红星厂"), QStringLiteral("红星厂"), 0, 0 }));

    auto *panel = f.child<QFrame>("Panel3");
    QVERIFY(!panel->isVisible());
    QCOMPARE(panel->geometry(), QRect(152, 80, 265, 193));
    f.select(QStringLiteral("生产部"));
    f.command("N2");
    QVERIFY(panel->isVisible());
    QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("edtWorkShopName"));
    f.child<QPushButton>("BitBtn2")->setFocus();
    QStringList order;
    for (int i = 0; i < 4; ++i) {
        order << QApplication::focusWidget()->objectName() + u' ' + QApplication::focusWidget()->property("text").toString();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    QCOMPARE(order, QStringList({ "BitBtn2 确定", "BitBtn3 取消", "edtWorkShopName ", "edtWorkShopMemo " }));
    QTest::mouseClick(f.child<QPushButton>("BitBtn3"), Qt::LeftButton);
    QVERIFY(!panel->isVisible());
    QVERIFY(f.rec.boxes().isEmpty());
}

void TstufrmWorkshop::noUsingUnitClosesWindow()
{
    Fixture f(false);
    f.w = new TfrmWorkshop;
    f.w->show();
    QCOMPARE(f.rec.summaries(), QStringList{ QStringLiteral("错误提示|请首先设置使用单位！|information|Ok") });
    QCoreApplication::sendPostedEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!f.w && !frmWorkshop);
}

void TstufrmWorkshop::add_data()
{
    QTest::addColumn<QString>("parent");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("boxes");
    QTest::addColumn<QString>("row");        // the last stored row afterwards
    const QString unchanged = QStringLiteral("动力车间/动力车间 2 后勤部");
    QTest::newRow("under the root") << "红星厂" << " 质检部 " << QStringList{} << "质检部/说明 1 红星厂";
    QTest::newRow("under a unit") << "后勤部" << "质检部" << QStringList{} << "质检部/说明 2 后勤部";
    QTest::newRow("under a workshop") << "动力车间" << "质检部" << QStringList{} << "质检部/说明 3 动力车间";
    QTest::newRow("under a team") << "车工班" << "" << QStringList{ "Kelvara|不能增加班组以下的单位!|none|Ok" } << unchanged;
    QTest::newRow("blank name") << "后勤部" << "   " << QStringList{ "Kelvara|请输入车间班组名称或描述！|none|Ok" }
                                << unchanged;
}

void TstufrmWorkshop::add()
{
    QFETCH(QString, parent);
    QFETCH(QString, name);
    QFETCH(QStringList, boxes);
    Fixture f;
    f.open();
    f.select(parent);
    f.command("N2");
    const bool panelOpened = f.child<QFrame>("Panel3")->isVisible();
    if (panelOpened)
        f.enter(name, QStringLiteral("说明"));
    QCOMPARE(f.rec.summaries(), boxes);
    QCOMPARE(f.rec.boxes().isEmpty() ? f.w.data() : f.rec.last().owner, f.w.data());
    // A refused entry leaves the panel open for correction.
    QCOMPARE(f.child<QFrame>("Panel3")->isVisible(), panelOpened && !boxes.isEmpty());
    QTEST(f.stored().constLast(), "row");
    if (!boxes.isEmpty()) {
        QCOMPARE(f.outline(), initialTree);
        return;
    }
    // The new node carries its row's identifier, so it can take children at once.
    QTreeWidgetItem *added = f.node(QStringLiteral("质检部"));
    QCOMPARE(added->parent(), f.node(parent));
    QVERIFY(added->parent()->isExpanded());
    QCOMPARE(TfrmWorkshop::recordOf(added).id, f.t.scalar(QStringLiteral("SELECT max(WrokShopID) FROM Workshop")));
}

void TstufrmWorkshop::addGoesBelowRememberedNode()
{
    Fixture f;
    f.open();
    f.select(QStringLiteral("一车间"));
    f.command("N2");
    // The panel leaves the tree usable: a team is selected meanwhile.
    f.select(QStringLiteral("车工班"));
    f.enter(QStringLiteral("铣工班"), QStringLiteral("铣床"));
    QVERIFY(f.rec.boxes().isEmpty());
    QCOMPARE(f.node(QStringLiteral("铣工班"))->parent(), f.node(QStringLiteral("一车间")));
    QCOMPARE(f.stored().constLast(), QStringLiteral("铣工班/铣床 3 一车间"));
}

void TstufrmWorkshop::modify_data()
{
    QTest::addColumn<QString>("unit");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("stored");
    QTest::newRow("apostrophes") << "车工班" << "O'Neil's 班" << 3 << "O'Neil's 班/it's '; -- 3 一车间";
    QTest::newRow("root renames the using unit") << "红星厂" << "蓝天厂" << 0 << "蓝天厂/it's '; -- 0 -";
}

void TstufrmWorkshop::modify()
{
    QFETCH(QString, unit);
    QFETCH(QString, name);
    QFETCH(int, row);
    Fixture f;
    f.open();
    f.select(unit);
    f.command("N3");
    QCOMPARE(f.child<QLineEdit>("edtWorkShopName")->text() + u'|' + f.child<QLineEdit>("edtWorkShopMemo")->text(),
             unit + u'|' + unit);
    f.enter(name, QStringLiteral("it's '; --"));
    QVERIFY(f.rec.boxes().isEmpty());
    QVERIFY(!f.child<QFrame>("Panel3")->isVisible());
    QTEST(f.stored().at(row), "stored");
    QVERIFY(f.node(name));
    QCOMPARE(TfrmWorkshop::recordOf(f.node(name)).description, QStringLiteral("it's '; --"));
    QCOMPARE(f.mg.GetUsingUnitName(), row == 0 ? name : QStringLiteral("红星厂"));
}

void TstufrmWorkshop::remove_data()
{
    QTest::addColumn<QString>("unit");
    QTest::addColumn<int>("answer");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QStringList>("tree");
    QTest::newRow("unit with grandchildren") << "生产部" << int(QMessageBox::Yes) << ""
                                              << QStringList{ "红星厂", " 后勤部", "  动力车间" };
    QTest::newRow("answered No") << "一车间" << int(QMessageBox::No) << "" << initialTree;
    QTest::newRow("nothing selected") << "" << int(QMessageBox::Yes) << "" << initialTree;
    QTest::newRow("root") << "红星厂" << int(QMessageBox::Yes) << "错误提示|不能删除当前使用单位！|information|Ok"
                          << initialTree;
    QTest::newRow("meter on a team below") << "后勤部" << int(QMessageBox::Yes)
                                           << "错误提示|该车间(班组)下还有表，不能删除！|information|Ok" << initialTree;
}

void TstufrmWorkshop::remove()
{
    QFETCH(QString, unit);
    QFETCH(int, answer);
    QFETCH(QString, message);
    Fixture f;
    const qint64 sort = f.t.addMeterSort(QStringLiteral("电表"));
    const qint64 power = f.t.scalar(QStringLiteral("SELECT WrokShopID FROM Workshop WHERE WrokShopName = '动力车间'")).toLongLong();
    const qint64 team = f.t.addWorkshop(QStringLiteral("配电班"), 3, power);
    f.t.addMeter({ QStringLiteral("E01"), sort, f.t.addPrice(QStringLiteral("照明"), yuan("0.6"), yuan("1.2"), sort),
                   power, team });
    f.open();
    f.select(unit);
    if (unit.isEmpty())   // a current node, but nothing selected
        f.tree()->clearSelection();
    f.rec.answer(QMessageBox::StandardButton(answer));
    f.command("N4");
    QCOMPARE(f.rec.summaries(), (message.isEmpty() ? QStringList{ question } : QStringList{ question, message }));
    QCOMPARE(f.rec.boxes().constFirst().owner, f.w.data());
    QFETCH(QStringList, tree);
    QCOMPARE(f.outline(), tree + QStringList{ "   配电班" });
    QCOMPARE(f.stored().size(), tree.size() + 1);
}

void TstufrmWorkshop::failedStatementLeavesTree_data()
{
    QTest::addColumn<QString>("trigger");
    QTest::addColumn<QString>("command");
    QTest::addColumn<QStringList>("boxes");
    QTest::newRow("delete") << "BEFORE DELETE ON Workshop" << "N4"
                            << QStringList{ question, "错误提示|删除车间班组出错!|information|Ok" };
    QTest::newRow("add") << "BEFORE INSERT ON Workshop" << "N2"
                         << QStringList{ "错误提示|车间（班组）增加失败！|information|Ok" };
    QTest::newRow("modify") << "BEFORE UPDATE ON Workshop" << "N3"
                            << QStringList{ "Kelvara|车间班组信息更新失败!|none|Ok" };
}

void TstufrmWorkshop::failedStatementLeavesTree()
{
    QFETCH(QString, trigger);
    QFETCH(QString, command);
    Fixture f;
    execSql(f.t.db(), QStringLiteral("CREATE TRIGGER refuse %1 BEGIN SELECT RAISE(ABORT, 'refused'); END").arg(trigger));
    f.open();
    f.select(QStringLiteral("一车间"));
    const TWorkShop before = TfrmWorkshop::recordOf(f.node(QStringLiteral("一车间")));
    f.command(command);
    if (command != u"N4")
        f.enter(QStringLiteral("新名"), QStringLiteral("新说明"));
    QTEST(f.rec.summaries(), "boxes");
    QVERIFY(!f.child<QFrame>("Panel3")->isVisible());
    QCOMPARE(f.outline(), initialTree);
    QCOMPARE(TfrmWorkshop::recordOf(f.node(QStringLiteral("一车间"))), before);
    QCOMPARE(f.stored().size(), 6);
}

void TstufrmWorkshop::rightClickKeepsSelection()
{
    Fixture f;
    f.open();
    f.tree()->expandAll();
    f.select(QStringLiteral("一车间"));
    const QPoint at = f.tree()->viewport()->mapTo(f.w, f.tree()->visualItemRect(f.node(QStringLiteral("后勤部"))).center());
    // Through the window, as the platform delivers it: the press, then the context menu event.
    QTest::mouseClick(f.w->windowHandle(), Qt::RightButton, Qt::NoModifier, at);
    auto *menu = f.child<QMenu>("PopupMenu1");
    QTRY_VERIFY(menu->isVisible());
    menu->hide();
    QCOMPARE(f.tree()->selectedItems(), QList<QTreeWidgetItem *>{ f.node(QStringLiteral("一车间")) });
    f.command("N3");
    QCOMPARE(f.child<QLineEdit>("edtWorkShopName")->text(), QStringLiteral("一车间"));
}

void TstufrmWorkshop::badInput_data()
{
    using namespace BadInput;
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("memo");
    QTest::addColumn<QString>("stored");     // name/memo of the new row; empty: refused

    const QString fifty = repeated(QStringLiteral("车间"), 50);
    QTest::newRow("statement and always-true condition") << dropTable << orTrue << dropTable + u'/' + orTrue;
    QTest::newRow("quotes and wildcards") << quotes << wildcards << quotes + u'/' + wildcards;
    QTest::newRow("emoji") << emoji << emoji << emoji + u'/' + emoji;
    QTest::newRow("50 characters") << fifty << fifty << fifty + u'/' + fifty;
    QTest::newRow("51 characters typed") << fifty + u'班' << u'班' + fifty << fifty + u'/' + u'班' + fifty.chopped(1);
    QTest::newRow("10,000 characters pasted") << repeated(QStringLiteral("车间"), 10000) << repeated(QStringLiteral("车间"), 10000)
                                              << fifty + u'/' + fifty;
    const QString edge = repeated(QStringLiteral("车"), 49);
    // Two code units would make 51: the box refuses the emoji whole instead of keeping half of it.
    QTest::newRow("emoji as the 50th character") << edge + emoji.right(2) << emoji + edge << edge + u'/' + emoji + edge.chopped(6);
    QTest::newRow("blank name") << "   " << "说明" << "";
    QTest::newRow("empty memo") << "质检部" << "" << "";
}

void TstufrmWorkshop::badInput()
{
    QFETCH(QString, name);
    QFETCH(QString, memo);
    QFETCH(QString, stored);
    Fixture f;
    const QString schema = BadInput::schemaOf(f.t.db());
    f.open();
    f.select(QStringLiteral("后勤部"));
    f.command("N2");
    BadInput::enter(f.child<QLineEdit>("edtWorkShopName"), name);
    BadInput::enter(f.child<QLineEdit>("edtWorkShopMemo"), memo);
    QTest::mouseClick(f.child<QPushButton>("BitBtn2"), Qt::LeftButton);

    QCOMPARE(BadInput::schemaOf(f.t.db()), schema);
    if (stored.isEmpty()) {
        QCOMPARE(f.rec.summaries(), QStringList{ QStringLiteral("Kelvara|请输入车间班组名称或描述！|none|Ok") });
        QCOMPARE(f.t.count(QStringLiteral("Workshop")), 6);
        QCOMPARE(f.outline(), initialTree);
        return;
    }
    QVERIFY(f.rec.boxes().isEmpty());
    QCOMPARE(f.stored().constLast(), stored + QStringLiteral(" 2 后勤部"));
    // The tree shows the stored name, and the window opened afresh shows it again.
    const QString shown = stored.section(u'/', 0, 0);
    QCOMPARE(f.outline().constLast(), QStringLiteral("  ") + shown);
    delete f.w;
    f.open();
    QCOMPARE(f.outline().constLast(), QStringLiteral("  ") + shown);
}

void TstufrmWorkshop::keyboardOnly()
{
    Fixture f;
    f.open();
    f.tree()->clearFocus();
    f.tree()->setFocus(Qt::TabFocusReason);
    // Tabbed into: the node that shows the focus is the selected one.
    QCOMPARE(f.tree()->selectedItems(), QList<QTreeWidgetItem *>{ f.node(QStringLiteral("红星厂")) });
    QTest::keyClick(f.tree(), Qt::Key_Right);
    QTest::keyClick(f.tree(), Qt::Key_Down);
    QCOMPARE(f.tree()->selectedItems(), QList<QTreeWidgetItem *>{ f.node(QStringLiteral("生产部")) });
    // The menu key opens the menu over the tree.
    QContextMenuEvent menuKey(QContextMenuEvent::Keyboard, QPoint(5, 5), f.tree()->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(f.tree(), &menuKey);
    auto *menu = f.child<QMenu>("PopupMenu1");
    QTRY_VERIFY(menu->isVisible());
    menu->hide();
    f.command("N2");
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("Q"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("M"));
    f.child<QPushButton>("BitBtn2")->setFocus(Qt::TabFocusReason);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QVERIFY(!f.child<QFrame>("Panel3")->isVisible());
    QCOMPARE(f.stored().constLast(), QStringLiteral("Q/M 2 生产部"));
    QVERIFY(f.rec.boxes().isEmpty());
}

QTEST_MAIN(TstufrmWorkshop)
#include "tst_ufrmWorkshop.moc"
