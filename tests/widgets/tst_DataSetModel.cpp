// The grid's data source: columns by field, display texts, alignment, the row indicator,
// following the DataSet's changes, and writing cells into the edited row.
#include "DataSetModel.h"
#include "Database.h"
#include "TestDatabase.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QtTest>

class TstDataSetModel : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void displayTexts_data();
    void displayTexts();
    void alignmentAndTitles();
    void lookupColumnFollowsItsList();
    void indicatorFollowsStateAndRow();
    void followsRowChangesConsistently();
    void newRecordHookDoesNotConfuseViews();
    void editableCells();
    void setCellTextEditsTheRow();
    void setCellTextRefusesBadValues();
    void missingFieldShowsEmpty();

private:
    DataSet *newSet(const QString &sql, const QString &table, const QStringList &keys);
    std::unique_ptr<TestDatabase> t;
    std::unique_ptr<QObject> owner;
    qint64 water = 0;
    qint64 power = 0;
};

void TstDataSetModel::init()
{
    t = std::make_unique<TestDatabase>();
    owner = std::make_unique<QObject>();
    t->setUsingUnit(QStringLiteral("厂"), QStringLiteral("pw"));
    water = t->addMeterSort(QStringLiteral("水表"));
    power = t->addMeterSort(QStringLiteral("电表"));
    const qint64 price = t->addPrice(QStringLiteral("生产"), yuan("0.8525"), yuan("2.4"), water);
    MeterSpec m;
    m.number = QStringLiteral("1001");
    m.sort = water;
    m.price = price;
    t->addMeter(m);
    t->addReading(QStringLiteral("1001"), QDate(2024, 3, 5), 1200, 200, yuan("27.5"), yuan("0.125"));
    t->addReading(QStringLiteral("1001"), QDate(2024, 3, 6), 1300, 100, yuan("-0.125"), yuan("0"));
}

void TstDataSetModel::cleanup()
{
    QLocale::setDefault(QLocale::c());
    owner.reset();
    t.reset();
}

DataSet *TstDataSetModel::newSet(const QString &sql, const QString &table, const QStringList &keys)
{
    auto *ds = new DataSet(owner.get());
    ds->setConnectionName(Database::mainConnectionName());
    ds->setSql(sql);
    if (!table.isEmpty())
        ds->setUpdateTable(table, keys);
    return ds;
}

void TstDataSetModel::displayTexts_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("field");
    QTest::addColumn<int>("decimals");
    QTest::addColumn<QString>("text");
    QTest::newRow("charge two decimals") << 0 << "Charge" << 2 << "27.50";
    QTest::newRow("half rounded away from zero") << 0 << "QuotaCharge" << 2 << "0.13";
    QTest::newRow("negative half") << 1 << "Charge" << 2 << "-0.13";
    QTest::newRow("amount four decimals") << 0 << "Charge" << 4 << "27.5000";
    QTest::newRow("integer plain") << 0 << "TakeNumber" << 2 << "1200";
    QTest::newRow("date short form") << 0 << "TakeTime" << 2 << "2024/3/5";
}

void TstDataSetModel::displayTexts()
{
    QFETCH(int, row);
    QFETCH(QString, field);
    QFETCH(int, decimals);
    QFETCH(QString, text);
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
    DataSet *ds = newSet(QStringLiteral("select * from TakeMeter order by TakeTime"), QStringLiteral("TakeMeter"),
                         { "MeterID", "TakeTime" });
    ds->open();
    DataSetModel model;
    model.setDataSet(ds);
    const int column = model.addColumn(field, QStringLiteral("title"));
    model.setColumnDecimals(column, decimals);
    QCOMPARE(model.rowCount(), 2);
    QCOMPARE(model.data(model.index(row, column)).toString(), text);
}

