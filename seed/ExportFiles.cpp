#include "ExportFiles.h"

#include "Base32.h"
#include "ByteString.h"
#include "PrivateFolder.h"
#include "PskcTemporary.h"
#include "SyncedWrite.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

const char kExportAzureHeader[] =
    "UPN,Serial Number,Secret Key,Time Interval,Manufacturer,Model\r\n";

namespace {

constexpr mode_t kFileMode = S_IRUSR | S_IWUSR; // 0600

void Wipe(QByteArray& bytes)
{
    if (bytes.isDetached())
        WipeMemory(bytes.data(), static_cast<size_t>(bytes.size()));
    bytes = QByteArray();
}

QByteArray CsvLine(std::initializer_list<QByteArray> fields)
{
    QByteArray line;
    bool first = true;
    for (const QByteArray& field : fields) {
        if (!first)
            line += ',';
        line += field;
        first = false;
    }
    return line + "\r\n";
}

// The seed bytes in upper-case hexadecimal; empty for a seed the decoder
// refuses. Decoded from the text's whole length: a NUL inside it is refused,
// not taken for its end.
QByteArray SeedHex(const QString& seedText)
{
    uint8_t bytes[512] = {};
    ScopedWipe wipeBytes(bytes, sizeof bytes);
    QByteArray text = seedText.toUtf8();
    const int32_t count =
        Base32ToBytes(text.constData(), static_cast<size_t>(text.size()), bytes, sizeof bytes);
    Wipe(text);
    constexpr char kDigits[] = "0123456789ABCDEF";
    QByteArray hex;
    hex.reserve(2 * count);
    for (int32_t i = 0; i < count; ++i) {
        hex += kDigits[bytes[i] >> 4];
        hex += kDigits[bytes[i] & 0x0F];
    }
    return hex;
}

// Holds an exclusive lock on one export file for one record: another station
// appending to a set of the same second must not cut or glue our lines, nor we
// theirs.
class FileLock
{
public:
    explicit FileLock(int fd) : m_fd(fd)
    {
        RetryOnInterrupt([fd] { return ::flock(fd, LOCK_EX); });
    }
    ~FileLock() { ::flock(m_fd, LOCK_UN); }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

private:
    int m_fd;
};

// The length of the file up to and including its last LF: 0 when it holds
// no whole line; -1 with errno when it cannot be read.
off_t EndOfLastLine(int fd, off_t size)
{
    char block[4096];
    for (off_t end = size; end > 0;) {
        const off_t start = std::max<off_t>(0, end - off_t(sizeof block));
        const size_t want = static_cast<size_t>(end - start);
        const ssize_t got =
            RetryOnInterrupt([&] { return static_cast<int>(::pread(fd, block, want, start)); });
        if (got != static_cast<ssize_t>(want)) {
            if (got >= 0)
                errno = EIO;
            return -1;
        }
        for (size_t i = want; i > 0; --i)
            if (block[i - 1] == '\n')
                return start + off_t(i);
        end = start;
    }
    return 0;
}

// Appends one line, whole or not at all: after a short or failed write (or
// sync) the file is cut back to its length before the line. Every writer
// holds the lock until its line is whole or taken back, so bytes after the
// last line end, under the lock, are the torn line of a writer that died (or
// of a full disk whose cut could not be undone): they are cut off first, so
// that no piece of a record is ever read as a record. A file whose only
// line was a torn title gets its title again. Returns 0 or the errno.
int AppendLine(int fd, const QByteArray& line, const char* title)
{
    FileLock lock(fd);
    struct stat info
    {};
    if (::fstat(fd, &info) != 0)
        return errno;
    const off_t before = EndOfLastLine(fd, info.st_size);
    if (before < 0)
        return errno;
    if (before < info.st_size && RetryOnInterrupt([&] { return ::ftruncate(fd, before); }) != 0)
        return errno;
    QByteArray data;
    if (before == 0 && title)
        data = title + line;
    const QByteArray& out = data.isEmpty() ? line : data;
    const int error = WriteAllAndSync(fd, out.constData(), static_cast<size_t>(out.size()));
    Wipe(data);
    if (error != 0) {
        RetryOnInterrupt([&] { return ::ftruncate(fd, before); });
        RetryOnInterrupt([fd] { return ::fsync(fd); });
    }
    return error;
}

// Opens one export file for appending and reading back its last byte, inside
// the folder opened by OpenPrivateFolder, never following a link, never blocking
// (a planted FIFO). An existing file of the same name (a set of the same
// second) is appended to if it is a regular file of ours with no other name;
// its mode is made 0600. Anything else is refused with the reason.
int OpenExportFile(int folder, const QString& path, QString& reason)
{
    const QByteArray name = QFile::encodeName(QFileInfo(path).fileName());
    const int fd = ::openat(
        folder, name.constData(),
        O_RDWR | O_CREAT | O_APPEND | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, kFileMode);
    if (fd < 0) {
        switch (errno) {
        case ELOOP:
            reason = QStringLiteral("%1 is a link.").arg(path);
            break;
        case ENXIO:
        case EISDIR:
            reason = QStringLiteral("%1 is not a regular file.").arg(path);
            break;
        default:
            reason = QStringLiteral("%1 cannot be created (%2).").arg(path, ErrnoText(errno));
        }
        return -1;
    }
    struct stat info
    {};
    QString problem;
    if (::fstat(fd, &info) != 0)
        problem = QStringLiteral("%1 cannot be examined (%2).").arg(path, ErrnoText(errno));
    else if (!S_ISREG(info.st_mode))
        problem = QStringLiteral("%1 is not a regular file.").arg(path);
    else if (info.st_uid != ::geteuid())
        problem = QStringLiteral("%1 belongs to another user.").arg(path);
    else if (info.st_nlink != 1)
        problem = QStringLiteral("%1 has other names (hard links).").arg(path);
    else if ((info.st_mode & 07777) != kFileMode && ::fchmod(fd, kFileMode) != 0)
        problem = QStringLiteral("%1 cannot be made readable by its owner only (%2).")
                      .arg(path, ErrnoText(errno));
    if (!problem.isEmpty()) {
        reason = problem;
        ::close(fd);
        return -1;
    }
    return fd;
}

// The column titles begin every azure file: written into a new file, written
// again over a title line torn by a killed station, and a file of the same
// name that begins with anything else is refused. 0, or -1 with the reason.
int WriteAzureHeader(int fd, const QString& path, QString& reason)
{
    FileLock lock(fd);
    const size_t headerSize = std::strlen(kExportAzureHeader);
    struct stat info
    {};
    int error = 0;
    if (::fstat(fd, &info) != 0) {
        error = errno;
    } else if (info.st_size > 0) {
        char head[128] = {};
        const size_t want = std::min(headerSize, static_cast<size_t>(info.st_size));
        const ssize_t got = ::pread(fd, head, want, 0);
        if (got != static_cast<ssize_t>(want)) {
            error = got < 0 ? errno : EIO;
        } else if (std::memcmp(head, kExportAzureHeader, want) != 0) {
            reason = QStringLiteral("%1 does not begin with the column titles.").arg(path);
            return -1;
        } else if (want == headerSize) {
            return 0; // a set of the same second: append to it
        } else if (RetryOnInterrupt([fd] { return ::ftruncate(fd, 0); }) != 0) {
            error = errno;
        }
    }
    if (error == 0)
        error = WriteAllAndSync(fd, kExportAzureHeader, headerSize);
    if (error == 0)
        return 0;
    RetryOnInterrupt([fd] { return ::ftruncate(fd, 0); });
    reason = QStringLiteral("The column titles cannot be written to %1 (%2).")
                 .arg(path, ErrnoText(error));
    return -1;
}

const char* FileWord(ExportFiles::File file)
{
    switch (file) {
    case ExportFiles::File::Azure:
        return "azure";
    case ExportFiles::File::B32:
        return "b32";
    case ExportFiles::File::Hex:
        return "hex";
    }
    return "";
}

const QByteArray& LineOf(const ExportRecordLines& lines, ExportFiles::File file)
{
    switch (file) {
    case ExportFiles::File::Azure:
        return lines.azure;
    case ExportFiles::File::B32:
        return lines.b32;
    case ExportFiles::File::Hex:
        break;
    }
    return lines.hex;
}

// The whole file of a run: the column titles of an azure file, then one line
// per record. One buffer of the final size, so that no partial copy of a
// seed is left behind unwiped.
QByteArray RunFileContent(ExportFiles::File file, const std::vector<ExportRecord>& records)
{
    std::vector<ExportRecordLines> all;
    all.reserve(records.size());
    qsizetype size = file == ExportFiles::File::Azure ? qstrlen(kExportAzureHeader) : 0;
    for (const ExportRecord& record : records) {
        all.push_back(MakeExportRecordLines(record));
        size += LineOf(all.back(), file).size();
    }
    QByteArray content;
    content.reserve(size);
    if (file == ExportFiles::File::Azure)
        content += kExportAzureHeader;
    for (ExportRecordLines& lines : all) {
        content += LineOf(lines, file);
        lines.wipe();
    }
    return content;
}

// Puts content on the disk under name in folder, never over another file:
// written to a new file beside it and synced, renamed into place, the folder
// synced. 0, or -1 with the reason; on failure nothing of it is left under
// name nor beside it.
int PlaceRunFile(int folder, const QString& path, const QByteArray& content, QString& reason)
{
    const QByteArray name = QFile::encodeName(QFileInfo(path).fileName());
    // Held while it is written, so that another export's removal of
    // leftovers in this folder never takes it away.
    QByteArray temporary;
    const int fd = CreatePskcTemporary(folder, name, temporary);
    if (fd < 0) {
        reason = QStringLiteral("%1 cannot be written: no new file beside it (%2).")
                     .arg(path, ErrnoText(errno));
        return -1;
    }
    // The umask may have taken rights away; the owner reads and writes it.
    int error = ::fchmod(fd, kFileMode) == 0
                    ? WriteAllAndSync(fd, content.constData(), static_cast<size_t>(content.size()))
                    : errno;
    ::close(fd);
    if (error == 0 &&
        ::renameat2(folder, temporary.constData(), folder, name.constData(), RENAME_NOREPLACE) != 0)
        error = errno;
    if (error != 0) {
        ::unlinkat(folder, temporary.constData(), 0);
        reason =
            error == EEXIST
                ? QStringLiteral("%1 exists already; the station does not write over it.").arg(path)
                : QStringLiteral("%1 cannot be written (%2). No file is left.")
                      .arg(path, ErrnoText(error));
        return -1;
    }
    // The new name reaches the disk only with its folder; a file that may
    // not be there after a crash is not shown as an export.
    if (RetryOnInterrupt([folder] { return ::fsync(folder); }) != 0) {
        error = errno;
        ::unlinkat(folder, name.constData(), 0);
        reason = QStringLiteral("%1 may not be on the disk: its folder cannot be synced (%2). "
                                "It is removed.")
                     .arg(path, ErrnoText(error));
        return -1;
    }
    return 0;
}

} // namespace

