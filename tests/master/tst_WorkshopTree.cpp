// The workshop tree's core without a window: the tree built from parent links, adding with the
// level rules, renaming with any characters and deleting whole subtrees unless meters hang below.
#include "DataSet.h"
#include "Database.h"
#include "TestDatabase.h"
#include "UCommon.h"
#include "WorkshopTree.h"

#include <QtTest>
#include <memory>

using WorkshopTree::Outcome;

Q_DECLARE_METATYPE(Outcome)

namespace {

// Rows written as "id parent level name".
QList<TWorkShop> rowsOf(const QStringList &lines)
{
    QList<TWorkShop> rows;
    for (const QString &line : lines) {
        const QStringList f = line.split(u' ');
        rows.append({ f.at(0).toLongLong(), f.at(3), f.at(3) + u'*', f.at(2).toInt(), f.at(1).toLongLong() });
    }
    return rows;
}

// Each entry indented by its depth, with a check that it sits below the entry it names.
QStringList outline(const QList<WorkshopTree::Entry> &entries)
{
    QStringList out;
    for (const auto &e : entries) {
        const bool consistent = e.parent < 0 ? e.depth == 0 : e.depth == entries.at(e.parent).depth + 1;
        out << QString(e.depth * 2, u' ') + e.record.name + (consistent ? QString() : QStringLiteral(" !"));
    }
    return out;
}

}

class TstWorkshopTree : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void build_data();
    void build();
    void recordsFromStoredRows();
    void append_data();
    void append();
    void appendedUnitTakesChildren();
    void update_data();
    void update();
    void renameRootRenamesUsingUnit();
    void remove_data();
    void remove();
    void refusedStatementWritesNothing_data();
    void refusedStatementWritesNothing();

private:
    QStringList stored() const;
    TWorkShop storedRecord(qint64 id) const;

    std::unique_ptr<TestDatabase> m_db;
    // 红星厂 ─ 生产部 ─ 一车间 ─ 车工班, 铣工班; 二车间 ─ 装配班; 后勤部 ─ 动力车间 ─ 配电班
    qint64 m_prod = 0, m_shop1 = 0, m_lathe = 0, m_mill = 0, m_shop2 = 0, m_fit = 0, m_back = 0, m_power = 0,
           m_grid = 0;
};

void TstWorkshopTree::init()
{
    m_db = std::make_unique<TestDatabase>();
    TestDatabase &t = *m_db;
    t.setUsingUnit(QStringLiteral("红星厂"), QStringLiteral("pw"));
    m_prod = t.addWorkshop(QStringLiteral("生产部"), 1, 1);
    m_shop1 = t.addWorkshop(QStringLiteral("一车间"), 2, m_prod);
    m_lathe = t.addWorkshop(QStringLiteral("车工班"), 3, m_shop1);
    m_mill = t.addWorkshop(QStringLiteral("铣工班"), 3, m_shop1);
    m_shop2 = t.addWorkshop(QStringLiteral("二车间"), 2, m_prod);
    m_fit = t.addWorkshop(QStringLiteral("装配班"), 3, m_shop2);
    m_back = t.addWorkshop(QStringLiteral("后勤部"), 1, 1);
    m_power = t.addWorkshop(QStringLiteral("动力车间"), 2, m_back);
    m_grid = t.addWorkshop(QStringLiteral("配电班"), 3, m_power);
}

void TstWorkshopTree::cleanup()
{
    m_db.reset();
}

// Every stored row as "id name/memo level parent", by identifier.
QStringList TstWorkshopTree::stored() const
{
    QStringList out;
    QSqlQuery q = execSql(m_db->db(), QStringLiteral("SELECT WrokShopID, WrokShopName, WrokShopMemo, WorkShopLevel, "
                                                     "ResideWorkShopID FROM Workshop ORDER BY WrokShopID"));
    while (q.next())
        out << QStringLiteral("%1 %2/%3 %4 %5")
                   .arg(q.value(0).toString(), q.value(1).toString(), q.value(2).toString(),
                        q.value(3).toString(), q.value(4).toString());
    return out;
}

TWorkShop TstWorkshopTree::storedRecord(qint64 id) const
{
    DataSet set;
    set.setConnectionName(Database::mainConnectionName());
    set.setSql(WorkshopSql::selectAll());
    set.open();
    for (const TWorkShop &r : WorkshopTree::records(set))
        if (r.id == id)
            return r;
    return {};
}

