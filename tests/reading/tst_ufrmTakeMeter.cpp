// The continuous reading window driven by keys: the cycle of meter number, Enter, counter value,
// Enter; corrections, the chooser, refusals, the navigator, the date, and hostile input.
#include "DBEditEh.h"
#include "DBGridEh.h"
#include "Database.h"
#include "MyNavEh.h"
#include "ReadingFixture.h"
#include "TakeMeterEntry.h"
#include "ufrmTakeMeter.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDateEdit>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QElapsedTimer>
#include <QTableWidget>
#include <QTimer>
#include <QtTest>

namespace {

const QDate day1(2005, 3, 8);

struct Window : ReadingFixture
{
    QPointer<TfrmTakeMeter> w;

    ~Window() { delete w; }
    void open(const QDate &date)
    {
        w = new TfrmTakeMeter;
        w->resize(800, 560);
        w->show();
        QApplication::setActiveWindow(w);
        QVERIFY(QTest::qWaitForWindowActive(w));
        pick(date);
    }
    template <typename T>
    T *child(const char *name) const { return w->findChild<T *>(QString::fromLatin1(name)); }
    TDBEditEh *edit(const char *name) const { return child<TDBEditEh>(name); }
    QTableWidget *list() const { return child<QTableWidget>("ListView1"); }
    bool chooserShown() const { return child<QFrame>("Panel4")->isVisible(); }
    DataSet *rows() const { return w->entry()->adoTakeMeter(); }
    QWidget *focus() const { return QApplication::focusWidget(); }
    // A date taken from the calendar.
    void pick(const QDate &date) const { child<QDateEdit>("DTMeter")->setDate(date); }
    void press(const char *button) const { QTest::mouseClick(child<QAbstractButton>(button), Qt::LeftButton); }
    // Types into a box that has the focus, then presses Enter.
    void enter(const char *box, const QString &text) const
    {
        TDBEditEh *e = edit(box);
        e->setFocus();
        QTest::keyClicks(e, text);
        QTest::keyClick(e, Qt::Key_Return);
    }
    void reading(const QString &meter, const QString &counter) const
    {
        enter("DBEditEh3", meter);
        enter("DBEditEh4", counter);
    }
    // The grid's rows as shown, the columns joined by blanks.
    QStringList grid() const
    {
        const QAbstractItemModel *m = child<TDBGridEh>("DBGridEh1")->model();
        QStringList out;
        for (int r = 0; r < m->rowCount(); ++r) {
            QStringList cells;
            for (int c = 0; c < m->columnCount(); ++c)
                cells << m->index(r, c).data().toString();
            out << cells.join(u' ');
        }
        return out;
    }
    QStringList choices() const
    {
        QStringList out;
        for (int r = 0; r < list()->rowCount(); ++r)
            out << list()->item(r, 0)->text() + u' ' + list()->item(r, 1)->text();
        return out;
    }
};

QString today()
{
    return QLocale().toString(QDate::currentDate(), QLocale::ShortFormat);
}

}

class TstufrmTakeMeter : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup() { ClearTerminateRequest(); }
    void controls();
    void typicalCycle();
    void alreadyRead_data();
    void alreadyRead();
    void chooser();
    void chooserWithoutSelection();
    void chooserAsksAboutAReadMeter();
    void onlyPrefixMatchIsAccepted();
    void noMatch();
    void maximumCount_data();
    void maximumCount();
    void lowerValue_data();
    void lowerValue();
    void refusedCorrectionKeepsStoredReading();
    void typingWhileBrowsingBeginsNewRow();
    void navigatorDelete_data();
    void navigatorDelete();
    void keyboardDateChangeReopensRows();
    void pickerKeepsItsRange();
    void badInput_data();
    void badInput();
    void chooserCancelledByKeys_data();
    void chooserCancelledByKeys();
    void chooserLeftOpenCloses();
    void correctionNeverTakesAnotherMeter_data();
    void correctionNeverTakesAnotherMeter();
    void rolloverQuestionDefaultsToNo_data();
    void rolloverQuestionDefaultsToNo();
    void everySaveBeginsTheNextRow();
    void focusAfterRefusals();
    void chooserByMouseAndEnds();
    void laterReadingsRepricedAndTold();
    void chosenLegacyNumberIsTheOneStored();
    void deleteOfARenamedMetersReadingIsNotSilent();
};

void TstufrmTakeMeter::initTestCase()
{
    QApplication::setApplicationName(QStringLiteral("Kelvara"));
    // The office's locale writes short dates as 2005/3/8.
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
}

