#include "UCommon.h"

#include "ChargeCalc.h"
#include "DataSet.h"
#include "Database.h"
#include "Engine.h"
#include "Unusual.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QtDebug>

#include <limits>
#include <stdexcept>

TKelvaraMg *KelvaraMg = nullptr;

namespace {

std::function<void(const QString &)> &messageSink()
{
    static std::function<void(const QString &)> sink;
    return sink;
}

bool terminateRequested = false;

bool fitsInt32(qint64 value)
{
    return value >= std::numeric_limits<qint32>::min() && value <= std::numeric_limits<qint32>::max();
}

std::function<void()> &terminateHandler()
{
    static std::function<void()> handler;
    return handler;
}

}

MeterInfo ReadMeterInfo(const std::function<QVariant(int)> &column)
{
    MeterInfo meter;
    meter.MeterNO = column(0).toString();
    meter.PriceNumber = Currency::fromUnits(column(1).toLongLong());
    meter.ExceedPrice = Currency::fromUnits(column(2).toLongLong());
    meter.BaseNumber = column(3).toLongLong();
    meter.MaxBound = column(4).toLongLong();
    meter.Quota = Currency::fromUnits(column(5).toLongLong());
    meter.SubjoinNumber = column(6).toLongLong();
    meter.Multiple = column(7).toLongLong();
    meter.WorkShopID = column(8).toLongLong();
    meter.SubWorkShopID = column(9).toLongLong();
    meter.QuotaNumber = ChargeCalc::QuotaUnits(meter.Quota, meter.PriceNumber);
    return meter;
}

namespace {

// The units a counter ran from one value to another, through its maximum when the second is lower.
std::optional<qint64> span(qint64 from, qint64 to, qint64 maxBound)
{
    return ChargeCalc::Consumption(from, to, maxBound, 1, to < from);
}

}

std::optional<CounterStart> MeasureFrom(const MeterInfo &meter, const std::optional<PreviousReading> &previous,
                                        const QList<CounterExchange> &exchanges, const QDate &day)
{
    QList<const CounterExchange *> between;
    const CounterExchange *nextAfter = nullptr;
    for (const CounterExchange &e : exchanges) {
        if (previous && e.day <= previous->day)
            continue;
        if (e.day < day)
            between << &e;
        else if (e.day > day && !nextAfter)
            nextAfter = &e;
    }
    CounterStart start;
    start.maxBound = nextAfter ? nextAfter->OldMaxBound : meter.MaxBound;
    if (between.isEmpty()) {
        start.previous = previous ? previous->TakeNumber
                                  : (nextAfter ? nextAfter->OldBase : meter.BaseNumber);
        return start;
    }
    start.exchanged = true;
    qint64 from = previous ? previous->TakeNumber : between.constFirst()->OldBase;
    start.exchangeWrapped = between.constFirst()->OldFinal < from;
    for (const CounterExchange *e : std::as_const(between)) {
        const auto units = span(from, e->OldFinal, e->OldMaxBound);
        if (!units || __builtin_add_overflow(start.exchangedUnits, *units, &start.exchangedUnits))
            return std::nullopt;
        from = e->NewInitial;
    }
    start.previous = from;
    return start;
}

std::optional<ReadingFigures> PriceReading(const MeterInfo &meter, const CounterStart &start, qint64 counter,
                                           bool rollover, qint64 monthCurValue, qint64 monthCount)
{
    // One bill for the counters of an exchange: the old counter's span and the new one's.
    const auto units = ChargeCalc::Consumption(start.previous, counter, start.maxBound, 1, rollover);
    qint64 total = 0;
    qint64 consumption = 0;
    if (!units || __builtin_add_overflow(*units, start.exchangedUnits, &total)
        || __builtin_mul_overflow(total, meter.Multiple, &consumption) || consumption < 0
        || !fitsInt32(consumption))
        return std::nullopt;
    // U: the month's earlier consumption with their additional quantities.
    qint64 monthSubjoin = 0;
    qint64 used = 0;
    if (__builtin_mul_overflow(monthCount, meter.SubjoinNumber, &monthSubjoin)
        || __builtin_add_overflow(monthCurValue, monthSubjoin, &used))
        return std::nullopt;
    ChargeCalc::SplitInput in;
    in.curValue = consumption;
    in.subjoin = meter.SubjoinNumber;
    in.price = meter.PriceNumber;
    in.exceedPrice = meter.ExceedPrice;
    in.quota = meter.Quota;
    in.quotaUnits = meter.QuotaNumber;
    in.usedInMonth = used;
    const auto split = ChargeCalc::SplitCharge(in);
    if (!split)
        return std::nullopt;
    return ReadingFigures{ qint32(consumption), split->charge, split->quotaCharge };
}

