// The reading entry without a window: saves that arrive by the grid or the navigator rather than by
// Enter, corrections, and the rows of the reading date.
#include "DataSet.h"
#include "Database.h"
#include "ReadingFixture.h"
#include "TakeMeterEntry.h"

#include <QtTest>

namespace {

const QDate day1(2005, 3, 8);
using Meter = TakeMeterEntry::MeterResult;
using Save = TakeMeterEntry::SaveResult;

}

class TstTakeMeterEntry : public QObject
{
    Q_OBJECT
private slots:
    void cleanup() { ClearTerminateRequest(); }
    void opensTheRowsOfTheReadingDate();
    void editedRowIsPricedByItsOwnMeter();
    void editToAnotherReadMeterIsRefused();
    void storedRowOutsideTheRows();
    void anotherMeterWhileCorrecting();
    void startWhileTyping();
    void failedOpening();
};

void TstTakeMeterEntry::opensTheRowsOfTheReadingDate()
{
    ReadingFixture f;
    f.t.addReading(QStringLiteral("W"), day1, 1005, 50, yuan("27.5"), yuan("0"));
    f.t.addReading(QStringLiteral("10"), day1.addDays(1), 7, 7, yuan("7"), yuan("0"));
    TakeMeterEntry e(f.mg, nullptr);
    QCOMPARE(e.ReadingDate(), QDate::currentDate());
    e.setReadingDate(day1);
    QCOMPARE(e.adoTakeMeter()->recordCount(), 1);
    QCOMPARE(e.adoTakeMeter()->asString(QStringLiteral("MeterID")), QStringLiteral("W"));
    // A row being typed is dropped with the old date's rows; the same date leaves it alone.
    QVERIFY(e.start());
    e.setReadingDate(day1);
    QCOMPARE(e.adoTakeMeter()->state(), DataSet::Insert);
    e.setReadingDate(day1.addDays(1));
    QCOMPARE(e.adoTakeMeter()->state(), DataSet::Browse);
    QCOMPARE(e.adoTakeMeter()->asString(QStringLiteral("MeterID")), QStringLiteral("10"));
    QVERIFY(f.rec.boxes().isEmpty());
}

void TstTakeMeterEntry::editedRowIsPricedByItsOwnMeter()
{
    ReadingFixture f;
    f.t.addReading(QStringLiteral("W"), day1, 1005, 0, yuan("0"), yuan("0"));
    TakeMeterEntry e(f.mg, nullptr);
    e.setReadingDate(day1);
    // The last meter typed was another one; the grid's row still computes as W.
    QCOMPARE(e.meterEntered(QStringLiteral("2001")), Meter::ToCounter);
    e.adoTakeMeter()->cancel();
    e.adoTakeMeter()->first();
    e.adoTakeMeter()->edit();
    e.adoTakeMeter()->setValue(QStringLiteral("TakeNumber"), 1010);
    e.adoTakeMeter()->post();
    QCOMPARE(f.stored(), QStringList{ "W 2005-03-08 1010 100 52.5000 0.0000 today" });
}

void TstTakeMeterEntry::editToAnotherReadMeterIsRefused()
{
    ReadingFixture f;
    f.t.addReading(QStringLiteral("W"), day1, 1005, 50, yuan("27.5"), yuan("0"));
    f.t.addReading(QStringLiteral("10"), day1, 7, 7, yuan("7"), yuan("0"));
    const QStringList before = f.stored();
    TakeMeterEntry e(f.mg, nullptr);
    e.setReadingDate(day1);
    e.adoTakeMeter()->last();
    e.adoTakeMeter()->edit();
    e.adoTakeMeter()->setValue(QStringLiteral("MeterID"), QStringLiteral("w"));
    // The stored reading of 10 stays as it was; w's reading is a row of its own.
    QCOMPARE(e.adoTakeMeter()->state(), DataSet::Insert);
    QCOMPARE(e.adoTakeMeter()->recordCount(), 3);
    e.adoTakeMeter()->setValue(QStringLiteral("TakeNumber"), 1010);
    e.adoTakeMeter()->post();
    QCOMPARE(f.rec.summaries(), QStringList{ "错误提示|该表在这一天已经抄过了！|information|Ok" });
    QCOMPARE(e.adoTakeMeter()->state(), DataSet::Browse);
    QCOMPARE(f.stored(), before);
}