void TstufrmTakeMeter::controls()
{
    Window f;
    f.open(day1);
    QCOMPARE(frmTakeMeter, f.w.data());
    QCOMPARE(f.w->windowTitle(), QStringLiteral("frmTakeMeter"));
    QVERIFY(f.w->testAttribute(Qt::WA_DeleteOnClose));
    QCOMPARE(f.child<QPushButton>("BitBtn1")->text(), QStringLiteral("开始抄表"));
    auto *picker = f.child<QDateEdit>("DTMeter");
    QVERIFY(picker->calendarPopup());
    QCOMPARE(picker->minimumDate(), QDate(2000, 1, 1));
    QCOMPARE(picker->maximumDate(), QDate(2050, 12, 31));
    QCOMPARE(picker->text(), QStringLiteral("2005/3/8"));

    // Bound fields; only the meter number and the counter value take keys.
    QStringList bound;
    for (const char *name : { "DBEditEh3", "DBEditEh4", "DBEditEh1", "DBCharge", "DBEditEh2" })
        bound << QString::fromLatin1(name) + u' ' + f.edit(name)->dataField() + (f.edit(name)->isEnabled() ? "" : " disabled");
    QCOMPARE(bound, QStringList({ "DBEditEh3 MeterID", "DBEditEh4 TakeNumber", "DBEditEh1 CurValue disabled",
                                  "DBCharge Charge disabled", "DBEditEh2 QuotaCharge disabled" }));
    QVERIFY(f.edit("DBEditEh4")->isHistoryEnabled());
    QCOMPARE(f.edit("DBEditEh3")->maxLength(), 10);
    QCOMPARE(f.edit("DBEditEh3")->nextInFocusChain(), f.edit("DBEditEh4"));

    auto *grid = f.child<TDBGridEh>("DBGridEh1");
    QStringList columns;
    for (int c = 0; c < grid->model()->columnCount(); ++c)
        columns << grid->model()->headerData(c, Qt::Horizontal).toString() + u' '
                + QString::number(grid->columnWidth(c));
    QCOMPARE(columns, QStringList({ "表编号 85", "当前表数 80", "使用数量 75", "计划费用 70", "超出费用 70",
                                    "抄表时间 85", "录入时间 85" }));
    QCOMPARE(f.child<TMyDBNavigator>("MyDBNavigator1")->dataSet(), f.rows());

    auto *panel = f.child<QFrame>("Panel4");
    QVERIFY(!panel->isVisible());
    QCOMPARE(panel->geometry(), QRect(176, 54, 233, 281));
    QCOMPARE(f.list()->horizontalHeaderItem(0)->text(), QStringLiteral("顺号"));
    QCOMPARE(f.list()->horizontalHeaderItem(1)->text(), QStringLiteral("编号"));
    QCOMPARE(f.list()->columnWidth(0), 70);
    QCOMPARE(f.list()->columnWidth(1), 100);
    QCOMPARE(f.child<QPushButton>("BitBtn2")->text(), QStringLiteral("确定"));
    QCOMPARE(f.child<QPushButton>("BitBtn3")->text(), QStringLiteral("取消"));
    QVERIFY(f.rec.boxes().isEmpty());
}

void TstufrmTakeMeter::typicalCycle()
{
    Window f;
    f.open(day1);
    f.press("BitBtn1");
    QCOMPARE(f.focus(), f.edit("DBEditEh3"));

    // The worked example, one reading date after another; the third exceeds a used-up quota.
    const struct
    {
        QDate date;
        const char *counter;
    } readings[] = { { day1, "1005" }, { QDate(2005, 3, 17), "1020" }, { QDate(2005, 3, 25), "1040" } };
    for (const auto &r : readings) {
        f.pick(r.date);
        QTest::keyClicks(f.edit("DBEditEh3"), QStringLiteral("w"));
        QTest::keyClick(f.edit("DBEditEh3"), Qt::Key_Return);
        QCOMPARE(f.edit("DBEditEh3")->text(), QStringLiteral("W"));
        QCOMPARE(f.focus(), f.edit("DBEditEh4"));
        QTest::keyClicks(f.edit("DBEditEh4"), QString::fromLatin1(r.counter));
        QTest::keyClick(f.edit("DBEditEh4"), Qt::Key_Return);
        QCOMPARE(f.focus(), f.edit("DBEditEh3"));
        QCOMPARE(f.rows()->state(), DataSet::Insert);
    }
    QCOMPARE(f.stored(), QStringList({ "W 2005-03-08 1005 50 27.5000 0.0000 today",
                                       "W 2005-03-17 1020 150 72.5000 8.0000 today",
                                       "W 2005-03-25 1040 200 0.0000 164.0000 today" }));
    // The date's reading, then the empty row that waits for the next meter.
    QCOMPARE(f.grid(), QStringList({ "W 1040 200 0.00 164.00 2005/3/25 " + today(), QString(6, u' ') }));
    QVERIFY(f.rec.boxes().isEmpty());
}

void TstufrmTakeMeter::alreadyRead_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QStringList>("later");
    // Yes opens the stored reading; its correction is priced as if it had not been there.
    QTest::newRow("Yes corrects") << int(QMessageBox::Yes) << "W 2005-03-08 1010 100 52.5000 0.0000 today"
                                  << QStringList();
    // No leaves a new row for W, which a save refuses.
    QTest::newRow("No refuses a second reading")
        << int(QMessageBox::No) << "W 2005-03-08 1005 50 27.5000 0.0000 2005-03-08"
        << QStringList{ "错误提示|该表在这一天已经抄过了！|information|Ok" };
}

void TstufrmTakeMeter::alreadyRead()
{
    QFETCH(int, answer);
    Window f;
    f.t.addReading(QStringLiteral("W"), day1, 1005, 50, yuan("27.5"), yuan("0"));
    f.open(day1);
    f.rec.answer(QMessageBox::StandardButton(answer));
    f.enter("DBEditEh3", QStringLiteral("W"));
    QCOMPARE(f.rec.summaries(),
             QStringList{ "提示|表号为 W 的表在今天已抄过了,你要对它进行修改吗？|question|Yes+No" });
    QCOMPARE(f.rows()->state(), answer == QMessageBox::Yes ? DataSet::Edit : DataSet::Insert);
    QCOMPARE(f.focus(), answer == QMessageBox::Yes ? f.edit("DBEditEh4") : f.edit("DBEditEh3"));
    f.rec.clear();
    f.enter("DBEditEh4", QStringLiteral("1010"));
    QTEST(f.rec.summaries(), "later");
    QFETCH(QString, stored);
    QCOMPARE(f.stored(), QStringList{ stored });
}

