// The query object: navigation, editing states, posting with bound values, hooks, lookups, filter.
#include "DataSet.h"
#include "Database.h"
#include "TestDatabase.h"
#include "UCommon.h"

#include <QSignalSpy>
#include <QtTest>

class TstDataSet : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void openNavigateAndRead();
    void namedParameterNullSelectsNothing();
    void appendPostsWithAutoNumber();
    void insertGoesBeforeCurrentAndCancelRemovesIt();
    void editWritesOnlyChangedColumnsByOldKey();
    void secondSaveOfARowIsRefused();
    void caseOnlyChangeIsNotOverwritten();
    void valuesAreStoredExactlyAsTyped();
    void conversionErrorsNameTheValue_data();
    void conversionErrorsNameTheValue();
    void failedPostKeepsTheRowInEditing();
    void beforePostCanFillOrAbandon();
    void checkBrowseModeCancelsUntouchedNewRow();
    void removeDeletesByKey();
    void locateByKeyFields();
    void lookupFieldsFollowTheirList();
    void filterLimitsNavigation();
    void editorsWriteTheirTextOnPost();
    void refreshStaysOnTheRow();

private:
    std::unique_ptr<TestDatabase> t;
    DataSet *newSet(const QString &sql, const QString &table, const QStringList &keys);
    std::unique_ptr<QObject> owner;
};

void TstDataSet::init()
{
    t = std::make_unique<TestDatabase>();
    owner = std::make_unique<QObject>();
    t->setUsingUnit(QStringLiteral("厂"), QStringLiteral("pw"));
    const qint64 water = t->addMeterSort(QStringLiteral("水表"), QStringLiteral("自来水"));
    t->addMeterSort(QStringLiteral("电表"), QStringLiteral("电能"));
    t->addPrice(QStringLiteral("生产"), yuan("0.5"), yuan("0.8"), water);
}

void TstDataSet::cleanup()
{
    owner.reset();
    t.reset();
}

DataSet *TstDataSet::newSet(const QString &sql, const QString &table, const QStringList &keys)
{
    auto *ds = new DataSet(owner.get());
    ds->setConnectionName(Database::mainConnectionName());
    ds->setSql(sql);
    if (!table.isEmpty())
        ds->setUpdateTable(table, keys);
    return ds;
}

void TstDataSet::openNavigateAndRead()
{
    DataSet *ds = newSet(QStringLiteral("select * from MeterSort"), QStringLiteral("MeterSort"), { "MeterSortID" });
    QVERIFY(!ds->isActive());
    ds->open();
    QCOMPARE(ds->state(), DataSet::Browse);
    QCOMPARE(ds->recordCount(), 2);
    QCOMPARE(ds->recNo(), 0);
    QVERIFY(ds->bof());
    QVERIFY(!ds->eof());
    QCOMPARE(ds->asString("MeterSortName"), QStringLiteral("水表"));
    QStringList names;
    for (ds->first(); !ds->eof(); ds->next())
        names << ds->asString("MeterSortName");
    QCOMPARE(names, QStringList({ "水表", "电表" }));
    QCOMPARE(ds->recNo(), 1);                 // Next at the end stays on the last row
    ds->prior();
    QCOMPARE(ds->recNo(), 0);
    ds->prior();
    QVERIFY(ds->bof());
    QCOMPARE(ds->field("MeterSortID").kind, FieldKind::Integer);
    QVERIFY(ds->field("MeterSortID").autoIncrement);
    QCOMPARE(ds->field("MeterSortName").size, 20);
    QVERIFY_THROWS_EXCEPTION(DatabaseError, ds->value(QStringLiteral("NoSuchField")));
    ds->close();
    QVERIFY_THROWS_EXCEPTION(DatabaseError, ds->value(0));
}

void TstDataSet::namedParameterNullSelectsNothing()
{
    DataSet *ds = newSet(QStringLiteral("select * from Price where MeterSortID= :MeterSortID"), {}, {});
    ds->setParam(QStringLiteral("MeterSortID"), QVariant());
    ds->open();
    QCOMPARE(ds->recordCount(), 0);
    QVERIFY(ds->eof());
    ds->close();
    ds->setParam(QStringLiteral("MeterSortID"), 1);
    ds->open();
    QCOMPARE(ds->recordCount(), 1);
    // Without an update table the kind comes from the values.
    QCOMPARE(ds->field("PriceNumber").kind, FieldKind::Integer);
    QCOMPARE(ds->value("PriceNumber").toLongLong(), qint64(5000));
}

