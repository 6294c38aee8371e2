// The workshop tree window driven through its menu, panel and keyboard: what it shows and asks,
// where new units go, and that the tree follows the table only when a statement succeeded.
#include "Database.h"
#include "MessageRecorder.h"
#include "TestDatabase.h"
#include "UCommon.h"
#include "ufrmWorkshop.h"

#include <QAction>
#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTreeWidget>
#include <QtTest>

namespace {

const QString question =
    QStringLiteral("删除提示|你确认要删除该车间(班组)吗? 这样将会删除该车间所有的下属班组！|question|Yes+No");
const QString blankText = QStringLiteral("Kelvara|请输入车间班组名称或描述！|none|Ok");

// The window over 红星厂 with two units, their workshops and teams.
struct Fixture
{
    TestDatabase t;
    TKelvaraMg mg;
    MessageRecorder rec;
    QPointer<TfrmWorkshop> w;
    qint64 prod = 0, shop1 = 0, lathe = 0, back = 0, power = 0;

    explicit Fixture(bool withUnit = true)
    {
        KelvaraMg = &mg;
        if (!withUnit)
            return;
        t.setUsingUnit(QStringLiteral("红星厂"), QStringLiteral("pw"));
        prod = t.addWorkshop(QStringLiteral("生产部"), 1, 1);
        shop1 = t.addWorkshop(QStringLiteral("一车间"), 2, prod);
        lathe = t.addWorkshop(QStringLiteral("车工班"), 3, shop1);
        back = t.addWorkshop(QStringLiteral("后勤部"), 1, 1);
        power = t.addWorkshop(QStringLiteral("动力车间"), 2, back);
    }
    ~Fixture()
    {
        delete w;
        ClearTerminateRequest();
    }
    void open()
    {
        w = new TfrmWorkshop;
        w->show();
        QApplication::setActiveWindow(w);
        QVERIFY(QTest::qWaitForWindowActive(w));
    }
    template <typename T>
    T *child(const char *name) const
    {
        return w->findChild<T *>(QString::fromLatin1(name));
    }
    QTreeWidget *tree() const { return child<QTreeWidget>("TVWorkShop"); }
    QFrame *panel() const { return child<QFrame>("Panel3"); }
    QLineEdit *edit(const char *name) const { return child<QLineEdit>(name); }
    QTreeWidgetItem *node(const QString &caption) const
    {
        const auto found = tree()->findItems(caption, Qt::MatchExactly | Qt::MatchRecursive);
        return found.size() == 1 ? found.first() : nullptr;
    }
    void select(const QString &caption) const { tree()->setCurrentItem(node(caption)); }
    void command(const char *action) const { child<QAction>(action)->trigger(); }
    void click(const char *button) const { QTest::mouseClick(child<QPushButton>(button), Qt::LeftButton); }
    // Types into a box key by key; Chinese characters arrive as key events with text.
    void retype(const char *name, const QString &text) const
    {
        QLineEdit *e = edit(name);
        e->setFocus();
        e->selectAll();
        QTest::keyClick(e, Qt::Key_Delete);
        for (const QChar c : text)
            QTest::sendKeyEvent(QTest::Click, e, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }
    // The tree indented by depth, expanded or not.
    QStringList outline() const
    {
        QStringList out;
        std::function<void(QTreeWidgetItem *, int)> walk = [&](QTreeWidgetItem *n, int depth) {
            out << QString(depth * 2, u' ') + n->text(0);
            for (int i = 0; i < n->childCount(); ++i)
                walk(n->child(i), depth + 1);
        };
        for (int i = 0; i < tree()->topLevelItemCount(); ++i)
            walk(tree()->topLevelItem(i), 0);
        return out;
    }
    // Every stored row as "name/memo level parent-name", by identifier.
    QStringList stored() const
    {
        QSqlQuery q = execSql(t.db(), QStringLiteral(
            "SELECT w.WrokShopName || '/' || w.WrokShopMemo || ' ' || w.WorkShopLevel || ' ' || "
            "coalesce(p.WrokShopName, '-') FROM Workshop w LEFT JOIN Workshop p ON p.WrokShopID = w.ResideWorkShopID "
            "ORDER BY w.WrokShopID"));
        QStringList rows;
        while (q.next())
            rows << q.value(0).toString();
        return rows;
    }
};

const QStringList initialTree{ "红星厂", "  生产部", "    一车间", "      车工班", "  后勤部", "    动力车间" };

void settle()
{
    QCoreApplication::sendPostedEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

}

class TstufrmWorkshop : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QApplication::setApplicationName(QStringLiteral("Kelvara")); }
    void controls();
    void treeFollowsParentLinks();
    void noUsingUnitClosesWindow();
    void addBelowSelectedNode_data();
    void addBelowSelectedNode();
    void addBelowTeamRefused();
    void addGoesBelowRememberedNode();
    void blankEntriesRefused_data();
    void blankEntriesRefused();
    void modifyWithApostrophes();
    void modifyRootRenamesUsingUnit();
    void cancelKeepsTextsForNextAdd();
    void deleteRemovesSubtree();
    void deleteAnsweredNo();
    void deleteRefused_data();
    void deleteRefused();
    void failedStatementLeavesTree_data();
    void failedStatementLeavesTree();
    void rightClickKeepsSelection();
};

