#pragma once

#include "ByteString.h"
#include "PskcCipher.h"

#include <QByteArray>
#include <QString>
#include <optional>

// One programmed token, as the PSKC export file records it.
struct PskcRecord
{
    QString serialNumber;
    ByteString seed;   // the seed's bytes, as programmed
    QString algorithm; // "SHA1" or "SHA256", the token's HMAC hash
    int digits = 6;    // 6 to 8
    int timeStep = 30; // seconds, at least 1
};

// Why the record cannot be written, in the operator's words; empty when it
// can.
QString PskcRecordProblem(const PskcRecord& record);

// The text of a document: head, one KeyPackage per token, tail. cipher is
// null for a document whose seeds are in clear.
QByteArray PskcDocumentHead(const PskcCipher* cipher);
extern const char kPskcDocumentTail[];

// One <KeyPackage> element for a record that PskcRecordProblem() accepts;
// keyId is its Key's Id, unique in the document. It may hold the seed in
// clear: wipe it (WipeText) when done.
std::optional<QByteArray> PskcKeyPackage(const PskcRecord& record, int keyId,
                                         const PskcCipher* cipher, QString* problem);
