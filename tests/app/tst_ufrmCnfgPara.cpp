// The system parameters dialog driven from the keyboard and its buttons: what it shows and asks,
// when it writes, and how it recovers from a failed submission.
#include "BadInput.h"
#include "Database.h"
#include "Password.h"
#include "MessageRecorder.h"
#include "TestDatabase.h"
#include "UCommon.h"
#include "ufrmCnfgPara.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

namespace {

const QString warning = QStringLiteral("警告|如果你改变了使用单位名称，系统将删除所有的历史数据！并且不能恢复！|warning|Ok+Cancel");
const QString done = QStringLiteral("错误提示|数据提交完成！|information|Ok");
const QString failed = QStringLiteral("错误提示|提交数据出错！|information|Ok");
const QString empty = QStringLiteral("错误提示|请输入单位名称或密码！|information|Ok");

// The dialog over a database; the owner widget frees whatever is left of it.
struct Fixture
{
    TestDatabase t;
    TKelvaraMg mg;
    MessageRecorder rec;
    QWidget owner;
    QPointer<TfrmCnfgPara> dlg;

    // 红星厂 (password "old") with a workshop, a type, a price, a meter and a reading.
    explicit Fixture(bool filled = true)
    {
        KelvaraMg = &mg;
        if (!filled)
            return;
        t.setUsingUnit(QStringLiteral("红星厂"), QStringLiteral("old"));
        const qint64 shop = t.addWorkshop(QStringLiteral("一车间"), 2, 1);
        const qint64 sort = t.addMeterSort(QStringLiteral("电表"));
        const qint64 price = t.addPrice(QStringLiteral("照明"), yuan("0.6"), yuan("1.2"), sort);
        t.addMeter({ QStringLiteral("E01"), sort, price, shop });
        t.addReading(QStringLiteral("E01"), QDate(2004, 6, 1), 0, 40, yuan("24"), yuan("0"));
    }
    void open()
    {
        dlg = frmCnfgPara = new TfrmCnfgPara(&owner);
        dlg->show();
    }
    QLineEdit *edit(const char *name) const { return dlg->findChild<QLineEdit *>(QString::fromLatin1(name)); }
    QPushButton *button(const char *name) const { return dlg->findChild<QPushButton *>(QString::fromLatin1(name)); }
    // Types key by key; Chinese characters arrive as key events with text.
    void retype(const char *name, const QString &text) const
    {
        edit(name)->clear();
        for (const QChar c : text)
            QTest::sendKeyEvent(QTest::Click, edit(name), Qt::Key_unknown, QString(c), Qt::NoModifier);
    }
    QString parameters() const
    {
        QSqlQuery q = execSql(t.db(), QStringLiteral("SELECT UseUnitName, PassWd FROM CnfgPara"));
        QStringList rows;
        while (q.next())
            rows << q.value(0).toString() + u'|' + typedPassword(q.value(1).toString());
        return rows.join(u';');
    }
};

void settle()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

}

class TstufrmCnfgPara : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QApplication::setApplicationName(QStringLiteral("Kelvara")); }
    void cleanup() { ClearTerminateRequest(); }
    void showLoadsASingleRow_data();
    void showLoadsASingleRow();
    void passwordOnlyFromTheKeyboard();
    void nameChange_data();
    void nameChange();
    void emptyValues_data();
    void emptyValues();
    void failedSubmissionThenSecondOk();
    void failedBackupDeletesNothing();
    void badInput_data();
    void badInput();
};

void TstufrmCnfgPara::showLoadsASingleRow_data()
{
    QTest::addColumn<QStringList>("rows");   // name|password per CnfgPara row
    QTest::addColumn<QString>("shown");
    QTest::newRow("one row") << QStringList{ "红星厂|old" } << "红星厂|old";
    QTest::newRow("no row") << QStringList{} << "|";
    QTest::newRow("two rows") << QStringList{ "甲|1", "乙|2" } << "|";
}

