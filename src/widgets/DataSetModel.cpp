#include "DataSetModel.h"

#include "Database.h"

DataSetModel::DataSetModel(QObject *parent) : QAbstractTableModel(parent) {}

void DataSetModel::setDataSet(DataSet *dataSet)
{
    beginResetModel();
    for (const auto &c : std::as_const(m_connections))
        disconnect(c);
    m_connections.clear();
    m_dataSet = dataSet;
    if (dataSet) {
        m_connections << connect(dataSet, &DataSet::aboutToReset, this, [this] {
            m_structureChanging = true;
            beginResetModel();
        });
        m_connections << connect(dataSet, &DataSet::reset, this, [this] {
            resolveFields();
            m_currentRow = m_dataSet->recNo();
            endResetModel();
            m_structureChanging = false;
        });
        m_connections << connect(dataSet, &DataSet::aboutToInsertRow, this, [this](int pos) {
            m_structureChanging = true;
            beginInsertRows({}, pos, pos);
        });
        m_connections << connect(dataSet, &DataSet::rowInserted, this, [this] {
            endInsertRows();
            m_structureChanging = false;
        });
        m_connections << connect(dataSet, &DataSet::aboutToRemoveRow, this, [this](int pos) {
            m_structureChanging = true;
            beginRemoveRows({}, pos, pos);
        });
        m_connections << connect(dataSet, &DataSet::rowRemoved, this, [this] {
            endRemoveRows();
            m_structureChanging = false;
        });
        m_connections << connect(dataSet, &DataSet::rowChanged, this, &DataSetModel::onRowChanged);
        m_connections << connect(dataSet, &DataSet::currentChanged, this, &DataSetModel::onCurrentChanged);
        m_connections << connect(dataSet, &DataSet::stateChanged, this, [this] { refreshIndicator(m_currentRow); });
        m_connections << connect(dataSet, &QObject::destroyed, this, [this] {
            beginResetModel();
            m_connections.clear();
            m_fieldIndexes.clear();
            m_currentRow = -1;
            endResetModel();
        });
    }
    resolveFields();
    m_currentRow = dataSet && dataSet->isActive() ? dataSet->recNo() : -1;
    endResetModel();
}

int DataSetModel::addColumn(const QString &field, const QString &title)
{
    const int n = int(m_columns.size());
    beginInsertColumns({}, n, n);
    m_columns.append({ field, title });
    resolveFields();
    endInsertColumns();
    return n;
}

void DataSetModel::clearColumns()
{
    beginResetModel();
    m_columns.clear();
    m_fieldIndexes.clear();
    endResetModel();
}

void DataSetModel::setColumnDecimals(int column, int decimals)
{
    m_columns[column].decimals = qBound(0, decimals, 4);
    if (rowCount() > 0)
        emit dataChanged(index(0, column), index(rowCount() - 1, column), { Qt::DisplayRole });
}

void DataSetModel::setColumnAlignment(int column, Qt::Alignment alignment)
{
    m_columns[column].alignment = alignment;
    if (rowCount() > 0)
        emit dataChanged(index(0, column), index(rowCount() - 1, column), { Qt::TextAlignmentRole });
}

void DataSetModel::setTitleAlignment(int column, Qt::Alignment alignment)
{
    m_columns[column].titleAlignment = alignment;
    emit headerDataChanged(Qt::Horizontal, column, column);
}

void DataSetModel::resolveFields()
{
    m_fieldIndexes.clear();
    for (const Column &c : std::as_const(m_columns))
        m_fieldIndexes.append(m_dataSet && m_dataSet->isActive() ? m_dataSet->fieldIndex(c.field) : -1);
}

int DataSetModel::fieldIndex(int column) const
{
    return m_fieldIndexes.value(column, -1);
}

int DataSetModel::rowCount(const QModelIndex &parent) const
{
    if (parent.isValid() || !m_dataSet || !m_dataSet->isActive())
        return 0;
    return m_dataSet->recordCount();
}

int DataSetModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_columns.size());
}

