#include "Database.h"
#include "ReportExport.h"
#include "ReportFixture.h"
#include "TestDatabase.h"

#include <QProcess>
#include <QRegularExpression>
#include <QtTest>
#include <csignal>
#include <functional>
#include <memory>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

class TstCmdReport : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void textTable();
    void csvToStandardOutput();
    void csvToFile();
    void pdfFile();
    void pdfQuietWithForeignRuntimeFolder();
    void pdfWithInheritedWindowSystem();
    void pdfTextLayerWithOtherChineseFont();
    void pdfTextLayer_data();
    void pdfTextLayer();
    void periodLinePrintedWhole();
    void namedPipeWrittenInto();
    void databaseNeverOverwritten();
    void standardOutputByNameAppends();
    void closedPipeIsAWriteFailure();
    void writeFailures_data();
    void writeFailures();
    void refusals_data();
    void refusals();
    void missingDatabase();

private:
    struct Result
    {
        int code = -1;
        QByteArray out;
        QString err;
    };
    Result run(const QStringList &args, const QString &database = {},
               const std::function<void(QProcess &)> &setup = {});

    std::unique_ptr<TestDatabase> m_db;
    std::unique_ptr<QTemporaryDir> m_dir;
};

namespace {

const QString Titles = QStringLiteral(
    "班组名称,表编号,表类别,使用数量,费用统计(元)|总费用,费用统计(元)|计划内费用,费用统计(元)|超支费用,"
    "费用统计(元)|限额费用,单价(元)|单价,单价(元)|超出部分单价,最后抄表数,安装基数,附加数量,倍率");
const QStringList DetailLines = {
    Titles,
    QStringLiteral("车工班,W1,水表,160,468.7500,225.0000,243.7500,300.0000,2.5000,3.7500,260,100,6,1"),
    QStringLiteral("钳工班,E1,电表,4000,2538.4000,500.0000,2038.4000,500.0000,0.6500,0.9800,5100,5000,0,40"),
    QStringLiteral("统计,,,4160,3007.1500,725.0000,2282.1500,800.0000,3.1500,4.7300,5360,5100,6,41"),
    QString(),
};
const QStringList July = { "--from", "2024-07-01", "--to", "2024-07-31" };

}

void TstCmdReport::init()
{
    m_db = std::make_unique<TestDatabase>();
    const ReportFixture::Ids ids = ReportFixture::fill(*m_db);
    m_db->addWorkshop(QStringLiteral("装配车间"), 2, ids.production);   // a second workshop of that name
    m_dir = std::make_unique<QTemporaryDir>();
}

void TstCmdReport::cleanup()
{
    m_dir.reset();
    m_db.reset();
}

TstCmdReport::Result TstCmdReport::run(const QStringList &args, const QString &database,
                                      const std::function<void(QProcess &)> &setup)
{
    QProcess process;
    if (setup)
        setup(process);
    process.start(QStringLiteral(KELVARA_CLI),
                  QStringList{ "--database", database.isEmpty() ? m_db->path() : database } + args);
    Result r;
    if (!process.waitForFinished(60000))
        return r;
    r.code = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    r.out = process.readAllStandardOutput();
    r.err = QString::fromUtf8(process.readAllStandardError());
    return r;
}

void TstCmdReport::textTable()
{
    const Result r = run(QStringList{ "report", "summary" } + July);
    QCOMPARE(r.code, 0);
    const QStringList lines = QString::fromUtf8(r.out).split(u'\n');
    QCOMPARE(lines.mid(0, 3), (QStringList{ "汇总报表", "报表时间：自 2024-07-01 至 2024-07-31", "" }));
    QCOMPARE(lines.at(3).split(QRegularExpression(QStringLiteral("\\s+"))).mid(0, 3),
             (QStringList{ "车间名称", "表编号", "表类别" }));
    // Columns line up on the terminal: the meter numbers start where their title does.
    auto column = [](const QString &line, qsizetype index) { return ReportExport::displayWidth(line.left(index)); };
    const qsizetype meterAt = lines.at(5).indexOf(QRegularExpression(QStringLiteral("[AEW]1")));
    QCOMPARE(column(lines.at(5), meterAt), column(lines.at(3), lines.at(3).indexOf(QStringLiteral("表编号"))));
    QCOMPARE(lines.size(), 11);   // titles, rule, three rows, rule, footer and the final newline
    QStringList meters;
    for (const QString &line : lines.mid(5, 3))
        meters << line.section(QRegularExpression(QStringLiteral("\\s+")), 1, 1);
    meters.sort();
    QCOMPARE(meters, (QStringList{ "A1", "E1", "W1" }));
    QVERIFY(lines.at(9).startsWith(QStringLiteral("统计")));
    QVERIFY(lines.at(9).contains(QStringLiteral(" 3057.15 ")));
}