QString MeterKey(const QString &number)
{
    return TrimBlanks(number).toCaseFolded();
}

QString TrimBlanks(const QString &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin).unicode() <= u' ')
        ++begin;
    while (end > begin && text.at(end - 1).unicode() <= u' ')
        --end;
    return text.mid(begin, end - begin);
}

void SetMessageSink(std::function<void(const QString &)> sink)
{
    messageSink() = std::move(sink);
}

void RequestTerminate()
{
    if (terminateRequested)
        return;
    terminateRequested = true;
    if (terminateHandler())
        terminateHandler()();
}

bool TerminateRequested()
{
    return terminateRequested;
}

void SetTerminateHandler(std::function<void()> handler)
{
    terminateHandler() = std::move(handler);
}

void ClearTerminateRequest()
{
    terminateRequested = false;
}

TKelvaraMg::TKelvaraMg(QObject *parent) : QObject(parent)
{
    FQuery = new DataSet(this);
    FQuery->setObjectName(QStringLiteral("FQuery"));
    BindQuery(FQuery);
}

TKelvaraMg::~TKelvaraMg()
{
    if (KelvaraMg == this)
        KelvaraMg = nullptr;
}

bool TKelvaraMg::BindQuery(DataSet *query)
{
    query->setConnectionName(Database::mainConnectionName());
    if (!Database::exists()) {
        ShowMessageText(QStringLiteral("数据库连接错误！请检查数据库文件是不是在目录‘\\MDB 下！’"));
        RequestTerminate();
        return false;
    }
    return true;
}

void TKelvaraMg::RunQuery(const QString &sql, const QVariantMap &params)
{
    BindQuery(FQuery);
    FQuery->close();
    FQuery->setSql(sql);
    for (auto it = params.constBegin(); it != params.constEnd(); ++it)
        FQuery->setParam(it.key(), it.value());
    try {
        FQuery->open();
    } catch (const DatabaseError &e) {
        if (e.kind() == DatabaseError::Damaged)
            Database::markDamaged();
        ShowMessageText(e.namesCause() ? e.operatorText() : QStringLiteral("数据集打开错误！"));
    }
}

QList<QVariantList> TKelvaraMg::LookUp(const QString &sql, const QVariantMap &params)
{
    QList<QVariantList> rows;
    try {
        const QSqlDatabase db = Database::connection();
        // Bound by position, in the order the names stand in the text: binding by name costs
        // more than the statement itself. A text naming one value twice is bound by name.
        static thread_local QHash<QString, QStringList> namesOf;
        auto names = namesOf.find(sql);
        if (names == namesOf.end()) {
            static const QRegularExpression placeholder(QStringLiteral("(?<![:\\w]):([A-Za-z_]\\w*)"));
            QStringList found;
            for (const QRegularExpressionMatch &m : placeholder.globalMatch(sql))
                found << m.captured(1);
            if (found.removeDuplicates() > 0)
                found.clear();
            names = namesOf.insert(sql, found);
        }
        QSqlQuery &query = cachedQuery(db, sql, int(names->size()));
        if (names->isEmpty()) {
            for (auto it = params.constBegin(); it != params.constEnd(); ++it)
                query.bindValue(u':' + it.key(), it.value());
        } else {
            for (int i = 0; i < names->size(); ++i)
                query.bindValue(i, params.value(names->at(i)));
        }
        bool ok = query.exec();
        const int columns = query.record().count();
        while (ok && query.next()) {
            QVariantList row;
            row.reserve(columns);
            for (int i = 0; i < columns; ++i)
                row << query.value(i);
            rows << std::move(row);
        }
        const QSqlError error = query.lastError();
        query.finish();
        if (!ok || error.isValid())
            throw DatabaseError::fromSqlError(error, db);
    } catch (const DatabaseError &e) {
        if (e.kind() == DatabaseError::Damaged)
            Database::markDamaged();
        ShowMessageText(e.namesCause() ? e.operatorText() : QStringLiteral("数据集打开错误！"));
        throw DatabaseError(QStringLiteral("数据集没有打开！"));
    }
    return rows;
}

