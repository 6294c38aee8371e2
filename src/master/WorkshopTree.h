// WorkshopTree.h: the organisation below the using unit, window-free: tree entries built from the
// Workshop rows, and adding, renaming and deleting units by the rules of their levels.
#pragma once

#include <QList>
#include <QMetaType>
#include <QSqlDatabase>
#include <QString>

#include <optional>

class DataSet;

// The record each node of the workshop tree carries.
struct TWorkShop
{
    qint64 id = 0;              // WrokShopID
    QString name;               // WrokShopName, also the node's caption
    QString description;        // WrokShopMemo
    int level = 0;              // WorkShopLevel: 0 using unit, 1 unit, 2 workshop, 3 team
    qint64 parentId = 0;        // ResideWorkShopID

    bool operator==(const TWorkShop &other) const
    {
        return id == other.id && name == other.name && description == other.description
            && level == other.level && parentId == other.parentId;
    }
};
Q_DECLARE_METATYPE(TWorkShop)

// The statements of the workshop tree; every value is a positional parameter.
namespace WorkshopSql {
QString selectAll();        // every row, by identifier
QString selectOne();        // ? WrokShopID
QString levelOf();          // ? WrokShopID
QString insertBelow();      // ? name, ? description, ? parent, ? TeamLevel; nothing below a stored team
QString update();           // ? name, ? description, ? WrokShopID
QString updateAsRead();     // as update, and ? name, ? description the row held when it was read
QString subtree();          // ? WrokShopID: that identifier and every one below it
QString metersBelow();      // ? WrokShopID: meters naming the unit or a unit below it
QString deleteSubtree();    // ? WrokShopID
}

namespace WorkshopTree {

constexpr qint64 RootId = 1;
constexpr int WorkshopLevel = 2;   // the level a meter's workshop has
constexpr int TeamLevel = 3;

// One node of the tree in display order: a node follows its parent and its elder siblings.
struct Entry
{
    TWorkShop record;
    int parent = -1;            // index of the parent's entry; -1 at the top level
    int depth = 0;
};

// The root's record is made up from the using unit's name rather than read from the table.
TWorkShop rootRecord(const QString &usingUnitName);

// The records of the rows of a set opened on selectAll(), in its order.
QList<TWorkShop> records(const DataSet &rows);

// The root with every unit under its own parent, children by identifier. Units whose parent is
// not there follow the root at the top level, then units caught in a loop of parents, so that
// no row is hidden. The root's own row is not repeated.
QList<Entry> build(const TWorkShop &root, const QList<TWorkShop> &rows);

// No unit goes below a team.
bool canAddBelow(const TWorkShop &parent);

enum class Outcome {
    Done,
    Incomplete,                 // name or description empty once trimmed; nothing written
    BelowTeam,                  // the parent is a team; nothing written
    Missing,                    // the parent (append) or the unit (update) has no row
    IsRoot,                     // the using unit cannot be deleted
    HasMeters,                  // a meter names the unit or a unit below it; nothing deleted
    Changed,                    // update: someone else changed the unit since it was read; nothing written
};

struct Result
{
    Outcome outcome = Outcome::Done;
    TWorkShop record;           // append: the new unit; update: the row read back
    QList<qint64> removed;      // remove: every identifier deleted, ascending
};

// The following throw DatabaseError when a statement fails; nothing is written then.

// Adds a unit below parent, with the trimmed texts and the stored parent's level + 1.
Result append(QSqlDatabase db, const TWorkShop &parent, const QString &name, const QString &description);

// Renames a unit with the trimmed texts and reads its row back. With asRead, only while the row
// still holds the name and description it had when it was read.
Result update(QSqlDatabase db, qint64 id, const QString &name, const QString &description,
              const std::optional<TWorkShop> &asRead = std::nullopt);

// Deletes the unit with every unit below it, in one transaction.
Result remove(QSqlDatabase db, const TWorkShop &unit);

}
