// The meter type window driven by keys: its panel, grid and navigator, types added and renamed
// with any characters, a blank name refused, and a type in use kept.
#include "DBEditEh.h"
#include "DBGridEh.h"
#include "Database.h"
#include "MessageRecorder.h"
#include "MyNavEh.h"
#include "MasterWindowFixture.h"
#include "TestDatabase.h"
#include "UCommon.h"
#include "ufrmMeterSort.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QtTest>

namespace {

struct Fixture : MasterWindowFixture<TfrmMeterSort>
{
    Fixture()
    {
        t.setUsingUnit(QStringLiteral("厂"), QStringLiteral("pw"));
        const qint64 water = t.addMeterSort(QStringLiteral("水表"), QStringLiteral("自来水"));
        t.addMeterSort(QStringLiteral("气表"), QStringLiteral("压缩空气"));
        t.addPrice(QStringLiteral("生产用水"), yuan("2.5"), yuan("3.75"), water);
    }
    TDBGridEh *grid() const { return child<TDBGridEh>("DBGridEh4"); }
    QString stored() const
    {
        return t.scalar(QStringLiteral("SELECT group_concat(MeterSortName || '/' || coalesce(MeterSortMemo, '-'), ' ') "
                                       "FROM (SELECT * FROM MeterSort ORDER BY MeterSortID)"))
            .toString();
    }
};

}

class TstufrmMeterSort : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QApplication::setApplicationName(QStringLiteral("Kelvara")); }
    void cleanup() { ClearTerminateRequest(); }
    void controls();
    void entries_data();
    void entries();
    void deletes();
};

void TstufrmMeterSort::controls()
{
    Fixture f;
    f.open();
    QCOMPARE(frmMeterSort, f.w.data());
    QCOMPARE(f.w->windowTitle(), QStringLiteral("类型维护"));
    QCOMPARE(f.child<QFrame>("Panel1")->height(), 97);
    QCOMPARE(QStringList({ f.child<QLabel>("Label1")->text(), f.child<QLabel>("Label2")->text() }),
             QStringList({ "类型名称：", "类型说明：" }));
    QCOMPARE(f.child<TDBEditEh>("DBEditEh1")->maxLength(), 20);
    QCOMPARE(f.child<TDBEditEh>("DBEditEh2")->maxLength(), 50);
    QStringList columns;
    for (int c = 0; c < f.grid()->model()->columnCount(); ++c)
        columns << f.grid()->model()->headerData(c, Qt::Horizontal).toString() + u' '
                       + QString::number(f.grid()->columnWidth(c));
    QCOMPARE(columns.mid(1), QStringList({ "类型名称 90", "说明 200" }));
    QCOMPARE(columns.constFirst().section(u' ', 0, 0), QStringLiteral("类型ID"));
    QVERIFY(f.grid()->isReadOnly());
    QStringList order;
    f.child<TDBEditEh>("DBEditEh1")->setFocus();
    for (int i = 0; i < 3; ++i) {
        order << QApplication::focusWidget()->objectName();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    QCOMPARE(order, QStringList({ "DBEditEh1", "DBEditEh2", "DBGridEh4" }));
}

void TstufrmMeterSort::entries_data()
{
    QTest::addColumn<bool>("append");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("memo");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QStringList>("boxes");
    const QString before = QStringLiteral("水表/自来水 气表/压缩空气");
    const QStringList blank{ QStringLiteral("错误提示|类型名称不能为空！|information|Ok") };
    QTest::newRow("new type") << true << "电表" << "电能" << before + " 电表/电能" << QStringList{};
    QTest::newRow("new type, no memo") << true << "电表" << "" << before + " 电表/-" << QStringList{};
    QTest::newRow("SQL cut at 20") << true << "1'; DROP TABLE Meter;--" << "a\"b;c"
                                   << before + " 1'; DROP TABLE Meter/a\"b;c" << QStringList{};
    QTest::newRow("new type, blank") << true << "   " << "说明" << before << blank;
    QTest::newRow("renamed") << false << "冷水表" << "O'Brien" << "冷水表/O'Brien 气表/压缩空气" << QStringList{};
    QTest::newRow("renamed to nothing") << false << "" << "x" << before << blank;
}

void TstufrmMeterSort::entries()
{
    QFETCH(bool, append);
    QFETCH(QString, name);
    QFETCH(QString, memo);
    QFETCH(QStringList, boxes);
    Fixture f;
    f.open();
    if (append)
        f.press(nbInsert);
    f.retype("DBEditEh1", name);
    f.retype("DBEditEh2", memo);
    f.press(nbPost);
    QCOMPARE(f.rec.summaries(), boxes);
    QTEST(f.stored(), "stored");
    QCOMPARE(f.grid()->dataSet()->isEditing(), !boxes.isEmpty());
}

void TstufrmMeterSort::deletes()
{
    Fixture f;
    f.open();
    f.grid()->setFocus();
    QTest::keyClick(f.grid(), Qt::Key_Delete, Qt::ControlModifier);
    QCOMPARE(f.rec.summaries(), QStringList({ "Confirm|你真的要删除该记录吗？|question|Ok+Cancel",
                                              "错误提示|该类型已被使用，不能删除！|information|Ok" }));
    QTest::keyClick(f.grid(), Qt::Key_Down);
    QTest::keyClick(f.grid(), Qt::Key_Delete, Qt::ControlModifier);
    QCOMPARE(f.stored(), QStringLiteral("水表/自来水"));
    QCOMPARE(f.grid()->model()->rowCount(), 1);
}

QTEST_MAIN(TstufrmMeterSort)
#include "tst_ufrmMeterSort.moc"