void TstWorkshopTree::build_data()
{
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QStringList>("tree");

    QTest::newRow("each workshop under its own unit")
        << QStringList{ "1 0 0 厂", "2 1 1 甲部", "3 1 1 乙部", "4 2 2 甲车间", "5 3 2 乙车间", "6 4 3 甲班",
                        "7 5 3 乙班" }
        << QStringList{ "厂", "  甲部", "    甲车间", "      甲班", "  乙部", "    乙车间", "      乙班" };
    QTest::newRow("children by identifier, rows in any order")
        << QStringList{ "9 1 1 丙部", "4 1 1 甲部", "6 4 2 二车间", "5 4 2 一车间" }
        << QStringList{ "厂", "  甲部", "    一车间", "    二车间", "  丙部" };
    QTest::newRow("workshop directly under the root")
        << QStringList{ "2 1 2 直属车间", "3 2 3 直属班" } << QStringList{ "厂", "  直属车间", "    直属班" };
    QTest::newRow("rows deeper than a team are shown")
        << QStringList{ "2 1 1 部", "3 2 2 车间", "4 3 3 班", "5 4 4 小组", "6 5 5 岗位" }
        << QStringList{ "厂", "  部", "    车间", "      班", "        小组", "          岗位" };
    QTest::newRow("orphans follow the root with their children")
        << QStringList{ "2 1 1 部", "3 77 2 孤车间", "4 3 3 孤班", "5 2 2 车间", "6 99 3 孤班二" }
        << QStringList{ "厂", "  部", "    车间", "孤车间", "  孤班", "孤班二" };
    QTest::newRow("orphan with a lower identifier than its parent")
        << QStringList{ "3 8 3 班", "8 50 2 车间" } << QStringList{ "厂", "车间", "  班" };
    QTest::newRow("a loop of parents is shown once")
        << QStringList{ "2 1 1 部", "5 6 2 环甲", "6 5 2 环乙", "7 7 3 自指" }
        << QStringList{ "厂", "  部", "环甲", "  环乙", "自指" };
    QTest::newRow("no units") << QStringList{ "1 0 0 厂" } << QStringList{ "厂" };
}

void TstWorkshopTree::build()
{
    QFETCH(QStringList, rows);
    const auto entries = WorkshopTree::build(WorkshopTree::rootRecord(QStringLiteral("厂")), rowsOf(rows));
    QTEST(outline(entries), "tree");
    // The records travel with their nodes.
    for (const auto &e : entries.mid(1))
        QCOMPARE(e.record.description, e.record.name + u'*');
}

void TstWorkshopTree::recordsFromStoredRows()
{
    execSql(m_db->db(), QStringLiteral("UPDATE Workshop SET WrokShopMemo = 'it''s' WHERE WrokShopID = ?"), { m_mill });
    const TWorkShop mill = storedRecord(m_mill);
    QCOMPARE(mill, (TWorkShop{ m_mill, QStringLiteral("铣工班"), QStringLiteral("it's"), 3, m_shop1 }));
    const TWorkShop root = WorkshopTree::rootRecord(QStringLiteral("红星厂"));
    QCOMPARE(root, (TWorkShop{ 1, QStringLiteral("红星厂"), QStringLiteral("红星厂"), 0, 0 }));

    DataSet set;
    set.setConnectionName(Database::mainConnectionName());
    set.setSql(WorkshopSql::selectAll());
    set.open();
    QCOMPARE(outline(WorkshopTree::build(root, WorkshopTree::records(set))),
             QStringList({ "红星厂", "  生产部", "    一车间", "      车工班", "      铣工班", "    二车间",
                           "      装配班", "  后勤部", "    动力车间", "      配电班" }));
}

void TstWorkshopTree::append_data()
{
    QTest::addColumn<QString>("parent");   // "root" or a row of the fixture
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("memo");
    QTest::addColumn<Outcome>("outcome");
    QTest::addColumn<int>("level");

    QTest::newRow("under the root") << "root" << "质检部" << "质量检验" << Outcome::Done << 1;
    QTest::newRow("under a unit") << "prod" << "三车间" << "焊接" << Outcome::Done << 2;
    QTest::newRow("under a workshop") << "shop" << "焊工班" << "电焊" << Outcome::Done << 3;
    QTest::newRow("quotes and blanks around") << "shop" << "  O'Neil \"班\" " << "\t'; drop  " << Outcome::Done << 3;
    QTest::newRow("under a team") << "team" << "小组" << "x" << Outcome::BelowTeam << 0;
    QTest::newRow("parent gone") << "gone" << "新" << "x" << Outcome::Missing << 0;
    QTest::newRow("blank name") << "shop" << "   " << "x" << Outcome::Incomplete << 0;
    QTest::newRow("blank description") << "shop" << "班" << " \t " << Outcome::Incomplete << 0;
}

