// FieldLink.h: ties a bound control to one field of a DataSet: says when the control must show
// the field again and puts the row into editing before the operator's change is written.
#pragma once

#include "DataSet.h"

#include <QObject>
#include <QPointer>

class FieldLink : public QObject
{
    Q_OBJECT
public:
    // What typing into a control does while the DataSet is only browsing.
    enum class BrowseTyping {
        EditRow,     // edit the current row (an empty set gets a new row)
        AppendRow,   // begin a new row at the end, so that a stored row is never overwritten
    };

    explicit FieldLink(QObject *parent = nullptr);

    void setDataSet(DataSet *dataSet);
    DataSet *dataSet() const { return m_dataSet; }
    void setField(const QString &field);
    const QString &fieldName() const { return m_field; }
    void setBrowseTyping(BrowseTyping mode) { m_browseTyping = mode; }
    BrowseTyping browseTyping() const { return m_browseTyping; }

    // The set is open and has the field.
    bool isActive() const;
    // The field's description; valid only while isActive().
    DataSet::Field field() const;
    // The current row's value of the field; null when inactive or without a row.
    QVariant value() const;
    bool canModify() const;

    // Readies the row for the operator's change: nothing while editing or inserting, otherwise
    // edit or append as browseTyping says. Returns false when the set cannot be modified.
    // Throws what DataSet throws. The control's shown value is reloaded on the way (a new row
    // is empty), so a control saves what the operator typed before calling this.
    bool beginEdit();
    // Writes the value into the edited row; throws DatabaseError when it does not convert.
    void write(const QVariant &value);

signals:
    // Show value() again: the set opened or closed, the current row moved, or the field's value
    // changed (changes to other fields of the row do not count).
    void valueChanged();
    // The set opened or closed or its fields changed: sizes and kinds may be different.
    void fieldsChanged();
    // The set entered or left editing.
    void stateChanged();

private:
    void reload();
    void checkValue();

    QPointer<DataSet> m_dataSet;
    QString m_field;
    BrowseTyping m_browseTyping = BrowseTyping::EditRow;
    QList<QMetaObject::Connection> m_connections;
    QVariant m_shown;
};
