#include "PrintDBGridEh.h"

#include "PdfTextLayer.h"

#include <QFontMetricsF>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>
#include <QTextLayout>
#include <algorithm>
#include <cmath>

namespace {

// Texts are laid out from the font's character map alone: shaped as Latin, the digits after a
// letter (D301) take glyphs no character maps to, and a PDF's text layer would lose them.
QFont printFont(QFont font)
{
    font.setStyleStrategy(QFont::PreferNoShaping);
    return font;
}

QFont headerFont()
{
    QFont font;
    font.setFamilies({ QStringLiteral("宋体"), QStringLiteral("SimSun"), QStringLiteral("Noto Serif CJK SC") });
    font.setPointSize(12);
    return printFont(font);
}

// A font that holds the Chinese characters itself: on the printer a character taken from a
// fallback font stands lower than the digits beside it, down onto the rule below its cell.
constexpr double GridPointSize = 9;

QFont gridFont(double pointSize = GridPointSize)
{
    QFont font;
    font.setFamilies({ QStringLiteral("Noto Sans CJK SC"), QStringLiteral("Microsoft YaHei"), QStringLiteral("SimSun"),
                       QFont().family() });
    font.setPointSizeF(pointSize);
    return printFont(font);
}

QFont footerFont(double pointSize = GridPointSize)
{
    QFont font = gridFont(pointSize);
    font.setBold(true);
    return font;
}

// The lines of a text broken to a width: between words where it can, anywhere in a word
// longer than the width; Chinese breaks between any two characters.
QStringList wrapped(const QString &text, const QFont &font, QPaintDevice *device, double width)
{
    QTextLayout layout(text, font, device);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    QStringList lines;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        lines << text.mid(line.textStart(), line.textLength()).trimmed();
    }
    layout.endLayout();
    if (lines.isEmpty())
        lines << QString();
    return lines;
}

// A title broken into as few lines as the width allows, the lines as even as they can be:
// "超出部/分单价" rather than "超出部分单/价".
QStringList balanced(const QString &text, const QFont &font, QPaintDevice *device, double width)
{
    const QStringList greedy = wrapped(text, font, device, width);
    if (greedy.size() < 2)
        return greedy;
    double narrow = QFontMetricsF(font, device).horizontalAdvance(text) / greedy.size();
    double wide = width;
    for (int i = 0; i < 12; ++i) {
        const double mid = (narrow + wide) / 2;
        if (wrapped(text, font, device, mid).size() > greedy.size())
            narrow = mid;
        else
            wide = mid;
    }
    return wrapped(text, font, device, wide);
}

// The width a title needs on two lines: its longer half.
double twoLineWidth(const QString &text, const QFontMetricsF &fm)
{
    const qsizetype half = (text.size() + 1) / 2;
    return qMax(fm.horizontalAdvance(text.left(half)), fm.horizontalAdvance(text.mid(half)));
}

// Lines of text in a rectangle, each on a baseline the font's own metrics place, the block
// centred in the rectangle's height. Laid out by drawText, a line with Chinese characters taken
// from a fallback font is taller and sits lower in its cell than a line of digits beside it,
// down onto the rule below.
void drawLines(QPainter &painter, const QRectF &rect, const QStringList &lines, Qt::Alignment align, double line,
               double step)
{
    const QFontMetricsF fm(painter.font(), painter.device());
    const double block = line + step * (lines.size() - 1);
    double baseline = rect.top() + (rect.height() - block) / 2 + (line + fm.ascent() - fm.descent()) / 2;
    for (const QString &text : lines) {
        const double width = fm.horizontalAdvance(text);
        double x = rect.left();
        if (align & Qt::AlignRight)
            x = rect.right() - width;
        else if (align & Qt::AlignHCenter)
            x = rect.left() + (rect.width() - width) / 2;
        painter.drawText(QPointF(x, baseline), text);
        baseline += step;
    }
}

}

struct TPrintDBGridEh::Layout
{
    double dpi = 300;
    QSizeF page;                    // the area inside the margins, in device units
    QFont grid;                     // rows and titles; smaller than usual only for a column wider than the page
    QFont footer;
    QStringList headerLines;        // the page header, wrapped to the page's width
    QStringList beforeLines;        // the text before the grid, wrapped likewise
    double headerHeight = 0;        // page header lines and the gap below them
    double beforeHeight = 0;        // text before the grid and its gap (first pages only)
    double line = 0;                // a row of one line
    double step = 0;                // each further line of a row
    double pad = 0;
    bool twoLevel = false;
    double upperHeight = 0;         // the band of shared upper titles
    double lowerHeight = 0;         // the band of the columns' own titles
    QList<double> widths;
    QList<int> rowLines;            // lines of each row: a long name wraps
    QList<QList<int>> bands;
    QList<int> blockStarts;         // first row of each block of rows printed on one page per band

