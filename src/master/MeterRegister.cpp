#include "MeterRegister.h"

#include "DataSet.h"
#include "Database.h"
#include "Engine.h"
#include "MasterChecks.h"
#include "UCommon.h"

#include <QDateTime>

namespace {

DataSet *query(QObject *owner, const char *name, const QString &sql, const QString &table, const QString &key)
{
    auto *q = new DataSet(owner);
    q->setObjectName(QString::fromLatin1(name));
    q->setSql(sql);
    q->setUpdateTable(table, { key });
    return q;
}

DataSet *list(QObject *owner, const char *name, const QString &sql, const QString &table, const QString &key)
{
    DataSet *q = query(owner, name, sql, table, key);
    q->setReadOnly(true);
    return q;
}

bool sameKey(const QVariant &a, const QVariant &b)
{
    if (a.isNull() || b.isNull())
        return a.isNull() && b.isNull();
    return a.toLongLong() == b.toLongLong();
}

}

MeterRegister::MeterRegister(QObject *parent) : QObject(parent)
{
    const QString workshop = QStringLiteral("Workshop");
    const QString workshopKey = QStringLiteral("WrokShopID");
    adoMeter = query(this, "adoMeter", QStringLiteral("select * from Meter"), QStringLiteral("Meter"),
                     QStringLiteral("MeterNO"));
    ADOQuery1 = list(this, "ADOQuery1", QStringLiteral("select * from MeterSort order by MeterSortID"), QStringLiteral("MeterSort"),
                     QStringLiteral("MeterSortID"));
    ADOQuery2 = list(this, "ADOQuery2", QStringLiteral("select * from Workshop where WorkShopLevel = 2 order by WrokShopID"), workshop,
                     workshopKey);
    ADOQuery3 = list(this, "ADOQuery3", QStringLiteral("select * from Price where MeterSortID= :MeterSortID order by PriceID"),
                     QStringLiteral("Price"), QStringLiteral("PriceID"));
    ADOQuery4 = list(this, "ADOQuery4",
                     QStringLiteral("select * from workshop where WorkShopLevel = 3 and ResideWorkShopID = :ResideWorkShopID "
                                    "order by WrokShopID"),
                     workshop, workshopKey);
    ADOQuery5 = list(this, "ADOQuery5", QStringLiteral("select * from Price order by PriceID"), QStringLiteral("Price"),
                     QStringLiteral("PriceID"));
    ADOQuery6 = list(this, "ADOQuery6", QStringLiteral("select * from workshop where WorkShopLevel = 3 order by WrokShopID"), workshop,
                     workshopKey);
    ADOQuery3->setParam(QStringLiteral("MeterSortID"), QVariant());
    ADOQuery4->setParam(QStringLiteral("ResideWorkShopID"), QVariant());

    adoMeter->addLookupField(QStringLiteral("SubWorkShop"), QStringLiteral("WorkShopID"), ADOQuery2, workshopKey,
                             QStringLiteral("WrokShopName"));
    adoMeter->addLookupField(QStringLiteral("SubPrice"), QStringLiteral("PriceID"), ADOQuery5,
                             QStringLiteral("PriceID"), QStringLiteral("PriceName"));
    adoMeter->addLookupField(QStringLiteral("SubsubWorkShop"), QStringLiteral("SubWorkShopID"), ADOQuery6, workshopKey,
                             QStringLiteral("WrokShopName"));
    adoMeter->addLookupField(QStringLiteral("SortName"), QStringLiteral("MeterSort"), ADOQuery1,
                             QStringLiteral("MeterSortID"), QStringLiteral("MeterSortName"));

    adoMeter->setOnNewRecord([this] { fillNewMeter(); });
    adoMeter->setWriter([this] { writeMeter(); });
    MasterChecks::install(
        adoMeter,
        [this] {
            trimNumber();
            return MasterChecks::checkMeter(adoMeter->database(), *adoMeter, storedNumber());
        },
        [this] {
            return MasterChecks::checkMeterDelete(adoMeter->database(), adoMeter->value(QStringLiteral("MeterNO")));
        });
}

