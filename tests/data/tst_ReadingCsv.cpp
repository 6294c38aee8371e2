// The CSV reading parser: worked lines, and generated files of random bytes, valid lines and
// broken lines, each line parsed consistently or refused with its reason.
#include "ReadingCsv.h"
#include "UCommon.h"

#include <QRegularExpression>
#include <QtTest>

#include <random>

namespace {

// A fixed start value: every run draws the same inputs, so a failure can be repeated.
constexpr std::uint32_t generatorStart = 20051108;

// Writes a field as a CSV writer would: in double quotes, doubled inside, whenever it holds a
// comma, a quote or blanks at its ends, or begins with what would read as a byte order mark;
// otherwise as it stands or, now and then, quoted anyway.
QString csvField(const QString &text, bool quoteAnyway)
{
    const bool needsQuotes = text.contains(u',') || text.contains(u'"') || TrimBlanks(text) != text
        || text.startsWith(QChar(0xFEFF));
    if (!needsQuotes && !quoteAnyway)
        return text;
    QString doubled = text;
    doubled.replace(u'"', QStringLiteral("\"\""));
    return u'"' + doubled + u'"';
}

QString csvLine(const ReadingCsv::Line &line)
{
    return csvField(line.meterNo, false) + u',' + line.date.toString(Qt::ISODate) + u','
        + QString::number(line.counter);
}

// Every reason the parser may give for a line.
bool knownReason(const QString &error)
{
    static const QRegularExpression reasons(QStringLiteral(
        "^line [1-9][0-9]*: (not UTF-8 text|unbalanced double quote|no meter number"
        "|[0-9]+ fields where 3 are expected: meter number,YYYY-MM-DD,counter value"
        "|reading date \".*\" is not a date written YYYY-MM-DD"
        "|counter value \".*\" is not a whole number from -2147483648 to 2147483647)$"),
        QRegularExpression::DotMatchesEverythingOption);
    return reasons.match(error).hasMatch();
}

int lineNumberOf(const QString &error)
{
    return error.section(u' ', 1, 1).chopped(1).toInt();
}

class Generator
{
public:
    explicit Generator(std::uint32_t start) : m_engine(start) {}

    int upTo(int n) { return std::uniform_int_distribution<int>(0, n)(m_engine); }
    bool chance(int percent) { return upTo(99) < percent; }
    template<typename T>
    T pick(std::initializer_list<T> items) { return items.begin()[upTo(int(items.size()) - 1)]; }

    // Bytes with the parser's special characters, UTF-8 sequences whole and broken, and digits
    // drawn far more often than chance would.
    QByteArray bytes(int maxLength)
    {
        static const QByteArray pieces[] = { ",", "\"", "\"\"", "\r", "\n", "\r\n", " ", "\t", "-", "2005-03-08",
                                             "\xEF\xBB\xBF", "\xE6\xB0\xB4", "\xE6\xB0", "\xFF", "'", ";",
                                             "0", "9", "2147483648", "99999999999999999999", "M1" };
        QByteArray out;
        const int length = upTo(maxLength);
        while (out.size() < length) {
            if (chance(40))
                out += pieces[upTo(int(std::size(pieces)) - 1)];
            else
                out += char(upTo(255));
        }
        return out;
    }

    // Lines of a reading file, some intact, most with a few bytes changed, inserted or removed.
    QByteArray mutatedLines()
    {
        QByteArray out;
        const int lines = 1 + upTo(6);
        for (int i = 0; i < lines; ++i) {
            QByteArray line = (csvField(meterNumber(), chance(30)) + u',' + date().toString(Qt::ISODate) + u','
                               + QString::number(counter()))
                                  .toUtf8();
            const int changes = chance(25) ? 0 : 1 + upTo(3);
            for (int c = 0; c < changes && !line.isEmpty(); ++c) {
                const int at = upTo(int(line.size()) - 1);
                switch (upTo(2)) {
                case 0:
                    line[at] = char(upTo(255));
                    break;
                case 1:
                    line.insert(at, bytes(4));
                    break;
                default:
                    line.remove(at, 1 + upTo(3));
                    break;
                }
            }
            out += line + (chance(50) ? "\r\n" : "\n");
        }
        return out;
    }

