#include "WorkshopTree.h"

#include "DataSet.h"
#include "Database.h"
#include "Engine.h"
#include "UCommon.h"

#include <QHash>
#include <QSet>
#include <QSqlQuery>
#include <QVector>

#include <algorithm>

namespace WorkshopSql {

namespace {

// The unit bound to ? and every unit below it. UNION drops repeated identifiers, so a loop of
// parents ends the recursion.
QString below()
{
    return QStringLiteral(
        "WITH RECURSIVE Below(ID) AS ("
        "SELECT cast(? as bigint) UNION SELECT w.WrokShopID FROM Workshop w JOIN Below b ON w.ResideWorkShopID = b.ID) ");
}

}

QString selectAll()
{
    return QStringLiteral("Select * from Workshop order by WrokShopID");
}

QString selectOne()
{
    return QStringLiteral("Select * from Workshop where WrokShopID = ?");
}

QString levelOf()
{
    return QStringLiteral("Select WorkShopLevel from Workshop where WrokShopID = ?");
}

QString insertBelow()
{
    // The level comes from the stored parent, so the row cannot disagree with its parent.
    return QStringLiteral(
        "Insert into Workshop (WrokShopName, WorkShopLevel, WrokShopMemo, ResideWorkShopID) "
        "Select cast(? as text), WorkShopLevel + 1, cast(? as text), WrokShopID from Workshop where WrokShopID = ? and WorkShopLevel < ?");
}

QString update()
{
    return QStringLiteral("Update Workshop set WrokShopName = ?, WrokShopMemo = ? where WrokShopID = ?");
}

QString updateAsRead()
{
    // A change of case alone is a change: the texts compare as stored.
    const Engine &engine = Database::engine();
    return update() + QStringLiteral(" and ") + engine.sameStoredValue(QStringLiteral("WrokShopName"), FieldKind::Text)
        + QStringLiteral(" and ") + engine.sameStoredValue(QStringLiteral("WrokShopMemo"), FieldKind::Text);
}

QString subtree()
{
    return below() + QStringLiteral("Select ID from Below order by ID");
}

QString metersBelow()
{
    return below()
        + QStringLiteral("Select count(*) from Meter where WorkShopID in (Select ID from Below) "
                         "or SubWorkShopID in (Select ID from Below)");
}

QString deleteSubtree()
{
    return below() + QStringLiteral("Delete from Workshop where WrokShopID in (Select ID from Below)");
}

}

