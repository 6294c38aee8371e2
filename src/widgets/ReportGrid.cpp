#include "ReportGrid.h"

#include "ReportModel.h"
#include "TwoLevelHeader.h"

#include <QCoreApplication>
#include <QMap>
#include <QPainter>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QWheelEvent>
#include <algorithm>

namespace {

const QColor FooterColor(Qt::magenta);

// The row indicator: a marker beside the current row, no numbers.
class RowIndicator : public QHeaderView
{
public:
    explicit RowIndicator(QAbstractItemView *view) : QHeaderView(Qt::Vertical, view), m_view(view)
    {
        setSectionResizeMode(QHeaderView::Fixed);
        setSectionsClickable(false);
        setHighlightSections(false);
        setFixedWidth(14);
    }

protected:
    void paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const override
    {
        // The style may leave the painter's clip behind: paint the section on a saved state.
        painter->save();
        QHeaderView::paintSection(painter, rect, logicalIndex);
        painter->restore();
        if (m_view->currentIndex().row() != logicalIndex)
            return;
        const int h = qMin(rect.height() - 6, 8);
        const QPoint c = rect.center();
        QPolygon marker;
        marker << QPoint(c.x() - h / 2 + 1, c.y() - h / 2) << QPoint(c.x() - h / 2 + 1, c.y() + h / 2)
               << QPoint(c.x() + h / 2 - 1, c.y());
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        painter->setPen(Qt::NoPen);
        painter->setBrush(palette().color(QPalette::WindowText));
        painter->drawPolygon(marker);
        painter->restore();
    }

private:
    QAbstractItemView *m_view;
};

// The footer row below the rows, following the columns as they scroll and resize.
class FooterStrip : public QWidget
{
public:
    explicit FooterStrip(ReportGrid *grid) : QWidget(grid), m_grid(grid)
    {
        setObjectName(QStringLiteral("footer"));
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        p.fillRect(rect(), FooterColor);
        const ReportModel *model = m_grid->reportModel();
        if (!model)
            return;
        const int frozenRight = m_grid->footerCellRect(ReportGrid::FrozenColumns - 1).right();
        const int left = m_grid->verticalHeader()->isHidden() ? 0 : m_grid->verticalHeader()->width();
        auto paintCell = [&](int column) {
            const QRect cell = m_grid->footerCellRect(column);
            const ReportColumn &def = model->columns().at(column);
            if (def.footerColor.isValid())
                p.fillRect(cell, def.footerColor);
            p.setPen(palette().color(QPalette::Mid));
            p.drawLine(cell.topRight(), cell.bottomRight());
            p.setPen(Qt::black);
            const Qt::Alignment align = def.footer == ReportColumn::FooterText
                ? Qt::AlignCenter
                : (model->alignment(column) & Qt::AlignHorizontal_Mask) | Qt::AlignVCenter;
            const QRect text = cell.adjusted(3, 0, -3, 0);
            // A sum always fits: its column is at least as wide as the sum.
            const QString shown = def.footer == ReportColumn::FooterText
                ? p.fontMetrics().elidedText(model->footerText(column), Qt::ElideRight, text.width())
                : model->footerText(column);
            p.drawText(text, int(align), shown);
        };
        const int columns = int(model->columns().size());
        p.save();
        p.setClipRect(QRect(QPoint(frozenRight + 1, 0), QPoint(width(), height())));
        for (int c = ReportGrid::FrozenColumns; c < columns; ++c)
            if (!m_grid->isColumnHidden(c))
                paintCell(c);
        p.restore();
        p.setClipRect(QRect(QPoint(left, 0), QPoint(frozenRight, height())));
        for (int c = 0; c < qMin(columns, int(ReportGrid::FrozenColumns)); ++c)
            paintCell(c);
        p.setClipping(false);
        p.setPen(palette().color(QPalette::Mid));
        p.drawLine(rect().topLeft(), rect().topRight());
    }

private:
    ReportGrid *m_grid;
};

// The frozen columns: a second view over the same rows that never scrolls by itself. The grid's
// scroll bar is the only one that moves the rows; this view takes its range and position, and
// hands on whatever would scroll it (a wheel turned over it, a row picked in it).
class FrozenView : public QTableView
{
public:
    explicit FrozenView(ReportGrid *grid) : QTableView(grid), m_grid(grid) {}

    void followGrid()
    {
        QScrollBar *own = verticalScrollBar();
        const QScrollBar *rows = m_grid->verticalScrollBar();
        own->setRange(rows->minimum(), rows->maximum());
        own->setPageStep(rows->pageStep());
        own->setValue(rows->value());
    }