    double rowHeight(int lines) const { return line + step * (lines - 1); }
    double titleHeight() const { return upperHeight + lowerHeight; }
    int blockEnd(int block, int rows) const
    {
        return block + 1 < blockStarts.size() ? blockStarts.at(block + 1) : rows;
    }
};

TPrintDBGridEh::TPrintDBGridEh(QObject *parent) : QObject(parent)
{
}

void TPrintDBGridEh::setGrid(ReportModel *model)
{
    m_model = model;
    m_report = model ? model->result() : ReportResult();
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
    // A column wider than the page on its own (a long figure on a narrow page) is printed in a
    // font made small enough for it to fit, so that no figure runs off the page.
    double pointSize = GridPointSize;
    Layout l = layout(device, pointSize);
    for (int attempt = 0; attempt < 8; ++attempt) {
        double widest = 0;
        for (const double w : std::as_const(l.widths))
            widest = qMax(widest, w);
        if (widest <= l.page.width())
            break;
        pointSize *= l.page.width() / widest * 0.98;
        l = layout(device, pointSize);
    }
    return l;
}

TPrintDBGridEh::Layout TPrintDBGridEh::layout(QPagedPaintDevice *device, double pointSize) const
{
    Layout l;
    l.dpi = device->logicalDpiY();
    l.page = QSizeF(device->width(), device->height());
    l.grid = gridFont(pointSize);
    l.footer = footerFont(pointSize);
    const QFontMetricsF header(headerFont(), device);
    const QFontMetricsF fm(l.grid, device);
    const QFontMetricsF bold(l.footer, device);
    const double gap = header.height() * 0.4;
    // The page header and the text before the grid (a workshop's long name) wrap within the page.
    for (const QString &text : m_centerText)
        l.headerLines << wrapped(text, headerFont(), device, l.page.width());
    for (const QString &text : m_beforeGrid)
        l.beforeLines << wrapped(text, l.grid, device, l.page.width());
    l.headerHeight = l.headerLines.isEmpty() ? 0 : header.lineSpacing() * l.headerLines.size() + gap;
    l.beforeHeight = l.beforeLines.isEmpty() ? 0 : fm.lineSpacing() * l.beforeLines.size() + gap;
    l.line = std::ceil(fm.height() * 1.1);   // the font's own line already leaves room above and below
    l.step = fm.lineSpacing();
    l.pad = fm.averageCharWidth() * 0.35;

    const QList<ReportColumn> &columns = m_report.columns();
    const int n = int(columns.size());
    const int rows = m_report.rowCount();
    // A name may take up to a quarter of the page's width; a longer one wraps.
    const double textLimit = l.page.width() / 4;
    QList<double> content;
    for (int c = 0; c < n; ++c) {
        double widest = bold.horizontalAdvance(m_report.footerText(c));
        for (int row = 0; row < rows; ++row)
            widest = qMax(widest, fm.horizontalAdvance(m_report.text(row, c)));
        if (!columns.at(c).isNumber())
            widest = qMin(widest, textLimit);
        content << std::ceil(widest);
        if (!columns.at(c).upperTitle().isEmpty())
            l.twoLevel = true;
    }

    // Frozen columns begin every band, and the others follow as far as the page is wide. A
    // column too wide to stand beside the frozen columns has a band of its own.
    const int frozen = qMin(n, int(FrozenColumns));
    auto bandsFor = [&](const QList<double> &widths) {
        QList<int> start;
        double frozenWidth = 0;
        for (int c = 0; c < frozen; ++c) {
            frozenWidth += widths.at(c);
            start << c;
        }
        QList<QList<int>> bands;
        QList<int> band;
        double x = 0;
        bool frozenPrinted = false;
        for (int c = frozen; c < n; ++c) {
            if (!band.isEmpty() && x + widths.at(c) > l.page.width()) {
                bands << band;
                band.clear();
            }
            if (band.isEmpty()) {
                const bool beside = frozenWidth + widths.at(c) <= l.page.width();
                band = beside ? start : QList<int>();
                x = beside ? frozenWidth : 0;
                frozenPrinted = frozenPrinted || beside;
            }
            band << c;
            x += widths.at(c);
        }
        if (!band.isEmpty())
            bands << band;
        // Frozen columns that stand beside no other are printed on their own, as many side by
        // side as the page holds.
        if (!frozenPrinted && frozen > 0) {
            QList<QList<int>> alone{ {} };
            double at = 0;
            for (int c = 0; c < frozen; ++c) {
                if (!alone.last().isEmpty() && at + widths.at(c) > l.page.width()) {
                    alone << QList<int>();
                    at = 0;
                }
                alone.last() << c;
                at += widths.at(c);
            }
            bands = alone + bands;
        }
        return bands;
    };
    // Titles on one line; while the grid is wider than the page, the title that gains most by
    // taking two lines takes them, so that as few pages as can be are needed across.
    QList<double> oneLine;
    QList<double> twoLines;
    double total = 0;
    for (int c = 0; c < n; ++c) {
        const QString title = columns.at(c).lowerTitle();
        oneLine << std::ceil(qMax(content.at(c), fm.horizontalAdvance(title)) + 2 * l.pad);
        twoLines << std::ceil(qMax(content.at(c), twoLineWidth(title, fm)) + 2 * l.pad);
        total += oneLine.last();
    }
    l.widths = oneLine;
    QList<int> gains;
    for (int c = 0; c < n; ++c)
        if (twoLines.at(c) < oneLine.at(c))
            gains << c;
    std::stable_sort(gains.begin(), gains.end(), [&](int a, int b) {
        return oneLine.at(a) - twoLines.at(a) > oneLine.at(b) - twoLines.at(b);
    });
    for (int c : std::as_const(gains)) {
        if (total <= l.page.width())
            break;
        total -= l.widths.at(c) - twoLines.at(c);
        l.widths[c] = twoLines.at(c);
    }
    l.bands = bandsFor(l.widths);

    // Title bands as high as their longest title needs.
    int lowerLines = 1;
    int upperLines = 1;
    for (const QList<int> &band : std::as_const(l.bands)) {
        for (int i = 0; i < band.size(); ++i) {
            const ReportColumn &c = columns.at(band.at(i));
            lowerLines = qMax(lowerLines, int(wrapped(c.lowerTitle(), l.grid, device,
                                                      l.widths.at(band.at(i)) - l.pad).size()));
            const QString upper = c.upperTitle();
            if (upper.isEmpty() || (i > 0 && columns.at(band.at(i - 1)).upperTitle() == upper))
                continue;
            double span = 0;
            for (int j = i; j < band.size() && columns.at(band.at(j)).upperTitle() == upper; ++j)
                span += l.widths.at(band.at(j));
            upperLines = qMax(upperLines, int(wrapped(upper, l.grid, device, span - l.pad).size()));
        }
    }
    l.lowerHeight = l.rowHeight(lowerLines);
    l.upperHeight = l.twoLevel ? l.rowHeight(upperLines) : 0;

    for (int row = 0; row < rows; ++row) {
        int lines = 1;
        for (int c = 0; c < n; ++c) {
            if (columns.at(c).isNumber())
                continue;
            const QString text = m_report.text(row, c);
            if (fm.horizontalAdvance(text) > l.widths.at(c) - 2 * l.pad)
                lines = qMax(lines, int(wrapped(text, l.grid, device, l.widths.at(c) - 2 * l.pad).size()));
        }
        l.rowLines << lines;
    }

    // Rows go by blocks of a page; the footer follows the last row, on a page of its own if need be.
    const double firstSpace = l.page.height() - l.headerHeight - l.beforeHeight - l.titleHeight();
    const double otherSpace = l.page.height() - l.headerHeight - l.titleHeight();
    l.blockStarts << 0;
    double y = 0;
    double space = firstSpace;
    for (int row = 0; row <= rows; ++row) {
        const double h = row < rows ? l.rowHeight(l.rowLines.at(row)) : l.rowHeight(1);
        if (y > 0 && y + h > space) {
            l.blockStarts << row;
            y = 0;
            space = otherSpace;
        }
        y += h;
    }
    return l;
}

