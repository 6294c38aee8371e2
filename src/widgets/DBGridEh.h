// DBGridEh.h: the data grid: columns bound to fields, whole-row selection that follows the
// DataSet's current row both ways, a row indicator, Ctrl+Delete with a question, optional
// in-place editing.
#pragma once

#include "DataSetModel.h"

#include <QTableView>

class DataSet;

// Bind with setDataSet() and describe the columns with addColumn(); the grid owns its model.
// Moving the selection moves the DataSet (leaving an untouched new row cancels it, leaving a
// changed row posts it; a refused post shows the general error box and the selection returns),
// and every move of the DataSet moves the selection.
class TDBGridEh : public QTableView
{
    Q_OBJECT
public:
    explicit TDBGridEh(QWidget *parent = nullptr);

    void setDataSet(DataSet *dataSet);
    DataSet *dataSet() const;
    DataSetModel *dataModel() const { return m_model; }

    // A column bound to a field; width in pixels, or -1 for one that fits the title.
    // Titles are centred unless setTitleAlignment says otherwise. Returns the column's number.
    int addColumn(const QString &field, const QString &title, int width = -1);
    void setColumnDecimals(int column, int decimals);   // currency places, 2 unless told
    void setColumnAlignment(int column, Qt::Alignment alignment);
    void setTitleAlignment(int column, Qt::Alignment alignment);

    // Read-only grids never open a cell editor (rows are edited elsewhere); deleting with
    // Ctrl+Delete stays possible. Grids are editable in place unless told.
    void setReadOnly(bool readOnly);
    bool isReadOnly() const { return m_readOnly; }
    // Whether Ctrl+Delete deletes; on by default.
    void setDeleteAllowed(bool allowed) { m_deleteAllowed = allowed; }
    bool isDeleteAllowed() const { return m_deleteAllowed; }

    // Ctrl+Delete: asks "你真的要删除该记录吗？" and deletes the current row on OK (a new row
    // being inserted is cancelled). Nothing happens on an empty or unmodifiable set. Returns
    // whether the row went.
    bool deleteCurrentRow();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;

private:
    void syncFromDataSet();
    void moveDataSetTo(int row);

    DataSetModel *m_model = nullptr;
    QList<QMetaObject::Connection> m_connections;
    bool m_readOnly = false;
    bool m_deleteAllowed = true;
    bool m_syncing = false;
};
