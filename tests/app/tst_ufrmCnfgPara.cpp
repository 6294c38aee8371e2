// The system parameters dialog driven from the keyboard and its buttons: what it shows, asks,
// stores and clears, and how it recovers from a failed submission.
#include "Database.h"
#include "MessageRecorder.h"
#include "Password.h"
#include "TestDatabase.h"
#include "UCommon.h"
#include "ufrmCnfgPara.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QtTest>

namespace {

const QString warningText = QStringLiteral("如果你改变了使用单位名称，系统将删除所有的历史数据！并且不能恢复！");
const QString doneText = QStringLiteral("数据提交完成！");
const QString failedText = QStringLiteral("提交数据出错！");
const QString emptyText = QStringLiteral("请输入单位名称或密码！");

}

class TstufrmCnfgPara : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void layoutAndTabOrder();
    void showLoadsTheRow_data();
    void showLoadsTheRow();
    void passwordOnlyFromTheKeyboard();
    void nameChange_data();
    void nameChange();
    void firstConfiguration();
    void rootRowMissingAlwaysWarns();
    void emptyValues_data();
    void emptyValues();
    void apostrophesAndBlanks();
    void failedSubmissionThenSecondOk();
    void failedBackupDeletesNothing();
    void cancelWritesNothing();

private:
    // The dialog over a database; the owner widget frees whatever is left of it.
    struct Fixture
    {
        TestDatabase t;
        TKelvaraMg mg;
        MessageRecorder rec;
        QWidget owner;
        QPointer<TfrmCnfgPara> dlg;

        Fixture() { KelvaraMg = &mg; }
        void open()
        {
            dlg = new TfrmCnfgPara(&owner);
            frmCnfgPara = dlg;
            dlg->show();
        }
        QLineEdit *name() const { return dlg->findChild<QLineEdit *>(QStringLiteral("edtUnitName")); }
        QLineEdit *password() const { return dlg->findChild<QLineEdit *>(QStringLiteral("maskPw")); }
        QPushButton *button(const char *objectName) const
        {
            return dlg->findChild<QPushButton *>(QString::fromLatin1(objectName));
        }
        // Types the text key by key; Chinese characters arrive as key events with text.
        static void type(QLineEdit *edit, const QString &text)
        {
            for (const QChar c : text)
                QTest::sendKeyEvent(QTest::Click, edit, Qt::Key_unknown, QString(c), Qt::NoModifier);
        }
        void retype(QLineEdit *edit, const QString &text) const
        {
            edit->clear();
            type(edit, text);
        }
        QString parameters() const
        {
            QStringList rows;
            QSqlQuery q = execSql(t.db(), QStringLiteral("SELECT UseUnitName, PassWd FROM CnfgPara"));
            while (q.next())
                rows << q.value(0).toString() + u'|' + q.value(1).toString();
            return rows.join(u';');
        }
        QStringList backups() const
        {
            return QDir(t.dir() + QStringLiteral("/MDB/backup")).entryList({ QStringLiteral("*.db") }, QDir::Files);
        }
    };

    // 红星厂 (password "old") with a workshop, a type, a price, a meter and a reading.
    static void fill(TestDatabase &t);
    static void settle() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }
    static void checkBox(const MessageRecorder::Box &box, const QString &text);
};

void TstufrmCnfgPara::initTestCase()
{
    QApplication::setApplicationName(QStringLiteral("Kelvara"));
}

void TstufrmCnfgPara::cleanup()
{
    ClearTerminateRequest();
}

void TstufrmCnfgPara::fill(TestDatabase &t)
{
    t.setUsingUnit(QStringLiteral("红星厂"), QStringLiteral("old"));
    const qint64 shop = t.addWorkshop(QStringLiteral("一车间"), 2, 1);
    const qint64 sort = t.addMeterSort(QStringLiteral("电表"));
    const qint64 price = t.addPrice(QStringLiteral("照明"), yuan("0.6"), yuan("1.2"), sort);
    t.addMeter({ QStringLiteral("E01"), sort, price, shop });
    t.addReading(QStringLiteral("E01"), QDate(2004, 6, 1), 0, 40, yuan("24"), yuan("0"));
}

