// The meter register's core without a window: names of every meter's type, workshop, price and
// team, lists that follow the current meter, the checks on post and delete, and numbers that
// carry their readings along.
#include "DataSet.h"
#include "Database.h"
#include "MessageRecorder.h"
#include "MeterRegister.h"
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

class TstMeterRegister : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void lookupsForEveryRow();
    void listsFollowTheRow();
    void newMeterDefaults();
    void postChecks_data();
    void postChecks();
    void editChecksTheOtherMeters_data();
    void editChecksTheOtherMeters();
    void numberChangeCarriesReadings_data();
    void numberChangeCarriesReadings();
    void numberChangeInAnEarlierVersionOpenedWhileLocked();
    void numbersCompareAsKeys();
    void deleteRefusedWithReadings();
    void teamAbove16Bits();

private:
    // The stored ids by name, and "@name" in a data row for the id of name.
    QVariant resolve(const QVariant &value) const
    {
        const QString s = value.toString();
        if (value.metaType().id() == QMetaType::QString && s.startsWith(u'@'))
            return m_id.value(s.mid(1));
        return value;
    }
    QStringList column(DataSet *set, const QString &field) const
    {
        QStringList out;
        const int f = set->fieldIndex(field);
        for (int pos = 0; pos < set->recordCount(); ++pos)
            out << set->valueAt(pos, f).toString();
        return out;
    }
    // A complete, valid new meter N1 of 水表 / 生产用水 / 一车间 / 车工班.
    void insertValidMeter()
    {
        DataSet *m = m_reg->adoMeter;
        m->append();
        m->setValue(QStringLiteral("MeterNO"), QStringLiteral("N1"));
        m->setValue(QStringLiteral("MeterSort"), m_id["水表"]);
        m->setValue(QStringLiteral("PriceID"), m_id["生产用水"]);
        m->setValue(QStringLiteral("WorkShopID"), m_id["一车间"]);
        m->setValue(QStringLiteral("SubWorkShopID"), m_id["车工班"]);
        m->setValue(QStringLiteral("MaxBound"), 9999);
        m->setValue(QStringLiteral("BaseNumber"), 0);
    }

    std::unique_ptr<TestDatabase> m_db;
    std::unique_ptr<TKelvaraMg> m_mg;
    std::unique_ptr<MessageRecorder> m_rec;
    std::unique_ptr<MeterRegister> m_reg;
    QHash<QString, QVariant> m_id;
};

void TstMeterRegister::init()
{
    m_db = std::make_unique<TestDatabase>();
    m_mg = std::make_unique<TKelvaraMg>();
    KelvaraMg = m_mg.get();
    m_rec = std::make_unique<MessageRecorder>();
    TestDatabase &t = *m_db;
    t.setUsingUnit(QStringLiteral("厂"), QStringLiteral("pw"));
    m_id["生产部"] = t.addWorkshop(QStringLiteral("生产部"), 1, 1);
    m_id["一车间"] = t.addWorkshop(QStringLiteral("一车间"), 2, m_id["生产部"].toLongLong());
    m_id["二车间"] = t.addWorkshop(QStringLiteral("二车间"), 2, m_id["生产部"].toLongLong());
    m_id["车工班"] = t.addWorkshop(QStringLiteral("车工班"), 3, m_id["一车间"].toLongLong());
    m_id["装配班"] = t.addWorkshop(QStringLiteral("装配班"), 3, m_id["二车间"].toLongLong());
    m_id["水表"] = t.addMeterSort(QStringLiteral("水表"));
    m_id["电表"] = t.addMeterSort(QStringLiteral("电表"));
    m_id["生产用水"] = t.addPrice(QStringLiteral("生产用水"), yuan("2.5"), yuan("3.75"), m_id["水表"]);
    m_id["生活用水"] = t.addPrice(QStringLiteral("生活用水"), yuan("1.8"), yuan("0"), m_id["水表"]);
    m_id["生产用电"] = t.addPrice(QStringLiteral("生产用电"), yuan("0.65"), yuan("0.98"), m_id["电表"]);
    t.addMeter({ QStringLiteral("W1"), m_id["水表"], m_id["生产用水"], m_id["一车间"], m_id["车工班"] });
    t.addMeter({ QStringLiteral("E1"), m_id["电表"], m_id["生产用电"], m_id["二车间"], m_id["装配班"] });
    t.addMeter({ QStringLiteral("W2"), m_id["水表"], m_id["生活用水"], m_id["二车间"], QVariant() });
    m_reg = std::make_unique<MeterRegister>();
    m_reg->open();
}

void TstMeterRegister::cleanup()
{
    m_reg.reset();
    m_rec.reset();
    KelvaraMg = nullptr;
    m_mg.reset();
    m_db.reset();
}

