// The login window: which entries admit the operator, the three tries, and the ways it ends the program.
#include "Database.h"
#include "MessageRecorder.h"
#include "TestDatabase.h"
#include "UCommon.h"
#include "uLogin.h"
#include "ufrmMaim.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

class TstuLogin : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void password_data();
    void password();
    void thirdWrongEntryEndsTheProgram();
    void enterAndEscapeDoNothing();
    void cancelAndCloseBoxEndWithoutExitQuestion_data();
    void cancelAndCloseBoxEndWithoutExitQuestion();
    void missingDatabaseFile();
    void failingPasswordQueryIsNotCounted();

private:
    static QLineEdit *edit(TfrmLogin &login) { return login.findChild<QLineEdit *>(QStringLiteral("Edit1")); }
    static QPushButton *button(TfrmLogin &login, const char *name)
    {
        return login.findChild<QPushButton *>(QString::fromLatin1(name));
    }
    int ends = 0;
};

void TstuLogin::initTestCase()
{
    QApplication::setApplicationName(QStringLiteral("Kelvara"));
}

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
    QTest::mouseClick(button(login, "BitBtn1"), Qt::LeftButton);

    QCOMPARE(login.loginOk(), admitted);
    QCOMPARE(login.isVisible(), !admitted);
    QVERIFY(!TerminateRequested());
    if (admitted) {
        QCOMPARE(login.result(), int(QDialog::Accepted));
        QVERIFY(rec.boxes().isEmpty());
        return;
    }
    QCOMPARE(rec.boxes().size(), 1);
    QCOMPARE(rec.last().text, QStringLiteral("输入的密码不正确，请确认！"));
    QCOMPARE(rec.last().caption, QStringLiteral("登录提示"));
    QCOMPARE(rec.last().icon, QMessageBox::Information);
    QCOMPARE(rec.last().buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(rec.last().owner, &login);
    // The typed text stays for another try and the focus is back in the edit.
    QCOMPARE(edit(login)->text(), typed);
    QCOMPARE(login.focusWidget(), edit(login));
    QCOMPARE(login.failCount(), 1);
}

void TstuLogin::thirdWrongEntryEndsTheProgram()
{
    TestDatabase t;
    t.setUsingUnit(QStringLiteral("厂"), QStringLiteral("pw"));
    MessageRecorder rec;
    TfrmLogin login;
    login.show();
    QTest::keyClicks(edit(login), QStringLiteral("Pw"));
    for (int i = 0; i < 3; ++i)
        QTest::mouseClick(button(login, "BitBtn1"), Qt::LeftButton);

    QCOMPARE(rec.texts(), QStringList({ "输入的密码不正确，请确认！", "输入的密码不正确，请确认！", "你无权使用本系统！" }));
    QCOMPARE(rec.last().caption, QStringLiteral("提示"));
    QCOMPARE(rec.last().icon, QMessageBox::Information);
    QCOMPARE(rec.last().buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QVERIFY(TerminateRequested());
    QCOMPARE(ends, 1);
    QVERIFY(!login.loginOk());

    // From the request on nothing more is shown.
    QTest::mouseClick(button(login, "BitBtn1"), Qt::LeftButton);
    QCOMPARE(rec.boxes().size(), 3);
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
    QTest::keyClick(edit(login), Qt::Key_Return);
    QTest::keyClick(edit(login), Qt::Key_Enter);
    QTest::keyClick(edit(login), Qt::Key_Escape);
    QVERIFY(login.isVisible());
    QVERIFY(!login.loginOk());
    QVERIFY(rec.boxes().isEmpty());
    QVERIFY(!TerminateRequested());
    QCOMPARE(edit(login)->text(), QStringLiteral("pw"));

    QTest::mouseClick(button(login, "BitBtn1"), Qt::LeftButton);
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
            QTest::mouseClick(button(login, "BitBtn2"), Qt::LeftButton);
        QVERIFY(!login.loginOk());
    }
    QVERIFY(TerminateRequested());
    QCOMPARE(ends, 1);
    QVERIFY(rec.boxes().isEmpty());

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
    QCOMPARE(rec.boxes().size(), 1);
    QCOMPARE(rec.last().text, QStringLiteral("数据库文件不存在！"));
    QCOMPARE(rec.last().caption, QStringLiteral("错误"));
    QCOMPARE(rec.last().icon, QMessageBox::Critical);
    QCOMPARE(rec.last().buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(rec.last().owner, &login);
    QVERIFY(TerminateRequested());
    QCOMPARE(ends, 1);
    // The test does not create the file.
    QVERIFY(!QFile::exists(t.path()));
}

void TstuLogin::failingPasswordQueryIsNotCounted()
{
    TestDatabase t;
    execSql(t.db(), QStringLiteral("DROP TABLE CnfgPara"));
    MessageRecorder rec;
    TfrmLogin login;
    login.show();
    QTest::keyClicks(edit(login), QStringLiteral("pw"));
    for (int i = 0; i < 3; ++i)
        QTest::mouseClick(button(login, "BitBtn1"), Qt::LeftButton);

    QCOMPARE(rec.boxes().size(), 3);
    for (const MessageRecorder::Box &box : rec.boxes()) {
        QCOMPARE(box.text, QStringLiteral("no such table: CnfgPara."));
        QCOMPARE(box.caption, QStringLiteral("Kelvara"));
        QCOMPARE(box.icon, QMessageBox::Critical);
        QCOMPARE(box.owner, &login);
    }
    QCOMPARE(login.failCount(), 0);
    QVERIFY(login.isVisible());
    QVERIFY(!TerminateRequested());
}

QTEST_MAIN(TstuLogin)
#include "tst_uLogin.moc"
