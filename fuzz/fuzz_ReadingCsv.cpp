// libFuzzer target: any bytes as a reading file. Each reading, written out again, reads the same;
// every refusal carries a line number within the file.
#include "ReadingCsv.h"
#include "UCommon.h"

#include <cstddef>
#include <cstdint>

namespace {

QString quoted(const QString &text)
{
    QString doubled = text;
    doubled.replace(u'"', QStringLiteral("\"\""));
    return u'"' + doubled + u'"';
}

}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray content(reinterpret_cast<const char *>(data), qsizetype(size));
    const ReadingCsv::Parsed parsed = ReadingCsv::parse(content);
    const int lines = int(content.count('\n')) + 1;
    for (const QString &error : parsed.errors) {
        const int number = error.section(u' ', 1, 1).chopped(1).toInt();
        if (!error.startsWith(QStringLiteral("line ")) || number < 1 || number > lines)
            __builtin_trap();
    }
    for (const ReadingCsv::Line &line : parsed.lines) {
        if (line.meterNo.isEmpty() || TrimBlanks(line.meterNo) != line.meterNo || !line.date.isValid())
            __builtin_trap();
        const QString again = quoted(line.meterNo) + u',' + line.date.toString(Qt::ISODate) + u','
            + QString::number(line.counter);
        const ReadingCsv::Parsed reread = ReadingCsv::parse(again.toUtf8());
        if (!reread.errors.isEmpty() || reread.lines.size() != 1 || reread.lines.first().meterNo != line.meterNo
            || reread.lines.first().date != line.date || reread.lines.first().counter != line.counter)
            __builtin_trap();
    }
    return 0;
}
