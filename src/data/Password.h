// Password.h: how the system password is stored (an argon2id hash) and how a typed one is checked.
#pragma once

#include <QString>

// Whether the stored text is a password hash rather than a password kept as plain text by an
// older database.
bool IsPasswordHash(const QString &stored);

// Whether the typed (already trimmed) text is the stored password: verified against a hash, or
// compared exactly (case-sensitive) with a plain-text value.
bool PasswordMatches(const QString &typed, const QString &stored);

// The text written to CnfgPara.PassWd for a password the operator chose: its argon2id hash at
// libsodium's interactive limits, with its own random salt. Throws std::runtime_error when the
// hash cannot be made (out of memory).
QString PasswordForStorage(const QString &plain);
