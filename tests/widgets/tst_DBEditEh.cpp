// The bound edit box: showing the current row, typing into editing (or into a new row), writing
// the typed text on post and on leaving, Enter left to the window, key filters, recent values.
#include "DBEditEh.h"
#include "Database.h"
#include "Guarded.h"
#include "MessageRecorder.h"
#include "TestDatabase.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QSignalSpy>
#include <QtTest>

namespace {

// Stands in for a window's key handler: counts Enter and optionally ends it there.
class EnterCatcher : public QObject
{
public:
    explicit EnterCatcher(bool eat) : m_eat(eat) {}
    int enters = 0;
    QString textSeen;
    DataSet::State stateSeen = DataSet::Inactive;
    DataSet *watchedSet = nullptr;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent *>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter) {
                ++enters;
                textSeen = static_cast<QLineEdit *>(watched)->text();
                if (watchedSet)
                    stateSeen = watchedSet->state();
                return m_eat;
            }
        }
        return false;
    }

private:
    bool m_eat;
};

}

class TstDBEditEh : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void showsTheFieldOfTheCurrentRow();
    void amountsShowTheirDecimals();
    void typingEditsAndPostWritesText_data();
    void typingEditsAndPostWritesText();
    void typingWhileBrowsingCanBeginNewRow();
    void enterReachesTheWindowFirst_data();
    void enterReachesTheWindowFirst();
    void keyFilters_data();
    void keyFilters();
    void lengthLimitedByField();
    void leavingWritesTypedText();
    void refusedTextOnLeavingKeepsFocus();
    void programChangesOfOtherFieldsKeepTypedText();
    void escapeDropsTypedText();
    void unmodifiableSetRefusesTyping_data();
    void unmodifiableSetRefusesTyping();
    void recentValues();
    void enterWithRecentValuesOpen();
    void keyboardReadingCycle();

private:
    DataSet *readings();
    TDBEditEh *edit(DataSet *ds, const QString &field);
    void activate();

    std::unique_ptr<TestDatabase> t;
    std::unique_ptr<QWidget> window;
    std::unique_ptr<MessageRecorder> boxes;
};

void TstDBEditEh::init()
{
    t = std::make_unique<TestDatabase>();
    boxes = std::make_unique<MessageRecorder>();
    window = std::make_unique<QWidget>();
    window->resize(300, 200);
    t->setUsingUnit(QStringLiteral("厂"), QStringLiteral("pw"));
    for (const char *number : { "1001", "1002", "1003" }) {
        MeterSpec m;
        m.number = QString::fromLatin1(number);
        m.quota = yuan("27.5");
        t->addMeter(m);
    }
    t->addReading(QStringLiteral("1001"), QDate(2024, 3, 5), 1200, 200, yuan("27.5"), yuan("0"));
    t->addReading(QStringLiteral("1002"), QDate(2024, 3, 5), 3400, 100, yuan("0.125"), yuan("0"));
}

void TstDBEditEh::cleanup()
{
    window.reset();
    boxes.reset();
    t.reset();
}

DataSet *TstDBEditEh::readings()
{
    auto *ds = new DataSet(window.get());
    ds->setConnectionName(Database::mainConnectionName());
    ds->setSql(QStringLiteral("select * from TakeMeter order by MeterID"));
    ds->setUpdateTable(QStringLiteral("TakeMeter"), { "MeterID", "TakeTime" });
    return ds;
}

TDBEditEh *TstDBEditEh::edit(DataSet *ds, const QString &field)
{
    auto *e = new TDBEditEh(window.get());
    e->move(0, 30 * window->findChildren<TDBEditEh *>().size());
    e->setDataSet(ds);
    e->setDataField(field);
    return e;
}

void TstDBEditEh::activate()
{
    window->show();
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
}

