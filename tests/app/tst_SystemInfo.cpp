// The lines of the about box: the system line, the memory line and what happens when a fact is missing.
#include "SystemInfo.h"

#include <QtTest>

class TstSystemInfo : public QObject
{
    Q_OBJECT
private slots:
    void memoryLine_data();
    void memoryLine();
    void systemLine();
    void prettyName_data();
    void prettyName();
    void kernelVersion_data();
    void kernelVersion();
    void aboutLines_data();
    void aboutLines();
    void factsOfThisMachine();
};

void TstSystemInfo::memoryLine_data()
{
    QTest::addColumn<quint64>("bytes");
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QString>("line");
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    QTest::newRow("1 GiB") << Q_UINT64_C(1073741824) << english << "1,048,576 KB";
    QTest::newRow("C locale groups too") << Q_UINT64_C(1073741824) << QLocale::c() << "1,048,576 KB";
    QTest::newRow("German separator") << Q_UINT64_C(1073741824) << QLocale(QLocale::German, QLocale::Germany)
                                      << "1.048.576 KB";
    QTest::newRow("beyond 4 GiB") << Q_UINT64_C(68719476736) << english << "67,108,864 KB";
    QTest::newRow("kilobytes rounded down") << Q_UINT64_C(536315903) << english << "523,745 KB";
    QTest::newRow("under a thousand") << Q_UINT64_C(2047) << english << "1 KB";
    QTest::newRow("nothing before KB for zero") << Q_UINT64_C(1023) << english << " KB";
}

void TstSystemInfo::memoryLine()
{
    QFETCH(quint64, bytes);
    QFETCH(QLocale, locale);
    QTEST(ComposeMemoryLine(bytes, locale), "line");
}

void TstSystemInfo::systemLine()
{
    QCOMPARE(ComposeSystemLine(QStringLiteral("Debian GNU/Linux 12 (bookworm)"), 6, 1),
             QStringLiteral("Debian GNU/Linux 12 (bookworm)\r          6.1"));
    // A name is shown as it is, whatever it holds.
    QCOMPARE(ComposeSystemLine(QStringLiteral("Odd %1 %2"), 10, 15), QStringLiteral("Odd %1 %2\r          10.15"));
}

void TstSystemInfo::prettyName_data()
{
    QTest::addColumn<QByteArray>("osRelease");
    QTest::addColumn<QString>("name");
    QTest::newRow("double quotes") << QByteArray("NAME=\"Debian GNU/Linux\"\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n")
                                   << "Debian GNU/Linux 12 (bookworm)";
    QTest::newRow("single quotes") << QByteArray("PRETTY_NAME='Alpine Linux v3.19'") << "Alpine Linux v3.19";
    QTest::newRow("unquoted") << QByteArray("ID=arch\nPRETTY_NAME=Arch\n") << "Arch";
    QTest::newRow("escaped quote") << QByteArray("PRETTY_NAME=\"My \\\"Own\\\" OS\"") << "My \"Own\" OS";
    QTest::newRow("UTF-8") << QByteArray("PRETTY_NAME=\"深度 20\"") << "深度 20";
    QTest::newRow("absent") << QByteArray("NAME=Debian\n") << "";
    QTest::newRow("not a prefix match") << QByteArray("XPRETTY_NAME=x\n") << "";
}

void TstSystemInfo::prettyName()
{
    QFETCH(QByteArray, osRelease);
    QTEST(OsPrettyName(osRelease), "name");
}

void TstSystemInfo::kernelVersion_data()
{
    QTest::addColumn<QString>("release");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("major");
    QTest::addColumn<int>("minor");
    QTest::newRow("Debian kernel") << "6.1.0-13-amd64" << true << 6 << 1;
    QTest::newRow("two-digit minor") << "6.18.44-fc-v1403" << true << 6 << 18;
    QTest::newRow("major.minor only") << "5.10" << true << 5 << 10;
    QTest::newRow("no minor") << "6" << false << -1 << -1;
    QTest::newRow("not a version") << "unknown" << false << -1 << -1;
}

void TstSystemInfo::kernelVersion()
{
    QFETCH(QString, release);
    int major = -1;
    int minor = -1;
    QTEST(ParseKernelVersion(release, &major, &minor), "ok");
    QTEST(major, "major");
    QTEST(minor, "minor");
}

void TstSystemInfo::aboutLines_data()
{
    QTest::addColumn<QString>("osName");
    QTest::addColumn<int>("major");
    QTest::addColumn<quint64>("memory");
    QTest::addColumn<QString>("system");
    QTest::addColumn<QString>("memoryLine");
    QTest::addColumn<bool>("complete");
    QTest::newRow("all facts") << "Debian GNU/Linux 12 (bookworm)" << 6 << Q_UINT64_C(1073741824)
                               << "当前操作系统：Debian GNU/Linux 12 (bookworm)\r          6.1"
                               << "系统资源：1,048,576 KB" << true;
    QTest::newRow("memory missing") << "Debian GNU/Linux 12 (bookworm)" << 6 << Q_UINT64_C(0)
                                    << "当前操作系统：Debian GNU/Linux 12 (bookworm)\r          6.1"
                                    << "系统资源：" << false;
    // The system line comes first: without it the memory line is not attempted.
    QTest::newRow("system name missing") << "" << 6 << Q_UINT64_C(1073741824) << "当前操作系统："
                                         << "系统资源：" << false;
    QTest::newRow("kernel version missing") << "Linux" << -1 << Q_UINT64_C(1073741824) << "当前操作系统："
                                            << "系统资源：" << false;
}

void TstSystemInfo::aboutLines()
{
    QFETCH(QString, osName);
    QFETCH(int, major);
    QFETCH(quint64, memory);
    SystemFacts facts;
    facts.osName = osName;
    facts.major = major;
    facts.minor = major < 0 ? -1 : 1;
    facts.memoryBytes = memory;
    const AboutLines lines = ComposeAboutLines(facts, QLocale::c());
    QTEST(lines.system, "system");
    QTEST(lines.memory, "memoryLine");
    QTEST(lines.complete, "complete");
}

void TstSystemInfo::factsOfThisMachine()
{
    const SystemFacts facts = ReadSystemFacts();
    QVERIFY(!facts.osName.isEmpty());
    QVERIFY(facts.major > 0);
    QVERIFY(facts.minor >= 0);
    // Any machine has more than 16 MB, counted in whole pages.
    QVERIFY(facts.memoryBytes > Q_UINT64_C(16) << 20);
    QCOMPARE(facts.memoryBytes % 1024, Q_UINT64_C(0));
}

QTEST_GUILESS_MAIN(TstSystemInfo)
#include "tst_SystemInfo.moc"