    void scrollTo(const QModelIndex &index, ScrollHint hint = EnsureVisible) override
    {
        if (index.isValid())
            m_grid->scrollTo(index, hint);
    }

protected:
    void updateGeometries() override
    {
        QTableView::updateGeometries();
        followGrid();
    }

private:
    ReportGrid *m_grid;
};

}

ReportGrid::ReportGrid(QWidget *parent) : QTableView(parent)
{
    setHorizontalHeader(new TwoLevelHeader(this));
    setVerticalHeader(new RowIndicator(this));
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setWordWrap(false);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);

    // The frozen columns are a second view over the same rows, laid over the left edge
    // (the way Qt's own frozen-column example does it).
    auto *frozen = new FrozenView(this);
    m_frozen = frozen;
    m_frozen->setObjectName(QStringLiteral("frozenView"));
    m_frozen->setHorizontalHeader(new TwoLevelHeader(m_frozen));
    m_frozen->setFocusPolicy(Qt::NoFocus);
    m_frozen->verticalHeader()->hide();
    m_frozen->verticalHeader()->setDefaultSectionSize(verticalHeader()->defaultSectionSize());
    m_frozen->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_frozen->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_frozen->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_frozen->setSelectionMode(QAbstractItemView::SingleSelection);
    m_frozen->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_frozen->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_frozen->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_frozen->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_frozen->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_frozen->setWordWrap(false);
    m_frozen->setFrameShape(QFrame::NoFrame);
    m_frozen->setStyleSheet(QStringLiteral("QTableView { border: none; border-right: 1px solid palette(mid); }"));
    viewport()->stackUnder(m_frozen);
    m_frozen->viewport()->installEventFilter(this);

    m_footer = new FooterStrip(this);

    connect(verticalScrollBar(), &QAbstractSlider::rangeChanged, this, [frozen] { frozen->followGrid(); });
    connect(verticalScrollBar(), &QAbstractSlider::valueChanged, this, [frozen] { frozen->followGrid(); });
    connect(m_frozen->verticalScrollBar(), &QAbstractSlider::valueChanged, this, [this, frozen](int value) {
        if (value != verticalScrollBar()->value())
            frozen->followGrid();
    });
    connect(horizontalScrollBar(), &QAbstractSlider::valueChanged, this, [this](int value) {
        snapSideways(value, value >= m_sideways);
    });
    connect(horizontalScrollBar(), &QAbstractSlider::valueChanged, m_footer, qOverload<>(&QWidget::update));
    connect(horizontalHeader(), &QHeaderView::sectionResized, this, [this](int logical, int, int size) {
        // A column dragged narrower stops at its minimum, so no figure is cut.
        if (m_model && logical < m_model->columnCount() && size < minimumWidth(logical)) {
            setColumnWidth(logical, minimumWidth(logical));
            return;
        }
        if (logical < FrozenColumns) {
            m_frozen->setColumnWidth(logical, size);
            updateFrozenGeometry();
        }
        m_footer->update();
    });
}

void ReportGrid::setReportModel(ReportModel *model)
{
    m_model = model;
    setModel(model);
    m_frozen->setModel(model);
    m_frozen->setSelectionModel(selectionModel());
    auto afterReset = [this] {
        for (int c = 0; c < m_model->columnCount(); ++c)
            m_frozen->setColumnHidden(c, c >= FrozenColumns);
        measureFigures();
        fitColumns();
        updateFrozenGeometry();
        m_footer->update();
        if (m_model->rowCount() > 0)
            selectRow(0);
    };
    connect(model, &QAbstractItemModel::modelReset, this, afterReset);
    connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this, [this] {
        verticalHeader()->viewport()->update();
    });
    afterReset();
}

QList<int> ReportGrid::columnWidths() const
{
    QList<int> widths;
    for (int c = 0; c < (m_model ? m_model->columnCount() : 0); ++c)
        widths << columnWidth(c);
    return widths;
}