void TstufrmTakeMeter::chooser()
{
    Window f;
    f.open(day1);
    f.enter("DBEditEh3", QStringLiteral("10"));
    QVERIFY(f.chooserShown());
    QCOMPARE(f.choices(), QStringList({ "1 10", "2 101", "3 10A" }));
    QCOMPARE(f.focus(), f.list());
    // The exact number is selected: Enter takes it.
    QTest::keyClick(f.list(), Qt::Key_Return);
    QVERIFY(!f.chooserShown());
    QCOMPARE(f.edit("DBEditEh3")->text(), QStringLiteral("10"));
    QCOMPARE(f.focus(), f.edit("DBEditEh4"));
    QTest::keyClicks(f.edit("DBEditEh4"), QStringLiteral("7"));
    QTest::keyClick(f.edit("DBEditEh4"), Qt::Key_Return);

    // Another choice by the arrow keys and "确定".
    f.enter("DBEditEh3", QStringLiteral("10"));
    QTest::keyClick(f.list(), Qt::Key_Down);
    QTest::keyClick(f.list(), Qt::Key_Down);
    f.press("BitBtn2");
    QCOMPARE(f.edit("DBEditEh3")->text(), QStringLiteral("10A"));
    f.enter("DBEditEh4", QStringLiteral("9"));
    QCOMPARE(f.stored(), QStringList({ "10 2005-03-08 7 7 7.0000 0.0000 today",
                                       "10A 2005-03-08 9 9 9.0000 0.0000 today" }));
    QVERIFY(f.rec.boxes().isEmpty());
}

void TstufrmTakeMeter::chooserWithoutSelection()
{
    Window f;
    f.open(day1);
    f.enter("DBEditEh3", QStringLiteral("1"));
    QCOMPARE(f.choices(), QStringList({ "1 10", "2 101", "3 10A" }));
    QVERIFY(f.list()->selectedItems().isEmpty());
    // Nothing is chosen yet: Enter and "确定" are ignored.
    QTest::keyClick(f.list(), Qt::Key_Return);
    f.press("BitBtn2");
    QVERIFY(f.chooserShown());
    QVERIFY(f.rec.boxes().isEmpty());
    f.press("BitBtn3");
    QVERIFY(!f.chooserShown());
    QCOMPARE(f.rec.summaries(), QStringList{ "操作提示|表编号查找失败！|information|Ok" });
    QVERIFY(f.stored().isEmpty());
}

void TstufrmTakeMeter::chooserAsksAboutAReadMeter()
{
    Window f;
    f.t.addReading(QStringLiteral("101"), day1, 40, 40, yuan("40"), yuan("0"));
    f.open(day1);
    f.rec.answer(QMessageBox::Yes);
    f.enter("DBEditEh3", QStringLiteral("10"));
    QTest::keyClick(f.list(), Qt::Key_Down);
    QTest::keyClick(f.list(), Qt::Key_Return);
    QCOMPARE(f.rec.summaries(),
             QStringList{ "提示|表号为 101 的表在今天已抄过了,你要对它进行修改吗？|question|Yes+No" });
    f.enter("DBEditEh4", QStringLiteral("45"));
    QCOMPARE(f.stored(), QStringList{ "101 2005-03-08 45 45 45.0000 0.0000 today" });
}

void TstufrmTakeMeter::onlyPrefixMatchIsAccepted()
{
    Window f;
    f.open(day1);
    f.enter("DBEditEh3", QStringLiteral("20"));
    QCOMPARE(f.edit("DBEditEh3")->text(), QStringLiteral("2001"));
    QCOMPARE(f.focus(), f.edit("DBEditEh4"));
    QTest::keyClicks(f.edit("DBEditEh4"), QStringLiteral("15"));
    QTest::keyClick(f.edit("DBEditEh4"), Qt::Key_Return);
    QCOMPARE(f.stored(), QStringList{ "2001 2005-03-08 15 15 15.0000 0.0000 today" });
}

void TstufrmTakeMeter::noMatch()
{
    Window f;
    f.open(day1);
    f.enter("DBEditEh3", QStringLiteral("zz"));
    QCOMPARE(f.rec.summaries(),
             QStringList{ "操作提示|编号为 zz  的表不存在，请先在表管理中维护！|information|Ok" });
    QCOMPARE(f.edit("DBEditEh3")->text(), QString());
    QCOMPARE(f.focus(), f.edit("DBEditEh3"));
    f.rec.clear();
    QTest::keyClick(f.edit("DBEditEh3"), Qt::Key_Return);
    QCOMPARE(f.rec.summaries(), QStringList{ "错误提示|请输入表号！|information|Ok" });
    QVERIFY(f.stored().isEmpty());
}

void TstufrmTakeMeter::maximumCount_data()
{
    QTest::addColumn<QString>("counter");
    QTest::addColumn<QStringList>("boxes");
    QTest::addColumn<QStringList>("stored");
    QTest::newRow("equal") << "9999" << QStringList() << QStringList{ "10 2005-03-08 9999 9999 9999.0000 0.0000 today" };
    QTest::newRow("one above") << "10000" << QStringList{ "错误提示|抄表数大于表的最大计数范围：9999|information|Ok" }
                               << QStringList();
}

