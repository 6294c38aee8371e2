// The workshop tree's core without a window: the tree from parent links, adding by the level
// rules, renaming with any characters, deleting whole subtrees unless meters hang below.
#include "Database.h"
#include "TestDatabase.h"
#include "WorkshopTree.h"

#include <QtTest>
#include <memory>

using WorkshopTree::Outcome;
Q_DECLARE_METATYPE(Outcome)

class TstWorkshopTree : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup() { m_db.reset(); }
    void build_data();
    void build();
    void append_data();
    void append();
    void updateStoresAnyCharacters();
    void remove_data();
    void remove();
    void refusedStatementWritesNothing_data();
    void refusedStatementWritesNothing();

private:
    // Every stored row as "id name/memo level parent".
    QStringList stored() const
    {
        QSqlQuery q = execSql(m_db->db(), QStringLiteral("SELECT WrokShopID || ' ' || WrokShopName || '/' || WrokShopMemo "
                                                         "|| ' ' || WorkShopLevel || ' ' || ResideWorkShopID FROM Workshop "
                                                         "ORDER BY WrokShopID"));
        QStringList out;
        while (q.next())
            out << q.value(0).toString();
        return out;
    }
    TWorkShop record(qint64 id) const
    {
        QSqlQuery q = execSql(m_db->db(), WorkshopSql::selectOne(), { id });
        q.next();
        return { id, q.value(1).toString(), q.value(3).toString(), q.value(2).toInt(), q.value(4).toLongLong() };
    }

    std::unique_ptr<TestDatabase> m_db;
    // 厂 ─ 生产部 ─ 一车间 ─ 车工班, 铣工班; 二车间; 后勤部 ─ 动力车间
    QHash<QString, qint64> m_id;
};

void TstWorkshopTree::init()
{
    m_db = std::make_unique<TestDatabase>();
    m_db->setUsingUnit(QStringLiteral("厂"), QStringLiteral("pw"));
    m_id["root"] = 1;
    m_id["prod"] = m_db->addWorkshop(QStringLiteral("生产部"), 1, 1);
    m_id["shop1"] = m_db->addWorkshop(QStringLiteral("一车间"), 2, m_id["prod"]);
    m_id["lathe"] = m_db->addWorkshop(QStringLiteral("车工班"), 3, m_id["shop1"]);
    m_id["mill"] = m_db->addWorkshop(QStringLiteral("铣工班"), 3, m_id["shop1"]);
    m_id["shop2"] = m_db->addWorkshop(QStringLiteral("二车间"), 2, m_id["prod"]);
    m_id["back"] = m_db->addWorkshop(QStringLiteral("后勤部"), 1, 1);
    m_id["power"] = m_db->addWorkshop(QStringLiteral("动力车间"), 2, m_id["back"]);
}

void TstWorkshopTree::build_data()
{
    QTest::addColumn<QStringList>("rows");   // "id parent name"
    QTest::addColumn<QStringList>("tree");   // indented by depth
    QTest::newRow("each workshop under its own unit")
        << QStringList{ "1 0 厂", "2 1 甲部", "3 1 乙部", "4 2 甲车间", "5 3 乙车间", "6 4 甲班" }
        << QStringList{ "厂", " 甲部", "  甲车间", "   甲班", " 乙部", "  乙车间" };
    QTest::newRow("children by identifier, deeper than a team")
        << QStringList{ "9 1 丙部", "4 1 甲部", "6 4 二", "5 4 一", "7 5 班", "8 7 小组" }
        << QStringList{ "厂", " 甲部", "  一", "   班", "    小组", "  二", " 丙部" };
    QTest::newRow("orphans follow the root with their children")
        << QStringList{ "2 1 部", "3 77 孤车间", "4 3 孤班", "6 99 孤班二", "8 50 车间", "7 8 班" }
        << QStringList{ "厂", " 部", "孤车间", " 孤班", "孤班二", "车间", " 班" };
    QTest::newRow("a loop of parents is shown once")
        << QStringList{ "5 6 环甲", "6 5 环乙", "7 7 自指" } << QStringList{ "厂", "环甲", " 环乙", "自指" };
}

