// Password.h: how the typed password is compared with the stored one.
#pragma once

#include <QString>

// Whether the typed (already trimmed) text is the stored password; exact and case-sensitive.
bool PasswordMatches(const QString &typed, const QString &stored);