void TstufrmTakeMeter::maximumCount()
{
    QFETCH(QString, counter);
    Window f;
    f.open(day1);
    f.reading(QStringLiteral("10"), counter);
    QTEST(f.rec.summaries(), "boxes");
    QTEST(f.stored(), "stored");
    // Either way an empty row waits for the next meter.
    QCOMPARE(f.focus(), f.edit("DBEditEh3"));
    QCOMPARE(f.rows()->state(), DataSet::Insert);
    QCOMPARE(f.edit("DBEditEh3")->text(), QString());
}

void TstufrmTakeMeter::lowerValue_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<QStringList>("stored");
    const QString earlier = QStringLiteral("W 2005-03-01 9990 0 0.0000 0.0000 2005-03-01");
    // (9999 − 9990 + 5) × 10 = 140; with the earlier reading's additional 5, 195 units of quota remain.
    QTest::newRow("Yes: rollover") << int(QMessageBox::Yes)
                                   << QStringList{ earlier, "W 2005-03-08 5 140 72.5000 0.0000 today" };
    QTest::newRow("No: a typing slip") << int(QMessageBox::No) << QStringList{ earlier };
}

void TstufrmTakeMeter::lowerValue()
{
    QFETCH(int, answer);
    Window f;
    f.t.addReading(QStringLiteral("W"), QDate(2005, 3, 1), 9990, 0, yuan("0"), yuan("0"));
    f.open(day1);
    f.rec.answer(QMessageBox::StandardButton(answer));
    f.reading(QStringLiteral("W"), QStringLiteral("5"));
    QCOMPARE(f.rec.summaries(),
             QStringList{ "提示|当前表数 5 小于上次表数 9990，表计数是否已归零重新计数？|question|Yes+No" });
    QTEST(f.stored(), "stored");
    if (answer == QMessageBox::No) {
        QCOMPARE(f.focus(), f.edit("DBEditEh4"));
        QCOMPARE(f.edit("DBEditEh4")->selectedText(), QStringLiteral("5"));
        QCOMPARE(f.rows()->state(), DataSet::Insert);
        // The retyped value is stored without a further question.
        QTest::keyClicks(f.edit("DBEditEh4"), QStringLiteral("9995"));
        QTest::keyClick(f.edit("DBEditEh4"), Qt::Key_Return);
        QCOMPARE(f.stored().value(1), QStringLiteral("W 2005-03-08 9995 50 27.5000 0.0000 today"));
    }
}

void TstufrmTakeMeter::refusedCorrectionKeepsStoredReading()
{
    Window f;
    f.t.addReading(QStringLiteral("W"), day1, 1005, 50, yuan("27.5"), yuan("0"));
    const QStringList before = f.stored();
    f.open(day1);
    f.rec.answer(QMessageBox::Yes);
    f.reading(QStringLiteral("W"), QStringLiteral("10000"));
    QCOMPARE(f.rec.summaries(),
             QStringList({ "提示|表号为 W 的表在今天已抄过了,你要对它进行修改吗？|question|Yes+No",
                           "错误提示|抄表数大于表的最大计数范围：9999|information|Ok" }));
    QCOMPARE(f.stored(), before);
    QCOMPARE(f.grid().value(0), QStringLiteral("W 1005 50 27.50 0.00 2005/3/8 2005/3/8"));
}

void TstufrmTakeMeter::typingWhileBrowsingBeginsNewRow()
{
    Window f;
    f.t.addReading(QStringLiteral("W"), day1, 1005, 50, yuan("27.5"), yuan("0"));
    f.open(day1);
    QCOMPARE(f.rows()->state(), DataSet::Browse);
    QCOMPARE(f.edit("DBEditEh3")->text(), QStringLiteral("W"));
    f.edit("DBEditEh3")->selectAll();
    f.reading(QStringLiteral("101"), QStringLiteral("3"));
    QCOMPARE(f.stored(), QStringList({ "101 2005-03-08 3 3 3.0000 0.0000 today",
                                       "W 2005-03-08 1005 50 27.5000 0.0000 2005-03-08" }));
    QVERIFY(f.rec.boxes().isEmpty());
}

void TstufrmTakeMeter::navigatorDelete_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<QStringList>("stored");
    QTest::newRow("OK") << int(QMessageBox::Ok) << QStringList{ "W 2005-03-08 1005 50 27.5000 0.0000 2005-03-08" };
    QTest::newRow("Cancel") << int(QMessageBox::Cancel)
                            << QStringList{ "10 2005-03-08 7 7 7.0000 0.0000 2005-03-08",
                                            "W 2005-03-08 1005 50 27.5000 0.0000 2005-03-08" };
}

void TstufrmTakeMeter::navigatorDelete()
{
    QFETCH(int, answer);
    Window f;
    f.t.addReading(QStringLiteral("W"), day1, 1005, 50, yuan("27.5"), yuan("0"));
    f.t.addReading(QStringLiteral("10"), day1, 7, 7, yuan("7"), yuan("0"));
    f.open(day1);
    auto *grid = f.child<TDBGridEh>("DBGridEh1");
    grid->setFocus();
    QTest::keyClick(grid, Qt::Key_Down);
    QCOMPARE(f.rows()->asString(QStringLiteral("MeterID")), QStringLiteral("10"));
    f.rec.answer(QMessageBox::StandardButton(answer));
    QTest::mouseClick(f.child<TMyDBNavigator>("MyDBNavigator1")->button(nbDelete), Qt::LeftButton);
    QCOMPARE(f.rec.summaries(), QStringList{ "警告|您确认要删除这条记录吗？|warning|Ok+Cancel" });
    QTEST(f.stored(), "stored");
    QCOMPARE(f.grid().size(), f.stored().size());
}

