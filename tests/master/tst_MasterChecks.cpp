// The checks of meter types and unit prices on post and on delete, on sets like the windows'.
#include "DataSet.h"
#include "Database.h"
#include "MasterChecks.h"
#include "MessageRecorder.h"
#include "TestDatabase.h"
#include "UCommon.h"

#include <QtTest>
#include <memory>

namespace {

QString box(const QString &text)
{
    return QStringLiteral("错误提示|%1|information|Ok").arg(text);
}

}

class TstMasterChecks : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void sortPost_data();
    void sortPost();
    void sortDelete_data();
    void sortDelete();
    void pricePost_data();
    void pricePost();
    void priceTypeFollowsItsMeters_data();
    void priceTypeFollowsItsMeters();
    void priceDelete_data();
    void priceDelete();

private:
    DataSet *openSet(const QString &sql, const QString &table, const QString &key)
    {
        auto *set = new DataSet(m_owner.get());
        set->setSql(sql);
        set->setUpdateTable(table, { key });
        KelvaraMg->BindQuery(set);
        set->open();
        return set;
    }
    DataSet *sorts()
    {
        DataSet *set = openSet(QStringLiteral("select * from MeterSort"), QStringLiteral("MeterSort"),
                               QStringLiteral("MeterSortID"));
        MasterChecks::installSortChecks(set);
        return set;
    }
    DataSet *prices()
    {
        DataSet *set = openSet(QStringLiteral("select * from price"), QStringLiteral("Price"), QStringLiteral("PriceID"));
        MasterChecks::installPriceChecks(set);
        return set;
    }

    std::unique_ptr<TestDatabase> m_db;
    std::unique_ptr<TKelvaraMg> m_mg;
    std::unique_ptr<MessageRecorder> m_rec;
    std::unique_ptr<QObject> m_owner;
    qint64 m_water = 0, m_power = 0, m_spare = 0;
    qint64 m_used = 0, m_unused = 0;
};

void TstMasterChecks::init()
{
    m_db = std::make_unique<TestDatabase>();
    m_mg = std::make_unique<TKelvaraMg>();
    KelvaraMg = m_mg.get();
    m_rec = std::make_unique<MessageRecorder>();
    m_owner = std::make_unique<QObject>();
    TestDatabase &t = *m_db;
    t.setUsingUnit(QStringLiteral("厂"), QStringLiteral("pw"));
    const qint64 shop = t.addWorkshop(QStringLiteral("一车间"), 2, t.addWorkshop(QStringLiteral("生产部"), 1, 1));
    m_water = t.addMeterSort(QStringLiteral("水表"));   // a price and a meter
    m_power = t.addMeterSort(QStringLiteral("电表"));   // a price only
    m_spare = t.addMeterSort(QStringLiteral("气表"));   // nothing
    m_used = t.addPrice(QStringLiteral("生产用水"), yuan("2.5"), yuan("3.75"), m_water);
    m_unused = t.addPrice(QStringLiteral("生产用电"), yuan("0.65"), yuan("0.98"), m_power);
    t.addMeter({ QStringLiteral("W1"), m_water, m_used, shop, QVariant() });
}

void TstMasterChecks::cleanup()
{
    m_owner.reset();
    m_rec.reset();
    KelvaraMg = nullptr;
    m_mg.reset();
    m_db.reset();
}

void TstMasterChecks::sortPost_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("boxes");
    QTest::newRow("named") << "燃气表" << QStringList{};
    QTest::newRow("apostrophe and SQL") << "1'; DROP TABLE Meter;--" << QStringList{};
    QTest::newRow("no name") << "" << QStringList{ box(QStringLiteral("类型名称不能为空！")) };
    QTest::newRow("blank name") << "  \t " << QStringList{ box(QStringLiteral("类型名称不能为空！")) };
}

void TstMasterChecks::sortPost()
{
    QFETCH(QString, name);
    QFETCH(QStringList, boxes);
    DataSet *set = sorts();
    set->append();
    set->setValue(QStringLiteral("MeterSortName"), name);
    set->setValue(QStringLiteral("MeterSortMemo"), QStringLiteral("说明"));
    if (boxes.isEmpty()) {
        set->post();
        QCOMPARE(m_db->scalar(QStringLiteral("SELECT MeterSortName FROM MeterSort WHERE MeterSortID = ?"),
                              { set->value(QStringLiteral("MeterSortID")) })
                     .toString(),
                 name);
        QCOMPARE(m_db->count(QStringLiteral("Meter")), 1);
    } else {
        QVERIFY_THROWS_EXCEPTION(AbortError, set->post());
        QCOMPARE(set->state(), DataSet::Insert);
        QCOMPARE(m_db->count(QStringLiteral("MeterSort")), 3);
    }
    QCOMPARE(m_rec->summaries(), boxes);
}

void TstMasterChecks::sortDelete_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("boxes");
    QTest::addColumn<QString>("left");
    const QString used = box(QStringLiteral("该类型已被使用，不能删除！"));
    QTest::newRow("named by a price and a meter") << "水表" << QStringList{ used } << "水表 电表 气表";
    QTest::newRow("named by a price") << "电表" << QStringList{ used } << "水表 电表 气表";
    QTest::newRow("named by nothing") << "气表" << QStringList{} << "水表 电表";
}

void TstMasterChecks::sortDelete()
{
    QFETCH(QString, name);
    QFETCH(QStringList, boxes);
    DataSet *set = sorts();
    QVERIFY(set->locate({ QStringLiteral("MeterSortName") }, { name }));
    if (boxes.isEmpty())
        set->remove();
    else
        QVERIFY_THROWS_EXCEPTION(AbortError, set->remove());
    QCOMPARE(m_rec->summaries(), boxes);
    QTEST(m_db->scalar(QStringLiteral("SELECT group_concat(MeterSortName, ' ') FROM (SELECT * FROM MeterSort ORDER BY MeterSortID)")).toString(), "left");
}