void TstCmdReport::csvToStandardOutput()
{
    const Result r = run(QStringList{ "report", "detail", "--workshop", "机加工车间", "--format", "csv" } + July);
    QCOMPARE(r.code, 0);
    QVERIFY(!r.out.startsWith("\xEF\xBB\xBF"));
    QCOMPARE(QString::fromUtf8(r.out).split(QStringLiteral("\r\n")), DetailLines);

    // A full-width name and its ASCII twin are two names: each names its own workshop.
    execSql(m_db->db(), QStringLiteral("UPDATE Workshop SET WrokShopName = 'ＡＢ' WHERE WrokShopName = '机加工车间'"));
    m_db->addWorkshop(QStringLiteral("ab"), 2, scalar(m_db->db(), QStringLiteral("SELECT ResideWorkShopID FROM Workshop "
                                                                               "WHERE WrokShopName = 'ＡＢ'")).toLongLong());
    const Result twin = run(QStringList{ "report", "detail", "--workshop", "ＡＢ", "--format", "csv" } + July);
    QCOMPARE(twin.err, QString());
    QCOMPARE(QString::fromUtf8(twin.out).split(QStringLiteral("\r\n")), DetailLines);
}

void TstCmdReport::csvToFile()
{
    const QString file = m_dir->filePath(QStringLiteral("detail.csv"));
    const Result r = run(QStringList{ "report", "detail", "--workshop", "机加工车间", "--format", "csv", "--output",
                                      file } + July);
    QCOMPARE(r.code, 0);
    QFile f(file);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray data = f.readAll();
    QVERIFY(data.startsWith("\xEF\xBB\xBF"));
    QCOMPARE(QString::fromUtf8(data.mid(3)).split(QStringLiteral("\r\n")), DetailLines);
}

void TstCmdReport::pdfFile()
{
    const QString file = m_dir->filePath(QStringLiteral("classes.pdf"));
    // Run as from cron: no display, no runtime folder, and still not a word on standard error.
    const Result r = run(QStringList{ "report", "classes", "--format", "pdf", "--output", file } + July, {},
                         [](QProcess &p) {
                             QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
                             for (const char *name : { "XDG_RUNTIME_DIR", "QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY" })
                                 env.remove(QString::fromLatin1(name));
                             p.setProcessEnvironment(env);
                         });
    QCOMPARE(r.code, 0);
    QCOMPARE(r.err, QString());
    QFile f(file);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray data = f.readAll();
    QVERIFY(data.startsWith("%PDF"));
    static const QRegularExpression page(QStringLiteral("/Type\\s*/Page[^s]"));
    int pages = 0;
    for (auto it = page.globalMatch(QString::fromLatin1(data)); it.hasNext(); it.next())
        ++pages;
    QCOMPARE(pages, 1);   // eleven columns at their designed widths fit one portrait page
}

// After su without a login shell the runtime folder named is the other user's (or, for root, one
// open to all): Qt warns about it as it starts, though the report needs no runtime folder.
void TstCmdReport::pdfQuietWithForeignRuntimeFolder()
{
    const QString file = m_dir->filePath(QStringLiteral("classes.pdf"));
    const Result r = run(QStringList{ "report", "classes", "--format", "pdf", "--output", file } + July, {},
                         [](QProcess &p) {
                             QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
                             env.insert(QStringLiteral("XDG_RUNTIME_DIR"), QStringLiteral("/"));
                             p.setProcessEnvironment(env);
                         });
    QCOMPARE(r.code, 0);
    QCOMPARE(r.err, QString());
}

