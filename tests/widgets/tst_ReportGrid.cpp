#include "NumberedReport.h"
#include "ReportGrid.h"
#include "ReportModel.h"
#include "TestDatabase.h"
#include "TwoLevelHeader.h"

#include <QScrollBar>
#include <QTabWidget>
#include <QVBoxLayout>
#include <QtTest>
#include <memory>

class TstReportGrid : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void holdsWholeResultWithItsSums();
    void keepsTheStatementsOrder();
    void scrollingReachesLastRow();
    void shownValues_data();
    void shownValues();
    void emptyResultShowsZeroSums();
    void twoLevelTitles();
    void fitsColumnsToWidth();
    void narrowGridFreezesTwoColumns();
    void frozenRowsStayAligned_data();
    void frozenRowsStayAligned();
    void figuresNeverCut();
    void footerColours();
    void rowIndicatorMarksCurrentRow();
    void statementFailureLeavesModelClosed();
    void footerIsSumOfRowsShown();
    void noFigureHalfUnderFrozenColumns();

private:
    ReportGrid *showGrid(int rows, QSize size);

    std::unique_ptr<TestDatabase> m_db;
    std::unique_ptr<QWidget> m_window;
    ReportModel *m_model = nullptr;
};

void TstReportGrid::init()
{
    m_db = std::make_unique<TestDatabase>();
    m_window = std::make_unique<QWidget>();
    m_model = new ReportModel(m_window.get());
    m_model->setColumns(NumberedReport::columns(80));
}

void TstReportGrid::cleanup()
{
    m_window.reset();
    m_db.reset();
}

ReportGrid *TstReportGrid::showGrid(int rows, QSize size)
{
    auto *grid = new ReportGrid(m_window.get());
    grid->setReportModel(m_model);
    NumberedReport::open(*m_model, rows);
    m_window->resize(size);
    grid->setGeometry(0, 0, size.width(), size.height());
    m_window->show();
    if (!QTest::qWaitForWindowExposed(m_window.get()))
        return nullptr;
    QCoreApplication::processEvents();
    return grid;
}

// The whole result is read in the one run that gives the footer: nothing is fetched later.
void TstReportGrid::holdsWholeResultWithItsSums()
{
    NumberedReport::open(*m_model, 1000);
    QCOMPARE(m_model->totalRows(), qint64(1000));
    QCOMPARE(m_model->rowCount(), 1000);
    QVERIFY(!m_model->canFetchMore({}));
    QCOMPARE(m_model->footerText(0), QStringLiteral("统计"));
    QCOMPARE(m_model->footerText(1), QString());
    QCOMPARE(m_model->footerText(2), QStringLiteral("500500"));
    // Shown to the fen, the footer adds up the rows as shown; written exactly, the exact sum.
    QCOMPARE(m_model->footerText(3), QStringLiteral("617867.50"));
    QCOMPARE(m_model->footerText(3, ReportModel::Amounts::Exact), QStringLiteral("617867.2500"));
    QCOMPARE(m_model->footerText(5), QStringLiteral("2500.0000"));
    QCOMPARE(m_model->index(999, 1).data().toString(), QStringLiteral("C1000"));
}

// The totals ride along on the rows; the rows still come in the statement's own order.
void TstReportGrid::keepsTheStatementsOrder()
{
    m_model->open(NumberedReport::statement() + QStringLiteral(" ORDER BY F_Code DESC"),
                  { { QStringLiteral("Count"), 1200 } }, Database::mainConnectionName());
    QCOMPARE(m_model->footerText(2), QStringLiteral("720600"));
    QCOMPARE(m_model->rowCount(), 1200);
    for (int row = 0; row < 1200; ++row)
        QCOMPARE(m_model->index(row, 2).data().toInt(), 1200 - row);
}

