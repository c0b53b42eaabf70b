#pragma once

#include "ByteString.h"

#include <QString>
#include <optional>

// The pre-shared key that encrypts the seeds of a PSKC export file (AES-128),
// agreed with the authentication server out of band. The station never
// stores it: the operator types it for a run, and the server is given the
// same key under the same name.
struct PskcKey
{
    ByteString key;                                  // 16 bytes; wiped when released
    QString name = QStringLiteral("Pre-shared-key"); // <ds:KeyName>: how the server finds it
};

// Reads a key typed as 32 hexadecimal digits, upper or lower case; spaces and
// tabs between them are ignored ("00112233 44556677 ..."). Anything else
// gives no key and, in problem, the operator's message, for example
// "The key has 30 hexadecimal digits; an AES-128 key has 32.".
std::optional<PskcKey> ParsePskcKey(const QString& text, QString* problem);
