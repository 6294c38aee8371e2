// The data manager's general services: binding, running statements, the using unit, messages.
#include "DataSet.h"
#include "Database.h"
#include "TestDatabase.h"
#include "UCommon.h"

#include <QFile>
#include <QtTest>

class TstUCommon : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void usingUnitName();
    void usingUnitNameOfEmptyTable();
    void failedStatementShowsMessageAndLeavesQueryClosed();
    void missingFileRequestsTheEnd();
    void formatMonthAndTrim();

private:
    QStringList shown;
};

void TstUCommon::init()
{
    shown.clear();
    SetMessageSink([this](const QString &text) { shown << text; });
}

void TstUCommon::cleanup()
{
    SetMessageSink({});
    ClearTerminateRequest();
}

void TstUCommon::usingUnitName()
{
    TestDatabase t;
    t.setUsingUnit(QStringLiteral("红星'厂"), QStringLiteral("pw"));
    t.addWorkshop(QStringLiteral("一部"), 1, 1);
    TKelvaraMg mg;
    QCOMPARE(mg.GetUsingUnitName(), QStringLiteral("红星'厂"));
    QVERIFY(shown.isEmpty());
}

void TstUCommon::usingUnitNameOfEmptyTable()
{
    TestDatabase t;
    TKelvaraMg mg;
    QCOMPARE(mg.GetUsingUnitName(), QString());
}

void TstUCommon::failedStatementShowsMessageAndLeavesQueryClosed()
{
    TestDatabase t;
    TKelvaraMg mg;
    mg.RunQuery(QStringLiteral("select * from NoSuchTable"));
    QCOMPARE(shown, QStringList({ "数据集打开错误！" }));
    QVERIFY(!mg.FQuery->isActive());
    QVERIFY_THROWS_EXCEPTION(DatabaseError, mg.FQuery->value(0));
    mg.RunQuery(QStringLiteral("select count(*) from Meter where MeterNO = :n"), { { "n", QStringLiteral("x") } });
    QCOMPARE(mg.FQuery->value(0).toInt(), 0);
}

void TstUCommon::missingFileRequestsTheEnd()
{
    TestDatabase t;
    Database::closeConnection();
    QVERIFY(QFile::remove(t.path()));
    int ends = 0;
    SetTerminateHandler([&] { ++ends; });
    TKelvaraMg mg;
    QCOMPARE(shown, QStringList({ "数据库连接错误！请检查数据库文件是不是在目录‘\\MDB 下！’" }));
    QVERIFY(TerminateRequested());
    QCOMPARE(ends, 1);
    // From the request on nothing more is shown; the statement fails and reading fails.
    QVERIFY_THROWS_EXCEPTION(DatabaseError, mg.GetUsingUnitName());
    QCOMPARE(shown.size(), 1);
    QVERIFY(!QFile::exists(t.path()));
    SetTerminateHandler({});
}

void TstUCommon::formatMonthAndTrim()
{
    QCOMPARE(TKelvaraMg::FormatMonth(QDate(2004, 5, 31)), QStringLiteral("2004-05"));
    QCOMPARE(TrimBlanks(QStringLiteral("\t pw \r\n")), QStringLiteral("pw"));
    QCOMPARE(TrimBlanks(QStringLiteral("\u3000pw")), QStringLiteral("\u3000pw"));   // only blanks and controls
    QVERIFY(TKelvaraMg::GetAppDir().endsWith(u'/'));
}

QTEST_GUILESS_MAIN(TstUCommon)
#include "tst_UCommon.moc"