QString TKelvaraMg::GetUsingUnitName()
{
    RunQuery(QStringLiteral("Select WrokShopName from WorkShop Where WorkShopLevel = 0 and ResideWorkShopID = 0"));
    if (FQuery->isActive() && FQuery->isEmpty())
        return {};
    return FQuery->value(0).toString();
}

QDate StoredDay(const QVariant &value)
{
    if (value.metaType().id() == QMetaType::QDate || value.metaType().id() == QMetaType::QDateTime)
        return value.toDate();
    return QDate::fromString(value.toString().left(10), Qt::ISODate);
}

QString MeterNotFoundText(const QString &meterNo)
{
    return QStringLiteral("编号为 ") + meterNo + QStringLiteral(" 的表不存在或没有设置执行单价！");
}

QString ExchangeDayText(const QString &meterNo, const QDate &date)
{
    return QStringLiteral("表 %1 于 %2 换表，不能录入换表当天的抄表数！").arg(meterNo, date.toString(Qt::ISODate));
}

QString UnusualQuestionText(const UnusualReading &reading)
{
    return QStringLiteral("表 ") + reading.MeterNO + QStringLiteral(" 本次使用数量 ")
        + QString::number(reading.CurValue) + QStringLiteral("，近期日均 ") + reading.usual
        + QStringLiteral("，是否保存？");
}

QString RolloverQuestionText(qint32 typed, qint32 previous)
{
    return QStringLiteral("当前表数 ") + QString::number(typed) + QStringLiteral(" 小于上次表数 ")
        + QString::number(previous) + QStringLiteral("，表计数是否已归零重新计数？");
}

namespace ReadingSql {

namespace {

// The texts that differ by engine are built once for each: the computation asks for them several
// times for every reading. Every text's builder is a type of its own, with its own kept texts.
template <typename Build>
QString perEngine(Build build)
{
    static thread_local QHash<const Engine *, QString> texts;
    const Engine &engine = Database::engine();
    auto it = texts.constFind(&engine);
    if (it == texts.constEnd())
        it = texts.insert(&engine, build(engine));
    return *it;
}

}

QString meterNumbers()
{
    return QStringLiteral(
        "Select MeterNO from Meter where MeterKey(MeterNO) like MeterKey(:Pattern) escape '\\' "
        "order by MeterKey(MeterNO), MeterNO");
}

QString readOnDate()
{
    return perEngine([](const Engine &engine) {
        return QStringLiteral("Select * from TakeMeter where %1 and TakeTime = :TakeTime")
            .arg(engine.sameMeter(QStringLiteral("MeterID"), QStringLiteral(":MeterNO")));
    });
}

QString meterInfo()
{
    return perEngine([](const Engine &engine) {
        return QStringLiteral(
                   "Select m.MeterNO, p.PriceNumber, p.ExceedPrice, m.BaseNumber, m.MaxBound, m.Quota, "
                   "m.SubjoinNumber, m.Multiple, m.WorkShopID, m.SubWorkShopID "
                   "from Meter m, Price p where m.PriceID = p.PriceID and %1")
            .arg(engine.sameMeter(QStringLiteral("m.MeterNO"), QStringLiteral(":MeterNO")));
    });
}

QString monthWindow()
{
    return perEngine([](const Engine &engine) {
        return QStringLiteral(
                   "Select Count(1), Sum(Charge), Sum(QuotaCharge), Sum(CurValue) from TakeMeter "
                   "where %1 and TakeTime >= :FirstDay and TakeTime < :TakeTime")
            .arg(engine.sameMeter(QStringLiteral("MeterID"), QStringLiteral(":MeterNO")));
    });
}

QString previousCounter()
{
    return perEngine([](const Engine &engine) {
        // The latest earlier date: the unique (MeterID, TakeTime) index read backwards, one row.
        return QStringLiteral(
                   "Select TakeTime, TakeNumber from TakeMeter where %1 and TakeTime < :TakeTime "
                   "and TakeNumber is not null order by TakeTime desc limit 1")
            .arg(engine.sameMeter(QStringLiteral("MeterID"), QStringLiteral(":MeterNO")));
    });
}

QString recentReadings()
{
    return perEngine([](const Engine &engine) {
        // The unique (MeterID, TakeTime) order read backwards from the covering index.
        return QStringLiteral(
                   "Select TakeTime, TakeNumber, CurValue from TakeMeter where %1 and TakeTime < :TakeTime "
                   "and TakeNumber is not null order by TakeTime desc limit %2")
            .arg(engine.sameMeter(QStringLiteral("MeterID"), QStringLiteral(":MeterNO")))
            .arg(Unusual::History);
    });
}

QString exchangesAfter()
{
    return perEngine([](const Engine &engine) {
        return QStringLiteral(
                   "Select ExchangeDate, OldFinal, OldBase, OldMaxBound, NewInitial, NewMaxBound from MeterExchange "
                   "where %1 and ExchangeDate >= :From order by ExchangeDate")
            .arg(engine.sameMeter(QStringLiteral("MeterID"), QStringLiteral(":MeterNO")));
    });
}

QString beforeAnyDate()
{
    // The first day a date of the program can name, and a date on both engines.
    return QStringLiteral("0001-01-01");
}

QString prefixPattern(const QString &typed)
{
    QString pattern;
    pattern.reserve(typed.size() + 2);
    for (const QChar c : typed) {
        if (c == u'\\' || c == u'%' || c == u'_')
            pattern += u'\\';
        pattern += c;
    }
    return pattern + u'%';
}

}

