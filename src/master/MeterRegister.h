// MeterRegister.h: the meter register's queries, window-free: the meters with the names of their
// type, workshop, price and team, the price and team lists narrowed to the current meter, and
// the checks on post and delete.
#pragma once

#include <QObject>
#include <QVariant>

class DataSet;

class MeterRegister : public QObject
{
    Q_OBJECT
public:
    explicit MeterRegister(QObject *parent = nullptr);

    // Binds every query to the database through the data manager, then opens those that are not
    // open, the meters first. Throws DatabaseError when a query cannot be opened.
    void open();

    // The lists of the price and team boxes: the prices of the current meter's type and the teams
    // of its workshop. They follow the current row: moving to another meter, or changing its type
    // or workshop by any means, refills them. Each reopens its query only when its key changed.
    void followRow();
    void narrowPrices(const QVariant &meterSort);
    void narrowTeams(const QVariant &workShopId);

    // The current meter's number as stored; null for a new meter.
    QVariant storedNumber() const;

    DataSet *adoMeter = nullptr;     // the meters shown and edited
    DataSet *ADOQuery1 = nullptr;    // all meter types
    DataSet *ADOQuery2 = nullptr;    // all workshops
    DataSet *ADOQuery3 = nullptr;    // the prices of one type (:MeterSortID)
    DataSet *ADOQuery4 = nullptr;    // the teams of one workshop (:ResideWorkShopID)
    // The names of the grid's price and team columns come from every price and every team, so
    // each meter shows its own whatever the lists hold.
    DataSet *ADOQuery5 = nullptr;    // all prices
    DataSet *ADOQuery6 = nullptr;    // all teams

private:
    void fillNewMeter();
    void trimNumber();
    void writeMeter();

    bool m_following = false;
};