void TstufrmTakeMeter::keyboardDateChangeReopensRows()
{
    Window f;
    f.t.addReading(QStringLiteral("W"), day1, 1005, 50, yuan("27.5"), yuan("0"));
    f.t.addReading(QStringLiteral("10"), day1.addDays(1), 7, 7, yuan("7"), yuan("0"));
    f.open(day1);
    QCOMPARE(f.grid(), QStringList{ "W 1005 50 27.50 0.00 2005/3/8 2005/3/8" });
    auto *picker = f.child<QDateEdit>("DTMeter");
    picker->setFocus();
    picker->setCurrentSection(QDateTimeEdit::DaySection);
    QTest::keyClick(picker, Qt::Key_Up);
    QCOMPARE(f.w->entry()->ReadingDate(), day1.addDays(1));
    QCOMPARE(f.grid(), QStringList{ "10 7 7 7.00 0.00 2005/3/9 2005/3/9" });
    f.reading(QStringLiteral("101"), QStringLiteral("3"));
    QCOMPARE(f.stored().value(2), QStringLiteral("101 2005-03-09 3 3 3.0000 0.0000 today"));
}

void TstufrmTakeMeter::pickerKeepsItsRange()
{
    Window f;
    f.open(day1);
    auto *picker = f.child<QDateEdit>("DTMeter");
    for (const auto &[edge, key] : { std::pair{ QDate(2050, 12, 31), Qt::Key_Up },
                                     std::pair{ QDate(2000, 1, 1), Qt::Key_Down } }) {
        f.pick(edge);
        picker->setFocus();
        picker->setCurrentSection(QDateTimeEdit::DaySection);
        QTest::keyClick(picker, key);
        QCOMPARE(f.w->entry()->ReadingDate(), edge);
    }
    QVERIFY(f.rec.boxes().isEmpty());
}

void TstufrmTakeMeter::badInput_data()
{
    QTest::addColumn<QDate>("date");
    QTest::addColumn<QString>("meter");
    QTest::addColumn<QString>("counter");    // null: the meter number is refused, no counter typed
    QTest::addColumn<QStringList>("boxes");
    QTest::addColumn<QStringList>("stored");
    const QStringList none;
    // The general error box ends a text with "." when its last character sorts after ".".
    const QString failed = QStringLiteral("Kelvara|数据提交失败！.|critical|Ok");
    auto notFound = [](const char *typed) {
        return QStringList{ QStringLiteral("操作提示|编号为 %1  的表不存在，请先在表管理中维护！|information|Ok")
                                .arg(QString::fromUtf8(typed)) };
    };
    auto row = [](const char *text) { return QStringList{ QString::fromUtf8(text) }; };

    QTest::newRow("apostrophe") << day1 << "o'neil" << "12" << none << row("O'Neil 2005-03-08 12 12 12.0000 0.0000 today");
    QTest::newRow("quote, semicolon, comment") << day1 << "Q\"1;--" << "3" << none
                                               << row("Q\"1;-- 2005-03-08 3 3 3.0000 0.0000 today");
    QTest::newRow("statement in the number") << day1 << "1'; DROP TABLE TakeMeter;--" << QString()
                                             << notFound("1'; DROP T") << none;
    QTest::newRow("percent is no wildcard") << day1 << "%" << QString() << notFound("%") << none;
    QTest::newRow("underscore is no wildcard") << day1 << "_0" << QString() << notFound("_0") << none;
    QTest::newRow("at the length limit") << day1 << "ABCDEFGHIJ" << "1" << none
                                         << row("ABCDEFGHIJ 2005-03-08 1 1 1.0000 0.0000 today");
    QTest::newRow("beyond the length limit") << day1 << "abcdefghijk" << "2" << none
                                             << row("ABCDEFGHIJ 2005-03-08 2 2 2.0000 0.0000 today");
    QTest::newRow("counter beyond 32 bits") << day1 << "2001" << "2147483648" << QStringList{ failed } << none;
    QTest::newRow("counter beyond 64 bits") << day1 << "2001" << "99999999999999999999" << QStringList{ failed } << none;
    QTest::newRow("negative counter") << day1 << "2001" << "-5"
                                      << QStringList{ "错误提示|抄表数不能小于零！|information|Ok" } << none;
    QTest::newRow("letters are refused by key") << day1 << "2001" << "1a2" << none
                                                << row("2001 2005-03-08 12 12 12.0000 0.0000 today");
    QTest::newRow("plus sign") << day1 << "2001" << "+7" << none << row("2001 2005-03-08 7 7 7.0000 0.0000 today");
    QTest::newRow("empty counter") << day1 << "2001" << "" << QStringList{ failed } << none;
    QTest::newRow("first date of the picker") << QDate(2000, 1, 1) << "2001" << "4" << none
                                              << row("2001 2000-01-01 4 4 4.0000 0.0000 today");
    QTest::newRow("last date of the picker") << QDate(2050, 12, 31) << "2001" << "4" << none
                                             << row("2001 2050-12-31 4 4 4.0000 0.0000 today");
    QTest::newRow("29 February") << QDate(2024, 2, 29) << "2001" << "4" << none
                                 << row("2001 2024-02-29 4 4 4.0000 0.0000 today");
}

