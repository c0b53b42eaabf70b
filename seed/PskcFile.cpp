#include "PskcFile.h"

#include "ExportFiles.h"
#include "PrivateFolder.h"
#include "PskcTemporary.h"
#include "SecretText.h"
#include "SyncedWrite.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr mode_t kFileMode = S_IRUSR | S_IWUSR; // 0600

// The document in a new file of ours beside its name, synced: its descriptor
// with its name and identity, or -1 with the reason (nothing left behind).
int WriteTemporary(int folder, const QByteArray& documentName, const QByteArray& document,
                   QByteArray& name, struct stat& written, QString& reason)
{
    const int fd = CreatePskcTemporary(folder, documentName, name);
    if (fd < 0) {
        reason =
            QStringLiteral("cannot be written: no new file beside it (%1).").arg(ErrnoText(errno));
        return -1;
    }
    // The umask may have taken rights away; the owner reads and writes it.
    int error = ::fchmod(fd, kFileMode) == 0 ? WriteAllAndSync(fd, document.constData(),
                                                               static_cast<size_t>(document.size()))
                                             : errno;
    if (error == 0 && ::fstat(fd, &written) != 0)
        error = errno;
    if (error == 0)
        return fd;
    ::close(fd);
    ::unlinkat(folder, name.constData(), 0);
    reason = QStringLiteral("cannot be written (%1).").arg(ErrnoText(error));
    return -1;
}

} // namespace

PskcFile::PskcFile(QString path, std::optional<PskcKey> key)
    : m_path(std::move(path)), m_key(std::move(key))
{}

PskcFile::~PskcFile()
{
    if (m_written >= 0)
        ::close(m_written);
    for (QByteArray& package : m_packages)
        WipeText(package);
}

QString PskcFile::PathFor(const QString& folder, const QDateTime& localTime)
{
    return QDir(folder).filePath(ExportFiles::FileStem(localTime) + QStringLiteral(".pskc.xml"));
}

int PskcFile::recordCount() const
{
    std::lock_guard lock(m_lock);
    return static_cast<int>(m_packages.size());
}

QString PskcFile::append(const PskcRecord& record)
{
    const QString refused = PskcRecordProblem(record);
    if (!refused.isEmpty())
        return refused;
    std::lock_guard lock(m_lock);
    QString problem = prepareHead();
    if (!problem.isEmpty())
        return problem;
    std::optional<QByteArray> package =
        PskcKeyPackage(record, m_nextKeyId, m_cipher ? &*m_cipher : nullptr, &problem);
    if (!package)
        return problem;
    ++m_nextKeyId; // never given twice, also when this record is not kept

    // One buffer of the final size, so that no partial copy of a seed is
    // left behind unwiped.
    const qsizetype tailSize = qstrlen(kPskcDocumentTail);
    qsizetype size = m_head.size() + package->size() + tailSize;
    for (const QByteArray& kept : m_packages)
        size += kept.size();
    QByteArray document;
    document.reserve(size);
    document += m_head;
    for (const QByteArray& kept : m_packages)
        document += kept;
    document += *package;
    document += kPskcDocumentTail;

    const WriteOutcome outcome = writeDocument(document);
    WipeText(document);
    // Kept also when only the folder's sync failed: the file shows it, so the
    // next document must too.
    if (outcome.inFile)
        m_packages.append(std::move(*package));
    else
        WipeText(*package);
    return outcome.problem;
}

