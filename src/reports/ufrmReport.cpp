#include "ufrmReport.h"

#include "ButtonKeys.h"
#include "CalendarKeys.h"
#include "DataSet.h"
#include "Database.h"
#include "Engine.h"
#include "Guarded.h"
#include "Messages.h"
#include "PrintDBGridEh.h"
#include "PrintPreview.h"
#include "ReportExport.h"
#include "ReportGrid.h"
#include "ReportModel.h"
#include "SaveFileDialog.h"
#include "UCommon.h"

#include <QCalendarWidget>
#include <QComboBox>
#include <QDateEdit>
#include <QFileInfo>
#include <QLabel>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

TfrmReport *frmReport = nullptr;

namespace {

using ReportStatements::Kind;

const QString TextFilter = QStringLiteral("文本文件(Text File) (*.txt)");
const QString CsvFilter = QStringLiteral("CSV文件(CSV File) (*.csv)");
const QString PdfFilter = QStringLiteral("PDF文件(PDF File) (*.pdf)");

Kind kindOf(int page)
{
    return page == 0 ? Kind::Summary : page == 1 ? Kind::Detail : Kind::Classes;
}

template <typename W>
W *place(QWidget *parent, const char *name, int left, int width, int height)
{
    auto *w = new W(parent);
    w->setObjectName(QString::fromLatin1(name));
    const int panelHeight = parent->height();
    w->setGeometry(left, (panelHeight - height) / 2, width, height);
    return w;
}

QFrame *panel(QWidget *parent, const char *name, int height)
{
    auto *p = new QFrame(parent);
    p->setObjectName(QString::fromLatin1(name));
    p->setFrameShape(QFrame::StyledPanel);
    p->setFixedHeight(height);
    p->resize(p->width(), height);
    return p;
}

// The locale's short date form, always with a four-digit year.
QString shortDateFormat()
{
    QString format = QLocale().dateFormat(QLocale::ShortFormat);
    if (!format.contains(QStringLiteral("yyyy")))
        format.replace(QStringLiteral("yy"), QStringLiteral("yyyy"));
    return format;
}

}