void TstMeterRegister::lookupsForEveryRow()
{
    DataSet *m = m_reg->adoMeter;
    QStringList rows;
    for (int pos = 0; pos < m->recordCount(); ++pos) {
        QStringList cells;
        for (const char *f : { "MeterNO", "SortName", "SubPrice", "SubWorkShop", "SubsubWorkShop" })
            cells << m->valueAt(pos, m->fieldIndex(QString::fromLatin1(f))).toString();
        rows << cells.join(u' ');
    }
    QCOMPARE(rows, QStringList({ "W1 水表 生产用水 一车间 车工班", "E1 电表 生产用电 二车间 装配班",
                                 "W2 水表 生活用水 二车间 " }));
}

void TstMeterRegister::listsFollowTheRow()
{
    DataSet *m = m_reg->adoMeter;
    const auto lists = [&] {
        return column(m_reg->ADOQuery3, QStringLiteral("PriceName")).join(u',') + u'|'
            + column(m_reg->ADOQuery4, QStringLiteral("WrokShopName")).join(u',');
    };
    QCOMPARE(lists(), QStringLiteral("生产用水,生活用水|车工班"));
    m->next();
    QCOMPARE(lists(), QStringLiteral("生产用电|装配班"));
    m->next();
    QCOMPARE(lists(), QStringLiteral("生产用水,生活用水|装配班"));

    // Changing the type or the workshop of the row refills at once; the names in the grid stay.
    m->first();
    m->edit();
    m->setValue(QStringLiteral("MeterSort"), m_id["电表"]);
    QCOMPARE(lists(), QStringLiteral("生产用电|车工班"));
    m->setValue(QStringLiteral("WorkShopID"), m_id["二车间"]);
    QCOMPARE(lists(), QStringLiteral("生产用电|装配班"));
    QCOMPARE(m->value(QStringLiteral("SubPrice")).toString(), QStringLiteral("生产用水"));
    m->cancel();
    QCOMPARE(lists(), QStringLiteral("生产用水,生活用水|车工班"));

    // A new meter has neither type nor workshop yet.
    m->append();
    QCOMPARE(lists(), QStringLiteral("|"));
    QVERIFY(m_rec->boxes().isEmpty());
}

void TstMeterRegister::newMeterDefaults()
{
    DataSet *m = m_reg->adoMeter;
    m->append();
    QCOMPARE(m->value(QStringLiteral("Multiple")), QVariant(qint64(1)));
    QCOMPARE(m->value(QStringLiteral("SubjoinNumber")), QVariant(qint64(0)));
    QCOMPARE(m->asCurrency(QStringLiteral("Quota")), Currency());
    QVERIFY(!m->isNull(QStringLiteral("Quota")));
    QCOMPARE(m->value(QStringLiteral("SetupDate")).toDateTime().date(), QDate::currentDate());
    QVERIFY(m->isNull(QStringLiteral("MaxBound")));
}

void TstMeterRegister::postChecks_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QString>("message");   // empty: stored
    const QVariant none;
    QTest::newRow("valid") << "FitPlace" << QVariant("泵房") << "";
    QTest::newRow("blank number") << "MeterNO" << QVariant("   ") << "表编号不能为空！";
    QTest::newRow("number of another meter in other case") << "MeterNO" << QVariant("w1") << "表编号已存在！";
    QTest::newRow("number of another meter with blanks") << "MeterNO" << QVariant(" W1\t") << "表编号已存在！";
    QTest::newRow("identifier beyond 32 bits") << "WorkShopID" << QVariant(qint64(3000000000)) << "请选择所属车间！";
    QTest::newRow("no type") << "MeterSort" << none << "请选择表类型！";
    QTest::newRow("type not stored") << "MeterSort" << QVariant(999) << "请选择表类型！";
    QTest::newRow("no price") << "PriceID" << none << "执行单价与表类型不符！";
    QTest::newRow("price of another type") << "PriceID" << QVariant("@生产用电") << "执行单价与表类型不符！";
    QTest::newRow("other price of the type") << "PriceID" << QVariant("@生活用水") << "";
    QTest::newRow("no workshop") << "WorkShopID" << none << "请选择所属车间！";
    QTest::newRow("unit as workshop") << "WorkShopID" << QVariant("@生产部") << "请选择所属车间！";
    QTest::newRow("team as workshop") << "WorkShopID" << QVariant("@车工班") << "请选择所属车间！";
    QTest::newRow("no team") << "SubWorkShopID" << none << "";
    QTest::newRow("team of another workshop") << "SubWorkShopID" << QVariant("@装配班") << "所属班组不属于所属车间！";
    QTest::newRow("workshop as team") << "SubWorkShopID" << QVariant("@一车间") << "所属班组不属于所属车间！";
    QTest::newRow("multiplier 0") << "Multiple" << QVariant(0) << "数值超出范围：倍率";
    QTest::newRow("no multiplier") << "Multiple" << none << "数值超出范围：倍率";
    QTest::newRow("maximum count 0") << "MaxBound" << QVariant(0) << "数值超出范围：最大计数";
    QTest::newRow("maximum count 1") << "MaxBound" << QVariant(1) << "";
    QTest::newRow("base count negative") << "BaseNumber" << QVariant(-1) << "数值超出范围：安装基数";
    QTest::newRow("base count at maximum") << "BaseNumber" << QVariant(9999) << "";
    QTest::newRow("base count above maximum") << "BaseNumber" << QVariant(10000) << "数值超出范围：安装基数";
    QTest::newRow("no base count") << "BaseNumber" << none << "数值超出范围：安装基数";
    QTest::newRow("quota negative") << "Quota" << QVariant("-0.0001") << "数值超出范围：费用定额";
    QTest::newRow("additional quantity negative") << "SubjoinNumber" << QVariant(-1) << "数值超出范围：附加数量";
    QTest::newRow("installation date 29 February") << "SetupDate" << QVariant("2024-02-29") << "";
}

