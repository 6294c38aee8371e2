// uLogin.h: the login window, the only gate into the system.
#pragma once

#include <QDialog>

class DataSet;
class QLabel;
class QLineEdit;
class QPushButton;

class TfrmLogin : public QDialog
{
    Q_OBJECT
public:
    explicit TfrmLogin(QWidget *parent = nullptr);
    ~TfrmLogin() override;            // clears frmLogin

    bool loginOk() const { return FLoginOk; }
    int failCount() const { return FFailCount; }

    void BitBtn1Click();
    void BitBtn2Click();

protected:
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void FormCreate();
    QString ReadPassword();
    void HashStoredPassword(const QString &password);

    QLabel *Label1 = nullptr;
    QLineEdit *Edit1 = nullptr;
    QPushButton *BitBtn1 = nullptr;
    QPushButton *BitBtn2 = nullptr;
    DataSet *ADOQuery1 = nullptr;
    bool FLoginOk = false;
    int FFailCount = 0;
};

extern TfrmLogin *frmLogin;
