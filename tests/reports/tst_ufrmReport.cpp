#include "BadInput.h"
#include "Database.h"
#include "MessageRecorder.h"
#include "PrintDBGridEh.h"
#include "PrintPreview.h"
#include "ReportFixture.h"
#include "ReportGrid.h"
#include "ReportModel.h"
#include "SaveFileDialog.h"
#include "TestDatabase.h"
#include "ufrmReport.h"

#include <QBuffer>
#include <QCalendarWidget>
#include <QComboBox>
#include <QDateEdit>
#include <QPdfWriter>
#include <QPushButton>
#include <QTabWidget>
#include <QtTest>
#include <memory>
#include <sys/stat.h>

class TstUfrmReport : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void opensOnThirdPage();
    void countWithoutWorkshop();
    void summariseSwitchesToFirstPage();
    void countUsesChosenWorkshopNotName();
    void endBeforeStartIsRefused();
    void keysOpenCalendar_data();
    void keysOpenCalendar();
    void previewAndExportNeedReport_data();
    void previewAndExportNeedReport();
    void previewUsesPageAndReportPeriod();
    void exportWritesChosenFormat_data();
    void exportWritesChosenFormat();
    void exportAsksBeforeOverwriting_data();
    void exportAsksBeforeOverwriting();
    void exportFailureIsReported();
    void exportNeverOverwritesDatabase_data();
    void exportNeverOverwritesDatabase();
    void exportIntoPipeWithoutReaderFails();
    void exportAndPreviewTakeTheGridsRows();
    void previewPagesIndependentOfWindowWidth();
    void statementFailure();
    void returnClosesWindow();
    void badInput_data();
    void badInput();
    void dateMessageShownOnce_data();
    void dateMessageShownOnce();

private:
    template <typename T>
    T *child(const char *name) const
    {
        return m_window->findChild<T *>(QString::fromLatin1(name));
    }
    void click(const char *button) { QTest::mouseClick(child<QPushButton>(button), Qt::LeftButton); }
    void setPeriod(QDate start, QDate end);
    ReportModel *query(const char *name) const { return child<ReportModel>(name); }
    void answerSaveDialog(const QString &path, const QString &filter);

    std::unique_ptr<TestDatabase> m_db;
    std::unique_ptr<MessageRecorder> m_boxes;
    ReportFixture::Ids m_ids;
    QPointer<TfrmReport> m_window;
    QList<SaveFileRequest> m_dialogs;
    std::unique_ptr<QTemporaryDir> m_dir;
};

namespace {

const QString TextFilter = QStringLiteral("文本文件(Text File) (*.txt)");
const QString CsvFilter = QStringLiteral("CSV文件(CSV File) (*.csv)");
const QString PdfFilter = QStringLiteral("PDF文件(PDF File) (*.pdf)");

}

void TstUfrmReport::initTestCase()
{
    QCoreApplication::setApplicationName(QStringLiteral("Kelvara"));
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));   // short dates 2024/7/1
}

void TstUfrmReport::init()
{
    m_db = std::make_unique<TestDatabase>();
    m_ids = ReportFixture::fill(*m_db);
    m_boxes = std::make_unique<MessageRecorder>();
    m_dir = std::make_unique<QTemporaryDir>();
    m_dialogs.clear();
    SetSaveFileHandler([this](const SaveFileRequest &r) {
        m_dialogs << r;
        return SaveFileAnswer{};
    });
    m_window = new TfrmReport;
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));
}

void TstUfrmReport::cleanup()
{
    delete m_window;
    SetSaveFileHandler({});
    m_boxes.reset();
    m_db.reset();
}

void TstUfrmReport::setPeriod(QDate start, QDate end)
{
    child<QDateEdit>("DateTimePicker1")->setDate(start);
    child<QDateEdit>("DateTimePicker2")->setDate(end);
}

void TstUfrmReport::answerSaveDialog(const QString &path, const QString &filter)
{
    SetSaveFileHandler([this, path, filter](const SaveFileRequest &r) {
        m_dialogs << r;
        return SaveFileAnswer{ path, filter };
    });
}

