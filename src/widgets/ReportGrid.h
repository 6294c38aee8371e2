// ReportGrid.h: the read-only report grid: two-level titles, a row indicator, a footer row with
// fixed texts and sums, columns fitted to the visible width but never narrower than their figures,
// and two columns frozen on the left.
#pragma once

#include <QList>
#include <QTableView>

class ReportModel;
class TwoLevelHeader;

class ReportGrid : public QTableView
{
    Q_OBJECT
public:
    static constexpr int FrozenColumns = 2;

    explicit ReportGrid(QWidget *parent = nullptr);

    void setReportModel(ReportModel *model);
    ReportModel *reportModel() const { return m_model; }
    // Widths of the columns as shown, in pixels.
    QList<int> columnWidths() const;
    QTableView *frozenView() const { return m_frozen; }
    QWidget *footer() const { return m_footer; }
    QRect footerCellRect(int column) const;   // in the footer's coordinates
    // Scales the designed widths to the visible width, never below what a title needs nor, for
    // a column of figures, below its widest figure (rows and footer).
    void fitColumns();
    int minimumWidth(int column) const;
    // Brings the row into sight; sideways only when the keyboard moves along the columns.
    void scrollTo(const QModelIndex &index, ScrollHint hint = EnsureVisible) override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void changeEvent(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void updateGeometries() override;
    QModelIndex moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) override;

private:
    void updateFrozenGeometry();
    // Scroll positions sideways at which a column begins just right of the frozen columns.
    QList<int> sidewaysStops() const;
    // Moves the sideways position to the next stop in the direction it moved, so that no column
    // stands half under the frozen columns with its figures cut.
    void snapSideways(int value, bool forward);
    void measureFigures();
    int footerHeight() const;

    ReportModel *m_model = nullptr;
    QTableView *m_frozen = nullptr;
    QWidget *m_footer = nullptr;
    QList<int> m_figureWidths;     // per column, the widest figure of the rows and the footer
    bool m_fitting = false;
    bool m_laying = false;
    bool m_followColumn = false;   // the current cell moves along the columns from the keyboard
    bool m_snapping = false;
    int m_sideways = 0;            // the sideways position last snapped to
};
