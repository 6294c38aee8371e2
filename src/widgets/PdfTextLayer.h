// PdfTextLayer.h: mends the text layer of a PDF that Qt wrote. Qt names every glyph of a font in
// the PDF's ToUnicode map by the lowest code point the font maps to that glyph, and the Chinese
// fonts give a Kangxi radical the very glyph of the ideograph it looks like: 车 would be copied,
// searched and read as ⻋ (U+2ECB), 自 as ⾃ (U+2F83), and a blank as a tab.
#pragma once

#include <QByteArray>
#include <QFont>
#include <QHash>
#include <QList>
#include <QString>

namespace PdfTextLayer {

// The characters of `text` that a PDF would name wrongly in any of the fonts or in the fallback
// faces they take characters from, each keyed by the code point Qt names its glyph by. A radical
// drawn beside the ideograph of the same glyph is named as the ideograph.
QHash<char16_t, char16_t> misnamed(const QList<QFont> &fonts, const QString &text);

// The PDF with every glyph that Qt named by a key of `names` named by its value instead. Only the
// uncompressed ToUnicode maps Qt writes are rewritten; the objects after them move and the
// cross-reference table is written anew. A PDF not in that form is returned as it is.
QByteArray rename(const QByteArray &pdf, const QHash<char16_t, char16_t> &names);

// Both steps: the PDF with the characters of `text`, drawn in the fonts, named as drawn.
QByteArray mend(const QByteArray &pdf, const QList<QFont> &fonts, const QString &text);

}