void TstUfrmReport::opensOnThirdPage()
{
    QCOMPARE(frmReport, m_window.data());
    QCOMPARE(m_window->windowTitle(), QStringLiteral("frmReport"));
    auto *pages = child<QTabWidget>("PageControl1");
    QCOMPARE(pages->currentWidget()->objectName(), QStringLiteral("TabSheet3"));
    QCOMPARE((QStringList{ pages->tabText(0), pages->tabText(1), pages->tabText(2) }),
             (QStringList{ "汇总报表", "车间明细报表", "车间汇总表" }));
    auto *chooser = child<QComboBox>("ComboBox1");
    QCOMPARE(chooser->currentIndex(), -1);
    QCOMPARE(chooser->count(), 2);
    QCOMPARE(chooser->itemText(0), QStringLiteral("机加工车间"));
    QCOMPARE(chooser->itemData(0).toLongLong(), m_ids.machining);
    QCOMPARE(chooser->itemText(1), QStringLiteral("装配车间"));
    QCOMPARE(chooser->itemData(1).toLongLong(), m_ids.assembly);
    QCOMPARE(child<QDateEdit>("DateTimePicker1")->date(), QDate::currentDate());
    QCOMPARE(child<QDateEdit>("DateTimePicker2")->date(), QDate::currentDate());
    for (const char *name : { "ADOQuery1", "ADOQuery2", "ADOQuery3" })
        QVERIFY(!query(name)->isActive());
    for (const char *name : { "DBGDWorkshop", "DBGridEh1", "DBGridEh2" })
        QVERIFY(child<ReportGrid>(name));
    QVERIFY(m_boxes->boxes().isEmpty());
}

void TstUfrmReport::countWithoutWorkshop()
{
    child<QTabWidget>("PageControl1")->setCurrentIndex(1);
    click("BitBtn5");
    QCOMPARE(m_boxes->boxes().size(), 1);
    const MessageRecorder::Box &box = m_boxes->last();
    QCOMPARE(box.text, QStringLiteral("请先选择汇总车间名称！"));
    QCOMPARE(box.caption, QStringLiteral("提示"));
    QCOMPARE(box.icon, QMessageBox::Information);
    QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QVERIFY(!query("ADOQuery2")->isActive());
}

void TstUfrmReport::summariseSwitchesToFirstPage()
{
    setPeriod(QDate(2024, 7, 1), QDate(2024, 7, 31));
    child<QTabWidget>("PageControl1")->setCurrentIndex(1);
    m_boxes->onShow([this](const MessageRecorder::Box &) {
        // The page is switched before the notice is shown.
        QCOMPARE(child<QTabWidget>("PageControl1")->currentIndex(), 0);
    });
    // Tabbed to, the button is pressed with Enter.
    child<QPushButton>("BitBtn1")->setFocus();
    QTest::keyClick(child<QPushButton>("BitBtn1"), Qt::Key_Return);
    QCOMPARE(m_boxes->texts(), QStringList{ QStringLiteral("全部数据汇总完成！") });
    QCOMPARE(m_boxes->last().caption, QStringLiteral("提示"));
    QCOMPARE(m_boxes->last().icon, QMessageBox::Information);
    QCOMPARE(query("ADOQuery1")->totalRows(), qint64(3));
    QCOMPARE(query("ADOQuery3")->totalRows(), qint64(5));
    QCOMPARE(query("ADOQuery1")->footerText(4), QStringLiteral("3057.15"));
    QVERIFY(!query("ADOQuery2")->isActive());
    QCOMPARE(m_window->FStartDate, QDate(2024, 7, 1));
    QCOMPARE(m_window->FEndDate, QDate(2024, 7, 31));
    QCOMPARE(child<ReportGrid>("DBGDWorkshop")->model()->rowCount(), 3);
}

void TstUfrmReport::countUsesChosenWorkshopNotName()
{
    // A second workshop of the same name, known to the window when it was opened.
    delete m_window;
    const qint64 twin = m_db->addWorkshop(QStringLiteral("机加工车间"), 2, m_ids.production);
    MeterSpec m;
    m.number = QStringLiteral("Z9");
    m.sort = m_db->scalar(QStringLiteral("SELECT MeterSortID FROM MeterSort WHERE MeterSortName = '水表'"));
    m.price = m_db->scalar(QStringLiteral("SELECT PriceID FROM Price WHERE PriceName = '生产用水'"));
    m.workshop = twin;
    m.team = m_ids.turning;
    m.maxBound = 99999;
    m_db->addMeter(m);
    m_db->addReading(QStringLiteral("Z9"), QDate(2024, 7, 5), 9, 9, yuan("22.5"), yuan("0"));
    m_window = new TfrmReport;
    m_window->show();

    auto *chooser = child<QComboBox>("ComboBox1");
    QCOMPARE(chooser->count(), 3);
    QCOMPARE(chooser->itemText(2), QStringLiteral("机加工车间"));
    child<QTabWidget>("PageControl1")->setCurrentIndex(1);
    setPeriod(QDate(2024, 7, 1), QDate(2024, 7, 31));
    chooser->setCurrentIndex(2);
    click("BitBtn5");
    QCOMPARE(m_boxes->texts(), QStringList{ QStringLiteral("机加工车间 数据汇总完成！") });
    QCOMPARE(m_boxes->last().caption, QStringLiteral("提示"));
    QCOMPARE(ReportFixture::rows(*query("ADOQuery2")),
             (ReportFixture::Table{ { "车工班", "Z9", "水表", "9", "22.5000", "22.5000", "0.0000", "0.0000", "2.5000",
                                      "3.7500", "9", "0", "0", "1" } }));
    QCOMPARE(child<QTabWidget>("PageControl1")->currentIndex(), 1);
    QVERIFY(!query("ADOQuery1")->isActive());

    chooser->setCurrentIndex(0);
    click("BitBtn5");
    QCOMPARE(query("ADOQuery2")->totalRows(), qint64(2));
}