void TstDataSetModel::alignmentAndTitles()
{
    DataSet *ds = newSet(QStringLiteral("select * from Price"), QStringLiteral("Price"), { "PriceID" });
    ds->open();
    DataSetModel model;
    model.setDataSet(ds);
    model.addColumn(QStringLiteral("PriceName"), QStringLiteral("单价名称"));
    model.addColumn(QStringLiteral("PriceNumber"), QStringLiteral("单价"));
    model.addColumn(QStringLiteral("PriceID"), QStringLiteral("单价ID"));
    model.setColumnDecimals(1, 4);
    QCOMPARE(model.data(model.index(0, 1)).toString(), QStringLiteral("0.8525"));
    QCOMPARE(model.data(model.index(0, 1), Qt::EditRole).toString(), QStringLiteral("0.8525"));
    QCOMPARE(model.headerData(0, Qt::Horizontal).toString(), QStringLiteral("单价名称"));
    auto alignment = [&](int column) {
        return model.data(model.index(0, column), Qt::TextAlignmentRole).value<Qt::Alignment>()
               & Qt::AlignHorizontal_Mask;
    };
    QCOMPARE(alignment(0), Qt::AlignLeft);
    QCOMPARE(alignment(1), Qt::AlignRight);
    QCOMPARE(alignment(2), Qt::AlignRight);
    model.setColumnAlignment(0, Qt::AlignCenter);
    QCOMPARE(alignment(0), Qt::AlignHCenter);
    auto titleAlignment = [&](int column) {
        return model.headerData(column, Qt::Horizontal, Qt::TextAlignmentRole).value<Qt::Alignment>()
               & Qt::AlignHorizontal_Mask;
    };
    QCOMPARE(titleAlignment(1), Qt::AlignHCenter);
    model.setTitleAlignment(1, Qt::AlignLeft);
    QCOMPARE(titleAlignment(1), Qt::AlignLeft);
}

void TstDataSetModel::lookupColumnFollowsItsList()
{
    DataSet *sorts = newSet(QStringLiteral("select * from MeterSort where MeterSortID = :id"), {}, {});
    sorts->setParam(QStringLiteral("id"), power);
    DataSet *prices = newSet(QStringLiteral("select * from Price"), QStringLiteral("Price"), { "PriceID" });
    prices->addLookupField(QStringLiteral("MeterSortName"), QStringLiteral("MeterSortID"), sorts,
                           QStringLiteral("MeterSortID"), QStringLiteral("MeterSortName"));
    sorts->open();
    prices->open();
    DataSetModel model;
    model.setDataSet(prices);
    model.addColumn(QStringLiteral("MeterSortName"), QStringLiteral("所属表类型"));
    QCOMPARE(model.data(model.index(0, 0)).toString(), QString());
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    sorts->close();
    sorts->setParam(QStringLiteral("id"), water);
    sorts->open();
    QVERIFY(!changed.isEmpty());
    QCOMPARE(model.data(model.index(0, 0)).toString(), QStringLiteral("水表"));
}

void TstDataSetModel::indicatorFollowsStateAndRow()
{
    DataSet *ds = newSet(QStringLiteral("select * from MeterSort"), QStringLiteral("MeterSort"), { "MeterSortID" });
    DataSetModel model;
    model.setDataSet(ds);
    model.addColumn(QStringLiteral("MeterSortName"), QStringLiteral("类型名称"));
    auto indicators = [&] {
        QList<int> list;
        for (int row = 0; row < model.rowCount(); ++row)
            list << model.headerData(row, Qt::Vertical, DataSetModel::IndicatorRole).toInt();
        return list;
    };
    QCOMPARE(model.rowCount(), 0);
    ds->open();
    QCOMPARE(indicators(), QList<int>({ DataSetModel::CurrentRow, DataSetModel::NoIndicator }));
    QSignalSpy headers(&model, &QAbstractItemModel::headerDataChanged);
    QSignalSpy current(&model, &DataSetModel::currentRowChanged);
    ds->next();
    QCOMPARE(indicators(), QList<int>({ DataSetModel::NoIndicator, DataSetModel::CurrentRow }));
    QCOMPARE(current.count(), 1);
    QCOMPARE(current.last().at(0).toInt(), 1);
    QVERIFY(headers.count() >= 2);
    ds->edit();
    QCOMPARE(indicators(), QList<int>({ DataSetModel::NoIndicator, DataSetModel::EditingRow }));
    ds->cancel();
    ds->append();
    QCOMPARE(indicators(),
             QList<int>({ DataSetModel::NoIndicator, DataSetModel::NoIndicator, DataSetModel::InsertingRow }));
    // Rows carry no numbers: the indicator is the vertical header's only content.
    QVERIFY(!model.headerData(0, Qt::Vertical, Qt::DisplayRole).isValid());
}

