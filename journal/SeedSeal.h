#pragma once

#include "JournalAttempt.h"
#include "JournalResult.h"
#include "ProgrammingJournal.h"

#include <QByteArray>
#include <QString>
#include <memory>

typedef struct x509_st X509;
typedef struct evp_pkey_st EVP_PKEY;

// The fleet's sealed seed vault: each seed sealed to the fleet's X.509
// certificate as a CMS EnvelopedData (RFC 5652; AES-256-CBC content, the
// content key to the certificate's public key), DER. What is sealed is the
// seed as the export files write it, normalised Base32 text, so that an entry
// opens with the openssl command alone:
//   openssl cms -decrypt -inform DER -in entry.der -inkey key.pem
// Stations hold only the certificate; the private key stays with the
// exporter (SeedVaultKey).
class SeedSeal
{
public:
    // The certificate in a PEM or DER file.
    static JournalResult<std::unique_ptr<SeedSeal>> load(const QString& certificatePath);
    ~SeedSeal();
    SeedSeal(const SeedSeal&) = delete;
    SeedSeal& operator=(const SeedSeal&) = delete;

    JournalResult<QByteArray> seal(const QByteArray& seedText) const;
    QString certificatePath() const { return m_path; }

private:
    SeedSeal(QString path, X509* certificate);
    const QString m_path;
    X509* const m_certificate;
};

// The private key that opens the vault's entries, on the exporter's machine.
class SeedVaultKey
{
public:
    // The key in a PEM file (unencrypted, or asking OpenSSL's terminal prompt).
    static JournalResult<std::unique_ptr<SeedVaultKey>> load(const QString& keyPath);
    ~SeedVaultKey();
    SeedVaultKey(const SeedVaultKey&) = delete;
    SeedVaultKey& operator=(const SeedVaultKey&) = delete;

    // The seed text of one entry; an error when the entry is not sealed to
    // this key or is damaged. The caller wipes the text when done.
    JournalResult<QByteArray> open(const QByteArray& sealed) const;

private:
    explicit SeedVaultKey(EVP_PKEY* key);
    EVP_PKEY* const m_key;
};

// Begins the attempt in the journal with its seed sealed (when seal is set):
// the row and its sealed seed are committed together before the seed may go
// to the token. A seed that cannot be sealed is not sent.
JournalResult<qint64> BeginSealedWriting(ProgrammingJournal& journal, JournalAttempt attempt,
                                         const SeedSeal* seal, const QString& seedText);