void TstUfrmReport::endBeforeStartIsRefused()
{
    auto *start = child<QDateEdit>("DateTimePicker1");
    auto *end = child<QDateEdit>("DateTimePicker2");
    setPeriod(QDate(2024, 7, 31), QDate(2024, 8, 1));
    QVERIFY(m_boxes->boxes().isEmpty());
    end->setDate(QDate(2024, 7, 1));
    QCOMPARE(m_boxes->boxes().size(), 1);
    const MessageRecorder::Box &box = m_boxes->last();
    QCOMPARE(box.text, QStringLiteral("终止日期不能小于超始日期，请重新设置！"));
    QCOMPARE(box.caption, QStringLiteral("Kelvara"));
    QCOMPARE(box.icon, QMessageBox::NoIcon);
    QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(end->date(), start->date());
    // The same day is a valid period.
    end->setDate(QDate(2024, 7, 31));
    QCOMPARE(m_boxes->boxes().size(), 1);

    // Typed dates are checked when the edit is left.
    end->setFocus();
    end->setDate(QDate(2024, 7, 2));
    QCOMPARE(m_boxes->boxes().size(), 1);
    emit end->editingFinished();
    QCOMPARE(m_boxes->boxes().size(), 2);
    QCOMPARE(end->date(), QDate(2024, 7, 31));

    // A start moved past the end takes the end along, picked or typed.
    start->setDate(QDate(2024, 8, 15));
    QCOMPARE(m_boxes->boxes().size(), 3);
    QCOMPARE(m_boxes->last().text, QStringLiteral("终止日期不能小于超始日期，请重新设置！"));
    QCOMPARE(end->date(), QDate(2024, 8, 15));
    start->setFocus();
    start->setDate(QDate(2024, 9, 1));
    QCOMPARE(m_boxes->boxes().size(), 3);
    emit start->editingFinished();
    QCOMPARE(m_boxes->boxes().size(), 4);
    QCOMPARE(end->date(), QDate(2024, 9, 1));
    start->setDate(QDate(2024, 8, 1));
    emit start->editingFinished();
    QCOMPARE(m_boxes->boxes().size(), 4);
}

void TstUfrmReport::keysOpenCalendar_data()
{
    QTest::addColumn<QString>("picker");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::newRow("start, F4") << "DateTimePicker1" << int(Qt::Key_F4) << int(Qt::NoModifier);
    QTest::newRow("end, Alt+Down") << "DateTimePicker2" << int(Qt::Key_Down) << int(Qt::AltModifier);
}

void TstUfrmReport::keysOpenCalendar()
{
    QFETCH(QString, picker);
    QFETCH(int, key);
    QFETCH(int, modifiers);
    auto *edit = m_window->findChild<QDateEdit *>(picker);
    const QDate before = edit->date();
    QTest::keyClick(edit, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    QWidget *calendar = edit->calendarWidget()->window();
    QVERIFY(calendar->isVisible());
    QCOMPARE(edit->date(), before);
    calendar->hide();
}

void TstUfrmReport::previewAndExportNeedReport_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("page");
    QTest::addColumn<bool>("summarised");
    QTest::newRow("preview, nothing generated") << QStringLiteral("BitBtn2") << 2 << false;
    QTest::newRow("export, nothing generated") << QStringLiteral("BitBtn3") << 0 << false;
    QTest::newRow("preview of the detail page after summarising") << QStringLiteral("BitBtn2") << 1 << true;
    QTest::newRow("export of the detail page after summarising") << QStringLiteral("BitBtn3") << 1 << true;
}

