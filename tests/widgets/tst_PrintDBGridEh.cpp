#include "NumberedReport.h"
#include "PrintDBGridEh.h"
#include "PrintPreview.h"
#include "ReportModel.h"
#include "TestDatabase.h"

#include <QBuffer>
#include <QPdfWriter>
#include <QPrinter>
#include <QPrintPreviewWidget>
#include <QProcess>
#include <QRegularExpression>
#include <QtTest>
#include <memory>

class TstPrintDBGridEh : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void pagesAsLaidOut_data();
    void pagesAsLaidOut();
    void wideGridSplitsByColumns();
    void previewPagesAndStatus();
    void printedToFileNamesCharactersAsPrinted();
    void nothingToPrintWithoutReport();
    void narrowPageKeepsFiguresOnPage();

private:
    static int pdfPages(const QByteArray &pdf);

    std::unique_ptr<TestDatabase> m_db;
    std::unique_ptr<ReportModel> m_model;
    std::unique_ptr<TPrintDBGridEh> m_printer;
};

void TstPrintDBGridEh::init()
{
    m_db = std::make_unique<TestDatabase>();
    m_model = std::make_unique<ReportModel>();
    m_printer = std::make_unique<TPrintDBGridEh>();
    m_printer->setPageHeaderCenterText({ QStringLiteral("汇总报表") });
    m_printer->setBeforeGridText({ QStringLiteral("报表时间：自 2024-07-01 至 2024-07-31") });
}

void TstPrintDBGridEh::cleanup()
{
    m_printer.reset();
    m_model.reset();
    m_db.reset();
}

int TstPrintDBGridEh::pdfPages(const QByteArray &pdf)
{
    static const QRegularExpression page(QStringLiteral("/Type\\s*/Page[^s]"));
    int pages = 0;
    for (auto it = page.globalMatch(QString::fromLatin1(pdf)); it.hasNext(); it.next())
        ++pages;
    return pages;
}

void TstPrintDBGridEh::pagesAsLaidOut_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("pageWidth");   // millimetres; A4 is 210
    QTest::addColumn<int>("bands");
    QTest::newRow("no rows: titles and footer") << 0 << 210 << 1;
    QTest::newRow("one page") << 10 << 210 << 1;
    QTest::newRow("many pages") << 300 << 210 << 1;
    QTest::newRow("wide and long") << 150 << 50 << 4;
}

void TstPrintDBGridEh::pagesAsLaidOut()
{
    QFETCH(int, rows);
    QFETCH(int, pageWidth);
    QFETCH(int, bands);
    m_model->setColumns(NumberedReport::columns(80));
    NumberedReport::open(*m_model, rows);
    m_printer->setGrid(m_model.get());

    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&buffer);
        writer.setPageSize(QPageSize(QSizeF(pageWidth, 297), QPageSize::Millimeter));
        m_printer->setupDevice(&writer);
        QCOMPARE(m_printer->columnBands(&writer).size(), bands);
        const int expected = m_printer->pageCount(&writer);
        QVERIFY(expected >= bands);
        if (rows > 200)
            QVERIFY(expected > 3);
        m_printer->print(&writer);
        buffer.setProperty("expected", expected);
    }
    QVERIFY(buffer.data().startsWith("%PDF"));
    QCOMPARE(pdfPages(buffer.data()), buffer.property("expected").toInt());
}

void TstPrintDBGridEh::wideGridSplitsByColumns()
{
    m_model->setColumns(NumberedReport::columns());
    NumberedReport::open(*m_model, 20);
    m_printer->setGrid(m_model.get());
    // A page far narrower than the grid.
    QPdfWriter writer(QDir::temp().filePath(QStringLiteral("unused.pdf")));
    writer.setPageSize(QPageSize(QSizeF(50, 297), QPageSize::Millimeter));
    m_printer->setupDevice(&writer);
    const QList<QList<int>> bands = m_printer->columnBands(&writer);
    QVERIFY(bands.size() > 1);
    QList<int> others;
    for (const QList<int> &band : bands) {
        QCOMPARE(band.mid(0, 2), (QList<int>{ 0, 1 }));   // the frozen columns begin every page
        QVERIFY(band.size() > 2);
        others << band.mid(2);
    }
    QCOMPARE(others, (QList<int>{ 2, 3, 4, 5 }));
    QCOMPARE(m_printer->pageCount(&writer), int(bands.size()));

    writer.setPageOrientation(QPageLayout::Landscape);
    QVERIFY(m_printer->columnBands(&writer).size() < bands.size());
}

