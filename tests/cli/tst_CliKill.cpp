// kelvara-cli killed (SIGKILL) at random moments during single readings and large imports: after
// every kill the file is whole, an import is stored entirely or not at all, and every reading
// the program printed as stored is there.
#include "Database.h"
#include "TestDatabase.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QtTest>

#include <random>
#include <thread>

namespace {

// A fixed start value: every run draws the same kill moments (the program's own speed varies).
constexpr std::uint32_t generatorStart = 19700101;

constexpr int importMeters = 20;
constexpr int importDays = 1000;             // 20 meters × 1000 days: 20,000 lines a file
constexpr int importRuns = 7;                // the first runs to the end, the others are killed
constexpr int readKills = 100;               // single readings run until this many were killed
constexpr int readRunsAtMost = 300;

struct Outcome
{
    bool killed = false;                     // still running when the kill came
    int exitCode = -1;
    QString out;
    qint64 elapsedMs = 0;
};

// Starts kelvara-cli and kills it after delayUs microseconds (never when negative), or as soon as
// it has printed something, unless it ended before.
Outcome runAndKill(const QString &database, const QStringList &args, qint64 delayUs, bool onOutput = false)
{
    QProcess p;
    QElapsedTimer timer;
    timer.start();
    p.start(QStringLiteral(KELVARA_CLI), QStringList({ QStringLiteral("--database"), database }) + args);
    if (!p.waitForStarted(10000))
        qFatal("kelvara-cli did not start");
    Outcome o;
    if (onOutput) {
        if (p.waitForReadyRead(60000) && p.state() == QProcess::Running)
            p.kill();
    } else if (delayUs >= 0) {
        std::this_thread::sleep_for(std::chrono::microseconds(delayUs));
        if (p.state() == QProcess::Running)
            p.kill();
    }
    if (!p.waitForFinished(120000))
        qFatal("kelvara-cli did not end");
    o.elapsedMs = timer.elapsed();
    o.killed = p.exitStatus() == QProcess::CrashExit;
    o.exitCode = o.killed ? -1 : p.exitCode();
    o.out = QString::fromUtf8(p.readAllStandardOutput());
    return o;
}

// The usual length of a whole run: the median of the runs that ended by themselves, which
// follows the machine's load.
class WholeRun
{
public:
    void add(qint64 elapsedMs) { m_us.append(std::max<qint64>(elapsedMs, 5) * 1000); }
    qint64 us() const
    {
        QList<qint64> sorted = m_us;
        std::sort(sorted.begin(), sorted.end());
        return sorted.at(sorted.size() / 2);
    }

private:
    QList<qint64> m_us;
};

// The file as the next program finds it: a fresh connection, which also recovers the journal.
class AfterKill
{
public:
    explicit AfterKill(const QString &path) : m_db(Database::open(path, name())) {}
    ~AfterKill()
    {
        m_db = QSqlDatabase();
        Database::close(name());
    }
    QString integrity() const { return scalar(m_db, QStringLiteral("PRAGMA integrity_check")).toString(); }
    QVariant value(const QString &sql, const QVariantList &values = {}) const { return scalar(m_db, sql, values); }

private:
    static QString name() { return QStringLiteral("after-kill"); }
    QSqlDatabase m_db;
};

void addPriceAndSort(TestDatabase &t, QVariant &sort, QVariant &price)
{
    sort = t.addMeterSort(QStringLiteral("水表"));
    price = t.addPrice(QStringLiteral("生产用水"), yuan("0.5"), yuan("0.8"), sort);
}

}

class TstCliKill : public QObject
{
    Q_OBJECT
private slots:
    void killedReadings();
    void killedImports();
};

void TstCliKill::killedReadings()
{
    TestDatabase t;
    QVariant sort, price;
    addPriceAndSort(t, sort, price);
    t.addMeter({ QStringLiteral("R1"), sort, price, {}, {}, 1, 0, 2147483647, 5, yuan("100") });
    Database::closeConnection();

    std::mt19937 g(generatorStart);
    const QDate first(2001, 1, 1);
    // One reading run to its end gives the scale of the kill moments.
    const Outcome whole = runAndKill(t.path(), { "read", "--date", first.toString(Qt::ISODate), "R1", "10" }, -1);
    QCOMPARE(whole.exitCode, 0);
    WholeRun usual;
    usual.add(whole.elapsedMs);

    struct Printed { QDate date; QString line; };
    QList<Printed> printed{ { first, whole.out } };
    int killed = 0;
    int killedAfterPrinting = 0;
    int runs = 1;
    for (int i = 1; killed < readKills && i <= readRunsAtMost; ++i, ++runs) {
        const QDate date = first.addDays(i);
        // Every third run is killed the moment its line appears, while the program closes the file.
        const qint64 delay = std::uniform_int_distribution<qint64>(0, usual.us() * 12 / 10)(g);
        const Outcome o = runAndKill(t.path(), { "read", "--date", date.toString(Qt::ISODate), "R1",
                                                 QString::number(10 + 7 * i) }, delay, i % 3 == 0);
        if (o.killed) {
            ++killed;
            if (!o.out.isEmpty())
                ++killedAfterPrinting;
        } else {
            QCOMPARE(o.exitCode, 0);
            usual.add(o.elapsedMs);
        }
        if (!o.out.isEmpty())
            printed << Printed{ date, o.out };

        AfterKill after(t.path());
        QCOMPARE(after.integrity(), QStringLiteral("ok"));
        // Every line printed so far is a stored row with exactly those figures.
        for (const Printed &p : std::as_const(printed)) {
            const QString stored =
                after.value(QStringLiteral("select MeterID || char(9) || TakeTime || char(9) || TakeNumber || char(9) || "
                                           "CurValue from TakeMeter where MeterID = 'R1' and TakeTime = ?"),
                            { p.date.toString(Qt::ISODate) })
                    .toString();
            QVERIFY2(!stored.isEmpty(), qPrintable("printed but not stored: " + p.line));
            QCOMPARE(p.line.section(u'\t', 0, 3), stored);
        }
    }
    qInfo("%d readings: %d killed (%d after printing), %d printed as stored", runs, killed, killedAfterPrinting,
          int(printed.size()));
    QVERIFY(killed > 0);
}