TfrmReport::TfrmReport(QWidget *parent) : QWidget(parent)
{
    frmReport = this;
    setObjectName(QStringLiteral("frmReport"));
    setWindowTitle(QStringLiteral("frmReport"));
    setAttribute(Qt::WA_DeleteOnClose);
    resize(762, 480);

    Panel1 = panel(this, "Panel1", 31);
    Label1 = place<QLabel>(Panel1, "Label1", 9, 58, 20);
    Label1->setText(QStringLiteral("时间: 自"));
    DateTimePicker1 = place<QDateEdit>(Panel1, "DateTimePicker1", 69, 132, 23);
    Label2 = place<QLabel>(Panel1, "Label2", 204, 18, 20);
    Label2->setText(QStringLiteral("至"));
    DateTimePicker2 = place<QDateEdit>(Panel1, "DateTimePicker2", 224, 149, 23);
    for (QDateEdit *picker : { DateTimePicker1, DateTimePicker2 }) {
        picker->setCalendarPopup(true);
        KeysOpenCalendar(picker);
        picker->setDisplayFormat(shortDateFormat());
    }
    BitBtn1 = place<QPushButton>(Panel1, "BitBtn1", 410, 75, 25);
    BitBtn1->setText(QStringLiteral("汇总"));
    BitBtn2 = place<QPushButton>(Panel1, "BitBtn2", 497, 75, 25);
    BitBtn2->setText(QStringLiteral("打印预览"));
    BitBtn3 = place<QPushButton>(Panel1, "BitBtn3", 590, 75, 25);
    BitBtn3->setText(QStringLiteral("导出"));
    BitBtn4 = place<QPushButton>(Panel1, "BitBtn4", 682, 75, 25);
    BitBtn4->setText(QStringLiteral("返回"));

    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    auto addPage = [&](const char *name, Kind kind) {
        auto *page = new QWidget(PageControl1);
        page->setObjectName(QString::fromLatin1(name));
        PageControl1->addTab(page, ReportStatements::title(kind));
        auto *layout = new QVBoxLayout(page);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(0);
        return page;
    };
    auto addGrid = [&](QWidget *page, const char *name, ReportModel *query) {
        auto *grid = new ReportGrid(page);
        grid->setObjectName(QString::fromLatin1(name));
        grid->setReportModel(query);
        page->layout()->addWidget(grid);
        return grid;
    };
    auto addQuery = [&](const char *name, Kind kind) {
        auto *query = new ReportModel(this);
        query->setObjectName(QString::fromLatin1(name));
        query->setColumns(ReportStatements::columns(kind));
        return query;
    };
    ADOQuery1 = addQuery("ADOQuery1", Kind::Summary);
    ADOQuery2 = addQuery("ADOQuery2", Kind::Detail);
    ADOQuery3 = addQuery("ADOQuery3", Kind::Classes);

    TabSheet1 = addPage("TabSheet1", Kind::Summary);
    DBGDWorkshop = addGrid(TabSheet1, "DBGDWorkshop", ADOQuery1);
    TabSheet2 = addPage("TabSheet2", Kind::Detail);
    Panel2 = panel(TabSheet2, "Panel2", 32);
    TabSheet2->layout()->addWidget(Panel2);
    Label3 = place<QLabel>(Panel2, "Label3", 16, 108, 20);
    Label3->setText(QStringLiteral("请选择报表车间"));
    ComboBox1 = place<QComboBox>(Panel2, "ComboBox1", 128, 177, 23);
    ComboBox1->setEditable(false);
    BitBtn5 = place<QPushButton>(Panel2, "BitBtn5", 336, 75, 25);
    BitBtn5->setText(QStringLiteral("统计"));
    DBGridEh1 = addGrid(TabSheet2, "DBGridEh1", ADOQuery2);
    TabSheet3 = addPage("TabSheet3", Kind::Classes);
    DBGridEh2 = addGrid(TabSheet3, "DBGridEh2", ADOQuery3);
    PageControl1->setCurrentWidget(TabSheet3);

    PrintDBGridEh1 = new TPrintDBGridEh(this);
    PrintDBGridEh1->setObjectName(QStringLiteral("PrintDBGridEh1"));

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(Panel1);
    layout->addWidget(PageControl1, 1);

    EnterPressesFocusedButton(this);
    connect(BitBtn1, &QPushButton::clicked, this, &TfrmReport::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &TfrmReport::BitBtn2Click);
    connect(BitBtn3, &QPushButton::clicked, this, &TfrmReport::BitBtn3Click);
    connect(BitBtn4, &QPushButton::clicked, this, &TfrmReport::BitBtn4Click);
    connect(BitBtn5, &QPushButton::clicked, this, &TfrmReport::BitBtn5Click);
    // Typing changes the date a digit at a time: check when the edit is left or Enter pressed,
    // and at once for a date set by the program. In the drop-down calendar every arrow key
    // changes the date: check when the calendar closes, so that it stays open while the
    // operator moves through the days.
    for (QDateEdit *picker : { DateTimePicker1, DateTimePicker2 }) {
        const auto check = picker == DateTimePicker1 ? &TfrmReport::DateTimePicker1Change
                                                     : &TfrmReport::DateTimePicker2Change;
        connect(picker, &QDateEdit::editingFinished, this, check);
        connect(picker, &QDateEdit::dateChanged, this, [this, picker, check] {
            if (!picker->hasFocus() && !picker->calendarWidget()->window()->isVisible())
                (this->*check)();
        });
        picker->calendarWidget()->window()->installEventFilter(this);
    }
}

bool TfrmReport::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Hide) {
        for (QDateEdit *picker : { DateTimePicker1, DateTimePicker2 }) {
            if (watched != picker->calendarWidget()->window())
                continue;
            // The calendar closed: the date picked in it is checked once the focus is back.
            QTimer::singleShot(0, this, picker == DateTimePicker1 ? &TfrmReport::DateTimePicker1Change
                                                                  : &TfrmReport::DateTimePicker2Change);
        }
    }
    return QWidget::eventFilter(watched, event);
}

