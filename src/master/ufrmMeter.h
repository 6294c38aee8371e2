// ufrmMeter.h: the meter register window: an edit panel, a grid and a navigator on the meters,
// over the MeterRegister core.
#pragma once

#include <QWidget>

class MeterRegister;
class QFrame;
class QAction;
class QLabel;
class QPushButton;
class TDBDateEdit;
class TDBEditEh;
class TDBGridEh;
class TDBLookupComboboxEh;
class TMyDBNavigator;

class TfrmMeter : public QWidget
{
    Q_OBJECT
public:
    explicit TfrmMeter(QWidget *parent = nullptr);
    ~TfrmMeter() override;                // clears frmMeter

    MeterRegister *core() const { return m_core; }

    void DBLookupComboboxEh3CloseUp();    // the type's drop-down closed
    void DBLookupComboboxEh2CloseUp();    // the workshop's drop-down closed
    void N1Click();                       // "换表" on the current meter (Ctrl+H, the grid's menu)

signals:
    // For the main window's status bar: what an exchange did to the later readings.
    void statusMessage(const QString &text);

private:
    void FormCreate();

    MeterRegister *m_core = nullptr;
    QFrame *Panel1 = nullptr;
    TDBEditEh *DBEditEh1 = nullptr;                       // MeterNO
    TDBEditEh *DBEditEh2 = nullptr;                       // Type
    TDBLookupComboboxEh *DBLookupComboboxEh3 = nullptr;   // MeterSort
    TDBEditEh *DBEditEh3 = nullptr;                       // BaseNumber
    TDBEditEh *DBEditEh4 = nullptr;                       // SubjoinNumber
    TDBEditEh *DBEditEh5 = nullptr;                       // MaxBound
    TDBLookupComboboxEh *DBLookupComboboxEh2 = nullptr;   // WorkShopID
    TDBLookupComboboxEh *DBLookupComboboxEh6 = nullptr;   // SubWorkShopID
    TDBEditEh *DBEditEh6 = nullptr;                       // Multiple
    TDBEditEh *DBEditEh7 = nullptr;                       // Quota
    TDBLookupComboboxEh *DBLookupComboboxEh1 = nullptr;   // PriceID
    TDBEditEh *DBEditEh8 = nullptr;                       // FitPlace
    TDBDateEdit *DBDateEdit1 = nullptr;                   // SetupDate
    TDBGridEh *DBGridEh3 = nullptr;
    TMyDBNavigator *MyDBNavigator1 = nullptr;
    QPushButton *BitBtn1 = nullptr;                       // "换表"
    QAction *N1 = nullptr;                                // "换表"
};

extern TfrmMeter *frmMeter;
