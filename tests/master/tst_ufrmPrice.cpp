// The unit price window driven by keys: its panel, grid and navigator, prices entered with their
// type, amounts to four places, odd input in every box, and a price in use kept.
#include "DBEditEh.h"
#include "DBGridEh.h"
#include "DBLookupComboboxEh.h"
#include "Database.h"
#include "MessageRecorder.h"
#include "MyNavEh.h"
#include "MasterWindowFixture.h"
#include "TestDatabase.h"
#include "UCommon.h"
#include "ufrmPrice.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QtTest>

namespace {

struct Fixture : MasterWindowFixture<TfrmPrice>
{
    qint64 water = 0, power = 0;

    Fixture()
    {
        t.setUsingUnit(QStringLiteral("厂"), QStringLiteral("pw"));
        const qint64 shop = t.addWorkshop(QStringLiteral("一车间"), 2, t.addWorkshop(QStringLiteral("生产部"), 1, 1));
        water = t.addMeterSort(QStringLiteral("水表"));
        power = t.addMeterSort(QStringLiteral("电表"));
        const qint64 used = t.addPrice(QStringLiteral("生产用水"), yuan("2.5"), yuan("3.75"), water);
        t.addPrice(QStringLiteral("生产用电"), yuan("0.65"), yuan("0.98"), power);
        t.addPrice(QStringLiteral("旧价"), yuan("1"), yuan("0"), QVariant());   // of no type
        t.addMeter({ QStringLiteral("W1"), water, used, shop, QVariant() });
    }
    TDBGridEh *grid() const { return child<TDBGridEh>("DBGridEh2"); }
    QStringList cells() const { return cellsOf(grid()); }
    QString stored(int id) const
    {
        return t.scalar(QStringLiteral("SELECT PriceName || '|' || coalesce(PriceNumber, '-') || '|' || "
                                       "coalesce(ExceedPrice, '-') || '|' || coalesce(MeterSortID, '-') FROM Price "
                                       "WHERE PriceID = ?"),
                        { id })
            .toString();
    }
};

}

class TstufrmPrice : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QApplication::setApplicationName(QStringLiteral("Kelvara")); }
    void cleanup() { ClearTerminateRequest(); }
    void controls();
    void enterPriceByKeys();
    void badInput_data();
    void badInput();
    void deletes();
};