void TstPrintDBGridEh::previewPagesAndStatus()
{
    m_model->setColumns(NumberedReport::columns(80));
    NumberedReport::open(*m_model, 200);
    m_printer->setGrid(m_model.get());
    QWidget owner;
    TPrintPreview *preview = ShowPrintPreview(*m_printer, &owner);
    QVERIFY(preview);
    QCOMPARE(preview->windowTitle(), QStringLiteral("打印预览 - 报表信息"));
    QCOMPARE(preview->printer()->docName(), QStringLiteral("报表信息"));
    QCOMPARE(preview->printer()->pageLayout().margins(QPageLayout::Millimeter), QMarginsF(2, 2, 2, 2));
    const int pages = m_printer->pageCount(preview->printer());
    QVERIFY(pages > 2);
    QCOMPARE(preview->pageCount(), pages);
    QCOMPARE(preview->statusText(), QStringLiteral("第 1 页(共 %1 页)").arg(pages));
    preview->setCurrentPage(2);
    QCOMPARE(preview->statusText(), QStringLiteral("第 2 页(共 %1 页)").arg(pages));
    preview->findChild<QAction *>(QStringLiteral("actLast"))->trigger();
    QCOMPARE(preview->statusText(), QStringLiteral("第 %1 页(共 %1 页)").arg(pages));
    preview->findChild<QAction *>(QStringLiteral("actPrior"))->trigger();
    QCOMPARE(preview->currentPage(), pages - 1);
    // Changing the printer afterwards leaves the open preview alone.
    m_printer->setGrid(nullptr);
    preview->previewWidget()->updatePreview();
    QCOMPARE(preview->pageCount(), pages);
}

// Printed to a PDF file from the preview, the text reads as printed: 自, not the radical ⾃ that
// shares its glyph; every code and figure whole.
void TstPrintDBGridEh::printedToFileNamesCharactersAsPrinted()
{
    m_model->setColumns(NumberedReport::columns(80));
    NumberedReport::open(*m_model, 30);
    m_printer->setGrid(m_model.get());
    QWidget owner;
    TPrintPreview *preview = ShowPrintPreview(*m_printer, &owner);
    QVERIFY(preview);
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("printed.pdf"));
    preview->printer()->setOutputFormat(QPrinter::PdfFormat);
    preview->printer()->setOutputFileName(file);
    preview->print();
    QProcess pdftotext;
    pdftotext.start(QStringLiteral("pdftotext"), { QStringLiteral("-layout"), file, QStringLiteral("-") });
    QVERIFY2(pdftotext.waitForFinished(30000) && pdftotext.exitCode() == 0, "pdftotext (poppler-utils) is needed");
    const QString text = QString::fromUtf8(pdftotext.readAllStandardOutput());
    QVERIFY2(text.contains(QStringLiteral("报表时间：自 2024-07-01 至 2024-07-31")), qPrintable(text.left(200)));
    // 574.05: the footer adds up the thirty amounts as printed (574.0425 exactly).
    for (const char *word : { "C0001", "C0030", "row 30", "37.04", "574.05", "2.5000", "75.0000" })
        QVERIFY2(text.contains(QString::fromLatin1(word)), word);
    QVERIFY(!text.contains(u'…'));
}

void TstPrintDBGridEh::nothingToPrintWithoutReport()
{
    m_model->setColumns(NumberedReport::columns(80));
    m_printer->setGrid(m_model.get());
    QWidget owner;
    QVERIFY(!ShowPrintPreview(*m_printer, &owner));
    QVERIFY(!owner.findChild<TPrintPreview *>());
}

// On a narrow page every band of columns still fits the page: a figure of eleven digits is
// printed whole beside the frozen columns, not across the page's edge.
void TstPrintDBGridEh::narrowPageKeepsFiguresOnPage()
{
    m_model->setColumns(NumberedReport::columns(80));
    m_model->open(QStringLiteral("SELECT '综合服务车间' AS F_Name, 'D401' AS F_Code, 82974390 AS F_Value, "
                                 "119290000000075 AS F_Total, 82974390125000 AS F_Part, 25000 AS F_Price"),
                  {}, Database::mainConnectionName());
    m_printer->setGrid(m_model.get());
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter writer(&buffer);
    writer.setPageSize(QPageSize(QSizeF(50, 297), QPageSize::Millimeter));   // as in wideGridSplitsByColumns
    m_printer->setupDevice(&writer);
    const QList<double> widths = m_printer->columnWidths(&writer);
    for (const QList<int> &band : m_printer->columnBands(&writer)) {
        double width = 0;
        for (int column : band)
            width += widths.at(column);
        QVERIFY2(width <= writer.width(), qPrintable(QStringLiteral("band ending with column %1: %2 > %3")
                                                         .arg(band.last()).arg(width).arg(writer.width())));
    }
}

QTEST_MAIN(TstPrintDBGridEh)
#include "tst_PrintDBGridEh.moc"
