// DataSetModel.h: a table model over one DataSet, the data source of grids: columns chosen by
// field, display formatting, the row indicator, and in-place writes into the edited row.
#pragma once

#include "DataSet.h"
#include "FieldText.h"

#include <QAbstractTableModel>
#include <QPointer>

class DataSetModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    // The vertical header's IndicatorRole: what the row indicator shows for a row.
    enum Indicator { NoIndicator, CurrentRow, EditingRow, InsertingRow };
    enum Role { IndicatorRole = Qt::UserRole + 1 };

    struct Column
    {
        QString field;
        QString title;
        int decimals = FieldText::DefaultDecimals;   // places of currency values
        Qt::Alignment alignment;                     // empty: right for numbers, left otherwise
        Qt::Alignment titleAlignment = Qt::AlignCenter;
    };

    explicit DataSetModel(QObject *parent = nullptr);

    // Follows the DataSet's signals; a null set leaves the model empty.
    void setDataSet(DataSet *dataSet);
    DataSet *dataSet() const { return m_dataSet; }

    // Columns in order; returns the new column's number.
    int addColumn(const QString &field, const QString &title);
    void clearColumns();
    const Column &column(int column) const { return m_columns.at(column); }
    void setColumnDecimals(int column, int decimals);
    void setColumnAlignment(int column, Qt::Alignment alignment);
    void setTitleAlignment(int column, Qt::Alignment alignment);
    // The DataSet's field index of a column, -1 while the set is closed or lacks the field.
    int fieldIndex(int column) const;
    // Rows are being inserted, removed or reset; views move their current row by themselves
    // meanwhile, which is not the operator's doing.
    bool isChangingRows() const { return m_structureChanging; }

    // Writes a cell of the current row (moving there first) and puts the row into editing.
    // Throws DatabaseError when the text does not fit the field or the set cannot be modified.
    void setCellText(int row, int column, const QString &text);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    // The item-view entry point; failures are swallowed (returns false). Views that must report
    // them call setCellText inside Guarded.
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;

signals:
    // The DataSet moved to another row (-1 when it has none).
    void currentRowChanged(int row);

private:
    void resolveFields();
    void onCurrentChanged();
    void onRowChanged(int pos);
    void refreshIndicator(int row);
    Qt::Alignment cellAlignment(int column) const;

    QPointer<DataSet> m_dataSet;
    QList<Column> m_columns;
    QList<int> m_fieldIndexes;
    QList<QMetaObject::Connection> m_connections;
    int m_currentRow = -1;
    bool m_structureChanging = false;   // between a DataSet's about-to and done signals
};
