// The bound date box: shows the date of the current row, blank for none, writes the operator's
// date at once (keeping a time of day), puts the row into editing, Ctrl+Delete clears.
#include "DBDateEdit.h"
#include "Database.h"
#include "MessageRecorder.h"
#include "TestDatabase.h"

#include <QCalendarWidget>
#include <QtTest>

class TstDBDateEdit : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void showsTheDateOrBlank();
    void keyboardChangeEditsTheRow();
    void calendarPickWritesTheDate();
    void keysOpenTheCalendar();
    void timeOfDayIsKept();
    void ctrlDeleteClears();
    void newRowOption();
    void unmodifiableSetRefusesChange();

private:
    TDBDateEdit *setupDateBox();

    std::unique_ptr<TestDatabase> t;
    std::unique_ptr<QWidget> window;
    std::unique_ptr<MessageRecorder> boxes;
    DataSet *meters = nullptr;
};

void TstDBDateEdit::init()
{
    t = std::make_unique<TestDatabase>();
    boxes = std::make_unique<MessageRecorder>();
    window = std::make_unique<QWidget>();
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
    t->setUsingUnit(QStringLiteral("厂"), QStringLiteral("pw"));
    MeterSpec m;
    m.number = QStringLiteral("1001");
    m.setupDate = QStringLiteral("2024-03-05");
    t->addMeter(m);
    m.number = QStringLiteral("1002");
    m.setupDate = QVariant();
    t->addMeter(m);
    m.number = QStringLiteral("1003");
    m.setupDate = QStringLiteral("2024-03-07 08:30:00");
    t->addMeter(m);
    meters = new DataSet(window.get());
    meters->setConnectionName(Database::mainConnectionName());
    meters->setSql(QStringLiteral("select * from Meter order by MeterNO"));
    meters->setUpdateTable(QStringLiteral("Meter"), { "MeterNO" });
}

void TstDBDateEdit::cleanup()
{
    QLocale::setDefault(QLocale::c());
    window.reset();
    boxes.reset();
    t.reset();
}

TDBDateEdit *TstDBDateEdit::setupDateBox()
{
    auto *box = new TDBDateEdit(window.get());
    box->setDataSet(meters);
    box->setDataField(QStringLiteral("SetupDate"));
    meters->open();
    window->show();
    return box;
}

void TstDBDateEdit::showsTheDateOrBlank()
{
    TDBDateEdit *box = setupDateBox();
    QVERIFY(box->calendarPopup());
    QCOMPARE(box->shownDate(), QDate(2024, 3, 5));
    QCOMPARE(box->text(), QStringLiteral("2024/3/5"));
    meters->next();
    QVERIFY(box->isNull());
    QVERIFY(!box->shownDate().isValid());
    QCOMPARE(box->text().trimmed(), QString());
    meters->close();
    QVERIFY(box->isNull());
}

void TstDBDateEdit::keyboardChangeEditsTheRow()
{
    TDBDateEdit *box = setupDateBox();
    box->setCurrentSection(QDateTimeEdit::DaySection);
    QTest::keyClick(box, Qt::Key_Up);
    QCOMPARE(box->shownDate(), QDate(2024, 3, 6));
    QCOMPARE(meters->state(), DataSet::Edit);
    QCOMPARE(meters->value(QStringLiteral("SetupDate")).toDateTime(), QDateTime(QDate(2024, 3, 6), QTime(0, 0)));
    meters->post();
    QCOMPARE(t->scalar(QStringLiteral("SELECT SetupDate FROM Meter WHERE MeterNO = '1001'")).toString(),
             QStringLiteral("2024-03-06"));
}

void TstDBDateEdit::calendarPickWritesTheDate()
{
    TDBDateEdit *box = setupDateBox();
    box->resize(160, 24);
    meters->next();   // no date yet
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(box->width() - 6, box->height() / 2));
    QCalendarWidget *calendar = box->calendarWidget();
    QVERIFY(calendar->isVisible());
    // The calendar of a blank box opens on this month, not on the blank's date.
    QCOMPARE(calendar->yearShown(), QDate::currentDate().year());
    QCOMPARE(calendar->monthShown(), QDate::currentDate().month());
    emit calendar->clicked(QDate(2023, 12, 31));
    QCOMPARE(box->shownDate(), QDate(2023, 12, 31));
    QCOMPARE(meters->state(), DataSet::Edit);
    QCOMPARE(meters->value(QStringLiteral("SetupDate")).toDateTime().date(), QDate(2023, 12, 31));
}

void TstDBDateEdit::keysOpenTheCalendar()
{
    TDBDateEdit *box = setupDateBox();
    box->setFocus();
    // F4 opens the calendar from the keyboard and changes nothing by itself.
    QTest::keyClick(box, Qt::Key_F4);
    QVERIFY(box->calendarWidget()->isVisible());
    QCOMPARE(box->shownDate(), QDate(2024, 3, 5));
    QCOMPARE(meters->state(), DataSet::Browse);
    box->calendarWidget()->window()->hide();
}

void TstDBDateEdit::timeOfDayIsKept()
{
    TDBDateEdit *box = setupDateBox();
    meters->last();
    QCOMPARE(box->shownDate(), QDate(2024, 3, 7));
    box->setCurrentSection(QDateTimeEdit::DaySection);
    QTest::keyClick(box, Qt::Key_Down);
    QCOMPARE(meters->value(QStringLiteral("SetupDate")).toDateTime(), QDateTime(QDate(2024, 3, 6), QTime(8, 30)));
}

void TstDBDateEdit::ctrlDeleteClears()
{
    TDBDateEdit *box = setupDateBox();
    QTest::keyClick(box, Qt::Key_Delete, Qt::ControlModifier);
    QVERIFY(box->isNull());
    QCOMPARE(meters->state(), DataSet::Edit);
    QVERIFY(meters->isNull(QStringLiteral("SetupDate")));
    meters->post();
    QVERIFY(t->scalar(QStringLiteral("SELECT SetupDate FROM Meter WHERE MeterNO = '1001'")).isNull());
}

void TstDBDateEdit::newRowOption()
{
    TDBDateEdit *box = setupDateBox();
    box->setBrowseTyping(FieldLink::BrowseTyping::AppendRow);
    box->setCurrentSection(QDateTimeEdit::DaySection);
    QTest::keyClick(box, Qt::Key_Up);
    QCOMPARE(meters->state(), DataSet::Insert);
    QCOMPARE(meters->recordCount(), 4);
    // The new row takes the date; the stored row keeps its own.
    QCOMPARE(meters->value(QStringLiteral("SetupDate")).toDateTime().date(), QDate(2024, 3, 6));
    QCOMPARE(t->scalar(QStringLiteral("SELECT SetupDate FROM Meter WHERE MeterNO = '1001'")).toString(),
             QStringLiteral("2024-03-05"));
}

void TstDBDateEdit::unmodifiableSetRefusesChange()
{
    TDBDateEdit *box = setupDateBox();
    meters->setReadOnly(true);
    box->setCurrentSection(QDateTimeEdit::DaySection);
    QTest::keyClick(box, Qt::Key_Up);
    QCOMPARE(box->shownDate(), QDate(2024, 3, 5));
    QCOMPARE(meters->state(), DataSet::Browse);
    QVERIFY(boxes->boxes().isEmpty());
}

QTEST_MAIN(TstDBDateEdit)
#include "tst_DBDateEdit.moc"