// The widest text of each column of figures, rows and footer, in the grid's font. Texts are
// measured longest first, and no shorter text is measured once even its widest characters
// could not make it wider than the widest found.
void ReportGrid::measureFigures()
{
    m_figureWidths.clear();
    if (!m_model)
        return;
    const QFontMetrics fm(font());
    const ReportResult &result = m_model->result();
    for (int c = 0; c < result.columnCount(); ++c) {
        if (!result.columns().at(c).isNumber()) {
            m_figureWidths << 0;
            continue;
        }
        QMap<qsizetype, QStringList> byLength;
        const QString footer = result.footerText(c);
        byLength[footer.size()] << footer;
        for (int row = 0; row < result.rowCount(); ++row) {
            const QString text = result.text(row, c);
            byLength[text.size()] << text;
        }
        int widest = 0;
        int widestChar = 0;
        for (const QChar ch : QStringLiteral("0123456789.-"))
            widestChar = qMax(widestChar, fm.horizontalAdvance(ch));
        for (auto it = byLength.constEnd(); it != byLength.constBegin();) {
            --it;
            if (it.key() * widestChar <= widest)
                break;
            for (const QString &text : it.value())
                widest = qMax(widest, fm.horizontalAdvance(text));
        }
        m_figureWidths << widest;
    }
}

// A column is never narrower than its title, nor than three quarters of its designed width, nor,
// for figures, than its widest figure with the cell's margins.
int ReportGrid::minimumWidth(int column) const
{
    const int title = fontMetrics().horizontalAdvance(m_model->columns().at(column).lowerTitle()) + 10;
    const int figures = m_figureWidths.value(column) > 0 ? m_figureWidths.value(column) + 10 : 0;
    return qMax(qMax(title, figures), m_model->designedWidth(column) * 3 / 4);
}

void ReportGrid::fitColumns()
{
    if (!m_model || m_fitting || m_model->columnCount() == 0)
        return;
    const QScopedValueRollback guard(m_fitting, true);
    const int n = m_model->columnCount();
    const qint64 available = qMax(viewport()->width(), 1);
    // Columns that would come out narrower than their title keep the title's width; the others
    // share what is left in the proportions of their designed widths.
    QList<bool> atMinimum(n, false);
    QList<int> widths(n, 0);
    for (int round = 0; round <= n; ++round) {
        qint64 rest = available;
        qint64 designed = 0;
        for (int c = 0; c < n; ++c) {
            if (atMinimum.at(c))
                rest -= minimumWidth(c);
            else
                designed += m_model->designedWidth(c);
        }
        bool changed = false;
        int lastFree = -1;
        qint64 used = 0;
        for (int c = 0; c < n; ++c) {
            if (atMinimum.at(c)) {
                widths[c] = minimumWidth(c);
                continue;
            }
            const qint64 w = designed > 0 && rest > 0 ? m_model->designedWidth(c) * rest / designed : 0;
            if (w < minimumWidth(c)) {
                atMinimum[c] = true;
                changed = true;
            }
            widths[c] = int(w);
            used += w;
            lastFree = c;
        }
        if (!changed) {
            if (lastFree >= 0)
                widths[lastFree] += int(rest - used);   // the rounding left over
            break;
        }
    }
    for (int c = 0; c < n; ++c)
        setColumnWidth(c, qMax(widths.at(c), minimumWidth(c)));
}

int ReportGrid::footerHeight() const
{
    return fontMetrics().height() + 8;
}

QRect ReportGrid::footerCellRect(int column) const
{
    const int left = verticalHeader()->isHidden() ? 0 : verticalHeader()->width();
    int x = 0;
    if (column < FrozenColumns) {
        for (int c = 0; c < column; ++c)
            x += columnWidth(c);
    } else {
        x = columnViewportPosition(column);
    }
    return QRect(left + x, 0, columnWidth(column), footerHeight());
}

bool ReportGrid::eventFilter(QObject *watched, QEvent *event)
{
    // A wheel turned over the frozen columns scrolls the grid, which takes them along.
    if (m_frozen && watched == m_frozen->viewport() && event->type() == QEvent::Wheel) {
        QCoreApplication::sendEvent(viewport(), event);
        return true;
    }
    return QTableView::eventFilter(watched, event);
}

void ReportGrid::changeEvent(QEvent *event)
{
    QTableView::changeEvent(event);
    if (event->type() == QEvent::FontChange && m_model) {
        measureFigures();
        fitColumns();
    }
}

void ReportGrid::resizeEvent(QResizeEvent *event)
{
    QTableView::resizeEvent(event);
    fitColumns();
    updateFrozenGeometry();
}