void TstReportGrid::scrollingReachesLastRow()
{
    ReportGrid *grid = showGrid(2000, QSize(600, 300));
    QVERIFY(grid);
    grid->verticalScrollBar()->setValue(grid->verticalScrollBar()->maximum());
    QCoreApplication::processEvents();
    QCOMPARE(grid->rowAt(grid->viewport()->height() - 1), 1999);
}

void TstReportGrid::shownValues_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("alignment");
    const int right = int(Qt::AlignRight | Qt::AlignVCenter);
    const int left = int(Qt::AlignLeft | Qt::AlignVCenter);
    QTest::newRow("text") << 0 << 0 << QStringLiteral("row 1") << left;
    QTest::newRow("integer") << 2 << 2 << QStringLiteral("3") << right;
    QTest::newRow("amount rounded down") << 0 << 3 << QStringLiteral("1.23") << right;
    QTest::newRow("amount rounded up") << 3 << 3 << QStringLiteral("4.94") << right;
    QTest::newRow("half a cent rounds away from zero") << 0 << 4 << QStringLiteral("0.01") << right;
    QTest::newRow("price keeps four decimals") << 0 << 5 << QStringLiteral("2.5000") << right;
}

void TstReportGrid::shownValues()
{
    QFETCH(int, row);
    QFETCH(int, column);
    QFETCH(QString, text);
    QFETCH(int, alignment);
    NumberedReport::open(*m_model, 5);
    const QModelIndex index = m_model->index(row, column);
    QCOMPARE(index.data().toString(), text);
    QCOMPARE(index.data(Qt::TextAlignmentRole).value<Qt::Alignment>(), Qt::Alignment(alignment));
}

void TstReportGrid::emptyResultShowsZeroSums()
{
    NumberedReport::open(*m_model, 0);
    QCOMPARE(m_model->rowCount(), 0);
    QStringList footer;
    for (int c = 0; c < m_model->columnCount(); ++c)
        footer << m_model->footerText(c);
    QCOMPARE(footer, (QStringList{ "统计", "", "0", "0.00", "0.00", "0.0000" }));
    m_model->close();
    QCOMPARE(m_model->footerText(2), QString());
    QCOMPARE(m_model->footerText(0), QStringLiteral("统计"));
}

void TstReportGrid::twoLevelTitles()
{
    ReportGrid *grid = showGrid(3, QSize(700, 300));
    QVERIFY(grid);
    auto *header = qobject_cast<TwoLevelHeader *>(grid->horizontalHeader());
    QVERIFY(header);
    QCOMPARE(header->upperTitle(3), QStringLiteral("费用(元)"));
    QCOMPARE(header->upperTitle(2), QString());
    QCOMPARE(header->upperSpan(4), qMakePair(3, 4));
    QCOMPARE(m_model->headerData(4, Qt::Horizontal).toString(), QStringLiteral("部分"));
    QHeaderView plain(Qt::Horizontal);
    plain.setModel(m_model);
    QCOMPARE(header->sizeHint().height(), plain.sizeHint().height() * 2);
    // The frozen columns' titles line up with the grid's.
    QCOMPARE(grid->frozenView()->horizontalHeader()->height(), header->height());
}

void TstReportGrid::fitsColumnsToWidth()
{
    ReportGrid *grid = showGrid(3, QSize(900, 300));
    QVERIFY(grid);
    const QList<int> widths = grid->columnWidths();
    QCOMPARE(std::accumulate(widths.begin(), widths.end(), 0), grid->viewport()->width());
    QCOMPARE(grid->horizontalScrollBar()->maximum(), 0);
    // Equal designed widths share the width equally, give or take the rounding.
    QVERIFY(widths.first() >= widths.at(1) - 1 && widths.first() <= widths.at(1) + 1);
    m_window->resize(1200, 300);
    grid->resize(1200, 300);
    QCoreApplication::processEvents();
    const QList<int> wider = grid->columnWidths();
    QCOMPARE(std::accumulate(wider.begin(), wider.end(), 0), grid->viewport()->width());
    QVERIFY(wider.first() > widths.first());
}

