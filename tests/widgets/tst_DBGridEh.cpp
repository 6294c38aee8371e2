// The data grid: selection and the DataSet's current row in step both ways, the untouched new
// row cancelled on leaving it, Ctrl+Delete with its question, in-place editing.
#include "DBGridEh.h"
#include "Database.h"
#include "MessageRecorder.h"
#include "TestDatabase.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QtTest>

class TstDBGridEh : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void columnsTitlesAndWidths();
    void selectionFollowsDataSet();
    void dataSetFollowsClicksAndKeys_data();
    void dataSetFollowsClicksAndKeys();
    void leavingUntouchedNewRowCancelsIt_data();
    void leavingUntouchedNewRowCancelsIt();
    void leavingChangedNewRowPostsIt();
    void refusedPostKeepsTheRow();
    void ctrlDeleteAsks_data();
    void ctrlDeleteAsks();
    void ctrlDeleteOnNewRowCancelsIt();
    void ctrlDeleteDoesNothingWithoutRows_data();
    void ctrlDeleteDoesNothingWithoutRows();
    void editsInPlace();
    void cellLimitKeepsWholeCharacters();
    void refusedCellValueShowsError();
    void readOnlyGridOpensNoEditor();
    void escapeCancelsTheRowEdit();

private:
    DataSet *newSet(const QString &sql, const QString &table, const QStringList &keys);
    TDBGridEh *sortGrid(DataSet **set);
    void clickRow(TDBGridEh *grid, int row);

    std::unique_ptr<TestDatabase> t;
    std::unique_ptr<QWidget> window;
    std::unique_ptr<MessageRecorder> boxes;
};

void TstDBGridEh::init()
{
    t = std::make_unique<TestDatabase>();
    boxes = std::make_unique<MessageRecorder>();
    window = std::make_unique<QWidget>();
    window->resize(500, 300);
    t->setUsingUnit(QStringLiteral("厂"), QStringLiteral("pw"));
    for (const char *name : { "水表", "电表", "气表", "汽表" })
        t->addMeterSort(QString::fromUtf8(name), QStringLiteral("说明"));
}

void TstDBGridEh::cleanup()
{
    window.reset();
    boxes.reset();
    t.reset();
}

DataSet *TstDBGridEh::newSet(const QString &sql, const QString &table, const QStringList &keys)
{
    auto *ds = new DataSet(window.get());
    ds->setConnectionName(Database::mainConnectionName());
    ds->setSql(sql);
    if (!table.isEmpty())
        ds->setUpdateTable(table, keys);
    return ds;
}

TDBGridEh *TstDBGridEh::sortGrid(DataSet **set)
{
    DataSet *ds = newSet(QStringLiteral("select * from MeterSort"), QStringLiteral("MeterSort"), { "MeterSortID" });
    auto *grid = new TDBGridEh(window.get());
    grid->setGeometry(0, 0, 500, 300);
    grid->setDataSet(ds);
    grid->addColumn(QStringLiteral("MeterSortID"), QStringLiteral("类型ID"));
    grid->addColumn(QStringLiteral("MeterSortName"), QStringLiteral("类型名称"), 90);
    grid->addColumn(QStringLiteral("MeterSortMemo"), QStringLiteral("说明"), 200);
    ds->open();
    window->show();
    window->activateWindow();
    if (!QTest::qWaitForWindowActive(window.get()))
        qWarning("window not active");
    grid->setFocus();
    *set = ds;
    return grid;
}

void TstDBGridEh::clickRow(TDBGridEh *grid, int row)
{
    const QRect cell = grid->visualRect(grid->model()->index(row, 0));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
    QCoreApplication::processEvents();
}

void TstDBGridEh::columnsTitlesAndWidths()
{
    DataSet *ds = nullptr;
    TDBGridEh *grid = sortGrid(&ds);
    QCOMPARE(grid->model()->columnCount(), 3);
    QCOMPARE(grid->model()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("类型名称"));
    QCOMPARE(grid->columnWidth(1), 90);
    QCOMPARE(grid->columnWidth(2), 200);
    QVERIFY(grid->columnWidth(0) >= grid->fontMetrics().horizontalAdvance(QStringLiteral("类型ID")));
    QCOMPARE(grid->model()->headerData(0, Qt::Horizontal, Qt::TextAlignmentRole).value<Qt::Alignment>()
                 & Qt::AlignHorizontal_Mask,
             Qt::AlignHCenter);
    QCOMPARE(grid->selectionBehavior(), QAbstractItemView::SelectRows);
    QVERIFY(grid->showGrid());
    QVERIFY(grid->verticalHeader()->isVisible());
    QCOMPARE(grid->horizontalHeader()->sectionResizeMode(0), QHeaderView::Interactive);
}

