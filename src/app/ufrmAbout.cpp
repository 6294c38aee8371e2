#include "ufrmAbout.h"

#include "Guarded.h"
#include "Messages.h"
#include "SystemInfo.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>

TfrmAbout *frmAbout = nullptr;

namespace {

// Address of the people who look after the program.
const QString contactAddress = QStringLiteral("kelvara-support@example.org");

QLabel *addLabel(QWidget *parent, const char *name, const QString &text, int left, int top, int width)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->move(left, top);
    label->adjustSize();
    // The designed width is the least; a longer text widens the label rather than being cut.
    label->resize(qMax(width, label->width()), label->height());
    return label;
}

}

TfrmAbout::TfrmAbout(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmAbout"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("关于..."));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint
                   | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint);
    setFixedSize(435, 269);
    move(272, 200);
    QFont f = font();
    f.setPixelSize(12);
    setFont(f);

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(16, 16, 105, 201);
    Image1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Image1->setPixmap(QPixmap(QStringLiteral(":/images/about.png")));

    Label1 = addLabel(this, "Label1", QStringLiteral("欢迎使用《Kelvara》！"), 136, 24, 177);
    Label2 = addLabel(this, "Label2", QStringLiteral("版本：v0.0.1 Beta 测试版"), 136, 44, 201);
    Label3 = addLabel(this, "Label3", QStringLiteral("如果在使用中有什么意见或建议，请致信到："), 136, 64, 281);
    Label4 = addLabel(this, "Label4", QStringLiteral("E_Mail:  ") + contactAddress, 136, 80, 161);
    lblMemory = addLabel(this, "lblMemory", QStringLiteral("系统资源："), 136, 160, 273);
    lblOS = addLabel(this, "lblOS", QStringLiteral("当前操作系统："), 136, 184, 0);

    Shape1 = new QFrame(this);
    Shape1->setObjectName(QStringLiteral("Shape1"));
    Shape1->setGeometry(13, 226, 419, 2);
    Shape1->setFrameStyle(QFrame::HLine | QFrame::Sunken);

    BitBtn1 = new QPushButton(QStringLiteral("确定"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setGeometry(237, 237, 75, 25);
    BitBtn1->setFocus();
    connect(BitBtn1, &QPushButton::clicked, this, &TfrmAbout::BitBtn1Click);
}

TfrmAbout::~TfrmAbout()
{
    if (frmAbout == this)
        frmAbout = nullptr;
}

void TfrmAbout::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!m_shown) {
        m_shown = true;
        FormShow();
    }
}

void TfrmAbout::FormShow()
{
    Guarded(this, [&] { CompleteLines(ReadSystemFacts()); });
}

void TfrmAbout::CompleteLines(const SystemFacts &facts)
{
    const AboutLines lines = ComposeAboutLines(facts, QLocale());
    // The carriage return puts the version on a line of its own.
    lblOS->setText(QString(lines.system).replace(QChar(13), QChar(u'\n')));
    lblOS->adjustSize();
    lblMemory->setText(lines.memory);
    lblMemory->adjustSize();
    lblMemory->resize(qMax(273, lblMemory->width()), lblMemory->height());
    // A long system name widens the dialog instead of being cut off at its edge.
    const int needed = qMax(lblOS->geometry().right(), lblMemory->geometry().right()) + 16;
    if (needed > width())
        setFixedWidth(needed);
    if (!lines.complete)
        ShowMessageBox(this, QStringLiteral("系统某些信息不能取得！"), QStringLiteral("提示"), QMessageBox::Warning);
}

void TfrmAbout::BitBtn1Click()
{
    close();
}
