#include "PrintDBGridEh.h"

#include "ReportModel.h"

#include <QFontMetricsF>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>
#include <cmath>

namespace {

constexpr double ScreenDpi = 96.0;

QFont headerFont()
{
    QFont font;
    font.setFamilies({ QStringLiteral("宋体"), QStringLiteral("SimSun"), QStringLiteral("Noto Serif CJK SC") });
    font.setPointSize(12);
    return font;
}

// A font that holds the Chinese characters itself: on the printer a character taken from a
// fallback font stands lower than the digits beside it, down onto the rule below its cell.
QFont gridFont()
{
    QFont font;
    font.setFamilies({ QStringLiteral("Noto Sans CJK SC"), QStringLiteral("Microsoft YaHei"), QStringLiteral("SimSun"),
                       QFont().family() });
    font.setPointSize(9);
    return font;
}

// One line of text in a rectangle, its baseline placed by the painter's font itself. Laid out
// by drawText, a line with Chinese characters taken from a fallback font is taller and sits
// lower in its cell than a line of digits beside it, down onto the rule below.
void drawLine(QPainter &painter, const QRectF &rect, const QString &text, Qt::Alignment align)
{
    const QFontMetricsF fm(painter.font(), painter.device());
    const QString shown = fm.elidedText(text, Qt::ElideRight, rect.width());
    const double width = fm.horizontalAdvance(shown);
    double x = rect.left();
    if (align & Qt::AlignRight)
        x = rect.right() - width;
    else if (align & Qt::AlignHCenter)
        x = rect.left() + (rect.width() - width) / 2;
    const double baseline = rect.top() + (rect.height() + fm.ascent() - fm.descent()) / 2;
    painter.drawText(QPointF(x, baseline), shown);
}

}

struct TPrintDBGridEh::Layout
{
    double dpi = 300;
    QSizeF page;                    // the area inside the margins, in device units
    double headerHeight = 0;        // page header lines and the gap below them
    double beforeHeight = 0;        // text before the grid and its gap (first pages only)
    double titleHeight = 0;
    double rowHeight = 0;
    double pad = 0;
    bool twoLevel = false;
    QList<double> widths;
    QList<QList<int>> bands;
    int rowsFirst = 1;              // rows on a page with the text before the grid
    int rowsOther = 1;
};

TPrintDBGridEh::TPrintDBGridEh(QObject *parent) : QObject(parent)
{
}

void TPrintDBGridEh::setGrid(ReportModel *model, const QList<int> &widths)
{
    m_model = model;
    m_widths = widths;
}

bool TPrintDBGridEh::canPrint() const
{
    return m_model && m_model->isActive();
}

void TPrintDBGridEh::setupDevice(QPagedPaintDevice *device) const
{
    device->setPageMargins(QMarginsF(MarginMm, MarginMm, MarginMm, MarginMm), QPageLayout::Millimeter);
    if (auto *printer = dynamic_cast<QPrinter *>(device))
        printer->setDocName(title());
    else if (auto *pdf = dynamic_cast<QPdfWriter *>(device))
        pdf->setTitle(title());
}

TPrintDBGridEh::Layout TPrintDBGridEh::layout(QPagedPaintDevice *device) const
{
    Layout l;
    l.dpi = device->logicalDpiY();
    l.page = QSizeF(device->width(), device->height());
    const QFontMetricsF header(headerFont(), device);
    const QFontMetricsF grid(gridFont(), device);
    const double gap = header.height() * 0.4;
    l.headerHeight = m_centerText.isEmpty() ? 0 : header.lineSpacing() * m_centerText.size() + gap;
    l.beforeHeight = m_beforeGrid.isEmpty() ? 0 : grid.lineSpacing() * m_beforeGrid.size() + gap;
    l.rowHeight = std::ceil(grid.height() * 1.1);   // the font's own line already leaves room above and below
    l.pad = grid.averageCharWidth() * 0.5;

    const int columns = m_model ? int(m_model->columns().size()) : 0;
    for (int c = 0; c < columns; ++c) {
        const int px = c < m_widths.size() && m_widths.at(c) > 0 ? m_widths.at(c) : m_model->designedWidth(c);
        l.widths << px * double(device->logicalDpiX()) / ScreenDpi;
        if (!m_model->columns().at(c).upperTitle().isEmpty())
            l.twoLevel = true;
    }
    l.titleHeight = l.rowHeight * (l.twoLevel ? 2 : 1);

    // Frozen columns begin every band; the others follow as far as the page is wide.
    const int frozen = qMin(columns, int(FrozenColumns));
    double frozenWidth = 0;
    for (int c = 0; c < frozen; ++c)
        frozenWidth += l.widths.at(c);
    double total = frozenWidth;
    for (int c = frozen; c < columns; ++c)
        total += l.widths.at(c);
    QList<int> band;
    for (int c = 0; c < frozen; ++c)
        band << c;
    if (total <= l.page.width() || columns == frozen) {
        for (int c = frozen; c < columns; ++c)
            band << c;
        l.bands << band;
    } else {
        const QList<int> start = band;
        double x = frozenWidth;
        for (int c = frozen; c < columns; ++c) {
            if (band.size() > start.size() && x + l.widths.at(c) > l.page.width()) {
                l.bands << band;
                band = start;
                x = frozenWidth;
            }
            band << c;
            x += l.widths.at(c);
        }
        l.bands << band;
    }

    const double grid0 = l.headerHeight + l.titleHeight;
    l.rowsFirst = qMax(1, int((l.page.height() - grid0 - l.beforeHeight) / l.rowHeight));
    l.rowsOther = qMax(1, int((l.page.height() - grid0) / l.rowHeight));
    return l;
}

