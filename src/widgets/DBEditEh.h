// DBEditEh.h: the bound edit box: shows one field of the DataSet's current row as text, puts the
// row into editing when the operator types and writes the typed text back on post or on leaving.
#pragma once

#include "FieldLink.h"
#include "FieldText.h"

#include <QLineEdit>
#include <QPointer>

class QCompleter;
class QStringListModel;

// Binding: setDataSet() and setDataField(). A key that changes the text first readies the row:
// edit() while browsing (an empty set gets a new row), or append() with BrowseTyping::AppendRow,
// so the key lands in the new row's empty box. A closed, read-only or display-only field refuses
// the key with a beep. Escape drops the typed text and shows the value again.
//
// The typed text stays in the box until it is written: the control registers with
// DataSet::addEditor, so post() writes it first, and leaving the control writes it too (a value
// the field refuses shows the general error box and the focus stays). A program that writes this
// field replaces typed text; writes to other fields of the row leave it alone.
//
// Enter: the control does nothing with Enter itself. A window that drives keyboard entry
// installs an event filter on the control (installEventFilter) and handles Qt::Key_Return /
// Qt::Key_Enter there; the filter runs before the control and returning true ends the key.
// While the list of recent values is open, an Enter that picks no entry closes the list and is
// delivered to the control the same way, so the window's filter sees it; an Enter that picks an
// entry only puts that entry into the box.
//
// Display mode: setReadOnly(true) or setEnabled(false); the control then only shows the value.
class TDBEditEh : public QLineEdit
{
    Q_OBJECT
public:
    // Which typed characters are accepted; refused ones beep.
    enum KeyFilter {
        NoKeyFilter,
        FieldKindKeys,   // by the field: integers as IntegerKeys, amounts as DecimalKeys
        IntegerKeys,     // digits, + and -
        DecimalKeys,     // digits, + and - and the decimal separator
    };

    explicit TDBEditEh(QWidget *parent = nullptr);

    void setDataSet(DataSet *dataSet);
    DataSet *dataSet() const { return m_link->dataSet(); }
    void setDataField(const QString &field);
    QString dataField() const { return m_link->fieldName(); }
    FieldLink *link() const { return m_link; }

    // Typing while the DataSet is only browsing edits the current row (the default) or, with
    // FieldLink::BrowseTyping::AppendRow, begins a new row at the end.
    void setBrowseTyping(FieldLink::BrowseTyping mode) { m_link->setBrowseTyping(mode); }

    void setKeyFilter(KeyFilter filter) { m_keyFilter = filter; }   // FieldKindKeys by default
    KeyFilter keyFilter() const { return m_keyFilter; }
    // Places of an amount shown while not typed into; 2 unless told.
    void setDecimals(int decimals);
    int decimals() const { return m_decimals; }
    // Limits the text to the field's size (on by default).
    void setFieldSizeLimit(bool on);

    // The operator has typed since the value was last shown.
    bool hasTypedText() const { return m_typed; }
    // Writes typed text into the edited row now; throws DatabaseError when the field refuses it.
    void updateRecord();
    // Shows the field's value again, dropping typed text.
    void revert();

    // Recent values: a drop-down (the arrow at the right, Alt+Down or F4, or typing the start of
    // a value) offers the values last written by this control, newest first.
    void setHistoryEnabled(bool on);
    bool isHistoryEnabled() const { return m_historyEnabled; }
    void setHistoryLimit(int limit);
    QStringList history() const;
    void addHistory(const QString &value);
    void showHistory();
    bool isHistoryVisible() const;

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void inputMethodEvent(QInputMethodEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void showValue();
    bool readyRow();
    static bool changesText(const QKeyEvent *event);
    void onTextEdited(const QString &text);
    void onFieldsChanged();
    void pickHistory(const QString &value);
    KeyFilter effectiveKeyFilter() const;

    FieldLink *m_link = nullptr;
    QList<QPointer<DataSet>> m_registered;
    KeyFilter m_keyFilter = FieldKindKeys;
    int m_decimals = FieldText::DefaultDecimals;
    bool m_fieldSizeLimit = true;
    bool m_typed = false;
    bool m_loading = false;

    bool m_historyEnabled = false;
    int m_historyLimit = 20;
    QStringListModel *m_history = nullptr;
    QCompleter *m_completer = nullptr;
    QAction *m_dropAction = nullptr;
};
