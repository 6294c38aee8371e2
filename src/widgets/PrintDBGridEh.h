// PrintDBGridEh.h: the grid printer: lays a report's titles, rows and footer out on pages, by rows
// and, for a grid wider than the page, by columns with the frozen columns repeated. The layout
// follows from the page and the printer's font alone: every figure is printed whole, on the page
// (in a smaller font where a single column is wider than the page).
#pragma once

#include "ReportModel.h"

#include <QFont>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QStringList>

class QPagedPaintDevice;
class QPainter;

class TPrintDBGridEh : public QObject
{
    Q_OBJECT
public:
    static constexpr double MarginMm = 2.0;
    static constexpr int FrozenColumns = 2;

    explicit TPrintDBGridEh(QObject *parent = nullptr);

    static QString title() { return QStringLiteral("报表信息"); }

    // The grid to print: the report it holds as generated, with its titles, rows and footer.
    // Later runs of the grid's statement do not change what this printer prints.
    void setGrid(ReportModel *model);
    ReportModel *grid() const { return m_model; }
    const ReportResult &report() const { return m_report; }
    bool canPrint() const { return m_report.isActive(); }

    void setPageHeaderCenterText(const QStringList &lines) { m_centerText = lines; }
    const QStringList &pageHeaderCenterText() const { return m_centerText; }
    void setBeforeGridText(const QStringList &lines) { m_beforeGrid = lines; }
    const QStringList &beforeGridText() const { return m_beforeGrid; }

    // Gives a device the printer's margins and job title.
    void setupDevice(QPagedPaintDevice *device) const;
    // Pages the grid needs on the device as it is set up now.
    int pageCount(QPagedPaintDevice *device) const;
    // Column bands across the page: the columns printed side by side on one page.
    QList<QList<int>> columnBands(QPagedPaintDevice *device) const;
    // The printed width of each column on the device, in its units.
    QList<double> columnWidths(QPagedPaintDevice *device) const;
    // Paints every page.
    void print(QPagedPaintDevice *device) const;

    // A PDF of these pages, as written by Qt, with its text layer mended (PdfTextLayer).
    QByteArray mendPdf(const QByteArray &pdf) const;

private:
    struct Layout;
    Layout layout(QPagedPaintDevice *device) const;
    Layout layout(QPagedPaintDevice *device, double gridPointSize) const;
    void paintPage(QPainter &painter, const Layout &layout, const QList<int> &band, int firstRow, int endRow,
                   bool first, bool withFooter) const;

    QPointer<ReportModel> m_model;
    ReportResult m_report;
    QStringList m_centerText;
    QStringList m_beforeGrid;
};
