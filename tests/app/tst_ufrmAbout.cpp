// The about box: its texts, the machine lines completed once when shown, the warning when a fact
// is missing, and closing.
#include "MessageRecorder.h"
#include "SystemInfo.h"
#include "ufrmAbout.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

namespace {

QString label(QWidget *dialog, const char *name)
{
    return dialog->findChild<QLabel *>(QString::fromLatin1(name))->text();
}

}

class TstufrmAbout : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QApplication::setApplicationName(QStringLiteral("Kelvara")); }
    void shownOnThisMachine();
    void missingFact();
};

void TstufrmAbout::shownOnThisMachine()
{
    MessageRecorder rec;
    QWidget owner;
    const SystemFacts facts = ReadSystemFacts();
    QVERIFY(!facts.osName.isEmpty() && facts.major > 0 && facts.memoryBytes > 0);
    // Each opening makes a new dialog whose captions are completed once.
    for (int opening = 0; opening < 2; ++opening) {
        frmAbout = new TfrmAbout(&owner);
        QPointer<TfrmAbout> about = frmAbout;
        QCOMPARE(label(about, "lblOS"), QStringLiteral("当前操作系统："));
        about->show();
        about->hide();
        about->show();
        QCOMPARE(about->windowTitle(), QStringLiteral("关于..."));
        QCOMPARE(label(about, "Label1"), QStringLiteral("欢迎使用《Kelvara》！"));
        QCOMPARE(label(about, "Label2"), QStringLiteral("版本：v0.0.1 Beta 测试版"));
        QCOMPARE(label(about, "Label3"), QStringLiteral("如果在使用中有什么意见或建议，请致信到："));
        QCOMPARE(label(about, "Label4"), QStringLiteral("E_Mail:  kelvara-support@example.org"));
        // The carriage return puts the version on a line of its own.
        QCOMPARE(label(about, "lblOS"), QStringLiteral("当前操作系统：%1\n          %2.%3")
                                            .arg(facts.osName).arg(facts.major).arg(facts.minor));
        QCOMPARE(label(about, "lblMemory"), ComposeAboutLines(facts, QLocale()).memory);
        for (QLabel *l : about->findChildren<QLabel *>())
            QVERIFY2(l->geometry().right() < about->width(), qPrintable(l->objectName() + QStringLiteral(" cut off")));
        QTest::mouseClick(about->findChild<QPushButton *>(QStringLiteral("BitBtn1")), Qt::LeftButton);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!about && !frmAbout);
    }
    QVERIFY(rec.boxes().isEmpty());
}

void TstufrmAbout::missingFact()
{
    MessageRecorder rec;
    QWidget owner;
    auto *about = new TfrmAbout(&owner);
    about->CompleteLines({ QStringLiteral("Linux"), 6, 1, 0 });
    QCOMPARE(rec.summaries(), QStringList{ QStringLiteral("提示|系统某些信息不能取得！|warning|Ok") });
    QCOMPARE(rec.last().owner, about);
    // The line completed before the failure keeps its text; the other keeps its caption.
    QCOMPARE(label(about, "lblOS"), QStringLiteral("当前操作系统：Linux\n          6.1"));
    QCOMPARE(label(about, "lblMemory"), QStringLiteral("系统资源："));
}

QTEST_MAIN(TstufrmAbout)
#include "tst_ufrmAbout.moc"