void TstDBGridEh::selectionFollowsDataSet()
{
    DataSet *ds = nullptr;
    TDBGridEh *grid = sortGrid(&ds);
    QCOMPARE(grid->currentIndex().row(), 0);
    ds->setRecNo(2);
    QCOMPARE(grid->currentIndex().row(), 2);
    QVERIFY(grid->selectionModel()->isRowSelected(2, {}));
    QCOMPARE(grid->selectionModel()->selectedRows().size(), 1);
    ds->last();
    QCOMPARE(grid->currentIndex().row(), 3);
    ds->append();
    QCOMPARE(grid->currentIndex().row(), 4);
    ds->cancel();
    QCOMPARE(grid->currentIndex().row(), 3);
    ds->close();
    QVERIFY(!grid->currentIndex().isValid());
    QVERIFY(grid->selectionModel()->selectedRows().isEmpty());
    ds->open();
    QCOMPARE(grid->currentIndex().row(), 0);
}

void TstDBGridEh::dataSetFollowsClicksAndKeys_data()
{
    QTest::addColumn<bool>("mouse");
    QTest::newRow("mouse") << true;
    QTest::newRow("keyboard") << false;
}

void TstDBGridEh::dataSetFollowsClicksAndKeys()
{
    QFETCH(bool, mouse);
    DataSet *ds = nullptr;
    TDBGridEh *grid = sortGrid(&ds);
    if (mouse) {
        clickRow(grid, 2);
    } else {
        QTest::keyClick(grid, Qt::Key_Down);
        QTest::keyClick(grid, Qt::Key_Down);
    }
    QCOMPARE(ds->recNo(), 2);
    QCOMPARE(ds->asString(QStringLiteral("MeterSortName")), QStringLiteral("气表"));
    QVERIFY(grid->selectionModel()->isRowSelected(2, {}));
}

void TstDBGridEh::leavingUntouchedNewRowCancelsIt_data()
{
    QTest::addColumn<bool>("append");
    QTest::addColumn<int>("clicked");     // row clicked while the new row is shown
    QTest::addColumn<QString>("landsOn");
    QTest::newRow("inserted row, click below it") << false << 3 << "气表";
    QTest::newRow("inserted row, click above it") << false << 0 << "水表";
    QTest::newRow("appended row, click above it") << true << 1 << "电表";
}

void TstDBGridEh::leavingUntouchedNewRowCancelsIt()
{
    QFETCH(bool, append);
    QFETCH(int, clicked);
    QFETCH(QString, landsOn);
    DataSet *ds = nullptr;
    TDBGridEh *grid = sortGrid(&ds);
    ds->setRecNo(1);
    if (append)
        ds->append();
    else
        ds->insert();   // at row 1, before 电表
    QCOMPARE(ds->recordCount(), 5);
    clickRow(grid, clicked);
    QCOMPARE(ds->state(), DataSet::Browse);
    QCOMPARE(ds->recordCount(), 4);
    QCOMPARE(t->count(QStringLiteral("MeterSort")), 4);
    QCOMPARE(ds->asString(QStringLiteral("MeterSortName")), landsOn);
    QCOMPARE(grid->currentIndex().row(), ds->recNo());
    QVERIFY(boxes->boxes().isEmpty());
}

void TstDBGridEh::leavingChangedNewRowPostsIt()
{
    DataSet *ds = nullptr;
    TDBGridEh *grid = sortGrid(&ds);
    ds->append();
    ds->setValue(QStringLiteral("MeterSortName"), QStringLiteral("蒸汽"));
    clickRow(grid, 0);
    QCOMPARE(ds->state(), DataSet::Browse);
    QCOMPARE(ds->recNo(), 0);
    QCOMPARE(t->count(QStringLiteral("MeterSort")), 5);
    QCOMPARE(ds->recordCount(), 5);
}

void TstDBGridEh::refusedPostKeepsTheRow()
{
    MeterSpec m;
    m.number = QStringLiteral("1001");
    t->addMeter(m);
    m.number = QStringLiteral("1002");
    t->addMeter(m);
    DataSet *ds = newSet(QStringLiteral("select * from Meter"), QStringLiteral("Meter"), { "MeterNO" });
    auto *grid = new TDBGridEh(window.get());
    grid->setGeometry(0, 0, 500, 300);
    grid->setDataSet(ds);
    grid->addColumn(QStringLiteral("MeterNO"), QStringLiteral("编号"));
    ds->open();
    window->show();
    ds->append();
    ds->setValue(QStringLiteral("MeterNO"), QStringLiteral("1001"));   // taken
    clickRow(grid, 0);
    QCOMPARE(boxes->boxes().size(), 1);
    QVERIFY2(boxes->last().text.contains(QStringLiteral("UNIQUE")), qPrintable(boxes->last().text));
    QCOMPARE(boxes->last().icon, QMessageBox::Critical);
    QCOMPARE(ds->state(), DataSet::Insert);
    QCOMPARE(ds->recNo(), 2);
    QCOMPARE(grid->currentIndex().row(), 2);
    QCOMPARE(t->count(QStringLiteral("Meter")), 2);
}