void TstufrmWorkshop::controls()
{
    Fixture f;
    f.open();
    QCOMPARE(frmWorkshop, f.w.data());
    QCOMPARE(f.w->windowTitle(), QStringLiteral("frmWorkshop"));
    QVERIFY(f.w->testAttribute(Qt::WA_DeleteOnClose));
    QCOMPARE(f.tree()->toolTip(), QStringLiteral("右键菜单进行车间（班组）维护"));
    QCOMPARE(f.tree()->editTriggers(), QAbstractItemView::NoEditTriggers);

    QStringList menu;
    for (QAction *a : f.child<QMenu>("PopupMenu1")->actions())
        menu << (a->isSeparator() ? QStringLiteral("-") : a->objectName() + u' ' + a->text());
    QCOMPARE(menu, QStringList({ "N2 添加车间(班组)", "-", "N3 修改车间(班组)", "-", "N4 删除车间(班组)" }));

    QVERIFY(!f.panel()->isVisible());
    QCOMPARE(f.panel()->geometry(), QRect(152, 80, 265, 193));
    QStringList texts;
    for (QLabel *l : f.panel()->findChildren<QLabel *>())
        texts << l->text();
    QCOMPARE(texts, QStringList({ "车间班组名称", "功能简述" }));
    QCOMPARE(f.child<QPushButton>("BitBtn2")->text() + f.child<QPushButton>("BitBtn3")->text(),
             QStringLiteral("确定取消"));

    // Only the top level shows; the root carries the made-up record.
    QCOMPARE(f.tree()->topLevelItemCount(), 1);
    QVERIFY(!f.tree()->topLevelItem(0)->isExpanded());
    QCOMPARE(TfrmWorkshop::recordOf(f.tree()->topLevelItem(0)),
             (TWorkShop{ 1, QStringLiteral("红星厂"), QStringLiteral("红星厂"), 0, 0 }));
    QCOMPARE(TfrmWorkshop::recordOf(f.node(QStringLiteral("车工班"))),
             (TWorkShop{ f.lathe, QStringLiteral("车工班"), QStringLiteral("车工班"), 3, f.shop1 }));

    // Tab order on the panel: OK, Cancel, name, description.
    f.select(QStringLiteral("生产部"));
    f.command("N2");
    f.child<QPushButton>("BitBtn2")->setFocus();
    QStringList order;
    for (int i = 0; i < 4; ++i) {
        order << QApplication::focusWidget()->objectName();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    QCOMPARE(order, QStringList({ "BitBtn2", "BitBtn3", "edtWorkShopName", "edtWorkShopMemo" }));
    QVERIFY(f.rec.boxes().isEmpty());
}

void TstufrmWorkshop::treeFollowsParentLinks()
{
    Fixture f;
    // A workshop added under the first unit after the second unit exists; a row without parent.
    const qint64 shop2 = f.t.addWorkshop(QStringLiteral("二车间"), 2, f.prod);
    f.t.addWorkshop(QStringLiteral("装配班"), 3, shop2);
    f.t.addWorkshop(QStringLiteral("孤班"), 3, 999);
    f.open();
    QCOMPARE(f.outline(), QStringList({ "红星厂", "  生产部", "    一车间", "      车工班", "    二车间",
                                        "      装配班", "  后勤部", "    动力车间", "孤班" }));
}

void TstufrmWorkshop::noUsingUnitClosesWindow()
{
    Fixture f(false);
    f.t.addWorkshop(QStringLiteral("无主车间"), 2, 1);
    f.w = new TfrmWorkshop;
    f.w->show();
    QCOMPARE(f.rec.summaries(), QStringList{ QStringLiteral("错误提示|请首先设置使用单位！|information|Ok") });
    QCOMPARE(f.tree()->topLevelItemCount(), 0);
    settle();
    QVERIFY(!f.w);
    QVERIFY(!frmWorkshop);
}

void TstufrmWorkshop::addBelowSelectedNode_data()
{
    QTest::addColumn<QString>("parent");
    QTest::addColumn<QStringList>("tree");
    QTest::addColumn<QString>("row");
    QTest::newRow("under the root") << "红星厂"
                                    << QStringList{ "红星厂", "  生产部", "    一车间", "      车工班", "  后勤部",
                                                    "    动力车间", "  质检部" }
                                    << "质检部/质量 检验 1 红星厂";
    QTest::newRow("under a unit") << "后勤部"
                                  << QStringList{ "红星厂", "  生产部", "    一车间", "      车工班", "  后勤部",
                                                  "    动力车间", "    质检部" }
                                  << "质检部/质量 检验 2 后勤部";
    QTest::newRow("under a workshop") << "动力车间"
                                      << QStringList{ "红星厂", "  生产部", "    一车间", "      车工班", "  后勤部",
                                                      "    动力车间", "      质检部" }
                                      << "质检部/质量 检验 3 动力车间";
}

void TstufrmWorkshop::addBelowSelectedNode()
{
    QFETCH(QString, parent);
    Fixture f;
    f.open();
    f.select(parent);
    f.command("N2");
    QVERIFY(f.panel()->isVisible());
    QCOMPARE(QApplication::focusWidget(), f.edit("edtWorkShopName"));
    f.retype("edtWorkShopName", QStringLiteral(" 质检部 "));
    f.retype("edtWorkShopMemo", QStringLiteral("质量 检验"));
    f.click("BitBtn2");

    QVERIFY(f.rec.boxes().isEmpty());
    QVERIFY(!f.panel()->isVisible());
    QTEST(f.outline(), "tree");
    QTEST(f.stored().constLast(), "row");
    // The new node carries the identifier its row got, so it can take children at once.
    QTreeWidgetItem *added = f.node(QStringLiteral("质检部"));
    QVERIFY(added->parent()->isExpanded());
    QCOMPARE(TfrmWorkshop::recordOf(added).id,
             f.t.scalar(QStringLiteral("SELECT max(WrokShopID) FROM Workshop")).toLongLong());
    if (TfrmWorkshop::recordOf(added).level < 3) {
        f.tree()->setCurrentItem(added);
        f.command("N2");
        f.retype("edtWorkShopName", QStringLiteral("下属"));
        f.click("BitBtn2");
        QCOMPARE(f.node(QStringLiteral("下属"))->parent(), added);
    }
}

void TstufrmWorkshop::addBelowTeamRefused()
{
    Fixture f;
    f.open();
    f.select(QStringLiteral("车工班"));
    f.command("N2");
    QCOMPARE(f.rec.summaries(), QStringList{ QStringLiteral("Kelvara|不能增加班组以下的单位!|none|Ok") });
    QCOMPARE(f.rec.last().owner, f.w.data());
    QVERIFY(!f.panel()->isVisible());
}

void TstufrmWorkshop::addGoesBelowRememberedNode()
{
    Fixture f;
    f.open();
    f.select(QStringLiteral("一车间"));
    f.command("N2");
    // The panel does not hold the tree: another node, a team, is selected meanwhile.
    f.select(QStringLiteral("车工班"));
    f.retype("edtWorkShopName", QStringLiteral("铣工班"));
    f.retype("edtWorkShopMemo", QStringLiteral("铣床"));
    f.click("BitBtn2");
    QVERIFY(f.rec.boxes().isEmpty());
    QCOMPARE(f.node(QStringLiteral("铣工班"))->parent(), f.node(QStringLiteral("一车间")));
    QCOMPARE(f.stored().constLast(), QStringLiteral("铣工班/铣床 3 一车间"));
}

void TstufrmWorkshop::blankEntriesRefused_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("memo");
    QTest::addColumn<QString>("command");
    QTest::newRow("add, blank name") << "   " << "说明" << "N2";
    QTest::newRow("add, blank description") << "质检部" << "  " << "N2";
    QTest::newRow("add, both empty") << "" << "" << "N2";
    QTest::newRow("modify, blank name") << "  " << "说明" << "N3";
}

