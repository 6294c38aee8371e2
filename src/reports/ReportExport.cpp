#include "ReportExport.h"

#include "PrintDBGridEh.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QPdfWriter>
#include <QSaveFile>
#include <QStringConverter>
#include <QTextStream>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace ReportExport {

namespace {

QString csvField(const QString &text)
{
    if (!text.contains(u',') && !text.contains(u'"') && !text.contains(u'\n') && !text.contains(u'\r'))
        return text;
    QString quoted = text;
    quoted.replace(u'"', QStringLiteral("\"\""));
    return u'"' + quoted + u'"';
}

// A spreadsheet takes a cell that begins with one of these as a formula, quoted or not.
QString asText(const QString &text)
{
    static const QString formulaStarts = QStringLiteral("=+-@\t\r");
    return !text.isEmpty() && formulaStarts.contains(text.front()) ? u'\'' + text : text;
}

// Control characters (and the marks that reorder a line) would drive a terminal or break the
// line of a text file; each shows as a replacement character instead.
QString visible(QString text)
{
    for (QChar &c : text) {
        const char16_t u = c.unicode();
        if (c.category() == QChar::Other_Control || u == 0x2028 || u == 0x2029 || (u >= 0x202A && u <= 0x202E)
            || (u >= 0x2066 && u <= 0x2069))
            c = QChar(0xFFFD);
    }
    return text;
}

QStringList footerCells(const Document &doc)
{
    QStringList cells;
    for (int c = 0; c < doc.model->columnCount(); ++c)
        cells << doc.model->footerText(c, doc.amounts);
    return cells;
}

// A list without sums, such as the unusual readings, ends with its last row.
bool hasFooter(const QStringList &footer)
{
    return std::any_of(footer.cbegin(), footer.cend(), [](const QString &cell) { return !cell.isEmpty(); });
}

// Names as stored may hold anything typed or pasted: a text file and a terminal get them with
// control characters made visible, a spreadsheet gets them as text, never as a formula.
QStringList nameCells(const Document &doc, QStringList cells, bool spreadsheet, bool terminal)
{
    const QList<ReportColumn> &columns = doc.model->columns();
    for (int c = 0; c < cells.size() && c < columns.size(); ++c) {
        if (columns.at(c).isNumber())
            continue;
        if (spreadsheet)
            cells[c] = asText(cells.at(c));
        if (terminal)
            cells[c] = visible(cells.at(c));
    }
    return cells;
}

void writeDelimited(QTextStream &out, const Document &doc, bool csv)
{
    const QString newline = csv ? QStringLiteral("\r\n") : QStringLiteral("\n");
    auto line = [&](const QStringList &cells) {
        QStringList fields;
        for (const QString &cell : cells)
            fields << (csv ? csvField(cell) : cell);
        out << fields.join(csv ? u',' : u'\t') << newline;
    };
    if (doc.heading) {
        line({ doc.title });
        line({ csv ? asText(doc.periodLine) : visible(doc.periodLine) });
    }
    line(columnTitles(*doc.model));
    doc.model->forEachRow([&](const QStringList &cells) {
        line(nameCells(doc, cells, true, !csv));
        return true;
    }, doc.amounts);
    if (const QStringList footer = footerCells(doc); hasFooter(footer))
        line(footer);
}

QString padded(const QString &text, int width, bool right)
{
    const QString fill(qMax(0, width - displayWidth(text)), u' ');
    return right ? fill + text : text + fill;
}

void writeAligned(QTextStream &out, const Document &doc)
{
    const ReportModel &model = *doc.model;
    const QStringList titles = columnTitles(model);
    const QStringList footer = footerCells(doc);
    QList<int> widths;
    for (int c = 0; c < titles.size(); ++c)
        widths << qMax(displayWidth(titles.at(c)), displayWidth(footer.at(c)));
    // A first pass measures the columns, so no more than one row is held at a time.
    model.forEachRow([&](const QStringList &cells) {
        const QStringList shown = nameCells(doc, cells, false, true);
        for (int c = 0; c < shown.size(); ++c)
            widths[c] = qMax(widths.at(c), displayWidth(shown.at(c)));
        return true;
    }, doc.amounts);
    auto line = [&](const QStringList &cells, bool titleLine) {
        QStringList parts;
        for (int c = 0; c < cells.size(); ++c) {
            const bool right = !titleLine && (model.alignment(c) & Qt::AlignRight);
            parts << padded(cells.at(c), widths.at(c), right);
        }
        QString text = parts.join(QStringLiteral("  "));
        while (text.endsWith(u' '))
            text.chop(1);
        out << text << '\n';
    };
    QStringList rules;
    for (int w : std::as_const(widths))
        rules << QString(w, u'-');
    if (doc.heading)
        out << doc.title << '\n' << visible(doc.periodLine) << "\n\n";
    line(titles, true);
    line(rules, true);
    model.forEachRow([&](const QStringList &cells) {
        line(nameCells(doc, cells, false, true), false);
        return true;
    }, doc.amounts);
    line(rules, true);
    if (hasFooter(footer))
        line(footer, false);
}

// Whether the device took the whole PDF.
bool writePdf(QIODevice &device, const Document &doc)
{
    TPrintDBGridEh printer;
    printer.setGrid(doc.model);
    printer.setPageHeaderCenterText({ doc.title });
    printer.setBeforeGridText({ doc.periodLine });
    QBuffer pages;
    pages.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&pages);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setCreator(QStringLiteral("Kelvara"));
        printer.setupDevice(&writer);
        printer.print(&writer);
    }
    const QByteArray pdf = printer.mendPdf(pages.data());
    return device.write(pdf) == pdf.size();
}