void TstMasterChecks::pricePost_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QVariant>("sort");       // "water", "missing" or null
    QTest::addColumn<QString>("price");
    QTest::addColumn<QString>("exceed");
    QTest::addColumn<QString>("message");     // empty: stored
    QTest::addColumn<QString>("stored");      // PriceNumber/ExceedPrice in ten-thousandths
    const QVariant water("water"), none;
    QTest::newRow("four decimals") << "生活用水" << water << "1.2345" << "0.0001" << "" << "12345/1";
    QTest::newRow("zero prices") << "免费" << water << "0" << "0" << "" << "0/0";
    QTest::newRow("no price beyond the quota") << "生活用水" << water << "1.8" << "" << "" << "18000/";
    QTest::newRow("quotes and semicolons") << "a'b\"c;--" << water << "1" << "2" << "" << "10000/20000";
    QTest::newRow("no name") << "" << water << "1" << "2" << "单价名称不能为空！" << "";
    QTest::newRow("blank name") << "   " << water << "1" << "2" << "单价名称不能为空！" << "";
    QTest::newRow("no type") << "生活用水" << none << "1" << "2" << "请选择表类型！" << "";
    QTest::newRow("type not stored") << "生活用水" << QVariant("missing") << "1" << "2" << "请选择表类型！" << "";
    QTest::newRow("negative price") << "生活用水" << water << "-0.0001" << "2" << "数值超出范围：单价" << "";
    QTest::newRow("no price") << "生活用水" << water << "" << "2" << "数值超出范围：单价" << "";
    QTest::newRow("negative price beyond") << "生活用水" << water << "1" << "-1" << "数值超出范围：超出部分单价" << "";
}

void TstMasterChecks::pricePost()
{
    QFETCH(QString, name);
    QFETCH(QVariant, sort);
    QFETCH(QString, price);
    QFETCH(QString, exceed);
    QFETCH(QString, message);
    QFETCH(QString, stored);
    DataSet *set = prices();
    set->append();
    set->setValue(QStringLiteral("PriceName"), name);
    set->setValue(QStringLiteral("MeterSortID"),
                  sort.isNull() ? QVariant() : sort.toString() == u"water" ? QVariant(m_water) : QVariant(999));
    set->setValue(QStringLiteral("PriceNumber"), price);
    set->setValue(QStringLiteral("ExceedPrice"), exceed);
    if (!message.isEmpty()) {
        QVERIFY_THROWS_EXCEPTION(AbortError, set->post());
        QCOMPARE(m_rec->summaries(), QStringList{ box(message) });
        QCOMPARE(set->state(), DataSet::Insert);
        QCOMPARE(m_db->count(QStringLiteral("Price")), 2);
        return;
    }
    set->post();
    QVERIFY(m_rec->boxes().isEmpty());
    QCOMPARE(m_db->scalar(QStringLiteral("SELECT PriceName || '|' || PriceNumber || '/' || coalesce(ExceedPrice, '') "
                                         "FROM Price WHERE PriceID = ?"),
                          { set->value(QStringLiteral("PriceID")) })
                 .toString(),
             name + u'|' + stored);
}

void TstMasterChecks::priceTypeFollowsItsMeters_data()
{
    QTest::addColumn<bool>("used");
    QTest::addColumn<QStringList>("boxes");
    QTest::newRow("applied by a meter") << true << QStringList{ box(QStringLiteral("执行单价与表类型不符！")) };
    QTest::newRow("applied by none") << false << QStringList{};
}

void TstMasterChecks::priceTypeFollowsItsMeters()
{
    QFETCH(bool, used);
    QFETCH(QStringList, boxes);
    DataSet *set = prices();
    const qint64 id = used ? m_used : m_unused;
    QVERIFY(set->locate({ QStringLiteral("PriceID") }, { id }));
    set->edit();
    set->setValue(QStringLiteral("MeterSortID"), m_spare);
    if (boxes.isEmpty())
        set->post();
    else
        QVERIFY_THROWS_EXCEPTION(AbortError, set->post());
    QCOMPARE(m_rec->summaries(), boxes);
    QCOMPARE(m_db->scalar(QStringLiteral("SELECT MeterSortID FROM Price WHERE PriceID = ?"), { id }).toLongLong(),
             boxes.isEmpty() ? m_spare : m_water);
}

void TstMasterChecks::priceDelete_data()
{
    QTest::addColumn<bool>("used");
    QTest::addColumn<QStringList>("boxes");
    QTest::addColumn<QString>("left");
    QTest::newRow("named by a meter") << true << QStringList{ box(QStringLiteral("该单价已被使用，不能删除！")) }
                                      << "生产用水 生产用电";
    QTest::newRow("named by nothing") << false << QStringList{} << "生产用水";
}

void TstMasterChecks::priceDelete()
{
    QFETCH(bool, used);
    QFETCH(QStringList, boxes);
    DataSet *set = prices();
    QVERIFY(set->locate({ QStringLiteral("PriceID") }, { used ? m_used : m_unused }));
    if (boxes.isEmpty())
        set->remove();
    else
        QVERIFY_THROWS_EXCEPTION(AbortError, set->remove());
    QCOMPARE(m_rec->summaries(), boxes);
    QTEST(m_db->scalar(QStringLiteral("SELECT group_concat(PriceName, ' ') FROM (SELECT * FROM Price ORDER BY PriceID)")).toString(), "left");
}

QTEST_GUILESS_MAIN(TstMasterChecks)
#include "tst_MasterChecks.moc"
