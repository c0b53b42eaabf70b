#include "ExportFiles.h"

#include "Base32.h"
#include "ByteString.h"

#include <QDir>
#include <QFile>
#include <array>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr char kAzureHeader[] = "UPN,Serial Number,Secret Key,Time Interval,Manufacturer,Model";

void Wipe(QByteArray& bytes)
{
    if (bytes.isDetached())
        WipeMemory(bytes.data(), static_cast<size_t>(bytes.size()));
    bytes = QByteArray();
}

// Fields go out unquoted, as the servers that read these files expect; only
// a field that would break the columns or the line is quoted, CSV style.
QByteArray CsvField(const QString& text)
{
    QByteArray field = text.toUtf8();
    if (field.contains(',') || field.contains('"') || field.contains('\r') ||
        field.contains('\n')) {
        field.replace("\"", "\"\"");
        field = '"' + field + '"';
    }
    return field;
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

// The seed bytes in upper-case hexadecimal; empty for a seed the decoder refuses.
QByteArray SeedHex(const QString& seedText)
{
    std::array<uint8_t, 512> bytes{};
    QByteArray text = seedText.toUtf8();
    const int32_t count = Base32ToBytes(text.constData(), bytes.data(), bytes.size());
    constexpr char kDigits[] = "0123456789ABCDEF";
    QByteArray hex;
    hex.reserve(2 * count);
    for (int32_t i = 0; i < count; ++i) {
        hex += kDigits[bytes[i] >> 4];
        hex += kDigits[bytes[i] & 0x0F];
    }
    WipeMemory(bytes.data(), bytes.size());
    Wipe(text);
    return hex;
}

// New directory entries reach the disk only with their folder.
void SyncFolder(const QString& folder)
{
    const int fd =
        ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

} // namespace

ExportFiles::ExportFiles(QString folder) : m_folder(std::move(folder)) {}

ExportFiles::~ExportFiles()
{
    close();
}

QString ExportFiles::FileStem(const QDateTime& localTime)
{
    return QStringLiteral("Seed-") + localTime.toString(QStringLiteral("yyyy-MM-dd-HH-mm-ss"));
}

ExportFiles::OpenResult ExportFiles::open(const QDateTime& localTime)
{
    std::lock_guard lock(m_lock);
    if (m_open)
        return OpenResult::AlreadyOpen;
    closeFiles();

    QDir().mkpath(m_folder);
    const QString stem = QDir(m_folder).filePath(FileStem(localTime));
    const bool hexOpened = OpenFile(m_hex, stem + QStringLiteral(".hex.csv"));
    const bool b32Opened = OpenFile(m_b32, stem + QStringLiteral(".b32.csv"));
    const bool azureOpened = OpenFile(m_azure, stem + QStringLiteral(".azure.csv"));
    SyncFolder(m_folder);

    // The import takes its first line for the column titles, so the azure
    // file gets them whenever it exists, complete set or not.
    struct stat info
    {};
    if (azureOpened && ::fstat(m_azure.fd, &info) == 0 && info.st_size == 0)
        WriteLine(m_azure, QByteArray(kAzureHeader) + "\r\n");

    if (!hexOpened)
        return OpenResult::HexFailed;
    if (!b32Opened)
        return OpenResult::B32Failed;
    if (!azureOpened)
        return OpenResult::AzureFailed;
    m_open = true;
    return OpenResult::Opened;
}

bool ExportFiles::isOpen() const
{
    std::lock_guard lock(m_lock);
    return m_open;
}

QStringList ExportFiles::append(const ExportRecord& record)
{
    std::lock_guard lock(m_lock);
    const QByteArray serial = CsvField(record.serialNumber);
    QByteArray seed = CsvField(record.seedText);
    QByteArray hex = SeedHex(record.seedText);
    QByteArray azureLine = CsvLine({CsvField(record.userName), serial, seed,
                                    QByteArray::number(record.timeStep), "Morvane", "Zentoka"});
    QByteArray b32Line = CsvLine({serial, seed});
    QByteArray hexLine = CsvLine({serial, hex});

    QStringList failed;
    for (auto [file, line] : {std::pair{&m_azure, &azureLine}, std::pair{&m_b32, &b32Line},
                              std::pair{&m_hex, &hexLine}}) {
        if (file->fd < 0)
            continue;
        if (!WriteLine(*file, *line) && !file->failureReported) {
            file->failureReported = true;
            failed << file->path;
        }
    }
    for (QByteArray* secret : {&seed, &hex, &azureLine, &b32Line, &hexLine})
        Wipe(*secret);
    return failed;
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
    for (File* file : {&m_hex, &m_b32, &m_azure}) {
        if (file->fd >= 0)
            ::close(file->fd);
        *file = File{};
    }
    m_open = false;
}

// Appends to a file of the same name instead of truncating it: a second set
// created within the same second must not wipe the records of the first.
bool ExportFiles::OpenFile(File& file, const QString& path)
{
    file = File{path, -1, false};
    file.fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC,
                     S_IRUSR | S_IWUSR);
    if (file.fd < 0)
        return false;
    struct stat info
    {};
    if (::fstat(file.fd, &info) == 0 && S_ISREG(info.st_mode) && (info.st_mode & 0077) != 0)
        ::fchmod(file.fd, S_IRUSR | S_IWUSR);
    return true;
}

bool ExportFiles::WriteLine(File& file, const QByteArray& line)
{
    const char* bytes = line.constData();
    qsizetype left = line.size();
    while (left > 0) {
        const ssize_t written = ::write(file.fd, bytes, static_cast<size_t>(left));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        bytes += written;
        left -= written;
    }
    return ::fsync(file.fd) == 0;
}