void TstWorkshopTree::append()
{
    QFETCH(QString, parent);
    QFETCH(QString, name);
    QFETCH(QString, memo);
    QFETCH(Outcome, outcome);
    QFETCH(int, level);

    TWorkShop p = parent == u"root" ? WorkshopTree::rootRecord(QStringLiteral("红星厂"))
                : parent == u"prod" ? storedRecord(m_prod)
                : parent == u"shop" ? storedRecord(m_shop1)
                                    : storedRecord(m_lathe);
    if (parent == u"gone") {
        p = storedRecord(m_shop2);
        execSql(m_db->db(), QStringLiteral("DELETE FROM Workshop WHERE WrokShopID IN (?, ?)"), { m_fit, m_shop2 });
    }
    const QStringList before = stored();

    const WorkshopTree::Result r = WorkshopTree::append(m_db->db(), p, name, memo);
    QCOMPARE(r.outcome, outcome);
    if (outcome != Outcome::Done) {
        QCOMPARE(stored(), before);
        return;
    }
    const TWorkShop expected{ r.record.id, TrimBlanks(name), TrimBlanks(memo), level, p.id };
    QCOMPARE(r.record, expected);
    QCOMPARE(storedRecord(r.record.id), expected);
    QCOMPARE(stored().size(), before.size() + 1);
}

void TstWorkshopTree::appendedUnitTakesChildren()
{
    const auto unit = WorkshopTree::append(m_db->db(), WorkshopTree::rootRecord(QStringLiteral("红星厂")),
                                           QStringLiteral("新部"), QStringLiteral("新"));
    const auto shop = WorkshopTree::append(m_db->db(), unit.record, QStringLiteral("新车间"), QStringLiteral("新"));
    const auto team = WorkshopTree::append(m_db->db(), shop.record, QStringLiteral("新班"), QStringLiteral("新"));
    QCOMPARE(team.outcome, Outcome::Done);
    QCOMPARE(team.record.level, 3);
    QCOMPARE(team.record.parentId, shop.record.id);
    QCOMPARE(WorkshopTree::remove(m_db->db(), unit.record).removed,
             (QList<qint64>{ unit.record.id, shop.record.id, team.record.id }));
}

void TstWorkshopTree::update_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("memo");
    QTest::addColumn<Outcome>("outcome");
    QTest::addColumn<QString>("row");     // the stored row afterwards

    QTest::newRow("apostrophes") << "O'Brien's 班" << "it's" << Outcome::Done << "%1 O'Brien's 班/it's 3 %2";
    QTest::newRow("quotes and SQL") << "a\"b'); --" << "\\%_" << Outcome::Done << "%1 a\"b'); --/\\%_ 3 %2";
    QTest::newRow("trimmed") << "  新名 " << "\t说明 " << Outcome::Done << "%1 新名/说明 3 %2";
    QTest::newRow("blank name") << " " << "说明" << Outcome::Incomplete << "%1 车工班/车工班 3 %2";
}

void TstWorkshopTree::update()
{
    QFETCH(QString, name);
    QFETCH(QString, memo);
    QFETCH(QString, row);
    const QStringList before = stored();
    const auto r = WorkshopTree::update(m_db->db(), m_lathe, name, memo);
    QTEST(r.outcome, "outcome");
    const QString expected = row.arg(m_lathe).arg(m_shop1);
    QCOMPARE(stored().filter(QRegularExpression(QStringLiteral("^%1 ").arg(m_lathe))), QStringList{ expected });
    QCOMPARE(stored().size(), before.size());
    if (r.outcome == Outcome::Done)
        QCOMPARE(r.record, storedRecord(m_lathe));
}

void TstWorkshopTree::renameRootRenamesUsingUnit()
{
    TKelvaraMg mg;
    const auto r = WorkshopTree::update(m_db->db(), WorkshopTree::RootId, QStringLiteral("蓝天厂"), QStringLiteral("总厂"));
    QCOMPARE(r.record, (TWorkShop{ 1, QStringLiteral("蓝天厂"), QStringLiteral("总厂"), 0, 0 }));
    QCOMPARE(mg.GetUsingUnitName(), QStringLiteral("蓝天厂"));
    QCOMPARE(m_db->scalar(QStringLiteral("SELECT UseUnitName FROM CnfgPara")).toString(), QStringLiteral("红星厂"));
    QCOMPARE(WorkshopTree::update(m_db->db(), 4242, QStringLiteral("x"), QStringLiteral("y")).outcome,
             Outcome::Missing);
}