void TstufrmTakeMeter::badInput()
{
    QFETCH(QDate, date);
    QFETCH(QString, meter);
    QFETCH(QString, counter);
    Window f;
    const QVariant schema = f.t.scalar(QStringLiteral("SELECT group_concat(sql, ';') FROM sqlite_master"));
    f.open(date);
    QCOMPARE(f.w->entry()->ReadingDate(), date);
    f.enter("DBEditEh3", meter);
    if (!counter.isNull())
        f.enter("DBEditEh4", counter);
    QTEST(f.rec.summaries(), "boxes");
    QTEST(f.stored(), "stored");
    QCOMPARE(f.t.count(QStringLiteral("Meter")), 1 + int(plainMeters().size()));
    QCOMPARE(f.t.scalar(QStringLiteral("SELECT group_concat(sql, ';') FROM sqlite_master")), schema);
}

void TstufrmTakeMeter::chooserCancelledByKeys_data()
{
    QTest::addColumn<QList<int>>("keys");
    QTest::newRow("Tab, Tab, Space") << QList<int>{ Qt::Key_Tab, Qt::Key_Tab, Qt::Key_Space };
    QTest::newRow("Tab, Tab, Enter") << QList<int>{ Qt::Key_Tab, Qt::Key_Tab, Qt::Key_Return };
    QTest::newRow("Escape") << QList<int>{ Qt::Key_Escape };
}

void TstufrmTakeMeter::chooserCancelledByKeys()
{
    QFETCH(QList<int>, keys);
    Window f;
    f.open(day1);
    f.enter("DBEditEh3", QStringLiteral("10"));
    QVERIFY(f.chooserShown());
    for (const int key : keys)
        QTest::keyClick(f.focus(), Qt::Key(key));
    QVERIFY(!f.chooserShown());
    QCOMPARE(f.rec.summaries(), QStringList{ "操作提示|表编号查找失败！|information|Ok" });
    // The focus is back in the meter number, not in the date picker, which a digit would change,
    // and the next digits replace the number.
    QCOMPARE(f.focus(), f.edit("DBEditEh3"));
    QCOMPARE(f.edit("DBEditEh3")->selectedText(), QStringLiteral("10"));
    f.reading(QStringLiteral("101"), QStringLiteral("3"));
    QCOMPARE(f.stored(), QStringList{ "101 2005-03-08 3 3 3.0000 0.0000 today" });
}

void TstufrmTakeMeter::chooserLeftOpenCloses()
{
    Window f;
    f.open(day1);
    f.enter("DBEditEh3", QStringLiteral("10"));
    QVERIFY(f.chooserShown());
    // The operator goes back and types a number that only one meter has.
    f.edit("DBEditEh3")->setFocus();
    f.edit("DBEditEh3")->selectAll();
    f.enter("DBEditEh3", QStringLiteral("2"));
    QVERIFY(!f.chooserShown());
    QCOMPARE(f.focus(), f.edit("DBEditEh4"));
    QCOMPARE(f.edit("DBEditEh3")->text(), QStringLiteral("2001"));
}

void TstufrmTakeMeter::correctionNeverTakesAnotherMeter_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("Shift+Tab back, Tab on") << "keys";
    QTest::newRow("clicks") << "mouse";
    QTest::newRow("navigator's edit") << "navigator";
    QTest::newRow("grid cell") << "grid";
}

// While W's reading is open for correction, another number reaches the row by every path there is;
// it begins 2001's own reading and W's stays as stored.
void TstufrmTakeMeter::correctionNeverTakesAnotherMeter()
{
    QFETCH(QString, path);
    Window f;
    f.t.addReading(QStringLiteral("W"), day1, 1005, 50, yuan("27.5"), yuan("0"));
    f.open(day1);
    TDBEditEh *number = f.edit("DBEditEh3");
    TDBEditEh *counter = f.edit("DBEditEh4");
    if (path == u"grid") {
        auto *grid = f.child<TDBGridEh>("DBGridEh1");
        grid->setFocus();
        grid->setCurrentIndex(grid->model()->index(0, 0));
        QTest::keyClick(grid, Qt::Key_2);
        QTest::keyClicks(f.focus(), QStringLiteral("001"));
        QTest::keyClick(f.focus(), Qt::Key_Return);
        counter->setFocus();
    } else {
        if (path == u"navigator") {
            f.press("nbEdit");
            number->setFocus();
            number->selectAll();
        } else {
            f.rec.answer(QMessageBox::Yes);
            f.enter("DBEditEh3", QStringLiteral("W"));
            QCOMPARE(f.rows()->state(), DataSet::Edit);
            if (path == u"keys")
                QTest::keyClick(counter, Qt::Key_Tab, Qt::ShiftModifier);
            else
                QTest::mouseClick(number, Qt::LeftButton);
            QCOMPARE(f.focus(), number);
            number->selectAll();
        }
        QTest::keyClicks(number, QStringLiteral("2001"));
        if (path == u"mouse")
            QTest::mouseClick(counter, Qt::LeftButton);
        else
            QTest::keyClick(number, Qt::Key_Tab);
    }
    QCOMPARE(f.focus(), counter);
    counter->selectAll();
    QTest::keyClicks(counter, QStringLiteral("7"));
    QTest::keyClick(counter, Qt::Key_Return);
    QCOMPARE(f.stored(), QStringList({ "2001 2005-03-08 7 7 7.0000 0.0000 today",
                                       "W 2005-03-08 1005 50 27.5000 0.0000 2005-03-08" }));
}

