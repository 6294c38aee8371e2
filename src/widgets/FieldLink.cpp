#include "FieldLink.h"

FieldLink::FieldLink(QObject *parent) : QObject(parent) {}

void FieldLink::setDataSet(DataSet *dataSet)
{
    for (const auto &c : std::as_const(m_connections))
        disconnect(c);
    m_connections.clear();
    m_dataSet = dataSet;
    if (dataSet) {
        m_connections << connect(dataSet, &DataSet::reset, this, [this] {
            emit fieldsChanged();
            reload();
        });
        m_connections << connect(dataSet, &DataSet::currentChanged, this, &FieldLink::reload);
        m_connections << connect(dataSet, &DataSet::rowChanged, this, [this](int pos) {
            if (m_dataSet && pos == m_dataSet->recNo())
                checkValue();
        });
        m_connections << connect(dataSet, &DataSet::stateChanged, this, &FieldLink::stateChanged);
        m_connections << connect(dataSet, &QObject::destroyed, this, [this] {
            m_connections.clear();
            emit fieldsChanged();
            reload();
        });
    }
    emit fieldsChanged();
    reload();
}

void FieldLink::setField(const QString &field)
{
    m_field = field;
    emit fieldsChanged();
    reload();
}

bool FieldLink::isActive() const
{
    return m_dataSet && m_dataSet->isActive() && m_dataSet->fieldIndex(m_field) >= 0;
}

DataSet::Field FieldLink::field() const
{
    if (!isActive())
        return {};
    return m_dataSet->fields().at(m_dataSet->fieldIndex(m_field));
}

QVariant FieldLink::value() const
{
    if (!isActive() || m_dataSet->recNo() < 0)
        return {};
    return m_dataSet->value(m_dataSet->fieldIndex(m_field));
}

bool FieldLink::canModify() const
{
    if (!isActive() || !m_dataSet->canModify())
        return false;
    const DataSet::Field f = field();
    return !f.lookup && !f.autoIncrement;
}

bool FieldLink::beginEdit()
{
    if (!canModify())
        return false;
    if (m_dataSet->isEditing())
        return true;
    if (m_browseTyping == BrowseTyping::AppendRow)
        m_dataSet->append();
    else
        m_dataSet->edit();
    return m_dataSet->isEditing();
}

void FieldLink::write(const QVariant &value)
{
    if (!isActive())
        return;
    m_dataSet->setValue(field().name, value);
}

void FieldLink::reload()
{
    m_shown = value();
    emit valueChanged();
}

void FieldLink::checkValue()
{
    const QVariant now = value();
    if (now == m_shown && now.isNull() == m_shown.isNull())
        return;
    m_shown = now;
    emit valueChanged();
}