void TstDBGridEh::ctrlDeleteAsks_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<int>("remaining");
    QTest::newRow("OK deletes") << int(QMessageBox::Ok) << 3;
    QTest::newRow("Cancel keeps") << int(QMessageBox::Cancel) << 4;
}

void TstDBGridEh::ctrlDeleteAsks()
{
    QFETCH(int, answer);
    QFETCH(int, remaining);
    DataSet *ds = nullptr;
    TDBGridEh *grid = sortGrid(&ds);
    ds->setRecNo(1);
    boxes->answer(QMessageBox::StandardButton(answer));
    QTest::keyClick(grid, Qt::Key_Delete, Qt::ControlModifier);
    QCOMPARE(boxes->boxes().size(), 1);
    const MessageRecorder::Box &box = boxes->last();
    QCOMPARE(box.text, QStringLiteral("你真的要删除该记录吗？"));
    QCOMPARE(box.caption, QStringLiteral("Confirm"));
    QCOMPARE(box.icon, QMessageBox::Question);
    QCOMPARE(box.buttons, QMessageBox::Ok | QMessageBox::Cancel);
    QCOMPARE(box.owner, grid);
    QCOMPARE(t->count(QStringLiteral("MeterSort")), remaining);
    QCOMPARE(ds->recordCount(), remaining);
    QCOMPARE(grid->model()->rowCount(), remaining);
    const bool deleted = remaining == 3;
    QCOMPARE(t->scalar(QStringLiteral("SELECT count(*) FROM MeterSort WHERE MeterSortName = '电表'")).toInt(),
             deleted ? 0 : 1);
    QCOMPARE(grid->currentIndex().row(), 1);
}

void TstDBGridEh::ctrlDeleteOnNewRowCancelsIt()
{
    DataSet *ds = nullptr;
    TDBGridEh *grid = sortGrid(&ds);
    ds->append();
    QTest::keyClick(grid, Qt::Key_Delete, Qt::ControlModifier);
    QCOMPARE(boxes->boxes().size(), 1);
    QCOMPARE(ds->state(), DataSet::Browse);
    QCOMPARE(ds->recordCount(), 4);
    QCOMPARE(t->count(QStringLiteral("MeterSort")), 4);
}

void TstDBGridEh::ctrlDeleteDoesNothingWithoutRows_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("empty set") << "empty";
    QTest::newRow("closed set") << "closed";
    QTest::newRow("read-only set") << "readonly";
    QTest::newRow("deleting switched off") << "off";
}

void TstDBGridEh::ctrlDeleteDoesNothingWithoutRows()
{
    QFETCH(QString, how);
    DataSet *ds = nullptr;
    TDBGridEh *grid = sortGrid(&ds);
    if (how == u"empty") {
        ds->close();
        ds->setSql(QStringLiteral("select * from MeterSort where 0"));
        ds->open();
    } else if (how == u"closed") {
        ds->close();
    } else if (how == u"readonly") {
        ds->setReadOnly(true);
    } else {
        grid->setDeleteAllowed(false);
    }
    QTest::keyClick(grid, Qt::Key_Delete, Qt::ControlModifier);
    QVERIFY(boxes->boxes().isEmpty());
    QCOMPARE(t->count(QStringLiteral("MeterSort")), 4);
}

void TstDBGridEh::editsInPlace()
{
    DataSet *ds = nullptr;
    TDBGridEh *grid = sortGrid(&ds);
    grid->setCurrentIndex(grid->model()->index(1, 2));
    QCOMPARE(ds->recNo(), 1);
    QTest::keyClick(grid, Qt::Key_F2);
    auto *editor = grid->findChild<QLineEdit *>();
    QVERIFY(editor);
    QCOMPARE(editor->text(), QStringLiteral("说明"));
    editor->selectAll();
    QTest::keyClicks(editor, QStringLiteral("power use"));
    QTest::keyClick(editor, Qt::Key_Return);
    QCoreApplication::processEvents();   // the item view commits once back in the event loop
    QCOMPARE(ds->state(), DataSet::Edit);
    QCOMPARE(ds->asString(QStringLiteral("MeterSortMemo")), QStringLiteral("power use"));
    // Moving to another row posts the changed one.
    QTest::keyClick(grid, Qt::Key_Down);
    QCOMPARE(ds->state(), DataSet::Browse);
    QCOMPARE(ds->recNo(), 2);
    QCOMPARE(t->scalar(QStringLiteral("SELECT MeterSortMemo FROM MeterSort WHERE MeterSortName = '电表'")).toString(),
             QStringLiteral("power use"));
    QVERIFY(boxes->boxes().isEmpty());
}