void TstReportGrid::narrowGridFreezesTwoColumns()
{
    ReportGrid *grid = showGrid(50, QSize(220, 300));
    QVERIFY(grid);
    QTableView *frozen = grid->frozenView();
    QVERIFY(grid->horizontalScrollBar()->maximum() > 0);
    for (int c = 0; c < m_model->columnCount(); ++c)
        QCOMPARE(frozen->isColumnHidden(c), c >= 2);
    // Every column keeps at least the width its title needs.
    const QList<int> widths = grid->columnWidths();
    for (int c = 0; c < widths.size(); ++c)
        QVERIFY(widths.at(c) >= grid->fontMetrics().horizontalAdvance(m_model->columns().at(c).lowerTitle()));

    const QRect before = frozen->geometry();
    QCOMPARE(before.width(), widths.at(0) + widths.at(1));
    const QRect footerCell = grid->footerCellRect(3);
    grid->horizontalScrollBar()->setValue(grid->horizontalScrollBar()->maximum());
    QCoreApplication::processEvents();
    QCOMPARE(frozen->geometry(), before);
    QVERIFY(frozen->isVisible());
    QCOMPARE(grid->footerCellRect(0).left(), grid->verticalHeader()->width());
    QVERIFY(grid->footerCellRect(3).left() < footerCell.left());

    grid->verticalScrollBar()->setValue(grid->verticalScrollBar()->maximum() / 2);
    QCOMPARE(frozen->verticalScrollBar()->value(), grid->verticalScrollBar()->value());
    // Picking a row keeps the columns scrolled as they are.
    const int sideways = grid->horizontalScrollBar()->value();
    grid->selectRow(7);
    QCoreApplication::processEvents();
    QCOMPARE(grid->horizontalScrollBar()->value(), sideways);
    QTest::mouseClick(frozen->viewport(), Qt::LeftButton, {}, frozen->visualRect(m_model->index(9, 0)).center());
    QCOMPARE(grid->currentIndex().row(), 9);
    QCOMPARE(grid->horizontalScrollBar()->value(), sideways);
    grid->selectRow(7);
    QCOMPARE(frozen->selectionModel()->selectedRows(0).value(0).row(), 7);
    // Moving along the columns from the keyboard brings the last one into sight.
    grid->horizontalScrollBar()->setValue(0);
    grid->setFocus();
    QTest::keyClick(grid, Qt::Key_End);
    QCOMPARE(grid->horizontalScrollBar()->value(), grid->horizontalScrollBar()->maximum());
    QCOMPARE(grid->selectionModel()->selectedIndexes().size(), m_model->columnCount());
}

void TstReportGrid::frozenRowsStayAligned_data()
{
    QTest::addColumn<QSize>("size");
    QTest::newRow("762 x 480") << QSize(762, 480);
    QTest::newRow("1024 x 600") << QSize(1024, 600);
}