void TstufrmCnfgPara::showLoadsASingleRow()
{
    QFETCH(QStringList, rows);
    Fixture f(false);
    for (const QString &row : rows)
        execSql(f.t.db(), QStringLiteral("INSERT INTO CnfgPara VALUES (?, ?)"),
                { row.section(u'|', 0, 0), row.section(u'|', 1) });
    f.open();
    QTEST(f.edit("edtUnitName")->text() + u'|' + f.edit("maskPw")->text(), "shown");
    QCOMPARE(f.dlg->windowTitle(), QStringLiteral("系统参数配置"));
    QCOMPARE(f.edit("maskPw")->echoMode(), QLineEdit::Password);
    // Tab order: name, password, OK, Cancel; the name has the focus.
    QCOMPARE(f.dlg->focusWidget(), f.edit("edtUnitName"));
    QCOMPARE(f.edit("edtUnitName")->nextInFocusChain(), f.edit("maskPw"));
    QCOMPARE(f.edit("maskPw")->nextInFocusChain(), f.button("BitBtn1"));
    QCOMPARE(f.button("BitBtn1")->nextInFocusChain(), f.button("BitBtn2"));
    QVERIFY(f.rec.boxes().isEmpty());
}

void TstufrmCnfgPara::passwordOnlyFromTheKeyboard()
{
    Fixture f;
    f.open();
    QTest::keyClick(f.edit("edtUnitName"), Qt::Key_Return);
    QCOMPARE(f.dlg->focusWidget(), f.edit("maskPw"));
    QVERIFY(f.rec.boxes().isEmpty());
    f.retype("maskPw", QStringLiteral("new"));
    QTest::keyClick(f.edit("maskPw"), Qt::Key_Enter);

    QCOMPARE(f.rec.summaries(), QStringList{ done });
    QCOMPARE(f.parameters(), QStringLiteral("红星厂|new"));
    QCOMPARE(f.t.count(QStringLiteral("TakeMeter")), 1);
    QVERIFY(!f.dlg->isVisible());
    settle();
    QVERIFY(!f.dlg);
    QVERIFY(!frmCnfgPara);
}

void TstufrmCnfgPara::nameChange_data()
{
    QTest::addColumn<bool>("filled");
    QTest::addColumn<QString>("rootChange");   // SQL run before the dialog opens
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("answer");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<int>("readings");

    QTest::newRow("changed, OK") << true << "" << "蓝天厂" << int(QMessageBox::Ok) << "蓝天厂|pw" << 0;
    QTest::newRow("changed, Cancel") << true << "" << "蓝天厂" << int(QMessageBox::Cancel) << "红星厂|old" << 1;
    // Nothing would be lost, but the question is asked all the same.
    QTest::newRow("first configuration") << false << "" << "新厂" << int(QMessageBox::Ok) << "新厂|pw" << 0;
    // The root row's name decides, so an unchanged parameter row still warns.
    QTest::newRow("root row missing") << true << "DELETE FROM Workshop WHERE WrokShopID = 1" << "红星厂"
                                      << int(QMessageBox::Ok) << "红星厂|pw" << 0;
    QTest::newRow("root renamed elsewhere") << true << "UPDATE Workshop SET WrokShopName = 'x' WHERE WrokShopID = 1"
                                            << "红星厂" << int(QMessageBox::Ok) << "红星厂|pw" << 0;
}

void TstufrmCnfgPara::nameChange()
{
    QFETCH(bool, filled);
    QFETCH(QString, rootChange);
    QFETCH(QString, name);
    QFETCH(int, answer);
    Fixture f(filled);
    if (!rootChange.isEmpty())
        execSql(f.t.db(), rootChange);
    f.open();
    f.retype("edtUnitName", name);
    f.retype("maskPw", QStringLiteral("pw"));
    f.rec.answer(QMessageBox::StandardButton(answer));
    QTest::mouseClick(f.button("BitBtn1"), Qt::LeftButton);

    const bool confirmed = answer == QMessageBox::Ok;
    QCOMPARE(f.rec.summaries(), confirmed ? QStringList({ warning, done }) : QStringList{ warning });
    QCOMPARE(f.rec.boxes().first().owner, f.dlg.data());
    QTEST(f.parameters(), "stored");
    QTEST(f.t.count(QStringLiteral("TakeMeter")), "readings");
    QCOMPARE(f.dlg->isVisible(), !confirmed);
    if (!confirmed) {
        QCOMPARE(f.edit("edtUnitName")->text(), name);
        return;
    }
    QCOMPARE(QDir(f.t.dir() + QStringLiteral("/MDB/backup")).entryList({ QStringLiteral("Kelvara-*.db") }).size(), 1);
}

