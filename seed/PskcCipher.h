#pragma once

#include "ByteString.h"
#include "PskcKey.h"

#include <QByteArray>
#include <QString>
#include <optional>

// What encrypts the seeds of one PSKC document with a pre-shared key: each
// secret is AES-128-CBC under the key (a random IV in front), and carries an
// HMAC-SHA256 over that IV and cipher text, under a MAC key of 32 random
// bytes drawn once per document and given in the document encrypted with the
// same pre-shared key.
class PskcCipher
{
public:
    static std::optional<PskcCipher> Create(PskcKey key, QString* problem);

    // The <EncryptionKey> and <MACMethod> elements of the document's
    // <KeyContainer>, indented for it.
    QByteArray containerElements() const;

    // The content of one <Secret> element: <EncryptedValue> and <ValueMAC>.
    std::optional<QByteArray> secretElements(const ByteString& seed, QString* problem) const;

private:
    PskcCipher() = default;

    PskcKey m_key;
    ByteString m_macKey;
    ByteString m_encryptedMacKey;
};
