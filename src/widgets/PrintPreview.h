// PrintPreview.h: the print preview window of the grid printer, with its tools to print, set up
// the page, zoom and move between pages.
#pragma once

#include <QWidget>
#include <memory>

class QAction;
class QLabel;
class QPrinter;
class QPrintPreviewWidget;
class TPrintDBGridEh;

class TPrintPreview : public QWidget
{
    Q_OBJECT
public:
    // Copies the printer's grid and texts, so later changes to it leave this preview alone.
    explicit TPrintPreview(const TPrintDBGridEh &source, QWidget *parent = nullptr);
    ~TPrintPreview() override;

    QPrintPreviewWidget *previewWidget() const { return m_preview; }
    QPrinter *printer() const { return m_printer.get(); }
    QString statusText() const;
    int pageCount() const;
    int currentPage() const;
    void setCurrentPage(int page);

    void PrintClick();
    void PageSetupClick();
    // Prints the pages on the printer as it is set up.
    void print();

private:
    void updateStatus();

    std::unique_ptr<QPrinter> m_printer;
    TPrintDBGridEh *m_job = nullptr;
    QPrintPreviewWidget *m_preview = nullptr;
    QLabel *m_status = nullptr;
};

// Opens the preview of the printer's grid; nothing happens and nullptr is returned when the
// grid holds no result.
TPrintPreview *ShowPrintPreview(const TPrintDBGridEh &printer, QWidget *owner);
