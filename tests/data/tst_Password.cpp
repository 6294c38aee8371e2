// Password storage: argon2id hashes, never the password itself.
#include "Password.h"

#include <QtTest>

class TstPassword : public QObject
{
    Q_OBJECT
private slots:
    void storedAsSaltedHash();
    void matching_data();
    void matching();
};

void TstPassword::storedAsSaltedHash()
{
    const QString a = PasswordForStorage(QStringLiteral("1234"));
    const QString b = PasswordForStorage(QStringLiteral("1234"));
    QVERIFY(a.startsWith(QStringLiteral("$argon2id$")));
    QVERIFY(!a.contains(QStringLiteral("1234")));
    QVERIFY(a != b);                              // each hash has its own salt
    QVERIFY(IsPasswordHash(a));
    QVERIFY(!IsPasswordHash(QStringLiteral("1234")));
    // At least libsodium's interactive limits: 64 MiB and two passes.
    QVERIFY(a.contains(QStringLiteral("m=65536,t=2")));
}

void TstPassword::matching_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("matches");
    const QString hash = PasswordForStorage(QStringLiteral("O'Brien; --"));
    QTest::newRow("hash, right") << hash << "O'Brien; --" << true;
    QTest::newRow("hash, wrong") << hash << "O'Brien;" << false;
    QTest::newRow("hash, case") << hash << "o'brien; --" << false;
    QTest::newRow("empty password hashed") << PasswordForStorage(QString()) << "" << true;
    QTest::newRow("plain, right") << "pw" << "pw" << true;
    QTest::newRow("plain, case") << "pw" << "PW" << false;
    QTest::newRow("plain empty") << "" << "" << true;
    QTest::newRow("damaged hash") << hash.left(hash.size() - 3) << "O'Brien; --" << false;
}

void TstPassword::matching()
{
    QFETCH(QString, stored);
    QFETCH(QString, typed);
    QFETCH(bool, matches);
    QCOMPARE(PasswordMatches(typed, stored), matches);
}

QTEST_GUILESS_MAIN(TstPassword)
#include "tst_Password.moc"
