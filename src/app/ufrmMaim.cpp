#include "ufrmMaim.h"

#include "Guarded.h"
#include "Messages.h"
#include "UCommon.h"
#include "ufrmAbout.h"
#include "ufrmCnfgPara.h"
#include "ufrmMeter.h"
#include "ufrmMeterSort.h"
#include "ufrmPrice.h"
#include "ufrmReport.h"
#include "ufrmTakeMeter.h"
#include "ufrmWorkshop.h"

#include <QAction>
#include <QCloseEvent>
#include <QLabel>
#include <QMenuBar>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

TfrmMaim *frmMaim = nullptr;

namespace {

// Length in bytes of the text as the office's double-byte code page stores it.
int doubleByteLength(const QString &text)
{
    int bytes = 0;
    for (const QChar c : text)
        bytes += c.unicode() < 0x80 ? 1 : 2;
    return bytes;
}

// The text from a byte offset on; a character cut in two by the offset is left out.
QString fromByteOffset(const QString &text, int offset)
{
    int bytes = 0;
    int i = 0;
    while (i < text.size() && bytes < offset) {
        bytes += text.at(i).unicode() < 0x80 ? 1 : 2;
        ++i;
    }
    return text.mid(i);
}

}

TfrmMaim::TfrmMaim(QWidget *parent) : QMainWindow(parent)
{
    frmMaim = this;
    setObjectName(QStringLiteral("frmMaim"));
    setWindowTitle(QStringLiteral("frmMaim"));
    setGeometry(184, 403, 406, 275);

    QMenuBar *MainMenu1 = menuBar();
    MainMenu1->setObjectName(QStringLiteral("MainMenu1"));
    auto addMenu = [&](const char *name, const QString &title) {
        QMenu *menu = MainMenu1->addMenu(title);
        menu->setObjectName(QString::fromLatin1(name));
        return menu;
    };
    QMenu *N1 = addMenu("N1", QStringLiteral("系统"));
    connect(addCommand(N1, "N24", QStringLiteral("系统参数配置")), &QAction::triggered, this, &TfrmMaim::N24Click);
    QAction *N23 = N1->addSeparator();
    N23->setObjectName(QStringLiteral("N23"));
    N23->setEnabled(false);
    connect(addCommand(N1, "N2", QStringLiteral("退出")), &QAction::triggered, this, &TfrmMaim::N2Click);

    QMenu *N14 = addMenu("N14", QStringLiteral("字典维护"));
    connect(addCommand(N14, "N15", QStringLiteral("编号维护")), &QAction::triggered, this,
            &TfrmMaim::SpeedButton4Click);
    connect(addCommand(N14, "N16", QStringLiteral("车间维护")), &QAction::triggered, this, &TfrmMaim::N16Click);
    connect(addCommand(N14, "N17", QStringLiteral("类型维护")), &QAction::triggered, this, &TfrmMaim::N17Click);
    connect(addCommand(N14, "N18", QStringLiteral("单价维护")), &QAction::triggered, this, &TfrmMaim::N18Click);

    QMenu *N11 = addMenu("N11", QStringLiteral("抄表"));
    connect(addCommand(N11, "N19", QStringLiteral("连续式抄表")), &QAction::triggered, this, &TfrmMaim::N19Click);

    QMenu *N12 = addMenu("N12", QStringLiteral("报表管理"));
    connect(addCommand(N12, "N13", QStringLiteral("报表生成")), &QAction::triggered, this, &TfrmMaim::N13Click);

    QMenu *N5 = addMenu("N5", QStringLiteral("窗口"));
    N6 = addCommand(N5, "N6", QStringLiteral("工具栏"));
    N6->setCheckable(true);
    N6->setChecked(true);
    connect(N6, &QAction::triggered, this, &TfrmMaim::N6Click);
    N7 = addCommand(N5, "N7", QStringLiteral("状态栏"));
    N7->setCheckable(true);
    N7->setChecked(true);
    connect(N7, &QAction::triggered, this, &TfrmMaim::N7Click);
    N5->addSeparator()->setObjectName(QStringLiteral("N8"));
    connect(addCommand(N5, "N9", QStringLiteral("关闭子窗体")), &QAction::triggered, this,
            &TfrmMaim::SpeedButton2Click);
    connect(addCommand(N5, "N10", QStringLiteral("关闭所有子窗体")), &QAction::triggered, this,
            &TfrmMaim::SpeedButton3Click);

    QMenu *N3 = addMenu("N3", QStringLiteral("帮助"));
    addCommand(N3, "N22", QStringLiteral("帮助"));
    N3->addSeparator()->setObjectName(QStringLiteral("N21"));
    connect(addCommand(N3, "N4", QStringLiteral("关于...")), &QAction::triggered, this, &TfrmMaim::N4Click);

    // The band container holds the two tool bars at their places above the child area;
    // hiding it hides both and gives its height to the child area.
    auto *frame = new QWidget(this);
    frame->setObjectName(QStringLiteral("ClientFrame"));
    auto *column = new QVBoxLayout(frame);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    ControlBar1 = new QFrame(frame);
    ControlBar1->setObjectName(QStringLiteral("ControlBar1"));
    ControlBar1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    ControlBar1->setFixedHeight(56);
    ToolBar2 = new QToolBar(ControlBar1);
    ToolBar2->setObjectName(QStringLiteral("ToolBar2"));
    ToolBar2->setGeometry(11, 4, 150, 48);
    ToolBar1 = new QToolBar(ControlBar1);
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setGeometry(174, 4, 150, 48);
    for (QToolBar *bar : { ToolBar2, ToolBar1 }) {
        bar->setStyleSheet(QStringLiteral("QToolBar { spacing: 0px; padding: 0px; border: 0px; }"));
        bar->setMovable(false);
        bar->setIconSize(QSize(32, 32));
    }
    connect(addSpeedButton(ToolBar2, "SpeedButton4", QStringLiteral(":/icons/meter.png")), &QToolButton::clicked,
            this, &TfrmMaim::SpeedButton4Click);
    connect(addSpeedButton(ToolBar2, "SpeedButton5", QStringLiteral(":/icons/reading.png")), &QToolButton::clicked,
            this, &TfrmMaim::N19Click);
    connect(addSpeedButton(ToolBar2, "SpeedButton6", QStringLiteral(":/icons/report.png")), &QToolButton::clicked,
            this, &TfrmMaim::N13Click);
    connect(addSpeedButton(ToolBar1, "SpeedButton2", QStringLiteral(":/icons/close.png")), &QToolButton::clicked,
            this, &TfrmMaim::SpeedButton2Click);
    connect(addSpeedButton(ToolBar1, "SpeedButton3", QStringLiteral(":/icons/closeall.png")), &QToolButton::clicked,
            this, &TfrmMaim::SpeedButton3Click);
    connect(addSpeedButton(ToolBar1, "SpeedButton1", QStringLiteral(":/icons/exit.png")), &QToolButton::clicked,
            this, &TfrmMaim::N2Click);

    m_clientArea = new QMdiArea(frame);
    m_clientArea->setObjectName(QStringLiteral("ClientArea"));
    column->addWidget(ControlBar1);
    column->addWidget(m_clientArea, 1);
    setCentralWidget(frame);

    StatusBar = new QStatusBar(this);
    StatusBar->setObjectName(QStringLiteral("StatusBar"));
    setStatusBar(StatusBar);
    const int widths[3] = { 150, 200, 50 };
    for (int i = 0; i < 3; ++i) {
        m_panels[i] = new QLabel(StatusBar);
        m_panels[i]->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        m_panels[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        m_panels[i]->setMinimumWidth(widths[i]);
        if (i < 2)
            m_panels[i]->setFixedWidth(widths[i]);
        StatusBar->addWidget(m_panels[i], i == 2 ? 1 : 0);   // the last panel runs to the edge
    }

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(400);
    connect(Timer1, &QTimer::timeout, this, &TfrmMaim::Timer1Timer);
    Timer1->start();

    FormCreate();
}

// The data manager is a child made after the child area, so it outlives every task window.
TfrmMaim::~TfrmMaim()
{
    if (frmMaim == this)
        frmMaim = nullptr;
}

QAction *TfrmMaim::addCommand(QMenu *menu, const char *name, const QString &text)
{
    QAction *action = menu->addAction(text);
    action->setObjectName(QString::fromLatin1(name));
    return action;
}

QToolButton *TfrmMaim::addSpeedButton(QToolBar *bar, const char *name, const QString &icon)
{
    auto *button = new QToolButton(bar);
    button->setObjectName(QString::fromLatin1(name));
    button->setIcon(QIcon(icon));
    button->setIconSize(QSize(32, 32));
    button->setFixedSize(49, 43);
    button->setAutoRaise(true);
    button->setToolButtonStyle(Qt::ToolButtonIconOnly);
    bar->addWidget(button);
    return button;
}

void TfrmMaim::FormCreate()
{
    KelvaraMg = new TKelvaraMg(this);
    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->hide();
    Image1->setPixmap(QPixmap(QStringLiteral(":/images/background.png")));
    // Each tile is the whole picture, repeated across and down from the top-left corner.
    m_clientArea->setBackground(QBrush(Image1->pixmap()));
    FWelcomeText = QString(20, u' ') + QStringLiteral("欢迎使用《Kelvara》  版本：V0.0.1 Beta") + QString(20, u' ');
    QString unit;
    if (!TerminateRequested())
        Guarded(this, [&] { unit = KelvaraMg->GetUsingUnitName(); });
    m_panels[1]->setText(QStringLiteral("使用单位：") + unit);
}

QString TfrmMaim::panelText(int panel) const
{
    return (panel >= 0 && panel < 3) ? m_panels[panel]->text() : QString();
}

void TfrmMaim::ShowReadingStatus(const QString &text)
{
    ShowTaskName(text.isEmpty() ? QStringLiteral("连续式抄表") : text);
}

void TfrmMaim::ShowTaskName(const QString &text)
{
    m_panels[0]->setText(text);
    m_panels[0]->repaint();
}

void TfrmMaim::Timer1Timer()
{
    const int length = doubleByteLength(FWelcomeText);
    m_panels[2]->setText(fromByteOffset(FWelcomeText, 2 * FWelcomePos));
    ++FWelcomePos;
    if (length - 1 < 2 * FWelcomePos + 1)
        FWelcomePos = 0;
}

void TfrmMaim::N24Click()
{
    OpenDialog(frmCnfgPara, QStringLiteral("系统参数配置！"));
}

void TfrmMaim::N2Click()
{
    close();
}

void TfrmMaim::SpeedButton4Click()
{
    OpenChild(frmMeter, QStringLiteral("编号维护"));
    connect(frmMeter, &TfrmMeter::statusMessage, this, &TfrmMaim::ShowReadingStatus, Qt::UniqueConnection);
}

void TfrmMaim::N16Click()
{
    OpenChild(frmWorkshop, QStringLiteral("车间班组信息维护"));
}

void TfrmMaim::N17Click()
{
    OpenChild(frmMeterSort, QStringLiteral("类型维护"));
}

void TfrmMaim::N18Click()
{
    OpenChild(frmPrice, QStringLiteral("单价维护"));
}

void TfrmMaim::N19Click()
{
    OpenChild(frmTakeMeter, QStringLiteral("连续式抄表"));
    connect(frmTakeMeter, &TfrmTakeMeter::statusMessage, this, &TfrmMaim::ShowReadingStatus, Qt::UniqueConnection);
}

void TfrmMaim::N13Click()
{
    OpenChild(frmReport, QStringLiteral("报表管理"));
}

void TfrmMaim::N6Click()
{
    N6->setChecked(ControlBar1->isHidden());
    ControlBar1->setVisible(ControlBar1->isHidden());
}

void TfrmMaim::N7Click()
{
    N7->setChecked(StatusBar->isHidden());
    StatusBar->setVisible(StatusBar->isHidden());
}

void TfrmMaim::SpeedButton2Click()
{
    // The current child stays current while a menu or another program has the focus.
    if (QMdiSubWindow *active = m_clientArea->currentSubWindow())
        active->close();
    else if (!m_clientArea->subWindowList().isEmpty())
        m_clientArea->subWindowList(QMdiArea::StackingOrder).constLast()->close();
}

void TfrmMaim::SpeedButton3Click()
{
    const QList<QMdiSubWindow *> children = m_clientArea->subWindowList();
    for (QMdiSubWindow *child : children)
        child->close();
}

void TfrmMaim::N4Click()
{
    OpenDialog(frmAbout, QStringLiteral("关于..."));
}

void TfrmMaim::closeEvent(QCloseEvent *event)
{
    if (TerminateRequested()) {
        event->accept();
        return;
    }
    const auto answer = ShowMessageBox(this, QStringLiteral("确定要退出本系统吗？"), QStringLiteral("退出提示"),
                                       QMessageBox::Information, QMessageBox::Yes | QMessageBox::No);
    if (answer == QMessageBox::Yes)
        event->accept();
    else
        event->ignore();
}