void TstTakeMeterEntry::storedRowOutsideTheRows()
{
    ReadingFixture f;
    TakeMeterEntry e(f.mg, nullptr);
    e.setReadingDate(day1);
    // Stored elsewhere after the rows were opened.
    f.t.addReading(QStringLiteral("W"), day1, 1005, 50, yuan("27.5"), yuan("0"));
    f.rec.answer(QMessageBox::Yes);
    QCOMPARE(e.meterEntered(QStringLiteral("W")), Meter::LocateFailed);
    QCOMPARE(f.rec.texts(), QStringList({ TakeMeterEntry::alreadyReadText(QStringLiteral("W")),
                                          QStringLiteral("表记录定位错!") }));
    QCOMPARE(e.adoTakeMeter()->state(), DataSet::Insert);
    QCOMPARE(e.adoTakeMeter()->recordCount(), 1);
}

void TstTakeMeterEntry::anotherMeterWhileCorrecting()
{
    ReadingFixture f;
    f.t.addReading(QStringLiteral("W"), day1, 1005, 50, yuan("27.5"), yuan("0"));
    TakeMeterEntry e(f.mg, nullptr);
    e.setReadingDate(day1);
    f.rec.answer(QMessageBox::Yes);
    QCOMPARE(e.meterEntered(QStringLiteral("W")), Meter::Correcting);
    QCOMPARE(e.adoTakeMeter()->state(), DataSet::Edit);
    // The same meter again keeps correcting; another one begins a reading of its own.
    QCOMPARE(e.meterEntered(QStringLiteral("w")), Meter::ToCounter);
    QCOMPARE(e.adoTakeMeter()->state(), DataSet::Edit);
    QCOMPARE(e.meterEntered(QStringLiteral("2001")), Meter::ToCounter);
    QCOMPARE(e.adoTakeMeter()->state(), DataSet::Insert);
    e.adoTakeMeter()->setValue(QStringLiteral("TakeNumber"), 6);
    QCOMPARE(e.counterEntered(), Save::Stored);
    QCOMPARE(f.stored(), QStringList({ "2001 2005-03-08 6 6 6.0000 0.0000 today",
                                       "W 2005-03-08 1005 50 27.5000 0.0000 2005-03-08" }));
}

void TstTakeMeterEntry::startWhileTyping()
{
    ReadingFixture f;
    TakeMeterEntry e(f.mg, nullptr);
    e.setReadingDate(day1);
    QVERIFY(e.start());
    e.adoTakeMeter()->setValue(QStringLiteral("MeterID"), QStringLiteral("W"));
    QVERIFY(!e.start());
    QCOMPARE(e.adoTakeMeter()->recordCount(), 1);
    QCOMPARE(e.adoTakeMeter()->asString(QStringLiteral("MeterID")), QStringLiteral("W"));
}

void TstTakeMeterEntry::failedOpening()
{
    ReadingFixture f;
    execSql(f.t.db(), QStringLiteral("ALTER TABLE TakeMeter RENAME TO TakeMeterOld"));
    TakeMeterEntry e(f.mg, nullptr);
    QVERIFY(!e.OpenReadings());
    QCOMPARE(f.rec.summaries(), QStringList{ "出错提示|打开表错误！|critical|Ok" });
    QVERIFY(!e.adoTakeMeter()->isActive());
    QVERIFY(!e.start());
}

QTEST_MAIN(TstTakeMeterEntry)
#include "tst_TakeMeterEntry.moc"
