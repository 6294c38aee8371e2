// UCommon.h: the data manager: binds query objects to the database, runs the shared look-ups,
// shows the standard message and carries the result of the last reading computation.
#pragma once

#include "Currency.h"

#include <QDate>
#include <QObject>
#include <QString>
#include <QVariantMap>
#include <functional>

class DataSet;

// Removes leading and trailing characters at or below the blank (spaces and control characters).
QString TrimBlanks(const QString &text);

// Where ShowMessageText's texts go: the application shows them in the standard box
// ("错误提示", information icon); a test records them.
void SetMessageSink(std::function<void(const QString &text)> sink);

// A request to end the program takes effect when control returns to the event loop;
// from the request on no message is shown.
void RequestTerminate();
bool TerminateRequested();
void SetTerminateHandler(std::function<void()> handler);
void ClearTerminateRequest();

class TKelvaraMg : public QObject
{
    Q_OBJECT
public:
    explicit TKelvaraMg(QObject *parent = nullptr);
    ~TKelvaraMg() override;

    // Connects a query object to the program's database. A missing file shows the
    // connection message and requests the end of the program; returns false then.
    bool BindQuery(DataSet *query);
    // Runs a SELECT on FQuery with named parameters; a failure shows "数据集打开错误！" and leaves
    // FQuery closed, so that reading it fails.
    void RunQuery(const QString &sql, const QVariantMap &params = {});
    QString GetUsingUnitName();
    static QString FormatMonth(const QDate &date);
    static QString GetAppDir();
    void ShowMessageText(const QString &text) const;

    void SetCurValue(qint32 value) { FCurValue = value; }
    void SetCharge(Currency value) { FCharge = value; }
    void SetQuotaCharge(Currency value) { FQuotaCharge = value; }
    void SetTakeNumber(qint32 value) { FTakeNumber = value; }

    DataSet *FQuery = nullptr;
    qint32 FCurValue = 0;
    Currency FCharge;
    Currency FQuotaCharge;
    qint32 FTakeNumber = 0;
};

extern TKelvaraMg *KelvaraMg;