void TstufrmWorkshop::blankEntriesRefused()
{
    QFETCH(QString, name);
    QFETCH(QString, memo);
    QFETCH(QString, command);
    Fixture f;
    f.open();
    f.select(QStringLiteral("生产部"));
    f.command(command.toLatin1().constData());
    f.retype("edtWorkShopName", name);
    f.retype("edtWorkShopMemo", memo);
    f.click("BitBtn2");
    QCOMPARE(f.rec.summaries(), QStringList{ blankText });
    QVERIFY(f.panel()->isVisible());
    QCOMPARE(f.outline(), initialTree);
    QCOMPARE(f.stored().size(), 6);
    QCOMPARE(f.stored().at(1), QStringLiteral("生产部/生产部 1 红星厂"));
}

void TstufrmWorkshop::modifyWithApostrophes()
{
    Fixture f;
    f.open();
    f.select(QStringLiteral("车工班"));
    f.command("N3");
    QVERIFY(f.panel()->isVisible());
    QCOMPARE(f.edit("edtWorkShopName")->text() + u'|' + f.edit("edtWorkShopMemo")->text(),
             QStringLiteral("车工班|车工班"));
    f.retype("edtWorkShopName", QStringLiteral("O'Neil's 班"));
    f.retype("edtWorkShopMemo", QStringLiteral("it's '; --"));
    f.click("BitBtn2");
    QVERIFY(f.rec.boxes().isEmpty());
    QVERIFY(!f.panel()->isVisible());
    QTreeWidgetItem *node = f.node(QStringLiteral("O'Neil's 班"));
    QVERIFY(node);
    QCOMPARE(TfrmWorkshop::recordOf(node),
             (TWorkShop{ f.lathe, QStringLiteral("O'Neil's 班"), QStringLiteral("it's '; --"), 3, f.shop1 }));
    QCOMPARE(f.stored().at(3), QStringLiteral("O'Neil's 班/it's '; -- 3 一车间"));
}