TfrmReport::~TfrmReport()
{
    if (frmReport == this)
        frmReport = nullptr;
}

void TfrmReport::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!m_shown) {
        m_shown = true;
        Guarded(this, [&] { FormShow(); });
    }
}

void TfrmReport::FormShow()
{
    adoLookup = new DataSet(this);
    adoLookup->setObjectName(QStringLiteral("adoLookup"));
    if (KelvaraMg)
        KelvaraMg->BindQuery(adoLookup);
    else
        adoLookup->setConnectionName(Database::mainConnectionName());
    LoadWorkshopNames();
    // The end first, so that the start is never after it on the way.
    const QDate today = QDate::currentDate();
    DateTimePicker2->setDate(today);
    DateTimePicker1->setDate(today);
}

void TfrmReport::LoadWorkshopNames()
{
    try {
        adoLookup->close();
        adoLookup->setSql(ReportStatements::SqlWorkshopList());
        adoLookup->open();
    } catch (const DatabaseError &) {
        ShowPlainMessage(this, QStringLiteral("数据集打开错！不能生成报表"));
        return;
    }
    // Each entry keeps its workshop's identifier: two workshops may bear the same name.
    const int id = adoLookup->fieldIndex(QStringLiteral("WrokShopID"));
    const int name = adoLookup->fieldIndex(QStringLiteral("WrokShopName"));
    for (int i = 0; i < adoLookup->recordCount(); ++i)
        ComboBox1->addItem(adoLookup->valueAt(i, name).toString(), adoLookup->valueAt(i, id));
    ComboBox1->setCurrentIndex(-1);
}

bool TfrmReport::OpenReportQuery(const QString &sql, const QVariantMap &params, ReportModel *query)
{
    try {
        query->open(sql, params, Database::mainConnectionName());
        return true;
    } catch (const DatabaseError &) {
        ShowPlainMessage(this, QStringLiteral("数据集打开错！不能生成报表"));
        return false;
    }
}

void TfrmReport::BitBtn1Click()
{
    Guarded(this, [&] {
        FStartDate = DateTimePicker1->date();
        FEndDate = DateTimePicker2->date();
        const QVariantMap params = ReportStatements::params(FStartDate, FEndDate);
        OpenReportQuery(ReportStatements::statement(Kind::Summary), params, ADOQuery1);
        m_generated[0] = { FStartDate, FEndDate, {} };
        OpenReportQuery(ReportStatements::statement(Kind::Classes), params, ADOQuery3);
        m_generated[2] = { FStartDate, FEndDate, {} };
        if (PageControl1->currentWidget() != TabSheet1)
            PageControl1->setCurrentWidget(TabSheet1);
        ShowMessageBox(this, QStringLiteral("全部数据汇总完成！"), QStringLiteral("提示"), QMessageBox::Information);
    });
}

void TfrmReport::BitBtn5Click()
{
    Guarded(this, [&] {
        const QString name = ComboBox1->currentIndex() < 0 ? QString() : TrimBlanks(ComboBox1->currentText());
        if (name.isEmpty()) {
            ShowMessageBox(this, QStringLiteral("请先选择汇总车间名称！"), QStringLiteral("提示"),
                           QMessageBox::Information);
            return;
        }
        FStartDate = DateTimePicker1->date();
        FEndDate = DateTimePicker2->date();
        const qint64 workshop = ComboBox1->currentData().toLongLong();
        OpenReportQuery(ReportStatements::statement(Kind::Detail),
                        ReportStatements::params(FStartDate, FEndDate, workshop), ADOQuery2);
        m_generated[1] = { FStartDate, FEndDate, ComboBox1->currentText() };
        ShowMessageBox(this, name + QStringLiteral(" 数据汇总完成！"), QStringLiteral("提示"),
                       QMessageBox::Information);
    });
}

void TfrmReport::BitBtn4Click()
{
    if (auto *sub = qobject_cast<QMdiSubWindow *>(parentWidget()))
        sub->close();
    else
        close();
}

void TfrmReport::DateTimePicker1Change()
{
    checkPeriod();
}