    // A meter number with no blanks at its ends; quotes, commas and SQL fragments inside.
    QString meterNumber()
    {
        static const QString pieces[] = { "M", "1", "'", "\"", ",", ";", " ", "--", "水表", "O'B", "DROP TABLE",
                                          "%", "_", "\\", "\t", "é" };
        QString out;
        const int parts = 1 + upTo(5);
        for (int i = 0; i < parts; ++i)
            out += pieces[upTo(int(std::size(pieces)) - 1)];
        out = TrimBlanks(out);
        return out.isEmpty() ? QStringLiteral("X") : out;
    }

    QDate date()
    {
        return QDate(1900, 1, 1).addDays(upTo(200 * 366));
    }

    qint32 counter()
    {
        switch (upTo(3)) {
        case 0:
            return pick({ std::numeric_limits<qint32>::min(), std::numeric_limits<qint32>::max(), 0, -1, 1 });
        case 1:
            return upTo(100000);
        default:
            return qint32(m_engine());
        }
    }

    // Blanks a writer or a spreadsheet might leave around a field.
    QString padding() { return chance(70) ? QString() : pick<QString>({ " ", "  ", "\t", " \t " }); }

private:
    std::mt19937 m_engine;
};

}

class TstReadingCsv : public QObject
{
    Q_OBJECT
private slots:
    void splitFields_data();
    void splitFields();
    void parseFile();
    void counterValue_data();
    void counterValue();
    void readingDate_data();
    void readingDate();
    void randomBytes();
    void randomValidFiles();
    void randomBrokenLines();
};

void TstReadingCsv::splitFields_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QStringList>("fields");
    QTest::newRow("plain") << "M1,2005-03-08,1005" << true << QStringList{ "M1", "2005-03-08", "1005" };
    QTest::newRow("blanks trimmed") << " M1 ,\t2005-03-08 , 1005\t" << true << QStringList{ "M1", "2005-03-08", "1005" };
    QTest::newRow("quoted comma and quote") << "\"O\"\"B,1\",x" << true << QStringList{ "O\"B,1", "x" };
    QTest::newRow("blanks before and after quotes") << "  \"a b\"  ,c" << true << QStringList{ "a b", "c" };
    QTest::newRow("quote inside a plain field is text") << "a\"b,c" << true << QStringList{ "a\"b", "c" };
    QTest::newRow("empty fields") << ",," << true << QStringList{ "", "", "" };
    QTest::newRow("empty quoted field") << "\"\",x" << true << QStringList{ "", "x" };
    QTest::newRow("quote left open") << "\"M1,2005-03-08,5" << false << QStringList{};
    QTest::newRow("text after the closing quote") << "\"M1\"x,2005-03-08,5" << false << QStringList{};
    QTest::newRow("quote closed by the last character") << "a,\"b\"" << true << QStringList{ "a", "b" };
    QTest::newRow("one lone quote") << "\"" << false << QStringList{};
}

void TstReadingCsv::splitFields()
{
    QFETCH(QString, line);
    QFETCH(bool, ok);
    QFETCH(QStringList, fields);
    const std::optional<QStringList> split = ReadingCsv::splitFields(line);
    QCOMPARE(split.has_value(), ok);
    if (ok)
        QCOMPARE(*split, fields);
}