void TstufrmTakeMeter::rolloverQuestionDefaultsToNo_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<int>("stored");
    QTest::addColumn<bool>("history");   // W read every ten days before, 100 units each: 10 a day
    QTest::addColumn<QString>("counter");
    QTest::addColumn<QString>("question");
    const QString rollover = QStringLiteral("提示|当前表数 800 小于上次表数 1000，表计数是否已归零重新计数？");
    const QString unusual = QStringLiteral("操作提示|表 W 本次使用数量 700，近期日均 10，是否保存？");
    QTest::newRow("Enter") << int(Qt::Key_Return) << int(Qt::NoModifier) << 0 << false << "800" << rollover;
    QTest::newRow("Escape") << int(Qt::Key_Escape) << int(Qt::NoModifier) << 0 << false << "800" << rollover;
    QTest::newRow("Alt+Y") << int(Qt::Key_Y) << int(Qt::AltModifier) << 1 << false << "800" << rollover;
    QTest::newRow("unusual: Enter") << int(Qt::Key_Return) << int(Qt::NoModifier) << 0 << true << "1100" << unusual;
    QTest::newRow("unusual: Escape") << int(Qt::Key_Escape) << int(Qt::NoModifier) << 0 << true << "1100" << unusual;
    QTest::newRow("unusual: Alt+Y") << int(Qt::Key_Y) << int(Qt::AltModifier) << 1 << true << "1100" << unusual;
}

// The real question box: one slip of the finger must not store a rollover or an unusual reading.
void TstufrmTakeMeter::rolloverQuestionDefaultsToNo()
{
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(int, stored);
    QFETCH(bool, history);
    QFETCH(QString, counter);
    QFETCH(QString, question);
    Window f;
    if (history)
        for (int i = 0; i < 4; ++i)
            f.t.addReading(QStringLiteral("W"), day1.addDays(-40 + 10 * i), 1000 + 10 * i, i == 0 ? 0 : 100, yuan("0"),
                           yuan("0"));
    f.open(day1);
    SetMessageBoxHandler({});
    QString asked;
    QTimer press;
    QElapsedTimer waited;
    waited.start();
    // The keys go to the box once it is the active window, as the operator's would; a box that
    // never answers is closed so that the test fails instead of hanging.
    connect(&press, &QTimer::timeout, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (box && asked.isEmpty() && QApplication::activeWindow() == box) {
            asked = box->windowTitle() + u'|' + box->text();
            QCOMPARE(box->icon(), QMessageBox::Question);
            QTest::keyClick(box, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        } else if (box && waited.elapsed() > 10000) {
            box->done(QMessageBox::Cancel);
        }
        if (!box && !asked.isEmpty())
            press.stop();
    });
    press.start(10);
    const int before = int(f.stored().size());
    f.reading(QStringLiteral("W"), counter);
    QCOMPARE(asked, question);
    QCOMPARE(int(f.stored().size()) - before, stored);
    if (!stored) {
        QCOMPARE(f.w->focusWidget(), f.edit("DBEditEh4"));
        QCOMPARE(f.edit("DBEditEh4")->selectedText(), counter);
    }
}

// The navigator's "提交" and leaving the row save like Enter and begin the next reading.
void TstufrmTakeMeter::everySaveBeginsTheNextRow()
{
    Window f;
    f.open(day1);
    f.enter("DBEditEh3", QStringLiteral("101"));
    QTest::keyClicks(f.edit("DBEditEh4"), QStringLiteral("3"));
    f.press("nbPost");
    QTRY_COMPARE(f.focus(), f.edit("DBEditEh3"));
    QCOMPARE(f.rows()->state(), DataSet::Insert);
    QCOMPARE(f.stored(), QStringList{ "101 2005-03-08 3 3 3.0000 0.0000 today" });

    f.enter("DBEditEh3", QStringLiteral("2001"));
    QTest::keyClicks(f.edit("DBEditEh4"), QStringLiteral("4"));
    f.press("nbFirst");
    QTRY_COMPARE(f.rows()->state(), DataSet::Insert);
    QCOMPARE(f.focus(), f.edit("DBEditEh3"));
    QCOMPARE(f.stored().size(), 2);
}

void TstufrmTakeMeter::focusAfterRefusals()
{
    Window f;
    f.t.addReading(QStringLiteral("W"), day1, 1005, 50, yuan("27.5"), yuan("0"));
    f.open(day1);
    // No to the correction: the next digits replace the number.
    f.press("BitBtn1");
    f.rec.answer(QMessageBox::No);
    f.enter("DBEditEh3", QStringLiteral("W"));
    QCOMPARE(f.focus(), f.edit("DBEditEh3"));
    QCOMPARE(f.edit("DBEditEh3")->selectedText(), QStringLiteral("W"));

    // A counter value with no meter number.
    f.rec.clear();
    f.edit("DBEditEh3")->del();
    f.enter("DBEditEh4", QStringLiteral("5"));
    QCOMPARE(f.rec.summaries(), QStringList{ "错误提示|请输入表号！|information|Ok" });
    QCOMPARE(f.focus(), f.edit("DBEditEh3"));

    // A failed save: the counter value is selected for retyping.
    f.rec.clear();
    execSql(f.t.db(), QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON TakeMeter BEGIN "
                                     "SELECT RAISE(ABORT, 'refused'); END"));
    f.enter("DBEditEh3", QStringLiteral("101"));
    f.edit("DBEditEh4")->selectAll();
    f.enter("DBEditEh4", QStringLiteral("7"));
    QCOMPARE(f.rec.summaries(), QStringList{ "Kelvara|数据提交失败！.|critical|Ok" });
    QCOMPARE(f.focus(), f.edit("DBEditEh4"));
    QCOMPARE(f.edit("DBEditEh4")->selectedText(), QStringLiteral("7"));
}