namespace WorkshopTree {

namespace {

TWorkShop recordFrom(const QSqlQuery &q)
{
    return { q.value(QStringLiteral("WrokShopID")).toLongLong(), q.value(QStringLiteral("WrokShopName")).toString(),
             q.value(QStringLiteral("WrokShopMemo")).toString(), q.value(QStringLiteral("WorkShopLevel")).toInt(),
             q.value(QStringLiteral("ResideWorkShopID")).toLongLong() };
}

// The stored row; the caller has just written it inside its transaction.
TWorkShop readRow(const QSqlDatabase &db, qint64 id)
{
    QSqlQuery q = execSql(db, WorkshopSql::selectOne(), { id });
    if (!q.next())
        throw DatabaseError(QStringLiteral("Workshop row %1 not found").arg(id));
    return recordFrom(q);
}

}

TWorkShop rootRecord(const QString &usingUnitName)
{
    return { RootId, usingUnitName, usingUnitName, 0, 0 };
}

QList<TWorkShop> records(const DataSet &rows)
{
    const int id = rows.fieldIndex(QStringLiteral("WrokShopID"));
    const int name = rows.fieldIndex(QStringLiteral("WrokShopName"));
    const int memo = rows.fieldIndex(QStringLiteral("WrokShopMemo"));
    const int level = rows.fieldIndex(QStringLiteral("WorkShopLevel"));
    const int parent = rows.fieldIndex(QStringLiteral("ResideWorkShopID"));
    QList<TWorkShop> out;
    out.reserve(rows.recordCount());
    for (int i = 0; i < rows.recordCount(); ++i)
        out.append({ rows.valueAt(i, id).toLongLong(), rows.valueAt(i, name).toString(),
                     rows.valueAt(i, memo).toString(), rows.valueAt(i, level).toInt(),
                     rows.valueAt(i, parent).toLongLong() });
    return out;
}

QList<Entry> build(const TWorkShop &root, const QList<TWorkShop> &rows)
{
    QList<TWorkShop> units;
    for (const TWorkShop &r : rows)
        if (r.id != root.id)
            units.append(r);
    std::stable_sort(units.begin(), units.end(),
                     [](const TWorkShop &a, const TWorkShop &b) { return a.id < b.id; });

    QSet<qint64> ids{ root.id };
    QHash<qint64, QList<int>> childrenOf;
    for (int i = 0; i < units.size(); ++i) {
        ids.insert(units.at(i).id);
        childrenOf[units.at(i).parentId].append(i);
    }

    QList<Entry> out;
    QVector<bool> placed(units.size(), false);
    // Depth first without recursion, so that a long chain of rows cannot exhaust the stack.
    auto place = [&](const TWorkShop &top) {
        struct Frame
        {
            int entry;
            qint64 id;
            int next;
        };
        out.append({ top, -1, 0 });
        QList<Frame> stack{ { int(out.size()) - 1, top.id, 0 } };
        while (!stack.isEmpty()) {
            const Frame f = stack.constLast();
            const auto kids = childrenOf.constFind(f.id);
            if (kids == childrenOf.constEnd() || f.next >= kids->size()) {
                stack.removeLast();
                continue;
            }
            ++stack.last().next;
            const int k = kids->at(f.next);
            if (placed.at(k))
                continue;
            placed[k] = true;
            out.append({ units.at(k), f.entry, out.at(f.entry).depth + 1 });
            stack.append({ int(out.size()) - 1, units.at(k).id, 0 });
        }
    };

    place(root);
    for (int i = 0; i < units.size(); ++i)
        if (!placed.at(i) && !ids.contains(units.at(i).parentId)) {
            placed[i] = true;
            place(units.at(i));
        }
    // Whatever is left hangs in a loop of parents: its lowest identifier stands at the top.
    for (int i = 0; i < units.size(); ++i)
        if (!placed.at(i)) {
            placed[i] = true;
            place(units.at(i));
        }
    return out;
}

bool canAddBelow(const TWorkShop &parent)
{
    return parent.level < TeamLevel;
}

Result append(QSqlDatabase db, const TWorkShop &parent, const QString &name, const QString &description)
{
    const QString n = TrimBlanks(name);
    const QString d = TrimBlanks(description);
    if (n.isEmpty() || d.isEmpty())
        return { Outcome::Incomplete };
    if (!canAddBelow(parent))
        return { Outcome::BelowTeam };

    Transaction tx(db);
    qint64 id = 0;
    {
        const QSqlQuery q = execSql(db, WorkshopSql::insertBelow(), { n, d, parent.id, TeamLevel });
        if (q.numRowsAffected() == 0) {
            const bool stored = scalar(db, WorkshopSql::levelOf(), { parent.id }).isValid();
            return { stored ? Outcome::BelowTeam : Outcome::Missing };
        }
        id = q.lastInsertId().toLongLong();
    }
    Result r;
    r.record = readRow(db, id);
    tx.commit();
    return r;
}

Result update(QSqlDatabase db, qint64 id, const QString &name, const QString &description,
              const std::optional<TWorkShop> &asRead)
{
    const QString n = TrimBlanks(name);
    const QString d = TrimBlanks(description);
    if (n.isEmpty() || d.isEmpty())
        return { Outcome::Incomplete };

    Transaction tx(db);
    const QSqlQuery q = asRead ? execSql(db, WorkshopSql::updateAsRead(), { n, d, id, asRead->name, asRead->description })
                               : execSql(db, WorkshopSql::update(), { n, d, id });
    if (q.numRowsAffected() == 0)
        return { scalar(db, WorkshopSql::levelOf(), { id }).isValid() ? Outcome::Changed : Outcome::Missing };
    Result r;
    r.record = readRow(db, id);
    tx.commit();
    return r;
}

Result remove(QSqlDatabase db, const TWorkShop &unit)
{
    // GetUsingUnitName reads a level-0 row without parent: none of them may go.
    if (unit.id == RootId || (unit.level == 0 && unit.parentId == 0))
        return { Outcome::IsRoot };

    Transaction tx(db);
    Result r;
    {
        QSqlQuery q = execSql(db, WorkshopSql::subtree(), { unit.id });
        while (q.next())
            r.removed.append(q.value(0).toLongLong());
    }
    // The root rows hang below identifier 0, so a subtree holding 0 or 1 holds a root.
    if (r.removed.contains(RootId) || r.removed.contains(0))
        return { Outcome::IsRoot };
    if (scalar(db, WorkshopSql::metersBelow(), { unit.id }).toLongLong() > 0)
        return { Outcome::HasMeters };
    execSql(db, WorkshopSql::deleteSubtree(), { unit.id });
    tx.commit();
    return r;
}

}