void TstDataSetModel::followsRowChangesConsistently()
{
    DataSet *ds = newSet(QStringLiteral("select * from MeterSort"), QStringLiteral("MeterSort"), { "MeterSortID" });
    DataSetModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.setDataSet(ds);
    model.addColumn(QStringLiteral("MeterSortID"), QStringLiteral("类型ID"));
    model.addColumn(QStringLiteral("MeterSortName"), QStringLiteral("类型名称"));
    ds->open();
    QCOMPARE(model.rowCount(), 2);
    ds->insert();
    QCOMPARE(model.rowCount(), 3);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    ds->setValue(QStringLiteral("MeterSortName"), QStringLiteral("气表"));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.last().at(0).value<QModelIndex>().row(), 0);
    QCOMPARE(model.data(model.index(0, 1)).toString(), QStringLiteral("气表"));
    ds->post();
    QCOMPARE(model.data(model.index(0, 0)).toString(), QStringLiteral("3"));   // the number the database gave
    ds->append();
    ds->cancel();
    QCOMPARE(model.rowCount(), 3);
    ds->first();
    ds->remove();
    QCOMPARE(model.rowCount(), 2);
    QCOMPARE(t->count(QStringLiteral("MeterSort")), 2);
    execSql(t->db(), QStringLiteral("INSERT INTO MeterSort (MeterSortName) VALUES ('煤气')"));
    ds->refresh();
    QCOMPARE(model.rowCount(), 3);
    ds->close();
    QCOMPARE(model.rowCount(), 0);
    QCOMPARE(model.data(model.index(0, 0)), QVariant());
}

void TstDataSetModel::newRecordHookDoesNotConfuseViews()
{
    DataSet *ds = newSet(QStringLiteral("select * from Meter"), QStringLiteral("Meter"), { "MeterNO" });
    ds->setOnNewRecord([ds] {
        ds->setValue(QStringLiteral("Multiple"), 1);
        ds->setValue(QStringLiteral("Quota"), QStringLiteral("0"));
    });
    DataSetModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.setDataSet(ds);
    model.addColumn(QStringLiteral("Multiple"), QStringLiteral("倍率"));
    ds->open();
    ds->append();
    QCOMPARE(model.rowCount(), 2);
    QCOMPARE(model.data(model.index(1, 0)).toString(), QStringLiteral("1"));
}

void TstDataSetModel::editableCells()
{
    DataSet *sorts = newSet(QStringLiteral("select * from MeterSort"), {}, {});
    DataSet *prices = newSet(QStringLiteral("select * from Price"), QStringLiteral("Price"), { "PriceID" });
    prices->addLookupField(QStringLiteral("MeterSortName"), QStringLiteral("MeterSortID"), sorts,
                           QStringLiteral("MeterSortID"), QStringLiteral("MeterSortName"));
    sorts->open();
    prices->open();
    DataSetModel model;
    model.setDataSet(prices);
    model.addColumn(QStringLiteral("PriceName"), {});
    model.addColumn(QStringLiteral("PriceID"), {});
    model.addColumn(QStringLiteral("MeterSortName"), {});
    QVERIFY(model.flags(model.index(0, 0)).testFlag(Qt::ItemIsEditable));
    QVERIFY(!model.flags(model.index(0, 1)).testFlag(Qt::ItemIsEditable));   // numbered by the database
    QVERIFY(!model.flags(model.index(0, 2)).testFlag(Qt::ItemIsEditable));   // looked up
    prices->setReadOnly(true);
    QVERIFY(!model.flags(model.index(0, 0)).testFlag(Qt::ItemIsEditable));
    QVERIFY(model.flags(model.index(0, 0)).testFlag(Qt::ItemIsSelectable));
}