void TstReadingCsv::parseFile()
{
    // Byte order marks (a file joined from two exports), column names, CRLF, blank lines, and bad
    // lines keep their own numbers.
    const ReadingCsv::Parsed parsed = ReadingCsv::parse("\xEF\xBB\xBF表编号,抄表时间,当前表数\r\n"
                                                        "M1,2005-03-25,1040\r\n"
                                                        "\r\n"
                                                        "  \t\n"
                                                        "\"O'B,1\" , 2005-03-08 , -7\r\n"
                                                        "M1,2005-02-29,1\n"
                                                        "M1,2005-03-01\n"
                                                        ",2005-03-01,1\n"
                                                        "M\xff,2005-03-01,1\n"
                                                        "\xEF\xBB\xBF水表,2004-02-29,2147483647");
    QCOMPARE(parsed.errors, QStringList({ "line 6: reading date \"2005-02-29\" is not a date written YYYY-MM-DD",
                                          "line 7: 2 fields where 3 are expected: meter number,YYYY-MM-DD,counter value",
                                          "line 8: no meter number",
                                          "line 9: not UTF-8 text" }));
    QCOMPARE(parsed.lines.size(), 3);
    const struct { int number; const char *meter, *date; qint32 counter; } expected[] = {
        { 2, "M1", "2005-03-25", 1040 },
        { 5, "O'B,1", "2005-03-08", -7 },
        { 10, "水表", "2004-02-29", 2147483647 },
    };
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(parsed.lines.at(i).number, expected[i].number);
        QCOMPARE(parsed.lines.at(i).meterNo, QString::fromUtf8(expected[i].meter));
        QCOMPARE(parsed.lines.at(i).date, QDate::fromString(QString::fromLatin1(expected[i].date), Qt::ISODate));
        QCOMPARE(parsed.lines.at(i).counter, expected[i].counter);
    }

    // A first line with a number in the counter's place is a reading, and may be a bad one.
    QCOMPARE(ReadingCsv::parse("M1,2005-13-01,5\n").errors,
             QStringList{ "line 1: reading date \"2005-13-01\" is not a date written YYYY-MM-DD" });
    // Only the first line can name the columns.
    QCOMPARE(ReadingCsv::parse("M1,2005-03-01,5\nmeter,date,counter\n").errors,
             QStringList{ "line 2: reading date \"date\" is not a date written YYYY-MM-DD" });
}

void TstReadingCsv::counterValue_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<qint32>("value");
    QTest::newRow("largest") << "2147483647" << true << std::numeric_limits<qint32>::max();
    QTest::newRow("smallest") << "-2147483648" << true << std::numeric_limits<qint32>::min();
    QTest::newRow("leading zeros") << "0000000000007" << true << 7;
    QTest::newRow("minus zero") << "-0" << true << 0;
    QTest::newRow("one beyond 32 bits") << "2147483648" << false << 0;
    QTest::newRow("one below 32 bits") << "-2147483649" << false << 0;
    QTest::newRow("beyond 64 bits") << "18446744073709551617" << false << 0;
    QTest::newRow("wraps to a small value in 64 bits") << "18446744073709551621" << false << 0;
    QTest::newRow("plus sign") << "+1" << false << 0;
    QTest::newRow("blank inside") << "1 000" << false << 0;
    QTest::newRow("exponent") << "1e3" << false << 0;
    QTest::newRow("hexadecimal") << "0x10" << false << 0;
    QTest::newRow("full-width digits") << "１２" << false << 0;
    QTest::newRow("Arabic-Indic digits") << "١٢" << false << 0;
    QTest::newRow("empty") << "" << false << 0;
    QTest::newRow("minus alone") << "-" << false << 0;
}

void TstReadingCsv::counterValue()
{
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(qint32, value);
    const std::optional<qint32> parsed = ReadingCsv::parseCounterValue(text);
    QCOMPARE(parsed.has_value(), ok);
    if (ok)
        QCOMPARE(*parsed, value);
}

void TstReadingCsv::readingDate_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::newRow("picker's first day") << "2000-01-01" << true;
    QTest::newRow("picker's last day") << "2050-12-31" << true;
    QTest::newRow("29 February, leap year") << "2024-02-29" << true;
    QTest::newRow("29 February, century leap year") << "2000-02-29" << true;
    QTest::newRow("29 February, common year") << "2023-02-29" << false;
    QTest::newRow("29 February, century common year") << "2100-02-29" << false;
    QTest::newRow("month 13") << "2005-13-01" << false;
    QTest::newRow("day 0") << "2005-03-00" << false;
    QTest::newRow("one-digit month") << "2005-3-08" << false;
    QTest::newRow("slashes") << "2005/03/08" << false;
    QTest::newRow("time appended") << "2005-03-08T00:00" << false;
    QTest::newRow("five-digit year") << "12005-03-08" << false;
    QTest::newRow("full-width digits") << "２００５-03-08" << false;
}

