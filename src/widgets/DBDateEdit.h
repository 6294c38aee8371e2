// DBDateEdit.h: the bound date box with a drop-down calendar: shows a date field of the current
// row and writes the operator's date into the edited row at once.
#pragma once

#include "FieldLink.h"

#include <QDateEdit>

// Binding: setDataSet() and setDataField() on a Date or DateTime field (a DateTime keeps its
// time of day). A null value shows as a blank box; Ctrl+Delete clears the date. Changing the
// date while the DataSet is browsing puts the row into editing like typing into TDBEditEh.
// Enter is left to the window's event filter, as with TDBEditEh.
class TDBDateEdit : public QDateEdit
{
    Q_OBJECT
public:
    explicit TDBDateEdit(QWidget *parent = nullptr);

    void setDataSet(DataSet *dataSet);
    DataSet *dataSet() const { return m_link->dataSet(); }
    void setDataField(const QString &field);
    QString dataField() const { return m_link->fieldName(); }
    FieldLink *link() const { return m_link; }
    void setBrowseTyping(FieldLink::BrowseTyping mode) { m_link->setBrowseTyping(mode); }

    // The date shown; invalid while the value is null.
    QDate shownDate() const;
    bool isNull() const { return date() == minimumDate(); }

protected:
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void showValue();
    void onDateChanged(const QDate &date);
    void writeDate(const QDate &date);

    FieldLink *m_link = nullptr;
    bool m_loading = false;
};
