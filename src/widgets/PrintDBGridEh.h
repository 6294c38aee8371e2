// PrintDBGridEh.h: the grid printer: lays a report's titles, rows and footer out on pages, by rows
// and, for a grid wider than the page, by columns with the frozen columns repeated.
#pragma once

#include "ReportModel.h"

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

    // The grid to print: its rows, titles and footer, at these column widths in screen pixels.
    void setGrid(ReportModel *model, const QList<int> &widths);
    ReportModel *grid() const { return m_model; }
    const QList<int> &columnWidths() const { return m_widths; }
    bool canPrint() const;

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
    // Paints every page; throws DatabaseError when the rows cannot be read.
    void print(QPagedPaintDevice *device) const;

private:
    struct Layout;
    Layout layout(QPagedPaintDevice *device) const;
    void paintPage(QPainter &painter, const Layout &layout, const QList<int> &band,
                   const QList<QStringList> &rows, bool first, bool withFooter) const;

    QPointer<ReportModel> m_model;
    QList<int> m_widths;
    QStringList m_centerText;
    QStringList m_beforeGrid;
};
