#include "PskcCipher.h"

#include "PskcCrypto.h"
#include "PskcXml.h"

namespace {

constexpr size_t kMacKeyBytes = 32; // as long as the HMAC-SHA256 output

QByteArray Base64(const ByteString& bytes)
{
    return QByteArray::fromRawData(reinterpret_cast<const char*>(bytes.data()),
                                   static_cast<qsizetype>(bytes.size()))
        .toBase64();
}

// An xenc:EncryptedDataType body holding AES-128-CBC cipher text.
QByteArray EncryptedData(const ByteString& ivAndCipherText, const QByteArray& indent)
{
    return indent + "<xenc:EncryptionMethod Algorithm=\"" + kPskcAes128Cbc + "\"/>\n" + indent +
           "<xenc:CipherData>\n" + indent + "  <xenc:CipherValue>" + Base64(ivAndCipherText) +
           "</xenc:CipherValue>\n" + indent + "</xenc:CipherData>\n";
}

} // namespace

std::optional<PskcCipher> PskcCipher::Create(PskcKey key, QString* problem)
{
    if (key.key.size() != 16) {
        if (problem)
            *problem = QStringLiteral("The PSKC key does not have 16 bytes.");
        return std::nullopt;
    }
    if (!IsXmlText(key.name)) {
        if (problem)
            *problem = QStringLiteral("The PSKC key's name holds characters an XML file cannot "
                                      "carry.");
        return std::nullopt;
    }
    std::optional<ByteString> macKey = PskcRandomBytes(kMacKeyBytes, problem);
    if (!macKey)
        return std::nullopt;
    std::optional<ByteString> encrypted = PskcEncryptAes128Cbc(key.key, *macKey, problem);
    if (!encrypted)
        return std::nullopt;
    PskcCipher cipher;
    cipher.m_key = std::move(key);
    cipher.m_macKey = std::move(*macKey);
    cipher.m_encryptedMacKey = std::move(*encrypted);
    return cipher;
}

QByteArray PskcCipher::containerElements() const
{
    return "  <EncryptionKey>\n    <ds:KeyName>" + XmlEscaped(m_key.name) +
           "</ds:KeyName>\n  </EncryptionKey>\n  <MACMethod Algorithm=\"" + kPskcHmacSha256 +
           "\">\n    <MACKey>\n" + EncryptedData(m_encryptedMacKey, "      ") +
           "    </MACKey>\n  </MACMethod>\n";
}

std::optional<QByteArray> PskcCipher::secretElements(const ByteString& seed, QString* problem) const
{
    const std::optional<ByteString> encrypted = PskcEncryptAes128Cbc(m_key.key, seed, problem);
    if (!encrypted)
        return std::nullopt;
    // The MAC covers what the reader decrypts, IV included (RFC 6030, 6.1.1).
    const std::optional<ByteString> mac = PskcHmacSha256(m_macKey, *encrypted, problem);
    if (!mac)
        return std::nullopt;
    const QByteArray indent = "            ";
    return "          <EncryptedValue>\n" + EncryptedData(*encrypted, indent) +
           "          </EncryptedValue>\n          <ValueMAC>" + Base64(*mac) + "</ValueMAC>\n";
}