void TstWorkshopTree::build()
{
    QFETCH(QStringList, rows);
    QList<TWorkShop> records;
    for (const QString &r : rows)
        records.append({ r.section(u' ', 0, 0).toLongLong(), r.section(u' ', 2), r.section(u' ', 2) + u'*', 1,
                         r.section(u' ', 1, 1).toLongLong() });
    QStringList tree;
    const auto entries = WorkshopTree::build(WorkshopTree::rootRecord(QStringLiteral("厂")), records);
    for (const auto &e : entries) {
        QCOMPARE(e.depth, e.parent < 0 ? 0 : entries.at(e.parent).depth + 1);
        QCOMPARE(e.record.description, e.record.name + (e.parent < 0 && e.record.id == 1 ? "" : "*"));
        tree << QString(e.depth, u' ') + e.record.name;
    }
    QTEST(tree, "tree");
}

void TstWorkshopTree::append_data()
{
    QTest::addColumn<QString>("parent");
    QTest::addColumn<QString>("name");
    QTest::addColumn<Outcome>("outcome");
    QTest::addColumn<int>("level");
    QTest::newRow("under the root") << "root" << "质检部" << Outcome::Done << 1;
    QTest::newRow("under a unit") << "prod" << "三车间" << Outcome::Done << 2;
    QTest::newRow("under a workshop, quotes trimmed") << "shop1" << " O'Neil \"班\" " << Outcome::Done << 3;
    QTest::newRow("under a team") << "lathe" << "小组" << Outcome::BelowTeam << 0;
    QTest::newRow("parent gone") << "shop2" << "班" << Outcome::Missing << 0;
    QTest::newRow("blanks only") << "shop1" << " \t " << Outcome::Incomplete << 0;
}

void TstWorkshopTree::append()
{
    QFETCH(QString, parent);
    QFETCH(QString, name);
    QFETCH(Outcome, outcome);
    const TWorkShop p = parent == u"root" ? WorkshopTree::rootRecord(QStringLiteral("厂")) : record(m_id[parent]);
    if (outcome == Outcome::Missing)
        execSql(m_db->db(), QStringLiteral("DELETE FROM Workshop WHERE WrokShopID = ?"), { p.id });
    const QStringList before = stored();

    const auto r = WorkshopTree::append(m_db->db(), p, name, QStringLiteral(" 说明 "));
    QCOMPARE(r.outcome, outcome);
    if (outcome != Outcome::Done) {
        QCOMPARE(stored(), before);
        return;
    }
    QFETCH(int, level);
    QCOMPARE(r.record, (TWorkShop{ r.record.id, name.trimmed(), QStringLiteral("说明"), level, p.id }));
    QCOMPARE(record(r.record.id), r.record);
    QCOMPARE(stored(), before + QStringList{ QStringLiteral("%1 %2/说明 %3 %4").arg(r.record.id).arg(name.trimmed())
                                                 .arg(level).arg(p.id) });
}

void TstWorkshopTree::updateStoresAnyCharacters()
{
    const qint64 lathe = m_id["lathe"];
    auto r = WorkshopTree::update(m_db->db(), lathe, QStringLiteral(" O'Brien's 班 "), QStringLiteral("a\"b'); --"));
    QCOMPARE(r.outcome, Outcome::Done);
    QCOMPARE(r.record, (TWorkShop{ lathe, QStringLiteral("O'Brien's 班"), QStringLiteral("a\"b'); --"), 3, m_id["shop1"] }));
    QCOMPARE(record(lathe), r.record);

    const QStringList before = stored();
    QCOMPARE(WorkshopTree::update(m_db->db(), lathe, QStringLiteral("  "), QStringLiteral("x")).outcome,
             Outcome::Incomplete);
    QCOMPARE(WorkshopTree::update(m_db->db(), 4242, QStringLiteral("x"), QStringLiteral("y")).outcome,
             Outcome::Missing);
    // A rename from a window that read the unit before it was renamed elsewhere writes nothing.
    TWorkShop asRead = r.record;
    asRead.name = QStringLiteral("车工班");
    QCOMPARE(WorkshopTree::update(m_db->db(), lathe, QStringLiteral("新名"), QStringLiteral("x"), asRead).outcome,
             Outcome::Changed);
    QCOMPARE(WorkshopTree::update(m_db->db(), 4242, QStringLiteral("x"), QStringLiteral("y"), asRead).outcome,
             Outcome::Missing);
    QCOMPARE(stored(), before);
    QCOMPARE(WorkshopTree::update(m_db->db(), lathe, QStringLiteral("新名"), QStringLiteral("x"), r.record).outcome,
             Outcome::Done);

    // A change of case alone is a change another window did not see.
    const TWorkShop seen = record(lathe);
    QCOMPARE(WorkshopTree::update(m_db->db(), lathe, QStringLiteral("Lathe"), QStringLiteral("x"), seen).outcome,
             Outcome::Done);
    const TWorkShop stale = record(lathe);
    QCOMPARE(WorkshopTree::update(m_db->db(), lathe, QStringLiteral("LATHE"), QStringLiteral("x"), stale).outcome,
             Outcome::Done);
    QCOMPARE(WorkshopTree::update(m_db->db(), lathe, QStringLiteral("Lathe 2"), QStringLiteral("x"), stale).outcome,
             Outcome::Changed);
    QCOMPARE(record(lathe).name, QStringLiteral("LATHE"));
}