void TstDBEditEh::showsTheFieldOfTheCurrentRow()
{
    DataSet *ds = readings();
    TDBEditEh *number = edit(ds, QStringLiteral("MeterID"));
    TDBEditEh *counter = edit(ds, QStringLiteral("TakeNumber"));
    QCOMPARE(number->text(), QString());
    ds->open();
    QCOMPARE(number->text(), QStringLiteral("1001"));
    QCOMPARE(counter->text(), QStringLiteral("1200"));
    ds->next();
    QCOMPARE(number->text(), QStringLiteral("1002"));
    QCOMPARE(counter->text(), QStringLiteral("3400"));
    ds->append();
    QCOMPARE(number->text(), QString());
    ds->cancel();
    QCOMPARE(number->text(), QStringLiteral("1002"));
    ds->close();
    QCOMPARE(counter->text(), QString());
}

void TstDBEditEh::amountsShowTheirDecimals()
{
    DataSet *ds = readings();
    TDBEditEh *charge = edit(ds, QStringLiteral("Charge"));
    ds->open();
    QCOMPARE(charge->text(), QStringLiteral("27.50"));
    ds->next();
    QCOMPARE(charge->text(), QStringLiteral("0.13"));
    charge->setDecimals(4);
    QCOMPARE(charge->text(), QStringLiteral("0.1250"));
}

void TstDBEditEh::typingEditsAndPostWritesText_data()
{
    QTest::addColumn<bool>("empty");
    QTest::newRow("stored row is edited") << false;
    QTest::newRow("empty set gets a new row") << true;
}

void TstDBEditEh::typingEditsAndPostWritesText()
{
    QFETCH(bool, empty);
    if (empty)
        execSql(t->db(), QStringLiteral("DELETE FROM TakeMeter"));
    DataSet *ds = readings();
    TDBEditEh *number = edit(ds, QStringLiteral("MeterID"));
    TDBEditEh *counter = edit(ds, QStringLiteral("TakeNumber"));
    ds->open();
    ds->setOnNewRecord([ds] { ds->setValue(QStringLiteral("TakeTime"), QDate(2024, 3, 6)); });
    if (empty) {
        QTest::keyClicks(number, QStringLiteral("1003"));
        QCOMPARE(ds->state(), DataSet::Insert);
    }
    counter->selectAll();
    QTest::keyClicks(counter, QStringLiteral("1250"));
    QCOMPARE(ds->state(), empty ? DataSet::Insert : DataSet::Edit);
    QVERIFY(counter->hasTypedText());
    // The typed text reaches the row only when it is written.
    QCOMPARE(ds->value(QStringLiteral("TakeNumber")).toLongLong(), empty ? 0 : 1200);
    ds->post();
    QCOMPARE(ds->state(), DataSet::Browse);
    QVERIFY(!counter->hasTypedText());
    QCOMPARE(counter->text(), QStringLiteral("1250"));
    const QString meter = empty ? QStringLiteral("1003") : QStringLiteral("1001");
    QCOMPARE(t->scalar(QStringLiteral("SELECT TakeNumber FROM TakeMeter WHERE MeterID = ?"), { meter }).toInt(), 1250);
    QCOMPARE(t->count(QStringLiteral("TakeMeter")), empty ? 1 : 2);
}