void TstDataSetModel::setCellTextEditsTheRow()
{
    DataSet *ds = newSet(QStringLiteral("select * from TakeMeter order by TakeTime"), QStringLiteral("TakeMeter"),
                         { "MeterID", "TakeTime" });
    ds->open();
    DataSetModel model;
    model.setDataSet(ds);
    model.addColumn(QStringLiteral("TakeNumber"), {});
    model.addColumn(QStringLiteral("Charge"), {});
    // An unchanged cell does not start an edit.
    model.setCellText(1, 0, QStringLiteral("1300"));
    QCOMPARE(ds->recNo(), 1);
    QCOMPARE(ds->state(), DataSet::Browse);
    model.setCellText(1, 1, QStringLiteral("12.3456"));
    QCOMPARE(ds->state(), DataSet::Edit);
    QCOMPARE(ds->asCurrency(QStringLiteral("Charge")), yuan("12.3456"));
    QVERIFY(model.setData(model.index(1, 0), QStringLiteral("1310")));
    ds->post();
    QCOMPARE(t->scalar(QStringLiteral("SELECT TakeNumber FROM TakeMeter WHERE TakeTime = '2024-03-06'")).toInt(), 1310);
    QCOMPARE(t->scalar(QStringLiteral("SELECT Charge FROM TakeMeter WHERE TakeTime = '2024-03-06'")).toLongLong(),
             yuan("12.3456").units());
}

void TstDataSetModel::setCellTextRefusesBadValues()
{
    DataSet *ds = newSet(QStringLiteral("select * from TakeMeter order by TakeTime"), QStringLiteral("TakeMeter"),
                         { "MeterID", "TakeTime" });
    ds->open();
    DataSetModel model;
    model.setDataSet(ds);
    model.addColumn(QStringLiteral("TakeNumber"), {});
    model.addColumn(QStringLiteral("Charge"), {});
    try {
        model.setCellText(0, 0, QStringLiteral("12a"));
        QFAIL("a letter in an integer was accepted");
    } catch (const DatabaseError &e) {
        QVERIFY2(e.text().contains(QStringLiteral("12a")), qPrintable(e.text()));
    }
    QCOMPARE(ds->state(), DataSet::Browse);
    QVERIFY_THROWS_EXCEPTION(DatabaseError, model.setCellText(0, 1, QStringLiteral("0.00001")));
    QVERIFY(!model.setData(model.index(0, 0), QStringLiteral("x")));
    QCOMPARE(ds->asInteger(QStringLiteral("TakeNumber")), qint64(1200));
}

void TstDataSetModel::missingFieldShowsEmpty()
{
    DataSet *ds = newSet(QStringLiteral("select * from MeterSort"), QStringLiteral("MeterSort"), { "MeterSortID" });
    ds->open();
    DataSetModel model;
    model.setDataSet(ds);
    model.addColumn(QStringLiteral("NoSuchField"), QStringLiteral("无"));
    QCOMPARE(model.fieldIndex(0), -1);
    QCOMPARE(model.data(model.index(0, 0)).toString(), QString());
    QVERIFY(!model.flags(model.index(0, 0)).testFlag(Qt::ItemIsEditable));
    QVERIFY_THROWS_EXCEPTION(DatabaseError, model.setCellText(0, 0, QStringLiteral("x")));
}

QTEST_MAIN(TstDataSetModel)
#include "tst_DataSetModel.moc"