QList<QList<int>> TPrintDBGridEh::columnBands(QPagedPaintDevice *device) const
{
    return layout(device).bands;
}

QList<double> TPrintDBGridEh::columnWidths(QPagedPaintDevice *device) const
{
    return layout(device).widths;
}

int TPrintDBGridEh::pageCount(QPagedPaintDevice *device) const
{
    if (!canPrint())
        return 0;
    const Layout l = layout(device);
    return int(l.blockStarts.size() * l.bands.size());
}

void TPrintDBGridEh::print(QPagedPaintDevice *device) const
{
    if (!canPrint())
        return;
    const Layout l = layout(device);
    QPainter painter(device);
    if (!painter.isActive())
        return;
    const int rows = m_report.rowCount();
    bool firstPage = true;
    for (int block = 0; block < l.blockStarts.size(); ++block) {
        for (const QList<int> &band : l.bands) {
            if (!firstPage)
                device->newPage();
            firstPage = false;
            paintPage(painter, l, band, l.blockStarts.at(block), l.blockEnd(block, rows), block == 0,
                      block + 1 == l.blockStarts.size());
        }
    }
}

void TPrintDBGridEh::paintPage(QPainter &painter, const Layout &l, const QList<int> &band, int firstRow, int endRow,
                               bool first, bool withFooter) const
{
    const QList<ReportColumn> &columns = m_report.columns();
    const QPen rule(Qt::black, l.dpi / 254.0);   // a tenth of a millimetre
    painter.setPen(rule);
    double y = 0;

    painter.setFont(headerFont());
    const double headerLine = QFontMetricsF(headerFont(), painter.device()).lineSpacing();
    for (const QString &text : l.headerLines) {
        drawLines(painter, QRectF(0, y, l.page.width(), headerLine), { text }, Qt::AlignHCenter, headerLine, 0);
        y += headerLine;
    }
    y = l.headerHeight;

    painter.setFont(l.grid);
    const QFontMetricsF fm(l.grid, painter.device());
    if (first) {
        for (const QString &text : l.beforeLines) {
            drawLines(painter, QRectF(0, y, l.page.width(), fm.lineSpacing()), { text }, Qt::AlignLeft,
                      fm.lineSpacing(), 0);
            y += fm.lineSpacing();
        }
        y = l.headerHeight + l.beforeHeight;
    }

    // A title too wide for its column wraps within its cell.
    auto title = [&](const QRectF &rect, const QString &text) {
        painter.drawRect(rect);
        const double width = rect.width() - l.pad;
        const QStringList lines = fm.horizontalAdvance(text) <= width ? QStringList{ text }
                                                                      : balanced(text, l.grid, painter.device(), width);
        drawLines(painter, rect, lines, Qt::AlignHCenter, l.line, l.step);
    };

    // Column titles, the shared upper titles spanning their neighbours in the band.
    double x = 0;
    for (int i = 0; i < band.size(); ++i) {
        const ReportColumn &c = columns.at(band.at(i));
        const double w = l.widths.at(band.at(i));
        const QString upper = c.upperTitle();
        if (upper.isEmpty()) {
            title(QRectF(x, y, w, l.titleHeight()), c.lowerTitle());
        } else {
            title(QRectF(x, y + l.upperHeight, w, l.lowerHeight), c.lowerTitle());
            if (i == 0 || columns.at(band.at(i - 1)).upperTitle() != upper) {
                double span = 0;
                for (int j = i; j < band.size() && columns.at(band.at(j)).upperTitle() == upper; ++j)
                    span += l.widths.at(band.at(j));
                title(QRectF(x, y, span, l.upperHeight), upper);
            }
        }
        x += w;
    }
    y += l.titleHeight();

    // Figures are printed whole (their columns are as wide as the widest); a long name wraps.
    auto paintRow = [&](const QStringList &cells, int lines, bool footer) {
        const double h = l.rowHeight(lines);
        double cx = 0;
        for (int column : band) {
            const double w = l.widths.at(column);
            const QRectF rect(cx, y, w, h);
            painter.drawRect(rect);
            const QRectF inner = rect.adjusted(l.pad, 0, -l.pad, 0);
            const QString &text = cells.at(column);
            Qt::Alignment align = m_report.alignment(column);
            if (footer && columns.at(column).footer == ReportColumn::FooterText)
                align = Qt::AlignHCenter;
            const bool wraps = !columns.at(column).isNumber()
                && QFontMetricsF(painter.font(), painter.device()).horizontalAdvance(text) > inner.width();
            drawLines(painter, inner, wraps ? wrapped(text, painter.font(), painter.device(), inner.width()) : QStringList{ text },
                      align, l.line, l.step);
            cx += w;
        }
        y += h;
    };
    for (int row = firstRow; row < endRow; ++row)
        paintRow(m_report.rowTexts(row), l.rowLines.at(row), false);
    if (withFooter) {
        painter.setFont(l.footer);
        paintRow(m_report.footerTexts(), 1, true);
        painter.setFont(l.grid);
    }
}

QByteArray TPrintDBGridEh::mendPdf(const QByteArray &pdf) const
{
    QString text = m_centerText.join(u'\n') + u'\n' + m_beforeGrid.join(u'\n');
    for (const ReportColumn &c : m_report.columns())
        text += c.caption;
    for (int row = 0; row < m_report.rowCount(); ++row)
        for (int c = 0; c < m_report.columnCount(); ++c)
            if (!m_report.columns().at(c).isNumber())
                text += m_report.text(row, c);
    text += m_report.footerTexts().join(QString());
    return PdfTextLayer::mend(pdf, { headerFont(), gridFont(), footerFont() }, text);
}
