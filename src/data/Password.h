// Password.h: how the typed password is compared with the stored one, and how it is stored.
#pragma once

#include <QString>

// Whether the typed (already trimmed) text is the stored password; exact and case-sensitive.
bool PasswordMatches(const QString &typed, const QString &stored);

// The text written to CnfgPara.PassWd for a password the operator chose; PasswordMatches
// recognises it.
QString PasswordForStorage(const QString &plain);
