#include "ufrmCnfgPara.h"

#include "ButtonKeys.h"
#include "DataSet.h"
#include "Database.h"
#include "Guarded.h"
#include "LineLimit.h"
#include "Messages.h"
#include "SystemParameters.h"
#include "UCommon.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

TfrmCnfgPara *frmCnfgPara = nullptr;

namespace {

const QString emptyValuesText = QStringLiteral("请输入单位名称或密码！");

// A label as wide and as high as its text needs, centred on its designed rectangle's middle line:
// the designed height holds no line of Chinese at this size.
void placeLabel(QLabel *label, int left, int top, int height)
{
    label->adjustSize();
    label->move(left, top + (height - label->height()) / 2);
}

}

TfrmCnfgPara::TfrmCnfgPara(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmCnfgPara"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("系统参数配置"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint
                   | Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint);
    setFixedSize(349, 172);
    QFont f = font();
    f.setPixelSize(13);
    setFont(f);

    Label1 = new QLabel(QStringLiteral("单位名称"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    placeLabel(Label1, 73, 36, 13);
    Label2 = new QLabel(QStringLiteral("密码"), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    placeLabel(Label2, 88, 72, 13);
    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(32, 40, 41, 41);
    Image1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Image1->setPixmap(QPixmap(QStringLiteral(":/icons/settings.png")));

    edtUnitName = new QLineEdit(this);
    edtUnitName->setObjectName(QStringLiteral("edtUnitName"));
    edtUnitName->setGeometry(136, 32, 177, 21);
    // The name is also the root row's WrokShopName, which the workshop window edits in a box of
    // 50 characters: a longer name would be cut there without a word.
    SetLineLimit(edtUnitName, 50);
    maskPw = new QLineEdit(this);
    maskPw->setObjectName(QStringLiteral("maskPw"));
    maskPw->setGeometry(136, 64, 177, 21);
    maskPw->setEchoMode(QLineEdit::Password);
    maskPw->setStyleSheet(QStringLiteral("lineedit-password-character: 35"));   // '#'

    BitBtn1 = new QPushButton(QStringLiteral("确定"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setGeometry(88, 127, 75, 25);
    BitBtn2 = new QPushButton(QStringLiteral("取消"), this);
    BitBtn2->setObjectName(QStringLiteral("BitBtn2"));
    BitBtn2->setGeometry(216, 127, 75, 25);
    // Enter belongs to the edits' own handlers, not to a default button; on a button that has
    // the focus it presses that button.
    for (QPushButton *b : { BitBtn1, BitBtn2 }) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }
    EnterPressesFocusedButton(this);
    setTabOrder(edtUnitName, maskPw);
    setTabOrder(maskPw, BitBtn1);
    setTabOrder(BitBtn1, BitBtn2);
    edtUnitName->setFocus();
    edtUnitName->installEventFilter(this);
    maskPw->installEventFilter(this);

    adoCfngPara = new DataSet(this);
    adoCfngPara->setObjectName(QStringLiteral("adoCfngPara"));
    adoCfngPara->setSql(SystemParameters::selectSql());

    connect(BitBtn1, &QPushButton::clicked, this, &TfrmCnfgPara::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &TfrmCnfgPara::BitBtn2Click);
}

TfrmCnfgPara::~TfrmCnfgPara()
{
    if (frmCnfgPara == this)
        frmCnfgPara = nullptr;
}

void TfrmCnfgPara::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!adoCnfgParaCmd)
        FormShow();
}

void TfrmCnfgPara::FormShow()
{
    adoCnfgParaCmd = new DataSet(this);
    adoCnfgParaCmd->setObjectName(QStringLiteral("adoCnfgParaCmd"));
    Guarded(this, [&] {
        KelvaraMg->BindQuery(adoCfngPara);
        if (!adoCfngPara->isActive())
            adoCfngPara->open();
        if (adoCfngPara->recordCount() == 1) {
            edtUnitName->setText(adoCfngPara->asString(QStringLiteral("UseUnitName")));
            maskPw->setText(adoCfngPara->asString(QStringLiteral("PassWd")));
        }
        KelvaraMg->BindQuery(adoCnfgParaCmd);
    });
}

bool TfrmCnfgPara::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            if (watched == edtUnitName)
                edtUnitNameKeyPress(QChar(13));
            else if (watched == maskPw)
                maskPwKeyPress(QChar(13));
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TfrmCnfgPara::edtUnitNameKeyPress(QChar key)
{
    if (key != QChar(13))
        return;
    if (!TrimBlanks(edtUnitName->text()).isEmpty()) {
        maskPw->setFocus();
        return;
    }
    KelvaraMg->ShowMessageText(emptyValuesText);
}

void TfrmCnfgPara::maskPwKeyPress(QChar key)
{
    if (key != QChar(13))
        return;
    if (!TrimBlanks(edtUnitName->text()).isEmpty() && !TrimBlanks(maskPw->text()).isEmpty()) {
        BitBtn1Click();
        return;
    }
    KelvaraMg->ShowMessageText(emptyValuesText);
    edtUnitName->setFocus();
}

void TfrmCnfgPara::BitBtn1Click()
{
    Guarded(this, [&] {
        const QString name = TrimBlanks(edtUnitName->text());
        const QString password = TrimBlanks(maskPw->text());
        if (name.isEmpty() || password.isEmpty()) {
            KelvaraMg->ShowMessageText(emptyValuesText);
            edtUnitName->setFocus();
            return;
        }
        // The root row's name decides, not the parameter row's: they can differ.
        const bool nameChanged = KelvaraMg->GetUsingUnitName() != name;
        if (nameChanged
            && ShowMessageBox(this, QStringLiteral("如果你改变了使用单位名称，系统将删除所有的历史数据！并且不能恢复！"),
                              QStringLiteral("警告"), QMessageBox::Warning, QMessageBox::Ok | QMessageBox::Cancel)
                != QMessageBox::Ok)
            return;

        adoCfngPara->close();
        const auto result = SystemParameters::submit(adoCnfgParaCmd->database(), Database::path(),
                                                     { name, password, nameChanged });
        switch (result.outcome) {
        case SystemParameters::Outcome::Done:
            KelvaraMg->ShowMessageText(QStringLiteral("数据提交完成！"));
            close();
            return;
        case SystemParameters::Outcome::BackupFailed:
            KelvaraMg->ShowMessageText(QStringLiteral("数据库备份失败，没有修改任何数据！\n原因：") + result.reason);
            break;
        case SystemParameters::Outcome::Failed:
            KelvaraMg->ShowMessageText(QStringLiteral("提交数据出错！"));
            break;
        }
        // Nothing was written: read the row again so that another OK starts from the stored state.
        adoCfngPara->open();
    });
}

void TfrmCnfgPara::BitBtn2Click()
{
    close();
}