void ReportGrid::updateGeometries()
{
    if (!m_footer) {
        QTableView::updateGeometries();
        return;   // still being built
    }
    // The viewport resizes while the margins are set below, which calls here again.
    if (m_laying)
        return;
    const QScopedValueRollback guard(m_laying, true);
    const int top = verticalScrollBar()->value();
    // A scroll bar shown or hidden on the way changes the viewport: lay out again until it stays.
    for (int pass = 0; pass < 3; ++pass) {
        const QSize before = viewport()->size();
        // Qt lays the headers out and sets the viewport's margins without the footer's strip.
        QTableView::updateGeometries();
        // The footer takes a strip below the rows, above the horizontal scroll bar.
        const QMargins margins = viewportMargins();
        if (margins.bottom() != footerHeight())
            setViewportMargins(margins.left(), margins.top(), margins.right(), footerHeight());
        // The rows' range is measured again for the viewport above the footer, so the last row
        // can be scrolled above it; the row indicator ends where the rows do.
        const QRect vp = viewport()->geometry();
        verticalScrollBar()->setPageStep(vp.height());
        verticalScrollBar()->setRange(0, qMax(0, verticalHeader()->length() - vp.height()));
        const int left = verticalHeader()->isHidden() ? 0 : verticalHeader()->width();
        if (!verticalHeader()->isHidden())
            verticalHeader()->setGeometry(vp.left() - left, vp.top(), left, vp.height());
        m_footer->setGeometry(vp.left() - left, vp.bottom() + 1, vp.width() + left, footerHeight());
        if (viewport()->size() == before)
            break;
    }
    verticalScrollBar()->setValue(top);
    // The last column can be scrolled beside the frozen columns: the range ends at a stop.
    QScrollBar *sideways = horizontalScrollBar();
    const QList<int> stops = sidewaysStops();
    const auto end = std::lower_bound(stops.begin(), stops.end(), sideways->maximum());
    if (end != stops.end() && *end != sideways->maximum())
        sideways->setMaximum(*end);
    snapSideways(sideways->value(), false);
    updateFrozenGeometry();
}

QList<int> ReportGrid::sidewaysStops() const
{
    QList<int> stops{ 0 };
    for (int c = FrozenColumns; m_model && c < m_model->columnCount(); ++c)
        if (!isColumnHidden(c))
            stops << stops.last() + columnWidth(c);
    return stops;
}

void ReportGrid::snapSideways(int value, bool forward)
{
    if (m_snapping)
        return;
    const QScopedValueRollback guard(m_snapping, true);
    const QList<int> stops = sidewaysStops();
    int target = 0;
    if (forward) {
        const auto it = std::lower_bound(stops.begin(), stops.end(), value);
        target = it == stops.end() ? stops.last() : *it;
    } else {
        const auto it = std::upper_bound(stops.begin(), stops.end(), value);
        target = it == stops.begin() ? 0 : *(it - 1);
    }
    target = qMin(target, horizontalScrollBar()->maximum());
    m_sideways = target;
    if (target != value)
        horizontalScrollBar()->setValue(target);
}

void ReportGrid::updateFrozenGeometry()
{
    if (!m_frozen)
        return;
    int width = 0;
    for (int c = 0; c < FrozenColumns && m_model && c < m_model->columnCount(); ++c)
        width += columnWidth(c);
    m_frozen->horizontalHeader()->setFixedHeight(horizontalHeader()->height());
    const QRect vp = viewport()->geometry();
    m_frozen->setGeometry(vp.left(), vp.top() - horizontalHeader()->height(), width,
                          vp.height() + horizontalHeader()->height());
    static_cast<FrozenView *>(m_frozen)->followGrid();
}

QModelIndex ReportGrid::moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers)
{
    m_followColumn = cursorAction == MoveLeft || cursorAction == MoveRight || cursorAction == MoveHome
        || cursorAction == MoveEnd;
    return QTableView::moveCursor(cursorAction, modifiers);
}

void ReportGrid::scrollTo(const QModelIndex &index, ScrollHint hint)
{
    // Rows are picked whole, so only moving along the columns with the keyboard scrolls sideways;
    // a frozen column is always in sight anyway.
    const bool follow = m_followColumn && index.column() >= FrozenColumns;
    m_followColumn = false;
    const int sideways = horizontalScrollBar()->value();
    QTableView::scrollTo(index, hint);
    if (!follow) {
        horizontalScrollBar()->setValue(sideways);
        return;
    }
    int frozenWidth = 0;
    for (int c = 0; c < FrozenColumns; ++c)
        frozenWidth += columnWidth(c);
    const int x = columnViewportPosition(index.column());
    if (x < frozenWidth)
        horizontalScrollBar()->setValue(horizontalScrollBar()->value() - (frozenWidth - x));
}
