// The lookup combo box: names from a list DataSet for the key of the edited row, empty for keys
// not in the list, choosing writes the key, close-up after the drop-down, list refills.
#include "DBLookupComboboxEh.h"
#include "Database.h"
#include "MessageRecorder.h"
#include "TestDatabase.h"

#include <QAbstractItemView>
#include <QSignalSpy>
#include <QWheelEvent>
#include <QtTest>

class TstDBLookupComboboxEh : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void showsTheNameOfTheKey();
    void showsEmptyForKeysNotInTheList_data();
    void showsEmptyForKeysNotInTheList();
    void keyboardChoiceWritesTheKey();
    void pickFromDropDownThenCloseUp();
    void closeUpWithoutPick();
    void listFollowsItsDataSet();
    void deleteClearsTheKey();
    void wheelChangesNothing();
    void unmodifiableSetRefusesChoice();
    void selectKey();

private:
    DataSet *newSet(const QString &sql, const QString &table = {}, const QStringList &keys = {});
    TDBLookupComboboxEh *typeBox();

    std::unique_ptr<TestDatabase> t;
    std::unique_ptr<QWidget> window;
    std::unique_ptr<MessageRecorder> boxes;
    DataSet *prices = nullptr;
    DataSet *sorts = nullptr;
    qint64 water = 0, power = 0, gas = 0;
};

void TstDBLookupComboboxEh::init()
{
    t = std::make_unique<TestDatabase>();
    boxes = std::make_unique<MessageRecorder>();
    window = std::make_unique<QWidget>();
    t->setUsingUnit(QStringLiteral("厂"), QStringLiteral("pw"));
    water = t->addMeterSort(QStringLiteral("水表"));
    power = t->addMeterSort(QStringLiteral("电表"));
    gas = t->addMeterSort(QStringLiteral("气表"));
    t->addPrice(QStringLiteral("生产用水"), yuan("2.4"), yuan("3"), water);
    t->addPrice(QStringLiteral("无类型"), yuan("1"), yuan("0"), QVariant());
    t->addPrice(QStringLiteral("照明"), yuan("0.5"), yuan("0.8"), power);
    prices = newSet(QStringLiteral("select * from Price"), QStringLiteral("Price"), { "PriceID" });
    sorts = newSet(QStringLiteral("select * from MeterSort where MeterSortID <> :hidden"));
    sorts->setParam(QStringLiteral("hidden"), 0);
}

void TstDBLookupComboboxEh::cleanup()
{
    window.reset();
    boxes.reset();
    t.reset();
}

DataSet *TstDBLookupComboboxEh::newSet(const QString &sql, const QString &table, const QStringList &keys)
{
    auto *ds = new DataSet(window.get());
    ds->setConnectionName(Database::mainConnectionName());
    ds->setSql(sql);
    if (!table.isEmpty())
        ds->setUpdateTable(table, keys);
    return ds;
}

TDBLookupComboboxEh *TstDBLookupComboboxEh::typeBox()
{
    auto *box = new TDBLookupComboboxEh(window.get());
    box->setDataSet(prices);
    box->setDataField(QStringLiteral("MeterSortID"));
    box->setListSource(sorts);
    box->setKeyField(QStringLiteral("MeterSortID"));
    box->setListField(QStringLiteral("MeterSortName"));
    sorts->open();
    prices->open();
    window->show();
    return box;
}

void TstDBLookupComboboxEh::showsTheNameOfTheKey()
{
    TDBLookupComboboxEh *box = typeBox();
    QCOMPARE(box->count(), 3);
    QCOMPARE(box->itemText(1), QStringLiteral("电表"));
    QCOMPARE(box->currentText(), QStringLiteral("水表"));
    QCOMPARE(box->keyValue().toLongLong(), water);
    prices->last();
    QCOMPARE(box->currentText(), QStringLiteral("电表"));
    prices->first();
    QCOMPARE(box->currentText(), QStringLiteral("水表"));
}

void TstDBLookupComboboxEh::showsEmptyForKeysNotInTheList_data()
{
    QTest::addColumn<bool>("nullKey");
    QTest::newRow("key missing from the list") << false;
    QTest::newRow("no key") << true;
}

void TstDBLookupComboboxEh::showsEmptyForKeysNotInTheList()
{
    QFETCH(bool, nullKey);
    TDBLookupComboboxEh *box = typeBox();
    if (nullKey) {
        prices->setRecNo(1);
    } else {
        sorts->close();
        sorts->setParam(QStringLiteral("hidden"), water);
        sorts->open();
    }
    QCOMPARE(box->currentIndex(), -1);
    QCOMPARE(box->currentText(), QString());
    // The stored key stays as it was.
    QCOMPARE(box->keyValue().isNull(), nullKey);
    QCOMPARE(prices->state(), DataSet::Browse);
}

void TstDBLookupComboboxEh::keyboardChoiceWritesTheKey()
{
    TDBLookupComboboxEh *box = typeBox();
    QSignalSpy changed(box, &TDBLookupComboboxEh::keyValueChanged);
    QSignalSpy closeUps(box, &TDBLookupComboboxEh::closeUp);
    QTest::keyClick(box, Qt::Key_Down);
    QCOMPARE(box->currentText(), QStringLiteral("电表"));
    QCOMPARE(prices->state(), DataSet::Edit);
    QCOMPARE(prices->asInteger(QStringLiteral("MeterSortID")), power);
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.last().at(0).toLongLong(), power);
    QCoreApplication::processEvents();
    QCOMPARE(closeUps.count(), 0);
    prices->post();
    QCOMPARE(t->scalar(QStringLiteral("SELECT MeterSortID FROM Price WHERE PriceName = '生产用水'")).toLongLong(), power);
}