void TstDBEditEh::typingWhileBrowsingCanBeginNewRow()
{
    DataSet *ds = readings();
    TDBEditEh *number = edit(ds, QStringLiteral("MeterID"));
    TDBEditEh *counter = edit(ds, QStringLiteral("TakeNumber"));
    number->setBrowseTyping(FieldLink::BrowseTyping::AppendRow);
    counter->setBrowseTyping(FieldLink::BrowseTyping::AppendRow);
    ds->setOnNewRecord([ds] { ds->setValue(QStringLiteral("TakeTime"), QDate(2024, 3, 6)); });
    ds->open();
    QCOMPARE(number->text(), QStringLiteral("1001"));
    number->end(false);
    QTest::keyClicks(number, QStringLiteral("1003"));   // typed after the shown value
    QCOMPARE(ds->state(), DataSet::Insert);
    QCOMPARE(ds->recordCount(), 3);
    QCOMPARE(ds->recNo(), 2);
    QCOMPARE(number->text(), QStringLiteral("1003"));   // the keys went into the new row, none lost
    QCOMPARE(counter->text(), QString());              // the other boxes show the new row
    QTest::keyClicks(counter, QStringLiteral("88"));
    QCOMPARE(ds->recordCount(), 3);                     // already inserting: no second new row
    ds->post();
    QCOMPARE(t->count(QStringLiteral("TakeMeter")), 3);
    QCOMPARE(t->scalar(QStringLiteral("SELECT TakeNumber FROM TakeMeter WHERE MeterID = '1001'")).toInt(), 1200);
    QCOMPARE(t->scalar(QStringLiteral("SELECT TakeNumber FROM TakeMeter WHERE MeterID = '1003'")).toInt(), 88);
    // A row being edited is typed into, not replaced.
    ds->first();
    ds->edit();
    QTest::keyClicks(counter, QStringLiteral("5"));
    QCOMPARE(ds->state(), DataSet::Edit);
    QCOMPARE(ds->recordCount(), 3);
}

void TstDBEditEh::enterReachesTheWindowFirst_data()
{
    QTest::addColumn<bool>("eat");
    QTest::newRow("window handles Enter") << true;
    QTest::newRow("window lets Enter through") << false;
}

void TstDBEditEh::enterReachesTheWindowFirst()
{
    QFETCH(bool, eat);
    DataSet *ds = readings();
    TDBEditEh *number = edit(ds, QStringLiteral("MeterID"));
    ds->open();
    EnterCatcher catcher(eat);
    catcher.watchedSet = ds;
    number->installEventFilter(&catcher);
    QSignalSpy returns(number, &QLineEdit::returnPressed);
    number->selectAll();
    QTest::keyClicks(number, QStringLiteral("1002"));
    QTest::keyClick(number, Qt::Key_Return);
    QCOMPARE(catcher.enters, 1);
    QCOMPARE(catcher.textSeen, QStringLiteral("1002"));
    QCOMPARE(catcher.stateSeen, DataSet::Edit);
    QCOMPARE(returns.count(), eat ? 0 : 1);
    // Enter itself neither writes nor posts.
    QCOMPARE(ds->state(), DataSet::Edit);
    QCOMPARE(ds->asString(QStringLiteral("MeterID")), QStringLiteral("1001"));
    QCOMPARE(number->text(), QStringLiteral("1002"));
}

void TstDBEditEh::keyFilters_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<int>("filter");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    const int byField = TDBEditEh::FieldKindKeys;
    QTest::newRow("integer refuses letters") << "TakeNumber" << byField << "12a3" << "123";
    QTest::newRow("integer takes signs") << "TakeNumber" << byField << "+-5" << "+-5";
    QTest::newRow("integer refuses a point") << "TakeNumber" << byField << "1.5" << "15";
    QTest::newRow("integer refuses blanks") << "TakeNumber" << byField << "1 2" << "12";
    QTest::newRow("amount takes the point") << "Charge" << byField << "2.5x" << "2.5";
    QTest::newRow("text takes anything") << "MeterID" << byField << "ab-1." << "ab-1.";
    QTest::newRow("filter switched off") << "TakeNumber" << int(TDBEditEh::NoKeyFilter) << "1a" << "1a";
    QTest::newRow("integer keys on text") << "MeterID" << int(TDBEditEh::IntegerKeys) << "a1-" << "1-";
    QTest::newRow("decimal keys on text") << "MeterID" << int(TDBEditEh::DecimalKeys) << "a1.5" << "1.5";
}

void TstDBEditEh::keyFilters()
{
    QFETCH(QString, field);
    QFETCH(int, filter);
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    DataSet *ds = readings();
    TDBEditEh *e = edit(ds, field);
    e->setKeyFilter(TDBEditEh::KeyFilter(filter));
    ds->open();
    e->clear();
    QTest::keyClicks(e, typed);
    QCOMPARE(e->text(), shown);
}

