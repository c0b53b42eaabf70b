#include "SeedSeal.h"

#include <QFile>
#include <openssl/bio.h>
#include <openssl/cms.h>
#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

namespace {

// OpenSSL's reason for the last failure, and its queue emptied.
QString OpenSslReason()
{
    const unsigned long code = ERR_peek_last_error();
    ERR_clear_error();
    if (code == 0)
        return QStringLiteral("unknown reason");
    char text[256];
    ERR_error_string_n(code, text, sizeof text);
    return QString::fromLatin1(text);
}

struct BioFree
{
    void operator()(BIO* bio) const { BIO_free(bio); }
};
struct CmsFree
{
    void operator()(CMS_ContentInfo* cms) const { CMS_ContentInfo_free(cms); }
};
using Bio = std::unique_ptr<BIO, BioFree>;
using Cms = std::unique_ptr<CMS_ContentInfo, CmsFree>;

QByteArray BioBytes(BIO* bio)
{
    char* data = nullptr;
    const long length = BIO_get_mem_data(bio, &data);
    return QByteArray(data, length);
}

// The file's bytes, or why it cannot be read.
JournalResult<QByteArray> ReadSmallFile(const QString& path, const QString& what)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return JournalError{
            QStringLiteral("The %1 %2 cannot be read: %3.").arg(what, path, file.errorString())};
    return file.read(1 << 20);
}

} // namespace

SeedSeal::SeedSeal(QString path, X509* certificate)
    : m_path(std::move(path)), m_certificate(certificate)
{}

SeedSeal::~SeedSeal()
{
    X509_free(m_certificate);
}

JournalResult<std::unique_ptr<SeedSeal>> SeedSeal::load(const QString& certificatePath)
{
    const JournalResult<QByteArray> bytes =
        ReadSmallFile(certificatePath, QStringLiteral("fleet's certificate"));
    if (!bytes.ok())
        return JournalError{bytes.error()};
    Bio in(BIO_new_mem_buf(bytes.value().constData(), int(bytes.value().size())));
    X509* certificate = PEM_read_bio_X509(in.get(), nullptr, nullptr, nullptr);
    if (!certificate) {
        ERR_clear_error();
        const unsigned char* der =
            reinterpret_cast<const unsigned char*>(bytes.value().constData());
        certificate = d2i_X509(nullptr, &der, long(bytes.value().size()));
    }
    if (!certificate)
        return JournalError{QStringLiteral("The fleet's certificate %1 is not an X.509 "
                                           "certificate (PEM or DER): %2.")
                                .arg(certificatePath, OpenSslReason())};
    std::unique_ptr<SeedSeal> seal(new SeedSeal(certificatePath, certificate));
    // A certificate whose key cannot take a sealed seed is refused now, not
    // at the first token.
    if (const JournalResult<QByteArray> trial = seal->seal("AAAAAAAA"); !trial.ok())
        return JournalError{trial.error()};
    return seal;
}

JournalResult<QByteArray> SeedSeal::seal(const QByteArray& seedText) const
{
    STACK_OF(X509)* recipients = sk_X509_new_null();
    sk_X509_push(recipients, m_certificate);
    Bio in(BIO_new_mem_buf(seedText.constData(), int(seedText.size())));
    Cms cms(CMS_encrypt(recipients, in.get(), EVP_aes_256_cbc(), CMS_BINARY));
    sk_X509_free(recipients);
    Bio out(BIO_new(BIO_s_mem()));
    if (!cms || i2d_CMS_bio(out.get(), cms.get()) != 1)
        return JournalError{QStringLiteral("The seed cannot be sealed to the fleet's "
                                           "certificate %1: %2.")
                                .arg(m_path, OpenSslReason())};
    return BioBytes(out.get());
}

SeedVaultKey::SeedVaultKey(EVP_PKEY* key) : m_key(key) {}

SeedVaultKey::~SeedVaultKey()
{
    EVP_PKEY_free(m_key);
}

JournalResult<std::unique_ptr<SeedVaultKey>> SeedVaultKey::load(const QString& keyPath)
{
    JournalResult<QByteArray> bytes = ReadSmallFile(keyPath, QStringLiteral("vault's key"));
    if (!bytes.ok())
        return JournalError{bytes.error()};
    Bio in(BIO_new_mem_buf(bytes.value().constData(), int(bytes.value().size())));
    EVP_PKEY* key = PEM_read_bio_PrivateKey(in.get(), nullptr, nullptr, nullptr);
    OPENSSL_cleanse(bytes.value().data(), size_t(bytes.value().size()));
    if (!key)
        return JournalError{QStringLiteral("The vault's key %1 is not a private key in PEM: %2.")
                                .arg(keyPath, OpenSslReason())};
    return std::unique_ptr<SeedVaultKey>(new SeedVaultKey(key));
}

JournalResult<QByteArray> SeedVaultKey::open(const QByteArray& sealed) const
{
    Bio in(BIO_new_mem_buf(sealed.constData(), int(sealed.size())));
    Cms cms(d2i_CMS_bio(in.get(), nullptr));
    if (!cms)
        return JournalError{
            QStringLiteral("The entry is not a CMS structure: %1.").arg(OpenSslReason())};
    Bio out(BIO_new(BIO_s_mem()));
    // CMS_DEBUG_DECRYPT: a key that is not the recipient's is an error here,
    // not a random content key (that guard is for servers answering
    // strangers; the exporter opens its own vault).
    if (CMS_decrypt(cms.get(), m_key, nullptr, nullptr, out.get(),
                    CMS_BINARY | CMS_DEBUG_DECRYPT) != 1)
        return JournalError{
            QStringLiteral("The entry cannot be opened with this key: %1.").arg(OpenSslReason())};
    QByteArray text = BioBytes(out.get());
    char* data = nullptr;
    const long length = BIO_get_mem_data(out.get(), &data);
    OPENSSL_cleanse(data, size_t(length));
    return text;
}

JournalResult<qint64> BeginSealedWriting(ProgrammingJournal& journal, JournalAttempt attempt,
                                         const SeedSeal* seal, const QString& seedText)
{
    if (seal) {
        QByteArray text = seedText.toLatin1();
        JournalResult<QByteArray> sealed = seal->seal(text);
        OPENSSL_cleanse(text.data(), size_t(text.size()));
        if (!sealed.ok())
            return JournalError{sealed.error()};
        attempt.sealedSeed = std::move(sealed).value();
    }
    return journal.beginWriting(attempt);
}