void TstWorkshopTree::remove_data()
{
    QTest::addColumn<QString>("unit");
    QTest::addColumn<QString>("meter");      // "workshop team" the meter names, empty for none
    QTest::addColumn<Outcome>("outcome");
    QTest::addColumn<QStringList>("gone");
    QTest::newRow("unit with grandchildren") << "prod" << "power -" << Outcome::Done
                                              << QStringList{ "prod", "shop1", "lathe", "mill", "shop2" };
    QTest::newRow("team") << "mill" << "" << Outcome::Done << QStringList{ "mill" };
    QTest::newRow("meter on a team two levels down") << "prod" << "power mill" << Outcome::HasMeters << QStringList{};
    QTest::newRow("meter naming the workshop") << "shop2" << "shop2 -" << Outcome::HasMeters << QStringList{};
    QTest::newRow("root") << "root" << "" << Outcome::IsRoot << QStringList{};
}

void TstWorkshopTree::remove()
{
    QFETCH(QString, unit);
    QFETCH(QString, meter);
    QFETCH(QStringList, gone);
    if (!meter.isEmpty()) {
        const qint64 sort = m_db->addMeterSort(QStringLiteral("水表"));
        const qint64 price = m_db->addPrice(QStringLiteral("生产用水"), yuan("2.5"), yuan("3"), sort);
        const QString team = meter.section(u' ', 1);
        m_db->addMeter({ QStringLiteral("S1"), sort, price, m_id[meter.section(u' ', 0, 0)],
                         team == u"-" ? QVariant() : QVariant(m_id[team]) });
    }
    const TWorkShop target = unit == u"root" ? WorkshopTree::rootRecord(QStringLiteral("厂")) : record(m_id[unit]);
    QStringList left = stored();
    QList<qint64> goneIds;
    for (const QString &g : gone) {
        goneIds << m_id[g];
        left = left.filter(QRegularExpression(QStringLiteral("^(?!%1 )").arg(m_id[g])));
    }

    const auto r = WorkshopTree::remove(m_db->db(), target);
    QTEST(r.outcome, "outcome");
    QCOMPARE(r.removed, goneIds);
    QCOMPARE(stored(), left);
}

void TstWorkshopTree::refusedStatementWritesNothing_data()
{
    QTest::addColumn<QString>("trigger");
    QTest::newRow("delete") << "BEFORE DELETE ON Workshop WHEN old.WorkShopLevel = 3";
    QTest::newRow("insert") << "BEFORE INSERT ON Workshop";
    QTest::newRow("update") << "BEFORE UPDATE ON Workshop";
}

void TstWorkshopTree::refusedStatementWritesNothing()
{
    QFETCH(QString, trigger);
    execSql(m_db->db(), QStringLiteral("CREATE TRIGGER refuse %1 BEGIN SELECT RAISE(ABORT, 'refused'); END").arg(trigger));
    const QStringList before = stored();
    const TWorkShop prod = record(m_id["prod"]);
    const QByteArray tag = QTest::currentDataTag();
    QVERIFY_THROWS_EXCEPTION(DatabaseError, {
        if (tag == "delete")
            WorkshopTree::remove(m_db->db(), prod);
        else if (tag == "insert")
            WorkshopTree::append(m_db->db(), prod, QStringLiteral("新"), QStringLiteral("新"));
        else
            WorkshopTree::update(m_db->db(), prod.id, QStringLiteral("新"), QStringLiteral("新"));
    });
    QCOMPARE(stored(), before);
    // No transaction was left open: the next one begins and writes.
    execSql(m_db->db(), QStringLiteral("DROP TRIGGER refuse"));
    QCOMPARE(WorkshopTree::remove(m_db->db(), record(m_id["power"])).outcome, Outcome::Done);
}

QTEST_GUILESS_MAIN(TstWorkshopTree)
#include "tst_WorkshopTree.moc"