void TstMeterRegister::postChecks()
{
    QFETCH(QString, field);
    QFETCH(QVariant, value);
    QFETCH(QString, message);
    insertValidMeter();
    DataSet *m = m_reg->adoMeter;
    m->setValue(field, resolve(value));
    const int before = m_db->count(QStringLiteral("Meter"));
    if (message.isEmpty()) {
        m->post();
        QCOMPARE(m->state(), DataSet::Browse);
        QCOMPARE(m_db->count(QStringLiteral("Meter")), before + 1);
        QVERIFY(m_rec->boxes().isEmpty());
        return;
    }
    QVERIFY_THROWS_EXCEPTION(AbortError, m->post());
    QCOMPARE(m_rec->summaries(), QStringList{ box(message) });
    // The row stays in editing for correction and nothing was written.
    QCOMPARE(m->state(), DataSet::Insert);
    QCOMPARE(m_db->count(QStringLiteral("Meter")), before);
}

void TstMeterRegister::editChecksTheOtherMeters_data()
{
    QTest::addColumn<QString>("number");
    QTest::addColumn<QString>("message");
    QTest::newRow("own number in other case") << "w1" << "";
    QTest::newRow("number of another meter") << "E1" << "表编号已存在！";
    QTest::newRow("new number") << "W3" << "";
}

void TstMeterRegister::editChecksTheOtherMeters()
{
    QFETCH(QString, number);
    QFETCH(QString, message);
    DataSet *m = m_reg->adoMeter;
    m->edit();
    m->setValue(QStringLiteral("MeterNO"), number);
    m->setValue(QStringLiteral("MaxBound"), 500);
    if (message.isEmpty()) {
        m->post();
        QCOMPARE(m_db->scalar(QStringLiteral("SELECT group_concat(MeterNO || '/' || MaxBound, ' ') FROM (SELECT * FROM Meter ORDER BY rowid)")).toString(),
                 number + QStringLiteral("/500 E1/9999 W2/9999"));
        return;
    }
    QVERIFY_THROWS_EXCEPTION(AbortError, m->post());
    QCOMPARE(m_rec->summaries(), QStringList{ box(message) });
    QCOMPARE(m->state(), DataSet::Edit);
}

void TstMeterRegister::numberChangeCarriesReadings_data()
{
    QTest::addColumn<QString>("number");
    QTest::newRow("new number") << "W9";
    QTest::newRow("case only") << "w1";
}

void TstMeterRegister::numberChangeCarriesReadings()
{
    QFETCH(QString, number);
    m_db->addReading(QStringLiteral("W1"), QDate(2024, 7, 1), 100, 100, yuan("250"), yuan("0"));
    m_db->addReading(QStringLiteral("W1"), QDate(2024, 7, 20), 180, 80, yuan("200"), yuan("0"));
    m_db->addReading(QStringLiteral("E1"), QDate(2024, 7, 1), 50, 50, yuan("30"), yuan("0"));
    execSql(m_db->db(), QStringLiteral("INSERT INTO ConfirmedPass (MeterID, PassDate, PassValue, PassFrom, PassFromDay) "
                                       "VALUES ('W1', '2024-07-20', 5, 190, '2024-07-01')"));
    DataSet *m = m_reg->adoMeter;
    m->edit();
    m->setValue(QStringLiteral("MeterNO"), number);
    m->post();
    QCOMPARE(m_db->scalar(QStringLiteral("SELECT group_concat(MeterID || ' ' || TakeTime, ', ') FROM "
                                         "(SELECT * FROM TakeMeter ORDER BY MeterID, TakeTime)"))
                 .toString(),
             QStringLiteral("E1 2024-07-01, %1 2024-07-01, %1 2024-07-20").arg(number));
    QCOMPARE(m_db->scalar(QStringLiteral("SELECT MeterID FROM ConfirmedPass")).toString(), number);
}