// A desktop's choice of window system, inherited by a job that runs without a display: the report
// needs no window and is still written, instead of an abort with a core dump.
void TstCmdReport::pdfWithInheritedWindowSystem()
{
    const QString file = m_dir->filePath(QStringLiteral("classes.pdf"));
    const Result r = run(QStringList{ "report", "classes", "--format", "pdf", "--output", file } + July, {},
                         [](QProcess &p) {
                             QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
                             env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
                             env.remove(QStringLiteral("DISPLAY"));
                             env.remove(QStringLiteral("WAYLAND_DISPLAY"));
                             p.setProcessEnvironment(env);
                         });
    QCOMPARE(r.code, 0);
    QVERIFY(QFileInfo(file).size() > 0);
}

// On a machine whose Chinese font is another one than Noto Sans CJK SC (here the same fonts with
// the SC faces withheld, so that the characters come from the JP or TC face), the text layer still
// names every character as printed: 车, 自 and 用, not the radicals ⻋, ⾃ and ⽤ that share their glyphs.
void TstCmdReport::pdfTextLayerWithOtherChineseFont()
{
    const QString config = m_dir->filePath(QStringLiteral("fonts.conf"));
    QFile conf(config);
    QVERIFY(conf.open(QIODevice::WriteOnly));
    conf.write("<?xml version=\"1.0\"?>\n<!DOCTYPE fontconfig SYSTEM \"fonts.dtd\">\n<fontconfig>\n"
               "<include ignore_missing=\"yes\">/etc/fonts/fonts.conf</include>\n<selectfont><rejectfont>\n"
               "<pattern><patelt name=\"family\"><string>Noto Sans CJK SC</string></patelt></pattern>\n"
               "<pattern><patelt name=\"family\"><string>Noto Serif CJK SC</string></patelt></pattern>\n"
               "</rejectfont></selectfont>\n</fontconfig>\n");
    conf.close();
    const QString file = m_dir->filePath(QStringLiteral("summary.pdf"));
    const Result r = run(QStringList{ "report", "summary", "--format", "pdf", "--output", file } + July, {},
                         [&](QProcess &p) {
                             QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
                             env.insert(QStringLiteral("FONTCONFIG_FILE"), config);
                             p.setProcessEnvironment(env);
                         });
    QCOMPARE(r.code, 0);
    QProcess pdftotext;
    pdftotext.start(QStringLiteral("pdftotext"), { file, QStringLiteral("-") });
    QVERIFY2(pdftotext.waitForFinished(30000) && pdftotext.exitCode() == 0, "pdftotext (poppler-utils) is needed");
    const QString printed = QString::fromUtf8(pdftotext.readAllStandardOutput());
    QVERIFY2(printed.contains(QStringLiteral("报表时间：自 2024-07-01 至 2024-07-31")), qPrintable(printed.left(80)));
    QVERIFY2(printed.contains(QStringLiteral("机加工车间")), qPrintable(printed.left(200)));
}

void TstCmdReport::pdfTextLayer_data()
{
    QTest::addColumn<QString>("report");
    QTest::addColumn<bool>("demo");
    QTest::newRow("demonstration data, summary") << QStringLiteral("summary") << true;
    QTest::newRow("demonstration data, workshop summary table") << QStringLiteral("classes") << true;
    QTest::newRow("figures of eleven digits") << QStringLiteral("summary") << false;
    QTest::newRow("figures of eleven digits, workshop summary table") << QStringLiteral("classes") << false;
}