DataSet *TKelvaraMg::FindMeterNumbers(const QString &meterNo)
{
    RunQuery(ReadingSql::meterNumbers(),
             { { QStringLiteral("Pattern"), ReadingSql::prefixPattern(TrimBlanks(meterNo)) } });
    return FQuery;
}

bool TKelvaraMg::IsReadOnDate(const QString &meterNo, const QDate &date)
{
    BindQuery(FQuery);
    return !LookUp(ReadingSql::readOnDate(), { { QStringLiteral("MeterNO"), meterNo },
                                               { QStringLiteral("TakeTime"), date.toString(Qt::ISODate) } })
                .isEmpty();
}

bool TKelvaraMg::PrepareReading(const QString &meterNo, qint32 takeNumber, const QDate &date)
{
    FMeterInfo.reset();
    FReadingInfo.reset();
    const QString day = date.toString(Qt::ISODate);
    const QString rangeMessage = QStringLiteral("使用数量超出范围，请检查抄表数！");
    BindQuery(FQuery);

    const QList<QVariantList> meters = LookUp(ReadingSql::meterInfo(), { { QStringLiteral("MeterNO"), meterNo } });
    if (meters.size() != 1) {
        ShowMessageText(MeterNotFoundText(meterNo));
        return false;
    }
    const MeterInfo meter = ReadMeterInfo([&meters](int column) { return meters.constFirst().value(column); });

    ReadingInfo reading;
    const QVariantList month = LookUp(ReadingSql::monthWindow(),
                                      { { QStringLiteral("MeterNO"), meterNo },
                                        { QStringLiteral("FirstDay"), FormatMonth(date) + QStringLiteral("-01") },
                                        { QStringLiteral("TakeTime"), day } })
                                   .value(0);
    reading.ReadCount = month.value(0).toLongLong();
    reading.MonthCharge = Currency::fromUnits(month.value(1).toLongLong());
    reading.MonthQuotaCharge = Currency::fromUnits(month.value(2).toLongLong());
    reading.MonthCurValue = month.value(3).toLongLong();

    // The latest earlier readings: the first is the previous counter value (a stored 0 is a real
    // counter value; only a meter never read before starts from its base), all of them the
    // history an unusual reading is told by.
    QList<Unusual::Past> recent;
    std::optional<PreviousReading> previousReading;
    for (const QVariantList &row : LookUp(ReadingSql::recentReadings(), { { QStringLiteral("MeterNO"), meterNo },
                                                                           { QStringLiteral("TakeTime"), day } })) {
        const QDate taken = StoredDay(row.value(0));
        if (!previousReading)
            previousReading = PreviousReading{ taken, row.value(1).toLongLong() };
        recent << Unusual::Past{ taken, row.value(2).toLongLong() };
    }
    // The counters exchanged since then, and the one in place on the date: almost always none.
    QList<CounterExchange> exchanges;
    for (const QVariantList &row :
         LookUp(ReadingSql::exchangesAfter(),
                { { QStringLiteral("MeterNO"), meterNo },
                  { QStringLiteral("From"), previousReading ? previousReading->day.toString(Qt::ISODate)
                                                            : ReadingSql::beforeAnyDate() } }))
        exchanges << CounterExchange{ StoredDay(row.value(0)),    row.value(1).toLongLong(), row.value(2).toLongLong(),
                                      row.value(3).toLongLong(), row.value(4).toLongLong(), row.value(5).toLongLong() };
    reading.TakeNumber = takeNumber;
    reading.TakeTime = date;

    for (const CounterExchange &e : std::as_const(exchanges))
        if (e.day == date) {
            ShowMessageText(ExchangeDayText(meter.MeterNO, date));
            return false;
        }
    const std::optional<CounterStart> start = MeasureFrom(meter, previousReading, exchanges, date);
    if (takeNumber < 0) {
        ShowMessageText(QStringLiteral("抄表数不能小于零！"));
        return false;
    }
    if (start && takeNumber > start->maxBound) {
        ShowMessageText(QStringLiteral("抄表数大于表的最大计数范围：") + QString::number(start->maxBound));
        return false;
    }
    if (!start || !fitsInt32(start->previous)) {
        ShowMessageText(rangeMessage);
        return false;
    }
    reading.LastTakeNumber = qint32(start->previous);
    // A lower value is a typing slip as often as a rollover: only the operator can tell.
    const bool rollover = takeNumber < start->previous;
    if (rollover && (!FConfirmRollover || !FConfirmRollover(takeNumber, reading.LastTakeNumber)))
        return false;

    const auto figures =
        PriceReading(meter, *start, takeNumber, rollover, reading.MonthCurValue, reading.ReadCount);
    if (!figures) {
        ShowMessageText(rangeMessage);
        return false;
    }
    if (FConfirmUnusual) {
        UnusualReading unusual{ meter.MeterNO, date, figures->CurValue, QString(), rollover };
        const std::optional<Unusual::Rate> usual = Unusual::usual(recent);
        if (usual)
            unusual.usual = Unusual::text(*usual);
        // A reading after no earlier one has no days to compare; a rollover is unusual always.
        const bool odd = rollover
            || (usual && Unusual::judge(figures->CurValue, previousReading->day.daysTo(date), *usual)
                    != Unusual::Verdict::Usual);
        if (odd && !FConfirmUnusual(unusual))
            return false;
    }
    reading.CurValue = figures->CurValue;
    reading.MonthSubjoin = reading.ReadCount * meter.SubjoinNumber;   // PriceReading checked its range
    FMeterInfo = meter;
    FReadingInfo = reading;
    FFigures = *figures;
    FExchanges = exchanges;
    return true;
}