void TstDBEditEh::lengthLimitedByField()
{
    DataSet *ds = readings();
    TDBEditEh *number = edit(ds, QStringLiteral("MeterID"));
    ds->open();
    QCOMPARE(number->maxLength(), 10);
    number->selectAll();
    QTest::keyClicks(number, QStringLiteral("123456789012"));
    QCOMPARE(number->text(), QStringLiteral("1234567890"));
    // An emoji takes two of the ten places: where one is left it is refused, not halved.
    number->selectAll();
    QTest::keyClicks(number, QStringLiteral("123456789"));
    QTest::sendKeyEvent(QTest::Click, number, Qt::Key_unknown, QStringLiteral("💧"), Qt::NoModifier);
    QCOMPARE(number->text(), QStringLiteral("123456789"));
    QTest::keyClicks(number, QStringLiteral("0"));
    QCOMPARE(number->text(), QStringLiteral("1234567890"));
    number->setFieldSizeLimit(false);
    QTest::keyClicks(number, QStringLiteral("12"));
    QCOMPARE(number->text(), QStringLiteral("123456789012"));
}

void TstDBEditEh::leavingWritesTypedText()
{
    DataSet *ds = readings();
    TDBEditEh *number = edit(ds, QStringLiteral("MeterID"));
    TDBEditEh *counter = edit(ds, QStringLiteral("TakeNumber"));
    ds->open();
    activate();
    counter->setFocus();
    counter->selectAll();
    QTest::keyClicks(counter, QStringLiteral("1210"));
    QTest::keyClick(counter, Qt::Key_Tab);
    QVERIFY(!counter->hasFocus());
    QCOMPARE(ds->value(QStringLiteral("TakeNumber")).toLongLong(), qint64(1210));
    QCOMPARE(ds->state(), DataSet::Edit);
    QVERIFY(boxes->boxes().isEmpty());
    Q_UNUSED(number);
}

void TstDBEditEh::refusedTextOnLeavingKeepsFocus()
{
    DataSet *ds = readings();
    TDBEditEh *counter = edit(ds, QStringLiteral("TakeNumber"));
    edit(ds, QStringLiteral("MeterID"));
    counter->setKeyFilter(TDBEditEh::NoKeyFilter);
    ds->open();
    activate();
    counter->setFocus();
    counter->selectAll();
    QTest::keyClicks(counter, QStringLiteral("12x"));
    QTest::keyClick(counter, Qt::Key_Tab);
    QCOMPARE(boxes->boxes().size(), 1);
    QCOMPARE(boxes->last().text, QStringLiteral("“12x”不是有效的整数！."));
    QCOMPARE(boxes->last().icon, QMessageBox::Critical);
    QVERIFY(counter->hasFocus());
    QCOMPARE(counter->text(), QStringLiteral("12x"));
    QCOMPARE(ds->state(), DataSet::Edit);
    QVERIFY_THROWS_EXCEPTION(DatabaseError, ds->post());
    QCOMPARE(ds->state(), DataSet::Edit);
    QCOMPARE(t->scalar(QStringLiteral("SELECT TakeNumber FROM TakeMeter WHERE MeterID = '1001'")).toInt(), 1200);
}

void TstDBEditEh::programChangesOfOtherFieldsKeepTypedText()
{
    DataSet *ds = readings();
    TDBEditEh *number = edit(ds, QStringLiteral("MeterID"));
    ds->open();
    number->selectAll();
    QTest::keyClicks(number, QStringLiteral("99"));
    ds->setValue(QStringLiteral("TakeNumber"), 1500);
    QCOMPARE(number->text(), QStringLiteral("99"));
    QVERIFY(number->hasTypedText());
    // A program writing this very field replaces what was typed.
    ds->setValue(QStringLiteral("MeterID"), QStringLiteral("1003"));
    QCOMPARE(number->text(), QStringLiteral("1003"));
    QVERIFY(!number->hasTypedText());
    ds->post();
    QCOMPARE(t->scalar(QStringLiteral("SELECT count(*) FROM TakeMeter WHERE MeterID = '1003' AND TakeNumber = 1500"))
                 .toInt(),
             1);
}

