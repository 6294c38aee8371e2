// ufrmTakeMeter.h: continuous meter reading window: the readings of one date typed meter after
// meter from the keyboard, priced when saved, listed with their charges.
#pragma once

#include <QWidget>

class QDateEdit;
class QFrame;
class QLabel;
class QPushButton;
class QTableWidget;
class TDBEditEh;
class TDBGridEh;
class TMyDBNavigator;
class TakeMeterEntry;

class TfrmTakeMeter : public QWidget
{
    Q_OBJECT
public:
    explicit TfrmTakeMeter(QWidget *parent = nullptr);
    ~TfrmTakeMeter() override;                 // clears frmTakeMeter

    TakeMeterEntry *entry() const { return m_entry; }

    void BitBtn1Click();                       // "开始抄表"
    void BitBtn2Click();                       // "确定" in the chooser
    void BitBtn3Click();                       // "取消" in the chooser

signals:
    // A text for the main window's status bar: how many later readings a save re-priced; empty
    // after a save that re-priced none.
    void statusMessage(const QString &text);

private:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void FormCreate();
    void DTMeterChange();
    void DBEditEh3KeyPress();                  // Enter after the meter number
    void DBEditEh4KeyPress();                  // Enter after the counter value
    void ListView1KeyPress();                  // Enter in the chooser
    void ShowChooser();
    void FocusCounter();
    void FocusMeterNumber();                   // the next digits replace the number
    void BeginNextRow();                       // after every save: a new row, the meter number

    QLabel *Label1 = nullptr;
    QDateEdit *DTMeter = nullptr;
    QPushButton *BitBtn1 = nullptr;
    QFrame *Panel2 = nullptr;
    TDBEditEh *DBEditEh3 = nullptr;
    TDBEditEh *DBEditEh4 = nullptr;
    TDBEditEh *DBEditEh1 = nullptr;
    TDBEditEh *DBCharge = nullptr;
    TDBEditEh *DBEditEh2 = nullptr;
    QWidget *Panel3 = nullptr;
    TMyDBNavigator *MyDBNavigator1 = nullptr;
    TDBGridEh *DBGridEh1 = nullptr;
    QFrame *Panel4 = nullptr;
    QTableWidget *ListView1 = nullptr;
    QPushButton *BitBtn2 = nullptr;
    QPushButton *BitBtn3 = nullptr;

    TakeMeterEntry *m_entry = nullptr;
};

extern TfrmTakeMeter *frmTakeMeter;
