// ufrmMaim.h: the multi-document main window: menus, tool bars, status bar, task windows.
#pragma once

#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>

class QAction;
class QFrame;
class QLabel;
class QMenu;
class QTimer;
class QToolBar;
class QToolButton;
class TKelvaraMg;

class TfrmMaim : public QMainWindow
{
    Q_OBJECT
public:
    explicit TfrmMaim(QWidget *parent = nullptr);
    ~TfrmMaim() override;             // frees the data manager, clears frmMaim

    QMdiArea *clientArea() const { return m_clientArea; }
    QString panelText(int panel) const;
    QString welcomeText() const { return FWelcomeText; }

    void N24Click();                  // system parameters
    void N2Click();                   // exit
    void SpeedButton4Click();         // meter register
    void N16Click();                  // workshop tree
    void N17Click();                  // meter types
    void N18Click();                  // unit prices
    void N19Click();                  // continuous reading
    void N13Click();                  // reports
    void N6Click();                   // tool bars on/off
    void N7Click();                   // status bar on/off
    void SpeedButton2Click();         // close the active child
    void SpeedButton3Click();         // close all children
    void N4Click();                   // about box
    void Timer1Timer();
    void ShowTaskName(const QString &text);
    // The reading window's news of re-priced readings; its task name again once there is none.
    void ShowReadingStatus(const QString &text);

    // The one way to open a task window: creates it in the child area when its reference is
    // empty, otherwise brings the open one forward; then names the task in the status bar.
    template <typename Window>
    void OpenChild(Window *&reference, const QString &taskName);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void FormCreate();
    QAction *addCommand(QMenu *menu, const char *name, const QString &text);
    QToolButton *addSpeedButton(QToolBar *bar, const char *name, const QString &icon);

    // Shows a dialog modally; the task is named only after the dialog has closed.
    template <typename Dialog>
    void OpenDialog(Dialog *&reference, const QString &taskName);

    QMdiArea *m_clientArea = nullptr;
    QFrame *ControlBar1 = nullptr;
    QToolBar *ToolBar1 = nullptr;
    QToolBar *ToolBar2 = nullptr;
    QStatusBar *StatusBar = nullptr;
    QLabel *m_panels[3] = {};
    QLabel *Image1 = nullptr;         // holds the background picture; never shown itself
    QTimer *Timer1 = nullptr;
    QAction *N6 = nullptr;
    QAction *N7 = nullptr;
    QString FWelcomeText;
    int FWelcomePos = 0;
};

extern TfrmMaim *frmMaim;

template <typename Window>
void TfrmMaim::OpenChild(Window *&reference, const QString &taskName)
{
    if (!reference) {
        reference = new Window;
        QMdiSubWindow *sub = m_clientArea->addSubWindow(reference);
        sub->setAttribute(Qt::WA_DeleteOnClose);
        sub->showMaximized();
    } else if (QWidget *sub = reference->parentWidget()) {
        sub->showNormal();
        sub->showMaximized();
        m_clientArea->setActiveSubWindow(qobject_cast<QMdiSubWindow *>(sub));
    }
    ShowTaskName(taskName);
}

template <typename Dialog>
void TfrmMaim::OpenDialog(Dialog *&reference, const QString &taskName)
{
    if (!reference)
        reference = new Dialog(this);
    // The dialog frees itself when closed and clears its reference.
    reference->exec();
    ShowTaskName(taskName);
}