void TstDBEditEh::escapeDropsTypedText()
{
    DataSet *ds = readings();
    TDBEditEh *number = edit(ds, QStringLiteral("MeterID"));
    ds->open();
    number->selectAll();
    QTest::keyClicks(number, QStringLiteral("99"));
    QTest::keyClick(number, Qt::Key_Escape);
    QCOMPARE(number->text(), QStringLiteral("1001"));
    QVERIFY(!number->hasTypedText());
    ds->post();
    QCOMPARE(t->scalar(QStringLiteral("SELECT count(*) FROM TakeMeter WHERE MeterID = '99'")).toInt(), 0);
}

void TstDBEditEh::unmodifiableSetRefusesTyping_data()
{
    QTest::addColumn<bool>("closed");
    QTest::newRow("read-only set") << false;
    QTest::newRow("closed set") << true;
}

void TstDBEditEh::unmodifiableSetRefusesTyping()
{
    QFETCH(bool, closed);
    DataSet *ds = readings();
    TDBEditEh *number = edit(ds, QStringLiteral("MeterID"));
    ds->open();
    if (closed)
        ds->close();
    else
        ds->setReadOnly(true);
    const QString before = number->text();
    QTest::keyClicks(number, QStringLiteral("7"));
    QCOMPARE(number->text(), before);
    QVERIFY(!number->hasTypedText());
    QCOMPARE(ds->state(), closed ? DataSet::Inactive : DataSet::Browse);
    QVERIFY(boxes->boxes().isEmpty());
}

void TstDBEditEh::recentValues()
{
    DataSet *ds = readings();
    TDBEditEh *counter = edit(ds, QStringLiteral("TakeNumber"));
    counter->setHistoryEnabled(true);
    counter->setHistoryLimit(2);
    ds->open();
    activate();
    counter->setFocus();
    for (const char *value : { "1210", "1220", "1210", "1230" }) {
        counter->selectAll();
        QTest::keyClicks(counter, QString::fromLatin1(value));
        ds->post();
    }
    QCOMPARE(counter->history(), QStringList({ "1230", "1210" }));
    // Typing the start of a value offers it; picking it edits the row like typing.
    ds->next();
    counter->selectAll();
    QTest::keyClicks(counter, QStringLiteral("12"));
    QVERIFY(counter->isHistoryVisible());
    QWidget *popup = QApplication::activePopupWidget();
    QVERIFY(popup);
    QTest::keyClick(popup, Qt::Key_Down);
    QTest::keyClick(popup, Qt::Key_Return);
    QVERIFY(!counter->isHistoryVisible());
    QCOMPARE(counter->text(), QStringLiteral("1230"));
    QCOMPARE(ds->state(), DataSet::Edit);
    ds->post();
    QCOMPARE(t->scalar(QStringLiteral("SELECT TakeNumber FROM TakeMeter WHERE MeterID = '1002'")).toInt(), 1230);
    // Alt+Down opens the whole list.
    QTest::keyClick(counter, Qt::Key_Down, Qt::AltModifier);
    QVERIFY(counter->isHistoryVisible());
    QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Escape);
    QVERIFY(!counter->isHistoryVisible());
    QCOMPARE(ds->state(), DataSet::Browse);
}