void TstUfrmReport::previewAndExportNeedReport()
{
    QFETCH(QString, button);
    QFETCH(int, page);
    QFETCH(bool, summarised);
    if (summarised) {
        click("BitBtn1");
        m_boxes->clear();
    }
    child<QTabWidget>("PageControl1")->setCurrentIndex(page);
    click(button.toLatin1().constData());
    QCOMPARE(m_boxes->texts(), QStringList{ QStringLiteral("请先生成报表！") });
    QCOMPARE(m_boxes->last().caption, QStringLiteral("提示"));
    QCOMPARE(m_boxes->last().icon, QMessageBox::Information);
    QVERIFY(!m_window->findChild<TPrintPreview *>());
    QVERIFY(m_dialogs.isEmpty());
}

void TstUfrmReport::previewUsesPageAndReportPeriod()
{
    setPeriod(QDate(2024, 7, 1), QDate(2024, 7, 31));
    click("BitBtn1");
    child<QTabWidget>("PageControl1")->setCurrentIndex(1);
    child<QComboBox>("ComboBox1")->setCurrentIndex(0);
    click("BitBtn5");
    // Dates changed after the reports were made do not relabel them.
    setPeriod(QDate(2024, 9, 1), QDate(2024, 9, 30));
    m_boxes->clear();

    auto *printer = child<TPrintDBGridEh>("PrintDBGridEh1");
    click("BitBtn2");
    QCOMPARE(printer->pageHeaderCenterText(), QStringList{ QStringLiteral("车间明细报表") });
    QCOMPARE(printer->beforeGridText(),
             QStringList{ QStringLiteral("车间：机加工车间   报表时间：自 2024/7/1 至 2024/7/31") });
    QCOMPARE(printer->grid(), query("ADOQuery2"));
    auto *preview = m_window->findChild<TPrintPreview *>();
    QVERIFY(preview);
    QCOMPARE(preview->windowTitle(), QStringLiteral("打印预览 - 报表信息"));
    QVERIFY(preview->pageCount() >= 1);
    QCOMPARE(preview->statusText(), QStringLiteral("第 1 页(共 %1 页)").arg(preview->pageCount()));
    delete preview;

    child<QTabWidget>("PageControl1")->setCurrentIndex(0);
    click("BitBtn2");
    QCOMPARE(printer->pageHeaderCenterText(), QStringList{ QStringLiteral("汇总报表") });
    QCOMPARE(printer->beforeGridText(), QStringList{ QStringLiteral("报表时间：自 2024/7/1 至 2024/7/31") });
    QCOMPARE(printer->grid(), query("ADOQuery1"));
    QCOMPARE(printer->report().rowCount(), child<ReportGrid>("DBGDWorkshop")->model()->rowCount());
    QVERIFY(m_boxes->boxes().isEmpty());
}

void TstUfrmReport::exportWritesChosenFormat_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("begins");
    QTest::newRow("text, extension added") << QStringLiteral("july") << TextFilter << QStringLiteral("july.txt")
                                           << QByteArray("\xEF\xBB\xBF汇总报表\n报表时间：自 2024/7/1 至 2024/7/31\n车间名称\t表编号");
    QTest::newRow("csv, extension added") << QStringLiteral("july") << CsvFilter << QStringLiteral("july.csv")
                                          << QByteArray("\xEF\xBB\xBF汇总报表\r\n报表时间：自 2024/7/1 至 2024/7/31\r\n车间名称,表编号");
    QTest::newRow("pdf") << QStringLiteral("july.pdf") << PdfFilter << QStringLiteral("july.pdf")
                         << QByteArray("%PDF");
    QTest::newRow("typed suffix decides") << QStringLiteral("july.csv") << TextFilter << QStringLiteral("july.csv")
                                          << QByteArray("\xEF\xBB\xBF汇总报表\r\n");
}