QList<QList<int>> TPrintDBGridEh::columnBands(QPagedPaintDevice *device) const
{
    return layout(device).bands;
}

int TPrintDBGridEh::pageCount(QPagedPaintDevice *device) const
{
    if (!canPrint())
        return 0;
    const Layout l = layout(device);
    // The footer is one more line after the last row.
    const qint64 lines = m_model->totalRows() + 1;
    const qint64 rowPages = lines <= l.rowsFirst ? 1 : 1 + (lines - l.rowsFirst + l.rowsOther - 1) / l.rowsOther;
    return int(rowPages * l.bands.size());
}

void TPrintDBGridEh::print(QPagedPaintDevice *device) const
{
    if (!canPrint())
        return;
    const Layout l = layout(device);
    QPainter painter(device);
    if (!painter.isActive())
        return;
    bool firstPage = true;
    auto emitPages = [&](const QList<QStringList> &rows, bool first, bool footer) {
        for (const QList<int> &band : l.bands) {
            if (!firstPage)
                device->newPage();
            firstPage = false;
            paintPage(painter, l, band, rows, first, footer);
        }
    };
    // Rows are read one block of a page at a time, never the whole result at once.
    QList<QStringList> block;
    bool firstBlock = true;
    int capacity = l.rowsFirst;
    m_model->forEachRow([&](const QStringList &cells) {
        block << cells;
        if (block.size() == capacity) {
            emitPages(block, firstBlock, false);
            block.clear();
            firstBlock = false;
            capacity = l.rowsOther;
        }
        return true;
    });
    emitPages(block, firstBlock, true);
}

void TPrintDBGridEh::paintPage(QPainter &painter, const Layout &l, const QList<int> &band,
                               const QList<QStringList> &rows, bool first, bool withFooter) const
{
    const QList<ReportColumn> &columns = m_model->columns();
    const QPen line(Qt::black, l.dpi / 254.0);   // a tenth of a millimetre
    painter.setPen(line);
    double y = 0;

    painter.setFont(headerFont());
    const double headerLine = QFontMetricsF(headerFont(), painter.device()).lineSpacing();
    for (const QString &text : m_centerText) {
        drawLine(painter, QRectF(0, y, l.page.width(), headerLine), text, Qt::AlignHCenter);
        y += headerLine;
    }
    y = l.headerHeight;

    painter.setFont(gridFont());
    const QFontMetricsF fm(gridFont(), painter.device());
    if (first) {
        for (const QString &text : m_beforeGrid) {
            drawLine(painter, QRectF(0, y, l.page.width(), fm.lineSpacing()), text, Qt::AlignLeft);
            y += fm.lineSpacing();
        }
        y = l.headerHeight + l.beforeHeight;
    }

    auto cell = [&](const QRectF &rect, const QString &text, Qt::Alignment align) {
        painter.drawRect(rect);
        drawLine(painter, rect.adjusted(l.pad, 0, -l.pad, 0), text, align);
    };
    // A title too wide for its column wraps within its cell instead of being cut.
    auto title = [&](const QRectF &rect, const QString &text) {
        painter.drawRect(rect);
        const QRectF inner = rect.adjusted(l.pad / 2, 0, -l.pad / 2, 0);
        if (fm.horizontalAdvance(text) <= inner.width())
            drawLine(painter, inner, text, Qt::AlignHCenter);
        else
            painter.drawText(inner, Qt::AlignCenter | Qt::TextWrapAnywhere, text);
    };

    // Column titles, the shared upper titles spanning their neighbours in the band.
    double x = 0;
    const double half = l.titleHeight / 2;
    for (int i = 0; i < band.size(); ++i) {
        const ReportColumn &c = columns.at(band.at(i));
        const double w = l.widths.at(band.at(i));
        const QString upper = c.upperTitle();
        if (upper.isEmpty()) {
            title(QRectF(x, y, w, l.titleHeight), c.lowerTitle());
        } else {
            title(QRectF(x, y + half, w, half), c.lowerTitle());
            if (i == 0 || columns.at(band.at(i - 1)).upperTitle() != upper) {
                double span = 0;
                for (int j = i; j < band.size() && columns.at(band.at(j)).upperTitle() == upper; ++j)
                    span += l.widths.at(band.at(j));
                title(QRectF(x, y, span, half), upper);
            }
        }
        x += w;
    }
    y += l.titleHeight;

    auto paintRow = [&](const QStringList &cells, bool footer) {
        double cx = 0;
        for (int column : band) {
            const double w = l.widths.at(column);
            Qt::Alignment align = m_model->alignment(column);
            if (footer && columns.at(column).footer == ReportColumn::FooterText)
                align = Qt::AlignCenter;
            cell(QRectF(cx, y, w, l.rowHeight), cells.value(column), align);
            cx += w;
        }
        y += l.rowHeight;
    };
    for (const QStringList &row : rows)
        paintRow(row, false);
    if (withFooter) {
        QStringList footer;
        for (int c = 0; c < columns.size(); ++c)
            footer << m_model->footerText(c);
        QFont bold = gridFont();
        bold.setBold(true);
        painter.setFont(bold);
        paintRow(footer, true);
        painter.setFont(gridFont());
    }
}