Qt::Alignment DataSetModel::cellAlignment(int column) const
{
    const Column &c = m_columns.at(column);
    if (c.alignment)
        return c.alignment;
    const int fi = fieldIndex(column);
    const FieldKind kind = fi >= 0 ? m_dataSet->fields().at(fi).kind : FieldKind::Text;
    const bool number = kind == FieldKind::Integer || kind == FieldKind::Currency;
    return (number ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter;
}

QVariant DataSetModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= columnCount())
        return {};
    const int fi = fieldIndex(index.column());
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole: {
        if (fi < 0)
            return QString();
        const FieldKind kind = m_dataSet->fields().at(fi).kind;
        const QVariant v = m_dataSet->valueAt(index.row(), fi);
        return role == Qt::DisplayRole ? FieldText::display(kind, v, m_columns.at(index.column()).decimals)
                                       : FieldText::edit(kind, v);
    }
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(cellAlignment(index.column()));
    default:
        return {};
    }
}

QVariant DataSetModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal) {
        if (section < 0 || section >= m_columns.size())
            return {};
        if (role == Qt::DisplayRole)
            return m_columns.at(section).title;
        if (role == Qt::TextAlignmentRole)
            return QVariant::fromValue(m_columns.at(section).titleAlignment | Qt::AlignVCenter);
        return {};
    }
    if (role == IndicatorRole) {
        if (!m_dataSet || !m_dataSet->isActive() || section != m_dataSet->recNo())
            return int(NoIndicator);
        switch (m_dataSet->state()) {
        case DataSet::Edit:
            return int(EditingRow);
        case DataSet::Insert:
            return int(InsertingRow);
        default:
            return int(CurrentRow);
        }
    }
    return {};   // the indicator is painted, no row numbers
}

Qt::ItemFlags DataSetModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    const int fi = fieldIndex(index.column());
    if (fi >= 0 && m_dataSet->canModify()) {
        const DataSet::Field &field = m_dataSet->fields().at(fi);
        if (!field.lookup && !field.autoIncrement)
            f |= Qt::ItemIsEditable;
    }
    return f;
}

void DataSetModel::setCellText(int row, int column, const QString &text)
{
    if (!m_dataSet || !m_dataSet->isActive())
        throw DatabaseError(QStringLiteral("数据集没有打开！"));
    const int fi = fieldIndex(column);
    if (fi < 0)
        throw DatabaseError(QStringLiteral("找不到字段 %1").arg(m_columns.value(column).field));
    if (row != m_dataSet->recNo())
        m_dataSet->setRecNo(row);
    const DataSet::Field field = m_dataSet->fields().at(fi);
    const QVariant value = DataSet::convert(field, FieldText::parse(field.kind, text));
    // Leaving a cell unchanged does not put the row into editing.
    const QVariant current = m_dataSet->value(fi);
    if (!m_dataSet->isEditing() && value == current && value.isNull() == current.isNull())
        return;
    m_dataSet->edit();
    m_dataSet->setValue(field.name, value);
}

bool DataSetModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (!index.isValid() || role != Qt::EditRole)
        return false;
    try {
        setCellText(index.row(), index.column(), value.toString());
        return true;
    } catch (const std::exception &) {
        return false;
    }
}

void DataSetModel::onRowChanged(int pos)
{
    // A new-record hook fills the row before the view has been told about it.
    if (m_structureChanging || pos < 0 || pos >= rowCount() || m_columns.isEmpty())
        return;
    emit dataChanged(index(pos, 0), index(pos, columnCount() - 1));
}

void DataSetModel::onCurrentChanged()
{
    const int old = m_currentRow;
    m_currentRow = m_dataSet && m_dataSet->isActive() ? m_dataSet->recNo() : -1;
    refreshIndicator(old);
    refreshIndicator(m_currentRow);
    emit currentRowChanged(m_currentRow);
}

void DataSetModel::refreshIndicator(int row)
{
    if (row >= 0 && row < rowCount() && !m_structureChanging)
        emit headerDataChanged(Qt::Vertical, row, row);
}