// A message of the data manager: its caption, information icon, OK.
void TstufrmCnfgPara::checkBox(const MessageRecorder::Box &box, const QString &text)
{
    QCOMPARE(box.text, text);
    QCOMPARE(box.caption, QStringLiteral("错误提示"));
    QCOMPARE(box.icon, QMessageBox::Information);
    QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
}

void TstufrmCnfgPara::layoutAndTabOrder()
{
    Fixture f;
    fill(f.t);
    f.open();
    QCOMPARE(f.dlg->windowTitle(), QStringLiteral("系统参数配置"));
    QCOMPARE(f.dlg->size(), QSize(349, 172));
    QCOMPARE(f.name()->geometry(), QRect(136, 32, 177, 21));
    QCOMPARE(f.password()->geometry(), QRect(136, 64, 177, 21));
    QCOMPARE(f.password()->echoMode(), QLineEdit::Password);
    QCOMPARE(f.button("BitBtn1")->text(), QStringLiteral("确定"));
    QCOMPARE(f.button("BitBtn2")->text(), QStringLiteral("取消"));
    QCOMPARE(f.dlg->focusWidget(), f.name());
    QCOMPARE(f.name()->nextInFocusChain(), f.password());
    QCOMPARE(f.password()->nextInFocusChain(), f.button("BitBtn1"));
    QCOMPARE(f.button("BitBtn1")->nextInFocusChain(), f.button("BitBtn2"));
}

void TstufrmCnfgPara::showLoadsTheRow_data()
{
    QTest::addColumn<QStringList>("rows");   // name|password per CnfgPara row
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("password");
    QTest::newRow("one row") << QStringList{ "红星厂|old" } << "红星厂" << "old";
    QTest::newRow("no row") << QStringList{} << "" << "";
    QTest::newRow("two rows") << QStringList{ "甲|1", "乙|2" } << "" << "";
}

void TstufrmCnfgPara::showLoadsTheRow()
{
    QFETCH(QStringList, rows);
    Fixture f;
    for (const QString &row : rows)
        execSql(f.t.db(), QStringLiteral("INSERT INTO CnfgPara VALUES (?, ?)"), { row.section(u'|', 0, 0), row.section(u'|', 1) });
    f.open();
    QTEST(f.name()->text(), "name");
    QTEST(f.password()->text(), "password");
    QVERIFY(f.rec.boxes().isEmpty());
}

void TstufrmCnfgPara::passwordOnlyFromTheKeyboard()
{
    Fixture f;
    fill(f.t);
    f.open();
    QTest::keyClick(f.name(), Qt::Key_Return);
    QCOMPARE(f.dlg->focusWidget(), f.password());
    QVERIFY(f.rec.boxes().isEmpty());
    f.retype(f.password(), QStringLiteral("new"));
    QTest::keyClick(f.password(), Qt::Key_Return);

    QCOMPARE(f.rec.boxes().size(), 1);
    checkBox(f.rec.last(), doneText);
    QCOMPARE(f.parameters(), QStringLiteral("红星厂|new"));
    QCOMPARE(f.t.count(QStringLiteral("Workshop")), 2);
    QCOMPARE(f.t.scalar(QStringLiteral("SELECT WrokShopName FROM Workshop WHERE WrokShopID = 2")).toString(),
             QStringLiteral("一车间"));
    QCOMPARE(f.t.count(QStringLiteral("TakeMeter")), 1);
    QVERIFY(f.backups().isEmpty());
    QVERIFY(!f.dlg->isVisible());
    settle();
    QVERIFY(!f.dlg);
    QVERIFY(!frmCnfgPara);
}

void TstufrmCnfgPara::nameChange_data()
{
    QTest::addColumn<int>("answer");
    QTest::newRow("OK") << int(QMessageBox::Ok);
    QTest::newRow("Cancel") << int(QMessageBox::Cancel);
}

