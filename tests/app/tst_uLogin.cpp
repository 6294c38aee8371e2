// The login window: which entries admit the operator, the three tries, and the ways it ends the program.
#include "BadInput.h"
#include "Database.h"
#include "MessageRecorder.h"
#include "Password.h"
#include "TestDatabase.h"
#include "UCommon.h"
#include "uLogin.h"
#include "ufrmMaim.h"

#include <QApplication>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

namespace {

const QString wrong = QStringLiteral("登录提示|输入的密码不正确，请确认！|information|Ok");

QLineEdit *edit(TfrmLogin &login)
{
    return login.findChild<QLineEdit *>(QStringLiteral("Edit1"));
}

void click(TfrmLogin &login, const char *button)
{
    QTest::mouseClick(login.findChild<QPushButton *>(QString::fromLatin1(button)), Qt::LeftButton);
}

}

class TstuLogin : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QApplication::setApplicationName(QStringLiteral("Kelvara")); }
    void init();
    void cleanup();
    void password_data();
    void password();
    void thirdWrongEntryEndsTheProgram();
    void enterAndEscapeDoNothing();
    void cancelAndCloseBoxEndWithoutExitQuestion_data();
    void cancelAndCloseBoxEndWithoutExitQuestion();
    void missingDatabaseFile();
    void foreignDatabaseFile();
    void failingPasswordQueryIsNotCounted();
    void badInput_data();
    void badInput();

private:
    int ends = 0;
};

void TstuLogin::init()
{
    ends = 0;
    ClearTerminateRequest();
    SetTerminateHandler([this] { ++ends; });
}

void TstuLogin::cleanup()
{
    SetTerminateHandler({});
    ClearTerminateRequest();
}

void TstuLogin::password_data()
{
    QTest::addColumn<QStringList>("stored");   // CnfgPara passwords, in row order
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("admitted");

    QTest::newRow("exact") << QStringList{ "abc" } << "abc" << true;
    QTest::newRow("typed text trimmed") << QStringList{ "abc" } << " \tabc \r\n" << true;
    QTest::newRow("stored text not trimmed") << QStringList{ " abc" } << " abc" << false;
    QTest::newRow("case differs") << QStringList{ "abc" } << "ABC" << false;
    QTest::newRow("empty table, empty entry") << QStringList{} << "" << true;
    QTest::newRow("empty table, blanks") << QStringList{} << "   " << true;
    QTest::newRow("empty table, text") << QStringList{} << "x" << false;
    QTest::newRow("first row only: second") << QStringList{ "one", "two" } << "two" << false;
    QTest::newRow("first row only: first") << QStringList{ "one", "two" } << "one" << true;
    QTest::newRow("apostrophe") << QStringList{ "a'b" } << "a'b" << true;
    const QString hash = PasswordForStorage(QStringLiteral("秘密 pw"));
    QTest::newRow("hash") << QStringList{ hash } << " 秘密 pw " << true;
    QTest::newRow("hash, case differs") << QStringList{ hash } << "秘密 PW" << false;
    QTest::newRow("the hash text itself") << QStringList{ hash } << hash << false;
}