void TstufrmWorkshop::modifyRootRenamesUsingUnit()
{
    Fixture f;
    f.open();
    f.select(QStringLiteral("红星厂"));
    f.command("N3");
    f.retype("edtWorkShopName", QStringLiteral("蓝天厂"));
    f.retype("edtWorkShopMemo", QStringLiteral("总厂"));
    f.click("BitBtn2");
    QCOMPARE(f.tree()->topLevelItem(0)->text(0), QStringLiteral("蓝天厂"));
    QCOMPARE(f.stored().constFirst(), QStringLiteral("蓝天厂/总厂 0 -"));
    QCOMPARE(f.mg.GetUsingUnitName(), QStringLiteral("蓝天厂"));
    QVERIFY(f.rec.boxes().isEmpty());
}

void TstufrmWorkshop::cancelKeepsTextsForNextAdd()
{
    Fixture f;
    f.open();
    f.select(QStringLiteral("动力车间"));
    f.command("N3");
    f.retype("edtWorkShopName", QStringLiteral("配电班"));
    f.click("BitBtn3");
    QVERIFY(!f.panel()->isVisible());
    QCOMPARE(f.stored().constLast(), QStringLiteral("动力车间/动力车间 2 后勤部"));
    // The add command keeps the boxes' texts; OK now adds instead of modifying.
    f.command("N2");
    QCOMPARE(f.edit("edtWorkShopName")->text(), QStringLiteral("配电班"));
    f.click("BitBtn2");
    QCOMPARE(f.stored().constLast(), QStringLiteral("配电班/动力车间 3 动力车间"));
    QCOMPARE(f.node(QStringLiteral("配电班"))->parent(), f.node(QStringLiteral("动力车间")));
}