void TKelvaraMg::ComputeCharge()
{
    if (!FMeterInfo || !FReadingInfo)
        throw std::logic_error("ComputeCharge without a reading prepared by PrepareReading");
    SetCurValue(FFigures.CurValue);
    SetCharge(FFigures.Charge);
    SetQuotaCharge(FFigures.QuotaCharge);
    SetTakeNumber(FReadingInfo->LastTakeNumber);
    FMeterInfo.reset();
    FReadingInfo.reset();
}

QString TKelvaraMg::FormatMonth(const QDate &date)
{
    return date.toString(QStringLiteral("yyyy-MM"));
}

QString TKelvaraMg::GetAppDir()
{
    return QCoreApplication::applicationDirPath() + u'/';
}

TKelvaraMg::HeldMessages::HeldMessages(TKelvaraMg &manager) : m_manager(manager), m_outer(manager.m_heldMessages)
{
    m_manager.m_heldMessages = &m_texts;
}

TKelvaraMg::HeldMessages::~HeldMessages()
{
    m_manager.m_heldMessages = m_outer;
    for (const QString &text : std::as_const(m_texts))
        m_manager.ShowMessageText(text);
}

void TKelvaraMg::ShowMessageText(const QString &text) const
{
    if (TerminateRequested())
        return;
    if (m_heldMessages) {
        m_heldMessages->append(text);
        return;
    }
    if (messageSink())
        messageSink()(text);
    else
        qWarning().noquote() << text;
}
