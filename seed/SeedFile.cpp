#include "SeedFile.h"

#include "Base32.h"
#include "SecretText.h"
#include "SerialNumber.h"
#include "UserName.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Excel and Notepad save "UTF-8" files with this mark in front; it is not part
// of the first serial number.
constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";
constexpr size_t kPieceSize = 64 * 1024;

// A seed field the decoder accepts, decoded from its whole length: a NUL
// inside the field is a character the decoder refuses, not its end.
bool IsAcceptedSeed(std::string_view seed)
{
    uint8_t scratch[512] = {};
    ScopedWipe wipeScratch(scratch, sizeof scratch);
    return Base32ToBytes(seed.data(), seed.size(), scratch, sizeof scratch) > 0;
}

} // namespace

QString SeedFileResult::message() const
{
    const QString at = QString::number(line);
    switch (status) {
    case SeedFileStatus::Loaded:
        return {};
    case SeedFileStatus::CannotOpen:
        return QStringLiteral("The file cannot be opened (%1).")
            .arg(QString::fromLocal8Bit(std::strerror(error)));
    case SeedFileStatus::NotRegularFile:
        return QStringLiteral("It is not a regular file.");
    case SeedFileStatus::TooLarge:
        return QStringLiteral("The file is larger than any batch: a seed file may hold at most "
                              "1,000,000 lines and 64 MiB.");
    case SeedFileStatus::BadSeed:
        return QStringLiteral("Line %1 holds a seed that is not Base32 text (the letters A-Z, "
                              "the digits 2-7 and \"=\" at its end, at most 255 characters).")
            .arg(at);
    case SeedFileStatus::BadSerial:
        return QStringLiteral("Line %1 holds a serial number that no token may have: printable "
                              "ASCII without spaces, not starting with \"=\", \"+\", \"-\" or "
                              "\"@\", without '\"'.")
            .arg(at);
    case SeedFileStatus::BadUser:
        return QStringLiteral("Line %1 names a user that cannot be a token's user (UTF-8 text "
                              "of at most %2 characters, without control characters, spaces at "
                              "either end, \",\" or '\"', not starting with \"=\", \"+\", "
                              "\"-\" or \"@\").")
            .arg(at)
            .arg(kUserNameMaxLength);
    case SeedFileStatus::ReadError:
        return QStringLiteral("The file could not be read to its end (%1).")
            .arg(QString::fromLocal8Bit(std::strerror(error)));
    case SeedFileStatus::NoEntries:
        return QStringLiteral("The file holds no line of a serial number, \",\" and a seed.");
    case SeedFileStatus::Cancelled:
        return QStringLiteral("Loading was cancelled.");
    }
    return {};
}

SeedFileReader::SeedFileReader(SeedTable& table) : m_table(table) {}

SeedFileReader::~SeedFileReader()
{
    WipeText(m_line);
}

bool SeedFileReader::feed(const char* bytes, size_t size)
{
    while (!m_stopped && size > 0) {
        const void* found = std::memchr(bytes, '\n', size);
        const size_t take =
            found ? static_cast<size_t>(static_cast<const char*>(found) - bytes) : size;
        m_line.append(bytes, take);
        if (!found)
            break;
        bytes += take + 1;
        size -= take + 1;
        if (!endLine())
            m_stopped = true;
    }
    return !m_stopped;
}

SeedFileResult SeedFileReader::finish()
{
    if (!m_stopped && !m_line.empty() && !endLine())
        m_stopped = true;
    if (!m_stopped && m_entries == 0)
        m_result = {SeedFileStatus::NoEntries, 0, 0};
    m_stopped = true;
    return m_result;
}

bool SeedFileReader::endLine()
{
    ++m_lineNumber;
    if (m_lineNumber > kSeedFileMaxLines) {
        WipeText(m_line);
        m_result = {SeedFileStatus::TooLarge, m_lineNumber, 0};
        return false;
    }
    std::string_view line(m_line);
    if (m_lineNumber == 1 && line.starts_with(kUtf8ByteOrderMark))
        line.remove_prefix(kUtf8ByteOrderMark.size());
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    const size_t comma = line.find(',');
    SeedFileStatus problem = SeedFileStatus::Loaded;
    if (comma != std::string_view::npos) {
        const std::string_view serial = line.substr(0, comma);
        std::string_view seed = line.substr(comma + 1);
        // A second "," starts the token's user: no Base32 seed holds one.
        std::optional<std::string_view> user;
        if (const size_t second = seed.find(','); second != std::string_view::npos) {
            user = seed.substr(second + 1);
            seed = seed.substr(0, second);
        }
        QString userName;
        if (!IsAcceptedSerial(serial)) {
            problem = SeedFileStatus::BadSerial;
        } else if (!IsAcceptedSeed(seed)) {
            problem = SeedFileStatus::BadSeed;
        } else if (user && !user->empty() &&
                   (!UserNameFromUtf8(
                        QByteArray(user->data(), static_cast<qsizetype>(user->size())), userName) ||
                    !UserNameProblem(userName).isEmpty())) {
            problem = SeedFileStatus::BadUser;
        } else {
            QString seedText =
                QString::fromLatin1(seed.data(), static_cast<qsizetype>(seed.size()));
            m_table.set(QString::fromLatin1(serial.data(), static_cast<qsizetype>(serial.size())),
                        seedText, userName);
            WipeText(seedText);
            ++m_entries;
        }
    }
    WipeText(m_line);
    if (problem != SeedFileStatus::Loaded) {
        m_result = {problem, m_lineNumber, 0};
        return false;
    }
    return true;
}

SeedFileResult LoadSeedFile(const QString& path, SeedTable& table, const SeedFileOptions& options)
{
    // Never blocks: a FIFO or a device named like a seed file is opened
    // without waiting for a writer, then refused.
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return {SeedFileStatus::CannotOpen, 0, errno};
    struct Closer
    {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat info
    {};
    if (::fstat(fd, &info) != 0)
        return {SeedFileStatus::CannotOpen, 0, errno};
    if (!S_ISREG(info.st_mode))
        return {SeedFileStatus::NotRegularFile, 0, 0};
    if (info.st_size > kSeedFileMaxBytes)
        return {SeedFileStatus::TooLarge, 0, 0};
    const int64_t total = info.st_size;
    table.clear();

    auto cancelled = [&options] {
        return (options.cancel && options.cancel->load(std::memory_order_relaxed)) ||
               (options.cancelled && options.cancelled());
    };
    SeedFileReader reader(table);
    static_assert(kPieceSize <= 1024 * 1024, "the piece lives on the stack");
    char piece[kPieceSize];
    // Only the bytes a read filled held the file; they are wiped on every way out.
    struct PieceWipe
    {
        char* bytes;
        size_t used = 0;
        ~PieceWipe() { WipeMemory(bytes, used); }
    } wipePiece{piece};
    int64_t read = 0;
    for (;;) {
        if (cancelled())
            return {SeedFileStatus::Cancelled, 0, 0};
        const ssize_t got = ::read(fd, piece, sizeof piece);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return {SeedFileStatus::ReadError, 0, errno};
        if (got == 0)
            break;
        wipePiece.used = std::max(wipePiece.used, static_cast<size_t>(got));
        read += got;
        if (read > kSeedFileMaxBytes) // the file grew while being read
            return {SeedFileStatus::TooLarge, 0, 0};
        if (!reader.feed(piece, static_cast<size_t>(got)))
            break;
        if (options.progress)
            options.progress(read, std::max(total, read));
    }
    const SeedFileResult result = reader.finish();
    if (options.progress)
        options.progress(read, std::max(total, read));
    return result;
}
