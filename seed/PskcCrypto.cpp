#include "PskcCrypto.h"

#include <memory>
#include <openssl/core_names.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

namespace {

constexpr size_t kAesBlock = 16;

std::nullopt_t Fail(QString* problem, const char* what)
{
    if (problem) {
        const unsigned long code = ERR_get_error();
        char text[256] = {};
        if (code != 0)
            ERR_error_string_n(code, text, sizeof text);
        *problem = code != 0 ? QStringLiteral("%1 failed (%2).")
                                   .arg(QString::fromLatin1(what), QString::fromLatin1(text))
                             : QStringLiteral("%1 failed.").arg(QString::fromLatin1(what));
    }
    ERR_clear_error();
    return std::nullopt;
}

struct CipherFree
{
    void operator()(EVP_CIPHER_CTX* ctx) const { EVP_CIPHER_CTX_free(ctx); }
};
struct MacFree
{
    void operator()(EVP_MAC* mac) const { EVP_MAC_free(mac); }
};
struct MacCtxFree
{
    void operator()(EVP_MAC_CTX* ctx) const { EVP_MAC_CTX_free(ctx); }
};

} // namespace

std::optional<ByteString> PskcRandomBytes(size_t count, QString* problem)
{
    ByteString bytes(count);
    if (RAND_bytes(bytes.data(), static_cast<int>(count)) != 1)
        return Fail(problem, "The random generator");
    return bytes;
}

std::optional<ByteString> PskcEncryptAes128Cbc(const ByteString& key, const ByteString& plain,
                                               QString* problem)
{
    if (key.size() != 16) {
        if (problem)
            *problem = QStringLiteral("The encryption key does not have 16 bytes.");
        return std::nullopt;
    }
    std::optional<ByteString> out = PskcRandomBytes(kAesBlock, problem);
    if (!out)
        return std::nullopt;
    const std::unique_ptr<EVP_CIPHER_CTX, CipherFree> ctx(EVP_CIPHER_CTX_new());
    // The IV stays in front; the cipher text (at most one block longer than
    // the plain text, with PKCS#7 padding, OpenSSL's default) follows it.
    out->resize(kAesBlock + plain.size() + kAesBlock);
    int written = 0, last = 0;
    if (!ctx ||
        EVP_EncryptInit_ex2(ctx.get(), EVP_aes_128_cbc(), key.data(), out->data(), nullptr) != 1 ||
        EVP_EncryptUpdate(ctx.get(), out->data() + kAesBlock, &written, plain.data(),
                          static_cast<int>(plain.size())) != 1 ||
        EVP_EncryptFinal_ex(ctx.get(), out->data() + kAesBlock + written, &last) != 1)
        return Fail(problem, "AES-128-CBC encryption");
    out->resize(kAesBlock + static_cast<size_t>(written + last));
    return out;
}

std::optional<ByteString> PskcHmacSha256(const ByteString& key, const ByteString& message,
                                         QString* problem)
{
    const std::unique_ptr<EVP_MAC, MacFree> mac(EVP_MAC_fetch(nullptr, "HMAC", nullptr));
    const std::unique_ptr<EVP_MAC_CTX, MacCtxFree> ctx(mac ? EVP_MAC_CTX_new(mac.get()) : nullptr);
    char digest[] = "SHA256";
    const OSSL_PARAM params[] = {OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, digest, 0),
                                 OSSL_PARAM_END};
    ByteString out(32);
    size_t length = 0;
    if (!ctx || EVP_MAC_init(ctx.get(), key.data(), key.size(), params) != 1 ||
        EVP_MAC_update(ctx.get(), message.data(), message.size()) != 1 ||
        EVP_MAC_final(ctx.get(), out.data(), &length, out.size()) != 1 || length != out.size())
        return Fail(problem, "HMAC-SHA256");
    return out;
}