QByteArray ExportCsvField(const QByteArray& utf8)
{
    QByteArray field = utf8;
    if (!field.isEmpty()) {
        const char first = field.front();
        if (first == '=' || first == '+' || first == '-' || first == '@' || first == '\t' ||
            first == '\r')
            field.prepend('\'');
    }
    if (field.contains(',') || field.contains('"') || field.contains('\r') ||
        field.contains('\n')) {
        field.replace("\"", "\"\"");
        field = '"' + field + '"';
    }
    return field;
}

void ExportRecordLines::wipe()
{
    Wipe(azure);
    Wipe(b32);
    Wipe(hex);
}

ExportRecordLines MakeExportRecordLines(const ExportRecord& record)
{
    const QByteArray serial = ExportCsvField(record.serialNumber.toUtf8());
    QByteArray seedUtf8 = record.seedText.toUtf8();
    QByteArray seed = ExportCsvField(seedUtf8);
    QByteArray hex = ExportCsvField(SeedHex(record.seedText));
    ExportRecordLines lines;
    lines.azure =
        CsvLine({ExportCsvField(record.userName.toUtf8()), serial, seed,
                 ExportCsvField(QByteArray::number(record.timeStep)), "Morvane", "Zentoka"});
    lines.b32 = CsvLine({serial, seed});
    lines.hex = CsvLine({serial, hex});
    for (QByteArray* secret : {&seedUtf8, &seed, &hex})
        Wipe(*secret);
    return lines;
}