void TstDataSet::appendPostsWithAutoNumber()
{
    DataSet *ds = newSet(QStringLiteral("select * from MeterSort"), QStringLiteral("MeterSort"), { "MeterSortID" });
    ds->open();
    ds->append();
    QCOMPARE(ds->state(), DataSet::Insert);
    QCOMPARE(ds->recNo(), 2);
    QCOMPARE(ds->recordCount(), 3);
    ds->setValue("MeterSortName", QStringLiteral("气表"));
    ds->post();
    QCOMPARE(ds->state(), DataSet::Browse);
    QCOMPARE(ds->asInteger("MeterSortID"), qint64(3));
    QCOMPARE(t->scalar(QStringLiteral("SELECT MeterSortName FROM MeterSort WHERE MeterSortID = 3")).toString(),
             QStringLiteral("气表"));
}

void TstDataSet::insertGoesBeforeCurrentAndCancelRemovesIt()
{
    DataSet *ds = newSet(QStringLiteral("select * from MeterSort"), QStringLiteral("MeterSort"), { "MeterSortID" });
    ds->open();
    ds->next();
    QSignalSpy inserted(ds, &DataSet::rowInserted);
    QSignalSpy removed(ds, &DataSet::rowRemoved);
    ds->insert();
    QCOMPARE(inserted.size(), 1);
    QCOMPARE(inserted.at(0).at(0).toInt(), 1);
    QCOMPARE(ds->recNo(), 1);
    QVERIFY(ds->isNull("MeterSortName"));
    QVERIFY(ds->storedValue("MeterSortName").isNull());   // a new row is stored nowhere yet
    QCOMPARE(ds->valueAt(2, ds->fieldIndex("MeterSortName")).toString(), QStringLiteral("电表"));
    ds->cancel();
    QCOMPARE(removed.size(), 1);
    QCOMPARE(ds->recordCount(), 2);
    QCOMPARE(ds->asString("MeterSortName"), QStringLiteral("电表"));
    QCOMPARE(t->count(QStringLiteral("MeterSort")), 2);
}

void TstDataSet::editWritesOnlyChangedColumnsByOldKey()
{
    MeterSpec m;
    m.number = QStringLiteral("A1");
    m.maxBound = 9999;
    t->addMeter(m);
    t->addReading(QStringLiteral("A1"), QDate(2024, 3, 1), 10, 10, yuan("1"), yuan("0"));
    DataSet *ds = newSet(QStringLiteral("select * from Meter"), QStringLiteral("Meter"), { "MeterNO" });
    ds->open();
    QCOMPARE(ds->storedValue("MeterNO").toString(), QStringLiteral("A1"));
    ds->edit();
    ds->setValue("MeterNO", QStringLiteral("A2"));
    ds->setValue("Quota", QStringLiteral("123.45"));
    // Until it is posted, the row is stored under its old number.
    QCOMPARE(ds->storedValue("MeterNO").toString(), QStringLiteral("A1"));
    ds->post();
    QCOMPARE(ds->storedValue("MeterNO").toString(), QStringLiteral("A2"));
    QCOMPARE(t->scalar(QStringLiteral("SELECT Quota FROM Meter WHERE MeterNO = 'A2'")).toLongLong(), qint64(1234500));
    QCOMPARE(t->scalar(QStringLiteral("SELECT MaxBound FROM Meter")).toInt(), 9999);
    // The reading follows the renamed meter.
    QCOMPARE(t->scalar(QStringLiteral("SELECT MeterID FROM TakeMeter")).toString(), QStringLiteral("A2"));
    // A row deleted behind the window's back cannot be updated.
    ds->edit();
    ds->setValue("Multiple", 3);
    execSql(t->db(), QStringLiteral("DELETE FROM TakeMeter"));
    execSql(t->db(), QStringLiteral("DELETE FROM Meter"));
    QVERIFY_THROWS_EXCEPTION(DatabaseError, ds->post());
    QCOMPARE(ds->state(), DataSet::Edit);
}