// A file of the previous version opened while another program writes to it: once the lock is
// gone a meter's new number is stored with its readings.
void TstMeterRegister::numberChangeInAnEarlierVersionOpenedWhileLocked()
{
    m_db->addReading(QStringLiteral("W1"), QDate(2024, 7, 1), 100, 100, yuan("250"), yuan("0"));
    m_reg.reset();
    m_db->makePreviousVersion();
    Database::setBusyTimeout(150);
    QSqlDatabase other = Database::open(m_db->path(), QStringLiteral("other"));
    execSql(other, QStringLiteral("BEGIN IMMEDIATE"));
    m_reg = std::make_unique<MeterRegister>();
    m_reg->open();
    execSql(other, QStringLiteral("ROLLBACK"));
    other = QSqlDatabase();
    Database::close(QStringLiteral("other"));
    Database::setBusyTimeout(5000);

    DataSet *m = m_reg->adoMeter;
    m->edit();
    m->setValue(QStringLiteral("MeterNO"), QStringLiteral("W9"));
    try {
        m->post();
    } catch (const DatabaseError &e) {
        QFAIL(qPrintable(QStringLiteral("new number not stored: ") + e.operatorText()));
    }
    QCOMPARE(m_rec->summaries(), QStringList());
    QCOMPARE(m_db->scalar(QStringLiteral("SELECT MeterID FROM TakeMeter")).toString(), QStringLiteral("W9"));
}

// Numbers are stored without blanks at either end and compare case-folded for every letter.
void TstMeterRegister::numbersCompareAsKeys()
{
    m_db->addMeter({ QStringLiteral("Ä1"), m_id["水表"], m_id["生产用水"], m_id["一车间"], m_id["车工班"] });
    DataSet *m = m_reg->adoMeter;
    insertValidMeter();
    m->setValue(QStringLiteral("MeterNO"), QStringLiteral("ä1"));
    QVERIFY_THROWS_EXCEPTION(AbortError, m->post());
    QCOMPARE(m_rec->summaries(), QStringList{ box(QStringLiteral("表编号已存在！")) });
    m->setValue(QStringLiteral("MeterNO"), QStringLiteral(" Z1\t"));
    m->post();
    QCOMPARE(m_db->scalar(QStringLiteral("SELECT count(*) FROM Meter WHERE MeterNO = 'Z1'")).toInt(), 1);
    QCOMPARE(m->asString(QStringLiteral("MeterNO")), QStringLiteral("Z1"));
}

void TstMeterRegister::deleteRefusedWithReadings()
{
    m_db->addReading(QStringLiteral("W1"), QDate(2024, 7, 1), 100, 100, yuan("250"), yuan("0"));
    DataSet *m = m_reg->adoMeter;
    QVERIFY_THROWS_EXCEPTION(AbortError, m->remove());
    QCOMPARE(m_rec->summaries(), QStringList{ box(QStringLiteral("该表已有抄表记录，不能删除！")) });
    QCOMPARE(m->recordCount(), 3);
    QCOMPARE(m_db->count(QStringLiteral("Meter")), 3);

    m->last();
    m->remove();
    QCOMPARE(m_db->scalar(QStringLiteral("SELECT group_concat(MeterNO, ' ') FROM (SELECT MeterNO FROM Meter ORDER BY rowid)")).toString(),
             QStringLiteral("W1 E1"));
    QCOMPARE(m_rec->boxes().size(), 1);
}

void TstMeterRegister::teamAbove16Bits()
{
    execSql(m_db->db(), QStringLiteral("INSERT INTO Workshop VALUES (40000, '钳工班', 3, '钳工班', ?)"),
            { m_id["一车间"] });
    m_reg->ADOQuery6->refresh();
    insertValidMeter();
    DataSet *m = m_reg->adoMeter;
    m->setValue(QStringLiteral("SubWorkShopID"), 40000);
    m->post();
    QCOMPARE(m_db->scalar(QStringLiteral("SELECT SubWorkShopID FROM Meter WHERE MeterNO = 'N1'")), QVariant(40000));
    QCOMPARE(m->value(QStringLiteral("SubsubWorkShop")).toString(), QStringLiteral("钳工班"));
    QVERIFY(m_rec->boxes().isEmpty());
}

QTEST_GUILESS_MAIN(TstMeterRegister)
#include "tst_MeterRegister.moc"