bool ExportFiles::AppendResult::complete() const
{
    for (const FileOutcome& outcome : files)
        if (outcome.state != RecordState::Written)
            return false;
    return true;
}

QStringList ExportFiles::AppendResult::missingPaths() const
{
    QStringList paths;
    for (const FileOutcome& outcome : files)
        if (outcome.state != RecordState::Written)
            paths << (outcome.path.isEmpty() ? QStringLiteral("(the %1 seed file: not created)")
                                                   .arg(QString::fromLatin1(FileWord(outcome.file)))
                                             : outcome.path);
    return paths;
}

QString ExportFiles::AppendResult::missingNames() const
{
    QStringList names;
    // hex, b32, azure: the order in which the design lists the files
    for (auto it = files.rbegin(); it != files.rend(); ++it)
        if (it->state != RecordState::Written)
            names << QString::fromLatin1(FileWord(it->file));
    return names.join(QStringLiteral(", "));
}

QString ExportFiles::AppendResult::message(const QString& serialNumber) const
{
    QStringList paragraphs;
    for (auto it = files.rbegin(); it != files.rend(); ++it) {
        if (it->state == RecordState::Written)
            continue;
        const QString path =
            it->path.isEmpty()
                ? QStringLiteral("(%1, not created)").arg(QString::fromLatin1(FileWord(it->file)))
                : it->path;
        paragraphs << QStringLiteral("Failed to write the seed file %1\n"
                                     "The record of token %2 is missing from it.")
                          .arg(path, serialNumber);
    }
    return paragraphs.join(QStringLiteral("\n\n"));
}