void TstUfrmReport::exportWritesChosenFormat()
{
    QFETCH(QString, typed);
    QFETCH(QString, filter);
    QFETCH(QString, file);
    QFETCH(QByteArray, begins);
    setPeriod(QDate(2024, 7, 1), QDate(2024, 7, 31));
    click("BitBtn1");
    m_boxes->clear();
    answerSaveDialog(m_dir->filePath(typed), filter);
    click("BitBtn3");
    QCOMPARE(m_dialogs.size(), 1);
    QCOMPARE(m_dialogs.first().caption, QStringLiteral("导出文件到..."));
    QCOMPARE(m_dialogs.first().name, QStringLiteral("SaveDialog1"));
    QCOMPARE(m_dialogs.first().filters, (QStringList{ TextFilter, CsvFilter, PdfFilter }));
    QVERIFY(m_boxes->boxes().isEmpty());
    QFile written(m_dir->filePath(file));
    QVERIFY(written.open(QIODevice::ReadOnly));
    const QByteArray data = written.readAll();
    QVERIFY2(data.startsWith(begins), data.left(120).constData());
    if (!file.endsWith(u"pdf"))
        QVERIFY(QString::fromUtf8(data).contains(QStringLiteral("统计")));
}

void TstUfrmReport::exportAsksBeforeOverwriting_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("replaced");
    QTest::newRow("yes") << int(QMessageBox::Yes) << true;
    QTest::newRow("no") << int(QMessageBox::No) << false;
}

void TstUfrmReport::exportAsksBeforeOverwriting()
{
    QFETCH(int, answer);
    QFETCH(bool, replaced);
    const QString path = m_dir->filePath(QStringLiteral("old.txt"));
    QFile old(path);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("old");
    old.close();
    click("BitBtn1");
    m_boxes->clear();
    child<QTabWidget>("PageControl1")->setCurrentIndex(2);
    answerSaveDialog(path, TextFilter);
    m_boxes->answer(QMessageBox::StandardButton(answer));
    click("BitBtn3");
    QCOMPARE(m_boxes->boxes().size(), 1);
    const MessageRecorder::Box &box = m_boxes->last();
    QCOMPARE(box.text, QStringLiteral("指定的文件已经存在，要覆盖吗"));
    QCOMPARE(box.caption, QStringLiteral("提示"));
    QCOMPARE(box.icon, QMessageBox::Information);
    QCOMPARE(box.buttons, QMessageBox::Yes | QMessageBox::No);
    QVERIFY(old.open(QIODevice::ReadOnly));
    const QByteArray data = old.readAll();
    if (replaced)
        QVERIFY(data.startsWith("\xEF\xBB\xBF车间汇总表\n"));
    else
        QCOMPARE(data, QByteArray("old"));
}

void TstUfrmReport::exportFailureIsReported()
{
    click("BitBtn1");
    m_boxes->clear();
    answerSaveDialog(m_dir->filePath(QStringLiteral("no/such/dir/report.txt")), TextFilter);
    click("BitBtn3");
    QCOMPARE(m_boxes->boxes().size(), 1);
    QVERIFY(m_boxes->last().text.startsWith(QStringLiteral("导出文件失败：")));
    QVERIFY(m_boxes->last().text.size() > QStringLiteral("导出文件失败：").size());
    QCOMPARE(m_boxes->last().caption, QStringLiteral("Kelvara"));
}

void TstUfrmReport::exportNeverOverwritesDatabase_data()
{
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<bool>("link");
    QTest::newRow("the database") << QString() << false;
    QTest::newRow("its write-ahead log") << QStringLiteral("-wal") << false;
    QTest::newRow("a link to the database") << QString() << true;
}

// Chosen in the save dialog by a slip, the database (or a file beside it) is never written over.
void TstUfrmReport::exportNeverOverwritesDatabase()
{
    QFETCH(QString, suffix);
    QFETCH(bool, link);
    if (TestDatabase::onServer())
        QSKIP("a server's database has no file to write over");
    QString path = m_db->path() + suffix;
    if (link) {
        const QString linked = m_dir->filePath(QStringLiteral("report.txt"));
        QVERIFY(QFile::link(path, linked));
        path = linked;
    }
    click("BitBtn1");
    m_boxes->clear();
    const int readings = m_db->count(QStringLiteral("TakeMeter"));
    const QByteArray before = [&] { QFile f(m_db->path()); return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray(); }();
    answerSaveDialog(path, TextFilter);
    click("BitBtn3");
    QCOMPARE(m_boxes->boxes().size(), 1);
    QCOMPARE(m_boxes->last().text, QStringLiteral("导出文件不能是本系统的数据库文件，请另选文件名！"));
    QFile after(m_db->path());
    QVERIFY(after.open(QIODevice::ReadOnly));
    QCOMPARE(after.readAll(), before);
    QCOMPARE(m_db->count(QStringLiteral("TakeMeter")), readings);
}