void TstCliKill::killedImports()
{
    TestDatabase t;
    QVariant sort, price;
    addPriceAndSort(t, sort, price);
    {
        Transaction tx(t.db());
        for (int run = 0; run < importRuns; ++run)
            for (int m = 0; m < importMeters; ++m)
                t.addMeter({ QStringLiteral("I%1-%2").arg(run).arg(m), sort, price, {}, {}, 1, 0, 2147483647, 5,
                             yuan("100") });
        tx.commit();
    }
    Database::closeConnection();

    // Each run imports its own meters, so a stored run and a lost one are told apart by a count.
    auto importFile = [&](int run) {
        QByteArray content = "meter,date,counter\n";
        content.reserve(importMeters * importDays * 24);
        for (int d = 0; d < importDays; ++d)
            for (int m = 0; m < importMeters; ++m)
                content += QStringLiteral("I%1-%2,%3,%4\n")
                               .arg(run).arg(m).arg(QDate(2001, 1, 1).addDays(d).toString(Qt::ISODate))
                               .arg(d * 3 + m)
                               .toLatin1();
        const QString path = t.dir() + QStringLiteral("/import-%1.csv").arg(run);
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(content) != content.size())
            qFatal("cannot write the import file");
        return path;
    };
    const int lines = importMeters * importDays;
    auto storedOf = [&](const AfterKill &after, int run) {
        return after.value(QStringLiteral("select count(*) from TakeMeter where MeterID like ?"),
                           { QStringLiteral("I%1-%").arg(run) })
            .toInt();
    };

    std::mt19937 g(generatorStart + 1);
    const Outcome whole = runAndKill(t.path(), { "import", importFile(0) }, -1);
    QCOMPARE(whole.out, QStringLiteral("stored %1 readings\n").arg(lines));
    // Kill moments from the start to just before the usual end; around the end, where the commit
    // falls; and the moment "stored" appears, while the closing checkpoint copies the import
    // into the file.
    WholeRun usual;
    usual.add(whole.elapsedMs);
    int killed = 0;
    int killedAfterCommit = 0;
    int storedRuns = 1;
    for (int run = 1; run < importRuns; ++run) {
        const qint64 delay =
            run % 3 == 2 ? std::uniform_int_distribution<qint64>(usual.us() * 85 / 100, usual.us() * 11 / 10)(g)
                         : std::uniform_int_distribution<qint64>(0, usual.us() * 95 / 100)(g);
        const Outcome o = runAndKill(t.path(), { "import", importFile(run) }, delay, run % 3 == 0);
        if (o.killed) {
            ++killed;
        } else {
            QCOMPARE(o.out, QStringLiteral("stored %1 readings\n").arg(lines));
            usual.add(o.elapsedMs);
        }

        AfterKill after(t.path());
        QCOMPARE(after.integrity(), QStringLiteral("ok"));
        const int stored = storedOf(after, run);
        QVERIFY2(stored == 0 || stored == lines, qPrintable(QStringLiteral("%1 of %2 lines stored").arg(stored).arg(lines)));
        if (!o.killed || !o.out.isEmpty())
            QCOMPARE(stored, lines);
        if (stored == lines)
            ++storedRuns;
        if (stored == lines && o.killed)
            ++killedAfterCommit;
        // Runs stored earlier are still whole.
        QCOMPARE(after.value(QStringLiteral("select count(*) from TakeMeter")).toInt(), storedRuns * lines);
    }
    qInfo("%d imports of %d lines (the first whole, in %lld ms): %d killed (%d of them after the commit), %d stored",
          importRuns, lines, whole.elapsedMs, killed, killedAfterCommit, storedRuns);
    QVERIFY(killed > 0);
}

QTEST_GUILESS_MAIN(TstCliKill)
#include "tst_CliKill.moc"