void TstReadingCsv::readingDate()
{
    QFETCH(QString, text);
    QFETCH(bool, ok);
    const std::optional<QDate> date = ReadingCsv::parseReadingDate(text);
    QCOMPARE(date.has_value(), ok);
    if (ok)
        QCOMPARE(date->toString(Qt::ISODate), text);
}

// Random bytes: nothing crashes, every line that is not blank or the column names is either a
// reading or an error with a known reason, and a reading written out again reads the same.
void TstReadingCsv::randomBytes()
{
    Generator g(generatorStart);
    int inputs = 0;
    int readings = 0;
    int refusals = 0;
    for (; inputs < 200000; ++inputs) {
        const QByteArray content = inputs % 2 == 0 ? g.mutatedLines() : g.bytes(inputs % 10 == 1 ? 400 : 60);
        const ReadingCsv::Parsed parsed = ReadingCsv::parse(content);
        const int lineCount = int(content.count('\n')) + 1;
        int previous = 0;
        for (const QString &error : parsed.errors) {
            QVERIFY2(knownReason(error), qPrintable(error));
            const int number = lineNumberOf(error);
            QVERIFY(number > previous && number <= lineCount);
            previous = number;
        }
        QSet<int> refused;
        for (const QString &error : parsed.errors)
            refused.insert(lineNumberOf(error));
        previous = 0;
        for (const ReadingCsv::Line &line : parsed.lines) {
            QVERIFY(line.number > previous && line.number <= lineCount);
            QVERIFY(!refused.contains(line.number));
            previous = line.number;
            QVERIFY(!line.meterNo.isEmpty());
            QCOMPARE(TrimBlanks(line.meterNo), line.meterNo);
            QVERIFY(line.date.isValid());
            const ReadingCsv::Parsed again = ReadingCsv::parse(csvLine(line).toUtf8());
            QVERIFY2(again.errors.isEmpty(), qPrintable(again.errors.value(0)));
            QCOMPARE(again.lines.size(), 1);
            QCOMPARE(again.lines.first().meterNo, line.meterNo);
            QCOMPARE(again.lines.first().date, line.date);
            QCOMPARE(again.lines.first().counter, line.counter);
        }
        readings += int(parsed.lines.size());
        refusals += int(parsed.errors.size());
    }
    qInfo("%d random inputs: %d readings parsed, %d lines refused", inputs, readings, refusals);
    QVERIFY(readings > 0 && refusals > 0);
}

// Files of valid readings, written in the ways a spreadsheet or a person might, read back
// exactly: the same readings in the same order with their line numbers.
void TstReadingCsv::randomValidFiles()
{
    Generator g(generatorStart + 1);
    int files = 0;
    int lines = 0;
    for (; files < 20000; ++files) {
        QByteArray content = g.chance(30) ? QByteArray("\xEF\xBB\xBF") : QByteArray();
        const QByteArray end = g.chance(50) ? "\r\n" : "\n";
        int number = 0;
        if (g.chance(30)) {
            content += "表编号,抄表时间,当前表数" + end;
            ++number;
        }
        QList<ReadingCsv::Line> written;
        const int count = 1 + g.upTo(12);
        for (int i = 0; i < count; ++i) {
            if (g.chance(10)) {
                content += (g.chance(50) ? QByteArray(" \t") : QByteArray()) + end;
                ++number;
            }
            const ReadingCsv::Line line{ ++number, g.meterNumber(), g.date(), g.counter() };
            written << line;
            const bool quote = g.chance(30);
            content += (g.padding() + csvField(line.meterNo, quote) + g.padding() + u',' + g.padding()
                        + line.date.toString(Qt::ISODate) + g.padding() + u',' + g.padding()
                        + QString::number(line.counter) + g.padding())
                           .toUtf8();
            if (i + 1 < count || g.chance(50))
                content += end;
        }
        const ReadingCsv::Parsed parsed = ReadingCsv::parse(content);
        QVERIFY2(parsed.errors.isEmpty(), qPrintable(parsed.errors.value(0) + u'\n' + QString::fromUtf8(content)));
        QCOMPARE(parsed.lines.size(), written.size());
        for (int i = 0; i < written.size(); ++i) {
            QCOMPARE(parsed.lines.at(i).number, written.at(i).number);
            QCOMPARE(parsed.lines.at(i).meterNo, written.at(i).meterNo);
            QCOMPARE(parsed.lines.at(i).date, written.at(i).date);
            QCOMPARE(parsed.lines.at(i).counter, written.at(i).counter);
        }
        lines += int(written.size());
    }
    qInfo("%d random valid files, %d readings read back", files, lines);
}

