#include "DBGridEh.h"

#include "DataSet.h"
#include "Guarded.h"
#include "LineLimit.h"
#include "Messages.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QScopedValueRollback>
#include <QStyledItemDelegate>

namespace {

// The row indicator column: a triangle on the current row, an I-beam while it is edited,
// an asterisk while it is a new row.
class IndicatorHeader : public QHeaderView
{
public:
    explicit IndicatorHeader(QWidget *parent) : QHeaderView(Qt::Vertical, parent)
    {
        setSectionResizeMode(QHeaderView::Fixed);
        setSectionsClickable(false);
        setHighlightSections(false);
    }

    QSize sizeHint() const override { return { 16, QHeaderView::sizeHint().height() }; }

protected:
    void paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const override
    {
        painter->save();
        QHeaderView::paintSection(painter, rect, logicalIndex);
        painter->restore();
        const int indicator = model() ? model()->headerData(logicalIndex, Qt::Vertical,
                                                            DataSetModel::IndicatorRole).toInt()
                                      : DataSetModel::NoIndicator;
        if (indicator == DataSetModel::NoIndicator)
            return;
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        const QColor ink = palette().color(QPalette::WindowText);
        const QPointF c = QRectF(rect).center();
        if (indicator == DataSetModel::CurrentRow) {
            QPainterPath arrow;
            arrow.moveTo(c.x() - 3, c.y() - 5);
            arrow.lineTo(c.x() + 3, c.y());
            arrow.lineTo(c.x() - 3, c.y() + 5);
            arrow.closeSubpath();
            painter->fillPath(arrow, ink);
        } else if (indicator == DataSetModel::EditingRow) {
            painter->setPen(QPen(ink, 1.2));
            painter->drawLine(QPointF(c.x(), c.y() - 5), QPointF(c.x(), c.y() + 5));
            painter->drawLine(QPointF(c.x() - 2.5, c.y() - 5.5), QPointF(c.x() + 2.5, c.y() - 5.5));
            painter->drawLine(QPointF(c.x() - 2.5, c.y() + 5.5), QPointF(c.x() + 2.5, c.y() + 5.5));
        } else {
            QFont f = painter->font();
            f.setBold(true);
            painter->setFont(f);
            painter->setPen(ink);
            painter->drawText(rect, Qt::AlignCenter, QStringLiteral("*"));
        }
        painter->restore();
    }
};

// Writes a cell through the model so that a refused value reaches the general error box.
class GridDelegate : public QStyledItemDelegate
{
public:
    explicit GridDelegate(TDBGridEh *grid) : QStyledItemDelegate(grid), m_grid(grid) {}

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                          const QModelIndex &index) const override
    {
        QWidget *editor = QStyledItemDelegate::createEditor(parent, option, index);
        auto *line = qobject_cast<QLineEdit *>(editor);
        const DataSetModel *model = m_grid->dataModel();
        const int fi = model->fieldIndex(index.column());
        if (line && fi >= 0) {
            const int size = model->dataSet()->fields().at(fi).size;
            if (size > 0)
                SetLineLimit(line, size);
        }
        return editor;
    }

    void setModelData(QWidget *editor, QAbstractItemModel *, const QModelIndex &index) const override
    {
        auto *line = qobject_cast<QLineEdit *>(editor);
        if (!line)
            return;
        const QString text = line->text();
        Guarded(m_grid, [&] { m_grid->dataModel()->setCellText(index.row(), index.column(), text); });
    }

private:
    TDBGridEh *m_grid;
};

}

TDBGridEh::TDBGridEh(QWidget *parent) : QTableView(parent)
{
    m_model = new DataSetModel(this);
    setVerticalHeader(new IndicatorHeader(this));
    setModel(m_model);
    setItemDelegate(new GridDelegate(this));
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setShowGrid(true);
    setWordWrap(false);
    setAlternatingRowColors(false);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setSectionsMovable(false);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    // The selected row stays visible while another control has the focus.
    QPalette p = palette();
    for (const auto role : { QPalette::Highlight, QPalette::HighlightedText })
        p.setColor(QPalette::Inactive, role, p.color(QPalette::Active, role));
    setPalette(p);
    setReadOnly(false);
    connect(m_model, &DataSetModel::currentRowChanged, this, &TDBGridEh::syncFromDataSet);
    connect(m_model, &QAbstractItemModel::modelReset, this, &TDBGridEh::syncFromDataSet);
}