ExportFiles::ExportFiles(QString folder) : m_folder(std::move(folder)) {}

ExportFiles::~ExportFiles()
{
    close();
}

QString ExportFiles::FileStem(const QDateTime& localTime)
{
    return QStringLiteral("Seed-") + localTime.toString(QStringLiteral("yyyy-MM-dd-HH-mm-ss"));
}

QString ExportFiles::OpenFailureMessage(OpenResult result, const QString& reason)
{
    QString first;
    switch (result) {
    case OpenResult::Opened:
    case OpenResult::AlreadyOpen:
        return {};
    case OpenResult::HexFailed:
        first = QStringLiteral("Failed to create HEX seed file");
        break;
    case OpenResult::B32Failed:
        first = QStringLiteral("Failed to create B32 seed file");
        break;
    case OpenResult::AzureFailed:
        first = QStringLiteral("Failed to create Azure seed file");
        break;
    }
    return reason.isEmpty() ? first : first + QLatin1Char('\n') + reason;
}

ExportFiles::OpenResult ExportFiles::open(const QDateTime& localTime, QString* reason)
{
    std::lock_guard lock(m_lock);
    if (reason)
        reason->clear();
    if (m_open)
        return OpenResult::AlreadyOpen;
    closeFiles();
    OpenResult failure = OpenResult::Opened;
    QString why;
    if (openSet(localTime, failure, why)) {
        m_open = true;
        return OpenResult::Opened;
    }
    // A set that is not whole is not used: its files are closed (the paths
    // stay, for the messages of the records that miss them).
    for (Stream* stream : {&m_hex, &m_b32, &m_azure}) {
        if (stream->fd >= 0)
            ::close(stream->fd);
        stream->fd = -1;
    }
    if (reason)
        *reason = why;
    return failure;
}

