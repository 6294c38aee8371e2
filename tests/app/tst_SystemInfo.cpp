// The lines of the about box: memory, system name and version, and a missing fact.
#include "SystemInfo.h"

#include <QtTest>

class TstSystemInfo : public QObject
{
    Q_OBJECT
private slots:
    void memoryLine_data();
    void memoryLine();
    void osReleaseAndKernel();
    void aboutLines_data();
    void aboutLines();
};

void TstSystemInfo::memoryLine_data()
{
    QTest::addColumn<quint64>("bytes");
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QString>("line");
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    QTest::newRow("1 GiB") << Q_UINT64_C(1073741824) << english << "1,048,576 KB";
    QTest::newRow("C locale groups too") << Q_UINT64_C(1073741824) << QLocale::c() << "1,048,576 KB";
    QTest::newRow("German separator") << Q_UINT64_C(1073741824) << QLocale(QLocale::German) << "1.048.576 KB";
    QTest::newRow("beyond 4 GiB") << Q_UINT64_C(68719476736) << english << "67,108,864 KB";
    QTest::newRow("whole kilobytes") << Q_UINT64_C(536315903) << english << "523,745 KB";
    QTest::newRow("nothing before KB for zero") << Q_UINT64_C(1023) << english << " KB";
}

void TstSystemInfo::memoryLine()
{
    QFETCH(quint64, bytes);
    QFETCH(QLocale, locale);
    QTEST(ComposeMemoryLine(bytes, locale), "line");
}

void TstSystemInfo::osReleaseAndKernel()
{
    QCOMPARE(OsPrettyName("NAME=\"Debian GNU/Linux\"\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n"),
             QStringLiteral("Debian GNU/Linux 12 (bookworm)"));
    QCOMPARE(OsPrettyName("PRETTY_NAME='Alpine Linux v3.19'"), QStringLiteral("Alpine Linux v3.19"));
    QCOMPARE(OsPrettyName("ID=arch\nPRETTY_NAME=Arch\n"), QStringLiteral("Arch"));
    QCOMPARE(OsPrettyName("PRETTY_NAME=\"My \\\"Own\\\" 深度\""), QStringLiteral("My \"Own\" 深度"));
    QCOMPARE(OsPrettyName("NAME=Debian\nXPRETTY_NAME=x\n"), QString());

    int major = -1, minor = -1;
    QVERIFY(ParseKernelVersion(QStringLiteral("6.1.0-13-amd64"), &major, &minor));
    QCOMPARE(QPoint(major, minor), QPoint(6, 1));
    QVERIFY(ParseKernelVersion(QStringLiteral("6.18.44-fc"), &major, &minor));
    QCOMPARE(QPoint(major, minor), QPoint(6, 18));
    QVERIFY(!ParseKernelVersion(QStringLiteral("6"), &major, &minor));
    QVERIFY(!ParseKernelVersion(QStringLiteral("unknown"), &major, &minor));

    // Ten blanks after the carriage return; a name is shown as it is, whatever it holds.
    QCOMPARE(ComposeSystemLine(QStringLiteral("Odd %1 OS"), 10, 15), QStringLiteral("Odd %1 OS\r          10.15"));
}

void TstSystemInfo::aboutLines_data()
{
    QTest::addColumn<QString>("osName");
    QTest::addColumn<quint64>("memory");
    QTest::addColumn<QString>("system");
    QTest::addColumn<QString>("memoryLine");
    QTest::addColumn<bool>("complete");
    const QString debian = QStringLiteral("Debian GNU/Linux 12 (bookworm)");
    QTest::newRow("all facts") << debian << Q_UINT64_C(1073741824)
                               << "当前操作系统：Debian GNU/Linux 12 (bookworm)\r          6.1"
                               << "系统资源：1,048,576 KB" << true;
    QTest::newRow("memory missing") << debian << Q_UINT64_C(0)
                                    << "当前操作系统：Debian GNU/Linux 12 (bookworm)\r          6.1" << "系统资源："
                                    << false;
    // The system line comes first: without it the memory line is not attempted.
    QTest::newRow("system missing") << "" << Q_UINT64_C(1073741824) << "当前操作系统：" << "系统资源：" << false;
}

void TstSystemInfo::aboutLines()
{
    QFETCH(QString, osName);
    QFETCH(quint64, memory);
    const AboutLines lines = ComposeAboutLines({ osName, 6, 1, memory }, QLocale::c());
    QTEST(lines.system, "system");
    QTEST(lines.memory, "memoryLine");
    QTEST(lines.complete, "complete");
}

QTEST_GUILESS_MAIN(TstSystemInfo)
#include "tst_SystemInfo.moc"