void TstWorkshopTree::remove_data()
{
    QTest::addColumn<QString>("unit");
    QTest::addColumn<QString>("meterOn");     // where a meter hangs: "", "workshop:<unit>", "team:<unit>"
    QTest::addColumn<Outcome>("outcome");
    QTest::addColumn<QStringList>("gone");

    QTest::newRow("unit with grandchildren") << "prod" << "" << Outcome::Done
                                              << QStringList{ "生产部", "一车间", "车工班", "铣工班", "二车间", "装配班" };
    QTest::newRow("workshop with its teams") << "shop1" << "" << Outcome::Done
                                              << QStringList{ "一车间", "车工班", "铣工班" };
    QTest::newRow("team") << "lathe" << "" << Outcome::Done << QStringList{ "车工班" };
    QTest::newRow("meters elsewhere do not count") << "shop1" << "workshop:power" << Outcome::Done
                                                    << QStringList{ "一车间", "车工班", "铣工班" };
    QTest::newRow("meter on a team two levels down") << "prod" << "team:mill" << Outcome::HasMeters << QStringList{};
    QTest::newRow("meter naming the workshop") << "shop2" << "workshop:shop2" << Outcome::HasMeters << QStringList{};
    QTest::newRow("meter naming the team itself") << "grid" << "team:grid" << Outcome::HasMeters << QStringList{};
    QTest::newRow("root") << "root" << "" << Outcome::IsRoot << QStringList{};
}

void TstWorkshopTree::remove()
{
    QFETCH(QString, unit);
    QFETCH(QString, meterOn);
    const QHash<QString, qint64> ids{ { "prod", m_prod },   { "shop1", m_shop1 }, { "lathe", m_lathe },
                                      { "mill", m_mill },   { "shop2", m_shop2 }, { "power", m_power },
                                      { "grid", m_grid } };
    if (!meterOn.isEmpty()) {
        const qint64 sort = m_db->addMeterSort(QStringLiteral("水表"));
        const qint64 price = m_db->addPrice(QStringLiteral("生产用水"), yuan("2.5"), yuan("3"), sort);
        const qint64 at = ids.value(meterOn.section(u':', 1));
        if (meterOn.startsWith(u"team"))
            m_db->addMeter({ QStringLiteral("S1"), sort, price, m_power, at });
        else
            m_db->addMeter({ QStringLiteral("S1"), sort, price, at });
    }
    const TWorkShop record = unit == u"root" ? WorkshopTree::rootRecord(QStringLiteral("红星厂"))
                                             : storedRecord(ids.value(unit));
    const QStringList before = stored();

    const auto r = WorkshopTree::remove(m_db->db(), record);
    QTEST(r.outcome, "outcome");

    QFETCH(QStringList, gone);
    QStringList removedNames, left = before;
    for (const QString &row : before)
        if (r.removed.contains(row.section(u' ', 0, 0).toLongLong())) {
            removedNames << row.section(u' ', 1, 1).section(u'/', 0, 0);
            left.removeOne(row);
        }
    QCOMPARE(removedNames, gone);
    QCOMPARE(stored(), r.outcome == Outcome::Done ? left : before);
}

void TstWorkshopTree::refusedStatementWritesNothing_data()
{
    QTest::addColumn<QString>("trigger");
    QTest::addColumn<QString>("operation");
    QTest::newRow("delete of a grandchild refused") << "BEFORE DELETE ON Workshop WHEN old.WorkShopLevel = 3"
                                                    << "remove";
    QTest::newRow("insert refused") << "BEFORE INSERT ON Workshop" << "append";
    QTest::newRow("update refused") << "BEFORE UPDATE ON Workshop" << "update";
}

void TstWorkshopTree::refusedStatementWritesNothing()
{
    QFETCH(QString, trigger);
    QFETCH(QString, operation);
    execSql(m_db->db(), QStringLiteral("CREATE TRIGGER refuse %1 BEGIN SELECT RAISE(ABORT, 'refused'); END").arg(trigger));
    const QStringList before = stored();
    try {
        if (operation == u"remove")
            WorkshopTree::remove(m_db->db(), storedRecord(m_prod));
        else if (operation == u"append")
            WorkshopTree::append(m_db->db(), storedRecord(m_prod), QStringLiteral("新"), QStringLiteral("新"));
        else
            WorkshopTree::update(m_db->db(), m_prod, QStringLiteral("新"), QStringLiteral("新"));
        QFAIL("the statement was not refused");
    } catch (const DatabaseError &e) {
        QVERIFY2(e.text().contains(QStringLiteral("refused")), qPrintable(e.text()));
    }
    QCOMPARE(stored(), before);
    // No transaction was left open: the next one begins and writes.
    execSql(m_db->db(), QStringLiteral("DROP TRIGGER refuse"));
    QCOMPARE(WorkshopTree::remove(m_db->db(), storedRecord(m_fit)).outcome, Outcome::Done);
    QCOMPARE(stored().size(), before.size() - 1);
}

QTEST_GUILESS_MAIN(TstWorkshopTree)
#include "tst_WorkshopTree.moc"
