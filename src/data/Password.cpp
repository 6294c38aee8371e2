#include "Password.h"

#include <sodium.h>
#include <stdexcept>

namespace {

void initialiseSodium()
{
    static const bool ready = sodium_init() >= 0;
    if (!ready)
        throw std::runtime_error("libsodium cannot be initialised");
}

}

bool IsPasswordHash(const QString &stored)
{
    return stored.startsWith(QLatin1String(crypto_pwhash_STRPREFIX));
}

bool PasswordMatches(const QString &typed, const QString &stored)
{
    if (!IsPasswordHash(stored))
        return typed == stored;
    initialiseSodium();
    const QByteArray hash = stored.toLatin1();
    const QByteArray password = typed.toUtf8();
    return crypto_pwhash_str_verify(hash.constData(), password.constData(), quint64(password.size())) == 0;
}

QString PasswordForStorage(const QString &plain)
{
    initialiseSodium();
    const QByteArray password = plain.toUtf8();
    char hash[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str(hash, password.constData(), quint64(password.size()), crypto_pwhash_OPSLIMIT_INTERACTIVE,
                          crypto_pwhash_MEMLIMIT_INTERACTIVE)
        != 0)
        throw std::runtime_error("out of memory while hashing the password");
    return QString::fromLatin1(hash);
}
