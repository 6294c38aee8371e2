// The record navigator: captions and order, enabling in every state, the actions, the delete
// question, keyboard, and refused posts and deletes reaching the general error box.
#include "Database.h"
#include "MessageRecorder.h"
#include "MyNavEh.h"
#include "TestDatabase.h"

#include <QAbstractButton>
#include <QToolButton>
#include <QtTest>

class TstMyNavEh : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void captionsAndLook_data();
    void captionsAndLook();
    void enabling_data();
    void enabling();
    void disabledNavigatorDisablesAll();
    void closedSetIgnoresClicks();
    void moves();
    void insertEditPostCancelRefresh();
    void deleteAsks_data();
    void deleteAsks();
    void deleteOfNewRowCancelsIt();
    void refusedPostKeepsEditing();
    void refusedDeleteKeepsTheRow();
    void keyboard();

private:
    DataSet *sortSet();
    QString enabledButtons() const;

    std::unique_ptr<TestDatabase> t;
    std::unique_ptr<QWidget> window;
    std::unique_ptr<MessageRecorder> boxes;
    TMyDBNavigator *nav = nullptr;
};

void TstMyNavEh::init()
{
    t = std::make_unique<TestDatabase>();
    boxes = std::make_unique<MessageRecorder>();
    window = std::make_unique<QWidget>();
    window->resize(800, 60);
    nav = new TMyDBNavigator(window.get());
    nav->setGeometry(0, 0, 800, 25);
    t->setUsingUnit(QStringLiteral("厂"), QStringLiteral("pw"));
    for (const char *name : { "水表", "电表", "气表" })
        t->addMeterSort(QString::fromUtf8(name));
}

void TstMyNavEh::cleanup()
{
    window.reset();
    boxes.reset();
    t.reset();
}

DataSet *TstMyNavEh::sortSet()
{
    auto *ds = new DataSet(window.get());
    ds->setConnectionName(Database::mainConnectionName());
    ds->setSql(QStringLiteral("select * from MeterSort"));
    ds->setUpdateTable(QStringLiteral("MeterSort"), { "MeterSortID" });
    nav->setDataSet(ds);
    return ds;
}

// The enabled buttons as one letter each (F P N L I D E S C R), '-' for disabled ones.
QString TstMyNavEh::enabledButtons() const
{
    const QString letters = QStringLiteral("FPNLIDESCR");
    QString s;
    for (int i = 0; i < TMyDBNavigator::ButtonCount; ++i)
        s += nav->button(TNavigateBtn(i))->isEnabled() ? letters.at(i) : u'-';
    return s;
}

void TstMyNavEh::captionsAndLook_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::newRow("first") << int(nbFirst) << "nbFirst" << "第一条";
    QTest::newRow("prior") << int(nbPrior) << "nbPrior" << "上一条";
    QTest::newRow("next") << int(nbNext) << "nbNext" << "下一条";
    QTest::newRow("last") << int(nbLast) << "nbLast" << "末一条";
    QTest::newRow("insert") << int(nbInsert) << "nbInsert" << "添加";
    QTest::newRow("delete") << int(nbDelete) << "nbDelete" << "删除";
    QTest::newRow("edit") << int(nbEdit) << "nbEdit" << "编辑";
    QTest::newRow("post") << int(nbPost) << "nbPost" << "提交";
    QTest::newRow("cancel") << int(nbCancel) << "nbCancel" << "取消";
    QTest::newRow("refresh") << int(nbRefresh) << "nbRefresh" << "刷新";
}

void TstMyNavEh::captionsAndLook()
{
    QFETCH(int, kind);
    QFETCH(QString, name);
    QFETCH(QString, caption);
    window->show();
    QAbstractButton *b = nav->button(TNavigateBtn(kind));
    QCOMPARE(b->objectName(), name);
    QCOMPARE(b->text(), caption);
    QCOMPARE(TMyDBNavigator::NavButtonCaptions(TNavigateBtn(kind)), caption);
    QVERIFY(!b->icon().isNull());
    QVERIFY(b->isVisible());
    auto *tool = qobject_cast<QToolButton *>(b);
    QVERIFY(tool && tool->autoRaise());
    QCOMPARE(tool->toolButtonStyle(), Qt::ToolButtonTextBesideIcon);
    QCOMPARE(nav->height(), 25);
    // Buttons stand left to right in their order.
    const QList<QAbstractButton *> all = nav->findChildren<QAbstractButton *>();
    QCOMPARE(all.size(), TMyDBNavigator::ButtonCount);
    if (kind > 0)
        QVERIFY(nav->button(TNavigateBtn(kind - 1))->x() < b->x());
}

void TstMyNavEh::enabling_data()
{
    QTest::addColumn<QString>("situation");
    QTest::addColumn<QString>("enabled");
    QTest::newRow("no data set") << "none" << "----------";
    QTest::newRow("closed") << "closed" << "----------";
    QTest::newRow("empty") << "empty" << "----I-E--R";
    QTest::newRow("first row") << "first" << "--NLIDE--R";
    QTest::newRow("middle row") << "middle" << "FPNLIDE--R";
    QTest::newRow("last row") << "last" << "FP--IDE--R";
    QTest::newRow("only row") << "only" << "----IDE--R";
    QTest::newRow("editing") << "editing" << "FPNLID-SCR";
    QTest::newRow("inserting in empty set") << "insertEmpty" << "----ID-SCR";
    QTest::newRow("appending") << "appending" << "FP--ID-SCR";
    QTest::newRow("read-only") << "readonly" << "FPNL------";
}