// The printed pages carry every name, meter number and figure whole, in their text layer too:
// each word of the text report's rows and footer is a word of the PDF's text, and nothing is cut.
void TstCmdReport::pdfTextLayer()
{
    QFETCH(QString, report);
    QFETCH(bool, demo);
    QString database = m_db->path();
    if (demo) {
        database = m_dir->filePath(QStringLiteral("demo.db"));
        QCOMPARE(run({ "init", "--demo" }, database).code, 0);
    } else {
        m_db->addReading(QStringLiteral("E1"), QDate(2024, 7, 30), 999999, 82974390, yuan("8297439012.50"),
                         yuan("11929000000.75"));
    }
    const QStringList period = { "--from", "2000-01-01", "--to", "2099-12-31" };
    const QString file = m_dir->filePath(QStringLiteral("report.pdf"));
    QCOMPARE(run(QStringList{ "report", report, "--format", "pdf", "--output", file } + period, database).code, 0);
    const Result text = run(QStringList{ "report", report } + period, database);
    QCOMPARE(text.code, 0);

    QProcess pdftotext;
    pdftotext.start(QStringLiteral("pdftotext"), { QStringLiteral("-layout"), file, QStringLiteral("-") });
    QVERIFY2(pdftotext.waitForFinished(30000) && pdftotext.exitCode() == 0, "pdftotext (poppler-utils) is needed");
    const QString printed = QString::fromUtf8(pdftotext.readAllStandardOutput());
    QVERIFY(!printed.contains(u'…'));
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    const QStringList words = printed.split(blanks, Qt::SkipEmptyParts);
    // The text report: title, period, blank, titles, rule, the rows, rule, footer.
    const QStringList lines = QString::fromUtf8(text.out).split(u'\n', Qt::SkipEmptyParts);
    QVERIFY(lines.size() > 7);
    int checked = 0;
    for (const QString &line : lines.mid(4)) {
        if (line.startsWith(u'-'))
            continue;
        for (const QString &word : line.split(blanks, Qt::SkipEmptyParts)) {
            QVERIFY2(words.contains(word), qPrintable(word));
            ++checked;
        }
    }
    QVERIFY(checked > 50);
    if (!demo)
        QVERIFY(words.contains(QStringLiteral("20226441551.65")));   // the footer's total
}

// The line before the grid is printed whole, however long the workshop's name: with a name of
// 50 characters, the most the workshop window takes, the period's end date still reaches the page.
void TstCmdReport::periodLinePrintedWhole()
{
    const QString name = QStringLiteral("第一机械加工及热处理表面处理联合生产车间综合服务管理部门下属的特别长的车间名称甲乙丙丁戊己庚辛壬癸子");
    QCOMPARE(name.size(), 50);
    execSql(m_db->db(), QStringLiteral("UPDATE Workshop SET WrokShopName = ? WHERE WrokShopName = '机加工车间'"), { name });
    const QString file = m_dir->filePath(QStringLiteral("detail.pdf"));
    QCOMPARE(run(QStringList{ "report", "detail", "--workshop", name, "--format", "pdf", "--output", file } + July).code, 0);
    QProcess pdftotext;
    pdftotext.start(QStringLiteral("pdftotext"), { file, QStringLiteral("-") });
    QVERIFY2(pdftotext.waitForFinished(30000) && pdftotext.exitCode() == 0, "pdftotext (poppler-utils) is needed");
    QString printed = QString::fromUtf8(pdftotext.readAllStandardOutput());
    printed.remove(QRegularExpression(QStringLiteral("\\s+")));
    const QString line = QStringLiteral("车间：") + name + QStringLiteral("报表时间：自2024-07-01至2024-07-31");
    QVERIFY2(printed.contains(line), qPrintable(printed.left(120)));
}