// Why a device took less than it was given. A write cut short (a file grown to its size limit)
// leaves no error on the device, only in errno.
QString failureOf(const QIODevice &device)
{
    const int cause = errno;
    const QString text = device.errorString();
    if (!text.isEmpty() && text != u"Unknown error")
        return text;
    return cause != 0 ? qt_error_string(cause) : QStringLiteral("the output took only part of the report");
}

}

Format formatForFile(const QString &path, Format fallback)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == u"txt")
        return Format::Tabbed;
    if (suffix == u"csv")
        return Format::Csv;
    if (suffix == u"pdf")
        return Format::Pdf;
    return fallback;
}

QStringList columnTitles(const ReportModel &model)
{
    QStringList titles;
    for (const ReportColumn &c : model.columns())
        titles << c.caption;
    return titles;
}

QString write(QIODevice &device, Format format, const Document &document)
{
    errno = 0;
    if (format == Format::Pdf) {
        if (!writePdf(device, document))
            return failureOf(device);
    } else {
        QTextStream out(&device);
        out.setEncoding(QStringConverter::Utf8);
        out.setGenerateByteOrderMark(document.byteOrderMark);
        if (format == Format::Aligned)
            writeAligned(out, document);
        else
            writeDelimited(out, document, format == Format::Csv);
        out.flush();
        if (out.status() != QTextStream::Ok)
            return failureOf(device);
    }
    // A file keeps what it was given in a buffer: a disk that is full shows when it is flushed.
    auto *file = qobject_cast<QFileDevice *>(&device);
    if (file && (!file->flush() || file->error() != QFileDevice::NoError))
        return failureOf(device);
    return {};
}

QString writeFile(const QString &path, Format format, const Document &document, PipeReader pipe)
{
    // A device or a named pipe is written into: replacing it would put a plain file in its place.
    const QFileInfo info(path);
    if (info.exists() && !info.isFile() && !info.isDir()) {
        QFile file(path);
        if (pipe == PipeReader::Required) {
            // Opened without waiting, a pipe nobody reads fails at once; the writes then wait
            // for the reader as usual.
            const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            if (fd < 0)
                return errno == ENXIO ? QStringLiteral("no program reads the named pipe") : qt_error_string(errno);
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
            if (!file.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle)) {
                ::close(fd);
                return file.errorString();
            }
        } else if (!file.open(QIODevice::WriteOnly)) {
            return file.errorString();
        }
        QString failure = write(file, format, document);
        file.close();
        if (failure.isEmpty() && file.error() != QFileDevice::NoError)
            failure = failureOf(file);
        return failure;
    }
    // A file is replaced only once the new one is whole.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    const QString failure = write(file, format, document);
    if (!failure.isEmpty()) {
        file.cancelWriting();
        return failure;
    }
    if (!file.commit())
        return failureOf(file);
    return {};
}

int displayWidth(const QString &text)
{
    int width = 0;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (c.isLowSurrogate())
            continue;
        const bool wide = (u >= 0x1100 && u <= 0x115F) || (u >= 0x2E80 && u <= 0xA4CF) || (u >= 0xAC00 && u <= 0xD7A3)
            || (u >= 0xF900 && u <= 0xFAFF) || (u >= 0xFE30 && u <= 0xFE4F) || (u >= 0xFF00 && u <= 0xFF60)
            || (u >= 0xFFE0 && u <= 0xFFE6) || c.isHighSurrogate();
        width += wide ? 2 : 1;
    }
    return width;
}

}