void TfrmReport::DateTimePicker2Change()
{
    checkPeriod();
}

void TfrmReport::checkPeriod()
{
    // The message box takes the focus from a picker, which then finishes editing again: by then
    // the end date has followed the start, and the box is shown only once.
    if (m_checkingPeriod || DateTimePicker2->date() >= DateTimePicker1->date())
        return;
    const QScopedValueRollback guard(m_checkingPeriod, true);
    DateTimePicker2->setDate(DateTimePicker1->date());
    ShowPlainMessage(this, QStringLiteral("终止日期不能小于超始日期，请重新设置！"));
}

int TfrmReport::pageShown() const
{
    return PageControl1->currentIndex();
}

ReportGrid *TfrmReport::gridOf(int page) const
{
    return page == 0 ? DBGDWorkshop : page == 1 ? DBGridEh1 : DBGridEh2;
}

QString TfrmReport::dateText(const QDate &date) const
{
    return DateTimePicker1->locale().toString(date, DateTimePicker1->displayFormat());
}

QString TfrmReport::periodLineOf(int page) const
{
    const Generated &g = m_generated[page];
    return ReportStatements::periodLine(kindOf(page), dateText(g.start), dateText(g.end), g.workshop);
}

bool TfrmReport::reportShown()
{
    if (gridOf(pageShown())->reportModel()->isActive())
        return true;
    ShowMessageBox(this, QStringLiteral("请先生成报表！"), QStringLiteral("提示"), QMessageBox::Information);
    return false;
}

void TfrmReport::BitBtn2Click()
{
    Guarded(this, [&] {
        const int page = pageShown();
        PrintDBGridEh1->setPageHeaderCenterText({ PageControl1->tabText(page) });
        PrintDBGridEh1->setBeforeGridText({ periodLineOf(page) });
        PrintDBGridEh1->setGrid(gridOf(page)->reportModel());
        if (!reportShown())
            return;
        ShowPrintPreview(*PrintDBGridEh1, this);
    });
}

void TfrmReport::BitBtn3Click()
{
    Guarded(this, [&] {
        if (!reportShown())
            return;
        const int page = pageShown();
        SaveFileRequest request;
        request.owner = this;
        request.name = QStringLiteral("SaveDialog1");
        request.caption = QStringLiteral("导出文件到...");
        request.filters = QStringList{ TextFilter, CsvFilter, PdfFilter };
        const SaveFileAnswer answer = AskSaveFileName(request);
        if (answer.path.isEmpty())
            return;
        const ReportExport::Format chosen = answer.selectedFilter == CsvFilter ? ReportExport::Format::Csv
            : answer.selectedFilter == PdfFilter                               ? ReportExport::Format::Pdf
                                                                                : ReportExport::Format::Tabbed;
        QString path = answer.path;
        if (QFileInfo(path).suffix().isEmpty())
            path += chosen == ReportExport::Format::Csv ? QStringLiteral(".csv")
                : chosen == ReportExport::Format::Pdf   ? QStringLiteral(".pdf")
                                                        : QStringLiteral(".txt");
        // The report written over the database would end every reading stored there.
        if (Database::engine().isFile() && SqliteFile::isPartOf(path, Database::path())) {
            ShowPlainMessage(this, QStringLiteral("导出文件不能是本系统的数据库文件，请另选文件名！"));
            return;
        }
        if (QFileInfo::exists(path)
            && ShowMessageBox(this, QStringLiteral("指定的文件已经存在，要覆盖吗"), QStringLiteral("提示"),
                              QMessageBox::Information, QMessageBox::Yes | QMessageBox::No)
                != QMessageBox::Yes)
            return;
        ReportExport::Document document;
        document.title = PageControl1->tabText(page);
        document.periodLine = periodLineOf(page);
        document.model = gridOf(page)->reportModel();
        const QString failure = ReportExport::writeFile(path, ReportExport::formatForFile(path, chosen), document,
                                                        ReportExport::PipeReader::Required);
        if (!failure.isEmpty())
            ShowPlainMessage(this, QStringLiteral("导出文件失败：") + failure);
    });
}