void TstufrmWorkshop::deleteRemovesSubtree()
{
    Fixture f;
    f.open();
    f.select(QStringLiteral("生产部"));
    f.command("N4");
    QCOMPARE(f.rec.summaries(), QStringList{ question });
    QCOMPARE(f.rec.last().owner, f.w.data());
    QCOMPARE(f.outline(), QStringList({ "红星厂", "  后勤部", "    动力车间" }));
    QCOMPARE(f.stored(), QStringList({ "红星厂/红星厂 0 -", "后勤部/后勤部 1 红星厂", "动力车间/动力车间 2 后勤部" }));
}

void TstufrmWorkshop::deleteAnsweredNo()
{
    Fixture f;
    f.open();
    f.select(QStringLiteral("一车间"));
    f.rec.answer(QMessageBox::No);
    f.command("N4");
    QCOMPARE(f.rec.summaries(), QStringList{ question });
    QCOMPARE(f.outline(), initialTree);
    QCOMPARE(f.stored().size(), 6);
}

void TstufrmWorkshop::deleteRefused_data()
{
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("message");
    QTest::newRow("root") << "红星厂" << "错误提示|不能删除当前使用单位！|information|Ok";
    QTest::newRow("meter on a team below") << "生产部" << "错误提示|该车间(班组)下还有表，不能删除！|information|Ok";
}

void TstufrmWorkshop::deleteRefused()
{
    QFETCH(QString, caption);
    Fixture f;
    const qint64 sort = f.t.addMeterSort(QStringLiteral("电表"));
    const qint64 price = f.t.addPrice(QStringLiteral("照明"), yuan("0.6"), yuan("1.2"), sort);
    f.t.addMeter({ QStringLiteral("E01"), sort, price, f.shop1, f.lathe });
    f.open();
    f.select(caption);
    f.command("N4");
    QFETCH(QString, message);
    QCOMPARE(f.rec.summaries(), (QStringList{ question, message }));
    QCOMPARE(f.outline(), initialTree);
    QCOMPARE(f.stored().size(), 6);
}

void TstufrmWorkshop::failedStatementLeavesTree_data()
{
    QTest::addColumn<QString>("trigger");
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("message");
    QTest::newRow("delete") << "BEFORE DELETE ON Workshop" << "N4" << "错误提示|删除车间班组出错!|information|Ok";
    QTest::newRow("add") << "BEFORE INSERT ON Workshop" << "N2" << "错误提示|车间（班组）增加失败！|information|Ok";
    QTest::newRow("modify") << "BEFORE UPDATE ON Workshop" << "N3" << "Kelvara|车间班组信息更新失败!|none|Ok";
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
    f.command(command.toLatin1().constData());
    if (command != u"N4") {
        f.retype("edtWorkShopName", QStringLiteral("新名"));
        f.retype("edtWorkShopMemo", QStringLiteral("新说明"));
        f.click("BitBtn2");
        QVERIFY(!f.panel()->isVisible());
    }
    QFETCH(QString, message);
    QCOMPARE(f.rec.summaries(), (command == u"N4" ? QStringList{ question, message } : QStringList{ message }));
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
    QTreeWidgetItem *other = f.node(QStringLiteral("后勤部"));
    const QPoint at = f.tree()->viewport()->mapTo(f.w, f.tree()->visualItemRect(other).center());
    // Through the window, as the platform delivers it: the press, then the context menu event.
    QTest::mouseClick(f.w->windowHandle(), Qt::RightButton, Qt::NoModifier, at);
    auto *menu = f.child<QMenu>("PopupMenu1");
    QTRY_VERIFY(menu->isVisible());
    menu->hide();
    QCOMPARE(f.tree()->currentItem()->text(0), QStringLiteral("一车间"));
    QCOMPARE(f.tree()->selectedItems(), QList<QTreeWidgetItem *>{ f.node(QStringLiteral("一车间")) });
    // The command acts on the selected node, not on the one clicked.
    f.command("N3");
    QCOMPARE(f.edit("edtWorkShopName")->text(), QStringLiteral("一车间"));
}

QTEST_MAIN(TstufrmWorkshop)
#include "tst_ufrmWorkshop.moc"
