#pragma once

#include "PskcCipher.h"
#include "PskcDocument.h"
#include "PskcKey.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <mutex>
#include <optional>
#include <sys/types.h>

// The PSKC export file (RFC 6030): the tokens programmed in one run, in the
// container that authentication servers import, Data/Seed-<time>.pskc.xml,
// named like the CSV set of the same run (ExportFiles::FileStem).
//
// How a caller uses it:
//
//     std::optional<PskcKey> key; // none: the seeds are written in clear
//     if (!typedKey.isEmpty()) {  // the operator chose encryption
//         QString problem;
//         key = ParsePskcKey(typedKey, &problem);
//         if (!key)
//             ... show problem, ask again ...
//     }
//     PskcFile pskc(PskcFile::PathFor(dataFolder, runStart), std::move(key));
//     ...
//     // after each programmed token (the seed's bytes, e.g. from Base32ToBytes):
//     const QString error = pskc.append({serial, seedBytes, "SHA1", 6, timeStep});
//     if (!error.isEmpty())
//         ... the token's record is not in the PSKC file: tell the operator
//             ("Failed to write the PSKC file " + pskc.path() + "\n" + error) ...
//
// Nothing is written until the first record. Each append() puts the whole
// document, with every record so far, on the disk before it returns: written
// to a new file beside it, synced, renamed over the file and the folder
// synced. So the file is a valid document after every record and after a
// crash at any moment, holding the records reported written (the one being
// appended at the moment of a crash may be there as well). A record whose
// document could not be written is not kept: the file keeps the previous
// document, the error says why, and the next record's document does not
// hold it either (the caller reports that token as missing, as it does for
// the CSV files).
//
// The file holds the seeds (in clear without a key), so it is hardened like
// the CSV files: the folder is the owner's only (0700; it must be the
// station's Data folder, since an existing folder is tightened to 0700), the
// file is 0600, nothing is opened through a link, and the writer only ever
// replaces a file it wrote itself: a link, a non-regular file, or a file it
// did not write (another station of the same second, a file put there since)
// is left as it is and the record refused with the reason. The temporary
// files of writers killed before are removed at the first document
// (PskcTemporary.h).
//
// With a key, every seed is AES-128-CBC encrypted under it with its own
// random IV and carries an HMAC-SHA256 under a random MAC key that the
// document holds encrypted under the same key (RFC 6030, 6.1); the key
// itself is only named (<ds:KeyName>), never written.
//
// The records stay in memory to rewrite the document (wiped when released);
// append() may be called from several threads.
class PskcFile
{
public:
    PskcFile(QString path, std::optional<PskcKey> key);
    ~PskcFile();
    PskcFile(const PskcFile&) = delete;
    PskcFile& operator=(const PskcFile&) = delete;

    // folder/Seed-<time>.pskc.xml
    static QString PathFor(const QString& folder, const QDateTime& localTime);

    // Adds one KeyPackage and puts the whole document on the disk before it
    // returns. Returns the reason in words when the record is not in the
    // file, such as "/path/Data/Seed-....pskc.xml is a link."; empty when it
    // is.
    QString append(const PskcRecord& record);

    // Adds the KeyPackages of a whole run (station export) and puts the
    // document on the disk once, as append() does for one. All or nothing: a
    // record refused refuses them all and nothing is written; a document
    // written but whose folder cannot be synced is removed (when no document
    // of this writer was there before). Returns the reason, or empty.
    QString appendAll(const QList<PskcRecord>& records);

    QString path() const { return m_path; }
    // The records in the document on the disk.
    int recordCount() const;

private:
    struct WriteOutcome
    {
        bool inFile = false; // the file now holds the document
        QString problem;
    };

    QString prepareHead();
    WriteOutcome writeDocument(const QByteArray& document);
    // Why the document's name may not be replaced ("is a link."); empty when
    // nothing is there or the file this writer put there.
    QString replaceProblem(int folder, const QByteArray& name) const;

    mutable std::mutex m_lock;
    const QString m_path;
    std::optional<PskcKey> m_key; // until the document's cipher is made from it
    std::optional<PskcCipher> m_cipher;
    QByteArray m_head; // empty until the first record
    QList<QByteArray> m_packages;
    int m_nextKeyId = 1;
    // The file this writer put there last (held open), so that it replaces
    // only that one.
    int m_written = -1;
    dev_t m_device = 0;
    ino_t m_inode = 0;
    // Killed writers' temporary files are removed at the first document.
    bool m_leftoversRemoved = false;
};
