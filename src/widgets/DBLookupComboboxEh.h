// DBLookupComboboxEh.h: the lookup combo box: bound to a key field of the edited row, lists
// another DataSet's rows by their ListField and stores the chosen row's KeyField.
#pragma once

#include "FieldLink.h"

#include <QComboBox>
#include <QPointer>

// Binding: setDataSet() and setDataField() give the edited row and its key field (for example
// Meter.WorkShopID); setListSource(), setKeyField() and setListField() give the list (for
// example a Workshop query, WrokShopID, WrokShopName). The list follows its DataSet: reopening
// it refills the box. A stored key that is not in the list shows an empty box.
//
// Choosing an entry by mouse or keyboard puts the row into editing and writes the key at once;
// Delete or Backspace on the closed box clears it (null). keyValueChanged() reports such a
// change; closeUp() fires after the drop-down list closes, picked or not, once control is back
// in the event loop, so a picked key has already been written. The mouse wheel does not change
// the value. Enter is left to the window's event filter, as with TDBEditEh.
class TDBLookupComboboxEh : public QComboBox
{
    Q_OBJECT
public:
    explicit TDBLookupComboboxEh(QWidget *parent = nullptr);

    void setDataSet(DataSet *dataSet);
    DataSet *dataSet() const { return m_link->dataSet(); }
    void setDataField(const QString &field);
    QString dataField() const { return m_link->fieldName(); }
    FieldLink *link() const { return m_link; }
    void setBrowseTyping(FieldLink::BrowseTyping mode) { m_link->setBrowseTyping(mode); }

    void setListSource(DataSet *list);
    DataSet *listSource() const { return m_list; }
    void setKeyField(const QString &field);
    QString keyField() const { return m_keyField; }
    void setListField(const QString &field);
    QString listField() const { return m_listField; }

    // The key held by the bound field of the current row (null when none).
    QVariant keyValue() const { return m_link->value(); }
    // Chooses the list entry with this key as the operator would (null clears); returns false
    // when the row cannot be edited or the key is not in the list.
    bool selectKey(const QVariant &key);

signals:
    void closeUp();
    void keyValueChanged(const QVariant &key);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void fillList();
    void showValue();
    void onActivated(int index);
    bool writeKey(const QVariant &key);
    int indexOfKey(const QVariant &key) const;

    FieldLink *m_link = nullptr;
    QPointer<DataSet> m_list;
    QList<QMetaObject::Connection> m_listConnections;
    QString m_keyField;
    QString m_listField;
    bool m_loading = false;
    bool m_popupOpen = false;
};
