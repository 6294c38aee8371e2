// The about box: its texts, the two machine lines completed once when shown, the warning when a
// fact is missing, and closing.
#include "MessageRecorder.h"
#include "SystemInfo.h"
#include "ufrmAbout.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

class TstufrmAbout : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void texts();
    void linesCompletedOnceWhenShown();
    void missingFact_data();
    void missingFact();
    void okCloses();

private:
    static QString label(QWidget *dialog, const char *name)
    {
        return dialog->findChild<QLabel *>(QString::fromLatin1(name))->text();
    }
};

void TstufrmAbout::initTestCase()
{
    QApplication::setApplicationName(QStringLiteral("Kelvara"));
}

void TstufrmAbout::texts()
{
    MessageRecorder rec;
    QWidget owner;
    auto *about = new TfrmAbout(&owner);
    QCOMPARE(about->windowTitle(), QStringLiteral("关于..."));
    QCOMPARE(about->height(), 269);
    QVERIFY(about->width() >= 435);
    QCOMPARE(label(about, "Label1"), QStringLiteral("欢迎使用《Kelvara》！"));
    QCOMPARE(label(about, "Label2"), QStringLiteral("版本：v0.0.1 Beta 测试版"));
    QCOMPARE(label(about, "Label3"), QStringLiteral("如果在使用中有什么意见或建议，请致信到："));
    QVERIFY(QRegularExpression(QStringLiteral("^E_Mail:  [^@ ]+@[^@ ]+\\.[a-z]+$")).match(label(about, "Label4")).hasMatch());
    // Not shown yet: the bare captions.
    QCOMPARE(label(about, "lblMemory"), QStringLiteral("系统资源："));
    QCOMPARE(label(about, "lblOS"), QStringLiteral("当前操作系统："));
    QCOMPARE(about->findChild<QLabel *>(QStringLiteral("Image1"))->pixmap().size(), QSize(106, 202));
    QCOMPARE(about->findChild<QPushButton *>(QStringLiteral("BitBtn1"))->text(), QStringLiteral("确定"));
    QVERIFY(rec.boxes().isEmpty());
}

void TstufrmAbout::linesCompletedOnceWhenShown()
{
    MessageRecorder rec;
    QWidget owner;
    const SystemFacts facts = ReadSystemFacts();
    const AboutLines expected = ComposeAboutLines(facts, QLocale());
    for (int opening = 0; opening < 2; ++opening) {
        auto *about = new TfrmAbout(&owner);
        about->show();
        about->hide();
        about->show();
        const QString os = label(about, "lblOS");
        QCOMPARE(os.count(QStringLiteral("当前操作系统：")), 1);
        // The carriage return breaks the label: the version stands on a line of its own.
        const QStringList lines = os.split(u'\n');
        QCOMPARE(lines.size(), 2);
        QCOMPARE(lines.at(0), QStringLiteral("当前操作系统：") + facts.osName);
        QCOMPARE(lines.at(1), QStringLiteral("          %1.%2").arg(facts.major).arg(facts.minor));
        QCOMPARE(label(about, "lblMemory"), expected.memory);
        QVERIFY(label(about, "lblMemory").endsWith(QStringLiteral(" KB")));
        // Nothing is cut off at the dialog's edge.
        for (QLabel *l : about->findChildren<QLabel *>())
            QVERIFY2(l->geometry().right() < about->width(), qPrintable(l->objectName()));
        about->close();
    }
    QVERIFY(rec.boxes().isEmpty());
}

void TstufrmAbout::missingFact_data()
{
    QTest::addColumn<bool>("osKnown");
    QTest::addColumn<QString>("os");
    QTest::addColumn<QString>("memory");
    QTest::newRow("memory unknown") << true << "当前操作系统：Linux\n          6.1" << "系统资源：";
    QTest::newRow("system unknown") << false << "当前操作系统：" << "系统资源：";
}

void TstufrmAbout::missingFact()
{
    QFETCH(bool, osKnown);
    MessageRecorder rec;
    QWidget owner;
    auto *about = new TfrmAbout(&owner);
    SystemFacts facts;
    if (osKnown) {
        facts.osName = QStringLiteral("Linux");
        facts.major = 6;
        facts.minor = 1;
    }
    about->CompleteLines(facts);
    QCOMPARE(rec.boxes().size(), 1);
    QCOMPARE(rec.last().text, QStringLiteral("系统某些信息不能取得！"));
    QCOMPARE(rec.last().caption, QStringLiteral("提示"));
    QCOMPARE(rec.last().icon, QMessageBox::Warning);
    QCOMPARE(rec.last().buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(rec.last().owner, about);
    QTEST(label(about, "lblOS"), "os");
    QTEST(label(about, "lblMemory"), "memory");
}

void TstufrmAbout::okCloses()
{
    MessageRecorder rec;
    QWidget owner;
    frmAbout = new TfrmAbout(&owner);
    QPointer<TfrmAbout> about = frmAbout;
    about->show();
    QTest::mouseClick(about->findChild<QPushButton *>(QStringLiteral("BitBtn1")), Qt::LeftButton);
    QVERIFY(!about->isVisible());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!about);
    QVERIFY(!frmAbout);
}

QTEST_MAIN(TstufrmAbout)
#include "tst_ufrmAbout.moc"