void MeterRegister::open()
{
    const QList<DataSet *> queries{ adoMeter, ADOQuery1, ADOQuery2, ADOQuery3, ADOQuery4, ADOQuery5, ADOQuery6 };
    for (DataSet *q : queries)
        if (!KelvaraMg->BindQuery(q))
            return;
    if (!adoMeter->isActive())
        adoMeter->setSql(QStringLiteral("select * from Meter order by ")
                         + Engine::of(adoMeter->database()).registerOrder());
    for (DataSet *q : queries)
        if (!q->isActive())
            q->open();
    if (!m_following) {
        m_following = true;
        connect(adoMeter, &DataSet::reset, this, &MeterRegister::followRow);
        connect(adoMeter, &DataSet::currentChanged, this, &MeterRegister::followRow);
        connect(adoMeter, &DataSet::rowChanged, this, [this](int pos) {
            if (pos == adoMeter->recNo())
                followRow();
        });
    }
    followRow();
}

void MeterRegister::followRow()
{
    const bool row = adoMeter->isActive() && adoMeter->recNo() >= 0;
    narrowPrices(row ? adoMeter->value(QStringLiteral("MeterSort")) : QVariant());
    narrowTeams(row ? adoMeter->value(QStringLiteral("WorkShopID")) : QVariant());
}

void MeterRegister::narrowPrices(const QVariant &meterSort)
{
    const QString name = QStringLiteral("MeterSortID");
    if (ADOQuery3->isActive() && sameKey(ADOQuery3->param(name), meterSort))
        return;
    ADOQuery3->close();
    ADOQuery3->setParam(name, meterSort);
    ADOQuery3->open();
}

void MeterRegister::narrowTeams(const QVariant &workShopId)
{
    const QString name = QStringLiteral("ResideWorkShopID");
    if (ADOQuery4->isActive() && sameKey(ADOQuery4->param(name), workShopId))
        return;
    ADOQuery4->close();
    ADOQuery4->setParam(name, workShopId);
    ADOQuery4->open();
}

QVariant MeterRegister::storedNumber() const
{
    return adoMeter->storedValue(QStringLiteral("MeterNO"));
}

void MeterRegister::fillNewMeter()
{
    adoMeter->setValue(QStringLiteral("Multiple"), 1);
    adoMeter->setValue(QStringLiteral("SubjoinNumber"), 0);
    adoMeter->setValue(QStringLiteral("Quota"), 0);
    adoMeter->setValue(QStringLiteral("SetupDate"), QDateTime(QDate::currentDate(), QTime(0, 0)));
}

void MeterRegister::trimNumber()
{
    // Readings and look-ups find a meter by its number without blanks at either end.
    const QVariant number = adoMeter->value(QStringLiteral("MeterNO"));
    if (!number.isNull() && TrimBlanks(number.toString()) != number.toString())
        adoMeter->setValue(QStringLiteral("MeterNO"), TrimBlanks(number.toString()));
}

void MeterRegister::writeMeter()
{
    const QVariant stored = storedNumber();
    const QSqlDatabase db = adoMeter->database();
    Transaction tx(db);
    adoMeter->writeBuffer();
    // The foreign key carries a new number to the readings, exchanges and confirmed passes, but
    // not a change of its case alone, which the column's collation takes for no change.
    const QString number = adoMeter->asString(QStringLiteral("MeterNO"));
    if (!stored.isNull() && stored.toString() != number) {
        execSql(db, QStringLiteral("Update TakeMeter set MeterID = ? where MeterID = ?"), { number, stored });
        execSql(db, QStringLiteral("Update MeterExchange set MeterID = ? where MeterID = ?"), { number, stored });
        execSql(db, QStringLiteral("Update ConfirmedPass set MeterID = ? where MeterID = ?"), { number, stored });
    }
    tx.commit();
}