// Two windows on one row: the later save finds the row changed and overwrites nothing; after a
// refresh it saves. A delete of a changed row is refused the same way.
void TstDataSet::secondSaveOfARowIsRefused()
{
    MeterSpec m;
    m.number = QStringLiteral("A1");
    m.setupDate = QStringLiteral("2024-06-01");
    t->addMeter(m);
    DataSet *first = newSet(QStringLiteral("select * from Meter"), QStringLiteral("Meter"), { "MeterNO" });
    DataSet *second = newSet(QStringLiteral("select * from Meter"), QStringLiteral("Meter"), { "MeterNO" });
    first->open();
    second->open();
    first->edit();
    first->setValue("FitPlace", QStringLiteral("北墙"));
    first->post();
    second->edit();
    second->setValue("Multiple", 7);
    try {
        second->post();
        QFAIL("a row changed by another window was overwritten");
    } catch (const DatabaseError &e) {
        QCOMPARE(e.kind(), DatabaseError::Changed);
        QCOMPARE(e.operatorText(), QStringLiteral("该记录已被其他用户修改，请刷新后重试！"));
    }
    QCOMPARE(second->state(), DataSet::Edit);
    QCOMPARE(t->scalar(QStringLiteral("SELECT FitPlace FROM Meter")).toString(), QStringLiteral("北墙"));
    QCOMPARE(t->scalar(QStringLiteral("SELECT Multiple FROM Meter")).toInt(), 1);
    second->cancel();
    second->refresh();
    second->edit();
    second->setValue("Multiple", 7);
    second->post();
    QCOMPARE(t->scalar(QStringLiteral("SELECT Multiple FROM Meter")).toInt(), 7);
    QCOMPARE(t->scalar(QStringLiteral("SELECT FitPlace FROM Meter")).toString(), QStringLiteral("北墙"));
    QVERIFY_THROWS_EXCEPTION(DatabaseError, first->remove());
    QCOMPARE(t->count(QStringLiteral("Meter")), 1);
}

// A correction of a text's case by one window is a change like any other: a second window that
// read the text before is refused, not let to write over it.
void TstDataSet::caseOnlyChangeIsNotOverwritten()
{
    MeterSpec m;
    m.number = QStringLiteral("A1");
    m.model = QStringLiteral("dn20");
    t->addMeter(m);
    DataSet *first = newSet(QStringLiteral("select * from Meter"), QStringLiteral("Meter"), { "MeterNO" });
    DataSet *second = newSet(QStringLiteral("select * from Meter"), QStringLiteral("Meter"), { "MeterNO" });
    first->open();
    second->open();
    first->edit();
    first->setValue("Type", QStringLiteral("DN20"));
    first->post();
    second->edit();
    second->setValue("Type", QStringLiteral("dn25"));
    try {
        second->post();
    } catch (const DatabaseError &e) {
        QCOMPARE(e.kind(), DatabaseError::Changed);
    }
    QCOMPARE(t->scalar(QStringLiteral("SELECT Type FROM Meter")).toString(), QStringLiteral("DN20"));

    // So is a correction of the case of the row's number.
    second->cancel();
    second->refresh();
    first->edit();
    first->setValue("MeterNO", QStringLiteral("a1"));
    first->post();
    second->edit();
    second->setValue("Multiple", 7);
    QVERIFY_THROWS_EXCEPTION(DatabaseError, second->post());
    QCOMPARE(t->scalar(QStringLiteral("SELECT MeterNO FROM Meter")).toString(), QStringLiteral("a1"));
}

void TstDataSet::valuesAreStoredExactlyAsTyped()
{
    DataSet *ds = newSet(QStringLiteral("select * from MeterSort"), QStringLiteral("MeterSort"), { "MeterSortID" });
    ds->open();
    const QString tricky = QStringLiteral("O'Brien\"; DROP TABLE Meter; --");
    ds->append();
    ds->setValue("MeterSortName", QStringLiteral("x'y"));
    ds->setValue("MeterSortMemo", tricky);
    ds->post();
    QCOMPARE(t->scalar(QStringLiteral("SELECT MeterSortMemo FROM MeterSort WHERE MeterSortName = ?"),
                       { QStringLiteral("x'y") }).toString(), tricky);
    QCOMPARE(t->count(QStringLiteral("Meter")), 0);   // the table is still there
}

void TstDataSet::conversionErrorsNameTheValue_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::newRow("integer") << "MaxBound" << "9999" << true;
    QTest::newRow("integer with plus") << "MaxBound" << "+12" << true;
    QTest::newRow("letters") << "MaxBound" << "12a" << false;
    QTest::newRow("beyond 32 bits") << "MaxBound" << "2147483648" << false;
    QTest::newRow("lowest 32 bits") << "BaseNumber" << "-2147483648" << true;
    QTest::newRow("money") << "Quota" << "100.0001" << true;
    QTest::newRow("money with five decimals") << "Quota" << "100.00001" << false;
    QTest::newRow("date") << "SetupDate" << "2024-02-29" << true;
    QTest::newRow("impossible date") << "SetupDate" << "2023-02-29" << false;
}