void TDBGridEh::setDataSet(DataSet *dataSet)
{
    m_model->setDataSet(dataSet);
    syncFromDataSet();
}

DataSet *TDBGridEh::dataSet() const
{
    return m_model->dataSet();
}

int TDBGridEh::addColumn(const QString &field, const QString &title, int width)
{
    const int column = m_model->addColumn(field, title);
    if (width < 0)
        width = qMax(64, fontMetrics().horizontalAdvance(title) + 16);
    setColumnWidth(column, width);
    return column;
}

void TDBGridEh::setColumnDecimals(int column, int decimals)
{
    m_model->setColumnDecimals(column, decimals);
}

void TDBGridEh::setColumnAlignment(int column, Qt::Alignment alignment)
{
    m_model->setColumnAlignment(column, alignment);
}

void TDBGridEh::setTitleAlignment(int column, Qt::Alignment alignment)
{
    m_model->setTitleAlignment(column, alignment);
}

void TDBGridEh::setReadOnly(bool readOnly)
{
    m_readOnly = readOnly;
    setEditTriggers(readOnly ? QAbstractItemView::NoEditTriggers
                             : QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed
                                   | QAbstractItemView::AnyKeyPressed);
}

bool TDBGridEh::deleteCurrentRow()
{
    DataSet *ds = dataSet();
    if (!m_deleteAllowed || !ds || !ds->canModify() || ds->isEmpty())
        return false;
    if (ShowMessageBox(this, QStringLiteral("你真的要删除该记录吗？"), QStringLiteral("Confirm"),
                       QMessageBox::Question, QMessageBox::Ok | QMessageBox::Cancel)
        != QMessageBox::Ok)
        return false;
    return Guarded(this, [&] { ds->remove(); });
}

void TDBGridEh::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Delete && event->modifiers() == Qt::ControlModifier) {
        deleteCurrentRow();
        event->accept();
        return;
    }
    DataSet *ds = dataSet();
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier && ds && ds->isEditing()
        && state() != QAbstractItemView::EditingState) {
        Guarded(this, [&] { ds->cancel(); });
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

void TDBGridEh::currentChanged(const QModelIndex &current, const QModelIndex &previous)
{
    QTableView::currentChanged(current, previous);
    DataSet *ds = dataSet();
    if (m_syncing || m_model->isChangingRows() || !ds || !ds->isActive() || !current.isValid()
        || current.row() == ds->recNo())
        return;
    moveDataSetTo(current.row());
}

void TDBGridEh::moveDataSetTo(int row)
{
    DataSet *ds = dataSet();
    {
        QScopedValueRollback<bool> guard(m_syncing, true);
        Guarded(this, [&] {
            const int from = ds->recNo();
            const int before = ds->recordCount();
            ds->checkBrowseMode();
            // Leaving an untouched new row removed it, so the rows after it moved up.
            if (ds->recordCount() < before && from < row)
                --row;
            ds->setRecNo(row);
        });
    }
    syncFromDataSet();
    // The view may still be finishing the click or key that moved it; settle afterwards too.
    QMetaObject::invokeMethod(this, &TDBGridEh::syncFromDataSet, Qt::QueuedConnection);
}

void TDBGridEh::syncFromDataSet()
{
    QItemSelectionModel *selection = selectionModel();
    if (!selection)
        return;
    QScopedValueRollback<bool> guard(m_syncing, true);
    DataSet *ds = dataSet();
    const int row = ds && ds->isActive() ? ds->recNo() : -1;
    if (row < 0 || row >= m_model->rowCount()) {
        selection->clear();
        return;
    }
    int column = currentIndex().isValid() ? currentIndex().column() : 0;
    if (column >= m_model->columnCount())
        column = 0;
    const QModelIndex index = m_model->index(row, column);
    if (!index.isValid())
        return;
    if (currentIndex() != index || !selection->isRowSelected(row, {}))
        selection->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    scrollTo(index);
}