// A named pipe that no program reads fails at once with the cause, instead of freezing the window.
void TstUfrmReport::exportIntoPipeWithoutReaderFails()
{
    const QString pipe = m_dir->filePath(QStringLiteral("report.txt"));
    QCOMPARE(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    click("BitBtn1");
    m_boxes->clear();
    answerSaveDialog(pipe, TextFilter);
    m_boxes->answer(QMessageBox::Yes);   // it exists: write into it
    click("BitBtn3");
    QVERIFY(!m_boxes->boxes().isEmpty());
    QVERIFY2(m_boxes->last().text.startsWith(QStringLiteral("导出文件失败：")), qPrintable(m_boxes->last().text));
}

// A reading stored by another program after the report was generated reaches neither file nor
// paper: both hold the grid's rows, and the footer is the sum of those rows.
void TstUfrmReport::exportAndPreviewTakeTheGridsRows()
{
    setPeriod(QDate(2024, 7, 1), QDate(2024, 7, 31));
    click("BitBtn1");
    m_boxes->clear();
    {
        QSqlDatabase other = Database::open(m_db->path(), QStringLiteral("other program"));
        execSql(other, QStringLiteral("INSERT INTO TakeMeter VALUES ('E1', 9100, 4000, 26000000, 0, '2024-07-30', "
                                      "'2024-07-30')"));
    }
    Database::close(QStringLiteral("other program"));

    ReportModel *grid = query("ADOQuery1");
    QList<QStringList> shown;
    for (int row = 0; row < grid->rowCount(); ++row) {
        QStringList cells;
        for (int c = 0; c < grid->columnCount(); ++c)
            cells << grid->index(row, c).data().toString();
        shown << cells;
    }
    QStringList footer;
    for (int c = 0; c < grid->columnCount(); ++c)
        footer << grid->footerText(c);

    answerSaveDialog(m_dir->filePath(QStringLiteral("july.csv")), CsvFilter);
    click("BitBtn3");
    QVERIFY(m_boxes->boxes().isEmpty());
    QFile file(m_dir->filePath(QStringLiteral("july.csv")));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QStringList lines = QString::fromUtf8(file.readAll().mid(3)).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    QList<QStringList> written;
    for (const QString &line : lines.mid(3, lines.size() - 4))
        written << line.split(u',');
    QCOMPARE(written, shown);
    QCOMPARE(lines.last().split(u','), footer);
    qint64 used = 0;
    for (const QStringList &row : std::as_const(written))
        used += row.at(3).toLongLong();
    QCOMPARE(QString::number(used), footer.at(3));

    click("BitBtn2");
    auto *preview = m_window->findChild<TPrintPreview *>();
    QVERIFY(preview);
    const ReportResult &printed = child<TPrintDBGridEh>("PrintDBGridEh1")->report();
    QCOMPARE(printed.rowCount(), int(shown.size()));
    for (int row = 0; row < printed.rowCount(); ++row)
        QCOMPARE(printed.rowTexts(row), shown.at(row));
    QCOMPARE(printed.footerTexts(), footer);
    delete preview;
}

// The pages follow from the page and the printer's font, not from the window's width.
void TstUfrmReport::previewPagesIndependentOfWindowWidth()
{
    setPeriod(QDate(2024, 7, 1), QDate(2024, 7, 31));
    click("BitBtn1");
    QList<int> pages;
    for (const QSize size : { QSize(762, 480), QSize(1920, 1080) }) {
        for (int page : { 0, 2 }) {
            m_window->resize(size);
            child<QTabWidget>("PageControl1")->setCurrentIndex(page);
            QCoreApplication::processEvents();
            click("BitBtn2");
            auto *preview = m_window->findChild<TPrintPreview *>();
            QVERIFY(preview);
            pages << preview->pageCount();
            delete preview;
        }
    }
    QCOMPARE(pages.mid(2), pages.mid(0, 2));
    // The same pages as a PDF written by the export or the command line.
    auto *printer = child<TPrintDBGridEh>("PrintDBGridEh1");
    QBuffer sink;
    sink.open(QIODevice::WriteOnly);
    QPdfWriter writer(&sink);
    writer.setPageSize(QPageSize(QPageSize::A4));
    printer->setupDevice(&writer);
    QCOMPARE(printer->pageCount(&writer), pages.last());
}

void TstUfrmReport::statementFailure()
{
    execSql(m_db->db(), QStringLiteral("DROP TABLE TakeMeter"));
    click("BitBtn1");
    QCOMPARE(m_boxes->texts(), (QStringList{ "数据集打开错！不能生成报表", "数据集打开错！不能生成报表",
                                             "全部数据汇总完成！" }));
    QCOMPARE(m_boxes->boxes().first().caption, QStringLiteral("Kelvara"));
    QCOMPARE(m_boxes->boxes().first().icon, QMessageBox::NoIcon);
    QVERIFY(!query("ADOQuery1")->isActive());
    QVERIFY(!query("ADOQuery3")->isActive());
    QCOMPARE(child<QTabWidget>("PageControl1")->currentIndex(), 0);
}

void TstUfrmReport::returnClosesWindow()
{
    click("BitBtn4");
    QTRY_VERIFY(m_window.isNull());
    QCOMPARE(frmReport, nullptr);
}

void TstUfrmReport::badInput_data()
{
    using namespace BadInput;
    QTest::addColumn<QString>("workshop");   // the name 机加工车间 is given before the window opens
    QTest::addColumn<QString>("start");      // typed into the pickers, each ended with Enter
    QTest::addColumn<QString>("end");
    QTest::addColumn<QDate>("from");         // the period the reports are made for
    QTest::addColumn<QDate>("to");

    QTest::newRow("statement, 29 February of a leap year")
        << dropTable << "2024/2/29" << "2024/12/31" << QDate(2024, 2, 29) << QDate(2024, 12, 31);
    QTest::newRow("always-true condition, first day readings can have")
        << orTrue << "2000/1/1" << "2000/1/1" << QDate(2000, 1, 1) << QDate(2000, 1, 1);
    QTest::newRow("wildcards, last day readings can have")
        << wildcards << "2050/12/31" << "2050/12/31" << QDate(2050, 12, 31) << QDate(2050, 12, 31);
    QTest::newRow("emoji, whole range") << emoji << "2000/1/1" << "2050/12/31" << QDate(2000, 1, 1) << QDate(2050, 12, 31);
    QTest::newRow("quotes, 29 February 2023 refused")
        << quotes << "2023/2/29" << "2024/7/31" << QDate(2023, 2, 28) << QDate(2024, 7, 31);
    QTest::newRow("10,000 characters of an older database")
        << repeated(QStringLiteral("车间"), 10000) << "2024/7/1" << "2024/7/31" << QDate(2024, 7, 1) << QDate(2024, 7, 31);
}

void TstUfrmReport::badInput()
{
    QFETCH(QString, workshop);
    QFETCH(QString, start);
    QFETCH(QString, end);
    QFETCH(QDate, from);
    QFETCH(QDate, to);
    delete m_window;
    execSql(m_db->db(), QStringLiteral("UPDATE Workshop SET WrokShopName = ? WHERE WrokShopID = ?"),
            { workshop, m_ids.machining });
    for (const QDate d : { QDate(2000, 1, 1), QDate(2024, 2, 29), QDate(2050, 12, 31) })
        m_db->addReading(QStringLiteral("W1"), d, 100, 0, yuan("0"), yuan("0"));
    const QString schema = BadInput::schemaOf(m_db->db());
    m_window = new TfrmReport;
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window));

    // Typed in order, so that the end is checked against the start already typed: into each
    // section of the picker in turn, as after a click on it.
    const QStringList typed{ start, end };
    for (int i = 0; i < 2; ++i) {
        auto *picker = child<QDateEdit>(i == 0 ? "DateTimePicker1" : "DateTimePicker2");
        picker->setFocus();
        const QStringList parts = typed.at(i).split(u'/');
        const QDateTimeEdit::Section sections[] = { QDateTimeEdit::YearSection, QDateTimeEdit::MonthSection,
                                                    QDateTimeEdit::DaySection };
        for (int s = 0; s < 3; ++s) {
            picker->setSelectedSection(sections[s]);
            QTest::keyClicks(picker, parts.at(s));
        }
        QTest::keyClick(picker, Qt::Key_Return);
    }
    QCOMPARE(child<QDateEdit>("DateTimePicker1")->date(), from);
    QCOMPARE(child<QDateEdit>("DateTimePicker2")->date(), to);

    // The chooser is a drop-down list: the workshop is picked with the arrow keys.
    child<QTabWidget>("PageControl1")->setCurrentIndex(1);
    auto *chooser = child<QComboBox>("ComboBox1");
    chooser->setFocus();
    for (int i = 0; i < chooser->count() && chooser->currentData().toLongLong() != m_ids.machining; ++i)
        QTest::keyClick(chooser, Qt::Key_Down);
    QCOMPARE(chooser->currentText(), workshop);
    click("BitBtn5");
    click("BitBtn1");

    QStringList expected{ "提示|" + workshop + " 数据汇总完成！|information|Ok",
                          QStringLiteral("提示|全部数据汇总完成！|information|Ok") };
    // A start typed after today's end moves the end along, with its message.
    if (from > QDate::currentDate())
        expected.prepend(QStringLiteral("Kelvara|终止日期不能小于超始日期，请重新设置！|none|Ok"));
    QCOMPARE(m_boxes->summaries(), expected);
    QCOMPARE(m_window->FStartDate, from);
    QCOMPARE(m_window->FEndDate, to);
    QCOMPARE(BadInput::schemaOf(m_db->db()), schema);
    // Each report holds what its statement gives for the period and workshop.
    const struct
    {
        const char *query;
        ReportStatements::Kind kind;
        qint64 workshop;
    } reports[] = { { "ADOQuery1", ReportStatements::Kind::Summary, 0 },
                    { "ADOQuery2", ReportStatements::Kind::Detail, m_ids.machining },
                    { "ADOQuery3", ReportStatements::Kind::Classes, 0 } };
    for (const auto &r : reports) {
        ReportModel expected;
        expected.setColumns(ReportStatements::columns(r.kind));
        expected.open(ReportStatements::statement(r.kind), ReportStatements::params(from, to, r.workshop),
                      Database::mainConnectionName());
        QCOMPARE(ReportFixture::rows(*query(r.query)), ReportFixture::rows(expected));
    }
    QVERIFY(query("ADOQuery2")->totalRows() > 0);
}

