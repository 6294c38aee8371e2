#include "DBLookupComboboxEh.h"

#include "FieldText.h"
#include "Guarded.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QKeyEvent>
#include <QScopedValueRollback>
#include <QWheelEvent>

namespace {

// Keys match as DataSet's lookup fields match them: texts without regard to case.
bool sameKey(const QVariant &a, const QVariant &b)
{
    if (a.isNull() || b.isNull())
        return a.isNull() && b.isNull();
    if (a.metaType().id() == QMetaType::QString || b.metaType().id() == QMetaType::QString)
        return a.toString().compare(b.toString(), Qt::CaseInsensitive) == 0;
    return a == b;
}

}

TDBLookupComboboxEh::TDBLookupComboboxEh(QWidget *parent) : QComboBox(parent)
{
    m_link = new FieldLink(this);
    setEditable(false);
    setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    setMinimumContentsLength(6);
    view()->parentWidget()->installEventFilter(this);
    connect(m_link, &FieldLink::valueChanged, this, &TDBLookupComboboxEh::showValue);
    connect(this, &QComboBox::activated, this, &TDBLookupComboboxEh::onActivated);
}

void TDBLookupComboboxEh::setDataSet(DataSet *dataSet)
{
    m_link->setDataSet(dataSet);
}

void TDBLookupComboboxEh::setDataField(const QString &field)
{
    m_link->setField(field);
}

void TDBLookupComboboxEh::setListSource(DataSet *list)
{
    for (const auto &c : std::as_const(m_listConnections))
        disconnect(c);
    m_listConnections.clear();
    m_list = list;
    if (list) {
        m_listConnections << connect(list, &DataSet::reset, this, &TDBLookupComboboxEh::fillList);
        m_listConnections << connect(list, &DataSet::rowInserted, this, &TDBLookupComboboxEh::fillList);
        m_listConnections << connect(list, &DataSet::rowRemoved, this, &TDBLookupComboboxEh::fillList);
        m_listConnections << connect(list, &DataSet::rowChanged, this, &TDBLookupComboboxEh::fillList);
        m_listConnections << connect(list, &QObject::destroyed, this, [this] {
            m_listConnections.clear();
            fillList();
        });
    }
    fillList();
}

void TDBLookupComboboxEh::setKeyField(const QString &field)
{
    m_keyField = field;
    fillList();
}

void TDBLookupComboboxEh::setListField(const QString &field)
{
    m_listField = field;
    fillList();
}

void TDBLookupComboboxEh::fillList()
{
    {
        QScopedValueRollback<bool> loading(m_loading, true);
        clear();
        if (m_list && m_list->isActive()) {
            const int k = m_list->fieldIndex(m_keyField);
            const int l = m_list->fieldIndex(m_listField);
            if (k >= 0 && l >= 0) {
                const FieldKind kind = m_list->fields().at(l).kind;
                for (int pos = 0; pos < m_list->recordCount(); ++pos)
                    addItem(FieldText::display(kind, m_list->valueAt(pos, l)), m_list->valueAt(pos, k));
            }
        }
    }
    showValue();
}

int TDBLookupComboboxEh::indexOfKey(const QVariant &key) const
{
    if (key.isNull())
        return -1;
    for (int i = 0; i < count(); ++i)
        if (sameKey(itemData(i), key))
            return i;
    return -1;
}

void TDBLookupComboboxEh::showValue()
{
    QScopedValueRollback<bool> loading(m_loading, true);
    setCurrentIndex(indexOfKey(m_link->value()));
}

bool TDBLookupComboboxEh::writeKey(const QVariant &key)
{
    DataSet *ds = m_link->dataSet();
    bool editing = ds && ds->isEditing();
    if (!editing)
        Guarded(this, [&] { editing = m_link->beginEdit(); });
    if (!editing) {
        QApplication::beep();
        showValue();
        return false;
    }
    const bool written = Guarded(this, [&] { m_link->write(key); });
    showValue();
    return written;
}

void TDBLookupComboboxEh::onActivated(int index)
{
    if (m_loading)
        return;
    const QVariant key = itemData(index);
    if (sameKey(key, keyValue()))
        return;
    if (writeKey(key))
        emit keyValueChanged(keyValue());
}

bool TDBLookupComboboxEh::selectKey(const QVariant &key)
{
    if (!key.isNull() && indexOfKey(key) < 0)
        return false;
    if (sameKey(key, keyValue()))
        return true;
    if (!writeKey(key))
        return false;
    emit keyValueChanged(keyValue());
    return true;
}

void TDBLookupComboboxEh::keyPressEvent(QKeyEvent *event)
{
    if ((event->key() == Qt::Key_Delete || event->key() == Qt::Key_Backspace)
        && event->modifiers() == Qt::NoModifier) {
        if (!keyValue().isNull())
            selectKey(QVariant());
        event->accept();
        return;
    }
    QComboBox::keyPressEvent(event);
}

void TDBLookupComboboxEh::wheelEvent(QWheelEvent *event)
{
    // Scrolling past a box must not change a stored key.
    event->ignore();
}

bool TDBLookupComboboxEh::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == view()->parentWidget()) {
        if (event->type() == QEvent::Show) {
            m_popupOpen = true;
        } else if (event->type() == QEvent::Hide && m_popupOpen) {
            m_popupOpen = false;
            // The combo box hides its list before it reports the pick.
            QMetaObject::invokeMethod(this, &TDBLookupComboboxEh::closeUp, Qt::QueuedConnection);
        }
    }
    return QComboBox::eventFilter(watched, event);
}