void TstuLogin::password()
{
    QFETCH(QStringList, stored);
    QFETCH(QString, typed);
    QFETCH(bool, admitted);
    TestDatabase t;
    for (const QString &pw : stored)
        execSql(t.db(), QStringLiteral("INSERT INTO CnfgPara VALUES ('厂', ?)"), { pw });
    MessageRecorder rec;
    TfrmLogin login;
    login.show();
    edit(login)->setText(typed);
    click(login, "BitBtn1");

    QCOMPARE(login.loginOk(), admitted);
    QCOMPARE(login.isVisible(), !admitted);
    // A match leaves no plain-text password behind: an older database's value is replaced by
    // its hash; a refused entry changes nothing.
    QStringList after;
    QSqlQuery q = execSql(t.db(), QStringLiteral("SELECT PassWd FROM CnfgPara"));
    while (q.next())
        after << q.value(0).toString();
    if (admitted && !stored.isEmpty()) {
        QVERIFY(IsPasswordHash(after.first()));
        QVERIFY(PasswordMatches(TrimBlanks(typed), after.first()));
        QCOMPARE(after.mid(1), stored.mid(1));
    } else {
        QCOMPARE(after, stored);
    }
    QVERIFY(!TerminateRequested());
    QCOMPARE(rec.summaries(), admitted ? QStringList{} : QStringList{ wrong });
    if (!admitted) {
        // The typed text stays for another try and the focus is back in the edit.
        QCOMPARE(rec.last().owner, &login);
        QCOMPARE(edit(login)->text(), typed);
        QCOMPARE(login.focusWidget(), edit(login));
        QCOMPARE(login.failCount(), 1);
    }
}

void TstuLogin::thirdWrongEntryEndsTheProgram()
{
    TestDatabase t;
    t.setUsingUnit(QStringLiteral("厂"), QStringLiteral("pw"));
    MessageRecorder rec;
    TfrmLogin login;
    login.show();
    QTest::keyClicks(edit(login), QStringLiteral("Pw"));
    for (int i = 0; i < 4; ++i)
        click(login, "BitBtn1");

    // From the request on nothing more is shown.
    QCOMPARE(rec.summaries(), QStringList({ wrong, wrong, QStringLiteral("提示|你无权使用本系统！|information|Ok") }));
    QVERIFY(TerminateRequested());
    QCOMPARE(ends, 1);
    QVERIFY(!login.loginOk());
}

void TstuLogin::enterAndEscapeDoNothing()
{
    TestDatabase t;
    t.setUsingUnit(QStringLiteral("厂"), QStringLiteral("pw"));
    MessageRecorder rec;
    TfrmLogin login;
    login.show();
    QCOMPARE(login.focusWidget(), edit(login));
    QTest::keyClicks(edit(login), QStringLiteral("pw"));
    for (Qt::Key key : { Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape })
        QTest::keyClick(edit(login), key);
    QVERIFY(login.isVisible());
    QVERIFY(!login.loginOk());
    QVERIFY(rec.boxes().isEmpty());
    QVERIFY(!TerminateRequested());

    // Tabbed to, the OK button is pressed with Enter.
    QTest::keyClick(edit(login), Qt::Key_Tab);
    QCOMPARE(login.focusWidget()->objectName(), QStringLiteral("BitBtn1"));
    QTest::keyClick(login.focusWidget(), Qt::Key_Return);
    QVERIFY(login.loginOk());
}

void TstuLogin::cancelAndCloseBoxEndWithoutExitQuestion_data()
{
    QTest::addColumn<bool>("closeBox");
    QTest::newRow("cancel button") << false;
    QTest::newRow("close box") << true;
}

void TstuLogin::cancelAndCloseBoxEndWithoutExitQuestion()
{
    QFETCH(bool, closeBox);
    TestDatabase t;
    t.setUsingUnit(QStringLiteral("厂"), QStringLiteral("pw"));
    MessageRecorder rec;
    {
        TfrmLogin login;
        login.show();
        QTest::keyClicks(edit(login), QStringLiteral("pw"));
        if (closeBox)
            login.close();
        else
            click(login, "BitBtn2");
        QVERIFY(!login.loginOk());
    }
    QVERIFY(TerminateRequested());
    QCOMPARE(ends, 1);

    // Should a main window exist by then, it ends without asking.
    TfrmMaim main;
    main.show();
    QVERIFY(main.close());
    QVERIFY(rec.boxes().isEmpty());
}

