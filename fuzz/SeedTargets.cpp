// Fuzz bodies of the seed side's outside input: the seed file an operator
// loads, and the export records whose fields (user name, serial number, seed
// text) come from the operator and the token.
#include "FuzzCheck.h"
#include "FuzzTargets.h"
#include "PythonCsv.h"
#include "seed/Base32.h"
#include "seed/ExportFiles.h"
#include "seed/SeedFile.h"
#include "seed/SeedText.h"
#include "seed/SerialNumber.h"

#include <QFile>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <string_view>
#include <unistd.h>

namespace {

using Entries = std::map<QString, QString>;

struct Expected
{
    SeedFileStatus status = SeedFileStatus::Loaded;
    int64_t line = 0;
    Entries entries;
};

bool SerialByTheRules(std::string_view serial)
{
    if (serial.empty() || serial.front() == '=' || serial.front() == '+' || serial.front() == '-' ||
        serial.front() == '@')
        return false;
    for (const char c : serial)
        if (c < 0x21 || c > 0x7E || c == '"' || c == ',')
            return false;
    return true;
}

// A user name's rules: UTF-8 that reads back to the same bytes, at most 256
// UTF-16 units, no control or format character, no space at either end, no
// "," or '"', no formula start.
bool UserByTheRules(std::string_view user)
{
    const QString name = QString::fromUtf8(user.data(), qsizetype(user.size()));
    if (name.toUtf8() != QByteArray(user.data(), qsizetype(user.size())) || name.size() > 256)
        return false;
    if (name.front().isSpace() || name.back().isSpace())
        return false;
    const QChar first = name.front();
    if (first == '=' || first == '+' || first == '-' || first == '@')
        return false;
    for (const QChar c : name)
        if (c.category() == QChar::Other_Control || c.category() == QChar::Other_Format ||
            c == QChar::LineSeparator || c == QChar::ParagraphSeparator || c == ',' || c == '"')
            return false;
    return true;
}

// The seed file's rules written out once more, line by line, apart from the
// loader's reader: what a load of these bytes must give.
Expected LoadByTheRules(std::string_view bytes)
{
    Expected expected;
    int64_t lineNumber = 0;
    size_t at = 0;
    while (at < bytes.size()) {
        size_t end = bytes.find('\n', at);
        const bool last = end == std::string_view::npos;
        if (last)
            end = bytes.size();
        std::string_view line = bytes.substr(at, end - at);
        at = last ? bytes.size() : end + 1;
        if (++lineNumber > kSeedFileMaxLines)
            return {SeedFileStatus::TooLarge, lineNumber, expected.entries};
        if (lineNumber == 1 && line.substr(0, 3) == "\xEF\xBB\xBF")
            line.remove_prefix(3);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        const size_t comma = line.find(',');
        if (comma == std::string_view::npos)
            continue;
        const std::string_view serial = line.substr(0, comma);
        std::string_view seed = line.substr(comma + 1);
        const size_t userComma = seed.find(',');
        const std::string_view user =
            userComma == std::string_view::npos ? std::string_view() : seed.substr(userComma + 1);
        seed = seed.substr(0, userComma);
        if (!SerialByTheRules(serial))
            return {SeedFileStatus::BadSerial, lineNumber, expected.entries};
        uint8_t scratch[512];
        if (seed.size() > 255 || !IsBase32SeedText(seed.data(), seed.size()) ||
            Base32ToBytes(seed.data(), seed.size(), scratch, sizeof scratch) <= 0)
            return {SeedFileStatus::BadSeed, lineNumber, expected.entries};
        if (!user.empty() && !UserByTheRules(user))
            return {SeedFileStatus::BadUser, lineNumber, expected.entries};
        expected.entries[QString::fromLatin1(serial.data(), qsizetype(serial.size()))] =
            QString::fromLatin1(seed.data(), qsizetype(seed.size()));
    }
    if (expected.entries.empty())
        expected.status = SeedFileStatus::NoEntries;
    return expected;
}

void CheckLoad(const SeedFileResult& result, const SeedTable& table, const Expected& expected)
{
    FUZZ_CHECK(result.status == expected.status);
    FUZZ_CHECK(result.line == expected.line);
    const Entries entries = table.entries();
    FUZZ_CHECK(entries == expected.entries);
    for (const auto& [serial, seed] : entries) {
        FUZZ_CHECK(IsAcceptedSerial(serial.toLatin1()));
        FUZZ_CHECK(IsBase32SeedText(seed));
    }
}

// One file for the whole fuzzing process, rewritten for each input, so the
// loader is run through its own open, checks and reads; in memory (/dev/shm)
// when the machine has it, which keeps the fuzzer fast.
const QString& ScratchFile()
{
    static std::string name = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm/fuzz-seed-file-XXXXXX"
                                                              : "/tmp/fuzz-seed-file-XXXXXX";
    static const QString path = [] {
        const int fd = ::mkstemp(name.data());
        FUZZ_CHECK(fd >= 0);
        ::close(fd);
        std::atexit([] { ::unlink(name.c_str()); });
        return QString::fromLocal8Bit(name.c_str());
    }();
    return path;
}

} // namespace

