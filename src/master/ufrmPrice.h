// ufrmPrice.h: the unit price window: an edit panel, a grid and a navigator on Price, each price
// with the name of its meter type.
#pragma once

#include <QWidget>

class DataSet;
class QFrame;
class TDBEditEh;
class TDBGridEh;
class TDBLookupComboboxEh;
class TMyDBNavigator;

class TfrmPrice : public QWidget
{
    Q_OBJECT
public:
    explicit TfrmPrice(QWidget *parent = nullptr);
    ~TfrmPrice() override;                // clears frmPrice

protected:
    void showEvent(QShowEvent *event) override;

private:
    void FormCreate();
    void FormShow();

    DataSet *adoPrice = nullptr;
    DataSet *ADOQuery1 = nullptr;         // all meter types
    QFrame *Panel1 = nullptr;
    TDBLookupComboboxEh *DBLookupComboboxEh5 = nullptr;   // MeterSortID
    TDBEditEh *DBEditEh1 = nullptr;       // PriceName
    TDBEditEh *DBEditEh2 = nullptr;       // PriceNumber
    TDBEditEh *DBEditEh3 = nullptr;       // ExceedPrice
    TDBGridEh *DBGridEh2 = nullptr;
    TMyDBNavigator *MyDBNavigator1 = nullptr;
};

extern TfrmPrice *frmPrice;