// The frozen columns show the rows beside them at the same height after every way of moving,
// and the last row can be brought above the footer.
void TstReportGrid::frozenRowsStayAligned()
{
    QFETCH(QSize, size);
    auto *tabs = new QTabWidget(m_window.get());
    auto *grid = new ReportGrid;
    grid->setReportModel(m_model);
    tabs->addTab(grid, QStringLiteral("汇总报表"));
    tabs->addTab(new QWidget, QStringLiteral("车间汇总表"));
    auto *layout = new QVBoxLayout(m_window.get());
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(tabs);
    m_model->setColumns(NumberedReport::columns(250));
    NumberedReport::open(*m_model, 60);
    m_window->resize(size);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    QTableView *frozen = grid->frozenView();
    const int last = m_model->rowCount() - 1;

    auto check = [&](const char *step) {
        QCoreApplication::processEvents();
        const QByteArray at = QByteArray(step) + " at " + QByteArray::number(size.width());
        QVERIFY2(grid->horizontalScrollBar()->maximum() > 0, at);   // the frozen view is in use
        QCOMPARE(grid->verticalScrollBar()->maximum(), grid->verticalHeader()->length() - grid->viewport()->height());
        QCOMPARE(frozen->viewport()->mapToGlobal(QPoint(0, 0)).y(), grid->viewport()->mapToGlobal(QPoint(0, 0)).y());
        QCOMPARE(frozen->viewport()->height(), grid->viewport()->height());
        for (int y : { 0, grid->viewport()->height() / 2, grid->viewport()->height() - 1 }) {
            const int row = grid->rowAt(y);
            QVERIFY2(row >= 0, at);
            QCOMPARE(frozen->rowAt(y), row);
            QCOMPARE(frozen->rowViewportPosition(row), grid->rowViewportPosition(row));
        }
        QVERIFY2(grid->footer()->geometry().top() > grid->viewport()->geometry().bottom(), at);
    };
    auto key = [&](Qt::Key k, Qt::KeyboardModifiers m = {}) {
        grid->setFocus();
        QTest::keyClick(grid, k, m);
    };
    auto wheel = [&](QWidget *over, int delta) {
        QWheelEvent event(QPointF(5, 5), over->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, delta), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(over, &event);
    };

    check("shown");
    tabs->setCurrentIndex(1);
    QCoreApplication::processEvents();
    tabs->setCurrentIndex(0);
    check("tab switched");
    key(Qt::Key_End, Qt::ControlModifier);
    check("Ctrl+End");
    QCOMPARE(grid->currentIndex().row(), last);
    QVERIFY(grid->rowViewportPosition(last) + grid->rowHeight(last) <= grid->viewport()->height());
    wheel(frozen->viewport(), -120);
    check("wheel down over the frozen columns at the end");
    wheel(frozen->viewport(), 120);
    check("wheel up over the frozen columns");
    wheel(grid->viewport(), 120);
    check("wheel up over the grid");
    key(Qt::Key_PageUp);
    check("PageUp");
    key(Qt::Key_Home, Qt::ControlModifier);
    check("Ctrl+Home");
    key(Qt::Key_PageDown);
    check("PageDown");
    m_window->resize(size - QSize(37, 53));
    check("resized");
    m_window->resize(size);
    key(Qt::Key_End, Qt::ControlModifier);
    check("resized back, Ctrl+End");
    QVERIFY(grid->rowViewportPosition(last) + grid->rowHeight(last) <= grid->viewport()->height());
}

// On screen a figure is never cut: a column of figures is as wide as its widest figure, footer
// included, however little its designed width; a name too long for its column shows in full
// in a tip.
void TstReportGrid::figuresNeverCut()
{
    m_model->setColumns(NumberedReport::columns(24));
    ReportGrid *grid = showGrid(1000, QSize(300, 300));
    QVERIFY(grid);
    const QFontMetrics fm(grid->font());
    for (int c = 0; c < m_model->columnCount(); ++c) {
        if (!m_model->columns().at(c).isNumber())
            continue;
        int widest = fm.horizontalAdvance(m_model->footerText(c));
        for (int row = 0; row < m_model->rowCount(); ++row)
            widest = qMax(widest, fm.horizontalAdvance(m_model->index(row, c).data().toString()));
        QVERIFY2(grid->columnWidth(c) >= widest + 8, qPrintable(m_model->footerText(c)));
        grid->setColumnWidth(c, 5);   // as if dragged
        QVERIFY2(grid->columnWidth(c) >= widest + 8, qPrintable(m_model->footerText(c)));
    }
    QCOMPARE(m_model->index(9, 0).data(Qt::ToolTipRole).toString(), QStringLiteral("row 10"));
}

void TstReportGrid::footerColours()
{
    ReportGrid *grid = showGrid(3, QSize(900, 300));
    QVERIFY(grid);
    QWidget *footer = grid->footer();
    QVERIFY(footer->geometry().top() > grid->viewport()->geometry().bottom());
    const QImage image = footer->grab().toImage();
    auto colourAt = [&](int column) {
        const QRect cell = grid->footerCellRect(column);
        return image.pixelColor(cell.left() + 2, cell.top() + 2);
    };
    QCOMPARE(colourAt(3), QColor(Qt::red));
    QCOMPARE(colourAt(2), QColor(Qt::magenta));
    QCOMPARE(colourAt(0), QColor(Qt::magenta));
}