void FuzzSeedFile(const uint8_t* data, size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const Expected expected = LoadByTheRules(bytes);

    SeedTable whole;
    SeedFileReader one(whole);
    one.feed(bytes.data(), bytes.size());
    CheckLoad(one.finish(), whole, expected);

    // Pieces of a size taken from the input: lines, CR LF pairs and the
    // byte-order mark cut anywhere.
    const size_t piece = size > 0 ? data[0] % 23 + 1 : 1;
    SeedTable pieces;
    SeedFileReader reader(pieces);
    for (size_t at = 0; at < size; at += piece)
        reader.feed(bytes.data() + at, std::min(piece, size - at));
    CheckLoad(reader.finish(), pieces, expected);

    QFile file(ScratchFile());
    FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    FUZZ_CHECK(file.write(bytes.data(), qint64(size)) == qint64(size));
    file.close();
    SeedTable loaded;
    int64_t lastRead = -1;
    SeedFileOptions options;
    options.progress = [&lastRead, size](int64_t read, int64_t total) {
        FUZZ_CHECK(read >= lastRead && read <= total && total == int64_t(size));
        lastRead = read;
    };
    CheckLoad(LoadSeedFile(file.fileName(), loaded, options), loaded, expected);
}

namespace {

// What a CSV reader must give back for a field: the text's UTF-8 bytes, with
// a "'" in front when it starts like a formula (or with a tab or CR).
std::string Readback(const QByteArray& utf8)
{
    std::string value = utf8.toStdString();
    if (!value.empty() &&
        std::string_view("=+-@\t\r").find(value.front()) != std::string_view::npos)
        value.insert(value.begin(), '\'');
    return value;
}

bool Ordinary(const QByteArray& utf8)
{
    return Readback(utf8) == utf8.toStdString() && !utf8.contains(',') && !utf8.contains('"') &&
           !utf8.contains('\r') && !utf8.contains('\n');
}

void CheckLine(const QByteArray& line, const std::vector<QByteArray>& fields)
{
    FUZZ_CHECK(line.endsWith("\r\n"));
    const std::vector<CsvRecord> records = ReadCsvLikePython(line.toStdString());
    FUZZ_CHECK(records.size() == 1);
    FUZZ_CHECK(records[0].size() == fields.size());
    bool ordinary = true;
    QByteArray plain;
    for (size_t i = 0; i < fields.size(); ++i) {
        FUZZ_CHECK(records[0][i] == Readback(fields[i]));
        ordinary = ordinary && Ordinary(fields[i]);
        plain += (i ? "," : "") + fields[i];
    }
    // Ordinary fields keep the design's layout byte for byte.
    if (ordinary)
        FUZZ_CHECK(line == plain + "\r\n");
}

} // namespace

void FuzzExportRecord(const uint8_t* data, size_t size)
{
    if (size < 4)
        return;
    // Three lengths, a time step, then the user name, serial number and seed.
    size_t at = 4;
    auto take = [&](uint8_t length) {
        const size_t n = std::min<size_t>(length, size - at);
        const QByteArray bytes(reinterpret_cast<const char*>(data + at), qsizetype(n));
        at += n;
        return bytes;
    };
    const QByteArray user = take(data[0]), serial = take(data[1]), seed = take(data[2]);
    const int steps[] = {30, 60, 0, -30, 120};
    ExportRecord record{QString::fromUtf8(user), QString::fromUtf8(serial), QString::fromUtf8(seed),
                        steps[data[3] % 5]};
    if (at < size) // the rest as Latin-1 text: every code point below 256
        record.userName +=
            QString::fromLatin1(reinterpret_cast<const char*>(data + at), qsizetype(size - at));

    ExportRecordLines lines = MakeExportRecordLines(record);
    const QByteArray userUtf8 = record.userName.toUtf8(), serialUtf8 = record.serialNumber.toUtf8(),
                     seedUtf8 = record.seedText.toUtf8();

    uint8_t bytes[512];
    const int32_t count =
        Base32ToBytes(seedUtf8.constData(), size_t(seedUtf8.size()), bytes, sizeof bytes);
    FUZZ_CHECK(count == 0 || IsBase32SeedText(seedUtf8.constData(), size_t(seedUtf8.size())));
    const QByteArray hex =
        QByteArray(reinterpret_cast<const char*>(bytes), count > 0 ? count : 0).toHex().toUpper();

    CheckLine(lines.azure, {userUtf8, serialUtf8, seedUtf8, QByteArray::number(record.timeStep),
                            "Morvane", "Zentoka"});
    CheckLine(lines.b32, {serialUtf8, seedUtf8});
    CheckLine(lines.hex, {serialUtf8, hex});
    lines.wipe();
}