void TstufrmTakeMeter::chooserByMouseAndEnds()
{
    Window f;
    f.open(day1);
    f.enter("DBEditEh3", QStringLiteral("10"));
    QTest::keyClick(f.list(), Qt::Key_End);
    QCOMPARE(f.list()->currentRow(), 2);
    QTest::keyClick(f.list(), Qt::Key_Home);
    QCOMPARE(f.list()->currentRow(), 0);
    const QRect cell = f.list()->visualItemRect(f.list()->item(1, 1));
    QTest::mouseClick(f.list()->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseDClick(f.list()->viewport(), Qt::LeftButton, {}, cell.center());
    QVERIFY(!f.chooserShown());
    QCOMPARE(f.edit("DBEditEh3")->text(), QStringLiteral("101"));
    QCOMPARE(f.focus(), f.edit("DBEditEh4"));
}

// A correction re-prices the meter's later readings and says how many in the status bar.
void TstufrmTakeMeter::laterReadingsRepricedAndTold()
{
    Window f;
    f.t.addReading(QStringLiteral("W"), day1, 1005, 50, yuan("27.5"), yuan("0"));
    f.t.addReading(QStringLiteral("W"), day1.addDays(9), 1020, 150, yuan("72.5"), yuan("8"));
    f.open(day1);
    QString told;
    connect(f.w, &TfrmTakeMeter::statusMessage, [&](const QString &text) { told = text; });
    f.rec.answer(QMessageBox::Yes);
    f.reading(QStringLiteral("W"), QStringLiteral("1003"));
    QCOMPARE(told, QStringLiteral("已重新计算该表以后的 1 条抄表记录"));
    QCOMPARE(f.stored().value(1), QStringLiteral("W 2005-03-17 1020 170 82.5000 8.0000 2005-03-17"));
    // Deleting it measures the later reading from the base again.
    told.clear();
    QCoreApplication::processEvents();
    f.rows()->cancel();
    f.rows()->first();
    f.rec.answer(QMessageBox::Ok);
    QTest::keyClick(f.child<TDBGridEh>("DBGridEh1"), Qt::Key_Delete, Qt::ControlModifier);
    QCOMPARE(told, QStringLiteral("已重新计算该表以后的 1 条抄表记录"));
    QCOMPARE(f.stored(), QStringList{ "W 2005-03-17 1020 200 100.0000 4.0000 2005-03-17" });
}

// An older file holds "101 " beside "101", a different meter (here with multiplier 10). The
// chooser lists both; the reading of the one picked is stored under that meter and priced by it.
void TstufrmTakeMeter::chosenLegacyNumberIsTheOneStored()
{
    Window f;
    execSql(f.t.db(), QStringLiteral("INSERT INTO Meter SELECT MeterNO || ' ', 10, WorkShopID, PriceID, BaseNumber, "
                                     "MeterSort, Quota, Type, SetupDate, MaxBound, SubjoinNumber, FitPlace, "
                                     "SubWorkShopID FROM Meter WHERE MeterNO = '101'"));
    f.open(day1);
    f.enter("DBEditEh3", QStringLiteral("101"));
    QCOMPARE(f.choices(), QStringList({ "1 101", "2 101 " }));
    QTest::keyClick(f.list(), Qt::Key_End);
    QTest::keyClick(f.list(), Qt::Key_Return);
    QCOMPARE(f.rows()->value(QStringLiteral("MeterID")).toString(), QStringLiteral("101 "));
    f.enter("DBEditEh4", QStringLiteral("7"));
    QVERIFY(f.rec.boxes().isEmpty());
    QCOMPARE(f.t.scalar(QStringLiteral("SELECT '[' || MeterID || '] ' || CurValue FROM TakeMeter")).toString(),
             QStringLiteral("[101 ] 70"));
}

// The meter register renamed W while the date's rows were open: deleting W's row must delete the
// reading (now under W9) or say why not; it must not drop the row from the grid and leave the
// reading stored without a word.
void TstufrmTakeMeter::deleteOfARenamedMetersReadingIsNotSilent()
{
    Window f;
    f.t.addReading(QStringLiteral("W"), day1, 1005, 50, yuan("27.5"), yuan("0"));
    f.open(day1);
    execSql(f.t.db(), QStringLiteral("UPDATE Meter SET MeterNO = 'W9' WHERE MeterNO = 'W'"));
    f.rows()->first();
    f.rec.answer(QMessageBox::Ok);
    QTest::keyClick(f.child<TDBGridEh>("DBGridEh1"), Qt::Key_Delete, Qt::ControlModifier);
    const bool deleted = f.stored().isEmpty();
    const bool told = f.rec.boxes().size() > 1;
    QVERIFY2(deleted || told, qPrintable(f.stored().join(u'|')));
    QCOMPARE(f.rows()->recordCount(), deleted ? 0 : 1);
}

QTEST_MAIN(TstufrmTakeMeter)
#include "tst_ufrmTakeMeter.moc"