// A named pipe given as the output is written into, as a shell's redirection would; replacing
// it would leave its reader waiting for ever.
void TstCmdReport::namedPipeWrittenInto()
{
    const QString pipe = m_dir->filePath(QStringLiteral("pipe"));
    QCOMPARE(mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    QProcess reader;
    reader.start(QStringLiteral("cat"), { pipe });
    QVERIFY(reader.waitForStarted());
    const Result r = run(QStringList{ "report", "detail", "--workshop", "机加工车间", "--format", "csv", "--output",
                                      pipe } + July);
    const bool read = reader.waitForFinished(20000);
    if (!read)
        reader.kill();
    QCOMPARE(r.code, 0);
    QVERIFY(read);
    const QByteArray data = reader.readAllStandardOutput();
    QVERIFY(data.startsWith("\xEF\xBB\xBF"));
    QCOMPARE(QString::fromUtf8(data.mid(3)).split(QStringLiteral("\r\n")), DetailLines);
    struct stat info{};
    QCOMPARE(stat(QFile::encodeName(pipe).constData(), &info), 0);
    QVERIFY(S_ISFIFO(info.st_mode));
}

// A report written over the database it was made from would end every reading stored there: an
// --output naming the database (a slip of the shell's history) is refused and the file kept.
void TstCmdReport::databaseNeverOverwritten()
{
    if (TestDatabase::onServer())
        QSKIP("a server's database has no file to write over");
    const Result r = run(QStringList{ "report", "summary", "--output", m_db->path() } + July);
    QVERIFY2(r.code != 0, r.out.constData());
    QVERIFY(!r.err.isEmpty());
    QCOMPARE(run(QStringList{ "report", "summary" } + July).code, 0);
    QCOMPARE(m_db->count(QStringLiteral("TakeMeter")), 9);
}

// --output /dev/stdout, the usual name for a program that wants a file name, goes where the
// shell sent standard output: appended to a log (>> log), the log keeps its earlier lines.
void TstCmdReport::standardOutputByNameAppends()
{
    const QString log = m_dir->filePath(QStringLiteral("monthly.log"));
    QFile file(log);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("June report\n");
    file.close();
    const Result r = run(QStringList{ "report", "summary", "--format", "csv", "--output", "/dev/stdout" } + July, {},
                         [&](QProcess &p) { p.setStandardOutputFile(log, QIODevice::Append); });
    QCOMPARE(r.code, 0);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray data = file.readAll();
    QVERIFY2(data.startsWith("June report\n"), data.left(60).constData());
    QVERIFY(data.contains("统计"));
}

// A reader that went away (report | head -1) is a failed write like any other: status 3 and the
// cause, not a death by SIGPIPE that a script sees as status 141.
void TstCmdReport::closedPipeIsAWriteFailure()
{
    int fds[2];
    QCOMPARE(pipe(fds), 0);
    ::close(fds[0]);
    const Result r = run(QStringList{ "report", "summary" } + July, {}, [&](QProcess &p) {
        const int writeEnd = fds[1];
        p.setChildProcessModifier([writeEnd] { ::dup2(writeEnd, STDOUT_FILENO); });
    });
    ::close(fds[1]);
    QCOMPARE(r.code, 3);
    QVERIFY2(r.err.contains(QStringLiteral("Broken pipe")), qPrintable(r.err));
}

void TstCmdReport::writeFailures_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("standardOutput");   // a file the output goes to instead of the pipe
    QTest::addColumn<int>("fileSizeLimit");        // bytes a file may grow to, 0 for no limit
    QTest::addColumn<QString>("says");
    const QStringList csv = QStringList{ "report", "summary", "--format", "csv" } + July;
    QTest::newRow("standard output on a full device") << csv << QStringLiteral("/dev/full") << 0
                                                      << QStringLiteral("No space left on device");
    QTest::newRow("text on a full device") << QStringList{ "report", "classes" } + July << QStringLiteral("/dev/full")
                                           << 0 << QStringLiteral("No space left on device");
    QTest::newRow("file beyond the size allowed") << csv + QStringList{ "--output", "@dir/old.csv" } << QString() << 200
                                                  << QStringLiteral("File too large");
    QTest::newRow("pdf beyond the size allowed")
        << QStringList{ "report", "summary", "--format", "pdf", "--output", "@dir/old.csv" } + July << QString() << 2000
        << QStringLiteral("File too large");
    QTest::newRow("missing folder") << csv + QStringList{ "--output", "@dir/none/r.csv" } << QString() << 0
                                    << QStringLiteral("cannot write @dir/none/r.csv: ");
}