void TstDataSet::conversionErrorsNameTheValue()
{
    QFETCH(QString, field);
    QFETCH(QString, text);
    QFETCH(bool, ok);
    DataSet *ds = newSet(QStringLiteral("select * from Meter"), QStringLiteral("Meter"), { "MeterNO" });
    ds->open();
    ds->append();
    try {
        ds->setValue(field, text);
        QVERIFY(ok);
    } catch (const DatabaseError &e) {
        QVERIFY2(!ok, qPrintable(e.text()));
        QVERIFY(e.text().contains(text));
    }
}

void TstDataSet::failedPostKeepsTheRowInEditing()
{
    t->addMeter({ QStringLiteral("A1") });
    DataSet *ds = newSet(QStringLiteral("select * from Meter"), QStringLiteral("Meter"), { "MeterNO" });
    ds->open();
    ds->append();
    ds->setValue("MeterNO", QStringLiteral("a1"));      // same key without regard to case
    QVERIFY_THROWS_EXCEPTION(DatabaseError, ds->post());
    QCOMPARE(ds->state(), DataSet::Insert);
    QCOMPARE(ds->asString("MeterNO"), QStringLiteral("a1"));
    ds->setValue("MeterNO", QStringLiteral("A2"));
    ds->post();
    QCOMPARE(t->count(QStringLiteral("Meter")), 2);
}

void TstDataSet::beforePostCanFillOrAbandon()
{
    DataSet *ds = newSet(QStringLiteral("select * from MeterSort"), QStringLiteral("MeterSort"), { "MeterSortID" });
    bool refuse = true;
    ds->setBeforePost([&] {
        if (refuse)
            throw AbortError();
        ds->setValue("MeterSortMemo", QStringLiteral("filled"));
    });
    ds->open();
    ds->append();
    ds->setValue("MeterSortName", QStringLiteral("气表"));
    QVERIFY_THROWS_EXCEPTION(AbortError, ds->post());
    QCOMPARE(ds->state(), DataSet::Insert);
    QCOMPARE(t->count(QStringLiteral("MeterSort")), 2);
    refuse = false;
    ds->post();
    QCOMPARE(t->scalar(QStringLiteral("SELECT MeterSortMemo FROM MeterSort WHERE MeterSortName = '气表'")).toString(),
             QStringLiteral("filled"));
}

void TstDataSet::checkBrowseModeCancelsUntouchedNewRow()
{
    DataSet *ds = newSet(QStringLiteral("select * from MeterSort"), QStringLiteral("MeterSort"), { "MeterSortID" });
    int newRecords = 0;
    ds->setOnNewRecord([&] {
        ++newRecords;
        ds->setValue("MeterSortMemo", QStringLiteral("default"));
    });
    ds->open();
    ds->append();
    QCOMPARE(newRecords, 1);
    QVERIFY(!ds->isModified());                 // defaults do not count as typing
    ds->first();                                // leaving the untouched row cancels it
    QCOMPARE(ds->recordCount(), 2);
    ds->append();
    ds->setValue("MeterSortName", QStringLiteral("气表"));
    ds->first();                                // leaving a typed row posts it
    QCOMPARE(t->count(QStringLiteral("MeterSort")), 3);
}

void TstDataSet::removeDeletesByKey()
{
    DataSet *ds = newSet(QStringLiteral("select * from MeterSort"), QStringLiteral("MeterSort"), { "MeterSortID" });
    ds->open();
    ds->last();
    ds->remove();
    QCOMPARE(ds->recordCount(), 1);
    QCOMPARE(ds->recNo(), 0);
    QCOMPARE(t->count(QStringLiteral("MeterSort")), 1);
    // A type in use is refused by the database and stays.
    QVERIFY_THROWS_EXCEPTION(DatabaseError, ds->remove());
    QCOMPARE(ds->recordCount(), 1);
    QCOMPARE(t->count(QStringLiteral("MeterSort")), 1);
}

void TstDataSet::locateByKeyFields()
{
    t->addMeter({ QStringLiteral("AB1") });
    t->addMeter({ QStringLiteral("AB2") });
    t->addReading(QStringLiteral("AB1"), QDate(2024, 3, 1), 1, 1, yuan("0"), yuan("0"));
    t->addReading(QStringLiteral("AB2"), QDate(2024, 3, 1), 1, 1, yuan("0"), yuan("0"));
    t->addReading(QStringLiteral("AB2"), QDate(2024, 3, 2), 1, 1, yuan("0"), yuan("0"));
    DataSet *ds = newSet(QStringLiteral("select * from TakeMeter"), QStringLiteral("TakeMeter"),
                         { "MeterID", "TakeTime" });
    ds->open();
    QVERIFY(ds->locate({ "MeterID", " TakeTime" }, { QStringLiteral("ab2"), QDate(2024, 3, 2) }));
    QCOMPARE(ds->recNo(), 2);
    QVERIFY(ds->locate({ "MeterID", "TakeTime" }, { QStringLiteral("AB1"), QStringLiteral("2024-03-01") }));
    QCOMPARE(ds->recNo(), 0);
    QVERIFY(!ds->locate({ "MeterID", "TakeTime" }, { QStringLiteral("ab1"), QDate(2024, 3, 2) }, Qt::CaseSensitive));
    QVERIFY(!ds->locate({ "MeterID" }, { QStringLiteral("ab1") }, Qt::CaseSensitive));
    QCOMPARE(ds->recNo(), 0);
}

