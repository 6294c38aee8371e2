// ufrmReport.h: the report window: the period's summary, workshop detail and workshop summary
// reports in report grids, with print preview and export.
#pragma once

#include "ReportStatements.h"

#include <QDate>
#include <QWidget>

class DataSet;
class QComboBox;
class QDateEdit;
class QFrame;
class QLabel;
class QPushButton;
class QTabWidget;
class ReportGrid;
class ReportModel;
class TPrintDBGridEh;

class TfrmReport : public QWidget
{
    Q_OBJECT
public:
    explicit TfrmReport(QWidget *parent = nullptr);
    ~TfrmReport() override;               // clears frmReport

    void BitBtn1Click();                  // "汇总": summary report and workshop summary table
    void BitBtn2Click();                  // "打印预览"
    void BitBtn3Click();                  // "导出"
    void BitBtn4Click();                  // "返回"
    void BitBtn5Click();                  // "统计": detail report of the chosen workshop
    void DateTimePicker1Change();         // a start after the end takes the end along
    void DateTimePicker2Change();         // the end date may not precede the start date

    QDate FStartDate;
    QDate FEndDate;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    // What a generated report was made for, so that it is printed and exported with its own
    // period and workshop even after the pickers changed.
    struct Generated
    {
        QDate start;
        QDate end;
        QString workshop;
    };

    void FormShow();
    bool OpenReportQuery(const QString &sql, const QVariantMap &params, ReportModel *query);
    void LoadWorkshopNames();
    int pageShown() const;
    ReportGrid *gridOf(int page) const;
    QString dateText(const QDate &date) const;
    QString periodLineOf(int page) const;
    bool reportShown();                   // says "请先生成报表！" when not
    void checkPeriod();                   // an end before the start follows the start, with the message

    QFrame *Panel1 = nullptr;
    QLabel *Label1 = nullptr;
    QDateEdit *DateTimePicker1 = nullptr;
    QLabel *Label2 = nullptr;
    QDateEdit *DateTimePicker2 = nullptr;
    QPushButton *BitBtn1 = nullptr;
    QPushButton *BitBtn2 = nullptr;
    QPushButton *BitBtn3 = nullptr;
    QPushButton *BitBtn4 = nullptr;
    QTabWidget *PageControl1 = nullptr;
    QWidget *TabSheet1 = nullptr;
    QWidget *TabSheet2 = nullptr;
    QWidget *TabSheet3 = nullptr;
    ReportGrid *DBGDWorkshop = nullptr;
    QFrame *Panel2 = nullptr;
    QLabel *Label3 = nullptr;
    QComboBox *ComboBox1 = nullptr;
    QPushButton *BitBtn5 = nullptr;
    ReportGrid *DBGridEh1 = nullptr;
    ReportGrid *DBGridEh2 = nullptr;

    ReportModel *ADOQuery1 = nullptr;
    ReportModel *ADOQuery2 = nullptr;
    ReportModel *ADOQuery3 = nullptr;
    DataSet *adoLookup = nullptr;
    TPrintDBGridEh *PrintDBGridEh1 = nullptr;

    Generated m_generated[3];
    bool m_shown = false;
    bool m_checkingPeriod = false;
};

extern TfrmReport *frmReport;