void TstMyNavEh::enabling()
{
    QFETCH(QString, situation);
    QFETCH(QString, enabled);
    if (situation == u"none") {
        QCOMPARE(enabledButtons(), enabled);
        return;
    }
    DataSet *ds = sortSet();
    if (situation == u"empty" || situation == u"insertEmpty")
        ds->setSql(QStringLiteral("select * from MeterSort where 0"));
    if (situation == u"only")
        ds->setSql(QStringLiteral("select * from MeterSort where MeterSortID = 1"));
    if (situation != u"closed")
        ds->open();
    if (situation == u"middle" || situation == u"editing" || situation == u"readonly")
        ds->next();
    if (situation == u"last")
        ds->last();
    if (situation == u"editing")
        ds->edit();
    if (situation == u"insertEmpty")
        ds->insert();
    if (situation == u"appending")
        ds->append();
    if (situation == u"readonly")
        ds->setReadOnly(true);
    QCOMPARE(enabledButtons(), enabled);
}

void TstMyNavEh::disabledNavigatorDisablesAll()
{
    DataSet *ds = sortSet();
    ds->open();
    ds->next();
    nav->setEnabled(false);
    for (int i = 0; i < TMyDBNavigator::ButtonCount; ++i)
        QVERIFY(!nav->button(TNavigateBtn(i))->isEnabled());
    nav->setEnabled(true);
    QCOMPARE(enabledButtons(), QStringLiteral("FPNLIDE--R"));
}

void TstMyNavEh::closedSetIgnoresClicks()
{
    DataSet *ds = sortSet();
    for (int i = 0; i < TMyDBNavigator::ButtonCount; ++i)
        nav->ButtonClick(TNavigateBtn(i));
    QVERIFY(boxes->boxes().isEmpty());
    QCOMPARE(ds->state(), DataSet::Inactive);
    QCOMPARE(t->count(QStringLiteral("MeterSort")), 3);
}

void TstMyNavEh::moves()
{
    DataSet *ds = sortSet();
    ds->open();
    QTest::mouseClick(nav->button(nbLast), Qt::LeftButton);
    QCOMPARE(ds->recNo(), 2);
    QTest::mouseClick(nav->button(nbPrior), Qt::LeftButton);
    QCOMPARE(ds->recNo(), 1);
    QTest::mouseClick(nav->button(nbFirst), Qt::LeftButton);
    QCOMPARE(ds->recNo(), 0);
    QTest::mouseClick(nav->button(nbNext), Qt::LeftButton);
    QCOMPARE(ds->recNo(), 1);
}

void TstMyNavEh::insertEditPostCancelRefresh()
{
    DataSet *ds = sortSet();
    ds->open();
    ds->next();
    nav->button(nbInsert)->click();
    QCOMPARE(ds->state(), DataSet::Insert);
    QCOMPARE(ds->recNo(), 1);   // before the current row
    QCOMPARE(ds->recordCount(), 4);
    ds->setValue(QStringLiteral("MeterSortName"), QStringLiteral("汽表"));
    nav->button(nbPost)->click();
    QCOMPARE(ds->state(), DataSet::Browse);
    QCOMPARE(t->count(QStringLiteral("MeterSort")), 4);
    nav->button(nbEdit)->click();
    QCOMPARE(ds->state(), DataSet::Edit);
    ds->setValue(QStringLiteral("MeterSortName"), QStringLiteral("不要"));
    nav->button(nbCancel)->click();
    QCOMPARE(ds->state(), DataSet::Browse);
    QCOMPARE(ds->asString(QStringLiteral("MeterSortName")), QStringLiteral("汽表"));
    execSql(t->db(), QStringLiteral("INSERT INTO MeterSort (MeterSortName) VALUES ('煤')"));
    nav->button(nbRefresh)->click();
    QCOMPARE(ds->recordCount(), 5);
    QVERIFY(boxes->boxes().isEmpty());
}

void TstMyNavEh::deleteAsks_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<int>("remaining");
    QTest::newRow("OK deletes") << int(QMessageBox::Ok) << 2;
    QTest::newRow("Cancel keeps") << int(QMessageBox::Cancel) << 3;
}