void TstDBLookupComboboxEh::pickFromDropDownThenCloseUp()
{
    TDBLookupComboboxEh *box = typeBox();
    QVariant keyAtCloseUp;
    DataSet::State stateAtCloseUp = DataSet::Inactive;
    connect(box, &TDBLookupComboboxEh::closeUp, this, [&] {
        keyAtCloseUp = prices->value(QStringLiteral("MeterSortID"));
        stateAtCloseUp = prices->state();
    });
    QSignalSpy closeUps(box, &TDBLookupComboboxEh::closeUp);
    box->showPopup();
    QVERIFY(box->view()->isVisible());
    box->view()->setCurrentIndex(box->model()->index(2, 0));
    QTest::keyClick(box->view(), Qt::Key_Return);
    QVERIFY(!box->view()->isVisible());
    QCoreApplication::processEvents();
    QCOMPARE(closeUps.count(), 1);
    QCOMPARE(keyAtCloseUp.toLongLong(), gas);
    QCOMPARE(stateAtCloseUp, DataSet::Edit);
    QCOMPARE(box->currentText(), QStringLiteral("气表"));
}

void TstDBLookupComboboxEh::closeUpWithoutPick()
{
    TDBLookupComboboxEh *box = typeBox();
    QSignalSpy closeUps(box, &TDBLookupComboboxEh::closeUp);
    QSignalSpy changed(box, &TDBLookupComboboxEh::keyValueChanged);
    box->showPopup();
    QTest::keyClick(box->view(), Qt::Key_Escape);
    QCoreApplication::processEvents();
    QCOMPARE(closeUps.count(), 1);
    QCOMPARE(changed.count(), 0);
    QCOMPARE(prices->state(), DataSet::Browse);
    // Picking the entry already shown changes nothing either.
    box->showPopup();
    box->view()->setCurrentIndex(box->model()->index(0, 0));
    QTest::keyClick(box->view(), Qt::Key_Return);
    QCoreApplication::processEvents();
    QCOMPARE(closeUps.count(), 2);
    QCOMPARE(changed.count(), 0);
    QCOMPARE(prices->state(), DataSet::Browse);
}

void TstDBLookupComboboxEh::listFollowsItsDataSet()
{
    TDBLookupComboboxEh *box = typeBox();
    prices->last();
    QCOMPARE(box->currentText(), QStringLiteral("电表"));
    sorts->close();
    QCOMPARE(box->count(), 0);
    QCOMPARE(box->currentText(), QString());
    sorts->setParam(QStringLiteral("hidden"), water);
    sorts->open();
    QCOMPARE(box->count(), 2);
    QCOMPARE(box->currentText(), QStringLiteral("电表"));
    execSql(t->db(), QStringLiteral("UPDATE MeterSort SET MeterSortName = '动力电' WHERE MeterSortID = ?"), { power });
    sorts->refresh();
    QCOMPARE(box->currentText(), QStringLiteral("动力电"));
}

void TstDBLookupComboboxEh::deleteClearsTheKey()
{
    TDBLookupComboboxEh *box = typeBox();
    QSignalSpy changed(box, &TDBLookupComboboxEh::keyValueChanged);
    QTest::keyClick(box, Qt::Key_Delete);
    QCOMPARE(box->currentIndex(), -1);
    QCOMPARE(prices->state(), DataSet::Edit);
    QVERIFY(prices->isNull(QStringLiteral("MeterSortID")));
    QCOMPARE(changed.count(), 1);
    QVERIFY(changed.last().at(0).isNull());
    QTest::keyClick(box, Qt::Key_Backspace);
    QCOMPARE(changed.count(), 1);   // already empty
}

void TstDBLookupComboboxEh::wheelChangesNothing()
{
    TDBLookupComboboxEh *box = typeBox();
    const QPointF centre = QRectF(box->rect()).center();
    QWheelEvent wheel(centre, box->mapToGlobal(centre), {}, QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(box, &wheel);
    QCOMPARE(box->currentText(), QStringLiteral("水表"));
    QCOMPARE(prices->state(), DataSet::Browse);
}

void TstDBLookupComboboxEh::unmodifiableSetRefusesChoice()
{
    TDBLookupComboboxEh *box = typeBox();
    prices->setReadOnly(true);
    QSignalSpy changed(box, &TDBLookupComboboxEh::keyValueChanged);
    QTest::keyClick(box, Qt::Key_Down);
    QCOMPARE(box->currentText(), QStringLiteral("水表"));
    QCOMPARE(prices->state(), DataSet::Browse);
    QCOMPARE(changed.count(), 0);
    QVERIFY(boxes->boxes().isEmpty());
}

void TstDBLookupComboboxEh::selectKey()
{
    TDBLookupComboboxEh *box = typeBox();
    QSignalSpy changed(box, &TDBLookupComboboxEh::keyValueChanged);
    QVERIFY(!box->selectKey(999));
    QCOMPARE(prices->state(), DataSet::Browse);
    QVERIFY(box->selectKey(gas));
    QCOMPARE(box->currentText(), QStringLiteral("气表"));
    QCOMPARE(prices->asInteger(QStringLiteral("MeterSortID")), gas);
    QCOMPARE(changed.count(), 1);
}

QTEST_MAIN(TstDBLookupComboboxEh)
#include "tst_DBLookupComboboxEh.moc"
