// ufrmMeterSort.h: the meter type window: an edit panel, a grid and a navigator on MeterSort.
#pragma once

#include <QWidget>

class DataSet;
class QFrame;
class TDBEditEh;
class TDBGridEh;
class TMyDBNavigator;

class TfrmMeterSort : public QWidget
{
    Q_OBJECT
public:
    explicit TfrmMeterSort(QWidget *parent = nullptr);
    ~TfrmMeterSort() override;            // clears frmMeterSort

protected:
    void showEvent(QShowEvent *event) override;

private:
    void FormCreate();
    void FormShow();

    DataSet *adoMeterSort = nullptr;
    QFrame *Panel1 = nullptr;
    TDBEditEh *DBEditEh1 = nullptr;       // MeterSortName
    TDBEditEh *DBEditEh2 = nullptr;       // MeterSortMemo
    TDBGridEh *DBGridEh4 = nullptr;
    TMyDBNavigator *MyDBNavigator1 = nullptr;
};

extern TfrmMeterSort *frmMeterSort;