void TstUfrmReport::dateMessageShownOnce_data()
{
    QTest::addColumn<QString>("picker");
    QTest::addColumn<QDate>("start");
    QTest::addColumn<QDate>("end");
    QTest::addColumn<QList<int>>("keys");
    QTest::addColumn<QDate>("endAfter");
    const QDate d29(2024, 7, 29), d30(2024, 7, 30), d31(2024, 7, 31);
    QTest::newRow("start typed past the end, Enter") << "DateTimePicker1" << d29 << d30
                                                    << QList<int>{ Qt::Key_Up, Qt::Key_Up, Qt::Key_Return } << d31;
    QTest::newRow("start typed past the end, Tab") << "DateTimePicker1" << d29 << d30
                                                  << QList<int>{ Qt::Key_Up, Qt::Key_Up, Qt::Key_Tab } << d31;
    QTest::newRow("end typed before the start, Enter") << "DateTimePicker2" << d30 << d31
                                                      << QList<int>{ Qt::Key_Down, Qt::Key_Down, Qt::Key_Return } << d30;
    QTest::newRow("start picked past the end in the calendar") << "DateTimePicker1" << d29 << d30
                                                              << QList<int>{ Qt::Key_F4, Qt::Key_Right, Qt::Key_Right, Qt::Key_Return } << d31;
}

