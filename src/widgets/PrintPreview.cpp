#include "PrintPreview.h"

#include "Guarded.h"
#include "PrintDBGridEh.h"

#include <QAction>
#include <QFile>
#include <QLabel>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QSaveFile>
#include <QStatusBar>
#include <QToolBar>
#include <QVBoxLayout>

TPrintPreview::TPrintPreview(const TPrintDBGridEh &source, QWidget *parent)
    : QWidget(parent, Qt::Window), m_printer(std::make_unique<QPrinter>(QPrinter::HighResolution))
{
    setObjectName(QStringLiteral("PrintPreview"));
    setWindowTitle(QStringLiteral("打印预览 - ") + TPrintDBGridEh::title());
    m_job = new TPrintDBGridEh(this);
    m_job->setGrid(source.grid());
    m_job->setPageHeaderCenterText(source.pageHeaderCenterText());
    m_job->setBeforeGridText(source.beforeGridText());
    m_printer->setPageSize(QPageSize(QPageSize::A4));
    m_job->setupDevice(m_printer.get());

    auto *tools = new QToolBar(this);
    tools->setObjectName(QStringLiteral("PreviewTools"));
    tools->setToolButtonStyle(Qt::ToolButtonTextOnly);
    m_preview = new QPrintPreviewWidget(m_printer.get(), this);
    m_preview->setObjectName(QStringLiteral("PreviewWidget"));
    auto *statusBar = new QStatusBar(this);
    m_status = new QLabel(statusBar);
    m_status->setObjectName(QStringLiteral("PreviewStatus"));
    statusBar->addWidget(m_status, 1);

    auto add = [&](const char *name, const QString &text, auto handler) {
        QAction *action = tools->addAction(text);
        action->setObjectName(QString::fromLatin1(name));
        connect(action, &QAction::triggered, this, handler);
        return action;
    };
    add("actPrint", QStringLiteral("打印"), [this] { PrintClick(); });
    add("actPageSetup", QStringLiteral("页面设置"), [this] { PageSetupClick(); });
    tools->addSeparator();
    add("actZoomIn", QStringLiteral("放大"), [this] { m_preview->zoomIn(); });
    add("actZoomOut", QStringLiteral("缩小"), [this] { m_preview->zoomOut(); });
    add("actFitWidth", QStringLiteral("页宽"), [this] { m_preview->fitToWidth(); });
    add("actFitPage", QStringLiteral("整页"), [this] { m_preview->fitInView(); });
    tools->addSeparator();
    add("actFirst", QStringLiteral("首页"), [this] { setCurrentPage(1); });
    add("actPrior", QStringLiteral("上一页"), [this] { setCurrentPage(currentPage() - 1); });
    add("actNext", QStringLiteral("下一页"), [this] { setCurrentPage(currentPage() + 1); });
    add("actLast", QStringLiteral("末页"), [this] { setCurrentPage(pageCount()); });
    tools->addSeparator();
    add("actClose", QStringLiteral("关闭"), [this] { close(); });

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(tools);
    layout->addWidget(m_preview, 1);
    layout->addWidget(statusBar);

    connect(m_preview, &QPrintPreviewWidget::paintRequested, this, [this](QPrinter *printer) {
        Guarded(this, [&] { m_job->print(printer); });
    });
    connect(m_preview, &QPrintPreviewWidget::previewChanged, this, &TPrintPreview::updateStatus);
    resize(900, 700);
    m_preview->updatePreview();
    updateStatus();
}

TPrintPreview::~TPrintPreview() = default;

int TPrintPreview::pageCount() const
{
    return m_preview->pageCount();
}

int TPrintPreview::currentPage() const
{
    return m_preview->currentPage();
}

void TPrintPreview::setCurrentPage(int page)
{
    m_preview->setCurrentPage(qBound(1, page, qMax(1, pageCount())));
    updateStatus();
}

QString TPrintPreview::statusText() const
{
    return m_status->text();
}

void TPrintPreview::updateStatus()
{
    m_status->setText(QStringLiteral("第 %1 页(共 %2 页)").arg(currentPage()).arg(pageCount()));
}

void TPrintPreview::PrintClick()
{
    QPrintDialog dialog(m_printer.get(), this);
    if (dialog.exec() == QDialog::Accepted)
        print();
}

void TPrintPreview::print()
{
    m_preview->print();
    // Printed to a PDF file: its text layer names the characters as printed.
    if (m_printer->outputFormat() != QPrinter::PdfFormat || m_printer->outputFileName().isEmpty())
        return;
    QFile written(m_printer->outputFileName());
    if (!written.open(QIODevice::ReadOnly))
        return;
    const QByteArray pdf = written.readAll();
    written.close();
    const QByteArray mended = m_job->mendPdf(pdf);
    if (mended == pdf)
        return;
    QSaveFile file(m_printer->outputFileName());
    if (file.open(QIODevice::WriteOnly) && file.write(mended) == mended.size())
        file.commit();
}

void TPrintPreview::PageSetupClick()
{
    QPageSetupDialog dialog(m_printer.get(), this);
    if (dialog.exec() == QDialog::Accepted)
        m_preview->updatePreview();
}

TPrintPreview *ShowPrintPreview(const TPrintDBGridEh &printer, QWidget *owner)
{
    if (!printer.canPrint())
        return nullptr;
    auto *preview = new TPrintPreview(printer, owner);
    preview->setAttribute(Qt::WA_DeleteOnClose);
    preview->setWindowModality(Qt::ApplicationModal);
    preview->show();
    return preview;
}
