// ReportExport.h: writes a report result to a file or stream as tab-separated text, CSV, an aligned
// table for a terminal or PDF pages; window-free, shared by the report window and the command line.
#pragma once

#include "ReportModel.h"

#include <QList>
#include <QString>

class QIODevice;

namespace ReportExport {

enum class Format { Tabbed, Csv, Aligned, Pdf };

struct Document
{
    QString title;                  // the report's title, also the page header when printed
    QString periodLine;             // the period (and workshop), the text before the printed grid
    ReportModel *model = nullptr;   // the rows and footer written are those it holds
    ReportModel::Amounts amounts = ReportModel::Amounts::Shown;
    bool heading = true;            // title and period line before the column titles
    bool byteOrderMark = true;      // text formats: a UTF-8 byte-order mark first
};

// The format a file's suffix names (txt, csv, pdf); fallback for any other suffix.
Format formatForFile(const QString &path, Format fallback);

// Column titles as the grid defines them: upper and lower title joined by "|".
QStringList columnTitles(const ReportModel &model);

// Writes the document as the model holds it; the database is not read. Returns an empty text on
// success, otherwise why the device took not all of it. Pdf needs a QGuiApplication.
QString write(QIODevice &device, Format format, const Document &document);

// What a named pipe without a reader does to writeFile: wait for one, as a shell's redirection
// does, or fail at once, so that a window never hangs on it.
enum class PipeReader { Wait, Required };

// Writes a file through a temporary file renamed over it at the end, so a failure leaves any
// existing file intact; an existing device or named pipe is written into instead. Returns an
// empty text on success, otherwise the reason.
QString writeFile(const QString &path, Format format, const Document &document, PipeReader pipe = PipeReader::Wait);

// Columns a text takes on a terminal: East Asian wide characters take two.
int displayWidth(const QString &text);

}