QString PskcFile::appendAll(const QList<PskcRecord>& records)
{
    for (const PskcRecord& record : records)
        if (const QString refused = PskcRecordProblem(record); !refused.isEmpty())
            return QStringLiteral("Token %1: %2").arg(record.serialNumber, refused);
    std::lock_guard lock(m_lock);
    QString problem = prepareHead();
    if (!problem.isEmpty())
        return problem;
    QList<QByteArray> packages;
    auto wipeAll = [&packages] {
        for (QByteArray& package : packages)
            WipeText(package);
    };
    for (const PskcRecord& record : records) {
        std::optional<QByteArray> package =
            PskcKeyPackage(record, m_nextKeyId++, m_cipher ? &*m_cipher : nullptr, &problem);
        if (!package) {
            wipeAll();
            return QStringLiteral("Token %1: %2").arg(record.serialNumber, problem);
        }
        packages.append(std::move(*package));
    }
    qsizetype size = m_head.size() + qstrlen(kPskcDocumentTail);
    for (const QList<QByteArray>* list : {&m_packages, &packages})
        for (const QByteArray& package : *list)
            size += package.size();
    QByteArray document;
    document.reserve(size);
    document += m_head;
    for (const QList<QByteArray>* list : {&m_packages, &packages})
        for (const QByteArray& package : *list)
            document += package;
    document += kPskcDocumentTail;

    const bool first = m_written < 0;
    const WriteOutcome outcome = writeDocument(document);
    WipeText(document);
    if (outcome.inFile && !outcome.problem.isEmpty() && first) {
        // A run's file that may not survive a crash is not left to be taken
        // for a whole export.
        QFile::remove(m_path);
        wipeAll();
        return outcome.problem + QStringLiteral(" It is removed.");
    }
    if (outcome.inFile)
        m_packages.append(std::move(packages));
    else
        wipeAll();
    return outcome.problem;
}

QString PskcFile::prepareHead()
{
    if (!m_head.isEmpty())
        return {};
    if (m_key) {
        // A key that cannot be used refuses every record: the seeds are
        // never written in clear in its place.
        QString problem;
        m_cipher = PskcCipher::Create(*m_key, &problem);
        if (!m_cipher)
            return problem;
        m_key.reset();
    }
    m_head = PskcDocumentHead(m_cipher ? &*m_cipher : nullptr);
    return {};
}

PskcFile::WriteOutcome PskcFile::writeDocument(const QByteArray& document)
{
    const QFileInfo info(m_path);
    QString reason;
    const int folder = OpenPrivateFolder(info.path(), reason);
    if (folder < 0)
        return {false, reason};
    if (!m_leftoversRemoved) {
        // Not this record's concern: a leftover that stays is tried again by
        // the next writer, and the operator's record is written all the same.
        RemovePskcLeftovers(folder);
        m_leftoversRemoved = true;
    }
    const QByteArray name = QFile::encodeName(info.fileName());
    QByteArray temporary;
    struct stat written
    {};
    const int fd = WriteTemporary(folder, name, document, temporary, written, reason);
    if (fd >= 0)
        reason = replaceProblem(folder, name);
    if (fd >= 0 && reason.isEmpty() &&
        ::renameat(folder, temporary.constData(), folder, name.constData()) != 0)
        reason = QStringLiteral("cannot be replaced (%1).").arg(ErrnoText(errno));
    if (!reason.isEmpty()) {
        if (fd >= 0) {
            ::close(fd);
            ::unlinkat(folder, temporary.constData(), 0);
        }
        ::close(folder);
        return {false, m_path + QLatin1Char(' ') + reason};
    }
    // Held open, the file keeps its inode number: a file put in its place
    // later cannot be taken for it.
    if (m_written >= 0)
        ::close(m_written);
    m_written = fd;
    m_device = written.st_dev;
    m_inode = written.st_ino;
    // The new name reaches the disk only with its folder.
    if (RetryOnInterrupt([folder] { return ::fsync(folder); }) != 0)
        reason = QStringLiteral("%1 may not be on the disk: its folder cannot be synced (%2).")
                     .arg(m_path, ErrnoText(errno));
    ::close(folder);
    return {true, reason};
}

QString PskcFile::replaceProblem(int folder, const QByteArray& name) const
{
    struct stat present
    {};
    if (::fstatat(folder, name.constData(), &present, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT ? QString()
                               : QStringLiteral("cannot be examined (%1).").arg(ErrnoText(errno));
    if (S_ISLNK(present.st_mode))
        return QStringLiteral("is a link.");
    if (!S_ISREG(present.st_mode))
        return QStringLiteral("is not a regular file.");
    if (m_written < 0)
        return QStringLiteral("exists already; the station does not write over a file it did "
                              "not write.");
    if (present.st_dev != m_device || present.st_ino != m_inode)
        return QStringLiteral("was replaced by another file since the station wrote it; the "
                              "station does not write over it.");
    return {};
}
