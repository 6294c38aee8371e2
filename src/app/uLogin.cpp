#include "uLogin.h"

#include "ButtonKeys.h"
#include "DataSet.h"
#include "Database.h"
#include "Engine.h"
#include "Guarded.h"
#include "Messages.h"
#include "Password.h"
#include "SqliteFile.h"
#include "UCommon.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

TfrmLogin *frmLogin = nullptr;

TfrmLogin::TfrmLogin(QWidget *parent) : QDialog(parent)
{
    frmLogin = this;
    setObjectName(QStringLiteral("frmLogin"));
    setWindowTitle(QStringLiteral("frmLogin"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint
                   | Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint);
    setFixedSize(351, 181);
    QFont f = font();
    f.setPixelSize(15);
    setFont(f);

    Label1 = new QLabel(QStringLiteral("请输入使用密码"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(24, 48, 105, 15);
    Edit1 = new QLineEdit(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setGeometry(138, 43, 169, 23);
    Edit1->setEchoMode(QLineEdit::Password);
    Edit1->setStyleSheet(QStringLiteral("lineedit-password-character: 35"));   // '#'
    BitBtn1 = new QPushButton(QStringLiteral("确定"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setGeometry(80, 120, 75, 25);
    BitBtn2 = new QPushButton(QStringLiteral("取消"), this);
    BitBtn2->setObjectName(QStringLiteral("BitBtn2"));
    BitBtn2->setGeometry(192, 120, 75, 25);
    // Neither button is a default button: Enter in the edit does nothing, Enter on a button
    // that has the focus presses it.
    for (QPushButton *b : { BitBtn1, BitBtn2 }) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }
    EnterPressesFocusedButton(this);
    setTabOrder(Edit1, BitBtn1);
    setTabOrder(BitBtn1, BitBtn2);
    Edit1->setFocus();

    ADOQuery1 = new DataSet(this);
    ADOQuery1->setObjectName(QStringLiteral("ADOQuery1"));
    ADOQuery1->setSql(QStringLiteral("select Passwd from CnfgPara"));

    connect(BitBtn1, &QPushButton::clicked, this, &TfrmLogin::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &TfrmLogin::BitBtn2Click);
    FormCreate();
}

TfrmLogin::~TfrmLogin()
{
    if (frmLogin == this)
        frmLogin = nullptr;
}

void TfrmLogin::FormCreate()
{
    ADOQuery1->setConnectionName(Database::mainConnectionName());
    if (!Database::exists()) {
        ShowMessageBox(this, QStringLiteral("数据库文件不存在！"), QStringLiteral("错误"), QMessageBox::Critical);
        RequestTerminate();
    } else if (Database::isFile() && SqliteFile::inspect(Database::path()) == SqliteFile::Kind::Foreign) {
        // Another program's file (or a folder, an empty file) is not opened, let alone written.
        ShowMessageBox(this, SqliteFile::foreignText(Database::path()), QStringLiteral("错误"), QMessageBox::Critical);
        RequestTerminate();
    }
}

QString TfrmLogin::ReadPassword()
{
    if (!ADOQuery1->isActive())
        ADOQuery1->open();
    if (ADOQuery1->isEmpty())
        return {};
    return ADOQuery1->value(0).toString();
}

void TfrmLogin::BitBtn1Click()
{
    Guarded(this, [&] {
        FLoginOk = false;
        const QString typed = TrimBlanks(Edit1->text());
        const QString stored = ReadPassword();
        if (PasswordMatches(typed, stored)) {
            if (!ADOQuery1->isEmpty() && !IsPasswordHash(stored))
                HashStoredPassword(typed);
            FLoginOk = true;
            accept();
            return;
        }
        if (FFailCount >= 2) {
            ShowMessageBox(this, QStringLiteral("你无权使用本系统！"), QStringLiteral("提示"),
                           QMessageBox::Information);
            RequestTerminate();
            return;
        }
        ShowMessageBox(this, QStringLiteral("输入的密码不正确，请确认！"), QStringLiteral("登录提示"),
                       QMessageBox::Information);
        Edit1->setFocus();
        FLoginOk = false;
        ++FFailCount;
    });
}

// An older database keeps the password as plain text: the first match replaces it by its hash.
// The login does not depend on it; a database that refuses the write is asked again next time.
void TfrmLogin::HashStoredPassword(const QString &password)
{
    try {
        execSql(ADOQuery1->database(),
                QStringLiteral("UPDATE CnfgPara SET PassWd = ? WHERE %1 = (SELECT %1 FROM CnfgPara LIMIT 1)")
                    .arg(Engine::of(ADOQuery1->database()).rowIdentity()),
                { PasswordForStorage(password) });
    } catch (const std::exception &) {
    }
}

void TfrmLogin::BitBtn2Click()
{
    RequestTerminate();
}

void TfrmLogin::closeEvent(QCloseEvent *event)
{
    if (!FLoginOk)
        RequestTerminate();
    QDialog::closeEvent(event);
}

void TfrmLogin::keyPressEvent(QKeyEvent *event)
{
    // Enter and Esc do nothing here; only the buttons act.
    if (event->key() == Qt::Key_Escape || event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}