bool ExportFiles::openSet(const QDateTime& localTime, OpenResult& failure, QString& reason)
{
    const QString stem = QDir(m_folder).filePath(FileStem(localTime));
    m_hex.path = stem + QStringLiteral(".hex.csv");
    m_b32.path = stem + QStringLiteral(".b32.csv");
    m_azure.path = stem + QStringLiteral(".azure.csv");

    failure = OpenResult::HexFailed;
    const int folder = OpenPrivateFolder(m_folder, reason);
    if (folder < 0)
        return false;
    // The PSKC files of a run killed while writing leave their next version
    // beside them. Not this set's concern: one that stays is tried again at
    // the next open, and the set opens all the same.
    RemovePskcLeftovers(folder);
    bool whole = false;
    if ((m_hex.fd = OpenExportFile(folder, m_hex.path, reason)) < 0)
        failure = OpenResult::HexFailed;
    else if ((m_b32.fd = OpenExportFile(folder, m_b32.path, reason)) < 0)
        failure = OpenResult::B32Failed;
    else if ((m_azure.fd = OpenExportFile(folder, m_azure.path, reason)) < 0 ||
             WriteAzureHeader(m_azure.fd, m_azure.path, reason) != 0)
        failure = OpenResult::AzureFailed;
    else
        whole = true;
    // New directory entries reach the disk only with their folder.
    RetryOnInterrupt([folder] { return ::fsync(folder); });
    ::close(folder);
    return whole;
}

bool ExportFiles::isOpen() const
{
    std::lock_guard lock(m_lock);
    return m_open;
}

ExportFiles::AppendResult ExportFiles::appendRecord(const ExportRecord& record)
{
    std::lock_guard lock(m_lock);
    ExportRecordLines lines = MakeExportRecordLines(record);
    AppendResult result;
    const std::array<std::pair<Stream*, const QByteArray*>, 3> targets{
        {{&m_azure, &lines.azure}, {&m_b32, &lines.b32}, {&m_hex, &lines.hex}}};
    for (size_t i = 0; i < targets.size(); ++i) {
        FileOutcome& outcome = result.files[i];
        outcome.file = static_cast<File>(i);
        outcome.path = targets[i].first->path;
        if (!m_open || targets[i].first->fd < 0) {
            outcome.state = RecordState::NotOpen;
            continue;
        }
        outcome.error = AppendLine(targets[i].first->fd, *targets[i].second,
                                   i == 0 ? kExportAzureHeader : nullptr);
        outcome.state = outcome.error == 0 ? RecordState::Written : RecordState::WriteFailed;
    }
    lines.wipe();
    return result;
}

QStringList ExportFiles::append(const ExportRecord& record)
{
    const AppendResult result = appendRecord(record);
    return result.complete() ? QStringList() : result.missingPaths();
}

QString ExportFiles::WriteRun(const QString& folder, const QDateTime& localTime, File file,
                              const std::vector<ExportRecord>& records, QString& path)
{
    path = QDir(folder).filePath(FileStem(localTime) + QLatin1Char('.') +
                                 QString::fromLatin1(FileWord(file)) + QStringLiteral(".csv"));
    QString reason;
    const int folderFd = OpenPrivateFolder(folder, reason);
    if (folderFd < 0)
        return reason;
    // A killed export leaves its temporary file, seeds in clear, beside the
    // run's name: removed here as the PSKC writer's are. One that stays is
    // tried again at the next export; this run is written all the same.
    RemovePskcLeftovers(folderFd);
    QByteArray content = RunFileContent(file, records);
    const int placed = PlaceRunFile(folderFd, path, content, reason);
    Wipe(content);
    ::close(folderFd);
    return placed == 0 ? QString() : reason;
}

void ExportFiles::close()
{
    std::lock_guard lock(m_lock);
    closeFiles();
}

QString ExportFiles::hexPath() const
{
    std::lock_guard lock(m_lock);
    return m_hex.path;
}

QString ExportFiles::b32Path() const
{
    std::lock_guard lock(m_lock);
    return m_b32.path;
}

QString ExportFiles::azurePath() const
{
    std::lock_guard lock(m_lock);
    return m_azure.path;
}

void ExportFiles::closeFiles()
{
    for (Stream* stream : {&m_hex, &m_b32, &m_azure}) {
        if (stream->fd >= 0)
            ::close(stream->fd);
        *stream = Stream{};
    }
    m_open = false;
}