// A valid line broken in one place is refused with the reason of that place; the valid line
// before it is still read, and nothing of the broken one is.
void TstReadingCsv::randomBrokenLines()
{
    Generator g(generatorStart + 2);
    const QString dateReason = QStringLiteral("line 2: reading date \"%1\" is not a date written YYYY-MM-DD");
    const QString counterReason =
        QStringLiteral("line 2: counter value \"%1\" is not a whole number from -2147483648 to 2147483647");
    int inputs = 0;
    for (; inputs < 100000; ++inputs) {
        const ReadingCsv::Line good{ 1, g.meterNumber(), g.date(), g.counter() };
        QString meter = csvField(g.meterNumber(), true);
        QString date = g.date().toString(Qt::ISODate);
        QString counter = QString::number(g.counter());
        QString extra;
        QString reason;
        switch (g.upTo(6)) {
        case 0: {
            const qint64 beyond = g.chance(50) ? qint64(std::numeric_limits<qint32>::max()) + 1 + g.upTo(1000000)
                                               : qint64(std::numeric_limits<qint32>::min()) - 1 - g.upTo(1000000);
            counter = g.chance(20) ? QStringLiteral("9223372036854775808") + QString::number(g.upTo(9))
                                   : QString::number(beyond);
            reason = counterReason.arg(counter);
            break;
        }
        case 1:
            counter = g.pick<QString>({ "1.5", "12a", "+3", "1,0", "１", "0x1F", "--1", "' OR 1=1 --", "" });
            if (counter.contains(u','))
                reason = QStringLiteral("line 2: 4 fields where 3 are expected: meter number,YYYY-MM-DD,counter value");
            else
                reason = counterReason.arg(counter);
            break;
        case 2:
            date = g.pick<QString>({ "2023-02-29", "2005-13-01", "2005-04-31", "2005-3-8", "05-03-08", "20050308",
                                     "2005-03-08 10:00", "'; DROP TABLE TakeMeter; --", "" });
            reason = dateReason.arg(date);
            break;
        case 3:
            extra = g.chance(50) ? QStringLiteral(",") : QStringLiteral(",;");
            reason = QStringLiteral("line 2: 4 fields where 3 are expected: meter number,YYYY-MM-DD,counter value");
            break;
        case 4:
            meter.chop(1);   // the closing quote
            reason = QStringLiteral("line 2: unbalanced double quote");
            break;
        case 5:
            meter += g.pick<QString>({ "x", "\"", "'" });
            reason = QStringLiteral("line 2: unbalanced double quote");
            break;
        default:
            meter = g.pick<QString>({ "", " ", "\"\"", "\" \"" });
            reason = QStringLiteral("line 2: no meter number");
            break;
        }
        const QString broken = meter + u',' + date + u',' + counter + extra;
        const ReadingCsv::Parsed parsed = ReadingCsv::parse((csvLine(good) + u'\n' + broken).toUtf8());
        QVERIFY2(parsed.errors == QStringList{ reason }, qPrintable(broken + u'\n' + parsed.errors.join(u'\n')));
        QCOMPARE(parsed.lines.size(), 1);
        QCOMPARE(parsed.lines.first().meterNo, good.meterNo);
    }
    qInfo("%d broken lines refused with their reasons", inputs);
}

QTEST_GUILESS_MAIN(TstReadingCsv)
#include "tst_ReadingCsv.moc"