// Output the system does not take fails the command with status 3 and says why; an older file
// of the name stays as it was.
void TstCmdReport::writeFailures()
{
    QFETCH(QStringList, args);
    QFETCH(QString, standardOutput);
    QFETCH(int, fileSizeLimit);
    QFETCH(QString, says);
    const QString old = m_dir->filePath(QStringLiteral("old.csv"));
    QFile file(old);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("old report");
    file.close();
    args.replaceInStrings(QStringLiteral("@dir"), m_dir->path());
    says.replace(QStringLiteral("@dir"), m_dir->path());
    const Result r = run(args, {}, [&](QProcess &p) {
        if (!standardOutput.isEmpty())
            p.setStandardOutputFile(standardOutput);
        if (fileSizeLimit > 0)
            p.setChildProcessModifier([fileSizeLimit] {
                rlimit limit{ rlim_t(fileSizeLimit), rlim_t(fileSizeLimit) };
                setrlimit(RLIMIT_FSIZE, &limit);
                std::signal(SIGXFSZ, SIG_IGN);
            });
    });
    QCOMPARE(r.code, 3);
    QVERIFY2(r.err.contains(says), qPrintable(r.err));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("old report"));
}

void TstCmdReport::refusals_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("says");
    const QStringList detail{ "report", "detail" };
    QTest::newRow("detail without workshop") << detail + July << 2 << QStringLiteral("--workshop");
    QTest::newRow("no such workshop") << detail + July + QStringList{ "--workshop", "铸造车间" } << 1
                                      << QStringLiteral("铸造车间");
    QTest::newRow("name of two workshops") << detail + July + QStringList{ "--workshop", "装配车间" } << 1
                                           << QStringLiteral("2 workshops");
    QTest::newRow("a team is no workshop") << detail + July + QStringList{ "--workshop", "车工班" } << 1
                                           << QStringLiteral("车工班");
    QTest::newRow("workshop on another report") << QStringList{ "report", "summary", "--workshop", "装配车间" } + July
                                                << 2 << QStringLiteral("--workshop");
    QTest::newRow("date not in ISO form")
        << QStringList{ "report", "summary", "--from", "2024-7-1", "--to", "2024-07-31" } << 2 << QStringLiteral("YYYY");
    QTest::newRow("end before start")
        << QStringList{ "report", "summary", "--from", "2024-07-31", "--to", "2024-07-01" } << 1
        << QStringLiteral("before");
    QTest::newRow("unknown format") << QStringList{ "report", "summary", "--format", "xml" } + July << 2
                                    << QStringLiteral("xml");
    QTest::newRow("pdf needs a file") << QStringList{ "report", "summary", "--format", "pdf" } + July << 2
                                      << QStringLiteral("--output");
    QTest::newRow("unknown report") << QStringList{ "report", "weekly" } + July << 2 << QStringLiteral("weekly");
    // An empty variable in a script ("--output $FILE") must not send the report elsewhere with status 0.
    QTest::newRow("empty output name") << QStringList{ "report", "summary", "--format", "csv", "--output", "" } + July
                                       << 2 << QStringLiteral("--output");
    QTest::newRow("unusual readings, empty output name")
        << QStringList{ "report", "unusual", "--output", "" } + July << 2 << QStringLiteral("--output");
    QTest::newRow("option without value") << QStringList{ "report", "summary", "--from" } << 2
                                          << QStringLiteral("--from");
}

void TstCmdReport::refusals()
{
    QFETCH(QStringList, args);
    QFETCH(int, code);
    QFETCH(QString, says);
    const Result r = run(args);
    QCOMPARE(r.code, code);
    QVERIFY2(r.err.contains(says), qPrintable(r.err));
    QVERIFY(r.out.isEmpty());
}

void TstCmdReport::missingDatabase()
{
    const Result r = run(QStringList{ "report", "summary" } + July, m_dir->filePath(QStringLiteral("none.db")));
    QCOMPARE(r.code, 3);
    QVERIFY(r.out.isEmpty());
    QVERIFY(!QFileInfo::exists(m_dir->filePath(QStringLiteral("none.db"))));
}

QTEST_GUILESS_MAIN(TstCmdReport)
#include "tst_CmdReport.moc"