void TstDataSet::lookupFieldsFollowTheirList()
{
    DataSet *sorts = newSet(QStringLiteral("select * from MeterSort where MeterSortID = :id"), {}, {});
    sorts->setParam(QStringLiteral("id"), 1);
    DataSet *prices = newSet(QStringLiteral("select * from Price"), QStringLiteral("Price"), { "PriceID" });
    prices->addLookupField(QStringLiteral("MeterSortName"), QStringLiteral("MeterSortID"), sorts,
                           QStringLiteral("MeterSortID"), QStringLiteral("MeterSortName"));
    prices->open();
    QVERIFY(prices->field("MeterSortName").lookup);
    QVERIFY(prices->value("MeterSortName").isNull());     // the list is not open yet
    sorts->open();
    QCOMPARE(prices->asString("MeterSortName"), QStringLiteral("水表"));
    QSignalSpy changed(prices, &DataSet::rowChanged);
    sorts->close();
    sorts->setParam(QStringLiteral("id"), 2);
    sorts->open();
    QVERIFY(!changed.isEmpty());
    QVERIFY(prices->value("MeterSortName").isNull());     // the key is not in the list now
    prices->edit();
    QVERIFY_THROWS_EXCEPTION(DatabaseError, prices->setValue("MeterSortName", QStringLiteral("x")));
    prices->setValue("MeterSortID", 2);
    QCOMPARE(prices->asString("MeterSortName"), QStringLiteral("电表"));
}

void TstDataSet::filterLimitsNavigation()
{
    t->addWorkshop(QStringLiteral("一部"), 1, 1);
    const qint64 shop = t->addWorkshop(QStringLiteral("一车间"), 2, 2);
    t->addWorkshop(QStringLiteral("甲班"), 3, shop);
    t->addWorkshop(QStringLiteral("乙班"), 3, shop);
    DataSet *ds = newSet(QStringLiteral("select * from Workshop"), QStringLiteral("Workshop"), { "WrokShopID" });
    ds->open();
    QCOMPARE(ds->recordCount(), 5);
    ds->setFilter([shop](const DataSet &d, int row) {
        return d.rowValue(row, "WorkShopLevel").toInt() == 3 && d.rowValue(row, "ResideWorkShopID").toLongLong() == shop;
    });
    ds->setFiltered(true);
    QCOMPARE(ds->recordCount(), 2);
    QCOMPARE(ds->asString("WrokShopName"), QStringLiteral("甲班"));
    ds->setFiltered(false);
    QCOMPARE(ds->recordCount(), 5);
}

void TstDataSet::editorsWriteTheirTextOnPost()
{
    DataSet *ds = newSet(QStringLiteral("select * from MeterSort"), QStringLiteral("MeterSort"), { "MeterSortID" });
    ds->open();
    QString typed = QStringLiteral("新名称");
    bool dirty = true;
    QObject editor;
    ds->addEditor(&editor, [&] {
        if (dirty)
            ds->setValue("MeterSortName", typed);
        dirty = false;
    });
    ds->edit();
    ds->post();
    QCOMPARE(t->scalar(QStringLiteral("SELECT MeterSortName FROM MeterSort WHERE MeterSortID = 1")).toString(), typed);
}

void TstDataSet::refreshStaysOnTheRow()
{
    DataSet *ds = newSet(QStringLiteral("select * from MeterSort"), QStringLiteral("MeterSort"), { "MeterSortID" });
    ds->open();
    ds->last();
    execSql(t->db(), QStringLiteral("INSERT INTO MeterSort (MeterSortID, MeterSortName) VALUES (0, '零')"));
    ds->refresh();
    QCOMPARE(ds->recordCount(), 3);
    QCOMPARE(ds->asString("MeterSortName"), QStringLiteral("电表"));
}

QTEST_GUILESS_MAIN(TstDataSet)
#include "tst_DataSet.moc"
