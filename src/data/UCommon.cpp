#include "UCommon.h"

#include "DataSet.h"
#include "Database.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QtDebug>

TKelvaraMg *KelvaraMg = nullptr;

namespace {

std::function<void(const QString &)> &messageSink()
{
    static std::function<void(const QString &)> sink;
    return sink;
}

bool terminateRequested = false;

std::function<void()> &terminateHandler()
{
    static std::function<void()> handler;
    return handler;
}

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
    if (!QFileInfo::exists(Database::path())) {
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
    } catch (const DatabaseError &) {
        ShowMessageText(QStringLiteral("数据集打开错误！"));
    }
}

QString TKelvaraMg::GetUsingUnitName()
{
    RunQuery(QStringLiteral("Select WrokShopName from WorkShop Where WorkShopLevel = 0 and ResideWorkShopID = 0"));
    if (FQuery->isActive() && FQuery->isEmpty())
        return {};
    return FQuery->value(0).toString();
}

QString TKelvaraMg::FormatMonth(const QDate &date)
{
    return date.toString(QStringLiteral("yyyy-MM"));
}

QString TKelvaraMg::GetAppDir()
{
    return QCoreApplication::applicationDirPath() + u'/';
}

void TKelvaraMg::ShowMessageText(const QString &text) const
{
    if (TerminateRequested())
        return;
    if (messageSink())
        messageSink()(text);
    else
        qWarning().noquote() << text;
}