void TstReportGrid::rowIndicatorMarksCurrentRow()
{
    ReportGrid *grid = showGrid(5, QSize(600, 300));
    QVERIFY(grid);
    grid->selectRow(2);
    QCoreApplication::processEvents();
    QHeaderView *indicator = grid->verticalHeader();
    const QImage image = indicator->grab().toImage();
    auto darkPixels = [&](int row) {
        const int top = indicator->sectionViewportPosition(row);
        int dark = 0;
        for (int y = top; y < top + indicator->sectionSize(row); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (image.pixelColor(x, y).lightness() < 60)
                    ++dark;
        return dark;
    };
    QVERIFY(darkPixels(2) > 4);
    QCOMPARE(darkPixels(1), 0);
    QCOMPARE(darkPixels(3), 0);
}

void TstReportGrid::statementFailureLeavesModelClosed()
{
    NumberedReport::open(*m_model, 3);
    QVERIFY(m_model->isActive());
    QVERIFY_THROWS_EXCEPTION(DatabaseError, m_model->open(QStringLiteral("SELECT nothing FROM nowhere"), {},
                                                          Database::mainConnectionName()));
    QVERIFY(!m_model->isActive());
    QCOMPARE(m_model->rowCount(), 0);
}

// A clerk who adds up a column of the report gets its footer: the rows of charges shown with two
// decimals add up to the footer shown. Rows 1 to 4 charge 0.005, 0.010, 0.015 and 0.020 yuan,
// shown as 0.01, 0.01, 0.02 and 0.02: the footer must not say 0.05 beside them.
void TstReportGrid::footerIsSumOfRowsShown()
{
    NumberedReport::open(*m_model, 4);
    qint64 cents = 0;
    QStringList shown;
    for (int row = 0; row < m_model->rowCount(); ++row) {
        const QString text = m_model->index(row, 4).data().toString();
        shown << text;
        cents += qRound64(text.toDouble() * 100);
    }
    QCOMPARE(shown, (QStringList{ "0.01", "0.01", "0.02", "0.02" }));
    QCOMPARE(m_model->footerText(4), QString::number(cents / 100.0, 'f', 2));
}

// Scrolled sideways, a column of figures is either beside the frozen columns or wholly under them:
// a right-aligned 8297439512.50 whose first digit slides under the frozen columns reads as
// 297439512.50, a wrong figure with no mark that anything is missing.
void TstReportGrid::noFigureHalfUnderFrozenColumns()
{
    ReportGrid *grid = showGrid(20, QSize(300, 300));
    QVERIFY(grid);
    QVERIFY(grid->horizontalScrollBar()->maximum() > 0);
    const int frozenWidth = grid->columnWidth(0) + grid->columnWidth(1);
    auto check = [&](const char *step) {
        QCoreApplication::processEvents();
        for (int c = ReportGrid::FrozenColumns; c < m_model->columnCount(); ++c) {
            const int x = grid->columnViewportPosition(c);
            QVERIFY2(x >= frozenWidth || x + grid->columnWidth(c) <= frozenWidth,
                     qPrintable(QStringLiteral("%1: column %2 from %3 to %4, frozen columns end at %5")
                                    .arg(QLatin1String(step)).arg(c).arg(x).arg(x + grid->columnWidth(c)).arg(frozenWidth)));
        }
    };
    grid->setFocus();
    QTest::keyClick(grid, Qt::Key_End);   // along the row to its last column
    check("End");
    QTest::keyClick(grid, Qt::Key_Left);
    QTest::keyClick(grid, Qt::Key_Left);
    check("End, Left, Left");
}

QTEST_MAIN(TstReportGrid)
#include "tst_ReportGrid.moc"