void TstDBGridEh::cellLimitKeepsWholeCharacters()
{
    DataSet *ds = nullptr;
    TDBGridEh *grid = sortGrid(&ds);
    grid->setCurrentIndex(grid->model()->index(1, 2));
    QTest::keyClick(grid, Qt::Key_F2);
    auto *editor = grid->findChild<QLineEdit *>();
    QVERIFY(editor);
    QCOMPARE(editor->maxLength(), 50);
    // An emoji needs two of the 50 places: with one left it is refused, not halved.
    const QString text(49, u'x');
    editor->selectAll();
    QTest::keyClicks(editor, text);
    QTest::sendKeyEvent(QTest::Click, editor, Qt::Key_unknown, QStringLiteral("💧"), Qt::NoModifier);
    QCOMPARE(editor->text(), text);
    QTest::keyClick(editor, Qt::Key_Return);
    QCoreApplication::processEvents();
    QTest::keyClick(grid, Qt::Key_Down);
    QCOMPARE(t->scalar(QStringLiteral("SELECT MeterSortMemo FROM MeterSort WHERE MeterSortName = '电表'")).toString(),
             text);
}

void TstDBGridEh::refusedCellValueShowsError()
{
    t->addPrice(QStringLiteral("生产"), yuan("0.5"), yuan("0.8"), 1);
    DataSet *ds = newSet(QStringLiteral("select * from Price"), QStringLiteral("Price"), { "PriceID" });
    auto *grid = new TDBGridEh(window.get());
    grid->setGeometry(0, 0, 500, 300);
    grid->setDataSet(ds);
    grid->addColumn(QStringLiteral("PriceNumber"), QStringLiteral("单价"));
    ds->open();
    window->show();
    grid->setCurrentIndex(grid->model()->index(0, 0));
    QTest::keyClick(grid, Qt::Key_F2);
    auto *editor = grid->findChild<QLineEdit *>();
    QVERIFY(editor);
    QCOMPARE(editor->text(), QStringLiteral("0.5"));
    editor->selectAll();
    QTest::keyClicks(editor, QStringLiteral("1.5y"));
    QTest::keyClick(editor, Qt::Key_Return);
    QCoreApplication::processEvents();
    QCOMPARE(boxes->boxes().size(), 1);
    QCOMPARE(boxes->last().text, QStringLiteral("“1.5y”不是有效的金额！."));
    QCOMPARE(boxes->last().caption, QCoreApplication::applicationName());
    QCOMPARE(boxes->last().icon, QMessageBox::Critical);
    QCOMPARE(ds->state(), DataSet::Browse);
    QCOMPARE(ds->asCurrency(QStringLiteral("PriceNumber")), yuan("0.5"));
}

void TstDBGridEh::readOnlyGridOpensNoEditor()
{
    DataSet *ds = nullptr;
    TDBGridEh *grid = sortGrid(&ds);
    grid->setReadOnly(true);
    QVERIFY(grid->isReadOnly());
    grid->setCurrentIndex(grid->model()->index(1, 1));
    QTest::keyClick(grid, Qt::Key_F2);
    QTest::keyClicks(grid, QStringLiteral("ab"));
    QVERIFY(!grid->findChild<QLineEdit *>());
    QCOMPARE(ds->state(), DataSet::Browse);
}

void TstDBGridEh::escapeCancelsTheRowEdit()
{
    DataSet *ds = nullptr;
    TDBGridEh *grid = sortGrid(&ds);
    ds->edit();
    ds->setValue(QStringLiteral("MeterSortName"), QStringLiteral("改过"));
    QTest::keyClick(grid, Qt::Key_Escape);
    QCOMPARE(ds->state(), DataSet::Browse);
    QCOMPARE(ds->asString(QStringLiteral("MeterSortName")), QStringLiteral("水表"));
    QCOMPARE(grid->model()->data(grid->model()->index(0, 1)).toString(), QStringLiteral("水表"));
}

QTEST_MAIN(TstDBGridEh)
#include "tst_DBGridEh.moc"