void TstufrmCnfgPara::emptyValues_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("key");        // where Enter is pressed; empty: the OK button
    QTest::addColumn<bool>("message");
    QTest::addColumn<QString>("focus");

    QTest::newRow("OK, no name") << " " << "pw" << "" << true << "edtUnitName";
    QTest::newRow("OK, no password") << "厂" << "\t " << "" << true << "edtUnitName";
    QTest::newRow("Enter in name, blank") << "  " << "pw" << "edtUnitName" << true << "edtUnitName";
    QTest::newRow("Enter in name, no password yet") << "厂" << "" << "edtUnitName" << false << "maskPw";
    QTest::newRow("Enter in password, no name") << "" << "pw" << "maskPw" << true << "edtUnitName";
    QTest::newRow("Enter in password, blank") << "厂" << "   " << "maskPw" << true << "edtUnitName";
}

void TstufrmCnfgPara::emptyValues()
{
    QFETCH(QString, name);
    QFETCH(QString, password);
    QFETCH(QString, key);
    QFETCH(bool, message);
    Fixture f;
    f.open();
    f.edit("edtUnitName")->setText(name);
    f.edit("maskPw")->setText(password);
    if (key.isEmpty()) {
        QTest::mouseClick(f.button("BitBtn1"), Qt::LeftButton);
    } else {
        f.edit(key.toLatin1().constData())->setFocus();
        QTest::keyClick(f.edit(key.toLatin1().constData()), Qt::Key_Return);
    }
    QCOMPARE(f.rec.summaries(), message ? QStringList{ empty } : QStringList{});
    QTEST(f.dlg->focusWidget()->objectName(), "focus");
    QVERIFY(f.dlg->isVisible());
    QCOMPARE(f.parameters(), QStringLiteral("红星厂|old"));
}

void TstufrmCnfgPara::failedSubmissionThenSecondOk()
{
    Fixture f;
    execSql(f.t.db(), QStringLiteral("CREATE TRIGGER refuse_root BEFORE INSERT ON Workshop "
                                     "BEGIN SELECT RAISE(ABORT, 'refused'); END"));
    f.open();
    f.retype("edtUnitName", QStringLiteral("蓝天厂"));
    QTest::mouseClick(f.button("BitBtn1"), Qt::LeftButton);

    QCOMPARE(f.rec.summaries(), QStringList({ warning, failed }));
    QVERIFY(f.dlg->isVisible());
    QCOMPARE(f.parameters(), QStringLiteral("红星厂|old"));
    QCOMPARE(f.t.count(QStringLiteral("TakeMeter")), 1);

    execSql(f.t.db(), QStringLiteral("DROP TRIGGER refuse_root"));
    QTest::mouseClick(f.button("BitBtn1"), Qt::LeftButton);
    QCOMPARE(f.rec.summaries(), QStringList({ warning, failed, warning, done }));
    QCOMPARE(f.parameters(), QStringLiteral("蓝天厂|old"));
    QVERIFY(!f.dlg->isVisible());
}

void TstufrmCnfgPara::failedBackupDeletesNothing()
{
    Fixture f;
    QFile blocker(f.t.dir() + QStringLiteral("/MDB/backup"));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    f.open();
    f.retype("edtUnitName", QStringLiteral("蓝天厂"));
    QTest::mouseClick(f.button("BitBtn1"), Qt::LeftButton);

    QCOMPARE(f.rec.boxes().size(), 2);
    const QString prefix = QStringLiteral("数据库备份失败，没有修改任何数据！\n原因：");
    QVERIFY2(f.rec.last().text.startsWith(prefix) && f.rec.last().text.size() > prefix.size(),
             qPrintable(f.rec.last().text));
    QCOMPARE(f.rec.last().caption, QStringLiteral("错误提示"));
    QVERIFY(f.dlg->isVisible());
    QCOMPARE(f.parameters(), QStringLiteral("红星厂|old"));
    QCOMPARE(f.t.count(QStringLiteral("TakeMeter")), 1);

    // Cancel leaves without writing.
    f.retype("maskPw", QStringLiteral("new"));
    QTest::mouseClick(f.button("BitBtn2"), Qt::LeftButton);
    QCOMPARE(f.rec.boxes().size(), 2);
    QVERIFY(!f.dlg->isVisible());
    QCOMPARE(f.parameters(), QStringLiteral("红星厂|old"));
}