void TstufrmCnfgPara::nameChange()
{
    QFETCH(int, answer);
    Fixture f;
    fill(f.t);
    f.open();
    f.retype(f.name(), QStringLiteral("蓝天厂"));
    f.rec.answer(QMessageBox::StandardButton(answer));
    QTest::mouseClick(f.button("BitBtn1"), Qt::LeftButton);

    const MessageRecorder::Box &warning = f.rec.boxes().at(0);
    QCOMPARE(warning.text, warningText);
    QCOMPARE(warning.caption, QStringLiteral("警告"));
    QCOMPARE(warning.icon, QMessageBox::Warning);
    QCOMPARE(warning.buttons, QMessageBox::Ok | QMessageBox::Cancel);
    QCOMPARE(warning.owner, f.dlg.data());

    if (answer == QMessageBox::Cancel) {
        QCOMPARE(f.rec.boxes().size(), 1);
        QVERIFY(f.dlg->isVisible());
        QCOMPARE(f.name()->text(), QStringLiteral("蓝天厂"));
        QCOMPARE(f.password()->text(), QStringLiteral("old"));
        QCOMPARE(f.parameters(), QStringLiteral("红星厂|old"));
        QCOMPARE(f.t.count(QStringLiteral("TakeMeter")), 1);
        QVERIFY(f.backups().isEmpty());
        return;
    }
    QCOMPARE(f.rec.boxes().size(), 2);
    checkBox(f.rec.last(), doneText);
    QVERIFY(!f.dlg->isVisible());
    QCOMPARE(f.parameters(), QStringLiteral("蓝天厂|old"));
    QCOMPARE(f.t.count(QStringLiteral("TakeMeter")), 0);
    QCOMPARE(f.t.count(QStringLiteral("Meter")), 0);
    QCOMPARE(f.t.count(QStringLiteral("Price")), 0);
    QCOMPARE(f.t.count(QStringLiteral("MeterSort")), 1);
    QCOMPARE(f.t.scalar(QStringLiteral("SELECT WrokShopID || '|' || WrokShopName || '|' || WorkShopLevel || '|' "
                                       "|| WrokShopMemo || '|' || ResideWorkShopID FROM Workshop"))
                 .toString(),
             QStringLiteral("1|蓝天厂|0|蓝天厂|0"));
    QCOMPARE(f.t.count(QStringLiteral("Workshop")), 1);

    // The copy made first holds the rows as they were.
    const QStringList backups = f.backups();
    QCOMPARE(backups.size(), 1);
    QVERIFY(QRegularExpression(QStringLiteral("^Kelvara-\\d{8}-\\d{6}\\.db$")).match(backups.first()).hasMatch());
    {
        QSqlDatabase copy = Database::open(f.t.dir() + QStringLiteral("/MDB/backup/") + backups.first(),
                                           QStringLiteral("copy"));
        QCOMPARE(::scalar(copy, QStringLiteral("SELECT count(*) FROM TakeMeter")).toInt(), 1);
        QCOMPARE(::scalar(copy, QStringLiteral("SELECT count(*) FROM Workshop")).toInt(), 2);
        QCOMPARE(::scalar(copy, QStringLiteral("SELECT UseUnitName FROM CnfgPara")).toString(), QStringLiteral("红星厂"));
    }
    Database::close(QStringLiteral("copy"));
}

void TstufrmCnfgPara::firstConfiguration()
{
    Fixture f;
    f.open();
    QCOMPARE(f.name()->text(), QString());
    f.type(f.name(), QStringLiteral("新厂"));
    QTest::keyClick(f.name(), Qt::Key_Return);
    QCOMPARE(f.dlg->focusWidget(), f.password());
    QTest::keyClicks(f.password(), QStringLiteral("pw"));
    QTest::keyClick(f.password(), Qt::Key_Enter);

    // Nothing would be lost, but the warning is asked all the same.
    QCOMPARE(f.rec.texts(), QStringList({ warningText, doneText }));
    QCOMPARE(f.parameters(), QStringLiteral("新厂|pw"));
    QCOMPARE(f.t.scalar(QStringLiteral("SELECT WrokShopName FROM Workshop WHERE WrokShopID = 1 AND WorkShopLevel = 0 "
                                       "AND ResideWorkShopID = 0"))
                 .toString(),
             QStringLiteral("新厂"));
    QCOMPARE(f.t.count(QStringLiteral("Workshop")), 1);
}

