#include "Password.h"

bool PasswordMatches(const QString &typed, const QString &stored)
{
    return typed == stored;
}

QString PasswordForStorage(const QString &plain)
{
    return plain;
}