void TstufrmCnfgPara::badInput_data()
{
    using namespace BadInput;
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("storedName");       // empty: nothing written
    QTest::addColumn<QString>("storedPassword");

    const QString fifty = repeated(QStringLiteral("红星厂"), 50);
    // A changed name is confirmed with OK; the name box holds as many characters as the column.
    QTest::newRow("name: statement") << dropTable << "pw" << dropTable << "pw";
    QTest::newRow("name: always-true condition") << orTrue << "pw" << orTrue << "pw";
    QTest::newRow("name: quotes and semicolons") << quotes << "pw" << quotes << "pw";
    QTest::newRow("name: wildcards") << wildcards << "pw" << wildcards << "pw";
    QTest::newRow("name: emoji") << emoji << "pw" << emoji << "pw";
    QTest::newRow("name: 50 characters") << fifty << "pw" << fifty << "pw";
    QTest::newRow("name: 51 characters typed") << fifty + u'厂' << "pw" << fifty << "pw";
    QTest::newRow("name: 10,000 characters pasted") << repeated(QStringLiteral("红星厂"), 10000) << "pw" << fifty << "pw";
    // The limit falls inside the 25th emoji: the box keeps 24 whole ones.
    QTest::newRow("name: emoji pasted across the limit") << u'厂' + repeated(emoji.right(2), 5000) << "pw"
                                                         << u'厂' + repeated(emoji.right(2), 24) << "pw";
    QTest::newRow("name: blanks only") << "   " << "pw" << "" << "";
    QTest::newRow("password: statement") << "红星厂" << dropTable << "红星厂" << dropTable;
    QTest::newRow("password: always-true condition") << "红星厂" << orTrue << "红星厂" << orTrue;
    QTest::newRow("password: emoji") << "红星厂" << emoji << "红星厂" << emoji;
    const QString longPassword = repeated(QStringLiteral("密码%_"), 10000);
    QTest::newRow("password: 10,000 characters pasted") << "红星厂" << longPassword << "红星厂" << longPassword;
    QTest::newRow("password: blanks only") << "红星厂" << "   " << "" << "";
    QTest::newRow("password: empty") << "红星厂" << "" << "" << "";
}

void TstufrmCnfgPara::badInput()
{
    QFETCH(QString, name);
    QFETCH(QString, password);
    QFETCH(QString, storedName);
    QFETCH(QString, storedPassword);
    Fixture f;
    const QString schema = BadInput::schemaOf(f.t.db());
    f.open();
    BadInput::enter(f.edit("edtUnitName"), name);
    BadInput::enter(f.edit("maskPw"), password);
    QCOMPARE(f.edit("maskPw")->text(), password);
    QTest::keyClick(f.edit("maskPw"), Qt::Key_Return);

    QCOMPARE(BadInput::schemaOf(f.t.db()), schema);
    if (storedName.isEmpty()) {
        QCOMPARE(f.rec.summaries(), QStringList{ empty });
        QCOMPARE(f.parameters(), QStringLiteral("红星厂|old"));
        QCOMPARE(f.t.count(QStringLiteral("TakeMeter")), 1);
        return;
    }
    QCOMPARE(f.rec.summaries(), storedName == u"红星厂" ? QStringList{ done } : QStringList({ warning, done }));
    QCOMPARE(f.t.scalar(QStringLiteral("SELECT UseUnitName FROM CnfgPara")).toString(), storedName);
    QCOMPARE(f.t.scalar(QStringLiteral("SELECT WrokShopName FROM Workshop WHERE WrokShopID = 1")).toString(), storedName);
    const QString hash = f.t.scalar(QStringLiteral("SELECT PassWd FROM CnfgPara")).toString();
    QVERIFY(IsPasswordHash(hash));
    QVERIFY(PasswordMatches(storedPassword, hash));
}

QTEST_MAIN(TstufrmCnfgPara)
#include "tst_ufrmCnfgPara.moc"