void TstMyNavEh::deleteAsks()
{
    QFETCH(int, answer);
    QFETCH(int, remaining);
    DataSet *ds = sortSet();
    ds->open();
    ds->next();
    boxes->answer(QMessageBox::StandardButton(answer));
    nav->button(nbDelete)->click();
    QCOMPARE(boxes->boxes().size(), 1);
    const MessageRecorder::Box &box = boxes->last();
    QCOMPARE(box.text, QStringLiteral("您确认要删除这条记录吗？"));
    QCOMPARE(box.caption, QStringLiteral("警告"));
    QCOMPARE(box.icon, QMessageBox::Warning);
    QCOMPARE(box.buttons, QMessageBox::Ok | QMessageBox::Cancel);
    QCOMPARE(box.owner, nav);
    QCOMPARE(t->count(QStringLiteral("MeterSort")), remaining);
    QCOMPARE(ds->recordCount(), remaining);
    QCOMPARE(t->scalar(QStringLiteral("SELECT count(*) FROM MeterSort WHERE MeterSortName = '电表'")).toInt(),
             remaining == 2 ? 0 : 1);
}

void TstMyNavEh::deleteOfNewRowCancelsIt()
{
    DataSet *ds = sortSet();
    ds->open();
    ds->append();
    ds->setValue(QStringLiteral("MeterSortName"), QStringLiteral("新"));
    nav->button(nbDelete)->click();
    QCOMPARE(boxes->boxes().size(), 1);
    QCOMPARE(ds->state(), DataSet::Browse);
    QCOMPARE(ds->recordCount(), 3);
    QCOMPARE(t->count(QStringLiteral("MeterSort")), 3);
}

void TstMyNavEh::refusedPostKeepsEditing()
{
    MeterSpec m;
    m.number = QStringLiteral("1001");
    t->addMeter(m);
    auto *ds = new DataSet(window.get());
    ds->setConnectionName(Database::mainConnectionName());
    ds->setSql(QStringLiteral("select * from Meter"));
    ds->setUpdateTable(QStringLiteral("Meter"), { "MeterNO" });
    nav->setDataSet(ds);
    ds->open();
    nav->button(nbInsert)->click();
    ds->setValue(QStringLiteral("MeterNO"), QStringLiteral("1001"));
    nav->button(nbPost)->click();
    QCOMPARE(boxes->boxes().size(), 1);
    const MessageRecorder::Box &box = boxes->last();
    QCOMPARE(box.text, QStringLiteral("UNIQUE constraint failed: Meter.MeterNO."));
    QCOMPARE(box.caption, QCoreApplication::applicationName());
    QCOMPARE(box.icon, QMessageBox::Critical);
    QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(ds->state(), DataSet::Insert);
    QCOMPARE(enabledButtons(), QStringLiteral("--NLID-SCR"));   // the new row stands first
    QCOMPARE(t->count(QStringLiteral("Meter")), 1);
}

void TstMyNavEh::refusedDeleteKeepsTheRow()
{
    t->addPrice(QStringLiteral("生产"), yuan("1"), yuan("1"), 1);   // names 水表
    DataSet *ds = sortSet();
    ds->open();
    nav->button(nbDelete)->click();
    QCOMPARE(boxes->boxes().size(), 2);
    QCOMPARE(boxes->last().icon, QMessageBox::Critical);
    QVERIFY2(boxes->last().text.contains(QStringLiteral("FOREIGN KEY")), qPrintable(boxes->last().text));
    QCOMPARE(ds->recordCount(), 3);
    QCOMPARE(ds->asString(QStringLiteral("MeterSortName")), QStringLiteral("水表"));
    QCOMPARE(t->count(QStringLiteral("MeterSort")), 3);
}

void TstMyNavEh::keyboard()
{
    DataSet *ds = sortSet();
    ds->open();
    window->show();
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    nav->setFocus();
    QVERIFY(nav->hasFocus());
    QCOMPARE(nav->focusedButton(), nbFirst);
    QTest::keyClick(nav, Qt::Key_Left);   // stops at the first button
    QCOMPARE(nav->focusedButton(), nbFirst);
    QTest::keyClick(nav, Qt::Key_Space);  // first is disabled on the first row
    QCOMPARE(ds->recNo(), 0);
    QTest::keyClick(nav, Qt::Key_Right);
    QTest::keyClick(nav, Qt::Key_Right);
    QCOMPARE(nav->focusedButton(), nbNext);
    QTest::keyClick(nav, Qt::Key_Space);
    QCOMPARE(ds->recNo(), 1);
    QTest::keyClick(nav, Qt::Key_Space);
    QCOMPARE(ds->recNo(), 2);
    nav->setButtonVisible(nbInsert, false);
    nav->setButtonVisible(nbDelete, false);
    QTest::keyClick(nav, Qt::Key_Right);
    QTest::keyClick(nav, Qt::Key_Right);   // over the hidden ones to edit
    QCOMPARE(nav->focusedButton(), nbEdit);
    QTest::keyClick(nav, Qt::Key_Space);
    QCOMPARE(ds->state(), DataSet::Edit);
    QTest::keyClick(nav, Qt::Key_Left);
    QCOMPARE(nav->focusedButton(), nbLast);
    for (int i = 0; i < 12; ++i)
        QTest::keyClick(nav, Qt::Key_Right);
    QCOMPARE(nav->focusedButton(), nbRefresh);   // stops at the last button
    // Clicking a button leaves the focus where it was.
    QCOMPARE(nav->button(nbPost)->focusPolicy(), Qt::NoFocus);
}

QTEST_MAIN(TstMyNavEh)
#include "tst_MyNavEh.moc"
