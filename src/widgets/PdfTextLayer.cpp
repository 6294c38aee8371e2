#include "PdfTextLayer.h"

#include <QMap>
#include <QRawFont>
#include <QRegularExpression>
#include <QGlyphRun>
#include <QSet>
#include <QTextLayout>
#include <algorithm>

namespace PdfTextLayer {

namespace {

bool isUnifiedIdeograph(char16_t u)
{
    return (u >= 0x4E00 && u <= 0x9FFF) || (u >= 0x3400 && u <= 0x4DBF);
}

// The faces the text is drawn in: the font's own and every fallback face a character of the text
// is taken from when the font does not hold it.
QList<QRawFont> facesDrawing(const QFont &font, const QString &text)
{
    QTextLayout layout(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::NoWrap);
    layout.setTextOption(option);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    if (line.isValid())
        line.setLineWidth(1e6);
    layout.endLayout();
    QList<QRawFont> faces;
    for (const QGlyphRun &run : layout.glyphRuns()) {
        const QRawFont face = run.rawFont();
        if (face.isValid() && !faces.contains(face))
            faces << face;
    }
    return faces;
}

}

QHash<char16_t, char16_t> misnamed(const QList<QFont> &fonts, const QString &text)
{
    QSet<char16_t> drawn;
    for (const QChar c : text)
        if (!c.isSurrogate() && c.category() != QChar::Other_Control)
            drawn.insert(c.unicode());
    QString drawnText;
    for (const char16_t c : std::as_const(drawn))
        drawnText += QChar(c);

    QList<QRawFont> faces;
    for (const QFont &font : fonts)
        for (const QRawFont &face : facesDrawing(font, drawnText))
            if (!faces.contains(face))
                faces << face;

    QString every;
    every.reserve(0x10000);
    for (char32_t u = 0; u < 0x10000; ++u)
        every += QChar(QChar::isSurrogate(u) ? char16_t(0) : char16_t(u));

    QHash<char16_t, char16_t> names;
    for (const QRawFont &raw : std::as_const(faces)) {
        // The glyphs of the characters drawn, and the lowest code point mapped to each, as Qt
        // finds it when it writes the map.
        const QList<quint32> glyphs = raw.glyphIndexesForString(drawnText);
        if (glyphs.size() != drawnText.size())
            continue;
        QHash<quint32, char16_t> lowest;
        for (const quint32 g : glyphs)
            if (g != 0)
                lowest.insert(g, 0xFFFF);
        QList<quint32> all(every.size());
        int count = int(all.size());
        if (!raw.glyphIndexesForChars(every.constData(), int(every.size()), all.data(), &count)
            || count != every.size())
            continue;
        for (char32_t u = 1; u < 0x10000; ++u) {
            const auto it = lowest.find(all.at(u));
            if (it != lowest.end() && u < *it)
                *it = char16_t(u);
        }
        for (int i = 0; i < drawnText.size(); ++i) {
            const char16_t c = drawnText.at(i).unicode();
            if (glyphs.at(i) == 0)
                continue;
            const char16_t named = lowest.value(glyphs.at(i), c);
            // Two characters drawn on one glyph cannot both be named: a radical and the
            // ideograph it looks like (⻋ and 车) are named as the ideograph, far the more common;
            // otherwise the map keeps Qt's name.
            if (named != c && (!drawn.contains(named) || (isUnifiedIdeograph(c) && !isUnifiedIdeograph(named))))
                names.insert(named, c);
        }
    }
    return names;
}

namespace {

struct Object
{
    int number = 0;
    qsizetype start = 0;
    qsizetype end = 0;
};

QByteArray hex(char16_t value)
{
    return QByteArray::number(value, 16).toUpper().rightJustified(4, '0');
}

// The glyph → text pairs of a ToUnicode map's bfrange and bfchar sections, texts in UTF-16.
bool readMap(const QByteArray &cmap, QMap<uint, QList<char16_t>> &map)
{
    static const QRegularExpression token(QStringLiteral("<([0-9A-Fa-f]*)>|\\[|\\]|beginbfrange|endbfrange|beginbfchar|endbfchar"));
    const QString text = QString::fromLatin1(cmap);
    QStringList tokens;
    for (auto it = token.globalMatch(text); it.hasNext();)
        tokens << it.next().captured(0);
    auto units = [](const QString &t) {
        QList<char16_t> list;
        const QString digits = t.mid(1, t.size() - 2);
        for (qsizetype i = 0; i + 4 <= digits.size(); i += 4)
            list << char16_t(digits.mid(i, 4).toUInt(nullptr, 16));
        return list;
    };
    auto isHex = [](const QString &t) { return t.startsWith(u'<'); };
    qsizetype i = 0;
    while (i < tokens.size()) {
        const QString section = tokens.at(i++);
        if (section == u"beginbfchar") {
            while (i + 1 < tokens.size() && isHex(tokens.at(i))) {
                map.insert(tokens.at(i).mid(1, tokens.at(i).size() - 2).toUInt(nullptr, 16), units(tokens.at(i + 1)));
                i += 2;
            }
        } else if (section == u"beginbfrange") {
            while (i + 2 < tokens.size() && isHex(tokens.at(i))) {
                const uint first = tokens.at(i).mid(1, tokens.at(i).size() - 2).toUInt(nullptr, 16);
                const uint last = tokens.at(i + 1).mid(1, tokens.at(i + 1).size() - 2).toUInt(nullptr, 16);
                i += 2;
                if (tokens.at(i) == u"[") {
                    ++i;
                    for (uint g = first; i < tokens.size() && tokens.at(i) != u"]"; ++g, ++i)
                        map.insert(g, units(tokens.at(i)));
                    ++i;
                } else {
                    QList<char16_t> value = units(tokens.at(i++));
                    if (value.isEmpty() || last < first)
                        return false;
                    for (uint g = first; g <= last; ++g) {
                        map.insert(g, value);
                        ++value.last();
                    }
                }
            }
        } else if (section != u"endbfchar" && section != u"endbfrange") {
            return false;
        }
    }
    return true;
}

// The map rewritten with the names mended, its sections as bfchar pairs.
QByteArray rewriteMap(const QByteArray &cmap, const QHash<char16_t, char16_t> &names, bool *changed)
{
    const qsizetype from = cmap.indexOf("endcodespacerange\n");
    const qsizetype to = cmap.indexOf("endcmap");
    if (from < 0 || to < from)
        return {};
    const qsizetype body = from + qsizetype(qstrlen("endcodespacerange\n"));
    QMap<uint, QList<char16_t>> map;
    if (!readMap(cmap.mid(body, to - body), map))
        return {};
    *changed = false;
    for (QList<char16_t> &value : map) {
        if (value.size() == 1 && names.contains(value.first())) {
            value.first() = names.value(value.first());
            *changed = true;
        }
    }
    QByteArray pairs;
    int inBlock = 0;
    QByteArray block;
    auto flush = [&] {
        if (inBlock > 0)
            pairs += QByteArray::number(inBlock) + " beginbfchar\n" + block + "endbfchar\n";
        block.clear();
        inBlock = 0;
    };
    for (auto it = map.cbegin(); it != map.cend(); ++it) {
        QByteArray value;
        for (const char16_t unit : it.value())
            value += hex(unit);
        block += '<' + hex(char16_t(it.key())) + "> <" + value + ">\n";
        if (++inBlock == 100)
            flush();
    }
    flush();
    return cmap.left(body) + pairs + cmap.mid(to);
}

}

QByteArray rename(const QByteArray &pdf, const QHash<char16_t, char16_t> &names)
{
    if (names.isEmpty())
        return pdf;
    // The cross-reference table Qt writes: one entry of 20 bytes for every object.
    static const QRegularExpression tail(QStringLiteral("startxref\\s+(\\d+)\\s+%%EOF\\s*$"));
    const QRegularExpressionMatch end = tail.match(QString::fromLatin1(pdf.right(64)));
    if (!end.hasMatch())
        return pdf;
    const qsizetype xref = end.captured(1).toLongLong();
    static const QRegularExpression head(QStringLiteral("^xref\\n0 (\\d+)\\n"));
    const QRegularExpressionMatch table = head.match(QString::fromLatin1(pdf.mid(xref, 32)));
    if (!table.hasMatch())
        return pdf;
    const int size = table.captured(1).toInt();
    const qsizetype entries = xref + table.capturedLength(0);
    const qsizetype trailer = entries + qsizetype(size) * 20;
    if (size < 1 || trailer > pdf.size() || !pdf.mid(trailer).startsWith("trailer"))
        return pdf;
    QList<Object> objects;
    for (int n = 1; n < size; ++n) {
        const QByteArray entry = pdf.mid(entries + qsizetype(n) * 20, 20);
        if (entry.at(17) == 'n')
            objects.append({ n, entry.left(10).toLongLong(), 0 });
    }
    std::sort(objects.begin(), objects.end(), [](const Object &a, const Object &b) { return a.start < b.start; });
    for (int i = 0; i < objects.size(); ++i)
        objects[i].end = i + 1 < objects.size() ? objects.at(i + 1).start : xref;
    if (objects.isEmpty() || objects.first().start <= 0 || objects.first().start > xref)
        return pdf;

    QByteArray out = pdf.left(objects.first().start);
    QHash<int, qsizetype> offsets;
    bool changedAny = false;
    for (const Object &o : std::as_const(objects)) {
        const QByteArray bytes = pdf.mid(o.start, o.end - o.start);
        offsets.insert(o.number, out.size());
        const qsizetype stream = bytes.indexOf(">>\nstream\n");
        if (bytes.contains("/CMapName /Adobe-Identity-UCS") && stream > 0 && !bytes.left(stream).contains("/Filter")) {
            const qsizetype begin = stream + 10;
            const qsizetype finish = bytes.indexOf("endstream", begin);
            bool changed = false;
            const QByteArray cmap = finish > begin ? rewriteMap(bytes.mid(begin, finish - begin), names, &changed) : QByteArray();
            if (!cmap.isEmpty() && changed) {
                out += QByteArray::number(o.number) + " 0 obj\n<< /Length " + QByteArray::number(cmap.size())
                    + " >>\nstream\n" + cmap + "endstream\nendobj\n";
                changedAny = true;
                continue;
            }
        }
        out += bytes;
    }
    if (!changedAny)
        return pdf;
    const qsizetype newXref = out.size();
    out += "xref\n0 " + QByteArray::number(size) + "\n";
    for (int n = 0; n < size; ++n) {
        if (offsets.contains(n))
            out += QByteArray::number(offsets.value(n)).rightJustified(10, '0') + " 00000 n \n";
        else
            out += pdf.mid(entries + qsizetype(n) * 20, 20);
    }
    const qsizetype startxref = pdf.lastIndexOf("startxref");
    out += pdf.mid(trailer, startxref - trailer);
    out += "startxref\n" + QByteArray::number(newXref) + "\n%%EOF\n";
    return out;
}

QByteArray mend(const QByteArray &pdf, const QList<QFont> &fonts, const QString &text)
{
    return rename(pdf, misnamed(fonts, text));
}

}