void TstufrmCnfgPara::rootRowMissingAlwaysWarns()
{
    Fixture f;
    fill(f.t);
    execSql(f.t.db(), QStringLiteral("UPDATE Workshop SET WorkShopLevel = 1 WHERE WrokShopID = 1"));
    f.open();
    QCOMPARE(f.name()->text(), QStringLiteral("红星厂"));
    f.rec.answer(QMessageBox::Cancel);
    QTest::mouseClick(f.button("BitBtn1"), Qt::LeftButton);
    QCOMPARE(f.rec.texts(), QStringList{ warningText });
    QTest::mouseClick(f.button("BitBtn1"), Qt::LeftButton);
    QCOMPARE(f.rec.texts(), QStringList({ warningText, warningText, doneText }));
    QCOMPARE(f.t.count(QStringLiteral("Workshop")), 1);
    QCOMPARE(f.t.scalar(QStringLiteral("SELECT WorkShopLevel FROM Workshop WHERE WrokShopID = 1")).toInt(), 0);
    QCOMPARE(f.t.count(QStringLiteral("Meter")), 0);
}

void TstufrmCnfgPara::emptyValues_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("how");        // "ok", "enter in name", "enter in password"
    QTest::addColumn<bool>("message");
    QTest::addColumn<QString>("focus");

    QTest::newRow("OK, no name") << " " << "pw" << "ok" << true << "edtUnitName";
    QTest::newRow("OK, no password") << "厂" << "\t " << "ok" << true << "edtUnitName";
    QTest::newRow("Enter in name, blank") << "  " << "pw" << "enter in name" << true << "edtUnitName";
    QTest::newRow("Enter in name, no password yet") << "厂" << "" << "enter in name" << false << "maskPw";
    QTest::newRow("Enter in password, no name") << "" << "pw" << "enter in password" << true << "edtUnitName";
    QTest::newRow("Enter in password, blank") << "厂" << "   " << "enter in password" << true << "edtUnitName";
}

void TstufrmCnfgPara::emptyValues()
{
    QFETCH(QString, name);
    QFETCH(QString, password);
    QFETCH(QString, how);
    QFETCH(bool, message);
    QFETCH(QString, focus);
    Fixture f;
    fill(f.t);
    f.open();
    f.name()->setText(name);
    f.password()->setText(password);
    if (how == u"ok") {
        QTest::mouseClick(f.button("BitBtn1"), Qt::LeftButton);
    } else if (how == u"enter in name") {
        f.name()->setFocus();
        QTest::keyClick(f.name(), Qt::Key_Return);
    } else {
        f.password()->setFocus();
        QTest::keyClick(f.password(), Qt::Key_Return);
    }
    QCOMPARE(f.rec.boxes().size(), message ? 1 : 0);
    if (message)
        checkBox(f.rec.last(), emptyText);
    QCOMPARE(f.dlg->focusWidget()->objectName(), focus);
    QVERIFY(f.dlg->isVisible());
    QCOMPARE(f.parameters(), QStringLiteral("红星厂|old"));
}

void TstufrmCnfgPara::apostrophesAndBlanks()
{
    Fixture f;
    fill(f.t);
    f.open();
    f.retype(f.name(), QStringLiteral("  O'Neil's 厂 "));
    f.retype(f.password(), QStringLiteral(" a'b\" "));
    QTest::mouseClick(f.button("BitBtn1"), Qt::LeftButton);
    QCOMPARE(f.rec.texts(), QStringList({ warningText, doneText }));
    QCOMPARE(f.parameters(), QStringLiteral("O'Neil's 厂|a'b\""));
    QCOMPARE(f.mg.GetUsingUnitName(), QStringLiteral("O'Neil's 厂"));
    // The login trims what is typed, so the password works with or without the blanks.
    const QString stored = f.t.scalar(QStringLiteral("SELECT PassWd FROM CnfgPara")).toString();
    QVERIFY(PasswordMatches(TrimBlanks(QStringLiteral(" a'b\" ")), stored));
    QVERIFY(PasswordMatches(TrimBlanks(QStringLiteral("a'b\"")), stored));
}