void TstuLogin::missingDatabaseFile()
{
    TestDatabase t;
    Database::closeConnection();
    QVERIFY(QFile::remove(t.path()));
    MessageRecorder rec;
    TfrmLogin login;
    QCOMPARE(rec.summaries(), QStringList{ QStringLiteral("错误|数据库文件不存在！|critical|Ok") });
    QCOMPARE(rec.last().owner, &login);
    QVERIFY(TerminateRequested());
    QCOMPARE(ends, 1);
    QVERIFY(!QFile::exists(t.path()));
}

// Another program's database (here: an empty file) is named as such and left as it is.
void TstuLogin::foreignDatabaseFile()
{
    TestDatabase t;
    Database::closeConnection();
    QFile f(t.path());
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.close();
    MessageRecorder rec;
    TfrmLogin login;
    QCOMPARE(rec.summaries(), QStringList{ QStringLiteral("错误|不是 Kelvara 的数据库文件：") + t.path() + QStringLiteral("|critical|Ok") });
    QVERIFY(TerminateRequested());
    QCOMPARE(ends, 1);
    QCOMPARE(QFileInfo(t.path()).size(), 0);
}

void TstuLogin::failingPasswordQueryIsNotCounted()
{
    TestDatabase t;
    execSql(t.db(), QStringLiteral("DROP TABLE CnfgPara"));
    MessageRecorder rec;
    TfrmLogin login;
    login.show();
    for (int i = 0; i < 3; ++i)
        click(login, "BitBtn1");

    const QString error = QStringLiteral("Kelvara|no such table: CnfgPara.|critical|Ok");
    QCOMPARE(rec.summaries(), QStringList({ error, error, error }));
    QCOMPARE(login.failCount(), 0);
    QVERIFY(login.isVisible());
    QVERIFY(!TerminateRequested());
}

void TstuLogin::badInput_data()
{
    using namespace BadInput;
    QTest::addColumn<QString>("password");   // set through the parameters dialog, so stored as a hash
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("admitted");

    const QString longPassword = repeated(QStringLiteral("密码pw"), 10000);
    QTest::newRow("statement against pw") << "pw" << dropTable << false;
    QTest::newRow("always-true condition") << "pw" << orTrue << false;
    QTest::newRow("percent") << "pw" << "%" << false;
    QTest::newRow("underscores") << "pw" << "__" << false;
    QTest::newRow("blanks only") << "pw" << "    " << false;
    QTest::newRow("empty") << "pw" << "" << false;
    QTest::newRow("10,000 characters pasted") << "pw" << repeated(QStringLiteral("pw"), 10000) << false;
    QTest::newRow("password is a statement") << dropTable << dropTable << true;
    QTest::newRow("password of quotes") << quotes << quotes << true;
    QTest::newRow("password of wildcards, one typed") << wildcards << "%" << false;
    QTest::newRow("emoji") << emoji << emoji << true;
    QTest::newRow("emoji, last one missing") << emoji << emoji.chopped(2) << false;
    QTest::newRow("10,000-character password") << longPassword << longPassword << true;
    QTest::newRow("10,000-character password, one short") << longPassword << longPassword.chopped(1) << false;
}

void TstuLogin::badInput()
{
    QFETCH(QString, password);
    QFETCH(QString, typed);
    QFETCH(bool, admitted);
    TestDatabase t;
    t.setUsingUnit(QStringLiteral("厂"), PasswordForStorage(password));
    const QString schema = BadInput::schemaOf(t.db());
    MessageRecorder rec;
    TfrmLogin login;
    login.show();
    BadInput::enter(edit(login), typed);
    QCOMPARE(edit(login)->text(), typed);
    click(login, "BitBtn1");

    QCOMPARE(login.loginOk(), admitted);
    QCOMPARE(rec.summaries(), admitted ? QStringList{} : QStringList{ wrong });
    QCOMPARE(BadInput::schemaOf(t.db()), schema);
    QVERIFY(PasswordMatches(password, t.scalar(QStringLiteral("SELECT PassWd FROM CnfgPara")).toString()));
}

QTEST_MAIN(TstuLogin)
#include "tst_uLogin.moc"