// The date message is shown once, with the message boxes the operator sees: a box that takes the
// focus from the picker must not make the picker check its date a second time.
void TstUfrmReport::dateMessageShownOnce()
{
    QFETCH(QString, picker);
    QFETCH(QDate, start);
    QFETCH(QDate, end);
    QFETCH(QList<int>, keys);
    QFETCH(QDate, endAfter);
    setPeriod(start, end);
    m_boxes.reset();
    QStringList shown;
    SetMessageBoxHandler([&shown](const MessageBoxRequest &r) {
        shown << r.text;
        QMessageBox box(r.icon, r.caption, r.text, r.buttons, r.owner);
        QTimer::singleShot(50, &box, &QMessageBox::accept);
        return QMessageBox::StandardButton(box.exec());
    });
    const auto restore = qScopeGuard([] { SetMessageBoxHandler({}); });
    auto *edit = child<QDateEdit>(picker.toLatin1().constData());
    m_window->activateWindow();
    edit->setFocus();
    QTRY_VERIFY(edit->hasFocus());
    edit->setSelectedSection(QDateTimeEdit::DaySection);
    for (int key : std::as_const(keys)) {
        QWidget *target = QApplication::focusWidget();
        QTest::keyClick(target ? target : edit, Qt::Key(key));
    }
    QTest::qWait(200);
    QCOMPARE(shown, QStringList{ QStringLiteral("终止日期不能小于超始日期，请重新设置！") });
    QCOMPARE(child<QDateEdit>("DateTimePicker2")->date(), endAfter);
}

QTEST_MAIN(TstUfrmReport)
#include "tst_ufrmReport.moc"
