// ufrmCnfgPara.h: the system parameters dialog: the using unit's name and the login password.
#pragma once

#include <QDialog>

class DataSet;
class QLabel;
class QLineEdit;
class QPushButton;

class TfrmCnfgPara : public QDialog
{
    Q_OBJECT
public:
    explicit TfrmCnfgPara(QWidget *parent = nullptr);
    ~TfrmCnfgPara() override;         // clears frmCnfgPara

    void BitBtn1Click();              // submit
    void BitBtn2Click();              // close without saving

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void FormShow();
    void edtUnitNameKeyPress(QChar key);
    void maskPwKeyPress(QChar key);

    QLabel *Label1 = nullptr;
    QLabel *Label2 = nullptr;
    QLabel *Image1 = nullptr;
    QLineEdit *edtUnitName = nullptr;
    QLineEdit *maskPw = nullptr;
    QPushButton *BitBtn1 = nullptr;
    QPushButton *BitBtn2 = nullptr;
    DataSet *adoCfngPara = nullptr;
    DataSet *adoCnfgParaCmd = nullptr;   // made when first shown
};

extern TfrmCnfgPara *frmCnfgPara;