void TstufrmCnfgPara::failedSubmissionThenSecondOk()
{
    Fixture f;
    fill(f.t);
    execSql(f.t.db(), QStringLiteral("CREATE TRIGGER refuse_root BEFORE INSERT ON Workshop "
                                     "BEGIN SELECT RAISE(ABORT, 'refused'); END"));
    f.open();
    f.retype(f.name(), QStringLiteral("蓝天厂"));
    f.retype(f.password(), QStringLiteral("new"));
    QTest::mouseClick(f.button("BitBtn1"), Qt::LeftButton);

    QCOMPARE(f.rec.texts(), QStringList({ warningText, failedText }));
    checkBox(f.rec.last(), failedText);
    QVERIFY(f.dlg->isVisible());
    QCOMPARE(f.name()->text(), QStringLiteral("蓝天厂"));
    // All or nothing: the parameter row and the deleted rows are back.
    QCOMPARE(f.parameters(), QStringLiteral("红星厂|old"));
    QCOMPARE(f.t.count(QStringLiteral("TakeMeter")), 1);
    QCOMPARE(f.t.count(QStringLiteral("Workshop")), 2);

    execSql(f.t.db(), QStringLiteral("DROP TRIGGER refuse_root"));
    f.rec.clear();
    QTest::mouseClick(f.button("BitBtn1"), Qt::LeftButton);
    QCOMPARE(f.rec.texts(), QStringList({ warningText, doneText }));
    QCOMPARE(f.parameters(), QStringLiteral("蓝天厂|new"));
    QCOMPARE(f.t.count(QStringLiteral("TakeMeter")), 0);
    QVERIFY(!f.dlg->isVisible());
}

void TstufrmCnfgPara::failedBackupDeletesNothing()
{
    Fixture f;
    fill(f.t);
    QFile blocker(f.t.dir() + QStringLiteral("/MDB/backup"));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    f.open();
    f.retype(f.name(), QStringLiteral("蓝天厂"));
    QTest::mouseClick(f.button("BitBtn1"), Qt::LeftButton);

    QCOMPARE(f.rec.boxes().size(), 2);
    const QString told = f.rec.last().text;
    QVERIFY2(told.startsWith(QStringLiteral("数据库备份失败，没有修改任何数据！\n原因：")), qPrintable(told));
    QVERIFY(told.size() > QStringLiteral("数据库备份失败，没有修改任何数据！\n原因：").size());
    QCOMPARE(f.rec.last().caption, QStringLiteral("错误提示"));
    QVERIFY(f.dlg->isVisible());
    QCOMPARE(f.parameters(), QStringLiteral("红星厂|old"));
    QCOMPARE(f.t.count(QStringLiteral("TakeMeter")), 1);
    QCOMPARE(f.t.count(QStringLiteral("Workshop")), 2);

    // With the obstacle gone the same OK goes through.
    QVERIFY(blocker.remove());
    QTest::mouseClick(f.button("BitBtn1"), Qt::LeftButton);
    QCOMPARE(f.rec.last().text, doneText);
    QCOMPARE(f.backups().size(), 1);
}

void TstufrmCnfgPara::cancelWritesNothing()
{
    Fixture f;
    fill(f.t);
    f.open();
    f.retype(f.name(), QStringLiteral("蓝天厂"));
    f.retype(f.password(), QStringLiteral("new"));
    QTest::mouseClick(f.button("BitBtn2"), Qt::LeftButton);
    QVERIFY(f.rec.boxes().isEmpty());
    QVERIFY(!f.dlg->isVisible());
    settle();
    QVERIFY(!frmCnfgPara);
    QCOMPARE(f.parameters(), QStringLiteral("红星厂|old"));
    QCOMPARE(f.t.count(QStringLiteral("TakeMeter")), 1);
}

QTEST_MAIN(TstufrmCnfgPara)
#include "tst_ufrmCnfgPara.moc"