void TstufrmPrice::controls()
{
    Fixture f;
    f.open();
    QCOMPARE(frmPrice, f.w.data());
    QCOMPARE(f.w->windowTitle(), QStringLiteral("单价维护"));
    QCOMPARE(f.child<QFrame>("Panel1")->height(), 89);
    QStringList labels;
    for (int i = 1; i <= 6; ++i)
        labels << f.w->findChild<QLabel *>(QStringLiteral("Label%1").arg(i))->text();
    QCOMPARE(labels, QStringList({ "表 类 型：", "单价名称：", "单      价：", "元", "超出部分单价：", "元" }));
    QCOMPARE(f.child<TDBEditEh>("DBEditEh1")->maxLength(), 20);
    QStringList columns;
    const QList<int> widths{ -1, 80, 70, 75, 80 };
    for (int c = 0; c < f.grid()->model()->columnCount(); ++c)
        columns << f.grid()->model()->headerData(c, Qt::Horizontal).toString()
                       + (widths.at(c) > 0 ? u' ' + QString::number(f.grid()->columnWidth(c)) : QString());
    QCOMPARE(columns, QStringList({ "单价ID", "单价名称 80", "单价 70", "超出部分单价 75", "所属表类型 80" }));
    // Prices to four places; a price of no stored type shows no type.
    QCOMPARE(f.cells(), QStringList({ "1|生产用水|2.5000|3.7500|水表", "2|生产用电|0.6500|0.9800|电表",
                                      "3|旧价|1.0000|0.0000|" }));
    QStringList order;
    f.child<TDBLookupComboboxEh>("DBLookupComboboxEh5")->setFocus();
    for (int i = 0; i < 5; ++i) {
        order << QApplication::focusWidget()->objectName();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    QCOMPARE(order, QStringList({ "DBLookupComboboxEh5", "DBEditEh1", "DBEditEh2", "DBEditEh3", "DBGridEh2" }));
}

void TstufrmPrice::enterPriceByKeys()
{
    Fixture f;
    f.open();
    f.press(nbInsert);
    auto *sort = f.child<TDBLookupComboboxEh>("DBLookupComboboxEh5");
    sort->setFocus();
    QTest::keyClick(sort, Qt::Key_Down);
    QTest::keyClick(sort, Qt::Key_Down);
    QCOMPARE(sort->currentText(), QStringLiteral("电表"));
    f.retype("DBEditEh1", QStringLiteral("照明用电"));
    f.retype("DBEditEh2", QStringLiteral("0.5234"));
    f.retype("DBEditEh3", QStringLiteral("0.8"));
    f.press(nbPost);
    QVERIFY(f.rec.boxes().isEmpty());
    QCOMPARE(f.stored(4), QStringLiteral("照明用电|5234|8000|%1").arg(f.power));
    // Added before the row that was current.
    QCOMPARE(f.cells().constFirst(), QStringLiteral("4|照明用电|0.5234|0.8000|电表"));
}

void TstufrmPrice::badInput_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("stored");     // the first price afterwards
    QTest::addColumn<QStringList>("boxes");
    const QStringList none;
    const QString unchanged = QStringLiteral("生产用水|25000|37500|1");
    QTest::newRow("name: SQL cut at 20") << "DBEditEh1" << "1'; DROP TABLE Price;--"
                                         << "1'; DROP TABLE Price|25000|37500|1" << none;
    QTest::newRow("name: blank") << "DBEditEh1" << " " << unchanged
                                 << QStringList{ info(QStringLiteral("单价名称不能为空！")) };
    QTest::newRow("price: letters refused") << "DBEditEh2" << "1a.5;'" << "生产用水|15000|37500|1" << none;
    QTest::newRow("price: four places") << "DBEditEh2" << "0.0001" << "生产用水|1|37500|1" << none;
    QTest::newRow("price: five places") << "DBEditEh2" << "0.00001" << unchanged
                                        << QStringList{ "Kelvara|“0.00001”不是有效的金额！.|critical|Ok" };
    QTest::newRow("price: beyond 64 bits") << "DBEditEh2" << "99999999999999999999" << unchanged
                                           << QStringList{ "Kelvara|“99999999999999999999”不是有效的金额！.|critical|Ok" };
    QTest::newRow("beyond: empty") << "DBEditEh3" << "" << "生产用水|25000|-|1" << none;
}

void TstufrmPrice::badInput()
{
    QFETCH(QString, box);
    QFETCH(QString, text);
    QFETCH(QStringList, boxes);
    Fixture f;
    f.open();
    f.retype(box.toLatin1().constData(), text);
    f.press(nbPost);
    QCOMPARE(f.rec.summaries(), boxes);
    QTEST(f.stored(1), "stored");
    QCOMPARE(f.grid()->dataSet()->isEditing(), !boxes.isEmpty());
    QCOMPARE(f.t.count(QStringLiteral("Price")), 3);
}

void TstufrmPrice::deletes()
{
    Fixture f;
    f.open();
    f.grid()->setFocus();
    QTest::keyClick(f.grid(), Qt::Key_Delete, Qt::ControlModifier);
    QCOMPARE(f.rec.summaries(), QStringList({ "Confirm|你真的要删除该记录吗？|question|Ok+Cancel",
                                              info(QStringLiteral("该单价已被使用，不能删除！")) }));
    f.rec.clear();
    f.rec.answer(QMessageBox::Cancel);
    QTest::keyClick(f.grid(), Qt::Key_Down);
    QTest::keyClick(f.grid(), Qt::Key_Delete, Qt::ControlModifier);
    QCOMPARE(f.t.count(QStringLiteral("Price")), 3);
    QTest::keyClick(f.grid(), Qt::Key_Delete, Qt::ControlModifier);
    QCOMPARE(f.t.scalar(QStringLiteral("SELECT group_concat(PriceName, ' ') FROM (SELECT * FROM Price ORDER BY PriceID)"))
                 .toString(),
             QStringLiteral("生产用水 旧价"));
}

QTEST_MAIN(TstufrmPrice)
#include "tst_ufrmPrice.moc"
