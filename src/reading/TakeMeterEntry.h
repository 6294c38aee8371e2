// TakeMeterEntry.h: keyboard entry of one reading date's readings, without a window: the rows of
// the date, the meter-number and counter-value steps and the pricing of every save.
#pragma once

#include <QDate>
#include <QObject>
#include <QString>
#include <QStringList>

class DataSet;
class QWidget;
class TKelvaraMg;

// The window drives this from its keys and places the focus by the results. Boxes go through
// ShowMessageBox owned by the given window; the data manager's own texts through ShowMessageText.
//
// Every save of the rows (Enter in the counter value, the navigator's "提交", a grid edit, leaving
// the row) and every delete (the navigator, Ctrl+Delete) goes through ReadingStore in a transaction
// of its own, as the command line does: the row is priced with its own meter number and the
// reading date, and the meter's later readings are re-priced with it. A correction only ever
// changes the counter value of the reading it opened: giving the row another meter number begins
// a new row for that number, whatever path the number comes by (Enter, Tab, a click, the grid).
class TakeMeterEntry : public QObject
{
    Q_OBJECT
public:
    enum class MeterResult {
        Empty,          // nothing typed: "请输入表号！"
        NotFound,       // no meter begins with the text; the row's meter number is cleared
        ToCounter,      // one meter, not read on the date: type its counter value
        Choose,         // several meters begin with the text: matches()
        Declined,       // read on the date already, and the operator does not correct it
        Correcting,     // read on the date already: the stored reading is being edited
        LocateFailed,   // read on the date, but that row is not among the rows: "表记录定位错!"
    };
    enum class SaveResult {
        Stored,         // priced and stored; a new row waits
        Refused,        // refused with a message; the typed row or correction is dropped, a new row waits
        Kept,           // a rollover or unusual reading the operator did not accept; the row stays as typed
        Failed,         // "数据提交失败！": an empty or non-numeric value, a database error; the row stays
        NoMeter,        // a counter value without a meter number: "请输入表号！"; the row stays
    };

    TakeMeterEntry(TKelvaraMg &manager, QWidget *messageOwner, QObject *parent = nullptr);

    DataSet *adoTakeMeter() const { return m_rows; }

    QDate ReadingDate() const { return m_readingDate; }
    // The meter number of the last Enter or choice, in its registered spelling once found.
    QString ReadingMeterNO() const { return m_readingMeterNo; }

    // Makes date the reading date and reopens the rows when it differs; an unsaved row is dropped.
    void setReadingDate(const QDate &date);
    // The rows of the reading date; a failure shows "打开表错误！" and leaves them closed.
    bool OpenReadings();
    // "开始抄表": a new row at the end unless a row is being edited or inserted.
    bool start();

    // Enter in the meter-number edit with its text.
    MeterResult meterEntered(const QString &typed);
    // The matches of the last Choose, in order, and the position of the one equal to the typed
    // text (any case), -1 when none is.
    const QStringList &matches() const { return m_matches; }
    int exactMatch() const { return m_exactMatch; }
    // A meter number picked from matches().
    MeterResult meterChosen(const QString &number);

    // Enter in the counter edit: saves the row being typed and begins the next one. A database
    // failure that names its cause (locked, read-only, full, damaged) is thrown for the window's
    // guard to tell.
    SaveResult counterEntered();

    // Texts the window shows.
    static QString alreadyReadText(const QString &meterNo);
    static QString notFoundText(const QString &meterNo);
    static QString repricedText(int count);

signals:
    // A row was saved, by whatever path: the window begins the next row.
    void saved();
    // After a save or delete: how many of the meter's later readings it re-priced, for the
    // operator; empty when it re-priced none.
    void repriced(const QString &text);

private:
    void adoTakeMeterBeforePost();
    void adoTakeMeterWrite();
    void adoTakeMeterDelete();
    bool newRowForOtherMeter(const QString &field, const QVariant &value);
    void holdRowFor(const QString &number);
    MeterResult offerCorrection(const QString &number);
    QString storedMeterOfEditedRow() const;

    TKelvaraMg &m_manager;
    QWidget *m_owner = nullptr;
    DataSet *m_rows = nullptr;
    QDate m_readingDate;
    QString m_readingMeterNo;
    QStringList m_matches;
    int m_exactMatch = -1;
    SaveResult m_hookResult = SaveResult::Stored;
};
