// The link of a bound control to its field: when the control must show the value again, and
// how the operator's change readies the row.
#include "Database.h"
#include "FieldLink.h"
#include "TestDatabase.h"

#include <QSignalSpy>
#include <QtTest>

class TstFieldLink : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void reportsOnlyChangesOfItsField();
    void followsOpenCloseAndMoves();
    void beginEdit_data();
    void beginEdit();
    void refusesFieldsThatCannotBeWritten_data();
    void refusesFieldsThatCannotBeWritten();

private:
    std::unique_ptr<TestDatabase> t;
    std::unique_ptr<QObject> owner;
    DataSet *prices = nullptr;
    DataSet *sorts = nullptr;
};

void TstFieldLink::init()
{
    t = std::make_unique<TestDatabase>();
    owner = std::make_unique<QObject>();
    t->setUsingUnit(QStringLiteral("厂"), QStringLiteral("pw"));
    const qint64 water = t->addMeterSort(QStringLiteral("水表"));
    t->addPrice(QStringLiteral("生产"), yuan("1"), yuan("2"), water);
    t->addPrice(QStringLiteral("生活"), yuan("3"), yuan("4"), water);
    sorts = new DataSet(owner.get());
    sorts->setConnectionName(Database::mainConnectionName());
    sorts->setSql(QStringLiteral("select * from MeterSort"));
    prices = new DataSet(owner.get());
    prices->setConnectionName(Database::mainConnectionName());
    prices->setSql(QStringLiteral("select * from Price"));
    prices->setUpdateTable(QStringLiteral("Price"), { "PriceID" });
    prices->addLookupField(QStringLiteral("MeterSortName"), QStringLiteral("MeterSortID"), sorts,
                           QStringLiteral("MeterSortID"), QStringLiteral("MeterSortName"));
}

void TstFieldLink::cleanup()
{
    owner.reset();
    t.reset();
}

void TstFieldLink::reportsOnlyChangesOfItsField()
{
    prices->open();
    FieldLink link;
    link.setDataSet(prices);
    link.setField(QStringLiteral("PriceName"));
    QSignalSpy changed(&link, &FieldLink::valueChanged);
    QSignalSpy states(&link, &FieldLink::stateChanged);
    prices->edit();
    QCOMPARE(states.count(), 1);
    prices->setValue(QStringLiteral("PriceNumber"), QStringLiteral("9"));
    QCOMPARE(changed.count(), 0);
    prices->setValue(QStringLiteral("PriceName"), QStringLiteral("改"));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(link.value().toString(), QStringLiteral("改"));
    prices->setValue(QStringLiteral("PriceName"), QStringLiteral("改"));
    QCOMPARE(changed.count(), 1);
    prices->post();   // the same value, stored
    QCOMPARE(changed.count(), 1);
}

void TstFieldLink::followsOpenCloseAndMoves()
{
    FieldLink link;
    link.setDataSet(prices);
    link.setField(QStringLiteral("PriceName"));
    QVERIFY(!link.isActive());
    QVERIFY(link.value().isNull());
    QSignalSpy changed(&link, &FieldLink::valueChanged);
    QSignalSpy fields(&link, &FieldLink::fieldsChanged);
    prices->open();
    QVERIFY(link.isActive());
    QCOMPARE(link.field().size, 20);
    QVERIFY(fields.count() >= 1);
    QVERIFY(changed.count() >= 1);
    QCOMPARE(link.value().toString(), QStringLiteral("生产"));
    changed.clear();
    prices->next();
    QCOMPARE(changed.count(), 1);
    QCOMPARE(link.value().toString(), QStringLiteral("生活"));
    prices->close();
    QVERIFY(!link.isActive());
    QVERIFY(link.value().isNull());
    link.setField(QStringLiteral("NoSuchField"));
    prices->open();
    QVERIFY(!link.isActive());
}

void TstFieldLink::beginEdit_data()
{
    QTest::addColumn<bool>("append");
    QTest::addColumn<bool>("alreadyEditing");
    QTest::addColumn<int>("state");
    QTest::addColumn<int>("rows");
    QTest::newRow("edit the current row") << false << false << int(DataSet::Edit) << 2;
    QTest::newRow("append a new row") << true << false << int(DataSet::Insert) << 3;
    QTest::newRow("keep editing") << true << true << int(DataSet::Edit) << 2;
}

void TstFieldLink::beginEdit()
{
    QFETCH(bool, append);
    QFETCH(bool, alreadyEditing);
    QFETCH(int, state);
    QFETCH(int, rows);
    prices->open();
    FieldLink link;
    link.setDataSet(prices);
    link.setField(QStringLiteral("PriceName"));
    if (append)
        link.setBrowseTyping(FieldLink::BrowseTyping::AppendRow);
    if (alreadyEditing)
        prices->edit();
    QVERIFY(link.beginEdit());
    QCOMPARE(int(prices->state()), state);
    QCOMPARE(prices->recordCount(), rows);
    link.write(QStringLiteral("新"));
    QCOMPARE(prices->asString(QStringLiteral("PriceName")), QStringLiteral("新"));
}

void TstFieldLink::refusesFieldsThatCannotBeWritten_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<bool>("readOnly");
    QTest::addColumn<bool>("open");
    QTest::newRow("closed set") << "PriceName" << false << false;
    QTest::newRow("read-only set") << "PriceName" << true << true;
    QTest::newRow("lookup field") << "MeterSortName" << false << true;
    QTest::newRow("numbered by the database") << "PriceID" << false << true;
}

void TstFieldLink::refusesFieldsThatCannotBeWritten()
{
    QFETCH(QString, field);
    QFETCH(bool, readOnly);
    QFETCH(bool, open);
    sorts->open();
    if (open)
        prices->open();
    prices->setReadOnly(readOnly);
    FieldLink link;
    link.setDataSet(prices);
    link.setField(field);
    QVERIFY(!link.canModify());
    QVERIFY(!link.beginEdit());
    QCOMPARE(prices->state(), open ? DataSet::Browse : DataSet::Inactive);
}

QTEST_GUILESS_MAIN(TstFieldLink)
#include "tst_FieldLink.moc"