void TstDBEditEh::enterWithRecentValuesOpen()
{
    DataSet *ds = readings();
    TDBEditEh *counter = edit(ds, QStringLiteral("TakeNumber"));
    counter->setHistoryEnabled(true);
    counter->addHistory(QStringLiteral("1500"));
    ds->open();
    activate();
    counter->setFocus();
    EnterCatcher catcher(true);
    counter->installEventFilter(&catcher);
    counter->selectAll();
    QTest::keyClicks(counter, QStringLiteral("15"));
    QVERIFY(counter->isHistoryVisible());
    QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Return);
    QCOMPARE(catcher.enters, 1);
    QCOMPARE(catcher.textSeen, QStringLiteral("15"));
    QVERIFY(!counter->isHistoryVisible());
    QCOMPARE(counter->text(), QStringLiteral("15"));
}

namespace {

// The reading window's keys in small: Enter on the number moves on, Enter on the counter
// begins the next row (which posts the typed one).
class ReadingKeys : public QObject
{
public:
    ReadingKeys(DataSet *ds, TDBEditEh *number, TDBEditEh *counter) : m_ds(ds), m_number(number), m_counter(counter)
    {
        number->installEventFilter(this);
        counter->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::KeyPress || static_cast<QKeyEvent *>(event)->key() != Qt::Key_Return)
            return false;
        if (watched == m_number) {
            m_counter->setFocus();
        } else {
            Guarded(m_counter, [&] { m_ds->append(); });
            m_number->setFocus();
        }
        return true;
    }

private:
    DataSet *m_ds;
    TDBEditEh *m_number;
    TDBEditEh *m_counter;
};

}

void TstDBEditEh::keyboardReadingCycle()
{
    DataSet *ds = readings();
    TDBEditEh *number = edit(ds, QStringLiteral("MeterID"));
    TDBEditEh *counter = edit(ds, QStringLiteral("TakeNumber"));
    TDBEditEh *charge = edit(ds, QStringLiteral("Charge"));
    charge->setEnabled(false);
    for (TDBEditEh *e : { number, counter })
        e->setBrowseTyping(FieldLink::BrowseTyping::AppendRow);
    counter->setHistoryEnabled(true);
    ds->setOnNewRecord([ds] { ds->setValue(QStringLiteral("TakeTime"), QDate(2024, 3, 6)); });
    ds->setBeforePost([ds] {
        ds->setValue(QStringLiteral("Charge"), QStringLiteral("12.345"));
        ds->setValue(QStringLiteral("CurValue"), ds->asInteger(QStringLiteral("TakeNumber")) - 1000);
    });
    ds->open();
    ReadingKeys keys(ds, number, counter);
    activate();
    number->setFocus();
    for (const char *meter : { "1003", "1001" }) {
        QTest::keyClicks(number, QString::fromLatin1(meter));
        QTest::keyClick(number, Qt::Key_Return);
        QVERIFY(counter->hasFocus());
        QTest::keyClicks(counter, QStringLiteral("1500"));
        QTest::keyClick(counter, Qt::Key_Return);
        QVERIFY(number->hasFocus());
        QCOMPARE(ds->state(), DataSet::Insert);
        QCOMPARE(number->text(), QString());
        QCOMPARE(counter->text(), QString());
    }
    QVERIFY(boxes->boxes().isEmpty());
    QCOMPARE(t->count(QStringLiteral("TakeMeter")), 4);
    QCOMPARE(t->scalar(QStringLiteral("SELECT count(*) FROM TakeMeter WHERE TakeTime = '2024-03-06' AND TakeNumber = 1500 "
                                      "AND CurValue = 500 AND Charge = 123450")).toInt(),
             2);
    QCOMPARE(counter->history(), QStringList({ "1500" }));
    // The stored rows are untouched by the typing; the figures of the last one show when it is current.
    QCOMPARE(t->scalar(QStringLiteral("SELECT TakeNumber FROM TakeMeter WHERE MeterID = '1001' AND TakeTime = '2024-03-05'"))
                 .toInt(),
             1200);
    ds->cancel();
    ds->last();
    QCOMPARE(charge->text(), QStringLiteral("12.35"));
}

QTEST_MAIN(TstDBEditEh)
#include "tst_DBEditEh.moc"
